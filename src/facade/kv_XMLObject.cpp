#include "kv_XMLObject.h"

namespace kv_XML
{
kv_XMLObject::kv_XMLObject(QObject* a_pParent) : QObject(a_pParent) {}

kv_IXmlMsgNotifier::kv_IXmlMsgNotifier(QObject* a_pParent) : QObject(a_pParent) {}
}  // namespace kv_XML

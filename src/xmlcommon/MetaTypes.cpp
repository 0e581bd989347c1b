#include "CMsgFragment.h"
#include "CXmlElement.h"
#include "CXmlMessage.h"

#include <QtCore/QMetaType>

namespace
{
// Types that travel through queued connections, registered once when the library is loaded.
void registerMetaTypes()
{
    qRegisterMetaType<XmlCommon::ptrCXmlElement>("XmlCommon::ptrCXmlElement");
    qRegisterMetaType<XmlCommon::ptrCXmlMessage>("XmlCommon::ptrCXmlMessage");
    qRegisterMetaType<XmlCommon::CMsgFragment>("XmlCommon::CMsgFragment");
}
}  // namespace

Q_CONSTRUCTOR_FUNCTION(registerMetaTypes)

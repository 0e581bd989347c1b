#pragma once

#include <OrvexXmlInterface/OxiExport.h>
#include <OrvexXmlInterface/xmlcommon/CMsgFragment.h>
#include <OrvexXmlInterface/xmlcommon/CTreeBase.h>
#include <OrvexXmlInterface/xmlcommon/CXmlMessage.h>

#include <QtCore/QByteArray>
#include <QtCore/QList>
#include <QtCore/QObject>

namespace kv_XML
{
// Conversions between XML text and trees, and formatted dumps for logs. Never instantiated.
class OXI_EXPORT XmlMessageHelpers : public QObject
{
    Q_OBJECT

public:
    // Reads one document; a_bOk is false, the result null and one line written with
    // kvxml_message_output when the text is not well-formed.
    static XmlCommon::ptrCXmlElement byteArrayToXmlElement(const QByteArray& a_baText, bool& a_bOk);
    // As byteArrayToXmlElement; an empty data tree when reading failed.
    static XmlCommon::CDataTree byteArrayToDataTree(const QByteArray& a_baText, bool& a_bOk);
    // The readable form as UTF-8 (escaped, indented by two blanks per level, CDATA shown); it
    // reads back with byteArrayToXmlElement. A null element writes one line and gives no bytes.
    static QByteArray xmlElementToByteArray(const XmlCommon::ptrCXmlElement& a_ptrElement);
    static QByteArray dataTreeToByteArray(const XmlCommon::CDataTree& a_objTree);

    static QString debugFormatFragment(const XmlCommon::CMsgFragment& a_objFragment);
    static QString debugFormatFragments(const QList<XmlCommon::CMsgFragment>& a_lstFragments);
    static QString debugFormatMessage(XmlCommon::ptrCXmlMessage a_ptrMessage);

    // Kept for callers that dump by habit; they write nothing.
    static void debugDumpFragment(const XmlCommon::CMsgFragment& a_objFragment);
    static void debugDumpFragments(const QList<XmlCommon::CMsgFragment>& a_lstFragments);
    static void debugDumpMessage(XmlCommon::ptrCXmlMessage a_ptrMessage);

private:
    XmlMessageHelpers();
};
}  // namespace kv_XML

#pragma once

#include <OrvexXmlInterface/OxiExport.h>
#include <OrvexXmlInterface/xmlcommon/CEnumTexts.h>

#include <QtCore/QString>

// Types of the communication layer shared with its hosts.
namespace GLOBAL_XML_TYPES
{
// The life-cycle event of a status report; 0 and 4 have no text.
enum eSTATUS_REPORT_EVENTS : int
{
    STATUS_REPORT_NONE = 0,
    STATUS_REPORT_READY = 1,
    STATUS_REPORT_TERMINATED = 2,
    STATUS_REPORT_BUSY = 3,
    STATUS_REPORT_UNUSED = 4,
    STATUS_REPORT_BROADCAST_REPLY = 5,
};

extern OXI_EXPORT const XmlCommon::CEnumTexts<eSTATUS_REPORT_EVENTS> G_objStatusReportEventTexts;

// One TCP interface on which an application accepts connections.
struct struTcpInterface
{
    QString ip;
    unsigned short port = 0;

    bool operator==(const struTcpInterface& a_objOther) const { return ip == a_objOther.ip && port == a_objOther.port; }
};
}  // namespace GLOBAL_XML_TYPES

#pragma once

#include <OrvexXmlInterface/OxiExport.h>
#include <OrvexXmlInterface/xmlcommon/CEnumTexts.h>

#include <QtCore/QMetaType>
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

// The queue a received message belongs to.
enum eMESSAGE_TYPES : int
{
    ekMT_REQUEST = 1,
    ekMT_REPLY = 2,  // also lag replies and locally made fault replies on their way up
    ekMT_EVENT = 3,
};

// Which side could not parse the XML of a connection.
enum eXML_COMMUNICATION_DEVICES : int
{
    ekXCD_OWN_PARSER = 1,   // this process failed on what the peer sent
    ekXCD_PEER_PARSER = 2,  // the peer failed on what this process sent
};

// One TCP interface on which an application accepts connections.
struct struTcpInterface
{
    QString ip;
    unsigned short port = 0;

    bool operator==(const struTcpInterface& a_objOther) const { return ip == a_objOther.ip && port == a_objOther.port; }
};
}  // namespace GLOBAL_XML_TYPES

Q_DECLARE_METATYPE(GLOBAL_XML_TYPES::eMESSAGE_TYPES)
Q_DECLARE_METATYPE(GLOBAL_XML_TYPES::eXML_COMMUNICATION_DEVICES)

#pragma once

#include <OrvexXmlInterface/OxiExport.h>
#include <OrvexXmlInterface/xmlcommon/CXmlStreamParser.h>

#include <QtCore/QMetaType>
#include <QtCore/QString>

namespace XmlCommunication
{
// The native descriptor of an accepted socket, handed to the thread that adopts it.
using typSocketDescriptor = qintptr;

// How a connection obtains its socket.
struct struSocketInfo
{
    enum eSOCKET_INFO_TYPES : int
    {
        ekSID_SOCKET_DESCRIPTOR = 1,   // adopt an accepted socket
        ekSID_IPADDRESS_AND_PORT = 2,  // connect out
    };

    eSOCKET_INFO_TYPES eType = ekSID_IPADDRESS_AND_PORT;
    qintptr typSocketDescriptor = -1;  // a typSocketDescriptor
    QString strIpAddress;
    quint16 usPort = 0;
    bool bRetryConnection = false;  // connect out again after the connection was lost or refused
};

// What is known about one connection.
struct struClientData
{
    quint32 ulConnectionId = 0;
    QString strLocalAddress;
    quint16 usLocalPort = 0;
    QString strLocalAppName;
    QString strPeerAddress;
    quint16 usPeerPort = 0;
    QString strPeerAppName;
    QString strAliveCheckInfo;
    quint32 ulThreadId = 0;  // the thread that filled the record
};

// One IPv4 address of the host: address in host byte order and the prefix length of its netmask.
struct struNetInterface
{
    quint32 ulAddress = 0;
    quint16 usNetmaskBits = 0;
};

// What one peer may cost: the sizes its stream may reach and the times it may take. A peer that
// crosses one is closed; every other connection goes on. The defaults suit real messages.
struct struConnectionLimits
{
    qint64 llMaxMessageBytes = XmlCommon::CXmlStreamParser::m_llDefaultMaxMessageBytes;
    qint64 llMaxBytesBetweenMessages = XmlCommon::CXmlStreamParser::m_llDefaultMaxBytesBetweenMessages;
    int iMaxAttributes = XmlCommon::CXmlStreamParser::m_iDefaultMaxAttributes;
    qint64 llMaxStartTagBytes = XmlCommon::CXmlStreamParser::m_llDefaultMaxStartTagBytes;
    int iMaxDepth = XmlCommon::CXmlStreamParser::m_iDefaultMaxDepth;
    // A message that has started must be complete within this time (0: no limit).
    unsigned int uiMessageCompletionMs = 120000;
    // The send watchdog: a send buffer that the peer does not empty for this long closes the connection.
    unsigned int uiSendStuckMs = 10000;
    // Unsent bytes a peer may leave waiting before it is closed, whatever the watchdog says.
    qint64 llMaxSendBacklogBytes = 256 * 1024 * 1024;
};

// The minimum processing time of this process, microseconds (500,000 unless raised): a request
// granting less than it plus one second is given 6 s instead.
OXI_EXPORT quint32 getMinProcessingTime();
// Takes a_u32Us when it is above 500,000.
OXI_EXPORT void setMinProcessingTime(quint32 a_u32Us);

// The description of the hosting application, sent to peers.
struct struCOMMAN_DESCRIPTION
{
    QString strAppName;  // also the manager's name and every connection's debug name
    QString strAppVersion;
    QString strAppBuild;
    QString strAppInterface;
    QString strAppGuid;  // the manager's id; the first non-empty one given stays
};

// What a host gives CCommanThread::start.
struct struCOMMAN_STARTUP_CONFIG
{
    quint16 usPort = 0;               // in: port to listen on (0: any free port); out: the port listened on, or 0
    QString strIpAddress;             // empty: all interfaces; text that is no address: do not listen
    quint32 ulMaxConnections = 0;     // 0: no limit
    quint32 ulMinProcessingTime = 0;  // microseconds; above 500,000 it raises the process-wide minimum
    struCOMMAN_DESCRIPTION objDescription;
    struConnectionLimits objLimits;  // for every connection of the manager
    // Messages each of the host's three queues may hold (0: no limit); past it a request is
    // answered with the fault 0x02400008, a reply or event is dropped with a log text.
    quint32 ulMaxQueuedMessages = 100000;
};
}  // namespace XmlCommunication

Q_DECLARE_METATYPE(XmlCommunication::struClientData)
Q_DECLARE_METATYPE(XmlCommunication::struCOMMAN_DESCRIPTION)

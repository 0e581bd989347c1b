#pragma once

#include <OrvexXmlInterface/OxiExport.h>

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
};
}  // namespace XmlCommunication

Q_DECLARE_METATYPE(XmlCommunication::struClientData)
Q_DECLARE_METATYPE(XmlCommunication::struCOMMAN_DESCRIPTION)

#pragma once

#include <OrvexXmlInterface/OxiExport.h>
#include <OrvexXmlInterface/xmlcommunication/transport/TransportTypes.h>

#include <QtNetwork/QTcpServer>

namespace XmlCommunication
{
// The manager's listening socket: every accepted socket is handed on as a bare descriptor, so
// that the thread that will own it adopts it.
class OXI_EXPORT CTcpServer : public QTcpServer
{
    Q_OBJECT

public:
    explicit CTcpServer(QObject* a_pParent = nullptr);

signals:
    void SignalNewClient(XmlCommunication::typSocketDescriptor a_typSocketDescriptor);

protected:
    void incomingConnection(qintptr a_typSocketDescriptor) override;
};
}  // namespace XmlCommunication

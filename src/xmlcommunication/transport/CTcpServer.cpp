#include "CTcpServer.h"

#include "IfTimeoutIncRouter.h"

namespace XmlCommunication
{
IfTimeoutIncRouter::~IfTimeoutIncRouter() = default;

CTcpServer::CTcpServer(QObject* a_pParent) : QTcpServer(a_pParent) {}

void CTcpServer::incomingConnection(qintptr a_typSocketDescriptor)
{
    emit SignalNewClient(a_typSocketDescriptor);
}
}  // namespace XmlCommunication

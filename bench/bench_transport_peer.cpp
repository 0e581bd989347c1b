// The second process of the transport benchmarks: echo servers for the round trip (the library,
// raw TCP, ZeroMQ REQ/REP), sinks that count one-way messages (the library, ZeroMQ PULL), fifty
// raw peers that count the events sent to all, and a process with many idle library peers.
#include "bench_transport_peer.h"

#include "BenchTrees.h"

#include <OrvexXmlInterface/xmlcommunication/converters/CFilterConverter.h>
#include <OrvexXmlInterface/xmlcommunication/services/CAliveCheckManager.h>
#include <OrvexXmlInterface/xmlcommunication/transport/CCommanThread.h>
#include <OrvexXmlInterface/xmlcommunication/transport/CConnectionThread.h>

#include <QtCore/QCoreApplication>
#include <QtCore/QTimer>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#include <zmq.h>

#include <cstdio>
#include <cstring>
#include <vector>

using namespace XmlCommon;
using namespace XmlCommunication;

namespace
{
void say(const char* a_pszLine)
{
    std::printf("%s\n", a_pszLine);
    std::fflush(stdout);
}

void sayPort(int a_iPort)
{
    std::printf("%d\n", a_iPort);
    std::fflush(stdout);
}

void noDelay(int a_iSocket)
{
    const int iOn = 1;
    ::setsockopt(a_iSocket, IPPROTO_TCP, TCP_NODELAY, &iOn, sizeof iOn);
}

// A listening socket on 127.0.0.1 and a free port; -1 on failure.
int listenLoopback(int& a_iPort)
{
    const int iSocket = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in objAddress{};
    objAddress.sin_family = AF_INET;
    objAddress.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t iLength = sizeof objAddress;
    if (iSocket < 0 || ::bind(iSocket, reinterpret_cast<sockaddr*>(&objAddress), sizeof objAddress) != 0 ||
        ::listen(iSocket, 64) != 0 || ::getsockname(iSocket, reinterpret_cast<sockaddr*>(&objAddress), &iLength) != 0)
        return -1;
    a_iPort = ntohs(objAddress.sin_port);
    return iSocket;
}

int zmqPort(void* a_pSocket)
{
    char szEndpoint[256] = {};
    size_t uiLength = sizeof szEndpoint;
    zmq_getsockopt(a_pSocket, ZMQ_LAST_ENDPOINT, szEndpoint, &uiLength);
    const char* pColon = std::strrchr(szEndpoint, ':');
    return pColon ? std::atoi(pColon + 1) : 0;
}

// Answers every request with its reply, as a host does.
int runOxiEcho(QCoreApplication& a_objApp)
{
    CCommanThread objHost;
    struCOMMAN_STARTUP_CONFIG objConfig;
    objConfig.strIpAddress = QStringLiteral("127.0.0.1");
    objConfig.objDescription.strAppName = QStringLiteral("BenchEcho");
    if (objHost.start(objConfig) == 0)
        return 1;
    QObject::connect(&objHost, &CCommanThread::SignalNewJob, [&](GLOBAL_XML_TYPES::eMESSAGE_TYPES) {
        while (const ptrCXmlMessage ptrRequest = objHost.getNextRequest()) {
            const quint32 u32Continuous = ptrRequest->getContinuousId();
            ptrRequest->changeRequestToReply(0, 0);
            objHost.postToOneClient(ptrRequest, u32Continuous);
        }
    });
    sayPort(objConfig.usPort);
    return a_objApp.exec();
}

int runTcpEcho()
{
    int iPort = 0;
    const int iListen = listenLoopback(iPort);
    if (iListen < 0)
        return 1;
    sayPort(iPort);
    const int iSocket = ::accept(iListen, nullptr, nullptr);
    noDelay(iSocket);
    const struBenchPayload& objPayload = benchPayload();
    QByteArray baRequest(objPayload.baRequest.size(), '\0');
    while (receiveExactly(iSocket, baRequest.data(), baRequest.size()) &&
           sendAll(iSocket, objPayload.baReply.constData(), objPayload.baReply.size())) {
    }
    return 0;
}

int runZmqRep()
{
    void* pContext = zmq_ctx_new();
    void* pSocket = zmq_socket(pContext, ZMQ_REP);
    if (zmq_bind(pSocket, "tcp://127.0.0.1:*") != 0)
        return 1;
    sayPort(zmqPort(pSocket));
    const struBenchPayload& objPayload = benchPayload();
    std::vector<char> vecBuffer(size_t(objPayload.baRequest.size()) * 2);
    while (zmq_recv(pSocket, vecBuffer.data(), vecBuffer.size(), 0) >= 0 &&
           zmq_send(pSocket, objPayload.baReply.constData(), size_t(objPayload.baReply.size()), 0) >= 0) {
    }
    return 0;
}

// Connects to the host at a_iPort, asks for its events and counts them.
int runOxiSink(QCoreApplication& a_objApp, int a_iBatch, int a_iPort)
{
    CCommanThread objHost;
    struCOMMAN_STARTUP_CONFIG objConfig;
    objConfig.strIpAddress = QStringLiteral("none");
    objConfig.objDescription.strAppName = QStringLiteral("BenchSink");
    objHost.start(objConfig);
    objHost.connectToMaster(quint16(a_iPort), QStringLiteral("bench-sink"));
    int iCount = 0;
    bool bFilterSet = false;
    QObject::connect(&objHost, &CCommanThread::SignalNewJob, [&](GLOBAL_XML_TYPES::eMESSAGE_TYPES) {
        for (ptrCXmlMessage ptrMsg = objHost.getNextEvent(); ptrMsg; ptrMsg = objHost.getNextEvent()) {
            if (++iCount == a_iBatch) {
                iCount = 0;
                say("done");
            }
        }
        while (objHost.getNextReply()) {
            if (!bFilterSet)
                say("ready");
            bFilterSet = true;
        }
    });
    // The filter goes out once the connection is up.
    QTimer objPoll;
    QObject::connect(&objPoll, &QTimer::timeout, [&] {
        const quint32 u32Master = objHost.getResmanConnectionId();
        if (u32Master == 0 || objHost.getConnectionInfo(u32Master).isEmpty())
            return;
        objPoll.stop();
        CFilterConverter objFilter;
        objFilter.setFilterType(CFilterConverter::FILTER_ACCEPT);
        objFilter.subscribeToComponent(benchPayload().objFragment.getComponentName());
        ptrCXmlMessage ptrSet(new CXmlMessage(u32Master));
        ptrSet->setServiceType(CXmlMessage::REQUEST_SET);
        ptrSet->setMessageID_byGenerator();
        ptrSet->setAvailableTime(10000000);
        ptrSet->addFragment(objFilter.getFragment());
        objHost.postToOneClient(ptrSet, ptrSet->getContinuousId());
    });
    objPoll.start(5);
    return a_objApp.exec();
}

int runZmqPull(int a_iBatch)
{
    void* pContext = zmq_ctx_new();
    void* pSocket = zmq_socket(pContext, ZMQ_PULL);
    if (zmq_bind(pSocket, "tcp://127.0.0.1:*") != 0)
        return 1;
    sayPort(zmqPort(pSocket));
    std::vector<char> vecBuffer(size_t(benchPayload().baEvent.size()) * 2);
    for (int iCount = 0; zmq_recv(pSocket, vecBuffer.data(), vecBuffer.size(), 0) >= 0;) {
        if (++iCount == a_iBatch) {
            iCount = 0;
            say("done");
        }
    }
    return 0;
}

// Counts the occurrences of a text in a stream that arrives in pieces.
class CCounter
{
public:
    explicit CCounter(const QByteArray& a_baText) : m_baText(a_baText) {}
    int feed(const char* a_pData, int a_iSize)
    {
        m_baTail.append(a_pData, a_iSize);
        int iFound = 0;
        for (int iAt = m_baTail.indexOf(m_baText); iAt >= 0; iAt = m_baTail.indexOf(m_baText, iAt + 1))
            ++iFound;
        m_baTail = m_baTail.right(m_baText.size() - 1);
        return iFound;
    }

private:
    QByteArray m_baText;
    QByteArray m_baTail;
};

// Raw peers that ask for the events of the payload's component and count them.
int runFanout(int a_iPeers, int a_iBatch, int a_iPort)
{
    const QByteArray baComponent = benchPayload().objFragment.getComponentName().name();
    const QByteArray baFilter = "<Request id=\"1\" type=\"set\" time=\"10000000\">\n<XmlCommunicationDevice>\n"
                                "<Filter type=\"accept\">\n<" +
                                baComponent + ">\n<All/>\n</" + baComponent +
                                ">\n</Filter>\n</XmlCommunicationDevice>\n</Request>\n";
    std::vector<pollfd> vecPoll;
    std::vector<CCounter> vecEvents, vecReplies;
    for (int i = 0; i < a_iPeers; ++i) {
        const int iSocket = connectLoopback(a_iPort);
        if (iSocket < 0 || !sendAll(iSocket, baFilter.constData(), baFilter.size()))
            return 1;
        vecPoll.push_back({iSocket, POLLIN, 0});
        vecEvents.emplace_back(QByteArrayLiteral("</Event>"));
        vecReplies.emplace_back(QByteArrayLiteral("</Reply>"));
    }
    std::vector<char> vecBuffer(256 * 1024);
    int iReady = 0;
    long long llEvents = 0;
    const long long llPerBatch = (long long)a_iPeers * a_iBatch;
    while (::poll(vecPoll.data(), vecPoll.size(), -1) > 0) {
        for (size_t i = 0; i < vecPoll.size(); ++i) {
            if (!(vecPoll[i].revents & (POLLIN | POLLHUP | POLLERR)))
                continue;
            const ssize_t iRead = ::read(vecPoll[i].fd, vecBuffer.data(), vecBuffer.size());
            if (iRead <= 0)
                return 0;
            if (iReady < a_iPeers && vecReplies[i].feed(vecBuffer.data(), int(iRead)) > 0 && ++iReady == a_iPeers)
                say("ready");
            llEvents += vecEvents[i].feed(vecBuffer.data(), int(iRead));
            for (; llEvents >= llPerBatch; llEvents -= llPerBatch)
                say("done");
        }
    }
    return 0;
}

// Library peers that connect to the host and then stay silent but for the alive check.
int runIdle(QCoreApplication& a_objApp, int a_iPeers, int a_iPort, int a_iCycleMs)
{
    if (a_iCycleMs > 0)
        CAliveCheckManager::setDefaultCheckCycle(quint64(a_iCycleMs) * 1000u);
    CCommanThread objHost;
    struCOMMAN_STARTUP_CONFIG objConfig;
    objConfig.strIpAddress = QStringLiteral("none");
    objConfig.objDescription.strAppName = QStringLiteral("BenchIdle");
    objHost.start(objConfig);
    for (int i = 0; i < a_iPeers; ++i) {
        auto* pThread = new CConnectionThread(QStringLiteral("127.0.0.1"), quint16(a_iPort),
                                              objConfig.objDescription.strAppName, false, nullptr);
        if (!objHost.addConnection(pThread))
            return 1;
        pThread->start();
    }
    QTimer objPoll;
    QObject::connect(&objPoll, &QTimer::timeout, [&] {
        int iUp = 0;
        for (const struClientData& objInfo : objHost.getConnectionInfo())
            iUp += objInfo.strPeerAddress.isEmpty() ? 0 : 1;
        if (iUp < a_iPeers)
            return;
        objPoll.stop();
        say("ready");
    });
    objPoll.start(10);
    return a_objApp.exec();
}
}  // namespace

namespace
{
// The fragment of a realistic request that makes about 1 kB of wire text.
const CMsgFragment& prototypeFragment()
{
    static const CMsgFragment s_objFragment(makeRealisticMessage(1024)->getChildAt(0));
    return s_objFragment;
}
}  // namespace

const struBenchPayload& benchPayload()
{
    static const struBenchPayload s_objPayload = [] {
        struBenchPayload objPayload;
        objPayload.objFragment = prototypeFragment();
        ptrCXmlMessage ptrRequest = makeBenchRequest(1);
        ptrRequest->setMessageID(4711);
        objPayload.baRequest = wireText(ptrRequest->getElementTree());
        ptrRequest->changeRequestToReply(0, 0);
        objPayload.baReply = wireText(ptrRequest->getElementTree());
        objPayload.baEvent = wireText(makeBenchEvent(1)->getElementTree());
        return objPayload;
    }();
    return s_objPayload;
}

ptrCXmlMessage makeBenchRequest(unsigned int a_uiConnectionId)
{
    ptrCXmlMessage ptrRequest(new CXmlMessage(a_uiConnectionId));
    ptrRequest->setServiceType(CXmlMessage::REQUEST_SET);
    ptrRequest->setMessageID_byGenerator();
    ptrRequest->setAvailableTime(10000000);
    ptrRequest->addFragment(CMsgFragment(prototypeFragment().getElementTree()->copy(true)));
    return ptrRequest;
}

ptrCXmlMessage makeBenchEvent(unsigned int a_uiConnectionId)
{
    ptrCXmlMessage ptrEvent(new CXmlMessage(a_uiConnectionId));
    ptrEvent->setServiceType(CXmlMessage::BROADCAST);
    ptrEvent->addFragment(CMsgFragment(prototypeFragment().getElementTree()->copy(true)));
    return ptrEvent;
}

bool sendAll(int a_iSocket, const char* a_pData, qint64 a_llSize)
{
    for (qint64 llDone = 0; llDone < a_llSize;) {
        const ssize_t iSent = ::send(a_iSocket, a_pData + llDone, size_t(a_llSize - llDone), MSG_NOSIGNAL);
        if (iSent <= 0)
            return false;
        llDone += iSent;
    }
    return true;
}

bool receiveExactly(int a_iSocket, char* a_pData, qint64 a_llSize)
{
    for (qint64 llDone = 0; llDone < a_llSize;) {
        const ssize_t iRead = ::recv(a_iSocket, a_pData + llDone, size_t(a_llSize - llDone), 0);
        if (iRead <= 0)
            return false;
        llDone += iRead;
    }
    return true;
}

int connectLoopback(int a_iPort)
{
    const int iSocket = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in objAddress{};
    objAddress.sin_family = AF_INET;
    objAddress.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    objAddress.sin_port = htons(quint16(a_iPort));
    if (iSocket < 0 || ::connect(iSocket, reinterpret_cast<sockaddr*>(&objAddress), sizeof objAddress) != 0)
        return -1;
    noDelay(iSocket);
    return iSocket;
}

int runTransportPeer(const QStringList& a_lstArguments)
{
    static int s_iArgc = 1;
    static char s_szName[] = "bench_transport_peer";
    static char* s_apArgv[] = {s_szName, nullptr};
    QCoreApplication objApp(s_iArgc, s_apArgv);
    const QString strRole = a_lstArguments.value(0);
    const auto number = [&](int a_iAt) { return a_lstArguments.value(a_iAt).toInt(); };
    if (strRole == QLatin1String("oxi-echo"))
        return runOxiEcho(objApp);
    if (strRole == QLatin1String("tcp-echo"))
        return runTcpEcho();
    if (strRole == QLatin1String("zmq-rep"))
        return runZmqRep();
    if (strRole == QLatin1String("oxi-sink"))
        return runOxiSink(objApp, number(1), number(2));
    if (strRole == QLatin1String("zmq-pull"))
        return runZmqPull(number(1));
    if (strRole == QLatin1String("fanout"))
        return runFanout(number(1), number(2), number(3));
    if (strRole == QLatin1String("idle"))
        return runIdle(objApp, number(1), number(2), number(3));
    std::fprintf(stderr, "bench_transport: unknown peer role '%s'\n", qPrintable(strRole));
    return 2;
}

// One connection, adopted from an accepted loopback socket made in this process, reads the input
// as its peer's stream, cut into pieces; between the pieces the host sends a request, an event,
// and a reply and a lag for the last request the peer sent. Then the peer leaves.
//
// Whatever the stream held: nothing crashes or leaks, the connection ends once its peer has
// gone, every request the host sent is answered (by the peer, or with a fault), and a fresh
// connection made afterwards reads a good request. The connection's limits are lowered, so that
// inputs of some kilobytes reach them.
#include <OrvexXmlInterface/platform/Platform.h>
#include <OrvexXmlInterface/xmlcommon/Tagnames.h>
#include <OrvexXmlInterface/xmlcommunication/transport/CConnection.h>
#include <OrvexXmlInterface/xmlcommunication/transport/CTcpServer.h>

#include <QtCore/QCoreApplication>
#include <QtCore/QElapsedTimer>
#include <QtCore/QSet>
#include <QtNetwork/QTcpSocket>

#include <sys/ioctl.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>

using namespace XmlCommon;
using namespace XmlCommunication;

namespace
{
const unsigned int s_uiConnectionId = 77;
const int s_iBoundMs = 5000;

[[noreturn]] void fail(const char* a_pszWhat)
{
    std::fprintf(stderr, "fuzz_connection: %s\n", a_pszWhat);
    std::abort();
}

struConnectionLimits lowLimits()
{
    struConnectionLimits objLimits;
    objLimits.llMaxMessageBytes = 16 * 1024;
    objLimits.llMaxBytesBetweenMessages = 4 * 1024;
    objLimits.iMaxAttributes = 16;
    objLimits.llMaxStartTagBytes = 2 * 1024;
    objLimits.iMaxDepth = 64;
    // Time limits would make a run depend on the machine's speed.
    objLimits.uiMessageCompletionMs = 0;
    return objLimits;
}

ptrCXmlMessage hostMessage(CXmlMessage::eSERVICE_TYPES a_eType, const CTagname& a_objComponent)
{
    ptrCXmlMessage ptrMsg(new CXmlMessage(s_uiConnectionId));
    ptrMsg->setServiceType(a_eType);
    ptrMsg->setMessageID_byGenerator();
    if (a_eType == CXmlMessage::REQUEST_GET)
        ptrMsg->setAvailableTime(60000000);
    ptrCXmlElement ptrFragment(new CXmlElement(a_objComponent));
    ptrCXmlElement ptrData(new CXmlElement(Tag::Frequency));
    ptrData->setValue(QStringLiteral("118000000"));
    ptrFragment->addChild(ptrData, -1);
    ptrMsg->addFragment(CMsgFragment(ptrFragment));
    return ptrMsg;
}

// A peer socket and the connection that adopted the other end of it, on this thread.
class CPair
{
public:
    explicit CPair(CTcpServer& a_objServer)
    {
        qintptr typAccepted = -1;
        const QMetaObject::Connection objAccept = QObject::connect(
            &a_objServer, &CTcpServer::SignalNewClient, [&](typSocketDescriptor a_typ) { typAccepted = a_typ; });
        m_objPeer.connectToHost(QHostAddress::LocalHost, a_objServer.serverPort());
        if (!m_objPeer.waitForConnected(s_iBoundMs) || !a_objServer.waitForNewConnection(s_iBoundMs))
            fail("no loopback connection");
        QObject::disconnect(objAccept);
        m_typDescriptor = typAccepted;
        m_pConnection.reset(new CConnection(s_uiConnectionId, nullptr, QStringLiteral("Fuzz")));
        QObject::connect(m_pConnection.get(), &CConnection::SignalNewJob,
                         [this](ptrCXmlMessage a_ptrMsg, GLOBAL_XML_TYPES::eMESSAGE_TYPES a_eType) {
                             if (a_eType == GLOBAL_XML_TYPES::ekMT_REQUEST)
                                 m_ptrLastRequest = a_ptrMsg;
                             else if (a_eType == GLOBAL_XML_TYPES::ekMT_REPLY && a_ptrMsg->isReply())
                                 m_setAnswered.insert(a_ptrMsg->getMessageID());
                         });
        QObject::connect(m_pConnection.get(), &CConnection::SignalSocketStateChanged,
                         [this](quint32, QAbstractSocket::SocketState a_eState) {
                             m_bEnded = m_bEnded || a_eState == QAbstractSocket::UnconnectedState;
                         });
        m_pConnection->setLimits(lowLimits());
        struSocketInfo objInfo;
        objInfo.eType = struSocketInfo::ekSID_SOCKET_DESCRIPTOR;
        objInfo.typSocketDescriptor = typAccepted;
        m_pConnection->init(objInfo);
    }

    // Writes the bytes and runs the loop until the connection has read all that arrived.
    void feed(const QByteArray& a_baBytes)
    {
        if (m_objPeer.state() == QAbstractSocket::ConnectedState)
            m_objPeer.write(a_baBytes);
        QElapsedTimer objTimer;
        objTimer.start();
        while (m_objPeer.bytesToWrite() > 0 && m_objPeer.state() == QAbstractSocket::ConnectedState) {
            m_objPeer.waitForBytesWritten(10);
            QCoreApplication::processEvents();
            if (objTimer.elapsed() > s_iBoundMs)
                fail("the connection stopped reading");
        }
        settle();
    }

    // Runs the loop until nothing is waiting in the kernel for the connection and its queued
    // calls have been delivered.
    void settle()
    {
        for (int i = 0; i < 3; ++i) {
            QCoreApplication::processEvents();
            QCoreApplication::sendPostedEvents();
        }
        int iPending = 0;
        for (int i = 0;
             i < 1000 && !m_bEnded && ::ioctl(int(m_typDescriptor), FIONREAD, &iPending) == 0 && iPending > 0; ++i) {
            QCoreApplication::processEvents();
            QCoreApplication::sendPostedEvents();
        }
        m_objPeer.readAll();
    }

    void hostSends(int a_iTurn)
    {
        switch (a_iTurn % 4) {
        case 0: {
            const ptrCXmlMessage ptrRequest = hostMessage(CXmlMessage::REQUEST_GET, Tag::Tuner);
            m_setAsked.insert(ptrRequest->getMessageID());
            send(ptrRequest, ptrRequest->getContinuousId(), a_iTurn);
            break;
        }
        case 1:
            m_pConnection->SlotSendMessage(hostMessage(CXmlMessage::BROADCAST, Tag::XmlCommunicationDevice), 0);
            break;
        case 2:
            if (m_ptrLastRequest) {
                const ptrCXmlMessage ptrLag = m_ptrLastRequest->generateTimeoutIncrementMsg(2000000, true);
                if (ptrLag) {
                    ptrLag->updateRequestParent();
                    m_pConnection->SlotSendMessage(ptrLag, 0);
                }
            }
            break;
        default:
            if (m_ptrLastRequest) {
                const quint32 u32Continuous = m_ptrLastRequest->getContinuousId();
                m_ptrLastRequest->changeRequestToReply(0, 0);
                send(m_ptrLastRequest, u32Continuous, a_iTurn);
                m_ptrLastRequest.reset();
            }
            break;
        }
        settle();
    }

    // Every other request or reply goes the way a sender's thread writes it while the
    // connection's thread waits, with what it leaves settled as that thread settles it.
    void send(const ptrCXmlMessage& a_ptrMsg, quint32 a_u32ContinuousId, int a_iTurn)
    {
        if (a_iTurn % 8 < 4 || !m_pConnection->sendFromOutside(a_ptrMsg, a_u32ContinuousId))
            m_pConnection->SlotSendMessage(a_ptrMsg, a_u32ContinuousId);
        m_pConnection->settleOutsideWork();
    }

    // The peer leaves; the connection must notice and answer what it still waits for.
    void end()
    {
        m_objPeer.abort();
        QElapsedTimer objTimer;
        objTimer.start();
        while (!m_bEnded) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
            if (objTimer.elapsed() > s_iBoundMs)
                fail("the connection did not end after its peer had gone");
        }
        QCoreApplication::sendPostedEvents();
        if (!(m_setAsked - m_setAnswered).isEmpty())
            fail("a request of the host was left without an answer");
        m_pConnection.reset();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    QTcpSocket m_objPeer;
    std::unique_ptr<CConnection> m_pConnection;
    qintptr m_typDescriptor = -1;
    ptrCXmlMessage m_ptrLastRequest;
    QSet<unsigned int> m_setAsked;
    QSet<unsigned int> m_setAnswered;
    bool m_bEnded = false;
};

struct struWorld
{
    struWorld()
    {
        Platform::setDebugOutputHook([](const QString&) {});
        static int s_iArgc = 1;
        static char s_szName[] = "fuzz_connection";
        static char* s_apArgv[] = {s_szName, nullptr};
        if (!QCoreApplication::instance())
            m_pApp.reset(new QCoreApplication(s_iArgc, s_apArgv));
        if (!m_objServer.listen(QHostAddress::LocalHost))
            fail("cannot listen on the loopback interface");
    }
    std::unique_ptr<QCoreApplication> m_pApp;
    CTcpServer m_objServer;
};

void checkFreshConnection(CTcpServer& a_objServer)
{
    CPair objFresh(a_objServer);
    ptrCXmlMessage ptrSeen;
    QObject::connect(objFresh.m_pConnection.get(), &CConnection::SignalNewJob,
                     [&](ptrCXmlMessage a_ptrMsg, GLOBAL_XML_TYPES::eMESSAGE_TYPES) { ptrSeen = a_ptrMsg; });
    objFresh.feed(
        QByteArrayLiteral("<Request id=\"9\" type=\"get\" time=\"60000000\">\n<Tuner>\n<Frequency>1</Frequency>\n"
                          "</Tuner>\n</Request>\n"));
    if (!ptrSeen || ptrSeen->getMessageID() != 9 || ptrSeen->getNumberOfFragments() != 1)
        fail("a fresh connection did not read a good request");
    objFresh.end();
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* a_pData, size_t a_uiSize)
{
    static struWorld s_objWorld;
    const QByteArray baInput(reinterpret_cast<const char*>(a_pData), int(a_uiSize));
    {
        CPair objPair(s_objWorld.m_objServer);
        int iTurn = 0;
        for (int iPos = 0; iPos < baInput.size(); ++iTurn) {
            // Piece lengths from the input itself, so that a stored input replays the same way.
            const int iLength = 1 + (quint8(baInput.at(iPos)) * 37 + iTurn * 101) % 1500;
            objPair.feed(baInput.mid(iPos, iLength));
            iPos += iLength;
            objPair.hostSends(iTurn);
        }
        objPair.hostSends(0);
        objPair.end();
    }
    checkFreshConnection(s_objWorld.m_objServer);
    return 0;
}

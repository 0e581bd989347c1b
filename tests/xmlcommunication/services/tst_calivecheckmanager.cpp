#include "../../common/TreeTestUtils.h"

#include <OrvexXmlInterface/platform/Platform.h>
#include <OrvexXmlInterface/xmlcommon/CXmlReader.h>
#include <OrvexXmlInterface/xmlcommunication/services/CAliveCheckManager.h>

#include <QtCore/QThread>
#include <QtTest/QtTest>

#include <atomic>
#include <mutex>

using namespace XmlCommon;
using namespace XmlCommunication;

namespace
{
const int s_iCycleMs = 250;
const int s_iAvailableMs = 400;

// One end of a connection, reduced to what the alive check needs: what its manager sends goes out
// as wire text that the peer end reads back; every received message counts as activity; a request
// without a reply within its available time is answered with the time-out fault, as by the connection.
class CEnd : public QObject
{
    Q_OBJECT

public:
    CEnd(quint32 a_u32Id, eCONNECTION_SIDES a_eSide) : m_eSide(a_eSide), m_pManager(new CAliveCheckManager(a_u32Id))
    {
        m_pManager->setParent(this);
        connect(m_pManager, &CAliveCheckManager::signalSendMessage, this, &CEnd::slotSend, Qt::QueuedConnection);
        connect(m_pManager, &CAliveCheckManager::signalCheckHasFailed, this,
                [this] { m_u64FailedAt = Platform::nowMonotonicUs(); });
    }
    void start()
    {
        QMetaObject::invokeMethod(this, [this] {
            m_pManager->setConnectionSide(m_eSide, false);
            m_pManager->slotSocketState(QAbstractSocket::ConnectedState);
        });
    }
    QString info()
    {
        QString str;
        QMetaObject::invokeMethod(
            this, [&] { str = m_pManager->getDebugInfo(); },
            thread() == QThread::currentThread() ? Qt::DirectConnection : Qt::BlockingQueuedConnection);
        return str;
    }
    int count(const QString& a_strPart)
    {
        std::lock_guard<std::mutex> lock(m_objMutex);
        return m_lstSent.filter(a_strPart).size();
    }
    QStringList sent()
    {
        std::lock_guard<std::mutex> lock(m_objMutex);
        return m_lstSent;
    }
    int checks() { return count(QStringLiteral("<Request type=\"get\"")); }
    CAliveCheckManager* manager() { return m_pManager; }

    std::atomic<bool> m_bSilent{false};          // neither sends nor reads anything
    std::atomic<bool> m_bSpeaksVersion3{false};  // writes its alive checks as the older protocol does
    std::atomic<quint64> m_u64FailedAt{0};       // when the manager declared the peer dead

signals:
    void signalBytes(QByteArray a_baText);

public slots:
    void slotSend(XmlCommon::ptrCXmlMessage a_ptrMsg, quint32)
    {
        if (a_ptrMsg->isRequest()) {
            const unsigned int uiId = a_ptrMsg->getMessageID();
            m_mapPending.insert(uiId, a_ptrMsg);
            QTimer::singleShot(int(a_ptrMsg->getAvailableTime() / 1000), this, [this, uiId] {
                if (const ptrCXmlMessage ptrRequest = m_mapPending.take(uiId)) {
                    const ptrCXmlMessage ptrFault = ptrRequest->copyShared(true);
                    ptrFault->changeRequestToReply(0x02400007, Platform::nowUtcUs());
                    deliver(ptrFault);
                }
            });
        }
        const ptrCXmlElement ptrTree = a_ptrMsg->getElementTree()->copy(true);
        for (const ptrCXmlElement& ptrData : ptrTree->getChildAt(0)->children()) {
            if (!m_bSpeaksVersion3 || ptrData->tagname() != "AliveCheck")
                continue;
            ptrData->setAttribute("version", QStringLiteral("3"));
            if (ptrData->getNumberOfChildren() > 0) {  // a disable: only the text "0"
                ptrData->removeAllChildren();
                ptrData->setValue(QStringLiteral("0"));
            }
        }
        const QByteArray baText = TestUtils::wire(ptrTree);
        if (!m_bSilent)
            emit signalBytes(baText);
        // Recorded once on its way: a test that sees it and silences this end does not stop it.
        std::lock_guard<std::mutex> lock(m_objMutex);
        m_lstSent.append(QString::fromUtf8(baText));
    }
    void slotReceive(QByteArray a_baText)
    {
        if (m_bSilent)
            return;
        CXmlReader objReader;
        bool bOk = false;
        QString strError;
        ptrCXmlMessage ptrMsg(new CXmlMessage(1));
        ptrMsg->setElementTree(objReader.readByteArray(a_baText, bOk, strError));
        m_pManager->slotActivityDetected();
        deliver(ptrMsg);
    }

private:
    void deliver(const ptrCXmlMessage& a_ptrMsg)
    {
        if (a_ptrMsg->isReply())
            m_mapPending.remove(a_ptrMsg->getMessageID());
        CMsgFragment objFragment = a_ptrMsg->getFragment(0);
        if (m_pManager->handleFragment(objFragment, a_ptrMsg->getMessageID(), a_ptrMsg->getServiceType()) ==
            eFRAGMENT_REPLY) {
            a_ptrMsg->changeRequestToReply(0, 0);
            slotSend(a_ptrMsg, 0);
        }
    }

    eCONNECTION_SIDES m_eSide;
    CAliveCheckManager* m_pManager;
    QMap<unsigned int, ptrCXmlMessage> m_mapPending;
    std::mutex m_objMutex;
    QStringList m_lstSent;
};

// A client end and a server end back to back, each on the given thread (or this one).
struct struPair
{
    CEnd* pClient;
    CEnd* pServer = new CEnd(2, eCONNECTION_SIDE_SERVER);
    CEnd& client() { return *pClient; }
    CEnd& server() { return *pServer; }

    // A client's cycle is fixed when it is made: a_iClientCycleMs gives it one of its own.
    explicit struPair(QThread* a_pClientThread = nullptr, QThread* a_pServerThread = nullptr, int a_iClientCycleMs = 0)
    {
        if (a_iClientCycleMs)
            CAliveCheckManager::setDefaultCheckCycle(quint64(a_iClientCycleMs) * 1000u);
        pClient = new CEnd(1, eCONNECTION_SIDE_CLIENT);
        CAliveCheckManager::setDefaultCheckCycle(quint64(s_iCycleMs) * 1000u);
        QObject::connect(pClient, &CEnd::signalBytes, pServer, &CEnd::slotReceive);
        QObject::connect(pServer, &CEnd::signalBytes, pClient, &CEnd::slotReceive);
        if (a_pClientThread)
            pClient->moveToThread(a_pClientThread);
        if (a_pServerThread)
            pServer->moveToThread(a_pServerThread);
    }
    ~struPair()
    {
        // Each end goes on its own thread, as connection threads end their connections.
        for (CEnd* pEnd : {pClient, pServer})
            QMetaObject::invokeMethod(
                pEnd, [pEnd] { delete pEnd; },
                pEnd->thread() == QThread::currentThread() ? Qt::DirectConnection : Qt::BlockingQueuedConnection);
    }
    void start()
    {
        pServer->start();
        pClient->start();
    }
    // Once the server has answered a check, its answer is on the way.
    bool handshakeDone()
    {
        return QTest::qWaitFor([&] { return pServer->count(QStringLiteral("<Reply type=\"get\"")) >= 1; }, 5000);
    }
    int checks() { return pClient->checks() + pServer->checks(); }
};

// Threads with event loops for the ends, ended after the ends have gone.
struct struThreads
{
    QThread objClient, objServer;
    struThreads()
    {
        objClient.start();
        objServer.start();
    }
    ~struThreads()
    {
        objClient.quit();
        objServer.quit();
        objClient.wait();
        objServer.wait();
    }
};
}  // namespace

class TestAliveCheckManager : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        CAliveCheckManager::setDefaultCheckCycle(quint64(s_iCycleMs) * 1000u);
        CAliveCheckManager::setMsgAvailableTime(quint32(s_iAvailableMs) * 1000u);
    }

    // Rows: which end speaks the older protocol, and the client's cycle. The client announces
    // itself in version 3 until it knows the peer; each end learns the other's version; the client
    // checks after every cycle of silence, and the server, whose cycle is a second longer, only
    // when the client is slower than that; then it also finds a client that falls silent dead.
    void handshake_data()
    {
        QTest::addColumn<bool>("clientV3");
        QTest::addColumn<bool>("serverV3");
        QTest::addColumn<int>("clientCycle");
        QTest::newRow("both version 4") << false << false << s_iCycleMs;
        QTest::newRow("server version 3") << false << true << s_iCycleMs;
        QTest::newRow("client version 3") << true << false << s_iCycleMs;
        QTest::newRow("slow client: the server checks") << false << false << 5000;
    }

    void handshake()
    {
        QFETCH(bool, clientV3);
        QFETCH(bool, serverV3);
        QFETCH(int, clientCycle);
        struPair objPair(nullptr, nullptr, clientCycle);
        objPair.client().m_bSpeaksVersion3 = clientV3;
        objPair.server().m_bSpeaksVersion3 = serverV3;
        objPair.start();
        QVERIFY(objPair.handshakeDone());
        CEnd& objChecking = clientCycle == s_iCycleMs ? objPair.client() : objPair.server();
        CEnd& objWaiting = clientCycle == s_iCycleMs ? objPair.server() : objPair.client();
        QVERIFY(QTest::qWaitFor([&] { return objChecking.checks() >= 3; }, 8000));
        QCOMPARE(objWaiting.checks(), clientCycle == s_iCycleMs ? 0 : 1);
        if (clientCycle != s_iCycleMs) {
            objPair.client().m_bSilent = true;
            QVERIFY(QTest::qWaitFor([&] { return objPair.server().m_u64FailedAt != 0; }, 5000));
            return;
        }
        QCOMPARE(objPair.server().count(QStringLiteral("<Request type=\"set\"")), 1);  // announced once
        QCOMPARE(objPair.client().m_u64FailedAt + objPair.server().m_u64FailedAt, 0u);
        QCOMPARE(objPair.client().info(),
                 QStringLiteral("client, enabled by init, (version local: 4, peer: %1)").arg(serverV3 ? 3 : 4));
        QCOMPARE(objPair.server().info(),
                 QStringLiteral("server, enabled by other side, (version local: 4, peer: %1)").arg(clientV3 ? 3 : 4));
        QVERIFY(objPair.server().manager()->isActive());
        const QRegularExpression objFirst(QStringLiteral(
            "^<Request type=\"set\" id=\"\\d+\" time=\"400000\" requestTree=\"1\">\n<XmlCommunicationDevice>\n"
            "<AliveCheck version=\"3\">1</AliveCheck>\n</XmlCommunicationDevice>\n</Request>\n$"));
        QVERIFY2(objFirst.match(objPair.client().sent().first()).hasMatch(),
                 qPrintable(objPair.client().sent().first()));
        const QString strCheck = QStringLiteral("<AliveCheck version=\"%1\"/>").arg(serverV3 || clientV3 ? 3 : 4);
        QCOMPARE(objPair.client().sent().filter(QStringLiteral("<Request type=\"get\"")).filter(strCheck).size(),
                 objPair.client().checks());
    }

    // Every message from the peer postpones the next check by a whole cycle.
    void activityPostponesTheCheck()
    {
        struPair objPair;
        objPair.start();
        QVERIFY(objPair.handshakeDone());
        QTest::qWait(20);
        objPair.server().m_bSilent = true;  // only the activity below reaches the client
        const int iChecks = objPair.client().checks();
        for (int i = 0; i < 16; ++i) {
            objPair.client().manager()->slotActivityDetected();
            QTest::qWait(s_iCycleMs / 4);
        }
        QCOMPARE(objPair.client().checks(), iChecks);
        QVERIFY(QTest::qWaitFor([&] { return objPair.client().checks() == iChecks + 1; }, 3000));
    }

    // A peer that stops answering is declared dead within a cycle and the check's available time;
    // one that never answered a check is taken not to support it, without a failure.
    void silentPeer_data()
    {
        QTest::addColumn<bool>("handshake");
        QTest::addColumn<bool>("threads");
        QTest::newRow("stops answering") << true << false;
        QTest::newRow("never answered") << false << false;
        QTest::newRow("stops answering, ends on threads of their own") << true << true;
    }

    void silentPeer()
    {
        QFETCH(bool, handshake);
        QFETCH(bool, threads);
        struThreads objThreads;
        {
            struPair objPair(threads ? &objThreads.objClient : nullptr, threads ? &objThreads.objServer : nullptr);
            objPair.server().m_bSilent = !handshake;
            objPair.start();
            QVERIFY(!handshake || objPair.handshakeDone());
            objPair.server().m_bSilent = true;
            const quint64 u64Silent = Platform::nowMonotonicUs();
            QVERIFY(QTest::qWaitFor(
                [&] { return objPair.client().info().contains(QLatin1String("disabled by faulty reply")); }, 5000));
            QTest::qWait(50);
            QCOMPARE(objPair.client().m_u64FailedAt != 0, handshake);
            if (handshake) {
                const quint64 u64Took = (objPair.client().m_u64FailedAt - u64Silent) / 1000;
                qInfo("silent peer declared dead after %llu ms (cycle %d ms, available time %d ms)", u64Took,
                      s_iCycleMs, s_iAvailableMs);
                QVERIFY(u64Took < quint64(s_iCycleMs + s_iAvailableMs + 2000));
            }
            // The client has given up; the silent server keeps its own cycle, which may run out
            // meanwhile on a slow machine, so only the client's checks count here.
            const int iChecks = objPair.client().checks();
            QTest::qWait(s_iCycleMs * 2);
            QCOMPARE(objPair.client().checks(), iChecks);
        }
    }

    // Switching the check off for one connection, and the wire form the peer hears it in.
    void disableForConnection_data()
    {
        QTest::addColumn<bool>("server");
        QTest::addColumn<bool>("clientV3");
        QTest::addColumn<QString>("wire");
        const QString strEnvelope = QStringLiteral(
            "<Request type=\"set\" id=\"\\d+\" time=\"400000\" requestTree=\"1\">\n<XmlCommunicationDevice>\n");
        QTest::newRow("server; version-4 client: a fault in the answer")
            << true << false
            << "<Reply type=\"get\" id=\"\\d+\" requestTree=\"1\">\n<XmlCommunicationDevice>\n<Request>\n<AliveCheck "
               "version=\"4\"/>\n</Request>\n<Fault>\n<ID>0x2410006</ID>";
        QTest::newRow("server; version-3 client: an announcement")
            << true << true << strEnvelope + "<AliveCheck version=\"4\">0</AliveCheck>";
        QTest::newRow("client, before it connects")
            << false << false
            << strEnvelope + "<AliveCheck version=\"4\">\n<Disable>connection</Disable>\n</AliveCheck>";
    }

    void disableForConnection()
    {
        QFETCH(bool, server);
        QFETCH(bool, clientV3);
        QFETCH(QString, wire);
        struPair objPair;
        objPair.client().m_bSpeaksVersion3 = clientV3;
        CEnd& objDisabling = server ? objPair.server() : objPair.client();
        if (!server)
            objDisabling.manager()->disableCheck(CAliveCheckManager::eCSD_DISABLED);
        objPair.start();
        if (server) {
            QVERIFY(objPair.handshakeDone());
            objDisabling.manager()->disableCheck(CAliveCheckManager::eCSD_DISABLED);
        }
        // Both ends end up switched off, without a failure, and check no more.
        QVERIFY(QTest::qWaitFor(
            [&] { return objPair.client().manager()->isDisabled() && objPair.server().manager()->isDisabled(); },
            5000));
        QVERIFY(objPair.client().info().startsWith(QStringLiteral("client, disabled,")));
        QCOMPARE(objPair.client().m_u64FailedAt + objPair.server().m_u64FailedAt, 0u);
        QVERIFY2(!objDisabling.sent().filter(QRegularExpression(QLatin1Char('^') + wire)).isEmpty(),
                 qPrintable(objDisabling.sent().join(QLatin1Char('|'))));
        const int iChecks = objPair.checks();
        QTest::qWait(s_iCycleMs * 3);
        QCOMPARE(objPair.checks(), iChecks);
    }

    // Last, for it is final for the process: switched off through the debug center, every active
    // manager tells its peer once and none checks again, not even one made afterwards.
    void disableForProcess()
    {
        QCOMPARE(TestUtils::wire(CAliveCheckManager::getProcessDisableFragment()),
                 QByteArray("<XmlCommunicationDevice>\n<DebugFlags>\n<CAliveCheck>\n<Check>disableProcess</Check>\n"
                            "</CAliveCheck>\n</DebugFlags>\n</XmlCommunicationDevice>\n"));
        QVERIFY(TestUtils::wire(CAliveCheckManager::getSystemDisableFragment())
                    .contains("<CResMan>\n<AliveCheck>disableSystem</AliveCheck>\n</CResMan>"));
        struPair objPair;
        objPair.start();
        QVERIFY(objPair.handshakeDone());
        QVERIFY(!CAliveCheckManager::isProcessDisabled());
        QSignalSpy objSpy(objPair.client().manager(), &CAliveCheckManager::signalProcessDisabled);
        CAliveCheckManager::setProcessDisabled();
        QVERIFY(QTest::qWaitFor([&] { return objPair.client().manager()->isDisabled(); }, 5000));
        QVERIFY(CAliveCheckManager::isProcessDisabled());
        QCOMPARE(objSpy.count(), 1);
        QTest::qWait(s_iCycleMs * 3);
        for (CEnd* pEnd : {objPair.pClient, objPair.pServer})
            QCOMPARE(pEnd->sent()
                         .filter(QStringLiteral("<Request type=\"set\""))
                         .filter(QStringLiteral("<Disable>connection</Disable>"))
                         .size(),
                     1);
        const int iChecks = objPair.checks();
        struPair objLate;
        objLate.start();
        QTest::qWait(s_iCycleMs * 3);
        QCOMPARE(objPair.checks() + objLate.checks(), iChecks);
        QVERIFY(objLate.client().manager()->isDisabled());
    }
};

QTEST_GUILESS_MAIN(TestAliveCheckManager)
#include "tst_calivecheckmanager.moc"

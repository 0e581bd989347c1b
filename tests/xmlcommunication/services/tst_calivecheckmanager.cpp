#include "../../common/TreeTestUtils.h"

#include <OrvexXmlInterface/platform/Platform.h>
#include <OrvexXmlInterface/xmlcommon/CXmlReader.h>
#include <OrvexXmlInterface/xmlcommunication/services/CAliveCheckManager.h>
#include <OrvexXmlInterface/xmlcommunication/services/CDebugCenter.h>

#include <QtCore/QThread>
#include <QtTest/QtTest>

#include <atomic>
#include <mutex>

using namespace XmlCommon;
using namespace XmlCommunication;

namespace
{
const quint64 s_u64Cycle = 250000;
const quint32 s_u32Available = 400000;

// One end of a connection, reduced to what the alive check needs: what the manager sends goes
// out as wire text and is read back by the peer end; every received message counts as activity;
// a request that gets no reply within its available time is answered here with the time-out
// fault, as the connection does.
class CEnd : public QObject
{
    Q_OBJECT

public:
    CEnd(quint32 a_u32Id, eCONNECTION_SIDES a_eSide) : m_eSide(a_eSide), m_pManager(new CAliveCheckManager(a_u32Id))
    {
        m_pManager->setParent(this);
        connect(m_pManager, &CAliveCheckManager::signalSendMessage, this, &CEnd::slotSend, Qt::QueuedConnection);
        connect(
            m_pManager, &CAliveCheckManager::signalCheckHasFailed, this,
            [this] {
                ++m_iFailures;
                m_u64FailedAt = Platform::nowMonotonicUs();
            },
            Qt::QueuedConnection);
    }

    void link(CEnd& a_objPeer) { connect(this, &CEnd::signalBytes, &a_objPeer, &CEnd::slotReceive); }

    // Runs a_fn on this end's thread and returns its result.
    template <typename F> auto onThread(F a_fn)
    {
        decltype(a_fn()) result{};
        QMetaObject::invokeMethod(
            this, [&] { result = a_fn(); },
            QThread::currentThread() == thread() ? Qt::DirectConnection : Qt::BlockingQueuedConnection);
        return result;
    }

    void start()
    {
        onThread([this] {
            m_pManager->setConnectionSide(m_eSide, false);
            m_pManager->slotSocketState(QAbstractSocket::ConnectedState);
            return 0;
        });
    }
    QString info()
    {
        return onThread([this] { return m_pManager->getDebugInfo(); });
    }
    QStringList sent()
    {
        std::lock_guard<std::mutex> lock(m_objMutex);
        return m_lstSent;
    }
    int count(const QString& a_strPart) { return sent().filter(a_strPart).size(); }
    int checksSent() { return count(QStringLiteral("<Request type=\"get\"")); }

    CAliveCheckManager* manager() { return m_pManager; }

    std::atomic<bool> m_bSilent{false};          // neither sends nor reads anything
    std::atomic<bool> m_bSpeaksVersion3{false};  // writes its alive checks as the older protocol does
    std::atomic<int> m_iFailures{0};
    std::atomic<quint64> m_u64FailedAt{0};

signals:
    void signalBytes(QByteArray a_baText);

public slots:
    void slotSend(XmlCommon::ptrCXmlMessage a_ptrMsg, quint32)
    {
        if (a_ptrMsg->isRequest()) {
            const unsigned int uiId = a_ptrMsg->getMessageID();
            m_mapPending.insert(uiId, a_ptrMsg);
            QTimer::singleShot(int(a_ptrMsg->getAvailableTime() / 1000), this, [this, uiId] {
                const ptrCXmlMessage ptrRequest = m_mapPending.take(uiId);
                if (!ptrRequest)
                    return;
                const ptrCXmlMessage ptrFault = ptrRequest->copyShared(true);
                ptrFault->changeRequestToReply(0x02400007, Platform::nowUtcUs());
                deliver(ptrFault);
            });
        }
        ptrCXmlElement ptrTree = a_ptrMsg->getElementTree()->copy(true);
        if (m_bSpeaksVersion3)
            toVersion3(ptrTree);
        const QByteArray baText = TestUtils::wire(ptrTree);
        {
            std::lock_guard<std::mutex> lock(m_objMutex);
            m_lstSent.append(QString::fromUtf8(baText));
        }
        if (!m_bSilent)
            emit signalBytes(baText);
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
        QVERIFY2(bOk, qPrintable(strError));
        m_pManager->slotActivityDetected();
        deliver(ptrMsg);
    }

private:
    void deliver(const ptrCXmlMessage& a_ptrMsg)
    {
        const CXmlMessage::eSERVICE_TYPES eType = a_ptrMsg->getServiceType();
        if (a_ptrMsg->isReply())
            m_mapPending.remove(a_ptrMsg->getMessageID());
        CMsgFragment objFragment = a_ptrMsg->getFragment(0);
        if (m_pManager->handleFragment(objFragment, a_ptrMsg->getMessageID(), eType) == eFRAGMENT_REPLY) {
            a_ptrMsg->changeRequestToReply(0, 0);
            slotSend(a_ptrMsg, 0);
        }
    }

    // The older protocol: version 3, and a disable only as the text "0".
    static void toVersion3(const ptrCXmlElement& a_ptrRoot)
    {
        for (const ptrCXmlElement& ptrFragment : a_ptrRoot->children()) {
            for (const ptrCXmlElement& ptrData : ptrFragment->children()) {
                if (ptrData->tagname() != "AliveCheck")
                    continue;
                ptrData->setAttribute("version", QStringLiteral("3"));
                if (ptrData->getNumberOfChildren() > 0) {
                    ptrData->removeAllChildren();
                    ptrData->setValue(QStringLiteral("0"));
                }
            }
        }
    }

    eCONNECTION_SIDES m_eSide;
    CAliveCheckManager* m_pManager;
    QMap<unsigned int, ptrCXmlMessage> m_mapPending;
    std::mutex m_objMutex;
    QStringList m_lstSent;
};

// A client end and a server end wired back to back.
struct struPair
{
    CEnd* pClient = new CEnd(1, eCONNECTION_SIDE_CLIENT);
    CEnd* pServer = new CEnd(2, eCONNECTION_SIDE_SERVER);

    struPair()
    {
        pClient->link(*pServer);
        pServer->link(*pClient);
    }
    ~struPair()
    {
        destroy(pClient);
        destroy(pServer);
    }
    CEnd& client() { return *pClient; }
    CEnd& server() { return *pServer; }

    void start()
    {
        pServer->start();
        pClient->start();
    }
    // Done once the server has answered a check of the client (the answer is then on its way).
    bool handshakeDone()
    {
        return QTest::qWaitFor([&] { return pServer->count(QStringLiteral("<Reply type=\"get\"")) >= 1; }, 5000);
    }

private:
    // On the end's own thread, as a connection thread ends its connection.
    static void destroy(CEnd* a_pEnd)
    {
        if (a_pEnd->thread() == QThread::currentThread())
            delete a_pEnd;
        else
            QMetaObject::invokeMethod(
                a_pEnd, [a_pEnd] { delete a_pEnd; }, Qt::BlockingQueuedConnection);
    }
};
}  // namespace

class TestAliveCheckManager : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        CAliveCheckManager::setDefaultCheckCycle(s_u64Cycle);
        CAliveCheckManager::setMsgAvailableTime(s_u32Available);
    }

    // Rows: which end speaks the older protocol. The client announces itself in version 3 until
    // it knows the peer; then each end learns the other's version, the client checks after every
    // cycle of silence, and the server, whose cycle is a second longer, never checks.
    void handshake_data()
    {
        QTest::addColumn<bool>("clientV3");
        QTest::addColumn<bool>("serverV3");
        QTest::newRow("both version 4") << false << false;
        QTest::newRow("server version 3") << false << true;
        QTest::newRow("client version 3") << true << false;
    }

    void handshake()
    {
        QFETCH(bool, clientV3);
        QFETCH(bool, serverV3);
        struPair objPair;
        objPair.client().m_bSpeaksVersion3 = clientV3;
        objPair.server().m_bSpeaksVersion3 = serverV3;
        objPair.start();
        QVERIFY(objPair.handshakeDone());
        QVERIFY(QTest::qWaitFor([&] { return objPair.client().checksSent() >= 4; }, 5000));
        QCOMPARE(objPair.server().checksSent(), 0);
        QCOMPARE(objPair.client().m_iFailures.load() + objPair.server().m_iFailures.load(), 0);

        const QString strServerVersion = serverV3 ? QStringLiteral("3") : QStringLiteral("4");
        const QString strClientVersion = clientV3 ? QStringLiteral("3") : QStringLiteral("4");
        QCOMPARE(objPair.client().info(),
                 QStringLiteral("client, enabled by init, (version local: 4, peer: %1)").arg(strServerVersion));
        QCOMPARE(objPair.server().info(),
                 QStringLiteral("server, enabled by other side, (version local: 4, peer: %1)").arg(strClientVersion));
        QVERIFY(objPair.client().manager()->isActive());
        QVERIFY(objPair.server().manager()->isActive());

        // The wire: the first announcement in version 3 with the manager's envelope, later checks in
        // the version the peer speaks.
        const QString strFirst = objPair.client().sent().first();
        QVERIFY2(QRegularExpression(QStringLiteral("^<Request type=\"set\" id=\"\\d+\" time=\"400000\" "
                                                   "requestTree=\"1\">\n<XmlCommunicationDevice>\n<AliveCheck "
                                                   "version=\"3\">1</AliveCheck>\n</XmlCommunicationDevice>\n"
                                                   "</Request>\n$"))
                     .match(strFirst)
                     .hasMatch(),
                 qPrintable(strFirst));
        const QString strLastCheck = objPair.client().sent().filter(QStringLiteral("<Request type=\"get\"")).last();
        QVERIFY2(
            strLastCheck.contains(
                QStringLiteral("<AliveCheck version=\"%1\"/>").arg(clientV3 ? QStringLiteral("3") : strServerVersion)),
            qPrintable(strLastCheck));
        QCOMPARE(objPair.server().count(QStringLiteral("<Request type=\"set\"")), 1);  // announced once
    }

    // Every message from the peer postpones the next check by a whole cycle.
    void activityPostponesTheCheck()
    {
        struPair objPair;
        objPair.start();
        QVERIFY(objPair.handshakeDone());
        QTest::qWait(20);
        objPair.server().m_bSilent = true;  // only the activity below reaches the client
        const int iChecks = objPair.client().checksSent();
        QElapsedTimer objTimer;
        objTimer.start();
        while (objTimer.elapsed() < qint64(s_u64Cycle / 1000) * 4) {
            objPair.client().manager()->slotActivityDetected();
            QTest::qWait(int(s_u64Cycle / 1000) / 4);
        }
        QCOMPARE(objPair.client().checksSent(), iChecks);
        QVERIFY(QTest::qWaitFor([&] { return objPair.client().checksSent() == iChecks + 1; }, 3000));
    }

    // A peer that stops answering is declared dead within a cycle and the check's available time;
    // one that never answered a check is taken not to support it, without a failure.
    void silentPeer_data()
    {
        QTest::addColumn<bool>("afterHandshake");
        QTest::addColumn<int>("failures");
        QTest::addColumn<QString>("state");
        QTest::newRow("stops answering") << true << 1 << "disabled by faulty reply";
        QTest::newRow("never answered") << false << 0 << "disabled by faulty reply";
    }

    void silentPeer()
    {
        QFETCH(bool, afterHandshake);
        QFETCH(int, failures);
        QFETCH(QString, state);
        struPair objPair;
        if (!afterHandshake)
            objPair.server().m_bSilent = true;
        objPair.start();
        if (afterHandshake) {
            QVERIFY(objPair.handshakeDone());
            objPair.server().m_bSilent = true;
        }
        const quint64 u64Silent = Platform::nowMonotonicUs();
        QVERIFY(QTest::qWaitFor([&] { return objPair.client().info().contains(state); }, 5000));
        QTest::qWait(50);
        QCOMPARE(objPair.client().m_iFailures.load(), failures);
        if (failures > 0) {
            const quint64 u64Took = objPair.client().m_u64FailedAt - u64Silent;
            qInfo("silent peer declared dead after %llu ms (cycle %llu ms + available time %u ms)", u64Took / 1000,
                  s_u64Cycle / 1000, s_u32Available / 1000);
            QVERIFY(u64Took < s_u64Cycle + s_u32Available + 2000000);
        }
        QVERIFY(objPair.client().manager()->isDisabled());
        const int iChecks = objPair.client().checksSent();
        QTest::qWait(int(s_u64Cycle / 1000) * 2);
        QCOMPARE(objPair.client().checksSent(), iChecks);
    }

    // Switching the check off for one connection, and what the peer hears of it.
    void disableForConnection_data()
    {
        QTest::addColumn<QString>("who");
        QTest::addColumn<bool>("clientV3");
        QTest::addColumn<QString>("wire");
        QTest::newRow("server, version-4 client: fault in the answer")
            << "server" << false
            << "<Reply type=\"get\" id=\"\\d+\" requestTree=\"1\">\n<XmlCommunicationDevice>\n"
               "<Request>\n<AliveCheck version=\"4\"/>\n</Request>\n<Fault>\n<ID>0x2410006</ID>";
        QTest::newRow("server, version-3 client: announcement")
            << "server" << true
            << "<Request type=\"set\" id=\"\\d+\" time=\"400000\" requestTree=\"1\">\n"
               "<XmlCommunicationDevice>\n<AliveCheck version=\"4\">0</AliveCheck>";
        QTest::newRow("client, before it connects")
            << "client" << false
            << "<Request type=\"set\" id=\"\\d+\" time=\"400000\" requestTree=\"1\">\n<XmlCommunicationDevice>\n"
               "<AliveCheck version=\"4\">\n<Disable>connection</Disable>\n</AliveCheck>";
    }

    void disableForConnection()
    {
        QFETCH(QString, who);
        QFETCH(bool, clientV3);
        QFETCH(QString, wire);
        struPair objPair;
        objPair.client().m_bSpeaksVersion3 = clientV3;
        CEnd& objDisabling = who == QLatin1String("server") ? objPair.server() : objPair.client();
        if (who == QLatin1String("client"))
            objDisabling.manager()->disableCheck(CAliveCheckManager::eCSD_DISABLED);
        objPair.start();
        if (who == QLatin1String("server")) {
            QVERIFY(objPair.handshakeDone());
            objDisabling.manager()->disableCheck(CAliveCheckManager::eCSD_DISABLED);
        }
        // Both ends end up switched off, without a failure.
        QVERIFY(QTest::qWaitFor([&] { return objPair.client().manager()->isDisabled(); }, 5000));
        QVERIFY(QTest::qWaitFor([&] { return objPair.server().manager()->isDisabled(); }, 5000));
        QVERIFY(objPair.client().info().startsWith(QStringLiteral("client, disabled,")));
        QCOMPARE(objPair.client().m_iFailures.load() + objPair.server().m_iFailures.load(), 0);
        const QRegularExpression objWire(QLatin1Char('^') + wire);
        QVERIFY2(!objDisabling.sent().filter(objWire).isEmpty(),
                 qPrintable(objDisabling.sent().join(QLatin1Char('|'))));
        const int iChecks = objPair.client().checksSent() + objPair.server().checksSent();
        QTest::qWait(int(s_u64Cycle / 1000) * 3);
        QCOMPARE(objPair.client().checksSent() + objPair.server().checksSent(), iChecks);
    }

    // Each end on a thread of its own with an event loop, as connection threads run them, while
    // the trigger thread calls into them.
    void endsOnThreads()
    {
        QThread objClientThread;
        QThread objServerThread;
        objClientThread.start();
        objServerThread.start();
        for (int iRound = 0; iRound < 3; ++iRound) {
            struPair objPair;
            objPair.pClient->moveToThread(&objClientThread);
            objPair.pServer->moveToThread(&objServerThread);
            objPair.start();
            QVERIFY(objPair.handshakeDone());
            QVERIFY(QTest::qWaitFor([&] { return objPair.client().checksSent() >= 3; }, 5000));
            QCOMPARE(objPair.client().info(), QStringLiteral("client, enabled by init, (version local: 4, peer: 4)"));
            objPair.server().m_bSilent = true;
            QVERIFY(QTest::qWaitFor([&] { return objPair.client().m_iFailures.load() == 1; }, 5000));
            // The last pair goes while its server still waits for the next check.
        }
        objClientThread.quit();
        objServerThread.quit();
        QVERIFY(objClientThread.wait(5000));
        QVERIFY(objServerThread.wait(5000));
    }

    // Last: switching the check off for the process is final for the process.
    void disableForProcess()
    {
        QCOMPARE(TestUtils::wire(CAliveCheckManager::getProcessDisableFragment()),
                 QByteArray("<XmlCommunicationDevice>\n<DebugFlags>\n<CAliveCheck>\n<Check>disableProcess</Check>\n"
                            "</CAliveCheck>\n</DebugFlags>\n</XmlCommunicationDevice>\n"));
        QCOMPARE(
            TestUtils::wire(CAliveCheckManager::getSystemDisableFragment()),
            QByteArray("<XmlCommunicationDevice>\n<DebugFlags>\n<CResMan>\n<AliveCheck>disableSystem</AliveCheck>\n"
                       "</CResMan>\n</DebugFlags>\n</XmlCommunicationDevice>\n"));
        struPair objPair;
        objPair.start();
        QVERIFY(objPair.handshakeDone());
        QVERIFY(!CAliveCheckManager::isProcessDisabled());
        QSignalSpy objSpy(objPair.client().manager(), &CAliveCheckManager::signalProcessDisabled);
        CAliveCheckManager::setProcessDisabled();
        QVERIFY(QTest::qWaitFor([&] { return objPair.client().manager()->isDisabled(); }, 5000));
        QVERIFY(CAliveCheckManager::isProcessDisabled());
        QCOMPARE(objSpy.count(), 1);
        QTest::qWait(int(s_u64Cycle / 1000) * 3);
        // Each active end told its peer once, and no end checks any more.
        const QString strDisable = QStringLiteral("<Disable>connection</Disable>");
        auto announcements = [&](CEnd& a_objEnd) {
            return a_objEnd.sent().filter(QStringLiteral("<Request type=\"set\"")).filter(strDisable).size();
        };
        QCOMPARE(announcements(objPair.client()), 1);
        QCOMPARE(announcements(objPair.server()), 1);
        const int iChecks = objPair.client().checksSent();
        QTest::qWait(int(s_u64Cycle / 1000) * 2);
        QCOMPARE(objPair.client().checksSent(), iChecks);

        // A connection made afterwards never checks.
        struPair objLate;
        objLate.start();
        QTest::qWait(int(s_u64Cycle / 1000) * 3);
        QCOMPARE(objLate.client().checksSent() + objLate.server().checksSent(), 0);
        QVERIFY(objLate.client().manager()->isDisabled());
    }
};

QTEST_GUILESS_MAIN(TestAliveCheckManager)
#include "tst_calivecheckmanager.moc"

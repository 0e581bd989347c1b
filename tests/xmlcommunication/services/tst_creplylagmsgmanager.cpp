#include "xmlcommunication/services/CTriggerManager_p.h"
#include <OrvexXmlInterface/platform/Platform.h>
#include <OrvexXmlInterface/xmlcommunication/services/CReplyLagMsgManager.h>

#include <QtCore/QThread>
#include <QtTest/QtTest>

#include <algorithm>
#include <atomic>
#include <functional>

using namespace XmlCommon;
using namespace XmlCommunication;

namespace
{
quint64 now()
{
    return Platform::nowMonotonicUs();
}

// A received request whose deadline lies a_iMs from now.
ptrCXmlMessage request(unsigned int a_uiId, int a_iMs)
{
    ptrCXmlMessage ptrMsg(new CXmlMessage(5));
    ptrMsg->setServiceType(CXmlMessage::REQUEST_GET);
    ptrMsg->setMessageID(a_uiId);
    ptrMsg->setAvailableTime(unsigned(a_iMs) * 1000u + 1000000u);
    ptrMsg->addFragment(CMsgFragment(ptrCXmlElement(new CXmlElement("Tuner"))));
    ptrMsg->setTimeout(now() + quint64(a_iMs) * 1000u);
    return ptrMsg;
}

// What the host does to ask for more time: the lag extends the request's deadline when made.
ptrCXmlMessage hostLag(const ptrCXmlMessage& a_ptrRequest, int a_iMs)
{
    const ptrCXmlMessage ptrLag = a_ptrRequest->generateTimeoutIncrementMsg(unsigned(a_iMs) * 1000u, true);
    if (ptrLag)
        ptrLag->updateRequestParent();
    return ptrLag;
}

ptrCXmlMessage reply(const ptrCXmlMessage& a_ptrRequest)
{
    const ptrCXmlMessage ptrReply = a_ptrRequest->copyShared(true);
    ptrReply->changeRequestToReply(0, 0);
    return ptrReply;
}

// Lag replies the manager sends, with how late each left against its ideal instant: the
// deadline the requester knew, less the lead margin.
struct struSentLag
{
    ptrCXmlMessage ptrLag;
    qint64 i64LateUs;
};

QVector<qint64> g_vecLateness;
}  // namespace

class TestReplyLagMsgManager : public QObject
{
    Q_OBJECT

    static void collect(CReplyLagMsgManager& a_objManager, QList<struSentLag>& a_lstSent)
    {
        QObject::connect(&a_objManager, &CReplyLagMsgManager::SignalMsgToSend, &a_objManager,
                         [&a_lstSent](ptrCXmlMessage a_ptrLag, quint32 a_u32Id) {
                             QCOMPARE(a_u32Id, 0u);
                             const quint64 u64Ideal = a_ptrLag->getTimeout() - a_ptrLag->getAvailableTime() -
                                                      CReplyLagMsgManager::m_u64LeadMargin;
                             const qint64 i64Late = qint64(now()) - qint64(u64Ideal);
                             a_lstSent.append({a_ptrLag, i64Late});
                             g_vecLateness.append(i64Late);
                         });
    }

    static void checkTiming(const QList<struSentLag>& a_lstSent)
    {
        // Generous bounds only: the machine is shared. Early by at most the trigger's margin, and
        // before the deadline the requester knows.
        for (const struSentLag& objSent : a_lstSent) {
            QVERIFY2(objSent.i64LateUs >= -qint64(CTriggerManagerKernel::earlyMarginUs()) - 1000,
                     qPrintable(QString::number(objSent.i64LateUs)));
            QVERIFY2(objSent.i64LateUs < 300000, qPrintable(QString::number(objSent.i64LateUs)));
        }
    }

private slots:
    void cleanupTestCase()
    {
        if (g_vecLateness.isEmpty())
            return;
        std::sort(g_vecLateness.begin(), g_vecLateness.end());
        qInfo("lag replies sent against their ideal instant over %d lags: median %lld us, worst %lld us, "
              "earliest %lld us",
              g_vecLateness.size(), g_vecLateness.at(g_vecLateness.size() / 2), g_vecLateness.last(),
              g_vecLateness.first());
    }

    // Host actions at times after the request's arrival: "lag:<ms>" asks for more time, "late:<ms>"
    // too but waits until the manager has given the request its last 0.1 s, "reply" answers.
    // Expected: the manager's lag replies (their time in ms) and, for each host lag, whether it
    // goes out at once ("sent") or is held back ("held"). Actions keep clear of the instants at
    // which the manager acts, so that a busy machine does not change the outcome.
    void lagWindows_data()
    {
        QTest::addColumn<int>("deadline");
        QTest::addColumn<QString>("actions");
        QTest::addColumn<QString>("lags");
        QTest::addColumn<QString>("answers");

        // clang-format off
        QTest::newRow("no extension, no lag")           << 300 << ""                       << ""        << "";
        QTest::newRow("two host lags summed in one")    << 300 << "20 lag:150 40 lag:250"  << "400"     << "held held";
        QTest::newRow("one lag per window")             << 400 << "20 lag:300 450 lag:100" << "300 100" << "held held";
        QTest::newRow("answered before the lag is due") << 300 << "20 lag:200 100 reply"   << ""        << "held";
        QTest::newRow("in the last 0.1 s a host lag goes at once")
                                                        << 300 << "200 late:300 380 lag:100" << "100"   << "sent held";
        QTest::newRow("arrives in its last 0.1 s")      << 80  << "10 lag:200"             << ""        << "sent";
        QTest::newRow("a lag still ending in the last 0.1 s goes at once")
                                                        << 150 << "50 late:30"             << ""        << "sent";
        // clang-format on
    }

    void lagWindows()
    {
        QFETCH(int, deadline);
        QFETCH(QString, actions);
        QFETCH(QString, lags);
        QFETCH(QString, answers);

        CReplyLagMsgManager objManager(5);
        QList<struSentLag> lstSent;
        collect(objManager, lstSent);
        const ptrCXmlMessage ptrRequest = request(77, deadline);
        objManager.addNewRequestMsg(ptrRequest);
        const quint64 u64Start = now();

        // A real event loop runs the test, so that the lateness measured is the manager's.
        QEventLoop objLoop;
        QStringList lstAnswers;
        const QStringList lstActions = actions.split(QLatin1Char(' '), Qt::SkipEmptyParts);
        auto inLastSecond = [&] {
            QString strDump;
            objManager.traceDebugInfo(strDump);
            return strDump.contains(QLatin1String("LastSecondReq["));
        };
        QList<std::function<void()>> lstSteps;
        for (int i = 0; i + 1 < lstActions.size(); i += 2)
            lstSteps.append(std::function<void()>());
        for (int i = 0; i + 1 < lstActions.size(); i += 2) {
            const QString strAction = lstActions.at(i + 1);
            std::function<void()>& fnStep = lstSteps[i / 2];
            fnStep = [&, strAction] {
                if (strAction == QLatin1String("reply")) {
                    objManager.handleReplyMsg(reply(ptrRequest));
                    return;
                }
                if (strAction.startsWith(QLatin1String("late")) && !inLastSecond()) {
                    QTimer::singleShot(1, Qt::PreciseTimer, &objLoop, fnStep);
                    return;
                }
                const ptrCXmlMessage ptrLag = hostLag(ptrRequest, strAction.section(QLatin1Char(':'), 1).toInt());
                lstAnswers.append(objManager.handleReplyLagMsg(ptrLag) ? QStringLiteral("sent")
                                                                       : QStringLiteral("held"));
            };
            const int iAtMs = lstActions.at(i).toInt() - int((now() - u64Start) / 1000);
            QTimer::singleShot(qMax(0, iAtMs), Qt::PreciseTimer, &objLoop, fnStep);
        }
        // Until well past the last deadline the request reached.
        const int iLastAction = lstActions.size() >= 2 ? lstActions.at(lstActions.size() - 2).toInt() : 0;
        QTimer objPoll;
        connect(&objPoll, &QTimer::timeout, &objLoop, [&] {
            if (now() > ptrRequest->getTimeout() + 150000 && now() > u64Start + quint64(iLastAction) * 1000u + 50000)
                objLoop.quit();
        });
        objPoll.start(10);
        QTimer::singleShot(10000, &objLoop, &QEventLoop::quit);
        objLoop.exec();

        QStringList lstLags;
        for (const struSentLag& objSent : qAsConst(lstSent)) {
            lstLags.append(QString::number(objSent.ptrLag->getAvailableTime() / 1000));
            QCOMPARE(objSent.ptrLag->getServiceType(), CXmlMessage::REPLY_LAG);
            QCOMPARE(objSent.ptrLag->getMessageID(), 77u);
            QCOMPARE(objSent.ptrLag->getConnectionId(), 5u);
            QVERIFY(objSent.ptrLag->isParentUpdated());  // sending it extends nothing further
        }
        QCOMPARE(lstLags.join(QLatin1Char(' ')), lags);
        QCOMPARE(lstAnswers.join(QLatin1Char(' ')), answers);
        checkTiming(lstSent);
    }

    // Many requests at once, each extended once early: one lag each, on time.
    void manyRequests()
    {
        CReplyLagMsgManager objManager(6);
        QList<struSentLag> lstSent;
        collect(objManager, lstSent);
        QVector<ptrCXmlMessage> vecRequests;
        for (int i = 0; i < 24; ++i) {
            vecRequests.append(request(100u + unsigned(i), 250 + 20 * i));
            objManager.addNewRequestMsg(vecRequests.last());
        }
        for (int i = 0; i < vecRequests.size(); ++i)
            QVERIFY(!objManager.handleReplyLagMsg(hostLag(vecRequests.at(i), 100 + i)));
        QEventLoop objLoop;
        QTimer objPoll;
        connect(&objPoll, &QTimer::timeout, &objLoop, [&] {
            if (lstSent.size() >= vecRequests.size())
                objLoop.quit();
        });
        objPoll.start(5);
        QTimer::singleShot(5000, &objLoop, &QEventLoop::quit);
        objLoop.exec();
        QTest::qWait(150);
        QCOMPARE(lstSent.size(), vecRequests.size());
        for (const struSentLag& objSent : qAsConst(lstSent)) {
            const int i = int(objSent.ptrLag->getMessageID()) - 100;
            QCOMPARE(objSent.ptrLag->getAvailableTime(), unsigned(100 + i) * 1000u);
        }
        checkTiming(lstSent);
        for (const ptrCXmlMessage& ptrRequest : qAsConst(vecRequests))
            objManager.handleReplyMsg(reply(ptrRequest));
        QString strDump;
        objManager.traceDebugInfo(strDump);
        QCOMPARE(strDump, QString());
    }

    void dumpAndBookkeeping()
    {
        QStringList lstOutput;
        const Platform::typDebugOutputHook fnOld =
            Platform::setDebugOutputHook([&](const QString& a_str) { lstOutput.append(a_str); });
        CReplyLagMsgManager objManager(8);
        const ptrCXmlMessage ptrLate = request(1, 5000);
        const ptrCXmlMessage ptrEarly = request(2, 3000);
        const ptrCXmlMessage ptrLast = request(3, 50);
        const ptrCXmlMessage ptrGone = request(4, 60);
        for (const ptrCXmlMessage& ptr : {ptrLate, ptrEarly, ptrLast, ptrGone})
            objManager.addNewRequestMsg(ptr);
        objManager.addNewRequestMsg(ptrCXmlMessage());
        ptrCXmlMessage ptrEvent(new CXmlMessage);
        ptrEvent->setServiceType(CXmlMessage::BROADCAST);
        objManager.addNewRequestMsg(ptrEvent);  // not a request: not tracked

        QString strDump;
        objManager.traceDebugInfo(strDump);
        const QRegularExpression objLine(QStringLiteral("\\n\\t\\t(Request|LastSecondReq)\\[(\\d)\\]: Creation: "
                                                        "\\d+\\.\\d{3}, Available: 0\\.000001, Remaining: "
                                                        "(\\d+)\\.\\d{6}"));
        QStringList lstEntries;
        for (auto it = objLine.globalMatch(strDump); it.hasNext();) {
            const QRegularExpressionMatch objMatch = it.next();
            lstEntries.append(objMatch.captured(1) + objMatch.captured(2) + QLatin1Char(':') + objMatch.captured(3));
        }
        // Deadline order, each list numbered from 0.
        QCOMPARE(lstEntries, (QStringList{"Request0:2", "Request1:4", "LastSecondReq0:0", "LastSecondReq1:0"}));
        QVERIFY(strDump.startsWith(QStringLiteral("\n\tReplyLagMsgManager; Now: ")));

        // A request never answered leaves the last-second map 10 s after its deadline, when
        // the next entry arrives there.
        ptrGone->setTimeout(now() - 10500000);
        objManager.addNewRequestMsg(request(5, 40));
        strDump.clear();
        objManager.traceDebugInfo(strDump);
        QCOMPARE(strDump.count(QStringLiteral("LastSecondReq[")), 2);

        // A reply found by its id but from another message is reported; unknown replies are ignored.
        const int iBefore = lstOutput.size();
        ptrCXmlMessage ptrStranger = request(2, 1000);
        ptrStranger->changeRequestToReply(0, 0);
        objManager.handleReplyMsg(ptrStranger);
        objManager.handleReplyMsg(reply(request(99, 1000)));
        objManager.handleReplyMsg(reply(ptrEarly));  // answered already: nothing
        objManager.handleReplyMsg(reply(ptrLast));
        Platform::setDebugOutputHook(fnOld);
        QCOMPARE(lstOutput.size(), iBefore + 1);
        QVERIFY(lstOutput.last().contains(QStringLiteral("Conn[8] CReplyLagMsgManager::handleReplyMsg() msg2[")));
        QVERIFY(lstOutput.last().endsWith(QStringLiteral("gets removed from RequestMap (identified by MsgId) "
                                                         "FAULT: unknown ContinuousId!")));
        strDump.clear();
        objManager.traceDebugInfo(strDump);
        QCOMPARE(strDump.count(QStringLiteral("\n\t\tRequest[")), 1);
        QCOMPARE(strDump.count(QStringLiteral("LastSecondReq[")), 1);
        QVERIFY(!objManager.handleReplyLagMsg(ptrCXmlMessage()));
    }

    // Managers on threads of their own with event loops, as connections run them, while the
    // trigger thread calls into them; some are destroyed with requests pending.
    void threadedManagers()
    {
        const int iThreads = 2;
        const int iPerThread = 2;
        const int iRequests = 15;
        std::atomic<int> iLags{0};
        QVector<QThread*> vecThreads;
        QVector<CReplyLagMsgManager*> vecManagers;
        for (int t = 0; t < iThreads; ++t) {
            vecThreads.append(new QThread);
            vecThreads.last()->start();
            for (int m = 0; m < iPerThread; ++m) {
                CReplyLagMsgManager* pManager = new CReplyLagMsgManager(unsigned(10 + vecManagers.size()));
                pManager->moveToThread(vecThreads.last());
                connect(
                    pManager, &CReplyLagMsgManager::SignalMsgToSend, pManager,
                    [&iLags](ptrCXmlMessage, quint32) { ++iLags; }, Qt::DirectConnection);
                vecManagers.append(pManager);
            }
        }
        for (int i = 0; i < vecManagers.size(); ++i) {
            CReplyLagMsgManager* pManager = vecManagers.at(i);
            const bool bKeepPending = i == vecManagers.size() - 1;
            QMetaObject::invokeMethod(
                pManager,
                [pManager, bKeepPending, iRequests] {
                    for (int r = 0; r < iRequests; ++r) {
                        const ptrCXmlMessage ptrRequest = request(unsigned(r + 1), 150 + 10 * r);
                        pManager->addNewRequestMsg(ptrRequest);
                        pManager->handleReplyLagMsg(hostLag(ptrRequest, bKeepPending ? 5000 : 50));
                    }
                },
                Qt::QueuedConnection);
        }
        // The last manager's requests are extended far: their next lags are still pending when
        // it goes.
        const int iExpected = vecManagers.size() * iRequests;
        QVERIFY(QTest::qWaitFor([&] { return iLags.load() >= iExpected; }, 10000));
        for (CReplyLagMsgManager* pManager : qAsConst(vecManagers))
            QMetaObject::invokeMethod(
                pManager, [pManager] { delete pManager; }, Qt::BlockingQueuedConnection);
        for (QThread* pThread : qAsConst(vecThreads)) {
            pThread->quit();
            QVERIFY(pThread->wait(10000));
            delete pThread;
        }
        QCOMPARE(iLags.load(), iExpected);
    }
};

QTEST_GUILESS_MAIN(TestReplyLagMsgManager)
#include "tst_creplylagmsgmanager.moc"

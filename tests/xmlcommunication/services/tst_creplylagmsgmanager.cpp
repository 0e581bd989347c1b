#include "xmlcommunication/services/CTriggerManager_p.h"
#include <OrvexXmlInterface/platform/Platform.h>
#include <OrvexXmlInterface/xmlcommunication/services/CReplyLagMsgManager.h>

#include <QtCore/QThread>
#include <QtTest/QtTest>

#include <algorithm>
#include <atomic>
#include <functional>
#include <mutex>

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
    ptrMsg->setTimeout(now() + quint64(a_iMs) * 1000u);
    return ptrMsg;
}

// The host asks for more time: its lag extends the request's deadline when made.
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

// The manager's lag replies (available time in ms) and how late each left against its ideal
// instant, the deadline the requester knew less the lead margin; collected on the manager's thread.
struct struSent
{
    std::mutex objMutex;
    QStringList lstLags;
    QVector<qint64> vecLate;

    void follow(CReplyLagMsgManager* a_pManager)
    {
        QObject::connect(
            a_pManager, &CReplyLagMsgManager::SignalMsgToSend, a_pManager,
            [this](ptrCXmlMessage a_ptrLag, quint32) {
                const quint64 u64Ideal =
                    a_ptrLag->getTimeout() - a_ptrLag->getAvailableTime() - CReplyLagMsgManager::m_u64LeadMargin;
                std::lock_guard<std::mutex> lock(objMutex);
                lstLags.append(
                    QStringLiteral("%1:%2").arg(a_ptrLag->getMessageID()).arg(a_ptrLag->getAvailableTime() / 1000));
                vecLate.append(qint64(now()) - qint64(u64Ideal));
                QVERIFY(a_ptrLag->isParentUpdated() && a_ptrLag->getServiceType() == CXmlMessage::REPLY_LAG);
            },
            Qt::DirectConnection);
    }
    int count()
    {
        std::lock_guard<std::mutex> lock(objMutex);
        return lstLags.size() + iDirect;
    }
    // Host lags the manager let go out at once: a thread held up past the last 0.1 s.
    std::atomic<int> iDirect{0};
};
}  // namespace

class TestReplyLagMsgManager : public QObject
{
    Q_OBJECT

private slots:
    // Host actions at ms after the request's arrival: "lag:<ms>" asks for more time, "late:<ms>" too
    // once the manager has given the request its last 0.1 s, "reply" answers. Expected: the
    // manager's lag replies and, per host lag, whether it goes out at once ("sent") or is held
    // back ("held"). Actions keep clear of the manager's instants, so a busy machine cannot
    // change the outcome.
    void lagWindows_data()
    {
        QTest::addColumn<int>("deadline");
        QTest::addColumn<QString>("actions");
        QTest::addColumn<QString>("lags");
        QTest::addColumn<QString>("answers");
        // clang-format off
        QTest::newRow("no extension, no lag")           << 300 << ""                         << ""              << "";
        QTest::newRow("two host lags summed in one")    << 300 << "20 lag:150 40 lag:250"    << "77:400"        << "held held";
        QTest::newRow("one lag per window")             << 400 << "20 lag:300 450 lag:100"   << "77:300 77:100" << "held held";
        QTest::newRow("answered before the lag is due") << 300 << "20 lag:200 100 reply"     << ""              << "held";
        QTest::newRow("last 0.1 s: host lag at once")   << 300 << "200 late:300 380 lag:100" << "77:100"        << "sent held";
        QTest::newRow("arrives in its last 0.1 s")      << 80  << "10 lag:200"               << ""              << "sent";
        QTest::newRow("lag ending in the last 0.1 s")   << 150 << "50 late:30"               << ""              << "sent";
        // clang-format on
    }

    void lagWindows()
    {
        QFETCH(int, deadline);
        QFETCH(QString, actions);
        QFETCH(QString, lags);
        QFETCH(QString, answers);
        CReplyLagMsgManager objManager(5);
        struSent objSent;
        objSent.follow(&objManager);
        const ptrCXmlMessage ptrRequest = request(77, deadline);
        objManager.addNewRequestMsg(ptrRequest);
        const quint64 u64Start = now();

        // A real event loop, so that the manager's timing is what is seen.
        QEventLoop objLoop;
        QStringList lstAnswers;
        int iDone = 0;
        const QStringList lstActions = actions.split(QLatin1Char(' '), Qt::SkipEmptyParts);
        QVector<std::function<void()>> vecSteps(lstActions.size() / 2);
        for (int i = 0; i < vecSteps.size(); ++i) {
            const QString strAction = lstActions.at(2 * i + 1);
            std::function<void()>& fnStep = vecSteps[i];
            fnStep = [&, strAction] {
                QString strDump;
                objManager.traceDebugInfo(strDump);
                if (strAction.startsWith(QLatin1String("late")) && !strDump.contains(QLatin1String("LastSecondReq[")))
                    return QTimer::singleShot(1, Qt::PreciseTimer, &objLoop, fnStep);
                ++iDone;
                if (strAction == QLatin1String("reply"))
                    return objManager.handleReplyMsg(reply(ptrRequest));
                const int iMs = strAction.section(QLatin1Char(':'), 1).toInt();
                lstAnswers.append(objManager.handleReplyLagMsg(hostLag(ptrRequest, iMs)) ? QStringLiteral("sent")
                                                                                         : QStringLiteral("held"));
            };
            const int iAtMs = lstActions.at(2 * i).toInt() - int((now() - u64Start) / 1000);
            QTimer::singleShot(qMax(0, iAtMs), Qt::PreciseTimer, &objLoop, fnStep);
        }
        // Until well past the last deadline the request reached.
        QTimer objPoll;
        connect(&objPoll, &QTimer::timeout, &objLoop, [&] {
            if (now() > ptrRequest->getTimeout() + 150000 && iDone == vecSteps.size())
                objLoop.quit();
        });
        objPoll.start(10);
        QTimer::singleShot(10000, &objLoop, &QEventLoop::quit);
        objLoop.exec();
        QCOMPARE(objSent.lstLags.join(QLatin1Char(' ')), lags);
        QCOMPARE(lstAnswers.join(QLatin1Char(' ')), answers);
        // Generous bounds only: the machine is shared.
        for (qint64 i64Late : qAsConst(objSent.vecLate))
            QVERIFY2(i64Late > -qint64(CTriggerManagerKernel::earlyMarginUs()) - 1000 && i64Late < 300000,
                     qPrintable(QString::number(i64Late)));
    }

    // Managers on threads of their own with event loops, as connections run them: many requests,
    // each extended once early, give one lag each. The last manager goes with lags pending.
    void threadedManagers()
    {
        QThread objThreadA, objThreadB;
        objThreadA.start();
        objThreadB.start();
        QVector<CReplyLagMsgManager*> vecManagers;
        struSent objSent;
        for (int i = 0; i < 4; ++i) {
            vecManagers.append(new CReplyLagMsgManager(unsigned(10 + i)));
            vecManagers.last()->moveToThread(i % 2 ? &objThreadB : &objThreadA);
            objSent.follow(vecManagers.last());
            QMetaObject::invokeMethod(
                vecManagers.last(),
                [pManager = vecManagers.last(), bFar = i == 3, &objSent] {
                    for (int r = 0; r < 20; ++r) {
                        const ptrCXmlMessage ptrRequest = request(unsigned(r + 1), 200 + 15 * r);
                        pManager->addNewRequestMsg(ptrRequest);
                        if (pManager->handleReplyLagMsg(hostLag(ptrRequest, bFar ? 5000 : 60 + r)))
                            ++objSent.iDirect;
                    }
                },
                Qt::QueuedConnection);
        }
        QVERIFY(QTest::qWaitFor([&] { return objSent.count() >= 80; }, 10000));
        for (CReplyLagMsgManager* pManager : qAsConst(vecManagers))
            QMetaObject::invokeMethod(
                pManager, [pManager] { delete pManager; }, Qt::BlockingQueuedConnection);
        objThreadA.quit();
        objThreadB.quit();
        QVERIFY(objThreadA.wait(10000) && objThreadB.wait(10000));
        QCOMPARE(objSent.count(), 80);
        std::sort(objSent.vecLate.begin(), objSent.vecLate.end());
        if (!objSent.vecLate.isEmpty())
            qInfo("lag replies sent against their ideal instant over %d lags: median %lld us, worst %lld us, "
                  "earliest %lld us",
                  objSent.vecLate.size(), objSent.vecLate.at(objSent.vecLate.size() / 2), objSent.vecLate.last(),
                  objSent.vecLate.first());
        QVERIFY(objSent.vecLate.isEmpty() || objSent.vecLate.last() < 300000);
    }

    void bookkeeping()
    {
        QStringList lstOutput;
        const Platform::typDebugOutputHook fnOld =
            Platform::setDebugOutputHook([&](const QString& a_str) { lstOutput.append(a_str); });
        CReplyLagMsgManager objManager(8);
        const ptrCXmlMessage ptrLate = request(1, 5000), ptrEarly = request(2, 3000), ptrGone = request(3, 60);
        for (const ptrCXmlMessage& ptr : {ptrLate, ptrEarly, ptrGone, ptrCXmlMessage(), reply(ptrLate)})
            objManager.addNewRequestMsg(ptr);  // null and replies are not tracked
        QString strDump;
        objManager.traceDebugInfo(strDump);
        QVERIFY2(
            QRegularExpression(QStringLiteral("^\n\tReplyLagMsgManager; Now: \\d+\\.\\d{3}"
                                              "\n\t\tRequest\\[0\\]: Creation: \\d+\\.\\d{3}, Available: 0.000001, "
                                              "Remaining: 2\\.\\d{6}\n\t\tRequest\\[1\\]: .*Remaining: 4\\.\\d{6}"
                                              "\n\t\tLastSecondReq\\[0\\]: .*Remaining: 0\\.0\\d{5}$"))
                .match(strDump)
                .hasMatch(),
            qPrintable(strDump));
        // Never answered: gone 10 s after its deadline, when the next request enters its last 0.1 s.
        ptrGone->setTimeout(now() - 10500000);
        objManager.addNewRequestMsg(request(4, 40));
        // A reply found by its id but from another request is reported; unknown or repeated replies change nothing.
        objManager.handleReplyMsg(reply(request(2, 1000)));
        objManager.handleReplyMsg(reply(request(99, 1000)));
        objManager.handleReplyMsg(reply(ptrEarly));
        Platform::setDebugOutputHook(fnOld);
        QCOMPARE(lstOutput.size(), 1);
        QVERIFY(lstOutput.first().startsWith(QStringLiteral("Conn[8] CReplyLagMsgManager::handleReplyMsg() msg2[")));
        QVERIFY(lstOutput.first().endsWith(QStringLiteral("(identified by MsgId) FAULT: unknown ContinuousId!")));
        strDump.clear();
        objManager.traceDebugInfo(strDump);
        QCOMPARE(strDump.count(QStringLiteral("\n\t\tRequest[")) * 10 + strDump.count(QStringLiteral("LastSecondReq[")),
                 11);
        QVERIFY(!objManager.handleReplyLagMsg(ptrCXmlMessage()));
    }

    void manyWaitingRequestsStruckOffInAnyOrder()
    {
        // Ids repeat and deadlines coincide: each reply strikes off one request of its id, and
        // none is left once all are answered.
        const Platform::typDebugOutputHook fnOld = Platform::setDebugOutputHook([](const QString&) {});
        CReplyLagMsgManager objManager(8);
        QList<ptrCXmlMessage> lstRequests;
        for (unsigned int i = 0; i < 300; ++i) {
            lstRequests.append(request(i % 250, 5000 + int(i % 7) * 100));
            objManager.addNewRequestMsg(lstRequests.last());
        }
        for (int i = lstRequests.size() - 1; i >= 0; --i)
            objManager.handleReplyMsg(reply(lstRequests.at((i * 7) % lstRequests.size())));
        Platform::setDebugOutputHook(fnOld);
        QString strDump;
        objManager.traceDebugInfo(strDump);
        QCOMPARE(strDump.count(QStringLiteral("Request[")), 0);
    }
};

QTEST_GUILESS_MAIN(TestReplyLagMsgManager)
#include "tst_creplylagmsgmanager.moc"

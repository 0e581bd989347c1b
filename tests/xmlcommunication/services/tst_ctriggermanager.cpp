#include "xmlcommunication/services/CTriggerManager_p.h"
#include <OrvexXmlInterface/platform/Platform.h>

#include <QtCore/QRandomGenerator>
#include <QtCore/QThread>
#include <QtTest/QtTest>

#include <algorithm>
#include <atomic>
#include <functional>
#include <mutex>
#include <set>

using namespace XmlCommunication;

namespace
{
std::mutex g_objLiveMutex;
std::set<const void*> g_setLive;
std::atomic<int> g_iCallsToDead{0};

class CReceiver : public QObject, public IfTriggerReceiver
{
    Q_OBJECT

public:
    struct struCall
    {
        quint64 u64Time;
        quint64 u64At;
    };
    QList<struCall> m_lstCalls;
    int m_iTag = 0;
    QList<int>* m_plstOrder = nullptr;
    std::function<void()> m_fnAfterCall;

    CReceiver()
    {
        std::lock_guard<std::mutex> lock(g_objLiveMutex);
        g_setLive.insert(this);
    }
    ~CReceiver() override
    {
        std::lock_guard<std::mutex> lock(g_objLiveMutex);
        g_setLive.erase(this);
    }

public slots:
    void slotSetTrigger(quint64 a_u64Timestamp) override
    {
        {
            std::lock_guard<std::mutex> lock(g_objLiveMutex);
            if (!g_setLive.count(this))
                ++g_iCallsToDead;
        }
        m_lstCalls.append({a_u64Timestamp, Platform::nowMonotonicUs()});
        if (m_plstOrder)
            m_plstOrder->append(m_iTag);
        if (m_fnAfterCall)
            m_fnAfterCall();
    }
};

std::atomic<int> g_iRequestsOfDeadObjects{0};

// Destroyed after the QObject part when it stands behind it: it sees what the manager still holds
// for a receiver that no longer is an object, and holds that window open while requests fall due.
class CSlowBase
{
public:
    virtual ~CSlowBase()
    {
        g_iRequestsOfDeadObjects += TriggerTesting::pendingRequests(m_pReceiver);
        QThread::usleep(3000);
    }
    IfTriggerReceiver* m_pReceiver = nullptr;
};

// Not a Q_OBJECT (moc wants QObject first): the call reaches it through the interface.
class CReversedReceiver : public IfTriggerReceiver, public CSlowBase, public QObject
{
public:
    CReversedReceiver()
    {
        m_pReceiver = this;
        std::lock_guard<std::mutex> lock(g_objLiveMutex);
        g_setLive.insert(this);
    }
    ~CReversedReceiver() override
    {
        std::lock_guard<std::mutex> lock(g_objLiveMutex);
        g_setLive.erase(this);
    }

    void slotSetTrigger(quint64) override
    {
        std::lock_guard<std::mutex> lock(g_objLiveMutex);
        if (!g_setLive.count(this))
            ++g_iCallsToDead;
    }
};

quint64 now()
{
    return Platform::nowMonotonicUs();
}
}  // namespace

class TestTriggerManager : public QObject
{
    Q_OBJECT

private slots:
    void init() { m_ptrManager = CTriggerManager::getInstance(); }
    void cleanup() { m_ptrManager.reset(); }

    void basics()
    {
        QVERIFY(QTest::qWaitFor([&] { return m_ptrManager->getThreadId() != 0; }, 5000));
        QVERIFY(m_ptrManager->getThreadId() != Platform::currentThreadId());
        QCOMPARE(CTriggerManager::getCycleTime(), 50u);
        QVERIFY(CTriggerManager::getInstance() == m_ptrManager);
        QVERIFY(!m_ptrManager->addRequest(now() + 1000, nullptr));

        // Already due: delivered at once, never stored.
        CReceiver objPast;
        QVERIFY(m_ptrManager->addRequest(now() - 5, &objPast));
        QVERIFY(QTest::qWaitFor([&] { return objPast.m_lstCalls.size() == 1; }, 2000));
        m_ptrManager->removeAllRequests(&objPast);

        // Same time for two receivers: the later-added is served first.
        QList<int> lstOrder;
        CReceiver objA, objB;
        objA.m_iTag = 1;
        objB.m_iTag = 2;
        objA.m_plstOrder = objB.m_plstOrder = &lstOrder;
        const quint64 u64Time = now() + 30000;
        QVERIFY(m_ptrManager->addRequest(u64Time, &objA));
        QVERIFY(m_ptrManager->addRequest(u64Time, &objB));
        QVERIFY(QTest::qWaitFor([&] { return lstOrder.size() == 2; }, 2000));
        QCOMPARE(lstOrder, (QList<int>{2, 1}));
        QCOMPARE(objA.m_lstCalls.at(0).u64Time, u64Time);

        // Removing one of two requests at the same time leaves the other. Calls come in the order
        // of their times, so once a later marker has arrived everything before it has too.
        CReceiver objTwice;
        const quint64 u64Twice = now() + 30000;
        m_ptrManager->addRequest(u64Twice, &objTwice);
        m_ptrManager->addRequest(u64Twice, &objTwice);
        m_ptrManager->addRequest(u64Twice + 20000, &objTwice);
        m_ptrManager->removeRequest(u64Twice, &objTwice);
        m_ptrManager->removeRequest(u64Twice + 1, &objTwice);
        QVERIFY(QTest::qWaitFor([&] { return objTwice.m_lstCalls.size() >= 2; }, 5000));
        QCOMPARE(objTwice.m_lstCalls.size(), 2);
        QCOMPARE(objTwice.m_lstCalls.at(0).u64Time, u64Twice);
        m_ptrManager->removeRequest(u64Twice, &objTwice);  // already served: nothing happens
    }

    void servedAfterEarlierRequestWithdrawn()
    {
        // The thread plans its next wake-up by the earliest request; when that request is withdrawn
        // and a new one comes, earlier or later, the new one is served at its own time: a missed
        // wake-up would serve the first 1.9 s late, and the second never.
        const QList<QPair<quint64, quint64>> lstDelays{{2000000, 60000}, {100000, 400000}};
        for (const auto& objDelays : lstDelays) {
            CReceiver objWithdrawn, objNew;
            m_ptrManager->addRequest(now() + objDelays.first, &objWithdrawn);
            QThread::usleep(20000);
            m_ptrManager->removeAllRequests(&objWithdrawn);
            const quint64 u64Due = now() + objDelays.second;
            m_ptrManager->addRequest(u64Due, &objNew);
            QVERIFY(QTest::qWaitFor([&] { return !objNew.m_lstCalls.isEmpty(); }, 5000));
            const qint64 llLate = qint64(objNew.m_lstCalls.first().u64At) - qint64(u64Due);
            QVERIFY2(llLate < 1000000 && llLate > -qint64(CTriggerManagerKernel::earlyMarginUs()) - 1000,
                     qPrintable(QString::number(llLate)));
            QVERIFY(objWithdrawn.m_lstCalls.isEmpty());
        }
    }

    void accuracy()
    {
        // 200 random deadlines over 2 s: each delivered once, none earlier than the margin.
        QRandomGenerator objRandom(3);
        QVector<CReceiver*> vecReceivers;
        for (int i = 0; i < 4; ++i)
            vecReceivers.append(new CReceiver);
        const quint64 u64Start = now();
        QMultiMap<CReceiver*, quint64> mapExpected;
        for (int i = 0; i < 200; ++i) {
            CReceiver* pReceiver = vecReceivers.at(i % 4);
            const quint64 u64Time = u64Start + 20000 + objRandom.bounded(2000000u) + quint64(i);
            QVERIFY(m_ptrManager->addRequest(u64Time, pReceiver));
            mapExpected.insert(pReceiver, u64Time);
        }
        // A real event loop, so that the lateness measured is the manager's, not a polling test's.
        QEventLoop objLoop;
        int iCalls = 0;
        for (CReceiver* p : vecReceivers)
            p->m_fnAfterCall = [&] {
                if (++iCalls == 200)
                    objLoop.quit();
            };
        QTimer::singleShot(10000, &objLoop, &QEventLoop::quit);
        objLoop.exec();
        QTest::qWait(50);
        QCOMPARE(iCalls, 200);
        QVector<qint64> vecLate;
        const quint64 u64Margin = CTriggerManagerKernel::earlyMarginUs();
        for (CReceiver* p : vecReceivers) {
            QList<quint64> lstSeen;
            for (const CReceiver::struCall& objCall : p->m_lstCalls) {
                QVERIFY2(objCall.u64At + u64Margin >= objCall.u64Time, "delivered earlier than the margin");
                vecLate.append(qint64(objCall.u64At) - qint64(objCall.u64Time));
                lstSeen.append(objCall.u64Time);
            }
            QList<quint64> lstWanted = mapExpected.values(p);
            std::sort(lstSeen.begin(), lstSeen.end());
            std::sort(lstWanted.begin(), lstWanted.end());
            QCOMPARE(lstSeen, lstWanted);
            delete p;
        }
        std::sort(vecLate.begin(), vecLate.end());
        qInfo("trigger lateness over 200 deadlines: median %lld us, worst %lld us, earliest %lld us (margin %llu us)",
              vecLate.at(vecLate.size() / 2), vecLate.last(), vecLate.first(), u64Margin);
    }

    void receiverDestroyedWhileDue()
    {
        // Receivers on another thread are destroyed there right around their deadlines.
        QThread objThread;
        objThread.start();
        std::atomic<int> iDeleted{0};
        QRandomGenerator objRandom(11);
        for (int i = 0; i < 300; ++i) {
            CReceiver* pReceiver = new CReceiver;
            pReceiver->moveToThread(&objThread);
            const quint64 u64Delay = objRandom.bounded(3000u);
            QVERIFY(m_ptrManager->addRequest(now() + u64Delay, pReceiver));
            m_ptrManager->addRequest(now() + u64Delay + 1, pReceiver);
            QThread::usleep(unsigned(objRandom.bounded(int(u64Delay) + 500)));
            QMetaObject::invokeMethod(
                pReceiver,
                [pReceiver, &iDeleted] {
                    delete pReceiver;
                    ++iDeleted;
                },
                Qt::QueuedConnection);
        }
        // Quitting the thread drops what it has not yet run: wait for every deletion.
        QVERIFY(QTest::qWaitFor([&] { return iDeleted.load() == 300; }, 30000));
        objThread.quit();
        QVERIFY(objThread.wait(5000));
        QCOMPARE(g_iCallsToDead.load(), 0);

        // And on this thread, deleted right at the deadline with the call already posted.
        for (int i = 0; i < 100; ++i) {
            CReceiver* pReceiver = new CReceiver;
            m_ptrManager->addRequest(now() + 200, pReceiver);
            QThread::usleep(300);
            delete pReceiver;
            QCoreApplication::processEvents();
        }
        QCOMPARE(g_iCallsToDead.load(), 0);
    }

    void receiverWithInterfaceFirst()
    {
        // With the interface as the first base its destructor runs last, after the QObject part is
        // gone; a slow base in between holds that window open while the requests fall due.
        QThread objThread;
        objThread.start();
        std::atomic<int> iDeleted{0};
        for (int i = 0; i < 50; ++i) {
            CReversedReceiver* pReceiver = new CReversedReceiver;
            pReceiver->moveToThread(&objThread);
            m_ptrManager->addRequest(now() + 1000, pReceiver);
            m_ptrManager->addRequest(now() + 1000000, pReceiver);
            QMetaObject::invokeMethod(
                pReceiver,
                [pReceiver, &iDeleted] {
                    delete pReceiver;
                    ++iDeleted;
                },
                Qt::QueuedConnection);
        }
        QVERIFY(QTest::qWaitFor([&] { return iDeleted.load() == 50; }, 30000));
        objThread.quit();
        QVERIFY(objThread.wait(5000));
        QCOMPARE(g_iCallsToDead.load(), 0);
        QCOMPARE(g_iRequestsOfDeadObjects.load(), 0);
    }

    void shutdown()
    {
        QCOMPARE(TriggerTesting::liveManagers(), 1);
        CReceiver objPending, objPosted;
        QVERIFY(m_ptrManager->addRequest(now() + 20000, &objPending));
        QVERIFY(m_ptrManager->addRequest(now() - 1, &objPosted));  // already on its way
        CTriggerManager::destroy();
        m_ptrManager.reset();  // the last reference: the thread is joined here
        QTest::qWait(100);
        QVERIFY(objPending.m_lstCalls.isEmpty());
        QVERIFY(objPosted.m_lstCalls.isEmpty());
        QCOMPARE(TriggerTesting::liveManagers(), 0);

        // A new manager serves again.
        m_ptrManager = CTriggerManager::getInstance();
        QVERIFY(m_ptrManager->addRequest(now() + 1000, &objPending));
        QVERIFY(QTest::qWaitFor([&] { return objPending.m_lstCalls.size() == 1; }, 2000));
    }

private:
    ptrCTriggerManager m_ptrManager;
};

QTEST_GUILESS_MAIN(TestTriggerManager)
#include "tst_ctriggermanager.moc"

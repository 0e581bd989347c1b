#include <OrvexXmlInterface/platform/Platform.h>

#include <QtCore/QCoreApplication>
#include <QtCore/QDateTime>
#include <QtCore/QThread>
#include <QtNetwork/QTcpServer>
#include <QtNetwork/QTcpSocket>
#include <QtTest/QtTest>

#include <atomic>
#include <mutex>
#include <thread>
#include <vector>

class TestPlatform : public QObject
{
    Q_OBJECT

private slots:
    void clocks()
    {
        const quint64 ulMono1 = Platform::nowMonotonicUs();
        QThread::msleep(20);
        const quint64 ulMono2 = Platform::nowMonotonicUs();
        QVERIFY(ulMono2 >= ulMono1 + 15000);
        QVERIFY(ulMono2 < ulMono1 + 5000000);

        const qint64 iQtUs = QDateTime::currentMSecsSinceEpoch() * 1000;
        const qint64 iUtcUs = qint64(Platform::nowUtcUs());
        QVERIFY(qAbs(iUtcUs - iQtUs) < 1000000);

        QVERIFY(Platform::clockTickUs() >= 1);
        QVERIFY(Platform::clockTickUs() < 1000000);
    }

    void ids()
    {
        QCOMPARE(Platform::currentProcessId(), quint64(QCoreApplication::applicationPid()));
        const quint64 ulMain = Platform::currentThreadId();
        std::atomic<quint64> ulOther{0};
        std::thread([&] { ulOther = Platform::currentThreadId(); }).join();
        QVERIFY(ulOther != 0);
        QVERIFY(ulOther != ulMain);
        QCOMPARE(Platform::currentThreadId(), ulMain);
    }

    void debugHookCapturesEveryText()
    {
        QStringList lstSeen;
        std::mutex mutex;
        auto fnPrevious = Platform::setDebugOutputHook([&](const QString& a_str) {
            std::lock_guard<std::mutex> lock(mutex);
            lstSeen.append(a_str);
        });
        QVERIFY(!fnPrevious);
        // std::thread, whose join the thread checker can see.
        std::vector<std::thread> vecThreads;
        for (int t = 0; t < 4; ++t) {
            vecThreads.emplace_back([t] {
                for (int i = 0; i < 100; ++i)
                    Platform::debugOutput(QStringLiteral("t%1 i%2").arg(t).arg(i));
            });
        }
        for (std::thread& objThread : vecThreads)
            objThread.join();
        QVERIFY(Platform::setDebugOutputHook({}));
        QCOMPARE(lstSeen.size(), 400);
        QVERIFY(lstSeen.contains(QStringLiteral("t3 i99")));
    }

    void loopbackInterfaceListed()
    {
        bool bLoopback = false;
        for (const Platform::struIpv4Interface& itf : Platform::ipv4Interfaces()) {
            if (itf.ulAddress == 0x7f000001u) {
                QVERIFY(itf.bLoopback);
                QCOMPARE(itf.ulNetmask, 0xff000000u);
                bLoopback = true;
            }
        }
        QVERIFY(bLoopback);
    }

    // Sending never blocks: a full buffer takes nothing, a reset peer is an error, not a signal.
    void sendWithoutWaiting()
    {
        QTcpServer objServer;
        QVERIFY(objServer.listen(QHostAddress::LocalHost));
        QTcpSocket objClient;
        objClient.connectToHost(QHostAddress::LocalHost, objServer.serverPort());
        QVERIFY(objClient.waitForConnected(5000) && objServer.waitForNewConnection(5000));
        QTcpSocket* pPeer = objServer.nextPendingConnection();
        const qintptr typSocket = objClient.socketDescriptor();

        QCOMPARE(Platform::sendWithoutWaiting(typSocket, "hello", 5), qint64(5));
        QVERIFY(pPeer->waitForReadyRead(5000));
        QCOMPARE(pPeer->readAll(), QByteArray("hello"));

        const QByteArray baChunk(64 * 1024, 'x');
        qint64 llTaken = 1;
        for (int i = 0; i < 10000 && llTaken > 0; ++i)
            llTaken = Platform::sendWithoutWaiting(typSocket, baChunk.constData(), baChunk.size());
        QCOMPARE(llTaken, qint64(0));

        pPeer->abort();
        QVERIFY(QTest::qWaitFor([&] { return Platform::sendWithoutWaiting(typSocket, "x", 1) < 0; }, 5000));
        QCOMPARE(Platform::sendWithoutWaiting(-1, "x", 1), qint64(-1));
    }
};

QTEST_GUILESS_MAIN(TestPlatform)
#include "tst_platform.moc"

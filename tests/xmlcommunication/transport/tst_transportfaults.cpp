// Peers that misbehave, each while a steady peer exchanges requests and replies with the same
// host on another connection: the steady peer sees no error and no long stall; afterwards the
// host holds no more threads, descriptors or messages than before, and every request it had sent
// to the bad peer is answered with a fault. And a stop under full load: whatever the host had
// handed over before it reaches the peers.
#include "LoadTestUtils.h"
#include "TransportTestUtils.h"

#include <OrvexXmlInterface/xmlcommon/Tagnames.h>
#include <OrvexXmlInterface/xmlcommunication/services/CTriggerManager.h>

#include <QtCore/QRandomGenerator>

#include <arpa/inet.h>
#include <errno.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>

using namespace XmlCommon;
using namespace XmlCommunication;
using namespace LoadTest;
using TransportTest::faultId;

namespace
{
// The steady peer's longest wait is printed; the bound only catches a peer that is starved,
// since a shared machine (or a sanitizer) can hold any thread up for a second or two.
#if defined(OXI_TSAN_BUILD) || defined(__SANITIZE_ADDRESS__)
const qint64 s_llMaxStallMs = 15000;
// A thread under the checker starts and ends many times slower: a thousand of them beside the
// steady peer hold the host up for seconds.
const int s_iPatienceMs = 60000;
#else
const qint64 s_llMaxStallMs = 5000;
const int s_iPatienceMs = 10000;
#endif

QByteArray requestText(unsigned int a_uiId, const QByteArray& a_baValue = "1")
{
    return "<Request id=\"" + QByteArray::number(a_uiId) + "\" type=\"get\" time=\"60000000\">\n<Tuner>\n<Frequency>" +
           a_baValue + "</Frequency>\n</Tuner>\n</Request>\n";
}

// Collects what a peer's parser reports.
class CCollector : public IXmlListener
{
public:
    void handleFinishedXmlDoc(ptrCXmlElement) override {}
    void handleFinishedXmlMsg(ptrCXmlMessage a_ptrMsg) override { m_lstMessages.append(a_ptrMsg); }
    void handleMsgHeader(ptrCXmlMessage) override {}
    void handleParserError(const QString& a_strText) override { m_strError = a_strText; }
    QList<ptrCXmlMessage> m_lstMessages;
    QString m_strError;
};

// Asks and waits for the answer, again and again, on a thread of its own; records the longest
// wait and the first thing that went wrong. Pausing lets the test count what the host holds.
class CSteadyPeer : public QThread
{
public:
    explicit CSteadyPeer(quint16 a_usPort) : m_usPort(a_usPort) {}
    ~CSteadyPeer() override
    {
        m_bStop = true;
        join(this);
    }
    bool pause()
    {
        m_bPause = true;
        return QTest::qWaitFor([this] { return m_bIdle.load(); }, s_iPatienceMs);
    }
    void resume() { m_bPause = false; }
    // Waits until the peer has made a_iMore exchanges more.
    bool exchanges(int a_iMore)
    {
        const int iTarget = m_iExchanges.load() + a_iMore;
        return QTest::qWaitFor([&] { return m_iExchanges.load() >= iTarget || isFinished(); }, s_iPatienceMs) &&
               !isFinished();
    }
    QString error() const
    {
        std::unique_lock lock(m_objMutex);
        return m_strError;
    }
    std::atomic<qint64> m_llLongestMs{0};

protected:
    void run() override
    {
        const CThreadEnd objEnd(this);
        QTcpSocket objSocket;
        objSocket.connectToHost(QHostAddress::LocalHost, m_usPort);
        if (!objSocket.waitForConnected(5000))
            return fail(QStringLiteral("cannot connect"));
        CCollector objCollector;
        CXmlStreamParser objParser(objCollector, 0);
        objParser.parse(QByteArrayLiteral("<RootDummy>\n"));
        for (unsigned int uiId = 1; !m_bStop.load(); ++uiId) {
            m_bIdle = m_bPause.load();
            if (m_bIdle.load()) {
                QThread::msleep(2);
                continue;
            }
            QElapsedTimer objTimer;
            objTimer.start();
            objSocket.write(requestText(uiId));
            while (objCollector.m_lstMessages.isEmpty() && objTimer.elapsed() < s_iPatienceMs) {
                if (objSocket.state() != QAbstractSocket::ConnectedState)
                    return fail(QStringLiteral("the connection was lost"));
                objSocket.waitForReadyRead(50);
                objParser.parse(objSocket.readAll());
                // A lag reply only says that the answer takes longer.
                objCollector.m_lstMessages.erase(
                    std::remove_if(
                        objCollector.m_lstMessages.begin(), objCollector.m_lstMessages.end(),
                        [](const ptrCXmlMessage& a_ptr) { return a_ptr->getServiceType() == CXmlMessage::REPLY_LAG; }),
                    objCollector.m_lstMessages.end());
            }
            m_llLongestMs = qMax(m_llLongestMs.load(), objTimer.elapsed());
            const ptrCXmlMessage ptrReply = objCollector.m_lstMessages.value(0);
            objCollector.m_lstMessages.clear();
            if (!ptrReply || !ptrReply->isReply() || ptrReply->getMessageID() != uiId || faultId(ptrReply) != 0 ||
                !objCollector.m_strError.isEmpty())
                return fail(QStringLiteral("request %1 got: %2 %3")
                                .arg(uiId)
                                .arg(ptrReply ? ptrReply->toDbgString(CXmlMessage::DIRECTION_RECEIVED) : QString(),
                                     objCollector.m_strError));
            ++m_iExchanges;
        }
    }

private:
    void fail(const QString& a_strText)
    {
        std::unique_lock lock(m_objMutex);
        m_strError = a_strText;
    }

    quint16 m_usPort;
    std::atomic<bool> m_bStop{false};
    std::atomic<bool> m_bPause{false};
    std::atomic<bool> m_bIdle{false};
    std::atomic<int> m_iExchanges{0};
    mutable std::mutex m_objMutex;
    QString m_strError;
};

// A peer as bare as a socket gets: it reads nothing unless told, and can leave with a reset, as
// the system does for a process that is killed.
class CBarePeer
{
public:
    explicit CBarePeer(quint16 a_usPort) : m_iSocket(::socket(AF_INET, SOCK_STREAM, 0))
    {
        sockaddr_in objAddress{};
        objAddress.sin_family = AF_INET;
        objAddress.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        objAddress.sin_port = htons(a_usPort);
        m_bConnected = ::connect(m_iSocket, reinterpret_cast<sockaddr*>(&objAddress), sizeof objAddress) == 0;
    }
    ~CBarePeer() { close(false); }
    bool connected() const { return m_bConnected; }
    // False once the host has closed the connection.
    bool send(const QByteArray& a_baBytes)
    {
        for (int iDone = 0; iDone < a_baBytes.size();) {
            const ssize_t iSent = ::send(m_iSocket, a_baBytes.constData() + iDone, size_t(a_baBytes.size() - iDone),
                                         MSG_NOSIGNAL | MSG_DONTWAIT);
            if (iSent < 0 && errno == EAGAIN) {
                QThread::msleep(5);
                continue;
            }
            if (iSent <= 0)
                return false;
            iDone += int(iSent);
        }
        return true;
    }
    void close(bool a_bReset)
    {
        if (m_iSocket < 0)
            return;
        if (a_bReset) {
            const linger objLinger{1, 0};
            ::setsockopt(m_iSocket, SOL_SOCKET, SO_LINGER, &objLinger, sizeof objLinger);
        }
        ::close(m_iSocket);
        m_iSocket = -1;
    }

private:
    int m_iSocket;
    bool m_bConnected = false;
};

QSet<quint32> connectionIds(CCommanThread& a_objHost)
{
    QSet<quint32> setIds;
    for (const struClientData& objInfo : a_objHost.getConnectionInfo())
        setIds.insert(objInfo.ulConnectionId);
    return setIds;
}

// The connection the next peer makes, or 0.
quint32 newConnection(CCommanThread& a_objHost, const QSet<quint32>& a_setKnown)
{
    quint32 u32Id = 0;
    const bool bSeen = QTest::qWaitFor(
        [&] {
            const QSet<quint32> setNew = connectionIds(a_objHost) - a_setKnown;
            u32Id = setNew.isEmpty() ? 0 : *setNew.begin();
            return u32Id != 0;
        },
        5000);
    return bSeen ? u32Id : 0;
}

ptrCXmlMessage hostRequest(quint32 a_u32Connection, int a_iValueBytes = 16)
{
    ptrCXmlMessage ptrRequest(new CXmlMessage(a_u32Connection));
    ptrRequest->setServiceType(CXmlMessage::REQUEST_GET);
    ptrRequest->setMessageID_byGenerator();
    ptrRequest->setAvailableTime(60000000);
    ptrCXmlElement ptrFragment(new CXmlElement(Tag::Tuner));
    ptrCXmlElement ptrValue(new CXmlElement(Tag::Comment));
    ptrValue->setValue(QString(a_iValueBytes, QLatin1Char('x')));
    ptrFragment->addChild(ptrValue, -1);
    ptrRequest->addFragment(CMsgFragment(ptrFragment));
    return ptrRequest;
}

QElapsedTimer startedTimer()
{
    QElapsedTimer objTimer;
    objTimer.start();
    return objTimer;
}

enum eMISBEHAVIOUR
{
    ekKilledMidMessage,
    ekStopsReading,
    ekSlowLoris,
    ekOversized,
    ekRandomBytes,
    ekConnectLoop,
};

struConnectionLimits tightLimits()
{
    struConnectionLimits objLimits;
    objLimits.llMaxMessageBytes = 256 * 1024;
    objLimits.llMaxBytesBetweenMessages = 64 * 1024;
    objLimits.uiMessageCompletionMs = 1000;
    objLimits.uiSendStuckMs = 1000;
    objLimits.llMaxSendBacklogBytes = 2 * 1024 * 1024;
    return objLimits;
}

// Runs one misbehaviour on a_objPeer; the requests the host sent to it on the way.
QList<unsigned int> misbehave(eMISBEHAVIOUR a_eKind, CBarePeer& a_objPeer, CCommanThread& a_objHost,
                              quint32 a_u32Connection, const QSet<quint32>& a_setKnown)
{
    QList<unsigned int> lstSent;
    const auto gone = [&] { return !connectionIds(a_objHost).contains(a_u32Connection); };
    switch (a_eKind) {
    case ekKilledMidMessage:
        a_objPeer.send(requestText(5).left(60));
        QTest::qWait(50);
        a_objPeer.close(true);
        break;
    case ekStopsReading:
        // Large requests the peer never reads, until the host gives up on it.
        for (QElapsedTimer objTimer = startedTimer(); !gone() && objTimer.elapsed() < 30000;) {
            const ptrCXmlMessage ptrRequest = hostRequest(a_u32Connection, 128 * 1024);
            lstSent.append(ptrRequest->getMessageID());
            a_objHost.postToOneClient(ptrRequest, 0);
            QTest::qWait(10);
        }
        break;
    case ekSlowLoris: {
        const QByteArray baText = requestText(5, QByteArray(400, '7'));
        for (int i = 0; i < baText.size() - 1 && !gone() && a_objPeer.send(baText.mid(i, 1)); ++i)
            QTest::qWait(100);
        break;
    }
    case ekOversized: a_objPeer.send(requestText(5, QByteArray(1024 * 1024, '7'))); break;
    case ekRandomBytes: {
        QRandomGenerator objRandom(4711);
        for (int i = 0; i < 64 && !gone(); ++i) {
            QByteArray baNoise(4096, '\0');
            objRandom.fillRange(reinterpret_cast<quint32*>(baNoise.data()), baNoise.size() / 4);
            if (!a_objPeer.send(baNoise))
                break;
        }
        break;
    }
    case ekConnectLoop:
        for (int i = 0; i < 1000; ++i) {
            CBarePeer objShort(a_objHost.getPort());
            if (i % 10 == 0)
                objShort.send(requestText(6).left(40));
            objShort.close(i % 3 == 0);
        }
        // Each of them has been seen and is gone again.
        if (!QTest::qWaitFor([&] { return (connectionIds(a_objHost) - a_setKnown).isEmpty(); }, 20000))
            qWarning("the short connections are still there");
        break;
    }
    return lstSent;
}
}  // namespace

class TestTransportFaults : public QObject
{
    Q_OBJECT

    ptrCTriggerManager m_ptrTriggers;

private slots:
    // The process-wide timer thread exists from here on, as in any process with a host.
    void initTestCase() { m_ptrTriggers = CTriggerManager::getInstance(); }

    void badPeerCostsNothingLasting_data()
    {
        QTest::addColumn<int>("iKind");
        QTest::addColumn<bool>("bHostCloses");
        QTest::addColumn<QString>("strLogText");  // what the host says as it closes, if it does
        QTest::newRow("killed in the middle of a message") << int(ekKilledMidMessage) << true << QString();
        QTest::newRow("stops reading") << int(ekStopsReading) << true
                                       << QStringLiteral("does not take its data, closing");
        QTest::newRow("slow loris") << int(ekSlowLoris) << true << QStringLiteral("not completed");
        QTest::newRow("oversized message") << int(ekOversized) << true << QStringLiteral("is not read further");
        QTest::newRow("random bytes") << int(ekRandomBytes) << false << QString();
        QTest::newRow("1000 connects and disconnects") << int(ekConnectLoop) << false << QString();
    }
    void badPeerCostsNothingLasting()
    {
        QFETCH(int, iKind);
        QFETCH(bool, bHostCloses);
        QFETCH(QString, strLogText);
        TransportTest::CLogCapture objLog;
        CAnsweringHost objServer(tightLimits());
        QVERIFY(objServer.port() != 0);
        CCommanThread& objHost = objServer.host();
        CSteadyPeer objSteady(objServer.port());
        objSteady.start();
        QVERIFY2(objSteady.exchanges(20), qPrintable(objSteady.error()));
        // The host learns of a connection through its own thread's queue, which the exchanges
        // need not have waited for: the bad peer's connection must not be taken for this one.
        QVERIFY(QTest::qWaitFor([&] { return connectionIds(objHost).size() == 1; }, 5000));
        QVERIFY(objSteady.pause());
        const struHoldings objBefore;
        const QSet<quint32> setKnown = connectionIds(objHost);
        objSteady.resume();

        CBarePeer objBad(objServer.port());
        QVERIFY(objBad.connected());
        const quint32 u32Bad = newConnection(objHost, setKnown);
        QVERIFY(u32Bad != 0);
        // Requests of the host that wait for the bad peer's answer.
        QList<unsigned int> lstAsked;
        for (int i = 0; i < 3; ++i) {
            const ptrCXmlMessage ptrRequest = hostRequest(u32Bad);
            lstAsked.append(ptrRequest->getMessageID());
            objHost.postToOneClient(ptrRequest, 0);
        }
        lstAsked += misbehave(eMISBEHAVIOUR(iKind), objBad, objHost, u32Bad, setKnown | QSet<quint32>{u32Bad});
        const bool bClosedByHost =
            QTest::qWaitFor([&] { return !connectionIds(objHost).contains(u32Bad); }, bHostCloses ? 10000 : 100);
        QVERIFY2(bClosedByHost || !bHostCloses, "the host kept the bad peer");
        QVERIFY2(strLogText.isEmpty() || objLog.contains(strLogText), qPrintable(objLog.all()));
        objBad.close(false);

        // Every request that waited for the bad peer is answered with a fault, once.
        QList<unsigned int> lstAnswered;
        QList<unsigned int> lstFaults;
        const bool bAllAnswered = QTest::qWaitFor(
            [&] {
                for (ptrCXmlMessage ptrReply = objHost.getNextReply(); ptrReply; ptrReply = objHost.getNextReply()) {
                    lstAnswered.append(ptrReply->getMessageID());
                    lstFaults.append(faultId(ptrReply));
                }
                return lstAnswered.size() >= lstAsked.size();
            },
            10000);
        QVERIFY2(bAllAnswered,
                 qPrintable(QStringLiteral("%1 of %2 answered").arg(lstAnswered.size()).arg(lstAsked.size())));
        std::sort(lstAsked.begin(), lstAsked.end());
        std::sort(lstAnswered.begin(), lstAnswered.end());
        QCOMPARE(lstAnswered, lstAsked);
        QCOMPARE(QSet<unsigned int>(lstFaults.cbegin(), lstFaults.cend()), QSet<unsigned int>{0x02400008u});

        QVERIFY2(objSteady.exchanges(20), qPrintable(objSteady.error()));
        QVERIFY(objSteady.pause());
        const QString strLeft = leftOver(objBefore);
        QVERIFY2(strLeft.isEmpty(), qPrintable(strLeft));
        QVERIFY2(objSteady.error().isEmpty(), qPrintable(objSteady.error()));
        qInfo("the steady peer's longest wait: %lld ms", objSteady.m_llLongestMs.load());
        QVERIFY2(objSteady.m_llLongestMs.load() <= s_llMaxStallMs,
                 qPrintable(QStringLiteral("the steady peer waited %1 ms").arg(objSteady.m_llLongestMs.load())));
    }

    // Peers keep asking while the host answers and sends events to all; then the host stops.
    // Every reply and event handed to the host before stop() reaches its peer, and stop()
    // returns within its bound.
    void stopUnderLoadLosesNothingQueued();
};

namespace
{
// Asks without waiting for the answers, and counts what comes back until the host closes.
class CFloodingPeer : public QThread
{
public:
    explicit CFloodingPeer(quint16 a_usPort) : m_usPort(a_usPort) {}
    ~CFloodingPeer() override { join(this); }
    std::atomic<int> m_iReplies{0};
    std::atomic<int> m_iEvents{0};
    std::atomic<quint16> m_usLocalPort{0};
    std::atomic<bool> m_bFiltered{false};

protected:
    void run() override
    {
        const CThreadEnd objEnd(this);
        QTcpSocket objSocket;
        objSocket.connectToHost(QHostAddress::LocalHost, m_usPort);
        if (!objSocket.waitForConnected(5000))
            return;
        m_usLocalPort = objSocket.localPort();
        objSocket.write("<Request id=\"1\" type=\"set\" time=\"60000000\">\n<XmlCommunicationDevice>\n"
                        "<Filter type=\"accept\">\n<Tuner>\n<All/>\n</Tuner>\n</Filter>\n"
                        "</XmlCommunicationDevice>\n</Request>\n");
        CCollector objCollector;
        CXmlStreamParser objParser(objCollector, 0);
        objParser.parse(QByteArrayLiteral("<RootDummy>\n"));
        // A window of requests in flight keeps the host's queue short: each request is
        // answered by the host's threads, none by a full queue.
        for (unsigned int uiId = 2; objSocket.state() == QAbstractSocket::ConnectedState;) {
            while (m_bFiltered.load() && int(uiId - 2) - m_iReplies.load() < 64)
                objSocket.write(requestText(uiId++));
            objSocket.waitForReadyRead(5);
            objParser.parse(objSocket.readAll());
            for (const ptrCXmlMessage& ptrMsg : qAsConst(objCollector.m_lstMessages)) {
                if (ptrMsg->getServiceType() == CXmlMessage::BROADCAST)
                    ++m_iEvents;
                else if (ptrMsg->isReply() && ptrMsg->getMessageID() == 1)
                    m_bFiltered = true;
                else if (ptrMsg->isReply())
                    ++m_iReplies;
            }
            objCollector.m_lstMessages.clear();
        }
    }

private:
    quint16 m_usPort;
};
}  // namespace

void TestTransportFaults::stopUnderLoadLosesNothingQueued()
{
    TransportTest::CLogCapture objLog;
    const struHoldings objBefore;
    const int iEvents = 300;
    {
        CAnsweringHost objServer;
        CCommanThread& objHost = objServer.host();
        std::vector<std::unique_ptr<CFloodingPeer>> vecPeers;
        for (int i = 0; i < 4; ++i) {
            vecPeers.emplace_back(new CFloodingPeer(objServer.port()));
            vecPeers.back()->start();
        }
        QVERIFY(QTest::qWaitFor(
            [&] {
                return std::all_of(vecPeers.cbegin(), vecPeers.cend(),
                                   [](const std::unique_ptr<CFloodingPeer>& a_ptr) { return a_ptr->m_iReplies > 100; });
            },
            20000));
        // The connections' records reach the host apart from their messages.
        QVERIFY(QTest::qWaitFor([&] { return objHost.getConnectionInfo().size() == int(vecPeers.size()); }, 20000));
        QHash<quint16, quint32> hashConnectionOfPort;
        for (const struClientData& objInfo : objHost.getConnectionInfo())
            hashConnectionOfPort.insert(objInfo.usPeerPort, objInfo.ulConnectionId);
        for (int i = 0; i < iEvents; ++i) {
            ptrCXmlMessage ptrEvent(new CXmlMessage);
            ptrEvent->setServiceType(CXmlMessage::BROADCAST);
            ptrEvent->addFragment(CMsgFragment(ptrCXmlElement(new CXmlElement(Tag::Tuner))));
            objHost.postToAllClients(ptrEvent);
        }
        objServer.stopAnswering();
        const QHash<quint32, int> hashAnswered = objServer.answered();
        QElapsedTimer objTimer;
        objTimer.start();
        objHost.stop();
        QVERIFY(objHost.waitForFinished(10000));
        QVERIFY2(objTimer.elapsed() < 6000, qPrintable(QString::number(objTimer.elapsed())));
        for (const std::unique_ptr<CFloodingPeer>& ptrPeer : vecPeers) {
            QVERIFY(join(ptrPeer.get(), 10000));
            const quint32 u32Connection = hashConnectionOfPort.value(ptrPeer->m_usLocalPort.load());
            QVERIFY(u32Connection != 0);
            QCOMPARE(ptrPeer->m_iReplies.load(), hashAnswered.value(u32Connection));
            QCOMPARE(ptrPeer->m_iEvents.load(), iEvents);
        }
    }
    const QString strLeft = leftOver(objBefore);
    QVERIFY2(strLeft.isEmpty(), qPrintable(strLeft));
}

QTEST_GUILESS_MAIN(TestTransportFaults)
#include "tst_transportfaults.moc"
#include <mutex>

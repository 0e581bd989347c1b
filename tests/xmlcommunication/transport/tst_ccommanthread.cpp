#include "TransportTestUtils.h"

#include <OrvexXmlInterface/xmlcommon/Tagnames.h>
#include <OrvexXmlInterface/xmlcommon/XmlTreeTools.h>
#include <OrvexXmlInterface/xmlcommunication/converters/CFilterConverter.h>
#include <OrvexXmlInterface/xmlcommunication/transport/CComMan.h>
#include <OrvexXmlInterface/xmlcommunication/transport/CCommanThread.h>
#include <OrvexXmlInterface/xmlcommunication/transport/CConnectionThread.h>

#include <QtCore/QDir>

#include <memory>

using namespace XmlCommon;
using namespace XmlCommunication;
using namespace TransportTest;

namespace
{
// Reaches the manager, to run code on its thread.
class CHost : public CCommanThread
{
public:
    CComMan* manager() const { return getComman(); }
};

quint16 startHost(CCommanThread& a_objHost, const QString& a_strName, quint32 a_u32Limit = 0)
{
    struCOMMAN_STARTUP_CONFIG objConfig;
    objConfig.strIpAddress = QStringLiteral("127.0.0.1");
    objConfig.ulMaxConnections = a_u32Limit;
    objConfig.objDescription.strAppName = a_strName;
    objConfig.objDescription.strAppGuid = a_strName + QStringLiteral("-guid");
    return a_objHost.start(objConfig);
}

// A host that does not listen, connected to a_usPort as its master; the id of that connection,
// once it is up.
quint32 connectToMaster(CCommanThread& a_objHost, quint16 a_usPort)
{
    struCOMMAN_STARTUP_CONFIG objConfig;
    objConfig.strIpAddress = QStringLiteral("none");
    objConfig.objDescription.strAppName = QStringLiteral("Client");
    a_objHost.start(objConfig);
    a_objHost.connectToMaster(a_usPort, QStringLiteral("client-guid"));
    quint32 u32Master = 0;
    const bool bUp = QTest::qWaitFor(
        [&] {
            u32Master = a_objHost.getResmanConnectionId();
            return u32Master != 0 && !a_objHost.getConnectionInfo(u32Master).isEmpty();
        },
        5000);
    return bUp ? u32Master : 0;
}

ptrCXmlMessage request(quint32 a_u32Connection, unsigned int a_uiTime, const CTagname& a_objComponent = Tag::Tuner)
{
    ptrCXmlMessage ptrRequest(new CXmlMessage(a_u32Connection));
    ptrRequest->setServiceType(CXmlMessage::REQUEST_GET);
    ptrRequest->setMessageID_byGenerator();
    ptrRequest->setAvailableTime(a_uiTime);
    ptrRequest->addFragment(CMsgFragment(ptrCXmlElement(new CXmlElement(a_objComponent))));
    return ptrRequest;
}

ptrCXmlMessage makeEvent(const CTagname& a_objComponent)
{
    ptrCXmlMessage ptrEvent(new CXmlMessage);
    ptrEvent->setServiceType(CXmlMessage::BROADCAST);
    ptrEvent->addFragment(CMsgFragment(ptrCXmlElement(new CXmlElement(a_objComponent))));
    return ptrEvent;
}

ptrCXmlMessage waitForReply(CCommanThread& a_objHost, int a_iMs = 5000)
{
    ptrCXmlMessage ptrReply;
    return QTest::qWaitFor([&] { return bool(ptrReply = a_objHost.getNextReply()); }, a_iMs) ? ptrReply
                                                                                             : ptrCXmlMessage();
}

int threadCount()
{
    return QDir(QStringLiteral("/proc/self/task")).entryList(QDir::Dirs | QDir::NoDotAndDotDot).size();
}
}  // namespace

class TestCommanThread : public QObject
{
    Q_OBJECT

private slots:
    void startAndPorts()
    {
        CLogCapture objLog;
        CCommanThread objHost;
        struCOMMAN_STARTUP_CONFIG objConfig;
        QVERIFY(objHost.start(objConfig) != 0);
        QCOMPARE(objConfig.usPort, objHost.getPort());
        QVERIFY(objHost.isThreadCompletelyStarted());

        CCommanThread objSilent;
        struCOMMAN_STARTUP_CONFIG objNoAddress;
        objNoAddress.strIpAddress = QStringLiteral("not an address");
        QCOMPARE(objSilent.start(objNoAddress), quint16(0));
        QVERIFY(objSilent.isThreadCompletelyStarted());
        QCOMPARE(objSilent.getPort(), quint16(0));
        QVERIFY(!objSilent.getNextRequest());
    }

    void requestsRepliesAndTimeouts()
    {
        CLogCapture objLog;
        CCommanThread objServer, objClient;
        const quint32 u32Master = connectToMaster(objClient, startHost(objServer, QStringLiteral("Server")));
        QVERIFY(u32Master != 0);

        // Answered.
        const ptrCXmlMessage ptrAsked = request(u32Master, 5000000);
        objClient.sendToOneClient(ptrAsked, ptrAsked->getContinuousId());
        ptrCXmlMessage ptrReceived;
        QVERIFY(QTest::qWaitFor([&] { return bool(ptrReceived = objServer.getNextRequest()); }, 5000));
        const quint32 u32Continuous = ptrReceived->getContinuousId();
        ptrReceived->changeRequestToReply(0, 0);
        objServer.sendToOneClient(ptrReceived, u32Continuous);
        ptrCXmlMessage ptrReply = waitForReply(objClient);
        QVERIFY(ptrReply);
        QCOMPARE(ptrReply->getMessageID(), ptrAsked->getMessageID());
        QCOMPARE(faultId(ptrReply), 0u);

        // Never answered: the time-out fault comes at the deadline, not before.
        const ptrCXmlMessage ptrIgnored = request(u32Master, 1600000);
        objClient.sendToOneClient(ptrIgnored, ptrIgnored->getContinuousId());
        ptrReply = waitForReply(objClient, 5000);
        QVERIFY(ptrReply);
        QCOMPARE(faultId(ptrReply), 0x02400007u);
        QVERIFY(Platform::nowMonotonicUs() - ptrIgnored->getCreationTimestamp(CXmlMessage::TIMESTAMP_MONOTONIC) >=
                1600000);

        // To a connection that does not exist: answered at once.
        objClient.sendToOneClient(request(9999, 5000000), 0);
        ptrReply = waitForReply(objClient);
        QCOMPARE(faultId(ptrReply), 0x02400008u);
    }

    void burstArrivesWholeAndInOrder_data()
    {
        QTest::addColumn<int>("count");
        QTest::addColumn<int>("size");
        // Sent faster than written: the first request leaves on the host's thread, the others
        // in batches of several flushes each.
        QTest::newRow("1 kB") << 2000 << 1000;
        // Written in pieces while serialised, on whichever thread writes them.
        QTest::newRow("1 MB") << 6 << 1000000;
    }

    void burstArrivesWholeAndInOrder()
    {
        // Requests arrive in the order sent and are all answered.
        QFETCH(int, count);
        QFETCH(int, size);
        CLogCapture objLog;
        CCommanThread objServer, objClient;
        const quint32 u32Master = connectToMaster(objClient, startHost(objServer, QStringLiteral("Server")));
        QVERIFY(u32Master != 0);
        QTest::qWait(100);  // the layer's own exchange is over: the connection's thread waits
        const QString strText(size, QLatin1Char('x'));
        QList<unsigned int> lstSent;
        for (int i = 0; i < count; ++i) {
            const ptrCXmlMessage ptrAsked = request(u32Master, 30000000);
            ptrAsked->getFragment(0).getElementTree()->setValue(strText);
            lstSent.append(ptrAsked->getMessageID());
            objClient.postToOneClient(ptrAsked, ptrAsked->getContinuousId());
        }
        QList<unsigned int> lstReceived;
        QVERIFY(QTest::qWaitFor(
            [&] {
                for (ptrCXmlMessage ptrIn = objServer.getNextRequest(); ptrIn; ptrIn = objServer.getNextRequest()) {
                    lstReceived.append(ptrIn->getMessageID());
                    const quint32 u32Continuous = ptrIn->getContinuousId();
                    ptrIn->changeRequestToReply(0, 0);
                    objServer.postToOneClient(ptrIn, u32Continuous);
                }
                return lstReceived.size() == lstSent.size();
            },
            30000));
        QCOMPARE(lstReceived, lstSent);
        int iReplies = 0;
        QVERIFY(QTest::qWaitFor(
            [&] {
                for (ptrCXmlMessage ptrReply = objClient.getNextReply(); ptrReply; ptrReply = objClient.getNextReply())
                    iReplies += faultId(ptrReply) == 0 ? 1 : 0;
                return iReplies == lstSent.size();
            },
            30000));
    }

    void repliesToASlowReaderArriveWholeAndInOrder()
    {
        // The peer reads nothing while the host answers: the first large reply is written on
        // the host's thread until the system takes no more, the rest of it and the next replies
        // by the connection's thread, and all must reach the peer whole, in order.
        CLogCapture objLog;
        CCommanThread objHost;
        CRawPeer objPeer;
        QVERIFY(objPeer.connectTo(startHost(objHost, QStringLiteral("Host"))));
        QObject::disconnect(objPeer.socket(), &QTcpSocket::readyRead, nullptr, nullptr);
        objPeer.socket()->setReadBufferSize(1);
        const int iCount = 4;
        for (int i = 1; i <= iCount; ++i)
            objPeer.write("<Request id=\"" + QByteArray::number(i) +
                          "\" type=\"get\" time=\"60000000\">\n<Tuner/>\n</Request>\n");
        const QString strText(3000000, QLatin1Char('r'));
        for (int iAnswered = 0; iAnswered < iCount;) {
            ptrCXmlMessage ptrIn;
            QVERIFY(QTest::qWaitFor([&] { return bool(ptrIn = objHost.getNextRequest()); }, 5000));
            const quint32 u32Continuous = ptrIn->getContinuousId();
            ptrIn->changeRequestToReply(0, 0);
            ptrIn->getFragment(0).getElementTree()->setValue(strText);
            objHost.postToOneClient(ptrIn, u32Continuous);
            ++iAnswered;
        }
        QTest::qWait(200);
        objPeer.socket()->setReadBufferSize(0);
        QObject::connect(objPeer.socket(), &QTcpSocket::readyRead,
                         [&] { objPeer.m_baReceived += objPeer.socket()->readAll(); });
        QVERIFY(QTest::qWaitFor([&] { return objPeer.m_baReceived.count("</Reply>") >= iCount; }, 20000));
        int iFrom = 0;
        for (int i = 1; i <= iCount; ++i) {
            const int iAt = objPeer.m_baReceived.indexOf("<Reply id=\"" + QByteArray::number(i) + "\"", iFrom);
            QVERIFY2(iAt >= iFrom, qPrintable(QString::number(i)));
            const int iEnd = objPeer.m_baReceived.indexOf("</Reply>", iAt);
            QVERIFY(objPeer.m_baReceived.mid(iAt, iEnd - iAt).contains("<Tuner>" + strText.toLatin1() + "</Tuner>"));
            iFrom = iEnd;
        }
    }

    void peerGoneWithRequestsPending()
    {
        CLogCapture objLog;
        auto pServer = std::make_unique<CCommanThread>();
        CCommanThread objClient;
        const quint32 u32Master = connectToMaster(objClient, startHost(*pServer, QStringLiteral("Server")));
        QVERIFY(u32Master != 0);
        for (int i = 0; i < 3; ++i)
            objClient.sendToOneClient(request(u32Master, 60000000), 0);
        QVERIFY(QTest::qWaitFor([&] { return pServer->getNextRequest() && pServer->getNextRequest(); }, 5000));
        pServer.reset();
        for (int i = 0; i < 3; ++i) {
            const ptrCXmlMessage ptrReply = waitForReply(objClient, 5000);
            QVERIFY(ptrReply);
            QCOMPARE(faultId(ptrReply), 0x02400008u);
        }
    }

    void eventsFollowTheFilter()
    {
        CLogCapture objLog;
        CCommanThread objServer, objClient;
        const quint32 u32Master = connectToMaster(objClient, startHost(objServer, QStringLiteral("Server")));
        QVERIFY(u32Master != 0);
        // Without a filter of its own the peer gets only the layer's events.
        objServer.sendToAllClients(makeEvent(Tag::Tuner));
        QTest::qWait(200);
        QVERIFY(!objClient.getNextEvent());

        CFilterConverter objFilter;
        objFilter.subscribeToComponent(Tag::Tuner);
        const ptrCXmlMessage ptrSet = request(u32Master, 5000000);
        ptrSet->setServiceType(CXmlMessage::REQUEST_SET);
        ptrSet->removeFragment(ptrSet->getFragment(0));
        ptrSet->addFragment(objFilter.getFragment());
        objClient.sendToOneClient(ptrSet, 0);
        QVERIFY(waitForReply(objClient));
        objServer.sendToAllClients(makeEvent(Tag::Storage));
        objServer.sendToAllClients(makeEvent(Tag::Tuner));
        ptrCXmlMessage ptrEvent;
        QVERIFY(QTest::qWaitFor([&] { return bool(ptrEvent = objClient.getNextEvent()); }, 5000));
        QCOMPARE(ptrEvent->getComponentTags(), QStringList{QStringLiteral("Tuner")});
        QCOMPARE(ptrEvent->getOrigin(), QStringLiteral("Server-guid"));
        QTest::qWait(100);
        QVERIFY(!objClient.getNextEvent());
    }

    void connectionLimit()
    {
        CLogCapture objLog;
        CCommanThread objServer;
        const quint16 usPort = startHost(objServer, QStringLiteral("Server"), 2);
        CRawPeer aPeers[3];
        for (CRawPeer& objPeer : aPeers) {
            QVERIFY(objPeer.connectTo(usPort));
            QTest::qWait(50);
        }
        QVERIFY(QTest::qWaitFor([&] { return aPeers[2].isClosed(); }, 5000));
        QTest::qWait(100);
        QVERIFY(!aPeers[0].isClosed() && !aPeers[1].isClosed());
        QCOMPARE(objServer.getConnectionInfo().size(), 2);
    }

    void stopIsBoundedAndLeavesNoThread()
    {
        CLogCapture objLog;
        const int iThreadsBefore = threadCount();
        {
            CCommanThread objServer;
            const quint16 usPort = startHost(objServer, QStringLiteral("Server"));
            std::vector<std::unique_ptr<CRawPeer>> vecPeers;
            for (int i = 0; i < 10; ++i) {
                vecPeers.emplace_back(new CRawPeer);
                QVERIFY(vecPeers.back()->connectTo(usPort));
            }
            QVERIFY(QTest::qWaitFor([&] { return objServer.getConnectionInfo().size() == 10; }, 5000));
            QElapsedTimer objTimer;
            objTimer.start();
            objServer.stop();
            QVERIFY(objServer.waitForFinished(5000));
            QVERIFY2(objTimer.elapsed() < 5000, qPrintable(QString::number(objTimer.elapsed())));
        }
        QVERIFY(QTest::qWaitFor([&] { return threadCount() <= iThreadsBefore; }, 2000));
    }

    void waitingCallsNeverDeadlock()
    {
        CLogCapture objLog;
        CHost objHost;
        startHost(objHost, QStringLiteral("Server"));
        // On the manager's own thread.
        CDataTree objInfo;
        QMetaObject::invokeMethod(
            objHost.manager(), [&] { objInfo = objHost.getDebugInfo(); }, Qt::BlockingQueuedConnection);
        QVERIFY(XmlTreeTools::findTagInTree(objInfo.getElementTree(), CTagname("CComMan")));
        // After the manager's loop has ended.
        objHost.stop();
        QVERIFY(objHost.waitForFinished(5000));
        QVERIFY(!objHost.getDebugInfo().isNull());
        objHost.sendToOneClient(request(1, 5000000), 0);
        QCOMPARE(faultId(objHost.getNextReply()), 0x02400008u);
    }

    void threadAskedToQuitBeforeItsLoop()
    {
        CLogCapture objLog;
        CConnectionThread objThread(QStringLiteral("127.0.0.1"), 1, false, nullptr);
        objThread.exitOnCompletion();
        objThread.start();
        QVERIFY(objThread.wait(5000));
    }
};

QTEST_GUILESS_MAIN(TestCommanThread)
#include "tst_ccommanthread.moc"

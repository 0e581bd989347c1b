#include "TransportTestUtils.h"

#include <OrvexXmlInterface/xmlcommon/Tagnames.h>
#include <OrvexXmlInterface/xmlcommon/XmlTreeTools.h>
#include <OrvexXmlInterface/xmlcommunication/converters/LayerConverters.h>
#include <OrvexXmlInterface/xmlcommunication/services/CAliveCheckManager.h>
#include <OrvexXmlInterface/xmlcommunication/services/CDebugCenter.h>
#include <OrvexXmlInterface/xmlcommunication/transport/CConnection.h>
#include <OrvexXmlInterface/xmlcommunication/transport/CTcpServer.h>

#include <memory>

using namespace XmlCommon;
using namespace XmlCommunication;
using namespace TransportTest;

namespace
{
const QByteArray s_baRequest =
    "<Request id=\"1\" type=\"get\" time=\"5000000\">\n<Tuner>\n<Setup/>\n</Tuner>\n</Request>\n";
const QByteArray s_baEvent = "<Event id=\"2\">\n<Tuner>\n<State>1</State>\n</Tuner>\n</Event>\n";

// One connection on the test's thread, adopted from an accepted socket, with a raw peer at the
// other end; records what the connection passes up.
class CFixture
{
public:
    explicit CFixture(const struConnectionLimits& a_objLimits = struConnectionLimits())
    {
        QVERIFY(m_objServer.listen(QHostAddress::LocalHost));
        QObject::connect(&m_objServer, &CTcpServer::SignalNewClient, [this, a_objLimits](typSocketDescriptor a_typ) {
            m_pConnection.reset(new CConnection(7, nullptr, QStringLiteral("Tester")));
            QObject::connect(m_pConnection.get(), &CConnection::SignalNewJob,
                             [this](ptrCXmlMessage a_ptr, GLOBAL_XML_TYPES::eMESSAGE_TYPES a_eType) {
                                 m_lstJobs.append({a_ptr, a_eType});
                             });
            QObject::connect(m_pConnection.get(), &CConnection::SignalXmlParserError,
                             [this](quint32, QString, GLOBAL_XML_TYPES::eXML_COMMUNICATION_DEVICES a_eDevice) {
                                 m_lstParserErrors.append(a_eDevice);
                             });
            QObject::connect(m_pConnection.get(), &CConnection::SignalFilterSet, [this](quint32) { ++m_iFilterSets; });
            m_pConnection->setLimits(a_objLimits);
            struSocketInfo objInfo;
            objInfo.eType = struSocketInfo::ekSID_SOCKET_DESCRIPTOR;
            objInfo.typSocketDescriptor = a_typ;
            m_pConnection->init(objInfo);
        });
        QVERIFY(m_objPeer.connectTo(m_objServer.serverPort()));
        QVERIFY(QTest::qWaitFor([this] { return m_pConnection != nullptr; }, 5000));
    }

    bool waitForJobs(int a_iCount, int a_iMs = 5000)
    {
        return QTest::qWaitFor([&] { return m_lstJobs.size() >= a_iCount; }, a_iMs);
    }
    // A request of this side, sent to the peer.
    ptrCXmlMessage sendRequest(unsigned int a_uiId, unsigned int a_uiTime)
    {
        ptrCXmlMessage ptrRequest(new CXmlMessage(7));
        ptrRequest->setServiceType(CXmlMessage::REQUEST_GET);
        ptrRequest->setMessageID(a_uiId);
        ptrRequest->setAvailableTime(a_uiTime);
        CMsgFragment objFragment(ptrCXmlElement(new CXmlElement(Tag::Tuner)));
        ptrRequest->addFragment(objFragment);
        m_pConnection->SlotSendMessage(ptrRequest, ptrRequest->getContinuousId());
        return ptrRequest;
    }

    CLogCapture m_objLog;
    CTcpServer m_objServer;
    CRawPeer m_objPeer;
    std::unique_ptr<CConnection> m_pConnection;
    QList<QPair<ptrCXmlMessage, GLOBAL_XML_TYPES::eMESSAGE_TYPES>> m_lstJobs;
    QList<GLOBAL_XML_TYPES::eXML_COMMUNICATION_DEVICES> m_lstParserErrors;
    int m_iFilterSets = 0;
};

// Forwards bytes between two sockets until it is told to go silent, as a broken network would.
class CProxy : public QObject
{
public:
    bool start(quint16 a_usTarget)
    {
        m_usTarget = a_usTarget;
        connect(&m_objServer, &QTcpServer::newConnection, this, [this] {
            m_pFront = m_objServer.nextPendingConnection();
            m_pBack = new QTcpSocket(this);
            m_pBack->connectToHost(QHostAddress::LocalHost, m_usTarget);
            forward(m_pFront, m_pBack);
            forward(m_pBack, m_pFront);
        });
        return m_objServer.listen(QHostAddress::LocalHost);
    }
    quint16 port() const { return m_objServer.serverPort(); }
    bool m_bSilent = false;

private:
    void forward(QTcpSocket* a_pFrom, QTcpSocket* a_pTo)
    {
        connect(a_pFrom, &QTcpSocket::readyRead, this, [this, a_pFrom, a_pTo] {
            const QByteArray baBytes = a_pFrom->readAll();
            if (!m_bSilent)
                a_pTo->write(baBytes);
        });
    }

    QTcpServer m_objServer;
    QTcpSocket* m_pFront = nullptr;
    QTcpSocket* m_pBack = nullptr;
    quint16 m_usTarget = 0;
};

QByteArray layerRequest(const char* a_pszType, const QByteArray& a_baData, const QByteArray& a_baMore = QByteArray())
{
    return "<Request id=\"40\" type=\"" + QByteArray(a_pszType) + "\" time=\"5000000\">\n<XmlCommunicationDevice>\n" +
           a_baData + "</XmlCommunicationDevice>\n" + a_baMore + "</Request>\n";
}
}  // namespace

class TestConnection : public QObject
{
    Q_OBJECT

private slots:
    void receivedMessagesAndParserErrors()
    {
        CFixture objFixture;
        objFixture.m_objPeer.write(s_baRequest + s_baEvent);
        QVERIFY(objFixture.waitForJobs(2));
        QCOMPARE(objFixture.m_lstJobs.at(0).second, GLOBAL_XML_TYPES::ekMT_REQUEST);
        QCOMPARE(objFixture.m_lstJobs.at(1).second, GLOBAL_XML_TYPES::ekMT_EVENT);

        // Malformed text: the peer hears why, the host is told, and the next message is read.
        objFixture.m_objPeer.write("<Event id=\"3\">\n</Bad>\n");
        QVERIFY(objFixture.m_objPeer.waitFor(1));
        CMsgFragment objFragment = objFixture.m_objPeer.m_lstMessages.at(0)->getFragment(0);
        QString strText;
        QCOMPARE(CXmlFaultConverter(objFragment).getXmlParserErrorText(strText), 0);
        QVERIFY2(strText.contains(QStringLiteral("NotWellFormedError")), qPrintable(strText));
        QCOMPARE(objFixture.m_lstParserErrors,
                 (QList<GLOBAL_XML_TYPES::eXML_COMMUNICATION_DEVICES>{GLOBAL_XML_TYPES::ekXCD_OWN_PARSER}));
        objFixture.m_objPeer.write(s_baEvent);
        QVERIFY(objFixture.waitForJobs(3));
    }

    void lagAtTheHeader_data()
    {
        QTest::addColumn<QByteArray>("time");
        QTest::addColumn<bool>("lag");
        QTest::newRow("one below the boundary") << QByteArray("1499999") << true;
        QTest::newRow("at the boundary") << QByteArray("1500000") << false;
        QTest::newRow("no time means the most") << QByteArray("0") << false;
    }

    void lagAtTheHeader()
    {
        QFETCH(QByteArray, time);
        QFETCH(bool, lag);
        CFixture objFixture;
        // The header alone: the lag goes out before the body has arrived.
        objFixture.m_objPeer.write("<Request id=\"7\" type=\"get\" time=\"" + time + "\">\n");
        const QByteArray baLag = "<Reply id=\"7\" type=\"lag\" time=\"6000000\"/>";
        if (lag)
            QVERIFY(QTest::qWaitFor([&] { return objFixture.m_objPeer.m_baReceived == baLag; }, 5000));
        objFixture.m_objPeer.write("<Tuner>\n<Setup/>\n</Tuner>\n</Request>\n");
        QVERIFY(objFixture.waitForJobs(1));
        QCOMPARE(objFixture.m_objPeer.m_baReceived, lag ? baLag : QByteArray());
        const ptrCXmlMessage ptrRequest = objFixture.m_lstJobs.at(0).first;
        const quint64 u64Available = time == "0" ? 1000000000u : time.toULongLong() + (lag ? 6000000u : 0u);
        QCOMPARE(ptrRequest->getTimeout(),
                 ptrRequest->getCreationTimestamp(CXmlMessage::TIMESTAMP_MONOTONIC) - 1000000u + u64Available);
    }

    void hostReplies()
    {
        CFixture objFixture;
        // The peer asks for request trees to be left out of its replies.
        objFixture.m_objPeer.write(
            layerRequest("set", "<RequestTreeSuppression>1</RequestTreeSuppression>\n").replace("\"40\"", "\"41\""));
        QVERIFY(objFixture.m_objPeer.waitFor(1));
        objFixture.m_objPeer.write(s_baRequest);
        QVERIFY(objFixture.waitForJobs(1));

        ptrCXmlMessage ptrReply = objFixture.m_lstJobs.at(0).first;
        ptrReply->changeRequestToReply(0x1234, 99);
        objFixture.m_pConnection->SlotSendMessage(ptrReply, ptrReply->getContinuousId());
        QVERIFY(objFixture.m_objPeer.waitFor(2));
        const ptrCXmlElement ptrFragment = objFixture.m_objPeer.reply(1)->getElementTree()->getChildAt(0);
        QVERIFY(!XmlTreeTools::findTagInTree(ptrFragment, Tag::Request));
        // The fault still names the request it answers.
        const ptrCXmlElement ptrNamed = XmlTreeTools::findTagInTree(
            XmlTreeTools::findTagInTree(ptrFragment, Tag::Fault), Tag::Request, G_objCompEqual, true);
        QVERIFY(ptrNamed);
        QCOMPARE(ptrNamed->getAttribute("id"), QStringLiteral("1"));
        QCOMPARE(ptrNamed->getChildAt(0)->tagname(), Tag::Tuner);
    }

    void layerFragments_data()
    {
        QTest::addColumn<QByteArray>("request");
        QTest::addColumn<QString>("answerData");  // the data element of the answer; empty: passed up
        QTest::addColumn<unsigned int>("fault");
        QTest::newRow("set filter") << layerRequest("set",
                                                    "<Filter type=\"accept\">\n<Tuner>\n<All/>\n</Tuner>\n</Filter>\n")
                                    << QStringLiteral("Filter") << 0u;
        QTest::newRow("get filter") << layerRequest("get", "<Filter/>\n") << QStringLiteral("Filter") << 0u;
        QTest::newRow("get suppression") << layerRequest("get", "<RequestTreeSuppression/>\n")
                                         << QStringLiteral("RequestTreeSuppression") << 0u;
        QTest::newRow("get debug flags") << layerRequest("get", "<DebugFlags/>\n") << QStringLiteral("DebugFlags")
                                         << 0u;
        QTest::newRow("set debug flags")
            << layerRequest("set", "<DebugFlags>\n<CPeerSet>\n<Mode>2</Mode>\n</CPeerSet>\n</DebugFlags>\n")
            << QStringLiteral("DebugFlags") << 0u;
        QTest::newRow("get flag information")
            << layerRequest("get", "<DebugFlagInformation/>\n") << QStringLiteral("DebugFlagInformation") << 0u;
        QTest::newRow("compression refused")
            << layerRequest("get", "<Compression/>\n") << QStringLiteral("Compression") << 0x02410005u;
        QTest::newRow("description is the manager's") << layerRequest("get", "<Description/>\n") << QString() << 0u;
    }

    void layerFragments()
    {
        QFETCH(QByteArray, request);
        QFETCH(QString, answerData);
        QFETCH(unsigned int, fault);
        CFixture objFixture;
        objFixture.m_objPeer.write(request + s_baEvent);
        QVERIFY(objFixture.waitForJobs(1));
        const bool bPassedUp = objFixture.m_lstJobs.at(0).second == GLOBAL_XML_TYPES::ekMT_REQUEST;
        QCOMPARE(bPassedUp, answerData.isEmpty());
        if (bPassedUp)
            return;
        QVERIFY(objFixture.m_objPeer.waitFor(1));
        const ptrCXmlMessage ptrAnswer = objFixture.m_objPeer.reply(40);
        QVERIFY(ptrAnswer);
        QCOMPARE(ptrAnswer->getNumberOfFragments(), 1);
        const CMsgFragment objFragment = ptrAnswer->getFragment(0);
        // A fault answer carries the question in its request tree instead of data.
        const CDataTree objData = fault != 0 ? objFragment.getRequestTree().getDataTree() : objFragment.getDataTree();
        QCOMPARE(static_cast<const QString&>(objData.getDataName()), answerData);
        QCOMPARE(faultId(ptrAnswer), fault);
        QVERIFY(!objFragment.getElementTree()->getAttribute("specialIndex").size());
        if (QTest::currentDataTag() == QLatin1String("set filter"))
            QCOMPARE(objFixture.m_iFilterSets, 1);
        if (QTest::currentDataTag() == QLatin1String("set debug flags")) {
            QMap<QString, QString> mapFlags;
            CDebugCenter::getInstance()->getFlags(QStringLiteral("CPeerSet"), mapFlags);
            QCOMPARE(mapFlags.value(QStringLiteral("Mode")), QStringLiteral("2"));
        }
    }

    void layerAndHostFragmentsInOneReply()
    {
        CFixture objFixture;
        objFixture.m_objPeer.write(layerRequest("get", "<Filter/>\n", "<Tuner>\n<Setup/>\n</Tuner>\n"));
        QVERIFY(objFixture.waitForJobs(1));
        ptrCXmlMessage ptrRequest = objFixture.m_lstJobs.at(0).first;
        QCOMPARE(ptrRequest->getComponentTags(), QStringList{QStringLiteral("Tuner")});
        ptrRequest->changeRequestToReply(0, 0);
        objFixture.m_pConnection->SlotSendMessage(ptrRequest, ptrRequest->getContinuousId());
        QVERIFY(objFixture.m_objPeer.waitFor(1));
        QCOMPARE(objFixture.m_objPeer.reply(40)->getComponentTags(),
                 (QStringList{QStringLiteral("XmlCommunicationDevice"), QStringLiteral("Tuner")}));
    }

    void pendingReplies()
    {
        CFixture objFixture;
        objFixture.sendRequest(101, 300000);
        const ptrCXmlMessage ptrSecond = objFixture.sendRequest(102, 300000);
        QVERIFY(objFixture.m_objPeer.waitFor(2));
        // The peer asks for more time for the second one only.
        objFixture.m_objPeer.write("<Reply id=\"102\" type=\"lag\" time=\"600000\"/>\n");

        // Up come the peer's lag, then one time-out fault each, the second one later.
        QVERIFY(objFixture.waitForJobs(3, 5000));
        QCOMPARE(objFixture.m_lstJobs.at(0).first->getServiceType(), CXmlMessage::REPLY_LAG);
        for (int i : {1, 2}) {
            const ptrCXmlMessage ptrFault = objFixture.m_lstJobs.at(i).first;
            QCOMPARE(ptrFault->getMessageID(), 100u + unsigned(i));
            QCOMPARE(faultId(ptrFault), 0x02400007u);
            QVERIFY(ptrFault->getElementTree()->getAttribute("RequestCreation").toULongLong() > 0);
        }
        QVERIFY(Platform::nowMonotonicUs() >=
                ptrSecond->getCreationTimestamp(CXmlMessage::TIMESTAMP_MONOTONIC) + 900000);

        // A late reply still finds its entry and reaches the host, once.
        objFixture.m_objPeer.write("<Reply id=\"101\" type=\"get\">\n<Tuner/>\n</Reply>\n");
        QVERIFY(objFixture.waitForJobs(4));
        QCOMPARE(faultId(objFixture.m_lstJobs.at(3).first), 0u);
        QTest::qWait(100);
        QCOMPARE(objFixture.m_lstJobs.size(), 4);
    }

    void disconnectAnswersEveryPendingRequest()
    {
        CFixture objFixture;
        for (unsigned int uiId = 201; uiId <= 203; ++uiId)
            objFixture.sendRequest(uiId, 60000000);
        QVERIFY(objFixture.m_objPeer.waitFor(3));
        objFixture.m_objPeer.socket()->close();
        QVERIFY(objFixture.waitForJobs(3, 3000));
        QSet<unsigned int> setAnswered;
        for (const auto& objJob : objFixture.m_lstJobs) {
            QCOMPARE(faultId(objJob.first), 0x02400008u);
            setAnswered.insert(objJob.first->getMessageID());
        }
        QCOMPARE(setAnswered, (QSet<unsigned int>{201, 202, 203}));
        // Nothing is left to time out later.
        QTest::qWait(100);
        QCOMPARE(objFixture.m_lstJobs.size(), 3);
    }

    void aliveCheckBetweenTwoConnections()
    {
        // Short cycles, so that the test does not wait a minute.
        const quint64 u64Cycle = CAliveCheckManager::getDefaultCheckCycle();
        CAliveCheckManager::setDefaultCheckCycle(300000);
        CAliveCheckManager::setMsgAvailableTime(400000);
        CFixture objServerSide;  // its raw peer stays idle; the server under test is the next one
        CTcpServer objServer;
        QVERIFY(objServer.listen(QHostAddress::LocalHost));
        std::unique_ptr<CConnection> pServer;
        QObject::connect(&objServer, &CTcpServer::SignalNewClient, [&](typSocketDescriptor a_typ) {
            pServer.reset(new CConnection(20, nullptr, QStringLiteral("Server")));
            struSocketInfo objInfo;
            objInfo.eType = struSocketInfo::ekSID_SOCKET_DESCRIPTOR;
            objInfo.typSocketDescriptor = a_typ;
            pServer->init(objInfo);
        });
        CProxy objProxy;
        QVERIFY(objProxy.start(objServer.serverPort()));
        CConnection objClient(21, nullptr, QStringLiteral("Client"));
        struSocketInfo objInfo;
        objInfo.strIpAddress = QStringLiteral("127.0.0.1");
        objInfo.usPort = objProxy.port();
        objClient.init(objInfo);

        // Both ends learn that the other speaks version 4, and keep checking each other.
        QVERIFY(QTest::qWaitFor(
            [&] {
                return pServer && objClient.getInfo().strAliveCheckInfo.endsWith(QLatin1String("peer: 4)")) &&
                       pServer->getInfo().strAliveCheckInfo.endsWith(QLatin1String("peer: 4)"));
            },
            5000));
        QTest::qWait(1000);
        QCOMPARE(objClient.getSocketState(), QAbstractSocket::ConnectedState);

        // The network goes silent: the client declares its peer dead within a cycle and a check.
        objProxy.m_bSilent = true;
        QVERIFY(QTest::qWaitFor([&] { return objClient.getSocketState() == QAbstractSocket::UnconnectedState; }, 5000));
        QVERIFY(
            objServerSide.m_objLog.contains(QStringLiteral("AliveCheck failed... Closing socket of connection[21]")));
        CAliveCheckManager::setDefaultCheckCycle(u64Cycle);
        CAliveCheckManager::setMsgAvailableTime(30000000);
    }

    void peerThatStopsReading()
    {
        struConnectionLimits objLimits;
        objLimits.uiSendStuckMs = 300;
        CFixture objFixture(objLimits);
        // The peer reads nothing from now on; events pile up in the kernel, then in Qt's buffer.
        objFixture.m_objPeer.socket()->setReadBufferSize(1);
        QObject::disconnect(objFixture.m_objPeer.socket(), &QTcpSocket::readyRead, nullptr, nullptr);
        ptrCXmlMessage ptrEvent(new CXmlMessage(7));
        ptrEvent->setServiceType(CXmlMessage::BROADCAST);
        CMsgFragment objFragment(ptrCXmlElement(new CXmlElement(Tag::XmlCommunicationDevice)));
        objFragment.getElementTree()->setValue(QString(100000, QLatin1Char('e')));
        ptrEvent->addFragment(objFragment);
        QVERIFY(QTest::qWaitFor(
            [&] {
                objFixture.m_pConnection->SlotSendMessage(ptrEvent, 0);
                return objFixture.m_pConnection->getSocketState() == QAbstractSocket::UnconnectedState;
            },
            20000));
        QVERIFY(objFixture.m_objLog.contains(QStringLiteral("is not emptied, closing")));
    }
};

QTEST_GUILESS_MAIN(TestConnection)
#include "tst_cconnection.moc"

#include <OrvexXmlInterface/xmlcommon/CFaultTree.h>
#include <OrvexXmlInterface/xmlcommunication/services/CMsgTimeStatisticsManager.h>

#include <QtTest/QtTest>

using namespace XmlCommon;
using namespace XmlCommunication;

namespace
{
using CStats = CMsgTimeStatisticsManager;

// Times the far side wrote into messages, and their text.
const quint64 s_u64ReqSend = 1700000000123456;  // "1700000000.123"
const quint64 s_u64LagSend = 1700000000500000;
const quint64 s_u64ReqRecv = 1700000001000400;  // "1700000001.000"
const quint64 s_u64RepSend = 1700000002249600;  // "1700000002.250"

// Placeholders for times taken now: {t} a time stamp, {d} a difference.
QRegularExpression pattern(QString a_strTemplate, quint32 a_u32Cont)
{
    a_strTemplate.replace(QLatin1String("{c}"), QString::number(a_u32Cont));
    QString strPattern = QRegularExpression::escape(a_strTemplate);
    strPattern.replace(QLatin1String("\\{t\\}"), QLatin1String("1[6-9]\\d{8}\\.\\d{3}"));
    strPattern.replace(QLatin1String("\\{d\\}"), QLatin1String("-?\\d+\\.\\d{3}"));
    return QRegularExpression(QLatin1Char('^') + strPattern + QLatin1Char('$'));
}

ptrCXmlMessage request()
{
    ptrCXmlMessage ptrMsg(new CXmlMessage(12));
    ptrMsg->setServiceType(CXmlMessage::REQUEST_GET);
    ptrMsg->setMessageID(31);
    ptrMsg->setAvailableTime(2000000);
    ptrMsg->addFragment(CMsgFragment(ptrCXmlElement(new CXmlElement("Tuner"))));
    ptrMsg->getFragment(0).getElementTree()->addChild(ptrCXmlElement(new CXmlElement("Gain")));
    return ptrMsg;
}

// The reply to a_ptrRequest: in time, a time-out fault, or another fault caused by a time-out.
ptrCXmlMessage reply(const ptrCXmlMessage& a_ptrRequest, const QString& a_strKind)
{
    const ptrCXmlMessage ptrReply = a_ptrRequest->copyShared(true);
    if (a_strKind == QLatin1String("intime")) {
        ptrReply->changeRequestToReply(0, 0);
    } else if (a_strKind == QLatin1String("timeout")) {
        ptrReply->changeRequestToReply(0x02400007, 1);
    } else {
        ptrReply->changeRequestToReply(0x02400008, 1);
        CFaultTree objCause;
        objCause.setID(0x02400007);
        ptrReply->getFragment(0).getFaultTree().setCausationDataTree(CDataTree(objCause.getElementTree()));
    }
    return ptrReply;
}

QStringList attributeNames(const ptrCXmlMessage& a_ptrMsg)
{
    QStringList lst;
    for (const auto& ptrAttribute : a_ptrMsg->getElementTree()->attributes())
        lst.append(QString::fromLatin1(ptrAttribute->baName));
    return lst;
}
}  // namespace

class TestMsgTimeStatistics : public QObject
{
    Q_OBJECT

private slots:
    // One request's life: its route, the lag replies that concerned it ("Type:ms"), a local
    // time-out, and its reply (kind and whether this side sends or receives it; a received reply
    // carries the far side's "ReqRecvTime" and "RepSendTime" when so marked). Expected: the
    // statistics texts, and the reply's root attributes afterwards.
    void statistics_data()
    {
        QTest::addColumn<int>("route");
        QTest::addColumn<QString>("lags");
        QTest::addColumn<bool>("internal");
        QTest::addColumn<QString>("replyKind");
        QTest::addColumn<int>("replyRoute");
        QTest::addColumn<bool>("farTimes");
        QTest::addColumn<QStringList>("texts");
        QTest::addColumn<QString>("attributes");

        const QString strHead = QStringLiteral("MsgTimeStatistics: Alpha\n"
                                               "\tConnection[12]: Alpha(127.0.0.1:4000), Peer(10.0.0.2:5000)\n");
        const QString strSent = strHead + QStringLiteral("\tRequest[Send]; MsgId: 31, Cont: {c}, AvailableTime: "
                                                         "2.000000s\n\t\tCreation(Local): {t}, Sending(Local): {t}, ");
        const QString strReceived = strHead + QStringLiteral("\tRequest[Recv]; MsgId: 31, Cont: {c}, AvailableTime: "
                                                             "2.000000s\n\t\tCreation(Local): {t}, Sending(Peer): "
                                                             "1700000000.123, Receiving(Local): {t}\n");
        const QString strInternal = strSent + QStringLiteral("Receiving(Peer): 0.000\n\tReply(InternalTimeout): "
                                                             "Operationtime(Local): {t}, Timediff(SendReq => "
                                                             "InternalTimeout): {d}s\n");
        const int iSend = CStats::eMRT_SEND;
        const int iRecv = CStats::eMRT_RECV;

        QTest::newRow("own request answered in time")
            << iSend << "" << false << "intime" << iRecv << false << QStringList() << "type id ReqSendTime";
        QTest::newRow("peer's request answered in time") << iRecv << "Store:100 Send:200" << false << "intime" << iSend
                                                         << false << QStringList() << "type id ReqSendTime";
        QTest::newRow("time-out reply received")
            << iSend << "Recv:400" << false << "timeout" << iRecv << true
            << QStringList{strSent + QStringLiteral("Receiving(Peer): 1700000001.000\n"
                                                    "\t\tReplyLag(Recv): Operationtime: {t}, Lag: 0.400000s\n"
                                                    "\tReply: Sending(Peer): 1700000002.250, Timediff(SendReq => "
                                                    "RecvRep): {d}s\n")}
            << "type id ReqSendTime ReqRecvTime RepSendTime";
        QTest::newRow("time-out reply received without the far side's times")
            << iSend << "" << false << "timeout" << iRecv << false
            << QStringList{strSent + QStringLiteral("Receiving(Peer): 0.000\n\tReply: Sending(Peer): (No timeout "
                                                    "error!), Timediff(SendReq => RecvRep): {d}s\n")}
            << "type id ReqSendTime";
        QTest::newRow("fault caused by a time-out further on")
            << iSend << "" << false << "causation" << iRecv << false
            << QStringList{strSent + QStringLiteral("Receiving(Peer): 0.000\n\tReply: Sending(Peer): (No timeout "
                                                    "error!), Timediff(SendReq => RecvRep): {d}s\n")}
            << "type id ReqSendTime";
        QTest::newRow("time-out reply sent")
            << iRecv << "Store:100 Send:200" << false << "timeout" << iSend << false
            << QStringList{strReceived + QStringLiteral("\t\tReplyLag(Store): Operationtime: {t}, Lag: 0.100000s\n"
                                                        "\t\tReplyLag(Send): Operationtime: {t}, Lag: 0.200000s\n"
                                                        "\tReply: Sending(Local): {t}, Timediff(RecvReq => "
                                                        "SendRep): {d}s\n")}
            << "type id ReqSendTime ReqRecvTime RepSendTime";
        QTest::newRow("local time-out, then its time-out reply")
            << iSend << "" << true << "timeout" << iRecv << false
            << QStringList{strInternal, strSent + QStringLiteral("Receiving(Peer): 0.000\n\tReply: Sending(Peer): "
                                                                 "(No timeout error!), Timediff(SendReq => "
                                                                 "RecvRep): {d}s\n")}
            << "type id ReqSendTime";
        QTest::newRow("local time-out, then a late reply")
            << iSend << "" << true << "intime" << iRecv << true
            << QStringList{strInternal, strSent + QStringLiteral("Receiving(Peer): 1700000001.000\n\tReply: "
                                                                 "Sending(Peer): 1700000002.250, Timediff(SendReq "
                                                                 "=> RecvRep): {d}s\n")}
            << "type id ReqSendTime ReqRecvTime RepSendTime";
        QTest::newRow("local time-out, no reply")
            << iSend << "" << true << "" << iRecv << false << QStringList{strInternal} << "";
    }

    void statistics()
    {
        QFETCH(int, route);
        QFETCH(QString, lags);
        QFETCH(bool, internal);
        QFETCH(QString, replyKind);
        QFETCH(int, replyRoute);
        QFETCH(bool, farTimes);
        QFETCH(QStringList, texts);
        QFETCH(QString, attributes);

        CStats objStats;
        objStats.init(12);
        struClientData objInfo;
        objInfo.strLocalAppName = QStringLiteral("Alpha");
        objInfo.strLocalAddress = QStringLiteral("127.0.0.1");
        objInfo.usLocalPort = 4000;
        objInfo.strPeerAddress = QStringLiteral("10.0.0.2");
        objInfo.usPeerPort = 5000;
        objStats.setInfo(objInfo);
        QStringList lstTexts;
        connect(&objStats, &CStats::SignalLogText, this, [&](const QString& a_str) { lstTexts.append(a_str); });

        const ptrCXmlMessage ptrRequest = request();
        if (route == CStats::eMRT_RECV)
            ptrRequest->getElementTree()->setAttribute("ReqSendTime", QString::number(s_u64ReqSend));
        ptrRequest->setTimeout(quint64(-1) / 2);  // lags are made only for requests still running
        objStats.addNewRequestMsg(CStats::eMsgRouteType(route), ptrRequest);
        for (const QString& strLag : lags.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
            const ptrCXmlMessage ptrLag =
                ptrRequest->generateTimeoutIncrementMsg(strLag.section(QLatin1Char(':'), 1).toUInt() * 1000u, false);
            ptrLag->getElementTree()->setAttribute("RepSendTime", QString::number(s_u64LagSend));
            const QString strType = strLag.section(QLatin1Char(':'), 0, 0);
            const CStats::eReplyLagType eType = strType == QLatin1String("Store")  ? CStats::eRLT_STORE
                                                : strType == QLatin1String("Send") ? CStats::eRLT_SEND
                                                                                   : CStats::eRLT_RECV;
            objStats.addReplyLag(eType, ptrLag, 0);
        }
        if (internal)
            objStats.handleInternalTimeout(ptrRequest->getContinuousId());
        if (!replyKind.isEmpty()) {
            ptrCXmlMessage ptrReply = reply(ptrRequest, replyKind);
            if (replyRoute == CStats::eMRT_RECV) {
                // As read from the wire: a message of its own, linked to its request.
                ptrCXmlMessage ptrReceived(new CXmlMessage(12));
                ptrReceived->setElementTree(ptrReply->getElementTree());
                ptrReply = ptrReceived;
                if (farTimes) {
                    ptrReply->getElementTree()->setAttribute("ReqRecvTime", QString::number(s_u64ReqRecv));
                    ptrReply->getElementTree()->setAttribute("RepSendTime", QString::number(s_u64RepSend));
                }
                objStats.setReplayRequestLink(ptrReply->getContinuousId(), ptrRequest->getContinuousId());
            }
            objStats.handleReplyMsg(CStats::eMsgRouteType(replyRoute), ptrReply, 0);
            QCOMPARE(attributeNames(ptrReply).join(QLatin1Char(' ')), attributes);
            // The record is gone: the same reply again finds nothing.
            objStats.handleReplyMsg(CStats::eMsgRouteType(replyRoute), ptrReply, ptrRequest->getContinuousId());
            QVERIFY(lstTexts.last().contains(QLatin1String("is not in the list")));
            lstTexts.removeLast();
        }
        QCOMPARE(lstTexts.size(), texts.size());
        for (int i = 0; i < texts.size(); ++i) {
            const QRegularExpression objPattern = pattern(texts.at(i), ptrRequest->getContinuousId());
            QVERIFY2(objPattern.match(lstTexts.at(i)).hasMatch(),
                     qPrintable(QStringLiteral("\n%1\ndoes not match\n%2").arg(lstTexts.at(i), texts.at(i))));
        }
    }

    void lookupsThatFail()
    {
        CStats objStats;
        objStats.init(3);
        QStringList lstTexts;
        connect(&objStats, &CStats::SignalLogText, this, [&](const QString& a_str) { lstTexts.append(a_str); });
        const ptrCXmlMessage ptrRequest = request();
        ptrRequest->setTimeout(quint64(-1) / 2);
        const ptrCXmlMessage ptrLag = ptrRequest->generateTimeoutIncrementMsg(5, false);
        objStats.addReplyLag(CStats::eRLT_RECV, ptrLag, 0);
        objStats.addReplyLag(CStats::eRLT_SEND, ptrLag, 77);
        objStats.handleInternalTimeout(78);
        objStats.handleReplyMsg(CStats::eMRT_RECV, reply(ptrRequest, QStringLiteral("intime")), 0);
        objStats.handleReplyMsg(CStats::eMRT_SEND, reply(ptrRequest, QStringLiteral("timeout")), 0);
        objStats.addNewRequestMsg(CStats::eMRT_SEND, ptrCXmlMessage(new CXmlMessage));
        objStats.handleReplyMsg(CStats::eMRT_SEND, ptrCXmlMessage(), 0);
        QCOMPARE(
            lstTexts,
            (QStringList{
                "CMsgTimeStatisticsManager::addReplyLag(MsgId: 31); Cannot find the parent(ContID: 0) in the "
                "requestMap\n",
                "CMsgTimeStatisticsManager::addReplyLag(MsgId: 31); Cannot find the parent(ContID: 77) in the "
                "requestMap\n",
                "CMsgTimeStatisticsManager::handleInternalTimeout(); The cannot find the request(78) to the "
                "replyMsg\n",
                "CMsgTimeStatisticsManager::handleReplyMsg(); Cannot find the request to the replyMsg(MsgId: 31)\n",
                QStringLiteral("CMsgTimeStatisticsManager::handleReplyMsg(); The continousID (%1) of the request "
                               "is not in the list\n")
                    .arg(ptrRequest->getContinuousId())}));
        // A sent lag carries its send time.
        QVERIFY(ptrLag->getElementTree()->getAttribute("RepSendTime").toULongLong() > s_u64ReqSend);

        QCOMPARE(CStats::formatTime(1500), QStringLiteral("0.002"));
        QCOMPARE(CStats::formatTime(1700000000999600), QStringLiteral("1700000001.000"));
        QCOMPARE(QString::fromLatin1(CStats::msgRouteTypeToString(CStats::eMsgRouteType(2))),
                 QStringLiteral("Unknown"));
        QCOMPARE(QString::fromLatin1(CStats::replyLagTypeToString(CStats::eReplyLagType(3))),
                 QStringLiteral("Unknown"));
    }
};

QTEST_GUILESS_MAIN(TestMsgTimeStatistics)
#include "tst_cmsgtimestatisticsmanager.moc"

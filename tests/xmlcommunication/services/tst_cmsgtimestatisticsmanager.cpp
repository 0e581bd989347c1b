#include <OrvexXmlInterface/xmlcommon/CFaultTree.h>
#include <OrvexXmlInterface/xmlcommunication/services/CMsgTimeStatisticsManager.h>

#include <QtTest/QtTest>

using namespace XmlCommon;
using namespace XmlCommunication;

namespace
{
using CStats = CMsgTimeStatisticsManager;

// Far-side times written into messages, and their texts: 1700000000.123, .500, 1700000001.000, 1700000002.250.
const quint64 s_au64Far[] = {1700000000123456, 1700000000500000, 1700000001000400, 1700000002249600};

// Parts of the expected texts. {c} the continuous id; {t} a time taken now; {d} a difference.
const QString s_strSent = QStringLiteral("MsgTimeStatistics: Alpha\n\tConnection[12]: Alpha(127.0.0.1:4000), "
                                         "Peer(10.0.0.2:5000)\n\tRequest[Send]; MsgId: 31, Cont: {c}, AvailableTime: "
                                         "2.000000s\n\t\tCreation(Local): {t}, Sending(Local): {t}, Receiving(Peer): ");
const QString s_strInternal = s_strSent + QStringLiteral("0.000\n\tReply(InternalTimeout): Operationtime(Local): {t}, "
                                                         "Timediff(SendReq => InternalTimeout): {d}s\n");
const QString s_strPeerReply = QStringLiteral("\tReply: Sending(Peer): %1, Timediff(SendReq => RecvRep): {d}s\n");

QRegularExpression pattern(QString a_strTemplate, quint32 a_u32Cont)
{
    QString str = QRegularExpression::escape(a_strTemplate.replace(QLatin1String("{c}"), QString::number(a_u32Cont)));
    str.replace(QLatin1String("\\{t\\}"), QLatin1String("1[6-9]\\d{8}\\.\\d{3}"));
    str.replace(QLatin1String("\\{d\\}"), QLatin1String("-?\\d+\\.\\d{3}"));
    return QRegularExpression(QLatin1Char('^') + str + QLatin1Char('$'));
}

ptrCXmlMessage request()
{
    ptrCXmlMessage ptrMsg(new CXmlMessage(12));
    ptrMsg->setServiceType(CXmlMessage::REQUEST_GET);
    ptrMsg->setMessageID(31);
    ptrMsg->setAvailableTime(2000000);
    ptrMsg->setTimeout(quint64(-1) / 2);  // lags are made only for requests still running
    ptrMsg->addFragment(CMsgFragment(ptrCXmlElement(new CXmlElement("Tuner"))));
    ptrMsg->getFragment(0).getElementTree()->addChild(ptrCXmlElement(new CXmlElement("Gain")));
    return ptrMsg;
}

// The reply: in time, a time-out fault, or another fault caused by a time-out further on.
ptrCXmlMessage reply(const ptrCXmlMessage& a_ptrRequest, const QString& a_strKind)
{
    const ptrCXmlMessage ptrReply = a_ptrRequest->copyShared(true);
    ptrReply->changeRequestToReply(a_strKind == QLatin1String("intime")    ? 0
                                   : a_strKind == QLatin1String("timeout") ? 0x02400007
                                                                           : 0x02400008,
                                   1);
    if (a_strKind == QLatin1String("causation")) {
        CFaultTree objCause;
        objCause.setID(0x02400007);
        ptrReply->getFragment(0).getFaultTree().setCausationDataTree(CDataTree(objCause.getElementTree()));
    }
    return ptrReply;
}
}  // namespace

class TestMsgTimeStatistics : public QObject
{
    Q_OBJECT

private slots:
    // One request's life: its route ("send": this side sends it, "recv": receives it), lag replies
    // ("Type:ms"), a local time-out ("internal"), and its reply ("reply=kind", "/far" when the far
    // side wrote its times into it), which goes the other way. Expected: the statistics texts and
    // the reply's root attributes afterwards.
    void statistics_data()
    {
        QTest::addColumn<QString>("script");
        QTest::addColumn<QStringList>("texts");
        QTest::addColumn<QString>("attributes");
        const QString strTimeoutSent =
            QStringLiteral("MsgTimeStatistics: Alpha\n\tConnection[12]: Alpha(127.0.0.1:4000), Peer(10.0.0.2:5000)\n"
                           "\tRequest[Recv]; MsgId: 31, Cont: {c}, AvailableTime: 2.000000s\n\t\tCreation(Local): {t}, "
                           "Sending(Peer): 1700000000.123, Receiving(Local): {t}\n\t\tReplyLag(Store): Operationtime: "
                           "{t}, Lag: 0.100000s\n\t\tReplyLag(Send): Operationtime: {t}, Lag: 0.200000s\n\tReply: "
                           "Sending(Local): {t}, Timediff(RecvReq => SendRep): {d}s\n");
        const QString strNoTimes =
            s_strSent + QStringLiteral("0.000\n") + s_strPeerReply.arg(QStringLiteral("(No timeout error!)"));
        const QString strFarTimes =
            s_strSent + QStringLiteral("1700000001.000\n") + s_strPeerReply.arg(QStringLiteral("1700000002.250"));
        QStringList lstLag = {strFarTimes};
        lstLag[0].insert(lstLag[0].indexOf(QLatin1String("\tReply:")),
                         QStringLiteral("\t\tReplyLag(Recv): Operationtime: {t}, Lag: 0.400000s\n"));

        // clang-format off
        QTest::newRow("answered in time")           << "recv Store:100 Send:200 reply=intime" << QStringList() << "type id ReqSendTime";
        QTest::newRow("time-out reply received")    << "send Recv:400 reply=timeout/far" << lstLag << "type id ReqSendTime ReqRecvTime RepSendTime";
        QTest::newRow("without the far side's times") << "send reply=timeout" << QStringList{strNoTimes} << "type id ReqSendTime";
        QTest::newRow("caused by a time-out further on") << "send reply=causation" << QStringList{strNoTimes} << "type id ReqSendTime";
        QTest::newRow("time-out reply sent")        << "recv Store:100 Send:200 reply=timeout" << QStringList{strTimeoutSent} << "type id ReqSendTime ReqRecvTime RepSendTime";
        QTest::newRow("local time-out, then its fault") << "send internal reply=timeout" << QStringList{s_strInternal, strNoTimes} << "type id ReqSendTime";
        QTest::newRow("local time-out, then a late reply") << "send internal reply=intime/far" << QStringList{s_strInternal, strFarTimes} << "type id ReqSendTime ReqRecvTime RepSendTime";
        // clang-format on
    }

    void statistics()
    {
        QFETCH(QString, script);
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

        const QStringList lstScript = script.split(QLatin1Char(' '));
        const CStats::eMsgRouteType eRoute =
            lstScript.first() == QLatin1String("send") ? CStats::eMRT_SEND : CStats::eMRT_RECV;
        const ptrCXmlMessage ptrRequest = request();
        if (eRoute == CStats::eMRT_RECV)
            ptrRequest->getElementTree()->setAttribute("ReqSendTime", QString::number(s_au64Far[0]));
        objStats.addNewRequestMsg(eRoute, ptrRequest);
        for (const QString& strStep : lstScript.mid(1)) {
            if (strStep == QLatin1String("internal")) {
                objStats.handleInternalTimeout(ptrRequest->getContinuousId());
            } else if (strStep.startsWith(QLatin1String("reply="))) {
                ptrCXmlMessage ptrReply = reply(ptrRequest, strStep.mid(6).section(QLatin1Char('/'), 0, 0));
                if (eRoute == CStats::eMRT_SEND) {
                    // Read from the wire: a message of its own, linked to its request by the connection.
                    ptrCXmlMessage ptrReceived(new CXmlMessage(12));
                    ptrReceived->setElementTree(ptrReply->getElementTree());
                    ptrReply = ptrReceived;
                    if (strStep.endsWith(QLatin1String("/far"))) {
                        ptrReply->getElementTree()->setAttribute("ReqRecvTime", QString::number(s_au64Far[2]));
                        ptrReply->getElementTree()->setAttribute("RepSendTime", QString::number(s_au64Far[3]));
                    }
                    objStats.setReplayRequestLink(ptrReply->getContinuousId(), ptrRequest->getContinuousId());
                }
                const CStats::eMsgRouteType eReplyRoute =
                    eRoute == CStats::eMRT_SEND ? CStats::eMRT_RECV : CStats::eMRT_SEND;
                objStats.handleReplyMsg(eReplyRoute, ptrReply, 0);
                QStringList lstAttributes;
                for (const auto& ptrAttribute : ptrReply->getElementTree()->attributes())
                    lstAttributes.append(QString::fromLatin1(ptrAttribute->baName));
                QCOMPARE(lstAttributes.join(QLatin1Char(' ')), attributes);
                // The record is gone.
                objStats.handleReplyMsg(eReplyRoute, ptrReply, ptrRequest->getContinuousId());
                QVERIFY(lstTexts.takeLast().contains(QLatin1String("is not in the list")));
            } else {
                const ptrCXmlMessage ptrLag = ptrRequest->generateTimeoutIncrementMsg(
                    strStep.section(QLatin1Char(':'), 1).toUInt() * 1000u, false);
                ptrLag->getElementTree()->setAttribute("RepSendTime", QString::number(s_au64Far[1]));
                const QString strType = strStep.section(QLatin1Char(':'), 0, 0);
                objStats.addReplyLag(strType == QLatin1String("Store")  ? CStats::eRLT_STORE
                                     : strType == QLatin1String("Send") ? CStats::eRLT_SEND
                                                                        : CStats::eRLT_RECV,
                                     ptrLag, 0);
            }
        }
        QCOMPARE(lstTexts.size(), texts.size());
        for (int i = 0; i < texts.size(); ++i)
            QVERIFY2(pattern(texts.at(i), ptrRequest->getContinuousId()).match(lstTexts.at(i)).hasMatch(),
                     qPrintable(QStringLiteral("\n%1\ndoes not match\n%2").arg(lstTexts.at(i), texts.at(i))));
    }

    void lookupsThatFail()
    {
        CStats objStats;
        QStringList lstTexts;
        connect(&objStats, &CStats::SignalLogText, this, [&](const QString& a_str) { lstTexts.append(a_str); });
        const ptrCXmlMessage ptrRequest = request();
        const ptrCXmlMessage ptrLag = ptrRequest->generateTimeoutIncrementMsg(5, false);
        objStats.addReplyLag(CStats::eRLT_RECV, ptrLag, 0);
        objStats.addReplyLag(CStats::eRLT_SEND, ptrLag, 77);
        objStats.handleInternalTimeout(78);
        objStats.handleReplyMsg(CStats::eMRT_RECV, reply(ptrRequest, QStringLiteral("intime")), 0);
        objStats.handleReplyMsg(CStats::eMRT_SEND, reply(ptrRequest, QStringLiteral("timeout")), 0);
        objStats.addNewRequestMsg(CStats::eMRT_SEND, ptrCXmlMessage(new CXmlMessage));
        objStats.handleReplyMsg(CStats::eMRT_SEND, ptrCXmlMessage(), 0);
        const QString strPrefix = QStringLiteral("CMsgTimeStatisticsManager::");
        QCOMPARE(
            lstTexts,
            (QStringList{
                strPrefix + "addReplyLag(MsgId: 31); Cannot find the parent(ContID: 0) in the requestMap\n",
                strPrefix + "addReplyLag(MsgId: 31); Cannot find the parent(ContID: 77) in the requestMap\n",
                strPrefix + "handleInternalTimeout(); The cannot find the request(78) to the replyMsg\n",
                strPrefix + "handleReplyMsg(); Cannot find the request to the replyMsg(MsgId: 31)\n",
                strPrefix + QStringLiteral("handleReplyMsg(); The continousID (%1) of the request is not in the list\n")
                                .arg(ptrRequest->getContinuousId())}));
        QVERIFY(ptrLag->getElementTree()->getAttribute("RepSendTime").toULongLong() >
                s_au64Far[3]);  // a sent lag's time
        QCOMPARE(CStats::formatTime(1500) + CStats::formatTime(1700000000999600),
                 QStringLiteral("0.0021700000001.000"));
        QCOMPARE(QByteArray(CStats::msgRouteTypeToString(CStats::eMsgRouteType(2))) +
                     CStats::replyLagTypeToString(CStats::eReplyLagType(3)),
                 QByteArray("UnknownUnknown"));
    }
};

QTEST_GUILESS_MAIN(TestMsgTimeStatistics)
#include "tst_cmsgtimestatisticsmanager.moc"

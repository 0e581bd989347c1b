#include "CMsgTimeStatisticsManager.h"

#include <OrvexXmlInterface/platform/Platform.h>

using namespace XmlCommon;

namespace XmlCommunication
{
namespace
{
const unsigned int s_uiTimeoutFault = 0x02400007;

// Microseconds as seconds with a_iDecimals places (at most 6), rounded, without going through
// floating point: times since 1970 in microseconds exceed what a double keeps exactly.
QString secondsText(qint64 a_i64Microseconds, int a_iDecimals)
{
    const bool bNegative = a_i64Microseconds < 0;
    quint64 u64Magnitude = bNegative ? quint64(-(a_i64Microseconds + 1)) + 1 : quint64(a_i64Microseconds);
    quint64 u64Unit = 1;
    for (int i = a_iDecimals; i < 6; ++i)
        u64Unit *= 10;
    u64Magnitude = (u64Magnitude + u64Unit / 2) / u64Unit;
    quint64 u64Scale = 1000000 / u64Unit;
    QString strText = QString::number(u64Magnitude / u64Scale);
    if (a_iDecimals > 0)
        strText +=
            QLatin1Char('.') + QStringLiteral("%1").arg(u64Magnitude % u64Scale, a_iDecimals, 10, QLatin1Char('0'));
    return bNegative && u64Magnitude != 0 ? QLatin1Char('-') + strText : strText;
}

QString text(const char* a_pszText)
{
    return QString::fromLatin1(a_pszText);
}

bool readTime(const ptrCXmlElement& a_ptrRoot, const QByteArray& a_baName, quint64& a_u64Time)
{
    bool bOk = false;
    const quint64 u64Value = a_ptrRoot->getAttribute(a_baName).toULongLong(&bOk, 10);
    if (bOk)
        a_u64Time = u64Value;
    return bOk;
}

bool isTimeoutFault(const CFaultTree& a_objFault)
{
    unsigned int uiId = 0;
    return a_objFault.checkCompatibility() && a_objFault.getID(uiId) == 0 && uiId == s_uiTimeoutFault;
}
}  // namespace

CMsgTimeStatisticsManager::CMsgTimeStatisticsManager()
    : m_baReqSendTime("ReqSendTime"), m_baReqRecvTime("ReqRecvTime"), m_baRepSendTime("RepSendTime")
{}

CMsgTimeStatisticsManager::~CMsgTimeStatisticsManager() = default;

void CMsgTimeStatisticsManager::init(unsigned int a_uiConnectionId)
{
    m_uiConnectionId = a_uiConnectionId;
}

void CMsgTimeStatisticsManager::setInfo(struClientData a_objInfo)
{
    m_objInfo = a_objInfo;
}

void CMsgTimeStatisticsManager::clean()
{
    m_hashRequests.clear();
    m_hashReplyLinks.clear();
}

QString CMsgTimeStatisticsManager::formatTime(quint64 a_u64Microseconds)
{
    return secondsText(qint64(qMin<quint64>(a_u64Microseconds, quint64(INT64_MAX))), 3);
}

const char* CMsgTimeStatisticsManager::msgRouteTypeToString(eMsgRouteType a_eRoute)
{
    switch (a_eRoute) {
    case eMRT_SEND: return "Send";
    case eMRT_RECV: return "Recv";
    }
    return "Unknown";
}

const char* CMsgTimeStatisticsManager::replyLagTypeToString(eReplyLagType a_eType)
{
    switch (a_eType) {
    case eRLT_STORE: return "Store";
    case eRLT_SEND: return "Send";
    case eRLT_RECV: return "Recv";
    }
    return "Unknown";
}

void CMsgTimeStatisticsManager::addNewRequestMsg(eMsgRouteType a_eRoute, ptrCXmlMessage a_ptrRequest)
{
    if (!a_ptrRequest || a_ptrRequest->isNull())
        return;
    const quint64 u64Now = Platform::nowUtcUs();
    struMsgTimeData objData;
    objData.eRoute = a_eRoute;
    objData.u32ContinuousId = a_ptrRequest->getContinuousId();
    objData.u32MessageId = a_ptrRequest->getMessageID();
    objData.u64CreationTime = a_ptrRequest->getCreationTimestamp(CXmlMessage::TIMESTAMP_ABSOLUTE);
    objData.u32AvailableTime = a_ptrRequest->getAvailableTime();
    const ptrCXmlElement ptrRoot = a_ptrRequest->getElementTree();
    if (!ptrRoot) {
        emit SignalLogText(QStringLiteral(
            "CMsgTimeStatisticsManager::addNewRequestMsg(); The element-ptr of the request-msg is NULL"));
        return;
    }
    if (a_eRoute == eMRT_SEND) {
        objData.u64RequestSendTime = u64Now;
        ptrRoot->setAttribute(m_baReqSendTime, QString::number(u64Now));
    } else {
        objData.u64RequestRecvTime = u64Now;
        readTime(ptrRoot, m_baReqSendTime, objData.u64RequestSendTime);
    }
    m_hashRequests.insert(objData.u32ContinuousId, objData);
}

void CMsgTimeStatisticsManager::addReplyLag(eReplyLagType a_eType, ptrCXmlMessage a_ptrLag,
                                            unsigned int a_uiRequestContinuousId)
{
    if (!a_ptrLag || a_ptrLag->isNull())
        return;
    const quint64 u64Now = Platform::nowUtcUs();
    const ptrCXmlElement ptrRoot = a_ptrLag->getElementTree();
    if (a_eType == eRLT_SEND)
        ptrRoot->setAttribute(m_baRepSendTime, QString::number(u64Now));
    struReplyLag objLag;
    objLag.eType = a_eType;
    objLag.u64OperationTime = u64Now;
    objLag.u32Lag = a_ptrLag->getAvailableTime();
    if (a_eType == eRLT_RECV)
        readTime(ptrRoot, m_baRepSendTime, objLag.u64PeerSendTime);

    const quint32 u32MessageId = a_ptrLag->getMessageID();
    quint32 u32Key = a_uiRequestContinuousId;
    if (u32Key == 0) {
        // A lag made from its request keeps the request's continuous id.
        for (const struMsgTimeData& objData : qAsConst(m_hashRequests)) {
            if (objData.u32MessageId == u32MessageId) {
                u32Key = a_ptrLag->getContinuousId();
                break;
            }
        }
    }
    const auto it = m_hashRequests.find(u32Key);
    if (it == m_hashRequests.end()) {
        emit SignalLogText(QStringLiteral("CMsgTimeStatisticsManager::addReplyLag(MsgId: %1); Cannot find the "
                                          "parent(ContID: %2) in the requestMap\n")
                               .arg(u32MessageId)
                               .arg(u32Key));
        return;
    }
    it->lstReplyLags.append(objLag);
}

void CMsgTimeStatisticsManager::handleInternalTimeout(unsigned int a_uiRequestContinuousId)
{
    const auto it = m_hashRequests.find(a_uiRequestContinuousId);
    if (it == m_hashRequests.end()) {
        emit SignalLogText(QStringLiteral("CMsgTimeStatisticsManager::handleInternalTimeout(); The cannot find the "
                                          "request(%1) to the replyMsg\n")
                               .arg(a_uiRequestContinuousId));
        return;
    }
    it->u64ReplyTime = Platform::nowUtcUs();
    it->bInternalTimeout = true;
    logMsgTimeStatistics(*it, true);
}

void CMsgTimeStatisticsManager::setReplayRequestLink(unsigned int a_uiReplyContinuousId,
                                                     unsigned int a_uiRequestContinuousId)
{
    m_hashReplyLinks.insert(a_uiReplyContinuousId, a_uiRequestContinuousId);
}

bool CMsgTimeStatisticsManager::findRequestOfReply(eMsgRouteType a_eRoute, const ptrCXmlMessage& a_ptrReply,
                                                   unsigned int a_uiGiven, quint32& a_u32Request)
{
    if (a_uiGiven != 0) {
        a_u32Request = a_uiGiven;
        return true;
    }
    // A reply made in place of its request keeps the request's continuous id; a received one is
    // linked to its request by the connection.
    if (a_eRoute == eMRT_SEND) {
        a_u32Request = a_ptrReply->getContinuousId();
        return true;
    }
    const auto it = m_hashReplyLinks.constFind(a_ptrReply->getContinuousId());
    if (it == m_hashReplyLinks.cend()) {
        emit SignalLogText(QStringLiteral("CMsgTimeStatisticsManager::handleReplyMsg(); Cannot find the request to "
                                          "the replyMsg(MsgId: %1)\n")
                               .arg(a_ptrReply->getMessageID()));
        return false;
    }
    a_u32Request = it.value();
    return true;
}

bool CMsgTimeStatisticsManager::isTimeoutReply(const ptrCXmlMessage& a_ptrReply)
{
    for (int i = 0; i < a_ptrReply->getNumberOfFragments(); ++i) {
        const CFaultTree objFault = a_ptrReply->getFragment(unsigned(i)).getFaultTree();
        if (objFault.isNull())
            continue;
        // A fault caused by a time-out further down the chain counts too.
        if (isTimeoutFault(objFault) || isTimeoutFault(CFaultTree(objFault.getCausationDataTree().getElementTree())))
            return true;
    }
    return false;
}

void CMsgTimeStatisticsManager::handleReplyMsg(eMsgRouteType a_eRoute, ptrCXmlMessage a_ptrReply,
                                               unsigned int a_uiRequestContinuousId)
{
    if (!a_ptrReply || a_ptrReply->isNull())
        return;
    quint32 u32Request = 0;
    if (!findRequestOfReply(a_eRoute, a_ptrReply, a_uiRequestContinuousId, u32Request))
        return;
    m_hashReplyLinks.remove(a_ptrReply->getContinuousId());
    const auto it = m_hashRequests.find(u32Request);
    if (it == m_hashRequests.end()) {
        emit SignalLogText(QStringLiteral("CMsgTimeStatisticsManager::handleReplyMsg(); The continousID (%1) of the "
                                          "request is not in the list\n")
                               .arg(u32Request));
        return;
    }
    const ptrCXmlElement ptrRoot = a_ptrReply->getElementTree();
    if (!ptrRoot) {
        emit SignalLogText(
            QStringLiteral("CMsgTimeStatisticsManager::handleReplyMsg(); The element-ptr of the reply-msg is NULL\n"));
        return;
    }
    const bool bTimeout = isTimeoutReply(a_ptrReply);
    if (bTimeout || it->bInternalTimeout) {
        if (a_eRoute == eMRT_RECV) {
            readTime(ptrRoot, m_baReqRecvTime, it->u64RequestRecvTime);
            it->u64ReplyTime = 0;
            readTime(ptrRoot, m_baRepSendTime, it->u64ReplyTime);
            logMsgTimeStatistics(*it, false);
        } else {
            const quint64 u64Now = Platform::nowUtcUs();
            ptrRoot->setAttribute(m_baReqRecvTime, QString::number(it->u64RequestRecvTime));
            ptrRoot->setAttribute(m_baRepSendTime, QString::number(u64Now));
            it->u64ReplyTime = u64Now;
            if (bTimeout)
                logMsgTimeStatistics(*it, false);
        }
    }
    m_hashRequests.erase(it);
}

void CMsgTimeStatisticsManager::logMsgTimeStatistics(const struMsgTimeData& a_objData, bool a_bInternal)
{
    const QString strLocal = m_objInfo.strLocalAppName.isEmpty() ? text("Local") : m_objInfo.strLocalAppName;
    const QString strPeer = m_objInfo.strPeerAppName.isEmpty() ? text("Peer") : m_objInfo.strPeerAppName;
    const bool bSend = a_objData.eRoute == eMRT_SEND;
    QString strText = QStringLiteral("MsgTimeStatistics: %1\n").arg(m_objInfo.strLocalAppName);
    // One pass: names come from peers and may contain "%1" themselves.
    strText += QStringLiteral("\tConnection[%1]: %2(%3:%4), %5(%6:%7)\n")
                   .arg(QString::number(m_uiConnectionId), strLocal, m_objInfo.strLocalAddress,
                        QString::number(m_objInfo.usLocalPort), strPeer, m_objInfo.strPeerAddress,
                        QString::number(m_objInfo.usPeerPort));
    strText += QStringLiteral("\tRequest[%1]; MsgId: %2, Cont: %3, AvailableTime: %4s\n")
                   .arg(text(msgRouteTypeToString(a_objData.eRoute)))
                   .arg(a_objData.u32MessageId)
                   .arg(a_objData.u32ContinuousId)
                   .arg(secondsText(a_objData.u32AvailableTime, 6));
    strText += QStringLiteral("\t\tCreation(Local): %1, Sending(%2): %3, Receiving(%4): %5\n")
                   .arg(formatTime(a_objData.u64CreationTime), text(bSend ? "Local" : "Peer"),
                        formatTime(a_objData.u64RequestSendTime), text(bSend ? "Peer" : "Local"),
                        formatTime(a_objData.u64RequestRecvTime));
    for (const struReplyLag& objLag : a_objData.lstReplyLags)
        strText += QStringLiteral("\t\tReplyLag(%1): Operationtime: %2, Lag: %3s\n")
                       .arg(text(replyLagTypeToString(objLag.eType)), formatTime(objLag.u64OperationTime),
                            secondsText(objLag.u32Lag, 6));
    const QString strDiff = secondsText(qint64(Platform::nowUtcUs()) - qint64(a_objData.u64RequestSendTime), 3);
    if (a_bInternal)
        strText += QStringLiteral("\tReply(InternalTimeout): Operationtime(Local): %1, Timediff(SendReq => "
                                  "InternalTimeout): %2s\n")
                       .arg(formatTime(a_objData.u64ReplyTime), strDiff);
    else
        strText += QStringLiteral("\tReply: Sending(%1): %2, Timediff(%3): %4s\n")
                       .arg(text(bSend ? "Peer" : "Local"),
                            a_objData.u64ReplyTime ? formatTime(a_objData.u64ReplyTime) : text("(No timeout error!)"),
                            text(bSend ? "SendReq => RecvRep" : "RecvReq => SendRep"), strDiff);
    emit SignalLogText(strText);
}
}  // namespace XmlCommunication

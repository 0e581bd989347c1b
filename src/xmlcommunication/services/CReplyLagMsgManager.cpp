#include "CReplyLagMsgManager.h"

#include <OrvexXmlInterface/platform/Platform.h>

#include <algorithm>

using namespace XmlCommon;

namespace XmlCommunication
{
namespace
{
// Entries of the last-second map whose deadline passed this long ago are never answered.
const quint64 s_u64NeverAnsweredUs = 10000000;

quint64 deadlineOf(const ptrCXmlMessage& a_ptrMsg)
{
    return a_ptrMsg ? quint64(a_ptrMsg->getTimeout()) : 0;
}

// The moment at which a lag for the entry is due: its deadline less the lead margin.
quint64 dueTime(const ptrCXmlMessage& a_ptrMsg)
{
    const quint64 u64Deadline = deadlineOf(a_ptrMsg);
    return u64Deadline > CReplyLagMsgManager::m_u64LeadMargin ? u64Deadline - CReplyLagMsgManager::m_u64LeadMargin : 0;
}

QString seconds(double a_dMicroseconds, int a_iDecimals)
{
    return QString::number(a_dMicroseconds / 1000000.0, 'f', a_iDecimals);
}

quint32 continuousIdOf(const CReplyLagMsgManager::struRequestData& a_objData)
{
    return a_objData.ptrMessage ? a_objData.ptrMessage->getContinuousId() : 0;
}
}  // namespace

CReplyLagMsgManager::CReplyLagMsgManager(unsigned int a_uiConnectionId)
    : CDebugFlags(QStringLiteral("CReplyLagMsgManager")), m_uiConnectionId(a_uiConnectionId),
      m_ptrTriggerManager(CTriggerManager::getInstance())
{
    followDebugCenter(this);
    getCurrentDbgFlagSetup();
}

CReplyLagMsgManager::~CReplyLagMsgManager() = default;

void CReplyLagMsgManager::init() {}

QString CReplyLagMsgManager::prefix() const
{
    return QStringLiteral("Conn[%1] CReplyLagMsgManager::").arg(m_uiConnectionId);
}

void CReplyLagMsgManager::slotDebugFlagSetup(XmlCommunication::typMapDbgFlags a_mapSetup)
{
    handleDbgFlagSetup(a_mapSetup);
}

void CReplyLagMsgManager::addNewRequestMsg(ptrCXmlMessage a_ptrRequest)
{
    if (!a_ptrRequest)
        return;
    struRequestData objData;
    objData.ptrMessage = a_ptrRequest->generateTimeoutIncrementMsg(1, false);
    if (!objData.ptrMessage)
        return;
    objData.u32MessageId = objData.ptrMessage->getMessageID();
    if (a_ptrRequest->getRemainingTime() <= m_u64LeadMargin)
        addReqMsgToLastSecond(objData);
    else
        addReqMsgToMap(objData);
}

void CReplyLagMsgManager::addReqMsgToMap(const struRequestData& a_objData)
{
    const quint64 u64Key = dueTime(a_objData.ptrMessage);
    const quint64 u64Now = Platform::nowMonotonicUs();
    if (u64Key <= u64Now) {
        addReqMsgToLastSecond(a_objData);
        return;
    }
    const quint32 u32ContinuousId = continuousIdOf(a_objData);
    debugLog([&] {
        return prefix() + QStringLiteral("addReqMsgToMap() msg%1[%2] gets added to the RequestMap!")
                              .arg(a_objData.u32MessageId)
                              .arg(u32ContinuousId);
    });
    m_mapRequests.insert(u64Key, a_objData);
    m_hashKeysOfId.insert(a_objData.u32MessageId, u64Key);
    debugLog([&] {
        return prefix() + QStringLiteral("addReqMsgToMap() msg%1[%2] gets added to triggerManager with %3, now %4!")
                              .arg(a_objData.u32MessageId)
                              .arg(u32ContinuousId)
                              .arg(u64Key)
                              .arg(u64Now);
    });
    m_ptrTriggerManager->addRequest(u64Key, this);
}

void CReplyLagMsgManager::addReqMsgToLastSecond(const struRequestData& a_objData)
{
    const quint32 u32ContinuousId = continuousIdOf(a_objData);
    m_mapLastSecond.insert(u32ContinuousId, a_objData);
    debugLog([&] {
        return prefix() + QStringLiteral("addReqMsgToLastSecond() msg%1[%2] is added to the lastSecondMap!")
                              .arg(a_objData.u32MessageId)
                              .arg(u32ContinuousId);
    });
    removeNeverAnsweredRequests();
}

void CReplyLagMsgManager::removeNeverAnsweredRequests()
{
    const quint64 u64Now = Platform::nowMonotonicUs();
    for (auto it = m_mapLastSecond.begin(); it != m_mapLastSecond.end();) {
        const quint64 u64Deadline = deadlineOf(it->ptrMessage);
        if (it->ptrMessage && u64Deadline + s_u64NeverAnsweredUs < u64Now)
            it = m_mapLastSecond.erase(it);
        else
            ++it;
    }
}

void CReplyLagMsgManager::slotSetTrigger(quint64 a_u64Timestamp)
{
    const quint64 u64Now = Platform::nowMonotonicUs();
    if (u64Now < a_u64Timestamp)
        debugLog([&] {
            return prefix() + QStringLiteral("slotSetTrigger() is called! Key: %1; %2µs to early")
                                  .arg(a_u64Timestamp)
                                  .arg(a_u64Timestamp - u64Now);
        });
    else
        debugLog([&] {
            return prefix() + QStringLiteral("slotSetTrigger() is called! Key: %1; %2µs to late")
                                  .arg(a_u64Timestamp)
                                  .arg(u64Now - a_u64Timestamp);
        });
    const auto it = m_mapRequests.find(a_u64Timestamp);
    if (it == m_mapRequests.end())
        return;
    const struRequestData objData = it.value();
    m_mapRequests.erase(it);
    forgetKey(objData.u32MessageId, a_u64Timestamp);

    const quint64 u64Due = dueTime(objData.ptrMessage);
    if (a_u64Timestamp >= u64Due) {
        // Not extended: the request runs into its deadline unless answered or extended meanwhile.
        addReqMsgToLastSecond(objData);
        return;
    }
    // Everything granted since the entry was made goes out in one lag reply.
    const unsigned int uiAvailableTime = unsigned(qMin<quint64>(u64Due - a_u64Timestamp, 0xFFFFFFFFu));
    const ptrCXmlMessage ptrLag = generateTimeoutIncrementMsg(uiAvailableTime, objData);
    if (!ptrLag)
        debugLog([&] {
            return prefix() +
                   QStringLiteral("slotSetTrigger() the generated ReplyLag-Msg(%1µs) is NULL").arg(uiAvailableTime);
        });
    else
        emit SignalMsgToSend(ptrLag, 0);
    addReqMsgToMap(objData);
}

ptrCXmlMessage CReplyLagMsgManager::generateTimeoutIncrementMsg(unsigned int a_uiAvailableTime,
                                                                const struRequestData& a_objData)
{
    if (a_objData.ptrMessage)
        return a_objData.ptrMessage->generateTimeoutIncrementMsg(a_uiAvailableTime, false);
    ptrCXmlMessage ptrLag(new CXmlMessage(m_uiConnectionId));
    ptrLag->setMessageID(a_objData.u32MessageId);
    ptrLag->setServiceType(CXmlMessage::REPLY_LAG);
    ptrLag->setAvailableTime(a_uiAvailableTime);
    return ptrLag;
}

bool CReplyLagMsgManager::handleReplyLagMsg(ptrCXmlMessage a_ptrLag)
{
    if (!a_ptrLag || a_ptrLag->isNull()) {
        debugLog([&] { return QStringLiteral("CReplyLagMsgManager::handleReplyLagMsg() => msg is NULL."); });
        return false;
    }
    // Not in the last second: the manager carries the extension to the requester itself, at the
    // right time (or the request is unknown).
    const auto it = m_mapLastSecond.find(a_ptrLag->getContinuousId());
    if (it == m_mapLastSecond.end())
        return false;
    debugLog([&] {
        return prefix() + QStringLiteral("handleReplyLagMsg() msg%1[%2] gets removed from LastSecondMap "
                                         "(identified by ContId)!")
                              .arg(it->u32MessageId)
                              .arg(it.key());
    });
    // The manager has given up carrying this request's extensions: the host's lag goes out now.
    if (it->ptrMessage && dueTime(it->ptrMessage) <= Platform::nowMonotonicUs())
        return true;
    const bool bHadTemplate = bool(it->ptrMessage);
    m_mapLastSecond.erase(it);
    if (bHadTemplate) {
        // The host's lag shares the request's deadline: it serves as the template from now on.
        struRequestData objData;
        objData.u32MessageId = a_ptrLag->getMessageID();
        objData.ptrMessage = a_ptrLag;
        addReqMsgToMap(objData);
    }
    return true;
}

// The entry of the earliest key among those with this id, as a search in key order finds it.
bool CReplyLagMsgManager::takeFromRequestMap(quint32 a_u32MessageId, struRequestData& a_objData, quint64& a_u64Key)
{
    const QList<quint64> lstKeys = m_hashKeysOfId.values(a_u32MessageId);
    if (lstKeys.isEmpty())
        return false;
    const quint64 u64Key = *std::min_element(lstKeys.cbegin(), lstKeys.cend());
    for (auto it = m_mapRequests.find(u64Key); it != m_mapRequests.end() && it.key() == u64Key; ++it) {
        if (it->u32MessageId == a_u32MessageId) {
            a_objData = it.value();
            a_u64Key = u64Key;
            m_mapRequests.erase(it);
            forgetKey(a_u32MessageId, u64Key);
            return true;
        }
    }
    return false;
}

void CReplyLagMsgManager::forgetKey(quint32 a_u32MessageId, quint64 a_u64Key)
{
    const auto it = m_hashKeysOfId.find(a_u32MessageId, a_u64Key);
    if (it != m_hashKeysOfId.end())
        m_hashKeysOfId.erase(it);
}

void CReplyLagMsgManager::handleReplyMsg(ptrCXmlMessage a_ptrReply)
{
    if (!a_ptrReply)
        return;
    const quint32 u32MessageId = a_ptrReply->getMessageID();
    const quint32 u32ContinuousId = a_ptrReply->getContinuousId();
    struRequestData objData;
    quint64 u64Key = 0;
    if (takeFromRequestMap(u32MessageId, objData, u64Key)) {
        m_ptrTriggerManager->removeRequest(u64Key, this);
        const quint32 u32Stored = continuousIdOf(objData);
        const auto text = [&] {
            return prefix() + QStringLiteral("handleReplyMsg() msg%1[%2] gets removed from RequestMap "
                                             "(identified by MsgId)")
                                  .arg(u32MessageId)
                                  .arg(u32Stored);
        };
        if (u32Stored == u32ContinuousId)
            debugLog([&] { return text() + QLatin1Char('!'); });
        else
            Platform::debugOutput(text() + QStringLiteral(" FAULT: unknown ContinuousId!"));
        return;
    }
    const auto it = m_mapLastSecond.find(u32ContinuousId);
    if (it != m_mapLastSecond.end()) {
        debugLog([&] {
            return prefix() + QStringLiteral("handleReplyMsg() msg%1[%2] gets removed from LastSecondMap "
                                             "(identified by ContId)!")
                                  .arg(u32MessageId)
                                  .arg(u32ContinuousId);
        });
        m_mapLastSecond.erase(it);
        return;
    }
    for (auto itById = m_mapLastSecond.begin(); itById != m_mapLastSecond.end(); ++itById) {
        if (itById->u32MessageId == u32MessageId) {
            Platform::debugOutput(prefix() + QStringLiteral("handleReplyMsg() msg%1[%2] gets removed from "
                                                            "LastSecondMap (identified by MsgId) FAULT: unknown "
                                                            "ContinuousId!")
                                                 .arg(u32MessageId)
                                                 .arg(itById.key()));
            m_mapLastSecond.erase(itById);
            return;
        }
    }
}

CReplyLagMsgManager::eMAP_TYPES CReplyLagMsgManager::whichMap(const struRequestData& a_objData) const
{
    if (!a_objData.ptrMessage)
        return eMAP_NONE;
    return Platform::nowMonotonicUs() < dueTime(a_objData.ptrMessage) ? eMAP_REQUEST : eMAP_LAST_SECOND;
}

void CReplyLagMsgManager::traceDebugInfo(QString& a_strText) const
{
    if (m_mapRequests.isEmpty() && m_mapLastSecond.isEmpty())
        return;
    a_strText += QStringLiteral("\n\tReplyLagMsgManager; Now: %1").arg(seconds(double(Platform::nowUtcUs()), 3));
    auto entry = [](const struRequestData& a_objData) {
        if (!a_objData.ptrMessage)
            return QStringLiteral("%1, Available: %2, Remaining: %3").arg(seconds(0, 3), seconds(0, 6), seconds(0, 6));
        const ptrCXmlMessage& ptrMsg = a_objData.ptrMessage;
        return QStringLiteral("%1, Available: %2, Remaining: %3")
            .arg(seconds(double(ptrMsg->getCreationTimestamp(CXmlMessage::TIMESTAMP_ABSOLUTE)), 3),
                 seconds(ptrMsg->getAvailableTime(), 6), seconds(ptrMsg->getRemainingTime(), 6));
    };
    int iIndex = 0;
    for (auto it = m_mapRequests.cbegin(); it != m_mapRequests.cend(); ++it)
        a_strText += QStringLiteral("\n\t\tRequest[%1]: Creation: %2").arg(iIndex++).arg(entry(it.value()));
    iIndex = 0;
    for (auto it = m_mapLastSecond.cbegin(); it != m_mapLastSecond.cend(); ++it)
        a_strText += QStringLiteral("\n\t\tLastSecondReq[%1]: Creation: %2").arg(iIndex++).arg(entry(it.value()));
}
}  // namespace XmlCommunication

// The connection's share of the communication layer: its own fragments, the deadlines of the
// requests it sent, and the queries it sends on its own.
#include "CComMan.h"
#include "CConnection.h"

#include <OrvexXmlInterface/platform/Platform.h>
#include <OrvexXmlInterface/xmlcommon/Tagnames.h>
#include <OrvexXmlInterface/xmlcommunication/converters/CAlivecheckConverter.h>
#include <OrvexXmlInterface/xmlcommunication/converters/CFilterConverter.h>
#include <OrvexXmlInterface/xmlcommunication/converters/LayerConverters.h>
#include <OrvexXmlInterface/xmlcommunication/services/CDebugCenter.h>

#include <mutex>

using namespace XmlCommon;

namespace XmlCommunication
{
namespace
{
const quint32 s_u32FaultTimeout = 0x02400007;
const quint32 s_u32FaultUndeliverable = 0x02400008;
const quint32 s_u32FaultCompression = 0x02410005;
const unsigned int s_uiOwnQueryTime = 3000000;
const unsigned int s_uiTimeDemandTime = 6000000;
const QByteArray s_baRequestCreation("RequestCreation");
// How long an entry answered by its time-out waits for a late reply.
const quint64 s_u64LateReplyUs = 600000000;

bool isReplyType(CXmlMessage::eSERVICE_TYPES a_eType)
{
    return a_eType == CXmlMessage::REPLY_GET || a_eType == CXmlMessage::REPLY_SET;
}
}  // namespace

bool CConnection::handleCommDeviceFragments(ptrCXmlMessage a_ptrMsg)
{
    if (!a_ptrMsg || !a_ptrMsg->getComponentTags().contains(Tag::XmlCommunicationDevice))
        return false;
    ptrCXmlMessage ptrReply;
    for (int i = a_ptrMsg->getNumberOfFragments() - 1; i >= 0; --i) {
        CMsgFragment objFragment = a_ptrMsg->getFragment(unsigned(i));
        if (objFragment.getComponentName() != Tag::XmlCommunicationDevice)
            continue;
        switch (handleLayerFragment(a_ptrMsg, objFragment)) {
        case ekFO_REMOVE: a_ptrMsg->removeFragment(objFragment); break;
        case ekFO_CUT: CCutNPasteFragments::cutFragment(a_ptrMsg, ptrReply, objFragment, i); break;
        default: break;
        }
    }
    const quint32 u32MsgId = a_ptrMsg->getMessageID();
    if (isReplyType(a_ptrMsg->getServiceType()) && m_lstOwnQueries.removeOne(u32MsgId) &&
        a_ptrMsg->getNumberOfFragments() > 0 && anyLogging())
        log(QStringLiteral(
                "Conn[%1]::handleCommDeviceFragments: *** ILLEGAL STATE *** own msg; some frags have survived")
                .arg(m_uiConnectionId));
    if (!ptrReply)
        return false;
    if (a_ptrMsg->getNumberOfFragments() > 0) {
        m_objCutNPaste.storeReplyFragments(a_ptrMsg->getContinuousId(), ptrReply);
        return false;
    }
    a_ptrMsg->setServiceType(ptrReply->getServiceType());
    a_ptrMsg->getElementTree()->removeAttribute(QByteArrayLiteral("time"));
    CCutNPasteFragments::mergeMessages(a_ptrMsg, ptrReply);
    SlotSendMessage(a_ptrMsg, 0);
    return true;
}

CConnection::eFRAGMENT_OUTCOME CConnection::handleLayerFragment(const ptrCXmlMessage& a_ptrMsg,
                                                                CMsgFragment a_objFragment)
{
    const CXmlMessage::eSERVICE_TYPES eType = a_ptrMsg->getServiceType();
    const quint32 u32MsgId = a_ptrMsg->getMessageID();
    CMsgFragment objAsked = isReplyType(eType) ? a_objFragment.buildFragmentFromRequestTree() : CMsgFragment();
    if (CAlivecheckConverter(a_objFragment).isCompatible() || CAlivecheckConverter(objAsked).isCompatible()) {
        switch (m_objAliveCheck.handleFragment(a_objFragment, u32MsgId, eType)) {
        case eFRAGMENT_KEEP: return ekFO_LEAVE;
        case eFRAGMENT_REMOVE: return ekFO_REMOVE;
        case eFRAGMENT_REPLY: return ekFO_CUT;
        default: break;
        }
    }
    for (auto fnHandler : {&CConnection::handleFilterFragment, &CConnection::handleDebugFragment}) {
        const eFRAGMENT_OUTCOME eOutcome = (this->*fnHandler)(eType, a_objFragment);
        if (eOutcome != ekFO_NOT_MINE)
            return eOutcome;
    }
    for (auto fnHandler : {&CConnection::handleSuppressionFragment, &CConnection::handleDescriptionFragment,
                           &CConnection::handleTimeDemandFragment}) {
        const eFRAGMENT_OUTCOME eOutcome = (this->*fnHandler)(eType, u32MsgId, a_objFragment);
        if (eOutcome != ekFO_NOT_MINE)
            return eOutcome;
    }
    if (CXmlFaultConverter(a_objFragment).isCompatible()) {
        QString strText;
        CXmlFaultConverter(a_objFragment).getXmlParserErrorText(strText);
        emit SignalXmlParserError(m_uiConnectionId, strText, GLOBAL_XML_TYPES::ekXCD_PEER_PARSER);
        return ekFO_REMOVE;
    }
    if (CCompressionConverter(a_objFragment).isCompatible() &&
        (eType == CXmlMessage::REQUEST_GET || eType == CXmlMessage::REQUEST_SET)) {
        // The transport never compresses.
        a_objFragment.moveDataTreeToRequestTree();
        CFaultTree objFault;
        objFault.setID(s_u32FaultCompression);
        objFault.setTimestamp(Platform::nowUtcUs());
        a_objFragment.setFaultTree(objFault);
        return ekFO_CUT;
    }
    return ekFO_LEAVE;
}

CConnection::eFRAGMENT_OUTCOME CConnection::handleFilterFragment(CXmlMessage::eSERVICE_TYPES a_eType,
                                                                 CMsgFragment a_objFragment)
{
    CFilterConverter objFilter(a_objFragment);
    if (!objFilter.isCompatible())
        return ekFO_NOT_MINE;
    switch (a_eType) {
    case CXmlMessage::REQUEST_GET:
        a_objFragment.moveDataTreeToRequestTree();
        getFilter(a_objFragment);
        return ekFO_CUT;
    case CXmlMessage::REQUEST_SET:
        setFilter(a_objFragment);
        emit SignalFilterSet(m_uiConnectionId);
        return ekFO_CUT;
    case CXmlMessage::BROADCAST: return ekFO_REMOVE;
    default: return ekFO_LEAVE;
    }
}

CConnection::eFRAGMENT_OUTCOME CConnection::handleSuppressionFragment(CXmlMessage::eSERVICE_TYPES a_eType,
                                                                      quint32 a_u32MsgId, CMsgFragment a_objFragment)
{
    CRequestTreeConverter objSuppression(a_objFragment);
    if (!objSuppression.isCompatible())
        return ekFO_NOT_MINE;
    switch (a_eType) {
    case CXmlMessage::REQUEST_SET: {
        bool bSuppress = false;
        if (objSuppression.getRequestTreeSuppression(bSuppress) == 0)
            m_bSuppressRequestTrees = bSuppress;
        return ekFO_CUT;
    }
    case CXmlMessage::REQUEST_GET:
        a_objFragment.moveDataTreeToRequestTree();
        objSuppression.setRequestTreeSuppression(m_bSuppressRequestTrees);
        return ekFO_CUT;
    case CXmlMessage::BROADCAST: return ekFO_REMOVE;
    case CXmlMessage::REPLY_SET: return m_lstOwnQueries.contains(a_u32MsgId) ? ekFO_REMOVE : ekFO_LEAVE;
    default: return ekFO_LEAVE;
    }
}

CConnection::eFRAGMENT_OUTCOME CConnection::handleDebugFragment(CXmlMessage::eSERVICE_TYPES a_eType,
                                                                CMsgFragment a_objFragment)
{
    if (CDebugFlagsConverter(a_objFragment).isCompatible()) {
        if (a_eType == CXmlMessage::REQUEST_GET) {
            a_objFragment.moveDataTreeToRequestTree();
            typMapDbgFlags mapFlags;
            CDebugCenter::getInstance()->getFlags(mapFlags);
            CDebugFlagsConverter(a_objFragment).setFlags(mapFlags);
            return ekFO_CUT;
        }
        if (a_eType == CXmlMessage::REQUEST_SET) {
            typMapDbgFlags mapFlags;
            CDebugFlagsConverter(a_objFragment).getFlags(mapFlags);
            CDebugCenter::getInstance()->setFlags(mapFlags);
            return ekFO_CUT;
        }
    }
    if (CQueryDebugFlagInformationConverter(a_objFragment).isCompatible() && a_eType == CXmlMessage::REQUEST_GET) {
        a_objFragment.moveDataTreeToRequestTree();
        typMapDbgFlags mapInfo;
        CDebugCenter::getInstance()->getFlagInfo(mapInfo);
        CQueryDebugFlagInformationConverter(a_objFragment).setFlagInformation(mapInfo);
        return ekFO_CUT;
    }
    return ekFO_NOT_MINE;
}

CConnection::eFRAGMENT_OUTCOME CConnection::handleDescriptionFragment(CXmlMessage::eSERVICE_TYPES a_eType,
                                                                      quint32 a_u32MsgId, CMsgFragment a_objFragment)
{
    CAppDescription objDescription(a_objFragment);
    if (!objDescription.isCompatible())
        return ekFO_NOT_MINE;
    if (a_eType != CXmlMessage::REQUEST_GET && a_eType != CXmlMessage::REPLY_GET)
        return ekFO_LEAVE;
    QString strName;
    if (objDescription.getAppName(strName) == 0)
        m_strPeerAppName = strName;
    const struClientData objInfo = getInfo();
    emit SignalConnectionInfo(m_uiConnectionId, objInfo);
    m_objTimeStatistics.setInfo(objInfo);
    // A peer's question is answered by the manager, which knows the application's description.
    if (a_eType == CXmlMessage::REQUEST_GET)
        return ekFO_LEAVE;
    return m_lstOwnQueries.contains(a_u32MsgId) ? ekFO_REMOVE : ekFO_LEAVE;
}

CConnection::eFRAGMENT_OUTCOME CConnection::handleTimeDemandFragment(CXmlMessage::eSERVICE_TYPES a_eType,
                                                                     quint32 a_u32MsgId, CMsgFragment a_objFragment)
{
    CRequestCreationTimeDemand objDemand(a_objFragment);
    if (!objDemand.isCompatible())
        return ekFO_NOT_MINE;
    if (a_eType == CXmlMessage::REQUEST_SET) {
        bool bDemand = false;
        if (objDemand.getDemand(bDemand) == 0) {
            if (bDemand && !m_bMsgTimeStat)
                activateMsgTimeStats();
            m_bMsgTimeStat = bDemand;
            log(QStringLiteral("%1: Conn[%2]: The MsgTimeStatistics has got %3.")
                    .arg(m_strDebugName)
                    .arg(m_uiConnectionId)
                    .arg(bDemand ? QStringLiteral("enabled") : QStringLiteral("disabled")));
        }
        return ekFO_CUT;
    }
    if (a_eType == CXmlMessage::REPLY_SET)
        return m_lstOwnQueries.contains(a_u32MsgId) ? ekFO_REMOVE : ekFO_LEAVE;
    return ekFO_LEAVE;
}

void CConnection::slotSetTrigger(quint64 a_u64Timestamp)
{
    if (isLogOn())
        log(QStringLiteral("Conn[%1]::slotSetTrigger() is called! Key: %2").arg(m_uiConnectionId).arg(a_u64Timestamp));
    struPending objEntry;
    {
        std::unique_lock lock(m_objPendingMutex);
        dropAnsweredEntries();
        auto it = m_mapPending.find(a_u64Timestamp);
        while (it != m_mapPending.end() && it.key() == a_u64Timestamp && it->bAnswered)
            ++it;
        if (it == m_mapPending.end() || it.key() != a_u64Timestamp)
            return;
        // The entry stays: a late real reply still finds and removes it.
        it->bAnswered = true;
        objEntry = it.value();
    }
    answerPending(objEntry, s_u32FaultTimeout, true);
}

void CConnection::dropAnsweredEntries()
{
    // Entries answered by their time-out wait a while for a late reply, then go, so that a peer
    // that never answers does not make the map grow.
    const quint64 u64Now = Platform::nowMonotonicUs();
    for (auto it = m_mapPending.begin(); it != m_mapPending.end() && it.key() + s_u64LateReplyUs < u64Now;)
        it = it->bAnswered ? m_mapPending.erase(it) : std::next(it);
}

void CConnection::answerPending(const struPending& a_objEntry, unsigned int a_uiFaultId, bool a_bTimeout)
{
    const ptrCXmlMessage& ptrRequest = a_objEntry.ptrRequest;
    if (a_bTimeout && m_bMsgTimeStat)
        m_objTimeStatistics.handleInternalTimeout(ptrRequest->getContinuousId());
    const unsigned int uiAvailable = ptrRequest->getAvailableTime();
    ptrCXmlMessage ptrReply = ptrRequest->copyShared(true);
    ptrReply->changeRequestToReply(a_uiFaultId, Platform::nowUtcUs());
    if (a_bTimeout) {
        if (isLogOn())
            log(QStringLiteral("Conn[%1]::slotSetTrigger() emit the Timeout-Reply-DummyMsg (%2)!")
                    .arg(m_uiConnectionId)
                    .arg(ptrRequest->getMessageID()));
        ptrReply->getElementTree()->setAttribute(
            s_baRequestCreation, QString::number(ptrRequest->getCreationTimestamp(CXmlMessage::TIMESTAMP_ABSOLUTE)));
        ptrReply->setAvailableTime(uiAvailable);
    }
    passUpReply(ptrReply);
}

quint32 CConnection::removePendingReply(quint32 a_u32MsgId)
{
    ptrCXmlMessage ptrRequest;
    bool bSpontaneous = false;
    {
        std::unique_lock lock(m_objPendingMutex);
        auto it = m_mapPending.begin();
        while (it != m_mapPending.end() && it->ptrRequest->getMessageID() != a_u32MsgId)
            ++it;
        if (it == m_mapPending.end())
            return 0;
        ptrRequest = it->ptrRequest;
        bSpontaneous = it->u32ContinuousId == ptrRequest->getContinuousId();
        m_ptrTriggers->removeRequest(it.key(), this);
        if (isLogOn())
            log(QStringLiteral("Conn[%1]::removePendingReply() removing MsgId: %2, Key: %3!")
                    .arg(m_uiConnectionId)
                    .arg(a_u32MsgId)
                    .arg(it.key()));
        m_mapPending.erase(it);
    }
    // The manager's book is changed outside this lock: its own lock is taken on the way.
    if (bSpontaneous)
        emit SignalRemoveSpontaneousRequest(ptrRequest->getContinuousId());
    return ptrRequest->getContinuousId();
}

quint32 CConnection::incPendingReplyTimeout(quint32 a_u32MsgId, quint32 a_u32Delta)
{
    if (isLogOn())
        log(QStringLiteral("Conn[%1]::incPendingReplyTimeout() moving Msg (%2) delta-timeout (%3 \u00b5s)")
                .arg(m_uiConnectionId)
                .arg(a_u32MsgId)
                .arg(a_u32Delta));
    std::unique_lock lock(m_objPendingMutex);
    auto it = m_mapPending.begin();
    while (it != m_mapPending.end() && (it->bAnswered || it->ptrRequest->getMessageID() != a_u32MsgId))
        ++it;
    if (it == m_mapPending.end()) {
        if (isLogOn())
            log(QStringLiteral("Conn[%1]::incPendingReplyTimeout() no pending Replys found for MsgId %2!")
                    .arg(m_uiConnectionId)
                    .arg(a_u32MsgId));
        return 0;
    }
    const struPending objEntry = it.value();
    const quint64 u64OldKey = it.key();
    const ptrCXmlMessage& ptrRequest = objEntry.ptrRequest;
    if (ptrRequest->getRemainingTime() < 1000000u && isLogOn())
        log(QStringLiteral(
                "Conn[%1]::incPendingReplyTimeout() replyLag of MsgId %2 is to late. Remaining time is < 1s. [%3]")
                .arg(m_uiConnectionId)
                .arg(a_u32MsgId)
                .arg(ptrRequest->getRemainingTime()));
    const quint64 u64NewKey = u64OldKey + a_u32Delta;
    m_ptrTriggers->removeRequest(u64OldKey, this);
    m_mapPending.erase(it);
    m_mapPending.insert(u64NewKey, objEntry);
    m_ptrTriggers->addRequest(u64NewKey, this);
    ptrRequest->addRemainingTime(a_u32Delta);
    if (m_pRouter && objEntry.u32ContinuousId != 0) {
        if (isLogOn())
            log(QStringLiteral(
                    "Conn[%1]::incPendingReplyTimeout() routing increment of MsgId %2 to superior continuous Id [%3]")
                    .arg(m_uiConnectionId)
                    .arg(a_u32MsgId)
                    .arg(objEntry.u32ContinuousId));
        if (objEntry.u32ContinuousId != ptrRequest->getContinuousId())
            emit SignalRouteTimeoutInc(objEntry.u32ContinuousId, u64NewKey);
        else
            emit SignalIncTimeoutOfAllWaitingRequests(objEntry.u32ContinuousId, a_u32Delta);
    }
    if (isLogOn())
        log(QStringLiteral("Conn[%1]::incPendingReplyTimeout() MsgId %2: removing Key %3, adding Key %4")
                .arg(m_uiConnectionId)
                .arg(a_u32MsgId)
                .arg(u64OldKey)
                .arg(u64NewKey));
    return ptrRequest->getContinuousId();
}

void CConnection::cleanPendingReplyMap()
{
    // No reply can come any more: every request still waiting is answered now, none is left to
    // run into its deadline.
    QList<struPending> lstOpen;
    {
        std::unique_lock lock(m_objPendingMutex);
        if (isLogOn())
            log(QStringLiteral("Conn[%1]::cleanPendingReplyMap() is called!").arg(m_uiConnectionId));
        for (auto it = m_mapPending.cbegin(); it != m_mapPending.cend(); ++it) {
            if (!it->bAnswered)
                lstOpen.append(it.value());
            m_ptrTriggers->removeRequest(it.key(), this);
        }
        m_mapPending.clear();
    }
    for (const struPending& objEntry : lstOpen)
        answerPending(objEntry, s_u32FaultUndeliverable, false);
}

void CConnection::sendOwnQuery(CXmlMessage::eSERVICE_TYPES a_eType, CMsgFragment a_objFragment,
                               unsigned int a_uiAvailableTime, const QString& a_strLog)
{
    ptrCXmlMessage ptrQuery(new CXmlMessage(m_uiConnectionId));
    ptrQuery->setServiceType(a_eType);
    m_lstOwnQueries.append(ptrQuery->setMessageID_byGenerator());
    ptrQuery->setAvailableTime(a_uiAvailableTime);
    ptrQuery->addFragment(a_objFragment);
    if (isLogOn() && !a_strLog.isEmpty())
        log(a_strLog.arg(m_uiConnectionId).arg(ptrQuery->toDbgString(CXmlMessage::DIRECTION_SENDING)));
    SlotSendMessage(ptrQuery, 0);
}

void CConnection::queryDescription()
{
    CAppDescription objDescription;
    objDescription.setAppName(m_strDebugName);
    sendOwnQuery(CXmlMessage::REQUEST_GET, objDescription.getFragment(), s_uiOwnQueryTime,
                 QStringLiteral("Conn[%1]::QueryAppDescription: \n%2"));
    m_bDescriptionQueried = true;
}

void CConnection::sendRequestTreeSuppression()
{
    CRequestTreeConverter objSuppression;
    objSuppression.setRequestTreeSuppression(true);
    sendOwnQuery(CXmlMessage::REQUEST_SET, objSuppression.getFragment(), s_uiOwnQueryTime,
                 QStringLiteral("Conn[%1]::sendRequestTreeSuppression: \n%2"));
}

void CConnection::activateMsgTimeStats()
{
    if (m_pRouter) {
        connect(this, &CConnection::SignalDbgLogText, m_pRouter, &CComMan::SlotNewJob,
                Qt::ConnectionType(Qt::QueuedConnection | Qt::UniqueConnection));
        log(QStringLiteral("%1: Conn[%2]::activateMsgTimeStats() is called.")
                .arg(m_strDebugName)
                .arg(m_uiConnectionId));
    } else {
        log(QStringLiteral("%1: Conn[%2]::activateMsgTimeStats() couldn't find a CComman-instance.")
                .arg(m_strDebugName)
                .arg(m_uiConnectionId));
    }
    if (m_eConnectionSide != eCONNECTION_SIDE_CLIENT || !isConnected())
        return;
    CRequestCreationTimeDemand objDemand;
    objDemand.setDemand(true);
    sendOwnQuery(CXmlMessage::REQUEST_SET, objDemand.getFragment(), s_uiTimeDemandTime, QString());
}

void CConnection::slotLogText(QString a_strText)
{
    ptrCXmlMessage ptrEvent(new CXmlMessage(m_uiConnectionId));
    ptrEvent->setServiceType(CXmlMessage::BROADCAST);
    CDebugLoggingEvent objText;
    objText.setLogText(a_strText);
    ptrEvent->addFragment(objText.getFragment());
    emit SignalDbgLogText(ptrEvent, GLOBAL_XML_TYPES::ekMT_EVENT);
}
}  // namespace XmlCommunication

#include "CAliveCheckManager.h"

#include "CDebugCenter.h"

#include <OrvexXmlInterface/platform/Platform.h>
#include <OrvexXmlInterface/xmlcommunication/converters/CAlivecheckConverter.h>

using namespace XmlCommon;

namespace XmlCommunication
{
std::atomic<quint64> CAliveCheckManager::m_u64DefaultAlivecheckCycle{60000000};
std::atomic<quint32> CAliveCheckManager::m_u32MsgAvailableTime{30000000};
std::atomic<bool> CAliveCheckManager::m_bProcessDisabled{false};

namespace
{
const unsigned int s_uiFaultCheckDisabled = 0x02410006;
const unsigned int s_uiFaultTimeout = 0x02400007;
const quint64 s_u64ServerExtraWait = 1000000;

const QString s_strClass = QStringLiteral("CAliveCheck");
const QString s_strCheck = QStringLiteral("Check");
const QString s_strDisableProcess = QStringLiteral("disableProcess");
const QString s_strDisableSystem = QStringLiteral("disableSystem");
const QString s_strResMan = QStringLiteral("CResMan");
const QString s_strResManFlag = QStringLiteral("AliveCheck");

// Reaches the older protocol's form of a disabled check.
class CAliveCheckFragment : public CAlivecheckConverter
{
public:
    using CAlivecheckConverter::CAlivecheckConverter;
    using CAlivecheckConverter::disableCheck_version3;
};

// Whether this process hosts the resource manager, which can switch the check off system-wide.
bool hostsResourceManager()
{
    QMap<QString, QString> mapInfo;
    CDebugCenter::getInstance()->getFlagInfo(s_strResMan, mapInfo);
    return mapInfo.contains(s_strResManFlag);
}

CMsgFragment debugFlagsFragment(const QString& a_strClass, const QString& a_strFlag, const QString& a_strValue)
{
    CDebugFlagsConverter objConverter;
    objConverter.setFlags(typMapDbgFlags{{a_strClass, {{a_strFlag, a_strValue}}}});
    return objConverter.getFragment();
}

QString socketStateText(QAbstractSocket::SocketState a_eState)
{
    switch (a_eState) {
    case QAbstractSocket::UnconnectedState: return QStringLiteral("UnconnectedState");
    case QAbstractSocket::HostLookupState: return QStringLiteral("HostLookupState");
    case QAbstractSocket::ConnectingState: return QStringLiteral("ConnectingState");
    case QAbstractSocket::ConnectedState: return QStringLiteral("ConnectedState");
    case QAbstractSocket::BoundState: return QStringLiteral("BoundState");
    case QAbstractSocket::ListeningState: return QStringLiteral("ListeningState");
    case QAbstractSocket::ClosingState: return QStringLiteral("ClosingState");
    }
    return QStringLiteral(">Unknown state<");
}

QString stateText(CAliveCheckManager::eCheckStateDescription a_eState)
{
    return QString::fromLatin1(CAliveCheckManager::StateDescription2String(a_eState));
}
}  // namespace

CAliveCheckManager::CAliveCheckManager(quint32 a_u32ConnectionId)
    : CDebugFlags(s_strClass), m_u32ConnectionId(a_u32ConnectionId), m_u64CheckCycle(m_u64DefaultAlivecheckCycle),
      m_ptrTriggerManager(CTriggerManager::getInstance())
{
    followDebugCenter(this);
    registerFlags(
        {{s_strCheck, hostsResourceManager() ? QStringLiteral("%1,%2").arg(s_strDisableProcess, s_strDisableSystem)
                                             : s_strDisableProcess}});
    getCurrentDbgFlagSetup();
}

CAliveCheckManager::~CAliveCheckManager() = default;

const char* CAliveCheckManager::StateDescription2String(eCheckStateDescription a_eState)
{
    switch (a_eState) {
    case eCSD_NEUTRAL: return "neutral value by constructor";
    case eCSD_ENABLED_BY_INIT: return "enabled by init";
    case eCSD_PASSIVE_WAITING: return "passive waiting";
    case eCSD_ENABLED_BY_OTHER_SIDE: return "enabled by other side";
    case eCSD_DISABLED: return "disabled";
    case eCSD_DISABLED_FOR_PROCESS: return "disabled";
    case eCSD_DISABLED_BY_FAULTY_REPLY: return "disabled by faulty reply";
    }
    return "unknown";
}

void CAliveCheckManager::setDefaultCheckCycle(quint64 a_u64Microseconds)
{
    m_u64DefaultAlivecheckCycle = a_u64Microseconds;
}

quint64 CAliveCheckManager::getDefaultCheckCycle()
{
    return m_u64DefaultAlivecheckCycle;
}

void CAliveCheckManager::setMsgAvailableTime(quint32 a_u32Microseconds)
{
    m_u32MsgAvailableTime = a_u32Microseconds;
}

quint32 CAliveCheckManager::getMsgAvailableTime()
{
    return m_u32MsgAvailableTime;
}

QString CAliveCheckManager::connectionText() const
{
    return QStringLiteral("connection[%1]").arg(m_u32ConnectionId);
}

void CAliveCheckManager::armTrigger()
{
    m_u64PendingTrigger = Platform::nowMonotonicUs() + m_u64CheckCycle;
    m_ptrTriggerManager->addRequest(m_u64PendingTrigger, this);
}

void CAliveCheckManager::cancelTrigger()
{
    if (m_u64PendingTrigger == 0)
        return;
    m_ptrTriggerManager->removeRequest(m_u64PendingTrigger, this);
    m_u64PendingTrigger = 0;
}

ptrCXmlMessage CAliveCheckManager::newMessage(CXmlMessage::eSERVICE_TYPES a_eType, CMsgFragment a_objFragment)
{
    ptrCXmlMessage ptrMsg(new CXmlMessage(m_u32ConnectionId));
    ptrMsg->setServiceType(a_eType);
    ptrMsg->setMessageID_byGenerator();
    ptrMsg->setAvailableTime(m_u32MsgAvailableTime);
    ptrMsg->orderRequestTree();
    ptrMsg->addFragment(a_objFragment, -1);
    return ptrMsg;
}

void CAliveCheckManager::sendCheckMsg()
{
    if (m_iCheckMode == 1 || m_bProcessDisabled || m_u32OutstandingCheckId != 0 || !isConnected() ||
        m_eStateDescription >= eCSD_DISABLED)
        return;
    cancelTrigger();
    debugLog([&] { return QStringLiteral("Sending AliveCheck at %1").arg(connectionText()); });
    CAlivecheckConverter objConverter;
    objConverter.makeFragment();
    // A peer whose version is not yet known is addressed in the older protocol, which both speak.
    if (m_u32PeerVersion < 4)
        objConverter.setVersion(3);
    const ptrCXmlMessage ptrMsg = newMessage(CXmlMessage::REQUEST_GET, objConverter.getFragment());
    m_u32OutstandingCheckId = ptrMsg->getMessageID();
    emit signalSendMessage(ptrMsg, 0);
}

void CAliveCheckManager::sendAvailability()
{
    CAlivecheckConverter objConverter;
    objConverter.setAvailability();
    if (m_u32PeerVersion < 4)
        objConverter.setVersion(3);
    const ptrCXmlMessage ptrMsg = newMessage(CXmlMessage::REQUEST_SET, objConverter.getFragment());
    m_lstOutstandingAnnouncements.append(ptrMsg->getMessageID());
    debugLog([&] { return QStringLiteral("Sending AliveCheck-msg with availability at %1").arg(connectionText()); });
    emit signalSendMessage(ptrMsg, 0);
}

void CAliveCheckManager::sendDisable()
{
    CAliveCheckFragment objConverter;
    if (m_u32PeerVersion == 0 || m_u32PeerVersion == 3)
        objConverter.disableCheck_version3(false);
    else
        objConverter.setDisableLevel(CAlivecheckConverter::DISABLE_CONNECTION);
    const ptrCXmlMessage ptrMsg = newMessage(CXmlMessage::REQUEST_SET, objConverter.getFragment());
    m_lstOutstandingAnnouncements.append(ptrMsg->getMessageID());
    debugLog(
        [&] { return QStringLiteral("Sending AliveCheck-msg disable(connection-level) at %1").arg(connectionText()); });
    emit signalSendMessage(ptrMsg, 0);
}

void CAliveCheckManager::slotSetTrigger(quint64 a_u64Timestamp)
{
    if (m_iCheckMode == 1 || a_u64Timestamp == 0 || a_u64Timestamp != m_u64PendingTrigger)
        return;
    m_u64PendingTrigger = 0;
    sendCheckMsg();
}

void CAliveCheckManager::slotActivityDetected()
{
    if (m_iCheckMode == 1 || m_u32OutstandingCheckId != 0 || m_u64PendingTrigger == 0)
        return;
    cancelTrigger();
    armTrigger();
}

void CAliveCheckManager::setConnectionSide(const eCONNECTION_SIDES& a_eSide, bool a_bLocalPeer)
{
    Q_UNUSED(a_bLocalPeer)  // local peers are checked like any other
    if (m_eSide != eCONNECTION_SIDE_UNSET)
        return;
    m_eSide = a_eSide;
    if (a_eSide == eCONNECTION_SIDE_SERVER) {
        if (!setCheckStateDescription(eCSD_PASSIVE_WAITING))
            return;
        m_iHandshakePhase = 0;
        // The client checks first; the server steps in only when the client has been silent longer.
        m_u64CheckCycle = m_u64DefaultAlivecheckCycle + s_u64ServerExtraWait;
        cancelTrigger();
        m_iCheckMode = 2;
    } else if (a_eSide == eCONNECTION_SIDE_CLIENT) {
        if (!setCheckStateDescription(eCSD_ENABLED_BY_INIT))
            return;
        m_iCheckMode = 3;
        m_bPeerSupportsCheck = true;
        cancelTrigger();
        if (isConnected()) {
            sendAvailability();
            m_iHandshakePhase = 3;
        }
    }
}

void CAliveCheckManager::slotSocketState(QAbstractSocket::SocketState a_eState)
{
    m_eSocketState = a_eState;
    if (a_eState != QAbstractSocket::ConnectedState || m_eSide != eCONNECTION_SIDE_CLIENT)
        return;
    if (!m_bLocalConnection)
        m_iHandshakePhase = 3;
    sendAvailability();
}

void CAliveCheckManager::setPeerSupport(bool a_bSupports)
{
    if (m_bPeerSupportsCheck == a_bSupports)
        return;
    m_bPeerSupportsCheck = a_bSupports;
    emit signalInfoHasChanged();
}

void CAliveCheckManager::setPeerVersion(unsigned int a_uiVersion)
{
    if (m_u32PeerVersion == a_uiVersion)
        return;
    m_u32PeerVersion = a_uiVersion;
    emit signalInfoHasChanged();
}

// The answer goes back in the fragment itself: the question under "Request", this end's version
// on the data element.
void CAliveCheckManager::answerInPlace(CMsgFragment& a_objFragment) const
{
    a_objFragment.moveDataTreeToRequestTree();
    CAlivecheckConverter(a_objFragment).setVersion(CAlivecheckConverter::m_u32Version);
}

eFRAGMENT_ACTIONS CAliveCheckManager::handleFragment(CMsgFragment& a_objFragment, unsigned int a_uiMessageId,
                                                     CXmlMessage::eSERVICE_TYPES a_eServiceType)
{
    if (a_objFragment.isNull() || !CAlivecheckConverter(a_objFragment).isCompatible())
        return eFRAGMENT_NOT_HANDLED;
    switch (a_eServiceType) {
    case CXmlMessage::REQUEST_GET: return handleQuery(a_objFragment);
    case CXmlMessage::REQUEST_SET: return handleAnnouncement(a_objFragment);
    case CXmlMessage::REPLY_GET: return handleCheckAnswer(a_objFragment, a_uiMessageId);
    case CXmlMessage::REPLY_SET: return handleAnnouncementAnswer(a_objFragment, a_uiMessageId);
    default: return eFRAGMENT_NOT_HANDLED;
    }
}

eFRAGMENT_ACTIONS CAliveCheckManager::handleQuery(CMsgFragment& a_objFragment)
{
    setPeerSupport(true);
    debugLog([&] { return QStringLiteral("Received an AliveCheck-query at %1").arg(connectionText()); });
    if (m_iCheckMode == 2) {
        m_iCheckMode = 3;
        if (setCheckStateDescription(eCSD_ENABLED_BY_OTHER_SIDE))
            armTrigger();
    }
    answerInPlace(a_objFragment);
    if (m_iCheckMode == 1) {
        // A peer of the older protocol cannot read the fault: it is told with an announcement.
        if (m_u32PeerVersion < 4) {
            sendDisable();
        } else {
            CFaultTree objFault;
            objFault.setID(s_uiFaultCheckDisabled);
            objFault.setTimestamp(Platform::nowUtcUs());
            a_objFragment.setFaultTree(objFault);
        }
    }
    return eFRAGMENT_REPLY;
}

eFRAGMENT_ACTIONS CAliveCheckManager::handleAnnouncement(CMsgFragment& a_objFragment)
{
    const CAlivecheckConverter objConverter(a_objFragment);
    if (objConverter.isAvailabilitySet()) {
        // The server announces itself once, in answer to the client's announcement.
        if (!m_bPeerSupportsCheck) {
            setPeerSupport(true);
            sendAvailability();
        }
        answerInPlace(a_objFragment);
        return eFRAGMENT_REPLY;
    }
    switch (objConverter.getDisableLevel()) {
    case CAlivecheckConverter::DISABLE_CONNECTION: disableCheck(eCSD_DISABLED); break;
    case CAlivecheckConverter::DISABLE_PROCESS:
        CDebugCenter::getInstance()->setFlags({{s_strClass, {{s_strCheck, s_strDisableProcess}}}});
        break;
    case CAlivecheckConverter::DISABLE_SYSTEM: rerouteDisableSystem(); break;
    default: break;
    }
    m_iHandshakePhase = 2;
    cancelTrigger();
    answerInPlace(a_objFragment);
    return eFRAGMENT_REPLY;
}

eFRAGMENT_ACTIONS CAliveCheckManager::handleCheckAnswer(const CMsgFragment& a_objFragment, unsigned int a_uiMessageId)
{
    const bool bOurCheck = a_uiMessageId != 0 && a_uiMessageId == m_u32OutstandingCheckId;
    const CFaultTree objFault = a_objFragment.getFaultTree();
    if (objFault.isNull()) {
        setPeerSupport(true);
        CMsgFragment objAnswer = a_objFragment;
        const unsigned int uiVersion = CAlivecheckConverter(objAnswer).getVersion();
        setPeerVersion(uiVersion != 0 ? uiVersion : 1);
        if (bOurCheck) {
            if (m_iHandshakePhase == 3)
                m_iHandshakePhase = 0;
            armTrigger();
        }
    } else if (bOurCheck) {
        unsigned int uiFault = s_uiFaultTimeout;
        if (objFault.getID(uiFault) != 0)
            uiFault = s_uiFaultTimeout;
        if (m_iHandshakePhase == 0 && isConnected()) {
            if (uiFault != s_uiFaultCheckDisabled)
                emit signalCheckHasFailed();
            m_iHandshakePhase = 2;
            setPeerSupport(false);
            disableCheck(uiFault == s_uiFaultCheckDisabled ? eCSD_DISABLED : eCSD_DISABLED_BY_FAULTY_REPLY);
        }
        // A peer that never answered a check is taken not to support it: no failure.
        if (m_iHandshakePhase == 3) {
            m_iHandshakePhase = 2;
            setPeerSupport(false);
            disableCheck(eCSD_DISABLED_BY_FAULTY_REPLY);
        }
    }
    if (bOurCheck) {
        m_u32OutstandingCheckId = 0;
        return eFRAGMENT_REMOVE;
    }
    return takeAnnouncement(a_uiMessageId) ? eFRAGMENT_REMOVE : eFRAGMENT_KEEP;
}

eFRAGMENT_ACTIONS CAliveCheckManager::handleAnnouncementAnswer(const CMsgFragment& a_objFragment,
                                                               unsigned int a_uiMessageId)
{
    const bool bFault = a_objFragment.hasFaultTree();
    setPeerSupport(!bFault);
    CMsgFragment objAnswer = a_objFragment;
    const unsigned int uiVersion = CAlivecheckConverter(objAnswer).getVersion();
    setPeerVersion(uiVersion != 0 ? uiVersion : 1);

    CMsgFragment objRequest = a_objFragment.buildFragmentFromRequestTree();
    const CAlivecheckConverter objAnswered(objRequest);
    if (!objAnswered.isAvailabilitySet()) {
        if (objAnswered.getDisableLevel() != CAlivecheckConverter::DISABLE_NONE && !bFault) {
            disableCheck(eCSD_DISABLED);
            m_iHandshakePhase = 2;
            cancelTrigger();
        }
        return takeAnnouncement(a_uiMessageId) ? eFRAGMENT_REMOVE : eFRAGMENT_KEEP;
    }
    takeAnnouncement(a_uiMessageId);
    if (m_eSide == eCONNECTION_SIDE_CLIENT && m_iHandshakePhase == 3) {
        if (m_iCheckMode == 1)
            sendDisable();
        else
            sendCheckMsg();
    }
    return eFRAGMENT_REMOVE;
}

bool CAliveCheckManager::takeAnnouncement(unsigned int a_uiMessageId)
{
    return a_uiMessageId != 0 && m_lstOutstandingAnnouncements.removeOne(a_uiMessageId);
}

bool CAliveCheckManager::setCheckStateDescription(eCheckStateDescription a_eState)
{
    if (a_eState == m_eStateDescription) {
        debugLog([&] {
            return QStringLiteral("CAliveCheckManager::setCheckStateDescription(%1) has failed because already set. %2")
                .arg(stateText(a_eState), connectionText());
        });
        return true;
    }
    if (m_eStateDescription >= eCSD_DISABLED) {
        debugLog([&] {
            return QStringLiteral("CAliveCheckManager::setCheckStateDescription(%1) has failed because already "
                                  "\"DISABLED\". %2")
                .arg(stateText(a_eState), connectionText());
        });
        return false;
    }
    if (a_eState < m_eStateDescription) {
        debugLog([&] {
            return QStringLiteral("CAliveCheckManager::setCheckStateDescription(%1) has failed because \"new state < "
                                  "old state (%2)\". %3")
                .arg(stateText(a_eState), stateText(m_eStateDescription), connectionText());
        });
        return false;
    }
    m_eStateDescription = a_eState;
    emit signalInfoHasChanged();
    return true;
}

void CAliveCheckManager::disableCheck(eCheckStateDescription a_eState)
{
    cancelTrigger();
    debugLog(
        [&] { return QStringLiteral("CAliveCheckManager::disableCheck() is called at %1").arg(connectionText()); });
    setCheckStateDescription(a_eState);
    m_iCheckMode = 1;
}

void CAliveCheckManager::slotDebugFlagSetup(XmlCommunication::typMapDbgFlags a_mapSetup)
{
    handleDbgFlagSetup(a_mapSetup);
}

unsigned short CAliveCheckManager::handleDbgFlagSetup(const typMapDbgFlags& a_mapSetup)
{
    if (CDebugFlags::handleDbgFlagSetup(a_mapSetup) == 0)
        return 0;
    const QMap<QString, QString> mapFlags = a_mapSetup.value(s_strClass);
    for (auto it = mapFlags.cbegin(); it != mapFlags.cend(); ++it) {
        if (m_mapLastFlagSetup.contains(it.key()) && m_mapLastFlagSetup.value(it.key()) == it.value())
            continue;
        if (it.key() != s_strCheck)
            continue;
        if (it.value() == s_strDisableProcess)
            disableForProcess();
        else if (it.value() == s_strDisableSystem)
            rerouteDisableSystem();
    }
    m_mapLastFlagSetup = mapFlags;
    return 0;
}

void CAliveCheckManager::disableForProcess()
{
    if (m_iCheckMode == 3)
        sendDisable();
    disableCheck(eCSD_DISABLED_FOR_PROCESS);
    m_bProcessDisabled = true;
    emit signalProcessDisabled();
    debugLog([&] {
        return QStringLiteral("\nThe AliveCheck is disabled for the complete process. PID : %1\n")
            .arg(Platform::currentProcessId());
    });
}

bool CAliveCheckManager::isProcessDisabled()
{
    return m_bProcessDisabled;
}

void CAliveCheckManager::setProcessDisabled()
{
    if (!m_bProcessDisabled)
        CDebugCenter::getInstance()->setFlags({{s_strClass, {{s_strCheck, s_strDisableProcess}}}});
}

void CAliveCheckManager::rerouteDisableSystem()
{
    if (hostsResourceManager())
        CDebugCenter::getInstance()->setFlags({{s_strResMan, {{s_strResManFlag, s_strDisableSystem}}}});
}

CMsgFragment CAliveCheckManager::getProcessDisableFragment()
{
    return debugFlagsFragment(s_strClass, s_strCheck, s_strDisableProcess);
}

CMsgFragment CAliveCheckManager::getSystemDisableFragment()
{
    return debugFlagsFragment(s_strResMan, s_strResManFlag, s_strDisableSystem);
}

QString CAliveCheckManager::getDebugInfo() const
{
    QString strInfo = m_eSide == eCONNECTION_SIDE_CLIENT   ? QStringLiteral("client")
                      : m_eSide == eCONNECTION_SIDE_SERVER ? QStringLiteral("server")
                                                           : QStringLiteral("unknown");
    if (m_bLocalConnection)
        strInfo += QStringLiteral(", local connection");
    strInfo += QStringLiteral(", %1").arg(stateText(m_eStateDescription));
    if (m_eStateDescription == eCSD_PASSIVE_WAITING && m_bPeerSupportsCheck)
        strInfo += QStringLiteral(" (client supports AliveCheck)");
    return strInfo + QStringLiteral(", (version local: %1, peer: %2)")
                         .arg(CAlivecheckConverter::m_u32Version)
                         .arg(m_u32PeerVersion);
}

void CAliveCheckManager::traceDebugInfo() const
{
    auto yesNo = [](bool a_b) { return a_b ? QStringLiteral("true") : QStringLiteral("false"); };
    Platform::debugOutput(
        QStringLiteral("Conn[%1] AlivecheckState: %2, ConnType: %3, SocketState: %4, VersionOfPeer: %5")
            .arg(QString::number(m_u32ConnectionId), stateText(m_eStateDescription),
                 m_eSide == eCONNECTION_SIDE_CLIENT ? QStringLiteral("Client") : QStringLiteral("Server"),
                 socketStateText(m_eSocketState), QString::number(m_u32PeerVersion)) +
        QStringLiteral("\n         CheckCycle: %1 [s], IsCheckAvailable: %2, IsProcessDisabled: %3")
            .arg(QString::number(double(m_u64CheckCycle) / 1000000.0, 'f', 2), yesNo(m_bPeerSupportsCheck),
                 yesNo(m_bProcessDisabled)));
}
}  // namespace XmlCommunication

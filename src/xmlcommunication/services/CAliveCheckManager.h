#pragma once

#include <OrvexXmlInterface/OxiExport.h>
#include <OrvexXmlInterface/xmlcommon/CXmlMessage.h>
#include <OrvexXmlInterface/xmlcommunication/services/CDebugFlags.h>
#include <OrvexXmlInterface/xmlcommunication/services/CTriggerManager.h>

#include <QtCore/QList>
#include <QtCore/QObject>
#include <QtNetwork/QAbstractSocket>

#include <atomic>

namespace XmlCommunication
{
// What the connection does with a fragment it passed to handleFragment.
enum eFRAGMENT_ACTIONS : int
{
    eFRAGMENT_NOT_HANDLED = 0,  // not an alive-check fragment the manager took: try the other handlers
    eFRAGMENT_KEEP = 1,         // leave it in the message, for the host
    eFRAGMENT_REMOVE = 2,       // consumed: remove it from the message
    eFRAGMENT_REPLY = 3,        // turned into its answer in place: cut it out and send it back as the reply
};

// Which end opened the connection.
enum eCONNECTION_SIDES : int
{
    eCONNECTION_SIDE_UNSET = 0,
    eCONNECTION_SIDE_CLIENT = 1,  // this end connected out
    eCONNECTION_SIDE_SERVER = 2,  // this end accepted the connection
};

// Finds out whether the peer of one connection still answers, and tells the connection when it
// does not (signalCheckHasFailed). The end that opened the connection announces that it takes
// part and then checks actively after each cycle of silence; the accepting end waits passively
// and checks itself only after one second more than the client's cycle without traffic. Either
// end can switch the check off for one connection, for its process, or ask the resource manager
// to switch it off system-wide.
//
// The manager never touches the socket: the connection reports the socket state, every received
// message (slotActivityDetected) and the alive-check fragments (handleFragment), and sends what
// signalSendMessage hands it. It lives on the connection's thread; the trigger manager calls
// slotSetTrigger there.
class OXI_EXPORT CAliveCheckManager : public QObject, public CDebugFlags, public IfTriggerReceiver
{
    Q_OBJECT

public:
    // Ordered: a state is only ever replaced by a higher one, and the disabled states are final.
    enum eCheckStateDescription : int
    {
        eCSD_NEUTRAL = 0,
        eCSD_ENABLED_BY_INIT = 1,
        eCSD_PASSIVE_WAITING = 2,
        eCSD_ENABLED_BY_OTHER_SIDE = 3,
        eCSD_DISABLED = 4,
        eCSD_DISABLED_FOR_PROCESS = 5,
        eCSD_DISABLED_BY_FAULTY_REPLY = 6,
    };

    explicit CAliveCheckManager(quint32 a_u32ConnectionId);
    ~CAliveCheckManager() override;

    static const char* StateDescription2String(eCheckStateDescription a_eState);

    // Only the first call has an effect. a_bLocalPeer: the peer runs on this host (local peers
    // are checked like any other).
    void setConnectionSide(const eCONNECTION_SIDES& a_eSide, bool a_bLocalPeer);
    // An alive-check fragment of a received message; a_uiMessageId is that message's id.
    eFRAGMENT_ACTIONS handleFragment(XmlCommon::CMsgFragment& a_objFragment, unsigned int a_uiMessageId,
                                     XmlCommon::CXmlMessage::eSERVICE_TYPES a_eServiceType);
    // Switches the check off for this connection, for good.
    void disableCheck(eCheckStateDescription a_eState);

    bool isActive() const { return m_iCheckMode == 3; }
    bool isDisabled() const { return m_iCheckMode == 1; }
    unsigned int getVersionOfPeer() const { return m_u32PeerVersion; }
    // One line for the connection information.
    QString getDebugInfo() const;
    // Writes the state to the debug output, whatever the flags say.
    void traceDebugInfo() const;

    unsigned short handleDbgFlagSetup(const typMapDbgFlags& a_mapSetup) override;

    static bool isProcessDisabled();
    // Switches the check off in every connection of this process, for good (through the debug center).
    static void setProcessDisabled();
    // Debug-flags fragments a host sends to a peer to switch the peer's check off for its process,
    // or to have the system's resource manager switch it off everywhere.
    static XmlCommon::CMsgFragment getProcessDisableFragment();
    static XmlCommon::CMsgFragment getSystemDisableFragment();

    // The cycle after which a silent peer is checked (default 60 s; an accepting end waits one
    // second longer), and the available time of the manager's own messages (default 30 s). They
    // apply to managers made afterwards and to messages sent afterwards; tests shorten them so
    // that no test waits a minute.
    static void setDefaultCheckCycle(quint64 a_u64Microseconds);
    static quint64 getDefaultCheckCycle();
    static void setMsgAvailableTime(quint32 a_u32Microseconds);
    static quint32 getMsgAvailableTime();

public slots:
    void slotSocketState(QAbstractSocket::SocketState a_eState);
    // Every message received from the peer: it postpones the next check by a whole cycle.
    void slotActivityDetected();
    void slotSetTrigger(quint64 a_u64Timestamp) override;
    void slotDebugFlagSetup(XmlCommunication::typMapDbgFlags a_mapSetup);

signals:
    // A message for the peer; the second argument is always 0.
    void signalSendMessage(XmlCommon::ptrCXmlMessage a_ptrMsg, quint32 a_u32ContinuousId);
    // The peer did not answer a check: the connection aborts the socket.
    void signalCheckHasFailed();
    // Peer version, peer support or state description changed.
    void signalInfoHasChanged();
    void signalProcessDisabled();

protected:
    bool isConnected() const { return m_eSocketState == QAbstractSocket::ConnectedState; }
    bool setCheckStateDescription(eCheckStateDescription a_eState);
    void sendCheckMsg();
    void sendAvailability();
    void sendDisable();
    static void rerouteDisableSystem();

private:
    Q_DISABLE_COPY(CAliveCheckManager)

    void armTrigger();
    void cancelTrigger();
    XmlCommon::ptrCXmlMessage newMessage(XmlCommon::CXmlMessage::eSERVICE_TYPES a_eType,
                                         XmlCommon::CMsgFragment a_objFragment);
    void answerInPlace(XmlCommon::CMsgFragment& a_objFragment) const;
    void setPeerSupport(bool a_bSupports);
    void setPeerVersion(unsigned int a_uiVersion);
    eFRAGMENT_ACTIONS handleQuery(XmlCommon::CMsgFragment& a_objFragment);
    eFRAGMENT_ACTIONS handleAnnouncement(XmlCommon::CMsgFragment& a_objFragment);
    eFRAGMENT_ACTIONS handleCheckAnswer(const XmlCommon::CMsgFragment& a_objFragment, unsigned int a_uiMessageId);
    eFRAGMENT_ACTIONS handleAnnouncementAnswer(const XmlCommon::CMsgFragment& a_objFragment,
                                               unsigned int a_uiMessageId);
    bool takeAnnouncement(unsigned int a_uiMessageId);
    void disableForProcess();
    QString connectionText() const;

    quint32 m_u32ConnectionId;
    eCONNECTION_SIDES m_eSide = eCONNECTION_SIDE_UNSET;
    qint32 m_iCheckMode = 0;       // 0 unset, 1 disabled, 2 passive, 3 active
    qint32 m_iHandshakePhase = 0;  // 0 running, 2 stopped, 3 announced
    quint64 m_u64PendingTrigger = 0;
    quint64 m_u64CheckCycle;
    quint32 m_u32OutstandingCheckId = 0;
    QList<quint32> m_lstOutstandingAnnouncements;
    QAbstractSocket::SocketState m_eSocketState = QAbstractSocket::UnconnectedState;
    eCheckStateDescription m_eStateDescription = eCSD_NEUTRAL;
    bool m_bLocalConnection = false;
    bool m_bPeerSupportsCheck = false;
    QMap<QString, QString> m_mapLastFlagSetup;
    quint32 m_u32PeerVersion = 0;
    ptrCTriggerManager m_ptrTriggerManager;

    // Shared by the managers of all connection threads.
    static std::atomic<quint64> m_u64DefaultAlivecheckCycle;
    static std::atomic<quint32> m_u32MsgAvailableTime;
    static std::atomic<bool> m_bProcessDisabled;  // set once, never cleared
};
}  // namespace XmlCommunication

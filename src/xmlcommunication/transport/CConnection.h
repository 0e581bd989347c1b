#pragma once

#include <OrvexXmlInterface/OxiExport.h>
#include <OrvexXmlInterface/xmlcommon/CWorkMan.h>
#include <OrvexXmlInterface/xmlcommon/CXmlMessage.h>
#include <OrvexXmlInterface/xmlcommon/GlobalXmlTypes.h>
#include <OrvexXmlInterface/xmlcommunication/services/CAliveCheckManager.h>
#include <OrvexXmlInterface/xmlcommunication/services/CDebugFlags.h>
#include <OrvexXmlInterface/xmlcommunication/services/CFilterProcessor.h>
#include <OrvexXmlInterface/xmlcommunication/services/CMsgTimeStatisticsManager.h>
#include <OrvexXmlInterface/xmlcommunication/services/CReplyLagMsgManager.h>
#include <OrvexXmlInterface/xmlcommunication/services/CTriggerManager.h>
#include <OrvexXmlInterface/xmlcommunication/transport/CCutNPasteFragments.h>
#include <OrvexXmlInterface/xmlcommunication/transport/TransportTypes.h>

#include <QtCore/QMap>
#include <QtCore/QObject>
#include <QtNetwork/QAbstractSocket>

#include <mutex>
#include <utility>
#include <vector>

class QTcpSocket;

namespace XmlCommunication
{
class CComMan;
class CConnection;
class CXmlSocketReader;

// Writes the wire text of a message in pieces of one reader buffer while it is still being
// serialised, so that a large message never sits whole in memory.
class OXI_EXPORT CMsgSender : public XmlCommon::CWorkMan
{
public:
    CMsgSender(CConnection* a_pConnection, unsigned int a_uiPieceSize);
    ~CMsgSender() override;
    void processBuffer(QByteArray& a_baBuffer) override;
    unsigned int getBufferThreshold() override { return m_uiPieceSize; }
    bool proceed() override { return true; }

private:
    CConnection* m_pConnection;
    unsigned int m_uiPieceSize;
};

// One TCP connection to one peer, living entirely on its connection thread. It receives
// messages, answers the communication layer's own fragments itself and passes everything else up
// as a request, reply or event (SignalNewJob); it writes messages to the peer under a send
// watchdog; and it keeps a deadline for every request it sent, so that a host never waits for
// ever: a reply that does not come in time is replaced by a fault reply 0x02400007, and when the
// connection ends, every request still waiting for a reply from this peer is answered at once
// with the fault 0x02400008.
//
// A peer can cost this process at most the limits of struConnectionLimits: a stream that crosses
// one, a message left unfinished, or a send buffer that the peer does not empty closes the
// connection with a log text.
class OXI_EXPORT CConnection : public QObject, public CDebugFlags, public IfTriggerReceiver
{
    Q_OBJECT

public:
    static const unsigned int m_uiOutputReserve = 307200;

    CConnection(unsigned int a_uiId, QObject* a_pParent, const QString& a_strDebugName);
    ~CConnection() override;

    void setConnectTimeout(unsigned int a_uiMs);
    void setRetryCycle(unsigned int a_uiSeconds);
    void setTimeoutIncRouter(CComMan* a_pRouter);
    // Applies to the socket made by init.
    void setLimits(const struConnectionLimits& a_objLimits);
    void init(const struSocketInfo& a_objInfo);
    void finish(bool a_bUnused = false);

    unsigned int getID() const { return m_uiConnectionId; }
    QAbstractSocket::SocketState getSocketState() const { return m_eLastState; }
    struClientData getInfo();
    void setFilter(XmlCommon::CMsgFragment a_objFragment);
    void getFilter(XmlCommon::CMsgFragment a_objFragment);
    bool operator==(const CConnection& a_objOther) const { return m_uiConnectionId == a_objOther.m_uiConnectionId; }
    static QString socketStateToString(QAbstractSocket::SocketState a_eState);

    // Writes bytes to the peer under the send watchdog; false when they could not be written.
    bool sendByteArray(const QByteArray& a_baBytes, bool a_bAbortOnFailure);
    // On another thread, while this connection's thread waits at its gate: sends a request or
    // reply as this thread would, touching nothing of the socket but its descriptor. What the
    // system does not take at once is left for this thread. False, with nothing done, where the
    // message needs this thread (logging, statistics, bytes still queued, no connection).
    bool sendFromOutside(const XmlCommon::ptrCXmlMessage& a_ptrMsg, quint32 a_u32ContinuousId);
    // Back on this connection's thread: what sendFromOutside could not do there.
    void settleOutsideWork();
    // Sends the messages in order and hands their bytes to the system in one go at the end.
    void sendBatch(const std::vector<std::pair<XmlCommon::ptrCXmlMessage, quint32>>& a_vecMessages);
    unsigned short handleDbgFlagSetup(const typMapDbgFlags& a_mapSetup) override;

signals:
    void SignalSocketStateChanged(quint32 a_ulConnectionId, QAbstractSocket::SocketState a_eState);
    void SignalSocketError(quint32 a_ulConnectionId, QAbstractSocket::SocketError a_eError);
    void SignalNewJob(XmlCommon::ptrCXmlMessage a_ptrMsg, GLOBAL_XML_TYPES::eMESSAGE_TYPES a_eType);
    void SignalXmlParserError(quint32 a_ulConnectionId, QString a_strText,
                              GLOBAL_XML_TYPES::eXML_COMMUNICATION_DEVICES a_eDevice);
    void SignalFilterSet(quint32 a_ulConnectionId);
    void SignalConnectionInfo(quint32 a_ulConnectionId, XmlCommunication::struClientData a_objInfo);
    void SignalFiltertree(quint32 a_ulConnectionId, XmlCommon::ptrCXmlElement a_ptrTree);
    void SignalDbgLogText(XmlCommon::ptrCXmlMessage a_ptrMsg, GLOBAL_XML_TYPES::eMESSAGE_TYPES a_eType);
    void SignalRouteTimeoutInc(quint32 a_ulContinuousMsgId, quint64 a_ullNewTimeoutTimestamp);
    void SignalIncTimeoutOfAllWaitingRequests(quint32 a_u32ContinuousMsgId, quint32 a_u32TimeoutInc);
    void SignalRemoveSpontaneousRequest(quint32 a_ulContinuousMsgId);
    void SignalAddSpontaneousRequestMsg(XmlCommon::ptrCXmlMessage a_ptrMsg);

public slots:
    void SlotSocketStateChanged(QAbstractSocket::SocketState a_eState);
    void SlotSocketError(QAbstractSocket::SocketError a_eError);
    void SlotSendMessage(XmlCommon::ptrCXmlMessage a_ptrMsg, quint32 a_ulContinuousMsgId);
    void SlotSendByteArray(QByteArray a_baBytes);
    void SlotParseError(QString a_strText);
    void SlotNewJob(XmlCommon::ptrCXmlMessage a_ptrMsg);
    void SlotNewMsgHeader(XmlCommon::ptrCXmlMessage a_ptrMsg);
    void SlotTryConnection();
    void SlotStopConnectionRetry();
    void slotSetTrigger(quint64 a_u64Timestamp) override;
    void SlotAliveCheckHasFailed();
    void slotAliveCheckInfoHasChanged();
    void slotDebugFlagSetup(XmlCommunication::typMapDbgFlags a_mapSetup);
    void slotDebugName(QString a_strName);
    void slotAliveCheckProcessDisabled();
    void slotLogText(QString a_strText);

protected:
    bool handleCommDeviceFragments(XmlCommon::ptrCXmlMessage a_ptrMsg);
    quint32 removePendingReply(quint32 a_u32MsgId);
    quint32 incPendingReplyTimeout(quint32 a_u32MsgId, quint32 a_u32Delta);
    void cleanPendingReplyMap();
    void queryDescription();
    void sendRequestTreeSuppression();
    void activateMsgTimeStats();
    void messageToByteArray(QByteArray& a_baBuffer, XmlCommon::ptrCXmlMessage a_ptrMsg, unsigned int a_uiAvailableTime);
    static void manageRequestTrees(XmlCommon::ptrCXmlMessage a_ptrReply, bool a_bSuppress);

private:
    void closeGracefully();
    void endSending();
    void handOn(const XmlCommon::ptrCXmlMessage& a_ptrMsg, GLOBAL_XML_TYPES::eMESSAGE_TYPES a_eType);
    struct struPending
    {
        XmlCommon::ptrCXmlMessage ptrRequest;
        quint32 u32ContinuousId = 0;
        bool bAnswered = false;  // its time-out fault has gone up; a late reply may still come
    };
    // What a layer fragment's handler did with it.
    enum eFRAGMENT_OUTCOME
    {
        ekFO_NOT_MINE,
        ekFO_LEAVE,
        ekFO_REMOVE,
        ekFO_CUT,
    };

    void connectServices();
    void initDescriptorSocket();
    void initAddressSocket();
    bool isConnected() const;
    bool anyLogging() const;
    void log(const QString& a_strText) const;
    // The text is made only when it is written: messages' readable forms cost more than sending them.
    template <typename t_Text> void logIf(bool a_bFlag, const t_Text& a_fnText) const
    {
        if (a_bFlag || isLogOn())
            log(a_fnText());
    }
    QString dbgText(const XmlCommon::ptrCXmlMessage& a_ptrMsg, XmlCommon::CXmlMessage::eMESSAGE_DIRECTION a_eDir) const;

    void sendRequest(const XmlCommon::ptrCXmlMessage& a_ptrMsg, quint32 a_ulContinuousMsgId);
    void sendReply(const XmlCommon::ptrCXmlMessage& a_ptrMsg, quint32 a_ulContinuousMsgId);
    void sendEvent(const XmlCommon::ptrCXmlMessage& a_ptrMsg);
    void sendLag(const XmlCommon::ptrCXmlMessage& a_ptrMsg);
    bool writeMessage(const XmlCommon::ptrCXmlMessage& a_ptrMsg, unsigned int a_uiAvailableTime,
                      bool a_bProcessingTime = false);
    qint64 sendDirectly(const QByteArray& a_baBytes);
    void writeOutsideRest();
    bool checkSendBacklog();
    void answerLocally(const XmlCommon::ptrCXmlMessage& a_ptrRequest, unsigned int a_uiFaultId);
    void passUpReply(const XmlCommon::ptrCXmlMessage& a_ptrReply);

    eFRAGMENT_OUTCOME handleLayerFragment(const XmlCommon::ptrCXmlMessage& a_ptrMsg,
                                          XmlCommon::CMsgFragment a_objFragment);
    eFRAGMENT_OUTCOME handleFilterFragment(XmlCommon::CXmlMessage::eSERVICE_TYPES a_eType,
                                           XmlCommon::CMsgFragment a_objFragment);
    eFRAGMENT_OUTCOME handleSuppressionFragment(XmlCommon::CXmlMessage::eSERVICE_TYPES a_eType, quint32 a_u32MsgId,
                                                XmlCommon::CMsgFragment a_objFragment);
    eFRAGMENT_OUTCOME handleDebugFragment(XmlCommon::CXmlMessage::eSERVICE_TYPES a_eType,
                                          XmlCommon::CMsgFragment a_objFragment);
    eFRAGMENT_OUTCOME handleDescriptionFragment(XmlCommon::CXmlMessage::eSERVICE_TYPES a_eType, quint32 a_u32MsgId,
                                                XmlCommon::CMsgFragment a_objFragment);
    eFRAGMENT_OUTCOME handleTimeDemandFragment(XmlCommon::CXmlMessage::eSERVICE_TYPES a_eType, quint32 a_u32MsgId,
                                               XmlCommon::CMsgFragment a_objFragment);
    void sendOwnQuery(XmlCommon::CXmlMessage::eSERVICE_TYPES a_eType, XmlCommon::CMsgFragment a_objFragment,
                      unsigned int a_uiAvailableTime, const QString& a_strLog);
    void answerPending(const struPending& a_objEntry, unsigned int a_uiFaultId, bool a_bTimeout);
    void dropAnsweredEntries();
    void resetWatchdog();
    void traceDebugInfo();
    void applyConnectionFlag(const QString& a_strFlag, bool a_bOn);
    void slotStreamLimitExceeded(QString a_strReason);

    QTcpSocket* m_pSocket = nullptr;
    eCONNECTION_SIDES m_eConnectionSide = eCONNECTION_SIDE_UNSET;
    mutable std::recursive_mutex m_objFilterMutex;
    const unsigned int m_uiConnectionId;
    bool m_bSuppressRequestTrees = false;
    CXmlSocketReader* m_pReader = nullptr;
    CMsgSender* m_pSender = nullptr;
    struSocketInfo m_objSocketInfo;
    unsigned int m_uiRetryCycle = 30;
    bool m_bFinishing = false;
    bool m_bSendingEnded = false;
    std::recursive_mutex m_objPendingMutex;
    QMultiMap<quint64, struPending> m_mapPending;
    QAbstractSocket::SocketState m_eLastState = QAbstractSocket::UnconnectedState;
    bool m_bFirstMessage = false;
    CReplyLagMsgManager m_objReplyLag;
    CAliveCheckManager m_objAliveCheck;
    CMsgTimeStatisticsManager m_objTimeStatistics;
    unsigned int m_uiConnectTimeout = 0;
    QList<quint32> m_lstOwnQueries;
    QString m_strPeerAppName;
    unsigned int m_uiLastPeerVersion = 0;
    QString m_strDebugName;
    bool m_bDescriptionQueried = false;
    quint64 m_u64StuckBytes = 0;
    bool m_bInBatch = false;
    qint64 m_llBatchBytes = 0;  // written in this batch, still in the socket's buffer
    quint64 m_u64SendCheckStart = 0;
    CComMan* m_pRouter = nullptr;
    CFilterProcessor m_objFilter;
    CCutNPasteFragments m_objCutNPaste;
    struConnectionLimits m_objLimits;
    ptrCTriggerManager m_ptrTriggers;
    QByteArray m_baOutput;
    bool m_bOutside = false;     // sendFromOutside is writing
    QByteArray m_baOutsideRest;  // what it left: written before anything else
    // Its requests, to be booked with the manager from this thread: the sender may hold the
    // manager's connection list, which its book's lock comes before.
    QList<XmlCommon::ptrCXmlMessage> m_lstOutsideBookings;

    bool m_bLogRequestsRcv = false;
    bool m_bLogRepliesRcv = false;
    bool m_bLogEventsRcv = false;
    bool m_bLogRequestsSnd = false;
    bool m_bLogRepliesSnd = false;
    bool m_bLogEventsSnd = false;
    bool m_bLogSocketStatus = false;
    bool m_bSenderWatchdog = true;
    bool m_bProcessingTime = false;
    bool m_bTimeChecker = false;
    bool m_bMsgTimeStat = false;
    bool m_bLastLog = false;
};
}  // namespace XmlCommunication

#pragma once

#include <OrvexXmlInterface/OxiExport.h>
#include <OrvexXmlInterface/platform/Platform.h>
#include <OrvexXmlInterface/xmlcommon/CFaultTree.h>
#include <OrvexXmlInterface/xmlcommon/CMsgFragment.h>
#include <OrvexXmlInterface/xmlcommon/CXmlMessage.h>
#include <OrvexXmlInterface/xmlcommon/GlobalXmlTypes.h>
#include <OrvexXmlInterface/xmlcommunication/services/CDebugFlags.h>
#include <OrvexXmlInterface/xmlcommunication/transport/CCutNPasteFragments.h>
#include <OrvexXmlInterface/xmlcommunication/transport/IfTimeoutIncRouter.h>
#include <OrvexXmlInterface/xmlcommunication/transport/TransportTypes.h>

#include <QtCore/QMap>
#include <QtCore/QObject>
#include <QtCore/QQueue>
#include <QtCore/QSet>
#include <QtNetwork/QAbstractSocket>

#include <atomic>

#include <mutex>

namespace XmlCommunication
{
class CConnectionThread;
class CTcpServer;

// The communication manager of one host: it listens for peers, opens the connection to the
// master on request, keeps the connection threads, and sorts what the connections receive into
// the host's three queues (requests, replies, events) after answering its own share of the
// layer's fragments. It lives on the thread of its CCommanThread; several hosts in one process
// each have their own manager.
//
// The requests the host has taken and not yet answered are kept (the working-request map), so
// that a request that waits behind others, or whose answer depends on a request sent on, is
// given more time with lag replies.
//
// Messages do not pass through the manager's thread: a connection's thread sorts what it receives
// into the host's queues itself, and the host's thread hands what it sends to the connection's
// thread itself (SlotNewJob, SlotSendToOneClient and SlotSendToAllClients may be called from any
// thread). The manager's thread answers the layer's fragments addressed to the manager and keeps
// the connections; the bookkeeping the paths share is under one lock.
class OXI_EXPORT CComMan : public QObject, public IfTimeoutIncRouter, public CDebugFlags
{
    Q_OBJECT

public:
    // A code of (component, data name) for the event pre-filter.
    using typEventCode = QPair<quint32, quint64>;

    CComMan(std::recursive_mutex& a_objRequestLock, QQueue<XmlCommon::ptrCXmlMessage>& a_objRequests,
            std::recursive_mutex& a_objReplyLock, QQueue<XmlCommon::ptrCXmlMessage>& a_objReplies,
            std::recursive_mutex& a_objEventLock, QQueue<XmlCommon::ptrCXmlMessage>& a_objEvents,
            std::atomic<bool>& a_bReplyLagSpreading);
    ~CComMan() override;

    bool init(const struCOMMAN_STARTUP_CONFIG& a_objConfig);
    bool isRunning() const { return m_bRunning.load(); }
    quint16 getPort() const { return m_usPort.load(); }
    quint32 getResmanConnectionId() const { return m_u32MasterId.load(); }
    void setStartupFault(XmlCommon::CFaultTree a_objFault);
    // The manager of the host that started last and still runs, or null.
    static CComMan* getInstance();
    static QStringList getIPs();
    static QList<struNetInterface> getNetInterfaces();
    CConnectionThread* getClient(quint32 a_u32Id);
    void getListOfClients(QList<struClientData>& a_lstClients);
    void handleNewConnection(qintptr a_typDescriptor);
    void destroyConnection(quint32 a_u32Id);
    void destroyAllConnections();
    void RouteTimeoutInc(quint32, quint64) override {}

    static typEventCode getCode(const XmlCommon::CTagname& a_objComponent, const XmlCommon::CTagname& a_objData);
    static quint32 getTxtCode(const QByteArray& a_baName);
    static QSet<typEventCode> getCodes(const XmlCommon::ptrCXmlMessage& a_ptrMsg);

signals:
    void SignalNewJob_TestsOnly(XmlCommon::ptrCXmlMessage a_ptrMsg, GLOBAL_XML_TYPES::eMESSAGE_TYPES a_eType);
    void SignalNewJob(GLOBAL_XML_TYPES::eMESSAGE_TYPES a_eType);
    void SignalNewConnection(quint32 a_ulConnectionId);
    void SignalConnectionClosed(quint32 a_ulConnectionId);
    void SignalXmlParserError(quint32 a_ulConnectionId, QString a_strText,
                              GLOBAL_XML_TYPES::eXML_COMMUNICATION_DEVICES a_eDevice);
    void SignalFilterSet(quint32 a_ulConnectionId);
    void SignalAllConnectionsClosed();
    void SignalConnectionInfo(quint32 a_ulConnectionId, XmlCommunication::struClientData a_objInfo);
    void SignalMetaInfo(XmlCommon::ptrCXmlElement a_ptrInfo);

public slots:
    void SlotSocketStateChanged(quint32 a_ulConnectionId, QAbstractSocket::SocketState a_eState);
    void SlotNewSocket(XmlCommunication::typSocketDescriptor a_typSocketDescriptor);
    void SlotNewJob(XmlCommon::ptrCXmlMessage a_ptrMsg, GLOBAL_XML_TYPES::eMESSAGE_TYPES a_eType);
    void addConnection(XmlCommunication::CConnectionThread* a_pobjClient);
    void SlotConnectionThreadIsFinished();
    void SlotSendToAllClients(XmlCommon::ptrCXmlMessage a_ptrMsg, QList<quint32> a_lstExcluded);
    void SlotSendToOneClient(XmlCommon::ptrCXmlMessage a_ptrMsg, quint32 a_ulContinuousMsgId);
    void SlotDestroyAllConnections();
    void SlotDestroyConnection(quint32 a_u32Id);
    void SlotGetDebugInfo(XmlCommon::ptrCXmlElement a_ptrElement);
    void SlotConnectToMaster(quint16 a_usPort, QString a_strId);
    void slotDebugFlagSetup(XmlCommunication::typMapDbgFlags a_mapSetup);
    void slotDescription(XmlCommunication::struCOMMAN_DESCRIPTION a_objDescription);
    void slotConnectionFiltertree(quint32 a_ulConnectionId, XmlCommon::ptrCXmlElement a_ptrTree);
    void slotConnectionInfo(quint32 a_ulConnectionId, XmlCommunication::struClientData a_objInfo);
    void slotMapRequestMsg(XmlCommon::ptrCXmlMessage a_ptrMsg);
    void slotUnmapRequestMsg(XmlCommon::ptrCXmlMessage a_ptrMsg);
    void slotRouteTimeoutInc(quint32 a_ulContinuousMsgId, quint64 a_ullNewTimeoutTimestamp);
    void slotIncTimeoutOfAllWaitingRequests(quint32 a_u32ContinuousMsgId, quint32 a_u32TimeoutInc);
    void slotRemoveSpontaneousRequest(quint32 a_u32ContinuousMsgId);

protected:
    bool handleCommDeviceFragments(XmlCommon::ptrCXmlMessage a_ptrMsg);
    void addNewRequest(const XmlCommon::ptrCXmlMessage& a_ptrMsg);
    void addNewReply(const XmlCommon::ptrCXmlMessage& a_ptrMsg);
    void addNewEvent(const XmlCommon::ptrCXmlMessage& a_ptrMsg);
    void removeTimedoutWorkingRequests();
    void incTimeoutAtAllWaitingRequests(quint32 a_u32Increment);
    void sendStatusReport();

private:
    Q_DISABLE_COPY(CComMan)

    // The text is made only when the general debug switch is on.
    template <typename t_Text> void log(const t_Text& a_fnText) const
    {
        if (isLogOn())
            Platform::debugOutput(a_fnText());
    }
    bool enqueue(std::recursive_mutex& a_objLock, QQueue<XmlCommon::ptrCXmlMessage>& a_objQueue,
                 const XmlCommon::ptrCXmlMessage& a_ptrMsg, std::atomic<int>& a_iHighWater);
    void startConnection(CConnectionThread* a_pThread);
    void sendLagNow(const XmlCommon::ptrCXmlMessage& a_ptrRequest, quint32 a_u32Increment);
    bool handleSetFragment(const XmlCommon::ptrCXmlMessage& a_ptrMsg, XmlCommon::CMsgFragment a_objFragment);
    bool handleGetFragment(const XmlCommon::ptrCXmlMessage& a_ptrMsg, XmlCommon::CMsgFragment a_objFragment);
    bool forwardLogEvent(const XmlCommon::ptrCXmlMessage& a_ptrMsg);
    QList<GLOBAL_XML_TYPES::struTcpInterface> endPoints() const;
    void addStatusLines(const XmlCommon::ptrCXmlElement& a_ptrNode);
    void waitForConnections();

    CTcpServer* m_pServer = nullptr;
    mutable std::recursive_mutex m_objListLock;
    QList<CConnectionThread*> m_lstConnections;
    mutable std::recursive_mutex m_objDyingLock;
    QList<CConnectionThread*> m_lstDying;
    std::atomic<bool> m_bRunning{false};
    QString m_strId;
    QString m_strName;
    unsigned int m_uiConnectionLimit = 0;
    std::atomic<quint32> m_u32MasterId{0};
    XmlCommon::CDataTree m_objMetaInfo;
    XmlCommon::CMsgFragment m_objDescription;
    quint64 m_u64LastCleanup = 0;
    QList<QPair<QString, quint16>> m_lstEndPoints;
    std::atomic<quint16> m_usPort{0};
    QString m_strListenAddress;
    unsigned int m_uiStatus = 0;
    XmlCommon::CFaultTree m_objStartupFault;
    CCutNPasteFragments m_objCutNPaste;
    QMap<quint32, QSet<typEventCode>> m_mapEventCodes;
    std::atomic<int> m_iMaxRequests{0};
    std::atomic<int> m_iMaxReplies{0};
    std::atomic<int> m_iMaxEvents{0};
    std::recursive_mutex& m_objRequestLock;
    QQueue<XmlCommon::ptrCXmlMessage>& m_objRequests;
    std::recursive_mutex& m_objReplyLock;
    QQueue<XmlCommon::ptrCXmlMessage>& m_objReplies;
    std::recursive_mutex& m_objEventLock;
    QQueue<XmlCommon::ptrCXmlMessage>& m_objEvents;
    std::atomic<bool>& m_bReplyLagSpreading;
    // The working-request map, the stored reply fragments and the time of the last clean-up; taken
    // before the connection list, never while a queue lock is held.
    mutable std::recursive_mutex m_objBookLock;
    QMap<quint32, XmlCommon::ptrCXmlMessage> m_mapWorkingRequests;
    struConnectionLimits m_objLimits;
    int m_iMaxQueued = 0;
};
}  // namespace XmlCommunication

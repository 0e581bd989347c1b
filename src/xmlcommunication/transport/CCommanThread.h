#pragma once

#include <OrvexXmlInterface/OxiExport.h>
#include <OrvexXmlInterface/platform/Platform.h>
#include <OrvexXmlInterface/xmlcommon/CFaultTree.h>
#include <OrvexXmlInterface/xmlcommon/CTreeBase.h>
#include <OrvexXmlInterface/xmlcommon/CXmlMessage.h>
#include <OrvexXmlInterface/xmlcommon/GlobalXmlTypes.h>
#include <OrvexXmlInterface/xmlcommunication/services/CDebugFlags.h>
#include <OrvexXmlInterface/xmlcommunication/transport/IfTimeoutIncRouter.h>
#include <OrvexXmlInterface/xmlcommunication/transport/TransportTypes.h>

#include <QtCore/QMap>
#include <QtCore/QQueue>
#include <QtCore/QThread>
#include <QtCore/QVector>

#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>

#include <mutex>

namespace XmlCommunication
{
class CComMan;
class CConnectionThread;
class CGuardedWake;

// The host's entry to the transport. The host fills a struCOMMAN_STARTUP_CONFIG and calls
// start(); a manager thread then listens for peers (and connects to the master on request). What
// peers send lands in three queues that the host empties with getNextRequest, getNextReply and
// getNextEvent, told by SignalNewJob which one has grown; the host answers and sends with
// sendToOneClient / postToOneClient ("send" copies the tree, "post" hands it over) and
// sendToAllClients / postToAllClients.
//
// No request is left waiting for ever: a reply that does not come in time is replaced by a fault
// reply 0x02400007, and a request whose connection is gone, or ends, is answered with the fault
// 0x02400008. Several hosts may run side by side in one process, each with its own manager.
//
// Every operation may be called from any thread. Messages pass between the host's threads and the
// connections' threads without crossing the manager's thread; the operations that do wait for the
// manager (getDebugInfo, addConnection) never wait for a manager that has stopped, and work on the
// manager's own thread too.
class OXI_EXPORT CCommanThread : public QThread, public IfTimeoutIncRouter, public CDebugFlags
{
    Q_OBJECT

public:
    explicit CCommanThread(QObject* a_pParent = nullptr);
    ~CCommanThread() override;

    virtual quint16 start(struCOMMAN_STARTUP_CONFIG& a_objConfig);
    virtual void setDescription(struCOMMAN_DESCRIPTION& a_objDescription);
    virtual void connectToMaster(quint16 a_usPort, const QString& a_strId);
    virtual void stop();
    virtual XmlCommon::ptrCXmlMessage getNextRequest();
    virtual XmlCommon::ptrCXmlMessage getNextReply();
    virtual XmlCommon::ptrCXmlMessage getNextEvent();
    virtual void sendToOneClient(XmlCommon::ptrCXmlMessage a_ptrMsg, quint32 a_u32ContinuousId);
    virtual void sendToAllClients(XmlCommon::ptrCXmlMessage a_ptrMsg, QList<quint32> a_lstExcluded = {});
    virtual void postToOneClient(XmlCommon::ptrCXmlMessage a_ptrMsg, quint32 a_u32ContinuousId);
    virtual void postToAllClients(XmlCommon::ptrCXmlMessage a_ptrMsg, QList<quint32> a_lstExcluded = {});
    virtual bool addConnection(CConnectionThread* a_pThread);

    void exitOnCompletion() { stop(); }
    bool waitForFinished(unsigned int a_uiMs);
    bool isThreadCompletelyStarted() const { return m_bCompletelyStarted.load(); }
    void destroyConnection(quint32 a_u32Id);
    void destroyAllConnections();
    QList<struClientData> getConnectionInfo(quint32 a_u32Id = 0) const;
    XmlCommon::CDataTree getDebugInfo();
    XmlCommon::CDataTree getMetaInfo() const;
    quint16 getPort() const;
    quint32 getResmanConnectionId() const;
    static QStringList getIPs();
    static QList<struNetInterface> getNetInterfaces();
    void setStartupFault(XmlCommon::CFaultTree a_objFault);
    void disableReplyLagSpreading() { m_bReplyLagSpreading = false; }
    void RouteTimeoutInc(quint32 a_u32ContinuousId, quint64 a_u64NewTimeout) override;
    unsigned short handleDbgFlagSetup(const typMapDbgFlags& a_mapSetup) override;
    // Hands a message to the manager as if a connection had received it.
    void SlotNewJob(XmlCommon::ptrCXmlMessage a_ptrMsg, GLOBAL_XML_TYPES::eMESSAGE_TYPES a_eType);

signals:
    void SignalNewJob(GLOBAL_XML_TYPES::eMESSAGE_TYPES a_eType);
    void SignalNewClientConnection(quint32 a_ulConnectionId);
    void SignalClientConnectionClosed(quint32 a_ulConnectionId);
    void SignalXmlParserError(quint32 a_ulConnectionId, QString a_strText,
                              GLOBAL_XML_TYPES::eXML_COMMUNICATION_DEVICES a_eDevice);
    void SignalFilterSet(quint32 a_ulConnectionId);
    void SignalAllConnectionsClosed();
    void SignalSendToAllClients(XmlCommon::ptrCXmlMessage a_ptrMsg, QList<quint32> a_lstExcluded);
    void SignalSendToOneClient(XmlCommon::ptrCXmlMessage a_ptrMsg, quint32 a_ulContinuousMsgId);
    void SignalDestroyAllConnections();
    void SignalDestroyConnection(quint32 a_u32Id);
    void SignalConnectToMaster(quint16 a_usPort, QString a_strId);
    void SignalDescription(XmlCommunication::struCOMMAN_DESCRIPTION a_objDescription);
    void SignalRouteTimeoutInc(quint32 a_ulContinuousMsgId, quint64 a_ullNewTimeoutTimestamp);

public slots:
    void SlotDestroyAllConnections();
    void SlotMetaInfo(XmlCommon::ptrCXmlElement a_ptrInfo);
    void slotDebugFlagSetup(XmlCommunication::typMapDbgFlags a_mapSetup);

private slots:
    void SlotAllConnectionsClosed();
    void SlotConnectionInfo(quint32 a_ulConnectionId, XmlCommunication::struClientData a_objInfo);
    void SlotConnectionClosed(quint32 a_ulConnectionId);
    void SlotNewConnection(quint32 a_ulConnectionId);

protected:
    void run() override;
    CComMan* getComman() const { return m_pManager.load(); }

private:
    friend class CConnectionThread;
    Q_DISABLE_COPY(CCommanThread)

    // The text is made only when the general debug switch is on.
    template <typename t_Text> void log(const t_Text& a_fnText) const
    {
        if (isLogOn())
            Platform::debugOutput(a_fnText());
    }
    void connectManager(CComMan* a_pManager);
    void closeManager(CComMan* a_pManager);
    void sendToOne(const XmlCommon::ptrCXmlMessage& a_ptrMsg, quint32 a_u32ContinuousId);
    void sendToAll(const XmlCommon::ptrCXmlMessage& a_ptrMsg, const QList<quint32>& a_lstExcluded);
    // Runs a_fnCall on the manager's thread and waits for it, but never for a manager that has
    // stopped; false when it did not run.
    bool callOnManager(const std::function<void(CComMan*)>& a_fnCall);
    // Emits one of the signals to the manager while it takes them; false when it does not.
    bool toManager(const std::function<void()>& a_fnEmit);
    // Runs the call on this thread while the manager takes calls (under the lock that keeps it
    // alive); false when it has stopped.
    bool withManager(const std::function<void(CComMan*)>& a_fnCall);
    void answerUndeliverable(const XmlCommon::ptrCXmlMessage& a_ptrRequest);
    void announceJob(GLOBAL_XML_TYPES::eMESSAGE_TYPES a_eType);
    void emitAnnounced();

    struCOMMAN_STARTUP_CONFIG m_objRequested;
    struCOMMAN_STARTUP_CONFIG m_objForManager;
    std::atomic<CComMan*> m_pManager{nullptr};
    // Held while a signal is sent to the manager and while the manager stops taking them.
    mutable std::mutex m_objManagerMutex;
    bool m_bManagerAccepts = false;
    std::atomic<bool> m_bMsgRefIncrementer{false};
    std::recursive_mutex m_objRequestLock;
    QQueue<XmlCommon::ptrCXmlMessage> m_objRequests;
    std::recursive_mutex m_objReplyLock;
    QQueue<XmlCommon::ptrCXmlMessage> m_objReplies;
    std::recursive_mutex m_objEventLock;
    QQueue<XmlCommon::ptrCXmlMessage> m_objEvents;
    mutable std::mutex m_objStateMutex;  // meta information, start-up fault, description, cache
    XmlCommon::CDataTree m_objMetaInfo;
    XmlCommon::CFaultTree m_objStartupFault;
    std::atomic<bool> m_bReplyLagSpreading{true};
    std::atomic<bool> m_bCompletelyStarted{false};
    // Set by the manager's thread once the manager has started (or failed to).
    std::mutex m_objStartMutex;
    std::condition_variable m_objStartSignal;
    bool m_bStartSignalled = false;
    QMap<quint32, struClientData> m_mapConnectionInfo;
    std::mutex m_objAnnounceMutex;
    QVector<GLOBAL_XML_TYPES::eMESSAGE_TYPES> m_vecAnnounced;  // not empty: their signals are posted
    // Wakes this thread for the announced signals; may outlive this object, and then does nothing.
    std::shared_ptr<CGuardedWake> m_ptrWaker;
};
}  // namespace XmlCommunication

#pragma once

#include <OrvexXmlInterface/OxiExport.h>
#include <OrvexXmlInterface/xmlcommon/CXmlMessage.h>
#include <OrvexXmlInterface/xmlcommon/GlobalXmlTypes.h>
#include <OrvexXmlInterface/xmlcommunication/services/CDebugFlags.h>
#include <OrvexXmlInterface/xmlcommunication/transport/TransportTypes.h>

#include <QtCore/QThread>
#include <QtNetwork/QAbstractSocket>

#include <atomic>
#include <functional>
#include <memory>

#include <mutex>
#include <utility>
#include <vector>

namespace XmlCommunication
{
class CComMan;
class CConnection;
class CConnectionGate;
class CGuardedWake;
class IfTimeoutIncRouter;

// The handle the manager keeps for one connection: a thread of its own on which the connection
// is made, lives and is deleted. Messages from any thread wait in an outbox that wakes the
// connection's thread once for all of them; what the connection receives goes to the job sink
// (the manager) on the connection's thread, and its other signals are relayed.
//
// The thread always ends: asked to quit before its event loop started, it does not start one;
// a socket still open at the end is closed within a bounded time. A thread that does not end
// within the wait of waitForFinished is logged and left to end on its own; it is never terminated.
class OXI_EXPORT CConnectionThread : public QThread, public CDebugFlags
{
    Q_OBJECT

public:
    CConnectionThread(const QString& a_strAddress, quint16 a_usPort, const QString& a_strDebugName, bool a_bRetry,
                      QObject* a_pParent);
    CConnectionThread(const QString& a_strAddress, quint16 a_usPort, const char* a_pszDebugName, bool a_bRetry,
                      QObject* a_pParent);
    CConnectionThread(const QString& a_strAddress, quint16 a_usPort, bool a_bRetry, QObject* a_pParent);
    CConnectionThread(qintptr a_typDescriptor, const QString& a_strDebugName, QObject* a_pParent, bool a_bUnused);
    CConnectionThread(qintptr a_typDescriptor, QObject* a_pParent, bool a_bUnused);
    CConnectionThread(qintptr a_typDescriptor, const char* a_pszDebugName, QObject* a_pParent, bool a_bUnused);
    ~CConnectionThread() override;

    void sendMessage(XmlCommon::ptrCXmlMessage a_ptrMsg, quint32 a_u32ContinuousId);
    void postMessage(XmlCommon::ptrCXmlMessage a_ptrMsg, quint32 a_u32ContinuousId);
    void sendMessage(XmlCommon::ptrCXmlMessage a_ptrMsg, quint32 a_u32ContinuousId, IfTimeoutIncRouter* a_pRouter);
    void postMessage(XmlCommon::ptrCXmlMessage a_ptrMsg, quint32 a_u32ContinuousId, IfTimeoutIncRouter* a_pRouter);
    void sendByteArray(const QByteArray& a_baBytes);
    void stopConnectionRetry();
    void setDebugName(const QString& a_strName);
    QString getDebugName() const;
    void setConnectTimeout(unsigned int a_uiMs) { m_uiConnectTimeout = a_uiMs; }
    void setRetryCycle(unsigned int a_uiSeconds);
    void setTimeoutIncRouter(IfTimeoutIncRouter* a_pRouter);
    void setTimeoutIncRouter(CComMan* a_pRouter);
    // What the connection receives goes to the sink on the connection's own thread; without one it
    // is emitted with SignalNewJob.
    void setJobSink(CComMan* a_pSink);
    // Applies to the connection made by run.
    void setLimits(const struConnectionLimits& a_objLimits) { m_objLimits = a_objLimits; }

    unsigned int getID() const { return m_uiConnectionId; }
    QAbstractSocket::SocketState getSocketState() const { return m_eLastState.load(); }
    struClientData getInfo() const;
    bool waitForFinished(unsigned int a_uiMs);
    void exitOnCompletion();
    static unsigned int getNextId();

    unsigned short handleDbgFlagSetup(const typMapDbgFlags& a_mapSetup) override;

signals:
    void SignalSendMessage(XmlCommon::ptrCXmlMessage a_ptrMsg, quint32 a_ulContinuousMsgId);
    void SignalSendByteArray(QByteArray a_baBytes);
    void SignalStopConnectionRetry();
    void SignalDebugName(QString a_strName);
    void SignalNewJob(XmlCommon::ptrCXmlMessage a_ptrMsg, GLOBAL_XML_TYPES::eMESSAGE_TYPES a_eType);
    void SignalSocketStateChanged(quint32 a_ulConnectionId, QAbstractSocket::SocketState a_eState);
    void SignalSocketError(quint32 a_ulConnectionId, QAbstractSocket::SocketError a_eError);
    void SignalXmlParserError(quint32 a_ulConnectionId, QString a_strText,
                              GLOBAL_XML_TYPES::eXML_COMMUNICATION_DEVICES a_eDevice);
    void SignalFilterSet(quint32 a_ulConnectionId);
    void SignalCompletelyStarted(quint32 a_ulConnectionId);
    void SignalConnectionInfo(quint32 a_ulConnectionId, XmlCommunication::struClientData a_objInfo);
    void SignalFiltertree(quint32 a_ulConnectionId, XmlCommon::ptrCXmlElement a_ptrTree);
    void SignalRouteTimeoutInc(quint32 a_ulContinuousMsgId, quint64 a_ullNewTimeoutTimestamp);

public slots:
    void slotDebugFlagSetup(XmlCommunication::typMapDbgFlags a_mapSetup);
    void SlotNewJob(XmlCommon::ptrCXmlMessage a_ptrMsg, GLOBAL_XML_TYPES::eMESSAGE_TYPES a_eType);

private slots:
    void SlotSocketStateChanged(quint32 a_ulConnectionId, QAbstractSocket::SocketState a_eState);
    void SlotConnectionInfo(quint32 a_ulConnectionId, XmlCommunication::struClientData a_objInfo);
    void SlotCompletelyStarted(quint32 a_ulConnectionId);

protected:
    void run() override;

private:
    friend class CComMan;  // hands on messages it has copied already
    void setUp();
    void connectConnection();
    void closeConnection();
    void checkTimeout(const XmlCommon::ptrCXmlMessage& a_ptrMsg, quint32 a_u32ContinuousId);
    void sendMsg(const XmlCommon::ptrCXmlMessage& a_ptrMsg, quint32 a_u32ContinuousId);
    void openSending();
    void toConnection(const std::function<void(CConnection*)>& a_fnCall);
    void handOn(const XmlCommon::ptrCXmlMessage& a_ptrMsg, GLOBAL_XML_TYPES::eMESSAGE_TYPES a_eType);
    // Calls the manager that takes this connection's messages, if it still does.
    template <typename Fn> void withSink(Fn a_fnCall);
    // Under the send lock; true when the outbox was empty, so that the caller, once the lock is
    // released, wakes the connection's thread once for all that waits there.
    bool addToOutbox(const XmlCommon::ptrCXmlMessage& a_ptrMsg, quint32 a_u32ContinuousId);
    void drainOutbox();
    // Under the send lock, with the outbox empty: writes a request or reply on the calling thread
    // while the connection's thread waits; false leaves it to the outbox.
    bool sendAtOnce(const XmlCommon::ptrCXmlMessage& a_ptrMsg, quint32 a_u32ContinuousId);

    // Messages handed over before the connection exists wait; after it is gone, requests are
    // answered with a fault.
    enum eSEND_STATES
    {
        ekSS_PENDING,
        ekSS_OPEN,
        ekSS_CLOSED,
    };

    CConnection* m_pConnection = nullptr;  // lives on this thread, only while run() runs
    const unsigned int m_uiConnectionId;
    struSocketInfo m_objSocketInfo;
    std::atomic<QAbstractSocket::SocketState> m_eLastState{QAbstractSocket::UnconnectedState};
    std::atomic<unsigned int> m_uiRetryCycle{30};
    std::atomic<bool> m_bEventLoopLeft{false};
    std::atomic<bool> m_bUnconnectedReported{false};
    std::atomic<bool> m_bShutdownSent{false};
    std::atomic<bool> m_bQuitRequested{false};
    mutable std::mutex m_objInfoMutex;  // the record and the name are read from any thread
    struClientData m_objLastInfo;
    unsigned int m_uiConnectTimeout = 0;
    QString m_strDebugName;
    std::atomic<bool> m_bMsgRefIncrementer{false};
    std::atomic<CComMan*> m_pRouter{nullptr};
    std::mutex m_objSinkMutex;  // held while the sink takes a message, so that it can be withdrawn
    CComMan* m_pSink = nullptr;
    struConnectionLimits m_objLimits;
    const std::unique_ptr<CGuardedWake> m_ptrOutboxWake;  // posts a drain to the connection while it takes messages
    const std::unique_ptr<CConnectionGate> m_ptrGate;
    CConnection* m_pAtOnceTarget = nullptr;  // under the gate: the connection while it sends
    std::atomic<int> m_iRawPending{0};       // raw byte hand-overs not yet written
    std::mutex m_objSendMutex;
    eSEND_STATES m_eSendState = ekSS_PENDING;
    QList<QPair<XmlCommon::ptrCXmlMessage, quint32>> m_lstEarly;
    // Not empty: a drain is posted. The two vectors trade places at each drain and keep their
    // capacity, so that a burst does not cost an allocation per message and a large free per batch.
    std::vector<std::pair<XmlCommon::ptrCXmlMessage, quint32>> m_vecOutbox;
    std::vector<std::pair<XmlCommon::ptrCXmlMessage, quint32>> m_vecDraining;  // the connection's thread only
};
}  // namespace XmlCommunication

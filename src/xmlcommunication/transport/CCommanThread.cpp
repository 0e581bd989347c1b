#include "CCommanThread.h"

#include "../../xmlcommon/CXmlMessage_p.h"
#include "../../xmlcommon/ThreadChecker_p.h"
#include "CComMan.h"
#include "CConnectionThread.h"
#include "GuardedWake_p.h"
#include "HostWakeBatch_p.h"

#include <OrvexXmlInterface/platform/Platform.h>
#include <OrvexXmlInterface/xmlcommon/Tagnames.h>
#include <OrvexXmlInterface/xmlcommunication/services/CAliveCheckManager.h>
#include <OrvexXmlInterface/xmlcommunication/services/CTriggerManager.h>

#include <QtCore/QCoreApplication>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <memory>

#include <mutex>

using namespace XmlCommon;

namespace XmlCommunication
{
namespace
{
const QString s_strClass = QStringLiteral("CCommanThread");
const QString s_strMsgRefIncrementer = QStringLiteral("MsgRefIncrementer");
const unsigned int s_uiShortRequestTime = 6000000;
const int s_iStartWaitMs = 2000;

// A call's end, told to the caller through a lock the thread checker sees (Qt's own
// synchronisation is invisible to it in the distribution's build).
class CDoneSignal
{
public:
    void set()
    {
        {
            std::lock_guard<std::mutex> lock(m_objMutex);
            m_bDone = true;
        }
        m_objSignal.notify_all();
    }
    bool waitFor(int a_iMs)
    {
        std::unique_lock<std::mutex> lock(m_objMutex);
        return m_objSignal.wait_for(lock, std::chrono::milliseconds(a_iMs), [this] { return m_bDone; });
    }

private:
    std::mutex m_objMutex;
    std::condition_variable m_objSignal;
    bool m_bDone = false;
};
const int s_iCallPollMs = 20;

ptrCXmlMessage takeFirst(std::recursive_mutex& a_objLock, QQueue<ptrCXmlMessage>& a_objQueue)
{
    std::unique_lock lock(a_objLock);
    if (a_objQueue.isEmpty()) {
        lock.unlock();
        MessageHome::drain();  // a host that has caught up and never lets its loop idle
        return ptrCXmlMessage();
    }
    const ptrCXmlMessage ptrMsg = a_objQueue.dequeue();
    OXI_TSAN_ACQUIRE(ptrMsg.data());
    return ptrMsg;
}

ptrCXmlElement textNode(const char* a_pszName, const QString& a_strText)
{
    ptrCXmlElement ptrNode(new CXmlElement(CTagname(a_pszName)));
    ptrNode->setValue(a_strText);
    return ptrNode;
}
}  // namespace

namespace
{
// The hosts to wake when the outermost batch open on this thread closes.
struct struWakeBatch
{
    int iDepth = 0;
    std::vector<std::shared_ptr<CGuardedWake>> vecWakers;
};
thread_local struWakeBatch t_objWakeBatch;
}  // namespace

CHostWakeBatch::CHostWakeBatch()
{
    ++t_objWakeBatch.iDepth;
}

CHostWakeBatch::~CHostWakeBatch()
{
    if (--t_objWakeBatch.iDepth > 0)
        return;
    for (const std::shared_ptr<CGuardedWake>& ptrWaker : t_objWakeBatch.vecWakers)
        ptrWaker->wake();
    t_objWakeBatch.vecWakers.clear();
}

CCommanThread::CCommanThread(QObject* a_pParent)
    : QThread(a_pParent), CDebugFlags(s_strClass), m_ptrWaker(std::make_shared<CGuardedWake>())
{
    m_ptrWaker->set([this] {
        QMetaObject::invokeMethod(
            this, [this] { emitAnnounced(); }, Qt::QueuedConnection);
    });
    registerFlags({{s_strMsgRefIncrementer, QStringLiteral("%1,%2").arg(QStringLiteral("0"), QStringLiteral("1"))}});
    followDebugCenter(this);
    getCurrentDbgFlagSetup();
    CTriggerManager::getInstance();
    MessageHome::open();  // the trees the host sends come back to its thread to be released
    m_objMetaInfo.setElementTree(ptrCXmlElement(new CXmlElement(Tag::MetaInformation)));
}

CCommanThread::~CCommanThread()
{
    m_ptrWaker->withdraw();
    log([&] { return QStringLiteral("CCommanThread::~CCommanThread()"); });
    if (isRunning()) {
        exit(0);
        if (!wait(5000)) {
            // Every step of the manager's end is bounded: it ends; it is never terminated.
            Platform::debugOutput(QStringLiteral("CCommanThread::~CCommanThread() the waiting for "
                                                 "\"thread-is-finished\" has timedout. (%1 ms)")
                                      .arg(5000));
            wait();
        }
    }
    OXI_TSAN_ACQUIRE(this);  // joined above or never started
    if (thread() == QThread::currentThread())
        MessageHome::close();
}

quint16 CCommanThread::start(struCOMMAN_STARTUP_CONFIG& a_objConfig)
{
    {
        std::unique_lock lock(m_objStateMutex);
        m_objRequested = a_objConfig;
        if (m_objRequested.strIpAddress.isEmpty())
            m_objRequested.strIpAddress = QStringLiteral("0.0.0.0");
        m_objForManager = m_objRequested;
    }
    setMinProcessingTime(a_objConfig.ulMinProcessingTime);
    {
        std::unique_lock lock(m_objStartMutex);
        m_bStartSignalled = false;
    }
    QThread::start(QThread::InheritPriority);
    quint16 usPort = 0;
    bool bStarted = false;
    {
        std::unique_lock lock(m_objStartMutex);
        bStarted = m_objStartSignal.wait_for(lock, std::chrono::milliseconds(s_iStartWaitMs),
                                             [this] { return m_bStartSignalled; });
    }
    if (bStarted) {
        // Under the lock the manager's thread takes before it deletes the manager.
        std::unique_lock lock(m_objManagerMutex);
        CComMan* pManager = m_pManager.load();
        if (pManager && pManager->isRunning())
            usPort = pManager->getPort();
    }
    log([&] { return QStringLiteral("CCommanThread: thread is started. port: %1").arg(usPort); });
    {
        std::unique_lock lock(m_objStateMutex);
        m_objRequested.usPort = usPort;
    }
    a_objConfig.usPort = usPort;
    return usPort;
}

void CCommanThread::run()
{
    log([&] { return QStringLiteral("CCommanThread::run()"); });
    std::unique_ptr<CComMan> pManager(new CComMan(m_objRequestLock, m_objRequests, m_objReplyLock, m_objReplies,
                                                  m_objEventLock, m_objEvents, m_bReplyLagSpreading));
    connectManager(pManager.get());
    {
        std::unique_lock lock(m_objStateMutex);
        pManager->setStartupFault(m_objStartupFault);
    }
    m_bCompletelyStarted = pManager->init(m_objForManager);
    {
        std::unique_lock lock(m_objManagerMutex);
        m_pManager = pManager.get();
        m_bManagerAccepts = true;
    }
    {
        std::unique_lock lock(m_objStartMutex);
        m_bStartSignalled = true;
    }
    m_objStartSignal.notify_all();
    setPriority(QThread::HighestPriority);
    exec();
    log([&] { return QStringLiteral("CCommanThread::run() has left the eventloop!"); });
    closeManager(pManager.release());
    OXI_TSAN_RELEASE(this);  // QThread::wait() joins where the checker cannot see it
}

void CCommanThread::connectManager(CComMan* a_pManager)
{
    connect(
        a_pManager, &CComMan::SignalNewJob, this,
        [this](GLOBAL_XML_TYPES::eMESSAGE_TYPES a_eType) { announceJob(a_eType); }, Qt::DirectConnection);
    connect(a_pManager, &CComMan::SignalNewConnection, this, &CCommanThread::SlotNewConnection);
    connect(a_pManager, &CComMan::SignalConnectionClosed, this, &CCommanThread::SlotConnectionClosed);
    connect(a_pManager, &CComMan::SignalXmlParserError, this, &CCommanThread::SignalXmlParserError);
    connect(a_pManager, &CComMan::SignalFilterSet, this, &CCommanThread::SignalFilterSet);
    connect(a_pManager, &CComMan::SignalAllConnectionsClosed, this, &CCommanThread::SlotAllConnectionsClosed);
    connect(a_pManager, &CComMan::SignalMetaInfo, this, &CCommanThread::SlotMetaInfo);
    connect(a_pManager, &CComMan::SignalConnectionInfo, this, &CCommanThread::SlotConnectionInfo, Qt::QueuedConnection);
    connect(this, &CCommanThread::SignalSendToAllClients, a_pManager, &CComMan::SlotSendToAllClients,
            Qt::QueuedConnection);
    connect(this, &CCommanThread::SignalSendToOneClient, a_pManager, &CComMan::SlotSendToOneClient,
            Qt::QueuedConnection);
    connect(this, &CCommanThread::SignalDestroyAllConnections, a_pManager, &CComMan::SlotDestroyAllConnections,
            Qt::QueuedConnection);
    connect(this, &CCommanThread::SignalDestroyConnection, a_pManager, &CComMan::SlotDestroyConnection,
            Qt::QueuedConnection);
    connect(this, &CCommanThread::SignalConnectToMaster, a_pManager, &CComMan::SlotConnectToMaster,
            Qt::QueuedConnection);
    connect(this, &CCommanThread::SignalDescription, a_pManager, &CComMan::slotDescription, Qt::QueuedConnection);
    connect(this, &CCommanThread::SignalRouteTimeoutInc, a_pManager, &CComMan::slotRouteTimeoutInc,
            Qt::QueuedConnection);
}

void CCommanThread::closeManager(CComMan* a_pManager)
{
    {
        std::unique_lock lock(m_objManagerMutex);
        m_bManagerAccepts = false;
    }
    // What the host handed over before the end is still delivered or answered.
    QCoreApplication::sendPostedEvents(a_pManager);
    {
        std::unique_lock lock(m_objManagerMutex);
        m_pManager = nullptr;
    }
    delete a_pManager;
}

bool CCommanThread::waitForFinished(unsigned int a_uiMs)
{
    const bool bEnded = wait(a_uiMs);
    if (bEnded)
        OXI_TSAN_ACQUIRE(this);
    return bEnded;
}

void CCommanThread::stop()
{
    exit(0);
}

bool CCommanThread::toManager(const std::function<void()>& a_fnEmit)
{
    std::unique_lock lock(m_objManagerMutex);
    if (!m_bManagerAccepts)
        return false;
    a_fnEmit();
    return true;
}

bool CCommanThread::callOnManager(const std::function<void(CComMan*)>& a_fnCall)
{
    if (QThread::currentThread() == this) {
        CComMan* pManager = m_pManager.load();
        if (pManager)
            a_fnCall(pManager);
        return pManager != nullptr;
    }
    auto ptrDone = std::make_shared<CDoneSignal>();
    {
        std::unique_lock lock(m_objManagerMutex);
        CComMan* pManager = m_pManager.load();
        if (!m_bManagerAccepts || !pManager)
            return false;
        QMetaObject::invokeMethod(
            pManager,
            [pManager, a_fnCall, ptrDone] {
                a_fnCall(pManager);
                ptrDone->set();
            },
            Qt::QueuedConnection);
    }
    // A call posted to a manager that stops is run while it stops, or dropped with it.
    while (!ptrDone->waitFor(s_iCallPollMs)) {
        if (!isRunning() || !m_pManager.load())
            return ptrDone->waitFor(0);
    }
    return true;
}

bool CCommanThread::withManager(const std::function<void(CComMan*)>& a_fnCall)
{
    std::unique_lock lock(m_objManagerMutex);
    CComMan* pManager = m_pManager.load();
    if (!m_bManagerAccepts || !pManager)
        return false;
    a_fnCall(pManager);
    return true;
}

ptrCXmlMessage CCommanThread::getNextRequest()
{
    const ptrCXmlMessage ptrRequest = takeFirst(m_objRequestLock, m_objRequests);
    // The manager keeps its own envelope of the request, made before the host can change it.
    if (ptrRequest)
        withManager([&ptrRequest](CComMan* a_pManager) { a_pManager->slotMapRequestMsg(ptrRequest); });
    return ptrRequest;
}

ptrCXmlMessage CCommanThread::getNextReply()
{
    return takeFirst(m_objReplyLock, m_objReplies);
}

ptrCXmlMessage CCommanThread::getNextEvent()
{
    return takeFirst(m_objEventLock, m_objEvents);
}

void CCommanThread::sendToOneClient(ptrCXmlMessage a_ptrMsg, quint32 a_u32ContinuousId)
{
    if (!a_ptrMsg || a_ptrMsg->isNull()) {
        log([&] { return QStringLiteral("CCommanThread::sendToOneClient() EMPTY msg!!"); });
        return;
    }
    sendToOne(a_ptrMsg->copyShared(true), a_u32ContinuousId);
}

void CCommanThread::postToOneClient(ptrCXmlMessage a_ptrMsg, quint32 a_u32ContinuousId)
{
    if (!a_ptrMsg || a_ptrMsg->isNull()) {
        log([&] { return QStringLiteral("CCommanThread::postToOneClient() EMPTY msg!!"); });
        return;
    }
    const ptrCXmlMessage ptrTaken = a_ptrMsg->copyShared(false);
    ptrTaken->setElementTree(a_ptrMsg->getElementTree());
    a_ptrMsg->setElementTree(ptrCXmlElement());
    sendToOne(ptrTaken, a_u32ContinuousId);
}

void CCommanThread::sendToAllClients(ptrCXmlMessage a_ptrMsg, QList<quint32> a_lstExcluded)
{
    if (!a_ptrMsg || a_ptrMsg->isNull()) {
        log([&] { return QStringLiteral("CCommanThread::sendToAllClients() EMPTY msg!!"); });
        return;
    }
    sendToAll(a_ptrMsg->copyShared(true), a_lstExcluded);
}

void CCommanThread::postToAllClients(ptrCXmlMessage a_ptrMsg, QList<quint32> a_lstExcluded)
{
    if (!a_ptrMsg || a_ptrMsg->isNull()) {
        log([&] { return QStringLiteral("CCommanThread::postToAllClients() EMPTY msg!!"); });
        return;
    }
    const ptrCXmlMessage ptrTaken = a_ptrMsg->copyShared(false);
    ptrTaken->setElementTree(a_ptrMsg->getElementTree());
    a_ptrMsg->setElementTree(ptrCXmlElement());
    sendToAll(ptrTaken, a_lstExcluded);
}

void CCommanThread::sendToOne(const ptrCXmlMessage& a_ptrMsg, quint32 a_u32ContinuousId)
{
    log([&] { return QStringLiteral("CCommanThread::sendToOne()"); });
    const CXmlMessage::eSERVICE_TYPES eType = a_ptrMsg->getServiceType();
    if (eType == CXmlMessage::REQUEST_GET || eType == CXmlMessage::REQUEST_SET) {
        const quint64 u64Now = Platform::nowMonotonicUs();
        if (quint64(a_ptrMsg->getAvailableTime()) >= quint64(getMinProcessingTime()) + 1000000u) {
            a_ptrMsg->setTimeout(u64Now + a_ptrMsg->getAvailableTime());
        } else {
            a_ptrMsg->setAvailableTime(s_uiShortRequestTime);
            a_ptrMsg->setTimeout(u64Now + s_uiShortRequestTime);
            if (m_pManager.load() && a_u32ContinuousId != 0)
                toManager([&] { emit SignalRouteTimeoutInc(a_u32ContinuousId, u64Now + s_uiShortRequestTime); });
        }
    } else if (eType == CXmlMessage::BROADCAST && a_ptrMsg->getOrigin().isEmpty()) {
        std::unique_lock lock(m_objStateMutex);
        if (!m_objRequested.objDescription.strAppGuid.isEmpty())
            a_ptrMsg->setOrigin(m_objRequested.objDescription.strAppGuid);
    }
    a_ptrMsg->updateRequestParent();
    // Handed to the connection's thread from here: the manager's thread is not crossed.
    if (!withManager([&](CComMan* a_pManager) { a_pManager->SlotSendToOneClient(a_ptrMsg, a_u32ContinuousId); }))
        answerUndeliverable(a_ptrMsg);
    MessageHome::drain();  // after the message is on its way, so that it does not wait for this
}

void CCommanThread::sendToAll(const ptrCXmlMessage& a_ptrMsg, const QList<quint32>& a_lstExcluded)
{
    log([&] { return QStringLiteral("CCommanThread::sendToAll()"); });
    if (a_ptrMsg->getServiceType() == CXmlMessage::BROADCAST && a_ptrMsg->getOrigin().isEmpty()) {
        std::unique_lock lock(m_objStateMutex);
        if (!m_objRequested.objDescription.strAppGuid.isEmpty())
            a_ptrMsg->setOrigin(m_objRequested.objDescription.strAppGuid);
    }
    a_ptrMsg->updateRequestParent();
    withManager([&](CComMan* a_pManager) { a_pManager->SlotSendToAllClients(a_ptrMsg, a_lstExcluded); });
    MessageHome::drain();
}

void CCommanThread::announceJob(GLOBAL_XML_TYPES::eMESSAGE_TYPES a_eType)
{
    // One wake-up of the host's thread for all the messages queued until it runs; the host still
    // gets one signal per message, in the order they were queued, and never inside a send.
    // The wake-up is posted after the lock is released: the host's thread, woken at once, would
    // otherwise wait for the lock of the very thread that woke it.
    bool bFirst = false;
    {
        std::unique_lock lock(m_objAnnounceMutex);
        m_vecAnnounced.append(a_eType);
        bFirst = m_vecAnnounced.size() == 1;
    }
    if (!bFirst)
        return;
    if (t_objWakeBatch.iDepth == 0) {
        m_ptrWaker->wake();
        return;
    }
    std::vector<std::shared_ptr<CGuardedWake>>& vecWakers = t_objWakeBatch.vecWakers;
    if (std::find(vecWakers.begin(), vecWakers.end(), m_ptrWaker) == vecWakers.end())
        vecWakers.push_back(m_ptrWaker);
}

void CCommanThread::emitAnnounced()
{
    QVector<GLOBAL_XML_TYPES::eMESSAGE_TYPES> vecTypes;
    {
        std::unique_lock lock(m_objAnnounceMutex);
        vecTypes.swap(m_vecAnnounced);
    }
    for (GLOBAL_XML_TYPES::eMESSAGE_TYPES eType : qAsConst(vecTypes))
        emit SignalNewJob(eType);
}

void CCommanThread::answerUndeliverable(const ptrCXmlMessage& a_ptrRequest)
{
    // Without a manager nothing goes out: a request still gets its answer.
    const CXmlMessage::eSERVICE_TYPES eType = a_ptrRequest->getServiceType();
    if (eType != CXmlMessage::REQUEST_GET && eType != CXmlMessage::REQUEST_SET)
        return;
    a_ptrRequest->changeRequestToReply(0x02400008, Platform::nowUtcUs());
    {
        std::unique_lock lock(m_objReplyLock);
        m_objReplies.enqueue(a_ptrRequest);
    }
    emit SignalNewJob(GLOBAL_XML_TYPES::ekMT_REPLY);
}

void CCommanThread::connectToMaster(quint16 a_usPort, const QString& a_strId)
{
    {
        std::unique_lock lock(m_objStateMutex);
        m_objRequested.objDescription.strAppGuid = a_strId;
    }
    toManager([&] { emit SignalConnectToMaster(a_usPort, a_strId); });
}

void CCommanThread::setDescription(struCOMMAN_DESCRIPTION& a_objDescription)
{
    log([&] { return QStringLiteral("CCommanThread::setDescription()"); });
    {
        std::unique_lock lock(m_objStateMutex);
        struCOMMAN_DESCRIPTION& objStored = m_objRequested.objDescription;
        objStored.strAppName = a_objDescription.strAppName;
        objStored.strAppVersion = a_objDescription.strAppVersion;
        objStored.strAppBuild = a_objDescription.strAppBuild;
        objStored.strAppInterface = a_objDescription.strAppInterface;
        if (objStored.strAppGuid.isEmpty())
            objStored.strAppGuid = a_objDescription.strAppGuid;
    }
    toManager([&] { emit SignalDescription(a_objDescription); });
}

bool CCommanThread::addConnection(CConnectionThread* a_pThread)
{
    if (!a_pThread)
        return false;
    log([&] { return QStringLiteral("CCommanThread::addConnection()"); });
    a_pThread->moveToThread(this);
    return callOnManager([a_pThread](CComMan* a_pManager) { a_pManager->addConnection(a_pThread); });
}

void CCommanThread::destroyConnection(quint32 a_u32Id)
{
    log([&] { return QStringLiteral("CCommanThread::destroyConnection(%1)").arg(a_u32Id); });
    toManager([&] { emit SignalDestroyConnection(a_u32Id); });
}

void CCommanThread::destroyAllConnections()
{
    log([&] { return QStringLiteral("CCommanThread::destroyAllConnections()"); });
    toManager([&] { emit SignalDestroyAllConnections(); });
}

void CCommanThread::SlotDestroyAllConnections()
{
    log([&] { return QStringLiteral("CCommanThread::SlotDestroyAllConnections()"); });
    destroyAllConnections();
}

QList<struClientData> CCommanThread::getConnectionInfo(quint32 a_u32Id) const
{
    std::unique_lock lock(m_objStateMutex);
    if (a_u32Id == 0)
        return m_mapConnectionInfo.values();
    const auto it = m_mapConnectionInfo.constFind(a_u32Id);
    return it == m_mapConnectionInfo.cend() ? QList<struClientData>() : QList<struClientData>{it.value()};
}

CDataTree CCommanThread::getDebugInfo()
{
    ptrCXmlElement ptrRoot(new CXmlElement(CTagname("DebugInfo")));
    const ptrCXmlElement ptrManagerPart(new CXmlElement(CTagname("DebugInfo")));
    // The manager fills its own part; the tree goes back to the caller only once the call is over.
    if (callOnManager([ptrManagerPart](CComMan* a_pManager) { a_pManager->SlotGetDebugInfo(ptrManagerPart); })) {
        for (const ptrCXmlElement& ptrChild : ptrManagerPart->children())
            ptrRoot->addChild(ptrChild, -1);
    }
    ptrCXmlElement ptrThread(new CXmlElement(CTagname("CommanThread")));
    ptrThread->addChild(textNode("MsgInstanceCounter", QString::number(CXmlMessage::getNumberOfInstances())), -1);
    ptrThread->addChild(textNode("AliveCheck_ProcessDisabled", CAliveCheckManager::isProcessDisabled()
                                                                   ? QStringLiteral("true")
                                                                   : QStringLiteral("false")),
                        -1);
    for (const struClientData& objInfo : getConnectionInfo(0)) {
        ptrCXmlElement ptrConnection(new CXmlElement(CTagname("Connection")));
        ptrConnection->setAttribute("id", QString::number(objInfo.ulConnectionId));
        ptrConnection->addChild(
            textNode("Local", QStringLiteral("%1:%2").arg(objInfo.strLocalAddress).arg(objInfo.usLocalPort)), -1);
        ptrConnection->addChild(
            textNode("Peer", QStringLiteral("%1:%2").arg(objInfo.strPeerAddress).arg(objInfo.usPeerPort)), -1);
        ptrConnection->addChild(textNode("AliveCheck", objInfo.strAliveCheckInfo), -1);
        ptrConnection->addChild(textNode("ThreadId", QString::number(objInfo.ulThreadId)), -1);
        ptrConnection->addChild(textNode("Name", objInfo.strPeerAppName), -1);
        ptrThread->addChild(ptrConnection, -1);
    }
    ptrRoot->addChild(ptrThread, -1);
    return CDataTree(ptrRoot);
}

CDataTree CCommanThread::getMetaInfo() const
{
    std::unique_lock lock(m_objStateMutex);
    return CDataTree(m_objMetaInfo.getElementTree()->copy(true));
}

quint16 CCommanThread::getPort() const
{
    {
        std::unique_lock lock(m_objManagerMutex);
        if (const CComMan* pManager = m_pManager.load())
            return pManager->getPort();
    }
    std::unique_lock lock(m_objStateMutex);
    return m_objRequested.usPort;
}

quint32 CCommanThread::getResmanConnectionId() const
{
    std::unique_lock lock(m_objManagerMutex);
    const CComMan* pManager = m_pManager.load();
    return pManager ? pManager->getResmanConnectionId() : 0;
}

QStringList CCommanThread::getIPs()
{
    return CComMan::getIPs();
}

QList<struNetInterface> CCommanThread::getNetInterfaces()
{
    return CComMan::getNetInterfaces();
}

void CCommanThread::setStartupFault(CFaultTree a_objFault)
{
    if (a_objFault.isNull())
        return;
    log([&] {
        return QStringLiteral("CCommanThread::setStartupFault(): \n%1").arg(a_objFault.getElementTree()->toString());
    });
    {
        std::unique_lock lock(m_objStateMutex);
        m_objStartupFault = a_objFault;
    }
    callOnManager([a_objFault](CComMan* a_pManager) { a_pManager->setStartupFault(a_objFault); });
}

void CCommanThread::RouteTimeoutInc(quint32 a_u32ContinuousId, quint64 a_u64NewTimeout)
{
    if (a_u32ContinuousId != 0)
        toManager([&] { emit SignalRouteTimeoutInc(a_u32ContinuousId, a_u64NewTimeout); });
}

void CCommanThread::SlotNewJob(ptrCXmlMessage a_ptrMsg, GLOBAL_XML_TYPES::eMESSAGE_TYPES a_eType)
{
    std::unique_lock lock(m_objManagerMutex);
    CComMan* pManager = m_pManager.load();
    if (m_bManagerAccepts && pManager)
        QMetaObject::invokeMethod(pManager, "SlotNewJob", Qt::QueuedConnection,
                                  Q_ARG(XmlCommon::ptrCXmlMessage, a_ptrMsg),
                                  Q_ARG(GLOBAL_XML_TYPES::eMESSAGE_TYPES, a_eType));
}

void CCommanThread::SlotMetaInfo(ptrCXmlElement a_ptrInfo)
{
    std::unique_lock lock(m_objStateMutex);
    m_objMetaInfo.setElementTree(a_ptrInfo);
}

void CCommanThread::slotDebugFlagSetup(typMapDbgFlags a_mapSetup)
{
    handleDbgFlagSetup(a_mapSetup);
}

unsigned short CCommanThread::handleDbgFlagSetup(const typMapDbgFlags& a_mapSetup)
{
    const unsigned short usOthers = CDebugFlags::handleDbgFlagSetup(a_mapSetup);
    const QMap<QString, QString> mapClass = a_mapSetup.value(s_strClass);
    // Kept for the interface; sent messages are not kept alive by this library.
    if (mapClass.contains(s_strMsgRefIncrementer))
        m_bMsgRefIncrementer = mapClass.value(s_strMsgRefIncrementer) == QLatin1String("1");
    return usOthers;
}

void CCommanThread::SlotAllConnectionsClosed()
{
    log([&] { return QStringLiteral("CCommanThread::SlotAllConnectionsClosed()"); });
    emit SignalAllConnectionsClosed();
}

void CCommanThread::SlotConnectionInfo(quint32 a_ulConnectionId, struClientData a_objInfo)
{
    log([&] { return QStringLiteral("CCommanThread::SlotConnectionInfo(Id=%1)").arg(a_ulConnectionId); });
    std::unique_lock lock(m_objStateMutex);
    m_mapConnectionInfo.insert(a_ulConnectionId, a_objInfo);
}

void CCommanThread::SlotConnectionClosed(quint32 a_ulConnectionId)
{
    log([&] { return QStringLiteral("CCommanThread::SlotConnectionClosed(Id=%1)").arg(a_ulConnectionId); });
    {
        std::unique_lock lock(m_objStateMutex);
        m_mapConnectionInfo.remove(a_ulConnectionId);
    }
    emit SignalClientConnectionClosed(a_ulConnectionId);
}

void CCommanThread::SlotNewConnection(quint32 a_ulConnectionId)
{
    log([&] { return QStringLiteral("CCommanThread::SlotNewConnection(Id=%1)is called!").arg(a_ulConnectionId); });
    emit SignalNewClientConnection(a_ulConnectionId);
}
}  // namespace XmlCommunication

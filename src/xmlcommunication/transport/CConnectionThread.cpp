#include "CConnectionThread.h"
#include "../../xmlcommon/CXmlMessage_p.h"
#include "../../xmlcommon/ThreadChecker_p.h"

#include "CComMan.h"
#include "CCommanThread.h"
#include "CConnection.h"
#include "ConnectionGate_p.h"
#include "GuardedWake_p.h"

#include <OrvexXmlInterface/platform/Platform.h>
#include <OrvexXmlInterface/xmlcommon/Tagnames.h>
#include <OrvexXmlInterface/xmlcommunication/services/CDebugCenter.h>
#include <OrvexXmlInterface/xmlcommunication/services/CTriggerManager.h>

#include <QtCore/QCoreApplication>
#include <QtCore/QElapsedTimer>
#include <QtCore/QTimer>

#include <mutex>

using namespace XmlCommon;

namespace XmlCommunication
{
namespace
{
const QString s_strClass = QStringLiteral("CConnectionThread");
const QString s_strMsgRefIncrementer = QStringLiteral("MsgRefIncrementer");
const unsigned int s_uiShortRequestTime = 6000000;
// How long a socket that is still open at the end may take to send what it holds and close.
const int s_iCloseBoundMs = 3000;

std::atomic<unsigned int> s_uiIdCounter{0};
}  // namespace

unsigned int CConnectionThread::getNextId()
{
    unsigned int uiLast = s_uiIdCounter.load(std::memory_order_relaxed);
    unsigned int uiNext;
    do {
        uiNext = uiLast + 1 == 0 ? 1 : uiLast + 1;
    } while (!s_uiIdCounter.compare_exchange_weak(uiLast, uiNext, std::memory_order_relaxed));
    return uiNext;
}

CConnectionThread::CConnectionThread(const QString& a_strAddress, quint16 a_usPort, const QString& a_strDebugName,
                                     bool a_bRetry, QObject* a_pParent)
    : QThread(a_pParent), CDebugFlags(s_strClass), m_uiConnectionId(getNextId()), m_strDebugName(a_strDebugName),
      m_ptrOutboxWake(new CGuardedWake), m_ptrGate(new CConnectionGate)
{
    m_objSocketInfo.eType = struSocketInfo::ekSID_IPADDRESS_AND_PORT;
    m_objSocketInfo.strIpAddress = a_strAddress;
    m_objSocketInfo.usPort = a_usPort;
    m_objSocketInfo.bRetryConnection = a_bRetry;
    setUp();
}

CConnectionThread::CConnectionThread(const QString& a_strAddress, quint16 a_usPort, const char* a_pszDebugName,
                                     bool a_bRetry, QObject* a_pParent)
    : CConnectionThread(a_strAddress, a_usPort, QString::fromLatin1(a_pszDebugName), a_bRetry, a_pParent)
{}

CConnectionThread::CConnectionThread(const QString& a_strAddress, quint16 a_usPort, bool a_bRetry, QObject* a_pParent)
    : CConnectionThread(a_strAddress, a_usPort, QString(), a_bRetry, a_pParent)
{}

CConnectionThread::CConnectionThread(qintptr a_typDescriptor, const QString& a_strDebugName, QObject* a_pParent, bool)
    : QThread(a_pParent), CDebugFlags(s_strClass), m_uiConnectionId(getNextId()), m_strDebugName(a_strDebugName),
      m_ptrOutboxWake(new CGuardedWake), m_ptrGate(new CConnectionGate)
{
    m_objSocketInfo.eType = struSocketInfo::ekSID_SOCKET_DESCRIPTOR;
    m_objSocketInfo.typSocketDescriptor = a_typDescriptor;
    m_eLastState = QAbstractSocket::ConnectedState;
    setUp();
}

CConnectionThread::CConnectionThread(qintptr a_typDescriptor, QObject* a_pParent, bool a_bUnused)
    : CConnectionThread(a_typDescriptor, QString(), a_pParent, a_bUnused)
{}

CConnectionThread::CConnectionThread(qintptr a_typDescriptor, const char* a_pszDebugName, QObject* a_pParent,
                                     bool a_bUnused)
    : CConnectionThread(a_typDescriptor, QString::fromLatin1(a_pszDebugName), a_pParent, a_bUnused)
{}

void CConnectionThread::setUp()
{
    registerFlags({{s_strMsgRefIncrementer, QStringLiteral("%1,%2").arg(QStringLiteral("0"), QStringLiteral("1"))}});
    followDebugCenter(this);
    getCurrentDbgFlagSetup();
    CTriggerManager::getInstance();
    connect(this, &CConnectionThread::SignalCompletelyStarted, this, &CConnectionThread::SlotCompletelyStarted,
            Qt::QueuedConnection);
}

CConnectionThread::~CConnectionThread()
{
    if (isLogOn())
        Platform::debugOutput(QStringLiteral("ConnectionThread[%1]::destructor() is called!").arg(m_uiConnectionId));
    waitForFinished(5000);
}

void CConnectionThread::sendMessage(ptrCXmlMessage a_ptrMsg, quint32 a_u32ContinuousId)
{
    if (!a_ptrMsg || a_ptrMsg->isNull())
        return;
    const ptrCXmlMessage ptrCopy = a_ptrMsg->copyShared(true);
    checkTimeout(ptrCopy, a_u32ContinuousId);
    sendMsg(ptrCopy, a_u32ContinuousId);
}

void CConnectionThread::postMessage(ptrCXmlMessage a_ptrMsg, quint32 a_u32ContinuousId)
{
    if (!a_ptrMsg || a_ptrMsg->isNull())
        return;
    // The tree changes hands: the caller's message is left without one.
    const ptrCXmlMessage ptrTaken = a_ptrMsg->copyShared(false);
    ptrTaken->setElementTree(a_ptrMsg->getElementTree());
    a_ptrMsg->setElementTree(ptrCXmlElement());
    checkTimeout(ptrTaken, a_u32ContinuousId);
    sendMsg(ptrTaken, a_u32ContinuousId);
}

void CConnectionThread::sendMessage(ptrCXmlMessage a_ptrMsg, quint32 a_u32ContinuousId, IfTimeoutIncRouter* a_pRouter)
{
    setTimeoutIncRouter(a_pRouter);
    sendMessage(a_ptrMsg, a_u32ContinuousId);
}

void CConnectionThread::postMessage(ptrCXmlMessage a_ptrMsg, quint32 a_u32ContinuousId, IfTimeoutIncRouter* a_pRouter)
{
    setTimeoutIncRouter(a_pRouter);
    postMessage(a_ptrMsg, a_u32ContinuousId);
}

void CConnectionThread::checkTimeout(const ptrCXmlMessage& a_ptrMsg, quint32 a_u32ContinuousId)
{
    if (!a_ptrMsg->isRequest())
        return;
    const quint64 u64Now = Platform::nowMonotonicUs();
    if (quint64(a_ptrMsg->getAvailableTime()) >= quint64(getMinProcessingTime()) + 1000000u) {
        if (a_ptrMsg->getTimeout() == 0)
            a_ptrMsg->setTimeout(u64Now + a_ptrMsg->getAvailableTime());
        return;
    }
    a_ptrMsg->setAvailableTime(s_uiShortRequestTime);
    a_ptrMsg->setTimeout(u64Now + s_uiShortRequestTime);
    if (m_pRouter.load() && a_u32ContinuousId != 0)
        emit SignalRouteTimeoutInc(a_u32ContinuousId, u64Now + s_uiShortRequestTime);
}

void CConnectionThread::sendMsg(const ptrCXmlMessage& a_ptrMsg, quint32 a_u32ContinuousId)
{
    if (!a_ptrMsg || a_ptrMsg->isNull())
        return;
    if (a_ptrMsg->getElementTree()->tagname() == Tag::Destructor)
        m_bShutdownSent = true;
    a_ptrMsg->updateRequestParent();
    std::unique_lock lock(m_objSendMutex);
    switch (m_eSendState) {
    case ekSS_PENDING: m_lstEarly.append({a_ptrMsg, a_u32ContinuousId}); return;
    case ekSS_OPEN: {
        if (m_vecOutbox.empty() && sendAtOnce(a_ptrMsg, a_u32ContinuousId))
            return;
        const bool bWake = addToOutbox(a_ptrMsg, a_u32ContinuousId);
        lock.unlock();
        if (bWake)
            m_ptrOutboxWake->wake();
        return;
    }
    case ekSS_CLOSED: break;
    }
    lock.unlock();
    // The connection is gone: a request is answered at once, so that no host waits for it.
    if (a_ptrMsg->isRequest()) {
        a_ptrMsg->changeRequestToReply(0x02400008, Platform::nowUtcUs());
        emit SignalNewJob(a_ptrMsg, GLOBAL_XML_TYPES::ekMT_REPLY);
    }
}

void CConnectionThread::openSending()
{
    CConnection* pConnection = m_pConnection;
    m_pAtOnceTarget = pConnection;
    m_ptrOutboxWake->set([this, pConnection] {
        QMetaObject::invokeMethod(
            pConnection, [this] { drainOutbox(); }, Qt::QueuedConnection);
    });
    bool bWake = false;
    {
        std::unique_lock lock(m_objSendMutex);
        m_eSendState = ekSS_OPEN;
        for (const auto& objEarly : qAsConst(m_lstEarly))
            bWake = addToOutbox(objEarly.first, objEarly.second) || bWake;
        m_lstEarly.clear();
    }
    if (bWake)
        m_ptrOutboxWake->wake();
}

bool CConnectionThread::sendAtOnce(const ptrCXmlMessage& a_ptrMsg, quint32 a_u32ContinuousId)
{
    // Raw bytes handed over before are still on their way through this thread's queue.
    if (m_iRawPending.load() != 0 || !m_ptrGate->tryEnter())
        return false;
    const bool bSent = m_pAtOnceTarget && m_pAtOnceTarget->sendFromOutside(a_ptrMsg, a_u32ContinuousId);
    m_ptrGate->leave();
    return bSent;
}

bool CConnectionThread::addToOutbox(const ptrCXmlMessage& a_ptrMsg, quint32 a_u32ContinuousId)
{
    m_vecOutbox.emplace_back(a_ptrMsg, a_u32ContinuousId);
    return m_vecOutbox.size() == 1;
}

void CConnectionThread::drainOutbox()
{
    {
        std::unique_lock lock(m_objSendMutex);
        m_vecDraining.swap(m_vecOutbox);
    }
    m_pConnection->sendBatch(m_vecDraining);
    m_vecDraining.clear();
}

void CConnectionThread::sendByteArray(const QByteArray& a_baBytes)
{
    ++m_iRawPending;
    emit SignalSendByteArray(a_baBytes);
}

void CConnectionThread::stopConnectionRetry()
{
    emit SignalStopConnectionRetry();
}

void CConnectionThread::setDebugName(const QString& a_strName)
{
    {
        std::unique_lock lock(m_objInfoMutex);
        m_strDebugName = a_strName;
    }
    emit SignalDebugName(a_strName);
}

QString CConnectionThread::getDebugName() const
{
    std::unique_lock lock(m_objInfoMutex);
    return m_strDebugName;
}

void CConnectionThread::setRetryCycle(unsigned int a_uiSeconds)
{
    m_uiRetryCycle = a_uiSeconds;
    toConnection([a_uiSeconds](CConnection* a_pConnection) { a_pConnection->setRetryCycle(a_uiSeconds); });
}

void CConnectionThread::toConnection(const std::function<void(CConnection*)>& a_fnCall)
{
    // The connection is touched only on its own thread, and only while it exists.
    std::unique_lock lock(m_objSendMutex);
    if (m_eSendState != ekSS_OPEN)
        return;
    CConnection* pConnection = m_pConnection;
    QMetaObject::invokeMethod(
        pConnection, [pConnection, a_fnCall] { a_fnCall(pConnection); }, Qt::QueuedConnection);
}

void CConnectionThread::setTimeoutIncRouter(IfTimeoutIncRouter* a_pRouter)
{
    if (!a_pRouter)
        return;
    CComMan* pManager = dynamic_cast<CComMan*>(a_pRouter);
    if (CCommanThread* pHost = dynamic_cast<CCommanThread*>(a_pRouter))
        pManager = pHost->getComman();
    setTimeoutIncRouter(pManager);
}

void CConnectionThread::setTimeoutIncRouter(CComMan* a_pRouter)
{
    if (!a_pRouter || a_pRouter == m_pRouter.load())
        return;
    m_pRouter = a_pRouter;
    connect(this, &CConnectionThread::SignalRouteTimeoutInc, a_pRouter, &CComMan::slotRouteTimeoutInc,
            Qt::QueuedConnection);
    toConnection([a_pRouter](CConnection* a_pConnection) { a_pConnection->setTimeoutIncRouter(a_pRouter); });
}

struClientData CConnectionThread::getInfo() const
{
    std::unique_lock lock(m_objInfoMutex);
    return m_objLastInfo;
}

void CConnectionThread::run()
{
    // Bookings that a sender left while this thread waited are made before anything is read.
    m_ptrGate->hold([this] {
        if (m_pConnection)
            m_pConnection->settleOutsideWork();
    });
    MessageHome::open();  // the trees of the messages read here come back here to be released
    m_pConnection = new CConnection(m_uiConnectionId, nullptr, QString());
    connectConnection();
    m_pConnection->setConnectTimeout(m_uiConnectTimeout);
    m_pConnection->setRetryCycle(m_uiRetryCycle);
    m_pConnection->setTimeoutIncRouter(m_pRouter.load());
    m_pConnection->setLimits(m_objLimits);
    m_pConnection->init(m_objSocketInfo);
    openSending();
    if (isLogOn())
        Platform::debugOutput(QStringLiteral("ConnectionThread::run(Conn[%1]) is started!").arg(m_uiConnectionId));
    emit SignalCompletelyStarted(m_uiConnectionId);
    setPriority(QThread::HighPriority);
    // A quit asked for before this point is not lost: the loop is not entered.
    if (!m_bQuitRequested.load())
        exec();
    m_bEventLoopLeft = true;
    closeConnection();
    if (isLogOn())
        Platform::debugOutput(QStringLiteral("ConnectionThread::run(Conn[%1]) is finished!").arg(m_uiConnectionId));
    delete m_pConnection;
    m_pConnection = nullptr;
    MessageHome::close();
    m_ptrGate->release();
    OXI_TSAN_RELEASE(this);  // QThread::wait() joins where the checker cannot see it
}

void CConnectionThread::connectConnection()
{
    CConnection* pConnection = m_pConnection;
    connect(
        pConnection, &CConnection::SignalNewJob, pConnection,
        [this](const ptrCXmlMessage& a_ptrMsg, GLOBAL_XML_TYPES::eMESSAGE_TYPES a_eType) { handOn(a_ptrMsg, a_eType); },
        Qt::DirectConnection);
    // The manager's book of the host's own requests is kept from here, under the sink's lock:
    // queued to the manager, every request woke its thread twice.
    connect(
        pConnection, &CConnection::SignalAddSpontaneousRequestMsg, pConnection,
        [this](const ptrCXmlMessage& a_ptrMsg) {
            withSink([&](CComMan* a_pSink) { a_pSink->slotMapRequestMsg(a_ptrMsg); });
        },
        Qt::DirectConnection);
    connect(
        pConnection, &CConnection::SignalRemoveSpontaneousRequest, pConnection,
        [this](quint32 a_u32Id) {
            withSink([&](CComMan* a_pSink) { a_pSink->slotRemoveSpontaneousRequest(a_u32Id); });
        },
        Qt::DirectConnection);
    connect(pConnection, &CConnection::SignalSocketStateChanged, this, &CConnectionThread::SlotSocketStateChanged);
    connect(pConnection, &CConnection::SignalSocketError, this, &CConnectionThread::SignalSocketError);
    connect(pConnection, &CConnection::SignalXmlParserError, this, &CConnectionThread::SignalXmlParserError);
    connect(pConnection, &CConnection::SignalFilterSet, this, &CConnectionThread::SignalFilterSet);
    connect(pConnection, &CConnection::SignalFiltertree, this, &CConnectionThread::SignalFiltertree);
    connect(pConnection, &CConnection::SignalConnectionInfo, this, &CConnectionThread::SlotConnectionInfo);
    connect(this, &CConnectionThread::SignalSendMessage, pConnection, &CConnection::SlotSendMessage,
            Qt::QueuedConnection);
    connect(
        this, &CConnectionThread::SignalSendByteArray, pConnection,
        [this, pConnection](const QByteArray& a_baBytes) {
            pConnection->SlotSendByteArray(a_baBytes);
            --m_iRawPending;
        },
        Qt::QueuedConnection);
    connect(this, &CConnectionThread::SignalStopConnectionRetry, pConnection, &CConnection::SlotStopConnectionRetry,
            Qt::QueuedConnection);
    connect(this, &CConnectionThread::SignalDebugName, pConnection, &CConnection::slotDebugName, Qt::QueuedConnection);
    // The end of the socket ends the loop here on this thread, whatever the manager's thread does.
    connect(
        pConnection, &CConnection::SignalSocketStateChanged, pConnection,
        [this](quint32, QAbstractSocket::SocketState a_eState) {
            if (a_eState == QAbstractSocket::UnconnectedState && (m_bEventLoopLeft.load() || m_bShutdownSent.load()))
                exit(0);
        },
        Qt::DirectConnection);
}

void CConnectionThread::closeConnection()
{
    m_pAtOnceTarget = nullptr;
    m_pConnection->settleOutsideWork();
    {
        std::unique_lock lock(m_objSendMutex);
        m_eSendState = ekSS_CLOSED;
    }
    // A sender that filled the outbox before the close has posted its drain by now, or finds
    // the wake-up withdrawn and leaves the outbox to the drain below.
    m_ptrOutboxWake->withdraw();
    disconnect(this, &CConnectionThread::SignalSendMessage, nullptr, nullptr);
    disconnect(this, &CConnectionThread::SignalSendByteArray, nullptr, nullptr);
    disconnect(this, &CConnectionThread::SignalStopConnectionRetry, nullptr, nullptr);
    disconnect(this, &CConnectionThread::SignalDebugName, nullptr, nullptr);
    // What was handed over before the end is still handled: requests that cannot go out are
    // answered with a fault, so no host waits for them.
    QCoreApplication::sendPostedEvents(m_pConnection);
    drainOutbox();
    if (m_pConnection->getSocketState() == QAbstractSocket::ConnectedState) {
        ptrCXmlMessage ptrDestructor(new CXmlMessage(m_uiConnectionId));
        ptrDestructor->setElementTree(ptrCXmlElement(new CXmlElement(Tag::Destructor)));
        QMetaObject::invokeMethod(m_pConnection, "SlotSendMessage", Qt::QueuedConnection,
                                  Q_ARG(XmlCommon::ptrCXmlMessage, ptrDestructor), Q_ARG(quint32, 0));
        QTimer objBound;
        objBound.setSingleShot(true);
        connect(&objBound, &QTimer::timeout, [this] { exit(0); });
        objBound.start(s_iCloseBoundMs);
        exec();
    } else if (!m_bUnconnectedReported.exchange(true)) {
        emit SignalSocketStateChanged(m_uiConnectionId, QAbstractSocket::UnconnectedState);
    }
}

bool CConnectionThread::waitForFinished(unsigned int a_uiMs)
{
    m_bQuitRequested = true;
    if (!m_bEventLoopLeft.load())
        exit(0);
    QElapsedTimer objTimer;
    objTimer.start();
    while (isRunning() && !isFinished() && objTimer.elapsed() < qint64(a_uiMs)) {
        if (QThread::currentThread() == thread())
            QCoreApplication::processEvents(QEventLoop::AllEvents, 250);
        wait(qMin<unsigned long>(10, a_uiMs));
    }
    if (isRunning() && !isFinished()) {
        Platform::debugOutput(QStringLiteral("CConnectionThread::~CConnectionThread() the waiting for "
                                             "\"thread-is-finished\" has timedout. (%1 ms)")
                                  .arg(a_uiMs));
        return false;
    }
    OXI_TSAN_ACQUIRE(this);
    return true;
}

void CConnectionThread::exitOnCompletion()
{
    m_bQuitRequested = true;
    exit(0);
}

void CConnectionThread::SlotSocketStateChanged(quint32 a_ulConnectionId, QAbstractSocket::SocketState a_eState)
{
    m_eLastState = a_eState;
    if (a_eState == QAbstractSocket::UnconnectedState && m_bUnconnectedReported.exchange(true))
        return;
    emit SignalSocketStateChanged(a_ulConnectionId, a_eState);
}

void CConnectionThread::SlotConnectionInfo(quint32 a_ulConnectionId, struClientData a_objInfo)
{
    {
        std::unique_lock lock(m_objInfoMutex);
        m_objLastInfo = a_objInfo;
    }
    emit SignalConnectionInfo(a_ulConnectionId, a_objInfo);
}

void CConnectionThread::SlotCompletelyStarted(quint32)
{
    emit SignalDebugName(getDebugName());
}

void CConnectionThread::SlotNewJob(ptrCXmlMessage a_ptrMsg, GLOBAL_XML_TYPES::eMESSAGE_TYPES a_eType)
{
    emit SignalNewJob(a_ptrMsg, a_eType);
}

void CConnectionThread::setJobSink(CComMan* a_pSink)
{
    std::lock_guard<std::mutex> lock(m_objSinkMutex);
    m_pSink = a_pSink;
}

template <typename Fn> void CConnectionThread::withSink(Fn a_fnCall)
{
    std::lock_guard<std::mutex> lock(m_objSinkMutex);
    if (m_pSink)
        a_fnCall(m_pSink);
}

void CConnectionThread::handOn(const ptrCXmlMessage& a_ptrMsg, GLOBAL_XML_TYPES::eMESSAGE_TYPES a_eType)
{
    // Straight into the host's queues: a thread crossing less for every message.
    std::lock_guard<std::mutex> lock(m_objSinkMutex);
    if (m_pSink)
        m_pSink->SlotNewJob(a_ptrMsg, a_eType);
    else
        emit SignalNewJob(a_ptrMsg, a_eType);
}

void CConnectionThread::slotDebugFlagSetup(typMapDbgFlags a_mapSetup)
{
    handleDbgFlagSetup(a_mapSetup);
}

unsigned short CConnectionThread::handleDbgFlagSetup(const typMapDbgFlags& a_mapSetup)
{
    const unsigned short usOthers = CDebugFlags::handleDbgFlagSetup(a_mapSetup);
    const QMap<QString, QString> mapClass = a_mapSetup.value(s_strClass);
    // Kept for the interface; sent messages are not kept alive by this library.
    if (mapClass.contains(s_strMsgRefIncrementer))
        m_bMsgRefIncrementer = mapClass.value(s_strMsgRefIncrementer) == QLatin1String("1");
    return usOthers;
}
}  // namespace XmlCommunication

#include "../../xmlcommon/ThreadChecker_p.h"
#include "CTriggerManager_p.h"

#include <OrvexXmlInterface/platform/Platform.h>

#include <QtCore/QCoreApplication>

#include <algorithm>
#include <chrono>

namespace XmlCommunication
{
CTriggerManager* CTriggerManager::m_pobjInstance = nullptr;
CTriggerManager* CTriggerManager::m_pobjLive = nullptr;
std::mutex CTriggerManager::m_objTriggerManMutex;

namespace
{
std::atomic<int> s_iLiveManagers{0};
}

int TriggerTesting::liveManagers()
{
    return s_iLiveManagers.load();
}

int struTriggerManagerAccess::pendingRequests(const IfTriggerReceiver* a_pReceiver)
{
    std::lock_guard<std::mutex> lock(CTriggerManager::m_objTriggerManMutex);
    CTriggerManager* pLive = CTriggerManager::m_pobjLive;
    return pLive ? pLive->m_pobjThread->kernel().countRequests(a_pReceiver) : 0;
}

int TriggerTesting::pendingRequests(const IfTriggerReceiver* a_pReceiver)
{
    return struTriggerManagerAccess::pendingRequests(a_pReceiver);
}

IfTriggerReceiver::~IfTriggerReceiver()
{
    // Under the manager's creation mutex the live manager cannot be torn down meanwhile.
    std::lock_guard<std::mutex> lock(CTriggerManager::m_objTriggerManMutex);
    if (CTriggerManager::m_pobjLive)
        CTriggerManager::m_pobjLive->removeAllRequests(this);
}

quint64 CTriggerManagerKernel::baseSleepUs()
{
    // The rule of the clock-interrupt increment, applied to this platform's wait granularity:
    // u is half a tick; the base sleep is the largest multiple of u below the cycle time, at
    // most five of them.
    const quint64 u64Cycle = quint64(CTriggerManager::m_ulSleepingTime) * 1000u;
    const quint64 u64Unit = Platform::clockTickUs() / 2;
    if (u64Unit == 0)
        return u64Cycle;
    if (u64Unit >= u64Cycle)
        return 0;
    const quint64 u64Count = qBound<quint64>(1, (u64Cycle - 1) / u64Unit, 5);
    return u64Count * u64Unit;
}

quint64 CTriggerManagerKernel::earlyMarginUs()
{
    static const quint64 s_u64Margin = baseSleepUs() / 2;
    return s_u64Margin;
}

CTriggerManagerKernel::CTriggerManagerKernel(const std::atomic<bool>* a_pbStop,
                                             QSharedPointer<std::atomic<bool>> a_ptrAlive)
    : m_pbStop(a_pbStop), m_ptrAlive(std::move(a_ptrAlive)), m_ptrLink(std::make_shared<struLink>())
{
    m_ptrLink->pKernel = this;
}

CTriggerManagerKernel::~CTriggerManagerKernel()
{
    std::lock_guard<std::mutex> lock(m_ptrLink->objMutex);
    m_ptrLink->pKernel = nullptr;
}

void CTriggerManagerKernel::deliver(quint64 a_u64Time, const struRequest& a_objRequest) const
{
    IfTriggerReceiver* pReceiver = a_objRequest.pReceiver;
    QPointer<QObject> ptrObject = a_objRequest.ptrObject;
    QSharedPointer<std::atomic<bool>> ptrAlive = m_ptrAlive;
    // Posted to the receiver's thread; the receiver is touched only there, when the call runs,
    // and only while its QObject part still exists.
    OXI_TSAN_RELEASE(ptrAlive.data());
    QMetaObject::invokeMethod(
        a_objRequest.ptrObject.data(),
        [pReceiver, ptrObject, ptrAlive, a_u64Time] {
            OXI_TSAN_ACQUIRE(ptrAlive.data());
            if (ptrAlive->load() && ptrObject)
                pReceiver->slotSetTrigger(a_u64Time);
        },
        Qt::QueuedConnection);
}

// The receiver's QObject part announces its destruction before anything of it is gone, whatever
// the order of the receiver's base classes; from then on no call is posted to it, and the calls
// posted already are dropped with the object's posted events.
void CTriggerManagerKernel::watchReceiver(QObject* a_pObject, IfTriggerReceiver* a_pReceiver)
{
    {
        std::lock_guard<std::mutex> lock(m_objMutex);
        if (m_setWatched.contains(a_pObject))
            return;
        m_setWatched.insert(a_pObject);
    }
    std::shared_ptr<struLink> ptrLink = m_ptrLink;
    QObject::connect(
        a_pObject, &QObject::destroyed, a_pObject,
        [ptrLink, a_pObject, a_pReceiver] {
            std::lock_guard<std::mutex> lock(ptrLink->objMutex);
            if (ptrLink->pKernel)
                ptrLink->pKernel->receiverDestroyed(a_pObject, a_pReceiver);
        },
        Qt::DirectConnection);
}

void CTriggerManagerKernel::receiverDestroyed(QObject* a_pObject, IfTriggerReceiver* a_pReceiver)
{
    std::lock_guard<std::mutex> lock(m_objMutex);
    m_setWatched.remove(a_pObject);
    for (auto it = m_mapRequests.begin(); it != m_mapRequests.end();)
        it = it->pReceiver == a_pReceiver ? m_mapRequests.erase(it) : std::next(it);
}

bool CTriggerManagerKernel::addRequest(quint64 a_u64Time, IfTriggerReceiver* a_pReceiver)
{
    if (!a_pReceiver)
        return false;
    QObject* pObject = dynamic_cast<QObject*>(a_pReceiver);
    if (!pObject)
        return false;
    watchReceiver(pObject, a_pReceiver);
    const struRequest objRequest{a_pReceiver, QPointer<QObject>(pObject)};
    std::lock_guard<std::mutex> lock(m_objMutex);
    if (Platform::nowMonotonicUs() >= a_u64Time) {
        deliver(a_u64Time, objRequest);
        return true;
    }
    m_mapRequests.insert(a_u64Time, objRequest);
    if (m_u64PlannedWakeUs == 0 || a_u64Time < m_u64PlannedWakeUs + earlyMarginUs())
        m_objWake.notify_all();
    return true;
}

void CTriggerManagerKernel::removeRequest(quint64 a_u64Time, IfTriggerReceiver* a_pReceiver)
{
    std::lock_guard<std::mutex> lock(m_objMutex);
    for (auto it = m_mapRequests.find(a_u64Time); it != m_mapRequests.end() && it.key() == a_u64Time; ++it) {
        if (it->pReceiver == a_pReceiver) {
            m_mapRequests.erase(it);
            return;
        }
    }
}

void CTriggerManagerKernel::removeAllRequests(IfTriggerReceiver* a_pReceiver)
{
    std::lock_guard<std::mutex> lock(m_objMutex);
    for (auto it = m_mapRequests.begin(); it != m_mapRequests.end();)
        it = it->pReceiver == a_pReceiver ? m_mapRequests.erase(it) : std::next(it);
}

int CTriggerManagerKernel::countRequests(const IfTriggerReceiver* a_pReceiver)
{
    std::lock_guard<std::mutex> lock(m_objMutex);
    return int(
        std::count_if(m_mapRequests.cbegin(), m_mapRequests.cend(), [a_pReceiver](const struRequest& a_objRequest) {
            return a_objRequest.pReceiver == a_pReceiver;
        }));
}

void CTriggerManagerKernel::wake()
{
    std::lock_guard<std::mutex> lock(m_objMutex);
    m_objWake.notify_all();
}

void CTriggerManagerKernel::run()
{
    const quint64 u64Margin = earlyMarginUs();
    std::unique_lock<std::mutex> lock(m_objMutex);
    while (!m_pbStop->load()) {
        // Serve in order of time, everything due within the early margin.
        while (!m_mapRequests.isEmpty() && m_mapRequests.firstKey() <= Platform::nowMonotonicUs() + u64Margin) {
            deliver(m_mapRequests.firstKey(), m_mapRequests.first());
            m_mapRequests.erase(m_mapRequests.begin());
        }
        const quint64 u64Now = Platform::nowMonotonicUs();
        // With nothing left the thread still wakes when it had planned to: a request made
        // meanwhile and due later then needs no wake-up of its own.
        if (!m_mapRequests.isEmpty())
            m_u64PlannedWakeUs = m_mapRequests.firstKey() - u64Margin;
        else if (m_u64PlannedWakeUs <= u64Now)
            m_u64PlannedWakeUs = 0;
        if (m_u64PlannedWakeUs == 0)
            m_objWake.wait(lock);
        else if (m_u64PlannedWakeUs > u64Now)
            m_objWake.wait_for(lock, std::chrono::microseconds(m_u64PlannedWakeUs - u64Now));
    }
}

CTriggerManagerThread::CTriggerManagerThread(const std::atomic<bool>* a_pbStop,
                                             QSharedPointer<std::atomic<bool>> a_ptrAlive)
    : m_objKernel(a_pbStop, std::move(a_ptrAlive))
{}

CTriggerManagerThread::~CTriggerManagerThread() = default;

bool CTriggerManagerThread::addRequest(quint64 a_u64Time, IfTriggerReceiver* a_pReceiver)
{
    return m_objKernel.addRequest(a_u64Time, a_pReceiver);
}

void CTriggerManagerThread::removeRequest(quint64 a_u64Time, IfTriggerReceiver* a_pReceiver)
{
    m_objKernel.removeRequest(a_u64Time, a_pReceiver);
}

void CTriggerManagerThread::removeAllRequests(IfTriggerReceiver* a_pReceiver)
{
    m_objKernel.removeAllRequests(a_pReceiver);
}

void CTriggerManagerThread::wake()
{
    m_objKernel.wake();
}

void CTriggerManagerThread::run()
{
    m_u64ThreadId = Platform::currentThreadId();
    setPriority(QThread::TimeCriticalPriority);
    m_objRunning.release();
    m_objKernel.run();
    OXI_TSAN_RELEASE(this);  // QThread::wait() joins where the checker cannot see it
}

CTriggerManager::CTriggerManager() : m_ptrAlive(QSharedPointer<std::atomic<bool>>::create(true))
{
    ++s_iLiveManagers;
    m_pobjThread = new CTriggerManagerThread(&m_bStop, m_ptrAlive);
    m_pobjThread->start();
    m_pobjThread->waitUntilRunning();
}

CTriggerManager::~CTriggerManager()
{
    {
        std::lock_guard<std::mutex> lock(m_objTriggerManMutex);
        if (m_pobjLive == this)
            m_pobjLive = nullptr;
    }
    m_ptrAlive->store(false);
    m_bStop = true;
    m_pobjThread->wake();
    m_pobjThread->wait();
    OXI_TSAN_ACQUIRE(m_pobjThread);
    delete m_pobjThread;
    --s_iLiveManagers;
}

ptrCTriggerManager CTriggerManager::getInstance()
{
    std::lock_guard<std::mutex> lock(m_objTriggerManMutex);
    if (!m_pobjInstance) {
        m_pobjInstance = new CTriggerManager;
        m_pobjInstance->ref.ref();
        m_pobjLive = m_pobjInstance;
        // Released with the application object, before static objects are destroyed.
        qAddPostRoutine(&CTriggerManager::destroy);
    }
    return ptrCTriggerManager(m_pobjInstance);
}

void CTriggerManager::destroy()
{
    CTriggerManager* pLast = nullptr;
    {
        std::lock_guard<std::mutex> lock(m_objTriggerManMutex);
        std::swap(pLast, m_pobjInstance);
    }
    if (pLast && !pLast->ref.deref())
        delete pLast;
}

void CTriggerManager::microSleep(unsigned long a_ulMicroseconds)
{
    QThread::usleep(a_ulMicroseconds);
}

bool CTriggerManager::addRequest(quint64 a_u64Time, IfTriggerReceiver* a_pReceiver)
{
    return m_pobjThread->addRequest(a_u64Time, a_pReceiver);
}

void CTriggerManager::removeRequest(quint64 a_u64Time, IfTriggerReceiver* a_pReceiver)
{
    m_pobjThread->removeRequest(a_u64Time, a_pReceiver);
}

void CTriggerManager::removeAllRequests(IfTriggerReceiver* a_pReceiver)
{
    m_pobjThread->removeAllRequests(a_pReceiver);
}

quint64 CTriggerManager::getThreadId() const
{
    return m_pobjThread->getThreadId();
}
}  // namespace XmlCommunication

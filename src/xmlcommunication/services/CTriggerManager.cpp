#include "CTriggerManager.h"

#include <OrvexXmlInterface/platform/Platform.h>

#include <chrono>

#if defined(OXI_TSAN_BUILD)
#include <sanitizer/tsan_interface.h>
// Qt's event queue and thread join are not instrumented: tell the checker that posting a call
// happens before running it, and that the worker's end happens before its deletion.
#define OXI_TSAN_RELEASE(a_pAddress) __tsan_release(a_pAddress)
#define OXI_TSAN_ACQUIRE(a_pAddress) __tsan_acquire(a_pAddress)
#else
#define OXI_TSAN_RELEASE(a_pAddress)
#define OXI_TSAN_ACQUIRE(a_pAddress)
#endif

namespace XmlCommunication
{
ptrCTriggerManager CTriggerManager::m_pobjInstance;
CTriggerManager* CTriggerManager::m_pobjLive = nullptr;
std::mutex CTriggerManager::m_objTriggerManMutex;

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
    : m_pbStop(a_pbStop), m_ptrAlive(std::move(a_ptrAlive))
{}

void CTriggerManagerKernel::deliver(quint64 a_u64Time, const struRequest& a_objRequest) const
{
    IfTriggerReceiver* pReceiver = a_objRequest.pReceiver;
    QSharedPointer<std::atomic<bool>> ptrAlive = m_ptrAlive;
    // Posted to the receiver's thread; the receiver is touched only there, when the call runs.
    OXI_TSAN_RELEASE(ptrAlive.data());
    QMetaObject::invokeMethod(
        a_objRequest.pObject,
        [pReceiver, ptrAlive, a_u64Time] {
            OXI_TSAN_ACQUIRE(ptrAlive.data());
            if (ptrAlive->load())
                pReceiver->slotSetTrigger(a_u64Time);
        },
        Qt::QueuedConnection);
}

bool CTriggerManagerKernel::addRequest(quint64 a_u64Time, IfTriggerReceiver* a_pReceiver)
{
    if (!a_pReceiver)
        return false;
    const struRequest objRequest{a_pReceiver, dynamic_cast<QObject*>(a_pReceiver)};
    if (!objRequest.pObject)
        return false;
    std::lock_guard<std::mutex> lock(m_objMutex);
    if (Platform::nowMonotonicUs() >= a_u64Time) {
        deliver(a_u64Time, objRequest);
        return true;
    }
    const bool bEarliest = m_mapRequests.isEmpty() || a_u64Time < m_mapRequests.firstKey();
    m_mapRequests.insert(a_u64Time, objRequest);
    if (bEarliest)
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
        if (m_mapRequests.isEmpty()) {
            m_objWake.wait(lock);
            continue;
        }
        const quint64 u64Now = Platform::nowMonotonicUs();
        const quint64 u64Wake = m_mapRequests.firstKey() - u64Margin;
        if (u64Wake > u64Now)
            m_objWake.wait_for(lock, std::chrono::microseconds(u64Wake - u64Now));
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
    m_objKernel.run();
    OXI_TSAN_RELEASE(this);  // QThread::wait() joins where the checker cannot see it
}

CTriggerManager::CTriggerManager() : m_ptrAlive(QSharedPointer<std::atomic<bool>>::create(true))
{
    m_pobjThread = new CTriggerManagerThread(&m_bStop, m_ptrAlive);
    m_pobjThread->start();
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
}

ptrCTriggerManager CTriggerManager::getInstance()
{
    std::lock_guard<std::mutex> lock(m_objTriggerManMutex);
    if (!m_pobjInstance) {
        m_pobjInstance = ptrCTriggerManager(new CTriggerManager);
        m_pobjLive = m_pobjInstance.data();
    }
    return m_pobjInstance;
}

void CTriggerManager::destroy()
{
    ptrCTriggerManager ptrLast;
    {
        std::lock_guard<std::mutex> lock(m_objTriggerManMutex);
        ptrLast.swap(m_pobjInstance);
    }
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

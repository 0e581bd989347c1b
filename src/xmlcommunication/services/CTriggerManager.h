#pragma once

#include <OrvexXmlInterface/OxiExport.h>

#include <QtCore/QExplicitlySharedDataPointer>
#include <QtCore/QMultiMap>
#include <QtCore/QObject>
#include <QtCore/QSharedData>
#include <QtCore/QSharedPointer>
#include <QtCore/QThread>

#include <atomic>
#include <condition_variable>
#include <mutex>

namespace XmlCommunication
{
// A receiver of timer calls. Implementers are QObjects; the call arrives on the receiver's own
// thread through its event loop. Destroying a receiver removes all of its requests, and a call
// already on its way to a destroyed receiver is dropped with the receiver's posted events.
class OXI_EXPORT IfTriggerReceiver
{
public:
    virtual ~IfTriggerReceiver();
    // a_u64Timestamp: the monotonic time under which the request was registered.
    virtual void slotSetTrigger(quint64 a_u64Timestamp) = 0;
};

class CTriggerManager;
class CTriggerManagerThread;
using ptrCTriggerManager = QExplicitlySharedDataPointer<CTriggerManager>;

// Holds the registered requests and runs the watch loop on the worker thread. The loop sleeps
// until the earliest request is due (less the early margin) and is woken when an earlier one
// arrives or the manager stops, so an idle process costs nothing.
class OXI_EXPORT CTriggerManagerKernel : public QObject
{
    Q_OBJECT

public:
    CTriggerManagerKernel(const std::atomic<bool>* a_pbStop, QSharedPointer<std::atomic<bool>> a_ptrAlive);

    bool addRequest(quint64 a_u64Time, IfTriggerReceiver* a_pReceiver);
    void removeRequest(quint64 a_u64Time, IfTriggerReceiver* a_pReceiver);
    void removeAllRequests(IfTriggerReceiver* a_pReceiver);
    void run();
    void wake();

    // Half the base sleep: how early a request may be served.
    static quint64 earlyMarginUs();
    static quint64 baseSleepUs();

private:
    struct struRequest
    {
        IfTriggerReceiver* pReceiver;
        QObject* pObject;  // resolved when the request is made, never on the worker thread
    };

    void deliver(quint64 a_u64Time, const struRequest& a_objRequest) const;

    QMultiMap<quint64, struRequest> m_mapRequests;
    // Standard locks rather than Qt's here: ThreadSanitizer sees through them, so the one place
    // where threads meet head-on can be checked for races.
    std::mutex m_objMutex;
    std::condition_variable m_objWake;
    const std::atomic<bool>* m_pbStop;
    QSharedPointer<std::atomic<bool>> m_ptrAlive;
};

class OXI_EXPORT CTriggerManagerThread : public QThread
{
    Q_OBJECT

public:
    CTriggerManagerThread(const std::atomic<bool>* a_pbStop, QSharedPointer<std::atomic<bool>> a_ptrAlive);
    ~CTriggerManagerThread() override;

    bool addRequest(quint64 a_u64Time, IfTriggerReceiver* a_pReceiver);
    void removeRequest(quint64 a_u64Time, IfTriggerReceiver* a_pReceiver);
    void removeAllRequests(IfTriggerReceiver* a_pReceiver);
    void wake();
    quint64 getThreadId() const { return m_u64ThreadId; }
    static void microSleep(unsigned long a_ulMicroseconds) { QThread::usleep(a_ulMicroseconds); }

protected:
    void run() override;

private:
    CTriggerManagerKernel m_objKernel;
    std::atomic<quint64> m_u64ThreadId{0};
};

// The process-wide timer service: a receiver registers a monotonic time (microseconds) and is
// called back through slotSetTrigger on its own thread when it is due.
class OXI_EXPORT CTriggerManager : public QObject, public QSharedData
{
    Q_OBJECT

public:
    static const unsigned int m_ulSleepingTime = 50;  // cycle time, ms

    static ptrCTriggerManager getInstance();
    // Drops the process's reference; the manager ends when its last user lets go. Its thread is
    // joined, and nothing is delivered after that, not even calls already on their way.
    static void destroy();

    ~CTriggerManager() override;

    bool addRequest(quint64 a_u64Time, IfTriggerReceiver* a_pReceiver);
    void removeRequest(quint64 a_u64Time, IfTriggerReceiver* a_pReceiver);
    void removeAllRequests(IfTriggerReceiver* a_pReceiver);
    static unsigned int getCycleTime() { return m_ulSleepingTime; }
    quint64 getThreadId() const;
    static void microSleep(unsigned long a_ulMicroseconds) { QThread::usleep(a_ulMicroseconds); }

private:
    friend class IfTriggerReceiver;
    CTriggerManager();

    CTriggerManagerThread* m_pobjThread;
    std::atomic<bool> m_bStop{false};
    QSharedPointer<std::atomic<bool>> m_ptrAlive;

    static ptrCTriggerManager m_pobjInstance;
    static CTriggerManager* m_pobjLive;  // the manager that exists, referenced or not
    static std::mutex m_objTriggerManMutex;
};
}  // namespace XmlCommunication

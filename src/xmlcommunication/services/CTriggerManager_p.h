#pragma once

#include "CTriggerManager.h"

#include <QtCore/QMultiMap>
#include <QtCore/QPointer>
#include <QtCore/QSemaphore>
#include <QtCore/QSet>
#include <QtCore/QThread>

#include <condition_variable>
#include <memory>

namespace XmlCommunication
{
// Holds the registered requests and runs the watch loop on the worker thread. The loop sleeps
// until the earliest request is due (less the early margin) and is woken when an earlier one
// arrives or the manager stops, so an idle process costs nothing.
class OXI_PRIVATE_EXPORT CTriggerManagerKernel : public QObject
{
    Q_OBJECT

public:
    CTriggerManagerKernel(const std::atomic<bool>* a_pbStop, QSharedPointer<std::atomic<bool>> a_ptrAlive);
    ~CTriggerManagerKernel() override;

    bool addRequest(quint64 a_u64Time, IfTriggerReceiver* a_pReceiver);
    void removeRequest(quint64 a_u64Time, IfTriggerReceiver* a_pReceiver);
    void removeAllRequests(IfTriggerReceiver* a_pReceiver);
    int countRequests(const IfTriggerReceiver* a_pReceiver);
    void run();
    void wake();

    // Half the base sleep: how early a request may be served.
    static quint64 earlyMarginUs();
    static quint64 baseSleepUs();

private:
    struct struRequest
    {
        IfTriggerReceiver* pReceiver;
        // Resolved when the request is made, on the caller's thread; the guard is checked only
        // where the call runs, on the receiver's own thread.
        QPointer<QObject> ptrObject;
    };
    // Lets a receiver's destruction reach the kernel only while the kernel exists.
    struct struLink
    {
        std::mutex objMutex;
        CTriggerManagerKernel* pKernel;
    };

    void deliver(quint64 a_u64Time, const struRequest& a_objRequest) const;
    void watchReceiver(QObject* a_pObject, IfTriggerReceiver* a_pReceiver);
    void receiverDestroyed(QObject* a_pObject, IfTriggerReceiver* a_pReceiver);

    QMultiMap<quint64, struRequest> m_mapRequests;
    QSet<QObject*> m_setWatched;  // receivers whose destruction removes their requests
    // Standard locks rather than Qt's here: ThreadSanitizer sees through them, so the one place
    // where threads meet head-on can be checked for races.
    std::mutex m_objMutex;
    std::condition_variable m_objWake;
    // When the thread wakes next at the latest (0: not before it is woken). A request due later
    // needs no wake-up: requests come and go far more often than they fall due.
    quint64 m_u64PlannedWakeUs = 0;
    const std::atomic<bool>* m_pbStop;
    QSharedPointer<std::atomic<bool>> m_ptrAlive;
    std::shared_ptr<struLink> m_ptrLink;
};

class OXI_PRIVATE_EXPORT CTriggerManagerThread : public QThread
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
    CTriggerManagerKernel& kernel() { return m_objKernel; }
    // Returns once run() has begun: the thread's id is known and everything Qt makes for a
    // thread exists.
    void waitUntilRunning() { m_objRunning.acquire(); }

protected:
    void run() override;

private:
    CTriggerManagerKernel m_objKernel;
    std::atomic<quint64> m_u64ThreadId{0};
    QSemaphore m_objRunning;
};

namespace TriggerTesting
{
// How many trigger managers exist right now (0 once the last one has joined its thread).
OXI_PRIVATE_EXPORT int liveManagers();
// How many requests of the receiver the live manager holds.
OXI_PRIVATE_EXPORT int pendingRequests(const IfTriggerReceiver* a_pReceiver);
}  // namespace TriggerTesting

struct struTriggerManagerAccess
{
    static int pendingRequests(const IfTriggerReceiver* a_pReceiver);
};
}  // namespace XmlCommunication

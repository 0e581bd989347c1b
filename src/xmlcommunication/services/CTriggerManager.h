#pragma once

#include <OrvexXmlInterface/OxiExport.h>

#include <QtCore/QExplicitlySharedDataPointer>
#include <QtCore/QObject>
#include <QtCore/QSharedData>
#include <QtCore/QSharedPointer>

#include <atomic>
#include <mutex>

namespace XmlCommunication
{
// A receiver of timer calls. Implementers are QObjects (with the two bases in either order); the
// call arrives on the receiver's own thread through its event loop. A destroyed receiver is never
// called: its requests go when its QObject part starts to be destroyed, and calls already posted
// go with the object's posted events.
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

// The process-wide timer service: a receiver registers a monotonic time (microseconds) and is
// called back through slotSetTrigger on its own thread when it is due.
//
// The instance is made on first use and released when the application object is destroyed (or
// by destroy()); it ends when its last user lets go, joining its thread then, never during the
// destruction of static objects. Nothing is delivered after that, not even calls on their way.
class OXI_EXPORT CTriggerManager : public QObject, public QSharedData
{
    Q_OBJECT

public:
    static const unsigned int m_ulSleepingTime = 50;  // cycle time, ms

    static ptrCTriggerManager getInstance();
    // Drops the process's reference; a later getInstance() makes a new manager.
    static void destroy();

    ~CTriggerManager() override;

    bool addRequest(quint64 a_u64Time, IfTriggerReceiver* a_pReceiver);
    void removeRequest(quint64 a_u64Time, IfTriggerReceiver* a_pReceiver);
    void removeAllRequests(IfTriggerReceiver* a_pReceiver);
    static unsigned int getCycleTime() { return m_ulSleepingTime; }
    quint64 getThreadId() const;
    static void microSleep(unsigned long a_ulMicroseconds);

private:
    friend class IfTriggerReceiver;
    friend struct struTriggerManagerAccess;
    CTriggerManager();

    CTriggerManagerThread* m_pobjThread;
    std::atomic<bool> m_bStop{false};
    QSharedPointer<std::atomic<bool>> m_ptrAlive;

    // A plain pointer holding the process's reference: no destructor of a static object joins
    // the thread at process exit.
    static CTriggerManager* m_pobjInstance;
    static CTriggerManager* m_pobjLive;  // the manager that exists, referenced or not
    static std::mutex m_objTriggerManMutex;
};
}  // namespace XmlCommunication

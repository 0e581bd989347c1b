#pragma once

#include <functional>
#include <mutex>

namespace XmlCommunication
{
// Held by a connection's thread all the time it runs, except while its event loop waits in
// poll for the socket or a wake-up. Another thread that gets the gate knows the connection's
// thread is waiting and touches nothing, so that it may act for it for a moment: write a message
// that would otherwise cost a wake-up of that thread and a hand-over of the message's tree.
//
// The gate opens only where the thread's event loop is glib's, whose poll can be wrapped; in any
// other loop it stays shut and every message takes the usual way.
class CConnectionGate
{
public:
    // On the connection's thread, at the start and at the end of its run. a_fnAfterVisit runs on
    // it when it takes the gate back after another thread was in, before it handles anything.
    void hold(std::function<void()> a_fnAfterVisit);
    void release();
    // On any other thread; never waits. A thread in one gate gets no second one.
    bool tryEnter();
    void leave();

    // The connection's thread around its poll.
    void openWhileWaiting() { m_objMutex.unlock(); }
    void takeBack();

private:
    std::mutex m_objMutex;
    // Under the gate.
    bool m_bOpens = false;  // the poll is wrapped
    bool m_bVisited = false;
    std::function<void()> m_fnAfterVisit;
};
}  // namespace XmlCommunication

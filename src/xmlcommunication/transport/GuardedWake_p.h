#pragma once

#include <functional>
#include <mutex>

namespace XmlCommunication
{
// A wake-up of another thread that its owner can withdraw: waking and withdrawing take the same
// lock, so that nothing is posted to an object once its owner has let it go. The waking thread
// calls it after releasing its own locks, so that the woken thread does not wake only to wait.
class CGuardedWake
{
public:
    void set(std::function<void()> a_fnWake)
    {
        std::lock_guard<std::mutex> lock(m_objMutex);
        m_fnWake = std::move(a_fnWake);
    }
    void withdraw() { set(nullptr); }
    void wake()
    {
        std::lock_guard<std::mutex> lock(m_objMutex);
        if (m_fnWake)
            m_fnWake();
    }

private:
    std::mutex m_objMutex;
    std::function<void()> m_fnWake;  // empty once withdrawn
};
}  // namespace XmlCommunication

#pragma once

#include <OrvexXmlInterface/xmlcommon/CXmlElement.h>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <ctime>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

// A request shaped like the system's real messages: a few fragments with nested records of
// typed values carrying units, the odd text that needs escaping, grown to about a_iBytes of wire text.
XmlCommon::ptrCXmlElement makeRealisticMessage(int a_iBytes);

QByteArray wireText(const XmlCommon::ptrCXmlElement& a_ptrTree);

// Wall time, and processor time: on a machine shared with other work, wall time mostly measures
// the others.
inline double wallSeconds()
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}
inline double processorSeconds()
{
    return double(std::clock()) / CLOCKS_PER_SEC;
}

// Times a and b in alternating batches of a_iBatch steps, so that the ratio of each pair is
// measured under the same load, and returns the median of the ratios a / b; a_fnBetween runs
// untimed after each pair.
template <typename Now, typename A, typename B, typename Between>
double medianRatio(benchmark::State& a_state, int a_iBatch, Now a_fnNow, A a_fnA, B a_fnB, Between a_fnBetween)
{
    auto timeBatch = [&](auto& a_fnStep) {
        const double dStart = a_fnNow();
        for (int i = 0; i < a_iBatch; ++i)
            a_fnStep();
        return a_fnNow() - dStart;
    };
    std::vector<double> vecRatios;
    for (auto _ : a_state) {
        const bool bAFirst = vecRatios.size() % 2 == 0;
        const double dFirst = bAFirst ? timeBatch(a_fnA) : timeBatch(a_fnB);
        const double dSecond = bAFirst ? timeBatch(a_fnB) : timeBatch(a_fnA);
        vecRatios.push_back(bAFirst ? dFirst / dSecond : dSecond / dFirst);
        a_fnBetween();
    }
    std::sort(vecRatios.begin(), vecRatios.end());
    return vecRatios.empty() ? 0 : vecRatios[vecRatios.size() / 2];
}

// A thread of its own that runs one job at a time for the caller and waits with it: its heap
// blocks come from an allocator arena and thread caches of its own, as a connection's do.
class CApartThread
{
public:
    CApartThread() : m_objThread([this] { loop(); }) {}
    ~CApartThread()
    {
        {
            std::lock_guard<std::mutex> lock(m_objMutex);
            m_bEnd = true;
        }
        m_objWake.notify_all();
        m_objThread.join();
    }
    CApartThread(const CApartThread&) = delete;
    CApartThread& operator=(const CApartThread&) = delete;

    // Runs a_fnJob there and returns when it is done.
    void run(std::function<void()> a_fnJob)
    {
        std::unique_lock<std::mutex> lock(m_objMutex);
        m_fnJob = std::move(a_fnJob);
        m_objWake.notify_all();
        m_objWake.wait(lock, [this] { return !m_fnJob; });
    }

private:
    void loop()
    {
        std::unique_lock<std::mutex> lock(m_objMutex);
        for (;;) {
            m_objWake.wait(lock, [this] { return m_bEnd || m_fnJob; });
            if (!m_fnJob)
                return;
            m_fnJob();
            m_fnJob = nullptr;
            m_objWake.notify_all();
        }
    }

    std::mutex m_objMutex;
    std::condition_variable m_objWake;
    std::function<void()> m_fnJob;
    bool m_bEnd = false;
    std::thread m_objThread;
};

// As medianRatio, with a and b (and what follows each after the pair) each on a thread of its
// own, each batch timed where it runs: neither meets the heap blocks the other released, as
// with two connections.
template <typename A, typename B, typename AfterA, typename AfterB>
double medianRatioApart(benchmark::State& a_state, int a_iBatch, A a_fnA, B a_fnB, AfterA a_fnAfterA, AfterB a_fnAfterB)
{
    CApartThread objThreadA, objThreadB;
    auto timeBatch = [a_iBatch](CApartThread& a_objThread, auto& a_fnStep) {
        double dSeconds = 0;
        a_objThread.run([&] {
            const double dStart = wallSeconds();
            for (int i = 0; i < a_iBatch; ++i)
                a_fnStep();
            dSeconds = wallSeconds() - dStart;
        });
        return dSeconds;
    };
    std::vector<double> vecRatios;
    for (auto _ : a_state) {
        const bool bAFirst = vecRatios.size() % 2 == 0;
        const double dFirst = bAFirst ? timeBatch(objThreadA, a_fnA) : timeBatch(objThreadB, a_fnB);
        const double dSecond = bAFirst ? timeBatch(objThreadB, a_fnB) : timeBatch(objThreadA, a_fnA);
        vecRatios.push_back(bAFirst ? dFirst / dSecond : dSecond / dFirst);
        objThreadA.run(a_fnAfterA);
        objThreadB.run(a_fnAfterB);
    }
    std::sort(vecRatios.begin(), vecRatios.end());
    return vecRatios.empty() ? 0 : vecRatios[vecRatios.size() / 2];
}

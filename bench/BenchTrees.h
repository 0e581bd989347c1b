#pragma once

#include <OrvexXmlInterface/xmlcommon/CXmlElement.h>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <ctime>
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

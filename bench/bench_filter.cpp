// Filter decisions for one connection: a peer that subscribed to eight components and three
// fragment patterns receives an event of three fragments of about 1 kB each (one selected by
// component, one by the last pattern, one by nothing). Measured against what an event costs
// anyway on its way out: the bare positive tree filter over the same event with the equivalent
// path filter, and a deep copy of the event tree.
#include "BenchTrees.h"

#include <OrvexXmlInterface/xmlcommon/CXmlMessage.h>
#include <OrvexXmlInterface/xmlcommon/Tagnames.h>
#include <OrvexXmlInterface/xmlcommon/XmlTreeTools.h>
#include <OrvexXmlInterface/xmlcommunication/converters/CFilterConverter.h>
#include <OrvexXmlInterface/xmlcommunication/services/CFilterProcessor.h>

#include <benchmark/benchmark.h>

#include <functional>

using namespace XmlCommon;
using namespace XmlCommunication;

namespace
{
const char* const s_apszComponents[] = {"Tuner",     "Storage",  "ResourceManager", "Datastream",
                                        "Scheduler", "Recorder", "Replay",          "Classifier"};

ptrCXmlElement element(const char* a_pszName, const char* a_pszAttribute = nullptr, const char* a_pszValue = nullptr)
{
    ptrCXmlElement ptr(new CXmlElement(CTagname(a_pszName)));
    if (a_pszAttribute)
        ptr->setAttribute(a_pszAttribute, QString::fromLatin1(a_pszValue));
    return ptr;
}

// A pattern: component element with a version and one data child with a kind attribute.
ptrCXmlElement pattern(const char* a_pszComponent, const char* a_pszData, const char* a_pszKind)
{
    ptrCXmlElement ptr = element(a_pszComponent, "version", "2");
    ptr->addChild(element(a_pszData, "kind", a_pszKind), -1);
    return ptr;
}

class CBenchFilterConverter : public CFilterConverter
{
public:
    using CFilterConverter::subscribeToConverter;
};

struct struSetup
{
    CFilterProcessor objProcessor{1};
    ptrCXmlMessage ptrEvent;
    ptrCXmlElement ptrPathFilter;  // the same subscriptions as plain paths

    struSetup()
    {
        CBenchFilterConverter objFilter;
        for (const char* pszComponent : s_apszComponents)
            objFilter.subscribeToComponent(QString::fromLatin1(pszComponent));
        objFilter.subscribeToConverter(pattern("Spectrum", "Trace", "peak"));
        objFilter.subscribeToConverter(pattern("Detector", "Hit", "burst"));
        objFilter.subscribeToConverter(pattern("Status", "Unit", "cpu"));
        objProcessor.setFilter(objFilter.getFilterTree(), true);

        ptrPathFilter = element("Event");
        for (const char* pszComponent : s_apszComponents) {
            ptrCXmlElement ptrPath = element(pszComponent);
            ptrPath->addChild(element("All"), -1);
            ptrPathFilter->addChild(ptrPath, -1);
        }

        ptrEvent = ptrCXmlMessage(new CXmlMessage(1));
        ptrEvent->setServiceType(CXmlMessage::BROADCAST);
        ptrEvent->addFragment(CMsgFragment(fragment("Storage", nullptr)));
        ptrEvent->addFragment(CMsgFragment(fragment("Status", "cpu")));
        ptrEvent->addFragment(CMsgFragment(fragment("Antenna", "mast")));
    }

    // A component element holding about 1 kB of records; with a kind, shaped to meet a pattern.
    static ptrCXmlElement fragment(const char* a_pszComponent, const char* a_pszKind)
    {
        ptrCXmlElement ptrFragment = element(a_pszComponent, "version", "2");
        ptrCXmlElement ptrData = a_pszKind ? element("Unit", "kind", a_pszKind) : element("RecordList");
        ptrFragment->addChild(ptrData, -1);
        const ptrCXmlElement ptrSample = makeRealisticMessage(1000)->getChildAt(0)->getChildAt(0);
        for (const ptrCXmlElement& ptrRecord : ptrSample->children())
            ptrData->addChild(ptrRecord, -1);
        return ptrFragment;
    }
};

void BM_FilterProcessor(benchmark::State& a_state)
{
    struSetup objSetup;
    for (auto _ : a_state)
        benchmark::DoNotOptimize(objSetup.objProcessor.applyFilter(objSetup.ptrEvent));
    a_state.SetItemsProcessed(a_state.iterations());
}

void BM_BareTreeFilter(benchmark::State& a_state)
{
    struSetup objSetup;
    for (auto _ : a_state) {
        ptrCXmlElement ptrResult;
        XmlTreeTools::applyFilter(objSetup.ptrPathFilter, objSetup.ptrEvent->getElementTree(), ptrResult);
        benchmark::DoNotOptimize(ptrResult);
    }
    a_state.SetItemsProcessed(a_state.iterations());
}

void BM_CopyEventTree(benchmark::State& a_state)
{
    struSetup objSetup;
    for (auto _ : a_state)
        benchmark::DoNotOptimize(objSetup.ptrEvent->getElementTree()->copy(true));
    a_state.SetItemsProcessed(a_state.iterations());
}

// The processor and one comparison timed in alternating batches, so that each ratio is taken
// under the same load; the median ratio is the figure to quote (below 1: the decision is cheaper).
void ratioAgainst(benchmark::State& a_state, const std::function<void(struSetup&)>& a_fnComparison)
{
    struSetup objSetup;
    const int iBatch = 2000;
    a_state.counters["ratio"] = medianRatio(
        a_state, iBatch, processorSeconds,
        [&] { benchmark::DoNotOptimize(objSetup.objProcessor.applyFilter(objSetup.ptrEvent)); },
        [&] { a_fnComparison(objSetup); }, [] {});
}

void BM_ProcessorOverBareTreeFilter(benchmark::State& a_state)
{
    ratioAgainst(a_state, [](struSetup& a_objSetup) {
        ptrCXmlElement ptrResult;
        XmlTreeTools::applyFilter(a_objSetup.ptrPathFilter, a_objSetup.ptrEvent->getElementTree(), ptrResult);
        benchmark::DoNotOptimize(ptrResult);
    });
}

void BM_ProcessorOverTreeCopy(benchmark::State& a_state)
{
    ratioAgainst(a_state, [](struSetup& a_objSetup) {
        benchmark::DoNotOptimize(a_objSetup.ptrEvent->getElementTree()->copy(true));
    });
}
}  // namespace

BENCHMARK(BM_FilterProcessor);
BENCHMARK(BM_BareTreeFilter);
BENCHMARK(BM_CopyEventTree);
BENCHMARK(BM_ProcessorOverBareTreeFilter);
BENCHMARK(BM_ProcessorOverTreeCopy);

BENCHMARK_MAIN();

// Stream parser (with its own scanner, and with Qt's reader alone) against a bare
// QXmlStreamReader token loop, QDomDocument and pugixml, all on the wire text of the same
// realistic messages; and the heap cost of a parsed tree.
#include "BenchTrees.h"

#include <OrvexXmlInterface/xmlcommon/CXmlStreamParser.h>

#include <QtCore/QXmlStreamReader>
#include <QtXml/QDomDocument>
#include <benchmark/benchmark.h>
#include <expat.h>
#include <pugixml.hpp>

#include <malloc.h>

#include <algorithm>
#include <chrono>
#include <vector>

using namespace XmlCommon;

namespace
{
class CKeepLast : public IXmlListener
{
public:
    ptrCXmlElement m_ptrLast;
    void handleFinishedXmlDoc(ptrCXmlElement a_ptrRoot) override { m_ptrLast = a_ptrRoot; }
    void handleFinishedXmlMsg(ptrCXmlMessage) override {}
    void handleMsgHeader(ptrCXmlMessage) override {}
    void handleParserError(const QString&) override {}
};

const QByteArray s_baWrapper("<RootDummy>\n");

QByteArray streamText(int a_iBytes)
{
    return s_baWrapper + wireText(makeRealisticMessage(a_iBytes));
}

// Keeps the trees of the parsed messages until they are released.
class CKeepAll : public CKeepLast
{
public:
    std::vector<ptrCXmlElement> m_vecKept;
    void handleFinishedXmlDoc(ptrCXmlElement a_ptrRoot) override { m_vecKept.push_back(std::move(a_ptrRoot)); }
};

// As on a connection: one parser for the whole stream, messages arriving one after another.
// Second argument 1: each tree is released right after it was parsed, as by a listener that
// handles and drops each message; 0: trees are released 64 at a time outside the timing, which
// is what parsing alone costs, the allocator having been through the releases all the same.
void BM_CXmlStreamParser(benchmark::State& a_state)
{
    const QByteArray baText = wireText(makeRealisticMessage(int(a_state.range(0))));
    const bool bReleaseTimed = a_state.range(1) != 0;
    CKeepAll objListener;
    CXmlStreamParser objParser(objListener, 1);
    objParser.setOwnScanner(a_state.range(2) != 0);
    objParser.parse(s_baWrapper);
    for (auto _ : a_state) {
        objParser.parse(baText);
        if (bReleaseTimed) {
            objListener.m_vecKept.clear();
        } else if (objListener.m_vecKept.size() == 64) {
            a_state.PauseTiming();
            objListener.m_vecKept.clear();
            a_state.ResumeTiming();
        }
    }
    a_state.SetBytesProcessed(a_state.iterations() * baText.size());
}

// The floor: Qt's reader on the same stream, reading tokens and nothing else.
void BM_QXmlStreamReaderTokens(benchmark::State& a_state)
{
    const QByteArray baText = wireText(makeRealisticMessage(int(a_state.range(0))));
    QXmlStreamReader objReader;
    objReader.addData(s_baWrapper);
    int iTokens = 0;
    for (auto _ : a_state) {
        objReader.addData(baText);
        while (!objReader.atEnd()) {
            objReader.readNext();
            ++iTokens;
        }
        benchmark::DoNotOptimize(iTokens);
    }
    a_state.SetBytesProcessed(a_state.iterations() * baText.size());
}

// The parser reading everything with Qt's reader over the parser with its own scanner, on the
// same stream: how many times faster the own scanner is. Second argument as above; third: 0
// parses on the benchmark's main thread, 1 each parser on a thread of its own, as on a
// connection's thread (the ratios differ; see docs/performance.md).
void BM_QtReaderOverOwnScanner(benchmark::State& a_state)
{
    const QByteArray baText = wireText(makeRealisticMessage(int(a_state.range(0))));
    const bool bReleaseTimed = a_state.range(1) != 0;
    const int iBatch = qMax(1, (1 << 20) / baText.size());
    CKeepAll objOwnListener;
    CXmlStreamParser objOwn(objOwnListener, 1);
    objOwn.parse(s_baWrapper);
    CKeepAll objQtListener;
    CXmlStreamParser objQt(objQtListener, 1);
    objQt.setOwnScanner(false);
    objQt.parse(s_baWrapper);
    auto parseWith = [bReleaseTimed, &baText](CXmlStreamParser& a_objParser, CKeepAll& a_objListener) {
        a_objParser.parse(baText);
        if (bReleaseTimed)
            a_objListener.m_vecKept.clear();
    };
    const auto fnQt = [&] { parseWith(objQt, objQtListener); };
    const auto fnOwn = [&] { parseWith(objOwn, objOwnListener); };
    const auto fnQtAfter = [&] { objQtListener.m_vecKept.clear(); };
    const auto fnOwnAfter = [&] { objOwnListener.m_vecKept.clear(); };
    a_state.counters["ratio"] = a_state.range(2) != 0
                                    ? medianRatioApart(a_state, iBatch, fnQt, fnOwn, fnQtAfter, fnOwnAfter)
                                    : medianRatio(a_state, iBatch, wallSeconds, fnQt, fnOwn, [&] {
                                          fnOwnAfter();
                                          fnQtAfter();
                                      });
}

// Parser and token loop timed in alternating batches of about 1 MB each, so that the ratio of
// each pair is measured under the same load; the median of those ratios is the figure to quote.
// Second argument as for BM_CXmlStreamParser; untimed releases follow each batch.
void BM_ParserOverTokenLoop(benchmark::State& a_state)
{
    const QByteArray baText = wireText(makeRealisticMessage(int(a_state.range(0))));
    const bool bReleaseTimed = a_state.range(1) != 0;
    const int iBatch = qMax(1, (1 << 20) / baText.size());
    CKeepAll objListener;
    CXmlStreamParser objParser(objListener, 1);
    // What the parser adds to the reader it is built on when the reader reads everything.
    objParser.setOwnScanner(false);
    objParser.parse(s_baWrapper);
    QXmlStreamReader objReader;
    objReader.addData(s_baWrapper);
    auto parse = [&] {
        objParser.parse(baText);
        if (bReleaseTimed)
            objListener.m_vecKept.clear();
    };
    auto readTokens = [&] {
        objReader.addData(baText);
        while (!objReader.atEnd())
            objReader.readNext();
    };
    a_state.counters["ratio"] =
        medianRatio(a_state, iBatch, wallSeconds, parse, readTokens, [&] { objListener.m_vecKept.clear(); });
}

void BM_QDomDocument(benchmark::State& a_state)
{
    const QByteArray baText = wireText(makeRealisticMessage(int(a_state.range(0))));
    for (auto _ : a_state) {
        QDomDocument objDoc;
        benchmark::DoNotOptimize(objDoc.setContent(baText));
    }
    a_state.SetBytesProcessed(a_state.iterations() * baText.size());
}

void BM_Pugixml(benchmark::State& a_state)
{
    const QByteArray baText = wireText(makeRealisticMessage(int(a_state.range(0))));
    for (auto _ : a_state) {
        pugi::xml_document objDoc;
        benchmark::DoNotOptimize(objDoc.load_buffer(baText.constData(), size_t(baText.size())));
    }
    a_state.SetBytesProcessed(a_state.iterations() * baText.size());
}

// expat builds no tree: its callbacks here only count elements and text bytes, so this is the
// floor of a streaming parse rather than a like-for-like comparison.
void BM_Expat(benchmark::State& a_state)
{
    const QByteArray baText = wireText(makeRealisticMessage(int(a_state.range(0))));
    struct struCounts
    {
        long long llElements = 0;
        long long llTextBytes = 0;
    } objCounts;
    XML_Parser pParser = XML_ParserCreate("UTF-8");
    for (auto _ : a_state) {
        XML_ParserReset(pParser, "UTF-8");
        XML_SetUserData(pParser, &objCounts);
        XML_SetStartElementHandler(pParser, [](void* a_pData, const XML_Char*, const XML_Char**) {
            ++static_cast<struCounts*>(a_pData)->llElements;
        });
        XML_SetCharacterDataHandler(pParser, [](void* a_pData, const XML_Char*, int a_iLength) {
            static_cast<struCounts*>(a_pData)->llTextBytes += a_iLength;
        });
        if (XML_Parse(pParser, baText.constData(), baText.size(), XML_TRUE) != XML_STATUS_OK) {
            a_state.SkipWithError("expat refused the text");
            break;
        }
    }
    XML_ParserFree(pParser);
    benchmark::DoNotOptimize(objCounts);
    a_state.SetBytesProcessed(a_state.iterations() * baText.size());
}

// Bytes handed out by malloc, from the heap and as separate mappings.
size_t heapInUse()
{
    const struct mallinfo2 objInfo = mallinfo2();
    return objInfo.uordblks + objInfo.hblkhd;
}

int countElements(const CXmlElement& a_objElement)
{
    int iCount = 1;
    for (const ptrCXmlElement& ptrChild : a_objElement.children())
        iCount += countElements(*ptrChild);
    return iCount;
}

// Heap bytes held per element by a parsed 1 MB message, beside QDomDocument holding the same.
void BM_ParsedTreeMemory(benchmark::State& a_state)
{
    const QByteArray baText = streamText(1 << 20);
    const QByteArray baDocument = baText.mid(s_baWrapper.size());
    double dOurs = 0;
    double dDom = 0;
    int iElements = 0;
    for (auto _ : a_state) {
        CKeepLast objListener;
        const size_t uiBefore = heapInUse();
        {
            CXmlStreamParser objParser(objListener, 1);
            objParser.setOwnScanner(a_state.range(0) != 0);
            objParser.parse(baText);
        }
        const size_t uiAfter = heapInUse();
        iElements = countElements(*objListener.m_ptrLast);
        dOurs = double(uiAfter - uiBefore) / iElements;

        const size_t uiDomBefore = heapInUse();
        QDomDocument objDoc;
        objDoc.setContent(baDocument);
        dDom = double(heapInUse() - uiDomBefore) / iElements;
    }
    a_state.counters["elements"] = iElements;
    a_state.counters["bytes_per_element"] = dOurs;
    a_state.counters["dom_bytes_per_element"] = dDom;
}
}  // namespace

BENCHMARK(BM_CXmlStreamParser)
    ->ArgsProduct({{1 << 10, 10 << 10, 1 << 20}, {1, 0}, {1, 0}})
    ->ArgNames({"bytes", "release", "own"});
BENCHMARK(BM_QtReaderOverOwnScanner)
    ->ArgsProduct({{1 << 10, 10 << 10, 1 << 20}, {1, 0}, {0, 1}})
    ->ArgNames({"bytes", "release", "apart"});
BENCHMARK(BM_QXmlStreamReaderTokens)->Arg(1 << 10)->Arg(10 << 10)->Arg(1 << 20);
BENCHMARK(BM_ParserOverTokenLoop)->ArgsProduct({{1 << 10, 10 << 10, 1 << 20}, {1, 0}})->ArgNames({"bytes", "release"});
BENCHMARK(BM_QDomDocument)->Arg(1 << 10)->Arg(10 << 10)->Arg(1 << 20);
BENCHMARK(BM_Pugixml)->Arg(1 << 10)->Arg(10 << 10)->Arg(1 << 20);
BENCHMARK(BM_Expat)->Arg(1 << 10)->Arg(10 << 10)->Arg(1 << 20);
BENCHMARK(BM_ParsedTreeMemory)->Arg(1)->Arg(0)->ArgName("own")->Iterations(1);
BENCHMARK_MAIN();

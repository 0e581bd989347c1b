// Input shapes a hostile or careless peer (or caller) can send, each run at two sizes, n and 4n:
// the counter "growth" is the ratio of the two processor times, about 4 where the cost is linear
// and 16 where it is quadratic. Streams reach the parser in pieces of 1 kB, as from a slow connection.
#include <OrvexXmlInterface/platform/Platform.h>
#include <OrvexXmlInterface/xmlcommon/CXmlStreamParser.h>
#include <OrvexXmlInterface/xmlcommon/XmlTreeTools.h>

#include <benchmark/benchmark.h>

#include <malloc.h>

#include <algorithm>
#include <ctime>
#include <functional>
#include <vector>

using namespace XmlCommon;

namespace
{
class CDropAll : public IXmlListener
{
public:
    int m_iMessages = 0;
    void handleFinishedXmlDoc(ptrCXmlElement) override { ++m_iMessages; }
    void handleFinishedXmlMsg(ptrCXmlMessage) override {}
    void handleMsgHeader(ptrCXmlMessage) override {}
    void handleParserError(const QString&) override {}
};

const QByteArray s_baWrapper("<RootDummy>\n");

QByteArray attributes(int a_iCount)
{
    QByteArray ba;
    for (int i = 0; i < a_iCount; ++i)
        ba += " a" + QByteArray::number(i) + "=\"v\"";
    return ba;
}

// The stream of a shape grown to about a_iBytes.
QByteArray stream(int a_iShape, int a_iBytes)
{
    switch (a_iShape) {
    case 0: return "<E><![CDATA[" + QByteArray(a_iBytes, 'a') + "]]></E>\n";
    case 1: return "<E><!--" + QByteArray(a_iBytes, 'a') + "--></E>\n";
    case 2: return "<E><?pi " + QByteArray(a_iBytes, 'a') + "?></E>\n";
    case 3: return "<E>" + QByteArray(a_iBytes, 'a') + "</E>\n";
    case 4: return "<E" + attributes(a_iBytes / 12) + "/>\n";  // refused at the limit
    case 5: {
        // Elements with as many attributes as allowed.
        const QByteArray baElement = "<A" + attributes(CXmlStreamParser::m_iDefaultMaxAttributes) + "/>\n";
        return "<E>\n" + baElement.repeated(a_iBytes / baElement.size()) + "</E>\n";
    }
    case 6: return "<E>\n" + QByteArray("<V u=\"Hz\">1</V>\n").repeated(a_iBytes / 17);  // never ends
    case 7: return QByteArray(a_iBytes, ' ') + "<E/>\n";
    default: return QByteArray();
    }
}

const char* const s_apszShapes[] = {
    "cdata",           "comment",         "pi", "text", "attributes_refused", "attributes_at_limit",
    "endless_message", "between_messages"};

// Returns the number of messages read.
int parseInPieces(const QByteArray& a_baStream)
{
    CDropAll objListener;
    CXmlStreamParser objParser(objListener, 1);
    objParser.parse(s_baWrapper);
    // Once the stream is broken, a connection stops reading it.
    for (int iPos = 0; iPos < a_baStream.size() && objParser.parse(a_baStream.mid(iPos, 1024)); iPos += 1024) {
    }
    return objListener.m_iMessages;
}

ptrCXmlElement chain(int a_iDepth)
{
    ptrCXmlElement ptrRoot(new CXmlElement(CTagname("L")));
    CXmlElement* pTip = ptrRoot.data();
    for (int i = 1; i < a_iDepth; ++i) {
        ptrCXmlElement ptrChild(new CXmlElement(pTip->tagname()));
        pTip->addChild(ptrChild, -1);
        pTip = ptrChild.data();
    }
    pTip->setValue(QStringLiteral("leaf"));
    return ptrRoot;
}

// What is done to a caller's tree n levels deep: writing it, copying it, reading it aloud,
// searching it, releasing it.
const char* const s_apszDeepOperations[] = {"wire", "copy", "readable", "search", "release"};

double deepTreeOperation(int a_iOperation, int a_iDepth)
{
    ptrCXmlElement ptrRoot = chain(a_iDepth);
    const double dStart = double(std::clock());
    switch (a_iOperation) {
    case 0: {
        QByteArray baWire;
        unsigned int uiCount = 0;
        ptrRoot->toByteArray(baWire, uiCount);
        break;
    }
    case 1: benchmark::DoNotOptimize(ptrRoot->copy(true)); break;
    case 2: benchmark::DoNotOptimize(ptrRoot->toString().size()); break;
    case 3:
        benchmark::DoNotOptimize(XmlTreeTools::findTagInTree(ptrRoot, CTagname("Missing"), G_objCompEqual, true));
        break;
    default: ptrRoot.reset(); break;
    }
    return (double(std::clock()) - dStart) / CLOCKS_PER_SEC;
}

// Processor time: the machine is shared, and other loads stretch the wall-clock time of each
// run differently.
double seconds(const std::function<void()>& a_fnWork)
{
    const std::clock_t tStart = std::clock();
    a_fnWork();
    return double(std::clock() - tStart) / CLOCKS_PER_SEC;
}

double median(std::vector<double> a_vecValues)
{
    std::sort(a_vecValues.begin(), a_vecValues.end());
    return a_vecValues[a_vecValues.size() / 2];
}

// Times n and 4n alternately and reports the ratio of the median times.
void reportGrowth(benchmark::State& a_state, const std::function<double()>& a_fnSmall,
                  const std::function<double()>& a_fnLarge)
{
    std::vector<double> vecSmall;
    std::vector<double> vecLarge;
    for (auto _ : a_state) {
        vecSmall.push_back(a_fnSmall());
        vecLarge.push_back(a_fnLarge());
    }
    a_state.counters["n_ms"] = median(vecSmall) * 1000;
    a_state.counters["4n_ms"] = median(vecLarge) * 1000;
    a_state.counters["growth"] = median(vecLarge) / median(vecSmall);
}

// Streams of 1 MB and 4 MB. Where a limit cuts a shape short (attributes of one element, bytes
// between messages), the growth shows that its cost is bounded.
void BM_HostileStream(benchmark::State& a_state)
{
    const Platform::typDebugOutputHook fnPrevious = Platform::setDebugOutputHook([](const QString&) {});
    const int iShape = int(a_state.range(0));
    a_state.SetLabel(s_apszShapes[iShape]);
    const QByteArray baSmall = stream(iShape, 1000000);
    const QByteArray baLarge = stream(iShape, 4000000);
    int iMessages = 0;
    reportGrowth(
        a_state, [&] { return seconds([&] { iMessages = parseInPieces(baSmall); }); },
        [&] { return seconds([&] { iMessages += parseInPieces(baLarge); }); });
    a_state.counters["messages"] = iMessages;
    Platform::setDebugOutputHook(fnPrevious);
}

// 25,000 and 100,000 levels; building the tree is not timed.
void BM_DeepCallerTree(benchmark::State& a_state)
{
    const int iOperation = int(a_state.range(0));
    a_state.SetLabel(s_apszDeepOperations[iOperation]);
    reportGrowth(
        a_state, [iOperation] { return deepTreeOperation(iOperation, 25000); },
        [iOperation] { return deepTreeOperation(iOperation, 100000); });
}
}  // namespace

BENCHMARK(BM_HostileStream)->DenseRange(0, 7)->Iterations(7)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DeepCallerTree)->DenseRange(0, 4)->Iterations(7)->Unit(benchmark::kMillisecond);
// Large blocks stay in the heap once freed: otherwise every run of a large shape gets fresh pages
// from the system, and the page faults, not the parser, decide the growth.
int main(int argc, char** argv)
{
    mallopt(M_MMAP_THRESHOLD, 512 * 1024 * 1024);
    mallopt(M_TRIM_THRESHOLD, 1024 * 1024 * 1024);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    return 0;
}

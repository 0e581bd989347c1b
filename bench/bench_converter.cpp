// The converter path: building a fragment of 50 typed values through a small converter and
// reading them back, against the same values written and read with the converter tools straight
// on the data element (no compatibility check per value).
#include <OrvexXmlInterface/xmlcommon/CConvBaseFragment.h>
#include <OrvexXmlInterface/xmlcommon/Tagnames.h>

#include <benchmark/benchmark.h>

using namespace XmlCommon;

namespace
{
const int s_iValues = 50;

class CBenchConverter : public CConvBaseFragment
{
protected:
    bool checkCompatibility(CDataTree& a_objDataTree) const override
    {
        return CConvBaseFragment::checkCompatibility(Tag::Tuner, Tag::Setup, a_objDataTree);
    }
    void setCompatibility(CDataTree& a_objDataTree) override
    {
        CConvBaseFragment::setCompatibility(Tag::Tuner, Tag::Setup, a_objDataTree);
    }
};

const CTagname& tag(int a_iIndex)
{
    return *Tag::vocabulary().at(200 + a_iIndex);
}

void BM_ConverterBuildAndRead(benchmark::State& a_state)
{
    const QString strUnit = QStringLiteral("Hz");
    for (auto _ : a_state) {
        CBenchConverter objConv;
        for (int i = 0; i < s_iValues; i += 2) {
            objConv.setULong(tag(i), unsigned(i) * 1000u, strUnit);
            objConv.setDouble(tag(i + 1), i * 0.25, strUnit);
        }
        unsigned int uiSum = 0;
        double dSum = 0;
        for (int i = 0; i < s_iValues; i += 2) {
            unsigned int uiValue = 0;
            double dValue = 0;
            objConv.getULong(tag(i), uiValue);
            objConv.getDouble(tag(i + 1), dValue);
            uiSum += uiValue;
            dSum += dValue;
        }
        benchmark::DoNotOptimize(uiSum);
        benchmark::DoNotOptimize(dSum);
    }
    a_state.SetItemsProcessed(a_state.iterations() * s_iValues);
}

void BM_ToolsOnDataElement(benchmark::State& a_state)
{
    const QString strUnit = QStringLiteral("Hz");
    for (auto _ : a_state) {
        const ptrCXmlElement ptrData(new CXmlElement(Tag::Setup));
        for (int i = 0; i < s_iValues; i += 2) {
            XmlConverterTools::setULong(ptrData, tag(i), unsigned(i) * 1000u, strUnit);
            XmlConverterTools::setDouble(ptrData, tag(i + 1), i * 0.25, strUnit);
        }
        unsigned int uiSum = 0;
        double dSum = 0;
        for (int i = 0; i < s_iValues; i += 2) {
            unsigned int uiValue = 0;
            double dValue = 0;
            XmlConverterTools::getULong(ptrData, tag(i), uiValue);
            XmlConverterTools::getDouble(ptrData, tag(i + 1), dValue);
            uiSum += uiValue;
            dSum += dValue;
        }
        benchmark::DoNotOptimize(uiSum);
        benchmark::DoNotOptimize(dSum);
    }
    a_state.SetItemsProcessed(a_state.iterations() * s_iValues);
}
}  // namespace

BENCHMARK(BM_ConverterBuildAndRead);
BENCHMARK(BM_ToolsOnDataElement);
BENCHMARK_MAIN();

// Wire writer against QXmlStreamWriter writing the same tree into a QByteArray.
#include "BenchTrees.h"

#include <QtCore/QXmlStreamWriter>
#include <benchmark/benchmark.h>

using namespace XmlCommon;

namespace
{
void writeWithQt(QXmlStreamWriter& a_objWriter, const CXmlElement& a_objElement)
{
    a_objWriter.writeStartElement(a_objElement.tagname());
    for (const QSharedPointer<struATTRIBUTE>& ptrAttr : a_objElement.attributes())
        a_objWriter.writeAttribute(QString::fromLatin1(ptrAttr->baName), ptrAttr->strValue);
    if (!a_objElement.getValue().isEmpty())
        a_objWriter.writeCharacters(a_objElement.getValue());
    else
        for (const ptrCXmlElement& ptrChild : a_objElement.children())
            writeWithQt(a_objWriter, *ptrChild);
    a_objWriter.writeEndElement();
}

void BM_WireWriter(benchmark::State& a_state)
{
    const ptrCXmlElement ptrTree = makeRealisticMessage(int(a_state.range(0)));
    const qint64 iBytes = wireText(ptrTree).size();
    for (auto _ : a_state) {
        QByteArray ba;
        unsigned int uiCount = 0;
        ptrTree->toByteArray(ba, uiCount);
        benchmark::DoNotOptimize(ba.constData());
    }
    a_state.SetBytesProcessed(a_state.iterations() * iBytes);
}

void BM_QXmlStreamWriter(benchmark::State& a_state)
{
    const ptrCXmlElement ptrTree = makeRealisticMessage(int(a_state.range(0)));
    const qint64 iBytes = wireText(ptrTree).size();
    for (auto _ : a_state) {
        QByteArray ba;
        QXmlStreamWriter objWriter(&ba);
        writeWithQt(objWriter, *ptrTree);
        benchmark::DoNotOptimize(ba.constData());
    }
    a_state.SetBytesProcessed(a_state.iterations() * iBytes);
}
}  // namespace

BENCHMARK(BM_WireWriter)->Arg(1 << 10)->Arg(10 << 10)->Arg(1 << 20);
BENCHMARK(BM_QXmlStreamWriter)->Arg(1 << 10)->Arg(10 << 10)->Arg(1 << 20);
BENCHMARK_MAIN();

// Wire writer against QXmlStreamWriter and pugixml's save writing the same tree into memory.
#include "BenchTrees.h"

#include <QtCore/QXmlStreamWriter>
#include <benchmark/benchmark.h>
#include <pugixml.hpp>

#include <algorithm>
#include <ctime>
#include <string>
#include <vector>

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

// The same tree as a pugixml document: names, attributes in order, values as text nodes; like
// the wire form, an element with a value gets no children.
void copyToPugi(pugi::xml_node a_objTarget, const CXmlElement& a_objElement)
{
    pugi::xml_node objNode = a_objTarget.append_child(a_objElement.tagname().name().constData());
    for (const QSharedPointer<struATTRIBUTE>& ptrAttr : a_objElement.attributes())
        objNode.append_attribute(ptrAttr->baName.constData()).set_value(ptrAttr->strValue.toUtf8().constData());
    if (!a_objElement.getValue().isEmpty())
        objNode.append_child(pugi::node_pcdata).set_value(a_objElement.getValue().toUtf8().constData());
    else
        for (const ptrCXmlElement& ptrChild : a_objElement.children())
            copyToPugi(objNode, *ptrChild);
}

// Appends to a string that the caller reserves for the whole text: one allocation per
// message, as the wire writer makes.
class CStringWriter : public pugi::xml_writer
{
public:
    std::string m_strOut;
    void write(const void* a_pData, size_t a_uSize) override
    {
        m_strOut.append(static_cast<const char*>(a_pData), a_uSize);
    }
};

// Compact text without declaration: what comes nearest the wire form, which in addition ends
// each element with a line feed.
const unsigned int s_uiPugiFormat = pugi::format_raw | pugi::format_no_declaration;

size_t saveWithPugi(const pugi::xml_document& a_objDoc, size_t a_uReserve)
{
    CStringWriter objWriter;
    objWriter.m_strOut.reserve(a_uReserve);
    a_objDoc.save(objWriter, "", s_uiPugiFormat, pugi::encoding_utf8);
    benchmark::DoNotOptimize(objWriter.m_strOut.data());
    return objWriter.m_strOut.size();
}

// The comparison is fair only while both write the same text, the wire form's line feeds aside.
bool sameTextButLineFeeds(const CXmlElement& a_objTree, const pugi::xml_document& a_objDoc)
{
    CStringWriter objWriter;
    a_objDoc.save(objWriter, "", s_uiPugiFormat, pugi::encoding_utf8);
    unsigned int uiCount = 0;
    QByteArray baOwn;
    a_objTree.toByteArray(baOwn, uiCount);
    return baOwn.replace('\n', QByteArray()).toStdString() == objWriter.m_strOut;
}

int writeWithOxi(const CXmlElement& a_objTree)
{
    QByteArray ba;
    unsigned int uiCount = 0;
    a_objTree.toByteArray(ba, uiCount);
    benchmark::DoNotOptimize(ba.constData());
    return ba.size();
}

void BM_WireWriter(benchmark::State& a_state)
{
    const ptrCXmlElement ptrTree = makeRealisticMessage(int(a_state.range(0)));
    const qint64 iBytes = wireText(ptrTree).size();
    for (auto _ : a_state)
        writeWithOxi(*ptrTree);
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

void BM_PugixmlSave(benchmark::State& a_state)
{
    const ptrCXmlElement ptrTree = makeRealisticMessage(int(a_state.range(0)));
    pugi::xml_document objDoc;
    copyToPugi(objDoc, *ptrTree);
    const size_t uBytes = saveWithPugi(objDoc, 0);
    for (auto _ : a_state)
        saveWithPugi(objDoc, uBytes);
    a_state.SetBytesProcessed(a_state.iterations() * qint64(uBytes));
}

// pugixml's save and the wire writer timed in alternating batches of about 1 MB each, so that
// each pair is measured under the same load; the median of the ratios pugixml / wire writer is
// the figure to quote: 1 or more means the wire writer is at least as fast.
void BM_PugixmlOverWireWriter(benchmark::State& a_state)
{
    const ptrCXmlElement ptrTree = makeRealisticMessage(int(a_state.range(0)));
    pugi::xml_document objDoc;
    copyToPugi(objDoc, *ptrTree);
    const size_t uBytes = saveWithPugi(objDoc, 0);
    if (!sameTextButLineFeeds(*ptrTree, objDoc)) {
        a_state.SkipWithError("pugixml writes other text");
        return;
    }
    const int iBatch = qMax(1, (1 << 20) / int(uBytes));
    a_state.counters["ratio"] = medianRatio(
        a_state, iBatch, processorSeconds, [&] { saveWithPugi(objDoc, uBytes); }, [&] { writeWithOxi(*ptrTree); },
        [] {});
}
}  // namespace

BENCHMARK(BM_WireWriter)->Arg(1 << 10)->Arg(10 << 10)->Arg(1 << 20);
BENCHMARK(BM_QXmlStreamWriter)->Arg(1 << 10)->Arg(10 << 10)->Arg(1 << 20);
BENCHMARK(BM_PugixmlSave)->Arg(1 << 10)->Arg(10 << 10)->Arg(1 << 20);
BENCHMARK(BM_PugixmlOverWireWriter)->Arg(1 << 10)->Arg(10 << 10)->Arg(1 << 20);
BENCHMARK_MAIN();

// What the socket reader adds to the stream parser: the same stream of realistic messages, in
// the reader's chunks, parsed by a bare parser and by the reader (wrapper, reports, tracking of
// unfinished messages), and through a loopback socket into the reader.
#include "BenchTrees.h"

#include <OrvexXmlInterface/xmlcommon/CXmlStreamParser.h>
#include <OrvexXmlInterface/xmlcommunication/transport/CXmlSocketReader.h>

#include <QtCore/QCoreApplication>
#include <QtNetwork/QTcpServer>
#include <QtNetwork/QTcpSocket>

#include <benchmark/benchmark.h>

#include <memory>

using namespace XmlCommon;
using namespace XmlCommunication;

namespace
{
const int s_iChunk = int(CXmlSocketReader::m_uiBufferSize);

// About 4 MB of messages of the given size, back to back.
const QByteArray& stream(int a_iMessageBytes)
{
    static QMap<int, QByteArray> s_mapStreams;
    QByteArray& baStream = s_mapStreams[a_iMessageBytes];
    if (baStream.isEmpty()) {
        const QByteArray baMessage = wireText(makeRealisticMessage(a_iMessageBytes));
        while (baStream.size() < 4 * 1024 * 1024)
            baStream += baMessage;
    }
    return baStream;
}

class CCounter : public IXmlListener
{
public:
    void handleFinishedXmlDoc(ptrCXmlElement) override {}
    void handleFinishedXmlMsg(ptrCXmlMessage) override { ++m_iMessages; }
    void handleMsgHeader(ptrCXmlMessage) override {}
    void handleParserError(const QString&) override {}
    int m_iMessages = 0;
};

class CChunkReader : public CXmlSocketReader
{
public:
    CChunkReader() : CXmlSocketReader(1)
    {
        initParser();
        connect(this, &CXmlSocketReader::SignalNewJob, [this](ptrCXmlMessage) { ++m_iMessages; });
    }
    void feed(const QByteArray& a_baChunk) { parseChunk(a_baChunk); }
    int m_iMessages = 0;
};

template <typename t_Feed> void feedInChunks(const QByteArray& a_baStream, t_Feed a_fnFeed)
{
    for (int i = 0; i < a_baStream.size(); i += s_iChunk)
        a_fnFeed(a_baStream.mid(i, s_iChunk));
}

void BM_BareParser(benchmark::State& a_objState)
{
    const QByteArray& baStream = stream(int(a_objState.range(0)));
    for (auto _ : a_objState) {
        CCounter objCounter;
        CXmlStreamParser objParser(objCounter, 1);
        objParser.parse(QByteArrayLiteral("<RootDummy>\n"));
        feedInChunks(baStream, [&](const QByteArray& a_baChunk) { objParser.parse(a_baChunk); });
        benchmark::DoNotOptimize(objCounter.m_iMessages);
    }
    a_objState.SetBytesProcessed(a_objState.iterations() * baStream.size());
}

void BM_SocketReader(benchmark::State& a_objState)
{
    const QByteArray& baStream = stream(int(a_objState.range(0)));
    for (auto _ : a_objState) {
        CChunkReader objReader;
        feedInChunks(baStream, [&](const QByteArray& a_baChunk) { objReader.feed(a_baChunk); });
        benchmark::DoNotOptimize(objReader.m_iMessages);
    }
    a_objState.SetBytesProcessed(a_objState.iterations() * baStream.size());
}

void BM_SocketReaderOverLoopback(benchmark::State& a_objState)
{
    const QByteArray& baStream = stream(int(a_objState.range(0)));
    QTcpServer objServer;
    objServer.listen(QHostAddress::LocalHost);
    QTcpSocket objWriter;
    objWriter.connectToHost(QHostAddress::LocalHost, objServer.serverPort());
    objServer.waitForNewConnection(5000);
    std::unique_ptr<QTcpSocket> pAccepted(objServer.nextPendingConnection());
    objWriter.waitForConnected(5000);
    CXmlSocketReader objReader(1);
    int iMessages = 0;
    QObject::connect(&objReader, &CXmlSocketReader::SignalNewJob, [&](ptrCXmlMessage) { ++iMessages; });
    objReader.init(pAccepted.get());
    const int iPerStream = stream(int(a_objState.range(0))).count("</Request>");
    for (auto _ : a_objState) {
        const int iTarget = iMessages + iPerStream;
        objWriter.write(baStream);
        while (iMessages < iTarget) {
            objWriter.waitForBytesWritten(0);
            QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
        }
    }
    a_objState.SetBytesProcessed(a_objState.iterations() * baStream.size());
}
}  // namespace

BENCHMARK(BM_BareParser)->Arg(1024)->Arg(10240)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SocketReader)->Arg(1024)->Arg(10240)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SocketReaderOverLoopback)->Arg(1024)->Arg(10240)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv)
{
    QCoreApplication objApp(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    return 0;
}

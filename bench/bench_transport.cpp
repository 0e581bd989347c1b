// The transport between two processes on loopback, against what a user would take instead,
// measured in the same run: the round trip of a 1 kB request and its 1 kB reply through
// CCommanThread on both sides, a raw TCP ping-pong of the same bytes (the floor) and ZeroMQ
// REQ/REP; one-way 1 kB events against ZeroMQ PUSH/PULL; one event sent to fifty peers; and
// what an idle peer costs the host: memory, threads and CPU.
//
// The competitors run in alternating batches, so that each ratio compares figures taken under
// the same load. The second process is this program, started with "--peer ROLE ...".
// "--smoke" shortens every part to a second or so.
#include "bench_transport_peer.h"

#include <OrvexXmlInterface/platform/Platform.h>
#include <OrvexXmlInterface/xmlcommunication/services/CAliveCheckManager.h>
#include <OrvexXmlInterface/xmlcommunication/transport/CCommanThread.h>

#include <QtCore/QCoreApplication>
#include <QtCore/QDir>
#include <QtCore/QElapsedTimer>
#include <QtCore/QEventLoop>
#include <QtCore/QFile>
#include <QtCore/QProcess>
#include <QtCore/QThread>
#include <QtCore/QTimer>
#include <benchmark/benchmark.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>
#include <zmq.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <string>
#include <vector>

using namespace XmlCommon;
using namespace XmlCommunication;

namespace
{
bool s_bSmoke = false;
const int s_iWaitMs = 30000;

// Figures for the table printed at the end.
std::map<std::string, double> s_mapFigures;

using tClock = std::chrono::steady_clock;

double microseconds(tClock::duration a_objDuration)
{
    return std::chrono::duration<double, std::micro>(a_objDuration).count();
}

double percentile(std::vector<double> a_vecSamples, double a_dFraction)
{
    if (a_vecSamples.empty())
        return 0;
    std::sort(a_vecSamples.begin(), a_vecSamples.end());
    const size_t uiAt = std::min(a_vecSamples.size() - 1, size_t(a_dFraction * double(a_vecSamples.size())));
    return a_vecSamples[uiAt];
}

// CPU time a process has used so far, all its threads (clock-tick resolution).
double processCpuSeconds(qint64 a_llPid)
{
    // Unbuffered into a small buffer, like the peers' reports: a buffered read reserves 16 kB.
    QFile objFile(QStringLiteral("/proc/%1/stat").arg(a_llPid));
    if (!objFile.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
        return 0;
    char szStat[1024];
    const qint64 llRead = objFile.read(szStat, sizeof(szStat));
    const QByteArray baStat = QByteArray::fromRawData(szStat, int(qMax<qint64>(0, llRead)));
    // The fields after the command name, which is in parentheses and may hold spaces.
    const QList<QByteArray> lstFields = baStat.mid(baStat.lastIndexOf(')') + 2).split(' ');
    return double(lstFields.value(11).toLongLong() + lstFields.value(12).toLongLong()) / double(::sysconf(_SC_CLK_TCK));
}

// glibc merges the small blocks a thread has released into larger free ones the next time that
// thread asks for a large block (1 kB or more). The host's thread releases its sent trees, so
// without this call outside the timing that merge would land in whichever timed part asked
// next: ZeroMQ's send of a 1 kB message, or a read of the peers' reports.
void settleAllocator()
{
    void* volatile pLarge = std::malloc(4096);
    std::free(pLarge);
}

// A second process in one of the peer roles.
class CPeerProcess
{
public:
    explicit CPeerProcess(const QStringList& a_lstArguments)
    {
        m_objProcess.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_objProcess.start(QCoreApplication::applicationFilePath(),
                           QStringList{QStringLiteral("--peer")} + a_lstArguments);
    }
    ~CPeerProcess()
    {
        m_objProcess.kill();
        m_objProcess.waitForFinished(5000);
    }
    // The next line the peer prints, or empty after the wait.
    QByteArray line(int a_iMs = s_iWaitMs)
    {
        QElapsedTimer objTimer;
        objTimer.start();
        // Waits in this thread's event loop, as a host does between its jobs.
        while (!m_objProcess.canReadLine()) {
            const int iLeft = int(a_iMs - objTimer.elapsed());
            if (iLeft <= 0)
                return QByteArray();
            QEventLoop objLoop;
            QObject::connect(&m_objProcess, &QProcess::readyReadStandardOutput, &objLoop, &QEventLoop::quit);
            QTimer::singleShot(iLeft, &objLoop, &QEventLoop::quit);
            objLoop.exec();
        }
        // Into a small buffer: readLine() without one reserves 16 kB, and glibc answers a request
        // that large by first merging every small block the host has released, inside the timing.
        char szLine[256];
        const qint64 llRead = m_objProcess.readLine(szLine, sizeof(szLine));
        return llRead > 0 ? QByteArray(szLine, int(llRead)).trimmed() : QByteArray();
    }
    int port() { return line().toInt(); }
    qint64 pid() const { return m_objProcess.processId(); }

private:
    QProcess m_objProcess;
};

// One pass of this thread's event loop, asleep until something arrives: the host's report of a
// job (its signals are queued into the thread that made it) or, at the latest, the guard. A
// nested loop would cost a wake-up of its own to quit.
void waitForJob()
{
    QTimer objGuard;
    objGuard.setSingleShot(true);
    objGuard.start(s_iWaitMs);
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
}

struct struHost
{
    std::unique_ptr<CCommanThread> pHost{new CCommanThread};
    quint16 usPort = 0;

    // Listens on loopback (a_bListen) or not; a_strName names it to its peers.
    bool start(bool a_bListen)
    {
        struCOMMAN_STARTUP_CONFIG objConfig;
        objConfig.strIpAddress = a_bListen ? QStringLiteral("127.0.0.1") : QStringLiteral("none");
        objConfig.objDescription.strAppName = QStringLiteral("BenchHost");
        usPort = pHost->start(objConfig);
        return pHost->isThreadCompletelyStarted() && (!a_bListen || usPort != 0);
    }
    // Connects to a peer that listens; the connection's id, or 0.
    quint32 connectTo(int a_iPort)
    {
        pHost->connectToMaster(quint16(a_iPort), QStringLiteral("bench-host"));
        QElapsedTimer objTimer;
        objTimer.start();
        while (objTimer.elapsed() < s_iWaitMs) {
            const quint32 u32Id = pHost->getResmanConnectionId();
            if (u32Id != 0 && !pHost->getConnectionInfo(u32Id).isEmpty())
                return u32Id;
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
            QThread::msleep(1);
        }
        return 0;
    }
    // The id of the first connection a peer made to this host, or 0.
    quint32 firstPeer()
    {
        QElapsedTimer objTimer;
        objTimer.start();
        while (objTimer.elapsed() < s_iWaitMs) {
            const QList<struClientData> lstInfo = pHost->getConnectionInfo();
            if (!lstInfo.isEmpty())
                return lstInfo.first().ulConnectionId;
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
            QThread::msleep(1);
        }
        return 0;
    }
    ~struHost()
    {
        pHost->stop();
        pHost->waitForFinished(10000);
    }
};

// ---- Round trip ----------------------------------------------------------------------------

class CRoundTrips
{
public:
    bool start()
    {
        m_pOxiPeer.reset(new CPeerProcess({QStringLiteral("oxi-echo")}));
        m_pTcpPeer.reset(new CPeerProcess({QStringLiteral("tcp-echo")}));
        m_pZmqPeer.reset(new CPeerProcess({QStringLiteral("zmq-rep")}));
        if (!m_objHost.start(false))
            return false;
        m_u32Connection = m_objHost.connectTo(m_pOxiPeer->port());
        m_iTcp = connectLoopback(m_pTcpPeer->port());
        m_pZmqContext = zmq_ctx_new();
        m_pZmq = zmq_socket(m_pZmqContext, ZMQ_REQ);
        const QByteArray baEndpoint = "tcp://127.0.0.1:" + QByteArray::number(m_pZmqPeer->port());
        m_baReply.resize(benchPayload().baReply.size() * 2);
        return m_u32Connection != 0 && m_iTcp >= 0 && zmq_connect(m_pZmq, baEndpoint.constData()) == 0;
    }
    ~CRoundTrips()
    {
        if (m_iTcp >= 0)
            ::close(m_iTcp);
        if (m_pZmq)
            zmq_close(m_pZmq);
        if (m_pZmqContext)
            zmq_ctx_term(m_pZmqContext);
    }

    // One round trip each; the time in microseconds, negative on failure.
    double oxi()
    {
        const ptrCXmlMessage ptrRequest = makeBenchRequest(m_u32Connection);
        const unsigned int uiId = ptrRequest->getMessageID();
        const tClock::time_point objStart = tClock::now();
        m_objHost.pHost->postToOneClient(ptrRequest, ptrRequest->getContinuousId());
        for (;;) {
            const ptrCXmlMessage ptrReply = m_objHost.pHost->getNextReply();
            if (ptrReply && ptrReply->getMessageID() == uiId && ptrReply->getNumberOfFragments() == 1)
                return microseconds(tClock::now() - objStart);
            if (ptrReply)
                return -1;
            waitForJob();
            if (tClock::now() - objStart > std::chrono::milliseconds(s_iWaitMs))
                return -1;
        }
    }
    double tcp()
    {
        const struBenchPayload& objPayload = benchPayload();
        const tClock::time_point objStart = tClock::now();
        if (!sendAll(m_iTcp, objPayload.baRequest.constData(), objPayload.baRequest.size()) ||
            !receiveExactly(m_iTcp, m_baReply.data(), objPayload.baReply.size()))
            return -1;
        return microseconds(tClock::now() - objStart);
    }
    qint64 pid(int a_iWhich) const
    {
        return (a_iWhich == 0 ? m_pOxiPeer : a_iWhich == 1 ? m_pTcpPeer : m_pZmqPeer)->pid();
    }
    double zmq()
    {
        const struBenchPayload& objPayload = benchPayload();
        const tClock::time_point objStart = tClock::now();
        if (zmq_send(m_pZmq, objPayload.baRequest.constData(), size_t(objPayload.baRequest.size()), 0) < 0 ||
            zmq_recv(m_pZmq, m_baReply.data(), size_t(m_baReply.size()), 0) != objPayload.baReply.size())
            return -1;
        return microseconds(tClock::now() - objStart);
    }

private:
    std::unique_ptr<CPeerProcess> m_pOxiPeer, m_pTcpPeer, m_pZmqPeer;
    struHost m_objHost;
    quint32 m_u32Connection = 0;
    int m_iTcp = -1;
    void* m_pZmqContext = nullptr;
    void* m_pZmq = nullptr;
    QByteArray m_baReply;
};

void BM_RoundTrip1k(benchmark::State& a_state)
{
    CRoundTrips objTrips;
    if (!objTrips.start()) {
        a_state.SkipWithError("the peers did not come up");
        return;
    }
    const int iBatch = s_bSmoke ? 20 : 200;
    std::vector<double> vecOxi, vecTcp, vecZmq;
    for (int i = 0; i < iBatch; ++i) {
        objTrips.oxi();
        objTrips.tcp();
        objTrips.zmq();
    }
    const auto batch = [&](double (CRoundTrips::*a_fnTrip)(), std::vector<double>& a_vecSamples) {
        for (int i = 0; i < iBatch; ++i) {
            const double dUs = (objTrips.*a_fnTrip)();
            if (dUs < 0)
                return false;
            a_vecSamples.push_back(dUs);
        }
        return true;
    };
    // CPU of both processes while one transport runs its batch: what is not CPU is waiting.
    double aCpu[3] = {0, 0, 0};
    const qint64 aPeers[3] = {objTrips.pid(0), objTrips.pid(1), objTrips.pid(2)};
    const auto timedBatch = [&](int a_iWhich, double (CRoundTrips::*a_fnTrip)(), std::vector<double>& a_vecSamples) {
        settleAllocator();
        const double dBefore = processCpuSeconds(::getpid()) + processCpuSeconds(aPeers[a_iWhich]);
        const bool bOk = batch(a_fnTrip, a_vecSamples);
        aCpu[a_iWhich] += processCpuSeconds(::getpid()) + processCpuSeconds(aPeers[a_iWhich]) - dBefore;
        return bOk;
    };
    for (auto _ : a_state) {
        if (!timedBatch(0, &CRoundTrips::oxi, vecOxi) || !timedBatch(1, &CRoundTrips::tcp, vecTcp) ||
            !timedBatch(2, &CRoundTrips::zmq, vecZmq)) {
            a_state.SkipWithError("a round trip failed");
            return;
        }
    }
    s_mapFigures["rtt oxi cpu us per trip"] = aCpu[0] * 1e6 / double(vecOxi.size());
    s_mapFigures["rtt tcp cpu us per trip"] = aCpu[1] * 1e6 / double(vecTcp.size());
    s_mapFigures["rtt zmq cpu us per trip"] = aCpu[2] * 1e6 / double(vecZmq.size());
    const double dOxi50 = percentile(vecOxi, 0.5), dOxi99 = percentile(vecOxi, 0.99);
    const double dTcp50 = percentile(vecTcp, 0.5), dTcp99 = percentile(vecTcp, 0.99);
    const double dZmq50 = percentile(vecZmq, 0.5), dZmq99 = percentile(vecZmq, 0.99);
    a_state.counters["oxi_p50_us"] = dOxi50;
    a_state.counters["oxi_p99_us"] = dOxi99;
    a_state.counters["tcp_p50_us"] = dTcp50;
    a_state.counters["zmq_p50_us"] = dZmq50;
    a_state.counters["oxi/zmq"] = dOxi50 / dZmq50;
    a_state.counters["oxi/tcp"] = dOxi50 / dTcp50;
    s_mapFigures["rtt oxi p50 us"] = dOxi50;
    s_mapFigures["rtt oxi p99 us"] = dOxi99;
    s_mapFigures["rtt tcp p50 us"] = dTcp50;
    s_mapFigures["rtt tcp p99 us"] = dTcp99;
    s_mapFigures["rtt zmq p50 us"] = dZmq50;
    s_mapFigures["rtt zmq p99 us"] = dZmq99;
    s_mapFigures["rtt samples per transport"] = double(vecOxi.size());
}
BENCHMARK(BM_RoundTrip1k)->Unit(benchmark::kMillisecond)->UseRealTime();

// ---- One-way events ------------------------------------------------------------------------

void BM_OneWayEvents1k(benchmark::State& a_state)
{
    const int iBatch = s_bSmoke ? 200 : 5000;
    struHost objHost;
    if (!objHost.start(true)) {
        a_state.SkipWithError("the host did not start");
        return;
    }
    CPeerProcess objOxiSink({QStringLiteral("oxi-sink"), QString::number(iBatch), QString::number(objHost.usPort)});
    CPeerProcess objZmqSink({QStringLiteral("zmq-pull"), QString::number(iBatch)});
    const quint32 u32Peer = objHost.firstPeer();
    const int iZmqPort = objZmqSink.port();
    if (u32Peer == 0 || objOxiSink.line() != "ready" || iZmqPort == 0) {
        a_state.SkipWithError("the sinks did not come up");
        return;
    }
    void* pContext = zmq_ctx_new();
    void* pPush = zmq_socket(pContext, ZMQ_PUSH);
    zmq_connect(pPush, ("tcp://127.0.0.1:" + QByteArray::number(iZmqPort)).constData());
    const QByteArray& baEvent = benchPayload().baEvent;
    double dOxiSeconds = 0, dZmqSeconds = 0, dOxiCpu = 0, dZmqCpu = 0;
    for (auto _ : a_state) {
        // The host builds its events before the clock starts; sending is what is timed.
        std::vector<ptrCXmlMessage> vecEvents;
        for (int i = 0; i < iBatch; ++i)
            vecEvents.push_back(makeBenchEvent(u32Peer));
        settleAllocator();
        double dCpuBefore = processCpuSeconds(::getpid()) + processCpuSeconds(objOxiSink.pid());
        tClock::time_point objStart = tClock::now();
        for (const ptrCXmlMessage& ptrEvent : vecEvents)
            objHost.pHost->postToOneClient(ptrEvent, 0);
        if (objOxiSink.line() != "done") {
            a_state.SkipWithError("events were lost");
            break;
        }
        dOxiSeconds += std::chrono::duration<double>(tClock::now() - objStart).count();
        dOxiCpu += processCpuSeconds(::getpid()) + processCpuSeconds(objOxiSink.pid()) - dCpuBefore;
        settleAllocator();
        dCpuBefore = processCpuSeconds(::getpid()) + processCpuSeconds(objZmqSink.pid());
        objStart = tClock::now();
        for (int i = 0; i < iBatch; ++i)
            zmq_send(pPush, baEvent.constData(), size_t(baEvent.size()), 0);
        if (objZmqSink.line() != "done") {
            a_state.SkipWithError("ZeroMQ lost messages");
            break;
        }
        dZmqSeconds += std::chrono::duration<double>(tClock::now() - objStart).count();
        dZmqCpu += processCpuSeconds(::getpid()) + processCpuSeconds(objZmqSink.pid()) - dCpuBefore;
        QCoreApplication::processEvents();
    }
    zmq_close(pPush);
    zmq_ctx_term(pContext);
    const double dEvents = double(a_state.iterations()) * iBatch;
    if (dOxiSeconds <= 0 || dZmqSeconds <= 0)
        return;
    a_state.counters["oxi_events_per_s"] = dEvents / dOxiSeconds;
    a_state.counters["zmq_events_per_s"] = dEvents / dZmqSeconds;
    a_state.counters["oxi/zmq"] = dZmqSeconds / dOxiSeconds;
    s_mapFigures["events oxi per s"] = dEvents / dOxiSeconds;
    s_mapFigures["events zmq per s"] = dEvents / dZmqSeconds;
    s_mapFigures["events oxi cpu us per event"] = dOxiCpu * 1e6 / dEvents;
    s_mapFigures["events zmq cpu us per event"] = dZmqCpu * 1e6 / dEvents;
}
BENCHMARK(BM_OneWayEvents1k)->Unit(benchmark::kMillisecond)->UseRealTime();

// ---- One event to fifty peers --------------------------------------------------------------

void BM_FanOut1k(benchmark::State& a_state)
{
    const int iPeers = int(a_state.range(0));
    const int iBatch = s_bSmoke ? 20 : 200;
    struHost objHost;
    if (!objHost.start(true)) {
        a_state.SkipWithError("the host did not start");
        return;
    }
    CPeerProcess objPeers(
        {QStringLiteral("fanout"), QString::number(iPeers), QString::number(iBatch), QString::number(objHost.usPort)});
    if (objPeers.line() != "ready") {
        a_state.SkipWithError("the peers did not come up");
        return;
    }
    double dSeconds = 0;
    for (auto _ : a_state) {
        std::vector<ptrCXmlMessage> vecEvents;
        for (int i = 0; i < iBatch; ++i)
            vecEvents.push_back(makeBenchEvent(0));
        settleAllocator();
        const tClock::time_point objStart = tClock::now();
        for (const ptrCXmlMessage& ptrEvent : vecEvents)
            objHost.pHost->postToAllClients(ptrEvent);
        if (objPeers.line() != "done") {
            a_state.SkipWithError("events were lost");
            break;
        }
        dSeconds += std::chrono::duration<double>(tClock::now() - objStart).count();
        QCoreApplication::processEvents();
    }
    if (dSeconds <= 0)
        return;
    const double dDelivered = double(a_state.iterations()) * iBatch * iPeers;
    a_state.counters["delivered_per_s"] = dDelivered / dSeconds;
    a_state.counters["sent_per_s"] = dDelivered / iPeers / dSeconds;
    s_mapFigures["fanout delivered per s"] = dDelivered / dSeconds;
}
BENCHMARK(BM_FanOut1k)->Arg(50)->Unit(benchmark::kMillisecond)->UseRealTime();

// ---- Idle peers ----------------------------------------------------------------------------

qint64 residentBytes()
{
    QFile objFile(QStringLiteral("/proc/self/statm"));
    if (!objFile.open(QIODevice::ReadOnly))
        return 0;
    const QList<QByteArray> lstFields = objFile.readAll().split(' ');
    return lstFields.value(1).toLongLong() * ::sysconf(_SC_PAGESIZE);
}

int threadCount()
{
    return QDir(QStringLiteral("/proc/self/task")).entryList(QDir::Dirs | QDir::NoDotAndDotDot).size();
}

double cpuSeconds()
{
    rusage objUsage{};
    ::getrusage(RUSAGE_SELF, &objUsage);
    return double(objUsage.ru_utime.tv_sec + objUsage.ru_stime.tv_sec) +
           double(objUsage.ru_utime.tv_usec + objUsage.ru_stime.tv_usec) / 1e6;
}

// Runs this thread's event loop (the host's signals arrive through it) without spinning.
void runLoopFor(int a_iMs)
{
    QEventLoop objLoop;
    QTimer::singleShot(a_iMs, &objLoop, &QEventLoop::quit);
    objLoop.exec();
}

// Second argument: the alive check's cycle in ms (0: the default of 60 s, so that an idle
// connection sees no traffic at all within the measurement).
void BM_IdlePeers(benchmark::State& a_state)
{
    const int iPeers = s_bSmoke ? 10 : int(a_state.range(0));
    const int iCycleMs = int(a_state.range(1));
    const int iIdleMs = s_bSmoke ? 1000 : 10000;
    const quint64 u64Cycle = CAliveCheckManager::getDefaultCheckCycle();
    if (iCycleMs > 0)
        CAliveCheckManager::setDefaultCheckCycle(quint64(iCycleMs) * 1000u);
    for (auto _ : a_state) {
        struHost objHost;
        if (!objHost.start(true)) {
            a_state.SkipWithError("the host did not start");
            break;
        }
        QThread::msleep(200);
        const qint64 llBytesBefore = residentBytes();
        const int iThreadsBefore = threadCount();
        CPeerProcess objPeers({QStringLiteral("idle"), QString::number(iPeers), QString::number(objHost.usPort),
                               QString::number(iCycleMs)});
        if (objPeers.line() != "ready") {
            a_state.SkipWithError("the peers did not come up");
            break;
        }
        // Settle: the descriptions and alive-check announcements of the new peers.
        runLoopFor(1000);
        const double dBytes = double(residentBytes() - llBytesBefore) / iPeers;
        const double dThreads = double(threadCount() - iThreadsBefore) / iPeers;
        const double dCpuBefore = cpuSeconds();
        QElapsedTimer objIdle;
        objIdle.start();
        runLoopFor(iIdleMs);
        const double dCpuShare = (cpuSeconds() - dCpuBefore) / (double(objIdle.elapsed()) / 1000.0);
        a_state.counters["kB_per_peer"] = dBytes / 1024.0;
        a_state.counters["threads_per_peer"] = dThreads;
        a_state.counters["cpu_percent"] = dCpuShare * 100.0;
        const std::string strKey =
            iCycleMs > 0 ? "idle (check every " + std::to_string(iCycleMs) + " ms) " : std::string("idle ");
        s_mapFigures[strKey + "kB per peer"] = dBytes / 1024.0;
        s_mapFigures[strKey + "threads per peer"] = dThreads;
        s_mapFigures[strKey + "host cpu %"] = dCpuShare * 100.0;
    }
    CAliveCheckManager::setDefaultCheckCycle(u64Cycle);
}
BENCHMARK(BM_IdlePeers)->Args({100, 0})->Args({100, 1000})->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

void printFigures()
{
    if (s_mapFigures.empty())
        return;
    std::printf("\nFigures of this run (the payload: %d bytes request, %d bytes reply):\n",
                int(benchPayload().baRequest.size()), int(benchPayload().baReply.size()));
    for (const auto& objFigure : s_mapFigures)
        std::printf("  %-40s %12.1f\n", objFigure.first.c_str(), objFigure.second);
    const auto ratio = [](const char* a_pszName, const std::string& a_strA, const std::string& a_strB) {
        if (s_mapFigures.count(a_strA) && s_mapFigures.count(a_strB) && s_mapFigures[a_strB] > 0)
            std::printf("  %-40s %12.2f\n", a_pszName, s_mapFigures[a_strA] / s_mapFigures[a_strB]);
    };
    ratio("rtt p50 oxi/zmq", "rtt oxi p50 us", "rtt zmq p50 us");
    ratio("rtt p50 oxi/tcp", "rtt oxi p50 us", "rtt tcp p50 us");
    ratio("rtt p99 oxi/zmq", "rtt oxi p99 us", "rtt zmq p99 us");
    ratio("events oxi/zmq", "events oxi per s", "events zmq per s");
}
}  // namespace

int main(int argc, char* argv[])
{
    Platform::setDebugOutputHook([](const QString&) {});
    if (argc > 1 && QByteArray(argv[1]) == "--peer") {
        QStringList lstArguments;
        for (int i = 2; i < argc; ++i)
            lstArguments.append(QString::fromLocal8Bit(argv[i]));
        return runTransportPeer(lstArguments);
    }
    std::vector<char*> vecArgs;
    for (int i = 0; i < argc; ++i) {
        if (QByteArray(argv[i]) == "--smoke")
            s_bSmoke = true;
        else
            vecArgs.push_back(argv[i]);
    }
    int iArgc = int(vecArgs.size());
    QCoreApplication objApp(argc, argv);
    benchmark::Initialize(&iArgc, vecArgs.data());
    if (benchmark::ReportUnrecognizedArguments(iArgc, vecArgs.data()))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    printFigures();
    return 0;
}

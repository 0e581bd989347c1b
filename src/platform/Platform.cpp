#include "Platform.h"

#include <QtCore/QByteArray>
#include <QtCore/QFile>

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <mutex>

namespace Platform
{
namespace
{
quint64 readClockUs(clockid_t a_clock)
{
    timespec ts{};
    clock_gettime(a_clock, &ts);
    return quint64(ts.tv_sec) * 1000000u + quint64(ts.tv_nsec) / 1000u;
}

struct struDebugSink
{
    std::mutex mutex;
    typDebugOutputHook fnHook;
};

struDebugSink& debugSink()
{
    static struDebugSink s_sink;
    return s_sink;
}

struct struStandardErrorSink
{
    std::mutex mutex;
    typStandardErrorHook fnHook;
};

struStandardErrorSink& standardErrorSink()
{
    static struStandardErrorSink s_sink;
    return s_sink;
}

void writeAll(int a_fd, const QByteArray& a_data)
{
    const char* p = a_data.constData();
    qsizetype left = a_data.size();
    while (left > 0) {
        const ssize_t n = ::write(a_fd, p, size_t(left));
        if (n <= 0)
            return;  // nothing sensible to do when stderr is gone
        p += n;
        left -= n;
    }
}
}  // namespace

quint64 nowMonotonicUs()
{
    return readClockUs(CLOCK_MONOTONIC);
}

quint64 nowUtcUs()
{
    return readClockUs(CLOCK_REALTIME);
}

quint64 clockTickUs()
{
    timespec res{};
    quint64 ulResolutionNs = 1000;
    if (clock_getres(CLOCK_MONOTONIC, &res) == 0)
        ulResolutionNs = quint64(res.tv_sec) * 1000000000u + quint64(res.tv_nsec);
    // The kernel's default slack for ordinary threads, when the file cannot tell.
    quint64 ulSlackNs = 50000;
    QFile slack(QStringLiteral("/proc/self/timerslack_ns"));
    if (slack.open(QIODevice::ReadOnly)) {
        bool bOk = false;
        const quint64 ulRead = slack.readAll().trimmed().toULongLong(&bOk);
        if (bOk)
            ulSlackNs = ulRead;
    }
    const quint64 ulUs = (qMax(ulResolutionNs, ulSlackNs) + 999u) / 1000u;
    return ulUs == 0 ? 1 : ulUs;
}

void debugOutput(const QString& a_strText)
{
    typDebugOutputHook fnHook;
    {
        std::lock_guard<std::mutex> lock(debugSink().mutex);
        fnHook = debugSink().fnHook;
    }
    if (fnHook) {
        fnHook(a_strText);
        return;
    }
    QByteArray bytes = a_strText.toUtf8();
    if (!bytes.endsWith('\n'))
        bytes.append('\n');
    writeAll(STDERR_FILENO, bytes);
}

typDebugOutputHook setDebugOutputHook(typDebugOutputHook a_fnHook)
{
    std::lock_guard<std::mutex> lock(debugSink().mutex);
    std::swap(debugSink().fnHook, a_fnHook);
    return a_fnHook;
}

void standardErrorOutput(const QByteArray& a_baText)
{
    typStandardErrorHook fnHook;
    {
        std::lock_guard<std::mutex> lock(standardErrorSink().mutex);
        fnHook = standardErrorSink().fnHook;
    }
    if (fnHook)
        fnHook(a_baText);
    else
        writeAll(STDERR_FILENO, a_baText);
}

typStandardErrorHook setStandardErrorHook(typStandardErrorHook a_fnHook)
{
    std::lock_guard<std::mutex> lock(standardErrorSink().mutex);
    std::swap(standardErrorSink().fnHook, a_fnHook);
    return a_fnHook;
}

bool isDebuggerPresent()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return false;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("TracerPid:"))
            return line.mid(10).trimmed().toLongLong() != 0;
    }
    return false;
}

QString executablePath()
{
    char szPath[4096];
    const ssize_t iLength = ::readlink("/proc/self/exe", szPath, sizeof(szPath) - 1);
    return iLength > 0 ? QString::fromLocal8Bit(szPath, int(iLength)) : QString();
}

quint64 currentThreadId()
{
    return quint64(::syscall(SYS_gettid));
}

bool shutdownSending(qintptr a_typDescriptor)
{
    return a_typDescriptor >= 0 && ::shutdown(int(a_typDescriptor), SHUT_WR) == 0;
}

qint64 sendWithoutWaiting(qintptr a_typDescriptor, const char* a_pData, qint64 a_llSize)
{
    if (a_typDescriptor < 0)
        return -1;
    for (;;) {
        const ssize_t iSent = ::send(int(a_typDescriptor), a_pData, size_t(a_llSize), MSG_DONTWAIT | MSG_NOSIGNAL);
        if (iSent >= 0)
            return qint64(iSent);
        if (errno == EAGAIN || errno == EWOULDBLOCK)
            return 0;
        if (errno != EINTR)
            return -1;
    }
}

quint64 currentProcessId()
{
    return quint64(::getpid());
}

QList<struIpv4Interface> ipv4Interfaces()
{
    QList<struIpv4Interface> lst;
    ifaddrs* pList = nullptr;
    if (::getifaddrs(&pList) != 0)
        return lst;
    for (const ifaddrs* p = pList; p != nullptr; p = p->ifa_next) {
        if (p->ifa_addr == nullptr || p->ifa_addr->sa_family != AF_INET || !(p->ifa_flags & IFF_UP))
            continue;
        struIpv4Interface itf;
        itf.strName = QString::fromLocal8Bit(p->ifa_name);
        itf.ulAddress = ntohl(reinterpret_cast<const sockaddr_in*>(p->ifa_addr)->sin_addr.s_addr);
        if (p->ifa_netmask != nullptr)
            itf.ulNetmask = ntohl(reinterpret_cast<const sockaddr_in*>(p->ifa_netmask)->sin_addr.s_addr);
        itf.bLoopback = (p->ifa_flags & IFF_LOOPBACK) != 0;
        lst.append(itf);
    }
    ::freeifaddrs(pList);
    return lst;
}
}  // namespace Platform

#pragma once

#include <OrvexXmlInterface/OxiExport.h>

#include <QtCore/QByteArray>
#include <QtCore/QList>
#include <QtCore/QString>

#include <functional>

// The only door to the operating system: clocks, diagnostic text output, thread and process
// ids, and the host's IPv4 interfaces. Everything else in the library runs on Qt and on this.
namespace Platform
{
// Monotonic clock in microseconds; serves deadlines, watchdogs, triggers and cycles.
OXI_EXPORT quint64 nowMonotonicUs();

// Microseconds since 1970-01-01 00:00:00 UTC; serves every time that travels between processes.
OXI_EXPORT quint64 nowUtcUs();

// Granularity of timed waits, in microseconds (at least 1): the coarser of the monotonic clock's
// resolution and the timer slack the kernel may add to every wake-up of this thread.
OXI_EXPORT quint64 clockTickUs();

// The diagnostic text sink: one write per text to the standard error stream, unless a hook
// is installed (tests capture the texts that way). A missing final newline is added.
using typDebugOutputHook = std::function<void(const QString&)>;
OXI_EXPORT void debugOutput(const QString& a_strText);
// Installs a hook (an empty one restores the standard error stream) and returns the previous.
OXI_EXPORT typDebugOutputHook setDebugOutputHook(typDebugOutputHook a_fnHook);
// True while a debugger is attached to this process.
OXI_EXPORT bool isDebuggerPresent();

// Bytes for the standard error stream itself (not the diagnostic sink), written in one write as
// they are, unless a hook is installed (tests capture them that way). Every text reaches the
// stream as bytes, so no stream ever mixes wide and narrow output.
using typStandardErrorHook = std::function<void(const QByteArray&)>;
OXI_EXPORT void standardErrorOutput(const QByteArray& a_baText);
// Installs a hook (an empty one restores the standard error stream) and returns the previous.
OXI_EXPORT typStandardErrorHook setStandardErrorHook(typStandardErrorHook a_fnHook);

// The absolute path of the running executable (empty when it cannot be told).
OXI_EXPORT QString executablePath();

OXI_EXPORT quint64 currentThreadId();
OXI_EXPORT quint64 currentProcessId();

// Ends the sending direction of a connected TCP socket (the peer reads the end of the stream)
// while it still receives; false when the system refuses.
OXI_EXPORT bool shutdownSending(qintptr a_typDescriptor);

// Hands bytes to a connected TCP socket's system buffer without waiting: the count taken (0 when
// the buffer is full), or -1 when the system refuses them; never raises a broken-pipe signal.
OXI_EXPORT qint64 sendWithoutWaiting(qintptr a_typDescriptor, const char* a_pData, qint64 a_llSize);

struct struIpv4Interface
{
    QString strName;
    quint32 ulAddress = 0;  // host byte order
    quint32 ulNetmask = 0;  // host byte order
    bool bLoopback = false;
};

// The host's IPv4 interfaces that are up, in the order the system lists them.
OXI_EXPORT QList<struIpv4Interface> ipv4Interfaces();
}  // namespace Platform

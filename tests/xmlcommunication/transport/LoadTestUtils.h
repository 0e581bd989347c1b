#pragma once

// What a host process holds (threads, descriptors, resident memory, messages), and hosts set up
// the way the load tests need them.

#include <OrvexXmlInterface/xmlcommon/CXmlMessage.h>
#include <OrvexXmlInterface/xmlcommunication/transport/CCommanThread.h>
#include <OrvexXmlInterface/xmlcommunication/transport/CConnectionThread.h>

#include <QtCore/QDir>
#include <QtCore/QFile>
#include <QtCore/QHash>
#include <QtCore/QThread>
#include <QtTest/QtTest>

#include "xmlcommon/ThreadChecker_p.h"

#include <unistd.h>

#include <atomic>
#include <memory>
#include <mutex>

namespace LoadTest
{
// A thread's end, told to the thread checker (Qt's join is invisible to it): made first thing
// in a thread's work, it announces the end however the work returns.
class CThreadEnd
{
public:
    explicit CThreadEnd(QThread* a_pThread) : m_pThread(a_pThread) {}
    ~CThreadEnd() { OXI_TSAN_RELEASE(m_pThread); }
    CThreadEnd(const CThreadEnd&) = delete;
    CThreadEnd& operator=(const CThreadEnd&) = delete;

private:
    QThread* m_pThread;
};

// Joins a thread so that the checker sees the join.
inline bool join(QThread* a_pThread, unsigned long a_ulMs = ULONG_MAX)
{
    const bool bEnded = a_pThread->wait(a_ulMs);
    if (bEnded)
        OXI_TSAN_ACQUIRE(a_pThread);
    return bEnded;
}

inline int entries(const char* a_pszDir)
{
    return QDir(QLatin1String(a_pszDir)).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System).size();
}

inline int threadCount()
{
    return entries("/proc/self/task");
}

inline int descriptorCount()
{
    return entries("/proc/self/fd");
}

inline qint64 residentKb()
{
    QFile objFile(QStringLiteral("/proc/self/statm"));
    if (!objFile.open(QIODevice::ReadOnly))
        return 0;
    return objFile.readAll().split(' ').value(1).toLongLong() * ::sysconf(_SC_PAGESIZE) / 1024;
}

// The process's open descriptors and what they are.
inline QString descriptorTargets()
{
    QStringList lstTargets;
    const QDir objDir(QStringLiteral("/proc/self/fd"));
    for (const QFileInfo& objInfo : objDir.entryInfoList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System))
        lstTargets.append(objInfo.fileName() + QStringLiteral("->") + objInfo.symLinkTarget());
    return lstTargets.join(QLatin1Char(' '));
}

// The names of the process's threads.
inline QString threadNames()
{
    QStringList lstNames;
    const QDir objDir(QStringLiteral("/proc/self/task"));
    for (const QString& strTask : objDir.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile objComm(objDir.filePath(strTask) + QStringLiteral("/comm"));
        if (objComm.open(QIODevice::ReadOnly))
            lstNames.append(QString::fromUtf8(objComm.readAll().trimmed()));
    }
    return lstNames.join(QLatin1Char(','));
}

// What the process holds at one moment.
struct struHoldings
{
    int iThreads = threadCount();
    int iDescriptors = descriptorCount();
    int iMessages = XmlCommon::CXmlMessage::getNumberOfInstances();
    QString strThreads = threadNames();
    QString strDescriptors = descriptorTargets();

    QString text() const
    {
        return QStringLiteral("threads %1 (%2), messages %3, descriptors %4: %5")
            .arg(iThreads)
            .arg(strThreads)
            .arg(iMessages)
            .arg(iDescriptors)
            .arg(strDescriptors);
    }
};

// Waits until the process holds no more than a_objBefore; what it holds then, as text, when not.
inline QString leftOver(const struHoldings& a_objBefore, int a_iMs = 10000)
{
    struHoldings objNow;
    const bool bClean = QTest::qWaitFor(
        [&] {
            objNow = struHoldings();
            return objNow.iThreads <= a_objBefore.iThreads && objNow.iDescriptors <= a_objBefore.iDescriptors &&
                   objNow.iMessages <= a_objBefore.iMessages;
        },
        a_iMs);
    if (bClean)
        return QString();
    return QStringLiteral("before: %1; after: %2").arg(a_objBefore.text(), objNow.text());
}

// A host that answers every request with its reply on threads of its own.
class CAnsweringHost
{
public:
    explicit CAnsweringHost(const XmlCommunication::struConnectionLimits& a_objLimits = {}, int a_iThreads = 2)
    {
        XmlCommunication::struCOMMAN_STARTUP_CONFIG objConfig;
        objConfig.strIpAddress = QStringLiteral("127.0.0.1");
        objConfig.objDescription.strAppName = QStringLiteral("Answering");
        objConfig.objLimits = a_objLimits;
        m_usPort = m_objHost.start(objConfig);
        for (int i = 0; i < a_iThreads; ++i) {
            m_lstWorkers.append(QThread::create([this] {
                const CThreadEnd objEnd(QThread::currentThread());
                work();
            }));
            m_lstWorkers.last()->start();
        }
    }
    ~CAnsweringHost()
    {
        stopAnswering();
        m_objHost.stop();
        m_objHost.waitForFinished(10000);
    }
    // The workers end; what they answered is answered.
    void stopAnswering()
    {
        m_bStop = true;
        for (QThread* pWorker : qAsConst(m_lstWorkers)) {
            join(pWorker);
            delete pWorker;
        }
        m_lstWorkers.clear();
    }
    XmlCommunication::CCommanThread& host() { return m_objHost; }
    quint16 port() const { return m_usPort; }
    // Replies handed to the host so far, by connection.
    QHash<quint32, int> answered() const
    {
        std::unique_lock lock(m_objMutex);
        return m_hashAnswered;
    }

private:
    void work()
    {
        while (!m_bStop.load()) {
            const XmlCommon::ptrCXmlMessage ptrRequest = m_objHost.getNextRequest();
            if (!ptrRequest) {
                QThread::usleep(200);
                continue;
            }
            const quint32 u32Continuous = ptrRequest->getContinuousId();
            ptrRequest->changeRequestToReply(0, 0);
            const quint32 u32Connection = ptrRequest->getConnectionId();
            m_objHost.postToOneClient(ptrRequest, u32Continuous);
            std::unique_lock lock(m_objMutex);
            ++m_hashAnswered[u32Connection];
        }
    }

    XmlCommunication::CCommanThread m_objHost;
    quint16 m_usPort = 0;
    std::atomic<bool> m_bStop{false};
    QList<QThread*> m_lstWorkers;
    mutable std::mutex m_objMutex;
    QHash<quint32, int> m_hashAnswered;
};
}  // namespace LoadTest

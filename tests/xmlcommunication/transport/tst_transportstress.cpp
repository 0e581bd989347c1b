// Peers connect, set their filters, ask and leave in a loop while two host threads answer, ask
// the peers themselves, send events to all and change debug flags: every request is answered on
// both sides, and afterwards no thread or descriptor is left.
#include "LoadTestUtils.h"
#include "TransportTestUtils.h"

#include <OrvexXmlInterface/xmlcommunication/converters/CFilterConverter.h>
#include <OrvexXmlInterface/xmlcommunication/services/CDebugCenter.h>
#include <OrvexXmlInterface/xmlcommunication/services/CTriggerManager.h>
#include <OrvexXmlInterface/xmlcommunication/transport/CCommanThread.h>

#include <QtCore/QDir>
#include <QtCore/QThread>

#include <algorithm>
#include <atomic>
#include <memory>

using namespace XmlCommon;
using namespace XmlCommunication;
using namespace TransportTest;

namespace
{
int entries(const char* a_pszDir)
{
    return QDir(QLatin1String(a_pszDir)).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System).size();
}

QString descriptors()
{
    QStringList lstTargets;
    const QDir objDir(QStringLiteral("/proc/self/fd"));
    for (const QFileInfo& objInfo : objDir.entryInfoList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System))
        lstTargets.append(objInfo.fileName() + QStringLiteral("->") + objInfo.symLinkTarget());
    return lstTargets.join(QLatin1Char(' '));
}

// A filter for the tuner's events, as a peer sends it: the peer's event codes change while the host
// threads send to all.
QByteArray filterRequest()
{
    CFilterConverter objFilter;
    objFilter.subscribeToComponent(Tag::Tuner);
    CXmlMessage objSet;
    objSet.setServiceType(CXmlMessage::REQUEST_SET);
    objSet.setMessageID(99);
    objSet.setAvailableTime(20000000);
    objSet.addFragment(objFilter.getFragment());
    QByteArray baWire;
    unsigned int uiUncompressed = 0;
    objSet.getElementTree()->toByteArray(baWire, uiUncompressed);
    return baWire + '\n';
}

// Four peers on a thread of their own, each connecting, asking and leaving again and again.
class CPeerDriver : public QThread
{
public:
    CPeerDriver(quint16 a_usPort, int a_iRounds) : m_usPort(a_usPort), m_iRounds(a_iRounds) {}

    std::atomic<int> m_iAnswered{0};
    std::atomic<int> m_iAsked{0};

protected:
    void run() override
    {
        const LoadTest::CThreadEnd objEnd(this);
        for (int iRound = 0; iRound < m_iRounds; ++iRound) {
            std::vector<std::unique_ptr<CRawPeer>> vecPeers;
            for (int i = 0; i < 4; ++i) {
                vecPeers.emplace_back(new CRawPeer);
                if (!vecPeers.back()->connectTo(m_usPort))
                    return;
                vecPeers.back()->write(filterRequest());
                ++m_iAsked;
                for (int iRequest = 0; iRequest < 3; ++iRequest) {
                    vecPeers.back()->write(QStringLiteral("<Request id=\"%1\" type=\"get\" time=\"20000000\">\n"
                                                          "<Tuner>\n<Setup/>\n</Tuner>\n</Request>\n")
                                               .arg(iRound * 100 + iRequest + 1)
                                               .toLatin1());
                    ++m_iAsked;
                }
            }
            for (auto& ptrPeer : vecPeers) {
                const auto replies = [&] {
                    return std::count_if(ptrPeer->m_lstMessages.cbegin(), ptrPeer->m_lstMessages.cend(),
                                         [](const ptrCXmlMessage& a_ptr) { return a_ptr->isReply(); });
                };
                // A missing reply shows in the count.
                if (QTest::qWaitFor([&] { return replies() >= 4; }, 20000))
                    m_iAnswered += int(replies());
            }
        }
    }

private:
    quint16 m_usPort;
    int m_iRounds;
};
}  // namespace

class TestTransportStress : public QObject
{
    Q_OBJECT

    // One round of the workload; the host and every peer are gone when it returns.
    static void workload(int a_iRounds)
    {
        {
            CCommanThread objHost;
            struCOMMAN_STARTUP_CONFIG objConfig;
            objConfig.strIpAddress = QStringLiteral("127.0.0.1");
            objConfig.objDescription.strAppName = QStringLiteral("Stressed");
            const quint16 usPort = objHost.start(objConfig);
            QVERIFY(usPort != 0);

            std::atomic<bool> bStop{false};
            std::atomic<int> iOwnAsked{0};
            QList<QThread*> lstWorkers;
            for (int t = 0; t < 2; ++t) {
                lstWorkers.append(QThread::create([&objHost, &bStop, &iOwnAsked, t] {
                    const LoadTest::CThreadEnd objEnd(QThread::currentThread());
                    int iTurn = 0;
                    while (!bStop.load()) {
                        const ptrCXmlMessage ptrRequest = objHost.getNextRequest();
                        if (!ptrRequest) {
                            QThread::usleep(200);
                            continue;
                        }
                        const quint32 u32Continuous = ptrRequest->getContinuousId();
                        const quint32 u32Peer = ptrRequest->getConnectionId();
                        ptrRequest->changeRequestToReply(0, 0);
                        objHost.postToOneClient(ptrRequest, u32Continuous);
                        if (iTurn % 3 == 0) {
                            // The peer never answers and is about to leave: the host's own
                            // request races with the end of its connection.
                            ptrCXmlMessage ptrOwn(new CXmlMessage(u32Peer));
                            ptrOwn->setServiceType(CXmlMessage::REQUEST_GET);
                            ptrOwn->setMessageID_byGenerator();
                            ptrOwn->setAvailableTime(300000);
                            ptrOwn->addFragment(CMsgFragment(ptrCXmlElement(new CXmlElement(Tag::Tuner))));
                            objHost.postToOneClient(ptrOwn, ptrOwn->getContinuousId());
                            ++iOwnAsked;
                        }
                        if (++iTurn % 5 == 0) {
                            ptrCXmlMessage ptrEvent(new CXmlMessage);
                            ptrEvent->setServiceType(CXmlMessage::BROADCAST);
                            const CTagname objComponent = iTurn % 2 ? Tag::Tuner : Tag::XmlCommunicationDevice;
                            ptrEvent->addFragment(CMsgFragment(ptrCXmlElement(new CXmlElement(objComponent))));
                            objHost.sendToAllClients(ptrEvent);
                        }
                        if (iTurn % 7 == 0)
                            CDebugCenter::getInstance()->setFlags(
                                {{QStringLiteral("CConnection"),
                                  {{QStringLiteral("TimeChecker"), QString::number((iTurn + t) % 2)}}}});
                    }
                }));
                lstWorkers.last()->start();
            }
            QList<CPeerDriver*> lstDrivers;
            for (int i = 0; i < 4; ++i) {
                lstDrivers.append(new CPeerDriver(usPort, a_iRounds));
                lstDrivers.last()->start();
            }
            int iAsked = 0, iAnswered = 0;
            for (CPeerDriver* pDriver : lstDrivers) {
                while (!LoadTest::join(pDriver, 10))
                    QCoreApplication::processEvents();
                iAsked += pDriver->m_iAsked;
                iAnswered += pDriver->m_iAnswered;
                delete pDriver;
            }
            bStop = true;
            for (QThread* pWorker : lstWorkers) {
                QVERIFY(LoadTest::join(pWorker, 10000));
                delete pWorker;
            }
            QCOMPARE(iAnswered, iAsked);
            int iOwnAnswered = 0;
            QVERIFY(QTest::qWaitFor(
                [&] {
                    while (objHost.getNextReply())
                        ++iOwnAnswered;
                    return iOwnAnswered >= iOwnAsked.load();
                },
                5000));
            QVERIFY(iOwnAsked.load() > 0);
            QCOMPARE(iOwnAnswered, iOwnAsked.load());
            objHost.stop();
            QVERIFY(objHost.waitForFinished(10000));
        }
    }

private slots:
    void peersComeAndGoWhileHostsWork()
    {
        CLogCapture objLog;
        // A first round makes what Qt and the library make once per process.
        workload(1);
        if (QTest::currentTestFailed())
            return;
        const int iThreadsBefore = entries("/proc/self/task");
        const int iFilesBefore = entries("/proc/self/fd");
        workload(3);
        if (QTest::currentTestFailed())
            return;
        QVERIFY(QTest::qWaitFor([&] { return entries("/proc/self/task") <= iThreadsBefore; }, 5000));
        QVERIFY2(entries("/proc/self/fd") == iFilesBefore, qPrintable(descriptors()));
    }
};

QTEST_GUILESS_MAIN(TestTransportStress)
#include "tst_transportstress.moc"

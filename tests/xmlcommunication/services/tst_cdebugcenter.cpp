#include <OrvexXmlInterface/platform/Platform.h>
#include <OrvexXmlInterface/xmlcommunication/services/CDebugCenter.h>
#include <OrvexXmlInterface/xmlcommunication/services/CDebugFlags.h>

#include <QtCore/QFile>
#include <QtCore/QThread>
#include <QtTest/QSignalSpy>
#include <QtTest/QtTest>

#include <atomic>

using namespace XmlCommunication;

namespace
{
QMap<QString, QString> flags(std::initializer_list<std::pair<QString, QString>> a_lst)
{
    QMap<QString, QString> map;
    for (const auto& entry : a_lst)
        map.insert(entry.first, entry.second);
    return map;
}

// A flag holder as the transport's classes are: a QObject following the center.
class CHolder : public QObject, public CDebugFlags
{
    Q_OBJECT

public:
    explicit CHolder(const QString& a_strClass) : CDebugFlags(a_strClass)
    {
        registerFlags({{QStringLiteral("Verbose"), QStringLiteral("0,1,2")}});
        followDebugCenter(this);
        getCurrentDbgFlagSetup();
    }

    QList<unsigned short> m_lstResults;
    QList<typMapDbgFlags> m_lstSetups;
    Qt::HANDLE m_pThread = nullptr;

public slots:
    void slotDebugFlagSetup(XmlCommunication::typMapDbgFlags a_mapSetup)
    {
        m_pThread = QThread::currentThreadId();
        m_lstSetups.append(a_mapSetup);
        m_lstResults.append(handleDbgFlagSetup(a_mapSetup));
    }
};

// Reaches the start-up file reading on a private instance.
class CTestCenter : public CDebugCenter
{
public:
    using CDebugCenter::applyStartupFile;
};

// Registers its flags in two steps, as a derived holder adds to its base's registration.
class CTwoStepHolder : public CDebugFlags
{
public:
    CTwoStepHolder() : CDebugFlags(QStringLiteral("CRace"))
    {
        registerFlags({{QStringLiteral("First"), QStringLiteral("0,1")}});
        registerFlags({{QStringLiteral("Second"), QStringLiteral("0,1")}});
    }
};
}  // namespace

class TestDebugCenter : public QObject
{
    Q_OBJECT

private slots:
    void lateHolderAppliesSetup()
    {
        CDebugCenter::getInstance()->setFlags(
            {{QStringLiteral("CLate"), flags({{QStringLiteral("log"), QStringLiteral("1")}})}});
        CHolder objLate(QStringLiteral("CLate"));
        QVERIFY(objLate.isLogOn());
    }

    void mergeAndBroadcast()
    {
        const ptrCDebugCenter ptrCenter = CDebugCenter::getInstance();
        CHolder objHolder(QStringLiteral("CConnection"));
        QSignalSpy objChanged(ptrCenter.data(), SIGNAL(signalSetupHasChanged(QStringList)));

        ptrCenter->setFlags({});
        QCOMPARE(objChanged.count(), 0);

        ptrCenter->setFlags(
            {{QStringLiteral("CConnection"), flags({{QStringLiteral("log"), QStringLiteral("1")},
                                                    {QStringLiteral("Verbose"), QStringLiteral("2")}})}});
        ptrCenter->setFlags(
            {{QStringLiteral("CConnection"), flags({{QStringLiteral("Verbose"), QStringLiteral("0")}})}});
        QMap<QString, QString> mapFlags;
        ptrCenter->getFlags(QStringLiteral("CConnection"), mapFlags);
        QCOMPARE(mapFlags, flags({{QStringLiteral("log"), QStringLiteral("1")},
                                  {QStringLiteral("Verbose"), QStringLiteral("0")}}));
        QCOMPARE(objChanged.count(), 2);
        QCOMPARE(objChanged.at(0).at(0).toStringList(), QStringList{QStringLiteral("CConnection")});

        QVERIFY(QTest::qWaitFor([&] { return objHolder.m_lstResults.size() == 2; }, 2000));
        QCOMPARE(objHolder.m_lstResults, (QList<unsigned short>{1, 1}));
        QVERIFY(objHolder.isLogOn());
        ptrCenter->setFlags({{QStringLiteral("CConnection"), flags({{QStringLiteral("log"), QStringLiteral("0")}})}});
        QVERIFY(QTest::qWaitFor([&] { return objHolder.m_lstResults.size() == 3; }, 2000));
        QCOMPARE(objHolder.m_lstResults.last(), static_cast<unsigned short>(0));  // only "log": nothing more to do
        QVERIFY(!objHolder.isLogOn());
        QVERIFY(objHolder.handleNewDbgFlagSetup({QStringLiteral("Other")}).isEmpty());
        QCOMPARE(objHolder.handleNewDbgFlagSetup({QStringLiteral("CConnection")}).value(QStringLiteral("Verbose")),
                 QStringLiteral("0"));
    }

    void onceOnlyFlags()
    {
        const ptrCDebugCenter ptrCenter = CDebugCenter::getInstance();
        QMap<QString, CDebugCenter::struFlagData> mapInfo;
        ptrCenter->getFlagInfo(QStringLiteral("COnce"), mapInfo);
        QVERIFY(mapInfo.isEmpty());
        CHolder objHolder(QStringLiteral("COnce"));
        ptrCenter->getFlagInfo(QStringLiteral("COnce"), mapInfo);
        QCOMPARE(mapInfo.keys(), (QStringList{QStringLiteral("Verbose"), QStringLiteral("log")}));
        mapInfo.insert(QStringLiteral("OnceOnlyOutput"), {QStringLiteral("Info,AliveCheck"), true});
        ptrCenter->setFlagInfo(QStringLiteral("COnce"), mapInfo);

        const typMapDbgFlags mapCommand{
            {QStringLiteral("COnce"), flags({{QStringLiteral("OnceOnlyOutput"), QStringLiteral("Info")}})}};
        ptrCenter->setFlags(mapCommand);
        ptrCenter->setFlags(mapCommand);
        QVERIFY(QTest::qWaitFor([&] { return objHolder.m_lstSetups.size() == 2; }, 2000));
        QCOMPARE(objHolder.m_lstSetups.at(1), mapCommand);
        QMap<QString, QString> mapStored;
        ptrCenter->getFlags(QStringLiteral("COnce"), mapStored);
        QVERIFY(!mapStored.contains(QStringLiteral("OnceOnlyOutput")));

        typMapDbgFlags mapAllInfo;
        ptrCenter->getFlagInfo(mapAllInfo);
        QCOMPARE(mapAllInfo.value(QStringLiteral("COnce")).value(QStringLiteral("OnceOnlyOutput")),
                 QStringLiteral("Info,AliveCheck"));
        QMap<QString, QString> mapUnknown{{QStringLiteral("x"), QStringLiteral("y")}};
        ptrCenter->getFlagInfo(QStringLiteral("Unknown"), mapUnknown);
        QVERIFY(mapUnknown.isEmpty());
    }

    void deliveredOnTheHoldersThread()
    {
        QThread objThread;
        objThread.start();
        CHolder* pHolder = new CHolder(QStringLiteral("CThreaded"));
        pHolder->moveToThread(&objThread);
        CDebugCenter::getInstance()->setFlags(
            {{QStringLiteral("CThreaded"), flags({{QStringLiteral("log"), QStringLiteral("1")}})}});
        QVERIFY(QTest::qWaitFor([&] { return pHolder->m_pThread != nullptr; }, 2000));
        QVERIFY(pHolder->m_pThread != QThread::currentThreadId());
        QMetaObject::invokeMethod(
            pHolder, [pHolder] { delete pHolder; }, Qt::BlockingQueuedConnection);
        objThread.quit();
        QVERIFY(objThread.wait(5000));
    }

    void concurrentRegistrationAndSetups()
    {
        // Holders of one class register from several threads while setups change a holder's flags
        // and its log switch is read: no registration is lost, and the last setup the holder
        // receives is the state the center kept.
        const ptrCDebugCenter ptrCenter = CDebugCenter::getInstance();
        CHolder objFollower(QStringLiteral("COrder"));
        std::atomic<int> iLogReads{0};
        QVector<QThread*> vecThreads;
        for (int t = 0; t < 4; ++t) {
            vecThreads.append(QThread::create([t, ptrCenter, &objFollower, &iLogReads] {
                for (int i = 0; i < 500; ++i) {
                    CTwoStepHolder objHolder;
                    ptrCenter->setFlags(
                        {{QStringLiteral("COrder"), flags({{QStringLiteral("Verbose"), QString::number(t * 1000 + i)},
                                                           {QStringLiteral("log"), QString::number(i % 2)}})}});
                    iLogReads += objFollower.isLogOn() ? 1 : 0;
                }
            }));
            vecThreads.last()->start();
        }
        for (QThread* pThread : vecThreads) {
            while (!pThread->wait(10))
                QCoreApplication::processEvents();
            delete pThread;
        }
        QMap<QString, QString> mapInfo;
        ptrCenter->getFlagInfo(QStringLiteral("CRace"), mapInfo);
        QCOMPARE(mapInfo.keys(),
                 (QStringList{QStringLiteral("First"), QStringLiteral("Second"), QStringLiteral("log")}));
        QVERIFY(QTest::qWaitFor([&] { return objFollower.m_lstSetups.size() == 2000; }, 30000));
        QMap<QString, QString> mapKept;
        ptrCenter->getFlags(QStringLiteral("COrder"), mapKept);
        QCOMPARE(objFollower.m_lstSetups.last().value(QStringLiteral("COrder")), mapKept);
    }

    void brokenStartupFiles_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::newRow("not xml") << QByteArray("<XmlCommunicationDevice><DebugFlags>");
        QTest::newRow("other message") << QByteArray("<XmlCommunicationDevice><Filter/></XmlCommunicationDevice>");
        QTest::newRow("binary") << QByteArray("\x00\x01\x02\xff", 4);
    }

    void brokenStartupFiles()
    {
        QFETCH(QByteArray, content);
        const QString strPath = QDir::temp().filePath(QStringLiteral("oxi_broken.dbgflags.xml"));
        QFile objFile(strPath);
        QVERIFY(objFile.open(QIODevice::WriteOnly));
        objFile.write(content);
        objFile.close();
        QStringList lstTexts;
        const auto fnPrevious = Platform::setDebugOutputHook([&](const QString& a_str) { lstTexts.append(a_str); });
        const QtMessageHandler pPrevious =
            qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
        CTestCenter objCenter;
        objCenter.applyStartupFile(strPath);
        objCenter.applyStartupFile(strPath + QStringLiteral(".missing"));
        qInstallMessageHandler(pPrevious);
        Platform::setDebugOutputHook(fnPrevious);
        QFile::remove(strPath);
        typMapDbgFlags mapFlags;
        objCenter.getFlags(mapFlags);
        QVERIFY(mapFlags.isEmpty());
        QVERIFY(!lstTexts.filter(QStringLiteral("is no debug-flags file and is ignored")).isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestDebugCenter)
#include "tst_cdebugcenter.moc"

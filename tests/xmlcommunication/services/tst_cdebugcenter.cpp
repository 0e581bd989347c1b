#include <OrvexXmlInterface/platform/Platform.h>
#include <OrvexXmlInterface/xmlcommunication/services/CDebugCenter.h>
#include <OrvexXmlInterface/xmlcommunication/services/CDebugFlags.h>

#include <QtCore/QFile>
#include <QtCore/QThread>
#include <QtTest/QSignalSpy>
#include <QtTest/QtTest>

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

QString startupFilePath()
{
    return QCoreApplication::applicationDirPath() + QStringLiteral("/tst_cdebugcenter.dbgflags.xml");
}
}  // namespace

class TestDebugCenter : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        // The file beside the executable is read when the center is first made.
        QFile objFile(startupFilePath());
        QVERIFY(objFile.open(QIODevice::WriteOnly));
        objFile.write("<XmlCommunicationDevice>\n<DebugFlags>\n<CStartup>\n<log>1</log>\n<Mode>x</Mode>\n"
                      "</CStartup>\n</DebugFlags>\n</XmlCommunicationDevice>\n");
        objFile.close();
        QMap<QString, QString> mapStartup;
        CDebugCenter::getInstance()->getFlags(QStringLiteral("CStartup"), mapStartup);
        QFile::remove(startupFilePath());
        QCOMPARE(mapStartup,
                 flags({{QStringLiteral("log"), QStringLiteral("1")}, {QStringLiteral("Mode"), QStringLiteral("x")}}));

        // A holder created after a setup applies it at once.
        CHolder objLate(QStringLiteral("CStartup"));
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

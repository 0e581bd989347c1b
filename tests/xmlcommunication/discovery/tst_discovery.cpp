#include <OrvexXmlInterface/platform/Platform.h>
#include <OrvexXmlInterface/xmlcommunication/discovery/CBroadcastReceiver.h>
#include <OrvexXmlInterface/xmlcommunication/discovery/CHandleBroadcast.h>
#include <OrvexXmlInterface/xmlcommunication/discovery/CMainServiceBroadcastParser.h>
#include <OrvexXmlInterface/xmlcommunication/discovery/CNORVABroadcastParser.h>
#include <OrvexXmlInterface/xmlcommunication/services/CDebugCenter.h>

#include <QtNetwork/QHostAddress>
#include <QtNetwork/QUdpSocket>
#include <QtTest/QSignalSpy>
#include <QtTest/QtTest>

#include <atomic>
#include <thread>

using namespace XmlCommunication;

namespace
{
const QByteArray s_baService("ORVEX-MainService;{0a1b2c3d-0000-4e5f-8a9b-0123456789ab};12-34;mainhost;10.0.0.7;5000");

// The arguments of one signal, "|"-joined.
QString joined(const QList<QVariant>& a_lstArguments)
{
    QStringList lst;
    for (const QVariant& objArgument : a_lstArguments) {
        lst.append(objArgument.userType() == QMetaType::QByteArray ? QString::fromLatin1(objArgument.toByteArray())
                                                                   : objArgument.toString());
    }
    return lst.join(QLatin1Char('|'));
}

// One parser behind a receiver on a port chosen by the system, and a sender on 127.0.0.1.
class CRig
{
public:
    explicit CRig(bool a_bNorva)
        : m_objNorva(m_ptrNorva.data(), &CNORVABroadcastParser::signalNORVABroadcastData),
          m_objData(m_ptrService.data(), &CMainServiceBroadcastParser::signalMainServiceData),
          m_objInitial(m_ptrService.data(), &CMainServiceBroadcastParser::signalInitialMainServiceData),
          m_bNorva(a_bNorva)
    {
        m_objReceiver.start(
            0, {a_bNorva ? m_ptrNorva.staticCast<IBroadcastParser>() : m_ptrService.staticCast<IBroadcastParser>()});
    }

    void send(const QByteArray& a_baDatagram)
    {
        m_objSender.writeDatagram(a_baDatagram, QHostAddress(QHostAddress::LocalHost), m_objReceiver.getLocalPort());
    }

    // Sends the datagram and then a sentinel of the parser's format: once the sentinel is through,
    // so is the datagram (loopback keeps the order). Returns the datagram's signals (a device's
    // without the original datagram).
    QStringList sendAndSettle(const QByteArray& a_baDatagram)
    {
        QSignalSpy& objSpy = m_bNorva ? m_objNorva : m_objData;
        send(a_baDatagram);
        send(m_bNorva ? "SENTINEL;127.1.2.3;;" : "ORVEX-;{5e};1-1;SENTINEL;127.1.2.3;1");
        if (!QTest::qWaitFor(
                [&] { return !objSpy.isEmpty() && joined(objSpy.last()).contains(QLatin1String("|SENTINEL|")); },
                20000))
            return {QStringLiteral("sentinel lost")};
        objSpy.removeLast();
        QStringList lst;
        for (const QList<QVariant>& lstArguments : qAsConst(m_objNorva)) {
            lst.append(joined(lstArguments.mid(0, 5)));
            m_lstOriginals.append(lstArguments.at(5).toByteArray());
        }
        for (const QSignalSpy* pSpy : {&m_objData, &m_objInitial}) {
            for (const QList<QVariant>& lstArguments : *pSpy)
                lst.append(joined(lstArguments));
        }
        return lst;
    }

    QSharedPointer<CNORVABroadcastParser> m_ptrNorva = QSharedPointer<CNORVABroadcastParser>::create();
    QSharedPointer<CMainServiceBroadcastParser> m_ptrService = QSharedPointer<CMainServiceBroadcastParser>::create();
    QSignalSpy m_objNorva;
    QSignalSpy m_objData;
    QSignalSpy m_objInitial;
    bool m_bNorva;
    CBroadcastReceiver m_objReceiver;
    QUdpSocket m_objSender;
    QList<QByteArray> m_lstOriginals;
};

// Switches the discovery classes' "log" flag on and captures the diagnostic output.
class CLogCapture
{
public:
    CLogCapture()
        : m_fnPrevious(Platform::setDebugOutputHook([this](const QString& a_str) { m_lstLines.append(a_str); }))
    {
        setLog(QStringLiteral("1"));
    }
    ~CLogCapture()
    {
        setLog(QStringLiteral("0"));
        Platform::setDebugOutputHook(m_fnPrevious);
    }
    QStringList m_lstLines;

private:
    static void setLog(const QString& a_strValue)
    {
        typMapDbgFlags mapFlags;
        for (const char* pszClass : {"CBroadcastReceiver", "CNORVABroadcastParser", "CMainServiceBroadcastParser"})
            mapFlags.insert(QLatin1String(pszClass), {{QStringLiteral("log"), a_strValue}});
        CDebugCenter::getInstance()->setFlags(mapFlags);
    }
    Platform::typDebugOutputHook m_fnPrevious;
};
}  // namespace

class TestDiscovery : public QObject
{
    Q_OBJECT

private slots:
    void norvaAnnouncements_data();
    void norvaAnnouncements();
    void mainServiceAnnouncements_data();
    void mainServiceAnnouncements();
    void malformedDatagramsAreIgnored_data();
    void malformedDatagramsAreIgnored();
    void datagramSizeLimit();
    void productPrefixIsSettable();
    void handleBroadcastReemits();
    void slotsMayRestartOrDestroyTheReceiver();
    void destroyedWhileDatagramsArrive();
};

void TestDiscovery::norvaAnnouncements_data()
{
    QTest::addColumn<QByteArray>("datagram");
    QTest::addColumn<QStringList>("expected");  // address|type|firmware|serial|sender

    QTest::newRow("two addresses") << QByteArray("NORVA-R4;FW: 2.1.0;SN: 4711;10.0.0.5;192.168.1.5;")
                                   << QStringList{QStringLiteral("10.0.0.5|NORVA-R4|2.1.0|4711|127.0.0.1"),
                                                  QStringLiteral("192.168.1.5|NORVA-R4|2.1.0|4711|127.0.0.1")};
    QTest::newRow("any order, last FW counts, empty fields skipped")
        << QByteArray("T;10.0.0.1;FW: 1;;SN: 9;FW: 2;;") << QStringList{QStringLiteral("10.0.0.1|T|2|9|127.0.0.1")};
    QTest::newRow("no closing ; loses the last field")
        << QByteArray("T;FW: 1;SN: 2;10.0.0.1;10.0.0.2") << QStringList{QStringLiteral("10.0.0.1|T|1|2|127.0.0.1")};
    QTest::newRow("prefix without its blank is an address, bytes as they are")
        << QByteArray("T\xe9;FW:1;SN: \xff;") << QStringList{QStringLiteral("FW:1|T\u00e9||\u00ff|127.0.0.1")};
    const QByteArray baLongType(600, 'x');
    QTest::newRow("longer than 500 bytes, read whole")
        << QByteArray(baLongType + ";10.0.0.9;;")
        << QStringList{QStringLiteral("10.0.0.9|%1|||127.0.0.1").arg(QString::fromLatin1(baLongType))};
}

void TestDiscovery::norvaAnnouncements()
{
    QFETCH(QByteArray, datagram);
    QFETCH(QStringList, expected);
    CRig objRig(true);
    QVERIFY(objRig.m_objReceiver.getLocalPort() != 0);
    QCOMPARE(objRig.sendAndSettle(datagram), expected);
    QCOMPARE(objRig.m_lstOriginals, QVector<QByteArray>(expected.size(), datagram).toList());
}

void TestDiscovery::mainServiceAnnouncements_data()
{
    QTest::addColumn<QByteArray>("datagram");
    QTest::addColumn<QString>("expected");  // guid|serial|host|address|port[|sender]: initial without sender

    QTest::newRow("known address") << s_baService
                                   << QStringLiteral("{0a1b2c3d-0000-4e5f-8a9b-0123456789ab}|12-34|mainhost|10.0.0.7|"
                                                     "5000|127.0.0.1");
    QTest::newRow("0.0.0.0: the sender's address")
        << QByteArray("ORVEX-MainService;{abc};1-2;h;0.0.0.0;80") << QStringLiteral("{abc}|1-2|h|127.0.0.1|80");
    QTest::newRow("upper-case identity, empty serial sides, empty host, highest port")
        << QByteArray("ORVEX-;{ABCDEF-01};-;;1.2.3.4;65535")
        << QStringLiteral("{ABCDEF-01}|-||1.2.3.4|65535|127.0.0.1");
    QTest::newRow("UTF-8 host, text after a zero byte ignored")
        << QByteArray("ORVEX-x;{};7-;Gr\xc3\xb6\xc3\x9f"
                      "e;10.0.0.1;1") +
               QByteArray(1, '\0') + ";junk;"
        << QStringLiteral("{}|7-|Gr\u00f6\u00dfe|10.0.0.1|1|127.0.0.1");
}

void TestDiscovery::mainServiceAnnouncements()
{
    QFETCH(QByteArray, datagram);
    QFETCH(QString, expected);
    CRig objRig(false);
    QCOMPARE(objRig.sendAndSettle(datagram), QStringList{expected});
}

void TestDiscovery::malformedDatagramsAreIgnored_data()
{
    QTest::addColumn<bool>("norva");
    QTest::addColumn<QByteArray>("datagram");
    QTest::addColumn<QString>("log");

    const QString strNorva = QStringLiteral("CNORVABroadcastParser: datagram from 127.0.0.1 ignored: ");
    const QString strService = QStringLiteral("CMainServiceBroadcastParser: datagram from 127.0.0.1 ignored: ");
    QTest::newRow("device: three fields")
        << true << QByteArray("T;10.0.0.1;") << strNorva + QStringLiteral("3 field(s), at least 4 expected");
    QTest::newRow("device: no address") << true << QByteArray("T;FW: 1;SN: 2;;;")
                                        << strNorva + QStringLiteral("no address field");
    const QByteArray baLong = "T;" + QByteArray(8200, 'a') + ";10.0.0.1;";
    QTest::newRow("device: too long") << true << baLong
                                      << QStringLiteral("CBroadcastReceiver: datagram of %1 bytes from 127.0.0.1 "
                                                        "ignored, more than 8192 bytes")
                                             .arg(baLong.size());
    QTest::newRow("service: closing ;") << false << QByteArray(s_baService + ';')
                                        << strService + QStringLiteral("7 field(s), 6 expected");
    QTest::newRow("service: zero byte first") << false << QByteArray(1, '\0') + "ORVEX-;{};1-2;h;1.2.3.4;1"
                                              << strService + QStringLiteral("1 field(s), 6 expected");
    QTest::newRow("service: prefix case")
        << false << QByteArray("orvex-MS;{};1-2;h;1.2.3.4;1")
        << strService + QStringLiteral("product tag \"orvex-MS\" does not begin with \"ORVEX-\"");
    QTest::newRow("service: identity not hexadecimal")
        << false << QByteArray("ORVEX-;{0a1g};1-2;h;1.2.3.4;1")
        << strService + QStringLiteral("identity \"{0a1g}\" is not a GUID in braces");
    QTest::newRow("service: serial without dash")
        << false << QByteArray("ORVEX-;{};12;h;1.2.3.4;1")
        << strService + QStringLiteral("serial identifier \"12\" is not of the form digits-digits");
    QTest::newRow("service: three-part address")
        << false << QByteArray("ORVEX-;{};1-2;h;1.2.3;1")
        << strService + QStringLiteral("IP address \"1.2.3\" is not an IPv4 address");
    QTest::newRow("service: port above 65535")
        << false << QByteArray("ORVEX-;{};1-2;h;1.2.3.4;65536")
        << strService + QStringLiteral("port \"65536\" is not a 16-bit decimal number");
    QTest::newRow("service: long field cut in the log")
        << false << QByteArray("ORVEX-;{" + QByteArray(100, 'z') + "};1-2;h;1.2.3.4;1")
        << strService +
               QStringLiteral("identity \"{%1\"... is not a GUID in braces").arg(QString(63, QLatin1Char('z')));
}

void TestDiscovery::malformedDatagramsAreIgnored()
{
    QFETCH(bool, norva);
    QFETCH(QByteArray, datagram);
    QFETCH(QString, log);
    CLogCapture objLog;
    CRig objRig(norva);
    QCOMPARE(objRig.sendAndSettle(datagram), QStringList());
    QCOMPARE(objLog.m_lstLines, QStringList{log});
}

void TestDiscovery::datagramSizeLimit()
{
    CRig objRig(true);
    const QByteArray baLarge = QByteArray(9000, 'x') + ";10.0.0.1;;";
    objRig.m_objReceiver.setMaxDatagramSize(baLarge.size() - 1);
    QCOMPARE(objRig.sendAndSettle(baLarge), QStringList());
    objRig.m_objReceiver.setMaxDatagramSize(baLarge.size());
    QCOMPARE(objRig.sendAndSettle(baLarge).size(), 1);
    objRig.m_objReceiver.setMaxDatagramSize(0);
    QCOMPARE(objRig.m_objReceiver.getMaxDatagramSize(), int(CBroadcastReceiver::m_iDefaultMaxDatagramSize));
}

void TestDiscovery::productPrefixIsSettable()
{
    CMainServiceBroadcastParser objParser;
    QSignalSpy objSpy(&objParser, &CMainServiceBroadcastParser::signalMainServiceData);
    CMainServiceBroadcastParser::setProductPrefix(QStringLiteral("ACME01"));
    objParser.parseDatagram(s_baService, QHostAddress());
    objParser.parseDatagram("ACME01 MS;{};1-2;h;1.2.3.4;1", QHostAddress());
    QCOMPARE(objSpy.count(), 1);
    CMainServiceBroadcastParser::setProductPrefix(QString());
    QCOMPARE(CMainServiceBroadcastParser::productPrefix(), QStringLiteral("ORVEX-"));
    objParser.parseDatagram(s_baService, QHostAddress());
    QCOMPARE(objSpy.count(), 2);
}

void TestDiscovery::handleBroadcastReemits()
{
    CHandleBroadcast objHandler;
    auto ptrNorva = QSharedPointer<CNORVABroadcastParser>::create();
    QSignalSpy objData(&objHandler, &CHandleBroadcast::signalMainServiceData);
    QSignalSpy objInitial(&objHandler, &CHandleBroadcast::signalInitialMainServiceData);
    QSignalSpy objDevices(ptrNorva.data(), &CNORVABroadcastParser::signalNORVABroadcastData);
    objHandler.start(0, {ptrNorva});
    QVERIFY(objHandler.getLocalPort() != 0);

    QUdpSocket objSender;
    auto send = [&](const QByteArray& a_ba) {
        objSender.writeDatagram(a_ba, QHostAddress(QHostAddress::LocalHost), objHandler.getLocalPort());
    };
    send("D;FW: 1;10.0.0.1;");
    send(s_baService);
    send("ORVEX-;{};1-2;h;0.0.0.0;9");
    QVERIFY(QTest::qWaitFor([&] { return objInitial.count() == 1; }, 20000));
    QCOMPARE(joined(objDevices.at(0).mid(0, 5)), QStringLiteral("10.0.0.1|D|1||127.0.0.1"));
    QCOMPARE(objData.count(), 1);
    QVERIFY(joined(objData.at(0)).endsWith(QLatin1String("|mainhost|10.0.0.7|5000|127.0.0.1")));
    QCOMPARE(joined(objInitial.at(0)), QStringLiteral("{}|1-2|h|127.0.0.1|9"));

    // A second start brings its own main-service parser; the first one is gone with the old list.
    objHandler.start(0, {});
    send(s_baService);
    QVERIFY(QTest::qWaitFor([&] { return objData.count() >= 2; }, 20000));
    QTest::qWait(50);
    QCOMPARE(objData.count(), 2);
}

void TestDiscovery::slotsMayRestartOrDestroyTheReceiver()
{
    QUdpSocket objSender;
    auto sendTo = [&](quint16 a_usPort, const QByteArray& a_ba) {
        objSender.writeDatagram(a_ba, QHostAddress(QHostAddress::LocalHost), a_usPort);
    };

    // Destroyed by the first of two signals of one datagram: the parser finishes its datagram,
    // no later parser is called, and the socket goes after its own readyRead has returned.
    QPointer<CBroadcastReceiver> ptrReceiver(new CBroadcastReceiver);
    auto ptrFirst = QSharedPointer<CNORVABroadcastParser>::create();
    auto ptrSecond = QSharedPointer<CNORVABroadcastParser>::create();
    int iFirst = 0;
    QObject::connect(ptrFirst.data(), &CNORVABroadcastParser::signalNORVABroadcastData, [&] {
        ++iFirst;
        delete ptrReceiver.data();
    });
    QSignalSpy objSecond(ptrSecond.data(), &CNORVABroadcastParser::signalNORVABroadcastData);
    ptrReceiver->start(0, {ptrFirst, ptrSecond});
    sendTo(ptrReceiver->getLocalPort(), "D;10.0.0.1;10.0.0.2;");
    QVERIFY(QTest::qWaitFor([&] { return ptrReceiver.isNull(); }, 20000));
    QTest::qWait(20);
    QCOMPARE(iFirst, 2);
    QCOMPARE(objSecond.count(), 0);

    // Restarted by a slot: the rest of the old socket's datagrams are dropped with it.
    CBroadcastReceiver objReceiver;
    auto ptrOld = QSharedPointer<CNORVABroadcastParser>::create();
    auto ptrNew = QSharedPointer<CNORVABroadcastParser>::create();
    QSignalSpy objOld(ptrOld.data(), &CNORVABroadcastParser::signalNORVABroadcastData);
    QSignalSpy objNew(ptrNew.data(), &CNORVABroadcastParser::signalNORVABroadcastData);
    QObject::connect(ptrOld.data(), &CNORVABroadcastParser::signalNORVABroadcastData,
                     [&] { objReceiver.start(0, {ptrNew}); });
    objReceiver.start(0, {ptrOld});
    const quint16 usOldPort = objReceiver.getLocalPort();
    sendTo(usOldPort, "D;10.0.0.1;;");
    sendTo(usOldPort, "D;10.0.0.2;;");
    QVERIFY(QTest::qWaitFor([&] { return objReceiver.getLocalPort() != usOldPort; }, 20000));
    sendTo(objReceiver.getLocalPort(), "E;10.0.0.3;;");
    QVERIFY(QTest::qWaitFor([&] { return objNew.count() == 1; }, 20000));
    QCOMPARE(objOld.count(), 1);
    QCOMPARE(objNew.at(0).at(1).toByteArray(), QByteArray("E"));
}

void TestDiscovery::destroyedWhileDatagramsArrive()
{
    // Static: the checker does not see Qt's thread joins, so memory that a receiver's thread
    // touched must never be reused for something else.
    static std::atomic<int> s_iHeard{0};
    static std::atomic<bool> s_bGone{false};
    auto ptrNorva = QSharedPointer<CNORVABroadcastParser>::create();
    // Without a context object the counter runs on the emitting thread, the receiver's.
    QObject::connect(ptrNorva.data(), &CNORVABroadcastParser::signalNORVABroadcastData, [] { ++s_iHeard; });
    for (int iRound = 0; iRound < 10; ++iRound) {
        QThread objThread;
        objThread.start();
        auto* pReceiver = new CBroadcastReceiver;
        pReceiver->moveToThread(&objThread);
        s_bGone = false;
        QObject::connect(pReceiver, &QObject::destroyed, [] { s_bGone = true; });
        pReceiver->start(0, {ptrNorva});  // runs on the receiver's thread
        QVERIFY(QTest::qWaitFor([&] { return pReceiver->getLocalPort() != 0; }, 20000));

        const quint16 usPort = pReceiver->getLocalPort();
        std::atomic<bool> bStop{false};
        std::thread objSender([&bStop, usPort] {
            QUdpSocket objSocket;
            for (int i = 0; !bStop; ++i) {
                objSocket.writeDatagram("D;FW: 1;127.0.0.1;", QHostAddress(QHostAddress::LocalHost), usPort);
                if (i % 8 == 0)
                    QThread::usleep(50);
            }
        });
        const int iBefore = s_iHeard;
        const bool bHeard = QTest::qWaitFor([&] { return s_iHeard > iBefore + 5; }, 20000);

        // Destroyed while its loop runs, or as the loop ends (the thread deletes it on its way out).
        pReceiver->deleteLater();
        const bool bGoneWhileRunning = iRound % 2 == 1 || QTest::qWaitFor([&] { return s_bGone.load(); }, 20000);
        objThread.quit();
        const bool bThreadEnded = objThread.wait(20000);
        bStop = true;
        objSender.join();
        QVERIFY(bHeard);
        QVERIFY(bGoneWhileRunning && bThreadEnded && s_bGone);
    }
    // Every receiver let go of the parser.
    const QWeakPointer<CNORVABroadcastParser> ptrWeak = ptrNorva;
    ptrNorva.reset();
    QVERIFY(ptrWeak.isNull());
}

QTEST_MAIN(TestDiscovery)
#include "tst_discovery.moc"

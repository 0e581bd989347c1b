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
const QByteArray s_baNorvaSentinel("SENTINEL;127.1.2.3;;");
const QByteArray s_baServiceSentinel("ORVEX-Sentinel;{5e};1-1;sentinel;127.1.2.3;1");
const QByteArray s_baService("ORVEX-MainService;{0a1b2c3d-0000-4e5f-8a9b-0123456789ab};12-34;mainhost;10.0.0.7;5000");

// One receiver on a port chosen by the system, a sender on 127.0.0.1 and a record of every
// signal of its parsers, each signal as one "|"-joined line.
class CRig
{
public:
    explicit CRig(bool a_bNorva = true, bool a_bService = true) : m_bServiceSentinel(!a_bNorva)
    {
        typBroadcastParserList lstParsers;
        if (a_bNorva) {
            lstParsers.append(m_ptrNorva);
            QObject::connect(
                m_ptrNorva.data(), &CNORVABroadcastParser::signalNORVABroadcastData,
                [this](const QByteArray& a_baAddress, const QByteArray& a_baType, const QByteArray& a_baFirmware,
                       const QByteArray& a_baSerial, const QByteArray& a_baSender, const QByteArray& a_baOriginal) {
                    m_lstNorva.append(QString::fromLatin1(a_baAddress + '|' + a_baType + '|' + a_baFirmware + '|' +
                                                          a_baSerial + '|' + a_baSender));
                    m_lstOriginals.append(a_baOriginal);
                });
        }
        if (a_bService) {
            lstParsers.append(m_ptrService);
            QObject::connect(m_ptrService.data(), &CMainServiceBroadcastParser::signalMainServiceData,
                             [this](const QString& a_strGuid, const QString& a_strSerial, const QString& a_strHost,
                                    const QString& a_strAddress, ushort a_usPort, const QString& a_strSender) {
                                 m_lstService.append(QStringList{QStringLiteral("data"), a_strGuid, a_strSerial,
                                                                 a_strHost, a_strAddress, QString::number(a_usPort),
                                                                 a_strSender}
                                                         .join(QLatin1Char('|')));
                             });
            QObject::connect(m_ptrService.data(), &CMainServiceBroadcastParser::signalInitialMainServiceData,
                             [this](const QString& a_strGuid, const QString& a_strSerial, const QString& a_strHost,
                                    const QString& a_strAddress, ushort a_usPort) {
                                 m_lstService.append(QStringList{QStringLiteral("initial"), a_strGuid, a_strSerial,
                                                                 a_strHost, a_strAddress, QString::number(a_usPort)}
                                                         .join(QLatin1Char('|')));
                             });
        }
        m_objReceiver.start(0, lstParsers);
    }

    bool send(const QByteArray& a_baDatagram)
    {
        return m_objSender.writeDatagram(a_baDatagram, QHostAddress(QHostAddress::LocalHost),
                                         m_objReceiver.getLocalPort()) == a_baDatagram.size();
    }

    // Sends the datagram and then a sentinel of a parser's own format; once the sentinel is
    // through, so is the datagram (loopback keeps the order). The sentinel's record is removed.
    bool sendAndSettle(const QByteArray& a_baDatagram)
    {
        QStringList& lstRecords = m_bServiceSentinel ? m_lstService : m_lstNorva;
        if (!send(a_baDatagram) || !send(m_bServiceSentinel ? s_baServiceSentinel : s_baNorvaSentinel))
            return false;
        const QString strMark = m_bServiceSentinel ? QStringLiteral("|sentinel|") : QStringLiteral("|SENTINEL|");
        if (!QTest::qWaitFor([&] { return !lstRecords.isEmpty() && lstRecords.last().contains(strMark); }, 5000))
            return false;
        lstRecords.removeLast();
        if (!m_bServiceSentinel)
            m_lstOriginals.removeLast();
        return true;
    }

    QSharedPointer<CNORVABroadcastParser> m_ptrNorva = QSharedPointer<CNORVABroadcastParser>::create();
    QSharedPointer<CMainServiceBroadcastParser> m_ptrService = QSharedPointer<CMainServiceBroadcastParser>::create();
    CBroadcastReceiver m_objReceiver;
    QUdpSocket m_objSender;
    QStringList m_lstNorva;
    QList<QByteArray> m_lstOriginals;
    QStringList m_lstService;
    bool m_bServiceSentinel;
};

// Captures the diagnostic output while the discovery classes log.
class CLogCapture
{
public:
    CLogCapture()
    {
        setLog(QStringLiteral("1"));
        m_fnPrevious = Platform::setDebugOutputHook([this](const QString& a_strText) { m_lstLines.append(a_strText); });
    }
    ~CLogCapture()
    {
        Platform::setDebugOutputHook(m_fnPrevious);
        setLog(QStringLiteral("0"));
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
    QTest::newRow("no firmware, no serial")
        << QByteArray("T;10.0.0.1;10.0.0.2;")
        << QStringList{QStringLiteral("10.0.0.1|T|||127.0.0.1"), QStringLiteral("10.0.0.2|T|||127.0.0.1")};
    QTest::newRow("prefix without its blank is an address")
        << QByteArray("T;FW:1;SN: 2;") << QStringList{QStringLiteral("FW:1|T||2|127.0.0.1")};
    QTest::newRow("empty type, prefix alone gives an empty value")
        << QByteArray(";FW: ;10.0.0.1;") << QStringList{QStringLiteral("10.0.0.1||||127.0.0.1")};
    QTest::newRow("bytes taken as they are")
        << QByteArray("T\xe9;FW: \xff\x01;a b;") << QStringList{QStringLiteral("a b|T\u00e9|\u00ff\u0001||127.0.0.1")};
    const QByteArray baLongType(600, 'x');
    QTest::newRow("longer than 500 bytes, read whole")
        << QByteArray(baLongType + ";SN: 1;10.0.0.9;")
        << QStringList{QStringLiteral("10.0.0.9|%1||1|127.0.0.1").arg(QString::fromLatin1(baLongType))};
}

void TestDiscovery::norvaAnnouncements()
{
    QFETCH(QByteArray, datagram);
    QFETCH(QStringList, expected);
    CRig objRig(true, false);
    QVERIFY(objRig.m_objReceiver.getLocalPort() != 0);
    QVERIFY(objRig.sendAndSettle(datagram));
    QCOMPARE(objRig.m_lstNorva, expected);
    for (const QByteArray& baOriginal : qAsConst(objRig.m_lstOriginals))
        QCOMPARE(baOriginal, datagram);
}

void TestDiscovery::mainServiceAnnouncements_data()
{
    QTest::addColumn<QByteArray>("datagram");
    QTest::addColumn<QString>("expected");  // kind|guid|serial|host|address|port[|sender]

    const QString strGuid = QStringLiteral("{0a1b2c3d-0000-4e5f-8a9b-0123456789ab}");
    QTest::newRow("known address") << s_baService
                                   << QStringLiteral("data|%1|12-34|mainhost|10.0.0.7|5000|127.0.0.1").arg(strGuid);
    QTest::newRow("0.0.0.0: the sender's address")
        << QByteArray("ORVEX-MainService;{abc};1-2;h;0.0.0.0;80") << QStringLiteral("initial|{abc}|1-2|h|127.0.0.1|80");
    QTest::newRow("upper-case identity, empty serial sides, empty host, highest port")
        << QByteArray("ORVEX-;{ABCDEF-01};-;;1.2.3.4;65535")
        << QStringLiteral("data|{ABCDEF-01}|-||1.2.3.4|65535|127.0.0.1");
    QTest::newRow("UTF-8 host, text after a zero byte ignored")
        << QByteArray("ORVEX-x;{};7-;Gr\xc3\xb6\xc3\x9f"
                      "e;10.0.0.1;1") +
               QByteArray(1, '\0') + ";junk;"
        << QStringLiteral("data|{}|7-|Gr\u00f6\u00dfe|10.0.0.1|1|127.0.0.1");
}

void TestDiscovery::mainServiceAnnouncements()
{
    QFETCH(QByteArray, datagram);
    QFETCH(QString, expected);
    CRig objRig(false, true);
    QVERIFY(objRig.sendAndSettle(datagram));
    QCOMPARE(objRig.m_lstService, QStringList{expected});
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
    QTest::newRow("service: five fields")
        << false << QByteArray("ORVEX-;{};1-2;h;1.2.3.4") << strService + QStringLiteral("5 field(s), 6 expected");
    QTest::newRow("service: zero byte first") << false << QByteArray(1, '\0') + "ORVEX-;{};1-2;h;1.2.3.4;1"
                                              << strService + QStringLiteral("1 field(s), 6 expected");
    QTest::newRow("service: prefix case") << false << QByteArray("orvex-MS;{};1-2;h;1.2.3.4;1")
                                          << strService + QStringLiteral("product tag \"orvex-MS\" does not begin "
                                                                         "with \"ORVEX-\"");
    QTest::newRow("service: identity without braces")
        << false << QByteArray("ORVEX-;0a1b;1-2;h;1.2.3.4;1")
        << strService + QStringLiteral("identity \"0a1b\" is not a GUID in braces");
    QTest::newRow("service: identity not hexadecimal")
        << false << QByteArray("ORVEX-;{0a1g};1-2;h;1.2.3.4;1")
        << strService + QStringLiteral("identity \"{0a1g}\" is not a GUID in braces");
    QTest::newRow("service: serial without dash")
        << false << QByteArray("ORVEX-;{};12;h;1.2.3.4;1")
        << strService + QStringLiteral("serial identifier \"12\" is not of the form digits-digits");
    QTest::newRow("service: three-part address")
        << false << QByteArray("ORVEX-;{};1-2;h;1.2.3;1")
        << strService + QStringLiteral("IP address \"1.2.3\" is not an IPv4 address");
    QTest::newRow("service: address with a name")
        << false << QByteArray("ORVEX-;{};1-2;h;host.lan;1")
        << strService + QStringLiteral("IP address \"host.lan\" is not an IPv4 address");
    QTest::newRow("service: port above 65535")
        << false << QByteArray("ORVEX-;{};1-2;h;1.2.3.4;65536")
        << strService + QStringLiteral("port \"65536\" is not a 16-bit decimal number");
    QTest::newRow("service: negative port")
        << false << QByteArray("ORVEX-;{};1-2;h;1.2.3.4;-1")
        << strService + QStringLiteral("port \"-1\" is not a 16-bit decimal number");
    QTest::newRow("service: empty port") << false << QByteArray("ORVEX-;{};1-2;h;1.2.3.4;")
                                         << strService + QStringLiteral("port \"\" is not a 16-bit decimal number");
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
    CRig objRig(norva, !norva);
    QVERIFY(objRig.sendAndSettle(datagram));
    QVERIFY(objRig.m_lstNorva.isEmpty());
    QVERIFY(objRig.m_lstService.isEmpty());
    QCOMPARE(objLog.m_lstLines, QStringList{log});
}

void TestDiscovery::datagramSizeLimit()
{
    CRig objRig(true, false);
    QCOMPARE(objRig.m_objReceiver.getMaxDatagramSize(), int(CBroadcastReceiver::m_iDefaultMaxDatagramSize));
    const QByteArray baLarge = QByteArray(9000, 'x') + ";10.0.0.1;;";
    objRig.m_objReceiver.setMaxDatagramSize(baLarge.size() - 1);
    QVERIFY(objRig.sendAndSettle(baLarge));
    QVERIFY(objRig.m_lstNorva.isEmpty());
    objRig.m_objReceiver.setMaxDatagramSize(baLarge.size());
    QVERIFY(objRig.sendAndSettle(baLarge));
    QCOMPARE(objRig.m_lstOriginals, QList<QByteArray>{baLarge});
    objRig.m_objReceiver.setMaxDatagramSize(0);
    QCOMPARE(objRig.m_objReceiver.getMaxDatagramSize(), int(CBroadcastReceiver::m_iDefaultMaxDatagramSize));
}

void TestDiscovery::productPrefixIsSettable()
{
    CMainServiceBroadcastParser objParser;
    QSignalSpy objSpy(&objParser, &CMainServiceBroadcastParser::signalMainServiceData);
    const QHostAddress objSender(QStringLiteral("10.1.1.1"));
    QCOMPARE(CMainServiceBroadcastParser::productPrefix(), CMainServiceBroadcastParser::defaultProductPrefix());

    CMainServiceBroadcastParser::setProductPrefix(QStringLiteral("ACME01"));
    objParser.parseDatagram(s_baService, objSender);
    objParser.parseDatagram("ACME01 MS;{};1-2;h;1.2.3.4;1", objSender);
    QCOMPARE(objSpy.count(), 1);
    QCOMPARE(objSpy.at(0).at(5).toString(), QStringLiteral("10.1.1.1"));

    CMainServiceBroadcastParser::setProductPrefix(QString());
    QCOMPARE(CMainServiceBroadcastParser::productPrefix(), QStringLiteral("ORVEX-"));
    objParser.parseDatagram(s_baService, objSender);
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
    QVERIFY(QTest::qWaitFor([&] { return objInitial.count() == 1; }, 5000));
    QCOMPARE(objDevices.at(0).at(1).toByteArray(), QByteArray("D"));
    QCOMPARE(objData.count(), 1);
    QCOMPARE(objData.at(0).at(3).toString(), QStringLiteral("10.0.0.7"));
    QCOMPARE(objData.at(0).at(4).value<ushort>(), ushort(5000));
    QCOMPARE(objInitial.at(0).at(3).toString(), QStringLiteral("127.0.0.1"));

    // A second start brings its own main-service parser; the first one is gone with the old list.
    objHandler.start(0, {});
    send(s_baService);
    QVERIFY(QTest::qWaitFor([&] { return objData.count() >= 2; }, 5000));
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
    QVERIFY(QTest::qWaitFor([&] { return ptrReceiver.isNull(); }, 5000));
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
    QVERIFY(QTest::qWaitFor([&] { return objReceiver.getLocalPort() != usOldPort; }, 5000));
    sendTo(objReceiver.getLocalPort(), "E;10.0.0.3;;");
    QVERIFY(QTest::qWaitFor([&] { return objNew.count() == 1; }, 5000));
    QCOMPARE(objOld.count(), 1);
    QCOMPARE(objNew.at(0).at(1).toByteArray(), QByteArray("E"));
}

void TestDiscovery::destroyedWhileDatagramsArrive()
{
    auto ptrNorva = QSharedPointer<CNORVABroadcastParser>::create();
    std::atomic<int> iHeard{0};
    // Without a context object the counter runs on the emitting thread, the receiver's.
    QObject::connect(ptrNorva.data(), &CNORVABroadcastParser::signalNORVABroadcastData, [&iHeard] { ++iHeard; });

    for (int iRound = 0; iRound < 10; ++iRound) {
        QThread objThread;
        objThread.start();
        auto* pReceiver = new CBroadcastReceiver;
        pReceiver->moveToThread(&objThread);
        std::atomic<bool> bGone{false};
        QObject::connect(pReceiver, &QObject::destroyed, [&bGone] { bGone = true; });
        pReceiver->start(0, {ptrNorva});  // runs on the receiver's thread
        QVERIFY(QTest::qWaitFor([&] { return pReceiver->getLocalPort() != 0; }, 5000));

        const quint16 usPort = pReceiver->getLocalPort();
        std::atomic<bool> bStop{false};
        QScopedPointer<QThread> ptrSender(QThread::create([&bStop, usPort] {
            QUdpSocket objSocket;
            for (int i = 0; !bStop; ++i) {
                objSocket.writeDatagram("D;FW: 1;127.0.0.1;", QHostAddress(QHostAddress::LocalHost), usPort);
                if (i % 8 == 0)
                    QThread::usleep(50);
            }
        }));
        ptrSender->start();
        const int iBefore = iHeard;
        QVERIFY(QTest::qWaitFor([&] { return iHeard > iBefore + 20; }, 5000));

        if (iRound % 2 == 0) {
            pReceiver->deleteLater();  // while its loop runs
            QVERIFY(QTest::qWaitFor([&] { return bGone.load(); }, 5000));
        } else {
            QObject::connect(&objThread, &QThread::finished, pReceiver, &QObject::deleteLater);  // as the loop ends
        }
        objThread.quit();
        QVERIFY(objThread.wait(5000));
        QVERIFY(bGone);
        bStop = true;
        QVERIFY(ptrSender->wait(5000));
    }
    // Every receiver let go of the parser.
    const QWeakPointer<CNORVABroadcastParser> ptrWeak = ptrNorva;
    ptrNorva.reset();
    QVERIFY(ptrWeak.isNull());
}

QTEST_MAIN(TestDiscovery)
#include "tst_discovery.moc"

#include "../common/TreeTestUtils.h"

#include <OrvexXmlInterface/facade/ConverterHelpers.h>
#include <OrvexXmlInterface/facade/XmlMessageHelpers.h>
#include <OrvexXmlInterface/facade/kv_XML.h>
#include <OrvexXmlInterface/facade/kv_XMLObject.h>
#include <OrvexXmlInterface/platform/Platform.h>

#include <QtCore/QProcess>
#include <QtTest/QtTest>

using namespace XmlCommon;
using namespace kv_XML;
using TestUtils::el;

namespace
{
// Captures what reaches the debugger output and the standard error stream.
class COutputCapture
{
public:
    COutputCapture()
    {
        m_fnDebug = Platform::setDebugOutputHook([this](const QString& a_str) { m_lstDebug.append(a_str); });
        m_fnStderr = Platform::setStandardErrorHook([this](const QByteArray& a_ba) { m_lstStderr.append(a_ba); });
    }
    ~COutputCapture()
    {
        Platform::setDebugOutputHook(m_fnDebug);
        Platform::setStandardErrorHook(m_fnStderr);
    }
    // Where kvxml_message_output writes.
    QStringList outputLines() const
    {
        if (Platform::isDebuggerPresent())
            return m_lstDebug;
        QStringList lst;
        for (const QByteArray& ba : m_lstStderr)
            lst.append(QString::fromUtf8(ba));
        return lst;
    }

    QStringList m_lstDebug;
    QList<QByteArray> m_lstStderr;

private:
    Platform::typDebugOutputHook m_fnDebug;
    Platform::typStandardErrorHook m_fnStderr;
};

CMsgFragment fragment(const ptrCXmlElement& a_ptrRoot)
{
    return CMsgFragment(a_ptrRoot);
}
}  // namespace

class TestFacade : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY(setup()); }
    void cleanupTestCase() { cleanup(); }

    void resultCodes()
    {
        QVERIFY(ConverterHelpers::isSuccess(0) && !ConverterHelpers::isFailure(0));
        QVERIFY(ConverterHelpers::isFailure(0x02420002) && !ConverterHelpers::isSuccess(0x02420002));
    }

    void readableFormRoundTrip_data()
    {
        QTest::addColumn<ptrCXmlElement>("tree");
        QTest::addColumn<QByteArray>("text");

        QTest::newRow("leaf") << el("Empty") << QByteArray("\n<Empty/>\n");
        QTest::newRow("nested, attributes in order, quotes escaped")
            << el("Setup", {{"b", QStringLiteral("2")}, {"a", QStringLiteral("x\"y'z")}}, QString(),
                  {el("Frequency", {{"unit", QStringLiteral("Hz")}}, QStringLiteral("118")), el("Empty")})
            << QByteArray(
                   "\n<Setup b=\"2\" a=\"x&quot;y&apos;z\">\n  <Frequency unit=\"Hz\">118</Frequency>\n  <Empty/>\n"
                   "</Setup>\n");
        QTest::newRow("escaped and non-ASCII value") << el("T", {}, QStringLiteral("a<b & \u00e4\u20ac"))
                                                     << QByteArray("\n<T>a&lt;b &amp; \xc3\xa4\xe2\x82\xac</T>\n");
        QTest::newRow("CDATA shown") << el("T", {}, QStringLiteral("<![CDATA[x<y]]>"))
                                     << QByteArray("\n<T><![CDATA[x<y]]></T>\n");
        QTest::newRow("three levels") << el("A", {}, QString(),
                                            {el("B", {}, QString(), {el("C", {}, QStringLiteral("1"))}), el("D")})
                                      << QByteArray("\n<A>\n  <B>\n    <C>1</C>\n  </B>\n  <D/>\n</A>\n");
    }
    void readableFormRoundTrip()
    {
        QFETCH(ptrCXmlElement, tree);
        QFETCH(QByteArray, text);
        QCOMPARE(XmlMessageHelpers::xmlElementToByteArray(tree), text);
        QCOMPARE(XmlMessageHelpers::dataTreeToByteArray(CDataTree(tree)), text);

        bool bOk = false;
        const ptrCXmlElement ptrBack = XmlMessageHelpers::byteArrayToXmlElement(text, bOk);
        QVERIFY(bOk);
        QCOMPARE(TestUtils::difference(tree, ptrBack), QString());
        bOk = false;
        const CDataTree objTree = XmlMessageHelpers::byteArrayToDataTree(text, bOk);
        QVERIFY(bOk);
        QCOMPARE(TestUtils::difference(tree, objTree.getElementTree()), QString());
    }

    void failuresWriteOneLine()
    {
        // The parser reports its own error as a warning too; that is not the facade's line.
        const QtMessageHandler pPrevious =
            qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
        COutputCapture objCapture;
        bool bOk = true;
        QVERIFY(!XmlMessageHelpers::byteArrayToXmlElement("<a><b></a>", bOk));
        QVERIFY(!bOk);
        // Text that ends early is no error: nothing complete, nothing written.
        bOk = false;
        QVERIFY(XmlMessageHelpers::byteArrayToDataTree("<a>", bOk).isNull());
        QVERIFY(bOk);
        bOk = true;
        QVERIFY(XmlMessageHelpers::byteArrayToDataTree("<a/><b/>", bOk).isNull());
        QVERIFY(!bOk);
        QCOMPARE(XmlMessageHelpers::xmlElementToByteArray(ptrCXmlElement()), QByteArray());
        QCOMPARE(XmlMessageHelpers::dataTreeToByteArray(CDataTree()), QByteArray());
        qInstallMessageHandler(pPrevious);

        const QStringList lstLines = objCapture.outputLines();
        QCOMPARE(lstLines.size(), 4);
        QVERIFY2(lstLines.at(0).startsWith(QLatin1String("kv_XML - byteArrayToXmlElement: ")),
                 qPrintable(lstLines.at(0)));
        QVERIFY(lstLines.at(0).contains(QLatin1String("NotWellFormedError: Line(1), Column(")));
        QVERIFY(lstLines.at(0).endsWith(QLatin1Char('\n')));
        QVERIFY(lstLines.at(1).startsWith(QLatin1String("kv_XML - byteArrayToXmlElement: ")));
        QCOMPARE(lstLines.at(2), QStringLiteral("xmlElementToByteArray: NULL element pointer\n"));
        QCOMPARE(lstLines.at(3), QStringLiteral("xmlElementToByteArray: NULL element pointer\n"));
    }

    void debugFormats()
    {
        const ptrCXmlElement ptrTuner = el(
            "Tuner", {{"version", QStringLiteral("2")}}, QString(),
            {el("Setup", {}, QString(), {el("Frequency", {{"unit", QStringLiteral("Hz")}}, QStringLiteral("a<b"))})});
        const QString strTuner = QStringLiteral("(\n\n <Tuner version=\"2\">\n   <Setup>\n     <Frequency "
                                                "unit=\"Hz\">a<b</Frequency>\n   </Setup>\n </Tuner>\n)");
        const QString strCData = QStringLiteral("(\n\n <Rpp><![CDATA[raw]]></Rpp>\n)");
        QCOMPARE(XmlMessageHelpers::debugFormatFragment(fragment(ptrTuner)), strTuner);
        QCOMPARE(XmlMessageHelpers::debugFormatFragment(CMsgFragment()), QStringLiteral("(null fragment)"));
        QCOMPARE(XmlMessageHelpers::debugFormatFragments({}), QString());
        QCOMPARE(XmlMessageHelpers::debugFormatFragments(
                     {fragment(ptrTuner), CMsgFragment(), fragment(el("Rpp", {}, QStringLiteral("<![CDATA[raw]]>")))}),
                 strTuner + QStringLiteral("\n(null fragment)\n") + strCData);

        QCOMPARE(XmlMessageHelpers::debugFormatMessage(ptrCXmlMessage()), QStringLiteral("<null message Ptr>"));
        ptrCXmlMessage ptrMessage(new CXmlMessage(3));
        QCOMPARE(XmlMessageHelpers::debugFormatMessage(ptrMessage), QStringLiteral("-> XmlMessage\n<- XmlMessage"));
        ptrMessage->setServiceType(CXmlMessage::REQUEST_SET);
        QCOMPARE(XmlMessageHelpers::debugFormatMessage(ptrMessage), QStringLiteral("-> XmlMessage\n<- XmlMessage"));
        ptrMessage->addFragment(fragment(ptrTuner), -1);
        ptrMessage->addFragment(fragment(el("Rpp", {}, QStringLiteral("<![CDATA[raw]]>"))), -1);
        QCOMPARE(XmlMessageHelpers::debugFormatMessage(ptrMessage), QStringLiteral("-> XmlMessage\n") + strTuner +
                                                                        QLatin1Char('\n') + strCData +
                                                                        QStringLiteral("\n<- XmlMessage"));
    }

    void debugOutput()
    {
        COutputCapture objCapture;
        kvxml_message_debug_output(QStringLiteral("Q \u00e4"));
        kvxml_message_debug_output("narrow");
        kvxml_message_debug_output(L"wide \u20ac");
        kvxml_message_debug_output(QStringLiteral("ends\n"));
        kvxml_message_debug_output(static_cast<const char*>(nullptr));
        QCOMPARE(objCapture.m_lstDebug,
                 (QStringList{QStringLiteral("Q \u00e4\n"), QStringLiteral("narrow\n"), QStringLiteral("wide \u20ac\n"),
                              QStringLiteral("ends\n\n"), QStringLiteral("\n")}));
        QVERIFY(objCapture.m_lstStderr.isEmpty());
    }

    // The bytes that really reach the stream, wide and narrow text interleaved.
    void standardErrorStream()
    {
        QProcess objProbe;
        objProbe.start(QStringLiteral(OXI_PROBE_PATH), QStringList());
        QVERIFY(objProbe.waitForFinished(30000));
        QCOMPARE(objProbe.exitCode(), 0);
        QCOMPARE(objProbe.readAllStandardError(), QByteArray("wide Gr\xc3\xb6\xc3\x9f"
                                                             "e \xe2\x82\xac\n"
                                                             "narrow \xff bytes\n"
                                                             "QString \xc3\xa4\n"
                                                             "output \xc3\xbc\n"
                                                             "output narrow\n"
                                                             "\n"
                                                             "last\n"));
        QVERIFY(objProbe.readAllStandardOutput().isEmpty());
    }

    void notifierSignalsQueued()
    {
        kv_IXmlMsgNotifier objNotifier;
        kv_XMLObject objHost;
        QStringList lstHeard;
        QObject::connect(
            &objNotifier, &kv_IXmlMsgNotifier::si_messageReceived, &objHost,
            [&](const QString&, ptrCXmlMessage a_ptrMessage, quint32 a_ulConnection) {
                lstHeard.append(
                    QStringLiteral("message %1 on %2").arg(a_ptrMessage->getConnectionId()).arg(a_ulConnection));
            },
            Qt::QueuedConnection);
        QObject::connect(
            &objNotifier, &kv_IXmlMsgNotifier::si_faultReceived, &objHost,
            [&](const QString& a_strSource, const CMsgFragment& a_objFragment, quint32) {
                lstHeard.append(a_strSource + QLatin1Char(' ') +
                                static_cast<const QString&>(a_objFragment.getComponentName()));
            },
            Qt::QueuedConnection);

        // Queued, so the arguments travel as registered meta types, as between threads.
        emit objNotifier.si_messageReceived(QStringLiteral("now"), ptrCXmlMessage(new CXmlMessage(7)), 8);
        emit objNotifier.si_faultReceived(QStringLiteral("Peer"), fragment(el("Tuner")), 1);
        QVERIFY(lstHeard.isEmpty());
        QVERIFY(QTest::qWaitFor([&] { return lstHeard.size() == 2; }, 5000));
        QCOMPARE(lstHeard, (QStringList{QStringLiteral("message 7 on 8"), QStringLiteral("Peer Tuner")}));
    }
};

QTEST_MAIN(TestFacade)
#include "tst_facade.moc"

#include "../common/TreeTestUtils.h"

#include <OrvexXmlInterface/platform/Platform.h>
#include <OrvexXmlInterface/xmlcommon/CXmlReader.h>
#include <OrvexXmlInterface/xmlcommon/CXmlStreamParser.h>

#include <QtTest/QtTest>

#include <new>

using namespace XmlCommon;
using TestUtils::el;
using TestUtils::wire;

namespace
{
// Records every callback; the header is recorded as the root's wire text at that moment.
class CRecorder : public IXmlListener
{
public:
    QStringList m_lstEvents;
    QList<ptrCXmlElement> m_lstDocs;
    QList<ptrCXmlMessage> m_lstHeaders;
    QList<ptrCXmlMessage> m_lstMessages;
    QStringList m_lstErrors;

    void handleFinishedXmlDoc(ptrCXmlElement a_ptrRoot) override
    {
        m_lstDocs.append(a_ptrRoot);
        m_lstEvents.append(QStringLiteral("doc"));
    }
    void handleFinishedXmlMsg(ptrCXmlMessage a_ptrMsg) override
    {
        m_lstMessages.append(a_ptrMsg);
        m_lstEvents.append(QStringLiteral("msg"));
    }
    void handleMsgHeader(ptrCXmlMessage a_ptrMsg) override
    {
        m_lstHeaders.append(a_ptrMsg);
        m_lstEvents.append(QStringLiteral("header ") + QString::fromUtf8(wire(a_ptrMsg->getElementTree())));
    }
    void handleParserError(const QString& a_strText) override
    {
        m_lstErrors.append(a_strText);
        m_lstEvents.append(QStringLiteral("error"));
    }
};

// Feeds the text in pieces of 1 to a_iMaxChunk bytes (the whole text when 0).
bool feed(CXmlStreamParser& a_objParser, const QByteArray& a_baText, int a_iMaxChunk, QRandomGenerator& a_objRandom)
{
    bool bOk = true;
    for (int iPos = 0; iPos < a_baText.size();) {
        const int iLength = a_iMaxChunk == 0 ? a_baText.size() : 1 + int(a_objRandom.bounded(a_iMaxChunk));
        bOk = a_objParser.parse(a_baText.mid(iPos, iLength)) && bOk;
        iPos += iLength;
    }
    return bOk;
}

const QByteArray s_baWrapper("<RootDummy>\n");

// Catches the diagnostic texts, and anything sent to Qt's message handler besides.
class CQuietDiagnostics
{
public:
    CQuietDiagnostics()
    {
        m_fnPrevious = Platform::setDebugOutputHook([this](const QString&) { ++m_iDebugTexts; });
        s_iQtMessages = 0;
        m_pPreviousHandler =
            qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) { ++s_iQtMessages; });
    }
    ~CQuietDiagnostics()
    {
        Platform::setDebugOutputHook(m_fnPrevious);
        qInstallMessageHandler(m_pPreviousHandler);
    }

    int m_iDebugTexts = 0;
    static int s_iQtMessages;

private:
    Platform::typDebugOutputHook m_fnPrevious;
    QtMessageHandler m_pPreviousHandler;
};
int CQuietDiagnostics::s_iQtMessages = 0;

// A listener whose memory runs out when a message begins.
class CStarvedListener : public CRecorder
{
public:
    void handleMsgHeader(ptrCXmlMessage) override { throw std::bad_alloc(); }
};

}  // namespace

class TestStreamParser : public QObject
{
    Q_OBJECT

private slots:
    void randomTreesRoundTrip()
    {
        QRandomGenerator objChunks(99);
        for (quint32 uiSeed = 1; uiSeed <= 60; ++uiSeed) {
            TestUtils::CRandomTrees objTrees(uiSeed);
            const ptrCXmlElement ptrFirst = objTrees.tree(uiSeed % 10 == 0 ? 3000 : 200);
            const ptrCXmlElement ptrSecond = objTrees.tree(50);
            const QByteArray baStream = s_baWrapper + wire(ptrFirst) + wire(ptrSecond);
            for (int iMaxChunk : {0, 1, 7, 300}) {
                CRecorder objRecorder;
                CXmlStreamParser objParser(objRecorder, 3);
                QVERIFY(feed(objParser, baStream, iMaxChunk, objChunks));
                QVERIFY(objRecorder.m_lstErrors.isEmpty());
                QCOMPARE(objRecorder.m_lstDocs.size(), 2);
                QCOMPARE(TestUtils::difference(ptrFirst, objRecorder.m_lstDocs.at(0)), QString());
                QCOMPARE(TestUtils::difference(ptrSecond, objRecorder.m_lstDocs.at(1)), QString());
                QCOMPARE(wire(objRecorder.m_lstDocs.at(0)), wire(ptrFirst));
            }
        }
    }

    void valuesReadBackAsSet_data()
    {
        QTest::addColumn<QString>("text");      // set as a value and as an attribute value
        QTest::addColumn<QString>("expected");  // read back; null: the text itself
        QTest::newRow("unclosed CDATA marker") << "<![CDATA[abc" << QString();
        QTest::newRow("CDATA end inside a section") << "<![CDATA[a]]>b]]>" << QString();
        QTest::newRow("empty section") << "<![CDATA[]]>" << QString();
        QTest::newRow("marker later in text") << "x<![CDATA[y]]>" << QString();
        QTest::newRow("section followed by text") << "<![CDATA[a]]>tail" << QString();
        QTest::newRow("CDATA end in text") << "a]]>b" << QString();
        QTest::newRow("white space") << "a\r\nb\rc\td\n" << QString();
        QTest::newRow("carriage return in a section") << "<![CDATA[a\r\nb]]>" << QString();
        QTest::newRow("non-ASCII") << QString::fromUtf8(u8"\u00e4\u20ac\U0001F600") << QString();
        QTest::newRow("characters XML cannot carry") << QStringLiteral("a\x01"
                                                                       "b") +
                                                            QChar(0xffff)
                                                     << QStringLiteral("a\ufffdb\ufffd");
    }

    void valuesReadBackAsSet()
    {
        // Whatever a caller sets, it reads back, and the next message on the stream arrives.
        QFETCH(QString, text);
        QFETCH(QString, expected);
        if (expected.isNull())
            expected = text;
        const QByteArray baStream = s_baWrapper + wire(el("Data", {{"a", text}}, text)) + "<Event/>\n";
        for (int iCut = 1; iCut < baStream.size(); ++iCut) {
            CRecorder objRecorder;
            CXmlStreamParser objParser(objRecorder, 0);
            QVERIFY(objParser.parse(baStream.left(iCut)));
            QVERIFY(objParser.parse(baStream.mid(iCut)));
            QCOMPARE(objRecorder.m_lstDocs.size(), 2);
            QCOMPARE(objRecorder.m_lstDocs.at(0)->getValue(), expected);
            QCOMPARE(objRecorder.m_lstDocs.at(0)->getAttribute("a"), expected);
        }
    }

    void callbacksIndependentOfCuts()
    {
        const QByteArray baStream =
            s_baWrapper +
            "<Request type=\"get\" id=\"5\" time=\"100\">\n<Tuner>\n<Frequency unit=\"Hz\">1</Frequency>\n"
            "</Tuner>\n</Request>\n<Event>\n<Status>ok</Status>\n</Event>\n";
        CRecorder objWhole;
        CXmlStreamParser objParser(objWhole, 9);
        QVERIFY(objParser.parse(baStream));
        QCOMPARE(objWhole.m_lstEvents,
                 (QStringList{QStringLiteral("header <Request type=\"get\" id=\"5\" time=\"100\"/>\n"),
                              QStringLiteral("doc"), QStringLiteral("msg"), QStringLiteral("header <Event/>\n"),
                              QStringLiteral("doc"), QStringLiteral("msg")}));
        // The header message is the completed message, with the connection id given.
        QVERIFY(objWhole.m_lstHeaders.at(0) == objWhole.m_lstMessages.at(0));
        QCOMPARE(objWhole.m_lstMessages.at(0)->getConnectionId(), 9u);
        QCOMPARE(objWhole.m_lstMessages.at(0)->getMessageID(), 5u);
        QVERIFY(objWhole.m_lstMessages.at(1)->getContinuousId() > objWhole.m_lstMessages.at(0)->getContinuousId());

        for (int iCut = 1; iCut < baStream.size(); ++iCut) {
            CRecorder objSplit;
            CXmlStreamParser objSplitParser(objSplit, 9);
            QVERIFY(objSplitParser.parse(baStream.left(iCut)));
            QVERIFY(objSplitParser.parse(baStream.mid(iCut)));
            QCOMPARE(objSplit.m_lstEvents, objWhole.m_lstEvents);
        }
        CRecorder objBytes;
        CXmlStreamParser objByteParser(objBytes, 9);
        for (char c : baStream)
            QVERIFY(objByteParser.parse(QByteArray(1, c)));
        QCOMPARE(objBytes.m_lstEvents, objWhole.m_lstEvents);
    }

    void textAndAttributes_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QByteArray>("expected");  // wire text of what was read
        QTest::addColumn<bool>("zipFlag");
        QTest::newRow("entities") << QByteArray("<N>a&lt;b &amp; &#x41;</N>") << QByteArray("<N>a&lt;b &amp; A</N>\n")
                                  << false;
        QTest::newRow("escaped cdata end in text")
            << QByteArray("<N>]]&gt;</N>") << QByteArray("<N>]]&gt;</N>\n") << false;
        QTest::newRow("text around children dropped")
            << QByteArray("<P>before<C>v</C>after<D/>end</P>") << QByteArray("<P>\n<C>v</C>\n<D/>\n</P>\n") << false;
        QTest::newRow("zip 0 is the flag") << QByteArray("<X _zip=\"0\"/>") << QByteArray("<X _zip=\"0\"/>\n") << true;
        QTest::newRow("zip 1 is an attribute")
            << QByteArray("<X _zip=\"1\"/>") << QByteArray("<X _zip=\"1\"/>\n") << false;
        QTest::newRow("cdata keeps markers")
            << QByteArray("<D><![CDATA[a<b&]]></D>") << QByteArray("<D><![CDATA[a<b&]]></D>\n") << false;
        QTest::newRow("cdata replaces text before it")
            << QByteArray("<D>x<![CDATA[y]]></D>") << QByteArray("<D><![CDATA[y]]></D>\n") << false;
        QTest::newRow("single quotes and entities in attributes")
            << QByteArray("<A v='&quot;q&apos;'/>") << QByteArray("<A v=\"&quot;q&apos;\"/>\n") << false;
        QTest::newRow("nested wrapper name is ordinary")
            << QByteArray("<A><RootDummy/></A>") << QByteArray("<A>\n<RootDummy/>\n</A>\n") << false;
        QTest::newRow("prefixed names kept")
            << QByteArray("<a:B x:y=\"1\"/>") << QByteArray("<a:B x:y=\"1\"/>\n") << false;
        QTest::newRow("non-ASCII names") << QByteArray("<Gr\xc3\xb6\xc3\x9f"
                                                       "e \xc3\xa4=\"1\"/>")
                                         << QByteArray("<Gr\xc3\xb6\xc3\x9f"
                                                       "e \xc3\xa4=\"1\"/>\n")
                                         << false;
        QTest::newRow("comment and pi skipped")
            << QByteArray("<A><!-- c --><?pi x?><B/></A>") << QByteArray("<A>\n<B/>\n</A>\n") << false;
    }

    void textAndAttributes()
    {
        QFETCH(QByteArray, text);
        QFETCH(QByteArray, expected);
        QFETCH(bool, zipFlag);
        CRecorder objRecorder;
        CXmlStreamParser objParser(objRecorder, 0);
        QVERIFY(objParser.parse(s_baWrapper + text));
        QCOMPARE(objRecorder.m_lstDocs.size(), 1);
        QCOMPARE(wire(objRecorder.m_lstDocs.at(0)), expected);
        QCOMPARE(objRecorder.m_lstDocs.at(0)->isCompressionDisabled(), zipFlag);
        if (zipFlag)
            QCOMPARE(objRecorder.m_lstDocs.at(0)->getNumberOfAttributes(), 0);
    }

    void brokenStreams_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QString>("errorEnd");
        QTest::newRow("mismatched tag") << QByteArray("<A>\n<B>\n</C>\n") << "NotWellFormedError: Line(4), Column(4)\n";
        QTest::newRow("control character") << QByteArray("<A>\x01</A>") << "CustomError: Line(2), Column(3)\n";
        QTest::newRow("NUL in markup") << QByteArray("<A><!DOCTYPE\n\x00>", 15) << "CustomError: Line(3), Column(0)\n";
        // Held back from the reader until they end, but refused where they break.
        QTest::newRow("double dash in a comment")
            << QByteArray("<A><!-- a -- b") << "NotWellFormedError: Line(2), Column(13)\n";
        QTest::newRow("instruction without a target")
            << QByteArray("<A><? x") << "NotWellFormedError: Line(2), Column(6)\n";
        QTest::newRow("duplicate attribute")
            << QByteArray("<A b=\"1\" b=\"2\"/>") << "NotWellFormedError: Line(2), Column(16)\n";
    }

    void brokenStreams()
    {
        QFETCH(QByteArray, text);
        QFETCH(QString, errorEnd);
        CQuietDiagnostics objQuiet;
        CRecorder objRecorder;
        CXmlStreamParser objParser(objRecorder, 0);
        QCOMPARE(objParser.failureKind(), CXmlStreamParser::FAILURE_NONE);
        QVERIFY(!objParser.parse(s_baWrapper + text));
        QCOMPARE(objRecorder.m_lstErrors.size(), 1);
        QCOMPARE(objParser.failureKind(), CXmlStreamParser::FAILURE_MALFORMED);
        // One diagnostic text per error, and nothing through Qt's message handler.
        QCOMPARE(objQuiet.m_iDebugTexts, 1);
        QCOMPARE(CQuietDiagnostics::s_iQtMessages, 0);
        QVERIFY2(objRecorder.m_lstErrors.at(0).endsWith(errorEnd), qPrintable(objRecorder.m_lstErrors.at(0)));
        QVERIFY(objRecorder.m_lstErrors.at(0).contains(QLatin1Char('\n')));
        // A broken parser stays broken and says so, without reporting again.
        QVERIFY(!objParser.parse(QByteArray("<Event/>")));
        QCOMPARE(objRecorder.m_lstErrors.size(), 1);
        QVERIFY(objRecorder.m_lstMessages.isEmpty());
    }

    void verdictIndependentOfCuts()
    {
        // Qt's reader alone drops the good messages before a badly encoded byte when both
        // arrive together, and quietly replaces the byte when they arrive apart.
        CQuietDiagnostics objQuiet;
        // Likewise a DTD in the body, and "]]>" in text, are refused only when they arrive in one
        // piece.
        const QByteArray baBadByte = s_baWrapper + "<Event/>\n<B>\xc3\xa4</B>\n<A>\xff</A>\n";
        const QByteArray baDtd = s_baWrapper + "<Event/>\n<B>\xc3\xa4</B>\n<!DOCTYPE x>\n<A/>\n";
        const QByteArray baCDataEnd = s_baWrapper + "<Event/>\n<B>\xc3\xa4</B>\n<A>x]]>y</A>\n";
        for (const QByteArray& baStream : {baBadByte, baDtd, baCDataEnd}) {
            for (int iCut = 0; iCut < baStream.size(); ++iCut) {
                CRecorder objRecorder;
                CXmlStreamParser objParser(objRecorder, 0);
                objParser.parse(baStream.left(iCut));
                objParser.parse(baStream.mid(iCut));
                QCOMPARE(objRecorder.m_lstErrors.size(), 1);
                QCOMPARE(objRecorder.m_lstDocs.size(), 2);
                QCOMPARE(objRecorder.m_lstDocs.at(1)->getValue(), QString(QChar(0xe4)));
            }
        }
    }

    // The parser reads the writer's subset itself and hands anything else to Qt's reader from
    // the start of the message: callbacks, trees, error texts with line and column, and the
    // failure kind must be the reader's, whole and cut anywhere.
    void ownScannerAgreesWithReader_data()
    {
        QTest::addColumn<QByteArray>("stream");
        const QByteArray baGood =
            "<Request id=\"1\" a=\"x&amp;&#10;\ty\">\n<A>a&lt;b&#x41;</A>\n<B><![CDATA[c]]>d</B>\n"
            "<!-- note -->\n<C _zip=\"0\">\xc3\xa4</C>\n</Request>\n";
        QTest::newRow("subset") << s_baWrapper + baGood + "<Reply/>\n";
        QTest::newRow("instruction in a message")
            << s_baWrapper + baGood + "<Event>\n<A><?pi x?>1</A>\n</Event>\n" + baGood;
        QTest::newRow("handed back, then a fault") << s_baWrapper + baGood + "<Event><?pi?></Event>\n" + baGood +
                                                          "<Event>\r\n<A>\xc3\xa4</A>\r<?p?>\n</Event>" + baGood +
                                                          "<Event>\n<A>\xf0\x9f\x98\x80 &bad;</A></Event>";
        QTest::newRow("wrong end tag") << s_baWrapper + baGood + "<Event>\n<A>\n1</B>\n</Event>\n";
        QTest::newRow("unknown entity") << s_baWrapper + baGood + "<Event>\n  <A>x&nbsp;</A></Event>";
        QTest::newRow("bad attribute") << s_baWrapper + baGood + "<Event a=\"1\" a=\"2\"/>";
        QTest::newRow("carriage returns")
            << s_baWrapper + "<Event a=\"1\r\n2\">\r\n<A>x\r\ny\rz</A>\r</Event>\r\n<X>]]></X>";
        QTest::newRow("no wrapper") << "  " + baGood + baGood;
        QTest::newRow("wrapper closed") << s_baWrapper + baGood + "</RootDummy>\n" + baGood;
        QTest::newRow("noncharacter") << s_baWrapper + baGood + "<Event><A>\xef\xbf\xbf</A></Event>";
        QTest::newRow("bad byte") << s_baWrapper + baGood + "<Event>\n<A>\xc3\xa4\xff</A></Event>";
        QTest::newRow("too deep") << s_baWrapper + baGood + "<Event>" + QByteArray("<A>").repeated(40) + "</Event>";
        QTest::newRow("too long between") << s_baWrapper + baGood + QByteArray(3000, ' ') + baGood;
        QTest::newRow("message too large") << s_baWrapper + baGood + "<Event>" + QByteArray("<A>1</A>\n").repeated(500);
    }

    void ownScannerAgreesWithReader()
    {
        QFETCH(QByteArray, stream);
        CQuietDiagnostics objQuiet;
        auto run = [&stream](bool a_bOwnScanner, int a_iMaxChunk) {
            CRecorder objRecorder;
            CXmlStreamParser objParser(objRecorder, 0);
            objParser.setOwnScanner(a_bOwnScanner);
            objParser.setMaxDepth(32);
            objParser.setMaxBytesBetweenMessages(2048);
            objParser.setMaxMessageBytes(4096);
            QRandomGenerator objRandom{quint32(a_iMaxChunk)};
            for (int iPos = 0; iPos < stream.size();) {
                const int iLength = a_iMaxChunk == 0 ? stream.size() : 1 + int(objRandom.bounded(a_iMaxChunk));
                objRecorder.m_lstEvents.append(QString::number(objParser.parse(stream.mid(iPos, iLength))));
                iPos += iLength;
            }
            for (const ptrCXmlElement& ptrDoc : qAsConst(objRecorder.m_lstDocs))
                objRecorder.m_lstEvents.append(QString::fromUtf8(wire(ptrDoc)));
            for (int i = 0; i < objRecorder.m_lstMessages.size(); ++i)
                objRecorder.m_lstEvents.append(
                    QString::number(objRecorder.m_lstHeaders.indexOf(objRecorder.m_lstMessages.at(i))));
            return objRecorder.m_lstEvents + objRecorder.m_lstErrors +
                   QStringList(QString::number(objParser.failureKind()));
        };
        for (const int iMaxChunk : {0, 1, 3, 17, 600}) {
            const QStringList lstOwn = run(true, iMaxChunk);
            QCOMPARE(lstOwn, run(false, iMaxChunk));
        }
    }

    void byteCheckAgreesWithUtf8Decoder()
    {
        // Texts of ASCII runs of every length (so that bad bytes fall at every place of a word),
        // good multi-byte characters and now and then one bad sequence, fed in random pieces.
        // The reference is Qt's decoder: a text is good when it survives the round trip.
        CQuietDiagnostics objQuiet;
        QRandomGenerator objRandom(4711);
        const QList<QByteArray> lstGood{"\xc3\xa4", "\xe2\x82\xac", "\xf0\x9f\x98\x80", "\xef\xbf\xbd", "\t", "\n"};
        const QList<QByteArray> lstBad{"\xc0\xaf", "\xed\xa0\x80",      "\xf4\x90\x80\x80", "\x80", "\xfe", "\x01",
                                       "\x1f",     QByteArray(1, '\0'), "\xe2\x82",         "\xc3", "\x0b"};
        int iBadSeen = 0;
        for (int iRound = 0; iRound < 400; ++iRound) {
            QByteArray baText;
            for (int iPart = int(objRandom.bounded(12)); iPart >= 0; --iPart) {
                baText += QByteArray(int(objRandom.bounded(20)), 'a' + char(objRandom.bounded(26)));
                baText += lstGood.at(int(objRandom.bounded(lstGood.size())));
                if (objRandom.bounded(30) == 0)
                    baText += lstBad.at(int(objRandom.bounded(lstBad.size())));
            }
            const QString strDecoded = QString::fromUtf8(baText);
            const bool bControl = std::any_of(baText.begin(), baText.end(), [](char c) {
                return uchar(c) < 0x20 && c != '\t' && c != '\n' && c != '\r';
            });
            const bool bGood = strDecoded.toUtf8() == baText && !bControl;
            iBadSeen += bGood ? 0 : 1;
            CRecorder objRecorder;
            CXmlStreamParser objParser(objRecorder, 0);
            feed(objParser, s_baWrapper + "<Event/>\n<A>" + baText + "</A>\n", int(objRandom.bounded(40)), objRandom);
            QCOMPARE(objRecorder.m_lstErrors.size(), bGood ? 0 : 1);
            QCOMPARE(objRecorder.m_lstDocs.size(), bGood ? 2 : 1);
            if (bGood)
                QCOMPARE(objRecorder.m_lstDocs.at(1)->getValue(), strDecoded);
        }
        QVERIFY(iBadSeen > 20);
    }

    void limits_data()
    {
        QTest::addColumn<QByteArray>("text");  // behind the wrapper
        QTest::addColumn<QString>("limit");
        QTest::addColumn<int>("value");
        QTest::addColumn<int>("docs");       // messages read before the verdict
        QTest::addColumn<QString>("error");  // how the error text begins; empty for none

        const QByteArray baEvent("<Event/>\n");
        auto nested = [](int a_iDepth) {
            return QByteArray("<L>").repeated(a_iDepth) + QByteArray("</L>").repeated(a_iDepth);
        };
        QTest::newRow("attributes at the limit")
            << QByteArray("<E a=\"1\" b='x=y'/>") << "attributes" << 2 << 1 << QString();
        QTest::newRow("one attribute too many") << baEvent + "<E a=\"1\" b=\"2\" c=\"3\"/>"
                                                << "attributes" << 2 << 1 << "More than 2 attributes in one element\n";
        QTest::newRow("start tag at the limit") << QByteArray("<E a=\"12345\"/>") << "startTag" << 14 << 1 << QString();
        QTest::newRow("start tag too long") << baEvent + "<E a=\"12345\"/>"
                                            << "startTag" << 13 << 1 << "Start tag longer than 13 bytes\n";
        // 1007 bytes and one element: 1071.
        QTest::newRow("message at its size") << "<E>" + QByteArray(1000, 'x') + "</E>"
                                             << "message" << 1071 << 1 << QString();
        QTest::newRow("message a byte larger") << baEvent + "<E>" + QByteArray(1000, 'x') + "</E>"
                                               << "message" << 1070 << 1 << "Message larger than 1070 bytes\n";
        QTest::newRow("text past the message size")
            << baEvent + "<E>" + QByteArray(10000, 'x') << "message" << 4000 << 1 << "Message larger than 4000 bytes\n";
        QTest::newRow("CDATA past the message size") << baEvent + "<E><![CDATA[" + QByteArray(10000, 'x') << "message"
                                                     << 4000 << 1 << "Message larger than 4000 bytes\n";
        // 400 bytes of text, but a hundred elements in the tree.
        QTest::newRow("elements count beyond their text")
            << baEvent + "<E>" + QByteArray("<a/>").repeated(100) + "</E>"
            << "message" << 4000 << 1 << "Message larger than 4000 bytes\n";
        // The line feed behind the first message and the blanks.
        QTest::newRow("white space at the limit")
            << baEvent + QByteArray(999, ' ') + baEvent << "between" << 1000 << 2 << QString();
        QTest::newRow("white space a byte longer") << baEvent + QByteArray(1000, ' ') + baEvent << "between" << 1000
                                                   << 1 << "More than 1000 bytes between messages\n";
        QTest::newRow("comment between messages")
            << baEvent + "<!--" + QByteArray(3000, 'c') + "-->" + baEvent << "between" << 1000 << 1
            << "More than 1000 bytes between messages\n";
        QTest::newRow("a long start tag is not between messages")
            << baEvent + "<E a=\"" + QByteArray(3000, 'x') + "\"/>"
            << "between" << 1000 << 2 << QString();
        QTest::newRow("depth at the limit") << nested(5) << "depth" << 5 << 1 << QString();
        QTest::newRow("depth past the limit")
            << baEvent + nested(6) << "depth" << 5 << 1 << "Elements nested deeper than 5 levels\n";
        // A megabyte of start tags costs one error, not a deep tree.
        QTest::newRow("endless nesting") << QByteArray("<L>").repeated(300000) << "depth" << 5 << 0
                                         << "Elements nested deeper than 5 levels\n";
    }

    void limits()
    {
        QFETCH(QByteArray, text);
        QFETCH(QString, limit);
        QFETCH(int, value);
        QFETCH(int, docs);
        QFETCH(QString, error);
        CQuietDiagnostics objQuiet;
        QRandomGenerator objRandom(7);
        // The verdict does not depend on how the text is cut.
        for (int iMaxChunk : {0, 7, 600}) {
            CRecorder objRecorder;
            CXmlStreamParser objParser(objRecorder, 0);
            if (limit == QLatin1String("attributes"))
                objParser.setMaxAttributes(value);
            else if (limit == QLatin1String("startTag"))
                objParser.setMaxStartTagBytes(value);
            else if (limit == QLatin1String("message"))
                objParser.setMaxMessageBytes(value);
            else if (limit == QLatin1String("between"))
                objParser.setMaxBytesBetweenMessages(value);
            else
                objParser.setMaxDepth(value);
            QCOMPARE(feed(objParser, s_baWrapper + text, iMaxChunk, objRandom), error.isEmpty());
            QCOMPARE(objRecorder.m_lstDocs.size(), docs);
            QCOMPARE(objParser.failureKind(),
                     error.isEmpty() ? CXmlStreamParser::FAILURE_NONE : CXmlStreamParser::FAILURE_LIMIT);
            QCOMPARE(objRecorder.m_lstErrors.size(), error.isEmpty() ? 0 : 1);
            if (!error.isEmpty())
                QVERIFY2(objRecorder.m_lstErrors.at(0).startsWith(error), qPrintable(objRecorder.m_lstErrors.at(0)));
        }
    }

    void memoryFailureBreaksTheStream()
    {
        CQuietDiagnostics objQuiet;
        CStarvedListener objListener;
        CXmlStreamParser objParser(objListener, 0);
        QVERIFY(!objParser.parse(s_baWrapper + "<Event/>\n"));
        QCOMPARE(objParser.failureKind(), CXmlStreamParser::FAILURE_LIMIT);
        QCOMPARE(objListener.m_lstErrors.size(), 1);
        QVERIFY(objListener.m_lstErrors.at(0).startsWith(QStringLiteral("Out of memory\n")));
        QVERIFY(!objParser.parse(QByteArray("<Event/>")));
    }

    void largeSectionsInSmallPieces_data()
    {
        QTest::addColumn<QByteArray>("open");
        QTest::addColumn<QByteArray>("close");
        QTest::addColumn<QString>("value");  // of the element read; the filler is "v"s
        QTest::newRow("text") << QByteArray("<Data>") << QByteArray("</Data>") << "v";
        QTest::newRow("CDATA") << QByteArray("<Data><![CDATA[") << QByteArray("]]></Data>") << "<![CDATA[v]]>";
        QTest::newRow("comment") << QByteArray("<Data><!--") << QByteArray("--></Data>") << QString();
        QTest::newRow("processing instruction") << QByteArray("<Data><?pi ") << QByteArray("?></Data>") << QString();
    }

    void largeSectionsInSmallPieces()
    {
        // Whatever the section, parsing stays linear however the input is cut: 256 kB in 1-byte
        // pieces (the reader alone would scan a section from its start again for every byte).
        QFETCH(QByteArray, open);
        QFETCH(QByteArray, close);
        QFETCH(QString, value);
        const int iFiller = 256 * 1024;
        const QByteArray baStream = s_baWrapper + open + QByteArray(iFiller, 'v') + close + "\n<Event/>\n";
        CRecorder objRecorder;
        CXmlStreamParser objParser(objRecorder, 0);
        for (int i = 0; i < baStream.size(); ++i)
            objParser.parse(baStream.mid(i, 1));
        QCOMPARE(objRecorder.m_lstDocs.size(), 2);
        QString strExpected = value;
        strExpected.replace(QLatin1Char('v'), QString(iFiller, QLatin1Char('v')));
        QCOMPARE(objRecorder.m_lstDocs.at(0)->getValue(), strExpected);
    }

    void reader()
    {
        CQuietDiagnostics objQuiet;
        CXmlReader objReader;
        bool bOk = false;
        QString strError;
        ptrCXmlElement ptr = objReader.readByteArray(
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<!-- saved -->\n<Config>\n<Port>5</Port>\n</Config>\n", bOk,
            strError);
        QVERIFY(bOk);
        QVERIFY(strError.isEmpty());
        QCOMPARE(wire(ptr), QByteArray("<Config>\n<Port>5</Port>\n</Config>\n"));

        ptr = objReader.readByteArray("<A>\n<B>\n</A>", bOk, strError);
        QVERIFY(!bOk);
        QVERIFY(!ptr);
        QVERIFY2(strError.endsWith(QStringLiteral("NotWellFormedError: Line(3), Column(4)\n")), qPrintable(strError));

        ptr = objReader.readByteArray("<A/><B/>", bOk, strError);
        QVERIFY(!bOk);

        // A reused reader never hands back the element of an earlier read.
        objReader.readByteArray("<A/>", bOk, strError);
        ptr = objReader.readByteArray("<A>unfinished", bOk, strError);
        QVERIFY(bOk);
        QVERIFY(!ptr);

        ptr = objReader.readByteArray("<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><T>\xe4</T>", bOk, strError);
        QVERIFY(bOk);
        QCOMPARE(ptr->getValue(), QString(QChar(0xe4)));
        // Long enough to reach the reader in several pieces, with bytes of the declared encoding
        // in the first piece, on piece boundaries and far behind.
        QByteArray baLatin1Text;
        for (int i = 0; i < 3000; ++i)
            baLatin1Text += i % 7 == 0 ? '\xe4' : char('a' + i % 26);
        ptr = objReader.readByteArray("<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><T>\xfc" + baLatin1Text + "</T>",
                                      bOk, strError);
        QVERIFY(bOk);
        QCOMPARE(ptr->getValue(), QChar(0xfc) + QString::fromLatin1(baLatin1Text));

        // Quotes and markup inside the DTD's comments and literals do not confuse the reading.
        ptr = objReader.readByteArray("<!DOCTYPE T [<!-- don't <? --><!ENTITY e '--> \"x'>]><T>&e;</T>", bOk, strError);
        QVERIFY2(bOk, qPrintable(strError));
        QCOMPARE(ptr->getValue(), QStringLiteral("--> \"x"));

        // A DTD may declare an entity in a file that is not read: the reference cannot be resolved.
        ptr = objReader.readByteArray("<!DOCTYPE T SYSTEM \"t.dtd\"><T>a&ext;b</T>", bOk, strError);
        QVERIFY(!bOk);
        QVERIFY2(strError.startsWith(QStringLiteral("Entity 'ext' cannot be resolved.\n")), qPrintable(strError));

        QBuffer objBuffer;
        objBuffer.setData("<Buf x=\"1\"/>");
        ptr = objReader.readBuffer(objBuffer, bOk, strError);
        QVERIFY(bOk);
        QCOMPARE(wire(ptr), QByteArray("<Buf x=\"1\"/>\n"));
    }
};

QTEST_GUILESS_MAIN(TestStreamParser)
#include "tst_cxmlstreamparser.moc"

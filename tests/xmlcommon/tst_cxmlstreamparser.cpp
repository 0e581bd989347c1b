#include "../common/TreeTestUtils.h"

#include <OrvexXmlInterface/platform/Platform.h>
#include <OrvexXmlInterface/xmlcommon/CXmlReader.h>
#include <OrvexXmlInterface/xmlcommon/CXmlStreamParser.h>

#include <QtTest/QtTest>

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

class CQuietDiagnostics
{
public:
    CQuietDiagnostics()
    {
        m_fnPrevious = Platform::setDebugOutputHook([](const QString&) {});
        m_pPreviousHandler = qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
    }
    ~CQuietDiagnostics()
    {
        Platform::setDebugOutputHook(m_fnPrevious);
        qInstallMessageHandler(m_pPreviousHandler);
    }

private:
    Platform::typDebugOutputHook m_fnPrevious;
    QtMessageHandler m_pPreviousHandler;
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
        QVERIFY(!objParser.parse(s_baWrapper + text));
        QCOMPARE(objRecorder.m_lstErrors.size(), 1);
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
        // Likewise a DTD in the body is refused only when it arrives in one piece.
        const QByteArray baBadByte = s_baWrapper + "<Event/>\n<B>\xc3\xa4</B>\n<A>\xff</A>\n";
        const QByteArray baDtd = s_baWrapper + "<Event/>\n<B>\xc3\xa4</B>\n<!DOCTYPE x>\n<A/>\n";
        for (const QByteArray& baStream : {baBadByte, baDtd}) {
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

    void depthLimit()
    {
        CQuietDiagnostics objQuiet;
        auto nested = [](int a_iDepth) {
            return s_baWrapper + QByteArray("<L>").repeated(a_iDepth) + QByteArray("</L>").repeated(a_iDepth);
        };
        {
            CRecorder objRecorder;
            CXmlStreamParser objParser(objRecorder, 0);
            QCOMPARE(objParser.maxDepth(), 1000);
            QVERIFY(objParser.parse(nested(1000)));
            QCOMPARE(objRecorder.m_lstDocs.size(), 1);
        }
        {
            CRecorder objRecorder;
            CXmlStreamParser objParser(objRecorder, 0);
            QVERIFY(!objParser.parse(nested(1001)));
            QCOMPARE(objRecorder.m_lstErrors.size(), 1);
            QVERIFY(
                objRecorder.m_lstErrors.at(0).startsWith(QStringLiteral("Elements nested deeper than 1000 levels\n")));
            QVERIFY(objRecorder.m_lstErrors.at(0).contains(QStringLiteral("CustomError: Line(2), Column(")));
            QVERIFY(objRecorder.m_lstDocs.isEmpty());
        }
        {
            // A hostile peer's megabyte of start tags costs one error, not a deep tree.
            CRecorder objRecorder;
            CXmlStreamParser objParser(objRecorder, 0);
            objParser.setMaxDepth(5);
            QVERIFY(!objParser.parse(s_baWrapper + QByteArray("<L>").repeated(300000)));
            QCOMPARE(objRecorder.m_lstErrors.size(), 1);
        }
    }

    void largeValueInSmallPieces()
    {
        // Parsing stays linear however the input is cut: 256 kB of text in 1-byte pieces.
        const QString strValue(256 * 1024, QLatin1Char('v'));
        const QByteArray baStream = s_baWrapper + wire(el("Data", {}, strValue));
        CRecorder objRecorder;
        CXmlStreamParser objParser(objRecorder, 0);
        for (int i = 0; i < baStream.size(); ++i)
            objParser.parse(baStream.mid(i, 1));
        QCOMPARE(objRecorder.m_lstDocs.size(), 1);
        QCOMPARE(objRecorder.m_lstDocs.at(0)->getValue(), strValue);
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

        QBuffer objBuffer;
        objBuffer.setData("<Buf x=\"1\"/>");
        ptr = objReader.readBuffer(objBuffer, bOk, strError);
        QVERIFY(bOk);
        QCOMPARE(wire(ptr), QByteArray("<Buf x=\"1\"/>\n"));
    }
};

QTEST_GUILESS_MAIN(TestStreamParser)
#include "tst_cxmlstreamparser.moc"

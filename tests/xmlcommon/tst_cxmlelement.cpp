#include "../common/TreeTestUtils.h"

#include "xmlcommon/CXmlElement_p.h"

#include <OrvexXmlInterface/xmlcommon/CWorkMan.h>
#include <OrvexXmlInterface/xmlcommon/CXmlElement.h>
#include <OrvexXmlInterface/xmlcommon/Tagnames.h>

#include <QtTest/QtTest>

#include <new>

using namespace XmlCommon;
using TestUtils::el;
using TestUtils::wire;

namespace
{
ptrCXmlElement zipped(ptrCXmlElement a_ptr)
{
    a_ptr->disableCompression();
    return a_ptr;
}

// Takes chunks away like the connection's sender, and can be told to stop after n proceed() calls.
class CRecordingWorkMan : public CWorkMan
{
public:
    unsigned int m_uiThreshold = 0;
    int m_iProceedLeft = -1;
    int m_iLargestBuffer = 0;
    QByteArray m_baTaken;

    void processBuffer(QByteArray& a_baBuffer) override
    {
        m_iLargestBuffer = qMax(m_iLargestBuffer, a_baBuffer.size());
        while (unsigned(a_baBuffer.size()) >= m_uiThreshold) {
            m_baTaken += a_baBuffer.left(int(m_uiThreshold));
            a_baBuffer.remove(0, int(m_uiThreshold));
        }
    }
    unsigned int getBufferThreshold() override { return m_uiThreshold; }
    bool proceed() override { return m_iProceedLeft < 0 || m_iProceedLeft-- > 0; }
};

ptrCXmlElement chain(int a_iDepth)
{
    ptrCXmlElement ptrRoot = el("L");
    CXmlElement* pTip = ptrRoot.data();
    for (int i = 1; i < a_iDepth; ++i) {
        ptrCXmlElement ptrChild = el("L");
        pTip->addChild(ptrChild, -1);
        pTip = ptrChild.data();
    }
    return ptrRoot;
}
}  // namespace

class TestXmlElement : public QObject
{
    Q_OBJECT

private slots:
    void wireForm_data()
    {
        QTest::addColumn<ptrCXmlElement>("tree");
        QTest::addColumn<QByteArray>("expected");
        QTest::addColumn<unsigned int>("uncompressed");

        QTest::newRow("empty") << el("Name") << QByteArray("<Name/>\n") << 0u;
        QTest::newRow("attributes in order")
            << el("Reply", {{"id", "17"}, {"type", "lag"}}) << QByteArray("<Reply id=\"17\" type=\"lag\"/>\n") << 0u;
        QTest::newRow("escaped value") << el("Name", {}, "a<b") << QByteArray("<Name>a&lt;b</Name>\n") << 0u;
        QTest::newRow("value quotes kept")
            << el("T", {}, "\"x\" & 'y' >") << QByteArray("<T>\"x\" &amp; 'y' &gt;</T>\n") << 0u;
        QTest::newRow("attribute quotes") << el("T", {{"a", "\"q\" 'a' <&>"}})
                                          << QByteArray("<T a=\"&quot;q&quot; &apos;a&apos; &lt;&amp;&gt;\"/>\n") << 0u;
        QTest::newRow("value hides children") << el("A", {}, "v", {el("B")}) << QByteArray("<A>v</A>\n") << 0u;
        QTest::newRow("cdata passed through")
            << el("D", {}, "<![CDATA[a<b&c]]>") << QByteArray("<D><![CDATA[a<b&c]]></D>\n") << 0u;
        QTest::newRow("cdata end inside is split")
            << el("D", {}, "<![CDATA[a]]>b]]>") << QByteArray("<D><![CDATA[a]]]]><![CDATA[>b]]></D>\n") << 0u;
        QTest::newRow("unclosed cdata is escaped")
            << el("D", {}, "<![CDATA[abc") << QByteArray("<D>&lt;![CDATA[abc</D>\n") << 0u;
        QTest::newRow("carriage return in cdata")
            << el("D", {}, "<![CDATA[a\rb]]>") << QByteArray("<D><![CDATA[a]]>&#13;<![CDATA[b]]></D>\n") << 0u;
        QTest::newRow("white space as references") << el("T", {{"a", "1\t2\n3\r"}}, "x\r\ny\tz")
                                                   << QByteArray("<T a=\"1&#9;2&#10;3&#13;\">x&#13;\ny\tz</T>\n") << 0u;
        QTest::newRow("characters XML cannot carry")
            << el("T", {{"a", QString(QChar(0xffff))}}, QStringLiteral("a\x01") + QChar(0xd800) + QChar(0xfffe))
            << QByteArray("<T a=\"\xef\xbf\xbd\">a\xef\xbf\xbd\xef\xbf\xbd\xef\xbf\xbd</T>\n") << 0u;
        QTest::newRow("surrogate pair") << el("T", {}, QString::fromUtf8("\xf0\x9f\x98\x80"))
                                        << QByteArray("<T>\xf0\x9f\x98\x80</T>\n") << 0u;
        QTest::newRow("cdata later is escaped")
            << el("D", {}, "x<![CDATA[y]]>") << QByteArray("<D>x&lt;![CDATA[y]]&gt;</D>\n") << 0u;
        QTest::newRow("cdata case matters")
            << el("D", {}, "<![cdata[y]]>") << QByteArray("<D>&lt;![cdata[y]]&gt;</D>\n") << 0u;
        QTest::newRow("non-ascii") << el("N", {{"a", QString::fromUtf8("\xc3\xa4\"")}},
                                         QString::fromUtf8("\xe2\x82\xac<"))
                                   << QByteArray("<N a=\"\xc3\xa4&quot;\">\xe2\x82\xac&lt;</N>\n") << 0u;
        QTest::newRow("zip last, counted") << zipped(el("Data", {{"n", "1"}}, QString::fromUtf8("\xc3\xa4<")))
                                           << QByteArray("<Data n=\"1\" _zip=\"0\">\xc3\xa4&lt;</Data>\n") << 6u;
        QTest::newRow("zip empty element") << zipped(el("E")) << QByteArray("<E _zip=\"0\"/>\n") << 0u;
        QTest::newRow("nested") << el("Request", {{"id", "5"}, {"type", "set"}}, {},
                                      {el("Tuner", {}, {}, {el("Frequency", {{"unit", "Hz"}}, "1000000")}), el("Idle")})
                                << QByteArray("<Request id=\"5\" type=\"set\">\n<Tuner>\n"
                                              "<Frequency unit=\"Hz\">1000000</Frequency>\n</Tuner>\n<Idle/>\n"
                                              "</Request>\n")
                                << 0u;
        // Texts beyond a thousand characters are counted before they are written.
        QTest::newRow("long texts") << el("T", {{"a", QString::fromUtf8("\xc3\xa4\"\t").repeated(400)}},
                                          QString::fromUtf8("\xf0\x9f\x98\x80<\r\xe2\x82\xac").repeated(300) +
                                              QChar(0xd800))
                                    << "<T a=\"" + QByteArray("\xc3\xa4&quot;&#9;").repeated(400) + "\">" +
                                           QByteArray("\xf0\x9f\x98\x80&lt;&#13;\xe2\x82\xac").repeated(300) +
                                           "\xef\xbf\xbd</T>\n"
                                    << 0u;
        QTest::newRow("long cdata") << el("D", {}, "<![CDATA[" + QString("a]]>\r").repeated(300) + "]]>")
                                    << "<D><![CDATA[" + QByteArray("a]]]]><![CDATA[>]]>&#13;<![CDATA[").repeated(300) +
                                           "]]></D>\n"
                                    << 0u;
        QTest::newRow("digit name") << ptrCXmlElement(new CXmlElement(Tag::_10M)) << QByteArray("<10M/>\n") << 0u;
    }

    void wireForm()
    {
        QFETCH(ptrCXmlElement, tree);
        QFETCH(QByteArray, expected);
        QFETCH(unsigned int, uncompressed);
        QByteArray baWire;
        unsigned int uiCount = 0;
        tree->toByteArray(baWire, uiCount);
        QCOMPARE(baWire, expected);
        QCOMPARE(uiCount, uncompressed);

        // The writer appends and never resets the caller's counter.
        QByteArray ba("prefix");
        unsigned int uiStart = 10;
        tree->toByteArray(ba, uiStart);
        QCOMPARE(ba, "prefix" + expected);
        QCOMPARE(uiStart, 10 + uncompressed);
    }

    void readableForm_data()
    {
        QTest::addColumn<ptrCXmlElement>("tree");
        QTest::addColumn<QString>("options");  // r recursive, e escape, i indent, n newline, c cdata, z zip, s sorted
        QTest::addColumn<QString>("expected");

        const ptrCXmlElement ptrReq =
            el("Request", {{"type", "set"}, {"id", "1"}}, {}, {el("Name", {}, "a<b"), el("Empty", {{"q", "\""}})});
        QTest::newRow("default")
            << ptrReq << "rei"
            << "\n<Request type=\"set\" id=\"1\">\n  <Name>a&lt;b</Name>\n  <Empty q=\"&quot;\"/>\n"
               "</Request>";
        QTest::newRow("raw")
            << ptrReq << "ri"
            << "\n<Request type=\"set\" id=\"1\">\n  <Name>a<b</Name>\n  <Empty q=\"\"\"/>\n</Request>";
        QTest::newRow("no indent, newline") << ptrReq << "ren"
                                            << "\n<Request type=\"set\" id=\"1\">\n<Name>a&lt;b</Name>\n"
                                               "<Empty q=\"&quot;\"/>\n</Request>\n";
        QTest::newRow("not recursive") << ptrReq << "ei"
                                       << "\n<Request type=\"set\" id=\"1\">";
        QTest::newRow("sorted") << ptrReq << "reis"
                                << "\n<Request id=\"1\" type=\"set\">\n  <Empty q=\"&quot;\"/>\n  <Name>a&lt;b</Name>\n"
                                   "</Request>";
        QTest::newRow("value and children") << el("A", {}, "v", {el("B")}) << "rei"
                                            << "\n<A>v\n  <B/>\n</A>";
        QTest::newRow("value, not recursive") << el("A", {}, "v", {el("B")}) << "ei"
                                              << "\n<A>v</A>";
        QTest::newRow("cdata hidden") << el("D", {}, "<![CDATA[x]]>") << "rei"
                                      << "\n<D><![CDATA[ ... ]]></D>";
        QTest::newRow("cdata shown") << el("D", {}, "<![CDATA[x]]>") << "reic"
                                     << "\n<D><![CDATA[x]]></D>";
        QTest::newRow("zip shown when asked") << zipped(el("D", {}, "x")) << "reiz"
                                              << "\n<D _zip=\"0\">x</D>";
        QTest::newRow("zip not asked") << zipped(el("D", {}, "x")) << "rei"
                                       << "\n<D>x</D>";
    }

    void readableForm()
    {
        QFETCH(ptrCXmlElement, tree);
        QFETCH(QString, options);
        QFETCH(QString, expected);
        auto has = [&](char c) { return options.contains(QLatin1Char(c)); };
        bool bZip = false;
        unsigned int uiCount = 0;
        const QString str = tree->toString(QString(), has('r'), has('e'), has('i'), has('n'), has('c'),
                                           has('z') ? &bZip : nullptr, has('z') ? &uiCount : nullptr, has('s'));
        QCOMPARE(str, expected);
        QCOMPARE(bZip, has('z'));
        if (!has('n') && !has('c') && !has('z') && !has('s'))
            QCOMPARE(tree->toDbgString(QString(), has('r'), has('e'), has('i'), false), expected);
    }

    void readableIndentAndLimit()
    {
        const ptrCXmlElement ptr = el("A", {}, {}, {el("B", {}, "1")});
        QCOMPARE(ptr->toString(QStringLiteral("--")), QStringLiteral("\n--<A>\n--  <B>1</B>\n--</A>"));

        ptrCXmlElement ptrBig = el("Root");
        for (int i = 0; i < 200; ++i)
            ptrBig->addChild(el("Item", {{"n", QString::number(i)}}, "x"), -1);
        const QString strFull = ptrBig->toString(QString(), true, false, true, false, false, nullptr, nullptr, false);
        const struct
        {
            int iMax;
            int iLimit;
        } cases[] = {{50, 100}, {1, 100}, {0, 65534}, {-3, 65534}, {1000, 1000}};
        for (const auto& c : cases) {
            const QString strLimited = ptrBig->toLimitedDbgString(c.iMax, QStringLiteral("ab"));
            const QString strFullIndented =
                ptrBig->toString(QStringLiteral("ab"), true, false, true, false, false, nullptr, nullptr, false);
            if (strFullIndented.size() <= c.iLimit) {
                QCOMPARE(strLimited, strFullIndented);
                continue;
            }
            QCOMPARE(strLimited, strFullIndented.left(c.iLimit / 2) + QStringLiteral("\nab ...\n") +
                                     strFullIndented.right(c.iLimit / 2));
        }
        QVERIFY(strFull.size() > 1000);
        QCOMPARE(ptrBig->toLimitedDbgString(0), strFull);
    }

    void escapeFunctions()
    {
        QCOMPARE(escape(QStringLiteral("<a href='x'>\"&\"</a>")),
                 QStringLiteral("&lt;a href='x'&gt;\"&amp;\"&lt;/a&gt;"));
        QCOMPARE(escape_attribute(QStringLiteral("<'\"&>")), QStringLiteral("&lt;&apos;&quot;&amp;&gt;"));
        QCOMPARE(escape(QString()), QString());
    }

    void attributes()
    {
        const ptrCXmlElement ptr = el("E");
        QVERIFY(!ptr->hasPayload());
        QCOMPARE(ptr->setAttribute("a", QStringLiteral("1")), 0);
        QCOMPARE(ptr->setAttribute(QStringLiteral("b"), QStringLiteral("2")), 0);
        QCOMPARE(ptr->setAttribute(QByteArray("a"), QStringLiteral("3")), 0);
        QVERIFY(ptr->hasPayload());
        QCOMPARE(wire(ptr), QByteArray("<E a=\"3\" b=\"2\"/>\n"));
        bool bFound = false;
        QCOMPARE(ptr->getAttribute("b", &bFound), QStringLiteral("2"));
        QVERIFY(bFound);
        QVERIFY(ptr->getAttribute("A", &bFound).isNull());
        QVERIFY(!bFound);
        QCOMPARE(ptr->removeAttribute("A"), 0x02420002);
        QCOMPARE(ptr->removeAttribute("a"), 0);
        QCOMPARE(wire(ptr), QByteArray("<E b=\"2\"/>\n"));
        ptr->removeAllAttributes();
        QVERIFY(!ptr->hasPayload());
        ptr->setValue(QStringLiteral("v"));
        QVERIFY(ptr->hasPayload());
    }

    void children()
    {
        const ptrCXmlElement ptrParent = el("P");
        const ptrCXmlElement ptrA = el("A"), ptrB = el("B"), ptrC = el("C"), ptrD = el("D");
        QCOMPARE(ptrParent->addChild(ptrA, -1), 0);
        QCOMPARE(ptrParent->addChild(ptrB, 1000), 0);
        QCOMPARE(ptrParent->addChild(ptrC, 0), 0);
        QCOMPARE(ptrParent->addChild(ptrD, 2), 0);
        QCOMPARE(ptrParent->addChild(ptrParent, 0), 0x02420001);
        QCOMPARE(ptrParent->addChild(ptrCXmlElement(), 0), 0x02420001);
        QCOMPARE(wire(ptrParent), QByteArray("<P>\n<C/>\n<A/>\n<D/>\n<B/>\n</P>\n"));

        QCOMPARE(ptrParent->removeChild(el("A")), 0x02420002);
        QCOMPARE(ptrParent->removeChild(ptrCXmlElement()), 0x02420001);
        QCOMPARE(ptrParent->removeChild(ptrA), 0);
        QCOMPARE(ptrParent->getNumberOfChildren(), 3);
        QVERIFY(ptrParent->getChildAt(2) == ptrB);
        QVERIFY(!ptrParent->getChildAt(3));
        QListIterator<ptrCXmlElement> it = ptrParent->getChildIterator();
        ptrParent->removeAllChildren();
        int iSeen = 0;
        while (it.hasNext()) {
            it.next();
            ++iSeen;
        }
        QCOMPARE(iSeen, 3);
        QCOMPARE(ptrParent->getNumberOfChildren(), 0);
    }

    void copies()
    {
        const ptrCXmlElement ptrLeaf = zipped(el("Leaf", {}, "x"));
        const ptrCXmlElement ptrSrc = zipped(el("Root", {{"b", "2"}, {"a", "1"}}, {}, {ptrLeaf, el("Other")}));
        const ptrCXmlElement ptrShallow = ptrSrc->copy(false);
        QCOMPARE(wire(ptrShallow), QByteArray("<Root b=\"2\" a=\"1\"/>\n"));
        QVERIFY(!ptrShallow->isCompressionDisabled());

        const ptrCXmlElement ptrDeep = ptrSrc->copy(true);
        QCOMPARE(wire(ptrDeep), QByteArray("<Root b=\"2\" a=\"1\">\n<Leaf>x</Leaf>\n<Other/>\n</Root>\n"));
        QVERIFY(ptrDeep->getChildAt(0) != ptrLeaf);
        ptrLeaf->setValue(QStringLiteral("changed"));
        QCOMPARE(ptrDeep->getChildAt(0)->getValue(), QStringLiteral("x"));
        ptrDeep->setAttribute("a", QStringLiteral("9"));
        QCOMPARE(ptrSrc->getAttribute("a"), QStringLiteral("1"));
    }

    void streamingWithWorkMan()
    {
        // About 5 MB in many small elements, like a large result message.
        ptrCXmlElement ptrRoot = el("Reply", {{"id", "1"}});
        ptrCXmlElement ptrData = el("Data");
        ptrRoot->addChild(ptrData, -1);
        const QString strValue(80, QLatin1Char('v'));
        for (int i = 0; i < 50000; ++i)
            ptrData->addChild(el("Value", {{"index", QString::number(i)}}, strValue), -1);
        const QByteArray baWhole = wire(ptrRoot);
        QVERIFY(baWhole.size() > 5000000);

        CRecordingWorkMan objWorkMan;
        objWorkMan.m_uiThreshold = 122880;
        QByteArray baBuffer;
        unsigned int uiCount = 0;
        ptrRoot->toByteArray(baBuffer, uiCount, &objWorkMan);
        QVERIFY(objWorkMan.m_iLargestBuffer >= 122880);
        QVERIFY2(objWorkMan.m_iLargestBuffer < 2 * 122880, qPrintable(QString::number(objWorkMan.m_iLargestBuffer)));
        QVERIFY(baBuffer.size() < 122880);
        QCOMPARE(objWorkMan.m_baTaken + baBuffer, baWhole);

        // Threshold 0: the buffer is never handed on.
        CRecordingWorkMan objNever;
        QByteArray baAll;
        ptrRoot->toByteArray(baAll, uiCount, &objNever);
        QCOMPARE(baAll, baWhole);
        QVERIFY(objNever.m_baTaken.isEmpty());
    }

    void refusedWhenTooLong_data()
    {
        QTest::addColumn<ptrCXmlElement>("tree");
        QTest::addColumn<int>("maxBytes");
        QTest::addColumn<QByteArray>("expected");  // empty: refused
        // The writer's ceiling lowered, as when escaping would push a value past 2 GiB.
        QTest::newRow("fits exactly") << el("T", {}, "a&b") << 20 << QByteArray("<T>a&amp;b</T>\n");
        QTest::newRow("escaped value too long") << el("T", {}, "a&b") << 19 << QByteArray();
        QTest::newRow("attribute too long") << el("T", {{"v", "\"\""}}, {}) << 20 << QByteArray();
        QTest::newRow("closing tag too long") << el("R", {}, {}, {el("C")}) << 18 << QByteArray();
        // Texts beyond a thousand characters are counted before they are written: with room for
        // all but two of their bytes they are refused; counted too short, they would run past the
        // block instead (the test gives the buffer room for the limit only).
        const struct
        {
            ptrCXmlElement ptrTree;
            int iAfterText;  // bytes of the wire form behind the long text
        } aLong[] = {{el("T", {}, QString(1100, QLatin1Char('&'))), 5},
                     {el("D", {}, "<![CDATA[" + QString("]]>\r").repeated(300) + "]]>"), 8},
                     {el("U", {{"a", QString::fromUtf8("\xf0\x9f\x98\x80\"\xc3\xa4").repeated(400)}}), 4}};
        for (const auto& objLong : aLong) {
            const QByteArray baWire = wire(objLong.ptrTree);
            const QByteArray baName = objLong.ptrTree->tagname().name();
            QTest::newRow("long " + baName + " fits exactly") << objLong.ptrTree << 5 + baWire.size() << baWire;
            QTest::newRow("long " + baName + " text two bytes over")
                << objLong.ptrTree << 5 + baWire.size() - objLong.iAfterText - 2 << QByteArray();
        }
    }

    void refusedWhenTooLong()
    {
        QFETCH(ptrCXmlElement, tree);
        QFETCH(int, maxBytes);
        QFETCH(QByteArray, expected);
        QByteArray ba("head:");
        // Room for exactly the limit: a text counted too short would run past the block.
        ba.reserve(maxBytes);
        unsigned int uiCount = 0;
        const int iResult = writeWire(*tree, ba, uiCount, nullptr, maxBytes);
        QCOMPARE(iResult, expected.isEmpty() ? 0x02420001 : 0);
        QCOMPARE(ba, "head:" + expected);
    }

    void rootAttributeWrittenAsIfSet()
    {
        // The transport's remaining time: the text must be that of the root with the attribute
        // set, while the root itself stays as it was.
        const struATTRIBUTE objTime{"time", QStringLiteral("5<0")};
        const QList<ptrCXmlElement> lstTrees{
            el("Request", {{"id", "1"}, {"time", "9"}, {"type", "get"}}, {}, {el("A", {{"time", "7"}})}),
            el("Request", {{"id", "1"}}, {}, {el("A", {{"time", "7"}}), el("B")}),
            el("Request", {}, "text"),
            el("Request"),
        };
        for (const ptrCXmlElement& ptrTree : lstTrees) {
            const QByteArray baBefore = wire(ptrTree);
            const ptrCXmlElement ptrSet = ptrTree->copy(true);
            ptrSet->setAttribute(objTime.baName, objTime.strValue);
            QByteArray ba;
            unsigned int uiCount = 0;
            QCOMPARE(writeWire(*ptrTree, ba, uiCount, nullptr, s_llMaxWireBytes, &objTime), 0);
            QCOMPARE(ba, wire(ptrSet));
            QCOMPARE(wire(ptrTree), baBefore);
        }
    }

    void memoryFailureIsAResult()
    {
        // A sender whose memory runs out while it takes the text away.
        class CStarvedWorkMan : public CRecordingWorkMan
        {
            void processBuffer(QByteArray&) override { throw std::bad_alloc(); }
        } objWorkMan;
        objWorkMan.m_uiThreshold = 4;
        QByteArray ba;
        unsigned int uiCount = 0;
        QCOMPARE(el("R", {}, {}, {el("A"), el("B")})->toByteArray(ba, uiCount, &objWorkMan), 0x02420001);
    }

    void proceedStopsAtOnce_data()
    {
        QTest::addColumn<int>("allowed");
        QTest::addColumn<QByteArray>("expected");
        // proceed() is asked when an element starts and after each child completes.
        QTest::newRow("refused at once") << 0 << QByteArray();
        QTest::newRow("root only") << 1 << QByteArray("<R>\n");
        QTest::newRow("after first child") << 3 << QByteArray("<R>\n<A/>\n");
        QTest::newRow("inside nested") << 5 << QByteArray("<R>\n<A/>\n<B>\n<C/>\n");
        QTest::newRow("all") << 100 << QByteArray("<R>\n<A/>\n<B>\n<C/>\n</B>\n</R>\n");
    }

    void proceedStopsAtOnce()
    {
        QFETCH(int, allowed);
        QFETCH(QByteArray, expected);
        CRecordingWorkMan objWorkMan;
        objWorkMan.m_iProceedLeft = allowed;
        QByteArray ba;
        unsigned int uiCount = 0;
        el("R", {}, {}, {el("A"), el("B", {}, {}, {el("C")})})->toByteArray(ba, uiCount, &objWorkMan);
        QCOMPARE(ba, expected);
    }

    void deepTrees()
    {
        const int iDepth = 100000;
        ptrCXmlElement ptrDeep = chain(iDepth);
        auto wireSize = [](int a_iLevels) { return (a_iLevels - 1) * 9 + 5; };  // "<L>\n</L>\n" per level, "<L/>\n"
        const QByteArray baWire = wire(ptrDeep);
        QCOMPARE(baWire.size(), wireSize(iDepth));
        QVERIFY(baWire.startsWith("<L>\n<L>\n"));
        QCOMPARE(baWire.indexOf("<L/>\n</L>\n</L>\n"), (iDepth - 1) * 4);

        ptrCXmlElement ptrCopy = ptrDeep->copy(true);
        QCOMPARE(wire(ptrCopy), baWire);

        // The readable forms too; their indentation stops growing at 64 levels, so that their
        // text stays linear in the depth.
        const QString strReadable = ptrDeep->toString();
        QCOMPARE(strReadable.count(QLatin1Char('\n')), 2 * iDepth - 1);
        QVERIFY(strReadable.contains(QLatin1Char('\n') + QString(128, QLatin1Char(' ')) + QStringLiteral("<L>")));
        QVERIFY(!strReadable.contains(QString(129, QLatin1Char(' '))));
        const QString strSorted = ptrDeep->toString(QString(), true, true, false, false, false, nullptr, nullptr, true);
        QCOMPARE(strSorted.size(), (iDepth - 1) * 9 + 5);
        QVERIFY(ptrDeep->toLimitedDbgString(200).endsWith(QStringLiteral("\n</L>")));

        // A subtree still held elsewhere survives the release of the tree it hangs in.
        ptrCXmlElement ptrMiddle = ptrDeep;
        for (int i = 0; i < iDepth / 2; ++i)
            ptrMiddle = ptrMiddle->getChildAt(0);
        ptrDeep.reset();
        QCOMPARE(wire(ptrMiddle).size(), wireSize(iDepth / 2));
        ptrMiddle.reset();
        ptrCopy.reset();
    }

    void metaTypeRegistered()
    {
        QVERIFY(QMetaType::type("XmlCommon::ptrCXmlElement") != QMetaType::UnknownType);
        const QVariant var = QVariant::fromValue(el("X"));
        QCOMPARE(wire(var.value<ptrCXmlElement>()), QByteArray("<X/>\n"));
    }
};

QTEST_GUILESS_MAIN(TestXmlElement)
#include "tst_cxmlelement.moc"

// The Rpp converters' hand-written paths: items given as DOM nodes, XPath over antenna patterns
// and channel groups; everything generated from the description is covered by the round-trip table.
#include "../../common/TreeTestUtils.h"

#include <OrvexXmlInterface/converters/rpp/RppConverters.h>
#include <OrvexXmlInterface/xmlcommon/ResultCodes.h>

#include <QtTest/QtTest>
#include <QtXml/QDomDocument>

using namespace XmlCommon;
using namespace RppConverter;
using TestUtils::wire;

namespace
{
QDomDocument document(const char* a_pszText)
{
    QDomDocument objDocument;
    if (!objDocument.setContent(QByteArray(a_pszText)))
        qFatal("the test's own document does not parse");
    return objDocument;
}

const char* const s_pszPatterns = R"(<?xml version="1.0"?>
<AntennaPatterns site="north">
  <Pattern name="omni" band="hf"><Gain azimuth="0">2</Gain><Gain azimuth="90">2</Gain></Pattern>
  <Pattern name="yagi &amp; co" band="vuhf"><Gain azimuth="0">11</Gain><Gain azimuth="90">-3</Gain></Pattern>
</AntennaPatterns>)";
}  // namespace

class TestRppConverters : public QObject
{
    Q_OBJECT

private slots:
    void emittersFromDomNodes()
    {
        const QDomDocument objDocument = document(R"(<Emitters>
  <Radar><Name>Harbour &lt;2&gt;</Name><FrequencyMin unit="Hz">9300000000</FrequencyMin>
  <FrequencyMax unit="Hz">9500000000</FrequencyMax><PulseWidth unit="us">1</PulseWidth><PRI unit="us">1000</PRI></Radar>
</Emitters>)");
        RppAddEmitterFragment objAdd;
        QCOMPARE(objAdd.addEmitter(3, objDocument.documentElement().firstChildElement()), 0);
        QCOMPARE(objAdd.addEmitter(1, QDomNode()), int(RESULT_INVALID_ARG));
        QCOMPARE(objAdd.addEmitter(-1, objDocument.documentElement()), int(RESULT_INVALID_ARG));
        QCOMPARE(objAdd.getNumEmitters(), 1);
        const RppEmitter objEmitter = objAdd.getEmitter(0);
        QCOMPARE(objEmitter.uiPriority, 3u);
        QCOMPARE(objEmitter.strName, QStringLiteral("Harbour <2>"));
        QCOMPARE(objEmitter.ullFrequencyMax, 9500000000ull);
        QCOMPARE(objEmitter.uiPri, 1000u);
        QVERIFY(objEmitter.strComment.isEmpty());
        QVERIFY(objAdd.getEmitter(1) == RppEmitter());
        QVERIFY(objAdd.getEmitter(-1) == RppEmitter());

        RppAddMDFFragment objMdf;
        const QDomDocument objEntry = document("<Entry><Name>coast</Name><Version>4.2</Version></Entry>");
        QCOMPARE(objMdf.addMDF(objEntry.documentElement()), 0);
        QCOMPARE(objMdf.getNumMDFs(), 1);
        QCOMPARE(objMdf.getMDF(0).strVersion, QStringLiteral("4.2"));
    }

    void patternQueries_data()
    {
        QTest::addColumn<QString>("xpath");
        QTest::addColumn<int>("result");
        QTest::addColumn<QStringList>("values");
        QTest::newRow("names") << "AntennaPatternsContent/AntennaPatterns/Pattern/@name/string()" << 0
                               << QStringList{QStringLiteral("omni"), QStringLiteral("yagi & co")};
        QTest::newRow("one band") << "//Pattern[@band='vuhf']/Gain[@azimuth='90']/string()" << 0
                                  << QStringList{QStringLiteral("-3")};
        QTest::newRow("count") << "string(count(//Gain))" << 0 << QStringList{QStringLiteral("4")};
        QTest::newRow("nothing") << "//Pattern[@band='shf']/@name/string()" << 0 << QStringList();
        QTest::newRow("not a query") << "//Pattern[" << int(RESULT_INVALID_ARG) << QStringList{QStringLiteral("kept")};
    }

    void patternQueries()
    {
        QFETCH(QString, xpath);
        QFETCH(int, result);
        QFETCH(QStringList, values);
        RppAntennaPatternsFragment objPatterns;
        QCOMPARE(objPatterns.setPatterns(document(s_pszPatterns).documentElement()), 0);
        QStringList lstValues{QStringLiteral("kept")};
        QCOMPARE(objPatterns.getPatterns(xpath, lstValues), result);
        QCOMPARE(lstValues, values);
    }

    void patternContent()
    {
        RppAntennaPatternsFragment objPatterns;
        QStringList lstValues;
        QCOMPARE(objPatterns.getPatterns(QStringLiteral("//Pattern"), lstValues), int(RESULT_WRONG_KIND));
        objPatterns.makeFragment();
        QCOMPARE(objPatterns.getPatterns(QStringLiteral("//Pattern"), lstValues), int(RESULT_MISSING));
        QCOMPARE(objPatterns.setPatterns(QDomNode()), int(RESULT_INVALID_ARG));
        // The content travels as elements of the message, written back like any other.
        QCOMPARE(objPatterns.setPatterns(document("<P a=\"1\"><Q>x &amp; y</Q></P>").documentElement()), 0);
        QCOMPARE(wire(objPatterns.getTree()),
                 QByteArray("<RPP>\n<AntennaPatternsContent>\n<P a=\"1\">\n"
                            "<Q>x &amp; y</Q>\n</P>\n</AntennaPatternsContent>\n</RPP>\n"));
    }

    void channelGroups()
    {
        RppChannelsFragment objChannels;
        QCOMPARE(objChannels.getNumGroups(), 0);
        QCOMPARE(objChannels.setGroupBits(0, 0x0f), 0);
        QCOMPARE(objChannels.setGroupBits(2, 0xf0), 0);
        QCOMPARE(objChannels.setGroupBits(0, 0x03), 0);
        QCOMPARE(objChannels.setGroupBits(-1, 1), int(RESULT_INVALID_ARG));
        QCOMPARE(objChannels.getNumGroups(), 2);
        unsigned int uiBits = 7;
        QCOMPARE(objChannels.getGroupBits(0, uiBits), 0);
        QCOMPARE(uiBits, 3u);
        QCOMPARE(objChannels.getGroupBits(1, uiBits), int(RESULT_MISSING));
        QCOMPARE(wire(objChannels.getFragment().getDataTree().getElementTree()),
                 QByteArray("<Channels>\n<Group index=\"0\">3</Group>\n<Group index=\"2\">240</Group>\n</Channels>\n"));
    }
};

QTEST_GUILESS_MAIN(TestRppConverters)
#include "tst_rppconverters.moc"

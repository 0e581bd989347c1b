// The hand-written and irregular parts of the signal-processing family; everything generated from
// the description is covered by the round-trip table.
#include "../../common/TreeTestUtils.h"

#include <OrvexXmlInterface/converters/sigv/SigvConverters.h>
#include <OrvexXmlInterface/xmlcommon/ResultCodes.h>

#include <QtTest/QtTest>

using namespace XmlCommon;
using namespace SigVConverter;
using TestUtils::el;
using TestUtils::wire;

typedef QList<struFREQUENCY_RANGE> typRanges;
Q_DECLARE_METATYPE(typRanges)

class TestSigvConverters : public QObject
{
    Q_OBJECT

private slots:
    void overlaps_data()
    {
        QTest::addColumn<typRanges>("ranges");
        QTest::addColumn<bool>("overlapping");
        QTest::newRow("none") << typRanges{} << false;
        QTest::newRow("apart, unsorted") << typRanges{{500, 600}, {100, 200}, {300, 400}} << false;
        QTest::newRow("touching") << typRanges{{100, 200}, {200, 300}} << true;
        QTest::newRow("inside") << typRanges{{100, 900}, {300, 400}} << true;
        QTest::newRow("overlapping, unsorted") << typRanges{{350, 500}, {100, 200}, {300, 400}} << true;
    }

    void overlaps()
    {
        QFETCH(typRanges, ranges);
        QFETCH(bool, overlapping);
        CFH_FrequencyRanges objRanges;
        QCOMPARE(objRanges.setFreqRanges(ranges), 0);
        bool bOverlapping = !overlapping;
        QCOMPARE(objRanges.checkForOverlaps(bOverlapping), 0);
        QCOMPARE(bOverlapping, overlapping);
    }

    void rangeTexts_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("result");
        QTest::newRow("good") << "1000,2000" << 0;
        QTest::newRow("equal ends") << "1000,1000" << 0;
        QTest::newRow("wrong way") << "2000,1000" << int(RESULT_MALFORMED);
        QTest::newRow("one item") << "1000" << int(RESULT_MALFORMED);
        QTest::newRow("negative") << "-1,5" << int(RESULT_MALFORMED);
    }

    void rangeTexts()
    {
        QFETCH(QString, text);
        QFETCH(int, result);
        CMsgFragment objFragment(
            el("FrequencyHopping", {}, {},
               {el("FrequencyRanges", {}, {}, {el("Range", {}, QStringLiteral("1,2")), el("Range", {}, text)})}));
        const CFH_FrequencyRanges objRanges(objFragment);
        typRanges lstRanges{{7, 8}};
        QCOMPARE(objRanges.getFreqRanges(lstRanges), result);
        QCOMPARE(lstRanges.size(), result ? 1 : 2);
        bool bOverlapping = false;
        QCOMPARE(objRanges.checkForOverlaps(bOverlapping), result);
    }

    void wrongWayRangeWritesNothing()
    {
        CDetectorParams objParams;
        objParams.setExclusionRanges({{1, 2}});
        QCOMPARE(objParams.setExclusionRanges({{5, 6}, {9, 8}}), int(RESULT_MALFORMED));
        typRanges lstRanges;
        QCOMPARE(objParams.getExclusionRanges(lstRanges), 0);
        QCOMPARE(lstRanges, (typRanges{{1, 2}}));
    }

    void averageTimeIs64BitOnTheWire()
    {
        CFftParams objParams;
        QCOMPARE(objParams.setAverageTime(4000000000u), 0);
        unsigned int uiTime = 0;
        QCOMPARE(objParams.getAverageTime(uiTime), 0);
        QCOMPARE(uiTime, 4000000000u);
        objParams.getFragment().getDataTree().getElementTree()->getChildAt(0)->setValue(QStringLiteral("4294967296"));
        QCOMPARE(objParams.getAverageTime(uiTime), int(RESULT_MALFORMED));
        QCOMPARE(uiTime, 4000000000u);
    }

    void backlogTypes()
    {
        CDetectorProcessingStatus objStatus;
        QCOMPARE(objStatus.setBacklog(BACKLOG_RELATIVE, 250000ull), 0);
        QCOMPARE(wire(objStatus.getTree()), QByteArray("<Detector>\n<ProcessingStatus>\n<Backlog type=\"relative\">"
                                                       "250000</Backlog>\n</ProcessingStatus>\n</Detector>\n"));
        QCOMPARE(objStatus.setBacklog(eBacklogModes(2), 5ull), int(RESULT_MALFORMED));
        eBacklogModes eMode = BACKLOG_ABSOLUTE;
        unsigned long long ullBacklog = 0;
        QCOMPARE(objStatus.getBacklog(eMode, ullBacklog), 0);  // the amount was rewritten, the type kept
        QVERIFY(eMode == BACKLOG_RELATIVE && ullBacklog == 5);
        objStatus.getFragment().getDataTree().getElementTree()->getChildAt(0)->removeAllAttributes();
        QCOMPARE(objStatus.getBacklog(eMode, ullBacklog), int(RESULT_MALFORMED));
    }

    void emissionEntriesAppend()
    {
        CDetectAndClassifyEvents objEvents;
        const struEMISSION_ENTRY objFirst{1u, 10ull, 100ull, 5u, -60, QStringLiteral("new")};
        QCOMPARE(objEvents.addEmissionEntry(objFirst), 0);
        objEvents.setIterationId(4);
        QCOMPARE(objEvents.addEmissionEntry({2u, 20ull, 200ull, 6u, -61, QStringLiteral("old")}), 0);
        QList<struEMISSION_ENTRY> lstEntries;
        QCOMPARE(objEvents.getEmissionEntries(lstEntries), 0);
        QCOMPARE(lstEntries.size(), 2);
        QVERIFY(lstEntries.at(0) == objFirst);
        QCOMPARE(lstEntries.at(1).strState, QStringLiteral("old"));
    }

    void progressSetupAndReset()
    {
        CSpectralCollectorProgress objProgress;
        QCOMPARE(objProgress.setup(DATA_STATE_FILLING, 12, FILL_STATE_HIGH, 3000), 0);
        QCOMPARE(wire(objProgress.getFragment().getDataTree().getElementTree()),
                 QByteArray("<CollectionProgress>\n<DataState>filling</DataState>\n<FillCount>12</FillCount>\n"
                            "<FillState>high</FillState>\n<MaximumBacklog>3000</MaximumBacklog>\n"
                            "</CollectionProgress>\n"));
        QCOMPARE(objProgress.setup(eDataState(7), 1, FILL_STATE_LOW, 1), int(RESULT_INVALID_ARG));

        CHopperSeparationResult objResult;
        objResult.setTunerCenterFrequency(5);
        QCOMPARE(objResult.init(), 0);
        QCOMPARE(wire(objResult.getTree()), QByteArray("<FrequencyHopping>\n<HopperSeparationResults/>\n"
                                                       "</FrequencyHopping>\n"));
    }
};

QTEST_GUILESS_MAIN(TestSigvConverters)
#include "tst_sigvconverters.moc"

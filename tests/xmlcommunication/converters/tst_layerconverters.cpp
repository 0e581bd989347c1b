#include "../../common/TreeTestUtils.h"

#include <OrvexXmlInterface/xmlcommon/ResultCodes.h>
#include <OrvexXmlInterface/xmlcommunication/converters/CAlivecheckConverter.h>
#include <OrvexXmlInterface/xmlcommunication/converters/CFilterConverter.h>
#include <OrvexXmlInterface/xmlcommunication/converters/LayerConverters.h>

#include <QtTest/QtTest>

using namespace XmlCommon;
using namespace XmlCommunication;
using TestUtils::el;
using TestUtils::wire;

namespace
{
QByteArray device(const QByteArray& a_baData)
{
    return "<XmlCommunicationDevice>\n" + a_baData + "</XmlCommunicationDevice>\n";
}

// Reaches the version-3 operations the transport uses.
class CAliveCheck3 : public CAlivecheckConverter
{
public:
    using CAlivecheckConverter::CAlivecheckConverter;
    using CAlivecheckConverter::disableCheck_version3;
    using CAlivecheckConverter::isDisabled_version3;
};
}  // namespace

class TestLayerConverters : public QObject
{
    Q_OBJECT

private slots:
    void aliveCheck()
    {
        CAliveCheck3 objConv;
        QCOMPARE(objConv.getVersion(), 0u);
        QVERIFY(!objConv.isAvailabilitySet());
        QCOMPARE(objConv.setAvailability(), 0);
        QCOMPARE(wire(objConv.getTree()), device("<AliveCheck version=\"4\">1</AliveCheck>\n"));
        QCOMPARE(objConv.getVersion(), 4u);
        QVERIFY(objConv.isAvailabilitySet());
        QCOMPARE(CAlivecheckConverter::getClassVersion(), 4u);

        QCOMPARE(objConv.setDisableLevel(CAlivecheckConverter::DISABLE_PROCESS), 0);
        QCOMPARE(objConv.getDisableLevel(), CAlivecheckConverter::DISABLE_PROCESS);
        QCOMPARE(objConv.setDisableLevel(CAlivecheckConverter::eDISABLE_LEVELS(7)), int(RESULT_INVALID_ARG));

        // A version-3 peer marks a disabled check with "0" and keeps its version on rewrite.
        CAliveCheck3 objOld;
        objOld.setVersion(3);
        QCOMPARE(objOld.disableCheck_version3(true), 0);
        QCOMPARE(wire(objOld.getTree()), device("<AliveCheck version=\"3\" type=\"global\">0</AliveCheck>\n"));
        bool bGlobal = false;
        QVERIFY(objOld.isDisabled_version3(bGlobal));
        QVERIFY(bGlobal);
        objOld.setAvailability();
        QCOMPARE(objOld.getDisableLevel(), CAlivecheckConverter::DISABLE_NONE);

        CMsgFragment objOther(el("XmlCommunicationDevice", {}, {}, {el("Filter", {{"version", "4"}}, "1")}));
        QCOMPARE(CAlivecheckConverter(objOther).getVersion(), 0u);
        QVERIFY(!CAlivecheckConverter(objOther).isAvailabilitySet());
    }

    // Peers of either protocol version send their disable in one of two forms; each is read
    // whatever the version attribute says.
    void disableLevelInEveryForm_data()
    {
        QTest::addColumn<QString>("version");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("disable");
        QTest::addColumn<int>("level");

        // clang-format off
        QTest::newRow("level child, version 4") << "4" << "" << "system" << 3;
        QTest::newRow("level child, version 3") << "3" << "" << "process" << 2;
        QTest::newRow("level child, version 2") << "2" << "" << "connection" << 1;
        QTest::newRow("text 0, version 3") << "3" << "0" << QString() << 1;
        QTest::newRow("text 0, version 4") << "4" << "0" << QString() << 1;
        QTest::newRow("text 0, no version") << QString() << "0" << QString() << 1;
        QTest::newRow("the child decides over the text") << "4" << "0" << "none" << 0;
        QTest::newRow("availability") << "4" << "1" << QString() << 0;
        QTest::newRow("unknown level, no text") << "4" << "" << "Process" << 0;
        QTest::newRow("query") << "4" << "" << QString() << 0;
        // clang-format on
    }

    void disableLevelInEveryForm()
    {
        QFETCH(QString, version);
        QFETCH(QString, text);
        QFETCH(QString, disable);
        QFETCH(int, level);

        const ptrCXmlElement ptrData = el("AliveCheck", {}, text);
        if (!version.isNull())
            ptrData->setAttribute("version", version);
        if (!disable.isNull())
            ptrData->addChild(el("Disable", {}, disable), -1);
        CMsgFragment objFragment(el("XmlCommunicationDevice", {}, {}, {ptrData}));
        QCOMPARE(int(CAlivecheckConverter(objFragment).getDisableLevel()), level);
    }

    void ownTextMessages_data()
    {
        QTest::addColumn<int>(
            "kind");  // 0 log text, 1 parser error, 2 creation-time demand, 3 request-tree suppression
        QTest::addColumn<QByteArray>("golden");
        QTest::newRow("log") << 0 << device("<DebugTextToLog>a &lt; b</DebugTextToLog>\n");
        QTest::newRow("parser error") << 1 << device("<XmlParserError>a &lt; b</XmlParserError>\n");
        QTest::newRow("demand") << 2 << device("<RequestCreationtimeDemand>1</RequestCreationtimeDemand>\n");
        QTest::newRow("suppression") << 3 << device("<RequestTreeSuppression>1</RequestTreeSuppression>\n");
    }

    void ownTextMessages()
    {
        QFETCH(int, kind);
        QFETCH(QByteArray, golden);
        const QString strText = QStringLiteral("a < b");
        CDebugLoggingEvent objLog;
        CXmlFaultConverter objFault;
        CRequestCreationTimeDemand objDemand;
        CRequestTreeConverter objSuppression;
        const CConvBaseFragment* apConverters[] = {&objLog, &objFault, &objDemand, &objSuppression};
        switch (kind) {
        case 0: objLog.setLogText(strText); break;
        case 1: objFault.setXmlParserErrorText(strText); break;
        case 2: objDemand.setDemand(true); break;
        default: objSuppression.setRequestTreeSuppression(true); break;
        }
        QCOMPARE(wire(apConverters[kind]->getTree()), golden);

        // Read back over the parsed golden text; every other converter refuses it.
        CMsgFragment objFragment(apConverters[kind]->getTree()->copy(true));
        QString strRead;
        bool bRead = false;
        QCOMPARE(CDebugLoggingEvent(objFragment).getLogText(strRead), kind == 0 ? 0 : int(RESULT_WRONG_KIND));
        QCOMPARE(CXmlFaultConverter(objFragment).getXmlParserErrorText(strRead),
                 kind == 1 ? 0 : int(RESULT_WRONG_KIND));
        QCOMPARE(CRequestCreationTimeDemand(objFragment).getDemand(bRead), kind == 2 ? 0 : int(RESULT_WRONG_KIND));
        QCOMPARE(CRequestTreeConverter(objFragment).getRequestTreeSuppression(bRead),
                 kind == 3 ? 0 : int(RESULT_WRONG_KIND));
        QCOMPARE(CCompressionConverter(objFragment).isCompatible(), false);
        QVERIFY(kind < 2 ? strRead == strText : bRead);
    }

    void yesNoTexts()
    {
        CMsgFragment objFragment(el("XmlCommunicationDevice", {}, {}, {el("RequestCreationtimeDemand", {}, "yes")}));
        bool bDemand = true;
        QCOMPARE(CRequestCreationTimeDemand(objFragment).getDemand(bDemand), int(RESULT_MALFORMED));
        objFragment.getDataTree().getElementTree()->setValue(QStringLiteral("0"));
        QCOMPARE(CRequestCreationTimeDemand(objFragment).getDemand(bDemand), 0);
        QVERIFY(!bDemand);
        CCompressionConverter objCompression;
        objCompression.makeFragment();
        QCOMPARE(wire(objCompression.getTree()), device("<Compression/>\n"));
    }

    void descriptionAndMetaInformation()
    {
        CAppDescription objDescription;
        objDescription.setAppName(QStringLiteral("Recorder"));
        objDescription.setAppVersion(QStringLiteral("2.1"));
        objDescription.setAppBuild(QStringLiteral("77"));
        objDescription.setAppGuid(QStringLiteral("{0000}"));
        objDescription.setAppInterface(QStringLiteral("4"));
        QCOMPARE(wire(objDescription.getTree()),
                 device("<Description>\n<Name>Recorder</Name>\n<Version>2.1</Version>\n<Build>77</Build>\n"
                        "<GUID>{0000}</GUID>\n<Interface>4</Interface>\n</Description>\n"));
        QString strGuid;
        QCOMPARE(objDescription.getAppGuid(strGuid), 0);
        QCOMPARE(strGuid, QStringLiteral("{0000}"));

        CAppDescription objCopy;
        QVERIFY(objCopy.getDescription().isNull());
        QCOMPARE(objCopy.setDescription(objDescription.getDescription()), 0);
        QCOMPARE(wire(objCopy.getTree()), wire(objDescription.getTree()));

        CMetaInfoConverter objMeta;
        QVERIFY(objMeta.getInfo().isNull());
        QCOMPARE(objMeta.setInfo(CDataTree(el("MetaInformation", {{"a", "1"}}, {}, {el("Anything", {}, "x")}))), 0);
        QCOMPARE(wire(objMeta.getTree()),
                 device("<MetaInformation a=\"1\">\n<Anything>x</Anything>\n</MetaInformation>\n"));
        QVERIFY(objMeta.getInfo().getElementTree()->getChildAt(0)->tagname() == "Anything");
    }

    void debugFlags()
    {
        const typMapDbgFlags mapFlags{
            {QStringLiteral("CConnection"), {{QStringLiteral("LogRequests_Snd"), QStringLiteral("1")}}},
            {QStringLiteral("CAliveCheck"),
             {{QStringLiteral("log"), QStringLiteral("0")},
              {QStringLiteral("Check"), QStringLiteral("disableProcess")}}}};
        CDebugFlagsConverter objFlags;
        QCOMPARE(objFlags.setFlags(mapFlags), 0);
        QCOMPARE(wire(objFlags.getTree()),
                 device("<DebugFlags>\n<CAliveCheck>\n<Check>disableProcess</Check>\n<log>0</log>\n"
                        "</CAliveCheck>\n<CConnection>\n<LogRequests_Snd>1</LogRequests_Snd>\n"
                        "</CConnection>\n</DebugFlags>\n"));
        typMapDbgFlags mapRead;
        QCOMPARE(objFlags.getFlags(mapRead), 0);
        QCOMPARE(mapRead, mapFlags);
        // Reading merges; writing twice repeats the groups.
        typMapDbgFlags mapMerged{{QStringLiteral("CComman"), {{QStringLiteral("log"), QStringLiteral("1")}}}};
        QCOMPARE(objFlags.getFlags(mapMerged), 0);
        QCOMPARE(mapMerged.size(), 3);
        objFlags.setFlags(mapFlags);
        QCOMPARE(objFlags.getTree()->getChildAt(0)->getNumberOfChildren(), 4);

        CQueryDebugFlagInformationConverter objInfo;
        QCOMPARE(objInfo.setFlagInformation(
                     {{QStringLiteral("CConnection"), {{QStringLiteral("log"), QStringLiteral("0,1")}}}}),
                 0);
        QCOMPARE(wire(objInfo.getTree()),
                 device("<DebugFlagInformation>\n<CConnection>\n<log>0,1</log>\n</CConnection>\n"
                        "</DebugFlagInformation>\n"));
        typMapDbgFlags mapNothing;
        CMsgFragment objInfoFragment = objInfo.getFragment();
        QCOMPARE(CDebugFlagsConverter(objInfoFragment).getFlags(mapNothing), int(RESULT_WRONG_KIND));
    }

    void filter()
    {
        CFilterConverter objFilter;
        CFilterConverter::eFILTER_TYPES eType = CFilterConverter::FILTER_SUPPRESS;
        QCOMPARE(objFilter.getFilterType(eType), int(RESULT_WRONG_KIND));
        QVERIFY(!objFilter.getFilterTree());
        QCOMPARE(objFilter.subscribeToComponent(QStringLiteral("Tuner")), 0);
        QCOMPARE(objFilter.subscribeToComponent(Tag::Tuner), 0);
        QCOMPARE(objFilter.subscribeToComponent(QString()), int(RESULT_INVALID_ARG));
        QCOMPARE(objFilter.subscribeToTree(ptrCXmlElement()), int(RESULT_INVALID_ARG));
        const ptrCXmlElement ptrTree = el("Storage", {}, {}, {el("S"), el("T", {}, {}, {el("U")})});
        QCOMPARE(objFilter.subscribeToTree(ptrTree), 0);
        QCOMPARE(ptrTree->getAttribute("syntax"), QStringLiteral("tree"));  // the caller's element is marked
        QCOMPARE(wire(objFilter.getTree()),
                 device("<Filter type=\"accept\">\n"
                        "<Tuner>\n<All/>\n</Tuner>\n"
                        "<AdvancedFilter>\n<Tuner syntax=\"component\"/>\n<Tuner syntax=\"component\"/>\n"
                        "<Storage syntax=\"tree\">\n<S/>\n<T>\n<U/>\n</T>\n</Storage>\n</AdvancedFilter>\n"
                        "<Storage>\n<S>\n<All/>\n</S>\n<T>\n<U>\n<All/>\n</U>\n</T>\n</Storage>\n"
                        "</Filter>\n"));
        QCOMPARE(objFilter.getFilterType(eType), 0);
        QCOMPARE(eType, CFilterConverter::FILTER_ACCEPT);
        objFilter.setFilterType(CFilterConverter::FILTER_SUPPRESS);
        QCOMPARE(objFilter.getFilterType(eType), 0);
        QCOMPARE(eType, CFilterConverter::FILTER_SUPPRESS);
        objFilter.getTree()->getChildAt(0)->setAttribute("type", QStringLiteral("Accept"));
        QCOMPARE(objFilter.getFilterType(eType), int(RESULT_MALFORMED));

        const ptrCXmlElement ptrEvent = objFilter.getFilterTree();
        QVERIFY(ptrEvent->tagname() == "Event");
        QCOMPARE(ptrEvent->getNumberOfChildren(), 3);
        QVERIFY(ptrEvent->getChildAt(0) == objFilter.getTree()->getChildAt(0)->getChildAt(0));  // shared, not copied
    }
};

QTEST_GUILESS_MAIN(TestLayerConverters)
#include "tst_layerconverters.moc"

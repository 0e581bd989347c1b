// The hand-written and irregular parts of the resource manager's family; everything generated
// from the description is covered by the round-trip table.
#include "../../common/TreeTestUtils.h"

#include <OrvexXmlInterface/converters/resource/ResourceConverters.h>
#include <OrvexXmlInterface/xmlcommon/ResultCodes.h>

#include <QtTest/QtTest>

using namespace XmlCommon;
using namespace ResourceConverter;
using namespace GLOBAL_TYPES;
using TestUtils::el;
using TestUtils::wire;

typedef QList<eCHILD_APPLICATION_TYPES> typExclusions;
Q_DECLARE_METATYPE(typExclusions)

class TestResourceConverters : public QObject
{
    Q_OBJECT

private slots:
    void exclusionsWritten_data()
    {
        QTest::addColumn<typExclusions>("exclusions");
        QTest::addColumn<QByteArray>("wire");
        QTest::addColumn<typExclusions>("readBack");
        QTest::newRow("none") << typExclusions{} << QByteArray("<ApplicationExclusion/>\n") << typExclusions{};
        QTest::newRow("fixed order, once each")
            << typExclusions{CHILD_APPLICATION_FH, CHILD_APPLICATION_FFP, CHILD_APPLICATION_FFP}
            << QByteArray("<ApplicationExclusion>ffp</ApplicationExclusion>\n"
                          "<ApplicationExclusion>fh</ApplicationExclusion>\n")
            << typExclusions{CHILD_APPLICATION_FFP, CHILD_APPLICATION_FH};
        QTest::newRow("all four") << typExclusions{CHILD_APPLICATION_CONTROLLER, CHILD_APPLICATION_DCP,
                                                   CHILD_APPLICATION_FH, CHILD_APPLICATION_FFP}
                                  << QByteArray("<ApplicationExclusion>ffp</ApplicationExclusion>\n"
                                                "<ApplicationExclusion>dcp</ApplicationExclusion>\n"
                                                "<ApplicationExclusion>controller</ApplicationExclusion>\n"
                                                "<ApplicationExclusion>fh</ApplicationExclusion>\n")
                                  << typExclusions{CHILD_APPLICATION_FFP, CHILD_APPLICATION_DCP,
                                                   CHILD_APPLICATION_CONTROLLER, CHILD_APPLICATION_FH};
    }

    void exclusionsWritten()
    {
        QFETCH(typExclusions, exclusions);
        QFETCH(QByteArray, wire);
        QFETCH(typExclusions, readBack);
        CRegisterPU objRegister;
        objRegister.setExclusions({CHILD_APPLICATION_DCP});  // replaced below
        QCOMPARE(objRegister.setExclusions(exclusions), 0);
        QCOMPARE(TestUtils::wire(objRegister.getFragment().getDataTree().getElementTree()),
                 "<Register type=\"processingUnit\">\n" + wire + "</Register>\n");
        typExclusions lstRead{CHILD_APPLICATION_DCP};
        QCOMPARE(objRegister.getExclusions(lstRead), 0);
        QCOMPARE(lstRead, readBack);
    }

    void exclusionsRead_data()
    {
        QTest::addColumn<QStringList>("texts");
        QTest::addColumn<int>("result");
        QTest::newRow("missing") << QStringList() << int(RESULT_MISSING);
        QTest::newRow("unknown text") << QStringList{QStringLiteral("ffp"), QStringLiteral("FFP")}
                                      << int(RESULT_MALFORMED);
        QTest::newRow("duplicates collapse") << QStringList{QStringLiteral("fh"), QStringLiteral("fh")} << 0;
    }

    void exclusionsRead()
    {
        QFETCH(QStringList, texts);
        QFETCH(int, result);
        const ptrCXmlElement ptrRecord = el("ProcessingUnit");
        for (const QString& strText : texts)
            ptrRecord->addChild(el("ApplicationExclusion", {}, strText), -1);
        const CRegister_SubPU objRecord(ptrRecord);
        typExclusions lstRead{CHILD_APPLICATION_DCP};
        QCOMPARE(objRecord.getExclusions(lstRead), result);
        QCOMPARE(lstRead, result ? typExclusions{CHILD_APPLICATION_DCP} : typExclusions{CHILD_APPLICATION_FH});
    }

    void recordFields()
    {
        CStatus_SubPU objUnit(QStringLiteral("ProcessingUnit"));
        objUnit.setIPs({QStringLiteral("10.0.0.1"), QStringLiteral("10.0.0.2")});
        objUnit.setIPs({QStringLiteral("10.0.0.3")});
        QCOMPARE(objUnit.setUnitActivityState(UNIT_ACTIVITY_CRITICAL), 0);
        objUnit.setMetaInfoDataTree(CDataTree(el("MetaInformation", {}, {}, {el("Site", {}, QStringLiteral("x"))})));
        objUnit.setMetaInfoDataTree(CDataTree(el("MetaInformation")));  // no content: removes the old one
        QCOMPARE(objUnit.setInputSource(eINPUT_SOURCE_TYPES(9), QStringLiteral("tuner-1")), int(RESULT_INVALID_ARG));
        QCOMPARE(wire(objUnit.getElementTree()), QByteArray("<ProcessingUnit state=\"critical\">\n<IP>10.0.0.3</IP>\n"
                                                            "<Input>tuner-1</Input>\n</ProcessingUnit>\n"));
        eINPUT_SOURCE_TYPES eSource = INPUT_SOURCE_NONE;
        QString strName;
        QCOMPARE(objUnit.getInputSource(eSource, strName), int(RESULT_MALFORMED));  // no sourceType
        QVERIFY(objUnit.getMetaInfoDataTree().isNull());

        // A view of another name answers 0x02420000; the list getter binds views to the children.
        QStringList lstIPs;
        QCOMPARE(CStatus_SubPU(QStringLiteral("StorageUnit"), objUnit.getElementTree()).getIPs(lstIPs),
                 int(RESULT_WRONG_KIND));
        CQueryStatus_System objSystem;
        QCOMPARE(objSystem.setProcessingUnits({objUnit}), 0);
        QCOMPARE(objSystem.setStorageUnits({CStatus_SubSU(QStringLiteral("StorageUnit"), el("Wrong"))}),
                 int(RESULT_INVALID_ARG));
        QList<CStatus_SubPU> lstUnits;
        QCOMPARE(objSystem.getProcessingUnits(lstUnits), 0);
        QCOMPARE(lstUnits.size(), 1);
        lstUnits[0].setGUID(QStringLiteral("pu-1"));  // shared, not copied
        QString strGuid;
        QCOMPARE(objUnit.getGUID(strGuid), 0);
        QCOMPARE(strGuid, QStringLiteral("pu-1"));
    }

    void compatibleOnceIdentified()
    {
        CTunerStorageConnection objConnection;
        objConnection.makeFragment();
        QVERIFY(!objConnection.isCompatible());
        objConnection.setGUID(QStringLiteral("tuner-1"));
        QVERIFY(!objConnection.isCompatible());
        objConnection.setType(QStringLiteral("lan"));
        QVERIFY(objConnection.isCompatible());
        CTunerStorageConnectionXG objXG(objConnection.getFragment());
        QVERIFY(!objXG.isCompatible());
        objXG.setPort(7000);  // shapes the fragment: type becomes "xg"
        QVERIFY(objXG.isCompatible());
        QVERIFY(objConnection.isCompatible());
    }

    void resetModeCodes()
    {
        CMsgFragment objFragment(el("ResourceManager", {}, {}, {el("SystemReset")}));
        const CSystemReset objReset(objFragment);
        CSystemReset::eSYSTEM_RESET_MODE eMode = CSystemReset::SYSTEM_RESET_REBOOT;
        QCOMPARE(objReset.getResetMode(eMode), int(RESULT_MISSING));
        objFragment.getDataTree().getElementTree()->setAttribute("mode", QStringLiteral("Reboot"));
        QCOMPARE(objReset.getResetMode(eMode), int(RESULT_INVALID_ARG));
        QCOMPARE(eMode, CSystemReset::SYSTEM_RESET_REBOOT);
    }

    void filesKeyedByUnit()
    {
        CConfigFile objFiles;
        QCOMPARE(objFiles.setCfgFile(QStringLiteral("a"), QByteArray("one")), 0);
        QCOMPARE(objFiles.setCfgFile(QStringLiteral("b"), QByteArray("two")), 0);
        QCOMPARE(objFiles.setCfgFile(QStringLiteral("a"), QByteArray("three")), 0);
        QCOMPARE(objFiles.setCfgFile(QString(), QByteArray("x")), int(RESULT_INVALID_ARG));
        QByteArray baFile;
        QCOMPARE(objFiles.getCfgFile(QStringLiteral("a"), baFile), 0);
        QCOMPARE(baFile, QByteArray("three"));
        QCOMPARE(objFiles.getCfgFile(QStringLiteral("c"), baFile), int(RESULT_MISSING));
        QCOMPARE(wire(objFiles.getFragment().getDataTree().getElementTree()),
                 QByteArray("<ConfigurationFile>\n<ConfigFileData guid=\"a\"><![CDATA[three]]></ConfigFileData>\n"
                            "<ConfigFileData guid=\"b\"><![CDATA[two]]></ConfigFileData>\n</ConfigurationFile>\n"));
    }

    void elementInformationLayout()
    {
        CElementInformation objInfo;
        const QUuid objGuid(QStringLiteral("{11111111-2222-3333-4444-555555555555}"));
        QCOMPARE(objInfo.setInfo(QUuid(), {}), int(RESULT_INVALID_ARG));
        QCOMPARE(
            objInfo.setInfo(objGuid, {QStringLiteral("Tower"), QString(), QStringLiteral("op"), QUuid(), 5, false}), 0);
        QCOMPARE(wire(objInfo.getFragment().getDataTree().getElementTree()),
                 QByteArray("<ElementInformation>\n<Information guid=\"{11111111-2222-3333-4444-555555555555}\">\n"
                            "<FriendlyName>Tower</FriendlyName>\n<Comment/>\n"
                            "<Creator guid=\"{00000000-0000-0000-0000-000000000000}\">op</Creator>\n"
                            "<CreationTime unit=\"ms\" timeZone=\"UTC\">5</CreationTime>\n"
                            "<Persistence>0</Persistence>\n</Information>\n</ElementInformation>\n"));
        GLOBAL_TYPES::CElementInfoData objRead;
        QCOMPARE(objInfo.getInfo(QUuid(QStringLiteral("{11111111-2222-3333-4444-555555555556}")), objRead),
                 int(RESULT_MISSING));
        objInfo.getFragment().getDataTree().getElementTree()->getChildAt(0)->setAttribute("guid", QStringLiteral("x"));
        QList<QUuid> lstGuids;
        QCOMPARE(objInfo.getGUIDs(lstGuids), int(RESULT_MALFORMED));
    }

    void tunerCommand()
    {
        CTunerRequest objRequest;
        QCOMPARE(objRequest.setCommand(CMsgFragment(el("Storage", {}, {}, {el("Status")}))), int(RESULT_INVALID_ARG));
        CMsgFragment objCommand(el("Tuner", {}, {}, {el("Parameters", {}, {}, {el("Frequency", {}, "5")})}));
        objRequest.setGUID(QStringLiteral("t-1"));
        QCOMPARE(objRequest.setCommand(objCommand), 0);
        objCommand.getDataTree().getElementTree()->removeAllChildren();  // the request holds a copy
        QCOMPARE(wire(objRequest.getTree()),
                 QByteArray("<ResourceManager>\n<TunerRequest guid=\"t-1\">\n<Parameters>\n<Frequency>5</Frequency>\n"
                            "</Parameters>\n</TunerRequest>\n</ResourceManager>\n"));
    }
};

QTEST_GUILESS_MAIN(TestResourceConverters)
#include "tst_resourceconverters.moc"

// The hand-written parts of the tuner, input and datastream family; everything generated from
// the description is covered by the round-trip table.
#include "../../common/TreeTestUtils.h"

#include <OrvexXmlInterface/converters/ipc/IpcConverters.h>
#include <OrvexXmlInterface/xmlcommon/ResultCodes.h>

#include <QtTest/QtTest>

using namespace XmlCommon;
using namespace IpcConverter;
using TestUtils::el;
using TestUtils::wire;

class TestIpcConverters : public QObject
{
    Q_OBJECT

private slots:
    void soundDeviceNames_data()
    {
        QTest::addColumn<QString>("manufacturer");
        QTest::addColumn<QString>("product");
        QTest::addColumn<QString>("manufacturerName");
        QTest::addColumn<QString>("productName");
        // clang-format off
        QTest::newRow("Microsoft product")         << "1"   << "2" << "Microsoft Corporation"      << "Wave Mapper";
        QTest::newRow("last in the excerpt")       << "50"  << "1" << "Seiko Epson Corporation"    << "Unknown product (1)";
        QTest::newRow("unknown manufacturer")      << "999" << "1" << "Unknown manufacturer (999)" << "Unknown product (1)";
        QTest::newRow("unknown Microsoft product") << "1"   << "8" << "Microsoft Corporation"      << "Unknown product (8)";
        // clang-format on
    }

    void soundDeviceNames()
    {
        QFETCH(QString, manufacturer);
        QFETCH(QString, product);
        QFETCH(QString, manufacturerName);
        QFETCH(QString, productName);
        const CSoundDevice objDevice(
            el("SoundDevice", {}, {}, {el("Manufacturer", {}, manufacturer), el("ProductId", {}, product)}));
        QString strName;
        QCOMPARE(objDevice.getManufacturer(strName), 0);
        QCOMPARE(strName, manufacturerName);
        QCOMPARE(objDevice.getProduct(strName), 0);
        QCOMPARE(strName, productName);
    }

    void soundDeviceNamesNeedTheirIds()
    {
        QString strName = QStringLiteral("kept");
        QCOMPARE(CSoundDevice().getManufacturer(strName), int(RESULT_WRONG_KIND));
        const CSoundDevice objNoProduct(el("SoundDevice", {}, {}, {el("Manufacturer", {}, QStringLiteral("1"))}));
        QCOMPARE(objNoProduct.getProduct(strName), int(RESULT_MISSING));
        const CSoundDevice objBadId(el("SoundDevice", {}, {}, {el("Manufacturer", {}, QStringLiteral("x"))}));
        QCOMPARE(objBadId.getManufacturer(strName), int(RESULT_MALFORMED));
        QCOMPARE(strName, QStringLiteral("kept"));
    }

    void automaticValues_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("result");
        QTest::addColumn<bool>("automatic");
        QTest::addColumn<int>("value");
        QTest::newRow("auto") << "auto" << 0 << true << 7;
        QTest::newRow("number") << "-70" << 0 << false << -70;
        QTest::newRow("other case") << "Auto" << int(RESULT_MALFORMED) << false << 7;
        QTest::newRow("empty") << "" << int(RESULT_MALFORMED) << false << 7;
    }

    void automaticValues()
    {
        QFETCH(QString, text);
        QFETCH(int, result);
        QFETCH(bool, automatic);
        QFETCH(int, value);
        CMsgFragment objFragment(el("Tuner", {}, {}, {el("Parameters", {}, {}, {el("Squelch", {}, text)})}));
        const CTunerParams objParams(objFragment);
        bool bAutomatic = !automatic;
        int iValue = 7;
        QCOMPARE(objParams.getSquelch(bAutomatic, iValue), result);
        if (result == 0)
            QCOMPARE(bAutomatic, automatic);
        QCOMPARE(iValue, value);
    }

    void automaticValueWritesNoNumber()
    {
        CTunerParams objParams;
        QCOMPARE(objParams.setMeasurementTime(false, 500), 0);
        QCOMPARE(objParams.setMeasurementTime(true, 900), 0);
        // The unit of the earlier number stays: setters never remove attributes.
        QCOMPARE(wire(objParams.getTree()), QByteArray("<Tuner>\n<Parameters>\n<MeasurementTime unit=\"us\">auto"
                                                       "</MeasurementTime>\n</Parameters>\n</Tuner>\n"));
        bool bAutomatic = false;
        unsigned int uiTime = 0;
        QCOMPARE(CTunerParams().getMeasurementTime(bAutomatic, uiTime), int(RESULT_WRONG_KIND));
    }

    void resourceDemandClassRecord()
    {
        CSingleResourceDemandClass objClass;
        bool bEmpty = false;
        QCOMPARE(objClass.empty(bEmpty), int(RESULT_WRONG_KIND));
        objClass.setClassName(QStringLiteral("wide"));
        objClass.setRAM(1024);
        QCOMPARE(objClass.empty(bEmpty), 0);
        QVERIFY(!bEmpty);
        QCOMPARE(objClass.clear(), 0);
        QCOMPARE(objClass.empty(bEmpty), 0);
        QVERIFY(bEmpty);
        QCOMPARE(wire(objClass.getElementTree()), QByteArray("<ResourceDemandClass name=\"wide\"/>\n"));

        // The message takes the record's values and gives a free copy back.
        objClass.setCPU(40, GLOBAL_TYPES::CPU_ALLOCATION_PRESERVE);
        CIpcResourceDemandClass objMessage;
        objMessage.setDisplayInfo(QStringLiteral("replaced"));
        QCOMPARE(objMessage.setSingleResourceDemandClass(objClass), 0);
        QCOMPARE(wire(objMessage.getTree()), QByteArray("<Control>\n<ResourceDemandClass name=\"wide\">\n"
                                                        "<CPU unit=\"credits\" mode=\"preserve\">40</CPU>\n"
                                                        "</ResourceDemandClass>\n</Control>\n"));
        CSingleResourceDemandClass objRead;
        QCOMPARE(objMessage.getSingleResourceDemandClass(objRead), 0);
        objRead.setRAM(1);
        unsigned int uiRam = 0;
        QCOMPARE(objMessage.getRAM(uiRam), int(RESULT_MISSING));
        QCOMPARE(objMessage.setSingleResourceDemandClass(CSingleResourceDemandClass()), int(RESULT_INVALID_ARG));
        QCOMPARE(CIpcResourceDemandClass().getSingleResourceDemandClass(objRead), int(RESULT_WRONG_KIND));
    }

    void repeatedRecordsRefuseOtherElements()
    {
        CDdfSetup objSetup;
        QCOMPARE(objSetup.addAntenna(CDfAntennaSetup()), int(RESULT_INVALID_ARG));
        QCOMPARE(objSetup.addAntenna(CDfAntennaSetup(el("Compass"))), int(RESULT_INVALID_ARG));
        QCOMPARE(objSetup.getNumberOfAntennas(), 0u);
        CDfAntennaSetup objAntenna;
        objAntenna.setName(QStringLiteral("A"));
        QCOMPARE(objSetup.addAntenna(objAntenna), 0);
        objAntenna.setName(QStringLiteral("B"));  // the message keeps the antenna as it was added
        CDfAntennaSetup objRead;
        QCOMPARE(objSetup.getAntennaat(0, objRead), 0);
        QString strName;
        QCOMPARE(objRead.getName(strName), 0);
        QCOMPARE(strName, QStringLiteral("A"));
        QCOMPARE(objSetup.getAntennaat(1, objRead), int(RESULT_MISSING));
    }
};

QTEST_GUILESS_MAIN(TestIpcConverters)
#include "tst_ipcconverters.moc"

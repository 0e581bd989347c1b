#include "../../common/TreeTestUtils.h"

#include <OrvexXmlInterface/converters/storage/StorageConverters.h>
#include <OrvexXmlInterface/xmlcommon/ResultCodes.h>

#include <QtTest/QtTest>

using namespace XmlCommon;
using namespace StorageConverter;
using TestUtils::wire;

class TestStorageConverters : public QObject
{
    Q_OBJECT

private slots:
    // What a refused value leaves behind; the codes themselves are the round-trip table's.
    void enumerations()
    {
        CStartRecording objStart;
        QCOMPARE(objStart.setProtocol(ePROTOCOL(7)), int(RESULT_INVALID_ARG));
        ePROTOCOL eProtocol = PROTOCOL_TCP;
        QCOMPARE(objStart.getProtocol(eProtocol), int(RESULT_MALFORMED));  // the element stayed without text
        QCOMPARE(objStart.setProtocol(PROTOCOL_UDP), 0);
        QCOMPARE(objStart.setProtocol(ePROTOCOL(-1)), int(RESULT_INVALID_ARG));  // and the earlier text stays
        QCOMPARE(objStart.getProtocol(eProtocol), 0);
        QCOMPARE(eProtocol, PROTOCOL_UDP);
    }

    void irregularPieces()
    {
        CStartRecording objStart;
        objStart.setDataRate(QStringLiteral("10M"), QStringLiteral("2"));
        objStart.setIPs({QStringLiteral("10.0.0.1"), QStringLiteral("10.0.0.2")});
        objStart.setIPs({QStringLiteral("10.0.0.3")});
        QCOMPARE(wire(objStart.getTree()),
                 QByteArray("<Storage>\n<StartRecording>\n<DataRate reserved=\"2\">10M</DataRate>\n"
                            "<IP>10.0.0.3</IP>\n</StartRecording>\n</Storage>\n"));

        CStorageRequestBandwidth objRequest;
        objRequest.addDatarate(QStringLiteral("10M"));
        objRequest.addDatarate(QStringLiteral("1M"));
        objRequest.setIP(QStringLiteral("10.0.0.1"));
        objRequest.set10G_Channel(3);  // replaces the earlier interface
        QCOMPARE(wire(objRequest.getTree()),
                 QByteArray("<Storage>\n<RequestBandwidth>\n<DataRate>10M</DataRate>\n"
                            "<DataRate>1M</DataRate>\n<Interface type=\"xg\">3</Interface>\n"
                            "</RequestBandwidth>\n</Storage>\n"));
        eRECORDING_INTERFACE eType = RECORDING_INTERFACE_LAN;
        QString strValue;
        QCOMPARE(objRequest.getInterface(eType, strValue), 0);
        QVERIFY(eType == RECORDING_INTERFACE_10G && strValue == QLatin1String("3"));

        CStorageRecordList objList;
        CStorageRecord objRecord;
        objRecord.setRecordId(QStringLiteral("1"));
        objRecord.setFrequency(5);
        QCOMPARE(objList.AppendRecord(objRecord), 0);
        objRecord.setRecordId(QStringLiteral("2"));
        QCOMPARE(objList.AppendRecord(objRecord), 0);
        QCOMPARE(objList.AppendRecord(CStorageRecord()), int(RESULT_INVALID_ARG));
        QList<CStorageRecord> lstRecords;
        QCOMPARE(objList.getList(lstRecords), 0);
        QCOMPARE(lstRecords.size(), 2);
        QString strId;
        lstRecords.at(1).getRecordId(strId);
        QCOMPARE(strId, QStringLiteral("2"));

        CStorageConfiguration objConfig;
        const struDATA_RATE_CLASS objClass{QStringLiteral("A"), 800000000ull, 2, 100000000, DATA_RATE_MODE_SHORT};
        QCOMPARE(objConfig.setDataRateClassesInfo({objClass}), 0);  // its layout is the golden file's
        struDATA_RATE_CLASS objRead;
        QCOMPARE(objConfig.getDataRateClassInfo(QStringLiteral("A"), objRead), 0);
        QVERIFY(objRead == objClass);
        QCOMPARE(objConfig.getDataRateClassInfo(QStringLiteral("B"), objRead), int(RESULT_MISSING));

        CStorageSpareBandwidth objSpare;
        objSpare.setDatarates10G({1000, 2000});
        objSpare.setDataratesLAN({5});
        objSpare.setDatarates10G({3000});
        QList<unsigned long long> lstRates;
        QCOMPARE(objSpare.getDatarates10G(lstRates), 0);
        QCOMPARE(lstRates, QList<unsigned long long>{3000});
        QCOMPARE(objSpare.getDataratesDigIQ40(lstRates), int(RESULT_MISSING));
        QCOMPARE(objSpare.setDatarates(eRECORDING_INTERFACE(9), {}), int(RESULT_INVALID_ARG));
        QCOMPARE(wire(objSpare.getFragment().getDataTree().getElementTree()),
                 QByteArray("<SpareBandwidth>\n<Interface type=\"xg\">\n<Throughput unit=\"bps\">3000</Throughput>\n"
                            "</Interface>\n<Interface type=\"lan\">\n<Throughput unit=\"bps\">5</Throughput>\n"
                            "</Interface>\n</SpareBandwidth>\n"));

        CStorageStatus objStatus;
        objStatus.setResourceLAN(true);
        objStatus.setResource10G(false);
        objStatus.setResourceLAN(false);
        QMap<QString, bool> mapResources;
        QCOMPARE(objStatus.getResources(mapResources), 0);
        QCOMPARE(mapResources, (QMap<QString, bool>{{QStringLiteral("lan"), false}, {QStringLiteral("xg"), false}}));
        bool bAvailable = true;
        QCOMPARE(objStatus.getResourceStorage(bAvailable), int(RESULT_MISSING));
    }

    void appendsCopyTheCallersRecord()
    {
        // Each append takes the record as it is at the call; later changes stay out of the list.
        CFaultTree objFault;
        objFault.setID(0x02400007);
        CStorageFinishedBite objBite;
        QCOMPARE(objBite.AppendFault(objFault), 0);
        objFault.setID(0x02400008);
        QCOMPARE(objBite.AppendFault(objFault), 0);
        objFault.addAddendum(QStringLiteral("later"));
        QList<CFaultTree> lstFaults;
        QCOMPARE(objBite.getFaultList(lstFaults), 0);
        QCOMPARE(lstFaults.size(), 2);
        unsigned int uiId = 0;
        QCOMPARE(lstFaults.at(0).getID(uiId), 0);
        QCOMPARE(uiId, 0x02400007u);
        QCOMPARE(lstFaults.at(1).getNumberOfAddendums(), 0);
        QCOMPARE(objBite.AppendFault(CFaultTree()), int(RESULT_INVALID_ARG));
    }

    void compressedSpectrum()
    {
        CStorageRecordSpectrum objSpectrum;
        QByteArray baSpectrum;
        for (int i = 0; i < 20000; ++i)
            baSpectrum.append(char(i % 17));
        QCOMPARE(objSpectrum.setSpectrumData(baSpectrum), 0);
        const ptrCXmlElement ptrElement = objSpectrum.getFragment().getDataTree().getElementTree()->getChildAt(0);
        QVERIFY(ptrElement->isCompressionDisabled());
        QCOMPARE(ptrElement->getAttribute("compression"), QStringLiteral("zlib"));
        QVERIFY(ptrElement->getValue().size() < baSpectrum.size() / 4);
        QByteArray baRead;
        QCOMPARE(objSpectrum.getSpectrumData(baRead), 0);
        QCOMPARE(baRead, baSpectrum);

        // A peer's broken or hostile payload is refused, never unpacked blindly.
        for (const QByteArray& baBad :
             {QByteArray("not base64 !!"), QByteArray("/////w=="), QByteArray("AAAAEHh4eHg=")}) {
            ptrElement->setValue(QString::fromLatin1(baBad));
            QCOMPARE(objSpectrum.getSpectrumData(baRead), int(RESULT_MALFORMED));
        }
    }
};

QTEST_GUILESS_MAIN(TestStorageConverters)
#include "tst_storageconverters.moc"

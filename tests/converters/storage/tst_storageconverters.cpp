#include "../../common/TreeTestUtils.h"

#include <OrvexXmlInterface/converters/storage/StorageConverters.h>
#include <OrvexXmlInterface/xmlcommon/ResultCodes.h>

#include <QtTest/QtTest>

#include <memory>

using namespace XmlCommon;
using namespace StorageConverter;
using TestUtils::el;
using TestUtils::wire;

namespace
{
// True when the getter succeeds and yields the expected value; says which one failed otherwise.
template <typename Converter, typename Class, typename Value>
bool readsBack(const Converter& a_objConverter, int (Class::*a_pfnGet)(Value&) const, const Value& a_expected)
{
    Value value{};
    const int iResult = (a_objConverter.*a_pfnGet)(value);
    if (iResult == 0 && value == a_expected)
        return true;
    qWarning() << "read back" << iResult << value << "expected" << a_expected;
    return false;
}
}  // namespace

class TestStorageConverters : public QObject
{
    Q_OBJECT

private slots:
    void recordGoldenText()
    {
        CStorageRecord objRecord;
        QCOMPARE(objRecord.setRecordId(QStringLiteral("R-17")), 0);
        objRecord.setComment(QStringLiteral("tower <2>"));
        objRecord.setDataRate(QStringLiteral("10M"));
        objRecord.setDataType(QStringLiteral("IQ"));
        objRecord.setDeletable(true);
        objRecord.setRecordSize(4000000000ull);
        objRecord.setRecordingInterface(QStringLiteral("lan"));
        objRecord.setRecordingStartTime(1700000000000000ull);
        objRecord.setRecordingStopTime(1700000060000000ull);
        objRecord.setSignalDuration(60000000ull);
        objRecord.setSignalStartTime(1700000000500000ull);
        objRecord.setBandwidth(12500);
        objRecord.setCurrentRecordSize(123ull);
        objRecord.setCurrentSignalDuration(456ull);
        objRecord.setFrequency(118250000ull);
        objRecord.setPDWcount(7);
        objRecord.setSamplerate(25000);
        const QByteArray baGolden(
            "<Storage>\n<Record recordId=\"R-17\">\n"
            "<Comment>tower &lt;2&gt;</Comment>\n"
            "<DataRate>10M</DataRate>\n"
            "<DataType>IQ</DataType>\n"
            "<IsDeletable>1</IsDeletable>\n"
            "<RecordSize unit=\"bytes\">4000000000</RecordSize>\n"
            "<Interface>lan</Interface>\n"
            "<RecordingStartTime timeZone=\"UTC\" unit=\"us\">1700000000000000</RecordingStartTime>\n"
            "<RecordingStopTime timeZone=\"UTC\" unit=\"us\">1700000060000000</RecordingStopTime>\n"
            "<SignalDuration unit=\"us\">60000000</SignalDuration>\n"
            "<SignalStartTime timeZone=\"UTC\" unit=\"us\">1700000000500000</SignalStartTime>\n"
            "<Bandwidth unit=\"Hz\">12500</Bandwidth>\n"
            "<CurrentRecordSize unit=\"bytes\">123</CurrentRecordSize>\n"
            "<CurrentSignalDuration unit=\"us\">456</CurrentSignalDuration>\n"
            "<Frequency unit=\"Hz\">118250000</Frequency>\n"
            "<PDW>7</PDW>\n"
            "<SampleRate>25000</SampleRate>\n"
            "</Record>\n</Storage>\n");
        QCOMPARE(wire(objRecord.getTree()), baGolden);

        // Read back, value by value, from a copy of the golden text's tree.
        CMsgFragment objFragment(objRecord.getTree()->copy(true));
        const CStorageRecord objRead(objFragment);
        QVERIFY(readsBack(objRead, &CStorageRecord::getRecordId, QStringLiteral("R-17")));
        QVERIFY(readsBack(objRead, &CStorageRecord::getComment, QStringLiteral("tower <2>")));
        QVERIFY(readsBack(objRead, &CStorageRecord::getDataRate, QStringLiteral("10M")));
        QVERIFY(readsBack(objRead, &CStorageRecord::getDataType, QStringLiteral("IQ")));
        QVERIFY(readsBack(objRead, &CStorageRecord::getDeletable, true));
        QVERIFY(readsBack(objRead, &CStorageRecord::getRecordSize, 4000000000ull));
        QVERIFY(readsBack(objRead, &CStorageRecord::getRecordingInterface, QStringLiteral("lan")));
        QVERIFY(readsBack(objRead, &CStorageRecord::getRecordingStartTime, 1700000000000000ull));
        QVERIFY(readsBack(objRead, &CStorageRecord::getRecordingStopTime, 1700000060000000ull));
        QVERIFY(readsBack(objRead, &CStorageRecord::getSignalDuration, 60000000ull));
        QVERIFY(readsBack(objRead, &CStorageRecord::getSignalStartTime, 1700000000500000ull));
        QVERIFY(readsBack(objRead, &CStorageRecord::getBandwidth, 12500u));
        QVERIFY(readsBack(objRead, &CStorageRecord::getCurrentRecordSize, 123ull));
        QVERIFY(readsBack(objRead, &CStorageRecord::getCurrentSignalDuration, 456ull));
        QVERIFY(readsBack(objRead, &CStorageRecord::getFrequency, 118250000ull));
        QVERIFY(readsBack(objRead, &CStorageRecord::getPDWcount, 7u));
        QVERIFY(readsBack(objRead, &CStorageRecord::getSamplerate, 25000u));
    }

    void compatibilityMatrix()
    {
        // Every message converter accepts its own fragment and refuses all the others.
        int iMessages = 0;
        for (const struConverterInfo& objOwn : converters()) {
            if (!objOwn.pfnCreate)
                continue;
            ++iMessages;
            CMsgFragment objFragment;
            std::unique_ptr<CConvBaseFragment> pOwn(objOwn.pfnCreate(objFragment));
            pOwn->makeFragment();
            QVERIFY2(pOwn->isCompatible(), objOwn.pszClass);
            QVERIFY(objFragment.getComponentName() == Tag::Storage);
            QVERIFY(objFragment.getDataTree().getDataName() == objOwn.pszDataName);
            QString strText;
            QCOMPARE(pOwn->getText(Tag::Comment, strText), int(RESULT_MISSING));
            for (const struConverterInfo& objOther : converters()) {
                if (!objOther.pfnCreate || &objOther == &objOwn)
                    continue;
                std::unique_ptr<CConvBaseFragment> pOther(objOther.pfnCreate(objFragment));
                QVERIFY2(!pOther->isCompatible(),
                         qPrintable(QStringLiteral("%1 over %2")
                                        .arg(QLatin1String(objOther.pszClass), QLatin1String(objOwn.pszClass))));
                QCOMPARE(pOther->getText(Tag::Comment, strText), int(RESULT_WRONG_KIND));
            }
        }
        QCOMPARE(iMessages, 44);
    }

    void noEmptyShells()
    {
        // The operations each class carries, by name (get/set/add prefixes left off).
        const QMap<QString, QStringList> mapExpected{
            {"CConnectReplay", {"ConvertByteOrder", "DataRate", "IPs", "Port", "ReplayingMode"}},
            {"CConnectReplay10G", {"Channel", "Mac"}},
            {"CConnectReplayDigIQ40", {"Channel"}},
            {"CConnectReplayFPDP", {"Channel"}},
            {"CCreateReplay",
             {"Bandwidth", "CurrentRecordSize", "CurrentSignalDuration", "Frequency", "PDWcount", "Samplerate"}},
            {"CParametersReplay", {"CurrentOffset", "RepetitionStartOffset", "RepetitionStopOffset", "Repetitions"}},
            {"CReplayStatus", {"CurrentRecordSize", "CurrentSignalDuration", "RecordSize", "SignalDuration"}},
            {"CStartRecording", {"DataRate", "DataType", "IPs", "LoopSize", "Port", "Protocol"}},
            {"CStartRecording10G", {"Channel", "DataRate", "DataType", "LoopSize", "Mac"}},
            {"CStartRecordingDigIQ40", {"Channel", "DataRate", "DataType", "LoopSize"}},
            {"CStartRecordingFPDP", {"Channel", "DataRate", "DataType", "LoopSize"}},
            {"CStorageAddHistoryEntry", {"Comment", "Timestamp"}},
            {"CStorageBaseBookmark", {"Offset"}},
            {"CStorageBaseConverter", {"RecordId"}},
            {"CStorageBookmark", {"Comment"}},
            {"CStorageBookmarkList", {"AppendBookmark", "List"}},
            {"CStorageConfiguration",
             {"DataRateClassInfo", "DataRateClassesInfo", "FirmwareVersion", "ThresholdAbort", "ThresholdWarning",
              "TotalCapacity"}},
            {"CStorageCopyRecord", {"Comment", "CopiedRecordId", "Sections"}},
            {"CStorageDeleteHistoryEntry", {"Timestamp"}},
            {"CStorageFinishedBite", {"AppendFault", "FaultList"}},
            {"CStorageHistory", {"List"}},
            {"CStorageMetadata",
             {"Comment", "DataRate", "DataType", "Deletable", "RecordSize", "RecordingInterface", "RecordingStartTime",
              "RecordingStopTime", "SignalDuration", "SignalStartTime"}},
            {"CStorageRecord",
             {"Bandwidth", "CurrentRecordSize", "CurrentSignalDuration", "Frequency", "PDWcount", "Samplerate"}},
            {"CStorageRecordAttribute", {"Comment", "Deletable"}},
            {"CStorageRecordList",
             {"AppendRecord", "CommentTruncation", "DataRate", "DataType", "List", "RecordingInterface",
              "StorageGuid"}},
            {"CStorageRecordPDW", {"IP", "Port"}},
            {"CStorageRecordSpectrum",
             {"FFTLength", "FFTWindowType", "IP", "Port", "SpectralResolution", "SpectrumData", "StartOffset",
              "StopOffset"}},
            {"CStorageReleaseBandwidth", {"Datarate", "10G_Channel", "Datarates", "DigIQ40_Channel", "IP"}},
            {"CStorageRequestBandwidth", {"Datarate", "10G_Channel", "Datarates", "DigIQ40_Channel", "IP"}},
            {"CStorageRestoreRecord", {"History"}},
            {"CStorageSpareBandwidth", {"Datarates10G", "DataratesDigIQ40", "DataratesLAN", "Datarates"}},
            {"CStorageStatus",
             {"Resource10G", "ResourceDigIQ40", "ResourceFPDP", "ResourceLAN", "ResourceStorage", "ActiveSessions",
              "AvailableDataRateClasses", "ConnectedPeer", "FirmwareVersion", "FreeCapacity", "OccupiedDataRateClasses",
              "RecordCount", "Resources", "SerialNumber", "SupportsTrim", "SynchronizedByNTP", "SystemTime",
              "TotalCapacity"}},
            {"CStorageSystemTime", {"SystemTime"}},
        };
        QSet<QString> setClasses;
        for (const struConverterInfo& objInfo : converters()) {
            const QString strClass = QLatin1String(objInfo.pszClass);
            setClasses.insert(strClass);
            for (const QString& strOperation : mapExpected.value(strClass))
                QVERIFY2(objInfo.lstOperations.contains(strOperation),
                         qPrintable(strClass + QLatin1Char(' ') + strOperation));
        }
        QCOMPARE(setClasses.size(), 47);
        for (auto it = mapExpected.cbegin(); it != mapExpected.cend(); ++it)
            QVERIFY2(setClasses.contains(it.key()), qPrintable(it.key()));
        QCOMPARE(mapExpected.value(QStringLiteral("CStorageStatus")).size(), 18);
    }

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
        objStart.getFragment().getDataTree().getElementTree()->getChildAt(0)->setValue(QStringLiteral("ftp"));
        QCOMPARE(objStart.getProtocol(eProtocol), int(RESULT_MALFORMED));
        objStart.setProtocol(PROTOCOL_UDP);
        QCOMPARE(objStart.getProtocol(eProtocol), 0);
        QCOMPARE(eProtocol, PROTOCOL_UDP);
        QCOMPARE(wire(objStart.getFragment().getDataTree().getElementTree()),
                 QByteArray("<StartRecording>\n<Protocol>udp</Protocol>\n</StartRecording>\n"));
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
        QCOMPARE(objConfig.setDataRateClassesInfo({objClass}), 0);
        QCOMPARE(wire(objConfig.getFragment().getDataTree().getElementTree()),
                 QByteArray("<Configuration>\n<DataRateClasses>\n<DataRate class=\"A\">\n"
                            "<Throughput unit=\"bps\">800000000</Throughput>\n<MaxNumber>2</MaxNumber>\n"
                            "<Samplerate>100000000</Samplerate>\n<Mode>short</Mode>\n</DataRate>\n"
                            "</DataRateClasses>\n</Configuration>\n"));
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
        QCOMPARE(objSpare.getDataratesLAN(lstRates), 0);
        QCOMPARE(lstRates, QList<unsigned long long>{5});
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

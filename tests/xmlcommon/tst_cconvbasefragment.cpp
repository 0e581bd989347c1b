#include "../common/TreeTestUtils.h"

#include <OrvexXmlInterface/xmlcommon/CConvBaseFragment.h>
#include <OrvexXmlInterface/xmlcommon/CXmlMessage.h>
#include <OrvexXmlInterface/xmlcommon/GlobalTypes.h>
#include <OrvexXmlInterface/xmlcommon/ResultCodes.h>
#include <OrvexXmlInterface/xmlcommon/Tagnames.h>

#include <QtCore/QLocale>
#include <QtTest/QtTest>

#include <memory>

using namespace XmlCommon;
using TestUtils::el;
using TestUtils::wire;

namespace
{
// The smallest converter: component "Tuner", data "Setup".
class CSetupConverter : public CConvBaseFragment
{
public:
    CSetupConverter() = default;
    explicit CSetupConverter(CMsgFragment& a_objFragment) : CConvBaseFragment(a_objFragment) {}

protected:
    bool checkCompatibility(CDataTree& a_objDataTree) const override
    {
        return CConvBaseFragment::checkCompatibility(Tag::Tuner, Tag::Setup, a_objDataTree);
    }
    void setCompatibility(CDataTree& a_objDataTree) override
    {
        CConvBaseFragment::setCompatibility(Tag::Tuner, Tag::Setup, a_objDataTree);
    }
};

CMsgFragment setupFragment()
{
    return CMsgFragment(
        el("Tuner", {{"version", "1"}}, {},
           {el("Setup", {}, {}, {el("Frequency", {{"unit", "Hz"}}, "118000000"), el("Attenuation", {}, "10")})}));
}
}  // namespace

class TestConverterBase : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        if (qEnvironmentVariableIsSet("OXI_EXPECT_DECIMAL_COMMA"))
            QCOMPARE(QLocale().decimalPoint(), QLatin1Char(','));
    }

    void shapesItsMessage()
    {
        CSetupConverter objConv;
        QVERIFY(!objConv.isCompatible());
        objConv.makeFragment();
        QVERIFY(objConv.isCompatible());
        QCOMPARE(wire(objConv.getTree()), QByteArray("<Tuner>\n<Setup/>\n</Tuner>\n"));
        objConv.makeFragment();
        QCOMPARE(wire(objConv.getTree()), QByteArray("<Tuner>\n<Setup/>\n</Tuner>\n"));

        QCOMPARE(objConv.setFloat(Tag::Attenuation, 2.5f, QStringLiteral("dB")), 0);
        QCOMPARE(objConv.setFloat(Tag::Attenuation, 3.25f, QStringLiteral("dB")), 0);
        QCOMPARE(objConv.setFloat(Tag::Bandwidth, 0.123456789f, 3, QStringLiteral("Hz")), 0);
        QCOMPARE(objConv.setULongLong(Tag::Frequency, 118000000ull, QStringLiteral("Hz")), 0);
        QCOMPARE(wire(objConv.getTree()), QByteArray("<Tuner>\n<Setup>\n"
                                                     "<Attenuation unit=\"dB\">3.25</Attenuation>\n"
                                                     "<Bandwidth unit=\"Hz\">0.123</Bandwidth>\n"
                                                     "<Frequency unit=\"Hz\">118000000</Frequency>\n"
                                                     "</Setup>\n</Tuner>\n"));
        objConv.queryAll();
        QCOMPARE(wire(objConv.getTree()), QByteArray("<Tuner>\n<Setup/>\n</Tuner>\n"));
    }

    void readsAndWritesTheCallersFragment()
    {
        CMsgFragment objFragment = setupFragment();
        CSetupConverter objConv(objFragment);
        unsigned long long ullFrequency = 0;
        QString strUnit;
        QCOMPARE(objConv.getULongLong(Tag::Frequency, ullFrequency, &strUnit), 0);
        QCOMPARE(ullFrequency, 118000000ull);
        QCOMPARE(strUnit, QStringLiteral("Hz"));
        unsigned short usAttenuation = 0;
        QCOMPARE(objConv.getUShort(Tag::Attenuation, usAttenuation), 0);
        QCOMPARE(usAttenuation, static_cast<unsigned short>(10));
        QCOMPARE(objConv.getUShort(Tag::Bandwidth, usAttenuation), int(RESULT_MISSING));

        // Two converters over one fragment see each other's writes.
        CSetupConverter objOther(objFragment);
        QCOMPARE(objOther.setLong(Tag::Attenuation, -3, QStringLiteral("dB")), 0);
        int iAttenuation = 0;
        QCOMPARE(objConv.getLong(Tag::Attenuation, iAttenuation), 0);
        QCOMPARE(iAttenuation, -3);
        QCOMPARE(objFragment.getComponentVersion(), QStringLiteral("1"));
    }

    void otherMessagesAreRefused()
    {
        for (const ptrCXmlElement& ptrTree : {el("Tuner", {}, {}, {el("Status", {}, {}, {el("Frequency", {}, "5")})}),
                                              el("Storage", {}, {}, {el("Setup", {}, {}, {el("Frequency", {}, "5")})}),
                                              el("Tuner"), ptrCXmlElement()}) {
            CMsgFragment objFragment(ptrTree);
            CSetupConverter objConv(objFragment);
            QVERIFY(!objConv.isCompatible());
            unsigned long long ullValue = 77;
            QList<int> lstValues{1};
            int iMin = 4, iMax = 4;
            QString strText = QStringLiteral("x");
            QByteArray baData("y");
            GLOBAL_TYPES::eINPUT_SOURCE_TYPES eSource = GLOBAL_TYPES::INPUT_SOURCE_TUNER;
            QCOMPARE(objConv.getULongLong(Tag::Frequency, ullValue), int(RESULT_WRONG_KIND));
            QCOMPARE(objConv.getList_Long(Tag::Frequency, lstValues), int(RESULT_WRONG_KIND));
            QCOMPARE(objConv.getRange_Long(Tag::Frequency, iMin, iMax), int(RESULT_WRONG_KIND));
            QCOMPARE(objConv.getText(Tag::Frequency, strText), int(RESULT_WRONG_KIND));
            QCOMPARE(objConv.getCDATA(baData), int(RESULT_WRONG_KIND));
            QCOMPARE(objConv.getEnum(Tag::Input, eSource, GLOBAL_TYPES::G_objInputSourceTypeTexts),
                     int(RESULT_WRONG_KIND));
            QVERIFY(ullValue == 77 && lstValues == QList<int>{1} && iMin == 4 && strText == QLatin1String("x") &&
                    baData == "y" && eSource == GLOBAL_TYPES::INPUT_SOURCE_TUNER);
        }
        // A setter reshapes the fragment into the converter's message.
        CMsgFragment objFragment(el("Storage", {}, {}, {el("Status", {}, {}, {el("Old")})}));
        CSetupConverter objConv(objFragment);
        QCOMPARE(objConv.setBool(Tag::Idle, true), 0);
        QCOMPARE(wire(objFragment), QByteArray("<Tuner>\n<Setup>\n<Old/>\n<Idle>1</Idle>\n</Setup>\n</Tuner>\n"));
    }

    void faultReplyReadsTheFailedRequest()
    {
        for (bool bKeepRequestTree : {true, false}) {
            ptrCXmlMessage ptrMsg(new CXmlMessage);
            ptrMsg->setServiceType(CXmlMessage::REQUEST_SET);
            ptrMsg->setMessageID(5);
            ptrMsg->addFragment(setupFragment());
            ptrMsg->changeRequestToReply(0x02400007, 1700000000000000ull);
            CMsgFragment objReply = ptrMsg->getFragment(0);
            if (!bKeepRequestTree)
                objReply.setRequestTree(CRequestTree());  // only the fault's echo is left
            const QByteArray baBefore = wire(ptrMsg->getElementTree());

            CSetupConverter objConv(objReply);
            QVERIFY(objConv.isCompatible());
            unsigned long long ullFrequency = 0;
            QCOMPARE(objConv.getULongLong(Tag::Frequency, ullFrequency), 0);
            QCOMPARE(ullFrequency, 118000000ull);
            QCOMPARE(wire(ptrMsg->getElementTree()), baBefore);
        }
    }

    void cdata()
    {
        CSetupConverter objConv;
        QByteArray baData("x");
        objConv.makeFragment();
        QCOMPARE(objConv.getCDATA(baData), int(RESULT_MALFORMED));
        QCOMPARE(objConv.setCDATA(QByteArray()), 0);
        QCOMPARE(wire(objConv.getTree()), QByteArray("<Tuner>\n<Setup><![CDATA[]]></Setup>\n</Tuner>\n"));
        QCOMPARE(objConv.getCDATA(baData), 0);
        QVERIFY(baData.isEmpty());
        const QByteArray baFile("line 1\n<tag> & \xc3\xa4");
        QCOMPARE(objConv.setCDATA(baFile), 0);
        QCOMPARE(wire(objConv.getTree()), "<Tuner>\n<Setup><![CDATA[" + baFile + "]]></Setup>\n</Tuner>\n");
        QCOMPARE(objConv.getCDATA(baData), 0);
        QCOMPARE(baData, baFile);
        objConv.getTree()->getChildAt(0)->setValue(QStringLiteral("plain"));
        QCOMPARE(objConv.getCDATA(baData), 0);
        QCOMPARE(baData, QByteArray("plain"));
    }

    // Only the typed forms no generated converter uses; the families' round-trip tables read back
    // every other one through this base.
    void typedValuesRoundTrip()
    {
        CSetupConverter objConv;
        QCOMPARE(objConv.setList_UShort(Tag::Channels, {1, 2, 65535}, QString()), 0);
        QCOMPARE(objConv.setEnumValue(Tag::Mode, 2, {{2, QStringLiteral("fast")}}), 0);
        QCOMPARE(objConv.disableCompression(Tag::Mode), 0);
        QList<unsigned short> lstChannels;
        int iMode = 0;
        QCOMPARE(objConv.getList_UShort(Tag::Channels, lstChannels), 0);
        QCOMPARE(objConv.getEnumValue(Tag::Mode, iMode, {{2, QStringLiteral("fast")}}), 0);
        QCOMPARE(lstChannels, (QList<unsigned short>{1, 2, 65535}));
        QCOMPARE(iMode, 2);
        QVERIFY(objConv.getTree()->getChildAt(0)->getChildAt(1)->isCompressionDisabled());
    }

    void copies()
    {
        auto pSource = std::make_unique<CSetupConverter>();
        pSource->setULong(Tag::Cycle, 5, QStringLiteral("ms"));
        const CSetupConverter objCopy(*pSource);
        pSource.reset();  // the copy must not depend on its source
        unsigned int uiCycle = 0;
        QCOMPARE(objCopy.getULong(Tag::Cycle, uiCycle), 0);
        QCOMPARE(uiCycle, 5u);

        CMsgFragment objFragment = setupFragment();
        CSetupConverter objOver(objFragment);
        CSetupConverter objOverCopy(objOver);
        objOverCopy.setULong(Tag::Cycle, 9, QString());
        QCOMPARE(objOver.getULong(Tag::Cycle, uiCycle), 0);
        QCOMPARE(uiCycle, 9u);
        QVERIFY(&objOverCopy.getFragment() == &objFragment);

        CSetupConverter objData;
        QCOMPARE(objData.setDataTree(CDataTree(el("Setup", {}, {}, {el("Idle", {}, "0")}))), 0);
        bool bIdle = true;
        QCOMPARE(objData.getBool(Tag::Idle, bIdle), 0);
        QVERIFY(!bIdle);
        QVERIFY(objData.getFragment().getComponentName() == Tag::Tuner);
    }

    void assignment_data()
    {
        QTest::addColumn<bool>("overCallersFragment");
        QTest::newRow("source over its own fragment") << false;
        QTest::newRow("source over the caller's fragment") << true;
    }

    void assignment()
    {
        QFETCH(bool, overCallersFragment);
        CMsgFragment objCallers = setupFragment();
        auto pSource =
            overCallersFragment ? std::make_unique<CSetupConverter>(objCallers) : std::make_unique<CSetupConverter>();
        pSource->setULong(Tag::Cycle, 7, QString());
        QList<CSetupConverter> lstConverters{CSetupConverter()};
        lstConverters[0].setULong(Tag::Cycle, 1, QString());
        lstConverters[0] = *pSource;
        pSource.reset();  // the target must not depend on its source

        CSetupConverter& objTarget = lstConverters[0];
        unsigned int uiCycle = 0;
        QCOMPARE(objTarget.getULong(Tag::Cycle, uiCycle), 0);
        QCOMPARE(uiCycle, 7u);
        QCOMPARE(&objTarget.getFragment() == &objCallers, overCallersFragment);
        objTarget.setULong(Tag::Cycle, 8, QString());
        uiCycle = 0;
        const int iResult = CSetupConverter(objCallers).getULong(Tag::Cycle, uiCycle);
        QCOMPARE(iResult, overCallersFragment ? 0 : int(RESULT_MISSING));
        QCOMPARE(uiCycle, overCallersFragment ? 8u : 0u);

        // Assigning a copy to itself keeps the fragment it works on.
        lstConverters.append(lstConverters.at(0));
        lstConverters[1] = lstConverters[1];
        QCOMPARE(lstConverters.at(1).getULong(Tag::Cycle, uiCycle), 0);
        QCOMPARE(uiCycle, 8u);
    }
};

QTEST_GUILESS_MAIN(TestConverterBase)
#include "tst_cconvbasefragment.moc"

#include "../common/TreeTestUtils.h"

#include <OrvexXmlInterface/xmlcommon/GlobalTypes.h>
#include <OrvexXmlInterface/xmlcommon/ResultCodes.h>
#include <OrvexXmlInterface/xmlcommon/XmlConverterTools.h>

#include <QtCore/QLocale>
#include <QtCore/QRandomGenerator>
#include <QtTest/QtTest>

#include <cmath>

using namespace XmlCommon;
using namespace XmlCommon::XmlConverterTools;
using TestUtils::el;
using TestUtils::wire;

namespace
{
const CTagname s_objTag("V");

ptrCXmlElement withValue(const QString& a_strText)
{
    return el("P", {}, {}, {el("V", {{"unit", "Hz"}}, a_strText)});
}
}  // namespace

class TestConverterTools : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        // Run with a German locale, the number forms must not change: make sure it is in force.
        if (qEnvironmentVariableIsSet("OXI_EXPECT_DECIMAL_COMMA"))
            QCOMPARE(QLocale().decimalPoint(), QLatin1Char(','));
    }

    void numberForms_data()
    {
        QTest::addColumn<QString>("actual");
        QTest::addColumn<QString>("expected");
        QTest::newRow("double 1e20") << valueToString(1e20) << "100000000000000000000";
        QTest::newRow("double 0.1") << valueToString(0.1) << "0.1";
        QTest::newRow("double -2.5e-05") << valueToString(-2.5e-05) << "-0.000025";
        QTest::newRow("double 3.0") << valueToString(3.0) << "3";
        QTest::newRow("double 1234.5678") << valueToString(1234.5678) << "1234.5678";
        QTest::newRow("double 0") << valueToString(0.0) << "0";
        QTest::newRow("float 100") << valueToString(100.0f, 6) << "100";
        QTest::newRow("float 0.5 p3") << valueToString(0.5f, 3) << "0.5";
        QTest::newRow("float 0") << valueToString(0.0f, 6) << "0";
        QTest::newRow("float p0") << valueToString(7.0f, 0) << "7";
        QTest::newRow("float -0.25") << valueToString(-0.25f, 6) << "-0.25";
        QTest::newRow("ushort") << valueToString(static_cast<unsigned short>(65535)) << "65535";
        QTest::newRow("int") << valueToString(-2147483647 - 1) << "-2147483648";
        QTest::newRow("uint") << valueToString(4294967295u) << "4294967295";
        QTest::newRow("ull") << valueToString(18446744073709551615ull) << "18446744073709551615";
        QTest::newRow("bool") << valueToString(true) + valueToString(false) << "10";
        QTest::newRow("exp positive") << convertToFloatFormat(QStringLiteral("1.5e+06")) << "1500000";
        QTest::newRow("exp longer mantissa") << convertToFloatFormat(QStringLiteral("1.23456e+02")) << "123.456";
        QTest::newRow("exp negative") << convertToFloatFormat(QStringLiteral("-2.5e-05")) << "-0.000025";
        QTest::newRow("exp upper case") << convertToFloatFormat(QStringLiteral("1E+03")) << "1000";
        QTest::newRow("exp leading zeros") << convertToFloatFormat(QStringLiteral("2e+003")) << "2000";
        QTest::newRow("exp without sign") << convertToFloatFormat(QStringLiteral("1e5")) << "";
        QTest::newRow("exp not a number") << convertToFloatFormat(QStringLiteral("1e+x")) << "";
        QTest::newRow("exp zero") << convertToFloatFormat(QStringLiteral("1e+00")) << "";
        QTest::newRow("exp absurd") << convertToFloatFormat(QStringLiteral("1e+99999999")) << "";
        QTest::newRow("no exp") << convertToFloatFormat(QStringLiteral("12.500")) << "12.5";
        QTest::newRow("cut keeps integers") << cutTrailingZeros(QStringLiteral("100")) << "100";
        QTest::newRow("cut point") << cutTrailingZeros(QStringLiteral("100.000")) << "100";
    }

    void numberForms()
    {
        QFETCH(QString, actual);
        QFETCH(QString, expected);
        QCOMPARE(actual, expected);
    }

    void doublesNeverInExponentForm()
    {
        QRandomGenerator objRandom(7);
        for (int i = 0; i < 20000; ++i) {
            const double dMagnitude = std::pow(10.0, objRandom.bounded(600.0) - 300.0);
            const double dValue = (objRandom.bounded(2) ? -1 : 1) * dMagnitude * (1.0 + objRandom.generateDouble());
            const ptrCXmlElement ptrParent = el("P");
            QCOMPARE(setDouble(ptrParent, s_objTag, dValue, QString()), 0);
            const QString strText = ptrParent->getChildAt(0)->getValue();
            QVERIFY2(!strText.contains(QLatin1Char('e')) && !strText.contains(QLatin1Char('E')), qPrintable(strText));
            double dRead = 0;
            QCOMPARE(getDouble(ptrParent, s_objTag, dRead), 0);
            QVERIFY2(std::abs(dRead - dValue) <= std::abs(dValue) * 1e-14, qPrintable(strText));
        }
    }

    void scalarReads_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("type");
        QTest::addColumn<int>("result");
        QTest::addColumn<QString>("value");
        // clang-format off
        QTest::newRow("bool 1")         << "1" << "bool" << 0 << "1";
        QTest::newRow("bool true")      << "true" << "bool" << int(RESULT_MALFORMED) << "";
        QTest::newRow("bool empty")     << "" << "bool" << int(RESULT_MALFORMED) << "";
        QTest::newRow("ulong max")      << "4294967295" << "ulong" << 0 << "4294967295";
        QTest::newRow("ulong 2^32")     << "4294967296" << "ulong" << int(RESULT_MALFORMED) << "";
        QTest::newRow("ulong -1")       << "-1" << "ulong" << int(RESULT_MALFORMED) << "";
        QTest::newRow("ushort 65536")   << "65536" << "ushort" << int(RESULT_MALFORMED) << "";
        QTest::newRow("ushort max")     << "65535" << "ushort" << 0 << "65535";
        QTest::newRow("long min")       << "-2147483648" << "long" << 0 << "-2147483648";
        QTest::newRow("long 2^31")      << "2147483648" << "long" << int(RESULT_MALFORMED) << "";
        QTest::newRow("long hex")       << "0x10" << "long" << int(RESULT_MALFORMED) << "";
        QTest::newRow("ull max")        << "18446744073709551615" << "ull" << 0 << "18446744073709551615";
        QTest::newRow("ull 2^64")       << "18446744073709551616" << "ull" << int(RESULT_MALFORMED) << "";
        QTest::newRow("double comma")   << "1,5" << "double" << int(RESULT_MALFORMED) << "";
        QTest::newRow("double point")   << "1.5" << "double" << 0 << "1.5";
        QTest::newRow("float")          << "0.25" << "float" << 0 << "0.25";
        QTest::newRow("float overflow") << "1e39" << "float" << int(RESULT_MALFORMED) << "";
        QTest::newRow("time")           << "1700000000000000" << "time" << 0 << "1700000000000000";
        QTest::newRow("text empty")     << "" << "text" << 0 << "";
        // clang-format on
    }

    void scalarReads()
    {
        QFETCH(QString, text);
        QFETCH(QString, type);
        QFETCH(int, result);
        QFETCH(QString, value);
        const ptrCXmlElement ptrParent = withValue(text);
        QString strRead = QStringLiteral("untouched");
        int iResult = -1;
        auto check = [&](auto a_initial, auto a_fnRead) {
            auto v = a_initial;
            iResult = a_fnRead(v);
            if (iResult == 0)
                strRead = QVariant::fromValue(v).toString();
            else
                QVERIFY(v == a_initial);  // out-parameters are written only on success
        };
        if (type == QLatin1String("bool"))
            check(false, [&](bool& v) { return getBool(ptrParent, s_objTag, v); });
        else if (type == QLatin1String("ulong"))
            check(7u, [&](unsigned int& v) { return getULong(ptrParent, s_objTag, v); });
        else if (type == QLatin1String("ushort"))
            check(static_cast<unsigned short>(7), [&](unsigned short& v) { return getUShort(ptrParent, s_objTag, v); });
        else if (type == QLatin1String("long"))
            check(7, [&](int& v) { return getLong(ptrParent, s_objTag, v); });
        else if (type == QLatin1String("ull"))
            check(7ull, [&](unsigned long long& v) { return getULongLong(ptrParent, s_objTag, v); });
        else if (type == QLatin1String("double"))
            check(7.0, [&](double& v) { return getDouble(ptrParent, s_objTag, v); });
        else if (type == QLatin1String("float"))
            check(7.0f, [&](float& v) { return getFloat(ptrParent, s_objTag, v); });
        else if (type == QLatin1String("time"))
            check(7ull, [&](unsigned long long& v) { return getTime(ptrParent, s_objTag, v); });
        else
            check(QStringLiteral("x"), [&](QString& v) { return getText(ptrParent, s_objTag, v); });
        QCOMPARE(iResult, result);
        if (result == 0)
            QCOMPARE(strRead,
                     value == QLatin1String("1") && type == QLatin1String("bool") ? QStringLiteral("true") : value);
    }

    void writersAndAttributes()
    {
        const ptrCXmlElement ptrParent = el("P", {}, {}, {el("V", {}, "first"), el("V", {}, "second")});
        unsigned int uiMissing = 5;
        QCOMPARE(getULong(ptrParent, CTagname("Missing"), uiMissing), int(RESULT_MISSING));
        QCOMPARE(getULong(ptrCXmlElement(), s_objTag, uiMissing), int(RESULT_MISSING));
        QCOMPARE(uiMissing, 5u);

        QCOMPARE(setFloat(ptrParent, s_objTag, 2.5f, QStringLiteral("dB"), {"label", QStringLiteral("x")}), 0);
        QCOMPARE(setULong(ptrParent, CTagname("N"), 3, QString(), {}, true), 0);
        QCOMPARE(setULong(ptrParent, CTagname("N"), 4, QStringLiteral("s"), {}, true), 0);
        QCOMPARE(setTime(ptrParent, CTagname("T"), 123), 0);
        QCOMPARE(setText(ptrParent, CTagname("Txt"), QStringLiteral("a<b"), nullptr), 0);
        const QString strFormat = QStringLiteral("%1");
        QCOMPARE(setBool(ptrParent, CTagname("B"), true, {"", QStringLiteral("ignored")}), 0);
        QCOMPARE(setText(ptrParent, CTagname("Txt"), QStringLiteral("b"), &strFormat), 0);
        QCOMPARE(setDouble(ptrParent, s_objTag, 1e20, QString()), 0);  // keeps the earlier unit
        QCOMPARE(wire(ptrParent), QByteArray("<P>\n"
                                             "<V unit=\"dB\" label=\"x\">100000000000000000000</V>\n"
                                             "<V>second</V>\n"
                                             "<N>3</N>\n"
                                             "<N unit=\"s\">4</N>\n"
                                             "<T timeZone=\"UTC\" unit=\"us\">123</T>\n"
                                             "<Txt>b</Txt>\n"
                                             "<B>1</B>\n"
                                             "</P>\n"));
        typAttributes lstAttributes;
        QString strUnit;
        unsigned long long ullTime = 0;
        QCOMPARE(getTime(ptrParent, CTagname("T"), ullTime, &lstAttributes), 0);
        QCOMPARE(lstAttributes.size(), 2);
        QCOMPARE(getULongLong(ptrParent, CTagname("T"), ullTime, &strUnit), 0);
        QCOMPARE(strUnit, QStringLiteral("us"));
        QCOMPARE(setULong(ptrCXmlElement(), s_objTag, 1, QString()), int(RESULT_INVALID_ARG));
        QVERIFY(!createElement(ptrParent, CTagname("")));
        QCOMPARE(disableCompression(ptrParent, CTagname("Z")), 0);
        QVERIFY(ptrParent->getChildAt(ptrParent->getNumberOfChildren() - 1)->isCompressionDisabled());
    }

    void listReads_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("result");
        QTest::addColumn<int>("errorIndex");
        QTest::newRow("empty list") << "" << int(RESULT_MALFORMED) << 0;
        QTest::newRow("empty middle part") << "1,,3" << int(RESULT_MALFORMED) << 1;
        QTest::newRow("bad last part") << "1,2,x" << int(RESULT_MALFORMED) << 2;
        QTest::newRow("out of range") << "1,4294967296" << int(RESULT_MALFORMED) << 1;
        QTest::newRow("good") << "1,-2,3" << 0 << -1;
    }

    void listReads()
    {
        // The caller's list and attributes change only when every item converts.
        QFETCH(QString, text);
        QFETCH(int, result);
        QFETCH(int, errorIndex);
        QList<int> lstInts{42};
        int iError = 99;
        typAttributes lstAttributes;
        QCOMPARE(getList_Long(withValue(text), s_objTag, lstInts, &iError, &lstAttributes), result);
        QCOMPARE(iError, errorIndex);
        QCOMPARE(lstInts, result ? QList<int>{42} : (QList<int>{42, 1, -2, 3}));
        QCOMPARE(lstAttributes.size(), result ? 0 : 1);
        QString strUnit = QStringLiteral("none");
        QList<unsigned long long> lstBig;
        const int iBig = getList_ULongLong(withValue(text), s_objTag, lstBig, &strUnit, &iError);
        QCOMPARE(strUnit, iBig ? QStringLiteral("none") : QStringLiteral("Hz"));
        QCOMPARE(lstBig.isEmpty(), iBig != 0);
    }

    void lists()
    {
        const ptrCXmlElement ptrParent = el("P");
        int iError = 99;
        QCOMPARE(setList_Long(ptrParent, CTagname("L"), {}, QString()), 0);
        QCOMPARE(wire(ptrParent->getChildAt(0)), QByteArray("<L/>\n"));
        QCOMPARE(setList_Float(ptrParent, CTagname("F"), {1.5f, 2.0f, -0.125f}, QStringLiteral("Hz"),
                               {"info", QStringLiteral("min,max,ave")}),
                 0);
        QCOMPARE(wire(ptrParent->getChildAt(1)), QByteArray("<F unit=\"Hz\" info=\"min,max,ave\">1.5,2,-0.125</F>\n"));
        QList<float> lstFloats;
        QCOMPARE(getList_Float(ptrParent, CTagname("F"), lstFloats, &iError), 0);
        QCOMPARE(iError, -1);
        QCOMPARE(lstFloats, (QList<float>{1.5f, 2.0f, -0.125f}));

        QCOMPARE(setList_Bool(ptrParent, CTagname("B"), {true, false}), 0);
        QList<bool> lstBools;
        QCOMPARE(getList_Bool(ptrParent, CTagname("B"), lstBools), 0);
        QCOMPARE(lstBools, (QList<bool>{true, false}));
        QCOMPARE(setList_ULongLong(ptrParent, CTagname("U"), {1, 18446744073709551615ull}, QStringLiteral("bit")), 0);
        QList<unsigned long long> lstBig;
        QString strUnit;
        QCOMPARE(getList_ULongLong(ptrParent, CTagname("U"), lstBig, &strUnit), 0);
        QCOMPARE(strUnit, QStringLiteral("bit"));
        QCOMPARE(lstBig.last(), 18446744073709551615ull);
        QCOMPARE(setList_Double(ptrParent, CTagname("D"), {1e20, 0.5}, QString()), 0);
        QCOMPARE(ptrParent->getChildAt(4)->getValue(), QStringLiteral("100000000000000000000,0.5"));
    }

    void ranges_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("result");
        QTest::newRow("equal") << "5,5" << 0;
        QTest::newRow("ascending") << "-3,7" << 0;
        QTest::newRow("descending") << "6,5" << int(RESULT_MALFORMED);
        QTest::newRow("one item") << "5" << int(RESULT_MALFORMED);
        QTest::newRow("three items") << "1,2,3" << int(RESULT_MALFORMED);
        QTest::newRow("bad item") << "1,x" << int(RESULT_MALFORMED);
    }

    void ranges()
    {
        QFETCH(QString, text);
        QFETCH(int, result);
        int iMin = 100, iMax = 100;
        typAttributes lstAttributes;
        QCOMPARE(getRange_Long(withValue(text), s_objTag, iMin, iMax, &lstAttributes), result);
        QCOMPARE(iMin == 100, result != 0);
        QCOMPARE(lstAttributes.isEmpty(), result != 0);
    }

    void rangeWriters()
    {
        const ptrCXmlElement ptrParent = el("P");
        QCOMPARE(setRange_ULong(ptrParent, CTagname("R"), 1000, 20000, QStringLiteral("Hz")), 0);
        QCOMPARE(setRange_Long(ptrParent, CTagname("S"), 1, 2, QString(), {"info", QStringLiteral("start,stop")}), 0);
        QCOMPARE(setRange_Float(ptrParent, CTagname("X"), 2.0f, 1.0f, QString()), int(RESULT_MALFORMED));
        QCOMPARE(wire(ptrParent), QByteArray("<P>\n<R unit=\"Hz\" info=\"min,max\">1000,20000</R>\n"
                                             "<S info=\"start,stop\">1,2</S>\n</P>\n"));
        unsigned long long ullMin = 0, ullMax = 0;
        typAttributes lstAttributes;
        QCOMPARE(getRange_ULongLong(ptrParent, CTagname("R"), ullMin, ullMax, lstAttributes), 0);
        QCOMPARE(ullMax, 20000ull);
        QCOMPARE(lstAttributes.size(), 2);
        float fMin = 0, fMax = 0;
        QCOMPARE(getRange_Float(ptrParent, CTagname("S"), fMin, fMax), 0);
        QCOMPARE(fMax, 2.0f);
    }

    void enumerations()
    {
        using namespace GLOBAL_TYPES;
        const ptrCXmlElement ptrParent = el("P");
        QCOMPARE(setEnum(ptrParent, CTagname("S"), INPUT_SOURCE_RECOMBINED_IQ, G_objInputSourceTypeTexts), 0);
        QCOMPARE(wire(ptrParent), QByteArray("<P>\n<S>recombinedIQ</S>\n</P>\n"));
        eINPUT_SOURCE_TYPES eRead = INPUT_SOURCE_NONE;
        QCOMPARE(getEnum(ptrParent, CTagname("S"), eRead, G_objInputSourceTypeTexts), 0);
        QCOMPARE(eRead, INPUT_SOURCE_RECOMBINED_IQ);
        QCOMPARE(setEnum(ptrParent, CTagname("S"), eINPUT_SOURCE_TYPES(9), G_objInputSourceTypeTexts),
                 int(RESULT_INVALID_ARG));
        QCOMPARE(setEnum(ptrParent, CTagname("New"), eINPUT_SOURCE_TYPES(9), G_objInputSourceTypeTexts),
                 int(RESULT_INVALID_ARG));
        QCOMPARE(wire(ptrParent->getChildAt(1)), QByteArray("<New/>\n"));
        ptrParent->getChildAt(0)->setValue(QStringLiteral("RecombinedIQ"));
        QCOMPARE(getEnum(ptrParent, CTagname("S"), eRead, G_objInputSourceTypeTexts), int(RESULT_MALFORMED));
        QCOMPARE(getEnum(ptrParent, CTagname("Gone"), eRead, G_objInputSourceTypeTexts), int(RESULT_MISSING));

        // The map form: the lowest value whose text matches wins.
        const QMap<int, QString> mapTexts{
            {4, QStringLiteral("same")}, {2, QStringLiteral("same")}, {7, QStringLiteral("x")}};
        QCOMPARE(setEnumValue(ptrParent, CTagname("M"), 7, mapTexts, {"kind", QStringLiteral("k")}), 0);
        QCOMPARE(setEnumValue(ptrParent, CTagname("M"), 3, mapTexts), int(RESULT_INVALID_ARG));
        int iValue = 0;
        typAttributes lstAttributes;
        QCOMPARE(getEnumValue(ptrParent, CTagname("M"), iValue, mapTexts, &lstAttributes), 0);
        QCOMPARE(iValue, 7);
        QCOMPARE(lstAttributes.size(), 1);
        ptrParent->getChildAt(2)->setValue(QStringLiteral("same"));
        QCOMPARE(getEnumValue(ptrParent, CTagname("M"), iValue, mapTexts), 0);
        QCOMPARE(iValue, 2);
    }
};

QTEST_GUILESS_MAIN(TestConverterTools)
#include "tst_xmlconvertertools.moc"

// Every class of every converter family, from the tables generated out of the families'
// descriptions: built with every setter, the wire text must equal the class's golden file (checked
// by a person once), and every value must read back from the parsed wire text and from a fault
// reply that echoes the message as its failed request; enumeration values outside their table and
// unknown texts give their codes. The compatibility matrix goes over every converter of the
// library: each accepts its own message and refuses every other's with 0x02420000.
#include "ConverterFamilies.h"
#include "RoundTripSupport.h"

#include <OrvexXmlInterface/xmlcommon/CXmlMessage.h>
#include <OrvexXmlInterface/xmlcommon/CXmlReader.h>
#include <OrvexXmlInterface/xmlcommon/Tagnames.h>
#include <OrvexXmlInterface/xmlcommunication/converters/CAlivecheckConverter.h>
#include <OrvexXmlInterface/xmlcommunication/converters/CFilterConverter.h>
#include <OrvexXmlInterface/xmlcommunication/converters/CStatusReport.h>
#include <OrvexXmlInterface/xmlcommunication/converters/LayerConverters.h>

#include <QtCore/QDir>
#include <QtCore/QFile>
#include <QtTest/QtTest>

#include <memory>

using namespace XmlCommon;

#define OXI_DECLARE_CASES(a_family, a_namespace)                                                                       \
    namespace a_namespace                                                                                              \
    {                                                                                                                  \
    QList<RoundTrip::struCase> roundTripCases();                                                                       \
    }
OXI_CONVERTER_FAMILIES(OXI_DECLARE_CASES)
#undef OXI_DECLARE_CASES

namespace
{
struct struFamilyCase
{
    QString strFamily;
    RoundTrip::struCase objCase;
};

const QList<struFamilyCase>& cases()
{
    static const QList<struFamilyCase> s_lstCases = [] {
        QList<struFamilyCase> lstCases;
#define OXI_COLLECT_CASES(a_family, a_namespace)                                                                       \
    for (const RoundTrip::struCase& objCase : a_namespace::roundTripCases())                                           \
        lstCases.append({QStringLiteral(#a_family), objCase});
        OXI_CONVERTER_FAMILIES(OXI_COLLECT_CASES)
#undef OXI_COLLECT_CASES
        return lstCases;
    }();
    return s_lstCases;
}

QString goldenDir(const QString& a_strFamily)
{
    return QStringLiteral(OXI_CONVERTER_TESTS_DIR "/%1/golden").arg(a_strFamily);
}

// The converter's message as the failed request of a fault reply.
ptrCXmlElement faultReplyTo(const ptrCXmlElement& a_ptrFragment)
{
    ptrCXmlMessage ptrMsg(new CXmlMessage);
    ptrMsg->setServiceType(CXmlMessage::REQUEST_SET);
    ptrMsg->setMessageID(9);
    ptrMsg->addFragment(CMsgFragment(a_ptrFragment->copy(true)));
    ptrMsg->changeRequestToReply(0x02400007, 1700000000000000ull);
    return ptrMsg->getFragment(0).getElementTree();
}

// A converter of the library for the matrix: how to lay it over a fragment, and which other
// converters' messages it accepts by its family's rule.
struct struConverter
{
    QString strName;
    std::function<CConvBaseFragment*(CMsgFragment&)> fnCreate;
    std::function<void(CConvBaseFragment&)> fnPrepare;
    QStringList lstAccepts;
};

template <typename T> struConverter layerConverter(const char* a_pszName)
{
    return {QLatin1String(a_pszName),
            [](CMsgFragment& a_objFragment) { return new T(a_objFragment); },
            [](CConvBaseFragment& a_objConverter) { a_objConverter.makeFragment(); },
            {}};
}

QList<struConverter> libraryConverters()
{
    using namespace XmlCommunication;
    QList<struConverter> lstConverters{
        layerConverter<CAlivecheckConverter>("CAlivecheckConverter"),
        layerConverter<CAppDescription>("CAppDescription"),
        layerConverter<CCompressionConverter>("CCompressionConverter"),
        layerConverter<CDebugFlagsConverter>("CDebugFlagsConverter"),
        layerConverter<CDebugLoggingEvent>("CDebugLoggingEvent"),
        layerConverter<CFilterConverter>("CFilterConverter"),
        layerConverter<CMetaInfoConverter>("CMetaInfoConverter"),
        layerConverter<CQueryDebugFlagInformationConverter>("CQueryDebugFlagInformationConverter"),
        layerConverter<CRequestCreationTimeDemand>("CRequestCreationTimeDemand"),
        layerConverter<CRequestTreeConverter>("CRequestTreeConverter"),
        layerConverter<CXmlFaultConverter>("CXmlFaultConverter"),
        layerConverter<CStatusReport>("CStatusReport"),
    };
    for (const struFamilyCase& objEntry : cases()) {
        const RoundTrip::struCase& objCase = objEntry.objCase;
        if (!objCase.pfnCreate)
            continue;
        const QStringList lstAccepts =
            objCase.pszAccepts ? QString::fromLatin1(objCase.pszAccepts).split(QLatin1Char(',')) : QStringList();
        lstConverters.append({QLatin1String(objCase.pszClass), objCase.pfnCreate, objCase.pfnPrepare, lstAccepts});
    }
    return lstConverters;
}
}  // namespace

class TestConverterFamilies : public QObject
{
    Q_OBJECT

private slots:
    void classes_data()
    {
        QTest::addColumn<int>("index");
        for (int i = 0; i < cases().size(); ++i) {
            const QString strRow = cases().at(i).strFamily + QLatin1Char('/') + cases().at(i).objCase.pszClass;
            QTest::newRow(qPrintable(strRow)) << i;
        }
    }

    void classes()
    {
        QFETCH(int, index);
        const RoundTrip::struCase& objCase = cases().at(index).objCase;
        const ptrCXmlElement ptrBuilt = objCase.pfnBuild();
        QVERIFY(ptrBuilt);
        const QByteArray baWire = TestUtils::wire(ptrBuilt);

        QFile objGolden(goldenDir(cases().at(index).strFamily) + QLatin1Char('/') + objCase.pszClass +
                        QStringLiteral(".xml"));
        if (qEnvironmentVariableIsSet("OXI_WRITE_GOLDEN")) {
            QVERIFY(objGolden.open(QIODevice::WriteOnly | QIODevice::Truncate));
            objGolden.write(baWire);
        } else {
            QVERIFY2(objGolden.open(QIODevice::ReadOnly),
                     qPrintable(objGolden.fileName() + QStringLiteral(" is missing: run the test with "
                                                                      "OXI_WRITE_GOLDEN=1, then review the file")));
            QCOMPARE(baWire, objGolden.readAll());
        }

        // Read back from the parsed wire text, so that the text form carries every value.
        CXmlReader objReader;
        bool bOk = false;
        QString strError;
        const ptrCXmlElement ptrParsed = objReader.readByteArray(baWire, bOk, strError);
        QVERIFY2(bOk && ptrParsed, qPrintable(strError));
        QStringList lstFailures = objCase.pfnReadBack(ptrParsed);
        QVERIFY2(lstFailures.isEmpty(), qPrintable(lstFailures.join(QLatin1Char('\n'))));

        if (objCase.pfnCreate) {
            lstFailures = objCase.pfnReadBack(faultReplyTo(ptrBuilt));
            QVERIFY2(lstFailures.isEmpty(),
                     qPrintable(QStringLiteral("over a fault reply: ") + lstFailures.join(QLatin1Char('\n'))));
        }
    }

    void enumerationCodes_data() { classes_data(); }

    void enumerationCodes()
    {
        QFETCH(int, index);
        const QStringList lstFailures = cases().at(index).objCase.pfnEnumCodes();
        QVERIFY2(lstFailures.isEmpty(), qPrintable(lstFailures.join(QLatin1Char('\n'))));
    }

    void goldenFilesBelongToClasses()
    {
        // A golden file without its class is a leftover of a renamed or removed class.
        QSet<QString> setFiles;
        for (const struFamilyCase& objEntry : cases())
            setFiles.insert(objEntry.strFamily + QLatin1Char('/') + objEntry.objCase.pszClass + QStringLiteral(".xml"));
#define OXI_CHECK_GOLDEN(a_family, a_namespace)                                                                        \
    for (const QString& strFile : QDir(goldenDir(QStringLiteral(#a_family))).entryList({QStringLiteral("*.xml")}))     \
        QVERIFY2(setFiles.contains(QStringLiteral(#a_family "/") + strFile), qPrintable(strFile));
        OXI_CONVERTER_FAMILIES(OXI_CHECK_GOLDEN)
#undef OXI_CHECK_GOLDEN
    }

    void compatibilityMatrix()
    {
        const QList<struConverter> lstConverters = libraryConverters();
        QStringList lstFailures;
        for (const struConverter& objOwn : lstConverters) {
            CMsgFragment objFragment;
            std::unique_ptr<CConvBaseFragment> pOwn(objOwn.fnCreate(objFragment));
            objOwn.fnPrepare(*pOwn);
            if (!pOwn->isCompatible())
                lstFailures << objOwn.strName + QStringLiteral(" refuses its own message");
            for (const struConverter& objOther : lstConverters) {
                if (&objOther == &objOwn)
                    continue;
                std::unique_ptr<CConvBaseFragment> pOther(objOther.fnCreate(objFragment));
                const bool bAccepts = objOther.lstAccepts.contains(objOwn.strName);
                QString strText;
                const int iWanted = bAccepts ? int(RESULT_MISSING) : int(RESULT_WRONG_KIND);
                if (pOther->isCompatible() != bAccepts || pOther->getText(Tag::Causation, strText) != iWanted)
                    lstFailures << objOther.strName +
                                       (bAccepts ? QStringLiteral(" refuses ") : QStringLiteral(" accepts ")) +
                                       objOwn.strName + QStringLiteral("'s message");
            }
        }
        QVERIFY2(lstFailures.isEmpty(), qPrintable(lstFailures.join(QLatin1Char('\n'))));
    }
};

QTEST_GUILESS_MAIN(TestConverterFamilies)
#include "tst_converterfamilies.moc"

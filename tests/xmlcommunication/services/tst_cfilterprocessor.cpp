#include "../../common/TreeTestUtils.h"

#include <OrvexXmlInterface/xmlcommon/CXmlReader.h>
#include <OrvexXmlInterface/xmlcommon/XmlTreeTools.h>
#include <OrvexXmlInterface/xmlcommunication/converters/CFilterConverter.h>
#include <OrvexXmlInterface/xmlcommunication/services/CFilterProcessor.h>

#include <QtCore/QThread>
#include <QtTest/QtTest>

#include <atomic>

using namespace XmlCommon;
using namespace XmlCommunication;

namespace
{
ptrCXmlElement parse(const QByteArray& a_baText)
{
    CXmlReader objReader;
    bool bOk = false;
    QString strError;
    const ptrCXmlElement ptrRoot = objReader.readByteArray(a_baText, bOk, strError);
    if (!bOk)
        qWarning("cannot parse %s: %s", a_baText.constData(), qPrintable(strError));
    return ptrRoot;
}

ptrCXmlMessage message(const QByteArray& a_baText)
{
    ptrCXmlMessage ptrMsg(new CXmlMessage(3));
    ptrMsg->setElementTree(parse(a_baText));
    return ptrMsg;
}

// "Name(Child,Child(...))" for an element; the children of a root joined by blanks.
QString shape(const ptrCXmlElement& a_ptr)
{
    QString str = a_ptr->tagname();
    if (a_ptr->getNumberOfChildren() == 0)
        return str;
    QStringList lst;
    for (const ptrCXmlElement& ptrChild : a_ptr->children())
        lst.append(shape(ptrChild));
    return str + QLatin1Char('(') + lst.join(QLatin1Char(',')) + QLatin1Char(')');
}

QString passed(const ptrCXmlElement& a_ptrRoot)
{
    QStringList lst;
    for (const ptrCXmlElement& ptrChild : a_ptrRoot->children())
        lst.append(shape(ptrChild));
    return lst.join(QLatin1Char(' '));
}

// The filter every connection starts with.
ptrCXmlElement defaultFilterTree()
{
    CFilterConverter objFilter;
    objFilter.setFilterType(CFilterConverter::FILTER_ACCEPT);
    objFilter.subscribeToComponent(QStringLiteral("XmlCommunicationDevice"));
    return objFilter.getFilterTree();
}

const QByteArray s_baMixedEvent = "<Event>"
                                  "<XmlCommunicationDevice><DebugTextToLog>a</DebugTextToLog></XmlCommunicationDevice>"
                                  "<Tuner version=\"2\"><Frequency unit=\"Hz\">5</Frequency></Tuner>"
                                  "<Storage><Recording><Id>1</Id></Recording></Storage>"
                                  "<XmlCommunicationDevice><AliveCheck version=\"4\">1</AliveCheck>"
                                  "</XmlCommunicationDevice>"
                                  "</Event>";

// A fault reply whose fault tree keeps the request fragment it answers.
const QByteArray s_baFaultEvent = "<Event>"
                                  "<Tuner><Request><Gain/></Request><Fault><ID>0x2400007</ID>"
                                  "<Request type=\"get\" id=\"4\"><Tuner version=\"2\"><Frequency unit=\"Hz\"/>"
                                  "</Tuner></Request></Fault></Tuner>"
                                  "<Storage><Recording/></Storage>"
                                  "</Event>";
}  // namespace

class TestFilterProcessor : public QObject
{
    Q_OBJECT

private slots:
    void defaultFilterPassesTheLayerOnly()
    {
        CFilterProcessor objProcessor(9);
        QVERIFY(!objProcessor.hasFilter());
        // Without a filter nothing passes.
        QCOMPARE(passed(objProcessor.applyFilter(message(s_baMixedEvent))), QString());

        objProcessor.setFilter(defaultFilterTree(), true);
        QVERIFY(objProcessor.hasFilter());
        const ptrCXmlMessage ptrEvent = message(s_baMixedEvent);
        const ptrCXmlElement ptrResult = objProcessor.applyFilter(ptrEvent);
        QCOMPARE(passed(ptrResult),
                 QStringLiteral("XmlCommunicationDevice(DebugTextToLog) XmlCommunicationDevice(AliveCheck)"));
        QVERIFY(ptrResult != ptrEvent->getElementTree());
        QVERIFY(ptrResult->getChildAt(1) == ptrEvent->getFragment(3).getElementTree());  // shared, not copied
        QCOMPARE(passed(objProcessor.applyFilter(message("<Event><Tuner><Gain/></Tuner></Event>"))), QString());
        QVERIFY(!objProcessor.applyFilter(ptrCXmlMessage()));
        QVERIFY(!objProcessor.applyFilter(ptrCXmlMessage(new CXmlMessage)));

        objProcessor.setFilter(ptrCXmlElement(), true);
        QVERIFY(!objProcessor.hasFilter());
    }

    void setAndGetRoundTrip()
    {
        CFilterConverter objSent;
        objSent.setFilterType(CFilterConverter::FILTER_SUPPRESS);
        objSent.subscribeToComponent(QStringLiteral("Storage"));
        const ptrCXmlElement ptrTree = objSent.getFilterTree();

        CFilterProcessor objProcessor(1);
        objProcessor.setFilter(ptrTree, false);
        bool bAccept = true;
        const ptrCXmlElement ptrStored = objProcessor.getFilter(bAccept);
        QVERIFY(!bAccept);
        QVERIFY(ptrStored != ptrTree);
        QVERIFY(XmlTreeTools::compareTrees(ptrStored, ptrTree, true, true));

        // The peer's query is answered with the same filter, which installs to the same effect.
        CMsgFragment objAnswer;
        objProcessor.getFilter(objAnswer);
        CFilterConverter objRead(objAnswer);
        CFilterConverter::eFILTER_TYPES eType = CFilterConverter::FILTER_ACCEPT;
        QCOMPARE(objRead.getFilterType(eType), 0);
        QCOMPARE(eType, CFilterConverter::FILTER_SUPPRESS);
        QVERIFY(XmlTreeTools::compareTrees(objRead.getFilterTree(), ptrTree, true, true));
        CFilterProcessor objAgain(2);
        objAgain.setFilter(objRead.getFilterTree(), eType == CFilterConverter::FILTER_ACCEPT);
        const QString strExpected = QStringLiteral(
            "XmlCommunicationDevice(DebugTextToLog) Tuner(Frequency) XmlCommunicationDevice(AliveCheck)");
        QCOMPARE(passed(objProcessor.applyFilter(message(s_baMixedEvent))), strExpected);
        QCOMPARE(passed(objAgain.applyFilter(message(s_baMixedEvent))), strExpected);

        // No filter: the converter's empty filter fragment.
        CFilterProcessor objEmpty(3);
        CMsgFragment objNone;
        objEmpty.getFilter(objNone);
        QVERIFY(CFilterConverter(objNone).isCompatible());
        QCOMPARE(objNone.getDataTree().getElementTree()->getNumberOfChildren(), 0);
        QVERIFY(!objEmpty.getFilter(bAccept));
    }

    void decisions_data()
    {
        QTest::addColumn<QByteArray>("filter");
        QTest::addColumn<bool>("accept");
        QTest::addColumn<QByteArray>("event");
        QTest::addColumn<QString>("expected");

        const QString strAll = QStringLiteral("XmlCommunicationDevice(DebugTextToLog) Tuner(Frequency) "
                                              "Storage(Recording(Id)) XmlCommunicationDevice(AliveCheck)");
        const QString strLayer = QStringLiteral("XmlCommunicationDevice(DebugTextToLog) "
                                                "XmlCommunicationDevice(AliveCheck)");
        auto rules = [](const QByteArray& a_baRules) {
            return "<Event><AdvancedFilter>" + a_baRules + "</AdvancedFilter></Event>";
        };

        QTest::newRow("component rule") << rules("<Tuner syntax=\"component\"/>") << true << s_baMixedEvent
                                        << QStringLiteral("XmlCommunicationDevice(DebugTextToLog) Tuner(Frequency) "
                                                          "XmlCommunicationDevice(AliveCheck)");
        QTest::newRow("no rules: the layer only") << rules("") << true << s_baMixedEvent << strLayer;
        QTest::newRow("All passes everything, whatever follows")
            << rules("<All syntax=\"component\"/><Tuner syntax=\"component\"/>") << true << s_baMixedEvent << strAll;
        QTest::newRow("All after a rule still passes everything")
            << rules("<Tuner syntax=\"component\"/><All syntax=\"component\"/>") << true << s_baMixedEvent << strAll;
        QTest::newRow("suppress a component") << rules("<Tuner syntax=\"component\"/>") << false << s_baMixedEvent
                                              << QStringLiteral("XmlCommunicationDevice(DebugTextToLog) "
                                                                "Storage(Recording(Id)) "
                                                                "XmlCommunicationDevice(AliveCheck)");
        QTest::newRow("suppress the layer too")
            << rules("<XmlCommunicationDevice syntax=\"component\"/>") << false << s_baMixedEvent
            << QStringLiteral("Tuner(Frequency) Storage(Recording(Id))");
        QTest::newRow("unknown or missing syntax selects nothing")
            << rules("<Tuner syntax=\"tree\"/><Storage/><Tuner syntax=\"Component\"/>") << true << s_baMixedEvent
            << strLayer;
        QTest::newRow("converter rule: root and child attributes")
            << rules("<Tuner version=\"2\" syntax=\"converter\"><Frequency unit=\"Hz\"/></Tuner>") << true
            << QByteArray("<Event><Tuner version=\"2\" x=\"1\"><Frequency unit=\"Hz\" n=\"1\">5</Frequency></Tuner>"
                          "<Tuner version=\"3\"><Frequency unit=\"Hz\"/></Tuner>"
                          "<Tuner version=\"2\"><Frequency unit=\"kHz\"/></Tuner>"
                          "<Tuner><Frequency unit=\"Hz\"/></Tuner></Event>")
            << QStringLiteral("Tuner(Frequency)");
        QTest::newRow("converter rule: child found at any depth, same child count")
            << rules("<Tuner syntax=\"converter\"><Gain/></Tuner>") << true
            << QByteArray("<Event><Tuner><Settings><Gain/></Settings></Tuner>"
                          "<Tuner><Settings/><Gain/></Tuner><Tuner><Level/></Tuner></Event>")
            << QStringLiteral("Tuner(Settings(Gain))");
        QTest::newRow("converter rule with two children")
            << rules("<Tuner syntax=\"converter\"><A/><B/></Tuner>") << true
            << QByteArray("<Event><Tuner><A/><B/></Tuner><Tuner><A/></Tuner><Tuner><A><B/></A><C/></Tuner>"
                          "<Tuner><A/><B/><C/></Tuner></Event>")
            << QStringLiteral("Tuner(A,B) Tuner(A(B),C)");
        QTest::newRow("suppress by converter rule")
            << rules("<Tuner syntax=\"converter\"><Frequency/></Tuner>") << false << s_baMixedEvent
            << QStringLiteral("XmlCommunicationDevice(DebugTextToLog) Storage(Recording(Id)) "
                              "XmlCommunicationDevice(AliveCheck)");
        QTest::newRow("fault reply matched by its request")
            << rules("<Tuner version=\"2\" syntax=\"converter\"><Frequency unit=\"Hz\"/></Tuner>") << true
            << s_baFaultEvent << QStringLiteral("Tuner(Request(Gain),Fault(ID,Request(Tuner(Frequency))))");
        QTest::newRow("fault reply suppressed by its request")
            << rules("<Tuner version=\"2\" syntax=\"converter\"><Frequency unit=\"Hz\"/></Tuner>") << false
            << s_baFaultEvent << QStringLiteral("Storage(Recording)");
        QTest::newRow("rules nested deep are still rules")
            << QByteArray("<Event><X><Y><AdvancedFilter><Storage syntax=\"component\"/></AdvancedFilter></Y></X>"
                          "<Tuner><All/></Tuner></Event>")
            << true << s_baMixedEvent
            << QStringLiteral("XmlCommunicationDevice(DebugTextToLog) Storage(Recording(Id)) "
                              "XmlCommunicationDevice(AliveCheck)");
        QTest::newRow("path ending in All passes everything below")
            << QByteArray("<Event><Storage><All/></Storage></Event>") << true << s_baMixedEvent
            << QStringLiteral("Storage(Recording(Id))");
        QTest::newRow("deeper path passes the named branch")
            << QByteArray("<Event><Tuner><Frequency><All/></Frequency></Tuner></Event>") << true
            << QByteArray("<Event><Tuner><Frequency><Value>1</Value><Unit/></Frequency><Gain>2</Gain></Tuner>"
                          "<Tuner><Gain>2</Gain></Tuner></Event>")
            << QStringLiteral("Tuner(Frequency(Value,Unit))");
        QTest::newRow("suppressed path ending in All")
            << QByteArray("<Event><Storage><All/></Storage><Tuner><Frequency><All/></Frequency></Tuner></Event>")
            << false << s_baMixedEvent << strLayer;
        QTest::newRow("suppress filter that removes nothing")
            << QByteArray("<Event><Rpp><All/></Rpp></Event>") << false << s_baMixedEvent << strAll;
    }

    void decisions()
    {
        QFETCH(QByteArray, filter);
        QFETCH(bool, accept);
        QFETCH(QByteArray, event);
        QFETCH(QString, expected);

        CFilterProcessor objProcessor(4);
        const ptrCXmlElement ptrFilter = parse(filter);
        QVERIFY(ptrFilter);
        objProcessor.setFilter(ptrFilter, accept);
        const ptrCXmlMessage ptrEvent = message(event);
        const QByteArray baBefore = TestUtils::wire(ptrEvent->getElementTree());
        const ptrCXmlElement ptrResult = objProcessor.applyFilter(ptrEvent);
        QVERIFY(ptrResult);
        QVERIFY(ptrResult->tagname() == "Event");
        QCOMPARE(passed(ptrResult), expected);
        QCOMPARE(TestUtils::wire(ptrEvent->getElementTree()), baBefore);  // the event itself is untouched

        // The same rule twice changes nothing, and a later filter replaces the earlier one whole.
        ptrCXmlElement ptrTwice = parse(filter);
        const ptrCXmlElement ptrAdvanced =
            XmlTreeTools::findTagInTree(ptrTwice, "AdvancedFilter", G_objCompEqual, true);
        if (ptrAdvanced) {
            const QList<ptrCXmlElement> lstRules = ptrAdvanced->children();
            for (const ptrCXmlElement& ptrRule : lstRules)
                ptrAdvanced->addChild(ptrRule->copy(true), -1);
            CFilterProcessor objTwice(5);
            objTwice.setFilter(defaultFilterTree(), !accept);
            objTwice.setFilter(ptrTwice, accept);
            QCOMPARE(passed(objTwice.applyFilter(ptrEvent)), expected);
        }
    }

    // A connection filters on its thread while another thread installs and reads filters.
    void concurrentUse()
    {
        CFilterProcessor objProcessor(6);
        const ptrCXmlElement ptrLayer = defaultFilterTree();
        const ptrCXmlElement ptrTuner = parse("<Event><AdvancedFilter><Tuner syntax=\"component\"/></AdvancedFilter>"
                                              "</Event>");
        objProcessor.setFilter(ptrLayer, true);
        std::atomic<bool> bStop{false};
        std::atomic<int> iBad{0};
        QThread* pReader = QThread::create([&] {
            const ptrCXmlMessage ptrEvent = message(s_baMixedEvent);
            while (!bStop.load()) {
                const int iCount = objProcessor.applyFilter(ptrEvent)->getNumberOfChildren();
                bool bAccept = false;
                CMsgFragment objFragment;
                objProcessor.getFilter(objFragment);
                if ((iCount != 2 && iCount != 3) || !objProcessor.getFilter(bAccept) || !bAccept ||
                    !objProcessor.hasFilter() || objFragment.getDataTree().getElementTree()->getNumberOfChildren() < 1)
                    ++iBad;
            }
        });
        pReader->start();
        for (int i = 0; i < 2000; ++i)
            objProcessor.setFilter(i % 2 ? ptrLayer : ptrTuner, true);
        bStop = true;
        QVERIFY(pReader->wait(10000));
        delete pReader;
        QCOMPARE(iBad.load(), 0);
    }
};

QTEST_GUILESS_MAIN(TestFilterProcessor)
#include "tst_cfilterprocessor.moc"

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
    return objReader.readByteArray(a_baText, bOk, strError);
}

ptrCXmlMessage broadcast(const QByteArray& a_baFragments)
{
    ptrCXmlMessage ptrMsg(new CXmlMessage(3));
    ptrMsg->setElementTree(parse("<Event>" + a_baFragments + "</Event>"));
    return ptrMsg;
}

// "Name(Child,Child(...))" for each child of a_ptrRoot, joined by blanks.
QString passed(const ptrCXmlElement& a_ptrRoot)
{
    QStringList lst;
    for (const ptrCXmlElement& ptrChild : a_ptrRoot->children()) {
        const QString strName = ptrChild->tagname();
        const QString strInner = passed(ptrChild).replace(QLatin1Char(' '), QLatin1Char(','));
        lst.append(strInner.isEmpty() ? strName : strName + QStringLiteral("(%1)").arg(strInner));
    }
    return lst.join(QLatin1Char(' '));
}

ptrCXmlElement subscribedTo(const QString& a_strComponent)
{
    CFilterConverter objFilter;
    objFilter.subscribeToComponent(a_strComponent);
    return objFilter.getFilterTree();
}

const QByteArray s_baMixed = "<XmlCommunicationDevice><Log>a</Log></XmlCommunicationDevice>"
                             "<Tuner version=\"2\"><Frequency unit=\"Hz\">5</Frequency></Tuner>"
                             "<Storage><Recording><Id>1</Id></Recording></Storage>";
const QString s_strLayer = QStringLiteral("XmlCommunicationDevice(Log)");
// A fault reply whose fault tree keeps the request fragment it answers.
const QByteArray s_baFault = "<Tuner><Request><Gain/></Request><Fault><ID>0x2400007</ID><Request type=\"get\">"
                             "<Tuner version=\"2\"><Frequency unit=\"Hz\"/></Tuner></Request></Fault></Tuner>"
                             "<Storage><Recording/></Storage>";
const QByteArray s_baPattern = "<Tuner version=\"2\" syntax=\"converter\"><Frequency unit=\"Hz\"/></Tuner>";
}  // namespace

class TestFilterProcessor : public QObject
{
    Q_OBJECT

private slots:
    void defaultFilterAndRoundTrip()
    {
        CFilterProcessor objProcessor(9);
        QCOMPARE(passed(objProcessor.applyFilter(broadcast(s_baMixed))), QString());  // no filter: nothing passes
        objProcessor.setFilter(subscribedTo(QStringLiteral("XmlCommunicationDevice")), true);
        const ptrCXmlMessage ptrEvent = broadcast(s_baMixed);
        const ptrCXmlElement ptrResult = objProcessor.applyFilter(ptrEvent);
        QCOMPARE(passed(ptrResult), s_strLayer);
        QVERIFY(ptrResult->getChildAt(0) == ptrEvent->getFragment(0).getElementTree());  // shared, not copied
        QVERIFY(!objProcessor.applyFilter(ptrCXmlMessage(new CXmlMessage)));

        // A peer's query is answered with the filter it set, which installs to the same effect.
        const ptrCXmlElement ptrSet = subscribedTo(QStringLiteral("Storage"));
        objProcessor.setFilter(ptrSet, false);
        bool bAccept = true;
        QVERIFY(XmlTreeTools::compareTrees(objProcessor.getFilter(bAccept), ptrSet, true, true));
        QVERIFY(!bAccept);
        CMsgFragment objAnswer;
        objProcessor.getFilter(objAnswer);
        CFilterConverter objRead(objAnswer);
        CFilterConverter::eFILTER_TYPES eType = CFilterConverter::FILTER_ACCEPT;
        QCOMPARE(objRead.getFilterType(eType), 0);
        CFilterProcessor objAgain(2);
        objAgain.setFilter(objRead.getFilterTree(), eType == CFilterConverter::FILTER_ACCEPT);
        QCOMPARE(passed(objAgain.applyFilter(broadcast(s_baMixed))), s_strLayer + QStringLiteral(" Tuner(Frequency)"));

        objProcessor.setFilter(ptrCXmlElement(), true);
        QVERIFY(!objProcessor.hasFilter());
        CMsgFragment objNone;
        objProcessor.getFilter(objNone);
        QCOMPARE(objNone.getDataTree().getElementTree()->getNumberOfChildren(), 0);
    }

    void decisions_data()
    {
        QTest::addColumn<QByteArray>("filter");  // below "Event"; "R" stands for the rules element
        QTest::addColumn<bool>("accept");
        QTest::addColumn<QByteArray>("event");
        QTest::addColumn<QString>("expected");
        const QString strLayer = s_strLayer;
        // clang-format off
        QTest::newRow("component rule") << QByteArray("<R><Tuner syntax=\"component\"/></R>") << true << s_baMixed << strLayer + " Tuner(Frequency)";
        QTest::newRow("no rules: the layer only") << QByteArray("<R/>") << true << s_baMixed << strLayer;
        QTest::newRow("All passes all, whatever follows") << QByteArray("<R><All syntax=\"component\"/><X syntax=\"component\"/></R>") << true << s_baMixed << strLayer + " Tuner(Frequency) Storage(Recording(Id))";
        QTest::newRow("suppress a component") << QByteArray("<R><Tuner syntax=\"component\"/></R>") << false << s_baMixed << strLayer + " Storage(Recording(Id))";
        QTest::newRow("suppress the layer too") << QByteArray("<R><XmlCommunicationDevice syntax=\"component\"/></R>") << false << s_baMixed << "Tuner(Frequency) Storage(Recording(Id))";
        QTest::newRow("unknown or missing syntax") << QByteArray("<R><Tuner syntax=\"tree\"/><Storage/></R>") << true << s_baMixed << strLayer;
        QTest::newRow("pattern: root and child attributes") << "<R>" + s_baPattern + "</R>" << true
            << QByteArray("<Tuner version=\"2\" x=\"1\"><Frequency unit=\"Hz\" n=\"1\"/></Tuner><Tuner version=\"3\"><Frequency unit=\"Hz\"/></Tuner>"
                          "<Tuner version=\"2\"><Frequency unit=\"kHz\"/></Tuner><Tuner><Frequency unit=\"Hz\"/></Tuner>") << "Tuner(Frequency)";
        QTest::newRow("pattern: children found at any depth, same count") << QByteArray("<R><T syntax=\"converter\"><A/><B/></T></R>") << true
            << QByteArray("<T><A/><B/></T><T><A/></T><T><A><B/></A><C/></T><T><A/><B/><C/></T><T><A/><D/></T>") << "T(A,B) T(A(B),C)";
        QTest::newRow("the same pattern twice") << "<R>" + s_baPattern + s_baPattern + "</R>" << false << s_baMixed << strLayer + " Storage(Recording(Id))";
        QTest::newRow("fault reply matched by its request") << "<R>" + s_baPattern + "</R>" << true << s_baFault << "Tuner(Request(Gain),Fault(ID,Request(Tuner(Frequency))))";
        QTest::newRow("fault reply suppressed by its request") << "<R>" + s_baPattern + "</R>" << false << s_baFault << "Storage(Recording)";
        QTest::newRow("rules nested deep, paths ignored") << QByteArray("<X><Y><R><Storage syntax=\"component\"/></R></Y></X><Tuner><All/></Tuner>") << true << s_baMixed << strLayer + " Storage(Recording(Id))";
        QTest::newRow("path ending in All: all below") << QByteArray("<Storage><All/></Storage>") << true << s_baMixed << "Storage(Recording(Id))";
        QTest::newRow("deeper path: the named branch") << QByteArray("<Tuner><Frequency><All/></Frequency></Tuner>") << true
            << QByteArray("<Tuner><Frequency><Value/><Unit/></Frequency><Gain>2</Gain></Tuner><Tuner><Gain/></Tuner>") << "Tuner(Frequency(Value,Unit))";
        QTest::newRow("suppressed paths ending in All") << QByteArray("<Storage><All/></Storage><Tuner><Frequency><All/></Frequency></Tuner>") << false << s_baMixed << strLayer;
        // clang-format on
    }

    void decisions()
    {
        QFETCH(QByteArray, filter);
        QFETCH(bool, accept);
        QFETCH(QByteArray, event);
        QFETCH(QString, expected);
        filter.replace("<R>", "<AdvancedFilter>")
            .replace("</R>", "</AdvancedFilter>")
            .replace("<R/>", "<AdvancedFilter/>");
        CFilterProcessor objProcessor(4);
        objProcessor.setFilter(subscribedTo(QStringLiteral("Rpp")), !accept);  // replaced whole by the next
        objProcessor.setFilter(parse("<Event>" + filter + "</Event>"), accept);
        const ptrCXmlMessage ptrEvent = broadcast(event);
        const ptrCXmlElement ptrBefore = ptrEvent->getElementTree()->copy(true);
        QCOMPARE(passed(objProcessor.applyFilter(ptrEvent)), expected);
        QVERIFY(XmlTreeTools::compareTrees(ptrEvent->getElementTree(), ptrBefore, true, true));  // event untouched
    }

    // A connection filters on its thread while another thread installs and reads filters.
    void concurrentUse()
    {
        CFilterProcessor objProcessor(6);
        const ptrCXmlElement ptrLayer = subscribedTo(QStringLiteral("XmlCommunicationDevice"));
        const ptrCXmlElement ptrTuner = subscribedTo(QStringLiteral("Tuner"));
        objProcessor.setFilter(ptrLayer, true);
        std::atomic<bool> bStop{false};
        std::atomic<int> iBad{0};
        QThread* pReader = QThread::create([&] {
            const ptrCXmlMessage ptrEvent = broadcast(s_baMixed);
            while (!bStop) {
                const int iCount = objProcessor.applyFilter(ptrEvent)->getNumberOfChildren();
                bool bAccept = false;
                CMsgFragment objFragment;
                objProcessor.getFilter(objFragment);
                iBad += (iCount != 1 && iCount != 2) || !objProcessor.getFilter(bAccept) || !objProcessor.hasFilter();
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

#include "../common/TreeTestUtils.h"

#include <OrvexXmlInterface/xmlcommon/CMsgFragment.h>
#include <OrvexXmlInterface/xmlcommon/CXmlMessage.h>
#include <OrvexXmlInterface/xmlcommon/ResultCodes.h>
#include <OrvexXmlInterface/xmlcommon/Tagnames.h>

#include <QtTest/QtTest>

using namespace XmlCommon;
using TestUtils::el;
using TestUtils::wire;

class TestFragments : public QObject
{
    Q_OBJECT

private slots:
    void componentNameAndVersion()
    {
        CMsgFragment objEmpty;
        QVERIFY(objEmpty.isNull());
        QVERIFY(objEmpty.getComponentName().name().isEmpty());
        QVERIFY(!objEmpty.getComponentName().isEmpty());
        QCOMPARE(objEmpty.setComponentVersion(QString()), int(RESULT_INVALID_ARG));
        QVERIFY(objEmpty.isNull());
        QCOMPARE(objEmpty.setComponentName(CTagname("")), int(RESULT_INVALID_ARG));
        QVERIFY(objEmpty.isNull());

        CMsgFragment objVersioned;
        QCOMPARE(objVersioned.setComponentVersion(QStringLiteral("2")), 0);
        QCOMPARE(wire(objVersioned), QByteArray("<NoTagname version=\"2\"/>\n"));
        QCOMPARE(objVersioned.setComponentName(Tag::ResourceManager), 0);
        QCOMPARE(wire(objVersioned), QByteArray("<ResourceManager version=\"2\"/>\n"));
        QCOMPARE(objVersioned.getComponentVersion(), QStringLiteral("2"));
        QVERIFY(objVersioned.getComponentName() == Tag::ResourceManager);
    }

    void treesFoundByName()
    {
        // The data tree is the last child that is neither "Fault" nor "Request".
        CMsgFragment objFragment(el("Comp", {}, {}, {el("Request"), el("Alpha"), el("Fault"), el("Beta")}));
        QVERIFY(objFragment.getDataTree().getDataName() == "Beta");
        QVERIFY(objFragment.hasFaultTree());
        QVERIFY(objFragment.hasRequestTree());
        QVERIFY(!CMsgFragment(el("Comp", {}, {}, {el("Fault")})).hasDataTree());

        CMsgFragment objShared = objFragment;  // handles share the tree
        objShared.setRequestTree(CRequestTree());
        QVERIFY(!objFragment.hasRequestTree());
    }

    void dataAndFaultExcludeEachOther()
    {
        CMsgFragment objFragment;
        objFragment.setComponentName(Tag::Tuner);
        CFaultTree objFault;
        objFault.setID(5);
        objFragment.setDataTree(CDataTree(el("Setup", {}, "1")));
        objFragment.setRequestTree(CRequestTree(el("Request", {}, {}, {el("Old")})));
        objFragment.setFaultTree(objFault);
        QCOMPARE(wire(objFragment), QByteArray("<Tuner>\n<Request>\n<Old/>\n</Request>\n<Fault>\n<ID>0x5</ID>\n"
                                               "</Fault>\n</Tuner>\n"));
        objFragment.setDataTree(CDataTree(el("Setup", {}, "2")));
        QCOMPARE(wire(objFragment), QByteArray("<Tuner>\n<Request>\n<Old/>\n</Request>\n<Setup>2</Setup>\n</Tuner>\n"));
        objFragment.setDataTree(CDataTree());
        QCOMPARE(wire(objFragment), QByteArray("<Tuner>\n<Request>\n<Old/>\n</Request>\n</Tuner>\n"));
    }

    void requestTreeMoves()
    {
        CMsgFragment objFragment(el("Storage", {{"version", "3"}}, {},
                                    {el("StartRecording", {{"mode", "x"}}, "v", {el("Duration", {}, "10")})}));
        QVERIFY(!objFragment.buildFragmentFromRequestTree().getElementTree());

        objFragment.moveDataTreeToRequestTree();
        QCOMPARE(wire(objFragment),
                 QByteArray("<Storage version=\"3\">\n<Request>\n<StartRecording mode=\"x\">v</StartRecording>\n"
                            "</Request>\n<StartRecording mode=\"x\"/>\n</Storage>\n"));
        const CDataTree objStandIn = objFragment.getDataTree();
        QCOMPARE(objStandIn.getElementTree()->getNumberOfChildren(), 0);
        QVERIFY(objStandIn.getElementTree()->getValue().isEmpty());

        const CMsgFragment objRebuilt = objFragment.buildFragmentFromRequestTree();
        QCOMPARE(wire(objRebuilt), QByteArray("<Storage version=\"3\">\n<StartRecording mode=\"x\">v</StartRecording>\n"
                                              "</Storage>\n"));
        // The rebuilt fragment shares the request's data tree.
        QVERIFY(objRebuilt.getDataTree().getElementTree() ==
                objFragment.getRequestTree().getDataTree().getElementTree());

        CMsgFragment objCopy;
        objCopy.copy(objFragment);
        QVERIFY(objCopy.getElementTree() != objFragment.getElementTree());
        QCOMPARE(wire(objCopy), wire(objFragment));
        objCopy.share(objFragment);
        QVERIFY(objCopy.getElementTree() == objFragment.getElementTree());
    }

    void requestTree()
    {
        CRequestTree objRequest;
        QVERIFY(!objRequest.hasDataTree());
        objRequest.setDataTree(CDataTree(el("A")));
        objRequest.setDataTree(CDataTree(el("B")));
        QCOMPARE(wire(objRequest), QByteArray("<Request>\n<B/>\n</Request>\n"));
        objRequest.setDataTree(CDataTree());
        QCOMPARE(wire(objRequest), QByteArray("<Request/>\n"));

        CDataTree objData;
        QCOMPARE(objData.setDataName(CTagname("")), int(RESULT_INVALID_ARG));
        QCOMPARE(objData.setDataName(Tag::Frequency), 0);
        QVERIFY(objData.getDataName() == Tag::Frequency);
        QVERIFY(!objData.hasChildren());
    }

    void faultIdAndTimestamp_data()
    {
        QTest::addColumn<QString>("idText");
        QTest::addColumn<int>("result");
        QTest::addColumn<unsigned int>("id");
        QTest::newRow("hex") << "0xff" << 0 << 255u;
        QTest::newRow("decimal") << "255" << 0 << 255u;
        QTest::newRow("bad hex") << "0xzz" << int(RESULT_MALFORMED) << 0u;
        QTest::newRow("upper prefix is decimal") << "0XFF" << int(RESULT_MALFORMED) << 0u;
        QTest::newRow("too large") << "4294967296" << int(RESULT_MALFORMED) << 0u;
        QTest::newRow("empty") << "" << int(RESULT_MALFORMED) << 0u;
    }

    void faultIdAndTimestamp()
    {
        QFETCH(QString, idText);
        QFETCH(int, result);
        QFETCH(unsigned int, id);
        CFaultTree objFault(el("Fault", {}, {}, {el("ID", {}, idText)}));
        unsigned int uiId = 77;
        QCOMPARE(objFault.getID(uiId), result);
        QCOMPARE(uiId, result == 0 ? id : 77u);
    }

    void faultTreeLayout()
    {
        CFaultTree objFault;
        unsigned int uiId = 0;
        unsigned long long ullStamp = 0;
        QString strText;
        QCOMPARE(objFault.getID(uiId), int(RESULT_WRONG_KIND));
        QCOMPARE(objFault.getTimestamp(ullStamp), int(RESULT_WRONG_KIND));
        QCOMPARE(objFault.getAddendumAt(0, strText), int(RESULT_WRONG_KIND));
        QCOMPARE(objFault.getNumberOfAddendums(), 0);
        QVERIFY(!objFault.hasRequestMessage());
        QVERIFY(objFault.getRequestFragment().isNull());

        objFault.setID(0x02400007);
        objFault.setTimestamp(1700000000123456ull);
        objFault.setID(255);
        for (const char* psz : {"first", "second", "third"})
            objFault.addAddendum(QString::fromLatin1(psz));
        objFault.setCausationDataTree(CDataTree(el("Old")));
        objFault.setCausationDataTree(CDataTree(el("Frequency", {}, "-1")));
        QCOMPARE(wire(objFault), QByteArray("<Fault>\n<ID>0xff</ID>\n"
                                            "<TimeStamp timeZone=\"UTC\" unit=\"us\">1700000000123456</TimeStamp>\n"
                                            "<Addendum index=\"0\">first</Addendum>\n"
                                            "<Addendum index=\"1\">second</Addendum>\n"
                                            "<Addendum index=\"2\">third</Addendum>\n"
                                            "<Causation>\n<Frequency>-1</Frequency>\n</Causation>\n</Fault>\n"));
        QCOMPARE(objFault.getID(uiId), 0);
        QCOMPARE(uiId, 255u);
        QCOMPARE(objFault.getTimestamp(ullStamp), 0);
        QCOMPARE(ullStamp, 1700000000123456ull);
        QCOMPARE(objFault.getNumberOfAddendums(), 3);
        QCOMPARE(objFault.getAddendumAt(1, strText), 0);
        QCOMPARE(strText, QStringLiteral("second"));
        QCOMPARE(objFault.getAddendumAt(5, strText), int(RESULT_MISSING));
        QVERIFY(objFault.getCausationDataTree().getDataName() == Tag::Frequency);
        objFault.setCausationDataTree(CDataTree());
        QVERIFY(!objFault.hasCausationDataTree());

        CFaultTree objBadStamp(el("Fault", {}, {}, {el("TimeStamp", {}, "-5")}));
        QCOMPARE(objBadStamp.getTimestamp(ullStamp), int(RESULT_MALFORMED));
        QCOMPARE(CFaultTree(el("Fault")).getTimestamp(ullStamp), int(RESULT_MISSING));
        QCOMPARE(CFaultTree(el("NotFault")).getNumberOfAddendums(), 0);
    }

    void faultCarriesRequest()
    {
        CFaultTree objFault(el("Fault", {}, {},
                               {el("ID", {}, "0x1"), el("Request", {{"type", "get"}, {"id", "9"}}, {},
                                                        {el("Tuner", {}, {}, {el("Setup")})})}));
        QVERIFY(objFault.hasRequestMessage());
        ptrCXmlMessage ptrMsg;
        QCOMPARE(objFault.getRequestMessage(ptrMsg), 0);
        QVERIFY(ptrMsg);
        QCOMPARE(ptrMsg->getMessageID(), 9u);
        QCOMPARE(ptrMsg->getServiceType(), CXmlMessage::REQUEST_GET);
        QVERIFY(objFault.getRequestFragment().getComponentName() == Tag::Tuner);

        ptrCXmlMessage ptrUntouched;
        QCOMPARE(CFaultTree(el("Fault")).getRequestMessage(ptrUntouched), 0);
        QVERIFY(!ptrUntouched);
    }
};

QTEST_GUILESS_MAIN(TestFragments)
#include "tst_fragments.moc"

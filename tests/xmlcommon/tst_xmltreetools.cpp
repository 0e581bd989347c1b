#include "../common/TreeTestUtils.h"

#include <OrvexXmlInterface/xmlcommon/CFragmentChecker.h>
#include <OrvexXmlInterface/xmlcommon/ResultCodes.h>
#include <OrvexXmlInterface/xmlcommon/Tagnames.h>
#include <OrvexXmlInterface/xmlcommon/XmlTreeTools.h>

#include <QtTest/QtTest>

using namespace XmlCommon;
using namespace XmlCommon::XmlTreeTools;
using TestUtils::el;
using TestUtils::wire;

namespace
{
ptrCXmlElement indexed(std::initializer_list<const char*> a_lstIndices)
{
    ptrCXmlElement ptrRoot = el("List");
    for (const char* psz : a_lstIndices)
        ptrRoot->addChild(psz ? el("Item", {{"index", QString::fromLatin1(psz)}}) : el("Item"), -1);
    ptrRoot->addChild(el("Other", {{"index", "x"}}), -1);
    return ptrRoot;
}

ptrCXmlElement chain(int a_iDepth, const char* a_pszName = "L")
{
    ptrCXmlElement ptrRoot = el(a_pszName);
    ptrCXmlElement ptrTip = ptrRoot;
    for (int i = 1; i < a_iDepth; ++i) {
        ptrCXmlElement ptrChild = el(a_pszName, {{"d", QString::number(i)}});
        ptrTip->addChild(ptrChild, -1);
        ptrTip = ptrChild;
    }
    ptrTip->setValue(QStringLiteral("leaf"));
    return ptrRoot;
}

// Accepts fragments whose data element carries the given attribute.
class CHasAttribute : public IfFragmentTreeTest
{
public:
    explicit CHasAttribute(const char* a_pszName) : m_baName(a_pszName) {}
    void setTree(ptrCXmlElement a_ptrTree) override { m_ptrTree = a_ptrTree; }
    bool isAccepted() const override
    {
        const ptrCXmlElement ptrData = m_ptrTree ? m_ptrTree->getChildAt(0) : ptrCXmlElement();
        bool bFound = false;
        if (ptrData)
            ptrData->getAttribute(m_baName, &bFound);
        return bFound;
    }

private:
    QByteArray m_baName;
    ptrCXmlElement m_ptrTree;
};
}  // namespace

class TestTreeTools : public QObject
{
    Q_OBJECT

private slots:
    void search()
    {
        const ptrCXmlElement ptrRoot =
            el("R", {}, {}, {el("A", {}, {}, {el("X", {{"n", "grandchild"}})}), el("X", {{"n", "child"}})});
        QCOMPARE(findTagInTree(ptrRoot, CTagname("X"))->getAttribute("n"), QStringLiteral("child"));
        QCOMPARE(findTagInTree(ptrRoot, CTagname("X"), G_objCompEqual, true)->getAttribute("n"),
                 QStringLiteral("grandchild"));
        QVERIFY(findTagInTree(ptrRoot, CTagname("A"), G_objCompNotEqual)->tagname() == "X");
        QVERIFY(!findTagInTree(ptrRoot, CTagname("R")));  // never the root itself
        QVERIFY(!findTagInTree(ptrRoot, CTagname("")));
        QVERIFY(!findTagInTree(ptrCXmlElement(), CTagname("X")));

        QVERIFY(!findTagInTree(ptrRoot, CTagname("New")));
        QCOMPARE(ptrRoot->getNumberOfChildren(), 2);
        const ptrCXmlElement ptrNew = findTagInTree(ptrRoot, CTagname("New"), G_objCompEqual, false, true);
        QVERIFY(ptrNew && ptrRoot->getChildAt(2) == ptrNew);

        ptrRoot->addChild(el("X", {{"index", "3"}}), -1);
        QCOMPARE(XmlTreeTools::findChildren(ptrRoot, CTagname("X")).size(), 2);
        QVERIFY(getIndex(ptrRoot, CTagname("X"), 3));
        QVERIFY(!getIndex(ptrRoot, CTagname("X"), 4));
        removeTags(ptrRoot, CTagname("X"));
        QCOMPARE(wire(ptrRoot), QByteArray("<R>\n<A>\n<X n=\"grandchild\"/>\n</A>\n<New/>\n</R>\n"));
    }

    void searchAtAnyDepth()
    {
        // A caller's tree may be deeper than the call stack allows.
        const int iDepth = 100000;
        const ptrCXmlElement ptrRoot = chain(iDepth);
        ptrCXmlElement ptrTip = ptrRoot;
        while (ptrTip->getNumberOfChildren() > 0)
            ptrTip = ptrTip->getChildAt(0);
        ptrTip->addChild(el("Tip"), -1);
        ptrRoot->addChild(el("Tip", {{"n", "second"}}), -1);
        const ptrCXmlElement ptrFound = findTagInTree(ptrRoot, CTagname("Tip"), G_objCompEqual, true);
        QVERIFY(ptrFound && ptrFound->getAttribute("n").isNull());
        QVERIFY(!findTagInTree(ptrRoot, CTagname("Missing"), G_objCompEqual, true));
    }

    void indexedLists_data()
    {
        QTest::addColumn<ptrCXmlElement>("root");
        QTest::addColumn<int>("result");
        QTest::addColumn<unsigned int>("count");
        QTest::newRow("unordered") << indexed({"1", "0", "2"}) << 0 << 3u;
        QTest::newRow("empty list") << indexed({}) << 0 << 0u;
        QTest::newRow("duplicate") << indexed({"0", "0", "1"}) << int(RESULT_INDEX_DUPLICATE) << 0u;
        QTest::newRow("gap") << indexed({"0", "2"}) << int(RESULT_INDEX_GAP) << 0u;
        QTest::newRow("no index") << indexed({"0", nullptr}) << int(RESULT_INDEX_MISSING) << 0u;
        QTest::newRow("empty index") << indexed({""}) << int(RESULT_INDEX_MISSING) << 0u;
        QTest::newRow("not a number") << indexed({"a"}) << int(RESULT_INDEX_NOT_NUMBER) << 0u;
        QTest::newRow("hostile index") << indexed({"4000000000"}) << int(RESULT_INDEX_NOT_NUMBER) << 0u;
    }

    void indexedLists()
    {
        QFETCH(ptrCXmlElement, root);
        QFETCH(int, result);
        QFETCH(unsigned int, count);
        unsigned int uiCount = 99;
        QCOMPARE(checkIndices(root, CTagname("Item"), uiCount), result);
        QCOMPARE(uiCount, result == 0 ? count : 99u);
    }

    void vectorFromIndex()
    {
        QVector<ptrCXmlElement> vec;
        bool bComplete = true;
        QCOMPARE(getVectorFromIndex(indexed({"2", "0"}), CTagname("Item"), vec, bComplete), 0);
        QCOMPARE(vec.size(), 3);
        QVERIFY(vec.at(0) && !vec.at(1) && vec.at(2));
        QCOMPARE(vec.at(2)->getAttribute("index"), QStringLiteral("2"));
        QVERIFY(!bComplete);
        QCOMPARE(getVectorFromIndex(indexed({"1", "0"}), CTagname("Item"), vec, bComplete), 0);
        QVERIFY(bComplete);
        QCOMPARE(getVectorFromIndex(indexed({"1", "1"}), CTagname("Item"), vec, bComplete),
                 int(RESULT_INDEX_DUPLICATE));
        QCOMPARE(getVectorFromIndex(indexed({"99999999"}), CTagname("Item"), vec, bComplete),
                 int(RESULT_INDEX_NOT_NUMBER));
    }

    void comparisons()
    {
        const ptrCXmlElement ptrA = el("R", {{"a", "1"}, {"b", "2"}}, {}, {el("P", {}, "1"), el("Q", {{"x", "y"}})});
        const ptrCXmlElement ptrReordered =
            el("R", {{"b", "2"}, {"a", "1"}}, {}, {el("Q", {{"x", "y"}}), el("P", {}, "1")});
        const ptrCXmlElement ptrOtherValue =
            el("R", {{"a", "1"}, {"b", "2"}}, {}, {el("P", {}, "2"), el("Q", {{"x", "y"}})});
        QVERIFY(compareTrees(ptrA, ptrReordered, true, true));
        QVERIFY(!compareTrees(ptrA, ptrOtherValue, true, true));
        QVERIFY(compareTrees(ptrA, ptrOtherValue, false, true));
        QVERIFY(!compareTrees(ptrA, el("R"), false, false));
        QVERIFY(!compareTrees(ptrA, ptrCXmlElement(), false, false));

        QVERIFY(compareElements(ptrA, ptrReordered, true, true));
        QVERIFY(!compareElements(el("R"), el("R", {}, {}, {el("C")}), true, true));  // branch vs empty
        QVERIFY(compareElements(el("R", {{"a", "1"}}), el("R", {{"a", "1"}}), false, true));
        QVERIFY(!compareElements(el("R", {{"a", "1"}}), el("R", {{"a", "1"}, {"b", "2"}}), false, true));
        QVERIFY(!compareElements(el("R", {}, "1"), el("R", {}, "2"), true, false));
        QVERIFY(!compareElements(el("R"), el("S"), false, false));

        QVERIFY(isTree1_partof_Tree2(el("R", {}, {}, {el("Q")}), ptrA, false, false));
        QVERIFY(!isTree1_partof_Tree2(ptrA, el("R", {}, {}, {el("Q")}), false, false));

        const CMsgFragment objFragment(
            el("Tuner", {{"version", "2"}}, {}, {el("Setup", {{"id", "1"}}, {}, {el("F")})}));
        const CMsgFragment objRicher(
            el("Tuner", {{"version", "2"}, {"extra", "x"}}, {}, {el("Setup", {{"id", "1"}, {"b", "2"}})}));
        QVERIFY(checkCompatibility(objFragment, objRicher));
        QVERIFY(!checkCompatibility(objRicher, objFragment));
        QVERIFY(!compareFragments(objFragment, objRicher));
        QVERIFY(compareFragments(objFragment,
                                 CMsgFragment(el("Tuner", {{"version", "2"}}, {}, {el("Setup", {{"id", "1"}})}))));
        QVERIFY(!compareFragments(objFragment, CMsgFragment()));
        QVERIFY(!checkCompatibility(objFragment, CMsgFragment(el("Tuner", {{"version", "2"}}))));
    }

    void transfers()
    {
        const ptrCXmlElement ptrDest = el("D", {}, {}, {el("A", {}, "old"), el("B")});
        const ptrCXmlElement ptrSrc = el("S", {}, {}, {el("A", {}, "new"), el("E")});
        QVERIFY(copyChildren(ptrDest, ptrSrc, TRANSFER_REPLACE, true));
        QCOMPARE(wire(ptrDest), QByteArray("<D>\n<B/>\n<A>new</A>\n</D>\n"));
        QVERIFY(copyChildren(ptrDest, ptrSrc, TRANSFER_APPEND, false));
        QCOMPARE(XmlTreeTools::findChildren(ptrDest, CTagname("A")).size(), 2);
        QVERIFY(!copyChildren(ptrDest, ptrDest, TRANSFER_APPEND, false));
        QVERIFY(!copyChildren(ptrDest, ptrCXmlElement(), TRANSFER_APPEND, false));
        QVERIFY(moveChildren(ptrDest, ptrSrc, TRANSFER_APPEND));
        QCOMPARE(ptrSrc->getNumberOfChildren(), 0);
    }

    void merge()
    {
        ptrCXmlElement ptrDest = el("R", {}, {}, {el("A", {}, {}, {el("X", {}, "1")}), el("Leaf", {}, "v")});
        const ptrCXmlElement ptrSrc = el("R", {{"ignored", "1"}}, "",
                                         {el("A", {}, {}, {el("Y", {}, "2"), el("X", {}, "9")}),
                                          el("Leaf", {}, {}, {el("Child")}), el("New", {{"k", "v"}}, "3")});
        mergeTrees(ptrDest, ptrSrc);
        QCOMPARE(wire(ptrDest),
                 QByteArray("<R>\n<A>\n<X>1</X>\n<Y>2</Y>\n</A>\n<Leaf>v</Leaf>\n<New k=\"v\">3</New>\n</R>\n"));
        ptrCXmlElement ptrEmpty = el("R");
        mergeTrees(ptrEmpty, el("R", {{"a", "1"}}, {}, {el("C")}));
        QCOMPARE(wire(ptrEmpty), QByteArray("<R a=\"1\">\n<C/>\n</R>\n"));
        ptrCXmlElement ptrNull;
        mergeTrees(ptrNull, ptrSrc);
        QVERIFY(ptrNull && ptrNull != ptrSrc && compareTrees(ptrNull, ptrSrc, true, true));
        ptrCXmlElement ptrOther = el("Other");
        mergeTrees(ptrOther, ptrSrc);
        QCOMPARE(ptrOther->getNumberOfChildren(), 0);
    }

    void cleaning()
    {
        const ptrCXmlElement ptrA = el("A", {}, "v", {el("B"), el("D", {{"x", "1"}}), el("E", {}, {}, {el("F")})});
        QVERIFY(!removeEmptyElements(ptrA));
        QCOMPARE(wire(ptrA), QByteArray("<A>v</A>\n"));
        QCOMPARE(ptrA->getNumberOfChildren(), 1);
        QVERIFY(removeEmptyElements(el("A", {}, {}, {el("B")})));
        QVERIFY(!removeEmptyElements(ptrCXmlElement()));
        removeValues(ptrA);
        QVERIFY(ptrA->getValue().isEmpty());

        ptrCXmlElement ptrDest;
        const ptrCXmlElement ptrSrc =
            el("Frag", {{"v", "1"}}, {}, {el("Request", {}, {}, {el("Data")}), el("Data", {}, "x", {el("Request")})});
        QCOMPARE(removeRequestTrees(ptrSrc, ptrDest), 0);
        QCOMPARE(wire(ptrDest), QByteArray("<Frag v=\"1\">\n<Data>x</Data>\n</Frag>\n"));
        QCOMPARE(ptrDest->getChildAt(0)->getNumberOfChildren(), 0);
        QCOMPARE(removeRequestTrees(el("Request"), ptrDest), int(RESULT_INVALID_ARG));
        QCOMPARE(removeRequestTrees(ptrDest, ptrDest), int(RESULT_INVALID_ARG));
    }

    void filters_data()
    {
        QTest::addColumn<ptrCXmlElement>("filter");
        QTest::addColumn<QByteArray>("positive");
        QTest::addColumn<QByteArray>("negative");
        QTest::newRow("all") << el("R", {}, {}, {el("All")})
                             << QByteArray("<R a=\"1\">\n<P>1</P>\n<Q/>\n<S>\n<T>2</T>\n</S>\n</R>\n") << QByteArray();
        QTest::newRow("one leaf") << el("R", {}, {}, {el("P")}) << QByteArray("<R a=\"1\">\n<P>1</P>\n</R>\n")
                                  << QByteArray("<R a=\"1\">\n<Q/>\n<S>\n<T>2</T>\n</S>\n</R>\n");
        QTest::newRow("branch by name") << el("R", {}, {}, {el("S", {}, {}, {el("T")})})
                                        << QByteArray("<R a=\"1\">\n<S>\n<T>2</T>\n</S>\n</R>\n")
                                        << QByteArray("<R a=\"1\">\n<P>1</P>\n<Q/>\n</R>\n");
        QTest::newRow("branch with nothing selected")
            << el("R", {}, {}, {el("S", {}, {}, {el("Z")})}) << QByteArray()
            << QByteArray("<R a=\"1\">\n<P>1</P>\n<Q/>\n<S>\n<T>2</T>\n</S>\n</R>\n");
        QTest::newRow("other root") << el("X", {}, {}, {el("P")}) << QByteArray()
                                    << QByteArray("<R a=\"1\">\n<P>1</P>\n<Q/>\n<S>\n<T>2</T>\n</S>\n</R>\n");
    }

    void filters()
    {
        QFETCH(ptrCXmlElement, filter);
        QFETCH(QByteArray, positive);
        QFETCH(QByteArray, negative);
        const ptrCXmlElement ptrData =
            el("R", {{"a", "1"}}, {}, {el("P", {}, "1"), el("Q"), el("S", {}, {}, {el("T", {}, "2")})});
        const QByteArray baBefore = wire(ptrData);
        ptrCXmlElement ptrPositive;
        applyFilter(filter, ptrData, ptrPositive);
        QCOMPARE(wire(ptrPositive), positive);
        ptrCXmlElement ptrNegative;
        QCOMPARE(applyNegativeFilter(filter, ptrData, ptrNegative), 0);
        QCOMPARE(wire(ptrNegative), negative);
        QCOMPARE(wire(ptrData), baBefore);  // the data are never changed
        QCOMPARE(applyFilter(ptrCXmlElement(), ptrData, ptrPositive), int(RESULT_INVALID_ARG));
        QCOMPARE(applyNegativeFilter(filter, ptrCXmlElement(), ptrNegative), int(RESULT_INVALID_ARG));
    }

    void deepTreesWithinParserLimit()
    {
        // The parser lets through 1,000 levels; every recursive tool must cope with that.
        const ptrCXmlElement ptrA = chain(1000);
        const ptrCXmlElement ptrB = ptrA->copy(true);
        QVERIFY(compareTrees(ptrA, ptrB, true, true));
        QVERIFY(compareTrees(ptrA, ptrB, false, true));
        QVERIFY(isTree1_partof_Tree2(ptrA, ptrB, true, true));
        ptrCXmlElement ptrMerged = el("L");
        mergeTrees(ptrMerged, ptrA);
        ptrCXmlElement ptrFiltered;
        QCOMPARE(applyFilter(chain(1000), ptrA, ptrFiltered), 0);
        QCOMPARE(wire(ptrFiltered), wire(ptrA));
        ptrCXmlElement ptrNegative;
        QCOMPARE(applyNegativeFilter(chain(1000), ptrA, ptrNegative), 0);
        ptrCXmlElement ptrNoRequests;
        QCOMPARE(removeRequestTrees(ptrA, ptrNoRequests), 0);
        QVERIFY(!removeEmptyElements(ptrB));
        removeValues(ptrB);
        QVERIFY(!ptrA->toString().isEmpty());
    }

    void fragmentChecker()
    {
        CFragmentChecker objChecker(7);
        QVERIFY(!objChecker.isConfigured());
        QVERIFY(!objChecker.addComponent(QStringLiteral("Tuner"), {}));
        QVERIFY(objChecker.addComponent(QStringLiteral("Tuner"), {{CXmlMessage::REQUEST_SET, 1}}));
        QVERIFY(!objChecker.addComponent(QStringLiteral("Tuner"), {{CXmlMessage::REQUEST_GET, 2}}));
        QVERIFY(objChecker.addTreeRule(QStringLiteral("Tuner"), QSharedPointer<CHasAttribute>::create("fast"),
                                       {{CXmlMessage::REQUEST_GET, 3}}));
        QVERIFY(objChecker.isConfigured());

        auto message = [](CXmlMessage::eSERVICE_TYPES a_eType, const ptrCXmlElement& a_ptrFragment) {
            ptrCXmlMessage ptrMsg(new CXmlMessage);
            ptrMsg->setServiceType(a_eType);
            ptrMsg->addFragment(CMsgFragment(a_ptrFragment));
            return ptrMsg;
        };
        QCOMPARE(objChecker.checkFragment(message(CXmlMessage::REQUEST_SET, el("Tuner", {}, {}, {el("S")})), 0), 1u);
        QCOMPARE(objChecker.checkFragment(
                     message(CXmlMessage::REQUEST_GET, el("Tuner", {}, {}, {el("S", {{"fast", "1"}})})), 0),
                 3u);
        QCOMPARE(objChecker.checkFragment(
                     message(CXmlMessage::REPLY_GET, el("Tuner", {}, {}, {el("S", {{"fast", "1"}})})), 0),
                 7u);
        QCOMPARE(objChecker.checkFragment(message(CXmlMessage::REQUEST_GET, el("Tuner", {}, {}, {el("S")})), 0), 7u);
        QCOMPARE(objChecker.checkFragment(message(CXmlMessage::REQUEST_SET, el("Storage")), 0), 7u);
        QCOMPARE(objChecker.checkFragment(message(CXmlMessage::REQUEST_SET, el("Tuner")), 1), 7u);
        QCOMPARE(objChecker.checkFragment(ptrCXmlMessage(), 0), 7u);
    }
};

QTEST_GUILESS_MAIN(TestTreeTools)
#include "tst_xmltreetools.moc"

#include "../common/TreeTestUtils.h"

#include "xmlcommon/CXmlMessage_p.h"
#include <OrvexXmlInterface/platform/Platform.h>
#include <OrvexXmlInterface/xmlcommon/ResultCodes.h>
#include <OrvexXmlInterface/xmlcommon/Tagnames.h>

#include <QtCore/QThread>
#include <QtTest/QtTest>

#include <future>
#include <thread>

using namespace XmlCommon;
using TestUtils::el;
using TestUtils::wire;

namespace
{
// Reaches the process-wide id counter to test its wrap-around.
ptrCXmlMessage setRequest()
{
    ptrCXmlMessage ptrMsg(new CXmlMessage(7));
    ptrMsg->setServiceType(CXmlMessage::REQUEST_SET);
    ptrMsg->setMessageID(12);
    ptrMsg->setAvailableTime(2000000);
    CMsgFragment objFragment;
    objFragment.setComponentName(Tag::ResourceManager);
    objFragment.setComponentVersion(QStringLiteral("2"));
    objFragment.setDataTree(CDataTree(ptrCXmlElement(new CXmlElement(Tag::SystemReset))));
    ptrMsg->addFragment(objFragment);
    return ptrMsg;
}

// a_iCount messages; a_vecChildren keeps a child of each, to watch its tree's release.
std::vector<ptrCXmlMessage> makeMessages(int a_iCount, std::vector<ptrCXmlElement>& a_vecChildren)
{
    std::vector<ptrCXmlMessage> vecMessages;
    for (int i = 0; i < a_iCount; ++i) {
        ptrCXmlElement ptrRoot(new CXmlElement(Tag::Event));
        a_vecChildren.push_back(ptrCXmlElement(new CXmlElement(Tag::Comment)));
        ptrRoot->addChild(a_vecChildren.back(), -1);
        vecMessages.push_back(ptrCXmlMessage(new CXmlMessage(1)));
        vecMessages.back()->setElementTree(ptrRoot);
    }
    return vecMessages;
}

int unreleased(const std::vector<ptrCXmlElement>& a_vecChildren)
{
    return int(std::count_if(a_vecChildren.begin(), a_vecChildren.end(),
                             [](const ptrCXmlElement& a_ptr) { return a_ptr->ref.loadRelaxed() > 1; }));
}

// A thread with its own loop that makes messages and keeps a home for their trees.
class CHomeThread
{
public:
    CHomeThread()
    {
        m_objContext.moveToThread(&m_objThread);
        m_objThread.start();
        run([] { MessageHome::open(); });
    }
    ~CHomeThread()
    {
        close();
        m_objThread.quit();
        m_objThread.wait();
    }
    template <class F> void run(F a_fnWork)
    {
        QMetaObject::invokeMethod(&m_objContext, a_fnWork, Qt::BlockingQueuedConnection);
    }
    void close()
    {
        if (m_bOpen)
            run([] { MessageHome::close(); });
        m_bOpen = false;
    }
    // Returns when the home's loop has had time to go to sleep again.
    std::vector<ptrCXmlMessage> make(int a_iCount)
    {
        std::vector<ptrCXmlMessage> vecMessages;
        run([&] { vecMessages = makeMessages(a_iCount, m_vecChildren); });
        QTest::qWait(100);
        return vecMessages;
    }
    int unreleased() const { return ::unreleased(m_vecChildren); }

private:
    QThread m_objThread;
    QObject m_objContext;
    std::vector<ptrCXmlElement> m_vecChildren;
    bool m_bOpen = true;
};

const QByteArray s_baSetRequest("<Request type=\"set\" id=\"12\" time=\"2000000\">\n"
                                "<ResourceManager version=\"2\">\n"
                                "<SystemReset/>\n"
                                "</ResourceManager>\n"
                                "</Request>\n");
}  // namespace

class TestXmlMessage : public QObject
{
    Q_OBJECT

private slots:
    void continuousIds()
    {
        MessageTesting::setLastContinuousId(0);
        const CXmlMessage objFirst;
        QCOMPARE(objFirst.getContinuousId(), 1u);
        QCOMPARE(CXmlMessage(0).getContinuousId(), 2u);
        MessageTesting::setLastContinuousId(4294967294u);
        QCOMPARE(CXmlMessage::getNextId(), 4294967295u);
        QCOMPARE(CXmlMessage::getNextId(), 1u);
        QCOMPARE(CXmlMessage().getContinuousId(), 2u);
    }

    void instanceCount()
    {
        const int iBefore = CXmlMessage::getNumberOfInstances();
        {
            ptrCXmlMessage ptrA(new CXmlMessage);
            const CXmlMessage objCopy(*ptrA);
            ptrCXmlMessage ptrB = ptrA->copyShared(true);
            QCOMPARE(CXmlMessage::getNumberOfInstances(), iBefore + 3);
            QVERIFY(CXmlMessage::getMaxNumberOfInstances() >= iBefore + 3);
        }
        QCOMPARE(CXmlMessage::getNumberOfInstances(), iBefore);
    }

    void treesGoHomeToBeReleased()
    {
        {  // released elsewhere: the tree waits for the home's next turn of its loop
            CHomeThread objHome;
            objHome.make(3).clear();
            QCOMPARE(objHome.unreleased(), 3);
            objHome.run([] {});
            QTRY_COMPARE(objHome.unreleased(), 0);
        }
        {  // released at home, or after the home closed: at once
            CHomeThread objHome;
            std::vector<ptrCXmlMessage> vecMessages = objHome.make(4);
            objHome.run([&] { vecMessages.resize(2); });
            QCOMPARE(objHome.unreleased(), 2);
            objHome.close();
            vecMessages.clear();
            QCOMPARE(objHome.unreleased(), 0);
        }
        {  // a thread without a Qt loop keeps fewer waiting, and releases them when it ends
            std::vector<ptrCXmlMessage> vecMessages;
            std::vector<ptrCXmlElement> vecChildren;
            std::promise<void> objMade;
            std::promise<void> objChecked;
            std::thread objHome([&] {
                MessageHome::open();
                vecMessages = makeMessages(100, vecChildren);
                objMade.set_value();
                objChecked.get_future().wait();
            });
            objMade.get_future().wait();
            vecMessages.clear();
            QCOMPARE(unreleased(vecChildren), 64);
            objChecked.set_value();
            objHome.join();
            QCOMPARE(unreleased(vecChildren), 0);
        }
        {  // a sleeping home is woken once a few dozen trees wait
            CHomeThread objHome;
            objHome.make(64).clear();
            QTRY_COMPARE(objHome.unreleased(), 0);
        }
    }

    void wireExamples()
    {
        const ptrCXmlMessage ptrRequest = setRequest();
        QCOMPARE(wire(ptrRequest->getElementTree()), s_baSetRequest);
        QCOMPARE(ptrRequest->getServiceType(), CXmlMessage::REQUEST_SET);

        ptrRequest->setTimeout(Platform::nowMonotonicUs() + 5000000);
        const ptrCXmlMessage ptrLag = ptrRequest->generateTimeoutIncrementMsg(500000, false);
        QVERIFY(ptrLag);
        QCOMPARE(wire(ptrLag->getElementTree()), QByteArray("<Reply type=\"lag\" time=\"500000\" id=\"12\"/>\n"));
        QCOMPARE(ptrLag->getServiceType(), CXmlMessage::REPLY_LAG);
        QCOMPARE(wire(ptrLag->getRequestParentFirstTag()),
                 QByteArray("<Request type=\"set\" id=\"12\" time=\"2000000\"/>\n"));

        ptrRequest->changeRequestToReply(0, 0);
        QCOMPARE(wire(ptrRequest->getElementTree()), QByteArray("<Reply type=\"set\" id=\"12\">\n"
                                                                "<ResourceManager version=\"2\">\n<SystemReset/>\n"
                                                                "</ResourceManager>\n</Reply>\n"));
        QCOMPARE(ptrRequest->getServiceType(), CXmlMessage::REPLY_SET);
        QVERIFY(ptrRequest->isReply());
    }

    void faultReply()
    {
        const ptrCXmlMessage ptrRequest = setRequest();
        ptrRequest->changeRequestToReply(0x02400007, 1700000000000001ull);
        QCOMPARE(wire(ptrRequest->getElementTree()),
                 QByteArray("<Reply type=\"set\" id=\"12\">\n"
                            "<ResourceManager version=\"2\">\n"
                            "<Request>\n<SystemReset/>\n</Request>\n"
                            "<Fault>\n"
                            "<ID>0x2400007</ID>\n"
                            "<TimeStamp timeZone=\"UTC\" unit=\"us\">1700000000000001</TimeStamp>\n"
                            "<Request type=\"set\" id=\"12\" time=\"2000000\">\n"
                            "<ResourceManager version=\"2\">\n<SystemReset/>\n</ResourceManager>\n"
                            "</Request>\n"
                            "</Fault>\n"
                            "</ResourceManager>\n"
                            "</Reply>\n"));
        const CFaultTree objFault = ptrRequest->getFragment(0).getFaultTree();
        unsigned int uiId = 0;
        QCOMPARE(objFault.getID(uiId), 0);
        QCOMPARE(uiId, 0x02400007u);
        QVERIFY(objFault.getRequestFragment().getDataTree().getDataName() == Tag::SystemReset);

        // Only one of fault id and time stamp: a plain reply.
        for (auto ids : {std::make_pair(0u, 5ull), std::make_pair(5u, 0ull)}) {
            const ptrCXmlMessage ptrPlain = setRequest();
            ptrPlain->changeRequestToReply(ids.first, ids.second);
            QCOMPARE(wire(ptrPlain->getFragment(0)), QByteArray("<ResourceManager version=\"2\">\n<SystemReset/>\n"
                                                                "</ResourceManager>\n"));
            QVERIFY(ptrPlain->getAvailableTime() == 0);
        }
        // Not a request: nothing changes.
        const ptrCXmlMessage ptrEvent(new CXmlMessage);
        ptrEvent->setServiceType(CXmlMessage::BROADCAST);
        ptrEvent->changeRequestToReply(1, 1);
        QCOMPARE(wire(ptrEvent->getElementTree()), QByteArray("<Event/>\n"));
    }

    void serviceTypes_data()
    {
        QTest::addColumn<ptrCXmlElement>("root");
        QTest::addColumn<int>("type");
        QTest::newRow("get request") << el("Request", {{"type", "get"}}) << 1;
        QTest::newRow("set request") << el("Request", {{"type", "set"}}) << 2;
        QTest::newRow("get reply") << el("Reply", {{"type", "get"}}) << 3;
        QTest::newRow("set reply") << el("Reply", {{"type", "set"}}) << 4;
        QTest::newRow("event") << el("Event", {{"type", "whatever"}}) << 5;
        QTest::newRow("lag") << el("Reply", {{"type", "lag"}}) << 6;
        QTest::newRow("lag request") << el("Request", {{"type", "lag"}}) << 0;
        QTest::newRow("no type") << el("Request") << 0;
        QTest::newRow("empty type") << el("Reply", {{"type", ""}}) << 0;
        QTest::newRow("case") << el("Reply", {{"type", "GET"}}) << 0;
        QTest::newRow("other root") << el("reply", {{"type", "get"}}) << 0;
        QTest::newRow("no root") << ptrCXmlElement() << 0;
    }

    void serviceTypes()
    {
        QFETCH(ptrCXmlElement, root);
        QFETCH(int, type);
        CXmlMessage objMsg;
        objMsg.setElementTree(root);
        QCOMPARE(int(objMsg.getServiceType()), type);
        QCOMPARE(objMsg.isRequest(), type == 1 || type == 2);
        QCOMPARE(objMsg.isReply(), type == 3 || type == 4);
    }

    void serviceTypeSetter()
    {
        CXmlMessage objMsg;
        QCOMPARE(objMsg.setServiceType(CXmlMessage::eSERVICE_TYPES(7)), int(RESULT_INVALID_ARG));
        QCOMPARE(objMsg.setServiceType(CXmlMessage::NONE), int(RESULT_INVALID_ARG));
        QVERIFY(objMsg.isNull());
        objMsg.setMessageID(3);
        objMsg.setAvailableTime(10);
        QCOMPARE(objMsg.setServiceType(CXmlMessage::REPLY_GET), 0);
        QCOMPARE(wire(objMsg.getElementTree()), QByteArray("<Reply id=\"3\" time=\"10\" type=\"get\"/>\n"));
        QCOMPARE(objMsg.setServiceType(CXmlMessage::BROADCAST), 0);
        QCOMPARE(wire(objMsg.getElementTree()), QByteArray("<Event/>\n"));
        QCOMPARE(QByteArray(CXmlMessage::servicetypeToString(CXmlMessage::REPLY_LAG)), QByteArray("REPLY_LAG"));
        QCOMPARE(QByteArray(CXmlMessage::servicetypeToString(CXmlMessage::eSERVICE_TYPES(9))), QByteArray("UNKNOWN"));
        QCOMPARE(QByteArray(CXmlMessage::servicetypeToString(CXmlMessage::eSERVICE_TYPES(-1))), QByteArray("UNKNOWN"));
    }

    void messageIds_data()
    {
        QTest::addColumn<ptrCXmlElement>("root");
        QTest::addColumn<unsigned int>("id");
        QTest::addColumn<bool>("ok");
        QTest::newRow("number") << el("Request", {{"id", "42"}}) << 42u << true;
        QTest::newRow("absent") << el("Request") << 0u << true;
        QTest::newRow("zero") << el("Request", {{"id", "0"}}) << 0u << false;
        QTest::newRow("empty") << el("Request", {{"id", ""}}) << 0u << false;
        QTest::newRow("text") << el("Request", {{"id", "x1"}}) << 0u << false;
        QTest::newRow("negative") << el("Request", {{"id", "-1"}}) << 0u << false;
        QTest::newRow("too large") << el("Request", {{"id", "4294967296"}}) << 0u << false;
        QTest::newRow("no root") << ptrCXmlElement() << 0u << false;
    }

    void messageIds()
    {
        QFETCH(ptrCXmlElement, root);
        QFETCH(unsigned int, id);
        QFETCH(bool, ok);
        CXmlMessage objMsg;
        objMsg.setElementTree(root);
        bool bOk = !ok;
        QCOMPARE(objMsg.getMessageID(&bOk), id);
        QCOMPARE(bOk, ok);
    }

    void idGeneratorAndEnvelope()
    {
        CXmlMessage objMsg;
        QCOMPARE(objMsg.setMessageID_byGenerator(), objMsg.getContinuousId());
        QCOMPARE(objMsg.getMessageID(), objMsg.getContinuousId());
        QVERIFY(objMsg.getElementTree()->tagname() == Tag::NoTagname);
        QVERIFY(objMsg.setAvailableTime(1000000000));
        QVERIFY(!objMsg.setAvailableTime(1000000001));
        QCOMPARE(objMsg.getAvailableTime(), 1000000000u);
        objMsg.setOrigin(QStringLiteral("unit \"7\""));
        objMsg.orderRequestTree();
        QCOMPARE(objMsg.getOrigin(), QStringLiteral("unit \"7\""));
        QCOMPARE(objMsg.getElementTree()->getAttribute("requestTree"), QStringLiteral("1"));
        QCOMPARE(CXmlMessage().getOrigin(), QString());
        QCOMPARE(CXmlMessage().getAvailableTime(), 0u);
    }

    void fragments()
    {
        CXmlMessage objMsg;
        QCOMPARE(objMsg.removeFragment(CMsgFragment(el("A"))), int(RESULT_NO_ROOT));
        QCOMPARE(objMsg.getNumberOfFragments(), 0);
        QVERIFY(objMsg.getFragment(0).isNull());
        const CMsgFragment objA(el("A")), objB(el("B"));
        QCOMPARE(objMsg.addFragment(objA, -1), 0);
        QCOMPARE(objMsg.addFragment(objB, 0), 0);
        QCOMPARE(objMsg.addFragment(CMsgFragment(), 0), int(RESULT_INVALID_ARG));
        QCOMPARE(objMsg.getComponentTags(), (QStringList{QStringLiteral("B"), QStringLiteral("A")}));
        QCOMPARE(objMsg.removeFragment(CMsgFragment(el("A"))), int(RESULT_MISSING));
        QCOMPARE(objMsg.removeFragment(objA), 0);
        QCOMPARE(objMsg.getNumberOfFragments(), 1);
        QVERIFY(objMsg.getFragment(0).getElementTree() == objB.getElementTree());
    }

    void deadlines()
    {
        CXmlMessage objMsg;
        QCOMPARE(objMsg.getRemainingTime(), 0u);
        objMsg.addRemainingTime(1000000);
        QCOMPARE(objMsg.getTimeout(), 0ull);  // no deadline: nothing to lengthen

        const unsigned long long ullNow = Platform::nowMonotonicUs();
        objMsg.setTimeout(ullNow + 5000000000ull);
        QCOMPARE(objMsg.getRemainingTime(), 1000000000u);

        objMsg.setTimeout(ullNow + 3000000);
        const ptrCXmlMessage ptrShared = objMsg.copyShared(false);
        QVERIFY(ptrShared->isNull());
        QCOMPARE(ptrShared->getContinuousId(), objMsg.getContinuousId());
        ptrShared->addRemainingTime(1000000);
        QCOMPARE(objMsg.getTimeout(), ullNow + 4000000);
        const unsigned int uiRemaining = objMsg.getRemainingTime();
        QVERIFY(uiRemaining > 3000000 && uiRemaining <= 4000000);

        objMsg.setTimeout(Platform::nowMonotonicUs() - 1);
        objMsg.addRemainingTime(1000000);
        QCOMPARE(objMsg.getRemainingTime(), 0u);
        QVERIFY(objMsg.getTimeout() < Platform::nowMonotonicUs());
    }

    void creationTimestamps()
    {
        const unsigned long long ullUtcBefore = Platform::nowUtcUs();
        ptrCXmlMessage ptrOld(new CXmlMessage);
        QVERIFY(ptrOld->getCreationTimestamp(CXmlMessage::TIMESTAMP_ABSOLUTE) >= ullUtcBefore);
        QVERIFY(ptrOld->getCreationTimestamp(CXmlMessage::TIMESTAMP_MONOTONIC) <= Platform::nowMonotonicUs());
        QThread::msleep(2);
        CXmlMessage objNew;
        QVERIFY(objNew.getCreationTimestamp(CXmlMessage::TIMESTAMP_MONOTONIC) >
                ptrOld->getCreationTimestamp(CXmlMessage::TIMESTAMP_MONOTONIC));
        objNew.setCreationTimestamp(ptrOld);
        QCOMPARE(objNew.getCreationTimestamp(CXmlMessage::TIMESTAMP_MONOTONIC),
                 ptrOld->getCreationTimestamp(CXmlMessage::TIMESTAMP_MONOTONIC));
        QCOMPARE(objNew.getCreationTimestamp(CXmlMessage::TIMESTAMP_ABSOLUTE),
                 ptrOld->getCreationTimestamp(CXmlMessage::TIMESTAMP_ABSOLUTE));
        ptrCXmlMessage ptrNull;
        objNew.setCreationTimestamp(ptrNull);
    }

    void lagReplies()
    {
        const ptrCXmlMessage ptrRequest = setRequest();
        QVERIFY(!ptrRequest->generateTimeoutIncrementMsg(1000, false));  // no deadline yet
        ptrRequest->setTimeout(Platform::nowMonotonicUs() + 2000000);
        QVERIFY(!ptrRequest->generateTimeoutIncrementMsg(0, false));
        QVERIFY(!ptrRequest->generateTimeoutIncrementMsg(1000000001, false));

        // The parent is left open: the lag reply lengthens the request's shared deadline once.
        const unsigned long long ullDeadline = ptrRequest->getTimeout();
        const ptrCXmlMessage ptrOpen = ptrRequest->generateTimeoutIncrementMsg(700000, true);
        QVERIFY(ptrOpen && !ptrOpen->isParentUpdated());
        ptrOpen->updateRequestParent();
        ptrOpen->updateRequestParent();
        QVERIFY(ptrOpen->isParentUpdated());
        QCOMPARE(ptrRequest->getTimeout(), ullDeadline + 700000);

        const ptrCXmlMessage ptrClosed = ptrRequest->generateTimeoutIncrementMsg(300000, false);
        ptrClosed->updateRequestParent();
        QCOMPARE(ptrRequest->getTimeout(), ullDeadline + 700000);

        // A lag reply to a lag reply keeps naming the original request.
        const ptrCXmlMessage ptrSecond = ptrOpen->generateTimeoutIncrementMsg(100000, false);
        QVERIFY(ptrSecond->getRequestParentFirstTag() == ptrOpen->getRequestParentFirstTag());

        ptrCXmlMessage ptrReply = setRequest();
        ptrReply->changeRequestToReply(0, 0);
        ptrReply->setTimeout(Platform::nowMonotonicUs() + 2000000);
        QVERIFY(!ptrReply->generateTimeoutIncrementMsg(1000, false));
        ptrReply->setServiceType(CXmlMessage::BROADCAST);
        QVERIFY(!ptrReply->generateTimeoutIncrementMsg(1000, false));
    }

    void logHeaders_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<int>("direction");
        QTest::addColumn<QString>("expected");  // %C continuous id, %R remaining seconds
        QTest::newRow("received request") << 2 << 1
                                          << "\nReceiving Msg; Service: REQUEST_SET; ID: 12/[%C]; Conn.Id: 7; "
                                             "Avail.Time: 2.500s; Rem.Time: 0.000";
        QTest::newRow("received lag") << 6 << 1
                                      << "\nReceiving Msg; Service: REPLY_LAG; ID: 12; Conn.Id: 7; Add.Time: 2.500s";
        QTest::newRow("received reply") << 4 << 1
                                        << "\nReceiving Msg; Service: REPLY_SET; ID: 12/[%C]; ConnectionId: 7";
        QTest::newRow("sending request")
            << 1 << 2 << "\nSending Msg; Service: REQUEST_GET; ID: 12/[%C]; Conn.Id: 7; Avail.Time: 2.500s";
        QTest::newRow("sending event") << 5 << 2 << "\nSending Msg; Service: BROADCAST; ID: 12";
        QTest::newRow("sending lag") << 6 << 2
                                     << "\nSending Msg; Service: REPLY_LAG; ID: 12; Conn.Id: 7; Add.Time: 2.500s";
        QTest::newRow("sending reply") << 3 << 2 << "\nSending Msg; Service: REPLY_GET; ID: 12/[%C]; ConnectionId: 7";
        QTest::newRow("neutral request") << 2 << 0
                                         << "\nMsg; Service: REQUEST_SET; ID: 12/[%C]; Conn.Id: 7; Time: 2.500s";
        QTest::newRow("neutral lag") << 6 << 9 << "\nMsg; Service: REPLY_LAG; ID: 12; Conn.Id: 7; Add.Time: 2.500s";
        QTest::newRow("neutral reply") << 4 << 0 << "\nMsg; Service: REPLY_SET; ID: 12/[%C]; Conn.Id: 7";
        QTest::newRow("no header") << 2 << 3 << "";
    }

    void logHeaders()
    {
        QFETCH(int, type);
        QFETCH(int, direction);
        QFETCH(QString, expected);
        CXmlMessage objMsg(7);
        objMsg.setServiceType(CXmlMessage::eSERVICE_TYPES(type));
        objMsg.setMessageID(12);
        objMsg.setAvailableTime(2500000);
        expected.replace(QLatin1String("%C"), QString::number(objMsg.getContinuousId()));
        const QString strBody = objMsg.getElementTree()->toDbgString(QString(), true, false, true, false);
        QCOMPARE(objMsg.toDbgString(CXmlMessage::eMESSAGE_DIRECTION(direction)), expected + strBody);
    }
};

QTEST_GUILESS_MAIN(TestXmlMessage)
#include "tst_cxmlmessage.moc"

#include "../../common/TreeTestUtils.h"

#include <OrvexXmlInterface/xmlcommunication/transport/CCutNPasteFragments.h>

#include <QtTest/QtTest>

using namespace XmlCommon;
using namespace XmlCommunication;
using TestUtils::el;

namespace
{
// A request from a compact description: "L" a layer fragment, "H" a host fragment, one per letter.
ptrCXmlMessage request(const QString& a_strLayout, unsigned int a_uiId = 41)
{
    ptrCXmlMessage ptrMsg(new CXmlMessage(7));
    ptrMsg->setServiceType(CXmlMessage::REQUEST_SET);
    ptrMsg->setMessageID(a_uiId);
    ptrMsg->setAvailableTime(2000000);
    for (int i = 0; i < a_strLayout.size(); ++i) {
        const bool bLayer = a_strLayout.at(i) == QLatin1Char('L');
        const QByteArray baData = "D" + QByteArray::number(i);
        ptrMsg->addFragment(CMsgFragment(el(bLayer ? "XmlCommunicationDevice" : "Tuner", {}, {},
                                            {el(baData.constData(), {{"n", QString::number(i)}})})));
    }
    return ptrMsg;
}

// Each fragment as "component/data name", with "@i" for a specialIndex it still carries.
QStringList layout(const ptrCXmlMessage& a_ptrMsg)
{
    QStringList lst;
    for (int i = 0; i < a_ptrMsg->getNumberOfFragments(); ++i) {
        const CMsgFragment objFragment = a_ptrMsg->getFragment(unsigned(i));
        QString str = objFragment.getComponentName();
        const CDataTree objData =
            objFragment.hasRequestTree() ? objFragment.getRequestTree().getDataTree() : objFragment.getDataTree();
        str += QLatin1Char('/') + static_cast<const QString&>(objData.getDataName());
        bool bFound = false;
        const QString strIndex = objFragment.getElementTree()->getAttribute("specialIndex", &bFound);
        if (bFound)
            str += QLatin1Char('@') + strIndex;
        lst.append(str);
    }
    return lst;
}

// What a connection does with a received request: the layer's fragments, last to first.
ptrCXmlMessage cutLayerFragments(const ptrCXmlMessage& a_ptrRequest)
{
    ptrCXmlMessage ptrReply;
    for (int i = a_ptrRequest->getNumberOfFragments() - 1; i >= 0; --i) {
        const CMsgFragment objFragment = a_ptrRequest->getFragment(unsigned(i));
        if (objFragment.getComponentName() == "XmlCommunicationDevice")
            CCutNPasteFragments::cutFragment(a_ptrRequest, ptrReply, objFragment, i);
    }
    return ptrReply;
}
}  // namespace

class TestCutNPasteFragments : public QObject
{
    Q_OBJECT

private slots:
    void cutAndPaste_data()
    {
        QTest::addColumn<QString>("layout");
        QTest::addColumn<QStringList>("partial");
        QTest::addColumn<QStringList>("hostPart");

        QTest::newRow("first and third for the layer")
            << "LHL" << QStringList{"XmlCommunicationDevice/D0@0", "XmlCommunicationDevice/D2@2"}
            << QStringList{"Tuner/D1"};
        QTest::newRow("middle for the layer")
            << "HLH" << QStringList{"XmlCommunicationDevice/D1@1"} << QStringList{"Tuner/D0", "Tuner/D2"};
        QTest::newRow("last two for the layer")
            << "HHLL" << QStringList{"XmlCommunicationDevice/D2@2", "XmlCommunicationDevice/D3@3"}
            << QStringList{"Tuner/D0", "Tuner/D1"};
        QTest::newRow("only the layer") << "LL"
                                        << QStringList{"XmlCommunicationDevice/D0@0", "XmlCommunicationDevice/D1@1"}
                                        << QStringList{};
    }

    void cutAndPaste()
    {
        QFETCH(QString, layout);
        QFETCH(QStringList, partial);
        QFETCH(QStringList, hostPart);

        const ptrCXmlMessage ptrRequest = request(layout);
        const QStringList lstOriginal = ::layout(ptrRequest);
        const ptrCXmlMessage ptrPartial = cutLayerFragments(ptrRequest);
        QVERIFY(ptrPartial);
        QCOMPARE(::layout(ptrPartial), partial);
        QCOMPARE(::layout(ptrRequest), hostPart);

        // The partial reply answers the request: same connection and id, reply type, no time.
        QCOMPARE(ptrPartial->getServiceType(), CXmlMessage::REPLY_SET);
        QCOMPARE(ptrPartial->getMessageID(), 41u);
        QCOMPARE(ptrPartial->getConnectionId(), 7u);
        QCOMPARE(ptrPartial->getAvailableTime(), 0u);
        for (int i = 0; i < ptrPartial->getNumberOfFragments(); ++i)
            QVERIFY(ptrPartial->getFragment(unsigned(i)).hasRequestTree());

        CCutNPasteFragments objStore;
        if (hostPart.isEmpty()) {
            // Nothing left for the host: the layer's answer becomes the whole reply.
            ptrRequest->changeRequestToReply(0, 0);
            CCutNPasteFragments::mergeMessages(ptrRequest, ptrPartial);
        } else {
            objStore.storeReplyFragments(ptrRequest->getContinuousId(), ptrPartial);
            QCOMPARE(objStore.numberOfMsgs(), 1);
            ptrRequest->changeRequestToReply(0, 0);  // the host's reply, same continuous id
            objStore.pasteFragments(ptrRequest);
        }
        QCOMPARE(objStore.numberOfMsgs(), 0);
        QCOMPARE(::layout(ptrRequest), lstOriginal);
        QCOMPARE(ptrRequest->getServiceType(), CXmlMessage::REPLY_SET);
    }

    void storeRules()
    {
        CCutNPasteFragments objStore;
        const ptrCXmlMessage ptrRequest = request(QStringLiteral("LHLH"));
        const QStringList lstOriginal = layout(ptrRequest);
        const ptrCXmlMessage ptrPartial = cutLayerFragments(ptrRequest);

        // A reply with another continuous id gets nothing.
        const ptrCXmlMessage ptrOther = request(QStringLiteral("H"));
        objStore.storeReplyFragments(ptrRequest->getContinuousId(), ptrPartial);
        objStore.pasteFragments(ptrOther);
        QCOMPARE(layout(ptrOther), QStringList{"Tuner/D0"});
        QCOMPARE(objStore.numberOfMsgs(), 1);  // replies are counted, not fragments

        // Used once: a second reply with the same continuous id gets nothing more.
        objStore.pasteFragments(ptrRequest);
        QCOMPARE(layout(ptrRequest), lstOriginal);
        objStore.pasteFragments(ptrRequest);
        QCOMPARE(layout(ptrRequest), lstOriginal);

        // Storing again under one id replaces; a position that is no number goes to the end.
        const ptrCXmlMessage ptrSecond = request(QStringLiteral("HLH"));
        ptrCXmlMessage ptrPartial2 = cutLayerFragments(ptrSecond);
        objStore.storeReplyFragments(ptrSecond->getContinuousId(), request(QStringLiteral("L")));
        objStore.storeReplyFragments(ptrSecond->getContinuousId(), ptrPartial2);
        QCOMPARE(objStore.numberOfMsgs(), 1);
        ptrPartial2->getFragment(0).getElementTree()->setAttribute("specialIndex", QStringLiteral("one"));
        objStore.pasteFragments(ptrSecond);
        QCOMPARE(layout(ptrSecond), (QStringList{"Tuner/D0", "Tuner/D2", "XmlCommunicationDevice/D1"}));

        // A fragment that carries its answer already keeps its data beside the request tree.
        const ptrCXmlMessage ptrAnswered = request(QStringLiteral("L"));
        CMsgFragment objAnswered = ptrAnswered->getFragment(0);
        objAnswered.moveDataTreeToRequestTree();
        objAnswered.setDataTree(CDataTree(el("Answer", {}, QStringLiteral("42"))));
        ptrCXmlMessage ptrReply;
        CCutNPasteFragments::cutFragment(ptrAnswered, ptrReply, objAnswered, 0);
        QCOMPARE(ptrReply->getFragment(0).getDataTree().getElementTree()->getValue(), QStringLiteral("42"));

        // Null messages are ignored.
        CCutNPasteFragments::mergeMessages(ptrCXmlMessage(), ptrReply);
        CCutNPasteFragments::mergeMessages(ptrReply, ptrCXmlMessage());
        objStore.pasteFragments(ptrCXmlMessage());
    }

    void oldestDroppedPastTheLimit()
    {
        CCutNPasteFragments objStore;
        QVector<ptrCXmlMessage> vecReplies;
        for (int i = 0; i <= CCutNPasteFragments::m_iMaxStoredReplies; ++i) {
            vecReplies.append(ptrCXmlMessage(new CXmlMessage));
            vecReplies.last()->setServiceType(CXmlMessage::REPLY_SET);
            objStore.storeReplyFragments(vecReplies.last()->getContinuousId(), request(QStringLiteral("L")));
        }
        QCOMPARE(objStore.numberOfMsgs(), CCutNPasteFragments::m_iMaxStoredReplies);
        objStore.pasteFragments(vecReplies.first());
        QCOMPARE(vecReplies.first()->getNumberOfFragments(), 0);
        objStore.pasteFragments(vecReplies.at(1));
        QCOMPARE(vecReplies.at(1)->getNumberOfFragments(), 1);
        objStore.pasteFragments(vecReplies.last());
        QCOMPARE(vecReplies.last()->getNumberOfFragments(), 1);
    }
};

QTEST_GUILESS_MAIN(TestCutNPasteFragments)
#include "tst_ccutnpastefragments.moc"

#include "../../common/TreeTestUtils.h"

#include <OrvexXmlInterface/xmlcommunication/transport/CCutNPasteFragments.h>

#include <QtTest/QtTest>

using namespace XmlCommon;
using namespace XmlCommunication;
using TestUtils::el;

namespace
{
// A set request with one fragment per letter: "L" for the layer, "H" for the host.
ptrCXmlMessage request(const QString& a_strLayout)
{
    ptrCXmlMessage ptrMsg(new CXmlMessage(7));
    ptrMsg->setServiceType(CXmlMessage::REQUEST_SET);
    ptrMsg->setMessageID(41);
    ptrMsg->setAvailableTime(2000000);
    for (int i = 0; i < a_strLayout.size(); ++i)
        ptrMsg->addFragment(CMsgFragment(el(a_strLayout.at(i) == QLatin1Char('L') ? "XmlCommunicationDevice" : "Tuner",
                                            {}, {}, {el(QByteArray("D" + QByteArray::number(i)).constData())})));
    return ptrMsg;
}

// Each fragment as "component/data", with "@i" while it carries a specialIndex.
QString layout(const ptrCXmlMessage& a_ptrMsg)
{
    QStringList lst;
    for (int i = 0; i < a_ptrMsg->getNumberOfFragments(); ++i) {
        const CMsgFragment objFragment = a_ptrMsg->getFragment(unsigned(i));
        const CDataTree objData =
            objFragment.hasRequestTree() ? objFragment.getRequestTree().getDataTree() : objFragment.getDataTree();
        const QString str = QString::fromLatin1(objFragment.getComponentName().name().left(1)) + QLatin1Char('/') +
                            static_cast<const QString&>(objData.getDataName());
        bool bFound = false;
        const QString strIndex = objFragment.getElementTree()->getAttribute("specialIndex", &bFound);
        lst.append(bFound ? str + QLatin1Char('@') + strIndex : str);
    }
    return lst.join(QLatin1Char(' '));
}

// What a connection does with a received request: the layer's fragments, last to first.
ptrCXmlMessage cutLayerFragments(const ptrCXmlMessage& a_ptrRequest)
{
    ptrCXmlMessage ptrReply;
    for (int i = a_ptrRequest->getNumberOfFragments() - 1; i >= 0; --i) {
        if (a_ptrRequest->getFragment(unsigned(i)).getComponentName() == "XmlCommunicationDevice")
            CCutNPasteFragments::cutFragment(a_ptrRequest, ptrReply, a_ptrRequest->getFragment(unsigned(i)), i);
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
        QTest::addColumn<QString>("request");
        QTest::addColumn<QString>("partial");
        QTest::addColumn<QString>("host");
        QTest::newRow("first and third for the layer") << "LHL"
                                                       << "X/D0@0 X/D2@2"
                                                       << "T/D1";
        QTest::newRow("middle for the layer") << "HLH"
                                              << "X/D1@1"
                                              << "T/D0 T/D2";
        QTest::newRow("only the layer") << "LL"
                                        << "X/D0@0 X/D1@1"
                                        << "";
    }

    void cutAndPaste()
    {
        QFETCH(QString, request);
        QFETCH(QString, partial);
        QFETCH(QString, host);
        const ptrCXmlMessage ptrRequest = ::request(request);
        const QString strOriginal = layout(ptrRequest);
        const ptrCXmlMessage ptrPartial = cutLayerFragments(ptrRequest);
        QCOMPARE(layout(ptrPartial), partial);
        QCOMPARE(layout(ptrRequest), host);
        // The partial reply answers the request: same connection and id, reply type, no time.
        QVERIFY(TestUtils::wire(ptrPartial->getElementTree()).startsWith("<Reply type=\"set\" id=\"41\">\n<Xml"));
        QCOMPARE(ptrPartial->getConnectionId(), 7u);

        CCutNPasteFragments objStore;
        ptrRequest->changeRequestToReply(0, 0);  // the host's reply, same continuous id
        if (host.isEmpty()) {
            CCutNPasteFragments::mergeMessages(ptrRequest, ptrPartial);
        } else {
            objStore.storeReplyFragments(ptrRequest->getContinuousId(), ptrPartial);
            objStore.pasteFragments(ptrRequest);
        }
        QCOMPARE(layout(ptrRequest), strOriginal);
        QCOMPARE(objStore.numberOfMsgs(), 0);
    }

    void storeRules()
    {
        CCutNPasteFragments objStore;
        const ptrCXmlMessage ptrRequest = request(QStringLiteral("LHLH"));
        objStore.storeReplyFragments(ptrRequest->getContinuousId(), cutLayerFragments(ptrRequest));
        const ptrCXmlMessage ptrOther = request(QStringLiteral("H"));
        objStore.pasteFragments(ptrOther);  // another continuous id: nothing
        QCOMPARE(layout(ptrOther), QStringLiteral("T/D0"));
        QCOMPARE(objStore.numberOfMsgs(), 1);  // replies are counted, not fragments
        objStore.pasteFragments(ptrRequest);
        objStore.pasteFragments(ptrRequest);  // used once
        QCOMPARE(layout(ptrRequest), QStringLiteral("X/D0 T/D1 X/D2 T/D3"));

        // Stored again under one id: replaced. A position that is no number goes to the end.
        const ptrCXmlMessage ptrSecond = request(QStringLiteral("HLH"));
        const ptrCXmlMessage ptrPartial = cutLayerFragments(ptrSecond);
        objStore.storeReplyFragments(ptrSecond->getContinuousId(), request(QStringLiteral("L")));
        objStore.storeReplyFragments(ptrSecond->getContinuousId(), ptrPartial);
        ptrPartial->getFragment(0).getElementTree()->setAttribute("specialIndex", QStringLiteral("one"));
        objStore.pasteFragments(ptrSecond);
        QCOMPARE(layout(ptrSecond), QStringLiteral("T/D0 T/D2 X/D1"));

        // Past the limit the oldest partial reply goes.
        QVector<ptrCXmlMessage> vecReplies;
        for (int i = 0; i <= CCutNPasteFragments::m_iMaxStoredReplies; ++i) {
            vecReplies.append(request(QString()));
            objStore.storeReplyFragments(vecReplies.last()->getContinuousId(), request(QStringLiteral("L")));
        }
        QCOMPARE(objStore.numberOfMsgs(), CCutNPasteFragments::m_iMaxStoredReplies);
        objStore.pasteFragments(vecReplies.at(0));
        objStore.pasteFragments(vecReplies.at(1));
        QCOMPARE(layout(vecReplies.at(0)) + QLatin1Char('|') + layout(vecReplies.at(1)), QStringLiteral("|X/D0"));
    }
};

QTEST_GUILESS_MAIN(TestCutNPasteFragments)
#include "tst_ccutnpastefragments.moc"

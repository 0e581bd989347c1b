#include <OrvexXmlInterface/platform/Platform.h>
#include <OrvexXmlInterface/xmlcommunication/transport/CXmlSocketReader.h>

#include <QtCore/QRandomGenerator>
#include <QtNetwork/QTcpServer>
#include <QtNetwork/QTcpSocket>
#include <QtTest/QtTest>

using namespace XmlCommon;
using namespace XmlCommunication;

namespace
{
// A reader fed chunk by chunk as the socket would hand them, recording what it reports.
class CProbe : public CXmlSocketReader
{
public:
    explicit CProbe(const struConnectionLimits& a_objLimits = struConnectionLimits()) : CXmlSocketReader(5)
    {
        setLimits(a_objLimits);
        initParser();
        connect(this, &CXmlSocketReader::SignalNewMsgHeader, [this](ptrCXmlMessage a_ptrMsg) {
            m_lstEvents << QStringLiteral("H%1").arg(a_ptrMsg->getMessageID());
        });
        connect(this, &CXmlSocketReader::SignalNewJob, [this](ptrCXmlMessage a_ptrMsg) {
            m_lstEvents << QStringLiteral("J%1:%2").arg(a_ptrMsg->getMessageID()).arg(a_ptrMsg->getNumberOfFragments());
        });
        connect(this, &CXmlSocketReader::SignalParseError, [this](QString) { m_lstEvents << QStringLiteral("E"); });
        connect(this, &CXmlSocketReader::SignalStreamLimitExceeded,
                [this](QString) { m_lstEvents << QStringLiteral("L"); });
    }
    void feed(const QByteArray& a_baChunk) { parseChunk(a_baChunk); }

    QStringList m_lstEvents;
};

QStringList feedInPieces(const QList<QByteArray>& a_lstChunks)
{
    CProbe objProbe;
    for (const QByteArray& baChunk : a_lstChunks)
        objProbe.feed(baChunk);
    return objProbe.m_lstEvents;
}

const QByteArray s_baTwo = "<Request id=\"1\" type=\"get\" time=\"2000000\">\n<Tuner>\n<Setup/>\n</Tuner>\n</Request>\n"
                           "<Event id=\"2\">\n<Storage>\n<State>ready</State>\n</Storage>\n<A>\n<B/>\n</A>\n</Event>\n";

// Silences the reader's diagnostic line for malformed text.
class CQuiet
{
public:
    CQuiet() : m_fnPrevious(Platform::setDebugOutputHook([this](const QString& a_str) { m_lstTexts << a_str; })) {}
    ~CQuiet() { Platform::setDebugOutputHook(m_fnPrevious); }
    QStringList m_lstTexts;

private:
    Platform::typDebugOutputHook m_fnPrevious;
};
}  // namespace

class TestSocketReader : public QObject
{
    Q_OBJECT

private slots:
    void sameReportsHoweverCut()
    {
        const QStringList lstWhole = feedInPieces({s_baTwo});
        QCOMPARE(lstWhole, (QStringList{"H1", "J1:1", "H2", "J2:2"}));
        for (int i = 1; i < s_baTwo.size(); ++i)
            QCOMPARE(feedInPieces({s_baTwo.left(i), s_baTwo.mid(i)}), lstWhole);
        QRandomGenerator objRandom(7);
        for (int iRun = 0; iRun < 200; ++iRun) {
            QList<QByteArray> lstChunks;
            for (int iPos = 0; iPos < s_baTwo.size();) {
                const int iLength = 1 + objRandom.bounded(12);
                lstChunks << s_baTwo.mid(iPos, iLength);
                iPos += iLength;
            }
            QCOMPARE(feedInPieces(lstChunks), lstWhole);
        }
    }

    void malformedChunks_data()
    {
        QTest::addColumn<QList<QByteArray>>("chunks");
        QTest::addColumn<QStringList>("events");
        const QByteArray baGood = "<Event id=\"9\">\n<X/>\n</Event>\n";
        QTest::newRow("bad end tag, good message in the next chunk")
            << QList<QByteArray>{"<Event id=\"3\">\n<X>\n</Y>\n", baGood} << QStringList{"H3", "E", "H9", "J9:1"};
        QTest::newRow("the rest of a broken chunk is lost")
            << QList<QByteArray>{"<Event id=\"3\">\n</Y>\n" + baGood, baGood} << QStringList{"H3", "E", "H9", "J9:1"};
        QTest::newRow("NUL byte") << QList<QByteArray>{QByteArray("<Event id=\"4\">\n<X/>\0\n", 20), baGood}
                                  << QStringList{"H4", "E", "H9", "J9:1"};
        QTest::newRow("message before the fault is kept")
            << QList<QByteArray>{baGood + "<<", baGood} << QStringList{"H9", "J9:1", "E", "H9", "J9:1"};
    }

    void malformedChunks()
    {
        QFETCH(QList<QByteArray>, chunks);
        QFETCH(QStringList, events);
        CQuiet objQuiet;
        QCOMPARE(feedInPieces(chunks), events);
        QCOMPARE(objQuiet.m_lstTexts.filter(QStringLiteral("Have to reset the XML-parser...")).size(), 1);
    }

    void limitsCloseTheStream()
    {
        CQuiet objQuiet;
        struConnectionLimits objLimits;
        objLimits.llMaxMessageBytes = 4096;
        CProbe objProbe(objLimits);
        objProbe.feed("<Event id=\"1\">\n<X>" + QByteArray(8192, 'a'));
        objProbe.feed("</X>\n</Event>\n<Event id=\"2\">\n<X/>\n</Event>\n");
        QCOMPARE(objProbe.m_lstEvents, (QStringList{"H1", "E", "L"}));
        QVERIFY(!objQuiet.m_lstTexts.filter(QStringLiteral("is not read further")).isEmpty());
    }

    void unfinishedMessages_data()
    {
        QTest::addColumn<QByteArray>("start");
        QTest::addColumn<bool>("closed");
        QTest::newRow("open root") << QByteArray("<Request id=\"1\" type=\"get\">\n<Tu") << true;
        QTest::newRow("open start tag") << QByteArray("<Requ") << true;
        QTest::newRow("complete message") << QByteArray("<Event id=\"1\">\n<X/>\n</Event>\n") << false;
        QTest::newRow("white space between messages") << QByteArray("<Event id=\"1\">\n<X/>\n</Event>\n  \n") << false;
    }

    void unfinishedMessages()
    {
        QFETCH(QByteArray, start);
        QFETCH(bool, closed);
        CQuiet objQuiet;
        struConnectionLimits objLimits;
        objLimits.uiMessageCompletionMs = 100;
        CProbe objProbe(objLimits);
        objProbe.feed(start);
        QTest::qWait(400);
        QCOMPARE(objProbe.m_lstEvents.contains(QStringLiteral("L")), closed);
    }

    void messagesKeepTheStreamAlive()
    {
        // A long stream of messages, each chunk ending inside one, is never taken for a stalled message.
        struConnectionLimits objLimits;
        objLimits.uiMessageCompletionMs = 150;
        CProbe objProbe(objLimits);
        const QByteArray baMessage = "<Event id=\"1\">\n<X/>\n</Event>\n";
        for (int i = 0; i < 10; ++i) {
            objProbe.feed(baMessage + baMessage.left(10));
            QTest::qWait(60);
            objProbe.feed(baMessage.mid(10));
        }
        QVERIFY(!objProbe.m_lstEvents.contains(QStringLiteral("L")));
    }

    void largeMessageOverASocket()
    {
        QTcpServer objServer;
        QVERIFY(objServer.listen(QHostAddress::LocalHost));
        QTcpSocket objClient;
        objClient.connectToHost(QHostAddress::LocalHost, objServer.serverPort());
        QVERIFY(objServer.waitForNewConnection(5000));
        QTcpSocket* pAccepted = objServer.nextPendingConnection();
        CXmlSocketReader objReader(1);
        objReader.init(pAccepted);
        QList<ptrCXmlMessage> lstJobs;
        connect(&objReader, &CXmlSocketReader::SignalNewJob, [&](ptrCXmlMessage a_ptr) { lstJobs << a_ptr; });

        const QByteArray baValue(300000, 'v');
        objClient.write("<Event id=\"8\">\n<Big>" + baValue + "</Big>\n</Event>\n");
        QVERIFY(QTest::qWaitFor([&] { return !lstJobs.isEmpty(); }, 10000));
        QCOMPARE(lstJobs.size(), 1);
        QCOMPARE(lstJobs.at(0)->getElementTree()->getChildAt(0)->getValue().size(), baValue.size());
    }
};

QTEST_GUILESS_MAIN(TestSocketReader)
#include "tst_cxmlsocketreader.moc"

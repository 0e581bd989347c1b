// Processes talk: "oxi serve" in one process, "oxi send" in another.
#include <QtCore/QProcess>
#include <QtCore/QTemporaryFile>
#include <QtTest/QtTest>

#include <memory>

namespace
{
const QByteArray s_baTwoRequests =
    "<Request type=\"get\" id=\"5\" time=\"%1\">\n<Tuner>\n<Setup/>\n</Tuner>\n</Request>\n"
    "<Request type=\"set\" id=\"6\" time=\"%1\">\n<Storage>\n<Start/>\n</Storage>\n</Request>\n";

// An "oxi serve" process; its port, once it listens.
class CServer
{
public:
    explicit CServer(const QStringList& a_lstOptions = {})
    {
        m_objProcess.start(QStringLiteral(OXI_TOOL_PATH), QStringList{QStringLiteral("serve")} + a_lstOptions);
        const bool bListening = QTest::qWaitFor(
            [&] {
                m_baOut += m_objProcess.readAllStandardOutput();
                const QRegularExpressionMatch objMatch =
                    QRegularExpression(QStringLiteral("listening on port (\\d+)")).match(QString::fromLatin1(m_baOut));
                m_usPort = objMatch.hasMatch() ? objMatch.captured(1).toUShort() : 0;
                return m_usPort != 0;
            },
            10000);
        if (!bListening)
            m_usPort = 0;
    }
    ~CServer()
    {
        m_objProcess.kill();
        m_objProcess.waitForFinished(5000);
    }
    QString target() const { return QStringLiteral("127.0.0.1:%1").arg(m_usPort); }

    QProcess m_objProcess;
    QByteArray m_baOut;
    quint16 m_usPort = 0;
};

std::unique_ptr<QProcess> startSend(const QString& a_strTarget, const QByteArray& a_baCapture)
{
    std::unique_ptr<QProcess> pSend(new QProcess);
    pSend->start(QStringLiteral(OXI_TOOL_PATH), {QStringLiteral("send"), a_strTarget, QStringLiteral("-")});
    pSend->write(a_baCapture);
    pSend->closeWriteChannel();
    return pSend;
}
}  // namespace

class TestOxiHosts : public QObject
{
    Q_OBJECT

private slots:
    void answered()
    {
        CServer objServer;
        QVERIFY(objServer.m_usPort != 0);
        const auto pSend = startSend(objServer.target(), QString::fromLatin1(s_baTwoRequests).arg(5000000).toLatin1());
        QVERIFY(pSend->waitForFinished(20000));
        QCOMPARE(pSend->exitCode(), 0);
        const QByteArray baOut = pSend->readAllStandardOutput();
        QCOMPARE(baOut.count("<<< received"), 2);
        QVERIFY(baOut.contains("<Reply type=\"set\" id=\"6\">"));
    }

    void neverAnsweredTimesOut()
    {
        CServer objServer({QStringLiteral("--silent")});
        QElapsedTimer objTimer;
        objTimer.start();
        const auto pSend = startSend(objServer.target(), QString::fromLatin1(s_baTwoRequests).arg(1600000).toLatin1());
        QVERIFY(pSend->waitForFinished(20000));
        QCOMPARE(pSend->exitCode(), 1);
        QVERIFY(objTimer.elapsed() >= 2 * 1600);
        QCOMPARE(pSend->readAllStandardOutput().count("<ID>0x2400007</ID>"), 2);
    }

    void serverKilledWithRequestPending()
    {
        auto pServer = std::make_unique<CServer>(QStringList{QStringLiteral("--silent")});
        const auto pSend = startSend(pServer->target(), QString::fromLatin1(s_baTwoRequests).arg(60000000).toLatin1());
        QVERIFY(
            QTest::qWaitFor([&] { return pServer->m_objProcess.readAllStandardOutput().contains("id=\"5\""); }, 10000));
        pServer.reset();
        // Each request is answered at once with the undeliverable fault, none waits for its minute.
        QVERIFY(pSend->waitForFinished(10000));
        QCOMPARE(pSend->exitCode(), 1);
        QCOMPARE(pSend->readAllStandardOutput().count("<ID>0x2400008</ID>"), 2);
    }
};

QTEST_GUILESS_MAIN(TestOxiHosts)
#include "tst_oxihosts.moc"

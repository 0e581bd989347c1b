#include <QtCore/QProcess>
#include <QtNetwork/QHostAddress>
#include <QtNetwork/QUdpSocket>
#include <QtTest/QtTest>

class TestOxiDiscover : public QObject
{
    Q_OBJECT

private slots:
    void printsWhatItHears()
    {
        QProcess objTool;
        objTool.setReadChannel(QProcess::StandardError);
        objTool.start(QStringLiteral(OXI_TOOL_PATH),
                      {QStringLiteral("discover"), QStringLiteral("--port"), QStringLiteral("0"),
                       QStringLiteral("--seconds"), QStringLiteral("3"), QStringLiteral("--verbose")});
        QByteArray baErr;
        while (!baErr.contains('\n') && objTool.waitForReadyRead(10000))
            baErr += objTool.readAllStandardError();
        const QRegularExpressionMatch objMatch =
            QRegularExpression(QStringLiteral("^oxi discover: listening on UDP port\\(s\\) (\\d+)\n"))
                .match(QString::fromUtf8(baErr));
        QVERIFY2(objMatch.hasMatch(), baErr.constData());
        const quint16 usPort = objMatch.captured(1).toUShort();

        QUdpSocket objSender;
        for (const QByteArray& baDatagram :
             {QByteArray("NORVA-R4;FW: 2.1;SN: 47;10.0.0.5;10.0.0.6;"), QByteArray("NORVA-R4;FW: 2.1;SN: 47;10.0.0.5;"),
              QByteArray("ORVEX-MS;{ab-cd};1-2;main host;10.0.0.7;5000"),
              QByteArray("ORVEX-MS;{ab-cd};1-2;mh;0.0.0.0;5000"), QByteArray("T;x;")}) {
            objSender.writeDatagram(baDatagram, QHostAddress(QHostAddress::LocalHost), usPort);
        }
        QVERIFY(objTool.waitForFinished(30000));
        QCOMPARE(objTool.exitCode(), 0);
        // Heard twice, printed once; a main-service announcement is not also taken for a device's.
        QCOMPARE(objTool.readAllStandardOutput(),
                 QByteArray("127.0.0.1 device \"NORVA-R4\" address=10.0.0.5 firmware=2.1 serial=47\n"
                            "127.0.0.1 device \"NORVA-R4\" address=10.0.0.6 firmware=2.1 serial=47\n"
                            "127.0.0.1 main-service \"main host\" identity={ab-cd} serial=1-2 address=10.0.0.7 "
                            "port=5000\n"
                            "127.0.0.1 main-service-initial \"mh\" identity={ab-cd} serial=1-2 address=127.0.0.1 "
                            "port=5000\n"));
        baErr += objTool.readAllStandardError();
        QVERIFY2(baErr.contains("CNORVABroadcastParser: datagram from 127.0.0.1 ignored: 3 field(s), at least 4 "
                                "expected\n"),
                 baErr.constData());
        QVERIFY(baErr.endsWith("oxi discover: 2 device line(s), 2 service line(s)\n"));
    }
};

QTEST_MAIN(TestOxiDiscover)
#include "tst_oxidiscover.moc"

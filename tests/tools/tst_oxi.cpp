#include <QtCore/QFile>
#include <QtCore/QProcess>
#include <QtCore/QTemporaryFile>
#include <QtTest/QtTest>

namespace
{
struct struRun
{
    int iExitCode = -1;
    QByteArray baOut;
    QByteArray baErr;
};

struRun runOxi(const QStringList& a_lstArguments, const QByteArray& a_baInput = QByteArray())
{
    QProcess objProcess;
    objProcess.start(QStringLiteral(OXI_TOOL_PATH), a_lstArguments);
    objProcess.write(a_baInput);
    objProcess.closeWriteChannel();
    objProcess.waitForFinished(30000);
    return {objProcess.exitStatus() == QProcess::NormalExit ? objProcess.exitCode() : -1,
            objProcess.readAllStandardOutput(), objProcess.readAllStandardError()};
}

QByteArray source(const char* a_pszPath)
{
    QFile objFile(QStringLiteral(OXI_SOURCE_DIR "/") + QLatin1String(a_pszPath));
    return objFile.open(QIODevice::ReadOnly) ? objFile.readAll() : QByteArray();
}
}  // namespace

class TestOxi : public QObject
{
    Q_OBJECT

private slots:
    void catCleanCapture()
    {
        const QByteArray baExpected = source("tests/tools/session.expected");
        QVERIFY(!baExpected.isEmpty());
        const struRun objRun =
            runOxi({QStringLiteral("cat"), QStringLiteral(OXI_SOURCE_DIR "/examples/captures/session.xml")});
        QCOMPARE(objRun.iExitCode, 0);
        QCOMPARE(objRun.baOut, baExpected);
        QCOMPARE(objRun.baErr, QByteArray("oxi cat: 6 message(s)\n"));

        // The same stream without its wrapper, from standard input, reads the same.
        QByteArray baBare = source("examples/captures/session.xml");
        baBare.remove(0, baBare.indexOf('\n') + 1);
        QCOMPARE(runOxi({QStringLiteral("cat")}, baBare).baOut, baExpected);
    }

    void catBrokenCapture()
    {
        const struRun objRun =
            runOxi({QStringLiteral("cat"), QStringLiteral("-")}, source("examples/captures/broken.xml"));
        QCOMPARE(objRun.iExitCode, 1);
        const QString strOut = QString::fromUtf8(objRun.baOut);
        const int iFirst = strOut.indexOf(QLatin1String("Service: REQUEST_GET; ID: 1/"));
        const int iError =
            strOut.indexOf(QLatin1String("oxi: stream broken at input line 9:\nOpening and ending tag mismatch."));
        const int iEvent = strOut.indexOf(QLatin1String("Service: BROADCAST"));
        const int iEnd = strOut.indexOf(QLatin1String("oxi: the stream ends inside a message"));
        QVERIFY(iFirst >= 0 && iError > iFirst && iEvent > iError && iEnd > iEvent);
        QVERIFY(strOut.contains(QLatin1String("NotWellFormedError: Line(")));
        QVERIFY(!strOut.contains(QLatin1String("ID: 2/")));
        QCOMPARE(objRun.baErr, QByteArray("oxi cat: 2 message(s), stream broken\n"));
    }

    void catPrintsEachMessageWhenComplete()
    {
        QProcess objProcess;
        objProcess.start(QStringLiteral(OXI_TOOL_PATH), {QStringLiteral("cat")});
        QVERIFY(objProcess.waitForStarted(30000));
        objProcess.write("<Event>\n<Status>ok</Status>\n</Event>\n<Request type=\"get\" id=\"7\">\n");
        // The first message is printed while the input is still open.
        QByteArray baOut;
        while (!baOut.contains("</Event>") && objProcess.waitForReadyRead(30000))
            baOut += objProcess.readAllStandardOutput();
        QVERIFY2(baOut.contains("Service: BROADCAST"), baOut.constData());
        QVERIFY(!baOut.contains("REQUEST_GET"));
        objProcess.write("</Request>\n");
        objProcess.closeWriteChannel();
        QVERIFY(objProcess.waitForFinished(30000));
        baOut += objProcess.readAllStandardOutput();
        QVERIFY(baOut.contains("Service: REQUEST_GET; ID: 7/"));
        QCOMPARE(objProcess.exitCode(), 0);
    }

    void catLinesLongerThanAReadBlock()
    {
        // A value of 200 kB on one line, then a break three lines further on: read from a file in
        // blocks and from standard input in lines, the line is told right and the stream goes on.
        const QByteArray baCapture = "<Event>\n<Data>" + QByteArray(200000, 'v') +
                                     "</Data>\n</Event>\n"
                                     "<Request type=\"get\" id=\"2\">\n<A>\n</B>\n</Request>\n<Event/>\n";
        QTemporaryFile objFile;
        QVERIFY(objFile.open());
        objFile.write(baCapture);
        objFile.flush();
        for (const struRun& objRun :
             {runOxi({QStringLiteral("cat"), objFile.fileName()}), runOxi({QStringLiteral("cat")}, baCapture)}) {
            QCOMPARE(objRun.iExitCode, 1);
            QVERIFY(objRun.baOut.contains("oxi: stream broken at input line 6:\n"));
            QVERIFY(objRun.baOut.contains(QByteArray(200000, 'v')));
            QCOMPARE(objRun.baErr, QByteArray("oxi cat: 2 message(s), stream broken\n"));
        }
    }

    void usageAndFailures()
    {
        struRun objRun = runOxi({QStringLiteral("--help")});
        QCOMPARE(objRun.iExitCode, 0);
        QVERIFY(objRun.baOut.contains("cat [FILE|-]"));
        objRun = runOxi({QStringLiteral("cat"), QStringLiteral("--help")});
        QCOMPARE(objRun.iExitCode, 0);
        QVERIFY(objRun.baOut.contains("Exit status"));
        QCOMPARE(runOxi({}).iExitCode, 2);
        QCOMPARE(runOxi({QStringLiteral("frobnicate")}).iExitCode, 2);
        objRun = runOxi({QStringLiteral("cat"), QStringLiteral("/nonexistent/capture.xml")});
        QCOMPARE(objRun.iExitCode, 2);
        QVERIFY(objRun.baErr.contains("cannot read"));
        QCOMPARE(runOxi({QStringLiteral("cat"), QStringLiteral("a"), QStringLiteral("b")}).iExitCode, 2);
        QCOMPARE(runOxi({QStringLiteral("cat")}, QByteArray()).iExitCode, 0);
    }
};

QTEST_GUILESS_MAIN(TestOxi)
#include "tst_oxi.moc"

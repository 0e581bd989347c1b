// oxi: the command-line companion of the library.
#include "CatCommand.h"
#include "DiscoverCommand.h"
#include "HostCommands.h"

#include <QtCore/QCoreApplication>
#include <QtCore/QTextStream>

#include <cstdio>

namespace
{
QString usage()
{
    return QStringLiteral("Usage: oxi COMMAND [ARGUMENTS]\n"
                          "\n"
                          "Commands:\n"
                          "  cat [FILE|-]   print the messages of a captured connection stream\n"
                          "  discover [--port N] [--seconds S]\n"
                          "                 print the devices and services announcing themselves on UDP\n"
                          "  serve [--port N] [--name APP]\n"
                          "                 a host that prints what it receives and answers every request\n"
                          "  send HOST:PORT [FILE|-]\n"
                          "                 send the requests of a capture and print the replies\n"
                          "  listen HOST:PORT [--component NAME ...]\n"
                          "                 print the events a peer sends\n"
                          "\n"
                          "'oxi COMMAND --help' explains a command.\n");
}
}  // namespace

int main(int argc, char* argv[])
{
    QCoreApplication objApp(argc, argv);
    QTextStream objOut(stdout);
    QTextStream objErr(stderr);
    objOut.setCodec("UTF-8");
    objErr.setCodec("UTF-8");

    QStringList lstArguments = QCoreApplication::arguments().mid(1);
    const QString strCommand = lstArguments.isEmpty() ? QString() : lstArguments.takeFirst();
    const bool bHelp = lstArguments.contains(QStringLiteral("--help")) || lstArguments.contains(QStringLiteral("-h"));

    using typRun = int (*)(const QStringList&, QTextStream&, QTextStream&);
    struct struCommand
    {
        const char* pszName;
        typRun fnRun;
        QString (*fnUsage)();
    };
    static const struCommand s_aCommands[] = {
        {"cat", &OxiTool::runCat, &OxiTool::catUsage},
        {"discover", &OxiTool::runDiscover, &OxiTool::discoverUsage},
        {"serve", &OxiTool::runServe, &OxiTool::serveUsage},
        {"send", &OxiTool::runSend, &OxiTool::sendUsage},
        {"listen", &OxiTool::runListen, &OxiTool::listenUsage},
    };
    for (const struCommand& objCommand : s_aCommands) {
        if (strCommand != QLatin1String(objCommand.pszName))
            continue;
        if (bHelp) {
            objOut << objCommand.fnUsage();
            return 0;
        }
        return objCommand.fnRun(lstArguments, objOut, objErr);
    }
    if (strCommand == QLatin1String("--help") || strCommand == QLatin1String("-h") ||
        strCommand == QLatin1String("help")) {
        objOut << usage();
        return 0;
    }
    objErr << (strCommand.isEmpty() ? QString() : QStringLiteral("oxi: unknown command '%1'\n\n").arg(strCommand))
           << usage();
    return 2;
}

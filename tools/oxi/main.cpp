// oxi: the command-line companion of the library.
#include "CatCommand.h"
#include "DiscoverCommand.h"

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

    if (strCommand == QLatin1String("cat")) {
        if (bHelp) {
            objOut << OxiTool::catUsage();
            return 0;
        }
        return OxiTool::runCat(lstArguments, objOut, objErr);
    }
    if (strCommand == QLatin1String("discover")) {
        if (bHelp) {
            objOut << OxiTool::discoverUsage();
            return 0;
        }
        return OxiTool::runDiscover(lstArguments, objOut, objErr);
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

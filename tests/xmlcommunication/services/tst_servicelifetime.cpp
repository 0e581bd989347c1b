// The process-wide services follow the application object: the debug center reads its start-up
// file when the application starts, and both services are released when it is destroyed, before
// any static object is.
#include "xmlcommunication/services/CTriggerManager_p.h"

#include <OrvexXmlInterface/platform/Platform.h>
#include <OrvexXmlInterface/xmlcommunication/services/CDebugCenter.h>

#include <QtCore/QCoreApplication>
#include <QtCore/QFile>
#include <QtCore/QFileInfo>

#include <cstdio>
#include <memory>

using namespace XmlCommunication;

namespace
{
int g_iFailures = 0;

void check(bool a_bOk, const char* a_pszWhat)
{
    std::printf("%s: %s\n", a_bOk ? "PASS" : "FAIL", a_pszWhat);
    if (!a_bOk)
        ++g_iFailures;
}

QString startupFlag()
{
    QMap<QString, QString> mapFlags;
    CDebugCenter::getInstance()->getFlags(QStringLiteral("CStartup"), mapFlags);
    return mapFlags.value(QStringLiteral("Mode"));
}
}  // namespace

int main(int argc, char* argv[])
{
    const QFileInfo objExecutable(Platform::executablePath());
    const QString strFile = objExecutable.absolutePath() + QLatin1Char('/') +
                            objExecutable.fileName().section(QLatin1Char('.'), 0, 0) + QStringLiteral(".dbgflags.xml");
    QFile objFile(strFile);
    if (!objFile.open(QIODevice::WriteOnly))
        return 2;
    objFile.write("<XmlCommunicationDevice>\n<DebugFlags>\n<CStartup>\n<Mode>x</Mode>\n</CStartup>\n"
                  "</DebugFlags>\n</XmlCommunicationDevice>\n");
    objFile.close();

    auto pApp = std::make_unique<QCoreApplication>(argc, argv);
    QFile::remove(strFile);  // from here on only the center made at start knows the file
    check(startupFlag() == QLatin1String("x"), "the start-up file is applied when the application starts");
    {
        const ptrCTriggerManager ptrTriggers = CTriggerManager::getInstance();
        check(TriggerTesting::liveManagers() == 1, "the trigger manager runs");
    }
    pApp.reset();
    check(TriggerTesting::liveManagers() == 0, "the trigger manager has ended with the application");
    check(startupFlag().isEmpty(), "the debug center was released with the application");
    CDebugCenter::destroy();
    return g_iFailures == 0 ? 0 : 1;
}

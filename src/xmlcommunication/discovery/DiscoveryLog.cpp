#include "DiscoveryLog_p.h"

#include <OrvexXmlInterface/platform/Platform.h>
#include <OrvexXmlInterface/xmlcommunication/services/CDebugCenter.h>

namespace XmlCommunication
{
namespace DiscoveryLog
{
namespace
{
const QString s_strLog = QStringLiteral("log");
const int s_iMaxQuoted = 64;
}  // namespace

void registerClass(const QString& a_strClass)
{
    const ptrCDebugCenter ptrCenter = CDebugCenter::getInstance();
    QMap<QString, QString> mapInfo;
    ptrCenter->getFlagInfo(a_strClass, mapInfo);
    if (!mapInfo.contains(s_strLog))
        ptrCenter->setFlagInfo(
            a_strClass,
            QMap<QString, QString>{{s_strLog, QStringLiteral("%1,%2").arg(QStringLiteral("0"), QStringLiteral("1"))}});
}

void write(const QString& a_strClass, const QString& a_strText)
{
    QMap<QString, QString> mapFlags;
    CDebugCenter::getInstance()->getFlags(a_strClass, mapFlags);
    if (mapFlags.value(s_strLog) == QLatin1String("1"))
        Platform::debugOutput(a_strClass + QStringLiteral(": ") + a_strText);
}

QString quoted(const QString& a_strField)
{
    if (a_strField.size() <= s_iMaxQuoted)
        return QLatin1Char('"') + a_strField + QLatin1Char('"');
    return QLatin1Char('"') + a_strField.left(s_iMaxQuoted) + QStringLiteral("\"...");
}
}  // namespace DiscoveryLog
}  // namespace XmlCommunication

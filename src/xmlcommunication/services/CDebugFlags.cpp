#include "CDebugFlags.h"

#include "CDebugCenter.h"

#include <OrvexXmlInterface/platform/Platform.h>

namespace XmlCommunication
{
namespace
{
const QString s_strLog = QStringLiteral("log");
}

CDebugFlags::CDebugFlags(const QString& a_strClass) : m_strClass(a_strClass)
{
    CDebugCenter::getInstance()->setFlagInfo(
        m_strClass,
        QMap<QString, QString>{{s_strLog, QStringLiteral("%1,%2").arg(QStringLiteral("0"), QStringLiteral("1"))}});
}

CDebugFlags::~CDebugFlags() = default;

void CDebugFlags::registerFlags(const QMap<QString, QString>& a_mapValues)
{
    CDebugCenter::getInstance()->mergeFlagInfo(m_strClass, a_mapValues, false);
}

void CDebugFlags::registerOnceOnlyFlags(const QMap<QString, QString>& a_mapValues)
{
    CDebugCenter::getInstance()->mergeFlagInfo(m_strClass, a_mapValues, true);
}

QMap<QString, QString> CDebugFlags::handleNewDbgFlagSetup(const QStringList& a_lstClasses)
{
    if (!a_lstClasses.contains(m_strClass))
        return QMap<QString, QString>();
    QMap<QString, QString> mapFlags;
    CDebugCenter::getInstance()->getFlags(m_strClass, mapFlags);
    m_bLog = !mapFlags.isEmpty() && mapFlags.value(s_strLog) == QLatin1String("1");
    return mapFlags;
}

unsigned short CDebugFlags::handleDbgFlagSetup(const typMapDbgFlags& a_mapSetup)
{
    const auto itClass = a_mapSetup.constFind(m_strClass);
    if (itClass == a_mapSetup.cend())
        return 0;
    const int iCount = itClass->size();
    const auto itLog = itClass->constFind(s_strLog);
    if (itLog == itClass->cend())
        return static_cast<unsigned short>(iCount);
    m_bLog = itLog.value() == QLatin1String("1");
    return static_cast<unsigned short>(iCount - 1);
}

void CDebugFlags::getCurrentDbgFlagSetup()
{
    typMapDbgFlags mapFlags;
    CDebugCenter::getInstance()->getFlags(mapFlags);
    handleDbgFlagSetup(mapFlags);
}

void CDebugFlags::followDebugCenter(QObject* a_pHolder)
{
    QObject::connect(CDebugCenter::getInstance().data(), SIGNAL(signalDebugFlagSetup(XmlCommunication::typMapDbgFlags)),
                     a_pHolder, SLOT(slotDebugFlagSetup(XmlCommunication::typMapDbgFlags)), Qt::QueuedConnection);
}

void CDebugFlags::writeDebugLog(const QString& a_strText) const
{
    Platform::debugOutput(a_strText);
}
}  // namespace XmlCommunication

#include "CDebugCenter.h"

#include <OrvexXmlInterface/platform/Platform.h>
#include <OrvexXmlInterface/xmlcommon/CXmlReader.h>

#include <QtCore/QCoreApplication>
#include <QtCore/QFile>
#include <QtCore/QFileInfo>

using namespace XmlCommon;

namespace XmlCommunication
{
CDebugCenter* CDebugCenter::m_pobjInstance = nullptr;
std::mutex CDebugCenter::m_objInstanceMutex;

namespace
{
// The start-up file is read when the application starts, not by whichever flag holder happens
// to be made first.
void createAtApplicationStart()
{
    CDebugCenter::getInstance();
}
}  // namespace
Q_COREAPP_STARTUP_FUNCTION(createAtApplicationStart)

CDebugCenter::CDebugCenter() = default;

ptrCDebugCenter CDebugCenter::getInstance()
{
    std::lock_guard<std::mutex> lock(m_objInstanceMutex);
    if (!m_pobjInstance) {
        CDebugCenter* pCenter = new CDebugCenter;
        pCenter->init();
        pCenter->ref.ref();
        m_pobjInstance = pCenter;
        qAddPostRoutine(&CDebugCenter::destroy);
    }
    return ptrCDebugCenter(m_pobjInstance);
}

void CDebugCenter::destroy()
{
    CDebugCenter* pLast = nullptr;
    {
        std::lock_guard<std::mutex> lock(m_objInstanceMutex);
        std::swap(pLast, m_pobjInstance);
    }
    if (pLast && !pLast->ref.deref())
        delete pLast;
}

void CDebugCenter::init()
{
    const QFileInfo objExecutable(Platform::executablePath());
    applyStartupFile(objExecutable.absolutePath() + QLatin1Char('/') +
                     objExecutable.fileName().section(QLatin1Char('.'), 0, 0) + QStringLiteral(".dbgflags.xml"));
}

void CDebugCenter::applyStartupFile(const QString& a_strPath)
{
    QFile objFile(a_strPath);
    if (!objFile.open(QIODevice::ReadOnly))
        return;
    CXmlReader objReader;
    bool bOk = false;
    QString strError;
    CMsgFragment objFragment(objReader.readByteArray(objFile.readAll(), bOk, strError));
    typMapDbgFlags mapSetup;
    if (!bOk || CDebugFlagsConverter(objFragment).getFlags(mapSetup) != 0) {
        Platform::debugOutput(
            QStringLiteral("CDebugCenter: the start-up file %1 is no debug-flags file and is ignored.\n%2")
                .arg(a_strPath, strError));
        return;
    }
    setFlags(mapSetup);
}

bool CDebugCenter::checkForOnceOnly(const QString& a_strClass, const QString& a_strFlag) const
{
    const auto itClass = m_mapFlagInfo.constFind(a_strClass);
    return itClass != m_mapFlagInfo.cend() && itClass->value(a_strFlag).bOnceOnly;
}

void CDebugCenter::setFlags(const typMapDbgFlags& a_mapSetup)
{
    std::lock_guard<std::recursive_mutex> broadcastLock(m_objBroadcastMutex);
    QStringList lstClasses;
    {
        std::lock_guard<std::mutex> lock(m_objMutex);
        for (auto itClass = a_mapSetup.cbegin(); itClass != a_mapSetup.cend(); ++itClass) {
            QMap<QString, QString> mapMerged = m_mapFlags.value(itClass.key());
            lstClasses.append(itClass.key());
            for (auto itFlag = itClass->cbegin(); itFlag != itClass->cend(); ++itFlag) {
                if (!checkForOnceOnly(itClass.key(), itFlag.key()))
                    mapMerged.insert(itFlag.key(), itFlag.value());
            }
            m_mapFlags.insert(itClass.key(), mapMerged);
        }
    }
    if (lstClasses.isEmpty())
        return;
    emit signalSetupHasChanged(lstClasses);
    emit signalDebugFlagSetup(a_mapSetup);
}

void CDebugCenter::getFlags(typMapDbgFlags& a_mapFlags) const
{
    std::lock_guard<std::mutex> lock(m_objMutex);
    a_mapFlags = m_mapFlags;
}

void CDebugCenter::getFlags(const QString& a_strClass, QMap<QString, QString>& a_mapFlags) const
{
    std::lock_guard<std::mutex> lock(m_objMutex);
    a_mapFlags = m_mapFlags.value(a_strClass);
}

void CDebugCenter::setFlagInfo(const QString& a_strClass, const QMap<QString, QString>& a_mapValues)
{
    QMap<QString, struFlagData> mapInfo;
    for (auto it = a_mapValues.cbegin(); it != a_mapValues.cend(); ++it)
        mapInfo.insert(it.key(), {it.value(), false});
    setFlagInfo(a_strClass, mapInfo);
}

void CDebugCenter::setFlagInfo(const QString& a_strClass, const QMap<QString, struFlagData>& a_mapInfo)
{
    std::lock_guard<std::mutex> lock(m_objMutex);
    m_mapFlagInfo.insert(a_strClass, a_mapInfo);
}

void CDebugCenter::mergeFlagInfo(const QString& a_strClass, const QMap<QString, QString>& a_mapValues,
                                 bool a_bOnceOnly)
{
    std::lock_guard<std::mutex> lock(m_objMutex);
    QMap<QString, struFlagData>& mapInfo = m_mapFlagInfo[a_strClass];
    for (auto it = a_mapValues.cbegin(); it != a_mapValues.cend(); ++it)
        mapInfo.insert(it.key(), {it.value(), a_bOnceOnly});
}

void CDebugCenter::getFlagInfo(typMapDbgFlags& a_mapInfo) const
{
    std::lock_guard<std::mutex> lock(m_objMutex);
    a_mapInfo.clear();
    for (auto itClass = m_mapFlagInfo.cbegin(); itClass != m_mapFlagInfo.cend(); ++itClass) {
        QMap<QString, QString>& mapValues = a_mapInfo[itClass.key()];
        for (auto itFlag = itClass->cbegin(); itFlag != itClass->cend(); ++itFlag)
            mapValues.insert(itFlag.key(), itFlag->strValues);
    }
}

void CDebugCenter::getFlagInfo(const QString& a_strClass, QMap<QString, QString>& a_mapValues) const
{
    QMap<QString, struFlagData> mapInfo;
    getFlagInfo(a_strClass, mapInfo);
    a_mapValues.clear();
    for (auto it = mapInfo.cbegin(); it != mapInfo.cend(); ++it)
        a_mapValues.insert(it.key(), it->strValues);
}

void CDebugCenter::getFlagInfo(const QString& a_strClass, QMap<QString, struFlagData>& a_mapInfo) const
{
    std::lock_guard<std::mutex> lock(m_objMutex);
    a_mapInfo = m_mapFlagInfo.value(a_strClass);
}
}  // namespace XmlCommunication

#pragma once

#include <OrvexXmlInterface/OxiExport.h>
#include <OrvexXmlInterface/xmlcommunication/converters/LayerConverters.h>

#include <QtCore/QExplicitlySharedDataPointer>
#include <QtCore/QMap>
#include <QtCore/QObject>
#include <QtCore/QSharedData>
#include <QtCore/QStringList>

#include <mutex>

namespace XmlCommunication
{
class CDebugCenter;
using ptrCDebugCenter = QExplicitlySharedDataPointer<CDebugCenter>;

class CDebugFlags;

// The process-wide store of debug flags: the current value of every flag by debug class, and
// per class the flags with their allowed values. A new setup (from the start-up file beside the
// executable, the host, or a peer) is merged and broadcast to every flag holder, after the
// center's lock is released so that no holder runs under it; broadcasts go out in the order in
// which their setups were merged.
//
// The center is made when the application object starts (reading the start-up file then) or on
// first use before that, and released when the application object is destroyed (or by destroy()).
class OXI_EXPORT CDebugCenter : public QObject, public QSharedData
{
    Q_OBJECT

public:
    struct struFlagData
    {
        QString strValues;       // allowed values, joined by ","
        bool bOnceOnly = false;  // a command: broadcast, never stored
    };

    static ptrCDebugCenter getInstance();
    // Drops the process's reference; a later getInstance() makes a new center.
    static void destroy();

    void setFlags(const typMapDbgFlags& a_mapSetup);
    void getFlags(typMapDbgFlags& a_mapFlags) const;
    void getFlags(const QString& a_strClass, QMap<QString, QString>& a_mapFlags) const;
    void setFlagInfo(const QString& a_strClass, const QMap<QString, QString>& a_mapValues);
    void setFlagInfo(const QString& a_strClass, const QMap<QString, struFlagData>& a_mapInfo);
    void getFlagInfo(typMapDbgFlags& a_mapInfo) const;
    void getFlagInfo(const QString& a_strClass, QMap<QString, QString>& a_mapValues) const;
    void getFlagInfo(const QString& a_strClass, QMap<QString, struFlagData>& a_mapInfo) const;

signals:
    void signalSetupHasChanged(QStringList a_lstClasses);
    void signalDebugFlagSetup(XmlCommunication::typMapDbgFlags a_mapSetup);

protected:
    CDebugCenter();
    // Reads the start-up file beside the executable.
    void init();
    // Applies a debug-flags file; a missing file is no error, a broken one is reported and ignored.
    void applyStartupFile(const QString& a_strPath);
    bool checkForOnceOnly(const QString& a_strClass, const QString& a_strFlag) const;

private:
    friend class CDebugFlags;
    // Adds flags to a class's information, read and written under one lock.
    void mergeFlagInfo(const QString& a_strClass, const QMap<QString, QString>& a_mapValues, bool a_bOnceOnly);

    mutable std::mutex m_objMutex;
    // Held from a merge until its broadcast is out, so that holders see setups in merge order.
    std::recursive_mutex m_objBroadcastMutex;
    typMapDbgFlags m_mapFlags;
    QMap<QString, QMap<QString, struFlagData>> m_mapFlagInfo;

    static CDebugCenter* m_pobjInstance;  // holds the process's reference
    static std::mutex m_objInstanceMutex;
};
}  // namespace XmlCommunication

Q_DECLARE_METATYPE(XmlCommunication::typMapDbgFlags)

#pragma once

#include <OrvexXmlInterface/OxiExport.h>
#include <OrvexXmlInterface/xmlcommunication/converters/LayerConverters.h>

#include <QtCore/QMap>
#include <QtCore/QStringList>

#include <atomic>

class QObject;

namespace XmlCommunication
{
// The base of every object with switchable diagnostics. It names a debug class, registers the
// class's flags with the debug center (at least "log", values "0,1"), and follows the setup.
// A holder that is a QObject calls followDebugCenter(this) and getCurrentDbgFlagSetup() last in
// its constructor, and has a slot slotDebugFlagSetup(XmlCommunication::typMapDbgFlags) that calls
// handleDbgFlagSetup.
class OXI_EXPORT CDebugFlags
{
public:
    explicit CDebugFlags(const QString& a_strClass);
    virtual ~CDebugFlags();

    // The flags of this class in a_lstClasses' setup, with the log flag applied.
    virtual QMap<QString, QString> handleNewDbgFlagSetup(const QStringList& a_lstClasses);
    // 0 when the setup has nothing for this class besides "log"; else the number of its other flags.
    virtual unsigned short handleDbgFlagSetup(const typMapDbgFlags& a_mapSetup);

    const QString& getDebugClassname() const { return m_strClass; }
    bool isLogOn() const { return m_bLog.load(std::memory_order_relaxed); }

protected:
    void getCurrentDbgFlagSetup();
    // Connects the center's broadcast to the holder's slot, queued into the holder's thread.
    void followDebugCenter(QObject* a_pHolder);
    // Adds flags (name -> allowed values) to this class's registration.
    void registerFlags(const QMap<QString, QString>& a_mapValues);
    // Adds commands: flags that are broadcast but never kept as part of the setup.
    void registerOnceOnlyFlags(const QMap<QString, QString>& a_mapValues);
    // One diagnostic text while the class's "log" flag is on; the text is made only then, since
    // the services log on every message.
    template <typename t_Text> void debugLog(const t_Text& a_fnText) const
    {
        if (isLogOn())
            writeDebugLog(a_fnText());
    }
    void writeDebugLog(const QString& a_strText) const;

private:
    // Written on the holder's thread, read from any thread that logs for the holder.
    std::atomic<bool> m_bLog{false};
    QString m_strClass;
};
}  // namespace XmlCommunication

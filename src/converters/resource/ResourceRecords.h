#pragma once

#include <QtCore/QByteArray>
#include <QtCore/QString>

// Records of the resource manager's messages whose layout is written by hand.
namespace ResourceConverter
{
// A tuner a resource manager offers: its model, and the dialog descriptions of its settings and of
// its connection to a storage unit (over the link named by strStorageConnectionType).
struct struTUNER_SETTINGS
{
    QString strType;
    QByteArray baSettingsDialog;
    QByteArray baStorageConnectionDialog;
    QString strStorageConnectionType;
    bool operator==(const struTUNER_SETTINGS& a_o) const
    {
        return strType == a_o.strType && baSettingsDialog == a_o.baSettingsDialog &&
               baStorageConnectionDialog == a_o.baStorageConnectionDialog &&
               strStorageConnectionType == a_o.strStorageConnectionType;
    }
};
}  // namespace ResourceConverter

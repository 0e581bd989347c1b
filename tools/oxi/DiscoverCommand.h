#pragma once

#include <QtCore/QStringList>
#include <QtCore/QTextStream>

namespace OxiTool
{
// "oxi discover": listens for device and main-service announcements and prints one line per
// device or service heard, until interrupted or for the given time. Returns 0 when the time is
// up, 2 on bad usage or when a port cannot be bound.
int runDiscover(const QStringList& a_lstArguments, QTextStream& a_objOut, QTextStream& a_objErr);
QString discoverUsage();
}  // namespace OxiTool

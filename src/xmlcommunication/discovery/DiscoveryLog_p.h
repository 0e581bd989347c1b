#pragma once

#include <QtCore/QByteArray>
#include <QtCore/QString>

// Diagnostics of the discovery classes. Parsers run on the receiver's thread, which need not be
// their own, so the "log" flag is read from the debug center at the moment of writing instead of
// being kept in the object.
namespace XmlCommunication
{
namespace DiscoveryLog
{
// Registers the class's "log" flag (values "0,1") with the debug center.
void registerClass(const QString& a_strClass);
// Writes "<class>: <text>" to the diagnostic output while the class's "log" flag is "1".
void write(const QString& a_strClass, const QString& a_strText);
// A field for a log text: in double quotes, cut after 64 characters.
QString quoted(const QString& a_strField);
}  // namespace DiscoveryLog
}  // namespace XmlCommunication

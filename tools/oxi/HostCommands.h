#pragma once

#include <QtCore/QStringList>
#include <QtCore/QTextStream>

namespace OxiTool
{
// "oxi serve": a host that prints every message it receives and answers every request.
int runServe(const QStringList& a_lstArguments, QTextStream& a_objOut, QTextStream& a_objErr);
QString serveUsage();
// "oxi send": sends the requests of a capture to a peer and prints each answer.
int runSend(const QStringList& a_lstArguments, QTextStream& a_objOut, QTextStream& a_objErr);
QString sendUsage();
// "oxi listen": installs a filter at a peer and prints the events it sends.
int runListen(const QStringList& a_lstArguments, QTextStream& a_objOut, QTextStream& a_objErr);
QString listenUsage();
}  // namespace OxiTool

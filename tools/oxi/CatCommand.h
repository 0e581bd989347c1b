#pragma once

#include <QtCore/QStringList>
#include <QtCore/QTextStream>

namespace OxiTool
{
// "oxi cat": prints every message of a captured connection stream with its log header line
// and readable form. Returns 0 when the stream was clean, 1 when it was broken somewhere, 2 on
// bad usage or an unreadable input.
int runCat(const QStringList& a_lstArguments, QTextStream& a_objOut, QTextStream& a_objErr);
QString catUsage();
}  // namespace OxiTool

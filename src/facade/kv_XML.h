#pragma once

#include <OrvexXmlInterface/OxiExport.h>

#include <QtCore/QString>

// Library set-up and text output for hosts of the object facade.
namespace kv_XML
{
// Makes sure that the process's timer service exists. Returns true.
OXI_EXPORT bool setup();
// Nothing to release: what setup starts lives as long as the process.
OXI_EXPORT void cleanup();

// The text and a line feed to the debugger output, as one write.
OXI_EXPORT void kvxml_message_debug_output(const QString& a_strText);
OXI_EXPORT void kvxml_message_debug_output(const char* a_pszText);
OXI_EXPORT void kvxml_message_debug_output(const wchar_t* a_pwszText);

// The debugger output while a debugger is attached; otherwise the standard error stream, as for
// kvxml_message_stderr_output.
OXI_EXPORT void kvxml_message_output(const QString& a_strText);
OXI_EXPORT void kvxml_message_output(const char* a_pszText);
OXI_EXPORT void kvxml_message_output(const wchar_t* a_pwszText);

// The text and a line feed to the standard error stream in one write: QString and wide text as
// UTF-8, narrow text as its bytes. A null pointer writes an empty line.
OXI_EXPORT void kvxml_message_stderr_output(const QString& a_strText);
OXI_EXPORT void kvxml_message_stderr_output(const char* a_pszText);
OXI_EXPORT void kvxml_message_stderr_output(const wchar_t* a_pwszText);
}  // namespace kv_XML

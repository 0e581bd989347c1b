#include "kv_XML.h"

#include <OrvexXmlInterface/platform/Platform.h>
#include <OrvexXmlInterface/xmlcommunication/services/CTriggerManager.h>

namespace kv_XML
{
namespace
{
QString fromNarrow(const char* a_pszText)
{
    return a_pszText == nullptr ? QString() : QString::fromUtf8(a_pszText);
}

QString fromWide(const wchar_t* a_pwszText)
{
    return a_pwszText == nullptr ? QString() : QString::fromWCharArray(a_pwszText);
}

void debugLine(const QString& a_strText)
{
    Platform::debugOutput(a_strText + QLatin1Char('\n'));
}

// Narrow text keeps its bytes; everything else is UTF-8. The stream thus only ever gets bytes.
void stderrLine(QByteArray a_baText)
{
    a_baText.append('\n');
    Platform::standardErrorOutput(a_baText);
}
}  // namespace

bool setup()
{
    XmlCommunication::CTriggerManager::getInstance();
    return true;
}

void cleanup() {}

void kvxml_message_debug_output(const QString& a_strText)
{
    debugLine(a_strText);
}

void kvxml_message_debug_output(const char* a_pszText)
{
    debugLine(fromNarrow(a_pszText));
}

void kvxml_message_debug_output(const wchar_t* a_pwszText)
{
    debugLine(fromWide(a_pwszText));
}

void kvxml_message_output(const QString& a_strText)
{
    if (Platform::isDebuggerPresent())
        kvxml_message_debug_output(a_strText);
    else
        kvxml_message_stderr_output(a_strText);
}

void kvxml_message_output(const char* a_pszText)
{
    if (Platform::isDebuggerPresent())
        kvxml_message_debug_output(a_pszText);
    else
        kvxml_message_stderr_output(a_pszText);
}

void kvxml_message_output(const wchar_t* a_pwszText)
{
    if (Platform::isDebuggerPresent())
        kvxml_message_debug_output(a_pwszText);
    else
        kvxml_message_stderr_output(a_pwszText);
}

void kvxml_message_stderr_output(const QString& a_strText)
{
    stderrLine(a_strText.toUtf8());
}

void kvxml_message_stderr_output(const char* a_pszText)
{
    stderrLine(a_pszText == nullptr ? QByteArray() : QByteArray(a_pszText));
}

void kvxml_message_stderr_output(const wchar_t* a_pwszText)
{
    stderrLine(fromWide(a_pwszText).toUtf8());
}
}  // namespace kv_XML

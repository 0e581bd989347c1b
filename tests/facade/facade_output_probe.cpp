// Writes through the facade's standard-error functions, wide and narrow text interleaved, so
// that a test can read the bytes that really reach the stream.
#include <OrvexXmlInterface/facade/kv_XML.h>

int main()
{
    kv_XML::kvxml_message_stderr_output(L"wide Gr\u00f6\u00dfe \u20ac");
    kv_XML::kvxml_message_stderr_output("narrow \xff bytes");
    kv_XML::kvxml_message_stderr_output(QStringLiteral("QString \u00e4"));
    kv_XML::kvxml_message_output(L"output \u00fc");
    kv_XML::kvxml_message_output("output narrow");
    kv_XML::kvxml_message_stderr_output(static_cast<const wchar_t*>(nullptr));
    kv_XML::kvxml_message_output(QStringLiteral("last"));
    return 0;
}

#pragma once

#include <OrvexXmlInterface/OxiExport.h>

namespace kv_XML
{
// Tests of the result codes of converters and of the document model: 0 is success.
class OXI_EXPORT ConverterHelpers
{
public:
    ConverterHelpers& operator=(const ConverterHelpers&) = default;
    ConverterHelpers& operator=(ConverterHelpers&&) = default;

    static bool isSuccess(int a_iCode) { return a_iCode == 0; }
    static bool isFailure(int a_iCode) { return a_iCode != 0; }
};
}  // namespace kv_XML

#pragma once

#include <OrvexXmlInterface/xmlcommon/CXmlStreamParser.h>

// Limits small enough that the fuzzer reaches every one of them with short inputs; the parser
// targets share them so that their corpora exercise the same boundaries.
inline void applyFuzzLimits(XmlCommon::CXmlStreamParser& a_objParser)
{
    a_objParser.setMaxMessageBytes(16 * 1024);
    a_objParser.setMaxBytesBetweenMessages(4 * 1024);
    a_objParser.setMaxAttributes(16);
    a_objParser.setMaxStartTagBytes(2 * 1024);
    a_objParser.setMaxDepth(64);
}

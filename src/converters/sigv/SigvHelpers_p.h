#pragma once

// Value forms of the signal-processing family that its generated code calls by name.
#include <OrvexXmlInterface/converters/sigv/SigvRecords.h>
#include <OrvexXmlInterface/xmlcommon/CXmlElement.h>

#include <QtCore/QList>

namespace SigVConverter
{
// Lists of frequency ranges: one element of the name per range, each a range value "min,max"
// in Hz. The setter replaces the list and writes nothing when a range is the wrong way round.
namespace FrequencyRanges
{
int set(const XmlCommon::ptrCXmlElement& a_ptrRecord, const XmlCommon::CTagname& a_objTag,
        const QList<struFREQUENCY_RANGE>& a_lstRanges);
int get(const XmlCommon::ptrCXmlElement& a_ptrRecord, const XmlCommon::CTagname& a_objTag,
        QList<struFREQUENCY_RANGE>& a_lstRanges);
}  // namespace FrequencyRanges
}  // namespace SigVConverter

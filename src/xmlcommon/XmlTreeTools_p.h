#pragma once

#include "XmlTreeTools.h"

namespace XmlCommon
{
namespace XmlTreeTools
{
// applyFilter for a result that is only read, such as the text of an event for one peer: what the
// filter passes whole (everything below an "All") is shared with a_ptrData, not copied.
int applyFilterSharing(const ptrCXmlElement& a_ptrFilter, const ptrCXmlElement& a_ptrData, ptrCXmlElement& a_ptrResult);
}  // namespace XmlTreeTools
}  // namespace XmlCommon

#pragma once

#include "CXmlElement.h"

#include <limits>

namespace XmlCommon
{
// The longest text the wire writer appends to: a QByteArray holds a little less than 2 GiB.
constexpr qint64 s_llMaxWireBytes = std::numeric_limits<int>::max() - 4096;

// CXmlElement::toByteArray with the longest text it may leave in a_baOut given; toByteArray
// passes s_llMaxWireBytes, tests a smaller one. a_pRootAttribute, when given, is written as the
// root's attribute of its name, as if set on the root: the transport stamps a message's
// remaining time this way without copying the host's root.
OXI_PRIVATE_EXPORT int writeWire(const CXmlElement& a_objRoot, QByteArray& a_baOut, unsigned int& a_uiUncompressedBytes,
                                 CWorkMan* a_pWorkMan, qint64 a_llMaxBytes,
                                 const struATTRIBUTE* a_pRootAttribute = nullptr);
}  // namespace XmlCommon

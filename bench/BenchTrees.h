#pragma once

#include <OrvexXmlInterface/xmlcommon/CXmlElement.h>

// A request shaped like the system's real messages: a few fragments with nested records of
// typed values carrying units, the odd text that needs escaping, grown to about a_iBytes of wire text.
XmlCommon::ptrCXmlElement makeRealisticMessage(int a_iBytes);

QByteArray wireText(const XmlCommon::ptrCXmlElement& a_ptrTree);

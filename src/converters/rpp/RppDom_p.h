#pragma once

// DOM nodes handed to the Rpp converters become element trees of the library.
#include <OrvexXmlInterface/xmlcommon/CXmlElement.h>

#include <QtXml/QDomNode>

namespace RppConverter
{
// The element a DOM node writes (QDomNode::save), read into an element tree; null when the node
// is null or its text cannot be read.
XmlCommon::ptrCXmlElement elementOf(const QDomNode& a_objNode);
}  // namespace RppConverter

#pragma once

#include <OrvexXmlInterface/xmlcommon/CTagname.h>

#include <QtCore/QVector>

// The protocol's element names, one shared constant each (XmlCommon::Tag::Request, ...).
// Names that begin with a digit get a leading underscore: Tag::_10M is "10M".
namespace XmlCommon::Tag
{
#define OXI_TAG(a_id) extern OXI_EXPORT const CTagname a_id;
#define OXI_TAG_AS(a_id, a_text) extern OXI_EXPORT const CTagname a_id;
#include <OrvexXmlInterface/xmlcommon/TagnameList.def>
#undef OXI_TAG
#undef OXI_TAG_AS

// Every constant of the vocabulary, in the order of its list.
OXI_EXPORT const QVector<const CTagname*>& vocabulary();
// The constant spelled a_strName, or null when the name is not in the vocabulary.
OXI_EXPORT const CTagname* find(const QString& a_strName);
}  // namespace XmlCommon::Tag

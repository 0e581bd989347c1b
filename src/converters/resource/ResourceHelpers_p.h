#pragma once

// Value forms of the resource manager's family that its generated code calls by name.
#include <OrvexXmlInterface/xmlcommon/CXmlElement.h>
#include <OrvexXmlInterface/xmlcommon/GlobalTypes.h>

#include <QtCore/QList>

namespace ResourceConverter
{
// The application types a processing unit excludes: one element per type, written in the fixed
// order ffp, dcp, controller, fh and at most once each; an empty list is one element without text.
namespace Exclusions
{
int set(const XmlCommon::ptrCXmlElement& a_ptrRecord, const XmlCommon::CTagname& a_objTag,
        const QList<GLOBAL_TYPES::eCHILD_APPLICATION_TYPES>& a_lstTypes);
int get(const XmlCommon::ptrCXmlElement& a_ptrRecord, const XmlCommon::CTagname& a_objTag,
        QList<GLOBAL_TYPES::eCHILD_APPLICATION_TYPES>& a_lstTypes);
}  // namespace Exclusions
}  // namespace ResourceConverter

#pragma once

#include "CXmlElement.h"

namespace XmlCommon::TreeSearch
{
// The first direct child with that name, or null.
inline ptrCXmlElement firstChild(const ptrCXmlElement& a_ptrParent, const CTagname& a_objName)
{
    if (a_ptrParent) {
        for (const ptrCXmlElement& ptrChild : a_ptrParent->children()) {
            if (ptrChild->tagname() == a_objName)
                return ptrChild;
        }
    }
    return ptrCXmlElement();
}
}  // namespace XmlCommon::TreeSearch

#include "Tagnames.h"

#include "CTagname_p.h"

// One definition per name, shared by every unit and every library user: the constants are
// built once when the library is loaded, and a converter passes them by reference.
#include <QtCore/QHash>

namespace XmlCommon::Tag
{
// Builds the vocabulary's names with permanent forms: they are never freed, and copying them
// counts nothing.
class CVocabulary
{
public:
    static CTagname permanent(const char* a_pszName)
    {
        CTagname objTag(a_pszName);
        objTag.m_pForms->bPermanent = true;
        return objTag;
    }
};

#define OXI_TAG(a_id) const CTagname a_id = CVocabulary::permanent(#a_id);
#define OXI_TAG_AS(a_id, a_text) const CTagname a_id = CVocabulary::permanent(a_text);
#include "TagnameList.def"
#undef OXI_TAG
#undef OXI_TAG_AS

const QVector<const CTagname*>& vocabulary()
{
#define OXI_TAG(a_id) &a_id,
#define OXI_TAG_AS(a_id, a_text) &a_id,
    static const QVector<const CTagname*> s_vec{
#include "TagnameList.def"
    };
#undef OXI_TAG
#undef OXI_TAG_AS
    return s_vec;
}

const CTagname* find(const QString& a_strName)
{
    static const QHash<QString, const CTagname*> s_hashByName = [] {
        QHash<QString, const CTagname*> hash;
        for (const CTagname* pTag : vocabulary())
            hash.insert(*pTag, pTag);
        return hash;
    }();
    return s_hashByName.value(a_strName, nullptr);
}
}  // namespace XmlCommon::Tag

#include "Tagnames.h"

// One definition per name, shared by every unit and every library user: the constants are
// built once when the library is loaded, and a converter passes them by reference.
namespace XmlCommon::Tag
{
#define OXI_TAG(a_id) const CTagname a_id(#a_id);
#define OXI_TAG_AS(a_id, a_text) const CTagname a_id(a_text);
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
}  // namespace XmlCommon::Tag

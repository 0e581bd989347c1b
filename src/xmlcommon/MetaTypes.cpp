#include "CXmlElement.h"

#include <QtCore/QMetaType>

namespace
{
// Types that travel through queued connections, registered once when the library is loaded.
void registerMetaTypes()
{
    qRegisterMetaType<XmlCommon::ptrCXmlElement>("XmlCommon::ptrCXmlElement");
}
}  // namespace

Q_CONSTRUCTOR_FUNCTION(registerMetaTypes)

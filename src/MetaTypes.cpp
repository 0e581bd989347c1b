#include <OrvexXmlInterface/xmlcommon/CMsgFragment.h>
#include <OrvexXmlInterface/xmlcommon/CXmlElement.h>
#include <OrvexXmlInterface/xmlcommon/CXmlMessage.h>

#include <OrvexXmlInterface/xmlcommunication/services/CDebugCenter.h>

#include <QtCore/QMetaType>

namespace
{
// Types that travel through queued connections, registered once when the library is loaded.
void registerMetaTypes()
{
    qRegisterMetaType<XmlCommon::ptrCXmlElement>("XmlCommon::ptrCXmlElement");
    qRegisterMetaType<XmlCommon::ptrCXmlMessage>("XmlCommon::ptrCXmlMessage");
    qRegisterMetaType<XmlCommon::CMsgFragment>("XmlCommon::CMsgFragment");
    qRegisterMetaType<XmlCommunication::typMapDbgFlags>("typMapDbgFlags");
    qRegisterMetaType<XmlCommunication::typMapDbgFlags>("XmlCommunication::typMapDbgFlags");
}
}  // namespace

Q_CONSTRUCTOR_FUNCTION(registerMetaTypes)

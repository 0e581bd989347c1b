#include <OrvexXmlInterface/xmlcommon/CMsgFragment.h>
#include <OrvexXmlInterface/xmlcommon/CXmlElement.h>
#include <OrvexXmlInterface/xmlcommon/CXmlMessage.h>

#include <OrvexXmlInterface/xmlcommon/GlobalXmlTypes.h>
#include <OrvexXmlInterface/xmlcommunication/services/CDebugCenter.h>
#include <OrvexXmlInterface/xmlcommunication/transport/TransportTypes.h>

#include <QtNetwork/QAbstractSocket>

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
    qRegisterMetaType<XmlCommon::ptrCXmlMessage>("ptrCXmlMessage");
    qRegisterMetaType<XmlCommon::ptrCXmlElement>("ptrCXmlElement");
    qRegisterMetaType<GLOBAL_XML_TYPES::eMESSAGE_TYPES>("GLOBAL_XML_TYPES::eMESSAGE_TYPES");
    qRegisterMetaType<GLOBAL_XML_TYPES::eXML_COMMUNICATION_DEVICES>("GLOBAL_XML_TYPES::eXML_COMMUNICATION_DEVICES");
    qRegisterMetaType<XmlCommunication::struClientData>("XmlCommunication::struClientData");
    qRegisterMetaType<XmlCommunication::struClientData>("struClientData");
    qRegisterMetaType<XmlCommunication::struCOMMAN_DESCRIPTION>("XmlCommunication::struCOMMAN_DESCRIPTION");
    qRegisterMetaType<XmlCommunication::struCOMMAN_DESCRIPTION>("struCOMMAN_DESCRIPTION");
    qRegisterMetaType<XmlCommunication::typSocketDescriptor>("XmlCommunication::typSocketDescriptor");
    qRegisterMetaType<QAbstractSocket::SocketState>("QAbstractSocket::SocketState");
    qRegisterMetaType<QAbstractSocket::SocketError>("QAbstractSocket::SocketError");
    qRegisterMetaType<QList<quint32>>("QList<quint32>");
}
}  // namespace

Q_CONSTRUCTOR_FUNCTION(registerMetaTypes)

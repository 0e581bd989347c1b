#include "CStatusReport.h"

#include <OrvexXmlInterface/xmlcommon/ResultCodes.h>
#include <OrvexXmlInterface/xmlcommon/XmlTreeTools.h>

using namespace XmlCommon;
using namespace GLOBAL_XML_TYPES;

namespace XmlCommunication
{
namespace
{
bool readPort(const ptrCXmlElement& a_ptrInterface, unsigned short& a_usPort, bool& a_bPresent)
{
    const ptrCXmlElement ptrPort = XmlTreeTools::findTagInTree(a_ptrInterface, Tag::Port);
    a_bPresent = bool(ptrPort);
    bool bOk = false;
    if (ptrPort)
        a_usPort = ptrPort->getValue().toUShort(&bOk, 10);
    return bOk;
}
}  // namespace

int CStatusReport::getApplicationName(QString& a_strValue) const
{
    return getText(Tag::ApplicationName, a_strValue);
}
int CStatusReport::setApplicationName(const QString& a_strValue)
{
    return setText(Tag::ApplicationName, a_strValue);
}
int CStatusReport::getApplicationVersion(QString& a_strValue) const
{
    return getText(Tag::ApplicationVersion, a_strValue);
}
int CStatusReport::setApplicationVersion(const QString& a_strValue)
{
    return setText(Tag::ApplicationVersion, a_strValue);
}
int CStatusReport::getID(QString& a_strValue) const
{
    return getText(Tag::ChildID, a_strValue);
}
int CStatusReport::setID(const QString& a_strValue)
{
    return setText(Tag::ChildID, a_strValue);
}
int CStatusReport::getHostname(QString& a_strValue) const
{
    return getText(Tag::Hostname, a_strValue);
}
int CStatusReport::setHostname(const QString& a_strValue)
{
    return setText(Tag::Hostname, a_strValue);
}
int CStatusReport::getHostinfo(QString& a_strValue) const
{
    return getText(Tag::Hostinfo, a_strValue);
}
int CStatusReport::setHostinfo(const QString& a_strValue)
{
    return setText(Tag::Hostinfo, a_strValue);
}
int CStatusReport::getLocalStoragePossibility(bool& a_bPossible) const
{
    return getBool(Tag::LocalStorage, a_bPossible);
}
int CStatusReport::setLocalStoragePossibility(bool a_bPossible)
{
    return setBool(Tag::LocalStorage, a_bPossible);
}

int CStatusReport::getEvent(eSTATUS_REPORT_EVENTS& a_eEvent) const
{
    return getEnum(Tag::Event, a_eEvent, G_objStatusReportEventTexts);
}

int CStatusReport::setEvent(eSTATUS_REPORT_EVENTS a_eEvent)
{
    return setEnum(Tag::Event, a_eEvent, G_objStatusReportEventTexts);
}

int CStatusReport::getTcpInterfaces(QList<struTcpInterface>& a_lstInterfaces) const
{
    return read([&](const ptrCXmlElement& a_ptrData) {
        a_lstInterfaces.clear();
        for (const ptrCXmlElement& ptrInterface : XmlTreeTools::findChildren(a_ptrData, Tag::NetworkInterface)) {
            struTcpInterface objInterface;
            bool bPresent = false;
            const ptrCXmlElement ptrIp = XmlTreeTools::findTagInTree(ptrInterface, Tag::IP);
            if (readPort(ptrInterface, objInterface.port, bPresent) && ptrIp) {
                objInterface.ip = ptrIp->getValue();
                a_lstInterfaces.append(objInterface);
            }
        }
        return int(RESULT_OK);
    });
}

int CStatusReport::setTcpInterfaces(const QList<struTcpInterface>& a_lstInterfaces)
{
    return write([&](const ptrCXmlElement& a_ptrData) {
        XmlTreeTools::removeTags(a_ptrData, Tag::NetworkInterface);
        for (const struTcpInterface& objInterface : a_lstInterfaces) {
            const ptrCXmlElement ptrInterface = XmlConverterTools::createElement(a_ptrData, Tag::NetworkInterface);
            XmlConverterTools::setUShort(ptrInterface, Tag::Port, objInterface.port, QString());
            XmlConverterTools::setText(ptrInterface, Tag::IP, objInterface.ip);
        }
        return int(RESULT_OK);
    });
}

int CStatusReport::getIPs(QStringList& a_lstAddresses) const
{
    return read([&](const ptrCXmlElement& a_ptrData) {
        a_lstAddresses.clear();
        for (const ptrCXmlElement& ptrInterface : XmlTreeTools::findChildren(a_ptrData, Tag::NetworkInterface)) {
            if (const ptrCXmlElement ptrIp = XmlTreeTools::findTagInTree(ptrInterface, Tag::IP))
                a_lstAddresses.append(ptrIp->getValue());
        }
        return int(RESULT_OK);
    });
}

int CStatusReport::getPort(unsigned short& a_usPort) const
{
    return read([&](const ptrCXmlElement& a_ptrData) {
        const ptrCXmlElement ptrInterface = XmlTreeTools::findTagInTree(a_ptrData, Tag::NetworkInterface);
        unsigned short usPort = 0;
        bool bPresent = false;
        if (!ptrInterface)
            return int(RESULT_MISSING);
        if (!readPort(ptrInterface, usPort, bPresent))
            return int(bPresent ? RESULT_MALFORMED : RESULT_MISSING);
        a_usPort = usPort;
        return int(RESULT_OK);
    });
}

int CStatusReport::getStartupFault(CFaultTree& a_objFault) const
{
    return read([&](const ptrCXmlElement& a_ptrData) {
        const ptrCXmlElement ptrFault = XmlTreeTools::findTagInTree(a_ptrData, Tag::Fault);
        if (!ptrFault)
            return int(RESULT_MISSING);
        a_objFault.setElementTree(ptrFault);
        return int(RESULT_OK);
    });
}

int CStatusReport::setStartupFault(const CFaultTree& a_objFault)
{
    return write([&](const ptrCXmlElement& a_ptrData) {
        XmlTreeTools::removeTags(a_ptrData, Tag::Fault);
        if (!a_objFault.isNull())
            a_ptrData->addChild(a_objFault.getElementTree(), -1);
        return int(RESULT_OK);
    });
}
}  // namespace XmlCommunication

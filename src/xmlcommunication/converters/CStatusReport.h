#pragma once

#include <OrvexXmlInterface/OxiExport.h>
#include <OrvexXmlInterface/xmlcommon/CFaultTree.h>
#include <OrvexXmlInterface/xmlcommon/GlobalXmlTypes.h>
#include <OrvexXmlInterface/xmlcommunication/converters/CLayerConverter.h>

#include <QtCore/QList>
#include <QtCore/QStringList>

namespace XmlCommunication
{
// What an application reports about itself: its life-cycle event, identity, host, the TCP
// interfaces it listens on, local storage, and the fault that stopped its start.
class OXI_EXPORT CStatusReport : public CLayerConverter<XmlCommon::Tag::StatusReport>
{
public:
    using CLayerConverter::CLayerConverter;

    int getApplicationName(QString& a_strValue) const;
    int setApplicationName(const QString& a_strValue);
    int getApplicationVersion(QString& a_strValue) const;
    int setApplicationVersion(const QString& a_strValue);
    int getID(QString& a_strValue) const;
    int setID(const QString& a_strValue);
    int getHostname(QString& a_strValue) const;
    int setHostname(const QString& a_strValue);
    int getHostinfo(QString& a_strValue) const;
    int setHostinfo(const QString& a_strValue);
    int getLocalStoragePossibility(bool& a_bPossible) const;
    int setLocalStoragePossibility(bool a_bPossible);
    int getEvent(GLOBAL_XML_TYPES::eSTATUS_REPORT_EVENTS& a_eEvent) const;
    int setEvent(GLOBAL_XML_TYPES::eSTATUS_REPORT_EVENTS a_eEvent);

    // Interfaces with a missing or malformed port or a missing address are skipped.
    int getTcpInterfaces(QList<GLOBAL_XML_TYPES::struTcpInterface>& a_lstInterfaces) const;
    // Replaces all interfaces.
    int setTcpInterfaces(const QList<GLOBAL_XML_TYPES::struTcpInterface>& a_lstInterfaces);
    int getIPs(QStringList& a_lstAddresses) const;
    // The port of the first interface.
    int getPort(unsigned short& a_usPort) const;

    int getStartupFault(XmlCommon::CFaultTree& a_objFault) const;
    int setStartupFault(const XmlCommon::CFaultTree& a_objFault);
};
}  // namespace XmlCommunication

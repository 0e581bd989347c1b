#pragma once

#include <OrvexXmlInterface/OxiExport.h>
#include <OrvexXmlInterface/xmlcommunication/converters/CLayerConverter.h>

#include <QtCore/QMap>

// The communication layer's small messages, all of component "XmlCommunicationDevice".
namespace XmlCommunication
{
// Debug class name -> flag name -> value.
using typMapDbgFlags = QMap<QString, QMap<QString, QString>>;

// Name, version, build, GUID and interface of an application.
class OXI_EXPORT CAppDescription : public CLayerConverter<XmlCommon::Tag::Description>
{
public:
    using CLayerConverter::CLayerConverter;
    int getAppName(QString& a_strValue) const;
    int setAppName(const QString& a_strValue);
    int getAppVersion(QString& a_strValue) const;
    int setAppVersion(const QString& a_strValue);
    int getAppBuild(QString& a_strValue) const;
    int setAppBuild(const QString& a_strValue);
    int getAppGuid(QString& a_strValue) const;
    int setAppGuid(const QString& a_strValue);
    int getAppInterface(QString& a_strValue) const;
    int setAppInterface(const QString& a_strValue);
    // The whole description; a null tree when the fragment is no description.
    XmlCommon::CDataTree getDescription() const;
    int setDescription(XmlCommon::CDataTree a_objDescription);
};

// The message itself is the signal: a peer offers compressed transfer.
class OXI_EXPORT CCompressionConverter : public CLayerConverter<XmlCommon::Tag::Compression>
{
public:
    using CLayerConverter::CLayerConverter;
};

// Debug flag values grouped by debug class: one element per class, one child per flag.
class OXI_EXPORT CDebugFlagsConverter : public CLayerConverter<XmlCommon::Tag::DebugFlags>
{
public:
    using CLayerConverter::CLayerConverter;
    // Merges into what the map already holds.
    int getFlags(typMapDbgFlags& a_mapFlags) const;
    // Appends the groups; existing children are kept.
    int setFlags(const typMapDbgFlags& a_mapFlags);
};

// Debug flag descriptions (allowed values), in the layout of the debug flags.
class OXI_EXPORT CQueryDebugFlagInformationConverter : public CLayerConverter<XmlCommon::Tag::DebugFlagInformation>
{
public:
    using CLayerConverter::CLayerConverter;
    int getFlagInformation(typMapDbgFlags& a_mapInformation) const;
    int setFlagInformation(const typMapDbgFlags& a_mapInformation);
};

// One debug log text.
class OXI_EXPORT CDebugLoggingEvent : public CLayerConverter<XmlCommon::Tag::DebugTextToLog>
{
public:
    using CLayerConverter::CLayerConverter;
    int getLogText(QString& a_strText) const { return getOwnText(a_strText); }
    int setLogText(const QString& a_strText) { return setOwnText(a_strText); }
};

// Free-form meta information: the data tree is the payload.
class OXI_EXPORT CMetaInfoConverter : public CLayerConverter<XmlCommon::Tag::MetaInformation>
{
public:
    using CLayerConverter::CLayerConverter;
    XmlCommon::CDataTree getInfo() const;
    int setInfo(XmlCommon::CDataTree a_objInfo);
};

// A yes/no demand for the creation times of requests.
class OXI_EXPORT CRequestCreationTimeDemand : public CLayerConverter<XmlCommon::Tag::RequestCreationtimeDemand>
{
public:
    using CLayerConverter::CLayerConverter;
    int getDemand(bool& a_bDemand) const { return getOwnBool(a_bDemand); }
    int setDemand(bool a_bDemand) { return setOwnBool(a_bDemand); }
};

// A yes/no demand to leave the request trees out of replies.
class OXI_EXPORT CRequestTreeConverter : public CLayerConverter<XmlCommon::Tag::RequestTreeSuppression>
{
public:
    using CLayerConverter::CLayerConverter;
    int getRequestTreeSuppression(bool& a_bSuppress) const { return getOwnBool(a_bSuppress); }
    int setRequestTreeSuppression(bool a_bSuppress) { return setOwnBool(a_bSuppress); }
};

// The text of a parser error, sent to the peer whose stream broke.
class OXI_EXPORT CXmlFaultConverter : public CLayerConverter<XmlCommon::Tag::XmlParserError>
{
public:
    using CLayerConverter::CLayerConverter;
    int getXmlParserErrorText(QString& a_strText) const { return getOwnText(a_strText); }
    int setXmlParserErrorText(const QString& a_strText) { return setOwnText(a_strText); }
};
}  // namespace XmlCommunication

#include "LayerConverters.h"

using namespace XmlCommon;

namespace XmlCommunication
{
namespace
{
int readGroups(const ptrCXmlElement& a_ptrData, typMapDbgFlags& a_mapGroups)
{
    for (const ptrCXmlElement& ptrGroup : a_ptrData->children()) {
        QMap<QString, QString>& mapGroup = a_mapGroups[ptrGroup->tagname()];
        for (const ptrCXmlElement& ptrEntry : ptrGroup->children())
            mapGroup[ptrEntry->tagname()] = ptrEntry->getValue();
    }
    return 0;
}

int writeGroups(const ptrCXmlElement& a_ptrData, const typMapDbgFlags& a_mapGroups)
{
    for (auto itGroup = a_mapGroups.cbegin(); itGroup != a_mapGroups.cend(); ++itGroup) {
        ptrCXmlElement ptrGroup(new CXmlElement(CTagname(itGroup.key())));
        for (auto itEntry = itGroup->cbegin(); itEntry != itGroup->cend(); ++itEntry) {
            ptrCXmlElement ptrEntry(new CXmlElement(CTagname(itEntry.key())));
            ptrEntry->setValue(itEntry.value());
            ptrGroup->addChild(ptrEntry, -1);
        }
        a_ptrData->addChild(ptrGroup, -1);
    }
    return 0;
}
}  // namespace

int CAppDescription::getAppName(QString& a_strValue) const
{
    return getText(Tag::Name, a_strValue);
}
int CAppDescription::setAppName(const QString& a_strValue)
{
    return setText(Tag::Name, a_strValue);
}
int CAppDescription::getAppVersion(QString& a_strValue) const
{
    return getText(Tag::Version, a_strValue);
}
int CAppDescription::setAppVersion(const QString& a_strValue)
{
    return setText(Tag::Version, a_strValue);
}
int CAppDescription::getAppBuild(QString& a_strValue) const
{
    return getText(Tag::Build, a_strValue);
}
int CAppDescription::setAppBuild(const QString& a_strValue)
{
    return setText(Tag::Build, a_strValue);
}
int CAppDescription::getAppGuid(QString& a_strValue) const
{
    return getText(Tag::GUID, a_strValue);
}
int CAppDescription::setAppGuid(const QString& a_strValue)
{
    return setText(Tag::GUID, a_strValue);
}
int CAppDescription::getAppInterface(QString& a_strValue) const
{
    return getText(Tag::Interface, a_strValue);
}
int CAppDescription::setAppInterface(const QString& a_strValue)
{
    return setText(Tag::Interface, a_strValue);
}

CDataTree CAppDescription::getDescription() const
{
    CDataTree objTree;
    return checkCompatibility(objTree) ? objTree : CDataTree();
}

int CAppDescription::setDescription(CDataTree a_objDescription)
{
    return setDataTree(a_objDescription);
}

int CDebugFlagsConverter::getFlags(typMapDbgFlags& a_mapFlags) const
{
    return read([&](const ptrCXmlElement& a_ptrData) { return readGroups(a_ptrData, a_mapFlags); });
}

int CDebugFlagsConverter::setFlags(const typMapDbgFlags& a_mapFlags)
{
    return write([&](const ptrCXmlElement& a_ptrData) { return writeGroups(a_ptrData, a_mapFlags); });
}

int CQueryDebugFlagInformationConverter::getFlagInformation(typMapDbgFlags& a_mapInformation) const
{
    return read([&](const ptrCXmlElement& a_ptrData) { return readGroups(a_ptrData, a_mapInformation); });
}

int CQueryDebugFlagInformationConverter::setFlagInformation(const typMapDbgFlags& a_mapInformation)
{
    return write([&](const ptrCXmlElement& a_ptrData) { return writeGroups(a_ptrData, a_mapInformation); });
}

CDataTree CMetaInfoConverter::getInfo() const
{
    CDataTree objTree;
    return checkCompatibility(objTree) ? objTree : CDataTree();
}

int CMetaInfoConverter::setInfo(CDataTree a_objInfo)
{
    return setDataTree(a_objInfo);
}
}  // namespace XmlCommunication

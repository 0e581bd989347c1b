// The resource manager's operations that do not follow the one-value pattern: exclusions, values
// keyed by a GUID, application type or component, tuner lists, job results and tuner commands.
#include <OrvexXmlInterface/converters/resource/ResourceConverters.h>

#include "../ConverterSupport_p.h"
#include "ResourceHelpers_p.h"

using namespace XmlCommon;
namespace Tools = XmlCommon::XmlConverterTools;
using ConverterSupport::childWith;

namespace ResourceConverter
{
namespace
{
const QByteArray s_baGuid("guid");
const QByteArray s_baType("type");
const QByteArray s_baTimeZone("timeZone");

ptrCXmlElement child(const ptrCXmlElement& a_ptrParent, const CTagname& a_objTag, bool a_bCreate = false)
{
    return XmlTreeTools::findTagInTree(a_ptrParent, a_objTag, G_objCompEqual, false, a_bCreate);
}

// A file of one unit: a CDATA child of the name whose attribute guid names the unit.
int setFileOf(const ptrCXmlElement& a_ptrData, const CTagname& a_objTag, const QString& a_strGuid,
              const QByteArray& a_baFile)
{
    if (a_strGuid.isEmpty())
        return RESULT_INVALID_ARG;
    return ConverterSupport::setCData(childWith(a_ptrData, a_objTag, s_baGuid, a_strGuid, true), nullptr, a_baFile);
}

int getFileOf(const ptrCXmlElement& a_ptrData, const CTagname& a_objTag, const QString& a_strGuid, QByteArray& a_baFile)
{
    if (!a_ptrData)
        return RESULT_WRONG_KIND;
    const ptrCXmlElement ptrFile = childWith(a_ptrData, a_objTag, s_baGuid, a_strGuid, false);
    return ptrFile ? ConverterSupport::getCData(ptrFile, nullptr, a_baFile) : int(RESULT_MISSING);
}

int readUuid(const QString& a_strText, QUuid& a_objGuid)
{
    const QUuid objGuid(a_strText);
    if (objGuid.isNull())
        return RESULT_MALFORMED;
    a_objGuid = objGuid;
    return RESULT_OK;
}
}  // namespace

namespace Exclusions
{
int set(const ptrCXmlElement& a_ptrRecord, const CTagname& a_objTag,
        const QList<GLOBAL_TYPES::eCHILD_APPLICATION_TYPES>& a_lstTypes)
{
    using namespace GLOBAL_TYPES;
    XmlTreeTools::removeTags(a_ptrRecord, a_objTag);
    if (a_lstTypes.isEmpty())
        return Tools::createElement(a_ptrRecord, a_objTag) ? int(RESULT_OK) : int(RESULT_INVALID_ARG);
    for (eCHILD_APPLICATION_TYPES eType :
         {CHILD_APPLICATION_FFP, CHILD_APPLICATION_DCP, CHILD_APPLICATION_CONTROLLER, CHILD_APPLICATION_FH}) {
        if (a_lstTypes.contains(eType))
            Tools::setEnum(a_ptrRecord, a_objTag, eType, G_objChildApplicationTypeTexts, {}, true);
    }
    return RESULT_OK;
}

int get(const ptrCXmlElement& a_ptrRecord, const CTagname& a_objTag,
        QList<GLOBAL_TYPES::eCHILD_APPLICATION_TYPES>& a_lstTypes)
{
    const QList<ptrCXmlElement> lstElements = XmlTreeTools::findChildren(a_ptrRecord, a_objTag);
    if (lstElements.isEmpty())
        return RESULT_MISSING;
    QList<GLOBAL_TYPES::eCHILD_APPLICATION_TYPES> lstTypes;
    for (const ptrCXmlElement& ptrElement : lstElements) {
        if (ptrElement->getValue().isEmpty())
            continue;
        GLOBAL_TYPES::eCHILD_APPLICATION_TYPES eType{};
        if (!GLOBAL_TYPES::G_objChildApplicationTypeTexts.value(ptrElement->getValue(), eType))
            return RESULT_MALFORMED;
        if (!lstTypes.contains(eType))
            lstTypes.append(eType);
    }
    a_lstTypes = lstTypes;
    return RESULT_OK;
}
}  // namespace Exclusions

int CAvailableTuners::setTuners(const QList<struTUNER_SETTINGS>& a_lstTuners)
{
    const ptrCXmlElement ptrData = shapedDataElement();
    XmlTreeTools::removeTags(ptrData, Tag::Tuner);
    for (const struTUNER_SETTINGS& objTuner : a_lstTuners) {
        const ptrCXmlElement ptrTuner = Tools::createElement(ptrData, Tag::Tuner);
        ptrTuner->setAttribute(s_baType, objTuner.strType);
        if (!objTuner.baSettingsDialog.isEmpty())
            ConverterSupport::setCData(ptrTuner, &Tag::TunerSettingsDialog, objTuner.baSettingsDialog);
        if (!objTuner.baStorageConnectionDialog.isEmpty() || !objTuner.strStorageConnectionType.isEmpty()) {
            ConverterSupport::setCData(ptrTuner, &Tag::StorageConnectionDialog, objTuner.baStorageConnectionDialog);
            child(ptrTuner, Tag::StorageConnectionDialog)->setAttribute(s_baType, objTuner.strStorageConnectionType);
        }
    }
    return RESULT_OK;
}

int CAvailableTuners::getTuners(QList<struTUNER_SETTINGS>& a_lstTuners) const
{
    const ptrCXmlElement ptrData = dataElement();
    if (!ptrData)
        return RESULT_WRONG_KIND;
    QList<struTUNER_SETTINGS> lstTuners;
    for (const ptrCXmlElement& ptrTuner : XmlTreeTools::findChildren(ptrData, Tag::Tuner)) {
        struTUNER_SETTINGS objTuner;
        bool bFound = false;
        objTuner.strType = ptrTuner->getAttribute(s_baType, &bFound);
        if (!bFound)
            return RESULT_MALFORMED;
        ConverterSupport::getCData(ptrTuner, &Tag::TunerSettingsDialog, objTuner.baSettingsDialog);
        if (const ptrCXmlElement ptrStorage = child(ptrTuner, Tag::StorageConnectionDialog)) {
            ConverterSupport::getCData(ptrStorage, nullptr, objTuner.baStorageConnectionDialog);
            objTuner.strStorageConnectionType = ptrStorage->getAttribute(s_baType);
        }
        lstTuners.append(objTuner);
    }
    a_lstTuners = lstTuners;
    return RESULT_OK;
}

int CAvailableTuners::setTunerNames(const QStringList& a_lstNames)
{
    QList<struTUNER_SETTINGS> lstTuners;
    for (const QString& strName : a_lstNames)
        lstTuners.append({strName, {}, {}, {}});
    return setTuners(lstTuners);
}

int CAvailableTuners::getTunerNames(QStringList& a_lstNames) const
{
    QList<struTUNER_SETTINGS> lstTuners;
    if (const int iResult = getTuners(lstTuners))
        return iResult;
    QStringList lstNames;
    for (const struTUNER_SETTINGS& objTuner : qAsConst(lstTuners))
        lstNames.append(objTuner.strType);
    a_lstNames = lstNames;
    return RESULT_OK;
}

int CConfigFile::setCfgFile(const QString& a_strGuid, const QByteArray& a_baFile)
{
    return setFileOf(shapedDataElement(), Tag::ConfigFileData, a_strGuid, a_baFile);
}

int CConfigFile::getCfgFile(const QString& a_strGuid, QByteArray& a_baFile) const
{
    return getFileOf(dataElement(), Tag::ConfigFileData, a_strGuid, a_baFile);
}

int CLogFiles::setLogFile(const QString& a_strGuid, const QByteArray& a_baFile)
{
    return setFileOf(shapedDataElement(), Tag::LogFile, a_strGuid, a_baFile);
}

int CLogFiles::getLogFile(const QString& a_strGuid, QByteArray& a_baFile) const
{
    return getFileOf(dataElement(), Tag::LogFile, a_strGuid, a_baFile);
}

int CElementInformation::getGUIDs(QList<QUuid>& a_lstGuids) const
{
    const ptrCXmlElement ptrData = dataElement();
    if (!ptrData)
        return RESULT_WRONG_KIND;
    QList<QUuid> lstGuids;
    for (const ptrCXmlElement& ptrInfo : XmlTreeTools::findChildren(ptrData, Tag::Information)) {
        QUuid objGuid;
        if (const int iResult = readUuid(ptrInfo->getAttribute(s_baGuid), objGuid))
            return iResult;
        lstGuids.append(objGuid);
    }
    a_lstGuids = lstGuids;
    return RESULT_OK;
}

int CElementInformation::setInfo(const QUuid& a_objGuid, const GLOBAL_TYPES::CElementInfoData& a_objInfo)
{
    if (a_objGuid.isNull())
        return RESULT_INVALID_ARG;
    const ptrCXmlElement ptrInfo =
        childWith(shapedDataElement(), Tag::Information, s_baGuid, a_objGuid.toString(), true);
    Tools::setText(ptrInfo, Tag::FriendlyName, a_objInfo.strFriendlyName);
    Tools::setText(ptrInfo, Tag::Comment, a_objInfo.strComment);
    Tools::setText(ptrInfo, Tag::Creator, a_objInfo.strCreator, nullptr,
                   {s_baGuid, a_objInfo.objCreatorGuid.toString()});
    Tools::setULongLong(ptrInfo, Tag::CreationTime, a_objInfo.ullCreationTime, QStringLiteral("ms"),
                        {s_baTimeZone, QStringLiteral("UTC")});
    return Tools::setBool(ptrInfo, Tag::Persistence, a_objInfo.bPersistence);
}

int CElementInformation::getInfo(const QUuid& a_objGuid, GLOBAL_TYPES::CElementInfoData& a_objInfo) const
{
    const ptrCXmlElement ptrData = dataElement();
    if (!ptrData)
        return RESULT_WRONG_KIND;
    const ptrCXmlElement ptrInfo = childWith(ptrData, Tag::Information, s_baGuid, a_objGuid.toString(), false);
    if (!ptrInfo)
        return RESULT_MISSING;
    GLOBAL_TYPES::CElementInfoData objInfo;
    int iResult = Tools::getText(ptrInfo, Tag::FriendlyName, objInfo.strFriendlyName);
    if (iResult == RESULT_OK)
        iResult = Tools::getText(ptrInfo, Tag::Comment, objInfo.strComment);
    if (iResult == RESULT_OK)
        iResult = Tools::getText(ptrInfo, Tag::Creator, objInfo.strCreator);
    if (iResult == RESULT_OK)
        objInfo.objCreatorGuid = QUuid(child(ptrInfo, Tag::Creator)->getAttribute(s_baGuid));
    if (iResult == RESULT_OK)
        iResult = Tools::getULongLong(ptrInfo, Tag::CreationTime, objInfo.ullCreationTime);
    if (iResult == RESULT_OK)
        iResult = Tools::getBool(ptrInfo, Tag::Persistence, objInfo.bPersistence);
    if (iResult == RESULT_OK)
        a_objInfo = objInfo;
    return iResult;
}

int CResourceDemandClasses::setResourceDemandClasses(
    eCOMPONENTS a_eComponent, const QList<IpcConverter::CSingleResourceDemandClass>& a_lstClasses)
{
    const QString* pstrComponent = G_objCResourceDemandClassesComponentsTexts.text(a_eComponent);
    if (!pstrComponent)
        return RESULT_INVALID_ARG;
    QList<ptrCXmlElement> lstElements;
    for (const IpcConverter::CSingleResourceDemandClass& objClass : a_lstClasses) {
        if (!objClass.checkCompatibility())
            return RESULT_INVALID_ARG;
        lstElements.append(objClass.getElementTree());
    }
    const ptrCXmlElement ptrComponent = child(shapedDataElement(), CTagname(*pstrComponent), true);
    return ConverterSupport::setElements(ptrComponent, Tag::ResourceDemandClass, lstElements);
}

int CResourceDemandClasses::getResourceDemandClasses(
    eCOMPONENTS a_eComponent, QList<IpcConverter::CSingleResourceDemandClass>& a_lstClasses) const
{
    const ptrCXmlElement ptrData = dataElement();
    if (!ptrData)
        return RESULT_WRONG_KIND;
    const QString* pstrComponent = G_objCResourceDemandClassesComponentsTexts.text(a_eComponent);
    if (!pstrComponent)
        return RESULT_INVALID_ARG;
    const ptrCXmlElement ptrComponent = child(ptrData, CTagname(*pstrComponent));
    if (!ptrComponent)
        return RESULT_MISSING;
    QList<IpcConverter::CSingleResourceDemandClass> lstClasses;
    for (const ptrCXmlElement& ptrClass : XmlTreeTools::findChildren(ptrComponent, Tag::ResourceDemandClass))
        lstClasses.append(IpcConverter::CSingleResourceDemandClass(ptrClass));
    a_lstClasses = lstClasses;
    return RESULT_OK;
}

int CResourceDemandClasses::getApplications(QList<eCOMPONENTS>& a_lstComponents) const
{
    const ptrCXmlElement ptrData = dataElement();
    if (!ptrData)
        return RESULT_WRONG_KIND;
    QList<eCOMPONENTS> lstComponents;
    for (const ptrCXmlElement& ptrChild : ptrData->children()) {
        eCOMPONENTS eComponent{};
        if (G_objCResourceDemandClassesComponentsTexts.value(ptrChild->tagname(), eComponent))
            lstComponents.append(eComponent);
    }
    a_lstComponents = lstComponents;
    return RESULT_OK;
}

int CResourceDemandMapping::setGuid(const QUuid& a_objGuid)
{
    if (a_objGuid.isNull())
        return RESULT_INVALID_ARG;
    return shapedDataElement()->setAttribute(s_baGuid, a_objGuid.toString());
}

int CResourceDemandMapping::getGuid(QUuid& a_objGuid) const
{
    QString strGuid;
    if (const int iResult = ConverterSupport::getAttribute(dataElement(), s_baGuid, strGuid))
        return iResult;
    return readUuid(strGuid, a_objGuid);
}

int CResourceDemandMapping::setMapping(eAPP_TYPES a_eApplication, const struRESOURCE_DEMAND_MAPPING& a_objMapping)
{
    const QString* pstrType = G_objCResourceDemandMappingAppTypesTexts.text(a_eApplication);
    if (!pstrType)
        return RESULT_INVALID_ARG;
    const ptrCXmlElement ptrMapping = childWith(shapedDataElement(), Tag::Mapping, s_baType, *pstrType, true);
    Tools::setText(ptrMapping, Tag::ResourceDemandClass, a_objMapping.strResourceDemandClass);
    return Tools::setULong(ptrMapping, Tag::Count, a_objMapping.uiMaxInstances, QString());
}

int CResourceDemandMapping::getMapping(eAPP_TYPES a_eApplication, struRESOURCE_DEMAND_MAPPING& a_objMapping) const
{
    const ptrCXmlElement ptrData = dataElement();
    if (!ptrData)
        return RESULT_WRONG_KIND;
    const QString* pstrType = G_objCResourceDemandMappingAppTypesTexts.text(a_eApplication);
    if (!pstrType)
        return RESULT_INVALID_ARG;
    const ptrCXmlElement ptrMapping = childWith(ptrData, Tag::Mapping, s_baType, *pstrType, false);
    if (!ptrMapping)
        return RESULT_MISSING;
    struRESOURCE_DEMAND_MAPPING objMapping;
    int iResult = Tools::getText(ptrMapping, Tag::ResourceDemandClass, objMapping.strResourceDemandClass);
    if (iResult == RESULT_OK)
        iResult = Tools::getULong(ptrMapping, Tag::Count, objMapping.uiMaxInstances);
    if (iResult == RESULT_OK)
        a_objMapping = objMapping;
    return iResult;
}

namespace
{
// The mapping fragments below a mappings message, each with the QUuid it is for.
QList<QPair<QUuid, ptrCXmlElement>> mappingsOf(const ptrCXmlElement& a_ptrData)
{
    QList<QPair<QUuid, ptrCXmlElement>> lstMappings;
    for (const ptrCXmlElement& ptrFragment : a_ptrData->children()) {
        CMsgFragment objFragment(ptrFragment);
        QUuid objGuid;
        if (CResourceDemandMapping(objFragment).getGuid(objGuid) == RESULT_OK)
            lstMappings.append({objGuid, ptrFragment});
    }
    return lstMappings;
}
}  // namespace

int CResourceDemandMappings::setMapping(const CResourceDemandMapping& a_objMapping)
{
    QUuid objGuid;
    if (a_objMapping.getGuid(objGuid) != RESULT_OK)
        return RESULT_INVALID_ARG;
    const ptrCXmlElement ptrData = shapedDataElement();
    for (const auto& objEntry : mappingsOf(ptrData)) {
        if (objEntry.first == objGuid)
            ptrData->removeChild(objEntry.second);
    }
    return ptrData->addChild(a_objMapping.getTree()->copy(true), -1);
}

int CResourceDemandMappings::getMapping(const QUuid& a_objGuid, CResourceDemandMapping& a_objMapping) const
{
    const ptrCXmlElement ptrData = dataElement();
    if (!ptrData)
        return RESULT_WRONG_KIND;
    for (const auto& objEntry : mappingsOf(ptrData)) {
        if (objEntry.first == a_objGuid) {
            a_objMapping.setTree(objEntry.second);
            return RESULT_OK;
        }
    }
    return RESULT_MISSING;
}

int CResourceDemandMappings::getGUIDs(QList<QUuid>& a_lstGuids) const
{
    const ptrCXmlElement ptrData = dataElement();
    if (!ptrData)
        return RESULT_WRONG_KIND;
    QList<QUuid> lstGuids;
    for (const auto& objEntry : mappingsOf(ptrData))
        lstGuids.append(objEntry.first);
    a_lstGuids = lstGuids;
    return RESULT_OK;
}

int CStopAppMCP::setJobResult(const CStartAppMCP_Reply& a_objReply)
{
    if (!a_objReply.isCompatible())
        return RESULT_INVALID_ARG;
    const ptrCXmlElement ptrResult = child(shapedDataElement(), Tag::JobResult, true);
    ptrResult->removeAllChildren();
    return ptrResult->addChild(a_objReply.getElementTree()->copy(true), -1);
}

int CStopAppMCP::getJobResult(CStartAppMCP_Reply& a_objReply) const
{
    const ptrCXmlElement ptrData = dataElement();
    if (!ptrData)
        return RESULT_WRONG_KIND;
    const ptrCXmlElement ptrResult = child(ptrData, Tag::JobResult);
    if (!ptrResult || ptrResult->getNumberOfChildren() == 0)
        return RESULT_MISSING;
    const ptrCXmlElement ptrComponent(new CXmlElement(Tag::ResourceManager));
    ptrComponent->addChild(ptrResult->getChildAt(0)->copy(true), -1);
    a_objReply.setTree(ptrComponent);
    return RESULT_OK;
}

int CTunerRequest::setCommand(const CMsgFragment& a_objCommand)
{
    if (a_objCommand.isNull() || a_objCommand.getComponentName() != Tag::Tuner)
        return RESULT_INVALID_ARG;
    const ptrCXmlElement ptrData = shapedDataElement();
    ptrData->removeAllChildren();
    for (const ptrCXmlElement& ptrChild : a_objCommand.getElementTree()->children())
        ptrData->addChild(ptrChild->copy(true), -1);
    return RESULT_OK;
}

int CTunerRequest::getCommand(CMsgFragment& a_objCommand) const
{
    const ptrCXmlElement ptrData = dataElement();
    if (!ptrData)
        return RESULT_WRONG_KIND;
    const ptrCXmlElement ptrTuner(new CXmlElement(Tag::Tuner));
    for (const ptrCXmlElement& ptrChild : ptrData->children())
        ptrTuner->addChild(ptrChild->copy(true), -1);
    a_objCommand = CMsgFragment(ptrTuner);
    return RESULT_OK;
}
}  // namespace ResourceConverter

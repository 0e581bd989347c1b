#pragma once

#include <OrvexXmlInterface/OxiExport.h>
#include <OrvexXmlInterface/xmlcommon/CEnumTexts.h>

#include <QtCore/QString>
#include <QtCore/QUuid>

// Enumerations shared by several converter families, with their texts on the wire.
namespace GLOBAL_TYPES
{
enum eCHILD_APPLICATION_TYPES : int
{
    CHILD_APPLICATION_DCP = 0,
    CHILD_APPLICATION_FFP = 1,
    CHILD_APPLICATION_CONTROLLER = 2,
    CHILD_APPLICATION_FH = 3,
};

enum eLOCAL_STORAGE_STATES : int
{
    LOCAL_STORAGE_NONE = 0,
    LOCAL_STORAGE_CAPABLE = 1,
    LOCAL_STORAGE_ACTIVATED = 2,
};

enum eUNIT_ACTIVITY_STATUS : int
{
    UNIT_ACTIVITY_ACTIVE = 0,
    UNIT_ACTIVITY_CRITICAL = 1,
    UNIT_ACTIVITY_FAULTY = 2,
};

enum eUNIT_REGISTER_STATUS : int
{
    UNIT_REGISTERED_ACTIVE = 0,
    UNIT_REGISTERED_INACTIVE = 1,
    UNIT_NOT_REGISTERED = 2,
};

enum eINPUT_SOURCE_TYPES : int
{
    INPUT_SOURCE_NONE = 0,
    INPUT_SOURCE_REPLAY = 1,
    INPUT_SOURCE_TUNER = 2,
    INPUT_SOURCE_SOUNDCARD = 3,
    INPUT_SOURCE_RECOMBINED_IQ = 4,
};

// Which kind of object a GUID names.
enum eGUID_OBJECT_TYPES : int
{
    GUID_OBJECT_NONE = 0,
    GUID_OBJECT_TUNER = 1,
    GUID_OBJECT_DCP = 2,
    GUID_OBJECT_FFP = 3,
    GUID_OBJECT_DSC = 4,
    GUID_OBJECT_PROCESSING_UNIT = 5,
    GUID_OBJECT_STORAGE_UNIT = 6,
    GUID_OBJECT_FHA = 7,
    GUID_OBJECT_FHP = 8,
};

enum eDCP_RUNNING_MODES : int
{
    DCP_RUNNING_SINGLE_CHANNEL = 1,
    DCP_RUNNING_MULTI_CHANNEL = 2,
};

enum eDDC_PROCESSING_MODES : int
{
    DDC_PROCESSING_HW = 0,
    DDC_PROCESSING_SW = 1,
};

enum eSPECTRUM_PROCESSING_MODES : int
{
    SPECTRUM_PROCESSING_FULL = 0,
    SPECTRUM_PROCESSING_REDUCED = 1,
};

enum eFHA_PROCESSING_MODES : int
{
    FHA_PROCESSING_WITH_ANALYSIS = 0,
    FHA_PROCESSING_NO_ANALYSIS = 1,
};

enum eCPU_ALLOCATION_MODES : int
{
    CPU_ALLOCATION_EXHAUST = 0,
    CPU_ALLOCATION_PRESERVE = 1,
};

enum eRESOURCE_DEMAND_CLASSES_TRAITS : int
{
    RESOURCE_DEMAND_CLASS_PREDEFINED = 0,
    RESOURCE_DEMAND_CLASS_CUSTOM = 1,
};

// One network interface of a processing unit.
struct struNetworkInterface
{
    QString strIP;
    QString strSubnet;
    QString strFriendlyName;
    QString strName;
    bool operator==(const struNetworkInterface& a_o) const
    {
        return strIP == a_o.strIP && strSubnet == a_o.strSubnet && strFriendlyName == a_o.strFriendlyName &&
               strName == a_o.strName;
    }
};

// What is known about one element of the system (a unit, a tuner, an application) besides its id.
class CElementInfoData
{
public:
    QString strFriendlyName;
    QString strComment;
    QString strCreator;
    QUuid objCreatorGuid;
    unsigned long long ullCreationTime = 0;  // ms since 1970-01-01 UTC
    bool bPersistence = false;
    bool operator==(const CElementInfoData& a_o) const
    {
        return strFriendlyName == a_o.strFriendlyName && strComment == a_o.strComment && strCreator == a_o.strCreator &&
               objCreatorGuid == a_o.objCreatorGuid && ullCreationTime == a_o.ullCreationTime &&
               bPersistence == a_o.bPersistence;
    }
};

extern OXI_EXPORT const XmlCommon::CEnumTexts<eCHILD_APPLICATION_TYPES> G_objChildApplicationTypeTexts;
extern OXI_EXPORT const XmlCommon::CEnumTexts<eLOCAL_STORAGE_STATES> G_objLocalStorageStateTexts;
extern OXI_EXPORT const XmlCommon::CEnumTexts<eUNIT_ACTIVITY_STATUS> G_objUnitActivityStatusTexts;
extern OXI_EXPORT const XmlCommon::CEnumTexts<eUNIT_REGISTER_STATUS> G_objUnitRegisterStatusTexts;
extern OXI_EXPORT const XmlCommon::CEnumTexts<eINPUT_SOURCE_TYPES> G_objInputSourceTypeTexts;
extern OXI_EXPORT const XmlCommon::CEnumTexts<eGUID_OBJECT_TYPES> G_objGuidObjectTypeTexts;
extern OXI_EXPORT const XmlCommon::CEnumTexts<eDCP_RUNNING_MODES> G_objDcpRunningModeTexts;
extern OXI_EXPORT const XmlCommon::CEnumTexts<eDDC_PROCESSING_MODES> G_objDdcProcessingModeTexts;
extern OXI_EXPORT const XmlCommon::CEnumTexts<eSPECTRUM_PROCESSING_MODES> G_objSpectrumProcessingModeTexts;
extern OXI_EXPORT const XmlCommon::CEnumTexts<eFHA_PROCESSING_MODES> G_objFhaProcessingModeTexts;
extern OXI_EXPORT const XmlCommon::CEnumTexts<eCPU_ALLOCATION_MODES> G_objCpuAllocationModeTexts;
extern OXI_EXPORT const XmlCommon::CEnumTexts<eRESOURCE_DEMAND_CLASSES_TRAITS> G_objResourceDemandClassTraitTexts;
}  // namespace GLOBAL_TYPES

#include "GlobalTypes.h"
#include "GlobalXmlTypes.h"

namespace GLOBAL_TYPES
{
const XmlCommon::CEnumTexts<eCHILD_APPLICATION_TYPES> G_objChildApplicationTypeTexts{
    {CHILD_APPLICATION_DCP, "dcp"},
    {CHILD_APPLICATION_FFP, "ffp"},
    {CHILD_APPLICATION_CONTROLLER, "controller"},
    {CHILD_APPLICATION_FH, "fh"},
};

const XmlCommon::CEnumTexts<eLOCAL_STORAGE_STATES> G_objLocalStorageStateTexts{
    {LOCAL_STORAGE_NONE, "none"},
    {LOCAL_STORAGE_CAPABLE, "capable"},
    {LOCAL_STORAGE_ACTIVATED, "activated"},
};

const XmlCommon::CEnumTexts<eUNIT_ACTIVITY_STATUS> G_objUnitActivityStatusTexts{
    {UNIT_ACTIVITY_ACTIVE, "active"},
    {UNIT_ACTIVITY_CRITICAL, "critical"},
    {UNIT_ACTIVITY_FAULTY, "faulty"},
};

const XmlCommon::CEnumTexts<eUNIT_REGISTER_STATUS> G_objUnitRegisterStatusTexts{
    {UNIT_REGISTERED_ACTIVE, "registeredActive"},
    {UNIT_REGISTERED_INACTIVE, "registeredInactive"},
    {UNIT_NOT_REGISTERED, "notRegistered"},
};

const XmlCommon::CEnumTexts<eINPUT_SOURCE_TYPES> G_objInputSourceTypeTexts{
    {INPUT_SOURCE_NONE, "none"},
    {INPUT_SOURCE_REPLAY, "replay"},
    {INPUT_SOURCE_TUNER, "tuner"},
    {INPUT_SOURCE_SOUNDCARD, "soundcard"},
    {INPUT_SOURCE_RECOMBINED_IQ, "recombinedIQ"},
};

const XmlCommon::CEnumTexts<eGUID_OBJECT_TYPES> G_objGuidObjectTypeTexts{
    {GUID_OBJECT_NONE, "none"},
    {GUID_OBJECT_TUNER, "tuner"},
    {GUID_OBJECT_DCP, "dcp"},
    {GUID_OBJECT_FFP, "ffp"},
    {GUID_OBJECT_DSC, "dsc"},
    {GUID_OBJECT_PROCESSING_UNIT, "processingUnit"},
    {GUID_OBJECT_STORAGE_UNIT, "storageUnit"},
    {GUID_OBJECT_FHA, "fha"},
    {GUID_OBJECT_FHP, "fhp"},
};

const XmlCommon::CEnumTexts<eDCP_RUNNING_MODES> G_objDcpRunningModeTexts{
    {DCP_RUNNING_SINGLE_CHANNEL, "singleChannel"},
    {DCP_RUNNING_MULTI_CHANNEL, "multiChannel"},
};

const XmlCommon::CEnumTexts<eDDC_PROCESSING_MODES> G_objDdcProcessingModeTexts{
    {DDC_PROCESSING_HW, "hw"},
    {DDC_PROCESSING_SW, "sw"},
};

const XmlCommon::CEnumTexts<eSPECTRUM_PROCESSING_MODES> G_objSpectrumProcessingModeTexts{
    {SPECTRUM_PROCESSING_FULL, "full"},
    {SPECTRUM_PROCESSING_REDUCED, "reduced"},
};

const XmlCommon::CEnumTexts<eFHA_PROCESSING_MODES> G_objFhaProcessingModeTexts{
    {FHA_PROCESSING_WITH_ANALYSIS, "withAnalysis"},
    {FHA_PROCESSING_NO_ANALYSIS, "noAnalysis"},
};

const XmlCommon::CEnumTexts<eCPU_ALLOCATION_MODES> G_objCpuAllocationModeTexts{
    {CPU_ALLOCATION_EXHAUST, "exhaust"},
    {CPU_ALLOCATION_PRESERVE, "preserve"},
};

const XmlCommon::CEnumTexts<eRESOURCE_DEMAND_CLASSES_TRAITS> G_objResourceDemandClassTraitTexts{
    {RESOURCE_DEMAND_CLASS_PREDEFINED, "predefined"},
    {RESOURCE_DEMAND_CLASS_CUSTOM, "custom"},
};
}  // namespace GLOBAL_TYPES

namespace GLOBAL_XML_TYPES
{
const XmlCommon::CEnumTexts<eSTATUS_REPORT_EVENTS> G_objStatusReportEventTexts{
    {STATUS_REPORT_READY, "ready"},
    {STATUS_REPORT_TERMINATED, "terminated"},
    {STATUS_REPORT_BUSY, "busy"},
    {STATUS_REPORT_BROADCAST_REPLY, "broadcastReply"},
};
}  // namespace GLOBAL_XML_TYPES

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

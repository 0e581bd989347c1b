#pragma once

#include <OrvexXmlInterface/OxiExport.h>
#include <OrvexXmlInterface/xmlcommon/CEnumTexts.h>

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

extern OXI_EXPORT const XmlCommon::CEnumTexts<eCHILD_APPLICATION_TYPES> G_objChildApplicationTypeTexts;
extern OXI_EXPORT const XmlCommon::CEnumTexts<eLOCAL_STORAGE_STATES> G_objLocalStorageStateTexts;
extern OXI_EXPORT const XmlCommon::CEnumTexts<eUNIT_ACTIVITY_STATUS> G_objUnitActivityStatusTexts;
extern OXI_EXPORT const XmlCommon::CEnumTexts<eUNIT_REGISTER_STATUS> G_objUnitRegisterStatusTexts;
extern OXI_EXPORT const XmlCommon::CEnumTexts<eINPUT_SOURCE_TYPES> G_objInputSourceTypeTexts;
}  // namespace GLOBAL_TYPES

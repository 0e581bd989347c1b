#pragma once

#include <OrvexXmlInterface/OxiExport.h>
#include <OrvexXmlInterface/xmlcommunication/converters/CLayerConverter.h>

namespace XmlCommunication
{
// The alive-check probe. Version 4 carries the disable level in a child "Disable"; version 3
// marks a disabled check with the text "0" (and type="global" when disabled process-wide).
class OXI_EXPORT CAlivecheckConverter : public CLayerConverter<XmlCommon::Tag::AliveCheck>
{
public:
    enum eDISABLE_LEVELS : int
    {
        DISABLE_NONE = 0,
        DISABLE_CONNECTION = 1,
        DISABLE_PROCESS = 2,
        DISABLE_SYSTEM = 3,
    };
    static const unsigned int m_u32Version = 4;

    using CLayerConverter::CLayerConverter;

    static unsigned int getClassVersion() { return m_u32Version; }
    unsigned int getConverterVersion() const { return m_u32Version; }
    // 0 when the fragment is no alive check or has no readable version.
    unsigned int getVersion() const;
    void setVersion(unsigned int a_uiVersion);

    int setAvailability();
    bool isAvailabilitySet() const;
    int setDisableLevel(eDISABLE_LEVELS a_eLevel);
    eDISABLE_LEVELS getDisableLevel() const;

protected:
    void setCompatibility(XmlCommon::CDataTree& a_objDataTree) override;
    int disableCheck_version3(bool a_bGlobal);
    bool isDisabled_version3(bool& a_bGlobal) const;
};
}  // namespace XmlCommunication

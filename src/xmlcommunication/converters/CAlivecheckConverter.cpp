#include "CAlivecheckConverter.h"

using namespace XmlCommon;

namespace XmlCommunication
{
namespace
{
const QByteArray s_baVersion("version");
const QByteArray s_baType("type");

const CEnumTexts<CAlivecheckConverter::eDISABLE_LEVELS> s_objDisableLevelTexts{
    {CAlivecheckConverter::DISABLE_NONE, "none"},
    {CAlivecheckConverter::DISABLE_CONNECTION, "connection"},
    {CAlivecheckConverter::DISABLE_PROCESS, "process"},
    {CAlivecheckConverter::DISABLE_SYSTEM, "system"},
};
}  // namespace

void CAlivecheckConverter::setCompatibility(CDataTree& a_objDataTree)
{
    CLayerConverter::setCompatibility(a_objDataTree);
    // A version set by a peer speaking an older protocol is kept.
    bool bFound = false;
    a_objDataTree.getElementTree()->getAttribute(s_baVersion, &bFound);
    if (!bFound)
        a_objDataTree.getElementTree()->setAttribute(s_baVersion, QString::number(m_u32Version));
}

unsigned int CAlivecheckConverter::getVersion() const
{
    unsigned int uiVersion = 0;
    read([&](const ptrCXmlElement& a_ptrData) {
        bool bOk = false;
        const unsigned int uiRead = a_ptrData->getAttribute(s_baVersion).toUInt(&bOk, 10);
        uiVersion = bOk ? uiRead : 0;
        return 0;
    });
    return uiVersion;
}

void CAlivecheckConverter::setVersion(unsigned int a_uiVersion)
{
    write([&](const ptrCXmlElement& a_ptrData) {
        return a_ptrData->setAttribute(s_baVersion, QString::number(a_uiVersion));
    });
}

int CAlivecheckConverter::setAvailability()
{
    return setOwnText(QStringLiteral("1"));
}

bool CAlivecheckConverter::isAvailabilitySet() const
{
    QString strText;
    return getOwnText(strText) == 0 && strText == QLatin1String("1");
}

int CAlivecheckConverter::setDisableLevel(eDISABLE_LEVELS a_eLevel)
{
    return setEnum(Tag::Disable, a_eLevel, s_objDisableLevelTexts);
}

// Every form a peer may send is understood, whatever its version attribute says, so that peers
// of either protocol version read each other's disable: a level in the child "Disable" decides;
// without one, the text "0" of the older form means the connection level.
CAlivecheckConverter::eDISABLE_LEVELS CAlivecheckConverter::getDisableLevel() const
{
    eDISABLE_LEVELS eLevel = DISABLE_NONE;
    if (getEnum(Tag::Disable, eLevel, s_objDisableLevelTexts) == 0)
        return eLevel;
    bool bGlobal = false;
    return isDisabled_version3(bGlobal) ? DISABLE_CONNECTION : DISABLE_NONE;
}

int CAlivecheckConverter::disableCheck_version3(bool a_bGlobal)
{
    return write([&](const ptrCXmlElement& a_ptrData) {
        a_ptrData->setValue(QStringLiteral("0"));
        if (a_bGlobal)
            a_ptrData->setAttribute(s_baType, QStringLiteral("global"));
        return 0;
    });
}

bool CAlivecheckConverter::isDisabled_version3(bool& a_bGlobal) const
{
    a_bGlobal = false;
    bool bDisabled = false;
    read([&](const ptrCXmlElement& a_ptrData) {
        bDisabled = a_ptrData->getValue() == QLatin1String("0");
        if (bDisabled)
            a_bGlobal = a_ptrData->getAttribute(s_baType) == QLatin1String("global");
        return 0;
    });
    return bDisabled;
}
}  // namespace XmlCommunication

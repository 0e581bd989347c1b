// The tuner, input and datastream operations that do not follow the one-value pattern.
#include <OrvexXmlInterface/converters/ipc/IpcConverters.h>

#include "../ConverterSupport_p.h"

using namespace XmlCommon;

namespace IpcConverter
{
int CSingleResourceDemandClass::clear()
{
    setCompatibility();
    return getElementTree()->removeAllChildren();
}

int CSingleResourceDemandClass::empty(bool& a_bEmpty) const
{
    if (!checkCompatibility())
        return RESULT_WRONG_KIND;
    a_bEmpty = getElementTree()->getNumberOfChildren() == 0;
    return RESULT_OK;
}

int CIpcResourceDemandClass::getSingleResourceDemandClass(CSingleResourceDemandClass& a_objClass) const
{
    const ptrCXmlElement ptrData = dataElement();
    if (!ptrData)
        return RESULT_WRONG_KIND;
    // A free copy: changing the record does not change the message.
    a_objClass = CSingleResourceDemandClass(ptrData->copy(true));
    return RESULT_OK;
}

int CIpcResourceDemandClass::setSingleResourceDemandClass(const CSingleResourceDemandClass& a_objClass)
{
    if (!a_objClass.checkCompatibility())
        return RESULT_INVALID_ARG;
    // The message takes the record's values: its attributes and children replace the data element's.
    const ptrCXmlElement ptrRecord = a_objClass.getElementTree()->copy(true);
    const ptrCXmlElement ptrData = shapedDataElement();
    ptrData->removeAllChildren();
    ptrData->removeAllAttributes();
    for (const QSharedPointer<struATTRIBUTE>& ptrAttribute : ptrRecord->attributes())
        ptrData->setAttribute(ptrAttribute->baName, ptrAttribute->strValue);
    for (const ptrCXmlElement& ptrChild : ptrRecord->children())
        ptrData->addChild(ptrChild, -1);
    return RESULT_OK;
}

QStringList CTunerConfig::GetKVTunerTypes()
{
    return G_objKvTunerTypesTexts.toMap().values();
}
}  // namespace IpcConverter

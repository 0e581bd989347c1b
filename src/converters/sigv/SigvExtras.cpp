// The signal-processing operations that do not follow the one-value pattern: frequency range
// lists and their overlap check, resource derivates, emission entries, progress set-up and the
// separation status.
#include <OrvexXmlInterface/converters/sigv/SigvConverters.h>

#include "../ConverterSupport_p.h"
#include "SigvHelpers_p.h"

#include <algorithm>

using namespace XmlCommon;
namespace Tools = XmlCommon::XmlConverterTools;

namespace SigVConverter
{
namespace
{
const QByteArray s_baType("type");
const QByteArray s_baAction("action");
const QByteArray s_baStatus("status");

// One range value "min,max" with min not above max.
bool readRange(const QString& a_strText, struFREQUENCY_RANGE& a_objRange)
{
    const QStringList lstParts = a_strText.split(QLatin1Char(','));
    if (lstParts.size() != 2)
        return false;
    bool bMin = false, bMax = false;
    const unsigned long long ullMin = lstParts.at(0).toULongLong(&bMin, 10);
    const unsigned long long ullMax = lstParts.at(1).toULongLong(&bMax, 10);
    if (!bMin || !bMax || ullMin > ullMax)
        return false;
    a_objRange = {ullMin, ullMax};
    return true;
}
}  // namespace

namespace FrequencyRanges
{
int set(const ptrCXmlElement& a_ptrRecord, const CTagname& a_objTag, const QList<struFREQUENCY_RANGE>& a_lstRanges)
{
    if (std::any_of(a_lstRanges.cbegin(), a_lstRanges.cend(),
                    [](const struFREQUENCY_RANGE& a_objRange) { return a_objRange.ullMin > a_objRange.ullMax; }))
        return RESULT_MALFORMED;
    XmlTreeTools::removeTags(a_ptrRecord, a_objTag);
    for (const struFREQUENCY_RANGE& objRange : a_lstRanges) {
        if (const int iResult = Tools::setRange_ULongLong(a_ptrRecord, a_objTag, objRange.ullMin, objRange.ullMax,
                                                          QStringLiteral("Hz"), {}, true))
            return iResult;
    }
    return RESULT_OK;
}

int get(const ptrCXmlElement& a_ptrRecord, const CTagname& a_objTag, QList<struFREQUENCY_RANGE>& a_lstRanges)
{
    QList<struFREQUENCY_RANGE> lstRanges;
    for (const ptrCXmlElement& ptrRange : XmlTreeTools::findChildren(a_ptrRecord, a_objTag)) {
        struFREQUENCY_RANGE objRange;
        if (!readRange(ptrRange->getValue(), objRange))
            return RESULT_MALFORMED;
        lstRanges.append(objRange);
    }
    a_lstRanges = lstRanges;
    return RESULT_OK;
}
}  // namespace FrequencyRanges

int CFH_FrequencyRanges::checkForOverlaps(bool& a_bOverlapping) const
{
    QList<struFREQUENCY_RANGE> lstRanges;
    if (const int iResult = getFreqRanges(lstRanges))
        return iResult;
    std::sort(lstRanges.begin(), lstRanges.end(),
              [](const struFREQUENCY_RANGE& a_objA, const struFREQUENCY_RANGE& a_objB) {
                  return a_objA.ullMin < a_objB.ullMin;
              });
    bool bOverlapping = false;
    for (int i = 1; i < lstRanges.size() && !bOverlapping; ++i)
        bOverlapping = lstRanges.at(i).ullMin <= lstRanges.at(i - 1).ullMax;
    a_bOverlapping = bOverlapping;
    return RESULT_OK;
}

int CDetectAndClassifyAddRemoveBaseGUID::getDerivate(QString& a_strType, QString& a_strAction) const
{
    const ptrCXmlElement ptrData = dataElement();
    QString strType, strAction;
    if (const int iResult = ConverterSupport::getAttribute(ptrData, s_baType, strType))
        return iResult;
    if (const int iResult = ConverterSupport::getAttribute(ptrData, s_baAction, strAction))
        return iResult;
    a_strType = strType;
    a_strAction = strAction;
    return RESULT_OK;
}

int CDetectAndClassifyEvents::addEmissionEntry(const struEMISSION_ENTRY& a_objEntry)
{
    makeFragment();
    QList<struEMISSION_ENTRY> lstEntries;
    if (const int iResult = getEmissionEntries(lstEntries))
        return iResult;
    lstEntries.append(a_objEntry);
    return setEmissionEntries(lstEntries);
}

int CFHSeparationParameters::readStatusAttribute(QString& a_strStatus) const
{
    return ConverterSupport::getAttribute(dataElement(), s_baStatus, a_strStatus);
}

int CHopperSeparationResult::init()
{
    return shapedDataElement()->removeAllChildren();
}

int CSpectralCollectorProgress::setup(eDataState a_eDataState, unsigned int a_uiFillCount, eFillState a_eFillState,
                                      unsigned int a_uiMaxBacklog)
{
    int iResult = setDataState(a_eDataState);
    if (iResult == RESULT_OK)
        iResult = setFillCount(a_uiFillCount);
    if (iResult == RESULT_OK)
        iResult = setFillState(a_eFillState);
    if (iResult == RESULT_OK)
        iResult = setMaxBacklog(a_uiMaxBacklog);
    return iResult;
}
}  // namespace SigVConverter

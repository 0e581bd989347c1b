#include "XmlConverterTools.h"

#include "ResultCodes.h"
#include "XmlTreeTools.h"

namespace XmlCommon::XmlConverterTools
{
namespace
{
const QByteArray s_baUnit("unit");
const QByteArray s_baInfo("info");
const QByteArray s_baTimeZone("timeZone");

// Text to value; false when the text does not convert. Every conversion is locale-independent.
bool fromText(const QString& a_str, bool& a_bValue)
{
    if (a_str != QLatin1String("1") && a_str != QLatin1String("0"))
        return false;
    a_bValue = a_str.at(0) == QLatin1Char('1');
    return true;
}

template <typename T, typename F> bool fromTextWith(const QString& a_str, T& a_value, F a_fnConvert)
{
    bool bOk = false;
    const T value = a_fnConvert(a_str, &bOk);
    if (bOk)
        a_value = value;
    return bOk;
}

bool fromText(const QString& a_str, unsigned short& a_v)
{
    return fromTextWith(a_str, a_v, [](const QString& s, bool* ok) { return s.toUShort(ok, 10); });
}
bool fromText(const QString& a_str, int& a_v)
{
    return fromTextWith(a_str, a_v, [](const QString& s, bool* ok) { return s.toInt(ok, 10); });
}
bool fromText(const QString& a_str, unsigned int& a_v)
{
    return fromTextWith(a_str, a_v, [](const QString& s, bool* ok) { return s.toUInt(ok, 10); });
}
bool fromText(const QString& a_str, unsigned long long& a_v)
{
    return fromTextWith(a_str, a_v, [](const QString& s, bool* ok) { return s.toULongLong(ok, 10); });
}
bool fromText(const QString& a_str, double& a_v)
{
    return fromTextWith(a_str, a_v, [](const QString& s, bool* ok) { return s.toDouble(ok); });
}
bool fromText(const QString& a_str, float& a_v)
{
    return fromTextWith(a_str, a_v, [](const QString& s, bool* ok) { return s.toFloat(ok); });
}

bool fromText(const QString& a_str, QString& a_strValue)
{
    a_strValue = a_str;
    return true;
}

QString toText(float a_fValue)
{
    return valueToString(a_fValue, 6);
}

template <typename T> QString toText(const T& a_value)
{
    return valueToString(a_value);
}

ptrCXmlElement valueElement(const ptrCXmlElement& a_ptrParent, const CTagname& a_objTag, bool a_bAppendNew)
{
    if (a_bAppendNew)
        return createElement(a_ptrParent, a_objTag);
    return XmlTreeTools::findTagInTree(a_ptrParent, a_objTag, G_objCompEqual, false, true);
}

// Writes the text and the attributes in their fixed order: unit, then the caller's attribute.
int writeValue(const ptrCXmlElement& a_ptrParent, const CTagname& a_objTag, const QString& a_strText,
               const QString& a_strUnit, const struATTRIBUTE& a_objAttribute, bool a_bAppendNew)
{
    const ptrCXmlElement ptrElement = valueElement(a_ptrParent, a_objTag, a_bAppendNew);
    if (!ptrElement)
        return RESULT_INVALID_ARG;
    ptrElement->setValue(a_strText);
    if (!a_strUnit.isEmpty())
        ptrElement->setAttribute(s_baUnit, a_strUnit);
    if (!a_objAttribute.baName.isEmpty() && !a_objAttribute.strValue.isEmpty())
        ptrElement->setAttribute(a_objAttribute.baName, a_objAttribute.strValue);
    return RESULT_OK;
}

// Hands the element's attributes, or only its unit, to the caller where asked for.
void copyAttributes(const ptrCXmlElement& a_ptrElement, typAttributes* a_plstAttributes, QString* a_pstrUnit)
{
    if (a_plstAttributes)
        *a_plstAttributes = a_ptrElement->getAttributes();
    if (a_pstrUnit)
        *a_pstrUnit = a_ptrElement->getAttribute(s_baUnit);
}

template <typename T>
int readValue(const ptrCXmlElement& a_ptrParent, const CTagname& a_objTag, T& a_value, typAttributes* a_plstAttributes,
              QString* a_pstrUnit = nullptr)
{
    const ptrCXmlElement ptrElement = XmlTreeTools::findTagInTree(a_ptrParent, a_objTag);
    if (!ptrElement)
        return RESULT_MISSING;
    if (!fromText(ptrElement->getValue(), a_value))
        return RESULT_MALFORMED;
    copyAttributes(ptrElement, a_plstAttributes, a_pstrUnit);
    return RESULT_OK;
}

// The items of a list element; on a part that does not convert, its index and 0x02420003.
template <typename T> int parseList(const ptrCXmlElement& a_ptrElement, QList<T>& a_lstItems, int* a_piErrorIndex)
{
    const QStringList lstParts = a_ptrElement->getValue().split(QLatin1Char(','));
    a_lstItems.reserve(lstParts.size());
    for (int i = 0; i < lstParts.size(); ++i) {
        T value{};
        if (lstParts.at(i).isEmpty() || !fromText(lstParts.at(i), value)) {
            if (a_piErrorIndex)
                *a_piErrorIndex = i;
            return RESULT_MALFORMED;
        }
        a_lstItems.append(value);
    }
    if (a_piErrorIndex)
        *a_piErrorIndex = -1;
    return RESULT_OK;
}

// The caller's list and attributes change only when every item converted.
template <typename T>
int readList(const ptrCXmlElement& a_ptrParent, const CTagname& a_objTag, QList<T>& a_lstValues, int* a_piErrorIndex,
             typAttributes* a_plstAttributes, QString* a_pstrUnit = nullptr)
{
    const ptrCXmlElement ptrElement = XmlTreeTools::findTagInTree(a_ptrParent, a_objTag);
    if (!ptrElement)
        return RESULT_MISSING;
    QList<T> lstItems;
    if (const int iResult = parseList(ptrElement, lstItems, a_piErrorIndex))
        return iResult;
    copyAttributes(ptrElement, a_plstAttributes, a_pstrUnit);
    a_lstValues.append(lstItems);
    return RESULT_OK;
}

template <typename T>
int writeList(const ptrCXmlElement& a_ptrParent, const CTagname& a_objTag, const QList<T>& a_lstValues,
              const QString& a_strUnit, const struATTRIBUTE& a_objAttribute, bool a_bAppendNew)
{
    QStringList lstTexts;
    lstTexts.reserve(a_lstValues.size());
    for (const T& value : a_lstValues)
        lstTexts.append(toText(value));
    return writeValue(a_ptrParent, a_objTag, lstTexts.join(QLatin1Char(',')), a_strUnit, a_objAttribute, a_bAppendNew);
}

template <typename T>
int readRange(const ptrCXmlElement& a_ptrParent, const CTagname& a_objTag, T& a_min, T& a_max,
              typAttributes* a_plstAttributes, QString* a_pstrUnit = nullptr)
{
    const ptrCXmlElement ptrElement = XmlTreeTools::findTagInTree(a_ptrParent, a_objTag);
    if (!ptrElement)
        return RESULT_MISSING;
    QList<T> lstItems;
    if (const int iResult = parseList(ptrElement, lstItems, nullptr))
        return iResult;
    if (lstItems.size() != 2 || lstItems.at(0) > lstItems.at(1))
        return RESULT_MALFORMED;
    copyAttributes(ptrElement, a_plstAttributes, a_pstrUnit);
    a_min = lstItems.at(0);
    a_max = lstItems.at(1);
    return RESULT_OK;
}

template <typename T>
int writeRange(const ptrCXmlElement& a_ptrParent, const CTagname& a_objTag, T a_min, T a_max, const QString& a_strUnit,
               const struATTRIBUTE& a_objAttribute, bool a_bAppendNew)
{
    if (a_min > a_max)
        return RESULT_MALFORMED;
    const bool bOwnLabel = !a_objAttribute.baName.isEmpty() && !a_objAttribute.strValue.isEmpty();
    const struATTRIBUTE objLabel = bOwnLabel ? a_objAttribute : struATTRIBUTE{s_baInfo, QStringLiteral("min,max")};
    return writeList(a_ptrParent, a_objTag, QList<T>{a_min, a_max}, a_strUnit, objLabel, a_bAppendNew);
}
}  // namespace

int getBool(ptrCXmlElement a_ptrParent, const CTagname& a_objTag, bool& a_bValue, typAttributes* a_plstAttributes)
{
    return readValue(a_ptrParent, a_objTag, a_bValue, a_plstAttributes);
}

int getDouble(ptrCXmlElement a_ptrParent, const CTagname& a_objTag, double& a_dValue, typAttributes* a_plstAttributes)
{
    return readValue(a_ptrParent, a_objTag, a_dValue, a_plstAttributes);
}

int getFloat(ptrCXmlElement a_ptrParent, const CTagname& a_objTag, float& a_fValue, typAttributes* a_plstAttributes)
{
    return readValue(a_ptrParent, a_objTag, a_fValue, a_plstAttributes);
}

int getLong(ptrCXmlElement a_ptrParent, const CTagname& a_objTag, int& a_iValue, typAttributes* a_plstAttributes)
{
    return readValue(a_ptrParent, a_objTag, a_iValue, a_plstAttributes);
}

int getULong(ptrCXmlElement a_ptrParent, const CTagname& a_objTag, unsigned int& a_uiValue,
             typAttributes* a_plstAttributes)
{
    return readValue(a_ptrParent, a_objTag, a_uiValue, a_plstAttributes);
}

int getUShort(ptrCXmlElement a_ptrParent, const CTagname& a_objTag, unsigned short& a_usValue,
              typAttributes* a_plstAttributes)
{
    return readValue(a_ptrParent, a_objTag, a_usValue, a_plstAttributes);
}

int getTime(ptrCXmlElement a_ptrParent, const CTagname& a_objTag, unsigned long long& a_ullMicroseconds,
            typAttributes* a_plstAttributes)
{
    return readValue(a_ptrParent, a_objTag, a_ullMicroseconds, a_plstAttributes);
}

int getText(ptrCXmlElement a_ptrParent, const CTagname& a_objTag, QString& a_strValue, typAttributes* a_plstAttributes)
{
    return readValue(a_ptrParent, a_objTag, a_strValue, a_plstAttributes);
}

int getULongLong(ptrCXmlElement a_ptrParent, const CTagname& a_objTag, unsigned long long& a_ullValue,
                 typAttributes& a_lstAttributes)
{
    return readValue(a_ptrParent, a_objTag, a_ullValue, &a_lstAttributes);
}

int getULongLong(ptrCXmlElement a_ptrParent, const CTagname& a_objTag, unsigned long long& a_ullValue,
                 QString* a_pstrUnit)
{
    return readValue(a_ptrParent, a_objTag, a_ullValue, nullptr, a_pstrUnit);
}

int getList_Bool(ptrCXmlElement a_ptrParent, const CTagname& a_objTag, QList<bool>& a_lstValues, int* a_piErrorIndex,
                 typAttributes* a_plstAttributes)
{
    return readList(a_ptrParent, a_objTag, a_lstValues, a_piErrorIndex, a_plstAttributes);
}

int getList_Double(ptrCXmlElement a_ptrParent, const CTagname& a_objTag, QList<double>& a_lstValues,
                   int* a_piErrorIndex, typAttributes* a_plstAttributes)
{
    return readList(a_ptrParent, a_objTag, a_lstValues, a_piErrorIndex, a_plstAttributes);
}

int getList_Float(ptrCXmlElement a_ptrParent, const CTagname& a_objTag, QList<float>& a_lstValues, int* a_piErrorIndex,
                  typAttributes* a_plstAttributes)
{
    return readList(a_ptrParent, a_objTag, a_lstValues, a_piErrorIndex, a_plstAttributes);
}

int getList_Long(ptrCXmlElement a_ptrParent, const CTagname& a_objTag, QList<int>& a_lstValues, int* a_piErrorIndex,
                 typAttributes* a_plstAttributes)
{
    return readList(a_ptrParent, a_objTag, a_lstValues, a_piErrorIndex, a_plstAttributes);
}

int getList_ULong(ptrCXmlElement a_ptrParent, const CTagname& a_objTag, QList<unsigned int>& a_lstValues,
                  int* a_piErrorIndex, typAttributes* a_plstAttributes)
{
    return readList(a_ptrParent, a_objTag, a_lstValues, a_piErrorIndex, a_plstAttributes);
}

int getList_UShort(ptrCXmlElement a_ptrParent, const CTagname& a_objTag, QList<unsigned short>& a_lstValues,
                   int* a_piErrorIndex, typAttributes* a_plstAttributes)
{
    return readList(a_ptrParent, a_objTag, a_lstValues, a_piErrorIndex, a_plstAttributes);
}

int getList_ULongLong(ptrCXmlElement a_ptrParent, const CTagname& a_objTag, QList<unsigned long long>& a_lstValues,
                      typAttributes& a_lstAttributes, int* a_piErrorIndex)
{
    return readList(a_ptrParent, a_objTag, a_lstValues, a_piErrorIndex, &a_lstAttributes);
}

int getList_ULongLong(ptrCXmlElement a_ptrParent, const CTagname& a_objTag, QList<unsigned long long>& a_lstValues,
                      QString* a_pstrUnit, int* a_piErrorIndex)
{
    return readList(a_ptrParent, a_objTag, a_lstValues, a_piErrorIndex, nullptr, a_pstrUnit);
}

int getRange_Float(ptrCXmlElement a_ptrParent, const CTagname& a_objTag, float& a_fMin, float& a_fMax,
                   typAttributes* a_plstAttributes)
{
    return readRange(a_ptrParent, a_objTag, a_fMin, a_fMax, a_plstAttributes);
}

int getRange_Long(ptrCXmlElement a_ptrParent, const CTagname& a_objTag, int& a_iMin, int& a_iMax,
                  typAttributes* a_plstAttributes)
{
    return readRange(a_ptrParent, a_objTag, a_iMin, a_iMax, a_plstAttributes);
}

int getRange_ULong(ptrCXmlElement a_ptrParent, const CTagname& a_objTag, unsigned int& a_uiMin, unsigned int& a_uiMax,
                   typAttributes* a_plstAttributes)
{
    return readRange(a_ptrParent, a_objTag, a_uiMin, a_uiMax, a_plstAttributes);
}

int getRange_ULongLong(ptrCXmlElement a_ptrParent, const CTagname& a_objTag, unsigned long long& a_ullMin,
                       unsigned long long& a_ullMax, typAttributes& a_lstAttributes)
{
    return readRange(a_ptrParent, a_objTag, a_ullMin, a_ullMax, &a_lstAttributes);
}

int getRange_ULongLong(ptrCXmlElement a_ptrParent, const CTagname& a_objTag, unsigned long long& a_ullMin,
                       unsigned long long& a_ullMax, QString* a_pstrUnit)
{
    return readRange(a_ptrParent, a_objTag, a_ullMin, a_ullMax, nullptr, a_pstrUnit);
}

int setBool(ptrCXmlElement a_ptrParent, const CTagname& a_objTag, bool a_bValue, struATTRIBUTE a_objAttribute,
            bool a_bAppendNew)
{
    return writeValue(a_ptrParent, a_objTag, valueToString(a_bValue), QString(), a_objAttribute, a_bAppendNew);
}

int setDouble(ptrCXmlElement a_ptrParent, const CTagname& a_objTag, double a_dValue, const QString& a_strUnit,
              struATTRIBUTE a_objAttribute, bool a_bAppendNew)
{
    return writeValue(a_ptrParent, a_objTag, valueToString(a_dValue), a_strUnit, a_objAttribute, a_bAppendNew);
}

int setFloat(ptrCXmlElement a_ptrParent, const CTagname& a_objTag, float a_fValue, const QString& a_strUnit,
             struATTRIBUTE a_objAttribute, bool a_bAppendNew, int a_iPrecision)
{
    return writeValue(a_ptrParent, a_objTag, valueToString(a_fValue, a_iPrecision), a_strUnit, a_objAttribute,
                      a_bAppendNew);
}

int setLong(ptrCXmlElement a_ptrParent, const CTagname& a_objTag, int a_iValue, const QString& a_strUnit,
            struATTRIBUTE a_objAttribute, bool a_bAppendNew)
{
    return writeValue(a_ptrParent, a_objTag, valueToString(a_iValue), a_strUnit, a_objAttribute, a_bAppendNew);
}

int setULong(ptrCXmlElement a_ptrParent, const CTagname& a_objTag, unsigned int a_uiValue, const QString& a_strUnit,
             struATTRIBUTE a_objAttribute, bool a_bAppendNew)
{
    return writeValue(a_ptrParent, a_objTag, valueToString(a_uiValue), a_strUnit, a_objAttribute, a_bAppendNew);
}

int setUShort(ptrCXmlElement a_ptrParent, const CTagname& a_objTag, unsigned short a_usValue, const QString& a_strUnit,
              struATTRIBUTE a_objAttribute, bool a_bAppendNew)
{
    return writeValue(a_ptrParent, a_objTag, valueToString(a_usValue), a_strUnit, a_objAttribute, a_bAppendNew);
}

int setULongLong(ptrCXmlElement a_ptrParent, const CTagname& a_objTag, unsigned long long a_ullValue,
                 const QString& a_strUnit, struATTRIBUTE a_objAttribute, bool a_bAppendNew)
{
    return writeValue(a_ptrParent, a_objTag, valueToString(a_ullValue), a_strUnit, a_objAttribute, a_bAppendNew);
}

int setTime(ptrCXmlElement a_ptrParent, const CTagname& a_objTag, unsigned long long a_ullMicroseconds,
            struATTRIBUTE a_objAttribute, bool a_bAppendNew)
{
    const ptrCXmlElement ptrElement = valueElement(a_ptrParent, a_objTag, a_bAppendNew);
    if (!ptrElement)
        return RESULT_INVALID_ARG;
    ptrElement->setValue(valueToString(a_ullMicroseconds));
    ptrElement->setAttribute(s_baTimeZone, QStringLiteral("UTC"));
    ptrElement->setAttribute(s_baUnit, QStringLiteral("us"));
    if (!a_objAttribute.baName.isEmpty() && !a_objAttribute.strValue.isEmpty())
        ptrElement->setAttribute(a_objAttribute.baName, a_objAttribute.strValue);
    return RESULT_OK;
}

int setText(ptrCXmlElement a_ptrParent, const CTagname& a_objTag, const QString& a_strText, const QString*,
            struATTRIBUTE a_objAttribute, bool a_bAppendNew)
{
    return writeValue(a_ptrParent, a_objTag, a_strText, QString(), a_objAttribute, a_bAppendNew);
}

int setList_Bool(ptrCXmlElement a_ptrParent, const CTagname& a_objTag, const QList<bool>& a_lstValues,
                 struATTRIBUTE a_objAttribute, bool a_bAppendNew)
{
    return writeList(a_ptrParent, a_objTag, a_lstValues, QString(), a_objAttribute, a_bAppendNew);
}

int setList_Double(ptrCXmlElement a_ptrParent, const CTagname& a_objTag, const QList<double>& a_lstValues,
                   const QString& a_strUnit, struATTRIBUTE a_objAttribute, bool a_bAppendNew)
{
    return writeList(a_ptrParent, a_objTag, a_lstValues, a_strUnit, a_objAttribute, a_bAppendNew);
}

int setList_Float(ptrCXmlElement a_ptrParent, const CTagname& a_objTag, const QList<float>& a_lstValues,
                  const QString& a_strUnit, struATTRIBUTE a_objAttribute, bool a_bAppendNew)
{
    return writeList(a_ptrParent, a_objTag, a_lstValues, a_strUnit, a_objAttribute, a_bAppendNew);
}

int setList_Long(ptrCXmlElement a_ptrParent, const CTagname& a_objTag, const QList<int>& a_lstValues,
                 const QString& a_strUnit, struATTRIBUTE a_objAttribute, bool a_bAppendNew)
{
    return writeList(a_ptrParent, a_objTag, a_lstValues, a_strUnit, a_objAttribute, a_bAppendNew);
}

int setList_ULong(ptrCXmlElement a_ptrParent, const CTagname& a_objTag, const QList<unsigned int>& a_lstValues,
                  const QString& a_strUnit, struATTRIBUTE a_objAttribute, bool a_bAppendNew)
{
    return writeList(a_ptrParent, a_objTag, a_lstValues, a_strUnit, a_objAttribute, a_bAppendNew);
}

int setList_UShort(ptrCXmlElement a_ptrParent, const CTagname& a_objTag, const QList<unsigned short>& a_lstValues,
                   const QString& a_strUnit, struATTRIBUTE a_objAttribute, bool a_bAppendNew)
{
    return writeList(a_ptrParent, a_objTag, a_lstValues, a_strUnit, a_objAttribute, a_bAppendNew);
}

int setList_ULongLong(ptrCXmlElement a_ptrParent, const CTagname& a_objTag,
                      const QList<unsigned long long>& a_lstValues, const QString& a_strUnit,
                      struATTRIBUTE a_objAttribute, bool a_bAppendNew)
{
    return writeList(a_ptrParent, a_objTag, a_lstValues, a_strUnit, a_objAttribute, a_bAppendNew);
}

int setRange_Float(ptrCXmlElement a_ptrParent, const CTagname& a_objTag, float a_fMin, float a_fMax,
                   const QString& a_strUnit, struATTRIBUTE a_objAttribute, bool a_bAppendNew)
{
    return writeRange(a_ptrParent, a_objTag, a_fMin, a_fMax, a_strUnit, a_objAttribute, a_bAppendNew);
}

int setRange_Long(ptrCXmlElement a_ptrParent, const CTagname& a_objTag, int a_iMin, int a_iMax,
                  const QString& a_strUnit, struATTRIBUTE a_objAttribute, bool a_bAppendNew)
{
    return writeRange(a_ptrParent, a_objTag, a_iMin, a_iMax, a_strUnit, a_objAttribute, a_bAppendNew);
}

int setRange_ULong(ptrCXmlElement a_ptrParent, const CTagname& a_objTag, unsigned int a_uiMin, unsigned int a_uiMax,
                   const QString& a_strUnit, struATTRIBUTE a_objAttribute, bool a_bAppendNew)
{
    return writeRange(a_ptrParent, a_objTag, a_uiMin, a_uiMax, a_strUnit, a_objAttribute, a_bAppendNew);
}

int setRange_ULongLong(ptrCXmlElement a_ptrParent, const CTagname& a_objTag, unsigned long long a_ullMin,
                       unsigned long long a_ullMax, const QString& a_strUnit, struATTRIBUTE a_objAttribute,
                       bool a_bAppendNew)
{
    return writeRange(a_ptrParent, a_objTag, a_ullMin, a_ullMax, a_strUnit, a_objAttribute, a_bAppendNew);
}

int setEnumText(ptrCXmlElement a_ptrParent, const CTagname& a_objTag, const QString* a_pstrText,
                struATTRIBUTE a_objAttribute, bool a_bAppendNew)
{
    const ptrCXmlElement ptrElement = valueElement(a_ptrParent, a_objTag, a_bAppendNew);
    if (!ptrElement || !a_pstrText)
        return RESULT_INVALID_ARG;
    ptrElement->setValue(*a_pstrText);
    if (!a_objAttribute.baName.isEmpty() && !a_objAttribute.strValue.isEmpty())
        ptrElement->setAttribute(a_objAttribute.baName, a_objAttribute.strValue);
    return RESULT_OK;
}

int setEnumValue(ptrCXmlElement a_ptrParent, const CTagname& a_objTag, int a_iValue,
                 const QMap<int, QString>& a_mapTexts, struATTRIBUTE a_objAttribute, bool a_bAppendNew)
{
    const auto it = a_mapTexts.constFind(a_iValue);
    return setEnumText(a_ptrParent, a_objTag, it == a_mapTexts.cend() ? nullptr : &it.value(), a_objAttribute,
                       a_bAppendNew);
}

int getEnumValue(ptrCXmlElement a_ptrParent, const CTagname& a_objTag, int& a_iValue,
                 const QMap<int, QString>& a_mapTexts, typAttributes* a_plstAttributes)
{
    QString strText;
    typAttributes lstAttributes;
    if (const int iResult = getText(a_ptrParent, a_objTag, strText, &lstAttributes))
        return iResult;
    for (auto it = a_mapTexts.cbegin(); it != a_mapTexts.cend(); ++it) {
        if (it.value() == strText) {
            a_iValue = it.key();
            if (a_plstAttributes)
                *a_plstAttributes = lstAttributes;
            return RESULT_OK;
        }
    }
    return RESULT_MALFORMED;
}

ptrCXmlElement createElement(ptrCXmlElement a_ptrParent, const CTagname& a_objTag)
{
    if (!a_ptrParent || a_objTag.name().isEmpty())
        return ptrCXmlElement();
    ptrCXmlElement ptrElement(new CXmlElement(a_objTag));
    a_ptrParent->addChild(ptrElement, -1);
    return ptrElement;
}

int disableCompression(ptrCXmlElement a_ptrParent, const CTagname& a_objTag)
{
    const ptrCXmlElement ptrElement = valueElement(a_ptrParent, a_objTag, false);
    if (!ptrElement)
        return RESULT_INVALID_ARG;
    ptrElement->disableCompression();
    return RESULT_OK;
}

QString valueToString(const unsigned short& a_usValue)
{
    return QString::number(a_usValue);
}

QString valueToString(const int& a_iValue)
{
    return QString::number(a_iValue);
}

QString valueToString(const unsigned int& a_uiValue)
{
    return QString::number(a_uiValue);
}

QString valueToString(const unsigned long long& a_ullValue)
{
    return QString::number(a_ullValue);
}

QString valueToString(const bool& a_bValue)
{
    return a_bValue ? QStringLiteral("1") : QStringLiteral("0");
}

QString valueToString(const double& a_dValue)
{
    return convertToFloatFormat(QString::number(a_dValue, 'g', 15));
}

QString valueToString(const float& a_fValue, int a_iPrecision)
{
    QString str = QString::number(double(a_fValue), 'f', a_iPrecision);
    if (!str.contains(QLatin1Char('.')))
        return str;
    while (str.size() > 1 && str.endsWith(QLatin1Char('0')))
        str.chop(1);
    if (str.endsWith(QLatin1Char('.')))
        str.chop(1);
    return str;
}

QString cutTrailingZeros(const QString& a_strNumber)
{
    if (!a_strNumber.contains(QLatin1Char('.')))
        return a_strNumber;
    QString str = a_strNumber;
    while (str.endsWith(QLatin1Char('0')))
        str.chop(1);
    if (str.endsWith(QLatin1Char('.')))
        str.chop(1);
    return str;
}

QString convertToFloatFormat(const QString& a_strNumber)
{
    const int iExponent = a_strNumber.indexOf(QLatin1Char('e'), 0, Qt::CaseInsensitive);
    if (iExponent < 0)
        return cutTrailingZeros(a_strNumber);
    QString strMantissa = a_strNumber.left(iExponent);
    strMantissa.remove(QLatin1Char('.'));
    const bool bNegative = strMantissa.startsWith(QLatin1Char('-'));
    if (bNegative)
        strMantissa.remove(0, 1);

    QString strExponent = a_strNumber.mid(iExponent + 1);
    if (!strExponent.startsWith(QLatin1Char('-')) && !strExponent.startsWith(QLatin1Char('+')))
        return QString();
    const bool bNegativeExponent = strExponent.at(0) == QLatin1Char('-');
    strExponent.remove(0, 1);
    while (strExponent.startsWith(QLatin1Char('0')))
        strExponent.remove(0, 1);
    bool bOk = false;
    const int iShift = strExponent.toInt(&bOk, 10);
    // Beyond any double's range: refused rather than padded with thousands of zeros.
    if (strExponent.isEmpty() || !bOk || iShift < 0 || iShift > 400)
        return QString();

    QString strResult;
    if (bNegativeExponent) {
        strResult = QStringLiteral("0.") + QString(iShift - 1, QLatin1Char('0')) + strMantissa;
    } else {
        strResult = strMantissa;
        if (strResult.size() < iShift + 1)
            strResult += QString(iShift + 1 - strResult.size(), QLatin1Char('0'));
        else if (strResult.size() > iShift + 1)
            strResult.insert(iShift + 1, QLatin1Char('.'));
    }
    return cutTrailingZeros(bNegative ? QLatin1Char('-') + strResult : strResult);
}
}  // namespace XmlCommon::XmlConverterTools

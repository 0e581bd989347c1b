#pragma once

#include <OrvexXmlInterface/OxiExport.h>
#include <OrvexXmlInterface/xmlcommon/CEnumTexts.h>
#include <OrvexXmlInterface/xmlcommon/CXmlElement.h>
#include <OrvexXmlInterface/xmlcommon/ResultCodes.h>

#include <QtCore/QList>
#include <QtCore/QSharedPointer>

namespace XmlCommon
{
using typAttributes = QList<QSharedPointer<struATTRIBUTE>>;

// Reads and writes one typed value as a child element of a parent element, and so fixes the
// text form of every value in the system: "1"/"0" for booleans, plain decimal numbers without
// exponent, "," between list items, a "unit" attribute, times as UTC microseconds.
// Readers use the first child of that name; a missing element gives 0x02420002, a malformed text
// 0x02420003, and out-parameters are written only on success. Writers with a_bAppendNew false
// overwrite the first child of that name (created when missing), with true always append one.
namespace XmlConverterTools
{
OXI_EXPORT int getBool(ptrCXmlElement a_ptrParent, const CTagname& a_objTag, bool& a_bValue,
                       typAttributes* a_plstAttributes = nullptr);
OXI_EXPORT int getDouble(ptrCXmlElement a_ptrParent, const CTagname& a_objTag, double& a_dValue,
                         typAttributes* a_plstAttributes = nullptr);
OXI_EXPORT int getFloat(ptrCXmlElement a_ptrParent, const CTagname& a_objTag, float& a_fValue,
                        typAttributes* a_plstAttributes = nullptr);
OXI_EXPORT int getLong(ptrCXmlElement a_ptrParent, const CTagname& a_objTag, int& a_iValue,
                       typAttributes* a_plstAttributes = nullptr);
OXI_EXPORT int getULong(ptrCXmlElement a_ptrParent, const CTagname& a_objTag, unsigned int& a_uiValue,
                        typAttributes* a_plstAttributes = nullptr);
OXI_EXPORT int getUShort(ptrCXmlElement a_ptrParent, const CTagname& a_objTag, unsigned short& a_usValue,
                         typAttributes* a_plstAttributes = nullptr);
OXI_EXPORT int getTime(ptrCXmlElement a_ptrParent, const CTagname& a_objTag, unsigned long long& a_ullMicroseconds,
                       typAttributes* a_plstAttributes = nullptr);
OXI_EXPORT int getText(ptrCXmlElement a_ptrParent, const CTagname& a_objTag, QString& a_strValue,
                       typAttributes* a_plstAttributes = nullptr);
OXI_EXPORT int getULongLong(ptrCXmlElement a_ptrParent, const CTagname& a_objTag, unsigned long long& a_ullValue,
                            typAttributes& a_lstAttributes);
OXI_EXPORT int getULongLong(ptrCXmlElement a_ptrParent, const CTagname& a_objTag, unsigned long long& a_ullValue,
                            QString* a_pstrUnit = nullptr);

OXI_EXPORT int getList_Bool(ptrCXmlElement a_ptrParent, const CTagname& a_objTag, QList<bool>& a_lstValues,
                            int* a_piErrorIndex = nullptr, typAttributes* a_plstAttributes = nullptr);
OXI_EXPORT int getList_Double(ptrCXmlElement a_ptrParent, const CTagname& a_objTag, QList<double>& a_lstValues,
                              int* a_piErrorIndex = nullptr, typAttributes* a_plstAttributes = nullptr);
OXI_EXPORT int getList_Float(ptrCXmlElement a_ptrParent, const CTagname& a_objTag, QList<float>& a_lstValues,
                             int* a_piErrorIndex = nullptr, typAttributes* a_plstAttributes = nullptr);
OXI_EXPORT int getList_Long(ptrCXmlElement a_ptrParent, const CTagname& a_objTag, QList<int>& a_lstValues,
                            int* a_piErrorIndex = nullptr, typAttributes* a_plstAttributes = nullptr);
OXI_EXPORT int getList_ULong(ptrCXmlElement a_ptrParent, const CTagname& a_objTag, QList<unsigned int>& a_lstValues,
                             int* a_piErrorIndex = nullptr, typAttributes* a_plstAttributes = nullptr);
OXI_EXPORT int getList_UShort(ptrCXmlElement a_ptrParent, const CTagname& a_objTag, QList<unsigned short>& a_lstValues,
                              int* a_piErrorIndex = nullptr, typAttributes* a_plstAttributes = nullptr);
OXI_EXPORT int getList_ULongLong(ptrCXmlElement a_ptrParent, const CTagname& a_objTag,
                                 QList<unsigned long long>& a_lstValues, typAttributes& a_lstAttributes,
                                 int* a_piErrorIndex = nullptr);
OXI_EXPORT int getList_ULongLong(ptrCXmlElement a_ptrParent, const CTagname& a_objTag,
                                 QList<unsigned long long>& a_lstValues, QString* a_pstrUnit = nullptr,
                                 int* a_piErrorIndex = nullptr);

OXI_EXPORT int getRange_Float(ptrCXmlElement a_ptrParent, const CTagname& a_objTag, float& a_fMin, float& a_fMax,
                              typAttributes* a_plstAttributes = nullptr);
OXI_EXPORT int getRange_Long(ptrCXmlElement a_ptrParent, const CTagname& a_objTag, int& a_iMin, int& a_iMax,
                             typAttributes* a_plstAttributes = nullptr);
OXI_EXPORT int getRange_ULong(ptrCXmlElement a_ptrParent, const CTagname& a_objTag, unsigned int& a_uiMin,
                              unsigned int& a_uiMax, typAttributes* a_plstAttributes = nullptr);
OXI_EXPORT int getRange_ULongLong(ptrCXmlElement a_ptrParent, const CTagname& a_objTag, unsigned long long& a_ullMin,
                                  unsigned long long& a_ullMax, typAttributes& a_lstAttributes);
OXI_EXPORT int getRange_ULongLong(ptrCXmlElement a_ptrParent, const CTagname& a_objTag, unsigned long long& a_ullMin,
                                  unsigned long long& a_ullMax, QString* a_pstrUnit = nullptr);

OXI_EXPORT int setBool(ptrCXmlElement a_ptrParent, const CTagname& a_objTag, bool a_bValue,
                       struATTRIBUTE a_objAttribute = {}, bool a_bAppendNew = false);
OXI_EXPORT int setDouble(ptrCXmlElement a_ptrParent, const CTagname& a_objTag, double a_dValue,
                         const QString& a_strUnit, struATTRIBUTE a_objAttribute = {}, bool a_bAppendNew = false);
OXI_EXPORT int setFloat(ptrCXmlElement a_ptrParent, const CTagname& a_objTag, float a_fValue, const QString& a_strUnit,
                        struATTRIBUTE a_objAttribute = {}, bool a_bAppendNew = false, int a_iPrecision = 6);
OXI_EXPORT int setLong(ptrCXmlElement a_ptrParent, const CTagname& a_objTag, int a_iValue, const QString& a_strUnit,
                       struATTRIBUTE a_objAttribute = {}, bool a_bAppendNew = false);
OXI_EXPORT int setULong(ptrCXmlElement a_ptrParent, const CTagname& a_objTag, unsigned int a_uiValue,
                        const QString& a_strUnit, struATTRIBUTE a_objAttribute = {}, bool a_bAppendNew = false);
OXI_EXPORT int setUShort(ptrCXmlElement a_ptrParent, const CTagname& a_objTag, unsigned short a_usValue,
                         const QString& a_strUnit, struATTRIBUTE a_objAttribute = {}, bool a_bAppendNew = false);
OXI_EXPORT int setULongLong(ptrCXmlElement a_ptrParent, const CTagname& a_objTag, unsigned long long a_ullValue,
                            const QString& a_strUnit, struATTRIBUTE a_objAttribute = {}, bool a_bAppendNew = false);
OXI_EXPORT int setTime(ptrCXmlElement a_ptrParent, const CTagname& a_objTag, unsigned long long a_ullMicroseconds,
                       struATTRIBUTE a_objAttribute = {}, bool a_bAppendNew = false);
// a_pstrFormat is accepted for callers' symmetry and never written.
OXI_EXPORT int setText(ptrCXmlElement a_ptrParent, const CTagname& a_objTag, const QString& a_strText,
                       const QString* a_pstrFormat = nullptr, struATTRIBUTE a_objAttribute = {},
                       bool a_bAppendNew = false);

OXI_EXPORT int setList_Bool(ptrCXmlElement a_ptrParent, const CTagname& a_objTag, const QList<bool>& a_lstValues,
                            struATTRIBUTE a_objAttribute = {}, bool a_bAppendNew = false);
OXI_EXPORT int setList_Double(ptrCXmlElement a_ptrParent, const CTagname& a_objTag, const QList<double>& a_lstValues,
                              const QString& a_strUnit, struATTRIBUTE a_objAttribute = {}, bool a_bAppendNew = false);
OXI_EXPORT int setList_Float(ptrCXmlElement a_ptrParent, const CTagname& a_objTag, const QList<float>& a_lstValues,
                             const QString& a_strUnit, struATTRIBUTE a_objAttribute = {}, bool a_bAppendNew = false);
OXI_EXPORT int setList_Long(ptrCXmlElement a_ptrParent, const CTagname& a_objTag, const QList<int>& a_lstValues,
                            const QString& a_strUnit, struATTRIBUTE a_objAttribute = {}, bool a_bAppendNew = false);
OXI_EXPORT int setList_ULong(ptrCXmlElement a_ptrParent, const CTagname& a_objTag,
                             const QList<unsigned int>& a_lstValues, const QString& a_strUnit,
                             struATTRIBUTE a_objAttribute = {}, bool a_bAppendNew = false);
OXI_EXPORT int setList_UShort(ptrCXmlElement a_ptrParent, const CTagname& a_objTag,
                              const QList<unsigned short>& a_lstValues, const QString& a_strUnit,
                              struATTRIBUTE a_objAttribute = {}, bool a_bAppendNew = false);
OXI_EXPORT int setList_ULongLong(ptrCXmlElement a_ptrParent, const CTagname& a_objTag,
                                 const QList<unsigned long long>& a_lstValues, const QString& a_strUnit,
                                 struATTRIBUTE a_objAttribute = {}, bool a_bAppendNew = false);

// A range is a two-item list labelled info="min,max" unless the caller gives its own attribute;
// min above max gives 0x02420003 and writes nothing.
OXI_EXPORT int setRange_Float(ptrCXmlElement a_ptrParent, const CTagname& a_objTag, float a_fMin, float a_fMax,
                              const QString& a_strUnit, struATTRIBUTE a_objAttribute = {}, bool a_bAppendNew = false);
OXI_EXPORT int setRange_Long(ptrCXmlElement a_ptrParent, const CTagname& a_objTag, int a_iMin, int a_iMax,
                             const QString& a_strUnit, struATTRIBUTE a_objAttribute = {}, bool a_bAppendNew = false);
OXI_EXPORT int setRange_ULong(ptrCXmlElement a_ptrParent, const CTagname& a_objTag, unsigned int a_uiMin,
                              unsigned int a_uiMax, const QString& a_strUnit, struATTRIBUTE a_objAttribute = {},
                              bool a_bAppendNew = false);
OXI_EXPORT int setRange_ULongLong(ptrCXmlElement a_ptrParent, const CTagname& a_objTag, unsigned long long a_ullMin,
                                  unsigned long long a_ullMax, const QString& a_strUnit,
                                  struATTRIBUTE a_objAttribute = {}, bool a_bAppendNew = false);

// Enumerations as fixed texts. Setting a value without a text gives 0x02420001 (the element is
// still created, without text); reading a text that is in no entry gives 0x02420003.
OXI_EXPORT int setEnumText(ptrCXmlElement a_ptrParent, const CTagname& a_objTag, const QString* a_pstrText,
                           struATTRIBUTE a_objAttribute = {}, bool a_bAppendNew = false);
OXI_EXPORT int setEnumValue(ptrCXmlElement a_ptrParent, const CTagname& a_objTag, int a_iValue,
                            const QMap<int, QString>& a_mapTexts, struATTRIBUTE a_objAttribute = {},
                            bool a_bAppendNew = false);
OXI_EXPORT int getEnumValue(ptrCXmlElement a_ptrParent, const CTagname& a_objTag, int& a_iValue,
                            const QMap<int, QString>& a_mapTexts, typAttributes* a_plstAttributes = nullptr);

template <typename E>
int setEnum(ptrCXmlElement a_ptrParent, const CTagname& a_objTag, E a_eValue, const CEnumTexts<E>& a_objTexts,
            struATTRIBUTE a_objAttribute = {}, bool a_bAppendNew = false)
{
    return setEnumText(a_ptrParent, a_objTag, a_objTexts.text(a_eValue), a_objAttribute, a_bAppendNew);
}

template <typename E>
int getEnum(ptrCXmlElement a_ptrParent, const CTagname& a_objTag, E& a_eValue, const CEnumTexts<E>& a_objTexts,
            typAttributes* a_plstAttributes = nullptr)
{
    QString strText;
    typAttributes lstAttributes;
    if (const int iResult = getText(a_ptrParent, a_objTag, strText, &lstAttributes))
        return iResult;
    E eValue;
    if (!a_objTexts.value(strText, eValue))
        return RESULT_MALFORMED;
    a_eValue = eValue;
    if (a_plstAttributes)
        *a_plstAttributes = lstAttributes;
    return 0;
}

OXI_EXPORT ptrCXmlElement createElement(ptrCXmlElement a_ptrParent, const CTagname& a_objTag);
OXI_EXPORT int disableCompression(ptrCXmlElement a_ptrParent, const CTagname& a_objTag);

OXI_EXPORT QString valueToString(const unsigned short& a_usValue);
OXI_EXPORT QString valueToString(const int& a_iValue);
OXI_EXPORT QString valueToString(const unsigned int& a_uiValue);
OXI_EXPORT QString valueToString(const unsigned long long& a_ullValue);
OXI_EXPORT QString valueToString(const bool& a_bValue);
OXI_EXPORT QString valueToString(const double& a_dValue);
OXI_EXPORT QString valueToString(const float& a_fValue, int a_iPrecision);
// "1.5e+06" -> "1500000"; an exponent that cannot be read gives an empty string.
OXI_EXPORT QString convertToFloatFormat(const QString& a_strNumber);
OXI_EXPORT QString cutTrailingZeros(const QString& a_strNumber);
}  // namespace XmlConverterTools
}  // namespace XmlCommon

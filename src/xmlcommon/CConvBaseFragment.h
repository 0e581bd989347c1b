#pragma once

#include <OrvexXmlInterface/OxiExport.h>
#include <OrvexXmlInterface/xmlcommon/CMsgFragment.h>
#include <OrvexXmlInterface/xmlcommon/ResultCodes.h>
#include <OrvexXmlInterface/xmlcommon/XmlConverterTools.h>

namespace XmlCommon
{
// The base of every typed converter: a view on one message fragment that knows its component
// and data name, tells whether a fragment holds its message, shapes a fragment into it, and reads
// and writes its values. The converter holds no values; they all live in the fragment.
//
// Getters answer 0x02420000 when the fragment does not hold the converter's message and leave
// their out-parameters alone; over a fault reply they read the failed request's values. Setters
// first shape the fragment into the converter's message, then write.
class OXI_EXPORT CConvBaseFragment
{
public:
    // Works on the caller's fragment, which must outlive the converter.
    explicit CConvBaseFragment(CMsgFragment& a_objFragment);
    // Works on a fragment of its own.
    CConvBaseFragment();
    // A copy of a converter over the caller's fragment works on that same fragment; a copy of a
    // converter over its own fragment gets its own handle on the same elements, so it never
    // depends on the lifetime of its source. Assignment follows the same rule, so converters can
    // be held in Qt's containers like any record.
    CConvBaseFragment(const CConvBaseFragment& a_objOther);
    CConvBaseFragment& operator=(const CConvBaseFragment& a_objOther);
    virtual ~CConvBaseFragment();

    virtual ptrCXmlElement getTree() const;
    virtual void setTree(ptrCXmlElement a_ptrTree);
    virtual int setDataTree(CDataTree a_objDataTree);
    virtual bool isCompatible() const;
    virtual void makeFragment();
    // The message with an empty data element: the form that asks for all values.
    virtual void queryAll();

    CMsgFragment& getFragment() { return *m_pobjFragment; }
    CMsgFragment getFragment() const { return *m_pobjFragment; }
    operator CMsgFragment() const { return *m_pobjFragment; }

    bool checkCompatibility(const CTagname& a_objComponent, const CTagname& a_objDataName,
                            CDataTree& a_objDataTree) const;
    void setCompatibility(const CTagname& a_objComponent, const CTagname& a_objDataName, CDataTree& a_objDataTree);

    int getBool(const CTagname& a_objTag, bool& a_bValue, typAttributes* a_plstAttributes = nullptr) const;
    int getDouble(const CTagname& a_objTag, double& a_dValue, typAttributes* a_plstAttributes = nullptr) const;
    int getFloat(const CTagname& a_objTag, float& a_fValue, typAttributes* a_plstAttributes = nullptr) const;
    int getLong(const CTagname& a_objTag, int& a_iValue, typAttributes* a_plstAttributes = nullptr) const;
    int getULong(const CTagname& a_objTag, unsigned int& a_uiValue, typAttributes* a_plstAttributes = nullptr) const;
    int getUShort(const CTagname& a_objTag, unsigned short& a_usValue, typAttributes* a_plstAttributes = nullptr) const;
    int getTime(const CTagname& a_objTag, unsigned long long& a_ullValue,
                typAttributes* a_plstAttributes = nullptr) const;
    int getText(const CTagname& a_objTag, QString& a_strValue, typAttributes* a_plstAttributes = nullptr) const;
    int getULongLong(const CTagname& a_objTag, unsigned long long& a_ullValue, typAttributes& a_lstAttributes) const;
    int getULongLong(const CTagname& a_objTag, unsigned long long& a_ullValue, QString* a_pstrUnit = nullptr) const;

    int getList_Bool(const CTagname& a_objTag, QList<bool>& a_lstValues, int* a_piErrorIndex = nullptr,
                     typAttributes* a_plstAttributes = nullptr) const;
    int getList_Double(const CTagname& a_objTag, QList<double>& a_lstValues, int* a_piErrorIndex = nullptr,
                       typAttributes* a_plstAttributes = nullptr) const;
    int getList_Float(const CTagname& a_objTag, QList<float>& a_lstValues, int* a_piErrorIndex = nullptr,
                      typAttributes* a_plstAttributes = nullptr) const;
    int getList_Long(const CTagname& a_objTag, QList<int>& a_lstValues, int* a_piErrorIndex = nullptr,
                     typAttributes* a_plstAttributes = nullptr) const;
    int getList_ULong(const CTagname& a_objTag, QList<unsigned int>& a_lstValues, int* a_piErrorIndex = nullptr,
                      typAttributes* a_plstAttributes = nullptr) const;
    int getList_UShort(const CTagname& a_objTag, QList<unsigned short>& a_lstValues, int* a_piErrorIndex = nullptr,
                       typAttributes* a_plstAttributes = nullptr) const;
    int getList_ULongLong(const CTagname& a_objTag, QList<unsigned long long>& a_lstValues,
                          typAttributes& a_lstAttributes, int* a_piErrorIndex = nullptr) const;
    int getList_ULongLong(const CTagname& a_objTag, QList<unsigned long long>& a_lstValues,
                          QString* a_pstrUnit = nullptr, int* a_piErrorIndex = nullptr) const;

    int getRange_Float(const CTagname& a_objTag, float& a_fMin, float& a_fMax,
                       typAttributes* a_plstAttributes = nullptr) const;
    int getRange_Long(const CTagname& a_objTag, int& a_iMin, int& a_iMax,
                      typAttributes* a_plstAttributes = nullptr) const;
    int getRange_ULong(const CTagname& a_objTag, unsigned int& a_uiMin, unsigned int& a_uiMax,
                       typAttributes* a_plstAttributes = nullptr) const;
    int getRange_ULongLong(const CTagname& a_objTag, unsigned long long& a_ullMin, unsigned long long& a_ullMax,
                           typAttributes& a_lstAttributes) const;
    int getRange_ULongLong(const CTagname& a_objTag, unsigned long long& a_ullMin, unsigned long long& a_ullMax,
                           QString* a_pstrUnit = nullptr) const;

    // The data element's own text, without the CDATA markers it travels in.
    int getCDATA(QByteArray& a_baData) const;

    int setBool(const CTagname& a_objTag, bool a_bValue, struATTRIBUTE a_objAttribute = {});
    int setDouble(const CTagname& a_objTag, double a_dValue, const QString& a_strUnit,
                  struATTRIBUTE a_objAttribute = {});
    int setFloat(const CTagname& a_objTag, float a_fValue, const QString& a_strUnit, struATTRIBUTE a_objAttribute = {});
    int setFloat(const CTagname& a_objTag, float a_fValue, int a_iPrecision, const QString& a_strUnit,
                 struATTRIBUTE a_objAttribute = {});
    int setLong(const CTagname& a_objTag, int a_iValue, const QString& a_strUnit, struATTRIBUTE a_objAttribute = {});
    int setULong(const CTagname& a_objTag, unsigned int a_uiValue, const QString& a_strUnit,
                 struATTRIBUTE a_objAttribute = {});
    int setUShort(const CTagname& a_objTag, unsigned short a_usValue, const QString& a_strUnit,
                  struATTRIBUTE a_objAttribute = {});
    int setULongLong(const CTagname& a_objTag, unsigned long long a_ullValue, const QString& a_strUnit,
                     struATTRIBUTE a_objAttribute = {});
    int setTime(const CTagname& a_objTag, unsigned long long a_ullMicroseconds, struATTRIBUTE a_objAttribute = {});
    int setText(const CTagname& a_objTag, const QString& a_strText, const QString* a_pstrFormat = nullptr,
                struATTRIBUTE a_objAttribute = {});

    int setList_Bool(const CTagname& a_objTag, QList<bool> a_lstValues, struATTRIBUTE a_objAttribute = {});
    int setList_Double(const CTagname& a_objTag, QList<double> a_lstValues, const QString& a_strUnit,
                       struATTRIBUTE a_objAttribute = {});
    int setList_Float(const CTagname& a_objTag, QList<float> a_lstValues, const QString& a_strUnit,
                      struATTRIBUTE a_objAttribute = {});
    int setList_Long(const CTagname& a_objTag, QList<int> a_lstValues, const QString& a_strUnit,
                     struATTRIBUTE a_objAttribute = {});
    int setList_ULong(const CTagname& a_objTag, const QList<unsigned int>& a_lstValues, const QString& a_strUnit,
                      struATTRIBUTE a_objAttribute = {});
    int setList_UShort(const CTagname& a_objTag, const QList<unsigned short>& a_lstValues, const QString& a_strUnit,
                       struATTRIBUTE a_objAttribute = {});
    int setList_ULongLong(const CTagname& a_objTag, QList<unsigned long long> a_lstValues, const QString& a_strUnit,
                          struATTRIBUTE a_objAttribute = {});

    int setRange_Float(const CTagname& a_objTag, float a_fMin, float a_fMax, const QString& a_strUnit,
                       struATTRIBUTE a_objAttribute = {});
    int setRange_Long(const CTagname& a_objTag, int a_iMin, int a_iMax, const QString& a_strUnit,
                      struATTRIBUTE a_objAttribute = {});
    int setRange_ULong(const CTagname& a_objTag, unsigned int a_uiMin, unsigned int a_uiMax, const QString& a_strUnit,
                       struATTRIBUTE a_objAttribute = {});
    int setRange_ULongLong(const CTagname& a_objTag, unsigned long long a_ullMin, unsigned long long a_ullMax,
                           const QString& a_strUnit, struATTRIBUTE a_objAttribute = {});

    // Sets the data element's own text to the data inside a CDATA section, so it travels verbatim.
    int setCDATA(const QByteArray& a_baData);
    int disableCompression(const CTagname& a_objTag);

    // Enumerations as fixed texts: a value without a text gives 0x02420001, a text that is no
    // entry's gives 0x02420003.
    template <typename E>
    int setEnum(const CTagname& a_objTag, E a_eValue, const CEnumTexts<E>& a_objTexts,
                struATTRIBUTE a_objAttribute = {})
    {
        return write([&](const ptrCXmlElement& a_ptrData) {
            return XmlConverterTools::setEnum(a_ptrData, a_objTag, a_eValue, a_objTexts, a_objAttribute);
        });
    }
    template <typename E>
    int getEnum(const CTagname& a_objTag, E& a_eValue, const CEnumTexts<E>& a_objTexts,
                typAttributes* a_plstAttributes = nullptr) const
    {
        return read([&](const ptrCXmlElement& a_ptrData) {
            return XmlConverterTools::getEnum(a_ptrData, a_objTag, a_eValue, a_objTexts, a_plstAttributes);
        });
    }
    int setEnumValue(const CTagname& a_objTag, int a_iValue, const QMap<int, QString>& a_mapTexts,
                     struATTRIBUTE a_objAttribute = {});
    int getEnumValue(const CTagname& a_objTag, int& a_iValue, const QMap<int, QString>& a_mapTexts,
                     typAttributes* a_plstAttributes = nullptr) const;

protected:
    virtual bool checkCompatibility(CDataTree& a_objDataTree) const = 0;
    virtual void setCompatibility(CDataTree& a_objDataTree) = 0;

    // The data element to read from, or null when the fragment does not hold this message.
    ptrCXmlElement dataElement() const;
    // The data element after the fragment was shaped into this message.
    ptrCXmlElement shapedDataElement();

    // The getter and setter patterns: a_fnAccess gets the data element to work on.
    template <typename F> int read(F a_fnAccess) const
    {
        CDataTree objDataTree;
        if (!checkCompatibility(objDataTree))
            return RESULT_WRONG_KIND;
        return a_fnAccess(objDataTree.getElementTree());
    }
    template <typename F> int write(F a_fnAccess)
    {
        CDataTree objDataTree;
        setCompatibility(objDataTree);
        return a_fnAccess(objDataTree.getElementTree());
    }

private:
    // Every typed getter and setter is the converter tool of the same name, applied to the data
    // element after the pattern above.
    template <typename... P, typename... A>
    int readTool(int (*a_pfnTool)(ptrCXmlElement, const CTagname&, P...), const CTagname& a_objTag,
                 A&&... a_args) const;
    template <typename... P, typename... A>
    int writeTool(int (*a_pfnTool)(ptrCXmlElement, const CTagname&, P...), const CTagname& a_objTag, A&&... a_args);

    CMsgFragment* m_pobjFragment;
    CMsgFragment m_objOwnFragment;
};
}  // namespace XmlCommon

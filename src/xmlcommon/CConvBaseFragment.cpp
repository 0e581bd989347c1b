#include "CConvBaseFragment.h"

#include "ResultCodes.h"

namespace XmlCommon
{
namespace
{
const QLatin1String s_strCDataBegin("<![CDATA[");
const QLatin1String s_strCDataEnd("]]>");
// The base writes each value into the first element of its name, created when missing.
const bool s_bInPlace = false;
}  // namespace

template <typename... P, typename... A>
int CConvBaseFragment::readTool(int (*a_pfnTool)(ptrCXmlElement, const CTagname&, P...), const CTagname& a_objTag,
                                A&&... a_args) const
{
    return read([&](const ptrCXmlElement& a_ptrData) { return a_pfnTool(a_ptrData, a_objTag, a_args...); });
}

template <typename... P, typename... A>
int CConvBaseFragment::writeTool(int (*a_pfnTool)(ptrCXmlElement, const CTagname&, P...), const CTagname& a_objTag,
                                 A&&... a_args)
{
    return write([&](const ptrCXmlElement& a_ptrData) { return a_pfnTool(a_ptrData, a_objTag, a_args...); });
}

CConvBaseFragment::CConvBaseFragment(CMsgFragment& a_objFragment) : m_pobjFragment(&a_objFragment) {}

CConvBaseFragment::CConvBaseFragment() : m_pobjFragment(&m_objOwnFragment) {}

CConvBaseFragment::CConvBaseFragment(const CConvBaseFragment& a_objOther)
    : m_pobjFragment(a_objOther.m_pobjFragment == &a_objOther.m_objOwnFragment ? &m_objOwnFragment
                                                                               : a_objOther.m_pobjFragment),
      m_objOwnFragment(a_objOther.m_objOwnFragment)
{}

CConvBaseFragment& CConvBaseFragment::operator=(const CConvBaseFragment& a_objOther)
{
    if (this == &a_objOther)
        return *this;
    const bool bOwn = a_objOther.m_pobjFragment == &a_objOther.m_objOwnFragment;
    m_objOwnFragment = a_objOther.m_objOwnFragment;
    m_pobjFragment = bOwn ? &m_objOwnFragment : a_objOther.m_pobjFragment;
    return *this;
}

CConvBaseFragment::~CConvBaseFragment() = default;

ptrCXmlElement CConvBaseFragment::getTree() const
{
    return m_pobjFragment->getElementTree();
}

void CConvBaseFragment::setTree(ptrCXmlElement a_ptrTree)
{
    m_pobjFragment->setElementTree(a_ptrTree);
}

int CConvBaseFragment::setDataTree(CDataTree a_objDataTree)
{
    CDataTree objScratch;
    setCompatibility(objScratch);
    return m_pobjFragment->setDataTree(a_objDataTree);
}

bool CConvBaseFragment::isCompatible() const
{
    CDataTree objScratch;
    return checkCompatibility(objScratch);
}

void CConvBaseFragment::makeFragment()
{
    CDataTree objScratch;
    setCompatibility(objScratch);
}

void CConvBaseFragment::queryAll()
{
    CDataTree objDataTree;
    setCompatibility(objDataTree);
    objDataTree.getElementTree()->removeAllChildren();
}

ptrCXmlElement CConvBaseFragment::dataElement() const
{
    CDataTree objDataTree;
    return checkCompatibility(objDataTree) ? objDataTree.getElementTree() : ptrCXmlElement();
}

ptrCXmlElement CConvBaseFragment::shapedDataElement()
{
    CDataTree objDataTree;
    setCompatibility(objDataTree);
    return objDataTree.getElementTree();
}

void CConvBaseFragment::setCompatibility(const CTagname& a_objComponent, const CTagname& a_objDataName,
                                         CDataTree& a_objDataTree)
{
    m_pobjFragment->setComponentName(a_objComponent);
    a_objDataTree = m_pobjFragment->getDataTree();
    const bool bHadData = !a_objDataTree.isNull();
    a_objDataTree.setDataName(a_objDataName);
    // Re-attaching an existing data element would only move it behind a request tree.
    if (!bHadData || m_pobjFragment->hasFaultTree())
        m_pobjFragment->setDataTree(a_objDataTree);
}

bool CConvBaseFragment::checkCompatibility(const CTagname& a_objComponent, const CTagname& a_objDataName,
                                           CDataTree& a_objDataTree) const
{
    const CMsgFragment& objFragment = *m_pobjFragment;
    if (objFragment.isNull() || objFragment.getElementTree()->tagname() != a_objComponent)
        return false;
    a_objDataTree = objFragment.getDataTree();
    if (!a_objDataTree.isNull())
        return a_objDataTree.getElementTree()->tagname() == a_objDataName;
    // A fault reply: read the failed request as it was echoed back, on a copy.
    const CFaultTree objFault = objFragment.getFaultTree();
    if (objFault.isNull())
        return false;
    CDataTree objEchoed = objFragment.getRequestTree().getDataTree();
    if (objEchoed.isNull())
        objEchoed = objFault.getRequestFragment().getDataTree();
    if (objEchoed.isNull() || objEchoed.getElementTree()->tagname() != a_objDataName)
        return false;
    a_objDataTree = CDataTree(objEchoed.getElementTree()->copy(true));
    return true;
}

int CConvBaseFragment::getCDATA(QByteArray& a_baData) const
{
    return read([&](const ptrCXmlElement& a_ptrData) {
        const QString& strText = a_ptrData->getValue();
        if (strText.isEmpty())
            return int(RESULT_MALFORMED);
        if (strText.startsWith(s_strCDataBegin) && strText.endsWith(s_strCDataEnd) &&
            strText.size() >= s_strCDataBegin.size() + s_strCDataEnd.size())
            a_baData =
                strText.mid(s_strCDataBegin.size(), strText.size() - s_strCDataBegin.size() - s_strCDataEnd.size())
                    .toUtf8();
        else
            a_baData = strText.toUtf8();
        return int(RESULT_OK);
    });
}

int CConvBaseFragment::setCDATA(const QByteArray& a_baData)
{
    return write([&](const ptrCXmlElement& a_ptrData) {
        a_ptrData->setValue(s_strCDataBegin + QString::fromUtf8(a_baData) + s_strCDataEnd);
        return int(RESULT_OK);
    });
}

int CConvBaseFragment::disableCompression(const CTagname& a_objTag)
{
    return write(
        [&](const ptrCXmlElement& a_ptrData) { return XmlConverterTools::disableCompression(a_ptrData, a_objTag); });
}

int CConvBaseFragment::getBool(const CTagname& a_objTag, bool& a_bValue, typAttributes* a_plstAttributes) const
{
    return readTool(XmlConverterTools::getBool, a_objTag, a_bValue, a_plstAttributes);
}

int CConvBaseFragment::getDouble(const CTagname& a_objTag, double& a_dValue, typAttributes* a_plstAttributes) const
{
    return readTool(XmlConverterTools::getDouble, a_objTag, a_dValue, a_plstAttributes);
}

int CConvBaseFragment::getFloat(const CTagname& a_objTag, float& a_fValue, typAttributes* a_plstAttributes) const
{
    return readTool(XmlConverterTools::getFloat, a_objTag, a_fValue, a_plstAttributes);
}

int CConvBaseFragment::getLong(const CTagname& a_objTag, int& a_iValue, typAttributes* a_plstAttributes) const
{
    return readTool(XmlConverterTools::getLong, a_objTag, a_iValue, a_plstAttributes);
}

int CConvBaseFragment::getULong(const CTagname& a_objTag, unsigned int& a_uiValue,
                                typAttributes* a_plstAttributes) const
{
    return readTool(XmlConverterTools::getULong, a_objTag, a_uiValue, a_plstAttributes);
}

int CConvBaseFragment::getUShort(const CTagname& a_objTag, unsigned short& a_usValue,
                                 typAttributes* a_plstAttributes) const
{
    return readTool(XmlConverterTools::getUShort, a_objTag, a_usValue, a_plstAttributes);
}

int CConvBaseFragment::getTime(const CTagname& a_objTag, unsigned long long& a_ullValue,
                               typAttributes* a_plstAttributes) const
{
    return readTool(XmlConverterTools::getTime, a_objTag, a_ullValue, a_plstAttributes);
}

int CConvBaseFragment::getText(const CTagname& a_objTag, QString& a_strValue, typAttributes* a_plstAttributes) const
{
    return readTool(XmlConverterTools::getText, a_objTag, a_strValue, a_plstAttributes);
}

int CConvBaseFragment::getULongLong(const CTagname& a_objTag, unsigned long long& a_ullValue,
                                    typAttributes& a_lstAttributes) const
{
    return readTool<unsigned long long&, typAttributes&>(XmlConverterTools::getULongLong, a_objTag, a_ullValue,
                                                         a_lstAttributes);
}

int CConvBaseFragment::getULongLong(const CTagname& a_objTag, unsigned long long& a_ullValue, QString* a_pstrUnit) const
{
    return readTool<unsigned long long&, QString*>(XmlConverterTools::getULongLong, a_objTag, a_ullValue, a_pstrUnit);
}

int CConvBaseFragment::getList_Bool(const CTagname& a_objTag, QList<bool>& a_lstValues, int* a_piErrorIndex,
                                    typAttributes* a_plstAttributes) const
{
    return readTool(XmlConverterTools::getList_Bool, a_objTag, a_lstValues, a_piErrorIndex, a_plstAttributes);
}

int CConvBaseFragment::getList_Double(const CTagname& a_objTag, QList<double>& a_lstValues, int* a_piErrorIndex,
                                      typAttributes* a_plstAttributes) const
{
    return readTool(XmlConverterTools::getList_Double, a_objTag, a_lstValues, a_piErrorIndex, a_plstAttributes);
}

int CConvBaseFragment::getList_Float(const CTagname& a_objTag, QList<float>& a_lstValues, int* a_piErrorIndex,
                                     typAttributes* a_plstAttributes) const
{
    return readTool(XmlConverterTools::getList_Float, a_objTag, a_lstValues, a_piErrorIndex, a_plstAttributes);
}

int CConvBaseFragment::getList_Long(const CTagname& a_objTag, QList<int>& a_lstValues, int* a_piErrorIndex,
                                    typAttributes* a_plstAttributes) const
{
    return readTool(XmlConverterTools::getList_Long, a_objTag, a_lstValues, a_piErrorIndex, a_plstAttributes);
}

int CConvBaseFragment::getList_ULong(const CTagname& a_objTag, QList<unsigned int>& a_lstValues, int* a_piErrorIndex,
                                     typAttributes* a_plstAttributes) const
{
    return readTool(XmlConverterTools::getList_ULong, a_objTag, a_lstValues, a_piErrorIndex, a_plstAttributes);
}

int CConvBaseFragment::getList_UShort(const CTagname& a_objTag, QList<unsigned short>& a_lstValues, int* a_piErrorIndex,
                                      typAttributes* a_plstAttributes) const
{
    return readTool(XmlConverterTools::getList_UShort, a_objTag, a_lstValues, a_piErrorIndex, a_plstAttributes);
}

int CConvBaseFragment::getList_ULongLong(const CTagname& a_objTag, QList<unsigned long long>& a_lstValues,
                                         typAttributes& a_lstAttributes, int* a_piErrorIndex) const
{
    return readTool<QList<unsigned long long>&, typAttributes&, int*>(XmlConverterTools::getList_ULongLong, a_objTag,
                                                                      a_lstValues, a_lstAttributes, a_piErrorIndex);
}

int CConvBaseFragment::getList_ULongLong(const CTagname& a_objTag, QList<unsigned long long>& a_lstValues,
                                         QString* a_pstrUnit, int* a_piErrorIndex) const
{
    return readTool<QList<unsigned long long>&, QString*, int*>(XmlConverterTools::getList_ULongLong, a_objTag,
                                                                a_lstValues, a_pstrUnit, a_piErrorIndex);
}

int CConvBaseFragment::getRange_Float(const CTagname& a_objTag, float& a_fMin, float& a_fMax,
                                      typAttributes* a_plstAttributes) const
{
    return readTool(XmlConverterTools::getRange_Float, a_objTag, a_fMin, a_fMax, a_plstAttributes);
}

int CConvBaseFragment::getRange_Long(const CTagname& a_objTag, int& a_iMin, int& a_iMax,
                                     typAttributes* a_plstAttributes) const
{
    return readTool(XmlConverterTools::getRange_Long, a_objTag, a_iMin, a_iMax, a_plstAttributes);
}

int CConvBaseFragment::getRange_ULong(const CTagname& a_objTag, unsigned int& a_uiMin, unsigned int& a_uiMax,
                                      typAttributes* a_plstAttributes) const
{
    return readTool(XmlConverterTools::getRange_ULong, a_objTag, a_uiMin, a_uiMax, a_plstAttributes);
}

int CConvBaseFragment::getRange_ULongLong(const CTagname& a_objTag, unsigned long long& a_ullMin,
                                          unsigned long long& a_ullMax, typAttributes& a_lstAttributes) const
{
    return readTool<unsigned long long&, unsigned long long&, typAttributes&>(
        XmlConverterTools::getRange_ULongLong, a_objTag, a_ullMin, a_ullMax, a_lstAttributes);
}

int CConvBaseFragment::getRange_ULongLong(const CTagname& a_objTag, unsigned long long& a_ullMin,
                                          unsigned long long& a_ullMax, QString* a_pstrUnit) const
{
    return readTool<unsigned long long&, unsigned long long&, QString*>(XmlConverterTools::getRange_ULongLong, a_objTag,
                                                                        a_ullMin, a_ullMax, a_pstrUnit);
}

int CConvBaseFragment::getEnumValue(const CTagname& a_objTag, int& a_iValue, const QMap<int, QString>& a_mapTexts,
                                    typAttributes* a_plstAttributes) const
{
    return readTool(XmlConverterTools::getEnumValue, a_objTag, a_iValue, a_mapTexts, a_plstAttributes);
}

int CConvBaseFragment::setBool(const CTagname& a_objTag, bool a_bValue, struATTRIBUTE a_objAttribute)
{
    return writeTool(XmlConverterTools::setBool, a_objTag, a_bValue, a_objAttribute, s_bInPlace);
}

int CConvBaseFragment::setDouble(const CTagname& a_objTag, double a_dValue, const QString& a_strUnit,
                                 struATTRIBUTE a_objAttribute)
{
    return writeTool(XmlConverterTools::setDouble, a_objTag, a_dValue, a_strUnit, a_objAttribute, s_bInPlace);
}

int CConvBaseFragment::setFloat(const CTagname& a_objTag, float a_fValue, const QString& a_strUnit,
                                struATTRIBUTE a_objAttribute)
{
    return writeTool(XmlConverterTools::setFloat, a_objTag, a_fValue, a_strUnit, a_objAttribute, s_bInPlace, 6);
}

int CConvBaseFragment::setFloat(const CTagname& a_objTag, float a_fValue, int a_iPrecision, const QString& a_strUnit,
                                struATTRIBUTE a_objAttribute)
{
    return writeTool(XmlConverterTools::setFloat, a_objTag, a_fValue, a_strUnit, a_objAttribute, s_bInPlace,
                     a_iPrecision);
}

int CConvBaseFragment::setLong(const CTagname& a_objTag, int a_iValue, const QString& a_strUnit,
                               struATTRIBUTE a_objAttribute)
{
    return writeTool(XmlConverterTools::setLong, a_objTag, a_iValue, a_strUnit, a_objAttribute, s_bInPlace);
}

int CConvBaseFragment::setULong(const CTagname& a_objTag, unsigned int a_uiValue, const QString& a_strUnit,
                                struATTRIBUTE a_objAttribute)
{
    return writeTool(XmlConverterTools::setULong, a_objTag, a_uiValue, a_strUnit, a_objAttribute, s_bInPlace);
}

int CConvBaseFragment::setUShort(const CTagname& a_objTag, unsigned short a_usValue, const QString& a_strUnit,
                                 struATTRIBUTE a_objAttribute)
{
    return writeTool(XmlConverterTools::setUShort, a_objTag, a_usValue, a_strUnit, a_objAttribute, s_bInPlace);
}

int CConvBaseFragment::setULongLong(const CTagname& a_objTag, unsigned long long a_ullValue, const QString& a_strUnit,
                                    struATTRIBUTE a_objAttribute)
{
    return writeTool(XmlConverterTools::setULongLong, a_objTag, a_ullValue, a_strUnit, a_objAttribute, s_bInPlace);
}

int CConvBaseFragment::setTime(const CTagname& a_objTag, unsigned long long a_ullMicroseconds,
                               struATTRIBUTE a_objAttribute)
{
    return writeTool(XmlConverterTools::setTime, a_objTag, a_ullMicroseconds, a_objAttribute, s_bInPlace);
}

int CConvBaseFragment::setText(const CTagname& a_objTag, const QString& a_strText, const QString* a_pstrFormat,
                               struATTRIBUTE a_objAttribute)
{
    return writeTool(XmlConverterTools::setText, a_objTag, a_strText, a_pstrFormat, a_objAttribute, s_bInPlace);
}

int CConvBaseFragment::setList_Bool(const CTagname& a_objTag, QList<bool> a_lstValues, struATTRIBUTE a_objAttribute)
{
    return writeTool(XmlConverterTools::setList_Bool, a_objTag, a_lstValues, a_objAttribute, s_bInPlace);
}

int CConvBaseFragment::setList_Double(const CTagname& a_objTag, QList<double> a_lstValues, const QString& a_strUnit,
                                      struATTRIBUTE a_objAttribute)
{
    return writeTool(XmlConverterTools::setList_Double, a_objTag, a_lstValues, a_strUnit, a_objAttribute, s_bInPlace);
}

int CConvBaseFragment::setList_Float(const CTagname& a_objTag, QList<float> a_lstValues, const QString& a_strUnit,
                                     struATTRIBUTE a_objAttribute)
{
    return writeTool(XmlConverterTools::setList_Float, a_objTag, a_lstValues, a_strUnit, a_objAttribute, s_bInPlace);
}

int CConvBaseFragment::setList_Long(const CTagname& a_objTag, QList<int> a_lstValues, const QString& a_strUnit,
                                    struATTRIBUTE a_objAttribute)
{
    return writeTool(XmlConverterTools::setList_Long, a_objTag, a_lstValues, a_strUnit, a_objAttribute, s_bInPlace);
}

int CConvBaseFragment::setList_ULong(const CTagname& a_objTag, const QList<unsigned int>& a_lstValues,
                                     const QString& a_strUnit, struATTRIBUTE a_objAttribute)
{
    return writeTool(XmlConverterTools::setList_ULong, a_objTag, a_lstValues, a_strUnit, a_objAttribute, s_bInPlace);
}

int CConvBaseFragment::setList_UShort(const CTagname& a_objTag, const QList<unsigned short>& a_lstValues,
                                      const QString& a_strUnit, struATTRIBUTE a_objAttribute)
{
    return writeTool(XmlConverterTools::setList_UShort, a_objTag, a_lstValues, a_strUnit, a_objAttribute, s_bInPlace);
}

int CConvBaseFragment::setList_ULongLong(const CTagname& a_objTag, QList<unsigned long long> a_lstValues,
                                         const QString& a_strUnit, struATTRIBUTE a_objAttribute)
{
    return writeTool(XmlConverterTools::setList_ULongLong, a_objTag, a_lstValues, a_strUnit, a_objAttribute,
                     s_bInPlace);
}

int CConvBaseFragment::setRange_Float(const CTagname& a_objTag, float a_fMin, float a_fMax, const QString& a_strUnit,
                                      struATTRIBUTE a_objAttribute)
{
    return writeTool(XmlConverterTools::setRange_Float, a_objTag, a_fMin, a_fMax, a_strUnit, a_objAttribute,
                     s_bInPlace);
}

int CConvBaseFragment::setRange_Long(const CTagname& a_objTag, int a_iMin, int a_iMax, const QString& a_strUnit,
                                     struATTRIBUTE a_objAttribute)
{
    return writeTool(XmlConverterTools::setRange_Long, a_objTag, a_iMin, a_iMax, a_strUnit, a_objAttribute, s_bInPlace);
}

int CConvBaseFragment::setRange_ULong(const CTagname& a_objTag, unsigned int a_uiMin, unsigned int a_uiMax,
                                      const QString& a_strUnit, struATTRIBUTE a_objAttribute)
{
    return writeTool(XmlConverterTools::setRange_ULong, a_objTag, a_uiMin, a_uiMax, a_strUnit, a_objAttribute,
                     s_bInPlace);
}

int CConvBaseFragment::setRange_ULongLong(const CTagname& a_objTag, unsigned long long a_ullMin,
                                          unsigned long long a_ullMax, const QString& a_strUnit,
                                          struATTRIBUTE a_objAttribute)
{
    return writeTool(XmlConverterTools::setRange_ULongLong, a_objTag, a_ullMin, a_ullMax, a_strUnit, a_objAttribute,
                     s_bInPlace);
}

int CConvBaseFragment::setEnumValue(const CTagname& a_objTag, int a_iValue, const QMap<int, QString>& a_mapTexts,
                                    struATTRIBUTE a_objAttribute)
{
    return writeTool(XmlConverterTools::setEnumValue, a_objTag, a_iValue, a_mapTexts, a_objAttribute, s_bInPlace);
}

}  // namespace XmlCommon

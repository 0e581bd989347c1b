#include "ConverterSupport_p.h"

#include <OrvexXmlInterface/xmlcommon/Tagnames.h>

using namespace XmlCommon;
namespace Tools = XmlCommon::XmlConverterTools;

namespace ConverterSupport
{
namespace
{
const QLatin1String s_strCDataBegin("<![CDATA[");
const QLatin1String s_strCDataEnd("]]>");
const QByteArray s_baIndex("index");
const QByteArray s_baUnit("unit");

ptrCXmlElement childOrSelf(const ptrCXmlElement& a_ptrRecord, const CTagname* a_pobjTag, bool a_bCreate)
{
    if (!a_pobjTag)
        return a_ptrRecord;
    return XmlTreeTools::findTagInTree(a_ptrRecord, *a_pobjTag, G_objCompEqual, false, a_bCreate);
}
}  // namespace

int setTexts(const ptrCXmlElement& a_ptrRecord, const CTagname& a_objTag, const QStringList& a_lstTexts)
{
    XmlTreeTools::removeTags(a_ptrRecord, a_objTag);
    for (const QString& strText : a_lstTexts) {
        if (const int iResult = Tools::setText(a_ptrRecord, a_objTag, strText, nullptr, {}, true))
            return iResult;
    }
    return RESULT_OK;
}

int getTexts(const ptrCXmlElement& a_ptrRecord, const CTagname& a_objTag, QStringList& a_lstTexts)
{
    if (!a_ptrRecord)
        return RESULT_WRONG_KIND;
    QStringList lstTexts;
    for (const ptrCXmlElement& ptrElement : XmlTreeTools::findChildren(a_ptrRecord, a_objTag))
        lstTexts.append(ptrElement->getValue());
    a_lstTexts = lstTexts;
    return RESULT_OK;
}

int setTree(const ptrCXmlElement& a_ptrRecord, const CTagname& a_objTag, const CTreeBase& a_objTree)
{
    XmlTreeTools::removeTags(a_ptrRecord, a_objTag);
    const ptrCXmlElement ptrRoot = a_objTree.getElementTree();
    if (ptrRoot && ptrRoot->hasPayload())
        return a_ptrRecord->addChild(ptrRoot, -1);
    return RESULT_OK;
}

CDataTree getTree(const ptrCXmlElement& a_ptrRecord, const CTagname& a_objTag)
{
    return a_ptrRecord ? CDataTree(XmlTreeTools::findTagInTree(a_ptrRecord, a_objTag)) : CDataTree();
}

int setFault(const ptrCXmlElement& a_ptrRecord, const CFaultTree& a_objFault)
{
    if (a_objFault.isNull())
        return RESULT_INVALID_ARG;
    XmlTreeTools::removeTags(a_ptrRecord, Tag::Fault);
    return a_ptrRecord->addChild(a_objFault.getElementTree(), -1);
}

int getFault(const ptrCXmlElement& a_ptrRecord, CFaultTree& a_objFault)
{
    if (!a_ptrRecord)
        return RESULT_WRONG_KIND;
    const ptrCXmlElement ptrFault = XmlTreeTools::findTagInTree(a_ptrRecord, Tag::Fault);
    if (!ptrFault)
        return RESULT_MISSING;
    a_objFault = CFaultTree(ptrFault);
    return RESULT_OK;
}

int setCData(const ptrCXmlElement& a_ptrRecord, const CTagname* a_pobjTag, const QByteArray& a_baData)
{
    const ptrCXmlElement ptrElement = childOrSelf(a_ptrRecord, a_pobjTag, true);
    if (!ptrElement)
        return RESULT_INVALID_ARG;
    return ptrElement->setValue(s_strCDataBegin + QString::fromUtf8(a_baData) + s_strCDataEnd);
}

int getCData(const ptrCXmlElement& a_ptrRecord, const CTagname* a_pobjTag, QByteArray& a_baData)
{
    if (!a_ptrRecord)
        return RESULT_WRONG_KIND;
    const ptrCXmlElement ptrElement = childOrSelf(a_ptrRecord, a_pobjTag, false);
    if (!ptrElement)
        return RESULT_MISSING;
    const QString& strText = ptrElement->getValue();
    const int iMarkers = s_strCDataBegin.size() + s_strCDataEnd.size();
    if (strText.size() >= iMarkers && strText.startsWith(s_strCDataBegin) && strText.endsWith(s_strCDataEnd))
        a_baData = strText.mid(s_strCDataBegin.size(), strText.size() - iMarkers).toUtf8();
    else
        a_baData = strText.toUtf8();
    return RESULT_OK;
}

int setAttribute(const ptrCXmlElement& a_ptrRecord, const QByteArray& a_baName, const QString& a_strValue)
{
    return a_ptrRecord->setAttribute(a_baName, a_strValue);
}

int getAttribute(const ptrCXmlElement& a_ptrRecord, const QByteArray& a_baName, QString& a_strValue)
{
    if (!a_ptrRecord)
        return RESULT_WRONG_KIND;
    bool bFound = false;
    const QString strValue = a_ptrRecord->getAttribute(a_baName, &bFound);
    if (!bFound)
        return RESULT_MISSING;
    a_strValue = strValue;
    return RESULT_OK;
}

int setAttribute(const ptrCXmlElement& a_ptrRecord, const QByteArray& a_baName, unsigned int a_uiValue)
{
    return a_ptrRecord->setAttribute(a_baName, Tools::valueToString(a_uiValue));
}

int getAttribute(const ptrCXmlElement& a_ptrRecord, const QByteArray& a_baName, unsigned int& a_uiValue)
{
    QString strValue;
    if (const int iResult = getAttribute(a_ptrRecord, a_baName, strValue))
        return iResult;
    bool bOk = false;
    const unsigned int uiValue = strValue.toUInt(&bOk, 10);
    if (!bOk)
        return RESULT_MALFORMED;
    a_uiValue = uiValue;
    return RESULT_OK;
}

int setEnumAttribute(const ptrCXmlElement& a_ptrElement, const QByteArray& a_baName, const QString* a_pstrText)
{
    if (!a_ptrElement || !a_pstrText)
        return RESULT_INVALID_ARG;
    return a_ptrElement->setAttribute(a_baName, *a_pstrText);
}

int autoState(const ptrCXmlElement& a_ptrRecord, const CTagname& a_objTag, bool& a_bAutomatic)
{
    if (!a_ptrRecord)
        return RESULT_WRONG_KIND;
    QString strText;
    if (const int iResult = Tools::getText(a_ptrRecord, a_objTag, strText))
        return iResult;
    a_bAutomatic = strText == QLatin1String("auto");
    return RESULT_OK;
}

int getULongAs64(const ptrCXmlElement& a_ptrRecord, const CTagname& a_objTag, unsigned int& a_uiValue)
{
    if (!a_ptrRecord)
        return RESULT_WRONG_KIND;
    unsigned long long ullValue = 0;
    if (const int iResult = Tools::getULongLong(a_ptrRecord, a_objTag, ullValue))
        return iResult;
    if (ullValue > 0xffffffffull)
        return RESULT_MALFORMED;
    a_uiValue = static_cast<unsigned int>(ullValue);
    return RESULT_OK;
}

int setIndexed(const ptrCXmlElement& a_ptrRecord, const CTagname& a_objTag, const QStringList& a_lstTexts,
               const QString& a_strUnit)
{
    XmlTreeTools::removeTags(a_ptrRecord, a_objTag);
    for (int i = 0; i < a_lstTexts.size(); ++i) {
        const ptrCXmlElement ptrItem = Tools::createElement(a_ptrRecord, a_objTag);
        if (!ptrItem)
            return RESULT_INVALID_ARG;
        ptrItem->setValue(a_lstTexts.at(i));
        ptrItem->setAttribute(s_baIndex, QString::number(i));
        if (!a_strUnit.isEmpty())
            ptrItem->setAttribute(s_baUnit, a_strUnit);
    }
    return RESULT_OK;
}

int getIndexed(const ptrCXmlElement& a_ptrRecord, const CTagname& a_objTag, QStringList& a_lstTexts)
{
    if (!a_ptrRecord)
        return RESULT_WRONG_KIND;
    // The items stand in the order of their indices, which must run from 0 without gaps; checked
    // first, so that a peer's large index cannot make the ordering reserve room for it.
    unsigned int uiCount = 0;
    if (const int iResult = XmlTreeTools::checkIndices(a_ptrRecord, a_objTag, uiCount))
        return iResult;
    QVector<ptrCXmlElement> vecItems;
    bool bComplete = false;
    if (const int iResult = XmlTreeTools::getVectorFromIndex(a_ptrRecord, a_objTag, vecItems, bComplete))
        return iResult;
    QStringList lstTexts;
    for (const ptrCXmlElement& ptrItem : qAsConst(vecItems))
        lstTexts.append(ptrItem->getValue());
    a_lstTexts = lstTexts;
    return RESULT_OK;
}

ptrCXmlElement childWith(const ptrCXmlElement& a_ptrParent, const CTagname& a_objTag, const QByteArray& a_baAttribute,
                         const QString& a_strValue, bool a_bCreate)
{
    for (const ptrCXmlElement& ptrCandidate : XmlTreeTools::findChildren(a_ptrParent, a_objTag)) {
        if (ptrCandidate->getAttribute(a_baAttribute) == a_strValue)
            return ptrCandidate;
    }
    if (!a_bCreate)
        return ptrCXmlElement();
    const ptrCXmlElement ptrChild = Tools::createElement(a_ptrParent, a_objTag);
    if (ptrChild)
        ptrChild->setAttribute(a_baAttribute, a_strValue);
    return ptrChild;
}

int setElements(const ptrCXmlElement& a_ptrRecord, const CTagname& a_objTag, const QList<ptrCXmlElement>& a_lstElements)
{
    XmlTreeTools::removeTags(a_ptrRecord, a_objTag);
    for (const ptrCXmlElement& ptrElement : a_lstElements) {
        if (!ptrElement)
            return RESULT_INVALID_ARG;
        a_ptrRecord->addChild(ptrElement, -1);
    }
    return RESULT_OK;
}

int getElements(const ptrCXmlElement& a_ptrRecord, const CTagname& a_objTag, QList<ptrCXmlElement>& a_lstElements)
{
    if (!a_ptrRecord)
        return RESULT_WRONG_KIND;
    a_lstElements = XmlTreeTools::findChildren(a_ptrRecord, a_objTag);
    return RESULT_OK;
}

int setElement(const ptrCXmlElement& a_ptrRecord, const CTagname& a_objTag, const ptrCXmlElement& a_ptrElement)
{
    return setElements(a_ptrRecord, a_objTag, {a_ptrElement});
}

int getElement(const ptrCXmlElement& a_ptrRecord, const CTagname& a_objTag, ptrCXmlElement& a_ptrElement)
{
    if (!a_ptrRecord)
        return RESULT_WRONG_KIND;
    const ptrCXmlElement ptrElement = XmlTreeTools::findTagInTree(a_ptrRecord, a_objTag);
    if (!ptrElement)
        return RESULT_MISSING;
    a_ptrElement = ptrElement;
    return RESULT_OK;
}

int addElement(const ptrCXmlElement& a_ptrRecord, const ptrCXmlElement& a_ptrElement)
{
    if (!a_ptrElement)
        return RESULT_INVALID_ARG;
    return a_ptrRecord->addChild(a_ptrElement->copy(true), -1);
}

int getElementAt(const ptrCXmlElement& a_ptrRecord, const CTagname& a_objTag, unsigned int a_uiIndex,
                 ptrCXmlElement& a_ptrElement)
{
    if (!a_ptrRecord)
        return RESULT_WRONG_KIND;
    const QList<ptrCXmlElement> lstElements = XmlTreeTools::findChildren(a_ptrRecord, a_objTag);
    if (a_uiIndex >= static_cast<unsigned int>(lstElements.size()))
        return RESULT_MISSING;
    a_ptrElement = lstElements.at(int(a_uiIndex));
    return RESULT_OK;
}

unsigned int countElements(const ptrCXmlElement& a_ptrRecord, const CTagname& a_objTag)
{
    return a_ptrRecord ? static_cast<unsigned int>(XmlTreeTools::findChildren(a_ptrRecord, a_objTag).size()) : 0u;
}

int setConverterData(const ptrCXmlElement& a_ptrRecord, const CTagname& a_objTag,
                     const CConvBaseFragment& a_objConverter)
{
    const ptrCXmlElement ptrData = a_objConverter.getFragment().getDataTree().getElementTree();
    if (!ptrData || ptrData->tagname() != a_objTag)
        return RESULT_INVALID_ARG;
    return setElement(a_ptrRecord, a_objTag, ptrData);
}

int getConverterData(const ptrCXmlElement& a_ptrRecord, const CTagname& a_objTag, const CTagname& a_objComponent,
                     CConvBaseFragment& a_objConverter)
{
    ptrCXmlElement ptrData;
    if (const int iResult = getElement(a_ptrRecord, a_objTag, ptrData))
        return iResult;
    const ptrCXmlElement ptrComponent(new CXmlElement(a_objComponent));
    ptrComponent->addChild(ptrData, -1);
    a_objConverter.setTree(ptrComponent);
    return RESULT_OK;
}

void shapeRecord(CTreeBase& a_objView, const CTagname& a_objName)
{
    const ptrCXmlElement ptrBound = a_objView.getElementTree();
    if (ptrBound)
        ptrBound->setTagname(a_objName);
    else
        a_objView.setElementTree(ptrCXmlElement(new CXmlElement(a_objName)));
}

bool hasAttribute(const ptrCXmlElement& a_ptrElement, const QByteArray& a_baName, const char* a_pszValue)
{
    bool bFound = false;
    const QString strValue = a_ptrElement->getAttribute(a_baName, &bFound);
    return bFound && (!a_pszValue || strValue == QLatin1String(a_pszValue));
}

bool hasAttribute(const ptrCXmlElement& a_ptrElement, const QByteArray& a_baName, const QString& a_strValue)
{
    bool bFound = false;
    const QString strValue = a_ptrElement->getAttribute(a_baName, &bFound);
    return bFound && strValue == a_strValue;
}
}  // namespace ConverterSupport

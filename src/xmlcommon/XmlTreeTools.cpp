#include "XmlTreeTools.h"
#include "XmlTreeTools_p.h"

#include "ResultCodes.h"
#include "Tagnames.h"

#include <algorithm>
#include <utility>
#include <vector>

namespace XmlCommon
{
namespace
{
const QByteArray s_baIndex("index");

// Lists in messages are short; a larger index is a hostile or broken peer, not a list to
// allocate room for.
const unsigned int s_uiMaxListIndex = 1048575;

// The index of an element of an indexed list, or the result code that says why there is none.
int readIndex(const CXmlElement& a_objElement, unsigned int& a_uiIndex)
{
    const QString strIndex = a_objElement.getAttribute(s_baIndex);
    if (strIndex.isEmpty())
        return RESULT_INDEX_MISSING;
    bool bOk = false;
    a_uiIndex = strIndex.toUInt(&bOk, 10);
    return bOk && a_uiIndex <= s_uiMaxListIndex ? RESULT_OK : RESULT_INDEX_NOT_NUMBER;
}

bool sameAttributes(const CXmlElement& a_objA, const CXmlElement& a_objB, bool a_bSameCount)
{
    if (a_bSameCount && a_objA.getNumberOfAttributes() != a_objB.getNumberOfAttributes())
        return false;
    for (const QSharedPointer<struATTRIBUTE>& ptrAttr : a_objA.attributes()) {
        bool bFound = false;
        if (a_objB.getAttribute(ptrAttr->baName, &bFound) != ptrAttr->strValue || !bFound)
            return false;
    }
    return true;
}

QString oneLine(const CXmlElement& a_objElement, bool a_bRecursive)
{
    return a_objElement.toString(QString(), a_bRecursive, true, false, false, true, nullptr, nullptr, true);
}

void appendOrTake(ptrCXmlElement& a_ptrResult, const ptrCXmlElement& a_ptrElement)
{
    if (a_ptrResult)
        a_ptrResult->addChild(a_ptrElement, -1);
    else
        a_ptrResult = a_ptrElement;
}

void removeFiltered(const ptrCXmlElement& a_ptrFilter, const ptrCXmlElement& a_ptrElement)
{
    if (a_ptrFilter->tagname() != a_ptrElement->tagname())
        return;
    if (XmlTreeTools::findTagInTree(a_ptrFilter, Tag::All)) {
        a_ptrElement->removeAllChildren();
        return;
    }
    const QList<ptrCXmlElement> lstChildren = a_ptrElement->children();
    for (const ptrCXmlElement& ptrChild : lstChildren) {
        const ptrCXmlElement ptrFilterChild = XmlTreeTools::findTagInTree(a_ptrFilter, ptrChild->tagname());
        if (!ptrFilterChild)
            continue;
        removeFiltered(ptrFilterChild, ptrChild);
        if (ptrChild->getNumberOfChildren() == 0)
            a_ptrElement->removeChild(ptrChild);
    }
}
}  // namespace

compare_op::~compare_op() = default;

bool compare_equal::operator()(const CTagname& a_objLeft, const CTagname& a_objRight) const
{
    return a_objLeft == a_objRight;
}

bool compare_not_equal::operator()(const CTagname& a_objLeft, const CTagname& a_objRight) const
{
    return a_objLeft != a_objRight;
}

const compare_equal G_objCompEqual;
const compare_not_equal G_objCompNotEqual;

namespace XmlTreeTools
{
ptrCXmlElement findTagInTree(ptrCXmlElement a_ptrRoot, const CTagname& a_objName, const compare_op& a_objOp,
                             bool a_bRecursive, bool a_bCreate)
{
    if (!a_ptrRoot || a_objName.name().isEmpty())
        return ptrCXmlElement();
    // Depth first in document order, with a stack of its own: a caller's tree may be deeper
    // than the call stack allows.
    std::vector<std::pair<const CXmlElement*, int>> vecStack{{a_ptrRoot.data(), 0}};
    while (!vecStack.empty()) {
        auto& [pElement, iNext] = vecStack.back();
        if (iNext == pElement->getNumberOfChildren()) {
            vecStack.pop_back();
            continue;
        }
        const ptrCXmlElement& ptrChild = pElement->children().at(iNext++);
        if (a_objOp(ptrChild->tagname(), a_objName))
            return ptrChild;
        if (a_bRecursive && ptrChild->getNumberOfChildren() > 0)
            vecStack.emplace_back(ptrChild.data(), 0);
    }
    if (!a_bCreate)
        return ptrCXmlElement();
    ptrCXmlElement ptrNew(new CXmlElement(a_objName));
    a_ptrRoot->addChild(ptrNew, -1);
    return ptrNew;
}

QList<ptrCXmlElement> findChildren(ptrCXmlElement a_ptrRoot, const CTagname& a_objName)
{
    QList<ptrCXmlElement> lstFound;
    if (!a_ptrRoot || a_objName.name().isEmpty())
        return lstFound;
    for (const ptrCXmlElement& ptrChild : a_ptrRoot->children()) {
        if (ptrChild->tagname() == a_objName)
            lstFound.append(ptrChild);
    }
    return lstFound;
}

ptrCXmlElement getIndex(ptrCXmlElement a_ptrRoot, const CTagname& a_objName, unsigned int a_uiIndex)
{
    for (const ptrCXmlElement& ptrChild : findChildren(a_ptrRoot, a_objName)) {
        bool bOk = false;
        if (ptrChild->getAttribute(s_baIndex).toUInt(&bOk, 10) == a_uiIndex && bOk)
            return ptrChild;
    }
    return ptrCXmlElement();
}

void removeTags(ptrCXmlElement a_ptrRoot, const CTagname& a_objName, const compare_op& a_objOp)
{
    while (ptrCXmlElement ptrMatch = findTagInTree(a_ptrRoot, a_objName, a_objOp, false, false))
        a_ptrRoot->removeChild(ptrMatch);
}

int checkIndices(ptrCXmlElement a_ptrRoot, const CTagname& a_objName, unsigned int& a_uiCount)
{
    QVector<unsigned int> vecIndices;
    for (const ptrCXmlElement& ptrChild : findChildren(a_ptrRoot, a_objName)) {
        unsigned int uiIndex = 0;
        if (const int iResult = readIndex(*ptrChild, uiIndex))
            return iResult;
        vecIndices.append(uiIndex);
    }
    std::sort(vecIndices.begin(), vecIndices.end());
    for (int i = 0; i < vecIndices.size(); ++i) {
        if (vecIndices.at(i) < unsigned(i))
            return RESULT_INDEX_DUPLICATE;
        if (vecIndices.at(i) > unsigned(i))
            return RESULT_INDEX_GAP;
    }
    a_uiCount = unsigned(vecIndices.size());
    return RESULT_OK;
}

int getVectorFromIndex(ptrCXmlElement a_ptrRoot, const CTagname& a_objName, QVector<ptrCXmlElement>& a_vecElements,
                       bool& a_bComplete)
{
    a_bComplete = false;
    QVector<ptrCXmlElement> vecPlaced;
    for (const ptrCXmlElement& ptrChild : findChildren(a_ptrRoot, a_objName)) {
        unsigned int uiIndex = 0;
        if (const int iResult = readIndex(*ptrChild, uiIndex))
            return iResult;
        if (uiIndex >= unsigned(vecPlaced.size()))
            vecPlaced.resize(int(uiIndex) + 1);
        if (vecPlaced.at(int(uiIndex)))
            return RESULT_INDEX_DUPLICATE;
        vecPlaced[int(uiIndex)] = ptrChild;
    }
    a_bComplete = std::all_of(vecPlaced.cbegin(), vecPlaced.cend(), [](const ptrCXmlElement& p) { return bool(p); });
    a_vecElements = vecPlaced;
    return RESULT_OK;
}

bool compareElements(ptrCXmlElement a_ptrA, ptrCXmlElement a_ptrB, bool a_bValues, bool a_bAttributes)
{
    if (!a_ptrA || !a_ptrB)
        return false;
    if (a_ptrA == a_ptrB)
        return true;
    if (a_ptrA->tagname() != a_ptrB->tagname())
        return false;
    if (a_bValues && a_bAttributes)
        return oneLine(*a_ptrA, false) == oneLine(*a_ptrB, false);
    if (a_bAttributes)
        return sameAttributes(*a_ptrA, *a_ptrB, true);
    if (a_bValues)
        return a_ptrA->getValue() == a_ptrB->getValue();
    return true;
}

bool compareTrees(ptrCXmlElement a_ptrA, ptrCXmlElement a_ptrB, bool a_bValues, bool a_bAttributes)
{
    if (!a_ptrA || !a_ptrB)
        return false;
    if (a_ptrA == a_ptrB)
        return true;
    if (a_ptrA->getNumberOfChildren() != a_ptrB->getNumberOfChildren())
        return false;
    if (a_bValues && a_bAttributes)
        return oneLine(*a_ptrA, true) == oneLine(*a_ptrB, true);
    if (!compareElements(a_ptrA, a_ptrB, a_bValues, a_bAttributes))
        return false;
    for (const ptrCXmlElement& ptrChildA : a_ptrA->children()) {
        const QList<ptrCXmlElement>& lstB = a_ptrB->children();
        if (std::none_of(lstB.cbegin(), lstB.cend(), [&](const ptrCXmlElement& ptrChildB) {
                return compareTrees(ptrChildA, ptrChildB, a_bValues, a_bAttributes);
            }))
            return false;
    }
    return true;
}

bool isTree1_partof_Tree2(ptrCXmlElement a_ptrA, ptrCXmlElement a_ptrB, bool a_bValues, bool a_bAttributes)
{
    if (!a_ptrA || !a_ptrB)
        return false;
    if (a_ptrA == a_ptrB)
        return true;
    if (!compareElements(a_ptrA, a_ptrB, a_bValues, a_bAttributes))
        return false;
    for (const ptrCXmlElement& ptrChildA : a_ptrA->children()) {
        const QList<ptrCXmlElement>& lstB = a_ptrB->children();
        if (std::none_of(lstB.cbegin(), lstB.cend(), [&](const ptrCXmlElement& ptrChildB) {
                return isTree1_partof_Tree2(ptrChildA, ptrChildB, a_bValues, a_bAttributes);
            }))
            return false;
    }
    return true;
}

bool compareFragments(CMsgFragment a_objA, CMsgFragment a_objB)
{
    if (a_objA.isNull() || a_objB.isNull())
        return false;
    const CDataTree objDataA = a_objA.getDataTree();
    const CDataTree objDataB = a_objB.getDataTree();
    return compareElements(a_objA.getElementTree(), a_objB.getElementTree(), false, true) && !objDataA.isNull() &&
           !objDataB.isNull() && compareElements(objDataA.getElementTree(), objDataB.getElementTree(), false, true);
}

bool checkCompatibility(CMsgFragment a_objA, CMsgFragment a_objB)
{
    if (a_objA.isNull() || a_objB.isNull())
        return false;
    const ptrCXmlElement ptrRootA = a_objA.getElementTree();
    const ptrCXmlElement ptrRootB = a_objB.getElementTree();
    if (ptrRootA->tagname() != ptrRootB->tagname() || !sameAttributes(*ptrRootA, *ptrRootB, false))
        return false;
    const ptrCXmlElement ptrDataA = a_objA.getDataTree().getElementTree();
    const ptrCXmlElement ptrDataB = a_objB.getDataTree().getElementTree();
    return ptrDataA && ptrDataB && ptrDataA->tagname() == ptrDataB->tagname() &&
           sameAttributes(*ptrDataA, *ptrDataB, false);
}

bool copyChildren(ptrCXmlElement a_ptrDest, ptrCXmlElement a_ptrSrc, eTRANSFER_MODE a_eMode, bool a_bOnlyWithPayload)
{
    if (!a_ptrDest || !a_ptrSrc || a_ptrDest == a_ptrSrc)
        return false;
    const QList<ptrCXmlElement> lstChildren = a_ptrSrc->children();
    for (const ptrCXmlElement& ptrChild : lstChildren) {
        if (a_eMode == TRANSFER_REPLACE)
            removeTags(a_ptrDest, ptrChild->tagname());
        if (!a_bOnlyWithPayload || ptrChild->hasPayload())
            a_ptrDest->addChild(ptrChild, -1);
    }
    return true;
}

bool moveChildren(ptrCXmlElement a_ptrDest, ptrCXmlElement a_ptrSrc, eTRANSFER_MODE a_eMode)
{
    const bool bCopied = copyChildren(a_ptrDest, a_ptrSrc, a_eMode, false);
    if (bCopied)
        a_ptrSrc->removeAllChildren();
    return bCopied;
}

void mergeTrees(ptrCXmlElement& a_ptrDest, ptrCXmlElement a_ptrSrc, QString a_strIndent)
{
    if (!a_ptrSrc || a_ptrDest == a_ptrSrc)
        return;
    if (!a_ptrDest) {
        a_ptrDest = a_ptrSrc->copy(true);
        return;
    }
    if (a_ptrDest->tagname() != a_ptrSrc->tagname())
        return;
    const bool bDestBranch = a_ptrDest->getNumberOfChildren() > 0;
    const bool bSrcBranch = a_ptrSrc->getNumberOfChildren() > 0;
    if ((bDestBranch && !a_ptrSrc->getValue().isEmpty()) || (bSrcBranch && !a_ptrDest->getValue().isEmpty()))
        return;  // a leaf and a branch are not merged
    if (!a_ptrDest->hasPayload()) {
        for (const QSharedPointer<struATTRIBUTE>& ptrAttr : a_ptrSrc->attributes())
            a_ptrDest->setAttribute(ptrAttr->baName, ptrAttr->strValue);
    }
    const QString strChildIndent = a_strIndent + QLatin1String("  ");
    for (const ptrCXmlElement& ptrSrcChild : a_ptrSrc->children()) {
        ptrCXmlElement ptrDestChild = findTagInTree(a_ptrDest, ptrSrcChild->tagname());
        if (ptrDestChild)
            mergeTrees(ptrDestChild, ptrSrcChild, strChildIndent);
        else
            a_ptrDest->addChild(ptrSrcChild->copy(true), -1);
    }
}

void removeValues(ptrCXmlElement a_ptrRoot)
{
    if (!a_ptrRoot)
        return;
    a_ptrRoot->setValue(QString());
    for (const ptrCXmlElement& ptrChild : a_ptrRoot->children())
        removeValues(ptrChild);
}

bool removeEmptyElements(ptrCXmlElement a_ptrRoot)
{
    if (!a_ptrRoot)
        return false;
    const QList<ptrCXmlElement> lstChildren = a_ptrRoot->children();
    for (const ptrCXmlElement& ptrChild : lstChildren) {
        if (removeEmptyElements(ptrChild))
            a_ptrRoot->removeChild(ptrChild);
    }
    return !a_ptrRoot->hasPayload();
}

int removeRequestTrees(ptrCXmlElement a_ptrSrc, ptrCXmlElement& a_ptrDest)
{
    if (!a_ptrSrc || a_ptrSrc == a_ptrDest || a_ptrSrc->tagname() == Tag::Request)
        return RESULT_INVALID_ARG;
    ptrCXmlElement ptrCopy = a_ptrSrc->copy(false);
    appendOrTake(a_ptrDest, ptrCopy);
    for (const ptrCXmlElement& ptrChild : a_ptrSrc->children()) {
        if (ptrChild->tagname() != Tag::Request)
            removeRequestTrees(ptrChild, ptrCopy);
    }
    return RESULT_OK;
}

namespace
{
// a_bShare: what the filter passes whole (below an "All") is shared, not copied.
int filterInto(const ptrCXmlElement& a_ptrFilter, const ptrCXmlElement& a_ptrData, ptrCXmlElement& a_ptrResult,
               bool a_bShare)
{
    if (!a_ptrFilter || !a_ptrData)
        return RESULT_INVALID_ARG;
    if (a_ptrFilter == a_ptrData) {
        appendOrTake(a_ptrResult, a_bShare ? a_ptrData : a_ptrData->copy(true));
        return RESULT_OK;
    }
    const bool bFilterAll = a_ptrFilter->tagname() == Tag::All;
    if (bFilterAll && a_bShare) {
        appendOrTake(a_ptrResult, a_ptrData);
        return RESULT_OK;
    }
    if (!bFilterAll && a_ptrFilter->tagname() != a_ptrData->tagname())
        return RESULT_MISSING;
    ptrCXmlElement ptrCopy = a_ptrData->copy(false);
    for (const ptrCXmlElement& ptrChild : a_ptrData->children()) {
        ptrCXmlElement ptrFilterChild = a_ptrFilter;
        if (!bFilterAll) {
            ptrFilterChild = findTagInTree(a_ptrFilter, ptrChild->tagname());
            if (!ptrFilterChild)
                ptrFilterChild = findTagInTree(a_ptrFilter, Tag::All);
        }
        if (ptrFilterChild)
            filterInto(ptrFilterChild, ptrChild, ptrCopy, a_bShare);
    }
    if (a_ptrData->getNumberOfChildren() == 0 || ptrCopy->getNumberOfChildren() > 0)
        appendOrTake(a_ptrResult, ptrCopy);
    return RESULT_OK;
}
}  // namespace

int applyFilter(ptrCXmlElement a_ptrFilter, ptrCXmlElement a_ptrData, ptrCXmlElement& a_ptrResult)
{
    return filterInto(a_ptrFilter, a_ptrData, a_ptrResult, false);
}

int applyFilterSharing(const ptrCXmlElement& a_ptrFilter, const ptrCXmlElement& a_ptrData, ptrCXmlElement& a_ptrResult)
{
    return filterInto(a_ptrFilter, a_ptrData, a_ptrResult, true);
}

int applyNegativeFilter(ptrCXmlElement a_ptrFilter, ptrCXmlElement a_ptrData, ptrCXmlElement& a_ptrResult)
{
    if (!a_ptrFilter || !a_ptrData)
        return RESULT_INVALID_ARG;
    if (!a_ptrResult)
        a_ptrResult = a_ptrData->copy(true);
    removeFiltered(a_ptrFilter, a_ptrResult);
    if (a_ptrResult->getNumberOfChildren() == 0)
        a_ptrResult.reset();
    return RESULT_OK;
}
}  // namespace XmlTreeTools
}  // namespace XmlCommon

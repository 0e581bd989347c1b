#pragma once

#include <OrvexXmlInterface/OxiExport.h>
#include <OrvexXmlInterface/xmlcommon/CMsgFragment.h>
#include <OrvexXmlInterface/xmlcommon/CXmlElement.h>

#include <QtCore/QList>
#include <QtCore/QVector>

namespace XmlCommon
{
// Name comparisons passed to the searches.
class OXI_EXPORT compare_op
{
public:
    virtual ~compare_op();
    virtual bool operator()(const CTagname& a_objLeft, const CTagname& a_objRight) const = 0;
};

class OXI_EXPORT compare_equal : public compare_op
{
public:
    bool operator()(const CTagname& a_objLeft, const CTagname& a_objRight) const override;
};

class OXI_EXPORT compare_not_equal : public compare_op
{
public:
    bool operator()(const CTagname& a_objLeft, const CTagname& a_objRight) const override;
};

extern OXI_EXPORT const compare_equal G_objCompEqual;
extern OXI_EXPORT const compare_not_equal G_objCompNotEqual;

// Stateless functions over element trees. Nodes are shared unless a copy is named. The
// recursive ones go as deep as the tree: trees from peers are bounded by the parser's depth limit.
namespace XmlTreeTools
{
enum eTRANSFER_MODE : int
{
    TRANSFER_APPEND = 0,
    TRANSFER_REPLACE = 1,  // children of the same name in the destination are replaced
};

// Searches look at the children of a_ptrRoot, never at a_ptrRoot itself.
OXI_EXPORT ptrCXmlElement findTagInTree(ptrCXmlElement a_ptrRoot, const CTagname& a_objName,
                                        const compare_op& a_objOp = G_objCompEqual, bool a_bRecursive = false,
                                        bool a_bCreate = false);
OXI_EXPORT QList<ptrCXmlElement> findChildren(ptrCXmlElement a_ptrRoot, const CTagname& a_objName);
OXI_EXPORT ptrCXmlElement getIndex(ptrCXmlElement a_ptrRoot, const CTagname& a_objName, unsigned int a_uiIndex);
OXI_EXPORT void removeTags(ptrCXmlElement a_ptrRoot, const CTagname& a_objName,
                           const compare_op& a_objOp = G_objCompEqual);

// Lists stored as sibling elements numbered by an "index" attribute.
OXI_EXPORT int checkIndices(ptrCXmlElement a_ptrRoot, const CTagname& a_objName, unsigned int& a_uiCount);
OXI_EXPORT int getVectorFromIndex(ptrCXmlElement a_ptrRoot, const CTagname& a_objName,
                                  QVector<ptrCXmlElement>& a_vecElements, bool& a_bComplete);

OXI_EXPORT bool compareElements(ptrCXmlElement a_ptrA, ptrCXmlElement a_ptrB, bool a_bValues, bool a_bAttributes);
OXI_EXPORT bool compareTrees(ptrCXmlElement a_ptrA, ptrCXmlElement a_ptrB, bool a_bValues, bool a_bAttributes);
OXI_EXPORT bool isTree1_partof_Tree2(ptrCXmlElement a_ptrA, ptrCXmlElement a_ptrB, bool a_bValues, bool a_bAttributes);
OXI_EXPORT bool compareFragments(CMsgFragment a_objA, CMsgFragment a_objB);
// Not symmetric: a_objB may carry more attributes than a_objA.
OXI_EXPORT bool checkCompatibility(CMsgFragment a_objA, CMsgFragment a_objB);

OXI_EXPORT bool copyChildren(ptrCXmlElement a_ptrDest, ptrCXmlElement a_ptrSrc, eTRANSFER_MODE a_eMode,
                             bool a_bOnlyWithPayload);
OXI_EXPORT bool moveChildren(ptrCXmlElement a_ptrDest, ptrCXmlElement a_ptrSrc, eTRANSFER_MODE a_eMode);
OXI_EXPORT void mergeTrees(ptrCXmlElement& a_ptrDest, ptrCXmlElement a_ptrSrc, QString a_strIndent = QString());

OXI_EXPORT void removeValues(ptrCXmlElement a_ptrRoot);
// Removes empty descendants; true when the root itself is then empty (the caller removes it).
OXI_EXPORT bool removeEmptyElements(ptrCXmlElement a_ptrRoot);
OXI_EXPORT int removeRequestTrees(ptrCXmlElement a_ptrSrc, ptrCXmlElement& a_ptrDest);

// A filter is a tree of element names in which "All" stands for any name.
OXI_EXPORT int applyFilter(ptrCXmlElement a_ptrFilter, ptrCXmlElement a_ptrData, ptrCXmlElement& a_ptrResult);
OXI_EXPORT int applyNegativeFilter(ptrCXmlElement a_ptrFilter, ptrCXmlElement a_ptrData, ptrCXmlElement& a_ptrResult);
}  // namespace XmlTreeTools
}  // namespace XmlCommon

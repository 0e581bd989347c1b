#include "CTreeBase.h"

#include "ResultCodes.h"
#include "Tagnames.h"

namespace XmlCommon
{
CTreeBase::~CTreeBase() = default;

ptrCXmlElement CTreeBase::getElementTree() const
{
    return m_ptrRoot;
}

int CTreeBase::setElementTree(ptrCXmlElement a_ptrRoot)
{
    m_ptrRoot = std::move(a_ptrRoot);
    return RESULT_OK;
}

bool CTreeBase::isNull() const
{
    return !m_ptrRoot;
}

bool CTreeBase::hasChildren() const
{
    return m_ptrRoot && m_ptrRoot->getNumberOfChildren() > 0;
}

CXmlElement& CTreeBase::ensureRoot(const CTagname& a_objName)
{
    if (!m_ptrRoot)
        m_ptrRoot = ptrCXmlElement(new CXmlElement(a_objName));
    return *m_ptrRoot;
}

void CTreeBase::setRootName(const CTagname& a_objName)
{
    ensureRoot(a_objName).setTagname(a_objName);
}

CTagname CTreeBase::rootName() const
{
    return m_ptrRoot ? m_ptrRoot->getTagname() : CTagname(static_cast<const char*>(nullptr));
}

int CTreeBase::renameRoot(const CTagname& a_objName)
{
    if (a_objName.name().isEmpty())
        return RESULT_INVALID_ARG;
    setRootName(a_objName);
    return RESULT_OK;
}

CDataTree::~CDataTree() = default;

CTagname CDataTree::getDataName() const
{
    return rootName();
}

int CDataTree::setDataName(const CTagname& a_objName)
{
    return renameRoot(a_objName);
}

CRequestTree::~CRequestTree() = default;

CDataTree CRequestTree::getDataTree() const
{
    return CDataTree(m_ptrRoot ? m_ptrRoot->getChildAt(0) : ptrCXmlElement());
}

int CRequestTree::setDataTree(CDataTree a_objData)
{
    if (m_ptrRoot && m_ptrRoot->getNumberOfChildren() > 0)
        m_ptrRoot->removeChild(m_ptrRoot->getChildAt(0));
    if (!a_objData.isNull())
        ensureRoot(Tag::Request).addChild(a_objData.getElementTree(), -1);
    return RESULT_OK;
}
}  // namespace XmlCommon

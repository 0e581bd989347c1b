#pragma once

#include <OrvexXmlInterface/OxiExport.h>
#include <OrvexXmlInterface/xmlcommon/CXmlElement.h>

namespace XmlCommon
{
// A copyable handle on an element tree; copies share the tree.
class OXI_EXPORT CTreeBase
{
public:
    CTreeBase() = default;
    explicit CTreeBase(ptrCXmlElement a_ptrRoot) : m_ptrRoot(std::move(a_ptrRoot)) {}
    CTreeBase(const CTreeBase&) = default;
    CTreeBase& operator=(const CTreeBase&) = default;
    virtual ~CTreeBase();

    virtual ptrCXmlElement getElementTree() const;
    virtual int setElementTree(ptrCXmlElement a_ptrRoot);
    virtual bool isNull() const;
    virtual bool hasChildren() const;

    operator ptrCXmlElement() const { return m_ptrRoot; }

protected:
    // Creates a root of the given name when there is none.
    CXmlElement& ensureRoot(const CTagname& a_objName);
    // Renames the root, creating it when there is none.
    void setRootName(const CTagname& a_objName);
    // The root's name, or a name with empty bytes when there is no root.
    CTagname rootName() const;
    // setRootName for a name with bytes; 0x02420001 for an empty one.
    int renameRoot(const CTagname& a_objName);

    ptrCXmlElement m_ptrRoot;
};

// The payload of a fragment: its root's name is the data name.
class OXI_EXPORT CDataTree : public CTreeBase
{
public:
    CDataTree() = default;
    CDataTree(ptrCXmlElement a_ptrRoot) : CTreeBase(std::move(a_ptrRoot)) {}
    CDataTree(const CDataTree&) = default;
    CDataTree& operator=(const CDataTree&) = default;
    ~CDataTree() override;

    virtual CTagname getDataName() const;
    virtual int setDataName(const CTagname& a_objName);
};

// The request data that a reply carries back: a "Request" element whose first child is the data tree.
class OXI_EXPORT CRequestTree : public CTreeBase
{
public:
    CRequestTree() = default;
    CRequestTree(ptrCXmlElement a_ptrRoot) : CTreeBase(std::move(a_ptrRoot)) {}
    CRequestTree(const CRequestTree&) = default;
    CRequestTree& operator=(const CRequestTree&) = default;
    ~CRequestTree() override;

    CDataTree getDataTree() const;
    bool hasDataTree() const { return !getDataTree().isNull(); }
    int setDataTree(CDataTree a_objData);
};

}  // namespace XmlCommon

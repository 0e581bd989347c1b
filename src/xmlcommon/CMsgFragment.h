#pragma once

#include <OrvexXmlInterface/OxiExport.h>
#include <OrvexXmlInterface/xmlcommon/CFaultTree.h>
#include <OrvexXmlInterface/xmlcommon/CTreeBase.h>

namespace XmlCommon
{
// The part of a message addressed to one component: an element named after the component with
// at most a data tree, a fault tree ("Fault") and a request tree ("Request") below it.
class OXI_EXPORT CMsgFragment : public CTreeBase
{
public:
    CMsgFragment() = default;
    CMsgFragment(ptrCXmlElement a_ptrRoot) : CTreeBase(std::move(a_ptrRoot)) {}
    CMsgFragment(const CMsgFragment&) = default;
    CMsgFragment& operator=(const CMsgFragment&) = default;
    ~CMsgFragment() override;

    CTagname getComponentName() const;
    int setComponentName(const CTagname& a_objName);
    QString getComponentVersion() const;
    int setComponentVersion(const QString& a_strVersion);

    // The last child that is neither "Fault" nor "Request".
    CDataTree getDataTree() const;
    bool hasDataTree() const { return !getDataTree().isNull(); }
    CFaultTree getFaultTree() const;
    bool hasFaultTree() const { return !getFaultTree().isNull(); }
    CRequestTree getRequestTree() const;
    bool hasRequestTree() const { return !getRequestTree().isNull(); }

    // A fragment carries data or a fault, never both: each setter removes both first.
    int setDataTree(CDataTree a_objData);
    int setFaultTree(CFaultTree a_objFault);
    int setRequestTree(CRequestTree a_objRequest);

    // Puts the data under "Request" and leaves an empty element of the data name in its place.
    void moveDataTreeToRequestTree();
    // A fragment of this component whose data tree is the one carried by the request tree.
    CMsgFragment buildFragmentFromRequestTree() const;

    void copy(CMsgFragment a_objOther);
    void share(CMsgFragment a_objOther);

protected:
    void moveRequestTreeToDataTree();

private:
    void removeDataAndFault();
};
}  // namespace XmlCommon

Q_DECLARE_METATYPE(XmlCommon::CMsgFragment)

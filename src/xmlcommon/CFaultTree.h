#pragma once

#include <OrvexXmlInterface/OxiExport.h>
#include <OrvexXmlInterface/xmlcommon/CTreeBase.h>

namespace XmlCommon
{
class CMsgFragment;
class CXmlMessage;
using ptrCXmlMessage = QExplicitlySharedDataPointer<CXmlMessage>;

// What went wrong, in a reply: a "Fault" element with the fault id, a UTC time stamp in
// microseconds, numbered addenda, the data that caused it and the failed request.
class OXI_EXPORT CFaultTree : public CTreeBase
{
public:
    CFaultTree() = default;
    CFaultTree(ptrCXmlElement a_ptrRoot) : CTreeBase(std::move(a_ptrRoot)) {}
    CFaultTree(const CFaultTree&) = default;
    CFaultTree& operator=(const CFaultTree&) = default;
    ~CFaultTree() override;

    virtual bool checkCompatibility() const;
    virtual void setCompatibility();

    int setID(unsigned int a_uiId);
    int getID(unsigned int& a_uiId) const;
    int setTimestamp(unsigned long long a_ullMicroseconds);
    int getTimestamp(unsigned long long& a_ullMicroseconds) const;

    int addAddendum(const QString& a_strText);
    int getNumberOfAddendums() const;
    int getAddendumAt(unsigned int a_uiIndex, QString& a_strText) const;

    // A null tree removes the causation.
    int setCausationDataTree(CDataTree a_objData);
    CDataTree getCausationDataTree() const;
    bool hasCausationDataTree() const { return !getCausationDataTree().isNull(); }

    // The failed request as a message (created with connection id 0 when a_ptrMsg is null);
    // a_ptrMsg is left alone when the fault carries no request.
    int getRequestMessage(ptrCXmlMessage& a_ptrMsg) const;
    bool hasRequestMessage() const;
    CMsgFragment getRequestFragment() const;
};
}  // namespace XmlCommon

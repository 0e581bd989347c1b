#pragma once

#include <OrvexXmlInterface/OxiExport.h>
#include <OrvexXmlInterface/xmlcommon/CTagname.h>
#include <OrvexXmlInterface/xmlcommon/CXmlMessage.h>

#include <QtCore/QList>
#include <QtCore/QObject>

#include <mutex>

namespace XmlCommunication
{
// The filter a peer installs on the broadcasts it receives over one connection. applyFilter
// gives the element tree of an event as that peer is to receive it; when nothing but the bare
// root is left, the event is not sent.
//
// A filter accepts (only what matches passes) or suppresses (what matches is removed). A filter
// tree without an element "AdvancedFilter" is laid over the whole message by the tree tools'
// positive or negative filter; with one, the rules below "AdvancedFilter" select whole
// fragments: "component" rules by component name, "converter" rules by a fragment pattern.
// An accept filter always lets the communication layer's own fragments through.
//
// The connection installs and applies filters on its thread while other threads may read the
// filter: every operation takes the processor's lock.
class OXI_EXPORT CFilterProcessor : public QObject
{
    Q_OBJECT

public:
    explicit CFilterProcessor(unsigned int a_uiConnectionId);
    ~CFilterProcessor() override;

    void setConnectionId(unsigned int a_uiConnectionId);
    // A null tree removes the filter. The tree is copied.
    void setFilter(XmlCommon::ptrCXmlElement a_ptrFilterTree, bool a_bAccept);
    bool hasFilter() const;
    // The tree to send: a new root holding what passes (never the message's own root, except
    // for an accept-all filter, which passes the message's tree unchanged). Without a filter
    // nothing passes. Null only for a null message or one without a tree.
    XmlCommon::ptrCXmlElement applyFilter(XmlCommon::ptrCXmlMessage a_ptrMessage);
    // A copy of the stored filter tree (null when none); a_bAccept receives the filter type.
    XmlCommon::ptrCXmlElement getFilter(bool& a_bAccept) const;
    // Writes the filter into a_objFragment as a filter fragment (the answer to a peer's query).
    void getFilter(XmlCommon::CMsgFragment& a_objFragment) const;

protected:
    void reset();
    bool compareFragments(XmlCommon::CMsgFragment a_objPattern, XmlCommon::CMsgFragment a_objFragment) const;
    bool compareAttributes(XmlCommon::ptrCXmlElement a_ptrPattern, XmlCommon::ptrCXmlElement a_ptrElement) const;
    XmlCommon::ptrCXmlElement applyFilter_oldStyle_ACCEPT(XmlCommon::ptrCXmlMessage a_ptrMessage);
    XmlCommon::ptrCXmlElement applyFilter_oldStyle_SUPPRESS(XmlCommon::ptrCXmlMessage a_ptrMessage);
    XmlCommon::ptrCXmlElement applyFilter_newStyle_ACCEPT(XmlCommon::ptrCXmlMessage a_ptrMessage);
    XmlCommon::ptrCXmlElement applyFilter_newStyle_SUPPRESS(XmlCommon::ptrCXmlMessage a_ptrMessage);

private:
    Q_DISABLE_COPY(CFilterProcessor)

    void readRules(const XmlCommon::ptrCXmlElement& a_ptrAdvanced);
    void addPattern(const XmlCommon::ptrCXmlElement& a_ptrRule);
    bool matchesPattern(const XmlCommon::CMsgFragment& a_objFragment) const;
    XmlCommon::ptrCXmlElement applyNewStyle(const XmlCommon::ptrCXmlMessage& a_ptrMessage, bool a_bAccept) const;

    unsigned int m_uiConnectionId;
    bool m_bNewStyle = false;
    bool m_bAccept = true;
    bool m_bAcceptAll = false;
    QList<XmlCommon::CTagname> m_lstComponents;
    QList<XmlCommon::CMsgFragment> m_lstPatterns;
    XmlCommon::ptrCXmlElement m_ptrFilter;
    mutable std::recursive_mutex m_objMutex;
};
}  // namespace XmlCommunication

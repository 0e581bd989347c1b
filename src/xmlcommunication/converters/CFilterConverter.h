#pragma once

#include <OrvexXmlInterface/OxiExport.h>
#include <OrvexXmlInterface/xmlcommunication/converters/CLayerConverter.h>

#include <QtCore/QStringList>

namespace XmlCommunication
{
// The event filter a peer installs on what it receives: a type (accept or suppress) and
// subscription paths, chains of names below the data element each ending in "All", plus an
// "AdvancedFilter" element recording each subscription as it was made.
class OXI_EXPORT CFilterConverter : public CLayerConverter<XmlCommon::Tag::Filter>
{
public:
    enum eFILTER_TYPES : int
    {
        FILTER_ACCEPT = 0,
        FILTER_SUPPRESS = 1,
    };

    using CLayerConverter::CLayerConverter;

    // A missing type reads as accept.
    int getFilterType(eFILTER_TYPES& a_eType) const;
    int setFilterType(const eFILTER_TYPES& a_eType);
    int subscribeToComponent(const XmlCommon::CTagname& a_objComponent);
    int subscribeToComponent(const QString& a_strComponent);
    // Subscribes every path from the tree's root to a leaf; the tree is recorded, not copied.
    int subscribeToTree(XmlCommon::ptrCXmlElement a_ptrTree);
    // The paths and the advanced filter below an element "Event"; null for another message.
    XmlCommon::ptrCXmlElement getFilterTree();

protected:
    XmlCommon::ptrCXmlElement subscribeEvent(QStringList a_lstPath);
    void subscribeToConverter(XmlCommon::ptrCXmlElement a_ptrTree);
    void processTree(XmlCommon::ptrCXmlElement a_ptrElement, QStringList a_lstPath);

private:
    void recordSubscription(const XmlCommon::ptrCXmlElement& a_ptrEntry, const QString& a_strSyntax);
};
}  // namespace XmlCommunication

#include "CFilterConverter.h"

#include <OrvexXmlInterface/xmlcommon/ResultCodes.h>
#include <OrvexXmlInterface/xmlcommon/XmlTreeTools.h>

using namespace XmlCommon;

namespace XmlCommunication
{
namespace
{
const QByteArray s_baType("type");
const QByteArray s_baSyntax("syntax");
}  // namespace

int CFilterConverter::getFilterType(eFILTER_TYPES& a_eType) const
{
    return read([&](const ptrCXmlElement& a_ptrData) {
        bool bFound = false;
        const QString strType = a_ptrData->getAttribute(s_baType, &bFound);
        if (!bFound || strType == QLatin1String("accept"))
            a_eType = FILTER_ACCEPT;
        else if (strType == QLatin1String("suppress"))
            a_eType = FILTER_SUPPRESS;
        else
            return int(RESULT_MALFORMED);
        return 0;
    });
}

int CFilterConverter::setFilterType(const eFILTER_TYPES& a_eType)
{
    return write([&](const ptrCXmlElement& a_ptrData) {
        return a_ptrData->setAttribute(s_baType, a_eType != FILTER_ACCEPT ? QStringLiteral("suppress")
                                                                          : QStringLiteral("accept"));
    });
}

ptrCXmlElement CFilterConverter::subscribeEvent(QStringList a_lstPath)
{
    CDataTree objDataTree;
    setCompatibility(objDataTree);
    const ptrCXmlElement ptrData = objDataTree.getElementTree();
    bool bHasType = false;
    ptrData->getAttribute(s_baType, &bHasType);
    if (!bHasType)
        ptrData->setAttribute(s_baType, QStringLiteral("accept"));
    ptrCXmlElement ptrLevel = ptrData;
    for (const QString& strName : a_lstPath)
        ptrLevel = XmlTreeTools::findTagInTree(ptrLevel, CTagname(strName), G_objCompEqual, false, true);
    return ptrData;
}

void CFilterConverter::recordSubscription(const ptrCXmlElement& a_ptrEntry, const QString& a_strSyntax)
{
    CDataTree objDataTree;
    setCompatibility(objDataTree);
    const ptrCXmlElement ptrAdvanced =
        XmlTreeTools::findTagInTree(objDataTree.getElementTree(), Tag::AdvancedFilter, G_objCompEqual, false, true);
    a_ptrEntry->setAttribute(s_baSyntax, a_strSyntax);
    ptrAdvanced->addChild(a_ptrEntry, -1);
}

int CFilterConverter::subscribeToComponent(const CTagname& a_objComponent)
{
    if (a_objComponent.name().isEmpty())
        return RESULT_INVALID_ARG;
    subscribeEvent({a_objComponent, Tag::All});
    recordSubscription(ptrCXmlElement(new CXmlElement(a_objComponent)), QStringLiteral("component"));
    return 0;
}

int CFilterConverter::subscribeToComponent(const QString& a_strComponent)
{
    return subscribeToComponent(CTagname(a_strComponent));
}

void CFilterConverter::processTree(ptrCXmlElement a_ptrElement, QStringList a_lstPath)
{
    a_lstPath.append(a_ptrElement->tagname());
    if (a_ptrElement->getNumberOfChildren() == 0) {
        subscribeEvent(a_lstPath << Tag::All);
        return;
    }
    for (const ptrCXmlElement& ptrChild : a_ptrElement->children())
        processTree(ptrChild, a_lstPath);
}

int CFilterConverter::subscribeToTree(ptrCXmlElement a_ptrTree)
{
    if (!a_ptrTree)
        return RESULT_INVALID_ARG;
    processTree(a_ptrTree, QStringList());
    recordSubscription(a_ptrTree, QStringLiteral("tree"));
    return 0;
}

void CFilterConverter::subscribeToConverter(ptrCXmlElement a_ptrTree)
{
    if (a_ptrTree)
        recordSubscription(a_ptrTree, QStringLiteral("converter"));
}

ptrCXmlElement CFilterConverter::getFilterTree()
{
    CDataTree objDataTree;
    if (!checkCompatibility(objDataTree))
        return ptrCXmlElement();
    ptrCXmlElement ptrEvent(new CXmlElement(Tag::Event));
    for (const ptrCXmlElement& ptrChild : objDataTree.getElementTree()->children())
        ptrEvent->addChild(ptrChild, -1);
    return ptrEvent;
}
}  // namespace XmlCommunication

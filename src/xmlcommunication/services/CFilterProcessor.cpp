#include "CFilterProcessor.h"

#include "../../xmlcommon/XmlTreeTools_p.h"

#include <OrvexXmlInterface/xmlcommon/Tagnames.h>
#include <OrvexXmlInterface/xmlcommon/XmlTreeTools.h>
#include <OrvexXmlInterface/xmlcommunication/converters/CFilterConverter.h>

using namespace XmlCommon;

namespace XmlCommunication
{
namespace
{
using typLock = std::lock_guard<std::recursive_mutex>;

const QByteArray s_baSyntax("syntax");

// The message root with nothing below it: what is left when nothing passes.
ptrCXmlElement bareRoot(const ptrCXmlMessage& a_ptrMessage)
{
    return a_ptrMessage->getElementTree()->copy(false);
}

// A fault reply is judged by the request it answers, as far as its fault tree kept it.
CMsgFragment fragmentToJudge(const CMsgFragment& a_objFragment)
{
    const CFaultTree objFault = a_objFragment.getFaultTree();
    if (!objFault.isNull() && objFault.hasRequestMessage()) {
        const CMsgFragment objRequest = objFault.getRequestFragment();
        if (!objRequest.isNull())
            return objRequest;
    }
    return a_objFragment;
}
}  // namespace

CFilterProcessor::CFilterProcessor(unsigned int a_uiConnectionId) : m_uiConnectionId(a_uiConnectionId) {}

CFilterProcessor::~CFilterProcessor() = default;

void CFilterProcessor::setConnectionId(unsigned int a_uiConnectionId)
{
    typLock lock(m_objMutex);
    m_uiConnectionId = a_uiConnectionId;
}

void CFilterProcessor::reset()
{
    typLock lock(m_objMutex);
    m_ptrFilter.reset();
    m_lstComponents.clear();
    m_lstPatterns.clear();
    m_bNewStyle = false;
    m_bAcceptAll = false;
}

void CFilterProcessor::setFilter(ptrCXmlElement a_ptrFilterTree, bool a_bAccept)
{
    typLock lock(m_objMutex);
    reset();
    if (!a_ptrFilterTree)
        return;
    m_ptrFilter = a_ptrFilterTree->copy(true);
    m_bAccept = a_bAccept;
    // A tree with an "AdvancedFilter" anywhere in it is read as rules; any other tree is laid
    // over the message as it is.
    const ptrCXmlElement ptrAdvanced =
        XmlTreeTools::findTagInTree(m_ptrFilter, Tag::AdvancedFilter, G_objCompEqual, true, false);
    if (!ptrAdvanced)
        return;
    m_bNewStyle = true;
    if (m_bAccept)
        m_lstComponents.append(Tag::XmlCommunicationDevice);
    readRules(ptrAdvanced);
}

void CFilterProcessor::readRules(const ptrCXmlElement& a_ptrAdvanced)
{
    for (const ptrCXmlElement& ptrRule : a_ptrAdvanced->children()) {
        const QString strSyntax = ptrRule->getAttribute(s_baSyntax);
        if (strSyntax == QLatin1String("component")) {
            if (m_bAccept && ptrRule->tagname() == Tag::All) {
                // Everything passes; later rules cannot narrow that.
                m_lstComponents.clear();
                m_lstPatterns.clear();
                m_bAcceptAll = true;
                return;
            }
            if (!m_lstComponents.contains(ptrRule->tagname()))
                m_lstComponents.append(ptrRule->tagname());
        } else if (strSyntax == QLatin1String("converter")) {
            addPattern(ptrRule);
        }
        // Other rules ("tree" among them) select nothing here.
    }
}

void CFilterProcessor::addPattern(const ptrCXmlElement& a_ptrRule)
{
    const ptrCXmlElement ptrCopy = a_ptrRule->copy(true);
    ptrCopy->removeAttribute(s_baSyntax);
    const CMsgFragment objPattern(ptrCopy);
    for (const CMsgFragment& objKnown : qAsConst(m_lstPatterns)) {
        if (compareFragments(objKnown, objPattern))
            return;
    }
    m_lstPatterns.append(objPattern);
}

bool CFilterProcessor::hasFilter() const
{
    typLock lock(m_objMutex);
    return bool(m_ptrFilter);
}

ptrCXmlElement CFilterProcessor::getFilter(bool& a_bAccept) const
{
    typLock lock(m_objMutex);
    a_bAccept = m_bAccept;
    // A copy: the caller may change it while this connection keeps filtering with the original.
    return m_ptrFilter ? m_ptrFilter->copy(true) : ptrCXmlElement();
}

void CFilterProcessor::getFilter(CMsgFragment& a_objFragment) const
{
    CFilterConverter objConverter(a_objFragment);
    objConverter.makeFragment();
    typLock lock(m_objMutex);
    if (!m_ptrFilter)
        return;
    const ptrCXmlElement ptrData = a_objFragment.getDataTree().getElementTree();
    for (const ptrCXmlElement& ptrChild : m_ptrFilter->children())
        ptrData->addChild(ptrChild->copy(true), -1);
    objConverter.setFilterType(m_bAccept ? CFilterConverter::FILTER_ACCEPT : CFilterConverter::FILTER_SUPPRESS);
}

ptrCXmlElement CFilterProcessor::applyFilter(ptrCXmlMessage a_ptrMessage)
{
    if (!a_ptrMessage || !a_ptrMessage->getElementTree())
        return ptrCXmlElement();
    typLock lock(m_objMutex);
    if (!m_bNewStyle)
        return m_bAccept ? applyFilter_oldStyle_ACCEPT(a_ptrMessage) : applyFilter_oldStyle_SUPPRESS(a_ptrMessage);
    if (!m_bAccept)
        return applyFilter_newStyle_SUPPRESS(a_ptrMessage);
    if (m_bAcceptAll)
        return a_ptrMessage->getElementTree();
    return applyFilter_newStyle_ACCEPT(a_ptrMessage);
}

// A filter path that ends in "All" is a wildcard for everything below it: the tree tools use an
// "All" element for every name at its level and for every level beneath, so a subscription to
// [component, All] passes the component's fragments whole, whatever their data.
ptrCXmlElement CFilterProcessor::applyFilter_oldStyle_ACCEPT(ptrCXmlMessage a_ptrMessage)
{
    typLock lock(m_objMutex);
    ptrCXmlElement ptrResult;
    if (m_ptrFilter)
        XmlTreeTools::applyFilterSharing(m_ptrFilter, a_ptrMessage->getElementTree(), ptrResult);
    return ptrResult ? ptrResult : bareRoot(a_ptrMessage);
}

// Likewise here a path that ends in "All" removes everything below it.
ptrCXmlElement CFilterProcessor::applyFilter_oldStyle_SUPPRESS(ptrCXmlMessage a_ptrMessage)
{
    typLock lock(m_objMutex);
    ptrCXmlElement ptrResult;
    if (m_ptrFilter)
        XmlTreeTools::applyNegativeFilter(m_ptrFilter, a_ptrMessage->getElementTree(), ptrResult);
    return ptrResult ? ptrResult : bareRoot(a_ptrMessage);
}

ptrCXmlElement CFilterProcessor::applyFilter_newStyle_ACCEPT(ptrCXmlMessage a_ptrMessage)
{
    typLock lock(m_objMutex);
    return applyNewStyle(a_ptrMessage, true);
}

ptrCXmlElement CFilterProcessor::applyFilter_newStyle_SUPPRESS(ptrCXmlMessage a_ptrMessage)
{
    typLock lock(m_objMutex);
    return applyNewStyle(a_ptrMessage, false);
}

// Both kinds select whole fragments by the same rules; an accept filter keeps what a rule
// selects, a suppress filter keeps the rest. Fragments pass shared, in message order.
ptrCXmlElement CFilterProcessor::applyNewStyle(const ptrCXmlMessage& a_ptrMessage, bool a_bAccept) const
{
    const ptrCXmlElement ptrRoot = a_ptrMessage->getElementTree();
    ptrCXmlElement ptrResult = ptrRoot->copy(false);
    for (const ptrCXmlElement& ptrFragment : ptrRoot->children()) {
        const CMsgFragment objFragment(ptrFragment);
        const bool bSelected =
            m_lstComponents.contains(ptrFragment->tagname()) || matchesPattern(fragmentToJudge(objFragment));
        if (bSelected == a_bAccept)
            ptrResult->addChild(ptrFragment, -1);
    }
    return ptrResult;
}

bool CFilterProcessor::matchesPattern(const CMsgFragment& a_objFragment) const
{
    for (const CMsgFragment& objPattern : m_lstPatterns) {
        if (compareFragments(objPattern, a_objFragment))
            return true;
    }
    return false;
}

// The pattern's root must equal the fragment's root by name and carry no attribute the fragment
// lacks; each of the pattern's children must be found somewhere in the fragment with at least
// its attributes. Deeper levels of the pattern are not looked at.
bool CFilterProcessor::compareFragments(CMsgFragment a_objPattern, CMsgFragment a_objFragment) const
{
    if (a_objPattern.isNull() || a_objFragment.isNull())
        return false;
    const ptrCXmlElement ptrPattern = a_objPattern.getElementTree();
    const ptrCXmlElement ptrFragment = a_objFragment.getElementTree();
    if (!XmlTreeTools::compareElements(ptrPattern, ptrFragment, false, false) ||
        !compareAttributes(ptrPattern, ptrFragment) ||
        ptrPattern->getNumberOfChildren() != ptrFragment->getNumberOfChildren())
        return false;
    for (const ptrCXmlElement& ptrChild : ptrPattern->children()) {
        const ptrCXmlElement ptrFound =
            XmlTreeTools::findTagInTree(ptrFragment, ptrChild->tagname(), G_objCompEqual, true, false);
        if (!compareAttributes(ptrChild, ptrFound))
            return false;
    }
    return true;
}

bool CFilterProcessor::compareAttributes(ptrCXmlElement a_ptrPattern, ptrCXmlElement a_ptrElement) const
{
    if (!a_ptrPattern || !a_ptrElement)
        return false;
    for (const QSharedPointer<struATTRIBUTE>& ptrAttribute : a_ptrPattern->attributes()) {
        bool bFound = false;
        const QString strValue = a_ptrElement->getAttribute(ptrAttribute->baName, &bFound);
        if (!bFound || strValue != ptrAttribute->strValue)
            return false;
    }
    return true;
}
}  // namespace XmlCommunication

#include "CFaultTree.h"

#include "CMsgFragment.h"
#include "CXmlMessage.h"
#include "ResultCodes.h"
#include "Tagnames.h"
#include "XmlTreeTools.h"

namespace XmlCommon
{
namespace
{
const QByteArray s_baIndex("index");
}

CFaultTree::~CFaultTree() = default;

bool CFaultTree::checkCompatibility() const
{
    return m_ptrRoot && m_ptrRoot->tagname() == Tag::Fault;
}

void CFaultTree::setCompatibility()
{
    setRootName(Tag::Fault);
}

int CFaultTree::setID(unsigned int a_uiId)
{
    setCompatibility();
    ptrCXmlElement ptrId = XmlTreeTools::findTagInTree(m_ptrRoot, Tag::ID);
    if (!ptrId) {
        ptrId = ptrCXmlElement(new CXmlElement(Tag::ID));
        m_ptrRoot->addChild(ptrId, -1);
    }
    ptrId->setValue(QStringLiteral("0x%1").arg(a_uiId, 0, 16));
    return RESULT_OK;
}

int CFaultTree::getID(unsigned int& a_uiId) const
{
    if (!checkCompatibility())
        return RESULT_WRONG_KIND;
    const ptrCXmlElement ptrId = XmlTreeTools::findTagInTree(m_ptrRoot, Tag::ID);
    if (!ptrId)
        return RESULT_MISSING;
    const QString& strValue = ptrId->getValue();
    bool bOk = false;
    const unsigned int uiId = strValue.toUInt(&bOk, strValue.startsWith(QLatin1String("0x")) ? 16 : 10);
    if (!bOk)
        return RESULT_MALFORMED;
    a_uiId = uiId;
    return RESULT_OK;
}

int CFaultTree::setTimestamp(unsigned long long a_ullMicroseconds)
{
    setCompatibility();
    ptrCXmlElement ptrStamp = XmlTreeTools::findTagInTree(m_ptrRoot, Tag::TimeStamp);
    if (!ptrStamp) {
        ptrStamp = ptrCXmlElement(new CXmlElement(Tag::TimeStamp));
        m_ptrRoot->addChild(ptrStamp, -1);
    }
    ptrStamp->setValue(QString::number(a_ullMicroseconds));
    ptrStamp->setAttribute("timeZone", QStringLiteral("UTC"));
    ptrStamp->setAttribute("unit", QStringLiteral("us"));
    return RESULT_OK;
}

int CFaultTree::getTimestamp(unsigned long long& a_ullMicroseconds) const
{
    if (!checkCompatibility())
        return RESULT_WRONG_KIND;
    const ptrCXmlElement ptrStamp = XmlTreeTools::findTagInTree(m_ptrRoot, Tag::TimeStamp);
    if (!ptrStamp)
        return RESULT_MISSING;
    bool bOk = false;
    const unsigned long long ullValue = ptrStamp->getValue().toULongLong(&bOk, 10);
    if (!bOk)
        return RESULT_MALFORMED;
    a_ullMicroseconds = ullValue;
    return RESULT_OK;
}

int CFaultTree::addAddendum(const QString& a_strText)
{
    setCompatibility();
    ptrCXmlElement ptrAddendum(new CXmlElement(Tag::Addendum));
    ptrAddendum->setAttribute(s_baIndex, QString::number(getNumberOfAddendums()));
    ptrAddendum->setValue(a_strText);
    m_ptrRoot->addChild(ptrAddendum, -1);
    return RESULT_OK;
}

int CFaultTree::getNumberOfAddendums() const
{
    if (!checkCompatibility())
        return 0;
    int iCount = 0;
    for (const ptrCXmlElement& ptrChild : m_ptrRoot->children())
        iCount += ptrChild->tagname() == Tag::Addendum ? 1 : 0;
    return iCount;
}

int CFaultTree::getAddendumAt(unsigned int a_uiIndex, QString& a_strText) const
{
    if (!checkCompatibility())
        return RESULT_WRONG_KIND;
    for (const ptrCXmlElement& ptrChild : m_ptrRoot->children()) {
        if (ptrChild->tagname() != Tag::Addendum)
            continue;
        bool bOk = false;
        if (ptrChild->getAttribute(s_baIndex).toUInt(&bOk, 10) == a_uiIndex && bOk) {
            a_strText = ptrChild->getValue();
            return RESULT_OK;
        }
    }
    return RESULT_MISSING;
}

int CFaultTree::setCausationDataTree(CDataTree a_objData)
{
    ptrCXmlElement ptrCausation = XmlTreeTools::findTagInTree(m_ptrRoot, Tag::Causation);
    if (a_objData.isNull()) {
        if (ptrCausation)
            m_ptrRoot->removeChild(ptrCausation);
        return RESULT_OK;
    }
    if (!ptrCausation) {
        ptrCausation = ptrCXmlElement(new CXmlElement(Tag::Causation));
        ensureRoot(Tag::Fault).addChild(ptrCausation, -1);
    }
    ptrCausation->removeAllChildren();
    ptrCausation->addChild(a_objData.getElementTree(), -1);
    return RESULT_OK;
}

CDataTree CFaultTree::getCausationDataTree() const
{
    const ptrCXmlElement ptrCausation = XmlTreeTools::findTagInTree(m_ptrRoot, Tag::Causation);
    return CDataTree(ptrCausation ? ptrCausation->getChildAt(0) : ptrCXmlElement());
}

int CFaultTree::getRequestMessage(ptrCXmlMessage& a_ptrMsg) const
{
    const ptrCXmlElement ptrRequest = XmlTreeTools::findTagInTree(m_ptrRoot, Tag::Request);
    if (!ptrRequest)
        return RESULT_OK;
    if (!a_ptrMsg)
        a_ptrMsg = ptrCXmlMessage(new CXmlMessage(0));
    a_ptrMsg->setElementTree(ptrRequest);
    return RESULT_OK;
}

bool CFaultTree::hasRequestMessage() const
{
    return XmlTreeTools::findTagInTree(m_ptrRoot, Tag::Request);
}

CMsgFragment CFaultTree::getRequestFragment() const
{
    const ptrCXmlElement ptrRequest = XmlTreeTools::findTagInTree(m_ptrRoot, Tag::Request);
    return CMsgFragment(ptrRequest ? ptrRequest->getChildAt(0) : ptrCXmlElement());
}
}  // namespace XmlCommon

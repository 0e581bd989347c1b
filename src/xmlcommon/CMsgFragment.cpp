#include "CMsgFragment.h"

#include "ResultCodes.h"
#include "Tagnames.h"
#include "XmlTreeTools.h"

namespace XmlCommon
{
namespace
{
const QByteArray s_baVersion("version");
}

CMsgFragment::~CMsgFragment() = default;

CTagname CMsgFragment::getComponentName() const
{
    return rootName();
}

int CMsgFragment::setComponentName(const CTagname& a_objName)
{
    return renameRoot(a_objName);
}

QString CMsgFragment::getComponentVersion() const
{
    return m_ptrRoot ? m_ptrRoot->getAttribute(s_baVersion) : QString();
}

int CMsgFragment::setComponentVersion(const QString& a_strVersion)
{
    if (a_strVersion.isEmpty())
        return RESULT_INVALID_ARG;
    ensureRoot(Tag::NoTagname).setAttribute(s_baVersion, a_strVersion);
    return RESULT_OK;
}

CDataTree CMsgFragment::getDataTree() const
{
    if (m_ptrRoot) {
        const QList<ptrCXmlElement>& lstChildren = m_ptrRoot->children();
        for (auto it = lstChildren.crbegin(); it != lstChildren.crend(); ++it) {
            const CTagname& objName = (*it)->tagname();
            if (objName != Tag::Fault && objName != Tag::Request)
                return CDataTree(*it);
        }
    }
    return CDataTree();
}

CFaultTree CMsgFragment::getFaultTree() const
{
    return CFaultTree(XmlTreeTools::findTagInTree(m_ptrRoot, Tag::Fault));
}

CRequestTree CMsgFragment::getRequestTree() const
{
    return CRequestTree(XmlTreeTools::findTagInTree(m_ptrRoot, Tag::Request));
}

void CMsgFragment::removeDataAndFault()
{
    if (!m_ptrRoot)
        return;
    const CDataTree objData = getDataTree();
    if (!objData.isNull())
        m_ptrRoot->removeChild(objData.getElementTree());
    const CFaultTree objFault = getFaultTree();
    if (!objFault.isNull())
        m_ptrRoot->removeChild(objFault.getElementTree());
}

int CMsgFragment::setDataTree(CDataTree a_objData)
{
    removeDataAndFault();
    if (!a_objData.isNull())
        ensureRoot(Tag::NoTagname).addChild(a_objData.getElementTree(), -1);
    return RESULT_OK;
}

int CMsgFragment::setFaultTree(CFaultTree a_objFault)
{
    removeDataAndFault();
    if (!a_objFault.isNull())
        ensureRoot(Tag::NoTagname).addChild(a_objFault.getElementTree(), -1);
    return RESULT_OK;
}

int CMsgFragment::setRequestTree(CRequestTree a_objRequest)
{
    if (m_ptrRoot) {
        while (ptrCXmlElement ptrOld = XmlTreeTools::findTagInTree(m_ptrRoot, Tag::Request))
            m_ptrRoot->removeChild(ptrOld);
    }
    if (!a_objRequest.isNull())
        ensureRoot(Tag::NoTagname).addChild(a_objRequest.getElementTree(), -1);
    return RESULT_OK;
}

void CMsgFragment::moveDataTreeToRequestTree()
{
    const CDataTree objData = getDataTree();
    if (objData.isNull())
        return;
    CRequestTree objRequest;
    objRequest.setDataTree(objData);
    setRequestTree(objRequest);
    ptrCXmlElement ptrEmpty = objData.getElementTree()->copy(false);
    ptrEmpty->setValue(QString());
    setDataTree(CDataTree(ptrEmpty));
}

void CMsgFragment::moveRequestTreeToDataTree()
{
    const CDataTree objData = getRequestTree().getDataTree();
    if (objData.isNull())
        return;
    setRequestTree(CRequestTree());
    setDataTree(objData);
}

CMsgFragment CMsgFragment::buildFragmentFromRequestTree() const
{
    const CDataTree objData = getRequestTree().getDataTree();
    if (objData.isNull())
        return CMsgFragment();
    CMsgFragment objResult(ptrCXmlElement(new CXmlElement(m_ptrRoot->tagname())));
    bool bHasVersion = false;
    const QString strVersion = m_ptrRoot->getAttribute(s_baVersion, &bHasVersion);
    if (bHasVersion)
        objResult.m_ptrRoot->setAttribute(s_baVersion, strVersion);
    objResult.setDataTree(objData);
    return objResult;
}

void CMsgFragment::copy(CMsgFragment a_objOther)
{
    m_ptrRoot = a_objOther.m_ptrRoot ? a_objOther.m_ptrRoot->copy(true) : ptrCXmlElement();
}

void CMsgFragment::share(CMsgFragment a_objOther)
{
    m_ptrRoot = a_objOther.m_ptrRoot;
}
}  // namespace XmlCommon

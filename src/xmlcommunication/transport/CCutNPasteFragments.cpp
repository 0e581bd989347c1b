#include "CCutNPasteFragments.h"

#include <OrvexXmlInterface/platform/Platform.h>

using namespace XmlCommon;

namespace XmlCommunication
{
namespace
{
const QByteArray s_baSpecialIndex("specialIndex");

// Reads and removes the position mark; -1 (the end) when it is missing or not a number.
int takeSpecialIndex(const ptrCXmlElement& a_ptrFragment)
{
    bool bFound = false;
    const QString strIndex = a_ptrFragment->getAttribute(s_baSpecialIndex, &bFound);
    if (!bFound)
        return -1;
    a_ptrFragment->removeAttribute(s_baSpecialIndex);
    bool bOk = false;
    const int iIndex = strIndex.toInt(&bOk, 10);
    return bOk && iIndex >= 0 ? iIndex : -1;
}

void insertByIndex(const ptrCXmlMessage& a_ptrTarget, const ptrCXmlMessage& a_ptrSource)
{
    const int iCount = a_ptrSource->getNumberOfFragments();
    for (int i = 0; i < iCount; ++i) {
        const CMsgFragment objFragment = a_ptrSource->getFragment(unsigned(i));
        const ptrCXmlElement ptrFragment = objFragment.getElementTree();
        if (ptrFragment)
            a_ptrTarget->addFragment(objFragment, takeSpecialIndex(ptrFragment));
    }
}
}  // namespace

CCutNPasteFragments::CCutNPasteFragments() = default;

CCutNPasteFragments::~CCutNPasteFragments() = default;

void CCutNPasteFragments::cutFragment(ptrCXmlMessage a_ptrRequest, ptrCXmlMessage& a_ptrReply,
                                      CMsgFragment a_objFragment, int a_iIndex)
{
    if (!a_ptrRequest || a_objFragment.isNull())
        return;
    a_ptrRequest->removeFragment(a_objFragment);
    // The answer may carry new data beside the question.
    if (!a_objFragment.hasRequestTree())
        a_objFragment.moveDataTreeToRequestTree();
    if (!a_ptrReply) {
        a_ptrReply = ptrCXmlMessage(new CXmlMessage(a_ptrRequest->getConnectionId()));
        a_ptrReply->setServiceType(a_ptrRequest->getServiceType());
        bool bOk = false;
        const unsigned int uiId = a_ptrRequest->getMessageID(&bOk);
        if (bOk && uiId != 0)
            a_ptrReply->setMessageID(uiId);
        a_ptrReply->changeRequestToReply(0, 0);
    }
    a_objFragment.getElementTree()->setAttribute(s_baSpecialIndex, QStringLiteral("%1").arg(a_iIndex));
    a_ptrReply->addFragment(a_objFragment, 0);
}

void CCutNPasteFragments::storeReplyFragments(quint32 a_u32ContinuousId, ptrCXmlMessage a_ptrReply)
{
    std::lock_guard<std::mutex> lock(m_objMutex);
    m_mapStore.insert(a_u32ContinuousId, {a_ptrReply, m_u64NextSequence++});
    if (m_mapStore.size() > m_iMaxStoredReplies)
        dropOldest();
}

void CCutNPasteFragments::dropOldest()
{
    auto itOldest = m_mapStore.begin();
    for (auto it = m_mapStore.begin(); it != m_mapStore.end(); ++it) {
        if (it->u64Sequence < itOldest->u64Sequence)
            itOldest = it;
    }
    Platform::debugOutput(
        QStringLiteral("CCutNPasteFragments: more than %1 partial replies wait for their host reply; the one of "
                       "request [%2] is dropped.")
            .arg(m_iMaxStoredReplies)
            .arg(itOldest.key()));
    m_mapStore.erase(itOldest);
}

void CCutNPasteFragments::pasteFragments(ptrCXmlMessage a_ptrReply)
{
    if (!a_ptrReply)
        return;
    ptrCXmlMessage ptrPartial;
    {
        std::lock_guard<std::mutex> lock(m_objMutex);
        const auto it = m_mapStore.find(a_ptrReply->getContinuousId());
        if (it == m_mapStore.end())
            return;
        ptrPartial = it->ptrReply;
        m_mapStore.erase(it);
    }
    if (ptrPartial)
        insertByIndex(a_ptrReply, ptrPartial);
}

void CCutNPasteFragments::mergeMessages(ptrCXmlMessage a_ptrTarget, ptrCXmlMessage a_ptrSource)
{
    if (!a_ptrTarget || !a_ptrSource)
        return;
    insertByIndex(a_ptrTarget, a_ptrSource);
}

int CCutNPasteFragments::numberOfMsgs() const
{
    std::lock_guard<std::mutex> lock(m_objMutex);
    return m_mapStore.size();
}
}  // namespace XmlCommunication

// The manager's share of the communication layer: the fragments it answers for the whole host,
// the status report to the master and the diagnostic dump.
#include "CComMan.h"
#include "CConnectionThread.h"

#include <OrvexXmlInterface/platform/Platform.h>
#include <OrvexXmlInterface/xmlcommon/Tagnames.h>
#include <OrvexXmlInterface/xmlcommunication/converters/CStatusReport.h>
#include <OrvexXmlInterface/xmlcommunication/converters/LayerConverters.h>

#include <mutex>

using namespace XmlCommon;

namespace XmlCommunication
{
namespace
{
const quint32 s_u32FaultDescriptionFixed = 0x02410003;
const quint32 s_u32FaultNotHandled = 0x02410004;
const QByteArray s_baSpecialIndex("specialIndex");

void attachFault(CMsgFragment a_objFragment, quint32 a_u32Id)
{
    a_objFragment.moveDataTreeToRequestTree();
    CFaultTree objFault;
    objFault.setID(a_u32Id);
    objFault.setTimestamp(Platform::nowUtcUs());
    a_objFragment.setFaultTree(objFault);
}

ptrCXmlElement textNode(const CTagname& a_objName, const QString& a_strText)
{
    ptrCXmlElement ptrNode(new CXmlElement(a_objName));
    ptrNode->setValue(a_strText);
    return ptrNode;
}

QString statusName(unsigned int a_uiStatus)
{
    static const char* const s_apszNames[] = {"ekSRE_NONE", "ekSRE_READY", "ekSRE_TERMINATED", "ekSRE_BUSY",
                                              "ekSRE_CONFIGURE"};
    return a_uiStatus < 5 ? QString::fromLatin1(s_apszNames[a_uiStatus]) : QStringLiteral("UNKNOWN");
}
}  // namespace

bool CComMan::handleCommDeviceFragments(ptrCXmlMessage a_ptrMsg)
{
    if (!a_ptrMsg->getComponentTags().contains(Tag::XmlCommunicationDevice))
        return false;
    const CXmlMessage::eSERVICE_TYPES eType = a_ptrMsg->getServiceType();
    if (eType == CXmlMessage::BROADCAST)
        return forwardLogEvent(a_ptrMsg);
    if (eType != CXmlMessage::REQUEST_GET && eType != CXmlMessage::REQUEST_SET)
        return false;
    ptrCXmlMessage ptrReply;
    for (int i = a_ptrMsg->getNumberOfFragments() - 1; i >= 0; --i) {
        CMsgFragment objFragment = a_ptrMsg->getFragment(unsigned(i));
        if (objFragment.getComponentName() != Tag::XmlCommunicationDevice)
            continue;
        if (eType == CXmlMessage::REQUEST_SET)
            handleSetFragment(a_ptrMsg, objFragment);
        else
            handleGetFragment(a_ptrMsg, objFragment);
        CCutNPasteFragments::cutFragment(a_ptrMsg, ptrReply, objFragment, i);
    }
    if (!ptrReply)
        return false;
    if (a_ptrMsg->getNumberOfFragments() > 0) {
        // Merged into the host's reply when that is sent.
        std::unique_lock lock(m_objBookLock);
        m_objCutNPaste.storeReplyFragments(a_ptrMsg->getContinuousId(), ptrReply);
        return false;
    }
    a_ptrMsg->setServiceType(ptrReply->getServiceType());
    a_ptrMsg->getElementTree()->removeAttribute(QByteArrayLiteral("time"));
    for (int i = 0; i < ptrReply->getNumberOfFragments(); ++i) {
        CMsgFragment objFragment = ptrReply->getFragment(unsigned(i));
        objFragment.getElementTree()->removeAttribute(s_baSpecialIndex);
        a_ptrMsg->addFragment(objFragment);
    }
    SlotSendToOneClient(a_ptrMsg, 0);
    return true;
}

bool CComMan::handleSetFragment(const ptrCXmlMessage&, CMsgFragment a_objFragment)
{
    CMetaInfoConverter objMeta(a_objFragment);
    if (objMeta.isCompatible()) {
        const CDataTree objInfo = objMeta.getInfo();
        m_objMetaInfo.getElementTree()->removeAllChildren();
        if (!objInfo.isNull()) {
            for (const ptrCXmlElement& ptrChild : objInfo.getElementTree()->children())
                m_objMetaInfo.getElementTree()->addChild(ptrChild->copy(true), -1);
        }
        emit SignalMetaInfo(m_objMetaInfo.getElementTree()->copy(true));
        return true;
    }
    // The description is the application's own; a peer cannot set it.
    attachFault(a_objFragment,
                CAppDescription(a_objFragment).isCompatible() ? s_u32FaultDescriptionFixed : s_u32FaultNotHandled);
    return true;
}

bool CComMan::handleGetFragment(const ptrCXmlMessage&, CMsgFragment a_objFragment)
{
    if (CStatusReport(a_objFragment).isCompatible()) {
        a_objFragment.moveDataTreeToRequestTree();
        CStatusReport objReport(a_objFragment);
        objReport.setTcpInterfaces(endPoints());
        objReport.setID(m_strId);
        objReport.setEvent(GLOBAL_XML_TYPES::eSTATUS_REPORT_EVENTS(m_uiStatus));
        return true;
    }
    if (CMetaInfoConverter(a_objFragment).isCompatible()) {
        a_objFragment.moveDataTreeToRequestTree();
        CMetaInfoConverter(a_objFragment).setInfo(CDataTree(m_objMetaInfo.getElementTree()->copy(true)));
        return true;
    }
    if (CAppDescription(a_objFragment).isCompatible()) {
        a_objFragment.moveDataTreeToRequestTree();
        CAppDescription(a_objFragment)
            .setDescription(CDataTree(m_objDescription.getDataTree().getElementTree()->copy(true)));
        return true;
    }
    attachFault(a_objFragment, s_u32FaultNotHandled);
    return true;
}

bool CComMan::forwardLogEvent(const ptrCXmlMessage& a_ptrMsg)
{
    const quint32 u32Master = m_u32MasterId.load();
    if (u32Master == 0 || m_strName == QLatin1String("ProcessingUnit") || !a_ptrMsg->getOrigin().isEmpty())
        return false;
    for (int i = 0; i < a_ptrMsg->getNumberOfFragments(); ++i) {
        CMsgFragment objFragment = a_ptrMsg->getFragment(unsigned(i));
        if (!CDebugLoggingEvent(objFragment).isCompatible())
            continue;
        a_ptrMsg->setConnectionId(u32Master);
        SlotSendToOneClient(a_ptrMsg, 0);
        return true;
    }
    return false;
}

QList<GLOBAL_XML_TYPES::struTcpInterface> CComMan::endPoints() const
{
    QList<GLOBAL_XML_TYPES::struTcpInterface> lstInterfaces;
    for (const auto& objEndPoint : m_lstEndPoints)
        lstInterfaces.append({objEndPoint.first, objEndPoint.second});
    return lstInterfaces;
}

void CComMan::sendStatusReport()
{
    const quint32 u32Master = m_u32MasterId.load();
    if (u32Master == 0) {
        log([&] {
            return QStringLiteral(
                "CComMan::sendStatusReport() failed because cannot send anything without master-connection-id.");
        });
        return;
    }
    ptrCXmlMessage ptrEvent(new CXmlMessage(u32Master));
    ptrEvent->setServiceType(CXmlMessage::BROADCAST);
    CStatusReport objReport;
    objReport.setTcpInterfaces(endPoints());
    objReport.setID(m_strId);
    objReport.setEvent(GLOBAL_XML_TYPES::eSTATUS_REPORT_EVENTS(m_uiStatus));
    objReport.setApplicationName(m_strName);
    if (!m_objStartupFault.isNull())
        objReport.setStartupFault(m_objStartupFault);
    ptrEvent->addFragment(objReport.getFragment());
    log([&] {
        return QStringLiteral("CComMan::sendStatusReport() sends to connection %1 => %2.")
            .arg(u32Master)
            .arg(ptrEvent->toDbgString(CXmlMessage::DIRECTION_SENDING));
    });
    SlotSendToOneClient(ptrEvent, 0);
}

void CComMan::SlotGetDebugInfo(ptrCXmlElement a_ptrElement)
{
    if (!a_ptrElement)
        return;
    ptrCXmlElement ptrNode(new CXmlElement(CTagname("CComMan")));
    ptrNode->addChild(textNode(CTagname("ThreadId"), QString::number(Platform::currentThreadId())), -1);
    int iWorking = 0;
    {
        std::unique_lock lock(m_objBookLock);
        iWorking = m_mapWorkingRequests.size();
    }
    ptrNode->addChild(textNode(CTagname("CurrentlyProcessingRequests"), QString::number(iWorking)), -1);
    addStatusLines(ptrNode);
    ptrCXmlElement ptrClients(new CXmlElement(CTagname("ClientConnections")));
    QList<struClientData> lstClients;
    getListOfClients(lstClients);
    for (const struClientData& objClient : lstClients) {
        ptrCXmlElement ptrClient = textNode(CTagname("Connection"), objClient.strPeerAppName);
        ptrClient->setAttribute("id", QString::number(objClient.ulConnectionId));
        ptrClients->addChild(ptrClient, -1);
    }
    ptrNode->addChild(ptrClients, -1);
    ptrNode->addChild(textNode(CTagname("ChildID"), m_strId), -1);
    ptrNode->addChild(textNode(CTagname("ConnectionLimit"), QString::number(m_uiConnectionLimit)), -1);
    ptrNode->addChild(textNode(CTagname("ResManClientID"), QString::number(m_u32MasterId.load())), -1);
    ptrNode->addChild(textNode(CTagname("SuppressRequestTree"), QStringLiteral("false")), -1);
    ptrNode->addChild(m_objMetaInfo.getElementTree()->copy(true), -1);
    ptrNode->addChild(textNode(CTagname("Status"), statusName(m_uiStatus)), -1);
    a_ptrElement->addChild(ptrNode, -1);
}

void CComMan::addStatusLines(const ptrCXmlElement& a_ptrNode)
{
    const auto queueLine = [](std::recursive_mutex& a_objLock, const QQueue<ptrCXmlMessage>& a_objQueue, int a_iMax) {
        std::unique_lock lock(a_objLock);
        return QStringLiteral("Max: %1, Current: %2").arg(a_iMax).arg(a_objQueue.size());
    };
    a_ptrNode->addChild(textNode(CTagname("RequestsInQ"), queueLine(m_objRequestLock, m_objRequests, m_iMaxRequests)),
                        -1);
    a_ptrNode->addChild(textNode(CTagname("RepliesInQ"), queueLine(m_objReplyLock, m_objReplies, m_iMaxReplies)), -1);
    a_ptrNode->addChild(textNode(CTagname("EventsInQ"), queueLine(m_objEventLock, m_objEvents, m_iMaxEvents)), -1);
}
}  // namespace XmlCommunication

#include "CComMan.h"
#include "../../xmlcommon/ThreadChecker_p.h"

#include "CConnectionThread.h"
#include "CTcpServer.h"

#include <OrvexXmlInterface/platform/Platform.h>
#include <OrvexXmlInterface/xmlcommon/Tagnames.h>
#include <OrvexXmlInterface/xmlcommon/XmlTreeTools.h>

#include <QtCore/QCoreApplication>
#include <QtCore/QElapsedTimer>
#include <QtCore/QThread>
#include <QtNetwork/QHostAddress>
#include <QtNetwork/QTcpSocket>

#include <mutex>

using namespace XmlCommon;

namespace XmlCommunication
{
namespace
{
const QString s_strClass = QStringLiteral("CComman");
const quint64 s_u64CleanupCycleUs = 2000000;
const quint32 s_u32FaultUndeliverable = 0x02400008;

std::mutex s_objStaticInstanceMutex;
CComMan* s_pobjStaticInstance = nullptr;

// Threads that did not end within the manager's wait: they end on their own and are never
// terminated; their objects are kept, since a running thread's object must not be deleted.
std::mutex s_objAbandonedMutex;
QList<CConnectionThread*> s_lstAbandoned;
}  // namespace

CComMan::CComMan(std::recursive_mutex& a_objRequestLock, QQueue<ptrCXmlMessage>& a_objRequests,
                 std::recursive_mutex& a_objReplyLock, QQueue<ptrCXmlMessage>& a_objReplies,
                 std::recursive_mutex& a_objEventLock, QQueue<ptrCXmlMessage>& a_objEvents,
                 std::atomic<bool>& a_bReplyLagSpreading)
    : CDebugFlags(s_strClass), m_objRequestLock(a_objRequestLock), m_objRequests(a_objRequests),
      m_objReplyLock(a_objReplyLock), m_objReplies(a_objReplies), m_objEventLock(a_objEventLock),
      m_objEvents(a_objEvents), m_bReplyLagSpreading(a_bReplyLagSpreading)
{
    m_objMetaInfo.setElementTree(ptrCXmlElement(new CXmlElement(Tag::MetaInformation)));
    followDebugCenter(this);
    getCurrentDbgFlagSetup();
}

CComMan::~CComMan()
{
    {
        std::lock_guard<std::mutex> lock(s_objStaticInstanceMutex);
        if (s_pobjStaticInstance == this)
            s_pobjStaticInstance = nullptr;
    }
    destroyAllConnections();
    delete m_pServer;
    m_pServer = nullptr;
    waitForConnections();
}

void CComMan::waitForConnections()
{
    QElapsedTimer objTimer;
    objTimer.start();
    QList<CConnectionThread*> lstAll;
    {
        std::unique_lock lockDying(m_objDyingLock);
        std::unique_lock lockList(m_objListLock);
        lstAll = m_lstDying + m_lstConnections;
        m_lstDying.clear();
        m_lstConnections.clear();
    }
    QList<CConnectionThread*> lstEnded;
    QList<CConnectionThread*> lstLeft;
    for (CConnectionThread* pThread : lstAll) {
        pThread->exitOnCompletion();
        const qint64 llLeft = qMax<qint64>(0, 5000 - objTimer.elapsed());
        const bool bEnded = pThread->wait(static_cast<unsigned long>(llLeft));
        if (bEnded)
            OXI_TSAN_ACQUIRE(pThread);
        (bEnded ? lstEnded : lstLeft).append(pThread);
    }
    // The last words of the connections (fault replies for requests that could not go out)
    // still reach the host's queues.
    QCoreApplication::sendPostedEvents();
    qDeleteAll(lstEnded);
    log([&] {
        return QStringLiteral("CComMan::~CComMan() has waited %1 ms for the connections.").arg(objTimer.elapsed());
    });
    if (lstLeft.isEmpty())
        return;
    Platform::debugOutput(
        QStringLiteral("CComMan::~CComMan() unexpectedly has still %1 connections.").arg(lstLeft.size()));
    std::lock_guard<std::mutex> lock(s_objAbandonedMutex);
    for (CConnectionThread* pThread : lstLeft) {
        pThread->setJobSink(nullptr);
        pThread->disconnect(this);
    }
    s_lstAbandoned.append(lstLeft);
}

CComMan* CComMan::getInstance()
{
    std::lock_guard<std::mutex> lock(s_objStaticInstanceMutex);
    return s_pobjStaticInstance;
}

bool CComMan::init(const struCOMMAN_STARTUP_CONFIG& a_objConfig)
{
    {
        std::lock_guard<std::mutex> lock(s_objStaticInstanceMutex);
        s_pobjStaticInstance = this;
    }
    slotDescription(a_objConfig.objDescription);
    m_uiConnectionLimit = a_objConfig.ulMaxConnections;
    m_objLimits = a_objConfig.objLimits;
    m_iMaxQueued = int(qMin<quint32>(a_objConfig.ulMaxQueuedMessages, 0x7fffffff));
    m_strListenAddress = a_objConfig.strIpAddress.isEmpty() ? QStringLiteral("0.0.0.0") : a_objConfig.strIpAddress;
    QHostAddress objAddress;
    if (objAddress.setAddress(m_strListenAddress) && !m_pServer) {
        m_pServer = new CTcpServer;
        connect(m_pServer, &CTcpServer::SignalNewClient, this, &CComMan::SlotNewSocket);
        if (!m_pServer->listen(objAddress, a_objConfig.usPort)) {
            log([&] {
                return QStringLiteral("CComMan::init() ########### ATTENTION !!! Failed to listen with tcp-server!");
            });
            qCritical("%s", qUtf8Printable(
                                QStringLiteral("########### ATTENTION !!! Failed to listen with tcp-server at ") +
                                m_strListenAddress + QStringLiteral(" on port ") + QString::number(a_objConfig.usPort) +
                                QStringLiteral("!\nError: ") + m_pServer->errorString()));
            delete m_pServer;
            m_pServer = nullptr;
            return false;
        }
        m_usPort = m_pServer->serverPort();
    }
    m_bRunning = true;
    m_lstEndPoints.clear();
    if (m_pServer) {
        const QStringList lstAddresses =
            m_strListenAddress == QLatin1String("0.0.0.0") ? getIPs() : QStringList{m_strListenAddress};
        for (const QString& strAddress : lstAddresses)
            m_lstEndPoints.append({strAddress, m_usPort.load()});
    }
    m_uiStatus = GLOBAL_XML_TYPES::STATUS_REPORT_READY;
    if (m_pServer)
        log([&] {
            return QStringLiteral("Der ComMan lauscht auf Port: %1, meldet sich bei Port: %2 mit der ID \"%3\"")
                .arg(m_usPort.load())
                .arg(a_objConfig.usPort)
                .arg(m_strId);
        });
    else
        log([&] { return QStringLiteral("Der ComMan lauscht nicht und hat die ID \"%1\"").arg(m_strId); });
    return true;
}

void CComMan::setStartupFault(CFaultTree a_objFault)
{
    m_objStartupFault = a_objFault;
}

QStringList CComMan::getIPs()
{
    QStringList lstAddresses;
    for (const Platform::struIpv4Interface& objInterface : Platform::ipv4Interfaces()) {
        if (!objInterface.bLoopback)
            lstAddresses.append(QHostAddress(objInterface.ulAddress).toString());
    }
    if (lstAddresses.isEmpty())
        lstAddresses.append(QStringLiteral("127.0.0.1"));
    return lstAddresses;
}

QList<struNetInterface> CComMan::getNetInterfaces()
{
    QList<struNetInterface> lstInterfaces;
    for (const Platform::struIpv4Interface& objInterface : Platform::ipv4Interfaces()) {
        if (objInterface.bLoopback)
            continue;
        struNetInterface objNet;
        objNet.ulAddress = objInterface.ulAddress;
        quint16 usBits = 0;
        for (quint32 ulMask = objInterface.ulNetmask; ulMask & 0x80000000u; ulMask <<= 1)
            ++usBits;
        objNet.usNetmaskBits = usBits;
        lstInterfaces.append(objNet);
    }
    return lstInterfaces;
}

CConnectionThread* CComMan::getClient(quint32 a_u32Id)
{
    std::unique_lock lock(m_objListLock);
    for (CConnectionThread* pThread : qAsConst(m_lstConnections)) {
        if (pThread->getID() == a_u32Id)
            return pThread;
    }
    return nullptr;
}

void CComMan::getListOfClients(QList<struClientData>& a_lstClients)
{
    std::unique_lock lock(m_objListLock);
    for (CConnectionThread* pThread : qAsConst(m_lstConnections))
        a_lstClients.append(pThread->getInfo());
}

void CComMan::SlotNewSocket(typSocketDescriptor a_typSocketDescriptor)
{
    int iConnections = 0;
    {
        std::unique_lock lock(m_objListLock);
        iConnections = m_lstConnections.size();
    }
    if (m_uiConnectionLimit != 0 && iConnections >= int(m_uiConnectionLimit)) {
        QTcpSocket objSocket;
        objSocket.setSocketDescriptor(a_typSocketDescriptor);
        objSocket.disconnectFromHost();
        log([&] { return QStringLiteral("CComMan::SlotNewSocket() Socket closed because of connection-limit!"); });
        return;
    }
    log([&] { return QStringLiteral("CComMan::SlotNewSocket()"); });
    handleNewConnection(a_typSocketDescriptor);
}

void CComMan::handleNewConnection(qintptr a_typDescriptor)
{
    CConnectionThread* pThread = new CConnectionThread(a_typDescriptor, m_strName, nullptr, false);
    connect(pThread, &CConnectionThread::SignalCompletelyStarted, this, &CComMan::SignalNewConnection);
    startConnection(pThread);
    log([&] {
        return QStringLiteral("CComMan::handleNewConnection() adding new connection[%1]!").arg(pThread->getID());
    });
}

void CComMan::startConnection(CConnectionThread* a_pThread)
{
    addConnection(a_pThread);
    a_pThread->start(QThread::InheritPriority);
}

void CComMan::addConnection(CConnectionThread* a_pobjClient)
{
    connect(a_pobjClient, &CConnectionThread::SignalNewJob, this, &CComMan::SlotNewJob);
    connect(a_pobjClient, &CConnectionThread::SignalSocketStateChanged, this, &CComMan::SlotSocketStateChanged);
    connect(a_pobjClient, &CConnectionThread::SignalXmlParserError, this, &CComMan::SignalXmlParserError);
    connect(a_pobjClient, &CConnectionThread::SignalFilterSet, this, &CComMan::SignalFilterSet);
    connect(a_pobjClient, &CConnectionThread::SignalConnectionInfo, this, &CComMan::slotConnectionInfo);
    connect(a_pobjClient, &CConnectionThread::SignalFiltertree, this, &CComMan::slotConnectionFiltertree);
    connect(a_pobjClient, &QThread::finished, this, &CComMan::SlotConnectionThreadIsFinished, Qt::QueuedConnection);
    a_pobjClient->setLimits(m_objLimits);
    a_pobjClient->setJobSink(this);
    int iEntries = 0;
    {
        std::unique_lock lock(m_objListLock);
        m_lstConnections.append(a_pobjClient);
        iEntries = m_lstConnections.size();
    }
    a_pobjClient->setTimeoutIncRouter(this);
    a_pobjClient->setDebugName(m_strName);
    log([&] { return QStringLiteral("CComMan::addConnection() is called! Entries now: %1").arg(iEntries); });
}

void CComMan::SlotSocketStateChanged(quint32 a_ulConnectionId, QAbstractSocket::SocketState a_eState)
{
    if (a_eState == QAbstractSocket::UnconnectedState) {
        log([&] { return QStringLiteral("CComMan::SlotSocketStateChanged(%1, Unconnected)!").arg(a_ulConnectionId); });
        destroyConnection(a_ulConnectionId);
        emit SignalConnectionClosed(a_ulConnectionId);
    } else if (a_eState == QAbstractSocket::ConnectedState) {
        log([&] { return QStringLiteral("CComMan::SlotSocketStateChanged(%1, Connected)!").arg(a_ulConnectionId); });
        if (a_ulConnectionId == m_u32MasterId.load()) {
            sendStatusReport();
            emit SignalNewConnection(a_ulConnectionId);
        }
    } else {
        log([&] {
            return QStringLiteral("CComMan::SlotSocketStateChanged(%1, %2)!").arg(a_ulConnectionId).arg(int(a_eState));
        });
    }
}

void CComMan::destroyConnection(quint32 a_u32Id)
{
    std::unique_lock lockDying(m_objDyingLock);
    std::unique_lock lockList(m_objListLock);
    if (a_u32Id == m_u32MasterId.load())
        m_u32MasterId = 0;
    for (int i = 0; i < m_lstConnections.size(); ++i) {
        CConnectionThread* pThread = m_lstConnections.at(i);
        if (pThread->getID() != a_u32Id)
            continue;
        m_lstConnections.removeAt(i);
        m_lstDying.append(pThread);
        m_mapEventCodes.remove(a_u32Id);
        pThread->exitOnCompletion();
        log([&] { return QStringLiteral("CComMan::destroyConnection(%1) was successful!").arg(a_u32Id); });
        return;
    }
}

void CComMan::destroyAllConnections()
{
    bool bEmpty = false;
    {
        std::unique_lock lockDying(m_objDyingLock);
        std::unique_lock lockList(m_objListLock);
        if (m_pServer) {
            m_pServer->disconnect(this);
            m_pServer->close();
        }
        const QList<CConnectionThread*> lstConnections = m_lstConnections;
        for (CConnectionThread* pThread : lstConnections)
            destroyConnection(pThread->getID());
        bEmpty = m_lstConnections.isEmpty() && m_lstDying.isEmpty();
    }
    if (bEmpty)
        emit SignalAllConnectionsClosed();
}

void CComMan::SlotDestroyAllConnections()
{
    destroyAllConnections();
}

void CComMan::SlotDestroyConnection(quint32 a_u32Id)
{
    destroyConnection(a_u32Id);
}

void CComMan::SlotConnectionThreadIsFinished()
{
    CConnectionThread* pFinished = qobject_cast<CConnectionThread*>(sender());
    bool bEmpty = false;
    {
        std::unique_lock lockDying(m_objDyingLock);
        std::unique_lock lockList(m_objListLock);
        log([&] {
            return QStringLiteral("CComMan::SlotConnectionThreadIsFinished() DyingConns: %1, Conns: %2")
                .arg(m_lstDying.size())
                .arg(m_lstConnections.size());
        });
        if (pFinished && (m_lstDying.removeOne(pFinished) || m_lstConnections.removeOne(pFinished))) {
            m_mapEventCodes.remove(pFinished->getID());
            // finished() comes from the thread just before it is done: joining it is immediate.
            pFinished->wait();
            OXI_TSAN_ACQUIRE(pFinished);
            pFinished->deleteLater();
            log([&] {
                return QStringLiteral(
                    "CComMan::SlotConnectionThreadIsFinished() has removed 1 dying connection from list");
            });
        }
        bEmpty = m_lstConnections.isEmpty() && m_lstDying.isEmpty();
    }
    if (bEmpty)
        emit SignalAllConnectionsClosed();
}

void CComMan::SlotConnectToMaster(quint16 a_usPort, QString a_strId)
{
    log([&] { return QStringLiteral("CComMan::SlotConnectToMaster() Port: %1, ID: %2").arg(a_usPort).arg(a_strId); });
    m_strId = a_strId;
    CAppDescription(m_objDescription).setAppGuid(a_strId);
    CConnectionThread* pThread =
        new CConnectionThread(QStringLiteral("127.0.0.1"), a_usPort, m_strName, false, nullptr);
    m_u32MasterId = pThread->getID();
    startConnection(pThread);
}

void CComMan::slotDescription(struCOMMAN_DESCRIPTION a_objDescription)
{
    CAppDescription objDescription(m_objDescription);
    objDescription.setAppVersion(a_objDescription.strAppVersion);
    objDescription.setAppName(a_objDescription.strAppName);
    objDescription.setAppInterface(a_objDescription.strAppInterface);
    objDescription.setAppBuild(a_objDescription.strAppBuild);
    m_strName = a_objDescription.strAppName;
    QString strGuid;
    if ((objDescription.getAppGuid(strGuid) != 0 || strGuid.isEmpty()) && !a_objDescription.strAppGuid.isEmpty()) {
        objDescription.setAppGuid(a_objDescription.strAppGuid);
        m_strId = a_objDescription.strAppGuid;
    }
    log([&] {
        return QStringLiteral("CComMan::slotDescription() : %1")
            .arg(m_objDescription.getElementTree() ? m_objDescription.getElementTree()->toString() : QString());
    });
    std::unique_lock lock(m_objListLock);
    for (CConnectionThread* pThread : qAsConst(m_lstConnections))
        pThread->setDebugName(m_strName);
}

void CComMan::slotConnectionInfo(quint32 a_ulConnectionId, struClientData a_objInfo)
{
    emit SignalConnectionInfo(a_ulConnectionId, a_objInfo);
    const bool bProcessingUnit = a_objInfo.strPeerAppName == QLatin1String("ProcessingUnit");
    if (m_u32MasterId.load() == 0 && bProcessingUnit)
        m_u32MasterId = a_ulConnectionId;
    // A main service prefers a processing unit on its own host as its master.
    if (m_u32MasterId.load() != 0 && m_strName == QLatin1String("MainService") && bProcessingUnit &&
        a_objInfo.strPeerAddress == a_objInfo.strLocalAddress)
        m_u32MasterId = a_ulConnectionId;
}

void CComMan::slotDebugFlagSetup(typMapDbgFlags a_mapSetup)
{
    handleDbgFlagSetup(a_mapSetup);
}

CComMan::typEventCode CComMan::getCode(const CTagname& a_objComponent, const CTagname& a_objData)
{
    const QByteArray& baComponent = a_objComponent.name();
    const QByteArray& baData = a_objData.name();
    const quint32 u32Lengths = quint32(baComponent.size() & 0xffff) | (quint32(baData.size() & 0xffff) << 16);
    const quint64 u64Texts = quint64(getTxtCode(baComponent)) | (quint64(getTxtCode(baData)) << 32);
    return {u32Lengths, u64Texts};
}

quint32 CComMan::getTxtCode(const QByteArray& a_baName)
{
    const int iSize = a_baName.size();
    if (iSize == 0)
        return 0;
    const auto byte = [&](int a_iAt) { return quint32(quint8(a_baName.at(a_iAt))); };
    if (iSize == 1)
        return byte(0) | (byte(0) << 24);
    return byte(0) | (byte(1) << 8) | (byte(iSize - 2) << 16) | (byte(iSize - 1) << 24);
}

QSet<CComMan::typEventCode> CComMan::getCodes(const ptrCXmlMessage& a_ptrMsg)
{
    QSet<typEventCode> setCodes;
    for (int i = 0; i < a_ptrMsg->getNumberOfFragments(); ++i) {
        const CMsgFragment objFragment = a_ptrMsg->getFragment(unsigned(i));
        const CDataTree objData = objFragment.getDataTree();
        setCodes.insert(getCode(objFragment.getComponentName(), objData.isNull() ? CTagname() : objData.getDataName()));
    }
    return setCodes;
}

void CComMan::slotConnectionFiltertree(quint32 a_ulConnectionId, ptrCXmlElement a_ptrTree)
{
    // Read by the senders' threads under the connection list's lock.
    std::unique_lock lock(m_objListLock);
    m_mapEventCodes.remove(a_ulConnectionId);
    // An advanced filter selects by fragment patterns the codes cannot express: such a
    // connection gets every event and its own filter decides.
    if (!a_ptrTree || XmlTreeTools::findTagInTree(a_ptrTree, Tag::AdvancedFilter, G_objCompEqual, true))
        return;
    QSet<typEventCode> setCodes;
    for (const ptrCXmlElement& ptrComponent : a_ptrTree->children()) {
        if (ptrComponent->tagname() == Tag::All)
            return;
        if (ptrComponent->getNumberOfChildren() == 0)
            setCodes.insert(getCode(ptrComponent->tagname(), CTagname()));
        // A path ending in "All" stands for every data element of the component.
        for (const ptrCXmlElement& ptrData : ptrComponent->children())
            setCodes.insert(getCode(ptrComponent->tagname(), ptrData->tagname()));
    }
    m_mapEventCodes.insert(a_ulConnectionId, setCodes);
}

void CComMan::SlotSendToAllClients(ptrCXmlMessage a_ptrMsg, QList<quint32> a_lstExcluded)
{
    if (!a_ptrMsg || a_ptrMsg->isNull())
        return;
    const bool bEvent = a_ptrMsg->getServiceType() == CXmlMessage::BROADCAST;
    QSet<typEventCode> setWildcards;
    const QSet<typEventCode> setCodes = bEvent ? getCodes(a_ptrMsg) : QSet<typEventCode>();
    if (bEvent) {
        for (int i = 0; i < a_ptrMsg->getNumberOfFragments(); ++i)
            setWildcards.insert(getCode(a_ptrMsg->getFragment(unsigned(i)).getComponentName(), Tag::All));
    }
    int iServed = 0;
    std::unique_lock lock(m_objListLock);
    for (CConnectionThread* pThread : qAsConst(m_lstConnections)) {
        if (a_lstExcluded.contains(pThread->getID()))
            continue;
        const auto itCodes = m_mapEventCodes.constFind(pThread->getID());
        if (bEvent && itCodes != m_mapEventCodes.cend() && !itCodes->intersects(setCodes) &&
            !itCodes->intersects(setWildcards))
            continue;
        // Each connection thread gets a tree of its own.
        pThread->sendMsg(a_ptrMsg->copyShared(true), 0);
        ++iServed;
    }
    log([&] {
        return QStringLiteral("CComMan::SlotSendToAllClients() %1 clients have got msg: %2")
            .arg(iServed)
            .arg(a_ptrMsg->toDbgString(CXmlMessage::DIRECTION_SENDING));
    });
}

void CComMan::SlotSendToOneClient(ptrCXmlMessage a_ptrMsg, quint32 a_ulContinuousMsgId)
{
    if (!a_ptrMsg)
        return;
    const CXmlMessage::eSERVICE_TYPES eType = a_ptrMsg->getServiceType();
    // Held until the message is queued, so that no lag reply for a request follows its reply.
    // A request of the host's own needs no such order, and its connection books it under this
    // lock as soon as it is written.
    std::unique_lock lockBook(m_objBookLock, std::defer_lock);
    if (eType != CXmlMessage::REQUEST_GET && eType != CXmlMessage::REQUEST_SET)
        lockBook.lock();
    if (eType == CXmlMessage::REPLY_GET || eType == CXmlMessage::REPLY_SET) {
        // The request is answered: no more lag replies for it.
        slotUnmapRequestMsg(a_ptrMsg);
        m_objCutNPaste.pasteFragments(a_ptrMsg);
    }
    {
        std::unique_lock lock(m_objListLock);
        for (CConnectionThread* pThread : qAsConst(m_lstConnections)) {
            if (pThread->getID() != a_ptrMsg->getConnectionId())
                continue;
            pThread->sendMsg(a_ptrMsg, a_ulContinuousMsgId);
            log([&] {
                return QStringLiteral("CComMan::SlotSendToOneClient(Id=%1) was successfully: %2")
                    .arg(a_ptrMsg->getConnectionId())
                    .arg(a_ptrMsg->toDbgString(CXmlMessage::DIRECTION_SENDING));
            });
            return;
        }
    }
    if (lockBook.owns_lock())
        lockBook.unlock();
    if (eType == CXmlMessage::REQUEST_GET || eType == CXmlMessage::REQUEST_SET) {
        ptrCXmlMessage ptrReply = a_ptrMsg->copyShared(true);
        ptrReply->changeRequestToReply(s_u32FaultUndeliverable, Platform::nowUtcUs());
        SlotNewJob(ptrReply, GLOBAL_XML_TYPES::ekMT_REPLY);
    }
    Platform::debugOutput(QStringLiteral("CComMan::SlotSendToOneClient() has failed. Connection (%1) not found. %2")
                              .arg(a_ptrMsg->getConnectionId())
                              .arg(a_ptrMsg->toDbgString(CXmlMessage::DIRECTION_SENDING)));
}

void CComMan::SlotNewJob(ptrCXmlMessage a_ptrMsg, GLOBAL_XML_TYPES::eMESSAGE_TYPES a_eType)
{
    if (!a_ptrMsg || a_ptrMsg->isNull()) {
        log([&] { return QStringLiteral("CComMan::SlotNewJob() EMPTY job, type: %1!!").arg(int(a_eType)); });
        return;
    }
    log([&] {
        return QStringLiteral("CComMan::SlotNewJob() Msg: %1")
            .arg(a_ptrMsg->toDbgString(CXmlMessage::DIRECTION_RECEIVED));
    });
    // The connection has applied a peer's lag already: lag replies never reach the host.
    if (a_ptrMsg->getServiceType() == CXmlMessage::REPLY_LAG)
        return;
    // The manager's own fragments are answered on its thread, where its state lives; the layer's
    // component is looked for once on the common path of every message.
    if (a_ptrMsg->getComponentTags().contains(Tag::XmlCommunicationDevice)) {
        if (QThread::currentThread() != thread()) {
            QMetaObject::invokeMethod(
                this, [this, a_ptrMsg, a_eType] { SlotNewJob(a_ptrMsg, a_eType); }, Qt::QueuedConnection);
            return;
        }
        if (handleCommDeviceFragments(a_ptrMsg))
            return;
    }
    switch (a_eType) {
    case GLOBAL_XML_TYPES::ekMT_REQUEST: addNewRequest(a_ptrMsg); break;
    case GLOBAL_XML_TYPES::ekMT_REPLY: addNewReply(a_ptrMsg); break;
    case GLOBAL_XML_TYPES::ekMT_EVENT: addNewEvent(a_ptrMsg); break;
    }
}

bool CComMan::enqueue(std::recursive_mutex& a_objLock, QQueue<ptrCXmlMessage>& a_objQueue,
                      const ptrCXmlMessage& a_ptrMsg, std::atomic<int>& a_iHighWater)
{
    int iLength = 0;
    {
        std::unique_lock lock(a_objLock);
        if (m_iMaxQueued != 0 && a_objQueue.size() >= m_iMaxQueued)
            return false;
        a_objQueue.enqueue(a_ptrMsg);
        iLength = a_objQueue.size();
    }
    int iHigh = a_iHighWater.load();
    while (iHigh < iLength && !a_iHighWater.compare_exchange_weak(iHigh, iLength)) {
    }
    return true;
}

void CComMan::addNewReply(const ptrCXmlMessage& a_ptrMsg)
{
    log([&] {
        return QStringLiteral("CComman::addNewReply()") + a_ptrMsg->toDbgString(CXmlMessage::DIRECTION_RECEIVED);
    });
    if (!enqueue(m_objReplyLock, m_objReplies, a_ptrMsg, m_iMaxReplies)) {
        Platform::debugOutput(QStringLiteral("CComman::addNewReply() the reply queue is full; dropped: %1")
                                  .arg(a_ptrMsg->toDbgString(CXmlMessage::DIRECTION_RECEIVED)));
        return;
    }
    emit SignalNewJob(GLOBAL_XML_TYPES::ekMT_REPLY);
    emit SignalNewJob_TestsOnly(a_ptrMsg, GLOBAL_XML_TYPES::ekMT_REPLY);
}

void CComMan::addNewEvent(const ptrCXmlMessage& a_ptrMsg)
{
    log([&] {
        return QStringLiteral("CComman::addNewEvent()") + a_ptrMsg->toDbgString(CXmlMessage::DIRECTION_RECEIVED);
    });
    if (!enqueue(m_objEventLock, m_objEvents, a_ptrMsg, m_iMaxEvents)) {
        Platform::debugOutput(QStringLiteral("CComman::addNewEvent() the event queue is full; dropped: %1")
                                  .arg(a_ptrMsg->toDbgString(CXmlMessage::DIRECTION_RECEIVED)));
        return;
    }
    emit SignalNewJob(GLOBAL_XML_TYPES::ekMT_EVENT);
    emit SignalNewJob_TestsOnly(a_ptrMsg, GLOBAL_XML_TYPES::ekMT_EVENT);
}

void CComMan::addNewRequest(const ptrCXmlMessage& a_ptrMsg)
{
    log([&] { return QStringLiteral("CComMan::addNewRequest(%1)").arg(a_ptrMsg->getMessageID()); });
    unsigned int uiWait = 0;
    if (m_bReplyLagSpreading.load()) {
        {
            std::unique_lock lock(m_objRequestLock);
            if (!m_objRequests.isEmpty())
                uiWait = m_objRequests.last()->getRemainingTime();
        }
        if (uiWait == 0) {
            std::unique_lock lock(m_objBookLock);
            for (const ptrCXmlMessage& ptrWorking : qAsConst(m_mapWorkingRequests))
                uiWait = qMax(uiWait, ptrWorking->getRemainingTime());
            log([&] {
                return QStringLiteral(
                           "CComman::addNewRequest() msgId from last: highest remainingTime of request in map: %1")
                    .arg(uiWait);
            });
        }
    }
    // The requester learns at once that its request waits behind others.
    if (uiWait != 0)
        sendLagNow(a_ptrMsg, uiWait);
    if (!enqueue(m_objRequestLock, m_objRequests, a_ptrMsg, m_iMaxRequests)) {
        Platform::debugOutput(QStringLiteral("CComman::addNewRequest() the request queue is full; answered: %1")
                                  .arg(a_ptrMsg->toDbgString(CXmlMessage::DIRECTION_RECEIVED)));
        ptrCXmlMessage ptrReply = a_ptrMsg->copyShared(true);
        ptrReply->changeRequestToReply(s_u32FaultUndeliverable, Platform::nowUtcUs());
        SlotSendToOneClient(ptrReply, 0);
        return;
    }
    emit SignalNewJob(GLOBAL_XML_TYPES::ekMT_REQUEST);
    emit SignalNewJob_TestsOnly(a_ptrMsg, GLOBAL_XML_TYPES::ekMT_REQUEST);
}

void CComMan::sendLagNow(const ptrCXmlMessage& a_ptrRequest, quint32 a_u32Increment)
{
    const ptrCXmlMessage ptrLag = a_ptrRequest->generateTimeoutIncrementMsg(a_u32Increment, true);
    if (!ptrLag)
        return;
    ptrLag->updateRequestParent();
    SlotSendToOneClient(ptrLag, 0);
}

void CComMan::slotMapRequestMsg(ptrCXmlMessage a_ptrMsg)
{
    if (!a_ptrMsg) {
        log([&] { return QStringLiteral("CComman::slotMapRequestMsg() EMPTY msg"); });
        return;
    }
    log([&] {
        return QStringLiteral("CComman::slotMapRequestMsg() MsgId: %1, MsgContId: %2.")
            .arg(a_ptrMsg->getMessageID())
            .arg(a_ptrMsg->getContinuousId());
    });
    const ptrCXmlMessage ptrEnvelope = a_ptrMsg->copyShared(false);
    if (a_ptrMsg->getElementTree())
        ptrEnvelope->setElementTree(a_ptrMsg->getElementTree()->copy(false));
    std::unique_lock lock(m_objBookLock);
    m_mapWorkingRequests.insert(a_ptrMsg->getContinuousId(), ptrEnvelope);
    removeTimedoutWorkingRequests();
}

void CComMan::slotUnmapRequestMsg(ptrCXmlMessage a_ptrMsg)
{
    if (!a_ptrMsg) {
        log([&] { return QStringLiteral("CComman::slotUnmapRequestMsg() EMPTY msg"); });
        return;
    }
    std::unique_lock lock(m_objBookLock);
    for (auto it = m_mapWorkingRequests.begin(); it != m_mapWorkingRequests.end(); ++it) {
        if ((*it)->getConnectionId() != a_ptrMsg->getConnectionId() ||
            (*it)->getMessageID() != a_ptrMsg->getMessageID())
            continue;
        log([&] {
            return QStringLiteral(
                       "CComman::slotUnmapRequestMsg(ContId: %1) because of Reply-msg; MsgId: %2, ConnectionId: %3")
                .arg(it.key())
                .arg(a_ptrMsg->getMessageID())
                .arg(a_ptrMsg->getConnectionId());
        });
        m_mapWorkingRequests.erase(it);
        return;
    }
}

void CComMan::removeTimedoutWorkingRequests()
{
    const quint64 u64Now = Platform::nowMonotonicUs();
    std::unique_lock lock(m_objBookLock);
    if (u64Now <= m_u64LastCleanup + s_u64CleanupCycleUs || m_mapWorkingRequests.isEmpty())
        return;
    m_u64LastCleanup = u64Now;
    for (auto it = m_mapWorkingRequests.begin(); it != m_mapWorkingRequests.end();) {
        const quint64 u64Deadline = (*it)->getTimeout();
        if (u64Deadline + s_u64CleanupCycleUs >= u64Now) {
            ++it;
            continue;
        }
        log([&] {
            return QStringLiteral("CComman::removeTimedoutWorkingRequests(ContId: %1, MsgId: %2, ConnectionId: %3)")
                .arg(it.key())
                .arg((*it)->getMessageID())
                .arg((*it)->getConnectionId());
        });
        it = m_mapWorkingRequests.erase(it);
    }
}

void CComMan::slotRemoveSpontaneousRequest(quint32 a_u32ContinuousMsgId)
{
    log([&] { return QStringLiteral("CComman::slotRemoveSpontaneousRequest(%1)").arg(a_u32ContinuousMsgId); });
    std::unique_lock lock(m_objBookLock);
    m_mapWorkingRequests.remove(a_u32ContinuousMsgId);
}

void CComMan::slotRouteTimeoutInc(quint32 a_ulContinuousMsgId, quint64 a_ullNewTimeoutTimestamp)
{
    if (a_ulContinuousMsgId == 0)
        return;
    log([&] {
        return QStringLiteral("CComMan::slotRouteTimeoutInc() ContId: %1, Timestamp: %2")
            .arg(a_ulContinuousMsgId)
            .arg(a_ullNewTimeoutTimestamp);
    });
    std::unique_lock lock(m_objBookLock);
    const ptrCXmlMessage ptrEntry = m_mapWorkingRequests.value(a_ulContinuousMsgId);
    if (!ptrEntry)
        return;
    const quint64 u64Deadline = ptrEntry->getTimeout();
    if (a_ullNewTimeoutTimestamp <= u64Deadline) {
        log([&] {
            return QStringLiteral(
                       "CComMan::RouteTimeoutInc(): Msg %1/[%2] needs no increment (timestamp is big enough)")
                .arg(ptrEntry->getMessageID())
                .arg(a_ulContinuousMsgId);
        });
        return;
    }
    quint64 u64Increment = a_ullNewTimeoutTimestamp - u64Deadline;
    if (u64Increment > CXmlMessage::m_uiMaxAvailableTime) {
        u64Increment = CXmlMessage::m_uiMaxAvailableTime;
        log([&] {
            return QStringLiteral("CComMan::RouteTimeoutInc(): correction of the value! (difference is to big)");
        });
    } else {
        log([&] {
            return QStringLiteral("CComMan::RouteTimeoutInc(Msg %1/[%2]): the calculated timeout-increment-value: %3")
                .arg(ptrEntry->getMessageID())
                .arg(a_ulContinuousMsgId)
                .arg(u64Increment);
        });
    }
    const ptrCXmlMessage ptrLag = ptrEntry->generateTimeoutIncrementMsg(quint32(u64Increment), true);
    if (ptrLag) {
        ptrLag->updateRequestParent();
        log([&] {
            return QStringLiteral(
                       "CComMan::RouteTimeoutInc(): Msg %1/[%2] induce TimeoutInc to Msg %3 on connection (%4)!")
                .arg(ptrEntry->getMessageID())
                .arg(a_ulContinuousMsgId)
                .arg(ptrLag->getMessageID())
                .arg(ptrLag->getConnectionId());
        });
        SlotSendToOneClient(ptrLag, 0);
    }
    incTimeoutAtAllWaitingRequests(quint32(u64Increment));
}

void CComMan::slotIncTimeoutOfAllWaitingRequests(quint32 a_u32ContinuousMsgId, quint32 a_u32TimeoutInc)
{
    if (a_u32ContinuousMsgId == 0)
        return;
    log([&] {
        return QStringLiteral("CComMan::slotIncTimeoutOfAllWaitingRequests() ContId: %1, Timevalue: %2")
            .arg(a_u32ContinuousMsgId)
            .arg(a_u32TimeoutInc);
    });
    std::unique_lock lock(m_objBookLock);
    if (m_mapWorkingRequests.contains(a_u32ContinuousMsgId))
        incTimeoutAtAllWaitingRequests(a_u32TimeoutInc);
}

void CComMan::incTimeoutAtAllWaitingRequests(quint32 a_u32Increment)
{
    if (a_u32Increment == 0)
        return;
    QList<ptrCXmlMessage> lstLags;
    {
        std::unique_lock lock(m_objRequestLock);
        for (const ptrCXmlMessage& ptrWaiting : qAsConst(m_objRequests)) {
            const ptrCXmlMessage ptrLag = ptrWaiting->generateTimeoutIncrementMsg(a_u32Increment, true);
            if (!ptrLag)
                continue;
            ptrLag->updateRequestParent();
            log([&] {
                return QStringLiteral(
                           "CComMan::incTimeoutAtAllWaitingRequests(ContId: %1, MsgId: %2, ConnectionId: %3) "
                           "TimeoutIncrement: %4")
                    .arg(ptrWaiting->getContinuousId())
                    .arg(ptrWaiting->getMessageID())
                    .arg(ptrWaiting->getConnectionId())
                    .arg(a_u32Increment);
            });
            lstLags.append(ptrLag);
        }
    }
    for (const ptrCXmlMessage& ptrLag : qAsConst(lstLags))
        SlotSendToOneClient(ptrLag, 0);
}
}  // namespace XmlCommunication

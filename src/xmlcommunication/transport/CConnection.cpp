#include "CConnection.h"
#include "../../xmlcommon/CXmlElement_p.h"
#include "../../xmlcommon/ThreadChecker_p.h"

#include "CComMan.h"
#include "CXmlSocketReader.h"

#include <OrvexXmlInterface/platform/Platform.h>
#include <OrvexXmlInterface/xmlcommon/Tagnames.h>
#include <OrvexXmlInterface/xmlcommon/XmlTreeTools.h>
#include <OrvexXmlInterface/xmlcommunication/converters/CFilterConverter.h>
#include <OrvexXmlInterface/xmlcommunication/converters/LayerConverters.h>
#include <OrvexXmlInterface/xmlcommunication/services/CDebugCenter.h>

#include <QtCore/QTimer>
#include <QtNetwork/QHostAddress>
#include <QtNetwork/QTcpSocket>

#include <mutex>

using namespace XmlCommon;

namespace XmlCommunication
{
namespace
{
// Bytes a batch of messages collects before they are handed to the system.
const qint64 s_llBatchFlushBytes = 256 * 1024;
const QString s_strClass = QStringLiteral("CConnection");
const QString s_strLogRequestsRcv = QStringLiteral("LogRequests_Rcv");
const QString s_strLogRepliesRcv = QStringLiteral("LogReplies_Rcv");
const QString s_strLogEventsRcv = QStringLiteral("LogEvents_Rcv");
const QString s_strLogRequestsSnd = QStringLiteral("LogRequests_Snd");
const QString s_strLogRepliesSnd = QStringLiteral("LogReplies_Snd");
const QString s_strLogEventsSnd = QStringLiteral("LogEvents_Snd");
const QString s_strLogSocketStatus = QStringLiteral("LogSocketStatus");
const QString s_strSenderWatchdog = QStringLiteral("SenderWatchdog");
const QString s_strProcessingTime = QStringLiteral("ProcessingTime");
const QString s_strTimeChecker = QStringLiteral("TimeChecker");
const QString s_strMsgTimeStat = QStringLiteral("MsgTimeStat");
const QString s_strOnceOnly = QStringLiteral("OnceOnlyOutput");
const QStringList s_lstLogFlags{s_strLogRequestsRcv, s_strLogRepliesRcv, s_strLogEventsRcv,   s_strLogRequestsSnd,
                                s_strLogRepliesSnd,  s_strLogEventsSnd,  s_strLogSocketStatus};

const QByteArray s_baRequestTreeAttr("requestTree");
const QByteArray s_baProcessingTime("processingTime");
const QByteArray s_baTime("time");
const QByteArray s_baPlaceholder("XXXXX");

const quint32 s_u32FaultUndeliverable = 0x02400008;
const unsigned int s_uiLagAtHeader = 6000000;
const int s_iMaxStalls = 10;
// How long a peer has to read to the end and close its side once this end has stopped sending.
const int s_iPeerCloseMs = 1000;

QString zeroOne()
{
    return QStringLiteral("%1,%2").arg(QStringLiteral("0"), QStringLiteral("1"));
}

QString monotonicText()
{
    return QString::number(Platform::nowMonotonicUs());
}

bool isRequest(CXmlMessage::eSERVICE_TYPES a_eType)
{
    return a_eType == CXmlMessage::REQUEST_GET || a_eType == CXmlMessage::REQUEST_SET;
}

bool isReply(CXmlMessage::eSERVICE_TYPES a_eType)
{
    return a_eType == CXmlMessage::REPLY_GET || a_eType == CXmlMessage::REPLY_SET;
}

}  // namespace

CMsgSender::CMsgSender(CConnection* a_pConnection, unsigned int a_uiPieceSize)
    : m_pConnection(a_pConnection), m_uiPieceSize(a_uiPieceSize)
{}

CMsgSender::~CMsgSender()
{
    m_pConnection = nullptr;
}

void CMsgSender::processBuffer(QByteArray& a_baBuffer)
{
    if (!m_pConnection)
        return;
    int iTaken = 0;
    while (a_baBuffer.size() - iTaken >= int(m_uiPieceSize)) {
        m_pConnection->sendByteArray(a_baBuffer.mid(iTaken, int(m_uiPieceSize)), true);
        iTaken += int(m_uiPieceSize);
    }
    a_baBuffer.remove(0, iTaken);
}

CConnection::CConnection(unsigned int a_uiId, QObject* a_pParent, const QString& a_strDebugName)
    : QObject(a_pParent), CDebugFlags(s_strClass), m_uiConnectionId(a_uiId), m_objReplyLag(a_uiId),
      m_objAliveCheck(a_uiId), m_strDebugName(a_strDebugName), m_objFilter(a_uiId),
      m_ptrTriggers(CTriggerManager::getInstance())
{
    QMap<QString, QString> mapFlags;
    for (const QString& strFlag : s_lstLogFlags)
        mapFlags.insert(strFlag, zeroOne());
    for (const QString& strFlag : {s_strSenderWatchdog, s_strProcessingTime, s_strTimeChecker, s_strMsgTimeStat})
        mapFlags.insert(strFlag, zeroOne());
    registerFlags(mapFlags);
    registerOnceOnlyFlags(
        {{s_strOnceOnly, QStringLiteral("%1,%2").arg(QStringLiteral("Info"), QStringLiteral("AliveCheck"))}});
    followDebugCenter(this);
    getCurrentDbgFlagSetup();
    if (isLogOn())
        log(QStringLiteral("Conn[%1] constructor was called. DbgName: %2 ").arg(m_uiConnectionId).arg(m_strDebugName));

    // The layer's own events always reach the peer.
    CFilterConverter objDefault;
    objDefault.subscribeToComponent(Tag::XmlCommunicationDevice);
    objDefault.setFilterType(CFilterConverter::FILTER_ACCEPT);
    setFilter(objDefault.getFragment());
}

CConnection::~CConnection()
{
    if (isLogOn())
        log(QStringLiteral("Conn[%1] destructor was called.").arg(m_uiConnectionId));
    disconnect(this, nullptr, nullptr, nullptr);
    m_ptrTriggers->removeAllRequests(this);
    delete m_pSender;
    delete m_pReader;
    if (m_pSocket) {
        m_pSocket->disconnect(this);
        m_pSocket->abort();
        delete m_pSocket;
    }
}

void CConnection::setConnectTimeout(unsigned int a_uiMs)
{
    m_uiConnectTimeout = qMin(a_uiMs, 2147483647u);
}

void CConnection::setRetryCycle(unsigned int a_uiSeconds)
{
    if (a_uiSeconds >= 5 && a_uiSeconds < 300)
        m_uiRetryCycle = a_uiSeconds;
}

void CConnection::setTimeoutIncRouter(CComMan* a_pRouter)
{
    m_pRouter = a_pRouter;
    if (!a_pRouter)
        return;
    connect(this, &CConnection::SignalRouteTimeoutInc, a_pRouter, &CComMan::slotRouteTimeoutInc, Qt::QueuedConnection);
    connect(this, &CConnection::SignalIncTimeoutOfAllWaitingRequests, a_pRouter,
            &CComMan::slotIncTimeoutOfAllWaitingRequests, Qt::QueuedConnection);
}

void CConnection::setLimits(const struConnectionLimits& a_objLimits)
{
    m_objLimits = a_objLimits;
}

void CConnection::init(const struSocketInfo& a_objInfo)
{
    if (m_pSocket) {
        if (a_objInfo.eType == struSocketInfo::ekSID_IPADDRESS_AND_PORT)
            log(QStringLiteral("Conn[%1]::init(); FAILURE!! init() was called twice! The socket is already set! "
                               "(ekSID_IPADDRESS_AND_PORT, %2:%3)")
                    .arg(m_uiConnectionId)
                    .arg(a_objInfo.strIpAddress)
                    .arg(a_objInfo.usPort));
        else
            log(QStringLiteral("Conn[%1]::init(); FAILURE!! init() was called twice! The socket is already set! "
                               "(ekSID_SOCKET_DESCRIPTOR)")
                    .arg(m_uiConnectionId));
        return;
    }
    m_objTimeStatistics.init(m_uiConnectionId);
    m_pSocket = new QTcpSocket;
    m_objSocketInfo = a_objInfo;
    m_pReader = new CXmlSocketReader(m_uiConnectionId);
    m_pReader->setParent(this);
    m_pReader->setLimits(m_objLimits);
    m_pSender = new CMsgSender(this, m_pReader->getBufferSize());
    connectServices();
    m_pReader->init(m_pSocket);
    if (a_objInfo.eType == struSocketInfo::ekSID_SOCKET_DESCRIPTOR)
        initDescriptorSocket();
    else
        initAddressSocket();
    if (CAliveCheckManager::isProcessDisabled())
        slotAliveCheckProcessDisabled();
    getCurrentDbgFlagSetup();
}

void CConnection::connectServices()
{
    connect(m_pSocket, &QAbstractSocket::stateChanged, this, &CConnection::SlotSocketStateChanged);
    connect(m_pSocket, &QAbstractSocket::errorOccurred, this, &CConnection::SlotSocketError);
    connect(m_pReader, &CXmlSocketReader::SignalParseError, this, &CConnection::SlotParseError);
    // Handled as the parser completes it; the reader is deleted only later (finish), never under it.
    connect(m_pReader, &CXmlSocketReader::SignalNewJob, this, &CConnection::SlotNewJob);
    connect(m_pReader, &CXmlSocketReader::SignalNewMsgHeader, this, &CConnection::SlotNewMsgHeader);
    connect(m_pReader, &CXmlSocketReader::SignalStreamLimitExceeded, this, &CConnection::slotStreamLimitExceeded);
    connect(&m_objReplyLag, &CReplyLagMsgManager::SignalMsgToSend, this, &CConnection::SlotSendMessage);
    connect(&m_objAliveCheck, &CAliveCheckManager::signalCheckHasFailed, this, &CConnection::SlotAliveCheckHasFailed,
            Qt::QueuedConnection);
    connect(&m_objAliveCheck, &CAliveCheckManager::signalSendMessage, this, &CConnection::SlotSendMessage,
            Qt::QueuedConnection);
    connect(&m_objAliveCheck, &CAliveCheckManager::signalInfoHasChanged, this,
            &CConnection::slotAliveCheckInfoHasChanged, Qt::QueuedConnection);
    connect(&m_objAliveCheck, &CAliveCheckManager::signalProcessDisabled, this,
            &CConnection::slotAliveCheckProcessDisabled, Qt::QueuedConnection);
    connect(&m_objTimeStatistics, &CMsgTimeStatisticsManager::SignalLogText, this, &CConnection::slotLogText);
}

void CConnection::initDescriptorSocket()
{
    logIf(m_bLogSocketStatus, [&] {
        return QStringLiteral("Conn[%1]::init() was called! (ekSID_SOCKET_DESCRIPTOR)").arg(m_uiConnectionId);
    });
    m_pSocket->setSocketDescriptor(m_objSocketInfo.typSocketDescriptor, QAbstractSocket::ConnectedState,
                                   QIODevice::ReadWrite);
    m_eConnectionSide = eCONNECTION_SIDE_SERVER;
    m_pSocket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    const bool bLocal = m_pSocket->peerAddress().isLoopback();
    m_objAliveCheck.setConnectionSide(m_eConnectionSide, bLocal);
    SlotSocketStateChanged(m_pSocket->state());
}

void CConnection::initAddressSocket()
{
    logIf(m_bLogSocketStatus, [&] {
        return QStringLiteral("Conn[%1]::init() was called! (ekSID_IPADDRESS_AND_PORT, %2:%3)")
            .arg(m_uiConnectionId)
            .arg(m_objSocketInfo.strIpAddress)
            .arg(m_objSocketInfo.usPort);
    });
    m_eConnectionSide = eCONNECTION_SIDE_CLIENT;
    const bool bLocal = m_objSocketInfo.strIpAddress == QHostAddress(QHostAddress::LocalHost).toString();
    m_objAliveCheck.setConnectionSide(m_eConnectionSide, bLocal);
    m_pSocket->connectToHost(m_objSocketInfo.strIpAddress, m_objSocketInfo.usPort, QIODevice::ReadWrite,
                             QAbstractSocket::AnyIPProtocol);
    if (m_uiConnectTimeout != 0 && !m_pSocket->waitForConnected(int(m_uiConnectTimeout))) {
        logIf(m_bLogSocketStatus, [&] {
            return QStringLiteral("Conn[%1]::init(); Socket->waitForConnected(%2 ms) has failed!")
                .arg(m_uiConnectionId)
                .arg(m_uiConnectTimeout);
        });
        SlotSocketError(QAbstractSocket::SocketTimeoutError);
        SlotSocketStateChanged(QAbstractSocket::UnconnectedState);
    }
}

void CConnection::finish(bool)
{
    m_ptrTriggers->removeAllRequests(this);
    if (m_pReader) {
        m_pReader->disconnect(this);
        if (m_pSocket)
            m_pSocket->disconnect(m_pReader);
        // A message being handled may have ended the connection while the reader parses.
        m_pReader->deleteLater();
        m_pReader = nullptr;
    }
    m_objReplyLag.disconnect(this);
    m_objAliveCheck.disconnect(this);
    m_objTimeStatistics.disconnect(this);
    m_bFinishing = true;
    m_objSocketInfo.bRetryConnection = false;
    if (m_pSocket && m_pSocket->state() == QAbstractSocket::ConnectedState)
        closeGracefully();
    else if (m_pSocket && m_pSocket->state() != QAbstractSocket::UnconnectedState)
        m_pSocket->disconnectFromHost();
    else
        emit SignalSocketStateChanged(m_uiConnectionId, QAbstractSocket::UnconnectedState);
}

void CConnection::closeGracefully()
{
    // A socket closed while received data lie unread is reset, and a reset makes the peer's
    // system drop what this end sent and the peer has not read yet. So: whatever the peer still
    // sends is read and dropped; once all is written the sending direction ends; the peer then
    // reads to the end, closes its side, and the end of its stream closes this socket.
    connect(m_pSocket, &QIODevice::readyRead, this, [this] { m_pSocket->readAll(); });
    m_pSocket->readAll();
    connect(m_pSocket, &QIODevice::bytesWritten, this, [this] {
        if (m_pSocket->bytesToWrite() == 0)
            endSending();
    });
    if (m_pSocket->bytesToWrite() == 0)
        endSending();
    else
        m_pSocket->flush();
}

void CConnection::endSending()
{
    if (m_bSendingEnded)
        return;
    m_bSendingEnded = true;
    if (!Platform::shutdownSending(m_pSocket->socketDescriptor())) {
        m_pSocket->disconnectFromHost();
        return;
    }
    QTimer::singleShot(s_iPeerCloseMs, this, [this] {
        if (m_pSocket && m_pSocket->state() != QAbstractSocket::UnconnectedState)
            m_pSocket->abort();
    });
}

bool CConnection::isConnected() const
{
    return m_pSocket && m_pSocket->state() == QAbstractSocket::ConnectedState;
}

bool CConnection::anyLogging() const
{
    return isLogOn() || m_bLogRequestsRcv || m_bLogRepliesRcv || m_bLogEventsRcv || m_bLogRequestsSnd ||
           m_bLogRepliesSnd || m_bLogEventsSnd || m_bLogSocketStatus;
}

void CConnection::log(const QString& a_strText) const
{
    Platform::debugOutput(a_strText);
}

QString CConnection::dbgText(const ptrCXmlMessage& a_ptrMsg, CXmlMessage::eMESSAGE_DIRECTION a_eDir) const
{
    return a_ptrMsg ? a_ptrMsg->toDbgString(a_eDir) : QString();
}

QString CConnection::socketStateToString(QAbstractSocket::SocketState a_eState)
{
    switch (a_eState) {
    case QAbstractSocket::UnconnectedState: return QStringLiteral("UnconnectedState");
    case QAbstractSocket::HostLookupState: return QStringLiteral("HostLookupState");
    case QAbstractSocket::ConnectingState: return QStringLiteral("ConnectingState");
    case QAbstractSocket::ConnectedState: return QStringLiteral("ConnectedState");
    case QAbstractSocket::BoundState: return QStringLiteral("BoundState");
    case QAbstractSocket::ListeningState: return QStringLiteral("ListeningState");
    case QAbstractSocket::ClosingState: return QStringLiteral("ClosingState");
    }
    return QStringLiteral(">Unknown state<");
}

void CConnection::SlotSocketStateChanged(QAbstractSocket::SocketState a_eState)
{
    m_eLastState = a_eState;
    if (a_eState == QAbstractSocket::UnconnectedState) {
        if (m_objSocketInfo.bRetryConnection && !m_bFinishing)
            QTimer::singleShot(int(m_uiRetryCycle * 1000), this, &CConnection::SlotTryConnection);
        else if (m_bFinishing && m_pSocket)
            disconnect(m_pSocket, &QAbstractSocket::stateChanged, nullptr, nullptr);
        cleanPendingReplyMap();
    } else if (a_eState == QAbstractSocket::ConnectedState) {
        m_pSocket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        const struClientData objInfo = getInfo();
        emit SignalConnectionInfo(m_uiConnectionId, objInfo);
        m_objTimeStatistics.setInfo(objInfo);
    }
    logIf(m_bLogSocketStatus, [&] {
        return QStringLiteral("Conn[%1]::SlotSocketStateChanged(%2) was called!")
            .arg(m_uiConnectionId)
            .arg(socketStateToString(a_eState));
    });
    emit SignalSocketStateChanged(m_uiConnectionId, a_eState);
    m_objAliveCheck.slotSocketState(a_eState);
}

void CConnection::SlotSocketError(QAbstractSocket::SocketError a_eError)
{
    if (a_eError == QAbstractSocket::SocketTimeoutError)
        return;
    static const QMap<int, const char*> s_mapNames{
        {QAbstractSocket::UnknownSocketError, "UnknownSocketError"},
        {QAbstractSocket::ConnectionRefusedError, "ConnectionRefusedError"},
        {QAbstractSocket::RemoteHostClosedError, "RemoteHostClosedError"},
        {QAbstractSocket::HostNotFoundError, "HostNotFoundError"},
        {QAbstractSocket::SocketAccessError, "SocketAccessError"},
        {QAbstractSocket::SocketResourceError, "SocketResourceError"},
        {QAbstractSocket::DatagramTooLargeError, "DatagramTooLargeError"},
        {QAbstractSocket::NetworkError, "NetworkError"},
        {QAbstractSocket::AddressInUseError, "AddressInUseError"},
        {QAbstractSocket::SocketAddressNotAvailableError, "SocketAddressNotAvailableError"},
        {QAbstractSocket::UnsupportedSocketOperationError, "UnsupportedSocketOperationError"},
        {QAbstractSocket::ProxyAuthenticationRequiredError, "ProxyAuthenticationRequiredError"},
    };
    logIf(m_bLogSocketStatus, [&] {
        return QStringLiteral("Conn[%1]::SlotSocketError(%2) was called!")
            .arg(m_uiConnectionId)
            .arg(QLatin1String(s_mapNames.value(a_eError, "UNKNOWN")));
    });
    emit SignalSocketError(m_uiConnectionId, a_eError);
}

void CConnection::SlotTryConnection()
{
    if (m_objSocketInfo.bRetryConnection && !m_bFinishing && m_pSocket &&
        m_pSocket->state() == QAbstractSocket::UnconnectedState)
        m_pSocket->connectToHost(m_objSocketInfo.strIpAddress, m_objSocketInfo.usPort, QIODevice::ReadWrite,
                                 QAbstractSocket::AnyIPProtocol);
}

void CConnection::SlotStopConnectionRetry()
{
    m_objSocketInfo.bRetryConnection = false;
}

void CConnection::slotStreamLimitExceeded(QString a_strReason)
{
    log(QStringLiteral("Conn[%1] to %2:%3 (%4) is closed: %5")
            .arg(m_uiConnectionId)
            .arg(m_pSocket ? m_pSocket->peerAddress().toString() : QString())
            .arg(m_pSocket ? m_pSocket->peerPort() : 0)
            .arg(m_strPeerAppName, a_strReason.trimmed()));
    // What is queued for the peer (the parser-error reply among it) still goes out.
    if (m_pSocket)
        m_pSocket->disconnectFromHost();
}

struClientData CConnection::getInfo()
{
    struClientData objInfo;
    objInfo.ulConnectionId = m_uiConnectionId;
    objInfo.strAliveCheckInfo = m_objAliveCheck.getDebugInfo();
    if (!m_pSocket)
        return objInfo;
    objInfo.strLocalAddress = m_pSocket->localAddress().toString();
    objInfo.usLocalPort = m_pSocket->localPort();
    objInfo.strLocalAppName = m_strDebugName;
    objInfo.strPeerAddress = m_pSocket->peerAddress().toString();
    objInfo.usPeerPort = m_pSocket->peerPort();
    objInfo.strPeerAppName = m_strPeerAppName;
    objInfo.ulThreadId = quint32(Platform::currentThreadId());
    if (m_bLogSocketStatus)
        log(QStringLiteral("Conn[%1]::SocketInfo:\n").arg(m_uiConnectionId) +
            QStringLiteral("          LocalAddr : %1, LocalPort: %2\n")
                .arg(objInfo.strLocalAddress)
                .arg(objInfo.usLocalPort) +
            QStringLiteral("          PeerAddr  : %1, PeerPort : %2, Appname: %3\n")
                .arg(objInfo.strPeerAddress)
                .arg(objInfo.usPeerPort)
                .arg(objInfo.strPeerAppName) +
            QStringLiteral("          AliveCheck: %1").arg(objInfo.strAliveCheckInfo));
    const unsigned int uiPeerVersion = m_objAliveCheck.getVersionOfPeer();
    if (uiPeerVersion != 0 && m_uiLastPeerVersion == 0) {
        m_uiLastPeerVersion = uiPeerVersion;
        if (m_eConnectionSide == eCONNECTION_SIDE_CLIENT && uiPeerVersion == 4) {
            m_bSuppressRequestTrees = true;
            sendRequestTreeSuppression();
        }
    }
    return objInfo;
}

void CConnection::setFilter(CMsgFragment a_objFragment)
{
    CFilterConverter objFilter(a_objFragment);
    CFilterConverter::eFILTER_TYPES eType = CFilterConverter::FILTER_ACCEPT;
    objFilter.getFilterType(eType);
    const ptrCXmlElement ptrTree = objFilter.getFilterTree();
    if (!ptrTree)
        return;
    {
        std::unique_lock lock(m_objFilterMutex);
        m_objFilter.setFilter(ptrTree, eType == CFilterConverter::FILTER_ACCEPT);
    }
    emit SignalFiltertree(m_uiConnectionId, eType == CFilterConverter::FILTER_ACCEPT ? ptrTree : ptrCXmlElement());
}

void CConnection::getFilter(CMsgFragment a_objFragment)
{
    std::unique_lock lock(m_objFilterMutex);
    m_objFilter.getFilter(a_objFragment);
}

void CConnection::SlotParseError(QString a_strText)
{
    if (anyLogging())
        log(QStringLiteral("Conn[%1]::SlotParseError() is called!\n>%2<").arg(m_uiConnectionId).arg(a_strText));
    ptrCXmlMessage ptrFault(new CXmlMessage(m_uiConnectionId));
    ptrFault->setServiceType(CXmlMessage::REPLY_GET);
    CXmlFaultConverter objFault;
    objFault.setXmlParserErrorText(a_strText);
    ptrFault->addFragment(objFault.getFragment());
    QByteArray baText;
    unsigned int uiUncompressed = 0;
    ptrFault->getElementTree()->toByteArray(baText, uiUncompressed);
    sendByteArray(baText, false);
    emit SignalXmlParserError(m_uiConnectionId, a_strText, GLOBAL_XML_TYPES::ekXCD_OWN_PARSER);
}

void CConnection::SlotNewMsgHeader(ptrCXmlMessage a_ptrMsg)
{
    const CXmlMessage::eSERVICE_TYPES eType = a_ptrMsg->getServiceType();
    if (isRequest(eType)) {
        quint64 u64Available = a_ptrMsg->getAvailableTime();
        if (u64Available == 0)
            u64Available = CXmlMessage::m_uiMaxAvailableTime;
        if (u64Available < quint64(getMinProcessingTime()) + 1000000u) {
            logIf(m_bLogRequestsRcv, [&] {
                return QStringLiteral(
                           "Conn[%1]::SlotNewJob() Request (%2) with not enough AvailableTime => TimeoutInc is sent!")
                    .arg(m_uiConnectionId)
                    .arg(a_ptrMsg->getMessageID());
            });
            sendByteArray(QStringLiteral("<Reply id=\"%1\" type=\"lag\" time=\"%2\"/>")
                              .arg(a_ptrMsg->getMessageID())
                              .arg(s_uiLagAtHeader)
                              .toLatin1(),
                          false);
            u64Available += s_uiLagAtHeader;
        }
        // One second before the sender gives up, so that the answer still reaches it.
        a_ptrMsg->setTimeout(a_ptrMsg->getCreationTimestamp(CXmlMessage::TIMESTAMP_MONOTONIC) - 1000000u +
                             u64Available);
    } else if (isReply(eType)) {
        const quint32 u32Continuous = removePendingReply(a_ptrMsg->getMessageID());
        if (m_bMsgTimeStat && u32Continuous != 0)
            m_objTimeStatistics.setReplayRequestLink(a_ptrMsg->getContinuousId(), u32Continuous);
        logIf(m_bLogSocketStatus, [&] {
            return QStringLiteral("Conn[%1]::SlotNewMsgHeader(); Called removePendingReply(%2)!")
                .arg(m_uiConnectionId)
                .arg(a_ptrMsg->getMessageID());
        });
    }
}

void CConnection::SlotNewJob(ptrCXmlMessage a_ptrMsg)
{
    if (!m_bFirstMessage && m_eConnectionSide == eCONNECTION_SIDE_CLIENT)
        queryDescription();
    m_bFirstMessage = true;
    m_objAliveCheck.slotActivityDetected();
    const CXmlMessage::eSERVICE_TYPES eType = a_ptrMsg->getServiceType();
    if (isRequest(eType)) {
        logIf(m_bLogRequestsRcv, [&] {
            return QStringLiteral("\nConn[%1]::SlotNewJob() was called at %2!%3")
                .arg(m_uiConnectionId)
                .arg(monotonicText(), dbgText(a_ptrMsg, CXmlMessage::DIRECTION_RECEIVED));
        });
        if (m_bMsgTimeStat)
            m_objTimeStatistics.addNewRequestMsg(CMsgTimeStatisticsManager::eMRT_RECV, a_ptrMsg);
        if (handleCommDeviceFragments(a_ptrMsg))
            return;
        m_objReplyLag.addNewRequestMsg(a_ptrMsg);
        handOn(a_ptrMsg, GLOBAL_XML_TYPES::ekMT_REQUEST);
    } else if (isReply(eType)) {
        logIf(m_bLogRepliesRcv, [&] {
            return QStringLiteral("\nConn[%1]::SlotNewJob() was calledat %2!%3")
                .arg(m_uiConnectionId)
                .arg(monotonicText(), dbgText(a_ptrMsg, CXmlMessage::DIRECTION_RECEIVED));
        });
        if (m_bMsgTimeStat)
            m_objTimeStatistics.handleReplyMsg(CMsgTimeStatisticsManager::eMRT_RECV, a_ptrMsg, 0);
        const int iBefore = a_ptrMsg->getNumberOfFragments();
        handleCommDeviceFragments(a_ptrMsg);
        if (iBefore > 0 && a_ptrMsg->getNumberOfFragments() == 0) {
            logIf(m_bLogRepliesRcv, [&] {
                return QStringLiteral("Conn[%1]::SlotNewJob() : empty msg after removing the CommDevice-fragments.")
                    .arg(m_uiConnectionId);
            });
            return;
        }
        handOn(a_ptrMsg, GLOBAL_XML_TYPES::ekMT_REPLY);
    } else if (eType == CXmlMessage::BROADCAST) {
        handleCommDeviceFragments(a_ptrMsg);
        if (a_ptrMsg->getNumberOfFragments() == 0) {
            logIf(m_bLogEventsRcv, [&] {
                return QStringLiteral("\nConn[%1]::SlotNewJob() was called!\nCompletely CommDevice-fragments...%2")
                    .arg(m_uiConnectionId)
                    .arg(dbgText(a_ptrMsg, CXmlMessage::DIRECTION_RECEIVED));
            });
            return;
        }
        logIf(m_bLogEventsRcv, [&] {
            return QStringLiteral("\nConn[%1]::SlotNewJob() was called!%2")
                .arg(m_uiConnectionId)
                .arg(dbgText(a_ptrMsg, CXmlMessage::DIRECTION_RECEIVED));
        });
        handOn(a_ptrMsg, GLOBAL_XML_TYPES::ekMT_EVENT);
    } else if (eType == CXmlMessage::REPLY_LAG) {
        logIf(m_bLogRepliesRcv, [&] {
            return QStringLiteral("\nConn[%1]::SlotNewJob() was called at %2!%3")
                .arg(m_uiConnectionId)
                .arg(monotonicText(), dbgText(a_ptrMsg, CXmlMessage::DIRECTION_RECEIVED));
        });
        const quint32 u32Continuous = incPendingReplyTimeout(a_ptrMsg->getMessageID(), a_ptrMsg->getAvailableTime());
        if (m_bMsgTimeStat)
            m_objTimeStatistics.addReplyLag(CMsgTimeStatisticsManager::eRLT_RECV, a_ptrMsg, u32Continuous);
        handOn(a_ptrMsg, GLOBAL_XML_TYPES::ekMT_REPLY);
    }
}

void CConnection::handOn(const ptrCXmlMessage& a_ptrMsg, GLOBAL_XML_TYPES::eMESSAGE_TYPES a_eType)
{
    // The host takes the message on a thread of its own, through the manager's queues.
    OXI_TSAN_RELEASE(a_ptrMsg.data());
    emit SignalNewJob(a_ptrMsg, a_eType);
}

// Events stay in the outbox, where a burst is written in one go; a request or reply waits for
// its answer or its requester, and the hand-over to this thread is a good part of a round trip.
bool CConnection::sendFromOutside(const ptrCXmlMessage& a_ptrMsg, quint32 a_u32ContinuousId)
{
    const CXmlMessage::eSERVICE_TYPES eType = a_ptrMsg->getServiceType();
    if ((!isRequest(eType) && !isReply(eType)) || !m_pSocket || m_bFinishing || !isConnected() ||
        m_pSocket->bytesToWrite() != 0 || !m_baOutsideRest.isEmpty() || anyLogging() || m_bMsgTimeStat ||
        m_bProcessingTime || a_ptrMsg->getNumberOfFragments() == 0)
        return false;
    m_bOutside = true;
    SlotSendMessage(a_ptrMsg, a_u32ContinuousId);
    m_bOutside = false;
    if (!m_baOutsideRest.isEmpty())
        QMetaObject::invokeMethod(
            this, [this] { writeOutsideRest(); }, Qt::QueuedConnection);
    return true;
}

void CConnection::settleOutsideWork()
{
    const QList<ptrCXmlMessage> lstBookings = std::exchange(m_lstOutsideBookings, {});
    for (const ptrCXmlMessage& ptrRequest : lstBookings)
        emit SignalAddSpontaneousRequestMsg(ptrRequest);
}

void CConnection::writeOutsideRest()
{
    QByteArray baRest;
    baRest.swap(m_baOutsideRest);
    sendByteArray(baRest, true);
}

void CConnection::sendBatch(const std::vector<std::pair<ptrCXmlMessage, quint32>>& a_vecMessages)
{
    // A single message goes out as it is written.
    m_bInBatch = a_vecMessages.size() > 1;
    m_llBatchBytes = 0;
    for (const auto& objEntry : a_vecMessages)
        SlotSendMessage(objEntry.first, objEntry.second);
    m_bInBatch = false;
    m_llBatchBytes = 0;
    if (m_pSocket)
        m_pSocket->flush();
}

void CConnection::SlotSendMessage(ptrCXmlMessage a_ptrMsg, quint32 a_ulContinuousMsgId)
{
    if (!a_ptrMsg || a_ptrMsg->isNull()) {
        if (anyLogging())
            log(QStringLiteral("Conn[%1]::SlotSendMessage() was called with an empty msg (FAILURE).")
                    .arg(m_uiConnectionId));
        return;
    }
    if (a_ptrMsg->getElementTree()->tagname() == Tag::Destructor) {
        if (anyLogging())
            log(QStringLiteral("Conn[%1]::SlotSendMessage() was called with a DESTRUCTOR-msg.").arg(m_uiConnectionId));
        finish();
        return;
    }
    switch (a_ptrMsg->getServiceType()) {
    case CXmlMessage::REQUEST_GET:
    case CXmlMessage::REQUEST_SET: sendRequest(a_ptrMsg, a_ulContinuousMsgId); break;
    case CXmlMessage::REPLY_GET:
    case CXmlMessage::REPLY_SET: sendReply(a_ptrMsg, a_ulContinuousMsgId); break;
    case CXmlMessage::BROADCAST: sendEvent(a_ptrMsg); break;
    case CXmlMessage::REPLY_LAG: sendLag(a_ptrMsg); break;
    default: break;
    }
}

void CConnection::sendRequest(const ptrCXmlMessage& a_ptrMsg, quint32 a_ulContinuousMsgId)
{
    if (m_bMsgTimeStat)
        m_objTimeStatistics.addNewRequestMsg(CMsgTimeStatisticsManager::eMRT_SEND, a_ptrMsg);
    if (!isConnected() || a_ptrMsg->getNumberOfFragments() == 0) {
        logIf(m_bLogRequestsSnd, [&] {
            return QStringLiteral("\nConn[%1]::SlotSendMessage() was called at %2!\nSocket is NOT connected.%3")
                .arg(m_uiConnectionId)
                .arg(monotonicText(), dbgText(a_ptrMsg, CXmlMessage::DIRECTION_SENDING));
        });
        answerLocally(a_ptrMsg, s_u32FaultUndeliverable);
        return;
    }
    unsigned int uiRemaining = 0;
    quint64 u64Deadline = a_ptrMsg->getTimeout();
    if (u64Deadline == 0) {
        unsigned int uiAvailable = a_ptrMsg->getAvailableTime();
        if (uiAvailable == 0)
            uiAvailable = CXmlMessage::m_uiMaxAvailableTime;
        u64Deadline = Platform::nowMonotonicUs() + uiAvailable;
        a_ptrMsg->setTimeout(u64Deadline);
    } else {
        // At least 1 µs: a request whose time ran out on the way is still sent, and times out.
        uiRemaining = qMax(1u, a_ptrMsg->getRemainingTime());
    }
    {
        std::unique_lock lock(m_objPendingMutex);
        m_mapPending.insert(u64Deadline, {a_ptrMsg, a_ulContinuousMsgId});
    }
    m_ptrTriggers->addRequest(u64Deadline, this);
    logIf(m_bLogRequestsSnd, [&] {
        return QStringLiteral("\nConn[%1]::SlotSendMessage() was called at %2!%3")
            .arg(m_uiConnectionId)
            .arg(monotonicText(), dbgText(a_ptrMsg, CXmlMessage::DIRECTION_SENDING));
    });
    writeMessage(a_ptrMsg, uiRemaining);
    // Booked after the write, off the round trip's path: its reply is read on this thread, later.
    if (m_pRouter && a_ulContinuousMsgId == a_ptrMsg->getContinuousId()) {
        if (m_bOutside)
            m_lstOutsideBookings.append(a_ptrMsg);
        else
            emit SignalAddSpontaneousRequestMsg(a_ptrMsg);
    }
}

void CConnection::sendReply(const ptrCXmlMessage& a_ptrMsg, quint32 a_ulContinuousMsgId)
{
    m_objCutNPaste.pasteFragments(a_ptrMsg);
    m_objReplyLag.handleReplyMsg(a_ptrMsg);
    if (!isConnected()) {
        logIf(m_bLogRepliesSnd, [&] {
            return QStringLiteral("\nConn[%1]::SlotSendMessage() was called!\nSocket is NOT connected.%2")
                .arg(m_uiConnectionId)
                .arg(dbgText(a_ptrMsg, CXmlMessage::DIRECTION_SENDING));
        });
        return;
    }
    logIf(m_bLogRepliesSnd, [&] {
        return QStringLiteral("\nConn[%1]::SlotSendMessage() was called at %2!%3")
            .arg(m_uiConnectionId)
            .arg(monotonicText(), dbgText(a_ptrMsg, CXmlMessage::DIRECTION_SENDING));
    });
    if (m_bMsgTimeStat)
        m_objTimeStatistics.handleReplyMsg(CMsgTimeStatisticsManager::eMRT_SEND, a_ptrMsg, a_ulContinuousMsgId);
    if (m_bProcessingTime) {
        ptrCXmlElement ptrRoot = a_ptrMsg->getElementTree();
        bool bFound = false;
        const QString strOld = ptrRoot->getAttribute(s_baProcessingTime, &bFound);
        ptrRoot->setAttribute(s_baProcessingTime,
                              bFound ? QStringLiteral("%1, XXXXX").arg(strOld) : QString::fromLatin1(s_baPlaceholder));
    }
    writeMessage(a_ptrMsg, 0, m_bProcessingTime);
}

void CConnection::sendEvent(const ptrCXmlMessage& a_ptrMsg)
{
    if (!isConnected()) {
        logIf(m_bLogEventsSnd, [&] {
            return QStringLiteral("\nConn[%1]::SlotSendMessage() was called!\nSocket is NOT connected.%2")
                .arg(m_uiConnectionId)
                .arg(dbgText(a_ptrMsg, CXmlMessage::DIRECTION_SENDING));
        });
        return;
    }
    logIf(m_bLogEventsSnd, [&] {
        return QStringLiteral("\nConn[%1]::SlotSendMessage() was called!%2")
            .arg(m_uiConnectionId)
            .arg(dbgText(a_ptrMsg, CXmlMessage::DIRECTION_SENDING));
    });
    writeMessage(a_ptrMsg, 0);
}

void CConnection::sendLag(const ptrCXmlMessage& a_ptrMsg)
{
    // Every lag passes the reply-lag manager, which tells the requester just in time, once.
    if (sender() != &m_objReplyLag && !m_objReplyLag.handleReplyLagMsg(a_ptrMsg)) {
        if (m_bMsgTimeStat)
            m_objTimeStatistics.addReplyLag(CMsgTimeStatisticsManager::eRLT_STORE, a_ptrMsg,
                                            a_ptrMsg->getContinuousId());
        logIf(m_bLogRepliesSnd, [&] {
            return QStringLiteral(
                       "\nConn[%1]::SlotSendMessage() was called at %2!\nMessage is currently catched by the "
                       "ReplyLagManager.%3")
                .arg(m_uiConnectionId)
                .arg(monotonicText(), dbgText(a_ptrMsg, CXmlMessage::DIRECTION_SENDING));
        });
        return;
    }
    if (!isConnected()) {
        logIf(m_bLogRepliesSnd, [&] {
            return QStringLiteral("\nConn[%1]::SlotSendMessage() was called!\nSocket is NOT connected.%2")
                .arg(m_uiConnectionId)
                .arg(dbgText(a_ptrMsg, CXmlMessage::DIRECTION_SENDING));
        });
        return;
    }
    if (m_bMsgTimeStat)
        m_objTimeStatistics.addReplyLag(CMsgTimeStatisticsManager::eRLT_SEND, a_ptrMsg, a_ptrMsg->getContinuousId());
    logIf(m_bLogRepliesSnd, [&] {
        return QStringLiteral("\nConn[%1]::SlotSendMessage() was called at %2!%3")
            .arg(m_uiConnectionId)
            .arg(monotonicText(), dbgText(a_ptrMsg, CXmlMessage::DIRECTION_SENDING));
    });
    writeMessage(a_ptrMsg, 0);
}

bool CConnection::writeMessage(const ptrCXmlMessage& a_ptrMsg, unsigned int a_uiAvailableTime, bool a_bProcessingTime)
{
    // One buffer for the connection's life: its room is allocated once, not per message.
    QByteArray& baBuffer = m_baOutput;
    if (baBuffer.capacity() < int(m_uiOutputReserve))
        baBuffer.reserve(int(m_uiOutputReserve));
    baBuffer.resize(0);
    if (a_bProcessingTime) {
        // The stamp goes into the text: the whole message is serialised first, then patched.
        CMsgSender* pStreaming = m_pSender;
        m_pSender = nullptr;
        messageToByteArray(baBuffer, a_ptrMsg, a_uiAvailableTime);
        m_pSender = pStreaming;
        const quint64 u64Ms =
            (Platform::nowMonotonicUs() - a_ptrMsg->getCreationTimestamp(CXmlMessage::TIMESTAMP_MONOTONIC)) / 1000u;
        const int iAt = baBuffer.indexOf(s_baPlaceholder);
        if (iAt >= 0)
            baBuffer.replace(iAt, s_baPlaceholder.size(), QByteArray::number(u64Ms).rightJustified(5, ' '));
    } else {
        messageToByteArray(baBuffer, a_ptrMsg, a_uiAvailableTime);
    }
    const bool bSent = sendByteArray(baBuffer, true);
    return bSent && checkSendBacklog();
}

void CConnection::messageToByteArray(QByteArray& a_baBuffer, ptrCXmlMessage a_ptrMsg, unsigned int a_uiAvailableTime)
{
    unsigned int uiUncompressed = 0;
    ptrCXmlElement ptrWrite = a_ptrMsg->getElementTree();
    const CXmlMessage::eSERVICE_TYPES eType = a_ptrMsg->getServiceType();
    if ((isRequest(eType) || eType == CXmlMessage::REPLY_LAG) && a_uiAvailableTime != 0) {
        // The remaining time goes out as "time"; the message itself stays as the host made it.
        const struATTRIBUTE objTime{s_baTime, QString::number(a_uiAvailableTime)};
        writeWire(*ptrWrite, a_baBuffer, uiUncompressed, m_pSender, s_llMaxWireBytes, &objTime);
        return;
    }
    if (isReply(eType)) {
        manageRequestTrees(a_ptrMsg, m_bSuppressRequestTrees);
    } else if (eType == CXmlMessage::BROADCAST) {
        ptrCXmlElement ptrFiltered;
        {
            std::unique_lock lock(m_objFilterMutex);
            if (!m_objFilter.hasFilter())
                return;
            ptrFiltered = m_objFilter.applyFilter(a_ptrMsg);
        }
        if (m_bLogEventsSnd)
            log(QStringLiteral("Conn[%1]::SlotSendMessage() was called!\n").arg(m_uiConnectionId) +
                QStringLiteral("Msg before using the filter:\n%1\n").arg(ptrWrite->toString()) +
                (ptrFiltered && ptrFiltered->getNumberOfChildren() > 0
                     ? QStringLiteral("Msg after using the filter :\n%1").arg(ptrFiltered->toString())
                     : QStringLiteral("Msg after using the filter :  EMPTY MSG")));
        if (!ptrFiltered || ptrFiltered->getNumberOfChildren() == 0)
            return;
        ptrWrite = ptrFiltered;
    }
    ptrWrite->toByteArray(a_baBuffer, uiUncompressed, m_pSender);
}

void CConnection::manageRequestTrees(ptrCXmlMessage a_ptrReply, bool a_bSuppress)
{
    const ptrCXmlElement ptrRoot = a_ptrReply ? a_ptrReply->getElementTree() : ptrCXmlElement();
    if (!ptrRoot || ptrRoot->tagname() != Tag::Reply)
        return;
    bool bOrdered = false;
    ptrRoot->getAttribute(s_baRequestTreeAttr, &bOrdered);
    const bool bRemove = a_bSuppress && !bOrdered;
    for (const ptrCXmlElement& ptrFragment : ptrRoot->children()) {
        ptrCXmlElement ptrRequest, ptrFault;
        for (const ptrCXmlElement& ptrChild : ptrFragment->children()) {
            if (ptrChild->tagname() == Tag::Request)
                ptrRequest = ptrChild;
            else if (ptrChild->tagname() == Tag::Fault)
                ptrFault = ptrChild;
        }
        if (!ptrRequest)
            continue;
        if (bRemove)
            ptrFragment->removeChild(ptrRequest);
        if (!ptrFault || XmlTreeTools::findTagInTree(ptrFault, Tag::Request, G_objCompEqual, true))
            continue;
        // A fault still names the request it answers when the request trees are left out.
        ptrCXmlElement ptrNamed = ptrRoot->copy(false);
        ptrNamed->setTagname(Tag::Request);
        ptrCXmlElement ptrFragmentCopy = ptrFragment->copy(false);
        if (ptrRequest->getNumberOfChildren() > 0)
            ptrFragmentCopy->addChild(ptrRequest->getChildAt(0), -1);
        ptrNamed->addChild(ptrFragmentCopy, -1);
        ptrFault->addChild(ptrNamed, -1);
    }
}

bool CConnection::sendByteArray(const QByteArray& a_baBytes, bool a_bAbortOnFailure)
{
    if (a_baBytes.isEmpty())
        return true;
    if (m_bOutside) {
        // Qt's socket belongs to this connection's thread: the rest is left to it.
        const qint64 llDone = m_baOutsideRest.isEmpty() ? sendDirectly(a_baBytes) : 0;
        if (llDone < a_baBytes.size())
            m_baOutsideRest.append(a_baBytes.constData() + llDone, int(a_baBytes.size() - llDone));
        return true;
    }
    if (!m_baOutsideRest.isEmpty())
        writeOutsideRest();
    bool bOk = m_pSocket != nullptr;
    if (bOk && m_bSenderWatchdog && !m_objAliveCheck.isActive()) {
        // What this batch wrote is still in the buffer by design; only older bytes count as stuck.
        const qint64 llPending = m_pSocket->bytesToWrite() - m_llBatchBytes;
        if (llPending < 1) {
            if (m_u64SendCheckStart != 0)
                logIf(m_bLogSocketStatus, [&] {
                    return QStringLiteral("Conn[%1]::sendByteArray(); The send buffer is empty again!")
                        .arg(m_uiConnectionId);
                });
            resetWatchdog();
        } else {
            logIf(m_bLogSocketStatus, [&] {
                return QStringLiteral(
                           "Conn[%1]::sendByteArray(); there are still %2 bytes in buffer from the last send call.!")
                    .arg(m_uiConnectionId)
                    .arg(llPending);
            });
            if (m_u64SendCheckStart == 0) {
                m_u64SendCheckStart = Platform::nowMonotonicUs();
                m_u64StuckBytes = quint64(llPending);
                logIf(m_bLogSocketStatus, [&] {
                    return QStringLiteral("Conn[%1]::sendByteArray(); SendCheck is started now!").arg(m_uiConnectionId);
                });
            } else if (quint64(llPending) != m_u64StuckBytes) {
                logIf(m_bLogSocketStatus, [&] {
                    return QStringLiteral("Conn[%1]::sendByteArray(); Although the send buffer is not "
                                          "empty, some bytes have been sent. The SendCheck has got reset!")
                        .arg(m_uiConnectionId);
                });
                m_u64SendCheckStart = Platform::nowMonotonicUs();
                m_u64StuckBytes = quint64(llPending);
            } else if (Platform::nowMonotonicUs() - m_u64SendCheckStart > quint64(m_objLimits.uiSendStuckMs) * 1000u) {
                log(QStringLiteral("Socket connection[%1] to %2:%3 (%4) is not emptied, closing... (%5 bytes stuck)")
                        .arg(m_uiConnectionId)
                        .arg(m_pSocket->peerAddress().toString())
                        .arg(m_pSocket->peerPort())
                        .arg(m_strPeerAppName)
                        .arg(m_u64StuckBytes));
                bOk = false;
            }
        }
    }
    int iStalls = 0;
    qint64 llDone = bOk && !m_bInBatch ? sendDirectly(a_baBytes) : 0;
    while (bOk && llDone < a_baBytes.size()) {
        const qint64 llWritten = m_pSocket->write(a_baBytes.constData() + llDone, a_baBytes.size() - llDone);
        if (m_bInBatch)
            m_llBatchBytes += qMax<qint64>(llWritten, 0);
        // A long batch goes to the system in pieces: the socket's buffer stays small.
        if (!m_bInBatch || m_llBatchBytes >= s_llBatchFlushBytes) {
            m_pSocket->flush();
            m_llBatchBytes = 0;
        }
        if (llWritten < 0 || (llWritten == 0 && ++iStalls > s_iMaxStalls))
            bOk = false;
        else if (llWritten > 0)
            iStalls = 0;
        llDone += qMax<qint64>(llWritten, 0);
    }
    if (bOk && m_bSenderWatchdog && m_u64StuckBytes != 0)
        m_u64StuckBytes += quint64(a_baBytes.size());
    if (!bOk && a_bAbortOnFailure && isConnected())
        m_pSocket->abort();
    return bOk;
}

// While Qt holds no bytes of the socket, they go straight to the system: Qt's buffered write arms
// its write notifier and the flush disarms it, and each wakes this thread's event loop once more.
// What the system does not take now, or refuses, is left to Qt's buffer and its error handling.
qint64 CConnection::sendDirectly(const QByteArray& a_baBytes)
{
    if (m_pSocket->state() != QAbstractSocket::ConnectedState || m_pSocket->bytesToWrite() != 0)
        return 0;
    return qMax<qint64>(
        Platform::sendWithoutWaiting(m_pSocket->socketDescriptor(), a_baBytes.constData(), a_baBytes.size()), 0);
}

bool CConnection::checkSendBacklog()
{
    // Whatever the watchdog says, a peer that does not read cannot make this process hold
    // more than the limit of unsent bytes.
    if (!m_pSocket || m_pSocket->bytesToWrite() <= m_objLimits.llMaxSendBacklogBytes)
        return true;
    log(QStringLiteral("Socket connection[%1] to %2:%3 (%4) does not take its data, closing... (%5 bytes waiting)")
            .arg(m_uiConnectionId)
            .arg(m_pSocket->peerAddress().toString())
            .arg(m_pSocket->peerPort())
            .arg(m_strPeerAppName)
            .arg(m_pSocket->bytesToWrite()));
    m_pSocket->abort();
    return false;
}

void CConnection::resetWatchdog()
{
    m_u64StuckBytes = 0;
    m_u64SendCheckStart = 0;
}

void CConnection::SlotSendByteArray(QByteArray a_baBytes)
{
    sendByteArray(a_baBytes, false);
}

void CConnection::answerLocally(const ptrCXmlMessage& a_ptrRequest, unsigned int a_uiFaultId)
{
    ptrCXmlMessage ptrReply = a_ptrRequest->copyShared(true);
    ptrReply->changeRequestToReply(a_uiFaultId, Platform::nowUtcUs());
    passUpReply(ptrReply);
}

void CConnection::passUpReply(const ptrCXmlMessage& a_ptrReply)
{
    handleCommDeviceFragments(a_ptrReply);
    if (a_ptrReply->getNumberOfFragments() > 0)
        handOn(a_ptrReply, GLOBAL_XML_TYPES::ekMT_REPLY);
}

void CConnection::SlotAliveCheckHasFailed()
{
    if (isConnected()) {
        log(QStringLiteral("AliveCheck failed... Closing socket of connection[%1] to %2:%3 (%4)")
                .arg(m_uiConnectionId)
                .arg(m_pSocket->peerAddress().toString())
                .arg(m_pSocket->peerPort())
                .arg(m_strPeerAppName));
        m_pSocket->abort();
    } else {
        log(QStringLiteral("AliveCheck failed... No socket available[%1]").arg(m_uiConnectionId));
    }
}

void CConnection::slotAliveCheckInfoHasChanged()
{
    emit SignalConnectionInfo(m_uiConnectionId, getInfo());
}

void CConnection::slotAliveCheckProcessDisabled()
{
    CDebugCenter::getInstance()->setFlags({{s_strClass, {{s_strSenderWatchdog, QStringLiteral("0")}}}});
}

void CConnection::slotDebugName(QString a_strName)
{
    m_strDebugName = a_strName;
    if (m_bDescriptionQueried)
        queryDescription();
}

void CConnection::slotDebugFlagSetup(typMapDbgFlags a_mapSetup)
{
    handleDbgFlagSetup(a_mapSetup);
    emit SignalConnectionInfo(m_uiConnectionId, getInfo());
}

unsigned short CConnection::handleDbgFlagSetup(const typMapDbgFlags& a_mapSetup)
{
    const unsigned short usOthers = CDebugFlags::handleDbgFlagSetup(a_mapSetup);
    const QMap<QString, QString> mapClass = a_mapSetup.value(s_strClass);
    if (isLogOn() != m_bLastLog) {
        // The general switch carries the seven logging flags with it, in the center too.
        m_bLastLog = isLogOn();
        QMap<QString, QString> mapLogFlags;
        for (const QString& strFlag : s_lstLogFlags) {
            applyConnectionFlag(strFlag, m_bLastLog);
            mapLogFlags.insert(strFlag, m_bLastLog ? QStringLiteral("1") : QStringLiteral("0"));
        }
        QMap<QString, QString> mapCurrent;
        CDebugCenter::getInstance()->getFlags(s_strClass, mapCurrent);
        bool bDiffers = false;
        for (auto it = mapLogFlags.cbegin(); it != mapLogFlags.cend(); ++it)
            bDiffers = bDiffers || mapCurrent.value(it.key()) != it.value();
        if (bDiffers)
            CDebugCenter::getInstance()->setFlags({{s_strClass, mapLogFlags}});
    }
    if (usOthers == 0)
        return 0;
    for (auto it = mapClass.cbegin(); it != mapClass.cend(); ++it) {
        if (it.key() == s_strOnceOnly) {
            if (it.value() == QLatin1String("Info"))
                traceDebugInfo();
            else if (it.value() == QLatin1String("AliveCheck"))
                m_objAliveCheck.traceDebugInfo();
        } else {
            applyConnectionFlag(it.key(), it.value() == QLatin1String("1"));
        }
    }
    return usOthers;
}

void CConnection::applyConnectionFlag(const QString& a_strFlag, bool a_bOn)
{
    static const QMap<QString, bool CConnection::*> s_mapMembers{
        {s_strLogRequestsRcv, &CConnection::m_bLogRequestsRcv},
        {s_strLogRepliesRcv, &CConnection::m_bLogRepliesRcv},
        {s_strLogEventsRcv, &CConnection::m_bLogEventsRcv},
        {s_strLogRequestsSnd, &CConnection::m_bLogRequestsSnd},
        {s_strLogRepliesSnd, &CConnection::m_bLogRepliesSnd},
        {s_strLogEventsSnd, &CConnection::m_bLogEventsSnd},
        {s_strLogSocketStatus, &CConnection::m_bLogSocketStatus},
        {s_strSenderWatchdog, &CConnection::m_bSenderWatchdog},
        {s_strProcessingTime, &CConnection::m_bProcessingTime},
        {s_strTimeChecker, &CConnection::m_bTimeChecker},
        {s_strMsgTimeStat, &CConnection::m_bMsgTimeStat},
    };
    const auto it = s_mapMembers.constFind(a_strFlag);
    if (it == s_mapMembers.cend())
        return;
    const bool bWas = this->*(it.value());
    this->*(it.value()) = a_bOn;
    if (a_strFlag == s_strSenderWatchdog && bWas && !a_bOn) {
        logIf(m_bLogSocketStatus, [&] {
            return QStringLiteral("Conn[%1]::handleNewDbgFlagSetup(); The send-watchdog has got disabled!")
                .arg(m_uiConnectionId);
        });
        resetWatchdog();
    } else if (a_strFlag == s_strMsgTimeStat && !bWas && a_bOn) {
        activateMsgTimeStats();
    }
}

void CConnection::traceDebugInfo()
{
    QString strText =
        QStringLiteral("Connection[%1] State: %2, Type: %3, ThreadId: %4")
            .arg(m_uiConnectionId)
            .arg(socketStateToString(m_eLastState))
            .arg(m_eConnectionSide == eCONNECTION_SIDE_CLIENT ? QStringLiteral("Client") : QStringLiteral("Server"))
            .arg(Platform::currentThreadId());
    if (m_pSocket)
        strText += QStringLiteral("\n\tLocalAddr : %1, LocalPort: %2")
                       .arg(m_pSocket->localAddress().toString())
                       .arg(m_pSocket->localPort()) +
                   QStringLiteral("\n\tPeerAddr  : %1, PeerPort : %2, Appname: %3")
                       .arg(m_pSocket->peerAddress().toString())
                       .arg(m_pSocket->peerPort())
                       .arg(m_strPeerAppName);
    log(strText);
}
}  // namespace XmlCommunication

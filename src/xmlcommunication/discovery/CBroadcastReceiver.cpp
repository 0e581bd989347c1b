#include "CBroadcastReceiver.h"

#include "DiscoveryLog_p.h"

#include <QtCore/QThread>
#include <QtNetwork/QHostAddress>
#include <QtNetwork/QUdpSocket>

#include <utility>

namespace XmlCommunication
{
namespace
{
const QString s_strClass = QStringLiteral("CBroadcastReceiver");
const int s_iBufferSize = 500;
const int s_iBufferSpare = 100;
// A flood of datagrams must not keep the thread from its other events (a quit, a deleteLater):
// after this many the receiver goes back to the event loop and carries on from there.
const int s_iDatagramsPerTurn = 64;

// False when the socket reports an error instead of a datagram.
bool readDatagram(QUdpSocket& a_objSocket, QByteArray& a_baDatagram, QHostAddress& a_objSender)
{
    a_baDatagram = QByteArray(s_iBufferSize, '\0');
    const qint64 iPending = a_objSocket.pendingDatagramSize();
    if (iPending > s_iBufferSize)
        a_baDatagram.resize(int(iPending) + s_iBufferSpare);
    const qint64 iRead = a_objSocket.readDatagram(a_baDatagram.data(), a_baDatagram.size(), &a_objSender);
    if (iRead < 0)
        return false;
    a_baDatagram.truncate(int(iRead));
    return true;
}
}  // namespace

IBroadcastParser::~IBroadcastParser() = default;

CBroadcastReceiver::CBroadcastReceiver(QObject* a_pParent) : QObject(a_pParent)
{
    DiscoveryLog::registerClass(s_strClass);
}

CBroadcastReceiver::~CBroadcastReceiver()
{
    releaseSocket();
}

void CBroadcastReceiver::start(unsigned short a_usPort, const typBroadcastParserList& a_lstParsers)
{
    if (QThread::currentThread() != thread()) {
        // The socket must be made on the thread whose event loop serves it.
        QMetaObject::invokeMethod(
            this, [this, a_usPort, a_lstParsers] { start(a_usPort, a_lstParsers); }, Qt::QueuedConnection);
        return;
    }
    m_usPort = a_usPort;
    releaseSocket();
    m_lstParsers = a_lstParsers;

    m_pobjSocket = new QUdpSocket(this);
    if (m_pobjSocket->bind(QHostAddress(QHostAddress::AnyIPv4), m_usPort,
                           QAbstractSocket::ShareAddress | QAbstractSocket::ReuseAddressHint)) {
        m_usBoundPort = m_pobjSocket->localPort();
    } else {
        DiscoveryLog::write(
            s_strClass,
            QStringLiteral("UDP port %1 cannot be bound: %2").arg(m_usPort).arg(m_pobjSocket->errorString()));
    }
    connect(m_pobjSocket, &QUdpSocket::readyRead, this, &CBroadcastReceiver::slotProcessPendingDatagrams);
}

void CBroadcastReceiver::setMaxDatagramSize(int a_iBytes)
{
    m_iMaxDatagramSize = a_iBytes < 1 ? m_iDefaultMaxDatagramSize : a_iBytes;
}

void CBroadcastReceiver::slotProcessPendingDatagrams()
{
    const QPointer<CBroadcastReceiver> ptrSelf(this);
    ++m_iDispatchDepth;
    const bool bMore = processSomeDatagrams(ptrSelf);
    if (ptrSelf.isNull())
        return;
    --m_iDispatchDepth;
    if (bMore)
        QMetaObject::invokeMethod(this, &CBroadcastReceiver::slotProcessPendingDatagrams, Qt::QueuedConnection);
}

bool CBroadcastReceiver::processSomeDatagrams(const QPointer<CBroadcastReceiver>& a_ptrSelf)
{
    for (int i = 0; i < s_iDatagramsPerTurn; ++i) {
        if (m_pobjSocket == nullptr || !m_pobjSocket->hasPendingDatagrams())
            return false;
        QByteArray baDatagram;
        QHostAddress objSender;
        if (!readDatagram(*m_pobjSocket, baDatagram, objSender))
            return false;
        const int iMax = m_iMaxDatagramSize.load();
        if (baDatagram.size() > iMax) {
            DiscoveryLog::write(s_strClass, QStringLiteral("datagram of %1 bytes from %2 ignored, more than %3 bytes")
                                                .arg(baDatagram.size())
                                                .arg(objSender.toString())
                                                .arg(iMax));
            continue;
        }
        // A copy, so that parsers stay alive while a slot restarts or destroys the receiver.
        const typBroadcastParserList lstParsers = m_lstParsers;
        for (const QSharedPointer<IBroadcastParser>& ptrParser : lstParsers) {
            if (ptrParser.isNull())
                continue;
            ptrParser->parseDatagram(baDatagram, objSender);
            if (a_ptrSelf.isNull())
                return false;
        }
    }
    return m_pobjSocket != nullptr && m_pobjSocket->hasPendingDatagrams();
}

void CBroadcastReceiver::releaseSocket()
{
    QUdpSocket* pSocket = std::exchange(m_pobjSocket, nullptr);
    m_usBoundPort = 0;
    if (pSocket == nullptr)
        return;
    pSocket->disconnect(this);
    if (m_iDispatchDepth > 0) {
        // We are inside the socket's own readyRead: Qt still uses the socket when the slot
        // returns, so the event loop deletes it afterwards.
        pSocket->setParent(nullptr);
        pSocket->deleteLater();
    } else {
        delete pSocket;
    }
}
}  // namespace XmlCommunication

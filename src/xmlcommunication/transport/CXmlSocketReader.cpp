#include "CXmlSocketReader.h"
#include "../../xmlcommon/CXmlMessage_p.h"
#include "HostWakeBatch_p.h"

#include <OrvexXmlInterface/platform/Platform.h>

#include <QtNetwork/QTcpSocket>

#include <cstring>

using namespace XmlCommon;

namespace XmlCommunication
{
namespace
{
const QByteArray s_baWrapper = QByteArrayLiteral("<") + QByteArrayLiteral("RootDummy") + QByteArrayLiteral(">\n");

bool hasText(const char* a_pBegin, const char* a_pEnd)
{
    for (const char* p = a_pBegin; p < a_pEnd; ++p) {
        if (*p != ' ' && *p != '\n' && *p != '\r' && *p != '\t')
            return true;
    }
    return false;
}
}  // namespace

CXmlSocketReader::CXmlSocketReader(unsigned int a_uiConnectionId) : m_uiConnectionId(a_uiConnectionId)
{
    m_objCompletionTimer.setSingleShot(true);
    connect(&m_objCompletionTimer, &QTimer::timeout, this, &CXmlSocketReader::slotCheckCompletion);
}

CXmlSocketReader::~CXmlSocketReader()
{
    if (m_pSocket)
        disconnect(m_pSocket, nullptr, this, nullptr);
}

void CXmlSocketReader::setLimits(const struConnectionLimits& a_objLimits)
{
    m_objLimits = a_objLimits;
}

void CXmlSocketReader::init(QTcpSocket* a_pSocket)
{
    m_pSocket = a_pSocket;
    // Qt reads from the system only while its buffer has room: a slow connection thread keeps
    // the peer's data in the kernel, not in this process.
    m_pSocket->setReadBufferSize(4 * m_uiBufferSize);
    initParser();
    connect(m_pSocket, &QTcpSocket::readyRead, this, &CXmlSocketReader::SlotReadData);
}

void CXmlSocketReader::initParser()
{
    m_pParser.reset(new CXmlStreamParser(*this, m_uiConnectionId));
    m_pParser->setMaxMessageBytes(m_objLimits.llMaxMessageBytes);
    m_pParser->setMaxBytesBetweenMessages(m_objLimits.llMaxBytesBetweenMessages);
    m_pParser->setMaxAttributes(m_objLimits.iMaxAttributes);
    m_pParser->setMaxStartTagBytes(m_objLimits.llMaxStartTagBytes);
    m_pParser->setMaxDepth(m_objLimits.iMaxDepth);
    m_bInMessage = false;
    m_bTailPending = false;
    m_objCompletionTimer.stop();
    m_pParser->parse(s_baWrapper);
}

void CXmlSocketReader::SlotReadData()
{
    if (!m_pSocket)
        return;
    // Drains what Qt holds in chunks into one array kept between reads: a new array per read
    // cost an allocation, and the release of a large one a sweep of the allocator's free lists.
    // The array grows to the largest chunk read, at most s_iChunkBytes. A parser that keeps a
    // copy of a chunk gets its own, since writing into a shared array detaches it.
    for (qint64 llAvailable = m_pSocket->bytesAvailable(); llAvailable > 0; llAvailable = m_pSocket->bytesAvailable()) {
        m_baChunk.resize(int(qMin<qint64>(llAvailable, s_iChunkBytes)));
        const qint64 llRead = m_pSocket->read(m_baChunk.data(), m_baChunk.size());
        if (llRead <= 0)
            return;
        m_baChunk.resize(int(llRead));
        {
            const CHostWakeBatch objWakeOnce;  // a chunk of 32 kB is parsed in well under a millisecond
            parseChunk(m_baChunk);
        }
        // After the chunk's messages are handed on: a stream that never lets the loop idle
        // gets its trees back here.
        XmlCommon::MessageHome::drain();
    }
}

void CXmlSocketReader::parseChunk(const QByteArray& a_baChunk)
{
    if (m_bStopped)
        return;  // drained and dropped until the owner closes the connection
    const bool bParsed = m_pParser->parse(a_baChunk);
    if (bParsed) {
        trackOpenMessage(a_baChunk);
        return;
    }
    if (m_pParser->failureKind() == CXmlStreamParser::FAILURE_LIMIT) {
        stopReading(m_strLastError);
        return;
    }
    Platform::debugOutput(QStringLiteral("Have to reset the XML-parser..."));
    initParser();
}

void CXmlSocketReader::trackOpenMessage(const QByteArray& a_baChunk)
{
    const bool bWasOpen = m_bInMessage || m_bTailPending;
    const char* pBegin = a_baChunk.constData();
    const char* pEnd = pBegin + a_baChunk.size();
    const void* pLast = memrchr(pBegin, '>', size_t(a_baChunk.size()));
    if (pLast)
        m_bTailPending = hasText(static_cast<const char*>(pLast) + 1, pEnd);
    else
        m_bTailPending = m_bTailPending || hasText(pBegin, pEnd);
    const bool bOpen = m_bInMessage || m_bTailPending;
    if (!bOpen) {
        m_objCompletionTimer.stop();
        return;
    }
    if (!bWasOpen)
        m_u64ProgressUs = Platform::nowMonotonicUs();
    if (m_objLimits.uiMessageCompletionMs != 0 && !m_objCompletionTimer.isActive())
        m_objCompletionTimer.start(int(qMin<quint64>(m_objLimits.uiMessageCompletionMs, 0x7fffffff)));
}

void CXmlSocketReader::slotCheckCompletion()
{
    if (m_bStopped || !(m_bInMessage || m_bTailPending))
        return;
    const quint64 u64Limit = quint64(m_objLimits.uiMessageCompletionMs) * 1000u;
    const quint64 u64Open = Platform::nowMonotonicUs() - m_u64ProgressUs;
    if (u64Open < u64Limit) {
        m_objCompletionTimer.start(int((u64Limit - u64Open) / 1000u) + 1);
        return;
    }
    stopReading(QStringLiteral("a message was not completed within %1 ms").arg(m_objLimits.uiMessageCompletionMs));
}

void CXmlSocketReader::stopReading(const QString& a_strReason)
{
    m_bStopped = true;
    m_objCompletionTimer.stop();
    Platform::debugOutput(QStringLiteral("Conn[%1]: the peer's stream is not read further: %2")
                              .arg(m_uiConnectionId)
                              .arg(a_strReason.trimmed()));
    emit SignalStreamLimitExceeded(a_strReason);
}

void CXmlSocketReader::handleFinishedXmlDoc(ptrCXmlElement)
{
    // The wrapper never closes; each message comes through handleFinishedXmlMsg.
}

void CXmlSocketReader::handleFinishedXmlMsg(ptrCXmlMessage a_ptrMsg)
{
    m_bInMessage = false;
    m_u64ProgressUs = Platform::nowMonotonicUs();
    if (a_ptrMsg && !a_ptrMsg->isNull())
        emit SignalNewJob(a_ptrMsg);
}

void CXmlSocketReader::handleMsgHeader(ptrCXmlMessage a_ptrMsg)
{
    if (!m_bInMessage && !m_bTailPending)
        m_u64ProgressUs = Platform::nowMonotonicUs();
    m_bInMessage = true;
    emit SignalNewMsgHeader(a_ptrMsg);
}

void CXmlSocketReader::handleParserError(const QString& a_strText)
{
    m_strLastError = a_strText;
    emit SignalParseError(a_strText);
}
}  // namespace XmlCommunication

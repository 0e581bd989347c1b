#include "CXmlStreamParser.h"

#include "CMarkupScanner_p.h"
#include "CWireScanner_p.h"

#include <OrvexXmlInterface/platform/Platform.h>
#include <OrvexXmlInterface/xmlcommon/Tagnames.h>

#include <array>
#include <cstring>
#include <new>
#include <utility>

namespace XmlCommon
{
namespace
{
const QLatin1String s_strCDataBegin("<![CDATA[");
const QLatin1String s_strCDataEnd("]]>");
const QLatin1String s_strWrapper("RootDummy");
const QLatin1String s_strZip("_zip");
// What an element or an attribute counts towards a message's size beyond its text: about the
// heap its node takes in the parsed tree.
const int s_iNodeBytes = 64;
// Qt's reader decodes each piece it is given into a temporary text of twice its size. Pieces
// of at most this many bytes keep that text below glibc's threshold for large blocks (1 kB);
// each larger request makes malloc merge every small block freed since (the previous message's
// tree, say), which costs more than the extra pieces. The limits are checked after each piece.
const int s_iReaderPiece = 480;
// Columns of the line before a hand-over that the reader is given as blanks.
const int s_iMaxPrefixColumns = 4096;

// A text of exactly its own size. QStringRef::toString() hands out the reader's whole buffer
// when the reference spans it: the tree would then keep the buffer's spare capacity, and the
// reader would have to allocate a new buffer for its next token.
QString ownCopy(const QStringRef& a_strText)
{
    return QString(a_strText.constData(), a_strText.size());
}

// Cache look-ups run several times per element; these inline forms cost a fraction of Qt's
// general ones on names and short texts.
inline uint quickHash(const QStringRef& a_strText)
{
    uint uiHash = uint(a_strText.size());
    for (const QChar c : a_strText)
        uiHash = uiHash * 31 + c.unicode();
    return uiHash ^ (uiHash >> 8);
}

inline bool sameText(const QString& a_strCached, const QStringRef& a_strText)
{
    return a_strCached.size() == a_strText.size() &&
           std::memcmp(a_strCached.constData(), a_strText.constData(), size_t(a_strText.size()) * sizeof(QChar)) == 0;
}
}  // namespace

// A connection stream is UTF-8. Qt's reader, given a badly encoded byte, either fails at once,
// losing the good messages it holds before the byte, or quietly replaces it, depending on how
// the text was cut; and a NUL byte makes it wait for data forever. Checking the bytes here gives
// one verdict: every message before the bad byte is read, then the stream is broken at the byte.
// Control characters other than tab, line feed and carriage return are never legal in XML.
class CUtf8Checker
{
public:
    // The length of the leading part of the data that continues the stream as valid UTF-8.
    int validPrefix(const QByteArray& a_baData)
    {
        const uchar* p = reinterpret_cast<const uchar*>(a_baData.constData());
        const int n = a_baData.size();
        int i = 0;
        while (i < n) {
            if (m_iPending == 0)
                i = skipPlainWords(p, i, n);
            // Byte by byte through the word that stopped the skipping.
            for (const int iStop = qMin(i + 8, n); i < iStop; ++i) {
                if (!acceptByte(p[i]))
                    return reset(i);
            }
        }
        return n;
    }

private:
    // Skips whole 8-byte words of ASCII text (the bulk of a stream, line ends and tabs included)
    // eight at a time; stops at the first word holding a byte of 0x80 or above or another
    // control character.
    static int skipPlainWords(const uchar* a_p, int a_iPos, int a_iEnd)
    {
        constexpr quint64 uiOnes = 0x0101010101010101ull;
        constexpr quint64 uiHigh = 0x8080808080808080ull;
        while (a_iPos + 8 <= a_iEnd) {
            quint64 uiWord;
            std::memcpy(&uiWord, a_p + a_iPos, sizeof(uiWord));
            if (uiWord & uiHigh)
                break;
            // With every byte below 0x80 no sum carries into the next byte: a byte below 0x20
            // is the only one that stays below 0x80 when 0x60 is added.
            const quint64 uiControls = ~(uiWord + 0x60 * uiOnes) & uiHigh;
            if (uiControls != 0 &&
                (uiControls & ~(equalBytes(uiWord, '\n') | equalBytes(uiWord, '\r') | equalBytes(uiWord, '\t'))) != 0)
                break;
            a_iPos += 8;
        }
        return a_iPos;
    }

    // The high bit of each byte equal to a_c, for a word of bytes below 0x80: only a byte whose
    // exclusive or with a_c is zero stays below 0x80 when 0x7f is added.
    static quint64 equalBytes(quint64 a_uiWord, char a_c)
    {
        constexpr quint64 uiOnes = 0x0101010101010101ull;
        return ~((a_uiWord ^ (uchar(a_c) * uiOnes)) + 0x7f * uiOnes) & (0x80 * uiOnes);
    }

    bool acceptByte(uchar a_c)
    {
        if (m_iPending == 0)
            return !s_aSpecial[a_c] || (a_c >= 0x80 && startSequence(a_c));
        if (a_c < m_ucLow || a_c > m_ucHigh)
            return false;
        m_ucLow = 0x80;
        m_ucHigh = 0xbf;
        --m_iPending;
        return true;
    }

    bool startSequence(uchar a_c)
    {
        m_ucLow = 0x80;
        m_ucHigh = 0xbf;
        if (a_c >= 0xc2 && a_c <= 0xdf)
            m_iPending = 1;
        else if (a_c >= 0xe0 && a_c <= 0xef)
            m_iPending = 2;
        else if (a_c >= 0xf0 && a_c <= 0xf4)
            m_iPending = 3;
        else
            return false;
        // Overlong forms, surrogates and code points above U+10FFFF are invalid.
        if (a_c == 0xe0)
            m_ucLow = 0xa0;
        else if (a_c == 0xed)
            m_ucHigh = 0x9f;
        else if (a_c == 0xf0)
            m_ucLow = 0x90;
        else if (a_c == 0xf4)
            m_ucHigh = 0x8f;
        return true;
    }

    int reset(int a_iPosition)
    {
        m_iPending = 0;
        return a_iPosition;
    }

    // Bytes that need a closer look: control characters other than tab, LF and CR, and all
    // bytes of multi-byte sequences.
    static constexpr std::array<bool, 256> s_aSpecial = [] {
        std::array<bool, 256> aSpecial{};
        for (int c = 0; c < 256; ++c)
            aSpecial[size_t(c)] = c >= 0x80 || (c < 0x20 && c != '\t' && c != '\n' && c != '\r');
        return aSpecial;
    }();

    int m_iPending = 0;
    uchar m_ucLow = 0x80;
    uchar m_ucHigh = 0xbf;
};

// A small cache of names and short texts: a stream repeats few of them, and a hostile one with
// endless new ones only causes misses, never growth. Each key has two slots, the more recent in
// front, so that two names of the same hash do not evict each other for ever.
template <typename Entry> class CTwoWayCache
{
public:
    template <typename Make> const Entry& find(const QStringRef& a_strKey, Make a_fnMake)
    {
        const size_t uiFirst = size_t((quickHash(a_strKey) * 2654435769u) >> 24) & ~size_t(1);
        if (matches(m_aEntries[uiFirst], a_strKey))
            return m_aEntries[uiFirst];
        if (matches(m_aEntries[uiFirst + 1], a_strKey))
            std::swap(m_aEntries[uiFirst], m_aEntries[uiFirst + 1]);
        else
            m_aEntries[uiFirst + 1] = std::exchange(m_aEntries[uiFirst], a_fnMake());
        return m_aEntries[uiFirst];
    }

private:
    static bool matches(const Entry& a_objEntry, const QStringRef& a_strKey)
    {
        const QString& strKey = a_objEntry.key();
        return !strKey.isNull() && sameText(strKey, a_strKey);
    }

    std::array<Entry, 256> m_aEntries;
};

class CNameCache
{
public:
    const CTagname& tag(const QStringRef& a_strName)
    {
        return m_objTags.find(a_strName, [&] { return struTag{makeTag(a_strName)}; }).objTag;
    }

    // Short texts (units, types, flags, small numbers) repeat as much as names do; sharing one
    // copy saves an allocation per attribute and value. Longer texts are not worth a look-up.
    QString text(const QStringRef& a_strText)
    {
        if (a_strText.size() > s_iShortText)
            return ownCopy(a_strText);
        return m_objTexts.find(a_strText, [&] { return struText{ownCopy(a_strText)}; }).strText;
    }

    const QByteArray& attribute(const QStringRef& a_strName)
    {
        return m_objAttributes.find(a_strName,
                                    [&] {
                                        return struAttribute{ownCopy(a_strName), a_strName.toUtf8()};
                                    })
            .baName;
    }

private:
    // A vocabulary name is taken from the vocabulary: its copies, one per element, cost nothing.
    static CTagname makeTag(const QStringRef& a_strName)
    {
        if (const CTagname* pTag = Tag::find(ownCopy(a_strName)))
            return *pTag;
        return CTagname(ownCopy(a_strName));
    }

    static const int s_iShortText = 16;
    struct struTag
    {
        CTagname objTag;
        const QString& key() const { return objTag; }
    };
    struct struText
    {
        QString strText;
        const QString& key() const { return strText; }
    };
    struct struAttribute
    {
        QString strName;
        QByteArray baName;
        const QString& key() const { return strName; }
    };
    CTwoWayCache<struTag> m_objTags;
    CTwoWayCache<struAttribute> m_objAttributes;
    CTwoWayCache<struText> m_objTexts;
};

IXmlListener::~IXmlListener() = default;

CXmlStreamParser::CXmlStreamParser(IXmlListener& a_objListener, unsigned int a_uiConnectionId)
    : m_uiConnectionId(a_uiConnectionId), m_objListener(a_objListener), m_pNames(new CNameCache),
      m_pUtf8(new CUtf8Checker), m_pScanner(new CMarkupScanner),
      m_pWire(new CWireScanner(a_objListener, a_uiConnectionId)), m_pLines(new struLines)
{
    // The protocol has no namespaces: names are taken as written, prefix and all.
    m_objReader.setNamespaceProcessing(false);
    m_pScanner->setLimits(m_iMaxAttributes, m_llMaxStartTagBytes);
}

CXmlStreamParser::~CXmlStreamParser() = default;

void CXmlStreamParser::setMaxAttributes(int a_iAttributes)
{
    m_iMaxAttributes = qMax(0, a_iAttributes);
    m_pScanner->setLimits(m_iMaxAttributes, m_llMaxStartTagBytes);
}

void CXmlStreamParser::setMaxStartTagBytes(qint64 a_llBytes)
{
    m_llMaxStartTagBytes = boundedBytes(a_llBytes);
    m_pScanner->setLimits(m_iMaxAttributes, m_llMaxStartTagBytes);
}

void CXmlStreamParser::setOwnScanner(bool a_bOwnScanner)
{
    m_bOwnScanner = a_bOwnScanner;
    if (!a_bOwnScanner && m_pWire)
        handOver();
    else if (a_bOwnScanner && !m_pWire && m_pScanner->offset() == 0)
        m_pWire.reset(new CWireScanner(m_objListener, m_uiConnectionId));
}

bool CXmlStreamParser::parse(const QByteArray& a_baData)
{
    if (m_eFailure != FAILURE_NONE)
        return false;
    try {
        return parseData(a_baData);
    } catch (const std::bad_alloc&) {
        breakOnMemory();
    }
    return false;
}

bool CXmlStreamParser::parse(const char* a_pszData)
{
    if (m_eFailure != FAILURE_NONE)
        return false;
    try {
        return parseData(QByteArray(a_pszData));
    } catch (const std::bad_alloc&) {
        breakOnMemory();
    }
    return false;
}

// The reader may have been left anywhere inside a token: nothing more is read from it. Reporting
// needs memory too; when even that fails, the failure kind still tells.
void CXmlStreamParser::breakOnMemory()
{
    m_eFailure = FAILURE_LIMIT;
    try {
        m_objReader.raiseError(QStringLiteral("Out of memory"));
        handleError(nullptr);
    } catch (const std::bad_alloc&) {
        m_strError.clear();
    }
}

bool CXmlStreamParser::parseData(const QByteArray& a_baData)
{
    const int iValid = m_pUtf8->validPrefix(a_baData);
    m_bMayHandBack = m_bOwnScanner && m_bUtf8Only;
    if (m_llFirstPieceEnd < 0 && !a_baData.isEmpty())
        m_llFirstPieceEnd = qMin(a_baData.size(), s_iReaderPiece);
    // Another encoding than UTF-8 is for Qt's reader to decode.
    if (m_pWire && !m_bUtf8Only && !handOver())
        return false;
    if (!readValid(a_baData, 0, iValid))
        return false;
    if (iValid == a_baData.size())
        return true;
    // A byte that is not UTF-8 is refused by the reader, where the reader stands after the text
    // before it.
    if (m_pWire && !handOver())
        return false;
    if (!m_bUtf8Only)
        return feedReader(a_baData, iValid, a_baData.size() - iValid);
    m_objReader.raiseError(quint8(a_baData.at(iValid)) < 0x80
                               ? QStringLiteral("Invalid XML character.")
                               : QStringLiteral("Encountered incorrectly encoded content."));
    return handleError(nullptr);
}

// The bytes go to whichever reads the stream now. The own scanner may hand the stream to Qt's
// reader, and the reader hand it back at the end of a message, once per parse() call, so that
// the text copied for hand-overs stays within twice the data of a call.
bool CXmlStreamParser::readValid(const QByteArray& a_baData, int a_iFrom, int a_iTo)
{
    if (!m_pWire) {
        if (!feedReader(a_baData, a_iFrom, a_iTo - a_iFrom))
            return false;
        if (!m_pWire)
            return true;
        a_iFrom = m_iHandBackIndex;
    }
    const CWireScanner::struLimits objLimits{m_iMaxDepth, m_iMaxAttributes, m_llMaxMessageBytes, m_llMaxBetweenBytes,
                                             m_llMaxStartTagBytes};
    if (m_pWire->scan(a_baData.constData() + a_iFrom, a_iTo - a_iFrom, objLimits))
        return true;
    return handOver();
}

bool CXmlStreamParser::handOver()
{
    CWireScanner::struHandOver objHandOver = m_pWire->takeHandOver();
    m_pIdleWire = std::move(m_pWire);
    m_bInBody = objHandOver.bInBody;
    m_llLastMessageEnd = objHandOver.llLastMessageEnd;
    m_ptrResumedMessage = std::move(objHandOver.ptrMessage);
    *m_pLines = objHandOver.objLines;
    m_llCountFrom = objHandOver.llOffset;
    m_iReaderWrappers = 0;
    m_llLineBase = m_pLines->llLine;
    m_llColumnBase = m_pLines->llColumn;
    // The prefix stands in for the stream before the hand-over.
    const QByteArray baPrefix = readerPrefix(objHandOver.iWrappers, objHandOver.llOffset > 0, m_llColumnBase);
    m_llPrefixLines = baPrefix.isEmpty() ? 0 : 1;
    m_llColumnExcess = baPrefix.isEmpty() ? 0 : m_llColumnBase - (baPrefix.size() - baPrefix.indexOf('\n') - 1);
    m_pScanner->restartAt(objHandOver.llOffset - baPrefix.size());
    const QByteArray baText = baPrefix + objHandOver.baText;
    // In the pieces the caller gave, as the reader would have had them, the prefix with the
    // first. Qt's reader refuses some tokens (a DTD in the body) only until its data first ran
    // out, which for the first reader happened at the end of its first piece: after that point
    // the prefix comes as a piece of its own.
    QVector<int> vecEnds;
    if (objHandOver.llOffset >= m_llFirstPieceEnd && !baPrefix.isEmpty())
        vecEnds.append(baPrefix.size());
    for (const int iCut : qAsConst(objHandOver.vecCuts))
        vecEnds.append(baPrefix.size() + iCut);
    vecEnds.append(baText.size());
    int iFrom = 0;
    for (const int iTo : qAsConst(vecEnds)) {
        if (!readValid(baText, iFrom, iTo))
            return false;
        iFrom = iTo;
    }
    return true;
}

// Right after a message that the reader read, its own scanner goes on, given what the scanner
// needs to know of the stream: the open wrappers and the line and column.
void CXmlStreamParser::handBack()
{
    if (!m_pIdleWire)
        m_pIdleWire.reset(new CWireScanner(m_objListener, m_uiConnectionId));
    m_pWire = std::move(m_pIdleWire);
    m_pWire->resumeAt(m_llHandBackAt, *m_pLines, m_iReaderWrappers);
    m_objReader.clear();
    m_objReader.setNamespaceProcessing(false);
    m_llHandBackAt = -1;
    m_bMayHandBack = false;
    m_ePreviousToken = QXmlStreamReader::NoToken;
    m_llLineBase = 1;
    m_llColumnBase = 0;
    m_llPrefixLines = 0;
    m_llColumnExcess = 0;
}

// While the reader reads, lines are counted for the own scanner, from where the reader took over.
void CXmlStreamParser::countLines(const QByteArray& a_baData, int a_iFrom, int a_iTo, qint64 a_llStart)
{
    if (!m_bOwnScanner || m_bDtdSeen)
        return;
    const int iFrom = a_iFrom + int(qBound<qint64>(0, m_llCountFrom - a_llStart, a_iTo - a_iFrom));
    const uchar* pData = reinterpret_cast<const uchar*>(a_baData.constData());
    m_pLines->count(pData + iFrom, pData + a_iTo);
}

// What brings a fresh reader into the state the stream before the hand-over left the first
// one in, as far as it matters for what follows: the open wrappers (which the parser skips as
// it skips any wrapper), or white space before the document's element; and a line feed and as
// many columns as the stream's line had before the hand-over, since the reader counts columns
// from its last line feed, even one inside a construct it has not finished.
QByteArray CXmlStreamParser::readerPrefix(int a_iWrappers, bool a_bStarted, qint64 a_llColumn)
{
    if (a_iWrappers == 0 && !a_bStarted)
        return QByteArray();
    QByteArray baPrefix = QByteArray("<RootDummy>").repeated(a_iWrappers);
    baPrefix += '\n';
    // A longer line is counted on in handleError(), a fault in its unfinished part aside.
    baPrefix += QByteArray(int(qMin<qint64>(a_llColumn, s_iMaxPrefixColumns)), ' ');
    return baPrefix;
}

bool CXmlStreamParser::feedReader(const QByteArray& a_baData, int a_iFrom, int a_iLength)
{
    // The pieces end at the same stream offsets however the stream was cut, so that a size
    // limit is found at the same place whether the reader read everything or took over.
    for (int iPos = a_iFrom; iPos < a_iFrom + a_iLength;) {
        const int iRoom = s_iReaderPiece - int(m_pScanner->offset() % s_iReaderPiece);
        const int iPiece = qMin(iRoom, a_iFrom + a_iLength - iPos);
        if (!feedPiece(a_baData, iPos, iPiece))
            return false;
        if (m_pWire)
            return true;
        iPos += iPiece;
    }
    return true;
}

bool CXmlStreamParser::feedPiece(const QByteArray& a_baData, int a_iFrom, int a_iLength)
{
    const qint64 llStart = m_pScanner->offset();
    const int iScanned = m_pScanner->scan(a_baData.constData() + a_iFrom, a_iLength);
    // A comment, CDATA section or processing instruction that is still open waits in the
    // reader's buffer, unparsed, until it is complete: the reader would scan it from its start
    // again on every piece. Everything before it is parsed now.
    const qint64 llHeld = m_pScanner->heldFrom();
    const int iParsed = llHeld < 0 ? iScanned : int(qBound<qint64>(0, llHeld - llStart, iScanned));
    if (iParsed > 0) {
        m_objReader.addData(a_baData.mid(a_iFrom, iParsed));
        if (!doParsing())
            return false;
    }
    if (m_llHandBackAt >= 0) {
        m_iHandBackIndex = a_iFrom + int(m_llHandBackAt - llStart);
        countLines(a_baData, a_iFrom, m_iHandBackIndex, llStart);
        handBack();
        return true;
    }
    countLines(a_baData, a_iFrom, a_iFrom + iScanned, llStart);
    if (iScanned > iParsed)
        m_objReader.addData(a_baData.mid(a_iFrom + iParsed, iScanned - iParsed));
    if (m_pScanner->stop() != CMarkupScanner::STOP_NONE)
        return scannerStopped();
    return checkSizes();
}

bool CXmlStreamParser::scannerStopped()
{
    switch (m_pScanner->stop()) {
    case CMarkupScanner::STOP_ATTRIBUTES:
        return breakStream(FAILURE_LIMIT,
                           QStringLiteral("More than %1 attributes in one element").arg(m_iMaxAttributes));
    case CMarkupScanner::STOP_START_TAG:
        return breakStream(FAILURE_LIMIT, QStringLiteral("Start tag longer than %1 bytes").arg(m_llMaxStartTagBytes));
    case CMarkupScanner::STOP_CDATA_END:
        return breakStream(FAILURE_MALFORMED, QStringLiteral("Sequence ']]>' not allowed in content."));
    case CMarkupScanner::STOP_NONE: break;
    }
    return true;
}

// Sizes only grow while a message or the text between two messages is being read, so checking
// them after each piece, and once more when a message begins and ends, gives the same verdict
// however the text was cut.
bool CXmlStreamParser::checkSizes()
{
    const qint64 llReceived = m_pScanner->offset();
    if (m_ptrCurrentMessage)
        return checkMessageSize(llReceived);
    // The next message's start tag is measured by its own limit.
    const qint64 llStartTag = m_pScanner->startTagFrom();
    return checkBytesBetween(llStartTag >= 0 ? llStartTag : llReceived);
}

bool CXmlStreamParser::checkMessageSize(qint64 a_llEnd)
{
    if (a_llEnd - m_llMessageStart + m_llNodeBytes <= m_llMaxMessageBytes)
        return true;
    return breakStream(FAILURE_LIMIT, QStringLiteral("Message larger than %1 bytes").arg(m_llMaxMessageBytes));
}

bool CXmlStreamParser::checkBytesBetween(qint64 a_llNextStart)
{
    if (a_llNextStart - m_llLastMessageEnd <= m_llMaxBetweenBytes)
        return true;
    return breakStream(FAILURE_LIMIT, QStringLiteral("More than %1 bytes between messages").arg(m_llMaxBetweenBytes));
}

void CXmlStreamParser::resetParser()
{
    m_vecParents.clear();
    m_ptrCurrentElement.reset();
}

QString CXmlStreamParser::errToString(QXmlStreamReader::Error a_eError)
{
    switch (a_eError) {
    case QXmlStreamReader::NoError: return QStringLiteral("NoError");
    case QXmlStreamReader::UnexpectedElementError: return QStringLiteral("UnexpectedElementError");
    case QXmlStreamReader::CustomError: return QStringLiteral("CustomError");
    case QXmlStreamReader::NotWellFormedError: return QStringLiteral("NotWellFormedError");
    case QXmlStreamReader::PrematureEndOfDocumentError: return QStringLiteral("PrematureEndOfDocumentError");
    }
    return QStringLiteral("UnknownError");
}

bool CXmlStreamParser::doParsing()
{
    bool bResult = true;
    while (bResult && !m_objReader.atEnd() && m_llHandBackAt < 0) {
        m_eLastError = QXmlStreamReader::NoError;
        const QXmlStreamReader::TokenType eToken = m_objReader.readNext();
        switch (eToken) {
        case QXmlStreamReader::Invalid: bResult = handleError(nullptr); break;
        case QXmlStreamReader::StartElement: bResult = handleStartElement(); break;
        case QXmlStreamReader::EndElement: bResult = handleEndElement(); break;
        case QXmlStreamReader::DTD: bResult = handleDtd(); break;
        case QXmlStreamReader::EntityReference: bResult = handleEntityReference(); break;
        case QXmlStreamReader::Characters:
            // Text after an end tag (the line feed between siblings) is dropped.
            if (m_ePreviousToken == QXmlStreamReader::StartElement || m_ePreviousToken == QXmlStreamReader::Characters)
                bResult = handleCharacters();
            break;
        default: break;  // the document's start and end, comments and processing instructions
        }
        if (m_eLastError != QXmlStreamReader::PrematureEndOfDocumentError)
            m_ePreviousToken = eToken;
    }
    return bResult;
}

bool CXmlStreamParser::handleDtd()
{
    // Qt's reader refuses a DTD in the body only when it gets the body at once.
    // A DTD may declare entities the own scanner does not know of: the reader keeps the stream.
    m_bDtdSeen = true;
    if (!m_bInBody)
        return true;
    return breakStream(FAILURE_MALFORMED, QStringLiteral("Unexpected token type DTD in Body."));
}

// Qt's reader reports an entity that a DTD may declare elsewhere (in an external subset, which
// it does not read) as a reference instead of text. Dropping it would change the text silently.
bool CXmlStreamParser::handleEntityReference()
{
    return breakStream(FAILURE_MALFORMED,
                       QStringLiteral("Entity '%1' cannot be resolved.").arg(m_objReader.name().toString()));
}

bool CXmlStreamParser::handleStartElement()
{
    m_bInBody = true;
    const qint64 llStart = m_pScanner->takeElementStart();
    const QStringRef strName = m_objReader.qualifiedName();
    // The wrapper of a connection stream creates no element, so that each message below it is
    // a top-level element; inside a message the name is an ordinary one.
    if (!m_ptrCurrentElement && strName == s_strWrapper) {
        ++m_iReaderWrappers;
        return true;
    }
    m_strText.clear();
    m_bTextIsCData = false;
    if (m_vecParents.size() >= m_iMaxDepth)
        return breakStream(FAILURE_LIMIT, QStringLiteral("Elements nested deeper than %1 levels").arg(m_iMaxDepth));
    const bool bMessageRoot = !m_ptrCurrentElement;
    if (bMessageRoot) {
        if (!checkBytesBetween(llStart))
            return false;
        m_llMessageStart = llStart;
        m_llNodeBytes = 0;
    }
    const QXmlStreamAttributes lstAttributes = m_objReader.attributes();
    m_llNodeBytes += s_iNodeBytes * (1 + lstAttributes.size());
    // A message whose header the own scanner reported keeps its root and message object.
    ptrCXmlElement ptrChild = bMessageRoot && m_ptrResumedMessage
                                  ? m_ptrResumedMessage->getElementTree()
                                  : createChildItem(m_pNames->tag(strName), lstAttributes);
    // Moved, not copied: every reference count spared is an atomic operation less per element.
    m_vecParents.append(std::move(m_ptrCurrentElement));
    m_ptrCurrentElement = std::move(ptrChild);
    if (bMessageRoot && m_ptrResumedMessage) {
        m_ptrCurrentMessage = std::move(m_ptrResumedMessage);
        m_ptrResumedMessage.reset();
    } else if (bMessageRoot) {
        m_ptrCurrentMessage = ptrCXmlMessage(new CXmlMessage(m_uiConnectionId));
        m_ptrCurrentMessage->setElementTree(m_ptrCurrentElement);
        m_objListener.handleMsgHeader(m_ptrCurrentMessage);
    }
    return true;
}

ptrCXmlElement CXmlStreamParser::createChildItem(const CTagname& a_objName, const QXmlStreamAttributes& a_lstAttributes)
{
    ptrCXmlElement ptrElement(new CXmlElement(a_objName));
    ptrElement->m_lstAttributes.reserve(a_lstAttributes.size());
    for (const QXmlStreamAttribute& objAttribute : a_lstAttributes) {
        const QStringRef strName = objAttribute.qualifiedName();
        if (strName == s_strZip && objAttribute.value() == QLatin1String("0"))
            ptrElement->disableCompression();
        else
            ptrElement->appendAttribute(m_pNames->attribute(strName), m_pNames->text(objAttribute.value()));
    }
    if (m_ptrCurrentElement)
        m_ptrCurrentElement->m_lstChildren.append(ptrElement);
    return ptrElement;
}

bool CXmlStreamParser::handleCharacters()
{
    if (!m_ptrCurrentElement)
        return true;  // text directly inside the wrapper belongs to no message
    // Text before a CDATA section is dropped; the section's value keeps its markers.
    if (m_objReader.isCDATA() && !m_bTextIsCData) {
        m_strText = s_strCDataBegin;
        m_bTextIsCData = true;
    }
    if (m_strText.isEmpty())
        m_strText = m_pNames->text(m_objReader.text());
    else
        m_strText += m_objReader.text();
    return true;
}

void CXmlStreamParser::setElementValue(const QString& a_strText)
{
    if (m_ptrCurrentElement && !a_strText.isEmpty())
        m_ptrCurrentElement->setValue(a_strText);
}

bool CXmlStreamParser::handleEndElement()
{
    const qint64 llEnd = m_pScanner->takeElementEnd();
    if (!m_ptrCurrentElement) {
        --m_iReaderWrappers;
        return true;
    }
    // Whether the value is a CDATA section is told by the section, never by text that looks
    // like one: escaped text reads back as it was written.
    if (m_bTextIsCData)
        m_strText += s_strCDataEnd;
    m_bTextIsCData = false;
    // The buffer is handed over rather than copied and cleared.
    if (!m_strText.isEmpty())
        m_ptrCurrentElement->m_strValue.swap(m_strText);
    m_strText.clear();
    if (m_vecParents.size() == 1) {
        if (!checkMessageSize(llEnd))
            return false;
        m_llLastMessageEnd = llEnd;
        if (m_bMayHandBack && m_iReaderWrappers > 0 && !m_bDtdSeen)
            m_llHandBackAt = llEnd;
        m_objListener.handleFinishedXmlDoc(m_ptrCurrentElement);
        const ptrCXmlMessage ptrMessage = std::move(m_ptrCurrentMessage);
        m_ptrCurrentMessage.reset();
        m_objListener.handleFinishedXmlMsg(ptrMessage);
    }
    m_ptrCurrentElement = m_vecParents.takeLast();
    return true;
}

bool CXmlStreamParser::breakStream(eFAILURE_KINDS a_eKind, const QString& a_strReason)
{
    m_eFailure = a_eKind;
    m_objReader.raiseError(a_strReason);
    return handleError(nullptr);
}

bool CXmlStreamParser::handleError(const char* a_pszExtra)
{
    m_strError = m_objReader.errorString();
    m_eLastError = m_objReader.error();
    if (m_eLastError == QXmlStreamReader::PrematureEndOfDocumentError)
        return true;  // the data ran out: the rest comes with the next call
    if (m_eFailure == FAILURE_NONE)
        m_eFailure = FAILURE_MALFORMED;
    if (!m_strError.isEmpty())
        m_strError += QLatin1Char('\n');
    // Where the reader took over from the own scanner, it read a prefix of its own first.
    // A position inside the prefix is that of a token that began where the reader took over.
    qint64 llReaderLine = m_objReader.lineNumber() - m_llPrefixLines;
    qint64 llColumn = m_objReader.columnNumber() + (llReaderLine == 1 ? m_llColumnExcess : 0);
    if (llReaderLine < 1) {
        llReaderLine = 1;
        llColumn = m_llColumnBase;
    }
    m_strError += QStringLiteral("%1: Line(%2), Column(%3)\n")
                      .arg(errToString(m_eLastError))
                      .arg(m_llLineBase + llReaderLine - 1)
                      .arg(llColumn);
    // One sink for the diagnostic text: the listener decides what else to do with the error.
    Platform::debugOutput(m_strError);
    if (a_pszExtra)
        m_strError += QString::fromUtf8(a_pszExtra);
    m_objListener.handleParserError(m_strError);
    return false;
}
}  // namespace XmlCommon

#include "CWireScanner_p.h"

#include <OrvexXmlInterface/xmlcommon/Tagnames.h>

#include <array>
#include <cstring>
#include <utility>

namespace XmlCommon
{
namespace
{
const char s_szWrapper[] = "RootDummy";
const int s_iWrapperLength = 9;
const char s_szComment[] = "<!--";
const char s_szCData[] = "<![CDATA[";
const QLatin1String s_strCDataBegin("<![CDATA[");
const QLatin1String s_strCDataEnd("]]>");
// What an element or an attribute counts towards a message's size beyond its text, as in the
// parser's own measure.
const int s_iNodeBytes = 64;
const int s_iMaxCuts = 65536;
// Texts up to this length repeat (units, flags, small numbers) and are shared from the cache.
const int s_iShortText = 16;
// The buffers of decoded texts keep this much from one to the next; beyond the larger size,
// which one long text reaches, they are given back.
const int s_iScratch = 256;
const int s_iMaxScratch = 65536;

enum eCHARS : uchar
{
    CHAR_OTHER = 0,
    CHAR_NAME_START = 1,
    CHAR_NAME = 2,
    CHAR_SPACE = 4,
    CHAR_TAG_STOP = 8,  // ends a start tag, or a run of its bytes outside quotes
};

// ASCII names only: a colon (a namespace prefix to Qt's reader) or any other byte is for the
// reader to judge.
constexpr std::array<uchar, 256> s_aChars = [] {
    std::array<uchar, 256> a{};
    for (int c = 0; c < 256; ++c) {
        const bool bLetter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_';
        if (bLetter)
            a[size_t(c)] = CHAR_NAME_START | CHAR_NAME;
        else if ((c >= '0' && c <= '9') || c == '-' || c == '.')
            a[size_t(c)] = CHAR_NAME;
        else if (c == ' ' || c == '\t' || c == '\n' || c == '\r')
            a[size_t(c)] = CHAR_SPACE;
        else if (c == '>' || c == '<' || c == '"' || c == '\'')
            a[size_t(c)] = CHAR_TAG_STOP;
    }
    return a;
}();

inline bool isNameStart(char a_c)
{
    return s_aChars[uchar(a_c)] & CHAR_NAME_START;
}
inline bool isNameChar(char a_c)
{
    return s_aChars[uchar(a_c)] & CHAR_NAME;
}
inline bool isSpace(char a_c)
{
    return s_aChars[uchar(a_c)] & CHAR_SPACE;
}

// Bytes that a text cannot be copied over as they are, per kind of text.
constexpr std::array<std::array<bool, 256>, 3> s_aSpecial = [] {
    std::array<std::array<bool, 256>, 3> a{};
    for (int c = 0; c < 256; ++c) {
        const bool bCommon = c >= 0x80 || c == '\r';
        a[0][size_t(c)] = bCommon || c == '&' || c == '>';
        a[1][size_t(c)] = bCommon || c == '&' || c == '<' || c == '\t' || c == '\n';
        a[2][size_t(c)] = bCommon;
    }
    return a;
}();

// Bytes that end a run of plain text: its end, or one it cannot be copied over as it is.
constexpr std::array<bool, 256> s_aTextStop = [] {
    std::array<bool, 256> a{};
    for (int c = 0; c < 256; ++c)
        a[size_t(c)] = s_aSpecial[0][size_t(c)] || c == '<';
    return a;
}();

// The same for attribute values, per quote.
constexpr std::array<std::array<bool, 256>, 2> s_aValueStop = [] {
    std::array<std::array<bool, 256>, 2> a{};
    for (int c = 0; c < 256; ++c) {
        a[0][size_t(c)] = s_aSpecial[1][size_t(c)] || c == '"';
        a[1][size_t(c)] = s_aSpecial[1][size_t(c)] || c == '\'';
    }
    return a;
}();

inline quint64 load64(const char* a_p)
{
    quint64 uiWord;
    std::memcpy(&uiWord, a_p, sizeof(uiWord));
    return uiWord;
}
inline quint64 load32(const char* a_p)
{
    quint32 uiWord;
    std::memcpy(&uiWord, a_p, sizeof(uiWord));
    return uiWord;
}

// Keys of up to 32 bytes as two words, read a word at a time: the first and last bytes, which
// overlap when the key is short, and for keys beyond 16 bytes the middle folded in. Equal keys
// of equal length give equal words.
inline void keyWords(const char* a_p, int a_iLength, quint64& a_uiFirst, quint64& a_uiLast)
{
    if (a_iLength >= 8) {
        a_uiFirst = load64(a_p);
        a_uiLast = load64(a_p + a_iLength - 8);
        if (a_iLength > 16) {
            a_uiFirst ^= load64(a_p + 8) * 0x9e3779b97f4a7c15ull;
            a_uiLast ^= load64(a_p + a_iLength - 16) * 0xc2b2ae3d27d4eb4full;
        }
    } else if (a_iLength >= 4) {
        a_uiFirst = load32(a_p);
        a_uiLast = load32(a_p + a_iLength - 4);
    } else {
        a_uiFirst = a_iLength > 0
                        ? uchar(a_p[0]) | uint(uchar(a_p[a_iLength / 2])) << 8 | uint(uchar(a_p[a_iLength - 1])) << 16
                        : 0;
        a_uiLast = 0;
    }
}

inline uint byteHash(const char* a_p, int a_iLength)
{
    quint64 uiFirst;
    quint64 uiLast;
    keyWords(a_p, a_iLength, uiFirst, uiLast);
    const quint64 uiMixed = (uiFirst ^ quint64(a_iLength) << 56) * 0x9e3779b97f4a7c15ull ^
                            (uiLast + 0x632be59bd9b4e019ull) * 0xc2b2ae3d27d4eb4full;
    return uint(uiMixed >> 32);
}

// A key of up to 32 bytes copied a word at a time where it is long enough.
inline void copyKey(char* a_pTo, const char* a_pFrom, int a_iLength)
{
    if (a_iLength >= 8) {
        for (int i = 0; i < a_iLength - 8; i += 8)
            std::memcpy(a_pTo + i, a_pFrom + i, 8);
        std::memcpy(a_pTo + a_iLength - 8, a_pFrom + a_iLength - 8, 8);
    } else if (a_iLength >= 4) {
        std::memcpy(a_pTo, a_pFrom, 4);
        std::memcpy(a_pTo + a_iLength - 4, a_pFrom + a_iLength - 4, 4);
    } else {
        for (int i = 0; i < a_iLength; ++i)
            a_pTo[i] = a_pFrom[i];
    }
}

// Bytes compared a word at a time where they are long enough, without a call.
inline bool sameBytes(const char* a_p, const char* a_q, int a_iLength)
{
    if (a_iLength >= 8) {
        for (int i = 0; i < a_iLength - 8; i += 8) {
            if (load64(a_p + i) != load64(a_q + i))
                return false;
        }
        return load64(a_p + a_iLength - 8) == load64(a_q + a_iLength - 8);
    }
    if (a_iLength >= 4)
        return load32(a_p) == load32(a_q) && load32(a_p + a_iLength - 4) == load32(a_q + a_iLength - 4);
    for (int i = 0; i < a_iLength; ++i) {
        if (a_p[i] != a_q[i])
            return false;
    }
    return true;
}

bool isXmlChar(uint a_uiCode)
{
    return a_uiCode == 0x9 || a_uiCode == 0xa || a_uiCode == 0xd || (a_uiCode >= 0x20 && a_uiCode <= 0xd7ff) ||
           (a_uiCode >= 0xe000 && a_uiCode <= 0xfffd) || (a_uiCode >= 0x10000 && a_uiCode <= 0x10ffff);
}

void appendUtf8(QByteArray& a_baOut, uint a_uiCode)
{
    if (a_uiCode < 0x80) {
        a_baOut.append(char(a_uiCode));
    } else if (a_uiCode < 0x800) {
        a_baOut.append(char(0xc0 | (a_uiCode >> 6)));
        a_baOut.append(char(0x80 | (a_uiCode & 0x3f)));
    } else if (a_uiCode < 0x10000) {
        a_baOut.append(char(0xe0 | (a_uiCode >> 12)));
        a_baOut.append(char(0x80 | ((a_uiCode >> 6) & 0x3f)));
        a_baOut.append(char(0x80 | (a_uiCode & 0x3f)));
    } else {
        a_baOut.append(char(0xf0 | (a_uiCode >> 18)));
        a_baOut.append(char(0x80 | ((a_uiCode >> 12) & 0x3f)));
        a_baOut.append(char(0x80 | ((a_uiCode >> 6) & 0x3f)));
        a_baOut.append(char(0x80 | (a_uiCode & 0x3f)));
    }
}

// Where decode() puts a text: nowhere when it is only checked, UTF-16 units when it is ASCII
// (byte() refuses any other byte), UTF-8 bytes otherwise.
class CCheckSink
{
public:
    void run(const char*, int) {}
    void code(uint) {}
    bool byte(char) { return true; }
};

class CUnitSink
{
public:
    explicit CUnitSink(QChar* a_pOut) : m_pOut(a_pOut) {}
    void run(const char* a_p, int a_iLength)
    {
        for (int i = 0; i < a_iLength; ++i)
            *m_pOut++ = QLatin1Char(a_p[i]);
    }
    void code(uint a_uiCode)
    {
        if (QChar::requiresSurrogates(a_uiCode)) {
            *m_pOut++ = QChar(QChar::highSurrogate(a_uiCode));
            *m_pOut++ = QChar(QChar::lowSurrogate(a_uiCode));
        } else {
            *m_pOut++ = QChar(ushort(a_uiCode));
        }
    }
    bool byte(char) { return false; }
    int size(const QChar* a_pBegin) const { return int(m_pOut - a_pBegin); }

private:
    QChar* m_pOut;
};

class CByteSink
{
public:
    explicit CByteSink(QByteArray& a_baOut) : m_baOut(a_baOut) {}
    void run(const char* a_p, int a_iLength) { m_baOut.append(a_p, a_iLength); }
    void code(uint a_uiCode) { appendUtf8(m_baOut, a_uiCode); }
    bool byte(char a_c)
    {
        m_baOut.append(a_c);
        return true;
    }

private:
    QByteArray& m_baOut;
};

// The character of "&#...;" between a_p and a_pEnd (the ";"), or 0 when it is not one the
// scanner can be sure of.
uint charReference(const char* a_p, const char* a_pEnd)
{
    int iBase = 10;
    if (a_p < a_pEnd && *a_p == 'x') {
        iBase = 16;
        ++a_p;
    }
    if (a_p == a_pEnd || a_pEnd - a_p > 8)
        return 0;
    uint uiCode = 0;
    for (; a_p < a_pEnd; ++a_p) {
        const char c = *a_p;
        int iDigit;
        if (c >= '0' && c <= '9')
            iDigit = c - '0';
        else if (iBase == 16 && c >= 'a' && c <= 'f')
            iDigit = c - 'a' + 10;
        else if (iBase == 16 && c >= 'A' && c <= 'F')
            iDigit = c - 'A' + 10;
        else
            return 0;
        uiCode = uiCode * uint(iBase) + uint(iDigit);
    }
    return isXmlChar(uiCode) ? uiCode : 0;
}

// A prefix of the data that may still become a_pszMarkup.
bool mayBecome(const char* a_p, int a_iAvailable, const char* a_pszMarkup, int a_iLength)
{
    return std::memcmp(a_p, a_pszMarkup, size_t(qMin(a_iAvailable, a_iLength))) == 0;
}
// UTF-16 units of UTF-8 text: one per sequence, two for those of four bytes.
qint64 utf16Units(const uchar* a_p, const uchar* a_pEnd)
{
    qint64 llUnits = a_pEnd - a_p;
    for (; a_p < a_pEnd; ++a_p)
        llUnits += int(*a_p >= 0xf0) - int((*a_p & 0xc0) == 0x80);
    return llUnits;
}

// Line feeds in the bytes, eight at a time.
qint64 lineFeeds(const uchar* a_p, const uchar* a_pEnd)
{
    constexpr quint64 uiLow = 0x7f7f7f7f7f7f7f7full;
    constexpr quint64 uiLineFeeds = 0x0a0a0a0a0a0a0a0aull;
    qint64 llCount = 0;
    for (; a_pEnd - a_p >= 8; a_p += 8) {
        quint64 uiWord;
        std::memcpy(&uiWord, a_p, sizeof(uiWord));
        const quint64 uiX = uiWord ^ uiLineFeeds;
        // The high bit of each byte that is zero in uiX stays clear.
        const quint64 uiNonZero = ((uiX & uiLow) + uiLow) | uiX;
        // One bit per line feed at the bottom of its byte; the product sums the bytes.
        llCount += qint64((((~uiNonZero & ~uiLow) >> 7) * 0x0101010101010101ull) >> 56);
    }
    for (; a_p < a_pEnd; ++a_p)
        llCount += int(*a_p == '\n');
    return llCount;
}

}  // namespace

// Names, attribute names and short texts repeat all the time; each has a small cache of two
// slots per hash, which a stream of endless new ones only misses, never grows. Keys are kept in
// the slot, so that a look-up reads no other memory; longer ones are not cached.
template <typename Value> class CByteCache
{
public:
    static constexpr int s_iMaxKey = 32;

    template <typename Make> const Value& find(const char* a_p, int a_iLength, Make a_fnMake)
    {
        if (a_iLength > s_iMaxKey) {
            m_objUncached = a_fnMake();
            return m_objUncached;
        }
        const size_t uiFirst = firstSlot(byteHash(a_p, a_iLength));
        if (const Value* pValue = hit(uiFirst, a_p, a_iLength))
            return *pValue;
        return insert(uiFirst, a_p, a_iLength, a_fnMake());
    }

private:
    struct struEntry
    {
        int iLength = -1;
        char acKey[s_iMaxKey];
        Value value;
    };
    static size_t firstSlot(uint a_uiHash) { return size_t(a_uiHash >> 24) & ~size_t(1); }
    static bool matches(const struEntry& a_objEntry, const char* a_p, int a_iLength)
    {
        return a_objEntry.iLength == a_iLength && sameBytes(a_objEntry.acKey, a_p, a_iLength);
    }
    // The key's value, moved to the first of its slots, or null.
    const Value* hit(size_t a_uiFirst, const char* a_p, int a_iLength)
    {
        if (matches(m_aEntries[a_uiFirst], a_p, a_iLength))
            return &m_aEntries[a_uiFirst].value;
        if (!matches(m_aEntries[a_uiFirst + 1], a_p, a_iLength))
            return nullptr;
        std::swap(m_aEntries[a_uiFirst], m_aEntries[a_uiFirst + 1]);
        return &m_aEntries[a_uiFirst].value;
    }
    const Value& insert(size_t a_uiFirst, const char* a_p, int a_iLength, Value a_objValue)
    {
        m_aEntries[a_uiFirst + 1] = std::move(m_aEntries[a_uiFirst]);
        struEntry& objEntry = m_aEntries[a_uiFirst];
        objEntry.value = std::move(a_objValue);
        objEntry.iLength = a_iLength;
        copyKey(objEntry.acKey, a_p, a_iLength);
        return objEntry.value;
    }

    std::array<struEntry, 256> m_aEntries;
    Value m_objUncached;
};

class CWireCache
{
public:
    const CTagname& tag(const char* a_p, int a_iLength)
    {
        return m_objTags.find(a_p, a_iLength, [&] {
            const QString strName = QString::fromLatin1(a_p, a_iLength);
            // A vocabulary name is taken from the vocabulary: its copies cost nothing.
            if (const CTagname* pTag = Tag::find(strName))
                return *pTag;
            return CTagname(strName);
        });
    }
    const QByteArray& attribute(const char* a_p, int a_iLength)
    {
        return m_objAttributes.find(a_p, a_iLength, [&] { return QByteArray(a_p, a_iLength); });
    }
    QString text(const char* a_p, int a_iLength)
    {
        if (a_iLength > s_iShortText)
            return QString::fromLatin1(a_p, a_iLength);
        return m_objTexts.find(a_p, a_iLength, [&] { return QString::fromLatin1(a_p, a_iLength); });
    }

private:
    CByteCache<CTagname> m_objTags;
    CByteCache<QByteArray> m_objAttributes;
    CByteCache<QString> m_objTexts;
};

CWireScanner::CWireScanner(IXmlListener& a_objListener, unsigned int a_uiConnectionId)
    : m_objListener(a_objListener), m_uiConnectionId(a_uiConnectionId), m_pCache(new CWireCache)
{}

CWireScanner::~CWireScanner() = default;

bool CWireScanner::scan(const char* a_pData, int a_iLength, const struLimits& a_objLimits)
{
    m_objLimits = a_objLimits;
    const int iNew = takeData(a_pData, a_iLength);
    // Qt's reader refuses U+FFFE and U+FFFF wherever they stand; the two bytes before the new
    // data complete a character that was cut.
    if (hasUnreadableChar(qMax(0, iNew - 2)))
        return false;
    while (m_iPos < m_iEnd) {
        const eSTEPS eStep = step();
        if (eStep == STEP_HAND_OVER)
            return false;
        if (eStep == STEP_MORE)
            break;
    }
    if (!withinLimits() || !partialValid())
        return false;
    keepRest();
    return true;
}

int CWireScanner::takeData(const char* a_pData, int a_iLength)
{
    if (m_baKept.isEmpty()) {
        m_p = a_pData;
        m_iEnd = a_iLength;
        m_bInKept = false;
        return 0;
    }
    const int iOld = m_baKept.size();
    // A message in pieces of a byte would keep a cut per byte; beyond this many the reader
    // may word a fault in such a message differently, never judge it differently.
    if (m_vecCuts.size() < s_iMaxCuts)
        m_vecCuts.append(m_llBase + iOld);
    m_baKept.append(a_pData, a_iLength);
    m_p = m_baKept.constData();
    m_iEnd = m_baKept.size();
    m_bInKept = true;
    return iOld;
}

// Keeps what a hand-over may still need: the current message, or the unfinished markup.
void CWireScanner::keepRest()
{
    const qint64 llKeep = replayOffset();
    countLines(llKeep);
    const int iFrom = int(llKeep - m_llBase);
    int iDropped = 0;
    while (iDropped < m_vecCuts.size() && m_vecCuts.at(iDropped) <= llKeep)
        ++iDropped;
    m_vecCuts.remove(0, iDropped);
    if (iFrom == m_iEnd)
        m_baKept = QByteArray();
    else if (m_bInKept)
        m_baKept.remove(0, iFrom);
    else
        m_baKept = QByteArray(m_p + iFrom, m_iEnd - iFrom);
    m_p = m_baKept.constData();
    m_llBase += iFrom;
    m_iPos -= iFrom;
    m_iScan -= iFrom;
    m_iChecked -= iFrom;
    m_iEnd -= iFrom;
    m_bInKept = !m_baKept.isEmpty();
}

// Before the wrapper, from the start: Qt's reader reads white space there as one token whose
// start it reports for a fault found while the token is unfinished.
qint64 CWireScanner::replayOffset() const
{
    if (!m_bInBody)
        return 0;
    const qint64 llOffset = m_ptrMessage ? m_llMessageStart : m_llBase + m_iPos;
    // Qt's reader holds a carriage return at the end of its data until it knows whether a line
    // feed follows, and reports a fault found meanwhile where the text around it began.
    return llOffset == m_llReturnTextEnd ? m_llReturnTextStart : llOffset;
}

// Only while a message or the text between two is unfinished: the reader measures the same
// sizes and decides on them.
bool CWireScanner::withinLimits() const
{
    const qint64 llEnd = m_llBase + m_iEnd;
    if (m_ptrMessage)
        return llEnd - m_llMessageStart + m_llNodeBytes <= m_objLimits.llMaxMessageBytes;
    return llEnd - m_llLastMessageEnd <= m_objLimits.llMaxBetweenBytes;
}

// Between messages the reader measures the bytes since the last message at the end of each
// piece it reads: a construct that crosses the limit is left to it, so that it refuses the
// stream where it would have.
bool CWireScanner::betweenExceeded(int a_iEnd) const
{
    return !m_pCurrent && m_llBase + a_iEnd - m_llLastMessageEnd > m_objLimits.llMaxBetweenBytes;
}

bool CWireScanner::hasUnreadableChar(int a_iFrom) const
{
    const char* p = m_p + a_iFrom;
    const char* const pEnd = m_p + m_iEnd;
    while ((p = static_cast<const char*>(std::memchr(p, '\xef', size_t(pEnd - p)))) != nullptr) {
        if (pEnd - p < 3)
            return false;
        if (uchar(p[1]) == 0xbf && (uchar(p[2]) & 0xfe) == 0xbe)
            return true;
        ++p;
    }
    return false;
}

// Text without carriage returns (the library's writer writes them as references) is counted a
// word at a time.
void struLines::count(const uchar* a_p, const uchar* a_pEnd)
{
    if (a_p == a_pEnd)
        return;
    if (bCarriageReturn || std::memchr(a_p, '\r', size_t(a_pEnd - a_p))) {
        countWithReturns(a_p, a_pEnd);
        return;
    }
    const void* pLast = memrchr(a_p, '\n', size_t(a_pEnd - a_p));
    if (!pLast) {
        llColumn += utf16Units(a_p, a_pEnd);
        return;
    }
    llLine += lineFeeds(a_p, a_pEnd);
    llColumn = utf16Units(static_cast<const uchar*>(pLast) + 1, a_pEnd);
}

void struLines::countWithReturns(const uchar* a_p, const uchar* a_pEnd)
{
    for (; a_p < a_pEnd; ++a_p) {
        const uchar c = *a_p;
        if (c == '\n') {
            if (!bCarriageReturn)
                ++llLine;
            llColumn = 0;
            bCarriageReturn = false;
        } else if (c == '\r') {
            ++llLine;
            llColumn = 0;
            bCarriageReturn = true;
        } else {
            llColumn += int((c & 0xc0) != 0x80) + int(c >= 0xf0);
            bCarriageReturn = false;
        }
    }
}

void CWireScanner::countLines(qint64 a_llUpTo)
{
    const uchar* pData = reinterpret_cast<const uchar*>(m_p);
    m_objLines.count(pData + (m_llCounted - m_llBase), pData + (a_llUpTo - m_llBase));
    m_llCounted = a_llUpTo;
}

void CWireScanner::resumeAt(qint64 a_llOffset, const struLines& a_objLines, int a_iWrappers)
{
    m_baKept = QByteArray();
    m_p = nullptr;
    m_iEnd = 0;
    m_bInKept = false;
    m_llBase = a_llOffset;
    m_iPos = 0;
    m_iScan = 0;
    m_iChecked = 0;
    m_iTagChecks = 0;
    m_cQuote = 0;
    m_llCounted = a_llOffset;
    m_objLines = a_objLines;
    m_iWrappers = a_iWrappers;
    m_bInBody = true;
    m_ePrevious = TOKEN_OTHER;
    m_strText.clear();
    m_bTextIsCData = false;
    m_llMessageStart = 0;
    m_llLastMessageEnd = a_llOffset;
    m_llNodeBytes = 0;
    m_llReturnTextStart = -1;
    m_llReturnTextEnd = -1;
    m_vecCuts.clear();
}

CWireScanner::struHandOver CWireScanner::takeHandOver()
{
    struHandOver objHandOver;
    objHandOver.llOffset = replayOffset();
    countLines(objHandOver.llOffset);
    const int iFrom = int(objHandOver.llOffset - m_llBase);
    objHandOver.baText = QByteArray(m_p + iFrom, m_iEnd - iFrom);
    for (const qint64 llCut : qAsConst(m_vecCuts)) {
        if (llCut > objHandOver.llOffset)
            objHandOver.vecCuts.append(int(llCut - objHandOver.llOffset));
    }
    objHandOver.objLines = m_objLines;
    objHandOver.iWrappers = m_iWrappers;
    objHandOver.bInBody = m_bInBody;
    objHandOver.llLastMessageEnd = m_llLastMessageEnd;
    if (m_ptrMessage) {
        // The reader builds the message again below the root it has already reported.
        m_ptrRoot->m_lstChildren.clear();
        m_ptrRoot->m_strValue.clear();
        objHandOver.ptrMessage = std::move(m_ptrMessage);
    }
    m_ptrMessage.reset();
    m_ptrRoot.reset();
    m_pCurrent = nullptr;
    m_vecParents.clear();
    m_baKept = QByteArray();
    return objHandOver;
}

CWireScanner::eSTEPS CWireScanner::step()
{
    if (m_p[m_iPos] != '<')
        return text();
    return markup();
}

void CWireScanner::finish(int a_iNext)
{
    m_iPos = a_iNext;
    m_iScan = a_iNext;
    m_iChecked = a_iNext;
    m_iTagChecks = 0;
    m_cQuote = 0;
}

// Qt's reader refuses some faults before the construct that holds them is complete: an
// unknown entity, "]]>", a wrong name or attribute. An unfinished construct is therefore looked
// over too, and handed to the reader when what has arrived of it is not plainly fine.
bool CWireScanner::partialValid()
{
    if (m_iPos >= m_iEnd)
        return true;
    if (m_p[m_iPos] != '<') {
        if (!m_pCurrent && m_iWrappers == 0) {
            for (; m_iChecked < m_iEnd; ++m_iChecked) {
                if (!isSpace(m_p[m_iChecked]))
                    return false;
            }
            return true;
        }
        const int iFrom = qMax(m_iPos, m_iChecked - 1);
        if (!partialTextValid(iFrom, m_iEnd, TEXT_CONTENT))
            return false;
        return true;
    }
    if (m_iEnd - m_iPos < 2 || m_p[m_iPos + 1] == '!')
        return true;
    // Start and end tags are short: one that has arrived in many pieces or is long is left to
    // the reader rather than looked over again and again.
    if (m_iEnd - m_iPos > 1024 || ++m_iTagChecks > 8)
        return false;
    const bool bEndTag = m_p[m_iPos + 1] == '/';
    // An end tag the scanner would not read is the reader's at once: outside any element Qt's
    // reader refuses the "/" itself.
    if (bEndTag && !expectedEndTag())
        return false;
    int k = m_iPos + (bEndTag ? 2 : 1);
    if (k == m_iEnd)
        return true;
    if (!isNameStart(m_p[k]))
        return false;
    const int iName = k;
    while (isNameChar(m_p[k]))
        ++k;
    if (bEndTag) {
        if (!namePrefixMatches(*expectedEndTag(), iName, k))
            return false;
        while (isSpace(m_p[k]))
            ++k;
        return k == m_iEnd;
    }
    if (!m_pCurrent && m_iWrappers == 0 && !namePrefixMatches(wrapperName(), iName, k))
        return false;
    bool bEmpty = false;
    return parseAttributes(k, m_iEnd, true, bEmpty) == STEP_DONE;
}

// The name between a_iFrom and a_iTo is a_baName, or its beginning when it runs to the end of
// the data.
bool CWireScanner::namePrefixMatches(const QByteArray& a_baName, int a_iFrom, int a_iTo) const
{
    const int iLength = a_iTo - a_iFrom;
    if (iLength > a_baName.size() || (a_iTo < m_iEnd && iLength != a_baName.size()))
        return false;
    return std::memcmp(a_baName.constData(), m_p + a_iFrom, size_t(iLength)) == 0;
}

const QByteArray& CWireScanner::wrapperName()
{
    static const QByteArray s_baWrapper(s_szWrapper);
    return s_baWrapper;
}

// The name the next end tag must have for the scanner to read it: the current element's, or the
// wrapper's when one is open inside another.
const QByteArray* CWireScanner::expectedEndTag() const
{
    if (m_pCurrent)
        return &m_pCurrent->tagname().name();
    return m_iWrappers > 1 ? &wrapperName() : nullptr;
}

// Whether the bytes after a "&" up to the end of the data may still become a reference that
// the scanner reads: Qt's reader refuses a wrong one as soon as it sees the wrong byte.
bool CWireScanner::mayBecomeReference(int a_iFrom, int a_iTo) const
{
    if (a_iFrom == a_iTo)
        return true;
    if (a_iTo - a_iFrom > 10)
        return false;
    if (m_p[a_iFrom] != '#') {
        if (!isNameStart(m_p[a_iFrom]))
            return false;
        for (int i = a_iFrom + 1; i < a_iTo; ++i) {
            if (!isNameChar(m_p[i]))
                return false;
        }
        return true;
    }
    int i = a_iFrom + 1;
    const bool bHex = i < a_iTo && m_p[i] == 'x';
    if (bHex)
        ++i;
    for (; i < a_iTo; ++i) {
        const char c = m_p[i];
        const bool bDigit = c >= '0' && c <= '9';
        const bool bHexLetter = (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
        if (!bDigit && !(bHex && bHexLetter))
            return false;
    }
    return true;
}

// The text is valid so far: a reference at its end may still be completed.
bool CWireScanner::partialTextValid(int a_iFrom, int a_iTo, eTEXTS a_eKind)
{
    int iValid = a_iTo;
    for (int i = a_iTo - 1; i >= a_iFrom && i >= a_iTo - 12; --i) {
        if (m_p[i] == ';')
            break;
        if (m_p[i] == '&') {
            if (!mayBecomeReference(i + 1, a_iTo))
                return false;
            iValid = i;
            break;
        }
    }
    if (!decode(a_iFrom, iValid, a_eKind, nullptr))
        return false;
    if (a_eKind == TEXT_CONTENT)
        m_iChecked = iValid;
    return true;
}

CWireScanner::eSTEPS CWireScanner::text()
{
    // A text looked at for the first time is searched for its end and for bytes that need
    // decoding in one pass: most texts have none.
    int iPlain = m_iPos;
    if (m_iScan <= m_iPos) {
        while (iPlain < m_iEnd && !s_aTextStop[uchar(m_p[iPlain])])
            ++iPlain;
        m_iScan = iPlain;
    }
    const void* pLess = m_iScan < m_iEnd && m_p[m_iScan] == '<'
                            ? m_p + m_iScan
                            : std::memchr(m_p + m_iScan, '<', size_t(m_iEnd - m_iScan));
    if (!pLess) {
        m_iScan = m_iEnd;
        return STEP_MORE;
    }
    const int iStop = int(static_cast<const char*>(pLess) - m_p);
    const bool bPlain = iStop == iPlain;
    if (betweenExceeded(iStop))
        return STEP_HAND_OVER;
    if (!m_pCurrent && m_iWrappers == 0) {
        // Before and after the document's element only white space may stand.
        for (int i = m_iPos; i < iStop; ++i) {
            if (!isSpace(m_p[i]))
                return STEP_HAND_OVER;
        }
    } else if (m_pCurrent && m_ePrevious != TOKEN_OTHER && !startTagFollows(iStop)) {
        QString strText;
        if (bPlain)
            strText = m_pCache->text(m_p + m_iPos, iStop - m_iPos);
        else if (!decode(m_iPos, iStop, TEXT_CONTENT, &strText))
            return STEP_HAND_OVER;
        takeCharacters(std::move(strText), false);
    } else if (!bPlain && !decode(m_iPos, iStop, TEXT_CONTENT, nullptr)) {
        return STEP_HAND_OVER;
    }
    if (!m_pCurrent && iStop > m_iPos && m_p[iStop - 1] == '\r') {
        m_llReturnTextStart = m_llBase + m_iPos;
        m_llReturnTextEnd = m_llBase + iStop;
    }
    m_ePrevious = TOKEN_TEXT;
    finish(iStop);
    return STEP_DONE;
}

// A start tag drops the text before it (and "<?" goes to the reader): such a text is only
// checked.
bool CWireScanner::startTagFollows(int a_iLess) const
{
    return a_iLess + 1 < m_iEnd && m_p[a_iLess + 1] != '/' && m_p[a_iLess + 1] != '!';
}

// As the parser collects the reader's character tokens: text before a CDATA section is
// dropped, and the section's value keeps its markers.
void CWireScanner::takeCharacters(QString&& a_strText, bool a_bCData)
{
    if (a_bCData && !m_bTextIsCData) {
        m_strText = s_strCDataBegin;
        m_bTextIsCData = true;
    }
    if (m_strText.isEmpty())
        m_strText = std::move(a_strText);
    else
        m_strText += a_strText;
}

bool CWireScanner::decode(int a_iFrom, int a_iTo, eTEXTS a_eKind, QString* a_pstrOut)
{
    const std::array<bool, 256>& aSpecial = s_aSpecial[size_t(a_eKind)];
    int i = a_iFrom;
    while (i < a_iTo && !aSpecial[uchar(m_p[i])])
        ++i;
    if (i == a_iTo) {
        if (a_pstrOut)
            *a_pstrOut = m_pCache->text(m_p + a_iFrom, a_iTo - a_iFrom);
        return true;
    }
    if (!a_pstrOut) {
        CCheckSink objCheck;
        return decodeInto(a_iFrom, a_iTo, a_eKind, objCheck) == DECODE_DONE;
    }
    // ASCII text, most of it, is decoded straight into UTF-16 units, no more of them than it
    // has bytes; other text through UTF-8. The buffers keep their capacity, up to a limit.
    if (m_strUnits.capacity() > s_iMaxScratch)
        m_strUnits = QString();
    m_strUnits.reserve(qMax(a_iTo - a_iFrom, s_iScratch));
    m_strUnits.resize(a_iTo - a_iFrom);
    CUnitSink objUnits(m_strUnits.data());
    const eDECODED eUnits = decodeInto(a_iFrom, a_iTo, a_eKind, objUnits);
    if (eUnits != DECODE_NOT_ASCII) {
        if (eUnits == DECODE_FAULT)
            return false;
        *a_pstrOut = QString(m_strUnits.constData(), objUnits.size(m_strUnits.constData()));
        return true;
    }
    if (m_baScratch.capacity() > s_iMaxScratch)
        m_baScratch = QByteArray();
    m_baScratch.reserve(s_iScratch);
    m_baScratch.resize(0);
    CByteSink objBytes(m_baScratch);
    if (decodeInto(a_iFrom, a_iTo, a_eKind, objBytes) != DECODE_DONE)
        return false;
    *a_pstrOut = QString::fromUtf8(m_baScratch);
    return true;
}

template <typename Sink>
CWireScanner::eDECODED CWireScanner::decodeInto(int a_iFrom, int a_iTo, eTEXTS a_eKind, Sink& a_objSink) const
{
    const std::array<bool, 256>& aSpecial = s_aSpecial[size_t(a_eKind)];
    int i = a_iFrom;
    while (i < a_iTo) {
        const int iRun = i;
        while (i < a_iTo && !aSpecial[uchar(m_p[i])])
            ++i;
        a_objSink.run(m_p + iRun, i - iRun);
        if (i == a_iTo)
            break;
        const char c = m_p[i];
        switch (c) {
        case '&': {
            uint uiCode = 0;
            if (!reference(i, a_iTo, uiCode))
                return DECODE_FAULT;
            a_objSink.code(uiCode);
            continue;
        }
        case '\r':
            // Line ends are read as one line feed, in attribute values as one space.
            a_objSink.code(a_eKind == TEXT_ATTRIBUTE ? ' ' : '\n');
            if (i + 1 < a_iTo && m_p[i + 1] == '\n')
                ++i;
            break;
        case '\t':
        case '\n': a_objSink.code(' '); break;
        case '<': return DECODE_FAULT;
        case '>':
            // "]]>" is refused in text; the reader is left to tell how it counts a "]" that
            // came from a reference.
            if (i > a_iFrom && m_p[i - 1] == ']')
                return DECODE_FAULT;
            a_objSink.code('>');
            break;
        default:
            if (!a_objSink.byte(c))
                return DECODE_NOT_ASCII;
            break;
        }
        ++i;
    }
    return DECODE_DONE;
}

// The character of the reference at a_iPos, which moves past it.
bool CWireScanner::reference(int& a_iPos, int a_iTo, uint& a_uiCode) const
{
    const int iName = a_iPos + 1;
    const void* pSemicolon = std::memchr(m_p + iName, ';', size_t(qMin(a_iTo - iName, 12)));
    if (!pSemicolon)
        return false;
    const char* pEnd = static_cast<const char*>(pSemicolon);
    const char* pName = m_p + iName;
    const int iLength = int(pEnd - pName);
    uint uiCode = 0;
    if (iLength > 0 && *pName == '#')
        uiCode = charReference(pName + 1, pEnd);
    else if (iLength == 2 && std::memcmp(pName, "lt", 2) == 0)
        uiCode = '<';
    else if (iLength == 2 && std::memcmp(pName, "gt", 2) == 0)
        uiCode = '>';
    else if (iLength == 3 && std::memcmp(pName, "amp", 3) == 0)
        uiCode = '&';
    else if (iLength == 4 && std::memcmp(pName, "apos", 4) == 0)
        uiCode = '\'';
    else if (iLength == 4 && std::memcmp(pName, "quot", 4) == 0)
        uiCode = '"';
    if (uiCode == 0)
        return false;
    a_uiCode = uiCode;
    a_iPos = int(pEnd - m_p) + 1;
    return true;
}

CWireScanner::eSTEPS CWireScanner::markup()
{
    const int iAvailable = m_iEnd - m_iPos;
    if (iAvailable < 2)
        return STEP_MORE;
    const char c = m_p[m_iPos + 1];
    if (c == '/')
        return endTag();
    if (c == '?')
        return STEP_HAND_OVER;
    if (c != '!')
        return startTag();
    const char* p = m_p + m_iPos;
    if (mayBecome(p, iAvailable, s_szComment, 4))
        return iAvailable < 4 ? STEP_MORE : comment();
    if (mayBecome(p, iAvailable, s_szCData, 9))
        return iAvailable < 9 ? STEP_MORE : cdata();
    return STEP_HAND_OVER;
}

// The first "--" ends the comment, and must be followed by ">".
CWireScanner::eSTEPS CWireScanner::comment()
{
    if (!m_pCurrent && m_iWrappers == 0)
        return STEP_HAND_OVER;
    int j = qMax(m_iScan, m_iPos + 4);
    for (;;) {
        const void* pDash = std::memchr(m_p + j, '-', size_t(m_iEnd - j));
        if (!pDash) {
            m_iScan = m_iEnd;
            return STEP_MORE;
        }
        j = int(static_cast<const char*>(pDash) - m_p);
        if (j + 2 >= m_iEnd) {
            m_iScan = j;
            return STEP_MORE;
        }
        if (m_p[j + 1] == '-')
            break;
        ++j;
    }
    if (m_p[j + 2] != '>' || betweenExceeded(j + 3))
        return STEP_HAND_OVER;
    m_ePrevious = TOKEN_OTHER;
    finish(j + 3);
    return STEP_DONE;
}

CWireScanner::eSTEPS CWireScanner::cdata()
{
    if (!m_pCurrent && m_iWrappers == 0)
        return STEP_HAND_OVER;
    const int iContent = m_iPos + 9;
    int j = qMax(m_iScan, iContent);
    for (;;) {
        const void* pBracket = std::memchr(m_p + j, ']', size_t(m_iEnd - j));
        if (!pBracket) {
            m_iScan = m_iEnd;
            return STEP_MORE;
        }
        j = int(static_cast<const char*>(pBracket) - m_p);
        if (j + 2 >= m_iEnd) {
            m_iScan = j;
            return STEP_MORE;
        }
        if (m_p[j + 1] == ']' && m_p[j + 2] == '>')
            break;
        ++j;
    }
    if (betweenExceeded(j + 3))
        return STEP_HAND_OVER;
    if (m_pCurrent && m_ePrevious != TOKEN_OTHER) {
        QString strText;
        decode(iContent, j, TEXT_CDATA, &strText);
        takeCharacters(std::move(strText), true);
    }
    m_ePrevious = TOKEN_TEXT;
    finish(j + 3);
    return STEP_DONE;
}

CWireScanner::eSTEPS CWireScanner::startTag()
{
    // The tag may not reach the byte at iLimit.
    const int iLimit = int(qMin<qint64>(m_iEnd, m_iPos + m_objLimits.llMaxStartTagBytes));
    // A tag looked at for the first time has mostly arrived whole: it is read in one pass, and
    // searched for its end and parsed apart only when that pass is not sure of it.
    if (m_iScan <= m_iPos && isNameStart(m_p[m_iPos + 1])) {
        int k = m_iPos + 2;
        while (k < iLimit && isNameChar(m_p[k]))
            ++k;
        int iClose = 0;
        bool bEmpty = false;
        if (readTag(k, iLimit, iClose, bEmpty))
            return openElement(k - m_iPos - 1, bEmpty, iClose + 1);
    }
    char cQuote = m_cQuote;
    int j = qMax(m_iScan, m_iPos + 1);
    while (j < iLimit) {
        if (cQuote != 0) {
            const void* pQuote = std::memchr(m_p + j, cQuote, size_t(iLimit - j));
            if (!pQuote) {
                j = iLimit;
                break;
            }
            j = int(static_cast<const char*>(pQuote) - m_p) + 1;
            cQuote = 0;
            continue;
        }
        while (j < iLimit && !(s_aChars[uchar(m_p[j])] & CHAR_TAG_STOP))
            ++j;
        if (j == iLimit || m_p[j] == '>')
            break;
        if (m_p[j] == '<')
            return STEP_HAND_OVER;
        cQuote = m_p[j++];
    }
    if (j >= iLimit) {
        if (iLimit < m_iEnd)
            return STEP_HAND_OVER;
        m_iScan = j;
        m_cQuote = cQuote;
        return STEP_MORE;
    }
    int k = m_iPos + 1;
    if (!isNameStart(m_p[k]))
        return STEP_HAND_OVER;
    while (isNameChar(m_p[k]))
        ++k;
    bool bEmpty = false;
    if (parseAttributes(k, j, false, bEmpty) != STEP_DONE)
        return STEP_HAND_OVER;
    return openElement(k - m_iPos - 1, bEmpty, j + 1);
}

// The rest of a start tag from a_iFrom, into m_vecAttrs, with the index of its ">": true only
// when the tag ends before a_iLimit and is fine as parseAttributes() would find it, which then
// would find the same attributes.
bool CWireScanner::readTag(int a_iFrom, int a_iLimit, int& a_iClose, bool& a_bEmpty)
{
    m_vecAttrs.clear();
    int k = a_iFrom;
    for (;;) {
        const int iSpace = k;
        while (k < a_iLimit && isSpace(m_p[k]))
            ++k;
        if (k >= a_iLimit)
            return false;
        if (m_p[k] == '>') {
            a_iClose = k;
            return true;
        }
        if (m_p[k] == '/') {
            a_bEmpty = true;
            a_iClose = k + 1;
            return k + 1 < a_iLimit && m_p[k + 1] == '>';
        }
        if (k == iSpace || !isNameStart(m_p[k]) || m_vecAttrs.size() >= m_objLimits.iMaxAttributes)
            return false;
        const int iName = k;
        while (k < a_iLimit && isNameChar(m_p[k]))
            ++k;
        const int iNameLength = k - iName;
        while (k < a_iLimit && isSpace(m_p[k]))
            ++k;
        if (k >= a_iLimit || m_p[k] != '=')
            return false;
        ++k;
        while (k < a_iLimit && isSpace(m_p[k]))
            ++k;
        if (k >= a_iLimit || (m_p[k] != '"' && m_p[k] != '\''))
            return false;
        const char cQuote = m_p[k];
        for (const struAttr& objAttr : qAsConst(m_vecAttrs)) {
            if (objAttr.iNameLength == iNameLength && sameBytes(m_p + objAttr.iName, m_p + iName, iNameLength))
                return false;
        }
        const std::array<bool, 256>& aStop = s_aValueStop[cQuote == '\''];
        int i = k + 1;
        while (i < a_iLimit && !aStop[uchar(m_p[i])])
            ++i;
        if (i >= a_iLimit)
            return false;
        const bool bPlain = m_p[i] == cQuote;
        if (!bPlain) {
            const void* pClose = std::memchr(m_p + i, cQuote, size_t(a_iLimit - i));
            if (!pClose)
                return false;
            i = int(static_cast<const char*>(pClose) - m_p);
        }
        m_vecAttrs.append(struAttr{iName, iNameLength, k + 1, i - k - 1, bPlain});
        k = i + 1;
    }
}

// The attributes between a_iFrom and the ">" at a_iEnd, into m_vecAttrs; a_bPartial: of a tag
// whose ">" has not arrived yet, which ends anywhere at a_iEnd.
CWireScanner::eSTEPS CWireScanner::parseAttributes(int a_iFrom, int a_iEnd, bool a_bPartial, bool& a_bEmpty)
{
    m_vecAttrs.clear();
    int k = a_iFrom;
    for (;;) {
        const int iSpace = k;
        while (k < a_iEnd && isSpace(m_p[k]))
            ++k;
        if (k == a_iEnd)
            return STEP_DONE;
        if (m_p[k] == '/') {
            a_bEmpty = true;
            return k + 1 == a_iEnd ? STEP_DONE : STEP_HAND_OVER;
        }
        if (k == iSpace || !isNameStart(m_p[k]))
            return STEP_HAND_OVER;
        const int iName = k;
        while (k < a_iEnd && isNameChar(m_p[k]))
            ++k;
        const int iNameLength = k - iName;
        while (k < a_iEnd && isSpace(m_p[k]))
            ++k;
        if (a_bPartial && k == a_iEnd)
            return STEP_DONE;
        if (m_p[k] != '=')
            return STEP_HAND_OVER;
        ++k;
        while (k < a_iEnd && isSpace(m_p[k]))
            ++k;
        if (a_bPartial && k == a_iEnd)
            return STEP_DONE;
        const char cQuote = m_p[k];
        if (cQuote != '"' && cQuote != '\'')
            return STEP_HAND_OVER;
        if (m_vecAttrs.size() >= m_objLimits.iMaxAttributes)
            return STEP_HAND_OVER;
        for (const struAttr& objAttr : qAsConst(m_vecAttrs)) {
            if (objAttr.iNameLength == iNameLength && sameBytes(m_p + objAttr.iName, m_p + iName, iNameLength))
                return STEP_HAND_OVER;
        }
        const void* pClose = std::memchr(m_p + k + 1, cQuote, size_t(a_iEnd - k - 1));
        if (!pClose) {
            if (a_bPartial && partialTextValid(k + 1, a_iEnd, TEXT_ATTRIBUTE))
                return STEP_DONE;
            return STEP_HAND_OVER;
        }
        const int iClose = int(static_cast<const char*>(pClose) - m_p);
        if (a_bPartial && !decode(k + 1, iClose, TEXT_ATTRIBUTE, nullptr))
            return STEP_HAND_OVER;
        m_vecAttrs.append(struAttr{iName, iNameLength, k + 1, iClose - k - 1, false});
        k = iClose + 1;
    }
}

bool CWireScanner::attributesValid()
{
    for (const struAttr& objAttr : qAsConst(m_vecAttrs)) {
        if (!decode(objAttr.iValue, objAttr.iValue + objAttr.iValueLength, TEXT_ATTRIBUTE, nullptr))
            return false;
    }
    return true;
}

bool CWireScanner::addAttributes(CXmlElement& a_objElement)
{
    a_objElement.m_lstAttributes.reserve(m_vecAttrs.size());
    for (const struAttr& objAttr : qAsConst(m_vecAttrs)) {
        QString strValue;
        if (objAttr.bPlain)
            strValue = m_pCache->text(m_p + objAttr.iValue, objAttr.iValueLength);
        else if (!decode(objAttr.iValue, objAttr.iValue + objAttr.iValueLength, TEXT_ATTRIBUTE, &strValue))
            return false;
        const char* pName = m_p + objAttr.iName;
        // "_zip" "0" is the writer's mark of a value that is not to be compressed.
        if (objAttr.iNameLength == 4 && std::memcmp(pName, "_zip", 4) == 0 && strValue == QLatin1String("0"))
            a_objElement.disableCompression();
        else
            a_objElement.appendAttribute(m_pCache->attribute(pName, objAttr.iNameLength), std::move(strValue));
    }
    return true;
}

CWireScanner::eSTEPS CWireScanner::openElement(int a_iNameLength, bool a_bEmpty, int a_iNext)
{
    const char* pName = m_p + m_iPos + 1;
    const qint64 llStart = m_llBase + m_iPos;
    const bool bRoot = !m_pCurrent;
    if (bRoot) {
        const bool bWrapper =
            a_iNameLength == s_iWrapperLength && std::memcmp(pName, s_szWrapper, s_iWrapperLength) == 0;
        if (m_iWrappers == 0 && (!bWrapper || a_bEmpty))
            return STEP_HAND_OVER;
        if (llStart - m_llLastMessageEnd > m_objLimits.llMaxBetweenBytes)
            return STEP_HAND_OVER;
        // The wrapper of a connection stream creates no element. Its tag lies between
        // messages: one that crosses the limit is the reader's, as other markup there.
        if (bWrapper) {
            if (betweenExceeded(a_iNext) || !attributesValid())
                return STEP_HAND_OVER;
            m_bInBody = true;
            ++m_iWrappers;
            m_ePrevious = TOKEN_START;
            if (a_bEmpty)
                return closeElement(a_iNext);
            finish(a_iNext);
            return STEP_DONE;
        }
    } else if (m_vecParents.size() >= m_objLimits.iMaxDepth) {
        return STEP_HAND_OVER;
    }
    ptrCXmlElement ptrElement(new CXmlElement(m_pCache->tag(pName, a_iNameLength)));
    if (!addAttributes(*ptrElement))
        return STEP_HAND_OVER;
    m_bInBody = true;
    m_strText.clear();
    m_bTextIsCData = false;
    if (bRoot) {
        m_llMessageStart = llStart;
        m_llNodeBytes = 0;
    }
    m_llNodeBytes += s_iNodeBytes * (1 + m_vecAttrs.size());
    CXmlElement* pElement = ptrElement.data();
    m_vecParents.append(m_pCurrent);
    m_pCurrent = pElement;
    m_ePrevious = TOKEN_START;
    if (bRoot) {
        m_ptrRoot = std::move(ptrElement);
        m_ptrMessage = ptrCXmlMessage(new CXmlMessage(m_uiConnectionId));
        m_ptrMessage->setElementTree(m_ptrRoot);
        m_objListener.handleMsgHeader(m_ptrMessage);
    } else {
        // Moved into the list, which has no moving append, so that the reference count is not
        // touched again.
        QList<ptrCXmlElement>& lstSiblings = m_vecParents.last()->m_lstChildren;
        lstSiblings.append(ptrCXmlElement());
        lstSiblings.last() = std::move(ptrElement);
    }
    if (a_bEmpty)
        return closeElement(a_iNext);
    finish(a_iNext);
    return STEP_DONE;
}

CWireScanner::eSTEPS CWireScanner::endTag()
{
    const int iFrom = qMax(m_iScan, m_iPos + 2);
    const void* pGreater = std::memchr(m_p + iFrom, '>', size_t(m_iEnd - iFrom));
    if (!pGreater) {
        m_iScan = m_iEnd;
        return STEP_MORE;
    }
    const int iClose = int(static_cast<const char*>(pGreater) - m_p);
    const int iName = m_iPos + 2;
    int k = iName;
    if (!isNameStart(m_p[k]))
        return STEP_HAND_OVER;
    while (isNameChar(m_p[k]))
        ++k;
    const int iNameLength = k - iName;
    while (isSpace(m_p[k]))
        ++k;
    if (k != iClose || betweenExceeded(iClose + 1))
        return STEP_HAND_OVER;
    const QByteArray* pExpected = expectedEndTag();
    if (!pExpected || pExpected->size() != iNameLength || !sameBytes(pExpected->constData(), m_p + iName, iNameLength))
        return STEP_HAND_OVER;
    return closeElement(iClose + 1);
}

CWireScanner::eSTEPS CWireScanner::closeElement(int a_iNext)
{
    m_ePrevious = TOKEN_OTHER;
    if (!m_pCurrent) {
        --m_iWrappers;
        finish(a_iNext);
        return STEP_DONE;
    }
    const qint64 llEnd = m_llBase + a_iNext;
    const bool bRoot = m_vecParents.size() == 1;
    if (bRoot && llEnd - m_llMessageStart + m_llNodeBytes > m_objLimits.llMaxMessageBytes)
        return STEP_HAND_OVER;
    if (m_bTextIsCData)
        m_strText += s_strCDataEnd;
    m_bTextIsCData = false;
    // An element with children has no value: their start cleared the text.
    if (!m_strText.isEmpty())
        m_pCurrent->m_strValue.swap(m_strText);
    m_strText.clear();
    finish(a_iNext);
    m_pCurrent = m_vecParents.takeLast();
    if (bRoot) {
        m_llLastMessageEnd = llEnd;
        ptrCXmlElement ptrRoot = std::move(m_ptrRoot);
        m_ptrRoot.reset();
        m_objListener.handleFinishedXmlDoc(std::move(ptrRoot));
        const ptrCXmlMessage ptrMessage = std::move(m_ptrMessage);
        m_ptrMessage.reset();
        m_objListener.handleFinishedXmlMsg(ptrMessage);
    }
    return STEP_DONE;
}
}  // namespace XmlCommon

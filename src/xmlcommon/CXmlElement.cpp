#include "CXmlElement_p.h"

#include "CWorkMan.h"
#include "ResultCodes.h"

#include <QtCore/QVarLengthArray>

#include <algorithm>
#include <array>
#include <cstring>
#include <limits>
#include <new>
#include <utility>
#include <vector>

namespace XmlCommon
{
namespace
{
const QLatin1String s_strCDataBegin("<![CDATA[");
const QLatin1String s_strCDataEnd("]]>");
const char s_szZipAttribute[] = " _zip=\"0\"";

// Stands for what XML cannot carry at all: controls other than tab, line feed and carriage
// return, U+FFFE, U+FFFF and halves of surrogate pairs. A reader would refuse them and the
// stream with them.
const char s_szReplacement[] = "\xef\xbf\xbd";

enum class eESCAPE
{
    Text,
    Attribute,
    CData  // the inside of a CDATA section
};

struct struEntity
{
    const char* pszText;
    int iLength;  // 0: the character stands for itself
};

// What an ASCII character becomes on the wire. Carriage returns, and in attribute values tabs
// and line feeds too, are written as references: a reader turns them into line feeds and blanks.
template <eESCAPE Mode> constexpr std::array<struEntity, 128> entities()
{
    std::array<struEntity, 128> aTable{};
    for (int c = 0; c < 0x20; ++c)
        aTable[size_t(c)] = {s_szReplacement, 3};
    aTable['\t'] = Mode == eESCAPE::Attribute ? struEntity{"&#9;", 4} : struEntity{nullptr, 0};
    aTable['\n'] = Mode == eESCAPE::Attribute ? struEntity{"&#10;", 5} : struEntity{nullptr, 0};
    aTable['\r'] = Mode == eESCAPE::CData ? struEntity{"]]>&#13;<![CDATA[", 17} : struEntity{"&#13;", 5};
    if (Mode != eESCAPE::CData) {
        aTable['<'] = {"&lt;", 4};
        aTable['>'] = {"&gt;", 4};
        aTable['&'] = {"&amp;", 5};
    }
    if (Mode == eESCAPE::Attribute) {
        aTable['"'] = {"&quot;", 6};
        aTable['\''] = {"&apos;", 6};
    }
    return aTable;
}

template <eESCAPE Mode> constexpr std::array<struEntity, 128> s_aEntities = entities<Mode>();

// Whether an ASCII character is written as its own byte; in a CDATA section a "]" may start a
// "]]>", which is looked at more closely.
template <eESCAPE Mode> constexpr std::array<bool, 128> plainCharacters()
{
    std::array<bool, 128> aPlain{};
    for (size_t c = 0; c < aPlain.size(); ++c)
        aPlain[c] = s_aEntities<Mode>[c].iLength == 0 && !(Mode == eESCAPE::CData && c == ']');
    return aPlain;
}

template <eESCAPE Mode> constexpr std::array<bool, 128> s_aPlain = plainCharacters<Mode>();

// Bytes beyond one that an ASCII character becomes.
template <eESCAPE Mode> constexpr std::array<qint8, 128> extraBytes()
{
    std::array<qint8, 128> aExtra{};
    for (size_t c = 0; c < aExtra.size(); ++c)
        aExtra[c] = qint8(std::max(0, s_aEntities<Mode>[c].iLength - 1));
    return aExtra;
}

template <eESCAPE Mode> constexpr std::array<qint8, 128> s_aExtra = extraBytes<Mode>();

// The most bytes one UTF-16 unit can become: its entity, or three of UTF-8 (a surrogate pair's
// four bytes are two for each half; a split "]]>" is five for each of its characters).
template <eESCAPE Mode> constexpr int maxBytesPerUnit()
{
    int iMax = 3;
    for (const struEntity& objEntity : s_aEntities<Mode>)
        iMax = std::max(iMax, objEntity.iLength);
    return iMax;
}

const char s_szSplitCDataEnd[] = "]]]]><![CDATA[>";

inline bool isCDataEnd(const QChar* a_pText, int a_i, int a_iLength)
{
    return a_i + 2 < a_iLength && a_pText[a_i + 1] == QLatin1Char(']') && a_pText[a_i + 2] == QLatin1Char('>');
}

// The pieces are mostly a few bytes long: copied with fixed-size moves that stay within both
// ends, which spares the call of a general copy.
inline char* putBytes(char* a_pOut, const char* a_pText, int a_iLength)
{
    const size_t uLength = size_t(a_iLength);
    if (uLength >= 8 && uLength <= 16) {
        std::memcpy(a_pOut, a_pText, 8);
        std::memcpy(a_pOut + uLength - 8, a_pText + uLength - 8, 8);
    } else if (uLength >= 4 && uLength < 8) {
        std::memcpy(a_pOut, a_pText, 4);
        std::memcpy(a_pOut + uLength - 4, a_pText + uLength - 4, 4);
    } else if (uLength > 16) {
        std::memcpy(a_pOut, a_pText, uLength);
    } else if (uLength >= 2) {
        std::memcpy(a_pOut, a_pText, 2);
        std::memcpy(a_pOut + uLength - 2, a_pText + uLength - 2, 2);
    } else if (uLength == 1) {
        *a_pOut = *a_pText;
    }
    return a_pOut + a_iLength;
}

// The UTF-8 of a character beyond ASCII; a surrogate pair has been joined before.
char* putNonAscii(char32_t a_u, char* a_pOut)
{
    if (a_u < 0x800) {
        *a_pOut++ = char(0xc0 | (a_u >> 6));
        *a_pOut++ = char(0x80 | (a_u & 0x3f));
    } else if (a_u >= 0x10000) {
        *a_pOut++ = char(0xf0 | (a_u >> 18));
        *a_pOut++ = char(0x80 | ((a_u >> 12) & 0x3f));
        *a_pOut++ = char(0x80 | ((a_u >> 6) & 0x3f));
        *a_pOut++ = char(0x80 | (a_u & 0x3f));
    } else if (QChar::isSurrogate(a_u) || a_u >= 0xfffe) {
        a_pOut = putBytes(a_pOut, s_szReplacement, 3);
    } else {
        *a_pOut++ = char(0xe0 | (a_u >> 12));
        *a_pOut++ = char(0x80 | ((a_u >> 6) & 0x3f));
        *a_pOut++ = char(0x80 | (a_u & 0x3f));
    }
    return a_pOut;
}

// Writes the UTF-8 of a text, escaped as the mode says, at a_pOut, which has room for it, and
// returns the end. Inside a CDATA section every "]]>" is split between two sections, so that
// the section does not end early.
template <eESCAPE Mode> char* encode(const QChar* a_pText, int a_iLength, char* a_pOut)
{
    for (int i = 0; i < a_iLength; ++i) {
        const char16_t c = a_pText[i].unicode();
        if (c < 0x80 && s_aPlain<Mode>[c]) {
            *a_pOut++ = char(c);
        } else if (c >= 0x80) {
            char32_t u = c;
            if (QChar::isHighSurrogate(c) && i + 1 < a_iLength && a_pText[i + 1].isLowSurrogate())
                u = QChar::surrogateToUcs4(c, a_pText[++i].unicode());
            a_pOut = putNonAscii(u, a_pOut);
        } else if (Mode == eESCAPE::CData && c == ']') {
            if (isCDataEnd(a_pText, i, a_iLength)) {
                a_pOut = putBytes(a_pOut, s_szSplitCDataEnd, int(sizeof(s_szSplitCDataEnd) - 1));
                i += 2;
            } else {
                *a_pOut++ = ']';
            }
        } else {
            a_pOut = putBytes(a_pOut, s_aEntities<Mode>[c].pszText, s_aEntities<Mode>[c].iLength);
        }
    }
    return a_pOut;
}

// The bytes encode() writes, counted without writing them.
template <eESCAPE Mode> qint64 encodedLength(const QChar* a_pText, int a_iLength)
{
    qint64 llBytes = a_iLength;
    for (int i = 0; i < a_iLength; ++i) {
        const char16_t c = a_pText[i].unicode();
        if (c < 0x80) {
            llBytes += s_aExtra<Mode>[c];
            if (Mode == eESCAPE::CData && c == ']' && isCDataEnd(a_pText, i, a_iLength)) {
                llBytes += qint64(sizeof(s_szSplitCDataEnd) - 1) - 3;
                i += 2;
            }
        } else if (c < 0x800) {
            llBytes += 1;
        } else {
            llBytes += 2;
            if (QChar::isHighSurrogate(c) && i + 1 < a_iLength && a_pText[i + 1].isLowSurrogate())
                ++i;
        }
    }
    return llBytes;
}

// Where the cursor stands while it has no buffer: no room at all.
char s_cNoRoom = 0;

// Texts up to this length get room for their longest encoding instead of being counted first;
// the room left over stays below a few tens of kilobytes.
const int s_iShortText = 1024;

const int s_iFirstBlock = 1024;

// Writes into the caller's buffer through a cursor. While writing, the buffer is stretched to
// its whole capacity, so that a piece costs one comparison and a copy instead of a QByteArray
// append; it is cut back to the written bytes when writing ends or the bytes are handed on.
// Once something did not fit, nothing more is written and ok() stays false. Sizes are counted
// in 64 bits before the buffer grows.
class CWireOut
{
public:
    CWireOut(QByteArray& a_baOut, qint64 a_llMaxBytes) : m_baOut(a_baOut), m_llMaxBytes(a_llMaxBytes) {}
    CWireOut(const CWireOut&) = delete;
    CWireOut& operator=(const CWireOut&) = delete;
    ~CWireOut() { settle(); }

    bool ok() const { return m_bOk; }
    qint64 size() const { return m_bStretched ? m_pCur - m_pBegin : m_baOut.size(); }

    void add(char a_c)
    {
        if (reserve(1))
            *m_pCur++ = a_c;
    }
    void add(const char* a_pText, int a_iLength)
    {
        if (reserve(a_iLength))
            m_pCur = putBytes(m_pCur, a_pText, a_iLength);
    }
    void add(const QByteArray& a_baText) { add(a_baText.constData(), a_baText.size()); }
    void add(QLatin1String a_strText) { add(a_strText.data(), a_strText.size()); }

    // Several pieces with one look at the room; near the end of the room piece by piece, so that
    // text that does not fit is cut where it always was.
    template <typename... Pieces> void addAll(const Pieces&... a_objPieces)
    {
        if (m_pLimit - m_pCur >= (qint64(length(a_objPieces)) + ...))
            (put(a_objPieces), ...);
        else
            (add(a_objPieces), ...);
    }

    template <eESCAPE Mode> void addText(const QChar* a_pText, int a_iLength)
    {
        // A short text gets room for its longest encoding, which spares counting it first.
        constexpr int iMaxBytes = maxBytesPerUnit<Mode>();
        if ((a_iLength <= s_iShortText && fits(qint64(a_iLength) * iMaxBytes)) ||
            reserve(encodedLength<Mode>(a_pText, a_iLength)))
            m_pCur = encode<Mode>(a_pText, a_iLength, m_pCur);
    }

    // The work man takes bytes from the front of the buffer.
    void handOn(CWorkMan& a_objWorkMan)
    {
        settle();
        a_objWorkMan.processBuffer(m_baOut);
    }

private:
    static int length(char) { return 1; }
    static int length(const QByteArray& a_baText) { return a_baText.size(); }
    static int length(QLatin1String a_strText) { return a_strText.size(); }
    void put(char a_c) { *m_pCur++ = a_c; }
    void put(const QByteArray& a_baText) { m_pCur = putBytes(m_pCur, a_baText.constData(), a_baText.size()); }
    void put(QLatin1String a_strText) { m_pCur = putBytes(m_pCur, a_strText.data(), a_strText.size()); }

    Q_ALWAYS_INLINE bool fits(qint64 a_llBytes) { return m_pLimit - m_pCur >= a_llBytes || grow(a_llBytes); }

    Q_ALWAYS_INLINE bool reserve(qint64 a_llBytes) { return m_pLimit - m_pCur >= a_llBytes || growOrRefuse(a_llBytes); }

    Q_NEVER_INLINE bool growOrRefuse(qint64 a_llBytes)
    {
        if (grow(a_llBytes))
            return true;
        m_bOk = false;
        m_pLimit = m_pCur;
        return false;
    }

    Q_NEVER_INLINE bool grow(qint64 a_llBytes)
    {
        const qint64 llUsed = size();
        if (!m_bOk || llUsed + a_llBytes > m_llMaxBytes)
            return false;
        // QByteArray grows its block geometrically; then the whole block is written into. A
        // first block of some size spares a small message the climb through tiny blocks.
        m_baOut.resize(int(std::max(llUsed + a_llBytes, std::min<qint64>(s_iFirstBlock, m_llMaxBytes))));
        m_baOut.resize(m_baOut.capacity());
        m_pBegin = m_baOut.data();
        m_pCur = m_pBegin + llUsed;
        m_pLimit = m_pBegin + std::min<qint64>(m_baOut.size(), m_llMaxBytes);
        m_bStretched = true;
        return true;
    }

    void settle()
    {
        if (!m_bStretched)
            return;
        m_baOut.resize(int(m_pCur - m_pBegin));
        m_pBegin = m_pCur = m_pLimit = &s_cNoRoom;
        m_bStretched = false;
    }

    QByteArray& m_baOut;
    const qint64 m_llMaxBytes;
    char* m_pBegin = &s_cNoRoom;
    char* m_pCur = &s_cNoRoom;
    char* m_pLimit = &s_cNoRoom;  // the end of the block or the longest text allowed
    bool m_bStretched = false;
    bool m_bOk = true;
};

inline bool isCDataSection(const QString& a_strValue)
{
    // The first character decides for nearly every value, without a call.
    return a_strValue.size() >= s_strCDataBegin.size() + s_strCDataEnd.size() &&
           a_strValue.constData()->unicode() == '<' && a_strValue.startsWith(s_strCDataBegin) &&
           a_strValue.endsWith(s_strCDataEnd);
}

template <eESCAPE Mode> QString escapeText(const QString& a_strText)
{
    QString strOut;
    strOut.reserve(a_strText.size() + a_strText.size() / 10);
    for (const QChar c : a_strText) {
        switch (c.unicode()) {
        case '<': strOut += QLatin1String("&lt;"); break;
        case '>': strOut += QLatin1String("&gt;"); break;
        case '&': strOut += QLatin1String("&amp;"); break;
        case '"':
            if (Mode == eESCAPE::Attribute)
                strOut += QLatin1String("&quot;");
            else
                strOut += c;
            break;
        case '\'':
            if (Mode == eESCAPE::Attribute)
                strOut += QLatin1String("&apos;");
            else
                strOut += c;
            break;
        default: strOut += c;
        }
    }
    return strOut;
}

enum class eHEAD
{
    Leaf,     // written completely
    Open,     // the children and the closing tag are to follow
    Refused,  // it does not fit
};

// Writes one element: a leaf completely, an element with children up to its opening line.
// A value that is one CDATA section is written as that section, so that a file's content
// travels verbatim; any other value is escaped. Either way it reads back as it was set.
void writeAttribute(const QByteArray& a_baName, const QString& a_strValue, CWireOut& a_objOut)
{
    a_objOut.addAll(' ', a_baName, QLatin1String("=\""));
    a_objOut.addText<eESCAPE::Attribute>(a_strValue.constData(), a_strValue.size());
    a_objOut.add('"');
}

eHEAD writeHead(const CXmlElement& a_objElement, CWireOut& a_objOut, unsigned int& a_uiUncompressedBytes,
                const struATTRIBUTE* a_pReplacing)
{
    const CTagname& objTag = a_objElement.tagname();
    a_objOut.add(objTag.begin());
    for (const QSharedPointer<struATTRIBUTE>& ptrAttr : a_objElement.attributes()) {
        if (a_pReplacing && ptrAttr->baName == a_pReplacing->baName) {
            writeAttribute(a_pReplacing->baName, a_pReplacing->strValue, a_objOut);
            a_pReplacing = nullptr;
        } else {
            writeAttribute(ptrAttr->baName, ptrAttr->strValue, a_objOut);
        }
    }
    if (a_pReplacing)
        writeAttribute(a_pReplacing->baName, a_pReplacing->strValue, a_objOut);
    if (a_objElement.isCompressionDisabled())
        a_objOut.add(s_szZipAttribute, int(sizeof(s_szZipAttribute) - 1));

    const QString& strValue = a_objElement.getValue();
    eHEAD eResult = eHEAD::Leaf;
    if (!strValue.isEmpty()) {
        a_objOut.add('>');
        const qint64 llValueStart = a_objOut.size();
        if (isCDataSection(strValue)) {
            const int iMarkers = s_strCDataBegin.size() + s_strCDataEnd.size();
            a_objOut.add(s_strCDataBegin.data(), s_strCDataBegin.size());
            a_objOut.addText<eESCAPE::CData>(strValue.constData() + s_strCDataBegin.size(), strValue.size() - iMarkers);
            a_objOut.add(s_strCDataEnd.data(), s_strCDataEnd.size());
        } else {
            a_objOut.addText<eESCAPE::Text>(strValue.constData(), strValue.size());
        }
        if (a_objElement.isCompressionDisabled() && a_objOut.ok())
            a_uiUncompressedBytes += unsigned(a_objOut.size() - llValueStart);
        a_objOut.addAll(objTag.end(), '\n');
    } else if (a_objElement.getNumberOfChildren() == 0) {
        a_objOut.add("/>\n", 3);
    } else {
        a_objOut.add(">\n", 2);
        eResult = eHEAD::Open;
    }
    return a_objOut.ok() ? eResult : eHEAD::Refused;
}

struct struWriteFrame
{
    const CXmlElement* pElement;
    int iNextChild;
};
}  // namespace

const QString CXmlElement::m_strAttrBegin = QStringLiteral(" ");
const QString CXmlElement::m_strAttrMid = QStringLiteral("=\"");
const QString CXmlElement::m_strAttrEnd = QStringLiteral("\"");
const QString CXmlElement::m_strOpenBegin = QStringLiteral("<");
const QString CXmlElement::m_strOpenEnd = QStringLiteral("</");
const QString CXmlElement::m_strClose = QStringLiteral(">");
const QString CXmlElement::m_strCloseEmpty = QStringLiteral("/>");
const QString CXmlElement::m_strNewLine = QStringLiteral("\n");
const QString CXmlElement::m_strAttrCompressDisabled =
    QStringLiteral(" %1=\"%2\"").arg(QStringLiteral("_zip"), QStringLiteral("0"));
const QString CXmlElement::m_strAttrCompressDisabled_escaped =
    QStringLiteral(" %1=\"%2\"").arg(QStringLiteral("_zip"), escape_attribute(QStringLiteral("0")));

QString escape(const QString& a_strText)
{
    return escapeText<eESCAPE::Text>(a_strText);
}

QString escape_attribute(const QString& a_strText)
{
    return escapeText<eESCAPE::Attribute>(a_strText);
}

CWorkMan::~CWorkMan() = default;

CXmlElement::CXmlElement(const CTagname& a_objTagname) : m_objTagname(a_objTagname) {}

CXmlElement::~CXmlElement()
{
    if (m_lstChildren.isEmpty())
        return;
    // A child whose last reference is ours hands its children to this loop before it dies,
    // so its own destructor has nothing left to recurse into. Moving the pointers spares the
    // reference counts.
    std::vector<ptrCXmlElement> vecPending;
    auto takeChildren = [&vecPending](QList<ptrCXmlElement>& a_lstChildren) {
        for (ptrCXmlElement& ptrChild : a_lstChildren)
            vecPending.push_back(std::move(ptrChild));
        a_lstChildren.clear();
    };
    takeChildren(m_lstChildren);
    while (!vecPending.empty()) {
        ptrCXmlElement ptrChild = std::move(vecPending.back());
        vecPending.pop_back();
        if (!ptrChild->m_lstChildren.isEmpty() && ptrChild->ref.loadRelaxed() == 1)
            takeChildren(ptrChild->m_lstChildren);
    }
}

int CXmlElement::setTagname(const CTagname& a_objTagname)
{
    m_objTagname = a_objTagname;
    return 0;
}

int CXmlElement::setValue(const QString& a_strValue)
{
    m_strValue = a_strValue;
    return 0;
}

int CXmlElement::setAttribute(const QByteArray& a_baName, const QString& a_strValue)
{
    for (const QSharedPointer<struATTRIBUTE>& ptrAttr : qAsConst(m_lstAttributes)) {
        if (ptrAttr->baName == a_baName) {
            ptrAttr->strValue = a_strValue;
            return 0;
        }
    }
    appendAttribute(a_baName, a_strValue);
    return 0;
}

void CXmlElement::appendAttribute(const QByteArray& a_baName, QString a_strValue)
{
    // QList has no moving append: a null pointer is appended and the record moved into it,
    // which spares four atomic reference count changes.
    m_lstAttributes.append(QSharedPointer<struATTRIBUTE>());
    m_lstAttributes.last() = QSharedPointer<struATTRIBUTE>::create(struATTRIBUTE{a_baName, std::move(a_strValue)});
}

int CXmlElement::setAttribute(const QString& a_strName, const QString& a_strValue)
{
    return setAttribute(a_strName.toUtf8(), a_strValue);
}

int CXmlElement::setAttribute(const char* a_pszName, const QString& a_strValue)
{
    return setAttribute(QByteArray(a_pszName), a_strValue);
}

QString CXmlElement::getAttribute(const QByteArray& a_baName, bool* a_pbFound) const
{
    for (const QSharedPointer<struATTRIBUTE>& ptrAttr : m_lstAttributes) {
        if (ptrAttr->baName == a_baName) {
            if (a_pbFound)
                *a_pbFound = true;
            return ptrAttr->strValue;
        }
    }
    if (a_pbFound)
        *a_pbFound = false;
    return QString();
}

int CXmlElement::removeAttribute(const QByteArray& a_baName)
{
    for (int i = 0; i < m_lstAttributes.size(); ++i) {
        if (m_lstAttributes.at(i)->baName == a_baName) {
            m_lstAttributes.removeAt(i);
            return 0;
        }
    }
    return RESULT_MISSING;
}

int CXmlElement::removeAllAttributes()
{
    m_lstAttributes.clear();
    return 0;
}

QListIterator<QSharedPointer<struATTRIBUTE>> CXmlElement::getAttributeIterator() const
{
    return QListIterator<QSharedPointer<struATTRIBUTE>>(m_lstAttributes);
}

int CXmlElement::addChild(ptrCXmlElement a_ptrChild, int a_iIndex)
{
    if (!a_ptrChild || a_ptrChild.data() == this)
        return RESULT_INVALID_ARG;
    if (a_iIndex < 0 || a_iIndex >= m_lstChildren.size())
        m_lstChildren.append(a_ptrChild);
    else
        m_lstChildren.insert(a_iIndex, a_ptrChild);
    return 0;
}

int CXmlElement::removeChild(ptrCXmlElement a_ptrChild)
{
    if (!a_ptrChild)
        return RESULT_INVALID_ARG;
    for (int i = 0; i < m_lstChildren.size(); ++i) {
        if (m_lstChildren.at(i).data() == a_ptrChild.data()) {
            m_lstChildren.removeAt(i);
            return 0;
        }
    }
    return RESULT_MISSING;
}

int CXmlElement::removeAllChildren()
{
    m_lstChildren.clear();
    return 0;
}

ptrCXmlElement CXmlElement::getChildAt(unsigned int a_uiIndex) const
{
    return a_uiIndex < unsigned(m_lstChildren.size()) ? m_lstChildren.at(int(a_uiIndex)) : ptrCXmlElement();
}

QListIterator<ptrCXmlElement> CXmlElement::getChildIterator() const
{
    return QListIterator<ptrCXmlElement>(m_lstChildren);
}

bool CXmlElement::hasPayload() const
{
    return !m_lstChildren.isEmpty() || !m_lstAttributes.isEmpty() || !m_strValue.isEmpty();
}

ptrCXmlElement CXmlElement::copy(bool a_bDeep) const
{
    auto shallow = [](const CXmlElement& a_objSource) {
        ptrCXmlElement ptrCopy(new CXmlElement(a_objSource.m_objTagname));
        ptrCopy->m_strValue = a_objSource.m_strValue;
        for (const QSharedPointer<struATTRIBUTE>& ptrAttr : a_objSource.m_lstAttributes)
            ptrCopy->appendAttribute(ptrAttr->baName, ptrAttr->strValue);
        return ptrCopy;
    };
    ptrCXmlElement ptrRoot = shallow(*this);
    if (!a_bDeep)
        return ptrRoot;
    // An explicit work list instead of recursion: a deep tree must not exhaust the stack.
    std::vector<std::pair<const CXmlElement*, CXmlElement*>> vecWork{{this, ptrRoot.data()}};
    while (!vecWork.empty()) {
        const auto [pSource, pTarget] = vecWork.back();
        vecWork.pop_back();
        pTarget->m_lstChildren.reserve(pSource->m_lstChildren.size());
        for (const ptrCXmlElement& ptrChild : pSource->m_lstChildren) {
            pTarget->m_lstChildren.append(shallow(*ptrChild));
            vecWork.emplace_back(ptrChild.data(), pTarget->m_lstChildren.last().data());
        }
    }
    return ptrRoot;
}

int CXmlElement::toByteArray(QByteArray& a_baOut, unsigned int& a_uiUncompressedBytes, CWorkMan* a_pWorkMan) const
{
    return writeWire(*this, a_baOut, a_uiUncompressedBytes, a_pWorkMan, s_llMaxWireBytes);
}

namespace
{
// Returns 1 when written, 0 when the work man stopped it, -1 when it did not fit.
int writeTree(const CXmlElement& a_objRoot, CWireOut& a_objOut, unsigned int& a_uiUncompressedBytes,
              CWorkMan* a_pWorkMan, bool& a_bHandedOn, const struATTRIBUTE* a_pRootAttribute)
{
    unsigned int uiThreshold = 0;
    QVarLengthArray<struWriteFrame, 32> vecStack;

    // After an element's last line: hand full buffers on, then the parent asks whether to go on.
    auto completed = [&]() {
        if (uiThreshold != 0 && a_objOut.size() >= uiThreshold) {
            a_bHandedOn = true;
            a_objOut.handOn(*a_pWorkMan);
        }
        return vecStack.empty() || a_pWorkMan == nullptr || a_pWorkMan->proceed();
    };
    auto enter = [&](const CXmlElement& a_objElement) {
        if (a_pWorkMan) {
            if (!a_pWorkMan->proceed())
                return 0;
            uiThreshold = a_pWorkMan->getBufferThreshold();
        }
        switch (writeHead(a_objElement, a_objOut, a_uiUncompressedBytes,
                          &a_objElement == &a_objRoot ? a_pRootAttribute : nullptr)) {
        case eHEAD::Refused: return -1;
        case eHEAD::Leaf: return completed() ? 1 : 0;
        case eHEAD::Open: break;
        }
        vecStack.push_back({&a_objElement, 0});
        return 1;
    };

    int iGoOn = enter(a_objRoot);
    while (iGoOn > 0 && !vecStack.empty()) {
        struWriteFrame& objFrame = vecStack.back();
        const QList<ptrCXmlElement>& lstChildren = objFrame.pElement->children();
        if (objFrame.iNextChild < lstChildren.size()) {
            iGoOn = enter(*lstChildren.at(objFrame.iNextChild++));
            continue;
        }
        a_objOut.addAll(objFrame.pElement->tagname().end(), '\n');
        vecStack.removeLast();
        iGoOn = !a_objOut.ok() ? -1 : completed() ? 1 : 0;
    }
    return iGoOn;
}
}  // namespace

int writeWire(const CXmlElement& a_objRoot, QByteArray& a_baOut, unsigned int& a_uiUncompressedBytes,
              CWorkMan* a_pWorkMan, qint64 a_llMaxBytes, const struATTRIBUTE* a_pRootAttribute)
{
    const int iStartSize = a_baOut.size();
    bool bHandedOn = false;
    try {
        CWireOut objOut(a_baOut, a_llMaxBytes);
        if (writeTree(a_objRoot, objOut, a_uiUncompressedBytes, a_pWorkMan, bHandedOn, a_pRootAttribute) >= 0)
            return RESULT_OK;
    } catch (const std::bad_alloc&) {
    }
    // What the work man took is gone; the rest of the unfinished text is taken back.
    if (!bHandedOn)
        a_baOut.truncate(iStartSize);
    return RESULT_INVALID_ARG;
}

namespace
{
struct struReadableOptions
{
    const QString& strIndent;
    bool bRecursive;
    bool bEscape;
    bool bUseIndent;
    bool bShowCData;
    bool* pbCompressionDisabled;
    unsigned int* puiUncompressedBytes;
    bool bSorted;
};

// Indentation grows by two blanks a level up to this depth and then stays: deeper trees (only
// callers build them) would otherwise cost text quadratic in their depth.
const int s_iMaxIndentLevels = 64;

struct struReadableFrame
{
    const CXmlElement* pElement;
    int iDepth;
    int iNextChild;
    QString* pTarget;           // where the element's text goes
    QStringList lstChildTexts;  // the children's texts, when they are to be sorted
};

// Walks the tree with a stack of its own, like the wire writer: a caller's tree may be deeper
// than the call stack allows. With sorting, the texts of an element's children are collected and
// sorted before they join the element's text; an only child writes straight into it.
class CReadableWriter
{
public:
    explicit CReadableWriter(const struReadableOptions& a_objOptions) : m_objOptions(a_objOptions) {}

    void write(QString& a_strOut, const CXmlElement& a_objRoot)
    {
        std::vector<struReadableFrame> vecStack;
        appendOpening(a_strOut, a_objRoot, 0);
        vecStack.push_back({&a_objRoot, 0, 0, &a_strOut, {}});
        while (!vecStack.empty()) {
            struReadableFrame& objFrame = vecStack.back();
            const QList<ptrCXmlElement>& lstChildren = objFrame.pElement->children();
            const bool bSortChildren = m_objOptions.bSorted && lstChildren.size() > 1;
            if (m_objOptions.bRecursive && objFrame.iNextChild < lstChildren.size()) {
                const CXmlElement& objChild = *lstChildren.at(objFrame.iNextChild++);
                QString* pTarget = objFrame.pTarget;
                if (bSortChildren) {
                    objFrame.lstChildTexts.append(QString());
                    pTarget = &objFrame.lstChildTexts.last();
                }
                const int iDepth = objFrame.iDepth + 1;
                appendOpening(*pTarget, objChild, iDepth);
                vecStack.push_back({&objChild, iDepth, 0, pTarget, {}});
                continue;
            }
            if (bSortChildren) {
                std::sort(objFrame.lstChildTexts.begin(), objFrame.lstChildTexts.end());
                for (const QString& strChild : qAsConst(objFrame.lstChildTexts))
                    *objFrame.pTarget += strChild;
            }
            appendClosing(*objFrame.pTarget, *objFrame.pElement, objFrame.iDepth);
            vecStack.pop_back();
        }
    }

private:
    void startLine(QString& a_strOut, int a_iDepth)
    {
        a_strOut += CXmlElement::m_strNewLine;
        if (!m_objOptions.bUseIndent)
            return;
        const int iLevels = qMin(a_iDepth, s_iMaxIndentLevels);
        while (m_vecPrefixes.size() <= iLevels)
            m_vecPrefixes.append(m_objOptions.strIndent + QString(2 * m_vecPrefixes.size(), QLatin1Char(' ')));
        a_strOut += m_vecPrefixes.at(iLevels);
    }

    // The opening line of one element, with its value.
    void appendOpening(QString& a_strOut, const CXmlElement& a_objElement, int a_iDepth)
    {
        const bool bZip = a_objElement.isCompressionDisabled();
        const QString& strValue = a_objElement.getValue();
        if (m_objOptions.pbCompressionDisabled)
            *m_objOptions.pbCompressionDisabled |= bZip;
        if (m_objOptions.puiUncompressedBytes && bZip)
            *m_objOptions.puiUncompressedBytes += unsigned(strValue.size());

        startLine(a_strOut, a_iDepth);
        a_strOut += CXmlElement::m_strOpenBegin;
        a_strOut += static_cast<const QString&>(a_objElement.tagname());
        appendAttributes(a_strOut, a_objElement);
        if (strValue.isEmpty()) {
            a_strOut += a_objElement.children().isEmpty() ? CXmlElement::m_strCloseEmpty : CXmlElement::m_strClose;
            return;
        }
        a_strOut += CXmlElement::m_strClose;
        if (strValue.startsWith(s_strCDataBegin))
            a_strOut += m_objOptions.bShowCData ? strValue : QStringLiteral("<![CDATA[ ... ]]>");
        else
            a_strOut += m_objOptions.bEscape ? escape(strValue) : strValue;
    }

    void appendAttributes(QString& a_strOut, const CXmlElement& a_objElement)
    {
        QStringList lstAttributes;
        lstAttributes.reserve(a_objElement.getNumberOfAttributes() + 1);
        for (const QSharedPointer<struATTRIBUTE>& ptrAttr : a_objElement.attributes()) {
            lstAttributes.append(CXmlElement::m_strAttrBegin + QString::fromUtf8(ptrAttr->baName) +
                                 CXmlElement::m_strAttrMid +
                                 (m_objOptions.bEscape ? escape_attribute(ptrAttr->strValue) : ptrAttr->strValue) +
                                 CXmlElement::m_strAttrEnd);
        }
        if (m_objOptions.pbCompressionDisabled && a_objElement.isCompressionDisabled())
            lstAttributes.append(m_objOptions.bEscape ? CXmlElement::m_strAttrCompressDisabled_escaped
                                                      : CXmlElement::m_strAttrCompressDisabled);
        if (m_objOptions.bSorted)
            std::sort(lstAttributes.begin(), lstAttributes.end());
        for (const QString& strAttribute : qAsConst(lstAttributes))
            a_strOut += strAttribute;
    }

    void appendClosing(QString& a_strOut, const CXmlElement& a_objElement, int a_iDepth)
    {
        if (m_objOptions.bRecursive && !a_objElement.children().isEmpty())
            startLine(a_strOut, a_iDepth);
        else if (a_objElement.getValue().isEmpty())
            return;
        a_strOut += CXmlElement::m_strOpenEnd;
        a_strOut += static_cast<const QString&>(a_objElement.tagname());
        a_strOut += CXmlElement::m_strClose;
    }

    const struReadableOptions& m_objOptions;
    QVector<QString> m_vecPrefixes;  // the start of a line, by depth
};
}  // namespace

QString CXmlElement::toString(const QString& a_strIndent, bool a_bRecursive, bool a_bEscape, bool a_bUseIndent,
                              bool a_bNewLineAtEnd, bool a_bShowCData, bool* a_pbCompressionDisabled,
                              unsigned int* a_puiUncompressedBytes, bool a_bSorted) const
{
    QString strOut;
    const struReadableOptions objOptions{a_strIndent,
                                         a_bRecursive,
                                         a_bEscape,
                                         a_bUseIndent,
                                         a_bShowCData,
                                         a_pbCompressionDisabled,
                                         a_puiUncompressedBytes,
                                         a_bSorted};
    CReadableWriter(objOptions).write(strOut, *this);
    if (a_bNewLineAtEnd)
        strOut += m_strNewLine;
    return strOut;
}

QString CXmlElement::toDbgString(const QString& a_strIndent, bool a_bRecursive, bool a_bEscape, bool a_bUseIndent,
                                 bool a_bShowCData) const
{
    return toString(a_strIndent, a_bRecursive, a_bEscape, a_bUseIndent, false, a_bShowCData, nullptr, nullptr, false);
}

QString CXmlElement::toLimitedDbgString(int a_iMaxLength, const QString& a_strIndent) const
{
    const QString strText = toString(a_strIndent, true, false, true, false, false, nullptr, nullptr, false);
    int iLimit = a_iMaxLength;
    if (a_iMaxLength <= 0)
        iLimit = 65534;
    else if (a_iMaxLength < 100)
        iLimit = 100;
    if (strText.size() <= iLimit)
        return strText;
    return strText.left(iLimit / 2) + QStringLiteral("\n%1 ...\n").arg(a_strIndent) + strText.right(iLimit / 2);
}
}  // namespace XmlCommon

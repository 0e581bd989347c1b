#include "CMarkupScanner_p.h"

#include <cstring>

namespace XmlCommon
{
namespace
{
const char s_szCData[] = "CDATA[";
const char s_szDoctype[] = "OCTYPE";

inline bool isNameStart(char a_c)
{
    const uchar c = uchar(a_c);
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' || c == ':' || c >= 0x80;
}

inline const char* find(const char* a_p, const char* a_pEnd, char a_c)
{
    const void* pFound = std::memchr(a_p, a_c, size_t(a_pEnd - a_p));
    return pFound ? static_cast<const char*>(pFound) : a_pEnd;
}
}  // namespace

qint64 CMarkupScanner::heldFrom() const
{
    switch (m_eState) {
    case STATE_LT:
    case STATE_BANG:
    case STATE_BANG_DASH:
    case STATE_CDATA_OPEN:
    case STATE_DOCTYPE_OPEN:
    case STATE_COMMENT:
    case STATE_CDATA:
    case STATE_PI: return m_llConstructStart;
    default: return -1;
    }
}

int CMarkupScanner::scan(const char* a_pData, int a_iLength)
{
    m_eStop = STOP_NONE;
    m_pBase = a_pData;
    const char* p = a_pData;
    const char* const pEnd = a_pData + a_iLength;
    while (p < pEnd && m_eStop == STOP_NONE)
        p = step(p, pEnd);
    const int iScanned = int(p - a_pData);
    m_llOffset += iScanned;
    return iScanned;
}

const char* CMarkupScanner::step(const char* a_p, const char* a_pEnd)
{
    switch (m_eState) {
    case STATE_TEXT: return scanText(a_p, a_pEnd);
    case STATE_START_TAG: return scanStartTag(a_p, a_pEnd);
    case STATE_END_TAG: return scanEndTag(a_p, a_pEnd);
    case STATE_DOCTYPE: return scanDoctype(a_p, a_pEnd);
    case STATE_COMMENT: return scanComment(a_p, a_pEnd);
    case STATE_CDATA: return scanCData(a_p, a_pEnd);
    case STATE_PI: return scanPi(a_p, a_pEnd);
    default: return scanOpening(a_p);
    }
}

void CMarkupScanner::enter(eSTATES a_eState)
{
    m_eState = a_eState;
    m_iRun = 0;
}

const char* CMarkupScanner::scanText(const char* a_p, const char* a_pEnd)
{
    for (; a_p < a_pEnd; ++a_p) {
        const char c = *a_p;
        if (c == '<') {
            m_llConstructStart = position(a_p);
            m_eOuter = STATE_TEXT;
            enter(STATE_LT);
            return a_p + 1;
        }
        if (c == '>' && m_iRun >= 2) {
            m_eStop = STOP_CDATA_END;
            return a_p;
        }
        m_iRun = c == ']' ? m_iRun + 1 : 0;
    }
    return a_p;
}

// The bytes after "<" that tell which markup follows. Returns the byte itself, unconsumed, when
// it belongs to the state now entered.
const char* CMarkupScanner::scanOpening(const char* a_p)
{
    const char c = *a_p;
    const bool bInText = m_eOuter == STATE_TEXT;
    switch (m_eState) {
    case STATE_LT:
        if (c == '!')
            enter(STATE_BANG);
        else if (c == '?')
            enter(STATE_PI);
        else if (!bInText)
            return leave(a_p);
        else if (c == '/')
            enter(STATE_END_TAG);
        else {
            enter(STATE_START_TAG);
            m_iAttributes = 0;
            m_cQuote = 0;
            m_bSlash = false;
            m_dqStarts.push_back(m_llConstructStart);
            return a_p;
        }
        break;
    case STATE_BANG:
        if (c == '-')
            enter(STATE_BANG_DASH);
        else if (bInText && c == '[')
            enter(STATE_CDATA_OPEN);
        else if (bInText && c == 'D')
            enter(STATE_DOCTYPE_OPEN);
        else
            return leave(a_p);
        break;
    case STATE_BANG_DASH:
        if (c != '-')
            return leave(a_p);
        enter(STATE_COMMENT);
        break;
    case STATE_CDATA_OPEN: return matchOpening(a_p, s_szCData, STATE_CDATA);
    case STATE_DOCTYPE_OPEN: return matchOpening(a_p, s_szDoctype, STATE_DOCTYPE);
    default: break;
    }
    return a_p + 1;
}

const char* CMarkupScanner::matchOpening(const char* a_p, const char* a_pszRest, eSTATES a_eComplete)
{
    if (*a_p != a_pszRest[m_iRun])
        return leave(a_p);
    if (a_pszRest[++m_iRun] == '\0') {
        enter(a_eComplete);
        m_iDtdDepth = 0;
        m_cQuote = 0;
    }
    return a_p + 1;
}

// Back to the text or DTD around the markup, with the byte at a_p still to be read there.
const char* CMarkupScanner::leave(const char* a_p)
{
    enter(m_eOuter);
    return a_p;
}

const char* CMarkupScanner::scanStartTag(const char* a_p, const char* a_pEnd)
{
    const qint64 llEnd = m_llConstructStart + m_llMaxStartTag;
    for (; a_p < a_pEnd; ++a_p) {
        if (position(a_p) >= llEnd) {
            m_eStop = STOP_START_TAG;
            return a_p;
        }
        const char c = *a_p;
        if (c == '<') {
            // Never inside a start tag: the reader refuses it right here.
            enter(STATE_TEXT);
            return a_p + 1;
        }
        if (m_cQuote != 0) {
            if (c == m_cQuote)
                m_cQuote = 0;
            continue;
        }
        if (c == '>') {
            // "<x/>" ends its element at once.
            if (m_bSlash)
                m_dqEnds.push_back(position(a_p) + 1);
            enter(STATE_TEXT);
            return a_p + 1;
        }
        m_bSlash = c == '/';
        if (c == '"' || c == '\'') {
            m_cQuote = c;
        } else if (c == '=' && ++m_iAttributes > m_iMaxAttributes) {
            m_eStop = STOP_ATTRIBUTES;
            return a_p;
        }
    }
    return a_p;
}

const char* CMarkupScanner::scanEndTag(const char* a_p, const char* a_pEnd)
{
    for (; a_p < a_pEnd; ++a_p) {
        if (*a_p == '>' || *a_p == '<') {
            if (*a_p == '>')
                m_dqEnds.push_back(position(a_p) + 1);
            enter(STATE_TEXT);
            return a_p + 1;
        }
    }
    return a_p;
}

qint64 CMarkupScanner::takeElementStart()
{
    if (m_dqStarts.empty())
        return m_llOffset;
    const qint64 llStart = m_dqStarts.front();
    m_dqStarts.pop_front();
    return llStart;
}

qint64 CMarkupScanner::takeElementEnd()
{
    if (m_dqEnds.empty())
        return m_llOffset;
    const qint64 llEnd = m_dqEnds.front();
    m_dqEnds.pop_front();
    return llEnd;
}

const char* CMarkupScanner::scanDoctype(const char* a_p, const char* a_pEnd)
{
    for (; a_p < a_pEnd; ++a_p) {
        const char c = *a_p;
        if (m_cQuote != 0) {
            if (c == m_cQuote)
                m_cQuote = 0;
            continue;
        }
        switch (c) {
        case '"':
        case '\'': m_cQuote = c; break;
        case '[': ++m_iDtdDepth; break;
        case ']': m_iDtdDepth = qMax(0, m_iDtdDepth - 1); break;
        case '>':
            if (m_iDtdDepth == 0) {
                enter(STATE_TEXT);
                return a_p + 1;
            }
            break;
        case '<':
            // Comments and processing instructions of the internal subset are held like others.
            m_llConstructStart = position(a_p);
            m_eOuter = STATE_DOCTYPE;
            enter(STATE_LT);
            return a_p + 1;
        default: break;
        }
    }
    return a_p;
}

const char* CMarkupScanner::scanComment(const char* a_p, const char* a_pEnd)
{
    while (a_p < a_pEnd) {
        if (m_iRun == 0) {
            a_p = find(a_p, a_pEnd, '-');
            if (a_p == a_pEnd)
                break;
        }
        const char c = *a_p;
        if (m_iRun >= 2) {
            // "--" ends a comment or is an error, which the reader is to report at once.
            if (c == '>') {
                enter(m_eOuter);
                return a_p + 1;
            }
            return leave(a_p);
        }
        m_iRun = c == '-' ? m_iRun + 1 : 0;
        ++a_p;
    }
    return a_p;
}

const char* CMarkupScanner::scanCData(const char* a_p, const char* a_pEnd)
{
    while (a_p < a_pEnd) {
        if (m_iRun == 0) {
            a_p = find(a_p, a_pEnd, ']');
            if (a_p == a_pEnd)
                break;
        }
        const char c = *a_p++;
        if (c == '>' && m_iRun >= 2) {
            enter(STATE_TEXT);
            return a_p;
        }
        m_iRun = c == ']' ? m_iRun + 1 : 0;
    }
    return a_p;
}

// m_iRun: 0 before the target's first byte, 1 inside, 2 right after a "?".
const char* CMarkupScanner::scanPi(const char* a_p, const char* a_pEnd)
{
    for (; a_p < a_pEnd; ++a_p) {
        const char c = *a_p;
        if (m_iRun == 0) {
            // Without a target the reader refuses the instruction at once.
            if (!isNameStart(c))
                return leave(a_p);
            m_iRun = 1;
        } else if (c == '>' && m_iRun == 2) {
            enter(m_eOuter);
            return a_p + 1;
        } else {
            m_iRun = c == '?' ? 2 : 1;
        }
    }
    return a_p;
}
}  // namespace XmlCommon

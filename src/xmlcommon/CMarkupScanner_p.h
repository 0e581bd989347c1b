#pragma once

#include <QtCore/QtGlobal>

#include <deque>

namespace XmlCommon
{
// Follows the markup of an XML byte stream just closely enough to keep Qt's reader linear and
// bounded, before the reader sees the bytes:
// - Qt's reader scans an unfinished comment, processing instruction or CDATA section from its
//   start again whenever data are added, so a long one arriving in pieces costs quadratic time.
//   The scanner tells where such a section began while it is unfinished, so that it reaches the
//   reader's tokenizer only once it is complete.
// - Qt's reader checks the attributes of a start tag for duplicates pair by pair. The scanner
//   counts them, and measures the start tag, before the reader gets the tag.
// - Qt's reader refuses "]]>" in text only when it sees the three characters in one piece; the
//   scanner finds it however the text was cut.
// It works on any ASCII-compatible encoding. Where the markup is malformed the scanner goes back
// to plain text and leaves the verdict to the reader, which refuses the text at that point.
class CMarkupScanner
{
public:
    enum eSTOPS
    {
        STOP_NONE,
        STOP_ATTRIBUTES,  // one attribute more than allowed
        STOP_START_TAG,   // a start tag longer than allowed
        STOP_CDATA_END,   // "]]>" in text
    };

    void setLimits(int a_iMaxAttributes, qint64 a_llMaxStartTag)
    {
        m_iMaxAttributes = a_iMaxAttributes;
        m_llMaxStartTag = a_llMaxStartTag;
    }

    // Starts afresh at this stream offset, in text, as after an element's end.
    void restartAt(qint64 a_llOffset)
    {
        const int iMaxAttributes = m_iMaxAttributes;
        const qint64 llMaxStartTag = m_llMaxStartTag;
        *this = CMarkupScanner();
        setLimits(iMaxAttributes, llMaxStartTag);
        m_llOffset = a_llOffset;
    }

    // Scans the bytes and returns how many were scanned: all of them, or, when stop() is set,
    // those before the offending byte.
    int scan(const char* a_pData, int a_iLength);

    eSTOPS stop() const { return m_eStop; }
    // Bytes scanned since the start.
    qint64 offset() const { return m_llOffset; }
    // Where the unfinished section that the reader must not see yet began, or -1.
    qint64 heldFrom() const;
    // Where the unfinished start tag began, or -1.
    qint64 startTagFrom() const { return m_eState == STATE_START_TAG ? m_llConstructStart : -1; }
    // Where the elements that the reader reports began and ended, in the order of the reader's
    // start and end tokens: the stream offset of the "<" of a start tag, and of the byte after
    // the ">" that ends an element (an end tag, or a start tag closed by "/>"). The scanner is
    // ahead of the reader, so each token's offset has been scanned before the reader reports it;
    // when there is none (elements from an entity's text), the scanner's offset stands in.
    qint64 takeElementStart();
    qint64 takeElementEnd();

private:
    enum eSTATES
    {
        STATE_TEXT,
        STATE_LT,            // "<"
        STATE_BANG,          // "<!"
        STATE_BANG_DASH,     // "<!-"
        STATE_CDATA_OPEN,    // "<![" and more of "CDATA["
        STATE_DOCTYPE_OPEN,  // "<!D" and more of "OCTYPE"
        STATE_COMMENT,
        STATE_CDATA,
        STATE_PI,
        STATE_START_TAG,
        STATE_END_TAG,
        STATE_DOCTYPE,
    };

    qint64 position(const char* a_p) const { return m_llOffset + (a_p - m_pBase); }
    const char* step(const char* a_p, const char* a_pEnd);
    void enter(eSTATES a_eState);
    const char* leave(const char* a_p);
    const char* scanText(const char* a_p, const char* a_pEnd);
    const char* scanOpening(const char* a_p);
    const char* matchOpening(const char* a_p, const char* a_pszRest, eSTATES a_eComplete);
    const char* scanStartTag(const char* a_p, const char* a_pEnd);
    const char* scanEndTag(const char* a_p, const char* a_pEnd);
    const char* scanDoctype(const char* a_p, const char* a_pEnd);
    const char* scanComment(const char* a_p, const char* a_pEnd);
    const char* scanCData(const char* a_p, const char* a_pEnd);
    const char* scanPi(const char* a_p, const char* a_pEnd);

    eSTATES m_eState = STATE_TEXT;
    // The state a comment or processing instruction returns to: text, or the DTD it stands in.
    eSTATES m_eOuter = STATE_TEXT;
    eSTOPS m_eStop = STOP_NONE;
    qint64 m_llOffset = 0;
    const char* m_pBase = nullptr;  // the data being scanned, at m_llOffset
    qint64 m_llConstructStart = 0;  // of the current markup, at its "<"
    int m_iRun = 0;                 // "]" or "-" seen in a row, bytes of an opening matched, ...
    int m_iAttributes = 0;
    int m_iDtdDepth = 0;    // open "[" of the internal subset
    char m_cQuote = 0;      // the quote of the attribute value or DTD literal being read
    bool m_bSlash = false;  // the start tag's last byte was "/"
    int m_iMaxAttributes = 256;
    qint64 m_llMaxStartTag = 1 << 20;
    std::deque<qint64> m_dqStarts;
    std::deque<qint64> m_dqEnds;
};
}  // namespace XmlCommon

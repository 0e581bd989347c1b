#pragma once

#include <OrvexXmlInterface/OxiExport.h>
#include <OrvexXmlInterface/xmlcommon/CXmlElement.h>
#include <OrvexXmlInterface/xmlcommon/CXmlMessage.h>
#include <OrvexXmlInterface/xmlcommon/IXmlListener.h>

#include <QtCore/QVector>
#include <QtCore/QXmlStreamReader>

#include <memory>

namespace XmlCommon
{
class CMarkupScanner;
class CNameCache;
class CUtf8Checker;
class CWireScanner;
struct struLines;

// Turns XML text that arrives in pieces, cut anywhere, into messages: each top-level element
// (below an optional "RootDummy" wrapper) is reported when it opens and again when it closes.
// Every input costs time linear in its size, however it is cut.
//
// The text comes from a peer, so all that a peer can make grow is bounded by the limits below.
// Text that crosses one breaks the stream like malformed text: one handleParserError() with a
// text that names the limit, and parse() returns false from then on. failureKind() tells the two
// causes apart. Allocation failures never leave parse(): they break the stream as a limit does.
class OXI_EXPORT CXmlStreamParser
{
public:
    enum eFAILURE_KINDS
    {
        FAILURE_NONE = 0,       // the stream is not broken
        FAILURE_MALFORMED = 1,  // the text is not well-formed XML in UTF-8: a new parser can read what follows
        FAILURE_LIMIT = 2,      // the text crossed a limit, or memory ran out: the sender is not to be read further
    };

    // Nesting depth of a message, its root being level 1.
    static constexpr int m_iDefaultMaxDepth = 1000;
    // Size of one message: its bytes plus 64 for each element and attribute, about what its
    // parsed tree holds beyond the text. The parser holds at most about twice a message's size
    // while it reads it, and refuses a message as soon as it grows past the limit. 128 MiB admits
    // a message of 100 MB of text, or a record list of about 30 MB.
    static constexpr qint64 m_llDefaultMaxMessageBytes = 128 * 1024 * 1024;
    // Bytes after the end of one message and before the start tag of the next (white space,
    // comments, stray text, the wrapper's start tag), which are dropped but must be read.
    static constexpr qint64 m_llDefaultMaxBytesBetweenMessages = 1024 * 1024;
    // Attributes of one element, and the size of one start tag with its attributes.
    static constexpr int m_iDefaultMaxAttributes = 256;
    static constexpr qint64 m_llDefaultMaxStartTagBytes = 1024 * 1024;
    // Byte limits are set within 1 byte and this maximum, beyond which Qt's reader cannot hold
    // the text of one element.
    static constexpr qint64 m_llMaxLimitBytes = 512 * 1024 * 1024;

    CXmlStreamParser(IXmlListener& a_objListener, unsigned int a_uiConnectionId);
    CXmlStreamParser(const CXmlStreamParser&) = delete;
    CXmlStreamParser& operator=(const CXmlStreamParser&) = delete;
    virtual ~CXmlStreamParser();

    // False when the stream is broken (now or by an earlier error); data that end inside a
    // token are no error: the rest comes with the next call.
    virtual bool parse(const QByteArray& a_baData);
    virtual bool parse(const char* a_pszData);

    // Why the stream broke, once parse() has returned false.
    eFAILURE_KINDS failureKind() const { return m_eFailure; }

    // The limits; set them before the first parse().
    void setMaxDepth(int a_iMaxDepth) { m_iMaxDepth = qMax(1, a_iMaxDepth); }
    int maxDepth() const { return m_iMaxDepth; }
    void setMaxMessageBytes(qint64 a_llBytes) { m_llMaxMessageBytes = boundedBytes(a_llBytes); }
    qint64 maxMessageBytes() const { return m_llMaxMessageBytes; }
    void setMaxBytesBetweenMessages(qint64 a_llBytes) { m_llMaxBetweenBytes = boundedBytes(a_llBytes); }
    qint64 maxBytesBetweenMessages() const { return m_llMaxBetweenBytes; }
    void setMaxAttributes(int a_iAttributes);
    int maxAttributes() const { return m_iMaxAttributes; }
    void setMaxStartTagBytes(qint64 a_llBytes);
    qint64 maxStartTagBytes() const { return m_llMaxStartTagBytes; }

    // On by default: a byte that is not UTF-8 breaks the stream where it stands. Off, the text
    // may declare another encoding and Qt's reader decides.
    void setUtf8Only(bool a_bUtf8Only) { m_bUtf8Only = a_bUtf8Only; }

    // On by default: the parser reads what the library's own writer produces itself, and leaves
    // only the rest to Qt's reader, with the same results. Off, Qt's reader reads everything.
    void setOwnScanner(bool a_bOwnScanner);

protected:
    void resetParser();
    QString getErrorString() const { return m_strError; }
    static QString errToString(QXmlStreamReader::Error a_eError);

private:
    static qint64 boundedBytes(qint64 a_llBytes) { return qBound<qint64>(1, a_llBytes, m_llMaxLimitBytes); }

    bool parseData(const QByteArray& a_baData);
    bool readValid(const QByteArray& a_baData, int a_iFrom, int a_iTo);
    // Qt's reader goes on where the own scanner stopped, and back.
    bool handOver();
    void handBack();
    void countLines(const QByteArray& a_baData, int a_iFrom, int a_iTo, qint64 a_llStart);
    static QByteArray readerPrefix(int a_iWrappers, bool a_bStarted, qint64 a_llColumn);
    // Hands the given part of the data to the reader in pieces and parses them.
    bool feedReader(const QByteArray& a_baData, int a_iFrom, int a_iLength);
    bool feedPiece(const QByteArray& a_baData, int a_iFrom, int a_iLength);
    bool checkSizes();
    bool checkMessageSize(qint64 a_llEnd);
    bool checkBytesBetween(qint64 a_llNextStart);
    bool scannerStopped();
    // Ends the stream with a custom error of the given kind.
    bool breakStream(eFAILURE_KINDS a_eKind, const QString& a_strReason);
    void breakOnMemory();

    bool doParsing();
    bool handleStartElement();
    bool handleEndElement();
    bool handleCharacters();
    bool handleError(const char* a_pszExtra);
    bool handleDtd();
    bool handleEntityReference();
    ptrCXmlElement createChildItem(const CTagname& a_objName, const QXmlStreamAttributes& a_lstAttributes);
    void setElementValue(const QString& a_strText);

    ptrCXmlElement m_ptrCurrentElement;
    ptrCXmlMessage m_ptrCurrentMessage;
    unsigned int m_uiConnectionId;
    QVector<ptrCXmlElement> m_vecParents;
    IXmlListener& m_objListener;
    QXmlStreamReader m_objReader;
    QXmlStreamReader::Error m_eLastError = QXmlStreamReader::NoError;
    QString m_strError;
    QString m_strText;
    QXmlStreamReader::TokenType m_ePreviousToken = QXmlStreamReader::NoToken;
    eFAILURE_KINDS m_eFailure = FAILURE_NONE;
    bool m_bInBody = false;       // the first element has started
    bool m_bTextIsCData = false;  // the text buffer holds a CDATA section
    bool m_bUtf8Only = true;
    int m_iMaxDepth = m_iDefaultMaxDepth;
    int m_iMaxAttributes = m_iDefaultMaxAttributes;
    qint64 m_llMaxMessageBytes = m_llDefaultMaxMessageBytes;
    qint64 m_llMaxBetweenBytes = m_llDefaultMaxBytesBetweenMessages;
    qint64 m_llMaxStartTagBytes = m_llDefaultMaxStartTagBytes;
    // Stream offsets: where the current message began and the last one ended; and what the
    // elements and attributes of the current message count.
    qint64 m_llMessageStart = 0;
    qint64 m_llLastMessageEnd = 0;
    qint64 m_llNodeBytes = 0;
    // Names repeat all the time; built tag names are reused instead of rebuilt per element.
    std::unique_ptr<CNameCache> m_pNames;
    std::unique_ptr<CUtf8Checker> m_pUtf8;
    std::unique_ptr<CMarkupScanner> m_pScanner;
    std::unique_ptr<CWireScanner> m_pWire;  // null while Qt's reader reads
    std::unique_ptr<CWireScanner> m_pIdleWire;
    std::unique_ptr<struLines> m_pLines;
    // The reader took the stream over at this line, after a prefix of so many lines, and with
    // so many columns of the line missing from it; inside this message.
    qint64 m_llLineBase = 1;
    qint64 m_llColumnBase = 0;
    qint64 m_llPrefixLines = 0;
    qint64 m_llColumnExcess = 0;
    ptrCXmlMessage m_ptrResumedMessage;
    // Handing back to the own scanner: whether it is wanted and may happen in this parse() call,
    // where, and what the scanner must know.
    bool m_bOwnScanner = true;
    bool m_bMayHandBack = false;
    bool m_bDtdSeen = false;
    qint64 m_llHandBackAt = -1;
    int m_iHandBackIndex = 0;
    int m_iReaderWrappers = 0;
    qint64 m_llCountFrom = 0;
    qint64 m_llFirstPieceEnd = -1;
};
}  // namespace XmlCommon

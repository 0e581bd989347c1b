#pragma once

#include <OrvexXmlInterface/xmlcommon/CXmlElement.h>
#include <OrvexXmlInterface/xmlcommon/CXmlMessage.h>
#include <OrvexXmlInterface/xmlcommon/IXmlListener.h>

#include <QtCore/QByteArray>
#include <QtCore/QVector>

#include <memory>

namespace XmlCommon
{
class CWireCache;

// Lines and columns as Qt's reader counts them: CR LF and a lone CR end a line each, columns
// are UTF-16 units since the last line end.
struct struLines
{
    qint64 llLine = 1;
    qint64 llColumn = 0;
    bool bCarriageReturn = false;  // the last byte counted was a CR

    void count(const uchar* a_p, const uchar* a_pEnd);

private:
    void countWithReturns(const uchar* a_p, const uchar* a_pEnd);
};

// Reads the stream straight from its bytes into element trees and messages, for the part of
// XML that the library's own writer produces: ASCII names, attributes, character and predefined
// entity references, CDATA sections and comments, all inside the "RootDummy" wrapper of a
// connection stream. At anything else, at anything wrong and at any limit crossed it stops at
// the last point from which Qt's reader can take the stream over (the start of the current
// message, or the markup between messages it stands at) and hands it everything from there; the
// reader then decides as if it had read the whole stream. A document without wrapper and the
// wrapper's end are left to the reader too: how the reader ends a document depends on how the
// text was cut. Nothing the scanner accepts is judged differently by the reader, so verdicts,
// error texts and callbacks are the reader's.
//
// It holds the bytes of the current message until the message ends, and between messages those
// of the unfinished markup: at most a message's size, by the limits it is given. Each byte is
// looked at a bounded number of times however the stream is cut.
class CWireScanner
{
public:
    struct struLimits
    {
        int iMaxDepth;
        int iMaxAttributes;
        qint64 llMaxMessageBytes;
        qint64 llMaxBetweenBytes;
        qint64 llMaxStartTagBytes;
    };

    // Where the reader is to go on, and what it must know of the stream before that point.
    struct struHandOver
    {
        QByteArray baText;     // the stream from llOffset on, as far as it has arrived
        QVector<int> vecCuts;  // where in baText the caller's pieces began, for the reader to get them so
        qint64 llOffset = 0;
        struLines objLines;  // at llOffset
        int iWrappers = 0;   // "RootDummy" wrappers open at llOffset
        bool bInBody = false;
        qint64 llLastMessageEnd = 0;
        ptrCXmlMessage ptrMessage;  // the message that begins at llOffset: its header is reported
    };

    CWireScanner(IXmlListener& a_objListener, unsigned int a_uiConnectionId);
    CWireScanner(const CWireScanner&) = delete;
    CWireScanner& operator=(const CWireScanner&) = delete;
    ~CWireScanner();

    // Goes on with a stream that Qt's reader has read up to the end of a message at a_llOffset,
    // with so many wrappers open.
    void resumeAt(qint64 a_llOffset, const struLines& a_objLines, int a_iWrappers);
    // Reads the bytes, which continue the stream and are valid UTF-8 so far. False when the
    // stream is to go on in Qt's reader: takeHandOver() then tells from where.
    bool scan(const char* a_pData, int a_iLength, const struLimits& a_objLimits);
    // Everything from the last point the reader can take over to the end of the data scanned.
    struHandOver takeHandOver();

private:
    enum eSTEPS
    {
        STEP_DONE,       // a construct was read
        STEP_MORE,       // the construct goes on beyond the data
        STEP_HAND_OVER,  // for the reader
    };
    enum eTOKENS
    {
        TOKEN_START,
        TOKEN_TEXT,
        TOKEN_OTHER,
    };
    enum eTEXTS
    {
        TEXT_CONTENT,
        TEXT_ATTRIBUTE,
        TEXT_CDATA,
    };
    enum eDECODED
    {
        DECODE_DONE,
        DECODE_FAULT,      // for the reader
        DECODE_NOT_ASCII,  // to be decoded again through UTF-8
    };
    struct struAttr
    {
        int iName;
        int iNameLength;
        int iValue;
        int iValueLength;
        bool bPlain;  // the value needs no decoding
    };

    int takeData(const char* a_pData, int a_iLength);
    void keepRest();
    qint64 replayOffset() const;
    bool withinLimits() const;
    bool betweenExceeded(int a_iEnd) const;
    bool hasUnreadableChar(int a_iFrom) const;
    void countLines(qint64 a_llUpTo);

    eSTEPS step();
    eSTEPS text();
    eSTEPS markup();
    eSTEPS comment();
    eSTEPS cdata();
    eSTEPS startTag();
    eSTEPS endTag();
    eSTEPS openElement(int a_iNameLength, bool a_bEmpty, int a_iEnd);
    eSTEPS closeElement(int a_iEnd);
    bool readTag(int a_iFrom, int a_iLimit, int& a_iClose, bool& a_bEmpty);
    eSTEPS parseAttributes(int a_iFrom, int a_iEnd, bool a_bPartial, bool& a_bEmpty);
    bool partialValid();
    bool partialTextValid(int a_iFrom, int a_iTo, eTEXTS a_eKind);
    bool mayBecomeReference(int a_iFrom, int a_iTo) const;
    bool namePrefixMatches(const QByteArray& a_baName, int a_iFrom, int a_iTo) const;
    static const QByteArray& wrapperName();
    const QByteArray* expectedEndTag() const;
    bool addAttributes(CXmlElement& a_objElement);
    bool attributesValid();
    bool startTagFollows(int a_iLess) const;
    bool decode(int a_iFrom, int a_iTo, eTEXTS a_eKind, QString* a_pstrOut);
    template <typename Sink> eDECODED decodeInto(int a_iFrom, int a_iTo, eTEXTS a_eKind, Sink& a_objSink) const;
    bool reference(int& a_iPos, int a_iTo, uint& a_uiCode) const;
    void takeCharacters(QString&& a_strText, bool a_bCData);
    void finish(int a_iNext);

    IXmlListener& m_objListener;
    unsigned int m_uiConnectionId;
    struLimits m_objLimits{};
    std::unique_ptr<CWireCache> m_pCache;

    // The bytes being read: the caller's data, or the kept rest with the data appended.
    QByteArray m_baKept;
    const char* m_p = nullptr;
    int m_iEnd = 0;
    bool m_bInKept = false;
    qint64 m_llBase = 0;   // stream offset of m_p[0]
    int m_iPos = 0;        // the next construct
    int m_iScan = 0;       // how far the search for the end of that construct got
    char m_cQuote = 0;     // the quote open at m_iScan in a start tag
    int m_iChecked = 0;    // how far an unfinished text was found valid
    int m_iTagChecks = 0;  // how often an unfinished start tag was looked over

    // Lines as Qt's reader counts them, up to m_llCounted.
    qint64 m_llCounted = 0;
    struLines m_objLines;

    int m_iWrappers = 0;
    bool m_bInBody = false;
    eTOKENS m_ePrevious = TOKEN_OTHER;

    // The root owns the message's tree; the open elements are pointers into it, which spares
    // reference counting for each element. Nothing else changes the tree before the message ends.
    ptrCXmlElement m_ptrRoot;
    CXmlElement* m_pCurrent = nullptr;
    ptrCXmlMessage m_ptrMessage;
    QVector<CXmlElement*> m_vecParents;
    QString m_strText;
    bool m_bTextIsCData = false;
    qint64 m_llMessageStart = 0;
    qint64 m_llLastMessageEnd = 0;
    qint64 m_llNodeBytes = 0;
    // The last text between messages that ended in a carriage return.
    qint64 m_llReturnTextStart = -1;
    qint64 m_llReturnTextEnd = -1;
    // Stream offsets at which the caller's pieces began, within the kept bytes: Qt's reader
    // words some faults differently when they are cut, so it gets the same pieces.
    QVector<qint64> m_vecCuts;
    QVector<struAttr> m_vecAttrs;
    QByteArray m_baScratch;
    QString m_strUnits;
};
}  // namespace XmlCommon

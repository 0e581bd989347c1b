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
class CNameCache;
class CUtf8Checker;

// Turns XML text that arrives in pieces, cut anywhere, into messages: each top-level element
// (below an optional "RootDummy" wrapper) is reported when it opens and again when it closes.
// The input comes from a peer, so it is bounded: elements nested deeper than maxDepth() are
// reported as a parser error like any other malformed text.
class OXI_EXPORT CXmlStreamParser
{
public:
    static const int m_iDefaultMaxDepth = 1000;

    CXmlStreamParser(IXmlListener& a_objListener, unsigned int a_uiConnectionId);
    CXmlStreamParser(const CXmlStreamParser&) = delete;
    CXmlStreamParser& operator=(const CXmlStreamParser&) = delete;
    virtual ~CXmlStreamParser();

    // False when the stream is broken (now or by an earlier error); data that end inside a
    // token are no error: the rest comes with the next call.
    virtual bool parse(const QByteArray& a_baData);
    virtual bool parse(const char* a_pszData);

    // Depth of a message's deepest element, its root being level 1.
    void setMaxDepth(int a_iMaxDepth) { m_iMaxDepth = a_iMaxDepth; }
    int maxDepth() const { return m_iMaxDepth; }
    // On by default: a byte that is not UTF-8 breaks the stream where it stands. Off, the text
    // may declare another encoding and Qt's reader decides.
    void setUtf8Only(bool a_bUtf8Only) { m_bUtf8Only = a_bUtf8Only; }

protected:
    void resetParser();
    QString getErrorString() const { return m_strError; }
    static QString errToString(QXmlStreamReader::Error a_eError);

    bool doParsing();
    bool handleStartElement();
    bool handleEndElement();
    bool handleCharacters();
    bool handleError(const char* a_pszExtra);
    ptrCXmlElement createChildItem(const CTagname& a_objName, const QXmlStreamAttributes& a_lstAttributes);
    void setElementValue(const QString& a_strText);
    bool handleStartDocument() { return true; }
    bool handleEndDocument() { return true; }
    bool handleComment() { return true; }
    bool handleDtd() { return true; }
    bool handleEntityReference() { return true; }
    bool handleProcessingInstruction() { return true; }

private:
    // Hands the given part of the data to the reader in pieces and parses them.
    bool feedReader(const QByteArray& a_baData, int a_iFrom, int a_iLength);

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
    int m_iMaxDepth = m_iDefaultMaxDepth;
    bool m_bBroken = false;
    bool m_bInBody = false;  // the first element has started
    bool m_bUtf8Only = true;
    // Names repeat all the time; built tag names are reused instead of rebuilt per element.
    std::unique_ptr<CNameCache> m_pNames;
    std::unique_ptr<CUtf8Checker> m_pUtf8;
};
}  // namespace XmlCommon

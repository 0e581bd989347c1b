#include "CXmlStreamParser.h"

#include <OrvexXmlInterface/platform/Platform.h>

#include <QtCore/QtDebug>

#include <array>

namespace XmlCommon
{
namespace
{
const QLatin1String s_strCDataBegin("<![CDATA[");
const QLatin1String s_strCDataEnd("]]>");
const QLatin1String s_strWrapper("RootDummy");
const QLatin1String s_strZip("_zip");
}  // namespace

// A direct-mapped cache of element and attribute names: a stream repeats few names, and a
// hostile one with endless new names only causes misses, never growth.
class CNameCache
{
public:
    const CTagname& tag(const QStringRef& a_strName)
    {
        CTagname& objSlot = m_aTags[qHash(a_strName) & (s_uiSlots - 1)];
        if (objSlot.isEmpty() || static_cast<const QString&>(objSlot) != a_strName)
            objSlot = CTagname(a_strName.toLatin1());
        return objSlot;
    }

    const QByteArray& attribute(const QStringRef& a_strName)
    {
        struAttributeSlot& objSlot = m_aAttributes[qHash(a_strName) & (s_uiSlots - 1)];
        if (objSlot.strName.isNull() || objSlot.strName != a_strName) {
            objSlot.strName = a_strName.toString();
            objSlot.baName = a_strName.toLatin1();
        }
        return objSlot.baName;
    }

private:
    static const unsigned s_uiSlots = 256;
    struct struAttributeSlot
    {
        QString strName;
        QByteArray baName;
    };
    std::array<CTagname, s_uiSlots> m_aTags;
    std::array<struAttributeSlot, s_uiSlots> m_aAttributes;
};

IXmlListener::~IXmlListener() = default;

CXmlStreamParser::CXmlStreamParser(IXmlListener& a_objListener, unsigned int a_uiConnectionId)
    : m_uiConnectionId(a_uiConnectionId), m_objListener(a_objListener), m_pNames(new CNameCache)
{
    // The protocol has no namespaces: names are taken as written, prefix and all.
    m_objReader.setNamespaceProcessing(false);
}

CXmlStreamParser::~CXmlStreamParser() = default;

bool CXmlStreamParser::parse(const QByteArray& a_baData)
{
    if (m_bBroken)
        return false;
    m_objReader.addData(a_baData);
    return doParsing();
}

bool CXmlStreamParser::parse(const char* a_pszData)
{
    return parse(QByteArray(a_pszData));
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
    while (bResult && !m_objReader.atEnd()) {
        m_eLastError = QXmlStreamReader::NoError;
        const QXmlStreamReader::TokenType eToken = m_objReader.readNext();
        switch (eToken) {
        case QXmlStreamReader::Invalid: bResult = handleError(nullptr); break;
        case QXmlStreamReader::StartElement: bResult = handleStartElement(); break;
        case QXmlStreamReader::EndElement: bResult = handleEndElement(); break;
        case QXmlStreamReader::Characters:
            // Text after an end tag (the line feed between siblings) is dropped.
            if (m_ePreviousToken == QXmlStreamReader::StartElement || m_ePreviousToken == QXmlStreamReader::Characters)
                bResult = handleCharacters();
            break;
        default: break;
        }
        if (m_eLastError != QXmlStreamReader::PrematureEndOfDocumentError)
            m_ePreviousToken = eToken;
    }
    return bResult;
}

bool CXmlStreamParser::handleStartElement()
{
    const QStringRef strName = m_objReader.qualifiedName();
    // The wrapper of a connection stream creates no element, so that each message below it is
    // a top-level element; inside a message the name is an ordinary one.
    if (!m_ptrCurrentElement && strName == s_strWrapper)
        return true;
    m_strText.clear();
    if (m_vecParents.size() >= m_iMaxDepth) {
        m_objReader.raiseError(QStringLiteral("Elements nested deeper than %1 levels").arg(m_iMaxDepth));
        return handleError(nullptr);
    }
    const bool bMessageRoot = !m_ptrCurrentElement;
    m_vecParents.append(m_ptrCurrentElement);
    m_ptrCurrentElement = createChildItem(m_pNames->tag(strName), m_objReader.attributes());
    if (bMessageRoot) {
        m_ptrCurrentMessage = ptrCXmlMessage(new CXmlMessage(m_uiConnectionId));
        m_ptrCurrentMessage->setElementTree(m_ptrCurrentElement);
        m_objListener.handleMsgHeader(m_ptrCurrentMessage);
    }
    return true;
}

ptrCXmlElement CXmlStreamParser::createChildItem(const CTagname& a_objName, const QXmlStreamAttributes& a_lstAttributes)
{
    ptrCXmlElement ptrElement(new CXmlElement(a_objName));
    for (const QXmlStreamAttribute& objAttribute : a_lstAttributes) {
        const QStringRef strName = objAttribute.qualifiedName();
        if (strName == s_strZip && objAttribute.value() == QLatin1String("0"))
            ptrElement->disableCompression();
        else
            ptrElement->setAttribute(m_pNames->attribute(strName), objAttribute.value().toString());
    }
    if (m_ptrCurrentElement)
        m_ptrCurrentElement->addChild(ptrElement, -1);
    return ptrElement;
}

bool CXmlStreamParser::handleCharacters()
{
    if (!m_ptrCurrentElement)
        return true;  // text directly inside the wrapper belongs to no message
    if (m_objReader.isCDATA() && !m_strText.startsWith(s_strCDataBegin))
        m_strText = s_strCDataBegin;
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
    if (!m_ptrCurrentElement)
        return true;
    if (m_strText.startsWith(s_strCDataBegin))
        m_strText += s_strCDataEnd;
    setElementValue(m_strText);
    m_strText.clear();
    if (m_vecParents.size() == 1) {
        m_objListener.handleFinishedXmlDoc(m_ptrCurrentElement);
        const ptrCXmlMessage ptrMessage = std::move(m_ptrCurrentMessage);
        m_ptrCurrentMessage.reset();
        m_objListener.handleFinishedXmlMsg(ptrMessage);
    }
    m_ptrCurrentElement = m_vecParents.takeLast();
    return true;
}

bool CXmlStreamParser::handleError(const char* a_pszExtra)
{
    m_strError = m_objReader.errorString();
    m_eLastError = m_objReader.error();
    if (m_eLastError == QXmlStreamReader::PrematureEndOfDocumentError)
        return true;  // the data ran out: the rest comes with the next call
    if (!m_strError.isEmpty())
        m_strError += QLatin1Char('\n');
    m_strError += QStringLiteral("%1: Line(%2), Column(%3)\n")
                      .arg(errToString(m_eLastError))
                      .arg(m_objReader.lineNumber())
                      .arg(m_objReader.columnNumber());
    Platform::debugOutput(m_strError);
    if (a_pszExtra)
        m_strError += QString::fromUtf8(a_pszExtra);
    m_bBroken = true;
    m_objListener.handleParserError(m_strError);
    qWarning("%s", qUtf8Printable(m_strError));
    return false;
}
}  // namespace XmlCommon

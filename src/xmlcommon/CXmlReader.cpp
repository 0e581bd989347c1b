#include "CXmlReader.h"

namespace XmlCommon
{
CXmlReader::CXmlReader() = default;

CXmlReader::~CXmlReader() = default;

void CXmlReader::init()
{
    m_pParser.reset(new CXmlStreamParser(*this, 0));
    // A document read whole may declare its own encoding.
    m_pParser->setUtf8Only(false);
}

ptrCXmlElement CXmlReader::readByteArray(const QByteArray& a_baData, bool& a_bOk, QString& a_strErrorText)
{
    init();
    m_strError.clear();
    m_bSuccess = true;
    m_ptrLastElement.reset();
    m_pParser->parse(a_baData);
    a_bOk = m_bSuccess;
    a_strErrorText = m_strError;
    return m_ptrLastElement;
}

ptrCXmlElement CXmlReader::readBuffer(QBuffer& a_objBuffer, bool& a_bOk, QString& a_strErrorText)
{
    return readByteArray(a_objBuffer.data(), a_bOk, a_strErrorText);
}

void CXmlReader::handleFinishedXmlDoc(ptrCXmlElement a_ptrRoot)
{
    m_ptrLastElement = a_ptrRoot;
}

void CXmlReader::handleFinishedXmlMsg(ptrCXmlMessage) {}

void CXmlReader::handleMsgHeader(ptrCXmlMessage) {}

void CXmlReader::handleParserError(const QString& a_strText)
{
    m_strError = a_strText;
    m_bSuccess = false;
}
}  // namespace XmlCommon

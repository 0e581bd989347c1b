#pragma once

#include <OrvexXmlInterface/OxiExport.h>
#include <OrvexXmlInterface/xmlcommon/CXmlStreamParser.h>
#include <OrvexXmlInterface/xmlcommon/IXmlListener.h>

#include <QtCore/QBuffer>
#include <QtCore/QObject>

#include <memory>

namespace XmlCommon
{
// Reads one complete document (a file's or a buffer's content) into an element tree.
// Every read starts afresh: a read that yields no complete element returns null, never the
// element of an earlier read.
class OXI_EXPORT CXmlReader : public QObject, public IXmlListener
{
    Q_OBJECT

public:
    CXmlReader();
    ~CXmlReader() override;

    ptrCXmlElement readByteArray(const QByteArray& a_baData, bool& a_bOk, QString& a_strErrorText);
    ptrCXmlElement readBuffer(QBuffer& a_objBuffer, bool& a_bOk, QString& a_strErrorText);

    void init();

    void handleFinishedXmlDoc(ptrCXmlElement a_ptrRoot) override;
    void handleFinishedXmlMsg(ptrCXmlMessage a_ptrMsg) override;
    void handleMsgHeader(ptrCXmlMessage a_ptrMsg) override;
    void handleParserError(const QString& a_strText) override;

private:
    ptrCXmlElement m_ptrLastElement;
    std::unique_ptr<CXmlStreamParser> m_pParser;
    QString m_strError;
    bool m_bSuccess = true;
};
}  // namespace XmlCommon

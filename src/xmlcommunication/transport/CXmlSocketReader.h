#pragma once

#include <OrvexXmlInterface/OxiExport.h>
#include <OrvexXmlInterface/xmlcommon/CXmlStreamParser.h>
#include <OrvexXmlInterface/xmlcommon/IXmlListener.h>
#include <OrvexXmlInterface/xmlcommunication/transport/TransportTypes.h>

#include <QtCore/QObject>
#include <QtCore/QPointer>
#include <QtCore/QTimer>
#include <QtNetwork/QTcpSocket>

#include <memory>

namespace XmlCommunication
{
// Turns the bytes arriving on one connection's socket into messages. The stream is one endless
// document: the reader feeds its parser a "RootDummy" start tag first, so that every message is a
// child of it. Each message is reported twice, in stream order: its header as soon as the root's
// start tag is read (SignalNewMsgHeader), the whole message when the root closes (SignalNewJob).
//
// Malformed text is reported (SignalParseError) and reading goes on with a new parser; what the
// broken parser held is lost. A stream that crosses one of the connection's limits, or holds a
// message open longer than allowed, is not read further: SignalStreamLimitExceeded tells the owner
// to close the connection. A NUL byte is malformed text like any other control character.
class OXI_EXPORT CXmlSocketReader : public QObject, public XmlCommon::IXmlListener
{
    Q_OBJECT

public:
    static const unsigned int m_uiBufferSize = 122880;

    explicit CXmlSocketReader(unsigned int a_uiConnectionId);
    ~CXmlSocketReader() override;

    // Applies to the parser made next (set before init).
    void setLimits(const struConnectionLimits& a_objLimits);
    void init(QTcpSocket* a_pSocket);
    unsigned int getBufferSize() const { return m_uiBufferSize; }
    // Kept for callers of the interface; the stream is never changed from outside.
    void injectDirtyData(const QString&) {}

    void handleFinishedXmlDoc(XmlCommon::ptrCXmlElement a_ptrRoot) override;
    void handleFinishedXmlMsg(XmlCommon::ptrCXmlMessage a_ptrMsg) override;
    void handleMsgHeader(XmlCommon::ptrCXmlMessage a_ptrMsg) override;
    void handleParserError(const QString& a_strText) override;

signals:
    void SignalParseError(QString a_strText);
    void SignalNewJob(XmlCommon::ptrCXmlMessage a_ptrMsg);
    void SignalNewMsgHeader(XmlCommon::ptrCXmlMessage a_ptrMsg);
    void SignalStreamLimitExceeded(QString a_strReason);

public slots:
    void SlotReadData();

protected:
    void initParser();
    // Parses one chunk as it came from the socket.
    void parseChunk(const QByteArray& a_baChunk);

private:
    void trackOpenMessage(const QByteArray& a_baChunk);
    void slotCheckCompletion();
    void stopReading(const QString& a_strReason);

    std::unique_ptr<XmlCommon::CXmlStreamParser> m_pParser;
    QPointer<QTcpSocket> m_pSocket;  // not owned
    static constexpr int s_iChunkBytes = 32768;
    QByteArray m_baChunk;
    unsigned int m_uiConnectionId;
    struConnectionLimits m_objLimits;
    QString m_strLastError;
    bool m_bStopped = false;
    // A message is open from its first bytes to its end: inside a root element, or with text
    // other than white space after the last '>' of the stream.
    bool m_bInMessage = false;
    bool m_bTailPending = false;
    quint64 m_u64ProgressUs = 0;  // when the open message started or the last one completed
    QTimer m_objCompletionTimer;
};
}  // namespace XmlCommunication

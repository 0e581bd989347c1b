#pragma once

// A peer written in the test: it sends exact bytes on a real loopback socket and parses what
// comes back into messages, as any process on the other end would.

#include <OrvexXmlInterface/platform/Platform.h>
#include <OrvexXmlInterface/xmlcommon/CXmlStreamParser.h>
#include <OrvexXmlInterface/xmlcommon/IXmlListener.h>

#include <QtNetwork/QTcpServer>
#include <QtNetwork/QTcpSocket>
#include <QtTest/QtTest>

#include <memory>
#include <mutex>

namespace TransportTest
{
using namespace XmlCommon;

class CRawPeer : public QObject, public IXmlListener
{
public:
    CRawPeer() { resetParser(); }

    // Takes over a connected socket.
    void adopt(QTcpSocket* a_pSocket)
    {
        m_pSocket.reset(a_pSocket);
        QObject::connect(m_pSocket.get(), &QTcpSocket::readyRead, [this] { read(); });
    }
    bool connectTo(quint16 a_usPort)
    {
        auto* pSocket = new QTcpSocket;
        pSocket->connectToHost(QHostAddress::LocalHost, a_usPort);
        adopt(pSocket);
        return pSocket->waitForConnected(5000);
    }
    void write(const QByteArray& a_baBytes)
    {
        m_pSocket->write(a_baBytes);
        m_pSocket->flush();
    }
    QTcpSocket* socket() const { return m_pSocket.get(); }
    bool isClosed() const { return !m_pSocket || m_pSocket->state() == QAbstractSocket::UnconnectedState; }

    // Waits until at least a_iCount messages have arrived.
    bool waitFor(int a_iCount, int a_iMs = 5000)
    {
        return QTest::qWaitFor([&] { return m_lstMessages.size() >= a_iCount; }, a_iMs);
    }
    // The first message whose root is a reply with this id, or null.
    ptrCXmlMessage reply(unsigned int a_uiId) const
    {
        for (const ptrCXmlMessage& ptrMsg : m_lstMessages)
            if (ptrMsg->isReply() && ptrMsg->getMessageID() == a_uiId)
                return ptrMsg;
        return ptrCXmlMessage();
    }

    void handleFinishedXmlDoc(ptrCXmlElement) override {}
    void handleFinishedXmlMsg(ptrCXmlMessage a_ptrMsg) override { m_lstMessages.append(a_ptrMsg); }
    void handleMsgHeader(ptrCXmlMessage) override {}
    void handleParserError(const QString& a_strText) override { m_lstErrors.append(a_strText); }

    QList<ptrCXmlMessage> m_lstMessages;
    QStringList m_lstErrors;
    QByteArray m_baReceived;

private:
    void resetParser()
    {
        m_pParser.reset(new CXmlStreamParser(*this, 0));
        m_pParser->parse(QByteArrayLiteral("<RootDummy>\n"));
    }
    void read()
    {
        const QByteArray baBytes = m_pSocket->readAll();
        m_baReceived += baBytes;
        m_pParser->parse(baBytes);
    }

    std::unique_ptr<QTcpSocket> m_pSocket;
    std::unique_ptr<CXmlStreamParser> m_pParser;
};

// The fault id carried by the first fragment of a reply, or 0.
inline unsigned int faultId(const ptrCXmlMessage& a_ptrReply)
{
    if (!a_ptrReply || a_ptrReply->getNumberOfFragments() == 0)
        return 0;
    unsigned int uiId = 0;
    a_ptrReply->getFragment(0).getFaultTree().getID(uiId);
    return uiId;
}

// Collects the diagnostic texts while it lives, so that tests can look for them and the run
// stays quiet.
class CLogCapture
{
public:
    CLogCapture()
        : m_fnPrevious(Platform::setDebugOutputHook([this](const QString& a_str) {
              std::unique_lock lock(m_objMutex);
              m_lstTexts.append(a_str);
          }))
    {}
    ~CLogCapture() { Platform::setDebugOutputHook(m_fnPrevious); }
    bool contains(const QString& a_strPart) const
    {
        std::unique_lock lock(m_objMutex);
        return !m_lstTexts.filter(a_strPart).isEmpty();
    }

    QString all() const
    {
        std::unique_lock lock(m_objMutex);
        return m_lstTexts.join(QLatin1Char('\n'));
    }

private:
    mutable std::mutex m_objMutex;
    QStringList m_lstTexts;
    Platform::typDebugOutputHook m_fnPrevious;
};
}  // namespace TransportTest

#pragma once

#include <OrvexXmlInterface/OxiExport.h>
#include <OrvexXmlInterface/xmlcommunication/discovery/IBroadcastParser.h>

#include <QtCore/QObject>
#include <QtCore/QPointer>

#include <atomic>

class QUdpSocket;

namespace XmlCommunication
{
// Listens on one UDP port of every IPv4 interface and hands each datagram, with its sender's
// address, to its parsers in list order. Datagrams are read and parsed on the receiver's thread;
// the parsers' signals are emitted there.
class OXI_EXPORT CBroadcastReceiver : public QObject
{
    Q_OBJECT

public:
    // Announcements are short texts; anything longer is dropped before the parsers see it.
    static constexpr int m_iDefaultMaxDatagramSize = 8192;

    explicit CBroadcastReceiver(QObject* a_pParent = nullptr);
    ~CBroadcastReceiver() override;

    // Binds a new socket to a_usPort (0: a port the system chooses) and takes a copy of the list;
    // a second start replaces socket and parsers. A port that cannot be bound leaves the receiver
    // silent. Called from another thread, the start runs on the receiver's thread as soon as its
    // event loop gets to it.
    virtual void start(unsigned short a_usPort, const typBroadcastParserList& a_lstParsers);

    // The port the socket is bound to: 0 before start and while the port could not be bound.
    // Safe on any thread.
    unsigned short getLocalPort() const { return m_usBoundPort.load(); }

    // Safe on any thread; values below 1 restore the default.
    void setMaxDatagramSize(int a_iBytes);
    int getMaxDatagramSize() const { return m_iMaxDatagramSize.load(); }

private slots:
    virtual void slotProcessPendingDatagrams();

private:
    // Reads and parses at most one turn's worth of datagrams; true when more are waiting.
    bool processSomeDatagrams(const QPointer<CBroadcastReceiver>& a_ptrSelf);
    void releaseSocket();

    QUdpSocket* m_pobjSocket = nullptr;
    unsigned short m_usPort = 0;
    typBroadcastParserList m_lstParsers;
    std::atomic<unsigned short> m_usBoundPort{0};
    std::atomic<int> m_iMaxDatagramSize{m_iDefaultMaxDatagramSize};
    // Nesting of slotProcessPendingDatagrams: a parser's slot may destroy or restart the receiver.
    int m_iDispatchDepth = 0;
};
}  // namespace XmlCommunication

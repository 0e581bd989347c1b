#pragma once

#include <OrvexXmlInterface/OxiExport.h>

#include <QtCore/QByteArray>
#include <QtCore/QList>
#include <QtCore/QSharedPointer>

class QHostAddress;

namespace XmlCommunication
{
// One datagram format of the discovery broadcasts. An implementation is a QObject that announces
// what it recognised through its own signals and ignores every datagram of another format.
class OXI_EXPORT IBroadcastParser
{
public:
    virtual ~IBroadcastParser();
    // Runs on the thread of the receiver that read the datagram.
    virtual void parseDatagram(const QByteArray& a_baDatagram, const QHostAddress& a_objSender) = 0;
};

// A parser lives as long as some list holds it.
using typBroadcastParserList = QList<QSharedPointer<IBroadcastParser>>;
}  // namespace XmlCommunication

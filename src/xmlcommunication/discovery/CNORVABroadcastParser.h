#pragma once

#include <OrvexXmlInterface/OxiExport.h>
#include <OrvexXmlInterface/xmlcommunication/discovery/IBroadcastParser.h>

#include <QtCore/QObject>

namespace XmlCommunication
{
// Announcements of the devices of the NORVA family: "type;FW: firmware;SN: serial;address;...;"
// (fields in any order after the type, any number of addresses, ended by ";"). One signal per
// announced address.
class OXI_EXPORT CNORVABroadcastParser : public QObject, public IBroadcastParser
{
    Q_OBJECT

public:
    explicit CNORVABroadcastParser(QObject* a_pParent = nullptr);

    void parseDatagram(const QByteArray& a_baDatagram, const QHostAddress& a_objSender) override;

    // The UDP port on which the devices announce themselves.
    static unsigned short defaultNORVABroadcastPort() { return 8111; }

signals:
    // a_baSenderIPAddress: the address the datagram came from (a_baIPAddress when it is unknown).
    void signalNORVABroadcastData(const QByteArray& a_baIPAddress, const QByteArray& a_baTypeIdentifier,
                                  const QByteArray& a_baFirmwareCode, const QByteArray& a_baSerialNumber,
                                  const QByteArray& a_baSenderIPAddress, const QByteArray& a_baOriginalBroadcast);
};
}  // namespace XmlCommunication

#pragma once

#include <OrvexXmlInterface/OxiExport.h>
#include <OrvexXmlInterface/xmlcommunication/discovery/IBroadcastParser.h>

#include <QtCore/QObject>
#include <QtCore/QString>

namespace XmlCommunication
{
// The announcement of the system's main service, UTF-8 text up to the first zero byte, exactly
// six fields: "<product tag>;{identity GUID};<serial>-<serial>;<host name>;<IPv4 address>;<TCP port>".
// The product tag begins with the product prefix; the address "0.0.0.0" stands for the address
// the datagram came from.
class OXI_EXPORT CMainServiceBroadcastParser : public QObject, public IBroadcastParser
{
    Q_OBJECT

public:
    explicit CMainServiceBroadcastParser(QObject* a_pParent = nullptr);

    void parseDatagram(const QByteArray& a_baDatagram, const QHostAddress& a_objSender) override;

    // "ORVEX-": the six characters that the product tag of every announcement begins with.
    static QString defaultProductPrefix();
    // The prefix in force for every parser of the process; an empty text restores the default.
    static QString productPrefix();
    static void setProductPrefix(const QString& a_strPrefix);
    // 8112: the port on which the main service announces itself unless the system is set up
    // otherwise; the host passes the port to start.
    static unsigned short defaultMainServiceBroadcastPort() { return 8112; }

signals:
    void signalMainServiceData(QString a_strMainServiceGuid, QString a_strSenderSerialNo,
                               QString a_strHostnameMainService, QString a_strMainServiceIpAddress,
                               ushort a_usMainServicePort, QString a_strSenderIp);
    // A main service that does not know its own address yet: a_strMainServiceIpAddress is the
    // address its datagram came from.
    void signalInitialMainServiceData(QString a_strMainServiceGuid, QString a_strSenderSerialNo,
                                      QString a_strHostnameMainService, QString a_strMainServiceIpAddress,
                                      ushort a_usMainServicePort);
};
}  // namespace XmlCommunication

#pragma once

#include <OrvexXmlInterface/OxiExport.h>
#include <OrvexXmlInterface/xmlcommunication/discovery/CBroadcastReceiver.h>

#include <QtCore/QObject>

namespace XmlCommunication
{
// A receiver that always listens for the main service: start adds a main-service parser to the
// host's parsers, and its two signals are re-emitted here.
class OXI_EXPORT CHandleBroadcast : public QObject
{
    Q_OBJECT

public:
    explicit CHandleBroadcast(QObject* a_pParent = nullptr);

    virtual void start(unsigned short a_usPort, const typBroadcastParserList& a_lstParsers);

    // The port the receiver is bound to (0 before start or when it could not be bound).
    unsigned short getLocalPort() const { return m_objReceiver.getLocalPort(); }

signals:
    void signalMainServiceData(QString a_strMainServiceGuid, QString a_strSenderSerialNo,
                               QString a_strHostnameMainService, QString a_strMainServiceIpAddress,
                               ushort a_usMainServicePort, QString a_strSenderIp);
    void signalInitialMainServiceData(QString a_strMainServiceGuid, QString a_strSenderSerialNo,
                                      QString a_strHostnameMainService, QString a_strMainServiceIpAddress,
                                      ushort a_usMainServicePort);

private:
    // A child, so that it follows the handler into another thread.
    CBroadcastReceiver m_objReceiver;
};
}  // namespace XmlCommunication

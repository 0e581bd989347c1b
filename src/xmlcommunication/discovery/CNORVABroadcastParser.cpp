#include "CNORVABroadcastParser.h"

#include "DiscoveryLog_p.h"

#include <QtNetwork/QHostAddress>

namespace XmlCommunication
{
namespace
{
const QString s_strClass = QStringLiteral("CNORVABroadcastParser");
const QByteArray s_baFirmware("FW: ");
const QByteArray s_baSerial("SN: ");
const int s_iMinFields = 4;
}  // namespace

CNORVABroadcastParser::CNORVABroadcastParser(QObject* a_pParent) : QObject(a_pParent)
{
    DiscoveryLog::registerClass(s_strClass);
}

void CNORVABroadcastParser::parseDatagram(const QByteArray& a_baDatagram, const QHostAddress& a_objSender)
{
    QList<QByteArray> lstFields = a_baDatagram.split(';');
    if (lstFields.size() < s_iMinFields) {
        DiscoveryLog::write(s_strClass, QStringLiteral("datagram from %1 ignored: %2 field(s), at least %3 expected")
                                            .arg(a_objSender.toString())
                                            .arg(lstFields.size())
                                            .arg(s_iMinFields));
        return;
    }
    // The text after the last ";" is not a field: a datagram ends with ";".
    lstFields.removeLast();
    const QByteArray baType = lstFields.takeFirst();
    QByteArray baFirmware;
    QByteArray baSerial;
    QList<QByteArray> lstAddresses;
    for (const QByteArray& baField : qAsConst(lstFields)) {
        if (baField.isEmpty())
            continue;
        if (baField.startsWith(s_baFirmware))
            baFirmware = baField.mid(s_baFirmware.size());
        else if (baField.startsWith(s_baSerial))
            baSerial = baField.mid(s_baSerial.size());
        else
            lstAddresses.append(baField);
    }
    if (lstAddresses.isEmpty()) {
        DiscoveryLog::write(s_strClass,
                            QStringLiteral("datagram from %1 ignored: no address field").arg(a_objSender.toString()));
        return;
    }
    const QByteArray baSender = a_objSender.toString().toLatin1();
    for (const QByteArray& baAddress : qAsConst(lstAddresses)) {
        emit signalNORVABroadcastData(baAddress, baType, baFirmware, baSerial,
                                      baSender.isEmpty() ? baAddress : baSender, a_baDatagram);
    }
}
}  // namespace XmlCommunication

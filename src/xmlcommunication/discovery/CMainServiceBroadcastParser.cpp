#include "CMainServiceBroadcastParser.h"

#include "DiscoveryLog_p.h"

#include <QtCore/QRegExp>
#include <QtCore/QStringList>
#include <QtNetwork/QHostAddress>

#include <mutex>

namespace XmlCommunication
{
namespace
{
const QString s_strClass = QStringLiteral("CMainServiceBroadcastParser");
const int s_iFields = 6;

struct struPatterns
{
    QRegExp objIdentity{QStringLiteral("\\{[0-9a-f\\-]*\\}"), Qt::CaseInsensitive, QRegExp::RegExp};
    QRegExp objSerial{QStringLiteral("[0-9]*\\-[0-9]*"), Qt::CaseSensitive, QRegExp::RegExp};
    QRegExp objIpv4{QStringLiteral("[0-9]{1,3}\\.[0-9]{1,3}\\.[0-9]{1,3}\\.[0-9]{1,3}"), Qt::CaseSensitive,
                    QRegExp::RegExp};
};

const struPatterns& patterns()
{
    static const struPatterns s_objPatterns;
    return s_objPatterns;
}

// A QRegExp keeps the state of its last match: every thread matches on a copy of its own.
bool matchesWhole(const QRegExp& a_objPattern, const QString& a_strText)
{
    QRegExp objPattern(a_objPattern);
    return objPattern.exactMatch(a_strText);
}

struct struPrefix
{
    std::mutex objMutex;
    QString strPrefix = CMainServiceBroadcastParser::defaultProductPrefix();
};

struPrefix& prefix()
{
    static struPrefix s_objPrefix;
    return s_objPrefix;
}

// Why the six fields are not an announcement; empty when they are one.
QString invalidField(const QStringList& a_lstFields, bool a_bPortOk)
{
    const QString strPrefix = CMainServiceBroadcastParser::productPrefix();
    if (!a_lstFields.at(0).startsWith(strPrefix))
        return QStringLiteral("product tag %1 does not begin with %2")
            .arg(DiscoveryLog::quoted(a_lstFields.at(0)), DiscoveryLog::quoted(strPrefix));
    if (!matchesWhole(patterns().objIdentity, a_lstFields.at(1)))
        return QStringLiteral("identity %1 is not a GUID in braces").arg(DiscoveryLog::quoted(a_lstFields.at(1)));
    if (!matchesWhole(patterns().objSerial, a_lstFields.at(2)))
        return QStringLiteral("serial identifier %1 is not of the form digits-digits")
            .arg(DiscoveryLog::quoted(a_lstFields.at(2)));
    if (!matchesWhole(patterns().objIpv4, a_lstFields.at(4)))
        return QStringLiteral("IP address %1 is not an IPv4 address").arg(DiscoveryLog::quoted(a_lstFields.at(4)));
    if (!a_bPortOk)
        return QStringLiteral("port %1 is not a 16-bit decimal number").arg(DiscoveryLog::quoted(a_lstFields.at(5)));
    return QString();
}
}  // namespace

CMainServiceBroadcastParser::CMainServiceBroadcastParser(QObject* a_pParent) : QObject(a_pParent)
{
    DiscoveryLog::registerClass(s_strClass);
    patterns();
}

QString CMainServiceBroadcastParser::defaultProductPrefix()
{
    return QStringLiteral("ORVEX-");
}

QString CMainServiceBroadcastParser::productPrefix()
{
    std::lock_guard<std::mutex> objLock(prefix().objMutex);
    return prefix().strPrefix;
}

void CMainServiceBroadcastParser::setProductPrefix(const QString& a_strPrefix)
{
    std::lock_guard<std::mutex> objLock(prefix().objMutex);
    prefix().strPrefix = a_strPrefix.isEmpty() ? defaultProductPrefix() : a_strPrefix;
}

void CMainServiceBroadcastParser::parseDatagram(const QByteArray& a_baDatagram, const QHostAddress& a_objSender)
{
    const int iLength = int(qstrnlen(a_baDatagram.constData(), uint(a_baDatagram.size())));
    const QStringList lstFields =
        QString::fromUtf8(a_baDatagram.constData(), iLength).split(QLatin1Char(';'), Qt::KeepEmptyParts);
    if (lstFields.size() != s_iFields) {
        DiscoveryLog::write(s_strClass, QStringLiteral("datagram from %1 ignored: %2 field(s), %3 expected")
                                            .arg(a_objSender.toString())
                                            .arg(lstFields.size())
                                            .arg(s_iFields));
        return;
    }
    bool bPortOk = false;
    const ushort usPort = lstFields.at(5).toUShort(&bPortOk, 10);
    const QString strInvalid = invalidField(lstFields, bPortOk);
    if (!strInvalid.isEmpty()) {
        DiscoveryLog::write(s_strClass,
                            QStringLiteral("datagram from %1 ignored: %2").arg(a_objSender.toString(), strInvalid));
        return;
    }
    static const QString s_strAnyAddress = QHostAddress(QHostAddress::AnyIPv4).toString();
    if (lstFields.at(4) != s_strAnyAddress) {
        emit signalMainServiceData(lstFields.at(1), lstFields.at(2), lstFields.at(3), lstFields.at(4), usPort,
                                   a_objSender.toString());
    } else {
        emit signalInitialMainServiceData(lstFields.at(1), lstFields.at(2), lstFields.at(3), a_objSender.toString(),
                                          usPort);
    }
}
}  // namespace XmlCommunication

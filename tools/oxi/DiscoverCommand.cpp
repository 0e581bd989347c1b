#include "DiscoverCommand.h"

#include <OrvexXmlInterface/xmlcommunication/discovery/CBroadcastReceiver.h>
#include <OrvexXmlInterface/xmlcommunication/discovery/CMainServiceBroadcastParser.h>
#include <OrvexXmlInterface/xmlcommunication/discovery/CNORVABroadcastParser.h>
#include <OrvexXmlInterface/xmlcommunication/services/CDebugCenter.h>

#include <QtCore/QEventLoop>
#include <QtCore/QSet>
#include <QtCore/QTimer>
#include <QtNetwork/QHostAddress>

#include <memory>
#include <vector>

using namespace XmlCommunication;

namespace OxiTool
{
namespace
{
struct struOptions
{
    QList<unsigned short> lstPorts;
    double dSeconds = 0;  // 0: until interrupted
    bool bVerbose = false;
};

bool parseOptions(const QStringList& a_lstArguments, struOptions& a_objOptions)
{
    for (int i = 0; i < a_lstArguments.size(); ++i) {
        const QString& strArgument = a_lstArguments.at(i);
        bool bOk = false;
        if (strArgument == QLatin1String("--port") && i + 1 < a_lstArguments.size()) {
            a_objOptions.lstPorts.append(a_lstArguments.at(++i).toUShort(&bOk, 10));
        } else if (strArgument == QLatin1String("--seconds") && i + 1 < a_lstArguments.size()) {
            a_objOptions.dSeconds = a_lstArguments.at(++i).toDouble(&bOk);
            bOk = bOk && a_objOptions.dSeconds > 0 && a_objOptions.dSeconds <= 24 * 3600;
        } else if (strArgument == QLatin1String("--verbose")) {
            a_objOptions.bVerbose = bOk = true;
        }
        if (!bOk)
            return false;
    }
    if (a_objOptions.lstPorts.isEmpty()) {
        a_objOptions.lstPorts = {CNORVABroadcastParser::defaultNORVABroadcastPort(),
                                 CMainServiceBroadcastParser::defaultMainServiceBroadcastPort()};
    }
    return true;
}

QString quoted(const QString& a_strText)
{
    return QLatin1Char('"') + a_strText + QLatin1Char('"');
}

// Prints each announcement once; a device that announces itself again with the same fields is
// not repeated.
class CAnnouncementPrinter
{
public:
    explicit CAnnouncementPrinter(QTextStream& a_objOut) : m_objOut(a_objOut) {}

    void device(const QByteArray& a_baAddress, const QByteArray& a_baType, const QByteArray& a_baFirmware,
                const QByteArray& a_baSerial, const QByteArray& a_baSender)
    {
        print(false, QStringLiteral("%1 device %2 address=%3 firmware=%4 serial=%5")
                         .arg(QString::fromLatin1(a_baSender), quoted(QString::fromLatin1(a_baType)),
                              QString::fromLatin1(a_baAddress), QString::fromLatin1(a_baFirmware),
                              QString::fromLatin1(a_baSerial)));
    }

    void service(const QString& a_strKind, const QString& a_strSender, const QString& a_strHost,
                 const QString& a_strIdentity, const QString& a_strSerial, const QString& a_strAddress, ushort a_usPort)
    {
        print(true, QStringLiteral("%1 %2 %3 identity=%4 serial=%5 address=%6 port=%7")
                        .arg(a_strSender, a_strKind, quoted(a_strHost), a_strIdentity, a_strSerial, a_strAddress)
                        .arg(a_usPort));
    }

    int m_iDevices = 0;
    int m_iServices = 0;

private:
    void print(bool a_bService, const QString& a_strLine)
    {
        if (m_setPrinted.contains(a_strLine))
            return;
        m_setPrinted.insert(a_strLine);
        ++(a_bService ? m_iServices : m_iDevices);
        m_objOut << a_strLine << '\n';
        m_objOut.flush();
    }

    QTextStream& m_objOut;
    QSet<QString> m_setPrinted;
};

// One port may carry both kinds of announcement. A main-service announcement would also pass
// for a device's (that format takes any text with enough ";"), so devices are only looked for in
// what is not a main-service announcement.
class CAnnouncementParser : public IBroadcastParser
{
public:
    explicit CAnnouncementParser(CAnnouncementPrinter& a_objPrinter)
    {
        QObject::connect(&m_objService, &CMainServiceBroadcastParser::signalMainServiceData,
                         [this, &a_objPrinter](const QString& a_strIdentity, const QString& a_strSerial,
                                               const QString& a_strHost, const QString& a_strAddress, ushort a_usPort,
                                               const QString& a_strSender) {
                             m_bService = true;
                             a_objPrinter.service(QStringLiteral("main-service"), a_strSender, a_strHost, a_strIdentity,
                                                  a_strSerial, a_strAddress, a_usPort);
                         });
        QObject::connect(&m_objService, &CMainServiceBroadcastParser::signalInitialMainServiceData,
                         [this, &a_objPrinter](const QString& a_strIdentity, const QString& a_strSerial,
                                               const QString& a_strHost, const QString& a_strSender, ushort a_usPort) {
                             m_bService = true;
                             a_objPrinter.service(QStringLiteral("main-service-initial"), a_strSender, a_strHost,
                                                  a_strIdentity, a_strSerial, a_strSender, a_usPort);
                         });
        QObject::connect(&m_objDevices, &CNORVABroadcastParser::signalNORVABroadcastData,
                         [&a_objPrinter](const QByteArray& a_baAddress, const QByteArray& a_baType,
                                         const QByteArray& a_baFirmware, const QByteArray& a_baSerial,
                                         const QByteArray& a_baSender, const QByteArray&) {
                             a_objPrinter.device(a_baAddress, a_baType, a_baFirmware, a_baSerial, a_baSender);
                         });
    }

    void parseDatagram(const QByteArray& a_baDatagram, const QHostAddress& a_objSender) override
    {
        m_bService = false;
        m_objService.parseDatagram(a_baDatagram, a_objSender);
        if (!m_bService)
            m_objDevices.parseDatagram(a_baDatagram, a_objSender);
    }

private:
    CMainServiceBroadcastParser m_objService;
    CNORVABroadcastParser m_objDevices;
    bool m_bService = false;
};

void logIgnoredDatagrams()
{
    typMapDbgFlags mapFlags;
    for (const char* pszClass : {"CBroadcastReceiver", "CNORVABroadcastParser", "CMainServiceBroadcastParser"})
        mapFlags.insert(QLatin1String(pszClass), {{QStringLiteral("log"), QStringLiteral("1")}});
    CDebugCenter::getInstance()->setFlags(mapFlags);
}
}  // namespace

QString discoverUsage()
{
    return QStringLiteral(
        "Usage: oxi discover [--port N]... [--seconds S] [--verbose]\n"
        "\n"
        "Listens for discovery broadcasts on UDP and prints one line per device or service heard:\n"
        "  SENDER device \"TYPE\" address=A firmware=F serial=S\n"
        "  SENDER main-service \"HOST\" identity={GUID} serial=S address=A port=P\n"
        "  SENDER main-service-initial ...   (a main service that announced 0.0.0.0: the address shown\n"
        "                                     is the one its datagram came from)\n"
        "A device with several addresses gives one line per address; an announcement heard again\n"
        "with the same fields is not repeated.\n"
        "\n"
        "  --port N      listen on UDP port N (repeatable; 0 lets the system choose). Default: 8111\n"
        "                (device announcements) and 8112 (main-service announcements).\n"
        "  --seconds S   stop after S seconds and print a summary; default: until interrupted.\n"
        "  --verbose     also say on standard error why a datagram was passed over (each datagram\n"
        "                is tried as a main-service announcement first, then as a device's).\n"
        "\n"
        "Standard error starts with the line 'oxi discover: listening on UDP port(s) ...'.\n"
        "Exit status: 0 when the time is up, 2 on bad usage or when a port cannot be bound.\n");
}

int runDiscover(const QStringList& a_lstArguments, QTextStream& a_objOut, QTextStream& a_objErr)
{
    struOptions objOptions;
    if (!parseOptions(a_lstArguments, objOptions)) {
        a_objErr << discoverUsage();
        return 2;
    }
    if (objOptions.bVerbose)
        logIgnoredDatagrams();

    CAnnouncementPrinter objPrinter(a_objOut);
    const QSharedPointer<IBroadcastParser> ptrParser(new CAnnouncementParser(objPrinter));
    std::vector<std::unique_ptr<CBroadcastReceiver>> vecReceivers;
    QStringList lstBound;
    for (unsigned short usPort : qAsConst(objOptions.lstPorts)) {
        vecReceivers.emplace_back(new CBroadcastReceiver());
        vecReceivers.back()->start(usPort, {ptrParser});
        if (vecReceivers.back()->getLocalPort() == 0) {
            a_objErr << "oxi discover: cannot listen on UDP port " << usPort << '\n';
            return 2;
        }
        lstBound.append(QString::number(vecReceivers.back()->getLocalPort()));
    }
    a_objErr << "oxi discover: listening on UDP port(s) " << lstBound.join(QStringLiteral(", ")) << '\n';
    a_objErr.flush();

    QEventLoop objLoop;
    if (objOptions.dSeconds > 0)
        QTimer::singleShot(int(objOptions.dSeconds * 1000), &objLoop, &QEventLoop::quit);
    objLoop.exec();

    a_objErr << "oxi discover: " << objPrinter.m_iDevices << " device line(s), " << objPrinter.m_iServices
             << " service line(s)\n";
    return 0;
}
}  // namespace OxiTool

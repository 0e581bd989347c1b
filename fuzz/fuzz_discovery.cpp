// Feeds the input to both discovery parsers as one datagram. Neither may crash, whatever the
// input; what a parser announces must come back unchanged when it is written again as a
// datagram of its format and parsed once more, and a sender without an address text must be
// replaced by the announced address. The diagnostic texts of ignored datagrams are formatted
// too (their output is dropped).
#include <OrvexXmlInterface/platform/Platform.h>
#include <OrvexXmlInterface/xmlcommunication/discovery/CMainServiceBroadcastParser.h>
#include <OrvexXmlInterface/xmlcommunication/discovery/CNORVABroadcastParser.h>
#include <OrvexXmlInterface/xmlcommunication/services/CDebugCenter.h>

#include <QtCore/QByteArray>
#include <QtCore/QStringList>
#include <QtNetwork/QHostAddress>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

using namespace XmlCommunication;

namespace
{
const QHostAddress s_objSender(QStringLiteral("192.0.2.1"));

void fail(const char* a_pszWhat, const QStringList& a_lstFirst, const QStringList& a_lstSecond)
{
    std::fprintf(stderr, "%s\nfirst:\n%s\nsecond:\n%s\n", a_pszWhat, qPrintable(a_lstFirst.join(QLatin1Char('\n'))),
                 qPrintable(a_lstSecond.join(QLatin1Char('\n'))));
    std::abort();
}

// Each signal as one line; the device fields are kept as bytes in a Latin-1 view.
class CDevices
{
public:
    CDevices()
    {
        QObject::connect(&m_objParser, &CNORVABroadcastParser::signalNORVABroadcastData,
                         [this](const QByteArray& a_baAddress, const QByteArray& a_baType,
                                const QByteArray& a_baFirmware, const QByteArray& a_baSerial,
                                const QByteArray& a_baSender, const QByteArray&) {
                             m_lstAddresses.append(a_baAddress);
                             m_baType = a_baType;
                             m_baFirmware = a_baFirmware;
                             m_baSerial = a_baSerial;
                             m_lstSenders.append(a_baSender);
                         });
    }
    QStringList parse(const QByteArray& a_baDatagram, const QHostAddress& a_objSender)
    {
        m_lstAddresses.clear();
        m_lstSenders.clear();
        m_objParser.parseDatagram(a_baDatagram, a_objSender);
        QStringList lst;
        for (const QByteArray& baAddress : qAsConst(m_lstAddresses))
            lst.append(QString::fromLatin1(baAddress + '|' + m_baType + '|' + m_baFirmware + '|' + m_baSerial));
        return lst;
    }
    QByteArray rewrite() const
    {
        return m_baType + ";FW: " + m_baFirmware + ";SN: " + m_baSerial + ';' + m_lstAddresses.join(';') + ';';
    }

    CNORVABroadcastParser m_objParser;
    QList<QByteArray> m_lstAddresses;
    QList<QByteArray> m_lstSenders;
    QByteArray m_baType;
    QByteArray m_baFirmware;
    QByteArray m_baSerial;
};

class CMainService
{
public:
    CMainService()
    {
        QObject::connect(
            &m_objParser, &CMainServiceBroadcastParser::signalMainServiceData,
            [this](const QString& a_strGuid, const QString& a_strSerial, const QString& a_strHost,
                   const QString& a_strAddress, ushort a_usPort, const QString&) {
                m_lstFields = QStringList{a_strGuid, a_strSerial, a_strHost, a_strAddress, QString::number(a_usPort)};
            });
        QObject::connect(&m_objParser, &CMainServiceBroadcastParser::signalInitialMainServiceData,
                         [this](const QString& a_strGuid, const QString& a_strSerial, const QString& a_strHost,
                                const QString&, ushort a_usPort) {
                             m_lstFields = QStringList{a_strGuid, a_strSerial, a_strHost, QStringLiteral("0.0.0.0"),
                                                       QString::number(a_usPort)};
                         });
    }
    QStringList parse(const QByteArray& a_baDatagram)
    {
        m_lstFields.clear();
        m_objParser.parseDatagram(a_baDatagram, s_objSender);
        return m_lstFields;
    }
    QByteArray rewrite() const
    {
        return (CMainServiceBroadcastParser::productPrefix() + QLatin1Char(';') + m_lstFields.join(QLatin1Char(';')))
            .toUtf8();
    }

    CMainServiceBroadcastParser m_objParser;
    QStringList m_lstFields;
};

void setUp()
{
    static bool s_bDone = false;
    if (s_bDone)
        return;
    s_bDone = true;
    Platform::setDebugOutputHook([](const QString&) {});
    typMapDbgFlags mapFlags;
    for (const char* pszClass : {"CNORVABroadcastParser", "CMainServiceBroadcastParser"})
        mapFlags.insert(QLatin1String(pszClass), {{QStringLiteral("log"), QStringLiteral("1")}});
    CDebugCenter::getInstance()->setFlags(mapFlags);
}

void checkDevices(const QByteArray& a_baInput)
{
    CDevices objDevices;
    const QStringList lstFirst = objDevices.parse(a_baInput, s_objSender);
    if (lstFirst.isEmpty())
        return;
    if (objDevices.m_lstSenders.count(QByteArray("192.0.2.1")) != lstFirst.size())
        fail("device: sender address lost", lstFirst, QStringList());
    const QByteArray baRewritten = objDevices.rewrite();
    const QStringList lstSecond = objDevices.parse(baRewritten, QHostAddress());
    if (lstSecond != lstFirst)
        fail("device: rewritten datagram reads differently", lstFirst, lstSecond);
    if (objDevices.m_lstSenders != objDevices.m_lstAddresses)
        fail("device: a sender without text is not replaced by the address", lstFirst, lstSecond);
}

void checkMainService(const QByteArray& a_baInput)
{
    CMainService objService;
    const QStringList lstFirst = objService.parse(a_baInput);
    if (lstFirst.isEmpty())
        return;
    const QByteArray baRewritten = objService.rewrite();
    const QStringList lstSecond = objService.parse(baRewritten);
    if (lstSecond != lstFirst)
        fail("main service: rewritten datagram reads differently", lstFirst, lstSecond);
    if (!objService.parse(baRewritten + ';').isEmpty())
        fail("main service: a closing \";\" is accepted", lstFirst, QStringList());
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* a_pData, size_t a_uiSize)
{
    setUp();
    const QByteArray baInput(reinterpret_cast<const char*>(a_pData), int(a_uiSize));
    checkDevices(baInput);
    checkMainService(baInput);
    return 0;
}

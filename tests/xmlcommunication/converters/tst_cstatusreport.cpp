#include "../../common/TreeTestUtils.h"

#include <OrvexXmlInterface/xmlcommon/ResultCodes.h>
#include <OrvexXmlInterface/xmlcommunication/converters/CStatusReport.h>

#include <QtTest/QtTest>

using namespace XmlCommon;
using namespace XmlCommunication;
using namespace GLOBAL_XML_TYPES;
using TestUtils::el;
using TestUtils::wire;

class TestStatusReport : public QObject
{
    Q_OBJECT

private slots:
    void goldenText()
    {
        CStatusReport objReport;
        QCOMPARE(objReport.setEvent(STATUS_REPORT_BROADCAST_REPLY), 0);
        objReport.setApplicationName(QStringLiteral("Recorder"));
        objReport.setApplicationVersion(QStringLiteral("3.0"));
        objReport.setID(QStringLiteral("7"));
        objReport.setHostname(QStringLiteral("pu-1"));
        objReport.setHostinfo(QStringLiteral("rack 2"));
        objReport.setLocalStoragePossibility(true);
        QCOMPARE(objReport.setTcpInterfaces({{QStringLiteral("10.0.0.1"), 8000}, {QStringLiteral("10.0.0.2"), 8001}}),
                 0);
        CFaultTree objFault;
        objFault.setID(0x2410003);
        objReport.setStartupFault(CFaultTree(el("Fault", {}, {}, {el("ID", {}, "0x1")})));
        QCOMPARE(objReport.setStartupFault(objFault), 0);
        QCOMPARE(wire(objReport.getTree()),
                 QByteArray("<XmlCommunicationDevice>\n<StatusReport>\n"
                            "<Event>broadcastReply</Event>\n"
                            "<ApplicationName>Recorder</ApplicationName>\n"
                            "<ApplicationVersion>3.0</ApplicationVersion>\n"
                            "<ChildID>7</ChildID>\n"
                            "<Hostname>pu-1</Hostname>\n"
                            "<Hostinfo>rack 2</Hostinfo>\n"
                            "<LocalStorage>1</LocalStorage>\n"
                            "<NetworkInterface>\n<Port>8000</Port>\n<IP>10.0.0.1</IP>\n</NetworkInterface>\n"
                            "<NetworkInterface>\n<Port>8001</Port>\n<IP>10.0.0.2</IP>\n</NetworkInterface>\n"
                            "<Fault>\n<ID>0x2410003</ID>\n</Fault>\n"
                            "</StatusReport>\n</XmlCommunicationDevice>\n"));

        QList<struTcpInterface> lstInterfaces;
        QCOMPARE(objReport.getTcpInterfaces(lstInterfaces), 0);
        QCOMPARE(lstInterfaces,
                 (QList<struTcpInterface>{{QStringLiteral("10.0.0.1"), 8000}, {QStringLiteral("10.0.0.2"), 8001}}));
        QStringList lstIps;
        QCOMPARE(objReport.getIPs(lstIps), 0);
        QCOMPARE(lstIps, (QStringList{QStringLiteral("10.0.0.1"), QStringLiteral("10.0.0.2")}));
        unsigned short usPort = 0;
        QCOMPARE(objReport.getPort(usPort), 0);
        QCOMPARE(usPort, static_cast<unsigned short>(8000));
        eSTATUS_REPORT_EVENTS eEvent = STATUS_REPORT_NONE;
        QCOMPARE(objReport.getEvent(eEvent), 0);
        QCOMPARE(eEvent, STATUS_REPORT_BROADCAST_REPLY);
        CFaultTree objRead;
        QCOMPARE(objReport.getStartupFault(objRead), 0);
        unsigned int uiId = 0;
        objRead.getID(uiId);
        QCOMPARE(uiId, 0x2410003u);

        QCOMPARE(objReport.setTcpInterfaces({}), 0);
        QCOMPARE(objReport.getTcpInterfaces(lstInterfaces), 0);
        QVERIFY(lstInterfaces.isEmpty());
        QCOMPARE(objReport.getPort(usPort), int(RESULT_MISSING));
    }

    void irregularInput()
    {
        CMsgFragment objFragment(el(
            "XmlCommunicationDevice", {}, {},
            {el("StatusReport", {}, {},
                {el("Event", {}, "Ready"), el("NetworkInterface", {}, {}, {el("Port", {}, "70000"), el("IP", {}, "a")}),
                 el("NetworkInterface", {}, {}, {el("IP", {}, "b")}),
                 el("NetworkInterface", {}, {}, {el("Port", {}, "5")}),
                 el("NetworkInterface", {}, {}, {el("Port", {}, "6"), el("IP", {}, "d")}),
                 el("LocalStorage", {}, "yes")})}));
        CStatusReport objReport(objFragment);
        QList<struTcpInterface> lstInterfaces;
        QCOMPARE(objReport.getTcpInterfaces(lstInterfaces), 0);
        QCOMPARE(lstInterfaces, (QList<struTcpInterface>{{QStringLiteral("d"), 6}}));
        QStringList lstIps;
        objReport.getIPs(lstIps);
        QCOMPARE(lstIps, (QStringList{QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("d")}));
        unsigned short usPort = 9;
        QCOMPARE(objReport.getPort(usPort), int(RESULT_MALFORMED));
        QCOMPARE(usPort, static_cast<unsigned short>(9));
        eSTATUS_REPORT_EVENTS eEvent = STATUS_REPORT_READY;
        QCOMPARE(objReport.getEvent(eEvent), int(RESULT_MALFORMED));
        bool bStorage = false;
        QCOMPARE(objReport.getLocalStoragePossibility(bStorage), int(RESULT_MALFORMED));
        CFaultTree objFault;
        QCOMPARE(objReport.getStartupFault(objFault), int(RESULT_MISSING));
        QCOMPARE(objReport.setEvent(STATUS_REPORT_UNUSED), int(RESULT_INVALID_ARG));
        QCOMPARE(objReport.setEvent(STATUS_REPORT_NONE), int(RESULT_INVALID_ARG));

        CMsgFragment objOther(el("XmlCommunicationDevice", {}, {}, {el("Description")}));
        QCOMPARE(CStatusReport(objOther).getTcpInterfaces(lstInterfaces), int(RESULT_WRONG_KIND));
        QCOMPARE(CStatusReport(objOther).getPort(usPort), int(RESULT_WRONG_KIND));
    }
};

QTEST_GUILESS_MAIN(TestStatusReport)
#include "tst_cstatusreport.moc"

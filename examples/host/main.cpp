// A host of the transport in brief: it starts, connects to its master when given one, answers
// every request it receives, and stops after a while.
//   host [MASTER_PORT] [SECONDS]
#include <OrvexXmlInterface/xmlcommunication/transport/CCommanThread.h>

#include <QtCore/QCoreApplication>
#include <QtCore/QTimer>

#include <cstdio>

using namespace XmlCommon;
using namespace XmlCommunication;

int main(int argc, char* argv[])
{
    QCoreApplication objApp(argc, argv);
    const QStringList lstArguments = objApp.arguments();
    const quint16 usMasterPort = lstArguments.value(1).toUShort();
    const int iSeconds = lstArguments.value(2, QStringLiteral("1")).toInt();

    CCommanThread objHost;
    struCOMMAN_STARTUP_CONFIG objConfig;  // port 0: any free port
    objConfig.objDescription.strAppName = QStringLiteral("ExampleHost");
    if (objHost.start(objConfig) == 0) {
        std::fprintf(stderr, "the host could not start\n");
        return 1;
    }
    std::printf("listening on port %u\n", unsigned(objConfig.usPort));
    if (usMasterPort != 0)
        objHost.connectToMaster(usMasterPort, QStringLiteral("example-host"));

    // Told which queue has grown; each request is answered by turning it into its reply.
    QObject::connect(&objHost, &CCommanThread::SignalNewJob, [&objHost](GLOBAL_XML_TYPES::eMESSAGE_TYPES) {
        while (const ptrCXmlMessage ptrRequest = objHost.getNextRequest()) {
            const quint32 u32ContinuousId = ptrRequest->getContinuousId();
            ptrRequest->changeRequestToReply(0, 0);
            objHost.postToOneClient(ptrRequest, u32ContinuousId);
        }
        while (objHost.getNextEvent()) {
        }
        while (const ptrCXmlMessage ptrReply = objHost.getNextReply())
            std::printf("reply %u\n", ptrReply->getMessageID());
    });

    QTimer::singleShot(iSeconds * 1000, &objApp, &QCoreApplication::quit);
    objApp.exec();
    objHost.stop();
    objHost.waitForFinished(10000);
    std::printf("stopped\n");
    return 0;
}

// CPU time used by an idle process that runs the trigger manager (with a request far in the
// future) and the debug center: nothing in them may busy-wait.
#include <OrvexXmlInterface/platform/Platform.h>
#include <OrvexXmlInterface/xmlcommunication/services/CDebugCenter.h>
#include <OrvexXmlInterface/xmlcommunication/services/CTriggerManager.h>

#include <QtCore/QCoreApplication>
#include <QtCore/QTimer>

#include <cstdio>
#include <ctime>

namespace
{
class CIdleReceiver : public QObject, public XmlCommunication::IfTriggerReceiver
{
public:
    void slotSetTrigger(quint64) override {}
};
}  // namespace

int main(int argc, char* argv[])
{
    QCoreApplication objApp(argc, argv);
    const int iSeconds = argc > 1 ? QByteArray(argv[1]).toInt() : 10;
    const XmlCommunication::ptrCDebugCenter ptrCenter = XmlCommunication::CDebugCenter::getInstance();
    const XmlCommunication::ptrCTriggerManager ptrTriggers = XmlCommunication::CTriggerManager::getInstance();
    CIdleReceiver objReceiver;
    ptrTriggers->addRequest(Platform::nowMonotonicUs() + 3600000000ull, &objReceiver);

    const std::clock_t iStart = std::clock();
    QTimer::singleShot(iSeconds * 1000, &objApp, &QCoreApplication::quit);
    objApp.exec();
    const double dCpuMs = double(std::clock() - iStart) * 1000.0 / CLOCKS_PER_SEC;
    std::printf("idle for %d s: %.1f ms of CPU time (%.3f %%)\n", iSeconds, dCpuMs, dCpuMs / (iSeconds * 10.0));
    return 0;
}

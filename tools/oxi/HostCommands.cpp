#include "HostCommands.h"

#include <OrvexXmlInterface/platform/Platform.h>
#include <OrvexXmlInterface/xmlcommon/CXmlStreamParser.h>
#include <OrvexXmlInterface/xmlcommunication/converters/CFilterConverter.h>
#include <OrvexXmlInterface/xmlcommunication/transport/CCommanThread.h>
#include <OrvexXmlInterface/xmlcommunication/transport/CConnectionThread.h>

#include <QtCore/QCoreApplication>
#include <QtCore/QEventLoop>
#include <QtCore/QFile>
#include <QtCore/QTimer>

using namespace XmlCommon;
using namespace XmlCommunication;

namespace OxiTool
{
namespace
{
struct struHostOptions
{
    QString strHost;
    quint16 usPort = 0;
    QString strName;
    QString strFile = QStringLiteral("-");
    QStringList lstComponents;
    double dSeconds = 0;  // 0: until interrupted
    bool bVerbose = false;
    bool bSilent = false;
};

// Options of the three commands; a_bTarget: the first argument is HOST:PORT.
bool parseOptions(const QStringList& a_lstArguments, bool a_bTarget, struHostOptions& a_objOptions)
{
    QStringList lstRest = a_lstArguments;
    if (a_bTarget) {
        if (lstRest.isEmpty())
            return false;
        const QString strTarget = lstRest.takeFirst();
        const int iColon = strTarget.lastIndexOf(QLatin1Char(':'));
        bool bOk = false;
        a_objOptions.strHost = strTarget.left(iColon);
        a_objOptions.usPort = strTarget.mid(iColon + 1).toUShort(&bOk, 10);
        if (iColon <= 0 || !bOk || a_objOptions.usPort == 0)
            return false;
    }
    for (int i = 0; i < lstRest.size(); ++i) {
        const QString& strArgument = lstRest.at(i);
        const bool bValue = i + 1 < lstRest.size();
        bool bOk = true;
        if (strArgument == QLatin1String("--port") && bValue)
            a_objOptions.usPort = lstRest.at(++i).toUShort(&bOk, 10);
        else if (strArgument == QLatin1String("--name") && bValue)
            a_objOptions.strName = lstRest.at(++i);
        else if (strArgument == QLatin1String("--component") && bValue)
            a_objOptions.lstComponents.append(lstRest.at(++i));
        else if (strArgument == QLatin1String("--seconds") && bValue)
            bOk = (a_objOptions.dSeconds = lstRest.at(++i).toDouble(&bOk)) > 0 && bOk;
        else if (strArgument == QLatin1String("--verbose"))
            a_objOptions.bVerbose = true;
        else if (strArgument == QLatin1String("--silent"))
            a_objOptions.bSilent = true;
        else if (!strArgument.startsWith(QLatin1String("--")) && a_objOptions.strFile == QLatin1String("-"))
            a_objOptions.strFile = strArgument;
        else
            bOk = false;
        if (!bOk)
            return false;
    }
    return true;
}

// The library's diagnostics go to standard error only with --verbose.
class CQuietUnlessVerbose
{
public:
    explicit CQuietUnlessVerbose(bool a_bVerbose)
    {
        if (!a_bVerbose)
            m_fnPrevious = Platform::setDebugOutputHook([](const QString&) {});
        m_bActive = !a_bVerbose;
    }
    ~CQuietUnlessVerbose()
    {
        if (m_bActive)
            Platform::setDebugOutputHook(m_fnPrevious);
    }

private:
    Platform::typDebugOutputHook m_fnPrevious;
    bool m_bActive = false;
};

void printMessage(QTextStream& a_objOut, const ptrCXmlMessage& a_ptrMsg)
{
    a_objOut << a_ptrMsg->toDbgString(CXmlMessage::DIRECTION_NEUTRAL) << '\n';
    a_objOut.flush();
}

// Runs the event loop for the given seconds, or until the loop is quit (0: no time limit).
void runLoop(QEventLoop& a_objLoop, double a_dSeconds)
{
    if (a_dSeconds > 0)
        QTimer::singleShot(int(a_dSeconds * 1000), &a_objLoop, &QEventLoop::quit);
    a_objLoop.exec();
}

// The messages of a capture file, as the peer of a connection would read them.
class CCaptureReader : public IXmlListener
{
public:
    QList<ptrCXmlMessage> read(const QByteArray& a_baText, QString& a_strError)
    {
        CXmlStreamParser objParser(*this, 0);
        if (!a_baText.trimmed().startsWith("<RootDummy"))
            objParser.parse(QByteArrayLiteral("<RootDummy>\n"));
        if (!objParser.parse(a_baText))
            a_strError = m_strError;
        return m_lstMessages;
    }
    void handleFinishedXmlDoc(ptrCXmlElement) override {}
    void handleFinishedXmlMsg(ptrCXmlMessage a_ptrMsg) override { m_lstMessages.append(a_ptrMsg); }
    void handleMsgHeader(ptrCXmlMessage) override {}
    void handleParserError(const QString& a_strText) override { m_strError = a_strText; }

private:
    QList<ptrCXmlMessage> m_lstMessages;
    QString m_strError;
};

bool readFile(const QString& a_strPath, QByteArray& a_baText, QTextStream& a_objErr)
{
    QFile objFile;
    const bool bStdin = a_strPath == QLatin1String("-");
    if (bStdin)
        objFile.open(stdin, QIODevice::ReadOnly);
    else
        objFile.setFileName(a_strPath);
    if (!bStdin && !objFile.open(QIODevice::ReadOnly)) {
        a_objErr << "oxi: cannot read " << a_strPath << ": " << objFile.errorString() << '\n';
        return false;
    }
    a_baText = objFile.readAll();
    return true;
}

// Starts a host without a listening port and connects it to the peer; 0 when no connection
// came up within a_iMs.
quint32 connectHost(CCommanThread& a_objHost, const struHostOptions& a_objOptions, const QString& a_strName, int a_iMs)
{
    struCOMMAN_STARTUP_CONFIG objConfig;
    objConfig.strIpAddress = QStringLiteral("none");  // no address: this host does not listen
    objConfig.objDescription.strAppName = a_objOptions.strName.isEmpty() ? a_strName : a_objOptions.strName;
    a_objHost.start(objConfig);
    if (!a_objHost.isThreadCompletelyStarted())
        return 0;
    auto* pThread = new CConnectionThread(a_objOptions.strHost, a_objOptions.usPort,
                                          objConfig.objDescription.strAppName, false, nullptr);
    const quint32 u32Id = pThread->getID();
    if (!a_objHost.addConnection(pThread))
        return 0;
    pThread->start();
    QEventLoop objLoop;
    QTimer objPoll;
    QObject::connect(&objPoll, &QTimer::timeout, [&] {
        const QList<struClientData> lstInfo = a_objHost.getConnectionInfo(u32Id);
        if (!lstInfo.isEmpty() && !lstInfo.first().strPeerAddress.isEmpty())
            objLoop.quit();
    });
    objPoll.start(10);
    QTimer::singleShot(a_iMs, &objLoop, &QEventLoop::quit);
    objLoop.exec();
    return a_objHost.getConnectionInfo(u32Id).isEmpty() ? 0 : u32Id;
}

bool hasFault(const ptrCXmlMessage& a_ptrReply)
{
    for (int i = 0; i < a_ptrReply->getNumberOfFragments(); ++i) {
        if (a_ptrReply->getFragment(unsigned(i)).hasFaultTree())
            return true;
    }
    return false;
}
}  // namespace

QString serveUsage()
{
    return QStringLiteral("Usage: oxi serve [--port N] [--name APP] [--seconds S] [--silent] [--verbose]\n"
                          "\n"
                          "Runs a host that accepts peers on port N (any free port when 0 or missing; the port is\n"
                          "printed first), prints every message it receives with its log header line and readable\n"
                          "form, and answers every request with its reply (the request turned into a reply);\n"
                          "with --silent it answers nothing, so that the senders see their time-outs.\n"
                          "Runs until interrupted, or for S seconds. --verbose shows the library's diagnostics.\n");
}

int runServe(const QStringList& a_lstArguments, QTextStream& a_objOut, QTextStream& a_objErr)
{
    struHostOptions objOptions;
    if (!parseOptions(a_lstArguments, false, objOptions)) {
        a_objErr << serveUsage();
        return 2;
    }
    CQuietUnlessVerbose objQuiet(objOptions.bVerbose);
    CCommanThread objHost;
    struCOMMAN_STARTUP_CONFIG objConfig;
    objConfig.usPort = objOptions.usPort;
    objConfig.strIpAddress = QStringLiteral("127.0.0.1");
    objConfig.objDescription.strAppName =
        objOptions.strName.isEmpty() ? QStringLiteral("OxiServe") : objOptions.strName;
    if (objHost.start(objConfig) == 0) {
        a_objErr << "oxi serve: cannot listen on port " << objOptions.usPort << '\n';
        return 1;
    }
    a_objOut << "oxi serve: listening on port " << objConfig.usPort << '\n';
    a_objOut.flush();
    QObject::connect(&objHost, &CCommanThread::SignalNewJob, [&](GLOBAL_XML_TYPES::eMESSAGE_TYPES) {
        while (const ptrCXmlMessage ptrRequest = objHost.getNextRequest()) {
            printMessage(a_objOut, ptrRequest);
            if (objOptions.bSilent)
                continue;
            const quint32 u32Continuous = ptrRequest->getContinuousId();
            ptrRequest->changeRequestToReply(0, 0);
            objHost.postToOneClient(ptrRequest, u32Continuous);
        }
        for (ptrCXmlMessage ptrMsg = objHost.getNextEvent(); ptrMsg; ptrMsg = objHost.getNextEvent())
            printMessage(a_objOut, ptrMsg);
        for (ptrCXmlMessage ptrMsg = objHost.getNextReply(); ptrMsg; ptrMsg = objHost.getNextReply())
            printMessage(a_objOut, ptrMsg);
    });
    QEventLoop objLoop;
    runLoop(objLoop, objOptions.dSeconds);
    objHost.stop();
    objHost.waitForFinished(10000);
    return 0;
}

QString sendUsage()
{
    return QStringLiteral("Usage: oxi send HOST:PORT [FILE|-] [--name APP] [--verbose]\n"
                          "\n"
                          "Connects to the peer, sends the requests of a capture (messages back to back as\n"
                          "'oxi cat' reads them; other messages are skipped) one after the other, waits for each\n"
                          "reply or its time-out fault, and prints the exchange.\n"
                          "\n"
                          "Exit status: 0 every reply came without fault, 1 otherwise, 2 bad usage or input.\n");
}

int runSend(const QStringList& a_lstArguments, QTextStream& a_objOut, QTextStream& a_objErr)
{
    struHostOptions objOptions;
    QByteArray baText;
    if (!parseOptions(a_lstArguments, true, objOptions)) {
        a_objErr << sendUsage();
        return 2;
    }
    if (!readFile(objOptions.strFile, baText, a_objErr))
        return 2;
    QString strError;
    const QList<ptrCXmlMessage> lstMessages = CCaptureReader().read(baText, strError);
    if (!strError.isEmpty()) {
        a_objErr << "oxi send: the capture is broken:\n" << strError;
        return 2;
    }
    CQuietUnlessVerbose objQuiet(objOptions.bVerbose);
    CCommanThread objHost;
    const quint32 u32Connection = connectHost(objHost, objOptions, QStringLiteral("OxiSend"), 5000);
    if (u32Connection == 0) {
        a_objErr << "oxi send: cannot connect to " << objOptions.strHost << ':' << objOptions.usPort << '\n';
        return 1;
    }
    bool bAllGood = true;
    int iSent = 0;
    for (const ptrCXmlMessage& ptrRequest : lstMessages) {
        if (!ptrRequest->isRequest())
            continue;
        ptrRequest->setConnectionId(u32Connection);
        a_objOut << "\n>>> sent";
        printMessage(a_objOut, ptrRequest);
        const unsigned int uiId = ptrRequest->getMessageID();
        objHost.sendToOneClient(ptrRequest, ptrRequest->getContinuousId());
        ++iSent;
        // Every request is answered: by the peer, or by its time-out fault at its deadline.
        ptrCXmlMessage ptrReply;
        QEventLoop objLoop;
        QTimer objPoll;
        QObject::connect(&objPoll, &QTimer::timeout, [&] {
            for (ptrCXmlMessage ptrMsg = objHost.getNextReply(); ptrMsg && !ptrReply; ptrMsg = objHost.getNextReply()) {
                if (ptrMsg->getMessageID() == uiId)
                    ptrReply = ptrMsg;
            }
            if (ptrReply)
                objLoop.quit();
        });
        objPoll.start(2);
        objLoop.exec();
        a_objOut << "\n<<< received";
        printMessage(a_objOut, ptrReply);
        bAllGood = bAllGood && !hasFault(ptrReply);
    }
    objHost.stop();
    objHost.waitForFinished(10000);
    a_objErr << "oxi send: " << iSent << " request(s), " << (bAllGood ? "every reply without fault" : "fault(s)")
             << '\n';
    return bAllGood ? 0 : 1;
}

QString listenUsage()
{
    return QStringLiteral("Usage: oxi listen HOST:PORT [--component NAME ...] [--seconds S] [--verbose]\n"
                          "\n"
                          "Connects to the peer, installs a filter for the named components (every event when none\n"
                          "is named) and prints the events that arrive, until interrupted or for S seconds.\n");
}

int runListen(const QStringList& a_lstArguments, QTextStream& a_objOut, QTextStream& a_objErr)
{
    struHostOptions objOptions;
    if (!parseOptions(a_lstArguments, true, objOptions)) {
        a_objErr << listenUsage();
        return 2;
    }
    CQuietUnlessVerbose objQuiet(objOptions.bVerbose);
    CCommanThread objHost;
    const quint32 u32Connection = connectHost(objHost, objOptions, QStringLiteral("OxiListen"), 5000);
    if (u32Connection == 0) {
        a_objErr << "oxi listen: cannot connect to " << objOptions.strHost << ':' << objOptions.usPort << '\n';
        return 1;
    }
    CFilterConverter objFilter;
    objFilter.setFilterType(CFilterConverter::FILTER_ACCEPT);
    for (const QString& strComponent :
         objOptions.lstComponents.isEmpty() ? QStringList{QStringLiteral("All")} : objOptions.lstComponents)
        objFilter.subscribeToComponent(strComponent);
    ptrCXmlMessage ptrSet(new CXmlMessage(u32Connection));
    ptrSet->setServiceType(CXmlMessage::REQUEST_SET);
    ptrSet->setMessageID_byGenerator();
    ptrSet->setAvailableTime(5000000);
    ptrSet->addFragment(objFilter.getFragment());
    objHost.postToOneClient(ptrSet, ptrSet->getContinuousId());
    QObject::connect(&objHost, &CCommanThread::SignalNewJob, [&](GLOBAL_XML_TYPES::eMESSAGE_TYPES) {
        for (ptrCXmlMessage ptrMsg = objHost.getNextEvent(); ptrMsg; ptrMsg = objHost.getNextEvent())
            printMessage(a_objOut, ptrMsg);
        while (objHost.getNextReply()) {
            // the answer to the filter
        }
    });
    QEventLoop objLoop;
    QObject::connect(&objHost, &CCommanThread::SignalClientConnectionClosed, [&](quint32) {
        a_objErr << "oxi listen: the peer has closed the connection\n";
        objLoop.quit();
    });
    runLoop(objLoop, objOptions.dSeconds);
    objHost.stop();
    objHost.waitForFinished(10000);
    return 0;
}
}  // namespace OxiTool

#include "CatCommand.h"

#include <OrvexXmlInterface/platform/Platform.h>
#include <OrvexXmlInterface/xmlcommon/CXmlStreamParser.h>

#include <QtCore/QFile>

#include <memory>

using namespace XmlCommon;

namespace OxiTool
{
namespace
{
const QByteArray s_baWrapper("<RootDummy>\n");

// Prints messages as they complete and remembers whether the current parser broke.
class CStreamPrinter : public IXmlListener
{
public:
    explicit CStreamPrinter(QTextStream& a_objOut) : m_objOut(a_objOut) {}

    void handleFinishedXmlDoc(ptrCXmlElement) override {}
    void handleMsgHeader(ptrCXmlMessage) override {}
    void handleFinishedXmlMsg(ptrCXmlMessage a_ptrMsg) override
    {
        m_bPendingText = false;
        m_objOut << a_ptrMsg->toDbgString(CXmlMessage::DIRECTION_NEUTRAL) << '\n';
        ++m_iMessages;
    }
    void handleParserError(const QString& a_strText) override { m_strError = a_strText; }

    QTextStream& m_objOut;
    QString m_strError;
    // Text has been fed since the last complete message.
    bool m_bPendingText = false;
    int m_iMessages = 0;
};

bool startsMessage(const QByteArray& a_baLine)
{
    for (const char* psz : {"<Request", "<Reply", "<Event"}) {
        if (a_baLine.startsWith(psz)) {
            const char c = a_baLine.size() > int(qstrlen(psz)) ? a_baLine.at(int(qstrlen(psz))) : '\0';
            if (c == '>' || c == ' ' || c == '/' || c == '\n' || c == '\r')
                return true;
        }
    }
    return false;
}

bool readInput(const QString& a_strPath, QByteArray& a_baData, QTextStream& a_objErr)
{
    QFile objFile;
    const bool bStdin = a_strPath == QLatin1String("-");
    if (bStdin)
        objFile.open(stdin, QIODevice::ReadOnly);
    else
        objFile.setFileName(a_strPath);
    if (!bStdin && !objFile.open(QIODevice::ReadOnly)) {
        a_objErr << "oxi cat: cannot read " << a_strPath << ": " << objFile.errorString() << '\n';
        return false;
    }
    a_baData = objFile.readAll();
    return true;
}
}  // namespace

QString catUsage()
{
    return QStringLiteral("Usage: oxi cat [FILE|-]\n"
                          "\n"
                          "Prints every message of a captured connection stream (messages back to back as on the\n"
                          "wire, with or without the opening <RootDummy> wrapper) with its log header line and its\n"
                          "indented readable form, in the order of the stream. Reads standard input when FILE is\n"
                          "'-' or missing.\n"
                          "\n"
                          "A broken message is reported with the parser's error text; reading goes on with the next\n"
                          "line that starts a message, as a connection goes on with a new parser.\n"
                          "\n"
                          "Exit status: 0 the stream was clean, 1 it was broken somewhere (or ended inside a\n"
                          "message), 2 bad usage or unreadable input.\n");
}

int runCat(const QStringList& a_lstArguments, QTextStream& a_objOut, QTextStream& a_objErr)
{
    if (a_lstArguments.size() > 1) {
        a_objErr << catUsage();
        return 2;
    }
    QByteArray baInput;
    if (!readInput(a_lstArguments.value(0, QStringLiteral("-")), baInput, a_objErr))
        return 2;

    // The tool reports errors itself; the library's own diagnostics would only repeat them.
    const Platform::typDebugOutputHook fnPrevious = Platform::setDebugOutputHook([](const QString&) {});
    const QtMessageHandler pPreviousHandler =
        qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});

    CStreamPrinter objPrinter(a_objOut);
    std::unique_ptr<CXmlStreamParser> pParser;
    auto restart = [&] {
        pParser.reset(new CXmlStreamParser(objPrinter, 0));
        objPrinter.m_bPendingText = false;
    };
    restart();
    if (!baInput.trimmed().startsWith("<RootDummy"))
        pParser->parse(s_baWrapper);

    bool bBroken = false;
    bool bSkipping = false;
    const QList<QByteArray> lstLines = baInput.split('\n');
    for (int i = 0; i < lstLines.size(); ++i) {
        const QByteArray baLine = i + 1 < lstLines.size() ? lstLines.at(i) + '\n' : lstLines.at(i);
        if (bSkipping) {
            if (!startsMessage(baLine))
                continue;
            bSkipping = false;
            restart();
            pParser->parse(s_baWrapper);
        }
        if (!baLine.trimmed().isEmpty() && !baLine.startsWith("<RootDummy"))
            objPrinter.m_bPendingText = true;
        if (!pParser->parse(baLine)) {
            a_objOut << "\noxi: stream broken at input line " << (i + 1) << ":\n" << objPrinter.m_strError;
            bBroken = bSkipping = true;
        }
    }
    if (!bSkipping && objPrinter.m_bPendingText) {
        a_objOut << "\noxi: the stream ends inside a message\n";
        bBroken = true;
    }
    a_objOut.flush();
    a_objErr << "oxi cat: " << objPrinter.m_iMessages << " message(s)" << (bBroken ? ", stream broken" : "") << '\n';

    qInstallMessageHandler(pPreviousHandler);
    Platform::setDebugOutputHook(fnPrevious);
    return bBroken ? 1 : 0;
}
}  // namespace OxiTool

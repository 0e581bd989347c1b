#include "CatCommand.h"

#include <OrvexXmlInterface/platform/Platform.h>
#include <OrvexXmlInterface/xmlcommon/CXmlStreamParser.h>

#include <QtCore/QFile>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>

using namespace XmlCommon;

namespace OxiTool
{
namespace
{
const QByteArray s_baWrapper("<RootDummy>\n");
const QByteArray s_baWrapperName("<RootDummy");
// What is read at once; a longer line arrives in several pieces.
const int s_iBlock = 64 * 1024;
// Enough of a line to tell whether it opens a message or the wrapper.
const int s_iHead = 16;

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
        // Whoever reads the output sees each message as soon as it is complete.
        m_objOut.flush();
        ++m_iMessages;
    }
    void handleParserError(const QString& a_strText) override { m_strError = a_strText; }

    QTextStream& m_objOut;
    QString m_strError;
    // Text has been fed since the last complete message.
    bool m_bPendingText = false;
    int m_iMessages = 0;
};

inline bool isBlank(char a_c)
{
    return a_c == ' ' || a_c == '\t' || a_c == '\r' || a_c == '\n';
}

bool startsMessage(const QByteArray& a_baHead)
{
    for (const char* psz : {"<Request", "<Reply", "<Event"}) {
        const int iLength = int(qstrlen(psz));
        if (a_baHead.startsWith(psz)) {
            const char c = a_baHead.size() > iLength ? a_baHead.at(iLength) : '\0';
            if (c == '>' || c == '/' || isBlank(c))
                return true;
        }
    }
    return false;
}

// Reads a captured stream piece by piece, as a connection does, and feeds it to a parser line
// by line: a line that breaks the stream is reported with its number, and reading goes on at the
// next line that opens a message, with a new parser. Only the start of a line is kept; the
// rest goes to the parser as it comes, so memory does not grow with the input.
class CCatStream
{
public:
    explicit CCatStream(QTextStream& a_objOut) : m_objOut(a_objOut), m_objPrinter(a_objOut) { restart(); }

    void consume(const char* a_pData, int a_iLength)
    {
        const char* const pEnd = a_pData + a_iLength;
        while (a_pData < pEnd) {
            const void* pNewLine = std::memchr(a_pData, '\n', size_t(pEnd - a_pData));
            const char* pStop = pNewLine ? static_cast<const char*>(pNewLine) + 1 : pEnd;
            consumeLinePart(a_pData, int(pStop - a_pData), pNewLine != nullptr);
            a_pData = pStop;
        }
    }

    // The input has ended; true when the stream was clean.
    bool finish()
    {
        if (m_eLine == LINE_HEAD)
            decide();
        if (!m_bSkipping && m_objPrinter.m_bPendingText) {
            m_objOut << "\noxi: the stream ends inside a message\n";
            m_bBroken = true;
        }
        m_objOut.flush();
        return !m_bBroken;
    }

    int messages() const { return m_objPrinter.m_iMessages; }

private:
    enum eLINE
    {
        LINE_LEADING,  // white space at its start
        LINE_HEAD,     // its first bytes, kept until they tell what the line is
        LINE_FEED,
        LINE_SKIP,
    };

    void restart()
    {
        m_pParser.reset(new CXmlStreamParser(m_objPrinter, 0));
        m_objPrinter.m_bPendingText = false;
    }

    void consumeLinePart(const char* a_pData, int a_iLength, bool a_bEndsLine)
    {
        int i = 0;
        if (m_eLine == LINE_LEADING) {
            while (i < a_iLength && isBlank(a_pData[i]))
                ++i;
            if (!m_bSkipping)
                feed(a_pData, i, false);
            if (i < a_iLength)
                m_eLine = LINE_HEAD;
        }
        if (m_eLine == LINE_HEAD) {
            const int iTake = qMin(a_iLength - i, s_iHead - m_baHead.size());
            m_baHead.append(a_pData + i, iTake);
            i += iTake;
            if (m_baHead.size() == s_iHead || a_bEndsLine)
                decide();
        }
        if (m_eLine == LINE_FEED)
            feed(a_pData + i, a_iLength - i, !m_bWrapperLine);
        if (a_bEndsLine) {
            ++m_llLine;
            m_eLine = LINE_LEADING;
            m_baHead.clear();
        }
    }

    // The line's head is known: the line is read, or skipped while the stream is broken.
    void decide()
    {
        m_bWrapperLine = m_baHead.startsWith(s_baWrapperName);
        if (!m_bWrapperDecided) {
            m_bWrapperDecided = true;
            if (!m_bWrapperLine)
                feed(s_baWrapper.constData(), s_baWrapper.size(), false);
        }
        if (m_bSkipping) {
            if (!startsMessage(m_baHead)) {
                m_eLine = LINE_SKIP;
                return;
            }
            m_bSkipping = false;
            restart();
            feed(s_baWrapper.constData(), s_baWrapper.size(), false);
        }
        m_eLine = LINE_FEED;
        feed(m_baHead.constData(), m_baHead.size(), !m_bWrapperLine);
    }

    void feed(const char* a_pData, int a_iLength, bool a_bMessageText)
    {
        if (a_iLength == 0 || m_bSkipping)
            return;
        if (a_bMessageText && std::any_of(a_pData, a_pData + a_iLength, [](char c) { return !isBlank(c); }))
            m_objPrinter.m_bPendingText = true;
        if (m_pParser->parse(QByteArray(a_pData, a_iLength)))
            return;
        m_objOut << "\noxi: stream broken at input line " << m_llLine << ":\n" << m_objPrinter.m_strError;
        m_bBroken = m_bSkipping = true;
        m_eLine = LINE_SKIP;
    }

    QTextStream& m_objOut;
    CStreamPrinter m_objPrinter;
    std::unique_ptr<CXmlStreamParser> m_pParser;
    QByteArray m_baHead;
    eLINE m_eLine = LINE_LEADING;
    qint64 m_llLine = 1;
    bool m_bWrapperDecided = false;
    bool m_bWrapperLine = false;
    bool m_bBroken = false;
    bool m_bSkipping = false;
};

// Standard input is read a line at a time, as it comes, so that a live capture is printed
// message by message; a file in large blocks.
bool readInput(const QString& a_strPath, CCatStream& a_objStream, QTextStream& a_objErr)
{
    QFile objFile;
    const bool bStdin = a_strPath == QLatin1String("-");
    const bool bOpen = bStdin ? objFile.open(stdin, QIODevice::ReadOnly | QIODevice::Unbuffered)
                              : (objFile.setFileName(a_strPath), objFile.open(QIODevice::ReadOnly));
    if (!bOpen) {
        a_objErr << "oxi cat: cannot read " << a_strPath << ": " << objFile.errorString() << '\n';
        return false;
    }
    QByteArray baBlock(s_iBlock, Qt::Uninitialized);
    for (;;) {
        const qint64 llRead =
            bStdin ? objFile.readLine(baBlock.data(), s_iBlock) : objFile.read(baBlock.data(), s_iBlock);
        if (llRead <= 0)
            break;
        a_objStream.consume(baBlock.constData(), int(llRead));
    }
    return true;
}
}  // namespace

QString catUsage()
{
    return QStringLiteral("Usage: oxi cat [FILE|-]\n"
                          "\n"
                          "Prints every message of a captured connection stream (messages back to back as on the\n"
                          "wire, with or without the opening <RootDummy> wrapper) with its log header line and its\n"
                          "indented readable form, in the order of the stream, each as soon as it is complete.\n"
                          "Reads standard input when FILE is '-' or missing.\n"
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
    // The tool reports errors itself; the library's diagnostic text would only repeat them.
    const Platform::typDebugOutputHook fnPrevious = Platform::setDebugOutputHook([](const QString&) {});
    CCatStream objStream(a_objOut);
    const bool bRead = readInput(a_lstArguments.value(0, QStringLiteral("-")), objStream, a_objErr);
    const bool bClean = objStream.finish();
    Platform::setDebugOutputHook(fnPrevious);
    if (!bRead)
        return 2;
    a_objErr << "oxi cat: " << objStream.messages() << " message(s)" << (bClean ? "" : ", stream broken") << '\n';
    return bClean ? 0 : 1;
}
}  // namespace OxiTool

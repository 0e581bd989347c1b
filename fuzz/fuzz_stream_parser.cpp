// Feeds the input to the stream parser whole and in small pieces; both must give the same
// callbacks, and neither may crash, whatever the input. Only the wording of an error may
// differ: Qt's reader words the same fault differently when the text was cut inside it. Both
// runs end with a "<", which completes any text still pending, since Qt's reader finds a fault
// in unfinished text when it has all of it at once but waits for the rest when it came in pieces.
#include <OrvexXmlInterface/platform/Platform.h>
#include <OrvexXmlInterface/xmlcommon/CXmlStreamParser.h>

#include <QtCore/QByteArray>
#include <QtCore/QStringList>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

using namespace XmlCommon;

namespace
{
class CRecorder : public IXmlListener
{
public:
    QStringList m_lstEvents;

    void handleFinishedXmlDoc(ptrCXmlElement a_ptrRoot) override
    {
        m_lstEvents.append(QStringLiteral("doc") + wire(a_ptrRoot));
    }
    void handleFinishedXmlMsg(ptrCXmlMessage a_ptrMsg) override
    {
        m_lstEvents.append(QStringLiteral("msg %1").arg(a_ptrMsg->getServiceType()));
    }
    void handleMsgHeader(ptrCXmlMessage a_ptrMsg) override
    {
        m_lstEvents.append(QStringLiteral("header") + wire(a_ptrMsg->getElementTree()));
    }
    void handleParserError(const QString& a_strText) override
    {
        m_lstEvents.append(QStringLiteral("error"));
        m_strError = a_strText;
    }

    QString m_strError;

private:
    static QString wire(const ptrCXmlElement& a_ptr)
    {
        QByteArray ba;
        unsigned int uiCount = 0;
        a_ptr->toByteArray(ba, uiCount);
        // The readable form walks the tree recursively: the depth limit must keep it safe.
        return QString::fromUtf8(ba) + a_ptr->toDbgString();
    }
};

void silenceDiagnostics()
{
    static bool s_bDone = false;
    if (s_bDone)
        return;
    s_bDone = true;
    Platform::setDebugOutputHook([](const QString&) {});
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* a_pData, size_t a_uiSize)
{
    silenceDiagnostics();
    const QByteArray baInput(reinterpret_cast<const char*>(a_pData), int(a_uiSize));
    const QByteArray baEnd("<");

    CRecorder objWhole;
    {
        CXmlStreamParser objParser(objWhole, 1);
        objParser.parse(baInput);
        objParser.parse(baEnd);
    }
    CRecorder objPieces;
    {
        CXmlStreamParser objParser(objPieces, 1);
        for (int iPos = 0, i = 0; iPos < baInput.size(); ++i) {
            const int iLength = 1 + (quint8(baInput.at(i % baInput.size())) % 7);
            objParser.parse(baInput.mid(iPos, iLength));
            iPos += iLength;
        }
        objParser.parse(baEnd);
    }
    // Qt's reader rejects a literal "]]>" in text only when it sees the three characters in one
    // piece; the library leaves that to Qt rather than guess at raw text it cannot see.
    const bool bQtCDataEndQuirk =
        objWhole.m_strError.contains(QLatin1String("']]>'")) || objPieces.m_strError.contains(QLatin1String("']]>'"));
    if (objWhole.m_lstEvents != objPieces.m_lstEvents && !bQtCDataEndQuirk) {
        std::fprintf(stderr, "whole:\n%s\n%s\npieces:\n%s\n%s\n",
                     qPrintable(objWhole.m_lstEvents.join(QLatin1Char('\n'))), qPrintable(objWhole.m_strError),
                     qPrintable(objPieces.m_lstEvents.join(QLatin1Char('\n'))), qPrintable(objPieces.m_strError));
        std::abort();
    }
    return 0;
}

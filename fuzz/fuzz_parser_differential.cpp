// Feeds the same input to the stream parser with its own scanner and to the parser that reads
// everything with Qt's reader, once whole and once in pieces (the same pieces for both): the
// callbacks, the trees, the error texts with line and column, the results of every parse() and
// the failure kinds must be the same. Half of the inputs get the wrapper of a connection
// stream in front, which the own scanner needs before it reads anything itself. The limits are
// lowered, so that inputs of some kilobytes reach them.
#include "FuzzLimits.h"

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
QString wire(const ptrCXmlElement& a_ptr)
{
    QByteArray ba;
    unsigned int uiCount = 0;
    a_ptr->toByteArray(ba, uiCount);
    return QString::fromUtf8(ba);
}

class CRecorder : public IXmlListener
{
public:
    QStringList m_lstEvents;
    QList<ptrCXmlMessage> m_lstHeaders;

    void handleFinishedXmlDoc(ptrCXmlElement a_ptrRoot) override
    {
        m_lstEvents.append(QStringLiteral("doc ") + wire(a_ptrRoot) +
                           a_ptrRoot->toDbgString(QString(), true, false, false, true));
    }
    void handleFinishedXmlMsg(ptrCXmlMessage a_ptrMsg) override
    {
        // The message completed must be the one whose header was reported.
        m_lstEvents.append(
            QStringLiteral("msg %1 of header %2").arg(a_ptrMsg->getServiceType()).arg(m_lstHeaders.indexOf(a_ptrMsg)));
    }
    void handleMsgHeader(ptrCXmlMessage a_ptrMsg) override
    {
        m_lstHeaders.append(a_ptrMsg);
        m_lstEvents.append(QStringLiteral("header ") + wire(a_ptrMsg->getElementTree()));
    }
    void handleParserError(const QString& a_strText) override
    {
        m_lstEvents.append(QStringLiteral("error ") + a_strText);
    }
};

// The pieces, chosen by the input's own bytes: mostly small, now and then a large one.
QList<QByteArray> cut(const QByteArray& a_baInput)
{
    QList<QByteArray> lstPieces;
    for (int iPos = 0, i = 0; iPos < a_baInput.size(); ++i) {
        const quint8 ucChoice = quint8(a_baInput.at((i * 7) % a_baInput.size()));
        const int iLength = ucChoice >= 0xf0 ? 500 + ucChoice : 1 + (ucChoice % 13);
        lstPieces.append(a_baInput.mid(iPos, iLength));
        iPos += iLength;
    }
    return lstPieces;
}

QStringList run(const QList<QByteArray>& a_lstPieces, bool a_bOwnScanner)
{
    CRecorder objRecorder;
    CXmlStreamParser objParser(objRecorder, 1);
    applyFuzzLimits(objParser);
    objParser.setOwnScanner(a_bOwnScanner);
    for (const QByteArray& baPiece : a_lstPieces)
        objRecorder.m_lstEvents.append(QStringLiteral("parse %1").arg(objParser.parse(baPiece)));
    objRecorder.m_lstEvents.append(QStringLiteral("failure %1").arg(int(objParser.failureKind())));
    return objRecorder.m_lstEvents;
}

void compare(const QList<QByteArray>& a_lstPieces, const char* a_pszHow)
{
    const QStringList lstOwn = run(a_lstPieces, true);
    const QStringList lstQt = run(a_lstPieces, false);
    if (lstOwn == lstQt)
        return;
    std::fprintf(stderr, "%s, own scanner:\n%s\nQt's reader:\n%s\n", a_pszHow,
                 qPrintable(lstOwn.join(QLatin1Char('\n'))), qPrintable(lstQt.join(QLatin1Char('\n'))));
    std::abort();
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* a_pData, size_t a_uiSize)
{
    static const Platform::typDebugOutputHook s_fnQuiet = Platform::setDebugOutputHook([](const QString&) {});
    if (a_uiSize == 0)
        return 0;
    QByteArray baInput(reinterpret_cast<const char*>(a_pData) + 1, int(a_uiSize) - 1);
    if ((a_pData[0] & 1) == 0)
        baInput.prepend("<RootDummy>\n");
    compare({baInput}, "whole");
    compare(cut(baInput), "in pieces");
    return 0;
}

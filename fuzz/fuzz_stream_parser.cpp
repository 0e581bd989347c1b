// Feeds the input to the stream parser whole and in small pieces; both must give the same
// callbacks, and neither may crash, whatever the input. Only the wording of an error may
// differ: Qt's reader words the same fault differently when the text was cut inside it. Both
// runs end with a "<", which completes any text still pending, since Qt's reader finds a fault
// in unfinished text when it has all of it at once but waits for the rest when it came in pieces.
//
// Every message the parser accepts must come back as the same tree when it is written in the
// wire form and parsed again. The parser's limits are lowered, so that inputs of some kilobytes
// reach them.
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
QByteArray wire(const ptrCXmlElement& a_ptr)
{
    QByteArray ba;
    unsigned int uiCount = 0;
    if (a_ptr->toByteArray(ba, uiCount) != 0) {
        std::fprintf(stderr, "the wire writer refused a parsed tree\n");
        std::abort();
    }
    return ba;
}

// Names, attributes in order, values, compression flags and children.
bool sameTree(const CXmlElement& a_objA, const CXmlElement& a_objB)
{
    if (a_objA.tagname() != a_objB.tagname() || a_objA.getValue() != a_objB.getValue() ||
        a_objA.isCompressionDisabled() != a_objB.isCompressionDisabled() ||
        a_objA.getNumberOfAttributes() != a_objB.getNumberOfAttributes() ||
        a_objA.getNumberOfChildren() != a_objB.getNumberOfChildren())
        return false;
    for (int i = 0; i < a_objA.getNumberOfAttributes(); ++i) {
        const struATTRIBUTE& objA = *a_objA.attributes().at(i);
        const struATTRIBUTE& objB = *a_objB.attributes().at(i);
        if (objA.baName != objB.baName || objA.strValue != objB.strValue)
            return false;
    }
    for (int i = 0; i < a_objA.getNumberOfChildren(); ++i) {
        if (!sameTree(*a_objA.children().at(i), *a_objB.children().at(i)))
            return false;
    }
    return true;
}

class CRecorder : public IXmlListener
{
public:
    QStringList m_lstEvents;
    QList<ptrCXmlElement> m_lstDocs;
    QString m_strError;

    void handleFinishedXmlDoc(ptrCXmlElement a_ptrRoot) override
    {
        m_lstEvents.append(QStringLiteral("doc") + QString::fromUtf8(wire(a_ptrRoot)) + a_ptrRoot->toDbgString());
        m_lstDocs.append(a_ptrRoot);
    }
    void handleFinishedXmlMsg(ptrCXmlMessage a_ptrMsg) override
    {
        m_lstEvents.append(QStringLiteral("msg %1").arg(a_ptrMsg->getServiceType()));
    }
    void handleMsgHeader(ptrCXmlMessage a_ptrMsg) override
    {
        m_lstEvents.append(QStringLiteral("header") + QString::fromUtf8(wire(a_ptrMsg->getElementTree())));
    }
    void handleParserError(const QString& a_strText) override
    {
        m_lstEvents.append(QStringLiteral("error"));
        m_strError = a_strText;
    }
};

void checkRoundTrip(const ptrCXmlElement& a_ptrRoot)
{
    CRecorder objAgain;
    CXmlStreamParser objParser(objAgain, 2);
    const QByteArray baText = "<RootDummy>\n" + wire(a_ptrRoot);
    if (objParser.parse(baText) && objAgain.m_lstDocs.size() == 1 && sameTree(*a_ptrRoot, *objAgain.m_lstDocs.at(0)))
        return;
    std::fprintf(stderr, "written:\n%s\nread back:\n%s\n%s\n", baText.constData(),
                 objAgain.m_lstDocs.isEmpty() ? "" : wire(objAgain.m_lstDocs.at(0)).constData(),
                 qPrintable(objAgain.m_strError));
    std::abort();
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* a_pData, size_t a_uiSize)
{
    static const Platform::typDebugOutputHook s_fnQuiet = Platform::setDebugOutputHook([](const QString&) {});
    const QByteArray baInput(reinterpret_cast<const char*>(a_pData), int(a_uiSize));
    const QByteArray baEnd("<");

    CRecorder objWhole;
    {
        CXmlStreamParser objParser(objWhole, 1);
        applyFuzzLimits(objParser);
        objParser.parse(baInput);
        objParser.parse(baEnd);
    }
    CRecorder objPieces;
    {
        CXmlStreamParser objParser(objPieces, 1);
        applyFuzzLimits(objParser);
        for (int iPos = 0, i = 0; iPos < baInput.size(); ++i) {
            const int iLength = 1 + (quint8(baInput.at(i % baInput.size())) % 7);
            objParser.parse(baInput.mid(iPos, iLength));
            iPos += iLength;
        }
        objParser.parse(baEnd);
    }
    if (objWhole.m_lstEvents != objPieces.m_lstEvents) {
        std::fprintf(stderr, "whole:\n%s\n%s\npieces:\n%s\n%s\n",
                     qPrintable(objWhole.m_lstEvents.join(QLatin1Char('\n'))), qPrintable(objWhole.m_strError),
                     qPrintable(objPieces.m_lstEvents.join(QLatin1Char('\n'))), qPrintable(objPieces.m_strError));
        std::abort();
    }
    for (const ptrCXmlElement& ptrRoot : qAsConst(objWhole.m_lstDocs))
        checkRoundTrip(ptrRoot);
    return 0;
}

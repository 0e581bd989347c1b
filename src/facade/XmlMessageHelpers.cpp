#include "XmlMessageHelpers.h"

#include "kv_XML.h"

#include <OrvexXmlInterface/xmlcommon/CXmlReader.h>

#include <QtCore/QBuffer>
#include <QtCore/QStringList>

using namespace XmlCommon;

namespace kv_XML
{
XmlMessageHelpers::XmlMessageHelpers() = default;

ptrCXmlElement XmlMessageHelpers::byteArrayToXmlElement(const QByteArray& a_baText, bool& a_bOk)
{
    QByteArray baText = a_baText;
    QBuffer objBuffer(&baText);
    CXmlReader objReader;
    QString strError;
    const ptrCXmlElement ptrRoot = objReader.readBuffer(objBuffer, a_bOk, strError);
    if (!a_bOk)
        kvxml_message_output(QStringLiteral("kv_XML - byteArrayToXmlElement: %1").arg(strError));
    return ptrRoot;
}

CDataTree XmlMessageHelpers::byteArrayToDataTree(const QByteArray& a_baText, bool& a_bOk)
{
    const ptrCXmlElement ptrRoot = byteArrayToXmlElement(a_baText, a_bOk);
    return a_bOk ? CDataTree(ptrRoot) : CDataTree();
}

QByteArray XmlMessageHelpers::xmlElementToByteArray(const ptrCXmlElement& a_ptrElement)
{
    if (!a_ptrElement) {
        kvxml_message_output("xmlElementToByteArray: NULL element pointer");
        return QByteArray();
    }
    return a_ptrElement->toString(QString(), true, true, true, true, true, nullptr, nullptr, false).toUtf8();
}

QByteArray XmlMessageHelpers::dataTreeToByteArray(const CDataTree& a_objTree)
{
    return xmlElementToByteArray(a_objTree.getElementTree());
}

QString XmlMessageHelpers::debugFormatFragment(const CMsgFragment& a_objFragment)
{
    if (a_objFragment.isNull())
        return QStringLiteral("(null fragment)");
    const QString strTree = a_objFragment.getElementTree()->toDbgString(QStringLiteral(" "), true, false, true, true);
    return QStringList{QStringLiteral("("), strTree, QStringLiteral(")")}.join(QLatin1Char('\n'));
}

QString XmlMessageHelpers::debugFormatFragments(const QList<CMsgFragment>& a_lstFragments)
{
    QStringList lstParts;
    lstParts.reserve(a_lstFragments.size());
    for (const CMsgFragment& objFragment : a_lstFragments)
        lstParts.append(debugFormatFragment(objFragment));
    return lstParts.join(QLatin1Char('\n'));
}

QString XmlMessageHelpers::debugFormatMessage(ptrCXmlMessage a_ptrMessage)
{
    if (!a_ptrMessage)
        return QStringLiteral("<null message Ptr>");
    QStringList lstParts{QStringLiteral("-> XmlMessage")};
    const int iFragments = a_ptrMessage->getNumberOfFragments();
    for (int i = 0; i < iFragments; ++i)
        lstParts.append(debugFormatFragment(a_ptrMessage->getFragment(unsigned(i))));
    lstParts.append(QStringLiteral("<- XmlMessage"));
    return lstParts.join(QLatin1Char('\n'));
}

void XmlMessageHelpers::debugDumpFragment(const CMsgFragment&) {}

void XmlMessageHelpers::debugDumpFragments(const QList<CMsgFragment>&) {}

void XmlMessageHelpers::debugDumpMessage(ptrCXmlMessage) {}
}  // namespace kv_XML

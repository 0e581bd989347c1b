#include "BenchTrees.h"

#include <OrvexXmlInterface/xmlcommon/Tagnames.h>

using namespace XmlCommon;

namespace
{
ptrCXmlElement node(const CTagname& a_objTag, const QString& a_strValue = QString())
{
    ptrCXmlElement ptr(new CXmlElement(a_objTag));
    ptr->setValue(a_strValue);
    return ptr;
}

ptrCXmlElement value(const CTagname& a_objTag, const QString& a_strValue, const char* a_pszUnit)
{
    ptrCXmlElement ptr = node(a_objTag, a_strValue);
    ptr->setAttribute("unit", QString::fromLatin1(a_pszUnit));
    return ptr;
}

ptrCXmlElement record(int a_iIndex)
{
    ptrCXmlElement ptrRecord = node(Tag::Record);
    ptrRecord->setAttribute("recordId", QString::number(1000 + a_iIndex));
    ptrRecord->addChild(value(Tag::Frequency, QString::number(118000000 + a_iIndex * 25000), "Hz"), -1);
    ptrRecord->addChild(value(Tag::Bandwidth, QStringLiteral("12500"), "Hz"), -1);
    ptrRecord->addChild(value(Tag::Duration, QString::number(1.5 + a_iIndex, 'f', 3), "s"), -1);
    ptrRecord->addChild(node(Tag::Comment, QStringLiteral("Tower & ground <ch %1>").arg(a_iIndex)), -1);
    ptrRecord->addChild(node(Tag::IsDeletable, QStringLiteral("true")), -1);
    return ptrRecord;
}
}  // namespace

ptrCXmlElement makeRealisticMessage(int a_iBytes)
{
    ptrCXmlElement ptrRequest = node(Tag::Request);
    ptrRequest->setAttribute("id", QStringLiteral("4711"));
    ptrRequest->setAttribute("type", QStringLiteral("set"));
    ptrRequest->setAttribute("time", QStringLiteral("2000000"));
    ptrCXmlElement ptrFragment = node(Tag::StorageUnit);
    ptrFragment->setAttribute("ID", QStringLiteral("3"));
    ptrRequest->addChild(ptrFragment, -1);
    ptrCXmlElement ptrList = node(Tag::RecordList);
    ptrFragment->addChild(ptrList, -1);
    int iIndex = 0;
    for (int iMissing = a_iBytes; iMissing > 0; iMissing = a_iBytes - wireText(ptrRequest).size()) {
        for (int j = qMax(1, iMissing / 400); j > 0; --j)
            ptrList->addChild(record(iIndex++), -1);
    }
    return ptrRequest;
}

QByteArray wireText(const ptrCXmlElement& a_ptrTree)
{
    QByteArray ba;
    unsigned int uiCount = 0;
    a_ptrTree->toByteArray(ba, uiCount);
    return ba;
}

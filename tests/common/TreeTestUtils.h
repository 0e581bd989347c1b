#pragma once

// Helpers shared by the tests: building trees tersely, their wire text, a structural
// comparison, and a generator of random trees that the wire form can carry.

#include <OrvexXmlInterface/xmlcommon/CXmlElement.h>

#include <QtCore/QRandomGenerator>
#include <QtCore/QString>

#include <initializer_list>
#include <utility>

namespace TestUtils
{
using namespace XmlCommon;
using typAttrs = std::initializer_list<std::pair<const char*, QString>>;

inline ptrCXmlElement el(const char* a_pszName, typAttrs a_attrs = {}, const QString& a_strValue = QString(),
                         std::initializer_list<ptrCXmlElement> a_children = {})
{
    ptrCXmlElement ptr(new CXmlElement(CTagname(a_pszName)));
    for (const auto& attr : a_attrs)
        ptr->setAttribute(attr.first, attr.second);
    ptr->setValue(a_strValue);
    for (const ptrCXmlElement& ptrChild : a_children)
        ptr->addChild(ptrChild, -1);
    return ptr;
}

inline QByteArray wire(const ptrCXmlElement& a_ptr)
{
    QByteArray ba;
    unsigned int uiCount = 0;
    if (a_ptr)
        a_ptr->toByteArray(ba, uiCount);
    return ba;
}

// Names, attributes (in order), values, compression flags and children must all agree.
// Returns an empty string when equal, else where they differ.
inline QString difference(const ptrCXmlElement& a_ptrA, const ptrCXmlElement& a_ptrB,
                          const QString& a_strPath = QString())
{
    if (!a_ptrA || !a_ptrB)
        return (!a_ptrA && !a_ptrB) ? QString() : a_strPath + QStringLiteral(": one side is null");
    const QString strPath = a_strPath + QLatin1Char('/') + static_cast<const QString&>(a_ptrA->tagname());
    if (a_ptrA->tagname() != a_ptrB->tagname())
        return strPath + QStringLiteral(": name differs from ") + static_cast<const QString&>(a_ptrB->tagname());
    if (a_ptrA->getValue() != a_ptrB->getValue())
        return strPath + QStringLiteral(": value '%1' vs '%2'").arg(a_ptrA->getValue(), a_ptrB->getValue());
    if (a_ptrA->isCompressionDisabled() != a_ptrB->isCompressionDisabled())
        return strPath + QStringLiteral(": compression flag");
    if (a_ptrA->getNumberOfAttributes() != a_ptrB->getNumberOfAttributes())
        return strPath + QStringLiteral(": attribute count");
    for (int i = 0; i < a_ptrA->getNumberOfAttributes(); ++i) {
        const auto& a = a_ptrA->attributes().at(i);
        const auto& b = a_ptrB->attributes().at(i);
        if (a->baName != b->baName || a->strValue != b->strValue)
            return strPath + QStringLiteral(": attribute %1").arg(QString::fromLatin1(a->baName));
    }
    if (a_ptrA->getNumberOfChildren() != a_ptrB->getNumberOfChildren())
        return strPath + QStringLiteral(": child count");
    for (int i = 0; i < a_ptrA->getNumberOfChildren(); ++i) {
        const QString str = difference(a_ptrA->children().at(i), a_ptrB->children().at(i), strPath);
        if (!str.isEmpty())
            return str;
    }
    return QString();
}

// Random trees whose wire text reads back unchanged: leaves carry a value (plain text with
// markup characters and non-ASCII, or a CDATA section), inner elements none; names are not
// always ASCII.
class CRandomTrees
{
public:
    explicit CRandomTrees(quint32 a_uiSeed) : m_objRandom(a_uiSeed) {}

    ptrCXmlElement tree(int a_iMaxElements)
    {
        m_iBudget = a_iMaxElements;
        return element(0);
    }

    int bounded(int a_iMax) { return int(m_objRandom.bounded(a_iMax)); }

private:
    ptrCXmlElement element(int a_iDepth)
    {
        --m_iBudget;
        ptrCXmlElement ptr(new CXmlElement(CTagname(name())));
        const int iAttributes = bounded(4);
        for (int i = 0; i < iAttributes; ++i)
            ptr->setAttribute(
                (bounded(4) == 0 ? QString(QChar(0xf6)) : QStringLiteral("a")) + QString::number(bounded(6)), text());
        if (bounded(5) == 0)
            ptr->disableCompression();
        if (m_iBudget > 0 && a_iDepth < 30 && bounded(3) != 0) {
            const int iChildren = 1 + bounded(8);
            for (int i = 0; i < iChildren && m_iBudget > 0; ++i)
                ptr->addChild(element(a_iDepth + 1), -1);
        } else if (bounded(4) != 0) {
            ptr->setValue(bounded(5) == 0 ? QStringLiteral("<![CDATA[") + text() + QStringLiteral("]]>") : text());
        }
        return ptr;
    }

    QString name()
    {
        static const char* const s_apszNames[] = {"Request", "Reply", "Frequency",         "Data",    "x", "A_b",
                                                  "n10",     "Tuner", u8"Gr\u00f6\u00dfe", u8"\u540d"};
        return QString::fromUtf8(s_apszNames[bounded(10)]);
    }

    // Markup characters, white space that XML would normalise, non-ASCII (a surrogate pair too),
    // and the CDATA markers, which must not confuse the writer.
    QString text()
    {
        static const char* const s_apszPool[] = {
            "a", "Z",  "0",  " ",  "<",        ">",        "&",        "\"",           "'",
            ";", "\n", "\t", "\r", u8"\u00e4", u8"\u20ac", u8"\u4e2d", u8"\U0001F600", "=",
            "/", "!",  "[",  "]",  "]]>",      "<![CDATA["};
        QString str;
        const int iLength = bounded(12);
        for (int i = 0; i < iLength; ++i)
            str += QString::fromUtf8(s_apszPool[bounded(int(sizeof(s_apszPool) / sizeof(s_apszPool[0])))]);
        return str;
    }

    QRandomGenerator m_objRandom;
    int m_iBudget = 0;
};
}  // namespace TestUtils

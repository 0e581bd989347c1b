#include "CXmlElement.h"

#include "CWorkMan.h"
#include "ResultCodes.h"

#include <algorithm>
#include <cstring>
#include <utility>
#include <vector>

namespace XmlCommon
{
namespace
{
const QLatin1String s_strCDataBegin("<![CDATA[");
const char s_szZipAttribute[] = " _zip=\"0\"";

enum class eESCAPE
{
    None,
    Text,
    Attribute
};

template <eESCAPE Mode> inline int escapedLength(char16_t a_c)
{
    if (Mode == eESCAPE::None)
        return 1;
    switch (a_c) {
    case '<':
    case '>': return 4;
    case '&': return 5;
    case '"':
    case '\'': return Mode == eESCAPE::Attribute ? 6 : 1;
    default: return 1;
    }
}

template <eESCAPE Mode> inline char* writeEscaped(char* a_pDest, char a_c)
{
    const char* pszEntity = nullptr;
    switch (a_c) {
    case '<': pszEntity = "&lt;"; break;
    case '>': pszEntity = "&gt;"; break;
    case '&': pszEntity = "&amp;"; break;
    case '"': pszEntity = Mode == eESCAPE::Attribute ? "&quot;" : nullptr; break;
    case '\'': pszEntity = Mode == eESCAPE::Attribute ? "&apos;" : nullptr; break;
    default: break;
    }
    if (Mode == eESCAPE::None || pszEntity == nullptr) {
        *a_pDest = a_c;
        return a_pDest + 1;
    }
    const size_t len = std::strlen(pszEntity);
    std::memcpy(a_pDest, pszEntity, len);
    return a_pDest + len;
}

// Appends the UTF-8 form of a text, escaped as the mode says. Protocol texts are nearly
// always ASCII: that case is measured in one pass and written straight into the output;
// anything else goes through Qt's own conversion.
template <eESCAPE Mode> void appendUtf8(QByteArray& a_baOut, const QString& a_strText)
{
    const int n = a_strText.size();
    const QChar* pIn = a_strText.constData();
    int iLength = 0;
    for (int i = 0; i < n; ++i) {
        const char16_t c = pIn[i].unicode();
        if (c >= 0x80) {
            if (Mode == eESCAPE::None)
                a_baOut += a_strText.toUtf8();
            else
                a_baOut += (Mode == eESCAPE::Text ? escape(a_strText) : escape_attribute(a_strText)).toUtf8();
            return;
        }
        iLength += escapedLength<Mode>(c);
    }
    const int iStart = a_baOut.size();
    a_baOut.resize(iStart + iLength);
    char* pOut = a_baOut.data() + iStart;
    if (iLength == n) {
        for (int i = 0; i < n; ++i)
            pOut[i] = char(pIn[i].unicode());
        return;
    }
    for (int i = 0; i < n; ++i)
        pOut = writeEscaped<Mode>(pOut, char(pIn[i].unicode()));
}

template <eESCAPE Mode> QString escapeText(const QString& a_strText)
{
    QString strOut;
    strOut.reserve(a_strText.size() + a_strText.size() / 10);
    for (const QChar c : a_strText) {
        switch (c.unicode()) {
        case '<': strOut += QLatin1String("&lt;"); break;
        case '>': strOut += QLatin1String("&gt;"); break;
        case '&': strOut += QLatin1String("&amp;"); break;
        case '"':
            if (Mode == eESCAPE::Attribute)
                strOut += QLatin1String("&quot;");
            else
                strOut += c;
            break;
        case '\'':
            if (Mode == eESCAPE::Attribute)
                strOut += QLatin1String("&apos;");
            else
                strOut += c;
            break;
        default: strOut += c;
        }
    }
    return strOut;
}

// Writes one element: a leaf completely, an element with children up to its opening line.
// Returns false for an element whose children are still to be written.
bool writeHead(const CXmlElement& a_objElement, QByteArray& a_baOut, unsigned int& a_uiUncompressedBytes)
{
    const CTagname& objTag = a_objElement.tagname();
    a_baOut += objTag.begin();
    for (const QSharedPointer<struATTRIBUTE>& ptrAttr : a_objElement.attributes()) {
        a_baOut += ' ';
        a_baOut += ptrAttr->baName;
        a_baOut += "=\"";
        appendUtf8<eESCAPE::Attribute>(a_baOut, ptrAttr->strValue);
        a_baOut += '"';
    }
    if (a_objElement.isCompressionDisabled())
        a_baOut.append(s_szZipAttribute, int(sizeof(s_szZipAttribute) - 1));

    const QString& strValue = a_objElement.getValue();
    if (!strValue.isEmpty()) {
        a_baOut += '>';
        const int iValueStart = a_baOut.size();
        if (strValue.startsWith(s_strCDataBegin))
            appendUtf8<eESCAPE::None>(a_baOut, strValue);
        else
            appendUtf8<eESCAPE::Text>(a_baOut, strValue);
        if (a_objElement.isCompressionDisabled())
            a_uiUncompressedBytes += unsigned(a_baOut.size() - iValueStart);
        a_baOut += objTag.end();
        a_baOut += '\n';
        return true;
    }
    if (a_objElement.getNumberOfChildren() == 0) {
        a_baOut += "/>\n";
        return true;
    }
    a_baOut += ">\n";
    return false;
}

struct struWriteFrame
{
    const CXmlElement* pElement;
    int iNextChild;
};
}  // namespace

const QString CXmlElement::m_strAttrBegin = QStringLiteral(" ");
const QString CXmlElement::m_strAttrMid = QStringLiteral("=\"");
const QString CXmlElement::m_strAttrEnd = QStringLiteral("\"");
const QString CXmlElement::m_strOpenBegin = QStringLiteral("<");
const QString CXmlElement::m_strOpenEnd = QStringLiteral("</");
const QString CXmlElement::m_strClose = QStringLiteral(">");
const QString CXmlElement::m_strCloseEmpty = QStringLiteral("/>");
const QString CXmlElement::m_strNewLine = QStringLiteral("\n");
const QString CXmlElement::m_strAttrCompressDisabled =
    QStringLiteral(" %1=\"%2\"").arg(QStringLiteral("_zip"), QStringLiteral("0"));
const QString CXmlElement::m_strAttrCompressDisabled_escaped =
    QStringLiteral(" %1=\"%2\"").arg(QStringLiteral("_zip"), escape_attribute(QStringLiteral("0")));

QString escape(const QString& a_strText)
{
    return escapeText<eESCAPE::Text>(a_strText);
}

QString escape_attribute(const QString& a_strText)
{
    return escapeText<eESCAPE::Attribute>(a_strText);
}

CWorkMan::~CWorkMan() = default;

CXmlElement::CXmlElement(const CTagname& a_objTagname) : m_objTagname(a_objTagname) {}

CXmlElement::~CXmlElement()
{
    if (m_lstChildren.isEmpty())
        return;
    // A child whose last reference is ours hands its children to this loop before it dies,
    // so its own destructor has nothing left to recurse into. Moving the pointers spares the
    // reference counts.
    std::vector<ptrCXmlElement> vecPending;
    auto takeChildren = [&vecPending](QList<ptrCXmlElement>& a_lstChildren) {
        for (ptrCXmlElement& ptrChild : a_lstChildren)
            vecPending.push_back(std::move(ptrChild));
        a_lstChildren.clear();
    };
    takeChildren(m_lstChildren);
    while (!vecPending.empty()) {
        ptrCXmlElement ptrChild = std::move(vecPending.back());
        vecPending.pop_back();
        if (!ptrChild->m_lstChildren.isEmpty() && ptrChild->ref.loadRelaxed() == 1)
            takeChildren(ptrChild->m_lstChildren);
    }
}

int CXmlElement::setTagname(const CTagname& a_objTagname)
{
    m_objTagname = a_objTagname;
    return 0;
}

int CXmlElement::setValue(const QString& a_strValue)
{
    m_strValue = a_strValue;
    return 0;
}

int CXmlElement::setAttribute(const QByteArray& a_baName, const QString& a_strValue)
{
    for (const QSharedPointer<struATTRIBUTE>& ptrAttr : qAsConst(m_lstAttributes)) {
        if (ptrAttr->baName == a_baName) {
            ptrAttr->strValue = a_strValue;
            return 0;
        }
    }
    appendAttribute(a_baName, a_strValue);
    return 0;
}

void CXmlElement::appendAttribute(const QByteArray& a_baName, QString a_strValue)
{
    // QList has no moving append: a null pointer is appended and the record moved into it,
    // which spares four atomic reference count changes.
    m_lstAttributes.append(QSharedPointer<struATTRIBUTE>());
    m_lstAttributes.last() = QSharedPointer<struATTRIBUTE>::create(struATTRIBUTE{a_baName, std::move(a_strValue)});
}

int CXmlElement::setAttribute(const QString& a_strName, const QString& a_strValue)
{
    return setAttribute(a_strName.toLatin1(), a_strValue);
}

int CXmlElement::setAttribute(const char* a_pszName, const QString& a_strValue)
{
    return setAttribute(QByteArray(a_pszName), a_strValue);
}

QString CXmlElement::getAttribute(const QByteArray& a_baName, bool* a_pbFound) const
{
    for (const QSharedPointer<struATTRIBUTE>& ptrAttr : m_lstAttributes) {
        if (ptrAttr->baName == a_baName) {
            if (a_pbFound)
                *a_pbFound = true;
            return ptrAttr->strValue;
        }
    }
    if (a_pbFound)
        *a_pbFound = false;
    return QString();
}

int CXmlElement::removeAttribute(const QByteArray& a_baName)
{
    for (int i = 0; i < m_lstAttributes.size(); ++i) {
        if (m_lstAttributes.at(i)->baName == a_baName) {
            m_lstAttributes.removeAt(i);
            return 0;
        }
    }
    return RESULT_MISSING;
}

int CXmlElement::removeAllAttributes()
{
    m_lstAttributes.clear();
    return 0;
}

QListIterator<QSharedPointer<struATTRIBUTE>> CXmlElement::getAttributeIterator() const
{
    return QListIterator<QSharedPointer<struATTRIBUTE>>(m_lstAttributes);
}

int CXmlElement::addChild(ptrCXmlElement a_ptrChild, int a_iIndex)
{
    if (!a_ptrChild || a_ptrChild.data() == this)
        return RESULT_INVALID_ARG;
    if (a_iIndex < 0 || a_iIndex >= m_lstChildren.size())
        m_lstChildren.append(a_ptrChild);
    else
        m_lstChildren.insert(a_iIndex, a_ptrChild);
    return 0;
}

int CXmlElement::removeChild(ptrCXmlElement a_ptrChild)
{
    if (!a_ptrChild)
        return RESULT_INVALID_ARG;
    for (int i = 0; i < m_lstChildren.size(); ++i) {
        if (m_lstChildren.at(i).data() == a_ptrChild.data()) {
            m_lstChildren.removeAt(i);
            return 0;
        }
    }
    return RESULT_MISSING;
}

int CXmlElement::removeAllChildren()
{
    m_lstChildren.clear();
    return 0;
}

ptrCXmlElement CXmlElement::getChildAt(unsigned int a_uiIndex) const
{
    return a_uiIndex < unsigned(m_lstChildren.size()) ? m_lstChildren.at(int(a_uiIndex)) : ptrCXmlElement();
}

QListIterator<ptrCXmlElement> CXmlElement::getChildIterator() const
{
    return QListIterator<ptrCXmlElement>(m_lstChildren);
}

bool CXmlElement::hasPayload() const
{
    return !m_lstChildren.isEmpty() || !m_lstAttributes.isEmpty() || !m_strValue.isEmpty();
}

ptrCXmlElement CXmlElement::copy(bool a_bDeep) const
{
    auto shallow = [](const CXmlElement& a_objSource) {
        ptrCXmlElement ptrCopy(new CXmlElement(a_objSource.m_objTagname));
        ptrCopy->m_strValue = a_objSource.m_strValue;
        for (const QSharedPointer<struATTRIBUTE>& ptrAttr : a_objSource.m_lstAttributes)
            ptrCopy->appendAttribute(ptrAttr->baName, ptrAttr->strValue);
        return ptrCopy;
    };
    ptrCXmlElement ptrRoot = shallow(*this);
    if (!a_bDeep)
        return ptrRoot;
    // An explicit work list instead of recursion: a deep tree must not exhaust the stack.
    std::vector<std::pair<const CXmlElement*, CXmlElement*>> vecWork{{this, ptrRoot.data()}};
    while (!vecWork.empty()) {
        const auto [pSource, pTarget] = vecWork.back();
        vecWork.pop_back();
        pTarget->m_lstChildren.reserve(pSource->m_lstChildren.size());
        for (const ptrCXmlElement& ptrChild : pSource->m_lstChildren) {
            pTarget->m_lstChildren.append(shallow(*ptrChild));
            vecWork.emplace_back(ptrChild.data(), pTarget->m_lstChildren.last().data());
        }
    }
    return ptrRoot;
}

void CXmlElement::toByteArray(QByteArray& a_baOut, unsigned int& a_uiUncompressedBytes, CWorkMan* a_pWorkMan) const
{
    unsigned int uiThreshold = 0;
    std::vector<struWriteFrame> vecStack;

    // After an element's last line: hand full buffers on, then the parent asks whether to go on.
    auto completed = [&]() {
        if (uiThreshold != 0 && unsigned(a_baOut.size()) >= uiThreshold)
            a_pWorkMan->processBuffer(a_baOut);
        return vecStack.empty() || a_pWorkMan == nullptr || a_pWorkMan->proceed();
    };
    auto enter = [&](const CXmlElement& a_objElement) {
        if (a_pWorkMan) {
            if (!a_pWorkMan->proceed())
                return false;
            uiThreshold = a_pWorkMan->getBufferThreshold();
        }
        if (writeHead(a_objElement, a_baOut, a_uiUncompressedBytes))
            return completed();
        vecStack.push_back({&a_objElement, 0});
        return true;
    };

    if (!enter(*this))
        return;
    while (!vecStack.empty()) {
        struWriteFrame& objFrame = vecStack.back();
        const QList<ptrCXmlElement>& lstChildren = objFrame.pElement->m_lstChildren;
        if (objFrame.iNextChild < lstChildren.size()) {
            if (!enter(*lstChildren.at(objFrame.iNextChild++)))
                return;
            continue;
        }
        a_baOut += objFrame.pElement->m_objTagname.end();
        a_baOut += '\n';
        vecStack.pop_back();
        if (!completed())
            return;
    }
}

QString CXmlElement::toString(const QString& a_strIndent, bool a_bRecursive, bool a_bEscape, bool a_bUseIndent,
                              bool a_bNewLineAtEnd, bool a_bShowCData, bool* a_pbCompressionDisabled,
                              unsigned int* a_puiUncompressedBytes, bool a_bSorted) const
{
    QString strOut;
    appendReadable(strOut, a_strIndent, a_bRecursive, a_bEscape, a_bUseIndent, a_bShowCData, a_pbCompressionDisabled,
                   a_puiUncompressedBytes, a_bSorted);
    if (a_bNewLineAtEnd)
        strOut += m_strNewLine;
    return strOut;
}

void CXmlElement::appendReadable(QString& a_strOut, const QString& a_strIndent, bool a_bRecursive, bool a_bEscape,
                                 bool a_bUseIndent, bool a_bShowCData, bool* a_pbCompressionDisabled,
                                 unsigned int* a_puiUncompressedBytes, bool a_bSorted) const
{
    const QString& strName = m_objTagname;
    if (a_pbCompressionDisabled)
        *a_pbCompressionDisabled |= m_bCompressionDisabled;
    if (a_puiUncompressedBytes && m_bCompressionDisabled)
        *a_puiUncompressedBytes += unsigned(m_strValue.size());

    QString strValue;
    if (m_strValue.startsWith(s_strCDataBegin))
        strValue = a_bShowCData ? m_strValue : QStringLiteral("<![CDATA[ ... ]]>");
    else
        strValue = a_bEscape ? escape(m_strValue) : m_strValue;

    QStringList lstAttributes;
    lstAttributes.reserve(m_lstAttributes.size() + 1);
    for (const QSharedPointer<struATTRIBUTE>& ptrAttr : m_lstAttributes) {
        lstAttributes.append(m_strAttrBegin + QString::fromLatin1(ptrAttr->baName) + m_strAttrMid +
                             (a_bEscape ? escape_attribute(ptrAttr->strValue) : ptrAttr->strValue) + m_strAttrEnd);
    }
    if (a_pbCompressionDisabled && m_bCompressionDisabled)
        lstAttributes.append(a_bEscape ? m_strAttrCompressDisabled_escaped : m_strAttrCompressDisabled);
    if (a_bSorted)
        std::sort(lstAttributes.begin(), lstAttributes.end());

    const QString strPrefix = a_bUseIndent ? a_strIndent : QString();
    a_strOut += m_strNewLine + strPrefix + m_strOpenBegin + strName + lstAttributes.join(QString());
    if (!strValue.isEmpty())
        a_strOut += m_strClose + strValue;
    else
        a_strOut += m_lstChildren.isEmpty() ? m_strCloseEmpty : m_strClose;

    const bool bChildrenWritten = a_bRecursive && !m_lstChildren.isEmpty();
    if (bChildrenWritten) {
        const QString strChildIndent = a_strIndent + QLatin1String("  ");
        if (a_bSorted) {
            QStringList lstChildren;
            for (const ptrCXmlElement& ptrChild : m_lstChildren) {
                lstChildren.append(QString());
                ptrChild->appendReadable(lstChildren.last(), strChildIndent, true, a_bEscape, a_bUseIndent,
                                         a_bShowCData, a_pbCompressionDisabled, a_puiUncompressedBytes, true);
            }
            std::sort(lstChildren.begin(), lstChildren.end());
            a_strOut += lstChildren.join(QString());
        } else {
            for (const ptrCXmlElement& ptrChild : m_lstChildren)
                ptrChild->appendReadable(a_strOut, strChildIndent, true, a_bEscape, a_bUseIndent, a_bShowCData,
                                         a_pbCompressionDisabled, a_puiUncompressedBytes, false);
        }
        a_strOut += m_strNewLine + strPrefix + m_strOpenEnd + strName + m_strClose;
    } else if (!strValue.isEmpty()) {
        a_strOut += m_strOpenEnd + strName + m_strClose;
    }
}

QString CXmlElement::toDbgString(const QString& a_strIndent, bool a_bRecursive, bool a_bEscape, bool a_bUseIndent,
                                 bool a_bShowCData) const
{
    return toString(a_strIndent, a_bRecursive, a_bEscape, a_bUseIndent, false, a_bShowCData, nullptr, nullptr, false);
}

QString CXmlElement::toLimitedDbgString(int a_iMaxLength, const QString& a_strIndent) const
{
    const QString strText = toString(a_strIndent, true, false, true, false, false, nullptr, nullptr, false);
    int iLimit = a_iMaxLength;
    if (a_iMaxLength <= 0)
        iLimit = 65534;
    else if (a_iMaxLength < 100)
        iLimit = 100;
    if (strText.size() <= iLimit)
        return strText;
    return strText.left(iLimit / 2) + QStringLiteral("\n%1 ...\n").arg(a_strIndent) + strText.right(iLimit / 2);
}
}  // namespace XmlCommon

#pragma once

#include <OrvexXmlInterface/OxiExport.h>
#include <OrvexXmlInterface/xmlcommon/CTagname.h>

#include <QtCore/QExplicitlySharedDataPointer>
#include <QtCore/QList>
#include <QtCore/QListIterator>
#include <QtCore/QMetaType>
#include <QtCore/QSharedData>
#include <QtCore/QSharedPointer>
#include <QtCore/QString>

namespace XmlCommon
{
class CWorkMan;
class CXmlElement;

using ptrCXmlElement = QExplicitlySharedDataPointer<CXmlElement>;

struct struATTRIBUTE
{
    QByteArray baName;  // UTF-8, compared byte for byte
    QString strValue;   // unescaped
};

// Text of elements and attribute values as XML character data.
OXI_EXPORT QString escape(const QString& a_strText);
OXI_EXPORT QString escape_attribute(const QString& a_strText);

// A node of the message tree: name, ordered attributes, unescaped text value and ordered
// children. Nodes are reference counted and may hang in several trees at once; a tree is
// changed by one thread at a time.
class OXI_EXPORT CXmlElement : public QSharedData
{
public:
    static const QString m_strAttrBegin;
    static const QString m_strAttrMid;
    static const QString m_strAttrEnd;
    static const QString m_strOpenBegin;
    static const QString m_strOpenEnd;
    static const QString m_strClose;
    static const QString m_strCloseEmpty;
    static const QString m_strNewLine;
    static const QString m_strAttrCompressDisabled;
    static const QString m_strAttrCompressDisabled_escaped;

    explicit CXmlElement(const CTagname& a_objTagname);
    CXmlElement(const CXmlElement&) = delete;
    CXmlElement& operator=(const CXmlElement&) = delete;
    // Releases arbitrarily deep subtrees without recursing.
    virtual ~CXmlElement();

    CTagname getTagname() const { return m_objTagname; }
    // The name without a copy, for hot paths.
    const CTagname& tagname() const { return m_objTagname; }
    int setTagname(const CTagname& a_objTagname);
    const QString& getValue() const { return m_strValue; }
    int setValue(const QString& a_strValue);

    int setAttribute(const QByteArray& a_baName, const QString& a_strValue);
    int setAttribute(const QString& a_strName, const QString& a_strValue);
    int setAttribute(const char* a_pszName, const QString& a_strValue);
    QString getAttribute(const QByteArray& a_baName, bool* a_pbFound = nullptr) const;
    int removeAttribute(const QByteArray& a_baName);
    int removeAllAttributes();
    int getNumberOfAttributes() const { return m_lstAttributes.size(); }
    QList<QSharedPointer<struATTRIBUTE>> getAttributes() const { return m_lstAttributes; }
    QListIterator<QSharedPointer<struATTRIBUTE>> getAttributeIterator() const;
    // The attributes without a copy, for hot paths.
    const QList<QSharedPointer<struATTRIBUTE>>& attributes() const { return m_lstAttributes; }

    int addChild(ptrCXmlElement a_ptrChild, int a_iIndex = -1);
    int removeChild(ptrCXmlElement a_ptrChild);
    int removeAllChildren();
    int getNumberOfChildren() const { return m_lstChildren.size(); }
    ptrCXmlElement getChildAt(unsigned int a_uiIndex) const;
    QListIterator<ptrCXmlElement> getChildIterator() const;
    // The children without a copy, for hot paths.
    const QList<ptrCXmlElement>& children() const { return m_lstChildren; }

    bool hasPayload() const;
    void disableCompression() { m_bCompressionDisabled = true; }
    bool isCompressionDisabled() const { return m_bCompressionDisabled; }

    // A new element with the same name, value and attributes; with a_bDeep the children are
    // copied too. The compression-disabled flag is not carried over.
    ptrCXmlElement copy(bool a_bDeep) const;

    // Appends the wire form (UTF-8, one element per line). The byte count of values marked
    // with disableCompression() is added to a_uiUncompressedBytes. Every value reads back as it
    // was set, except characters XML cannot carry (controls other than tab, line feed and
    // carriage return, U+FFFE, U+FFFF, unpaired surrogates), which are written as U+FFFD.
    // Returns 0, or 0x02420001 when the text would not fit in a QByteArray or memory ran out;
    // a_baOut is then as it was, unless a_pWorkMan has taken part of the text already.
    int toByteArray(QByteArray& a_baOut, unsigned int& a_uiUncompressedBytes, CWorkMan* a_pWorkMan = nullptr) const;

    QString toString(const QString& a_strIndent = QString(), bool a_bRecursive = true, bool a_bEscape = true,
                     bool a_bUseIndent = true, bool a_bNewLineAtEnd = false, bool a_bShowCData = false,
                     bool* a_pbCompressionDisabled = nullptr, unsigned int* a_puiUncompressedBytes = nullptr,
                     bool a_bSorted = false) const;
    QString toDbgString(const QString& a_strIndent = QString(), bool a_bRecursive = true, bool a_bEscape = true,
                        bool a_bUseIndent = true, bool a_bShowCData = false) const;
    // The readable form, cut in the middle when longer than a_iMaxLength characters
    // (at least 100; 0 or less means 65534).
    QString toLimitedDbgString(int a_iMaxLength, const QString& a_strIndent = QString()) const;

private:
    friend class CXmlStreamParser;
    friend class CWireScanner;
    // Appends without looking for the name: for callers that know it is new (the parser, whose
    // reader refuses duplicate names; copies; setAttribute after its search).
    void appendAttribute(const QByteArray& a_baName, QString a_strValue);

    QList<QSharedPointer<struATTRIBUTE>> m_lstAttributes;
    QList<ptrCXmlElement> m_lstChildren;
    CTagname m_objTagname;
    QString m_strValue;
    bool m_bCompressionDisabled = false;
};
}  // namespace XmlCommon

Q_DECLARE_METATYPE(XmlCommon::ptrCXmlElement)

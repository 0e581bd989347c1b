#pragma once

// The value forms of the domain converters that are more than one typed value: repeated texts,
// subtrees, fault trees, CDATA children, attributes, values that may be "auto", two-part values,
// indexed lists, and lists of record views. The generated converters and record views call them on
// their data or record element.
//
// Every getter takes the element to read from as a_ptrRecord; a null element means that the
// fragment or record is not the converter's message, which answers 0x02420000. Setters get the
// element after the fragment or record was shaped. Out-parameters are written only on success.

#include <OrvexXmlInterface/xmlcommon/CConvBaseFragment.h>
#include <OrvexXmlInterface/xmlcommon/CEnumTexts.h>
#include <OrvexXmlInterface/xmlcommon/CFaultTree.h>
#include <OrvexXmlInterface/xmlcommon/CMsgFragment.h>
#include <OrvexXmlInterface/xmlcommon/ResultCodes.h>
#include <OrvexXmlInterface/xmlcommon/XmlConverterTools.h>
#include <OrvexXmlInterface/xmlcommon/XmlTreeTools.h>

#include <QtCore/QStringList>

namespace ConverterSupport
{
using XmlCommon::CTagname;
using XmlCommon::ptrCXmlElement;

// One element per text, replacing all earlier ones of the name; read back in order.
int setTexts(const ptrCXmlElement& a_ptrRecord, const CTagname& a_objTag, const QStringList& a_lstTexts);
int getTexts(const ptrCXmlElement& a_ptrRecord, const CTagname& a_objTag, QStringList& a_lstTexts);

// A subtree: every child of the name is removed, then the tree's root is appended (shared) when it
// carries anything. The getter gives a tree over the first child of the name, or a null tree.
int setTree(const ptrCXmlElement& a_ptrRecord, const CTagname& a_objTag, const XmlCommon::CTreeBase& a_objTree);
XmlCommon::CDataTree getTree(const ptrCXmlElement& a_ptrRecord, const CTagname& a_objTag);

// A fault tree stored as a child "Fault" of the record (replacing an earlier one).
int setFault(const ptrCXmlElement& a_ptrRecord, const XmlCommon::CFaultTree& a_objFault);
int getFault(const ptrCXmlElement& a_ptrRecord, XmlCommon::CFaultTree& a_objFault);

// A file or dialog text carried verbatim as a CDATA section, in a child of the name or, with a
// null tag, in the record element's own text.
int setCData(const ptrCXmlElement& a_ptrRecord, const CTagname* a_pobjTag, const QByteArray& a_baData);
int getCData(const ptrCXmlElement& a_ptrRecord, const CTagname* a_pobjTag, QByteArray& a_baData);

// A text attribute of the record element.
int setAttribute(const ptrCXmlElement& a_ptrRecord, const QByteArray& a_baName, const QString& a_strValue);
int getAttribute(const ptrCXmlElement& a_ptrRecord, const QByteArray& a_baName, QString& a_strValue);
// An unsigned decimal attribute of the record element.
int setAttribute(const ptrCXmlElement& a_ptrRecord, const QByteArray& a_baName, unsigned int a_uiValue);
int getAttribute(const ptrCXmlElement& a_ptrRecord, const QByteArray& a_baName, unsigned int& a_uiValue);

// An enumeration attribute of an element: a value without a text gives 0x02420001 and writes
// nothing, an unknown text 0x02420003.
int setEnumAttribute(const ptrCXmlElement& a_ptrElement, const QByteArray& a_baName, const QString* a_pstrText);
template <typename E>
int setEnumAttribute(const ptrCXmlElement& a_ptrElement, const QByteArray& a_baName, E a_eValue,
                     const XmlCommon::CEnumTexts<E>& a_objTexts)
{
    return setEnumAttribute(a_ptrElement, a_baName, a_objTexts.text(a_eValue));
}
template <typename E>
int getEnumAttribute(const ptrCXmlElement& a_ptrElement, const QByteArray& a_baName, E& a_eValue,
                     const XmlCommon::CEnumTexts<E>& a_objTexts)
{
    QString strText;
    if (const int iResult = getAttribute(a_ptrElement, a_baName, strText))
        return iResult;
    return a_objTexts.value(strText, a_eValue) ? int(XmlCommon::RESULT_OK) : int(XmlCommon::RESULT_MALFORMED);
}

// An enumeration value whose setter writes a fallback text for values without one.
template <typename E>
int setEnumOr(const ptrCXmlElement& a_ptrRecord, const CTagname& a_objTag, E a_eValue, E a_eFallback,
              const XmlCommon::CEnumTexts<E>& a_objTexts)
{
    const QString* pstrText = a_objTexts.text(a_eValue);
    return XmlCommon::XmlConverterTools::setEnumText(a_ptrRecord, a_objTag,
                                                     pstrText ? pstrText : a_objTexts.text(a_eFallback));
}

// Values that may be automatic: whether the element holds the text "auto" (the number is read
// with its typed getter otherwise).
int autoState(const ptrCXmlElement& a_ptrRecord, const CTagname& a_objTag, bool& a_bAutomatic);

// A 32-bit value that travels as a 64-bit unsigned number; a wider number read back is malformed.
int getULongAs64(const ptrCXmlElement& a_ptrRecord, const CTagname& a_objTag, unsigned int& a_uiValue);

// A list of values, one element per item, each with its position as the attribute "index".
int setIndexed(const ptrCXmlElement& a_ptrRecord, const CTagname& a_objTag, const QStringList& a_lstTexts,
               const QString& a_strUnit);
int getIndexed(const ptrCXmlElement& a_ptrRecord, const CTagname& a_objTag, QStringList& a_lstTexts);

// The first child of the name whose attribute has the value; created with it when asked.
ptrCXmlElement childWith(const ptrCXmlElement& a_ptrParent, const CTagname& a_objTag, const QByteArray& a_baAttribute,
                         const QString& a_strValue, bool a_bCreate);

// Record views kept as children of the record: the list setter replaces all children of the
// name by the views' elements (shared), the getter binds one view to each child in order.
int setElements(const ptrCXmlElement& a_ptrRecord, const CTagname& a_objTag,
                const QList<ptrCXmlElement>& a_lstElements);
int getElements(const ptrCXmlElement& a_ptrRecord, const CTagname& a_objTag, QList<ptrCXmlElement>& a_lstElements);
// One nested record: replaces the children of the name by the element (shared).
int setElement(const ptrCXmlElement& a_ptrRecord, const CTagname& a_objTag, const ptrCXmlElement& a_ptrElement);
int getElement(const ptrCXmlElement& a_ptrRecord, const CTagname& a_objTag, ptrCXmlElement& a_ptrElement);
// Repeated records appended one per call (a copy, so later changes stay out) and read by position.
int addElement(const ptrCXmlElement& a_ptrRecord, const ptrCXmlElement& a_ptrElement);
int getElementAt(const ptrCXmlElement& a_ptrRecord, const CTagname& a_objTag, unsigned int a_uiIndex,
                 ptrCXmlElement& a_ptrElement);
unsigned int countElements(const ptrCXmlElement& a_ptrRecord, const CTagname& a_objTag);

// Another converter's message carried as a child: the setter replaces the children of the name by
// the converter's data element (shared), the getter lays the converter over a fragment of the
// given component around that child.
int setConverterData(const ptrCXmlElement& a_ptrRecord, const CTagname& a_objTag,
                     const XmlCommon::CConvBaseFragment& a_objConverter);
int getConverterData(const ptrCXmlElement& a_ptrRecord, const CTagname& a_objTag, const CTagname& a_objComponent,
                     XmlCommon::CConvBaseFragment& a_objConverter);

// Binds a record view to an element of the name: renames the bound one, or creates a free one.
void shapeRecord(XmlCommon::CTreeBase& a_objView, const CTagname& a_objName);
// Whether the element carries the attribute with that value, or at all for a null value.
bool hasAttribute(const ptrCXmlElement& a_ptrElement, const QByteArray& a_baName, const char* a_pszValue);
bool hasAttribute(const ptrCXmlElement& a_ptrElement, const QByteArray& a_baName, const QString& a_strValue);
}  // namespace ConverterSupport

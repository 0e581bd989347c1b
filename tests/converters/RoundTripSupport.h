#pragma once

// What the generated round-trip tables of the converter families need: the shape of one case,
// sample values that differ from value to value, and comparisons that report what went wrong.

#include "../common/TreeTestUtils.h"

#include <OrvexXmlInterface/xmlcommon/CConvBaseFragment.h>
#include <OrvexXmlInterface/xmlcommon/CEnumTexts.h>
#include <OrvexXmlInterface/xmlcommon/CFaultTree.h>
#include <OrvexXmlInterface/xmlcommon/ResultCodes.h>

#include <QtCore/QDebug>
#include <QtCore/QStringList>

#include <type_traits>

namespace RoundTrip
{
using namespace XmlCommon;

// One class of a family: built with every setter, read back value by value.
struct struCase
{
    const char* pszClass;
    const char* pszDataName;                            // null for record views
    CConvBaseFragment* (*pfnCreate)(CMsgFragment&);     // null for record views
    void (*pfnPrepare)(CConvBaseFragment&);             // makes a fresh converter its own message
    ptrCXmlElement (*pfnBuild)();                       // the fragment's tree, or the record's element
    QStringList (*pfnReadBack)(const ptrCXmlElement&);  // what did not read back
    QStringList (*pfnEnumCodes)();                      // enumeration codes that were not as described
    const char* pszAccepts;  // other converters whose fragments this one accepts too, comma-separated
};

template <typename T> bool same(const T& a_a, const T& a_b)
{
    if constexpr (std::is_base_of_v<CConvBaseFragment, T>)
        return TestUtils::wire(a_a.getTree()) == TestUtils::wire(a_b.getTree());
    else if constexpr (std::is_base_of_v<CTreeBase, T>)
        return TestUtils::wire(a_a.getElementTree()) == TestUtils::wire(a_b.getElementTree());
    else
        return a_a == a_b;
}

template <typename T> bool same(const QList<T>& a_lstA, const QList<T>& a_lstB)
{
    if (a_lstA.size() != a_lstB.size())
        return false;
    for (int i = 0; i < a_lstA.size(); ++i) {
        if (!same(a_lstA.at(i), a_lstB.at(i)))
            return false;
    }
    return true;
}

inline void expectCode(QStringList& a_lstFailures, const char* a_pszWhat, int a_iResult, int a_iWanted)
{
    if (a_iResult != a_iWanted)
        a_lstFailures << QStringLiteral("%1: 0x%2 instead of 0x%3")
                             .arg(QLatin1String(a_pszWhat))
                             .arg(a_iResult, 8, 16, QLatin1Char('0'))
                             .arg(a_iWanted, 8, 16, QLatin1Char('0'));
}

template <typename T>
void expect(QStringList& a_lstFailures, const char* a_pszGetter, int a_iResult, const T& a_got, const T& a_wanted)
{
    expectCode(a_lstFailures, a_pszGetter, a_iResult, 0);
    if (a_iResult == 0 && !same(a_got, a_wanted))
        a_lstFailures << QStringLiteral("%1: another value read back").arg(QLatin1String(a_pszGetter));
}

template <typename T> struct Id
{
    using type = T;
};

// For the description's verify lines: the getter succeeds and reads the wanted value.
template <typename C, typename B, typename T>
bool reads(const C& a_objConverter, int (B::*a_pfnGet)(T&) const, const typename Id<T>::type& a_wanted)
{
    T value{};
    return (a_objConverter.*a_pfnGet)(value) == 0 && same(value, a_wanted);
}

// What the getter reads now, for description samples that add to a value already set.
template <typename C, typename B, typename T> T current(const C& a_objConverter, int (B::*a_pfnGet)(T&) const)
{
    T value{};
    (a_objConverter.*a_pfnGet)(value);
    return value;
}

// The a_iSeed-th entry of the table, so that neighbouring values differ.
template <typename E> E sample(const CEnumTexts<E>& a_objTexts, int a_iSeed)
{
    const QList<int> lstKeys = a_objTexts.toMap().keys();
    return E(lstKeys.at(a_iSeed % lstKeys.size()));
}

// A value that has no text.
template <typename E> E outside(const CEnumTexts<E>& a_objTexts)
{
    const QList<int> lstKeys = a_objTexts.toMap().keys();
    return E(lstKeys.last() + 1);
}

// Puts a text that is in no table where an enumeration value is read: the element's text, or an
// attribute of the element (of the record itself without a tag).
inline void corrupt(const ptrCXmlElement& a_ptrRecord, const CTagname* a_pobjTag, const char* a_pszAttribute)
{
    ptrCXmlElement ptrElement = a_ptrRecord;
    if (a_pobjTag) {
        for (const ptrCXmlElement& ptrChild : a_ptrRecord->children()) {
            if (ptrChild->tagname() == *a_pobjTag) {
                ptrElement = ptrChild;
                break;
            }
        }
    }
    if (a_pszAttribute)
        ptrElement->setAttribute(a_pszAttribute, QStringLiteral("no such text"));
    else
        ptrElement->setValue(QStringLiteral("no such text"));
}

inline CDataTree sampleTree(const CTagname& a_objRoot, int a_iSeed)
{
    return CDataTree(TestUtils::el(a_objRoot.name().constData(), {{"origin", QStringLiteral("sample")}}, {},
                                   {TestUtils::el("Entry", {}, QString::number(a_iSeed))}));
}

inline CFaultTree sampleFault(int a_iSeed)
{
    CFaultTree objFault;
    objFault.setID(0x02400007u + unsigned(a_iSeed % 2));
    objFault.setTimestamp(1700000000000000ull + unsigned(a_iSeed));
    objFault.addAddendum(QStringLiteral("addendum %1").arg(a_iSeed));
    return objFault;
}

// A converter's own message, marked so that two samples differ.
template <typename T> T sampleConverter(int a_iSeed)
{
    T objConverter;
    objConverter.makeFragment();
    objConverter.getFragment().getDataTree().getElementTree()->setAttribute("sample", QString::number(a_iSeed));
    return objConverter;
}

inline CMsgFragment sampleFragment(int a_iSeed)
{
    return CMsgFragment(TestUtils::el(
        "Tuner", {}, {},
        {TestUtils::el("Parameters", {}, {},
                       {
                           TestUtils::el("Frequency", {{"unit", "Hz"}}, QString::number(100000000 + a_iSeed)),
                       })}));
}
}  // namespace RoundTrip

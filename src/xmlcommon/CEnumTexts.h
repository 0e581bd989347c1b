#pragma once

#include <QtCore/QMap>
#include <QtCore/QString>
#include <QtCore/QVector>

#include <initializer_list>
#include <utility>

namespace XmlCommon
{
// The fixed texts of an enumeration on the wire, built once: converters keep one static table
// per enumeration and pass it to the enumeration getters and setters.
template <typename E> class CEnumTexts
{
public:
    CEnumTexts(std::initializer_list<std::pair<E, const char*>> a_lstTexts)
    {
        m_vecTexts.reserve(int(a_lstTexts.size()));
        for (const auto& objEntry : a_lstTexts)
            m_vecTexts.append({objEntry.first, QString::fromLatin1(objEntry.second)});
    }

    // The text of a value, or null when the value has none.
    const QString* text(E a_eValue) const
    {
        for (const auto& objEntry : m_vecTexts) {
            if (objEntry.first == a_eValue)
                return &objEntry.second;
        }
        return nullptr;
    }

    // The value whose text matches exactly (case-sensitive); false when there is none.
    bool value(const QString& a_strText, E& a_eValue) const
    {
        for (const auto& objEntry : m_vecTexts) {
            if (objEntry.second == a_strText) {
                a_eValue = objEntry.first;
                return true;
            }
        }
        return false;
    }

    QMap<int, QString> toMap() const
    {
        QMap<int, QString> mapTexts;
        for (const auto& objEntry : m_vecTexts)
            mapTexts.insert(int(objEntry.first), objEntry.second);
        return mapTexts;
    }

    int size() const { return m_vecTexts.size(); }

private:
    QVector<std::pair<E, QString>> m_vecTexts;
};
}  // namespace XmlCommon

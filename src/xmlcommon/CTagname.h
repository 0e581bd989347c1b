#pragma once

#include <OrvexXmlInterface/OxiExport.h>

#include <QtCore/QByteArray>
#include <QtCore/QString>
#include <QtCore/QVariant>

#include <string>
#include <utility>

namespace XmlCommon
{
namespace Tag
{
class CVocabulary;
}

// One element name, kept in every form the library needs: UTF-8 bytes for writing, a QString
// for comparing with parsed names, and the pre-built "<Name" prefix and "</Name>" closing tag
// so that writing an element never formats its name. The forms are built once and shared by
// all copies, so copying a name (every element does) costs one reference count, and none for
// the names of the vocabulary (Tagnames.h).
class OXI_EXPORT CTagname
{
public:
    static const unsigned short m_usByteArray = 1;
    static const unsigned short m_usString = 2;
    static const unsigned short m_usBegin = 4;
    static const unsigned short m_usEnd = 8;

    // An empty tag: no name at all (unlike a tag built from an empty string).
    CTagname() = default;
    CTagname(const char* a_pszName);
    CTagname(const QByteArray& a_baName);
    CTagname(const QString& a_strName);
    CTagname(const CTagname& a_objOther);
    CTagname(CTagname&& a_objOther) noexcept : m_pForms(std::exchange(a_objOther.m_pForms, nullptr)) {}
    CTagname& operator=(const CTagname& a_objOther);
    CTagname& operator=(CTagname&& a_objOther) noexcept
    {
        std::swap(m_pForms, a_objOther.m_pForms);
        return *this;
    }
    virtual ~CTagname();

    bool isEmpty() const { return m_pForms == nullptr; }

    const QByteArray& name() const;
    const QByteArray& begin() const;
    const QByteArray& end() const;
    operator const QString&() const;
    operator QVariant() const;
    std::string toStdString() const;

    bool operator==(const CTagname& a_objOther) const;
    bool operator==(const QByteArray& a_baName) const;
    bool operator==(const QString& a_strName) const;
    bool operator==(const char* a_pszName) const;
    bool operator!=(const CTagname& a_objOther) const { return !(*this == a_objOther); }
    bool operator!=(const QByteArray& a_baName) const { return !(*this == a_baName); }
    bool operator!=(const QString& a_strName) const { return !(*this == a_strName); }
    bool operator!=(const char* a_pszName) const { return !(*this == a_pszName); }

protected:
    // Derives the missing forms from the name (each from the other by UTF-8) and builds the
    // prefix and closing tag.
    void makeChildren();
    // Drops the prefix and closing tag of this copy; they are rebuilt from the name at once.
    void clearChildren();

private:
    friend class Tag::CVocabulary;
    // The forms, shared by all copies of a name (CTagname_p.h).
    struct struForms;

    struForms* m_pForms = nullptr;
};
}  // namespace XmlCommon

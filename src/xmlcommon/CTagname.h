#pragma once

#include <OrvexXmlInterface/OxiExport.h>

#include <QtCore/QByteArray>
#include <QtCore/QExplicitlySharedDataPointer>
#include <QtCore/QSharedData>
#include <QtCore/QString>
#include <QtCore/QVariant>

#include <string>

namespace XmlCommon
{
// One element name, kept in every form the library needs: Latin-1 bytes for writing, a QString
// for comparing with parsed names, and the pre-built "<Name" prefix and "</Name>" closing tag
// so that writing an element never formats its name. The forms are built once and shared by
// all copies, so copying a name (every element does) costs one reference count.
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
    CTagname(const CTagname& a_objOther) = default;
    CTagname& operator=(const CTagname& a_objOther) = default;
    virtual ~CTagname();

    bool isEmpty() const { return !m_ptrForms; }

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
    // Derives the missing forms from the name (bytes from the string by Latin-1, the string from
    // the bytes by UTF-8) and builds the prefix and closing tag.
    void makeChildren();
    // Drops the prefix and closing tag of this copy; they are rebuilt from the name at once.
    void clearChildren();

private:
    struct struForms : public QSharedData
    {
        QByteArray baName;
        QByteArray baBegin;
        QByteArray baEnd;
        QString strName;
        unsigned short usFlags = 0;
    };

    QExplicitlySharedDataPointer<struForms> m_ptrForms;
};
}  // namespace XmlCommon

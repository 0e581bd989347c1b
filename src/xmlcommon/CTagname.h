#pragma once

#include <OrvexXmlInterface/OxiExport.h>

#include <QtCore/QByteArray>
#include <QtCore/QString>
#include <QtCore/QVariant>

#include <string>

namespace XmlCommon
{
// One element name, kept in every form the library needs: Latin-1 bytes for writing, a QString
// for comparing with parsed names, and the pre-built "<Name" prefix and "</Name>" closing tag
// so that writing an element never formats its name.
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
    CTagname& operator=(const CTagname& a_objOther);
    virtual ~CTagname();

    bool isEmpty() const { return (m_usFlags & (m_usByteArray | m_usString)) == 0; }

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
    void makeChildren();
    void clearChildren();

private:
    const QString& string() const;
    const QByteArray& bytes() const;

    mutable QByteArray m_baName;
    mutable QByteArray m_baBegin;
    mutable QByteArray m_baEnd;
    mutable QString m_strName;
    mutable unsigned short m_usFlags = 0;
};
}  // namespace XmlCommon

#include "CTagname.h"

#include <cstring>

namespace XmlCommon
{
namespace
{
// Empty tags answer with these instead of touching their own members, so that the shared
// vocabulary constants are never written to after load, whatever thread reads them.
const QByteArray& emptyBytes()
{
    static const QByteArray s_ba;
    return s_ba;
}

const QString& emptyString()
{
    static const QString s_str;
    return s_str;
}
}  // namespace

CTagname::CTagname(const char* a_pszName) : m_baName(a_pszName), m_usFlags(m_usByteArray)
{
    makeChildren();
}

CTagname::CTagname(const QByteArray& a_baName) : m_baName(a_baName), m_usFlags(m_usByteArray)
{
    makeChildren();
}

CTagname::CTagname(const QString& a_strName) : m_strName(a_strName), m_usFlags(m_usString)
{
    makeChildren();
}

CTagname::CTagname(const CTagname& a_objOther)
    : m_baName(a_objOther.m_baName), m_baBegin(a_objOther.m_baBegin), m_baEnd(a_objOther.m_baEnd),
      m_strName(a_objOther.m_strName), m_usFlags(a_objOther.m_usFlags)
{
    // Every element copies its name: share the built forms and only fill in what is missing.
    if ((m_usFlags & 0xf) != 0xf)
        makeChildren();
}

CTagname& CTagname::operator=(const CTagname& a_objOther)
{
    if (this == &a_objOther)
        return *this;
    const unsigned short usSource = a_objOther.m_usFlags;
    m_usFlags = 0;
    if (usSource & m_usByteArray)
        m_baName = a_objOther.m_baName;
    if (usSource & m_usString)
        m_strName = a_objOther.m_strName;
    if (usSource & m_usBegin)
        m_baBegin = a_objOther.m_baBegin;
    if (usSource & m_usEnd)
        m_baEnd = a_objOther.m_baEnd;
    m_usFlags = usSource;
    makeChildren();
    return *this;
}

CTagname::~CTagname() = default;

void CTagname::makeChildren()
{
    if (isEmpty()) {
        m_usFlags = 0;
        return;
    }
    if (!(m_usFlags & m_usByteArray)) {
        m_baName = m_strName.toLatin1();
        m_usFlags |= m_usByteArray;
    } else if (!(m_usFlags & m_usString)) {
        m_strName = QString::fromUtf8(m_baName);
        m_usFlags |= m_usString;
    }
    if (!(m_usFlags & m_usBegin)) {
        m_baBegin = '<' + m_baName;
        m_usFlags |= m_usBegin;
    }
    if (!(m_usFlags & m_usEnd)) {
        m_baEnd = "</" + m_baName + '>';
        m_usFlags |= m_usEnd;
    }
}

void CTagname::clearChildren()
{
    m_usFlags &= 0xfff3;
}

const QByteArray& CTagname::bytes() const
{
    if (!(m_usFlags & m_usByteArray)) {
        m_baName = m_strName.toLatin1();
        m_usFlags |= m_usByteArray;
    }
    return m_baName;
}

const QString& CTagname::string() const
{
    if (!(m_usFlags & m_usString)) {
        m_strName = QString::fromUtf8(m_baName);
        m_usFlags |= m_usString;
    }
    return m_strName;
}

const QByteArray& CTagname::name() const
{
    return isEmpty() ? emptyBytes() : bytes();
}

const QByteArray& CTagname::begin() const
{
    if (isEmpty())
        return emptyBytes();
    if (!(m_usFlags & m_usBegin)) {
        m_baBegin = '<' + bytes();
        m_usFlags |= m_usBegin;
    }
    return m_baBegin;
}

const QByteArray& CTagname::end() const
{
    if (isEmpty())
        return emptyBytes();
    if (!(m_usFlags & m_usEnd)) {
        m_baEnd = "</" + bytes() + '>';
        m_usFlags |= m_usEnd;
    }
    return m_baEnd;
}

CTagname::operator const QString&() const
{
    return isEmpty() ? emptyString() : string();
}

CTagname::operator QVariant() const
{
    return QVariant(static_cast<const QString&>(*this));
}

std::string CTagname::toStdString() const
{
    return static_cast<const QString&>(*this).toStdString();
}

bool CTagname::operator==(const CTagname& a_objOther) const
{
    const bool bEmpty = isEmpty();
    if (bEmpty || a_objOther.isEmpty())
        return bEmpty == a_objOther.isEmpty();
    const bool bBytes = m_usFlags & m_usByteArray;
    const bool bOtherBytes = a_objOther.m_usFlags & m_usByteArray;
    const bool bOtherString = a_objOther.m_usFlags & m_usString;
    if (bBytes && bOtherBytes)
        return m_baName == a_objOther.m_baName;
    if (!bBytes && !bOtherString)
        return bytes() == a_objOther.m_baName;
    return string() == a_objOther.string();
}

bool CTagname::operator==(const QByteArray& a_baName) const
{
    return !isEmpty() && bytes() == a_baName;
}

bool CTagname::operator==(const QString& a_strName) const
{
    return !isEmpty() && string() == a_strName;
}

bool CTagname::operator==(const char* a_pszName) const
{
    if (isEmpty())
        return false;
    if (a_pszName == nullptr)
        return bytes().isEmpty();
    const QByteArray& baName = bytes();
    return std::strlen(a_pszName) == size_t(baName.size()) &&
           std::memcmp(a_pszName, baName.constData(), size_t(baName.size())) == 0;
}
}  // namespace XmlCommon

#include "CTagname_p.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace XmlCommon
{
namespace
{
const QByteArray& emptyBytes()
{
    static const QByteArray s_ba;
    return s_ba;
}

bool isAscii(const QByteArray& a_baText)
{
    return std::all_of(a_baText.begin(), a_baText.end(), [](char c) { return uchar(c) < 0x80; });
}

const QString& emptyString()
{
    static const QString s_str;
    return s_str;
}
}  // namespace

CTagname::CTagname(const char* a_pszName) : m_pForms(new struForms)
{
    m_pForms->baName = QByteArray(a_pszName);
    m_pForms->usFlags = m_usByteArray;
    makeChildren();
}

CTagname::CTagname(const QByteArray& a_baName) : m_pForms(new struForms)
{
    m_pForms->baName = a_baName;
    m_pForms->usFlags = m_usByteArray;
    makeChildren();
}

CTagname::CTagname(const QString& a_strName) : m_pForms(new struForms)
{
    m_pForms->strName = a_strName;
    m_pForms->usFlags = m_usString;
    makeChildren();
}

CTagname::CTagname(const CTagname& a_objOther) : m_pForms(a_objOther.m_pForms)
{
    if (m_pForms && !m_pForms->bPermanent)
        m_pForms->iRef.ref();
}

CTagname& CTagname::operator=(const CTagname& a_objOther)
{
    CTagname objCopy(a_objOther);
    std::swap(m_pForms, objCopy.m_pForms);
    return *this;
}

CTagname::~CTagname()
{
    if (m_pForms && !m_pForms->bPermanent && !m_pForms->iRef.deref())
        delete m_pForms;
}

void CTagname::makeChildren()
{
    if (!m_pForms)
        return;
    struForms& objForms = *m_pForms;
    // Names travel in a UTF-8 stream: bytes that are not UTF-8 would break it, so they are
    // taken as what they decode to.
    if (!(objForms.usFlags & m_usByteArray)) {
        objForms.baName = objForms.strName.toUtf8();
    } else if (!(objForms.usFlags & m_usString)) {
        objForms.strName = QString::fromUtf8(objForms.baName);
        if (!isAscii(objForms.baName))
            objForms.baName = objForms.strName.toUtf8();
    }
    if (!(objForms.usFlags & m_usBegin))
        objForms.baBegin = '<' + objForms.baName;
    if (!(objForms.usFlags & m_usEnd))
        objForms.baEnd = "</" + objForms.baName + '>';
    objForms.usFlags = m_usByteArray | m_usString | m_usBegin | m_usEnd;
}

void CTagname::clearChildren()
{
    if (!m_pForms)
        return;
    // This copy gets forms of its own, shared with no other copy.
    if (m_pForms->bPermanent || m_pForms->iRef.loadRelaxed() != 1) {
        auto* pOwn = new struForms;
        pOwn->baName = m_pForms->baName;
        pOwn->baBegin = m_pForms->baBegin;
        pOwn->baEnd = m_pForms->baEnd;
        pOwn->strName = m_pForms->strName;
        pOwn->usFlags = m_pForms->usFlags;
        CTagname objOld;
        objOld.m_pForms = std::exchange(m_pForms, pOwn);
    }
    m_pForms->usFlags &= 0xfff3;
    // Rebuilt at once, so that no reader ever fills a form lazily in shared data.
    makeChildren();
}

const QByteArray& CTagname::name() const
{
    return m_pForms ? m_pForms->baName : emptyBytes();
}

const QByteArray& CTagname::begin() const
{
    return m_pForms ? m_pForms->baBegin : emptyBytes();
}

const QByteArray& CTagname::end() const
{
    return m_pForms ? m_pForms->baEnd : emptyBytes();
}

CTagname::operator const QString&() const
{
    return m_pForms ? m_pForms->strName : emptyString();
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
    if (!m_pForms || !a_objOther.m_pForms)
        return !m_pForms && !a_objOther.m_pForms;
    // Both always hold their bytes; copies of one name share them.
    return m_pForms == a_objOther.m_pForms || m_pForms->baName == a_objOther.m_pForms->baName;
}

bool CTagname::operator==(const QByteArray& a_baName) const
{
    return m_pForms && m_pForms->baName == a_baName;
}

bool CTagname::operator==(const QString& a_strName) const
{
    return m_pForms && m_pForms->strName == a_strName;
}

bool CTagname::operator==(const char* a_pszName) const
{
    if (!m_pForms)
        return false;
    const QByteArray& baName = m_pForms->baName;
    if (a_pszName == nullptr)
        return baName.isEmpty();
    return std::strlen(a_pszName) == size_t(baName.size()) &&
           std::memcmp(a_pszName, baName.constData(), size_t(baName.size())) == 0;
}
}  // namespace XmlCommon

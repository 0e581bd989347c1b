#pragma once

#include "CTagname.h"

#include <QtCore/QAtomicInt>

namespace XmlCommon
{
struct CTagname::struForms
{
    QAtomicInt iRef{1};
    // The vocabulary's forms live as long as the process and are never counted: copying a
    // vocabulary name then writes no shared memory, which threads would otherwise contend for.
    bool bPermanent = false;
    QByteArray baName;
    QByteArray baBegin;
    QByteArray baEnd;
    QString strName;
    unsigned short usFlags = 0;
};
}  // namespace XmlCommon

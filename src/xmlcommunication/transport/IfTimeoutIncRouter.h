#pragma once

#include <OrvexXmlInterface/OxiExport.h>

#include <QtCore/QtGlobal>

namespace XmlCommunication
{
// Something that can be told that a request sent on behalf of a waiting request has got a later
// deadline, so that the waiting request's requester can be given more time too.
class OXI_EXPORT IfTimeoutIncRouter
{
public:
    virtual ~IfTimeoutIncRouter();
    virtual void RouteTimeoutInc(quint32 a_u32ContinuousId, quint64 a_u64NewTimeout) = 0;
};
}  // namespace XmlCommunication

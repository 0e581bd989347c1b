#include "TransportTypes.h"

#include <atomic>

namespace XmlCommunication
{
namespace
{
const quint32 s_u32DefaultMinProcessingTime = 500000;
std::atomic<quint32> s_u32MinProcessingTime{s_u32DefaultMinProcessingTime};
}  // namespace

quint32 getMinProcessingTime()
{
    return s_u32MinProcessingTime.load(std::memory_order_relaxed);
}

void setMinProcessingTime(quint32 a_u32Us)
{
    if (a_u32Us > s_u32DefaultMinProcessingTime)
        s_u32MinProcessingTime.store(a_u32Us, std::memory_order_relaxed);
}
}  // namespace XmlCommunication

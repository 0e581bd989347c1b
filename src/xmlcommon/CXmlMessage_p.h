#pragma once

#include "CXmlMessage.h"

namespace XmlCommon
{
namespace MessageTesting
{
// Makes a_uiId the last continuous id handed out, so that the wrap-around can be reached.
OXI_PRIVATE_EXPORT void setLastContinuousId(unsigned int a_uiId);
}  // namespace MessageTesting
}  // namespace XmlCommon

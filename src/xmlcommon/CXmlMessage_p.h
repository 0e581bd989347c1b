#pragma once

#include "CXmlMessage.h"

namespace XmlCommon
{
// A thread that makes messages for other threads to release, as a connection's thread does, keeps
// a home: the trees of the messages made there come back to it to be released. glibc's allocator
// serves a thread far faster from blocks that the same thread released than from blocks that
// other threads released, and a connection's thread allocates a tree for every message it reads.
// At most 256 trees wait at a home (64 at a thread without a Qt loop); when it is full or closed,
// a tree is released where its message ends, as it is without a home.
namespace MessageHome
{
// From now on, the trees of messages made on this thread come back here. A home whose Qt loop
// sleeps is woken to drain once 64 trees wait.
OXI_PRIVATE_EXPORT void open();
// Releases the trees that came back; cheap when none did. The loop's idle moments drain too.
OXI_PRIVATE_EXPORT void drain();
// Each open is closed once; the last close drains and takes nothing back any more.
OXI_PRIVATE_EXPORT void close();
}  // namespace MessageHome

namespace MessageTesting
{
// Makes a_uiId the last continuous id handed out, so that the wrap-around can be reached.
OXI_PRIVATE_EXPORT void setLastContinuousId(unsigned int a_uiId);
}  // namespace MessageTesting
}  // namespace XmlCommon

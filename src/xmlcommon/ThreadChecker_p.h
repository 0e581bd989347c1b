#pragma once

// Debian's Qt is not built for ThreadSanitizer: its event queue, thread join and mutexes are
// invisible to the checker. Where the library hands data across threads through them, these
// tell the checker that the hand-over happens before the data's use on the other side.
#if defined(OXI_TSAN_BUILD)
#include <sanitizer/tsan_interface.h>
#define OXI_TSAN_RELEASE(a_pAddress) __tsan_release(a_pAddress)
#define OXI_TSAN_ACQUIRE(a_pAddress) __tsan_acquire(a_pAddress)
#else
#define OXI_TSAN_RELEASE(a_pAddress) static_cast<void>(a_pAddress)
#define OXI_TSAN_ACQUIRE(a_pAddress) static_cast<void>(a_pAddress)
#endif

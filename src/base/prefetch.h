// Asks the processor to fetch the cache line at an address ahead of its use.
// Only a hint: any address is safe, and builds that cannot ask do nothing.
#pragma once

#if defined(_MSC_VER) && !defined(__clang__) && (defined(_M_X64) || defined(_M_IX86))
#include <xmmintrin.h>
#endif

namespace base {

inline void Prefetch(const void* at) {
#if defined(__GNUC__) || defined(__clang__)
    __builtin_prefetch(at);
#elif defined(_MSC_VER) && (defined(_M_X64) || defined(_M_IX86))
    _mm_prefetch(static_cast<const char*>(at), _MM_HINT_T0);
#else
    (void)at;
#endif
}

}  // namespace base

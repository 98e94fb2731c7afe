// Byte tests.
#include "common/bytes.h"

#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace common {

bool isAscii(std::string_view s) {
    const auto* p = reinterpret_cast<const unsigned char*>(s.data());
    const unsigned char* end = p + s.size();
#ifdef __SSE2__
    for (; end - p >= 16; p += 16)
        if (_mm_movemask_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p))) != 0) return false;
#endif
    for (; p < end; ++p)
        if (*p >= 0x80) return false;
    return true;
}

}  // namespace common

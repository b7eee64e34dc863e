// Overflow-checked 32-bit arithmetic of the HTTP client; failures raise codes 111-113.
#pragma once
#include <cstdint>
#include <limits>

#include "http/http_errors.h"

namespace zk {

inline uint32_t SafeAdd(uint32_t a, uint32_t b) {
    uint32_t r;
    if (__builtin_add_overflow(a, b, &r)) ThrowHttpArithmetic(ArithFailure::Overflow);
    return r;
}
// A size_t length that must fit the client's 32-bit counters.
inline uint32_t SafeLen(size_t n) {
    if (n > std::numeric_limits<uint32_t>::max()) ThrowHttpArithmetic(ArithFailure::Overflow);
    return static_cast<uint32_t>(n);
}

}  // namespace zk

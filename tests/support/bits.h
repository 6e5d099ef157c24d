// Bit-for-bit comparison of floating-point results.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <tuple>

#include "host/mi_types.h"

namespace vek::test {

inline std::uint32_t bits(float f) {
    std::uint32_t b;
    std::memcpy(&b, &f, sizeof b);
    return b;
}

inline std::uint64_t bits(double d) {
    std::uint64_t b;
    std::memcpy(&b, &d, sizeof b);
    return b;
}

inline float float_from_bits(std::uint32_t b) {
    float f;
    std::memcpy(&f, &b, sizeof f);
    return f;
}

// Equal bits, or both NaN.
inline ::testing::AssertionResult same_bits(float expected, float actual) {
    if (bits(expected) == bits(actual) || (expected != expected && actual != actual))
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "expected " << expected << " (0x" << std::hex << bits(expected)
                                         << "), got " << actual << " (0x" << bits(actual) << ")";
}

inline ::testing::AssertionResult same_bits(double expected, double actual) {
    if (bits(expected) == bits(actual) || (expected != expected && actual != actual))
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "expected " << expected << " (0x" << std::hex << bits(expected)
                                         << "), got " << actual << " (0x" << bits(actual) << ")";
}

inline ::testing::AssertionResult same_bits(const miColor &e, const miColor &a) {
    for (auto [x, y, channel] : {std::tuple{e.r, a.r, "r"}, {e.g, a.g, "g"}, {e.b, a.b, "b"}, {e.a, a.a, "a"}}) {
        auto r = same_bits(x, y);
        if (!r) return r << " in channel " << channel;
    }
    return ::testing::AssertionSuccess();
}

inline ::testing::AssertionResult same_bits(const miVector &e, const miVector &a) {
    for (auto [x, y, axis] : {std::tuple{e.x, a.x, "x"}, {e.y, a.y, "y"}, {e.z, a.z, "z"}}) {
        auto r = same_bits(x, y);
        if (!r) return r << " in component " << axis;
    }
    return ::testing::AssertionSuccess();
}

}  // namespace vek::test

#include "shaders/mixer/hsv.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "tests/support/bits.h"

namespace vek::test {
namespace {

using mixer::hsv_to_rgb;
using mixer::rgb_to_hsv;
using mixer::Triple;

const double nan = std::numeric_limits<double>::quiet_NaN();

::testing::AssertionResult same_bits(const Triple &e, const Triple &a) {
    for (auto [x, y, c] : {std::tuple{e.x, a.x, "x"}, {e.y, a.y, "y"}, {e.z, a.z, "z"}}) {
        auto r = vek::test::same_bits(x, y);
        if (!r) return r << " in channel " << c;
    }
    return ::testing::AssertionSuccess();
}

Triple to_hsv(Triple c) { return rgb_to_hsv(c), c; }
Triple to_rgb(Triple c) { return hsv_to_rgb(c), c; }

TEST(RgbToHsv, KnownColours) {
    struct Case {
        Triple rgb, hsv;
    } cases[] = {
        {{0, 0, 0}, {0, 0, 0}},
        {{0.5, 0.5, 0.5}, {0, 0, 0.5}},
        {{1, 0, 0}, {0, 1, 1}},
        {{0, 1, 0}, {1.0 / 3, 1, 1}},
        {{0, 0, 1}, {2.0 / 3, 1, 1}},
        // Red is tested first: (g - b) / d = -1, i.e. -1/6, wraps to 5/6.
        {{1, 0, 1}, {5.0 / 6, 1, 1}},
        {{1, 1, 0}, {1.0 / 6, 1, 1}},  // red and green tie: red's sector
        {{0, 1, 1}, {0.5, 1, 1}},      // green and blue tie: green's sector
        {{0.5, 0.25, 0}, {1.0 / 12, 1, 0.5}},
        {{1, 0.5, 0.75}, {11.0 / 12, 0.5, 1}},
        // Nothing is clamped: a negative channel gives a saturation above 1.
        {{1, -1, 0}, {11.0 / 12, 2, 1}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(::testing::Message() << c.rgb.x << ' ' << c.rgb.y << ' ' << c.rgb.z);
        EXPECT_TRUE(same_bits(c.hsv, to_hsv(c.rgb)));
    }
}

TEST(HsvToRgb, EverySectorWrappedHuesAndClamps) {
    struct Case {
        Triple hsv, rgb;
    } cases[] = {
        // Saturation 0.5 and value 1: p = 0.5, q = 1 - f / 2, t = 0.5 + f / 2.
        {{0.125, 0.5, 1}, {1, 0.875, 0.5}},
        {{0.25, 0.5, 1}, {0.75, 1, 0.5}},
        {{0.375, 0.5, 1}, {0.5, 1, 0.625}},
        {{0.625, 0.5, 1}, {0.5, 0.625, 1}},
        {{0.75, 0.5, 1}, {0.75, 0.5, 1}},
        {{0.875, 0.5, 1}, {1, 0.5, 0.875}},
        {{1.25, 0.5, 1}, {0.75, 1, 0.5}},   // as 0.25
        {{-0.25, 0.5, 1}, {0.75, 0.5, 1}},  // as 0.75
        {{3, 0.5, 1}, {1, 0.5, 0.5}},       // as 0
        // A tiny negative hue wraps to a full turn: sector 6, the last row, f = 0.
        {{-1e-300, 0.5, 1}, {1, 0.5, 1}},
        // A NaN hue takes the last row; its q is NaN.
        {{nan, 0.5, 1}, {1, 0.5, nan}},
        {{0.3, 1.5, 2}, to_rgb({0.3, 1, 1})},
        {{0.3, nan, 1}, to_rgb({0.3, 1, 1})},   // NaN saturation clamps to 1
        {{0.3, 0.5, nan}, to_rgb({0.3, 0.5, 1})},  // NaN value clamps to 1
        // Grey before clamping: the value stays as it is.
        {{0.3, 0, 2}, {2, 2, 2}},
        {{0.3, -0.0, -3}, {-3, -3, -3}},
        {{nan, 0, 0.5}, {0.5, 0.5, 0.5}},
        // Negative saturation is not grey: it clamps to 0 and every channel is v'.
        {{0.3, -0.5, 2}, {1, 1, 1}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(::testing::Message() << c.hsv.x << ' ' << c.hsv.y << ' ' << c.hsv.z);
        EXPECT_TRUE(same_bits(c.rgb, to_rgb(c.hsv)));
    }
}

TEST(HsvRoundTrip, LatticeOfUnitColours) {
    constexpr int kSteps = 10;
    for (int i = 0; i <= kSteps; ++i)
        for (int j = 0; j <= kSteps; ++j)
            for (int k = 0; k <= kSteps; ++k) {
                const Triple rgb = {double(i) / kSteps, double(j) / kSteps, double(k) / kSteps};
                const Triple hsv = to_hsv(rgb);
                ASSERT_TRUE(hsv.x >= 0 && hsv.x < 1);
                const Triple back = to_rgb(hsv);
                EXPECT_NEAR(rgb.x, back.x, 1e-15) << i << ' ' << j << ' ' << k;
                EXPECT_NEAR(rgb.y, back.y, 1e-15) << i << ' ' << j << ' ' << k;
                EXPECT_NEAR(rgb.z, back.z, 1e-15) << i << ' ' << j << ' ' << k;
            }
    // Greys come back exactly, through the grey case.
    EXPECT_TRUE(same_bits(Triple{0.5, 0.5, 0.5}, to_rgb(to_hsv({0.5, 0.5, 0.5}))));
}

}  // namespace
}  // namespace vek::test

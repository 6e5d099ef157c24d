#include "shaders/distance/remap.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "tests/support/bits.h"

namespace vek::test {
namespace {

using distance::RemapSettings;
using distance::remapped;

const float nan = std::numeric_limits<float>::quiet_NaN();

struct Case {
    RemapSettings s;
    double d;
    float expected;
};

void expect_cases(const Case *begin, const Case *end) {
    for (const Case *c = begin; c != end; ++c) {
        SCOPED_TRACE(::testing::Message() << "d " << c->d << " range " << c->s.min_distance << ".."
                                          << c->s.max_distance << " bias " << c->s.bias << " gain " << c->s.gain
                                          << " invert " << c->s.invert);
        EXPECT_TRUE(same_bits(c->expected, remapped(c->d, c->s)));
    }
}

TEST(DistanceRemap, RangeIsLinearAndClampedAtBothEnds) {
    const RemapSettings plain = {0, 10, 0.5f, 0.5f, 0};
    const RemapSettings flat = {3, 3, 0.5f, 0.5f, 0};
    const RemapSettings reversed = {5, 3, 0.5f, 0.5f, 0};
    const RemapSettings inverted = {0, 10, 0.5f, 0.5f, 1};
    const RemapSettings inverted_by_any_nonzero = {0, 10, 0.5f, 0.5f, -4};
    const Case cases[] = {
        {plain, -3, 0.0f},    {plain, 0, 0.0f},     {plain, 2.5, 0.25f},    {plain, 5, 0.5f},
        {plain, 10, 1.0f},    {plain, 12, 1.0f},
        // A range of zero width or a reversed one never divides.
        {flat, 3, 0.0f},      {flat, 3.0000000001, 1.0f},             {flat, 1e30, 1.0f},
        {reversed, 5, 0.0f},  {reversed, 4, 0.0f},  {reversed, -1, 0.0f},   {reversed, 5.5, 1.0f},
        {inverted, 2.5, 0.75f}, {inverted, 0, 1.0f}, {inverted, 12, 0.0f},
        {inverted_by_any_nonzero, 2.5, 0.75f},
    };
    expect_cases(std::begin(cases), std::end(cases));
}

TEST(DistanceRemap, RangeWidthIsTakenInSinglePrecision) {
    // 2^24 - (-1) rounds to 2^24 as a 32-bit value, so 2^23 lands at exactly
    // (2^23 + 1) / 2^24; with the width taken in double the result would round
    // to 0.5.
    const RemapSettings s = {-1.0f, 16777216.0f, 0.5f, 0.5f, 0};
    EXPECT_TRUE(same_bits(0.5f + 0x1p-24f, remapped(8388608.0, s)));
}

TEST(DistanceRemap, BiasAndGainBendTheRampAndKeepItsEnds) {
    const RemapSettings unit = {0, 1, 0.5f, 0.5f, 0};
    RemapSettings bias = unit, gain = unit, both = unit, inverted_bias = unit;
    bias.bias = 0.25f;
    gain.gain = 0.3f;
    both.bias = 0.25f;
    both.gain = 0.3f;
    inverted_bias.bias = 0.25f;
    inverted_bias.invert = 1;
    const Case exact[] = {
        {bias, 0, 0.0f},    {bias, 0.25, 0.1f}, {bias, 0.5, 0.25f}, {bias, 0.75, 0.5f}, {bias, 1, 1.0f},
        {gain, 0, 0.0f},    {gain, 0.5, 0.5f},  {gain, 1, 1.0f},
        // Inversion comes first: 0.25 is inverted to 0.75, then biased.
        {inverted_bias, 0.25, 0.5f},
    };
    expect_cases(std::begin(exact), std::end(exact));

    EXPECT_FLOAT_EQ(0.15f, remapped(0.25, gain));
    EXPECT_FLOAT_EQ(0.85f, remapped(0.75, gain));
    // Bias before gain: 0.75 is biased to 0.5, which the gain keeps (gain
    // first would give bias(0.85)); 0.5 is biased to 0.25, which the gain
    // takes to 0.15 (gain first would give 0.25).
    EXPECT_FLOAT_EQ(0.5f, remapped(0.75, both));
    EXPECT_FLOAT_EQ(0.15f, remapped(0.5, both));
}

TEST(DistanceRemap, NeutralSettingIsTestedAsA32BitValue) {
    // The float just above 0.5 is not neutral and bends the ramp slightly.
    const float above_half = std::nextafter(0.5f, 1.0f);
    const RemapSettings bias = {0, 1, above_half, 0.5f, 0};
    const RemapSettings gain = {0, 1, 0.5f, above_half, 0};
    EXPECT_NE(bits(0.1f), bits(remapped(0.1f, bias)));
    EXPECT_NE(bits(0.1f), bits(remapped(0.1f, gain)));
    // The neutral setting changes nothing, bit for bit.
    EXPECT_TRUE(same_bits(0.3f, remapped(0.3f, RemapSettings{0, 1, 0.5f, 0.5f, 0})));
}

TEST(DistanceRemap, UnguardedDenominatorsGiveNaNOrInfinityEdges) {
    const RemapSettings unit = {0, 1, 0.5f, 0.5f, 0};
    RemapSettings bias1 = unit, bias0 = unit, gain1 = unit, gain0 = unit;
    bias1.bias = 1;
    bias0.bias = 0;
    gain1.gain = 1;
    gain0.gain = 0;
    const Case cases[] = {
        // Bias 1: everything to 1 but 0, which is 0/0.
        {bias1, 0, nan},   {bias1, 0.25, 1.0f}, {bias1, 0.75, 1.0f}, {bias1, 1, 1.0f},
        // Bias 0: everything below 1 to 0, and 1 to NaN.
        {bias0, 0, 0.0f},  {bias0, 0.5, 0.0f},  {bias0, 0.75, 0.0f}, {bias0, 1, nan},
        // Gain 1: 0.5 everywhere but at the ends.
        {gain1, 0, nan},   {gain1, 0.25, 0.5f}, {gain1, 0.75, 0.5f}, {gain1, 1, nan},
        // Gain 0: below 0.5 to 0, from 0.5 up NaN.
        {gain0, 0.25, 0.0f}, {gain0, 0.5, nan}, {gain0, 0.75, nan},  {gain0, 1, nan},
    };
    expect_cases(std::begin(cases), std::end(cases));
}

TEST(DistanceRemap, NaNPassesTheRangeTestsAndReachesTheDivision) {
    const Case cases[] = {
        {{0, 10, 0.5f, 0.5f, 0}, nan, nan},
        {{0, 10, 0.25f, 0.3f, 1}, nan, nan},  // and stays NaN through both curves
        {{nan, 10, 0.5f, 0.5f, 0}, 5, nan},   // a NaN lower end never clamps to 0
        {{nan, 10, 0.5f, 0.5f, 0}, 12, 1.0f},
        {{0, nan, 0.5f, 0.5f, 0}, 20, nan},   // a NaN upper end never clamps to 1
        {{0, nan, 0.5f, 0.5f, 0}, -1, 0.0f},
        // A NaN bias or gain is not neutral.
        {{0, 1, nan, 0.5f, 0}, 0.5, nan},
        {{0, 1, 0.5f, nan, 0}, 0.5, nan},
    };
    expect_cases(std::begin(cases), std::end(cases));
}

}  // namespace
}  // namespace vek::test

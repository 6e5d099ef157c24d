#include "shaders/mixer/formulas.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>

#include "tests/support/bits.h"

namespace vek::test {
namespace {

using mixer::mix_color;
using mixer::mix_scalar;
using mixer::Triple;
namespace mode = mixer::mode;

// Each channel carries its own (top, base) pair, chosen so that every mode with
// a branch takes both sides across the three channels.
constexpr Triple kTop = {0.75, 0.25, 0.5};
constexpr Triple kBase = {0.25, 0.5, 0.75};

struct FormulaCase {
    int mode;
    double x, y, z;  // mixed value of each channel's pair
};

// Exact values of the formulas at the pairs above, by hand.
const FormulaCase kFormulaCases[] = {
    {mode::add, 1, 0.75, 1.25},
    {mode::subtract, 0.5, -0.25, -0.25},
    {mode::linear_burn, 0, -0.25, 0.25},
    {mode::multiply, 3.0 / 16, 1.0 / 8, 3.0 / 8},
    {mode::divide, 3, 0.5, 2.0 / 3},
    {mode::screen, 13.0 / 16, 5.0 / 8, 7.0 / 8},
    {mode::darken, 0.25, 0.25, 0.5},
    {mode::lighten, 0.75, 0.5, 0.75},
    {mode::difference, 0.5, 0.25, 0.25},
    {mode::negation, 1, 0.75, 0.75},
    {mode::exclusion, 5.0 / 8, 0.5, 0.5},
    {mode::overlay, 3.0 / 8, 0.25, 0.75},  // base 0.5 already takes the upper branch
    {mode::hard_light, 5.0 / 8, 0.25, 0.75},
    {mode::soft_light, 3.0 / 8, 3.0 / 8, 0.75},
    {mode::smooth_soft_light, 11.0 / 32, 3.0 / 8, 0.75},
    {mode::color_dodge, 1, 2.0 / 3, 1.5},
    {mode::color_burn, 0, -1, 0.5},
    {mode::exchanged_color_dodge, 1, 0.5, 2},
    {mode::exchanged_color_burn, 0, -0.5, 1.0 / 3},
    {mode::soft_dodge, 0.5, 1.0 / 3, 2.0 / 3},
    {mode::soft_burn, 0.5, 0.25, 0.75},
    {mode::reflect, 0.25, 1.0 / 3, 9.0 / 8},
    {mode::glow, 0.75, 1.0 / 8, 1},
    {mode::freeze, 0.25, 0, 7.0 / 8},
    {mode::heat, 0.75, -1.0 / 8, 2.0 / 3},
    {mode::cosine_interpolation, 0.5, 0.5 - std::sqrt(2.0) / 8, 0.5 + std::sqrt(2.0) / 8},
    {mode::linear_light, 0.75, 0, 0.75},
    {mode::exchanged_linear_light, 0.25, 0.25, 1},
};

TEST(MixFormulas, EveryModeInBothFormsAwayFromTheBounds) {
    bool seen[mixer::kFormulaModeCount + 1] = {};
    for (const auto &c : kFormulaCases) {
        SCOPED_TRACE(mixer::mix_mode_name(c.mode));
        seen[c.mode] = true;
        Triple top = kTop, base = kBase, mixed = {-9, -9, -9};
        mix_color(c.mode, top, base, mixed);
        EXPECT_DOUBLE_EQ(c.x, mixed.x);
        EXPECT_DOUBLE_EQ(c.y, mixed.y);
        EXPECT_DOUBLE_EQ(c.z, mixed.z);
        // No bound acts here, so the caller's triples stay as they were.
        for (auto [in, now] : {std::pair{kTop.x, top.x}, {kTop.y, top.y}, {kTop.z, top.z}, {kBase.x, base.x},
                               {kBase.y, base.y}, {kBase.z, base.z}})
            EXPECT_TRUE(same_bits(in, now));
        // The scalar form shares the formula and gives the colour form's value bit for bit.
        EXPECT_TRUE(same_bits(mixed.x, mix_scalar(c.mode, kTop.x, kBase.x)));
        EXPECT_TRUE(same_bits(mixed.y, mix_scalar(c.mode, kTop.y, kBase.y)));
        EXPECT_TRUE(same_bits(mixed.z, mix_scalar(c.mode, kTop.z, kBase.z)));
    }
    for (int m = 1; m <= mixer::kFormulaModeCount; ++m) EXPECT_TRUE(seen[m]) << "mode " << m << " not covered";
}

struct BoundCase {
    int mode;
    double t, b;
    double color, bounded_t, bounded_b;  // colour form: mixed value and what the triples hold afterwards
    double scalar;
};

// Values beyond the bounds: the colour form clamps to 0.001 / 0.999 and rewrites
// its input, the scalar form to 0.0001 / 0.9999 (`divide`: 0.001) and keeps it.
const BoundCase kBoundCases[] = {
    {mode::divide, 0.5, 0, 0.5 / 0.001, 0.5, 0.001, 0.5 / 0.001},
    {mode::color_dodge, 0.9995, 0.5, 0.5 / (1 - 0.999), 0.999, 0.5, 0.5 / (1 - 0.9995)},
    {mode::color_dodge, 1, 0.5, 0.5 / (1 - 0.999), 0.999, 0.5, 0.5 / (1 - 0.9999)},
    {mode::color_burn, 0, 0.5, 1 - (0.5 / 0.001), 0.001, 0.5, 1 - (0.5 / 0.0001)},
    {mode::exchanged_color_dodge, 0.5, 2, 0.5 / (1 - 0.999), 0.5, 0.999, 0.5 / (1 - 0.9999)},
    {mode::exchanged_color_burn, 0.5, 0.0005, 1 - (0.5 / 0.001), 0.5, 0.001, 1 - (0.5 / 0.0005)},
    // The unbounded sum 0.8 would take the first branch; the bounded values sum to 1.
    {mode::soft_dodge, 1.5, -0.7, 1 - ((0.5 * (1 - 0.999)) / 0.001), 0.999, 0.001,
     1 - ((0.5 * (1 - 0.9999)) / 0.0001)},
    {mode::soft_burn, -0.7, 1.5, 1 - ((0.5 * (1 - 0.999)) / 0.001), 0.001, 0.999,
     1 - ((0.5 * (1 - 0.9999)) / 0.0001)},
    {mode::reflect, 1, 0.5, 0.25 / (1 - 0.999), 0.999, 0.5, 0.25 / (1 - 0.9999)},
    {mode::glow, 0.5, 1, 0.25 / (1 - 0.999), 0.5, 0.999, 0.25 / (1 - 0.9999)},
    {mode::freeze, 0, 0.5, 1 - (0.25 / 0.001), 0.001, 0.5, 1 - (0.25 / 0.0001)},
    {mode::heat, 0.5, 0, 1 - (0.25 / 0.001), 0.5, 0.001, 1 - (0.25 / 0.0001)},
};

TEST(MixFormulas, ColourFormBoundsItsInputInPlaceScalarFormKeepsItsOwn) {
    for (const auto &c : kBoundCases) {
        SCOPED_TRACE(mixer::mix_mode_name(c.mode));
        // One bounded channel between two untouched ones.
        Triple top = {0.25, c.t, 0.25}, base = {0.5, c.b, 0.5}, mixed{};
        mix_color(c.mode, top, base, mixed);
        EXPECT_TRUE(same_bits(c.color, mixed.y));
        EXPECT_TRUE(same_bits(c.bounded_t, top.y));
        EXPECT_TRUE(same_bits(c.bounded_b, base.y));
        EXPECT_TRUE(same_bits(0.25, top.x) && same_bits(0.5, base.z));
        EXPECT_TRUE(same_bits(c.scalar, mix_scalar(c.mode, c.t, c.b)));
    }
}

TEST(MixFormulas, EdgeValuesBitForBit) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    struct Case {
        int mode;
        double t, b, expected;
    } cases[] = {
        {mode::darken, 0.3, 0.3, 0.3},
        {mode::lighten, 0.3, 0.3, 0.3},
        {mode::darken, nan, 0.3, 0.3},  // a NaN loses every comparison: the base wins
        {mode::lighten, nan, 0.3, 0.3},
        {mode::darken, 0.3, nan, nan},
        {mode::overlay, 0.25, 0.5, 1 - 2 * ((1 - 0.25) * 0.5)},
        {mode::soft_light, 0.5, 0.3, 0.3},  // upper branch: sqrt(b) * 0 + 0.5 * 2b
        {mode::soft_light, 0.5, -1, nan},
        {mode::cosine_interpolation, 0, 0, 0},
        {mode::cosine_interpolation, 1, 1, 1},
        {mode::cosine_interpolation, 0, 1, 0.5},
        {mode::linear_light, 1, 0, 1},
        {mode::exchanged_linear_light, 1, 0, 0},
        {mode::divide, 0.5, nan, nan},  // a NaN is not bounded
        {mode::add, 0.5, nan, nan},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(::testing::Message() << mixer::mix_mode_name(c.mode) << " t=" << c.t << " b=" << c.b);
        EXPECT_TRUE(same_bits(c.expected, mix_scalar(c.mode, c.t, c.b)));
        Triple top = {c.t, c.t, c.t}, base = {c.b, c.b, c.b}, mixed{};
        mix_color(c.mode, top, base, mixed);
        EXPECT_TRUE(same_bits(c.expected, mixed.z));
    }
    // The colour form leaves a NaN base channel as it found it.
    Triple top = {0.5, 0.5, 0.5}, base = {nan, 0, nan}, mixed{};
    mix_color(mode::divide, top, base, mixed);
    EXPECT_TRUE(std::isnan(base.x) && std::isnan(base.z));
    EXPECT_TRUE(same_bits(0.001, base.y));
}

TEST(MixFormulas, ModeNames) {
    struct Case {
        int mode;
        const char *name;
    } cases[] = {
        {0, "normal"},
        {1, "add"},
        {17, "color_burn"},
        {28, "exchanged_linear_light"},
        {40, "normal_by_top_alpha"},
        {41, "normal_by_top_transparency"},
        {-1, nullptr},
        {29, nullptr},
        {39, nullptr},
        {42, nullptr},
    };
    for (const auto &c : cases) {
        const char *name = mixer::mix_mode_name(c.mode);
        if (c.name == nullptr)
            EXPECT_EQ(nullptr, name) << c.mode;
        else
            EXPECT_STREQ(c.name, name) << c.mode;
    }
}

}  // namespace
}  // namespace vek::test

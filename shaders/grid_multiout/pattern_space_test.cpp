#include "shaders/grid_multiout/pattern_space.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <limits>

#include "tests/support/bits.h"

namespace vek::test {
namespace {

using namespace vek::grid;

constexpr float nan_f = std::numeric_limits<float>::quiet_NaN();

TEST(GridComponentGroups, EachModeCombinesComponentwiseInSinglePrecision) {
    const miVector V = {1.5f, -2.0f, 0.1f};
    const miVector s = {3.0f, 0.25f, 0.2f};
    const miVector neutral = {7.0f, 8.0f, 9.0f};
    struct Case {
        miInteger mode;
        miVector expected;
    } cases[] = {
        {1, s},
        {2, V},
        {3, {4.5f, -1.75f, 0.1f + 0.2f}},
        {4, {1.5f, 2.25f, 0.2f - 0.1f}},
        {5, {-1.5f, -2.25f, 0.1f - 0.2f}},
        {6, {4.5f, -0.5f, 0.1f * 0.2f}},
        // Every value outside 1..6 is neutral.
        {0, neutral},
        {7, neutral},
        {-1, neutral},
        {INT_MIN, neutral},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.mode);
        const ComponentMode mode = component_mode(c.mode);
        EXPECT_TRUE(same_bits(c.expected, combined(mode, V, s, neutral)));
    }
}

TEST(GridComponentGroups, SignsOfZeroAndTheVectorMinusComponentsForm) {
    // V + (0 - s) turns -0 - 0 into +0 where a plain subtraction keeps -0.
    const miVector V = {-0.0f, -0.0f, 1.0f};
    const miVector s = {0.0f, -0.0f, 1.0f};
    const miVector zero = {0, 0, 0};
    EXPECT_TRUE(same_bits(miVector{0.0f, 0.0f, 0.0f}, combined(ComponentMode::vector_minus_components, V, s, zero)));
    EXPECT_TRUE(same_bits(miVector{0.0f, 0.0f, 0.0f}, combined(ComponentMode::components_minus_vector, V, s, zero)));
    // The scale group's worked example: (1, 1, 1) and (3, 3, 3).
    const miVector ones = {1, 1, 1}, threes = {3, 3, 3};
    EXPECT_TRUE(same_bits(miVector{2, 2, 2}, combined(ComponentMode::components_minus_vector, ones, threes, zero)));
    EXPECT_TRUE(same_bits(miVector{-2, -2, -2}, combined(ComponentMode::vector_minus_components, ones, threes, zero)));
}

TEST(GridComponentGroups, ModesReadOnlyTheInputsTheyCombine) {
    struct Case {
        miInteger mode;
        bool vector, components;
    } cases[] = {{0, false, false}, {1, false, true}, {2, true, false}, {3, true, true}, {4, true, true},
                 {5, true, true},   {6, true, true},  {7, false, false}, {-3, false, false}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.mode);
        EXPECT_EQ(c.vector, reads_vector(component_mode(c.mode)));
        EXPECT_EQ(c.components, reads_components(component_mode(c.mode)));
    }
}

TEST(GridPatternSpace, MirrorThenDivideThenSubtractInDouble) {
    struct Case {
        float p;
        bool mirror;
        float scale, offset;
        double expected;
    } cases[] = {
        {-3.0f, true, 2.0f, 0.5f, 1.0},
        {3.0f, true, 2.0f, 0.5f, 1.0},
        {-3.0f, false, 2.0f, 0.5f, -2.0},
        {-0.0f, true, 1.0f, 0.0f, 0.0},
        // Widened before dividing: a float quotient would round differently.
        {0.1f, false, 3.0f, 0.2f, static_cast<double>(0.1f) / 3.0 - static_cast<double>(0.2f)},
        {1.0f, false, 3.0f, 0.0f, 1.0 / 3.0},
        {1.0f, false, 0.0f, 0.0f, std::numeric_limits<double>::infinity()},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.p);
        EXPECT_TRUE(same_bits(c.expected, axis_coordinate(c.p, c.mirror, c.scale, c.offset)));
    }
    EXPECT_TRUE(std::isnan(axis_coordinate(0.0f, false, 0.0f, 0.0f)));
}

TEST(GridPatternSpace, EachAxisTakesItsOwnMirrorScaleAndOffset) {
    const Coords c = pattern_coordinates({-4, -6, -8}, {false, true, false}, {2, 4, 8}, {0.5f, 0, -1});
    EXPECT_TRUE(same_bits(-2.5, c.u));
    EXPECT_TRUE(same_bits(1.5, c.v));
    EXPECT_TRUE(same_bits(0.0, c.w));
}

TEST(GridPatternSpace, TextureEntriesOutsideTheListGiveTheOrigin) {
    // One entry past the count, so a read beyond it shows.
    const miVector list[4] = {{1, 2, 3}, {4, 5, 6}, {7, 8, 9}, {10, 11, 12}};
    const miVector origin = {0, 0, 0};
    struct Case {
        const miVector *list;
        miInteger count, index;
        miVector expected;
    } cases[] = {
        {list, 3, 0, list[0]}, {list, 3, 2, list[2]},     {list, 3, 3, origin},
        {list, 3, -1, origin}, {list, 3, INT_MIN, origin}, {list, 3, INT_MAX, origin},
        {list, 0, 0, origin},  {list, -2, 0, origin},      {nullptr, 3, 0, origin},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.index);
        EXPECT_TRUE(same_bits(c.expected, texture_entry(c.list, c.count, c.index)));
    }
}

TEST(GridPatternSpace, OnlyAllZeroAnglesSkipTheRotation) {
    EXPECT_FALSE(turns({0, 0, 0}));
    EXPECT_FALSE(turns({-0.0f, 0, -0.0f}));
    EXPECT_TRUE(turns({0, 0, 1e-45f}));
    EXPECT_TRUE(turns({nan_f, 0, 0}));
}

}  // namespace
}  // namespace vek::test

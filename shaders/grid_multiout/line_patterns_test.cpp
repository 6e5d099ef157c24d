#include "shaders/grid_multiout/line_patterns.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "shaders/grid_multiout/patterns.h"
#include "tests/support/bits.h"

namespace vek::grid {
namespace {

using test::same_bits;

PatternSizes sizes(miVector cell, miVector width, miVector soft) { return {cell, width, soft}; }

TEST(SmoothStep, ZeroBelowOneAtTheUpperEdgeCubicBetween) {
    struct Case {
        double e0, e1, x, expected;
    } cases[] = {
        {0, 1, -0.5, 0.0},
        {0, 1, 0.0, 0.0},
        {0, 1, 0.25, 5.0 / 32.0},
        {0, 1, 0.5, 0.5},
        {0, 1, 1.0, 1.0},
        {0, 1, 7.0, 1.0},
        {2, 4, 3.0, 0.5},
        {-1, 1, 0.0, 0.5},
        // Equal edges: the upper test wins at the edge, nothing is divided.
        {1, 1, 1.0, 1.0},
    };
    for (const auto &c : cases) EXPECT_TRUE(same_bits(c.expected, smooth_step(c.e0, c.e1, c.x))) << c.x;
}

TEST(LineProfile, HardAndSoftLinesCentredOnEveryMultipleOfThePeriod) {
    struct Case {
        double c, P, W, S;
        bool clamp;
        double expected;
    } cases[] = {
        // Hard lines a quarter wide: on within 0.125 of a multiple, edges included.
        {0.05, 1, 0.25, 0, true, 1.0},
        {0.98, 1, 0.25, 0, true, 1.0},
        {-0.02, 1, 0.25, 0, true, 1.0},
        {0.125, 1, 0.25, 0, true, 1.0},
        {-3.875, 1, 0.25, 0, true, 1.0},
        {0.5, 1, 0.25, 0, true, 0.0},
        {0.3, 1, 0.25, 0, true, 0.0},
        {-0.3, 1, 0.25, -1, true, 0.0},
        // Soft lines half wide and fully soft: 1 only on the multiples.
        {0.0, 1, 0.5, 0.5, true, 1.0},
        {2.0, 1, 0.5, 0.5, true, 1.0},
        {0.125, 1, 0.5, 0.5, true, 0.5},
        {-0.125, 1, 0.5, 0.5, true, 0.5},
        {0.875, 1, 0.5, 0.5, true, 0.5},
        {0.25, 1, 0.5, 0.5, true, 0.0},
        {0.4, 1, 0.5, 0.5, true, 0.0},
        // A soft edge keeps the line's outer edge; the core is W - S wide.
        {0.0625, 1, 0.5, 0.25, true, 1.0},
        {0.1875, 1, 0.5, 0.25, true, 0.5},
        // Period 4: the line sits at 0 and 4, not at 1.
        {1.0, 4, 1, 0, true, 0.0},
        {4.25, 4, 1, 0, true, 1.0},
        // Clamping the width to the period matters once the edge is soft.
        {0.5, 1, 2, 2, true, 0.0},
        {0.5, 1, 2, 2, false, 0.5},
    };
    for (const auto &c : cases)
        EXPECT_TRUE(same_bits(c.expected, line_profile(c.c, c.P, c.W, c.S, c.clamp)))
            << c.c << " P " << c.P << " W " << c.W << " S " << c.S << " clamp " << c.clamp;
}

TEST(LinePatterns, StripesCrossingsGridAndLatticeCombineTheAxes) {
    // Hard lines 0.25 wide with period 1 on every axis: 0 is on a line, 0.5 is not.
    const PatternSizes s = sizes({1, 1, 1}, {0.25f, 0.25f, 0.25f}, {0, 0, 0});
    struct Case {
        Coords c;
        double stripes, crossings, grid, lattice;
    } cases[] = {
        {{0.0, 0.5, 0.5}, 1, 0, 1, 1}, {{0.5, 0.0, 0.5}, 0, 0, 1, 1}, {{0.0, 0.0, 0.5}, 1, 1, 1, 1},
        {{0.5, 0.5, 0.0}, 0, 0, 0, 1}, {{0.5, 0.5, 0.5}, 0, 0, 0, 0}, {{-1.0, 3.0, 0.5}, 1, 1, 1, 1},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(c.stripes, stripes(c.c, s));
        EXPECT_EQ(c.crossings, crossings(c.c, s));
        EXPECT_EQ(c.grid, grid(c.c, s));
        EXPECT_EQ(c.lattice, lattice(c.c, s));
    }
    // Soft profiles of the two axes: the smaller and the larger of them.
    const PatternSizes soft = sizes({1, 1, 1}, {0.5f, 0.5f, 0.5f}, {0.5f, 0.5f, 0.5f});
    const Coords c{0.125, 0.0625, 0.5};
    const double lu = line_profile(0.125, 1, 0.5, 0.5, true), lv = line_profile(0.0625, 1, 0.5, 0.5, true);
    EXPECT_TRUE(same_bits(lu, crossings(c, soft)));
    EXPECT_TRUE(same_bits(lv, grid(c, soft)));
    EXPECT_TRUE(same_bits(lv, lattice(c, soft)));
}

TEST(LinePatterns, WidthBeyondThePeriodCoversEverythingWithHardEdges) {
    const PatternSizes s = sizes({1, 2, 0.5f}, {3, 2.5f, 1}, {0, 0, 0});
    std::mt19937_64 rng(7);
    std::uniform_real_distribution<double> coord(-50.0, 50.0);
    for (int n = 0; n < 100; ++n) {
        const Coords c{coord(rng), coord(rng), coord(rng)};
        for (int kind : {0, 1, 2, 3}) EXPECT_EQ(1.0, pattern_value(kind, c, s)) << kind;
    }
}

TEST(LinePatterns, SoftnessBeyondTheWidthActsAsTheWidth) {
    const miVector cell{1, 1.5f, 0.75f}, width{0.375f, 0.5f, 0.25f};
    const PatternSizes limited = sizes(cell, width, width);
    const PatternSizes excessive = sizes(cell, width, {5, 0.75f, 100});
    std::mt19937_64 rng(11);
    std::uniform_real_distribution<double> coord(-10.0, 10.0);
    for (int n = 0; n < 200; ++n) {
        const Coords c{coord(rng), coord(rng), coord(rng)};
        for (int kind : {0, 1, 2, 3, 4, 10, 11})
            EXPECT_TRUE(same_bits(pattern_value(kind, c, limited), pattern_value(kind, c, excessive))) << kind;
    }
}

TEST(Weave, HardThreadsPassOverAndUnder) {
    // Threads 0.25 wide on period 1: u = 0.05 is on an even thread, 1.05 on an
    // odd one, 0.3 and 0.6 are off; likewise for v.
    const PatternSizes s = sizes({1, 2, 1}, {0.25f, 0.5f, 0}, {0, 0, 0});
    const double pi = 3.141592653589793;
    auto on_u = [&](double v, bool even) {  // off the v threads
        const double k = std::cos((v * pi) / 2.0);
        return 1.0 - (even ? (k + 1.0) * 0.5 : 1.0 - (k + 1.0) * 0.5);
    };
    auto on_v = [&](double u, bool even) {  // off the u threads
        const double k = std::cos((u * pi) / 1.0 + pi);
        return 1.0 - (even ? (k + 1.0) * 0.5 : 1.0 - (k + 1.0) * 0.5);
    };
    struct Case {
        Coords c;
        double expected;
    } cases[] = {
        {{0.3, 0.6, 0}, 0.0},
        {{-0.4, 1.0, 0}, 0.0},
        {{0.05, 0.6, 0}, on_u(0.6, true)},
        {{-0.05, 0.7, 0}, on_u(0.7, true)},
        {{1.05, 0.6, 0}, on_u(0.6, false)},
        {{0.3, 0.1, 0}, on_v(0.3, true)},
        {{0.4, 2.1, 0}, on_v(0.4, false)},
        {{0.4, -1.9, 0}, on_v(0.4, false)},
    };
    for (const auto &c : cases) EXPECT_TRUE(same_bits(c.expected, weave(c.c, s))) << c.c.u << " " << c.c.v;

    // Where both threads cross, the one on top (the smaller depth) decides.
    const Coords both{0.0, 0.0, 0};  // even u thread with k = 1: depth 1; even v thread with k = -1: depth 0
    EXPECT_EQ(1.0, weave(both, s));
}

TEST(Weave, SoftThreadsAddAnEdgeTerm) {
    // Period 1, threads 0.5 wide, edges 0.25 soft: d = 0.5 is the thread's edge
    // (edge term 0.5), d = 0.75 ends the soft zone (edge term 0).
    const PatternSizes s = sizes({1, 1, 1}, {0.5f, 0.5f, 0}, {0.25f, 0.25f, 0});
    const double pi = 3.141592653589793;
    const double kv_off = std::cos((0.5 * pi) / 1.0);  // v = 0.5 lies off the v threads
    struct Case {
        double u;
        double b;
        bool even;
    } cases[] = {
        {0.75, 0.5, false},   // m = 0.75: d = 0.5, the edge of the odd thread at 1
        {0.25, 0.5, true},    // the edge of the even thread at 0
        {0.875, 0.0, false},  // d = 0.75: the soft zone ends
        {1.0, 0.0, false},    // core
        {0.8125, 0.5 - std::sin(((0.625 - 0.5) / 0.25) * 1.5707963267948966) * 0.5, false},
    };
    for (const auto &c : cases) {
        const double depth = c.even ? c.b + (kv_off + 1.0) * 0.25 : c.b + (0.5 - (kv_off + 1.0) * 0.25);
        EXPECT_TRUE(same_bits(1.0 - depth, weave({c.u, 0.5, 0}, s))) << c.u;
    }
}

TEST(Bricks, PeriodsAreSummedInSinglePrecision) {
    EXPECT_TRUE(same_bits(static_cast<double>(0.1f + 0.2f), brick_period(0.1f, 0.2f)));
    EXPECT_NE(static_cast<double>(0.1f) + static_cast<double>(0.2f), brick_period(0.1f, 0.2f));
    EXPECT_TRUE(same_bits(1.0, brick_period(1e-8f, 1.0f)));
}

TEST(Bricks, EveryOtherRowIsShiftedByHalfABrick) {
    // Bricks 1 x 1 with joints 0.25: periods 1.25, rows of height 1.25; the rows
    // with v in (1.25, 2.5) modulo 2.5 are shifted by 0.625.
    const PatternSizes s = sizes({1, 1, 1}, {0.25f, 0.25f, 0.25f}, {0, 0, 0});
    struct Case {
        Coords c;
        double bricks, bricks_3d;
    } cases[] = {
        {{0.0, 0.6, 0.3}, 1, 1},                                  // vertical joint of an unshifted row
        {{0.625, 0.6, 0.3}, 0, 0},                                // mid-brick
        {{0.0, 1.85, 0.3}, 0, 0},                                 // the shifted row has a brick there ...
        {{0.625, 1.85, 0.3}, 1, 1},                               // ... and its joint half a brick over
        {{0.625, -0.65, 0.3}, 1, 1},                              // negative rows alternate the same way
        {{0.3, 0.0, 0.3}, 1, 1},                                  // horizontal joints are continuous
        {{0.3, 1.25, 0.3}, 1, 1},    {{0.3, 0.6, 0.0}, 0, 1},     // joint along w
        {{0.3, 0.6, 0.625}, 0, 0},   {{0.3, 1.85, 0.625}, 0, 1},  // a shifted row moves the w joints too
        {{0.3, 1.85, 0.0}, 0, 0},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(c.bricks, bricks(c.c, s)) << c.c.u << " " << c.c.v << " " << c.c.w;
        EXPECT_EQ(c.bricks_3d, bricks_3d(c.c, s)) << c.c.u << " " << c.c.v << " " << c.c.w;
    }
}

TEST(Bricks, JointWidthIsNotLimitedToThePeriod) {
    // Only a negative brick size makes the joint wider than its period (0.5).
    const PatternSizes s = sizes({-0.5f, -0.5f, -0.5f}, {1, 1, 1}, {1, 1, 1});
    const Coords c{0.1, 0.2, 0.3};
    const double lu = line_profile(0.1, 0.5, 1.0, 1.0, false), lv = line_profile(0.2, 0.5, 1.0, 1.0, false);
    ASSERT_NE(line_profile(0.2, 0.5, 1.0, 1.0, true), lv);
    EXPECT_TRUE(same_bits(std::max(lu, lv), bricks(c, s)));
    const double lw = line_profile(0.3, 0.5, 1.0, 1.0, false);
    EXPECT_TRUE(same_bits(std::max(std::max(lu, lv), lw), bricks_3d(c, s)));
}

}  // namespace
}  // namespace vek::grid

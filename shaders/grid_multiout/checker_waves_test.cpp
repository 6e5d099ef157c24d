#include "shaders/grid_multiout/checker_waves.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "tests/support/bits.h"

namespace vek::grid {
namespace {

using test::same_bits;

TEST(Waves, ThreeCosinesOfTheCoordinatesInCells) {
    const PatternSizes s{{2, 0.5f, 4}, {0, 0, 0}, {0, 0, 0}};
    struct Case {
        Coords c;
        double expected;
    } cases[] = {
        {{0, 0, 0}, 1.0},
        {{2, 0, 0}, 4.0 * 0.16666666666666666},  // (1 - 1 + 1 + 3) / 6
        {{-2, 0, 0}, 4.0 * 0.16666666666666666},
        {{2, 0.5, 4}, 0.0},
        {{4, 1, 8}, 1.0},  // even multiples of every cell size
    };
    for (const auto &c : cases) EXPECT_TRUE(same_bits(c.expected, waves(c.c, s))) << c.c.u;

    // The order of the operations is fixed: divide, then multiply by pi; v first.
    const double pi = 3.141592653589793;
    std::mt19937_64 rng(5);
    std::uniform_real_distribution<double> coord(-20.0, 20.0);
    const PatternSizes odd{{0.3f, 1.7f, 0.9f}, {0, 0, 0}, {0, 0, 0}};
    for (int n = 0; n < 100; ++n) {
        const Coords c{coord(rng), coord(rng), coord(rng)};
        const double px = 0.3f, py = 1.7f, pz = 0.9f;
        const double expected =
            (std::cos((c.v / py) * pi) + std::cos((c.u / px) * pi) + std::cos((c.w / pz) * pi) + 3.0) *
            0.16666666666666666;
        ASSERT_TRUE(same_bits(expected, waves(c, odd)));
    }
}

TEST(SquareWave, OnForTheFirstPartOfTwoCellsWithSoftSteps) {
    struct Case {
        double c, P, W, S, expected;
    } cases[] = {
        // Hard: on for m < 2P - 2W.
        {0.5, 1, 0.5, 0, 1.0},
        {0.999, 1, 0.5, 0, 1.0},
        {1.0, 1, 0.5, 0, 0.0},
        {1.5, 1, 0.5, 0, 0.0},
        {2.5, 1, 0.5, 0, 1.0},
        {-0.5, 1, 0.5, 0, 0.0},  // m = 1.5
        {-1.5, 1, 0.5, 0, 1.0},
        {1.9, 1, 0.0, 0, 1.0},  // no width: always on
        {0.1, 1, 1.5, 0, 0.0},  // the width is limited to the period: never on
        // Soft: Q = 2, h = 1, s = 0.25.
        {0.0, 1, 0.5, 0.25, 0.5},
        {0.25, 1, 0.5, 0.25, 1.0},
        {0.5, 1, 0.5, 0.25, 1.0},
        {0.75, 1, 0.5, 0.25, 1.0},
        {1.0, 1, 0.5, 0.25, 0.5},
        {1.25, 1, 0.5, 0.25, 0.0},
        {1.5, 1, 0.5, 0.25, 0.0},
        {1.75, 1, 0.5, 0.25, 0.0},
        {1.875, 1, 0.5, 0.25, 0.15625},  // the rise at the period's end
        {0.125, 1, 0.5, 0.25, 0.84375},
        {0.875, 1, 0.5, 0.25, 0.84375},
        {-0.125, 1, 0.5, 0.25, 0.15625},
    };
    for (const auto &c : cases)
        EXPECT_TRUE(same_bits(c.expected, square_wave(c.c, c.P, c.W, c.S))) << c.c << " W " << c.W << " S " << c.S;
}

TEST(SquareWave, SoftnessIsLimitedToTheShorterPart) {
    // W2 = 0.5 < h = 1.5: any softness beyond 0.25 acts as 0.25; and with
    // W2 = 1.5 > h = 0.5 the limit is h.
    std::mt19937_64 rng(3);
    std::uniform_real_distribution<double> coord(-6.0, 6.0);
    for (int n = 0; n < 200; ++n) {
        const double c = coord(rng);
        EXPECT_TRUE(same_bits(square_wave(c, 1, 0.25, 0.25), square_wave(c, 1, 0.25, 3.0))) << c;
        EXPECT_TRUE(same_bits(square_wave(c, 1, 0.75, 0.25), square_wave(c, 1, 0.75, 0.6))) << c;
    }
}

TEST(Checker, HardSquaresRepeatEveryTwoCells) {
    const PatternSizes s{{1, 1, 1}, {0.5f, 0.5f, 0.5f}, {0, 0, 0}};
    struct Case {
        double u, v, expected;
    } cases[] = {
        {0.5, 0.5, 0}, {1.5, 0.5, 1}, {0.5, 1.5, 1},  {1.5, 1.5, 0},
        {2.5, 2.5, 0}, {3.5, 0.5, 1}, {-0.5, 0.5, 1}, {-0.5, -0.5, 0},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(c.expected, checker({c.u, c.v, 0.5}, s)) << c.u << " " << c.v;
        // The third axis keeps the checker for w in (0, 1) and inverts it in (1, 2).
        EXPECT_EQ(c.expected, checker_3d({c.u, c.v, 0.5}, s));
        EXPECT_EQ(1.0 - c.expected, checker_3d({c.u, c.v, 1.5}, s));
        EXPECT_EQ(1.0 - c.expected, checker_3d({c.u, c.v, -0.5}, s));
    }
    const PatternSizes no_width{{1, 1, 1}, {0, 0, 0}, {0, 0, 0}};
    for (double u : {0.1, 0.9, 1.5, -3.2}) EXPECT_EQ(0.0, checker({u, u * 1.7, 0}, no_width));
}

TEST(Checker, SoftAxesBlendWhileHardAxesSelect) {
    const double cu = square_wave(0.1, 1, 0.5, 0.25);  // inside the first rise
    const double cv = square_wave(1.0625, 1, 0.5, 0.25);
    const double cw = square_wave(0.9375, 1, 0.5, 0.25);
    ASSERT_TRUE(cu > 0 && cu < 1 && cv > 0 && cv < 1 && cw > 0 && cw < 1);
    struct Case {
        miVector softness;
        Coords c;
        double checker, checker_3d;
    } cases[] = {
        // Soft second axis: Cu where Cv is 0, 1 - Cu where Cv is 1, blended between.
        {{0.25f, 0.25f, 0}, {0.1, 1.5, 0.5}, cu, cu},
        {{0.25f, 0.25f, 0}, {0.1, 1.0625, 0.5}, ((1.0 - cu) - cu) * cv + cu, ((1.0 - cu) - cu) * cv + cu},
        // Hard second axis: selects 1 - Cu where its wave is on.
        {{0.25f, 0, 0}, {0.1, 0.5, 0.5}, 1.0 - cu, 1.0 - cu},
        {{0.25f, 0, 0}, {0.1, 1.5, 1.5}, cu, 1.0 - cu},
        // Soft third axis: the checker where Cw is 1, its inverse where Cw is 0.
        {{0.25f, 0, 0.25f}, {0.1, 1.5, 0.5}, cu, (cu - (1.0 - cu)) * 1.0 + (1.0 - cu)},
        {{0.25f, 0, 0.25f}, {0.1, 1.5, 1.5}, cu, 1.0 - cu},
        {{0.25f, 0, 0.25f}, {0.1, 1.5, 0.9375}, cu, (cu - (1.0 - cu)) * cw + (1.0 - cu)},
    };
    for (const auto &c : cases) {
        const PatternSizes s{{1, 1, 1}, {0.5f, 0.5f, 0.5f}, c.softness};
        EXPECT_TRUE(same_bits(c.checker, checker(c.c, s))) << c.c.u << " " << c.c.v << " " << c.c.w;
        EXPECT_TRUE(same_bits(c.checker_3d, checker_3d(c.c, s))) << c.c.u << " " << c.c.v << " " << c.c.w;
    }
}

}  // namespace
}  // namespace vek::grid

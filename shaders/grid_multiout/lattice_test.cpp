#include "shaders/grid_multiout/lattice.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <vector>

#include "tests/support/bits.h"

namespace vek::grid {
namespace {

using test::same_bits;

const double nan = std::numeric_limits<double>::quiet_NaN();
const double inf = std::numeric_limits<double>::infinity();

bool is_permutation_of_range(const std::int32_t *table, int size) {
    std::vector<std::int32_t> sorted(table, table + size);
    std::sort(sorted.begin(), sorted.end());
    for (int i = 0; i < size; ++i)
        if (sorted[i] != i) return false;
    return true;
}

TEST(LatticeTables, ArePermutationsHoldingTheFixedEntries) {
    struct Case {
        const std::int32_t *table;
        std::int32_t head[8];
        std::int32_t last;
    } cases[] = {
        {lattice_table_1, {3550, 3369, 2176, 138, 3001, 769, 298, 2641}, 742},
        {lattice_table_2, {2011, 434, 2348, 3918, 761, 2424, 1525, 2551}, 3157},
        {lattice_table_3, {3193, 3191, 425, 3363, 2651, 950, 2771, 2211}, 1513},
    };
    static_assert(lattice_table_entries == 4097 && lattice_mask == 4095, "table size");
    for (const auto &c : cases) {
        EXPECT_TRUE(is_permutation_of_range(c.table, lattice_table_entries));
        for (int i = 0; i < 8; ++i) EXPECT_EQ(c.head[i], c.table[i]) << "entry " << i;
        EXPECT_EQ(c.last, c.table[lattice_table_size]);
    }
    EXPECT_FALSE(std::equal(lattice_table_1, lattice_table_1 + lattice_table_entries, lattice_table_2));
    EXPECT_FALSE(std::equal(lattice_table_1, lattice_table_1 + lattice_table_entries, lattice_table_3));
    EXPECT_FALSE(std::equal(lattice_table_2, lattice_table_2 + lattice_table_entries, lattice_table_3));
}

TEST(LatticeTables, CellPermutationIsTwoDifferentPermutations) {
    static_assert(cell_permutation_size == 512 && cell_mask == 511, "table size");
    const std::int32_t first[8] = {102, 114, 0, 197, 46, 107, 248, 228};
    const std::int32_t second[8] = {15, 157, 58, 196, 237, 121, 142, 230};
    EXPECT_TRUE(is_permutation_of_range(cell_permutation, 256));
    EXPECT_TRUE(is_permutation_of_range(cell_permutation + 256, 256));
    EXPECT_FALSE(std::equal(cell_permutation, cell_permutation + 256, cell_permutation + 256));
    for (int i = 0; i < 8; ++i) {
        EXPECT_EQ(first[i], cell_permutation[i]);
        EXPECT_EQ(second[i], cell_permutation[256 + i]);
    }
}

TEST(CellIndex, FloorsThenTruncatesAndMapsTheUnrepresentableToMinimum) {
    struct Case {
        double x;
        std::int32_t expected;
    } cases[] = {
        {0.0, 0},
        {-0.0, 0},
        {0.999, 0},
        {-0.25, -1},
        {-1.0, -1},
        {-1.5, -2},
        {2147483647.0, INT32_MAX},
        {2147483647.999, INT32_MAX},
        {2147483648.0, INT32_MIN},
        {-2147483648.0, INT32_MIN},
        {-2147483647.5, INT32_MIN},
        {-2147483648.5, INT32_MIN},
        {1e300, INT32_MIN},
        {-1e300, INT32_MIN},
        {inf, INT32_MIN},
        {-inf, INT32_MIN},
        {nan, INT32_MIN},
    };
    for (const auto &c : cases) EXPECT_EQ(c.expected, cell_index(c.x)) << c.x;
}

// The hash written out with 64-bit sums: the low 12 bits are those of the
// 32-bit two's-complement sums.
std::int32_t expected_hash(const std::int32_t *t, std::int64_t i, std::int64_t j, std::int64_t k) {
    return t[(t[(t[k & 4095] + j) & 4095] + i) & 4095];
}

TEST(LatticeHash, WrapsNegativeAndExtremePointsIntoTheTable) {
    for (const std::int32_t *t : {lattice_table_1, lattice_table_2, lattice_table_3}) {
        EXPECT_EQ(t[t[t[0]]], lattice_hash(t, 0, 0, 0));
        std::mt19937 rng(12345);
        std::uniform_int_distribution<std::int32_t> any(INT32_MIN, INT32_MAX);
        std::vector<std::int32_t> points = {0, 1, -1, 4095, 4096, -4096, INT32_MAX, INT32_MIN};
        for (int n = 0; n < 24; ++n) points.push_back(any(rng));
        for (std::int32_t i : points)
            for (std::int32_t j : points) {
                const std::int32_t k = any(rng);
                ASSERT_EQ(expected_hash(t, i, j, k), lattice_hash(t, i, j, k)) << i << " " << j << " " << k;
            }
    }
}

TEST(FadeCurves, CubicQuinticAndLinearForEveryOtherSetting) {
    struct Case {
        int fade;
        double f, expected;
    } cases[] = {
        {1, 0.25, 0.15625}, {1, 0.5, 0.5}, {1, 1.0, 1.0},   {1, 0.0, 0.0},   {2, 0.25, 0.103515625}, {2, 0.5, 0.5},
        {2, 1.0, 1.0},      {2, 0.0, 0.0}, {0, 0.25, 0.25}, {3, 0.25, 0.25}, {-1, 0.3, 0.3},         {1000, 0.7, 0.7},
    };
    for (const auto &c : cases) EXPECT_TRUE(same_bits(c.expected, fade_curve(c.fade, c.f))) << c.fade << " " << c.f;
}

double n_value(const std::int32_t *t, std::int64_t i, std::int64_t j, std::int64_t k, double amount) {
    return (expected_hash(t, i, j, k) * 0.000244140625 - 0.5) * amount;
}

const int every_fade[] = {0, 1, 2, 3, -1};

TEST(Distortion, ZeroAmountChangesNothing) {
    for (int fade : every_fade)
        for (Coords c : {Coords{0.3, -7.25, 2.5}, Coords{nan, inf, -inf}, Coords{1e300, -1e300, 0.0}}) {
            Coords planar = c, solid = c;
            distort_2d(planar, fade, 0.0);
            distort_3d(solid, fade, -0.0);
            for (const Coords &d : {planar, solid}) {
                EXPECT_TRUE(same_bits(c.u, d.u));
                EXPECT_TRUE(same_bits(c.v, d.v));
                EXPECT_TRUE(same_bits(c.w, d.w));
            }
        }
}

TEST(Distortion, AtLatticePointsIsTheCornerValueWithEveryFade) {
    const double amount = 0.75;
    const Coords points[] = {{0, 0, 0}, {3, -2, 5}, {-4096, 4097, -1}, {100000, -5, 7}};
    for (int fade : every_fade)
        for (const Coords &p : points) {
            const auto i = static_cast<std::int64_t>(p.u), j = static_cast<std::int64_t>(p.v),
                       k = static_cast<std::int64_t>(p.w);
            Coords planar = p;
            distort_2d(planar, fade, amount);
            EXPECT_TRUE(same_bits(p.u + n_value(lattice_table_1, i, j, 0, amount), planar.u));
            EXPECT_TRUE(same_bits(p.v + n_value(lattice_table_2, i, j, 0, amount), planar.v));
            EXPECT_TRUE(same_bits(p.w, planar.w));

            Coords solid = p;
            distort_3d(solid, fade, amount);
            EXPECT_TRUE(same_bits(p.u + n_value(lattice_table_1, i, j, k, amount), solid.u));
            EXPECT_TRUE(same_bits(p.v + n_value(lattice_table_2, i, j, k, amount), solid.v));
            EXPECT_TRUE(same_bits(p.w + n_value(lattice_table_3, i, j, k, amount), solid.w));
        }
}

TEST(Distortion, HalfwayAlongUIsTheMeanOfTheCornersWithEveryFade) {
    const double amount = 2.0;
    for (int fade : every_fade)
        for (double base : {0.0, 6.0, -3.0}) {
            Coords c{base + 0.5, 2.0, 0.0};
            distort_2d(c, fade, amount);
            const auto i = static_cast<std::int64_t>(base);
            const double c00u = n_value(lattice_table_1, i, 2, 0, amount),
                         c10u = n_value(lattice_table_1, i + 1, 2, 0, amount);
            const double c00v = n_value(lattice_table_2, i, 2, 0, amount),
                         c10v = n_value(lattice_table_2, i + 1, 2, 0, amount);
            EXPECT_TRUE(same_bits(base + 0.5 + ((c10u - c00u) * 0.5 + c00u), c.u)) << fade << " " << base;
            EXPECT_TRUE(same_bits(2.0 + ((c10v - c00v) * 0.5 + c00v), c.v)) << fade << " " << base;
        }
}

// Interpolation written out along u, then v, then w, for a fraction anywhere.
double expected_field(const std::int32_t *t, std::int64_t i, std::int64_t j, std::int64_t k, double su, double sv,
                      double sw, double amount, bool solid) {
    double along_v[2];
    for (int c = 0; c < 2; ++c) {
        double along_u[2];
        for (int b = 0; b < 2; ++b) {
            const double lo = n_value(t, i, j + b, solid ? k + c : 0, amount);
            const double hi = n_value(t, i + 1, j + b, solid ? k + c : 0, amount);
            along_u[b] = (hi - lo) * su + lo;
        }
        along_v[c] = (along_u[1] - along_u[0]) * sv + along_u[0];
    }
    return solid ? (along_v[1] - along_v[0]) * sw + along_v[0] : along_v[0];
}

TEST(Distortion, InterpolatesFromTheCellOfNegativeCoordinates) {
    // u = -0.25 lies in the cell -1 at the fraction 0.75.
    const double amount = 1.5;
    for (int fade : every_fade) {
        const double su = fade_curve(fade, 0.75), sv = fade_curve(fade, 0.5), sw = fade_curve(fade, 0.125);
        Coords planar{-0.25, 3.5, 9.0};
        distort_2d(planar, fade, amount);
        EXPECT_TRUE(same_bits(-0.25 + expected_field(lattice_table_1, -1, 3, 0, su, sv, 0, amount, false), planar.u));
        EXPECT_TRUE(same_bits(3.5 + expected_field(lattice_table_2, -1, 3, 0, su, sv, 0, amount, false), planar.v));
        EXPECT_TRUE(same_bits(9.0, planar.w));

        Coords solid{-0.25, 3.5, -1.875};
        distort_3d(solid, fade, amount);
        EXPECT_TRUE(same_bits(-0.25 + expected_field(lattice_table_1, -1, 3, -2, su, sv, sw, amount, true), solid.u));
        EXPECT_TRUE(same_bits(3.5 + expected_field(lattice_table_2, -1, 3, -2, su, sv, sw, amount, true), solid.v));
        EXPECT_TRUE(same_bits(-1.875 + expected_field(lattice_table_3, -1, 3, -2, su, sv, sw, amount, true), solid.w));
    }
}

TEST(Distortion, FixedSeedSweepMatchesTheWrittenOutInterpolation) {
    std::mt19937_64 rng(2024);
    std::uniform_real_distribution<double> coord(-5000.0, 5000.0);
    for (int n = 0; n < 200; ++n) {
        const Coords p{coord(rng), coord(rng), coord(rng)};
        const int fade = every_fade[n % 5];
        const double amount = 0.001 * n - 0.1;
        auto frac = [&](double x) { return fade_curve(fade, x - std::floor(x)); };
        const auto i = static_cast<std::int64_t>(std::floor(p.u)), j = static_cast<std::int64_t>(std::floor(p.v)),
                   k = static_cast<std::int64_t>(std::floor(p.w));
        Coords solid = p;
        distort_3d(solid, fade, amount);
        EXPECT_TRUE(same_bits(
            p.u + expected_field(lattice_table_1, i, j, k, frac(p.u), frac(p.v), frac(p.w), amount, true), solid.u));
        EXPECT_TRUE(same_bits(
            p.w + expected_field(lattice_table_3, i, j, k, frac(p.u), frac(p.v), frac(p.w), amount, true), solid.w));
        Coords planar = p;
        distort_2d(planar, fade, amount);
        EXPECT_TRUE(same_bits(p.v + expected_field(lattice_table_2, i, j, 0, frac(p.u), frac(p.v), 0, amount, false),
                              planar.v));
    }
}

TEST(Distortion, NanAndHugeCoordinatesStayInsideTheTables) {
    // Beyond the 32-bit range the cell is INT32_MIN; 1e300 is an integer, so the
    // displacement is the corner value there.
    Coords huge{1e300, -1e300, 4.0};
    distort_2d(huge, 1, 1.0);
    EXPECT_TRUE(same_bits(1e300 + n_value(lattice_table_1, INT32_MIN, INT32_MIN, 0, 1.0), huge.u));
    EXPECT_TRUE(same_bits(-1e300 + n_value(lattice_table_2, INT32_MIN, INT32_MIN, 0, 1.0), huge.v));

    // The cell beyond INT32_MAX wraps to INT32_MIN like the hash's sums.
    Coords edge{2147483647.5, 0.0, 0.0};
    distort_2d(edge, 0, 1.0);
    const double lo = n_value(lattice_table_1, INT32_MAX, 0, 0, 1.0),
                 hi = n_value(lattice_table_1, INT32_MIN, 0, 0, 1.0);
    EXPECT_TRUE(same_bits(2147483647.5 + ((hi - lo) * 0.5 + lo), edge.u));

    for (Coords c : {Coords{nan, 0.5, 0.5}, Coords{inf, -inf, nan}}) {
        distort_3d(c, 2, 1.0);
        EXPECT_TRUE(std::isnan(c.u));
    }
    Coords nan_amount{0.5, 0.5, 0.5};
    distort_2d(nan_amount, 0, nan);
    EXPECT_TRUE(std::isnan(nan_amount.u) && std::isnan(nan_amount.v));
    EXPECT_TRUE(same_bits(0.5, nan_amount.w));
}

}  // namespace
}  // namespace vek::grid

#include "shaders/grid_multiout/cells.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <vector>

#include "tests/support/bits.h"

namespace vek::grid {
namespace {

using test::same_bits;

std::int32_t expected_hash(std::int64_t i, std::int64_t j, std::int64_t k) {
    const std::int32_t *p = cell_permutation;
    return p[(p[(p[k & 511] + j) & 511] + i) & 511];
}

TEST(PermutationHash, WrapsNegativeAndExtremeCellsIntoTheTable) {
    EXPECT_EQ(cell_permutation[cell_permutation[102]], permutation_hash(0, 0, 0));
    std::mt19937 rng(99);
    std::uniform_int_distribution<std::int32_t> any(INT32_MIN, INT32_MAX);
    std::vector<std::int32_t> cells = {0, 1, -1, 255, 256, 511, 512, -512, INT32_MAX, INT32_MIN};
    for (int n = 0; n < 20; ++n) cells.push_back(any(rng));
    for (std::int32_t i : cells)
        for (std::int32_t j : cells)
            for (std::int32_t k : {0, -1, 300, INT32_MIN, INT32_MAX})
                ASSERT_EQ(expected_hash(i, j, k), permutation_hash(i, j, k)) << i << " " << j << " " << k;
}

TEST(RandomCells, ConstantWithinACellInStepsOf256th) {
    const PatternSizes s{{0.5f, 2, 1.5f}, {0, 0, 0}, {0, 0, 0}};
    std::mt19937_64 rng(17);
    std::uniform_int_distribution<int> cell(-300, 300);
    std::uniform_real_distribution<double> inside(0.0, 0.999);
    for (int n = 0; n < 300; ++n) {
        const int i = cell(rng), j = cell(rng), k = cell(rng);
        const Coords a{(i + inside(rng)) * 0.5, (j + inside(rng)) * 2.0, (k + inside(rng)) * 1.5};
        const Coords b{(i + inside(rng)) * 0.5, (j + inside(rng)) * 2.0, (k + inside(rng)) * 1.5};
        const double planar = random_cells(a, s), solid = random_cells_3d(a, s);
        ASSERT_EQ(expected_hash(i, j, 0) / 256.0, planar) << i << " " << j;
        ASSERT_EQ(expected_hash(i, j, k) / 256.0, solid) << i << " " << j << " " << k;
        EXPECT_EQ(planar, random_cells(b, s));
        EXPECT_EQ(solid, random_cells_3d(b, s));
    }
    // u / Px = -0.5 lies in the cell -1.
    EXPECT_EQ(expected_hash(-1, 0, 0) / 256.0, random_cells({-0.25, 0.5, 0}, s));
}

TEST(CellJitter, ShiftsEachUnitIntervalByItsOwnAmount) {
    // The shift of [n, n + 1) is lattice_table_1[n & 4095] / 4096 - 0.5.
    const double shift_m1 = lattice_table_1[4095] / 4096.0 - 0.5;
    struct Case {
        double c;
        std::int32_t expected;
    } cases[] = {
        {0.5, 0},                        // entry 0 (3550): shift +0.3667, the border at 0.6333
        {0.7, 1},       {1.6, 1},        // entry 1 (3369): shift +0.3225, the border at 1.6775
        {1.7, 2},       {3.2, 2},        // entry 3 (138): shift -0.4663, the border at 3.4663
        {3.6, 3},       {4096.5, 4096},  // the cell 4096 reads entry 0 again
        {4096.7, 4097}, {-0.5, static_cast<std::int32_t>(std::floor(shift_m1 - 0.5))},
    };
    for (const auto &c : cases) EXPECT_EQ(c.expected, cell_jitter(c.c)) << c.c;
}

TEST(JitteredCells, LatticeHashOfTheJitteredCellsInStepsOf4096th) {
    const PatternSizes s{{0.25f, 4, 2}, {0, 0, 0}, {0, 0, 0}};
    auto jitter = [](double c) {
        const double n = std::floor(c);
        const std::int64_t cell = static_cast<std::int64_t>(n);
        return static_cast<std::int64_t>(std::floor((lattice_table_1[cell & 4095] * 0.000244140625 - 0.5) + c));
    };
    auto hash = [](std::int64_t i, std::int64_t j, std::int64_t k) {
        const std::int32_t *t = lattice_table_1;
        return t[(t[(t[k & 4095] + j) & 4095] + i) & 4095];
    };
    std::mt19937_64 rng(23);
    std::uniform_real_distribution<double> coord(-3000.0, 3000.0);
    for (int n = 0; n < 300; ++n) {
        const Coords c{coord(rng), coord(rng), coord(rng)};
        const std::int64_t i = jitter(c.u / 0.25), j = jitter(c.v / 4.0), k = jitter(c.w / 2.0);
        const double planar = jittered_cells(c, s), solid = jittered_cells_3d(c, s);
        ASSERT_EQ(hash(i, j, 0) / 4096.0, planar);
        ASSERT_EQ(hash(i, j, k) / 4096.0, solid);
        ASSERT_TRUE(planar >= 0.0 && planar <= 1.0 && solid >= 0.0 && solid <= 1.0);
    }
    // Within one jittered cell (u in cells 0.6333..1.6775 of 0.25) the value holds.
    const double inside = jittered_cells({0.17, 1.0, 0}, s);
    for (double u : {0.16, 0.25, 0.3, 0.41}) EXPECT_EQ(inside, jittered_cells({u, 1.0, 0}, s)) << u;
}

TEST(CellPatterns, ZeroSizesNanAndHugeCoordinatesStayInsideTheTables) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const PatternSizes zero{{0, 0, 0}, {0, 0, 0}, {0, 0, 0}};
    const PatternSizes unit{{1, 1, 1}, {0, 0, 0}, {0, 0, 0}};
    // Infinite and NaN quotients, and coordinates beyond 32 bits, all give the cell INT32_MIN.
    const double edge_planar = expected_hash(INT32_MIN, INT32_MIN, 0) / 256.0;
    const double edge_solid = expected_hash(INT32_MIN, INT32_MIN, INT32_MIN) / 256.0;
    for (const Coords &c : {Coords{1, -1, 0}, Coords{0, 0, 0}}) {
        EXPECT_EQ(edge_planar, random_cells(c, zero));
        EXPECT_EQ(edge_solid, random_cells_3d(c, zero));
    }
    EXPECT_EQ(edge_planar, random_cells({nan, 1e300, 0}, unit));
    EXPECT_EQ(edge_solid, random_cells_3d({-1e300, nan, 3e9}, unit));

    EXPECT_EQ(INT32_MIN, cell_jitter(nan));
    EXPECT_EQ(INT32_MIN, cell_jitter(1e300));
    EXPECT_EQ(INT32_MIN, cell_jitter(-std::numeric_limits<double>::infinity()));
    const double jittered_edge = lattice_hash(lattice_table_1, INT32_MIN, INT32_MIN, INT32_MIN) / 4096.0;
    EXPECT_EQ(jittered_edge, jittered_cells_3d({nan, 0, 1}, zero));
    EXPECT_TRUE(same_bits(jittered_edge, jittered_cells_3d({1e300, nan, -1e300}, unit)));
}

}  // namespace
}  // namespace vek::grid

#include "shaders/grid_multiout/patterns.h"

#include <gtest/gtest.h>

#include <climits>
#include <random>
#include <string>

#include "tests/support/bits.h"

namespace vek::grid {
namespace {

using test::same_bits;

struct Kind {
    int number;
    const char *name;
    Distortion form;
    double (*function)(const Coords &, const PatternSizes &);
};

const Kind kinds[] = {
    {0, "stripes", Distortion::planar, stripes},
    {1, "crossings", Distortion::planar, crossings},
    {2, "grid", Distortion::planar, grid},
    {3, "lattice", Distortion::solid, lattice},
    {4, "weave", Distortion::planar, weave},
    {5, "waves", Distortion::solid, waves},
    {6, "checker", Distortion::planar, checker},
    {7, "checker_3d", Distortion::solid, checker_3d},
    {8, "random_cells", Distortion::planar, random_cells},
    {9, "random_cells_3d", Distortion::solid, random_cells_3d},
    {10, "bricks", Distortion::planar, bricks},
    {11, "bricks_3d", Distortion::solid, bricks_3d},
    {12, "jittered_cells", Distortion::planar, jittered_cells},
    {13, "jittered_cells_3d", Distortion::solid, jittered_cells_3d},
};

TEST(PatternKinds, EachNumberSelectsItsNameDistortionAndOperation) {
    const PatternSizes s{{0.75f, 1.25f, 0.5f}, {0.25f, 0.5f, 0.125f}, {0.125f, 0.0f, 0.0625f}};
    std::mt19937_64 rng(31);
    std::uniform_real_distribution<double> coord(-8.0, 8.0);
    for (const Kind &k : kinds) {
        ASSERT_NE(nullptr, pattern_name(k.number));
        EXPECT_EQ(std::string(k.name), pattern_name(k.number));
        EXPECT_EQ(k.form, distortion_of(k.number)) << k.name;
        for (int n = 0; n < 50; ++n) {
            const Coords c{coord(rng), coord(rng), coord(rng)};
            ASSERT_TRUE(same_bits(k.function(c, s), pattern_value(k.number, c, s))) << k.name;
        }
    }
}

TEST(PatternKinds, UnknownKindsGiveZeroAndNoDistortion) {
    const PatternSizes s{{1, 1, 1}, {2, 2, 2}, {0, 0, 0}};  // every line kind would give 1
    for (int kind : {14, 15, -1, 100, INT_MIN, INT_MAX}) {
        EXPECT_EQ(nullptr, pattern_name(kind));
        EXPECT_EQ(Distortion::none, distortion_of(kind));
        EXPECT_TRUE(same_bits(0.0, pattern_value(kind, {0, 0, 0}, s)));
    }
}

TEST(PatternKinds, DistortTakesTheFormOfTheKind) {
    const Coords p{0.3, -1.7, 2.2};
    for (int fade : {0, 1, 2}) {
        Coords none = p, planar = p, solid = p, expected_planar = p, expected_solid = p;
        distort(Distortion::none, none, fade, 0.8);
        distort(Distortion::planar, planar, fade, 0.8);
        distort(Distortion::solid, solid, fade, 0.8);
        distort_2d(expected_planar, fade, 0.8);
        distort_3d(expected_solid, fade, 0.8);
        for (auto [expected, actual] : {std::pair{p, none}, {expected_planar, planar}, {expected_solid, solid}}) {
            EXPECT_TRUE(same_bits(expected.u, actual.u));
            EXPECT_TRUE(same_bits(expected.v, actual.v));
            EXPECT_TRUE(same_bits(expected.w, actual.w));
        }
        EXPECT_NE(p.w, solid.w);
    }
}

}  // namespace
}  // namespace vek::grid

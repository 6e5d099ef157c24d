#include "shaders/grid_multiout/grid_multiout.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "shaders/grid_multiout/patterns.h"
#include "stand_in_host/matrix.h"
#include "tests/support/bits.h"
#include "tests/support/plugin_fixture.h"

namespace vek::test {
namespace {

using grid::Coords;
using grid::Params;
using grid::PatternSizes;
using grid::Result;

constexpr float nan_f = std::numeric_limits<float>::quiet_NaN();
constexpr double radians_per_degree = 0.0174532925199;

// Waves read u, v and w smoothly, so their value shows where the point went.
constexpr int waves = 5;
constexpr int unknown_kind = 14;

// The blend of one channel as the outputs define it: the difference in single
// precision, widened, times v, plus the background widened.
float reference_channel(float pattern, float background, double v) {
    const float difference = pattern - background;
    const double sum = static_cast<double>(difference) * v + static_cast<double>(background);
    return static_cast<float>(sum);
}

void expect_outputs(double v, const miColor &pattern, const miColor &background, float scale, const Result &r) {
    const miColor color = {reference_channel(pattern.r, background.r, v),
                           reference_channel(pattern.g, background.g, v),
                           reference_channel(pattern.b, background.b, v),
                           reference_channel(pattern.a, background.a, v)};
    EXPECT_TRUE(same_bits(color, r.color));
    EXPECT_TRUE(same_bits(color.a, r.alpha));
    EXPECT_TRUE(same_bits(static_cast<float>(static_cast<double>(scale) * v), r.scaled_value));
    EXPECT_TRUE(same_bits(static_cast<float>(v), r.value));
}

// ---- Shaping and outputs ----------------------------------------------------

TEST(GridShaping, BiasGainFoldInvertInThisOrder) {
    struct Case {
        double v;
        float bias, gain;
        bool fold, invert;
        double expected;
    } cases[] = {
        {0.0, 0.5f, 0.5f, true, false, 1.0},
        {0.25, 0.5f, 0.5f, true, false, 0.5},
        {0.5, 0.5f, 0.5f, true, false, 0.0},
        {1.0, 0.5f, 0.5f, true, false, 1.0},
        {0.5, 0.5f, 0.5f, true, true, 1.0},
        {0.0, 0.5f, 0.5f, true, true, 0.0},  // invert after fold, not before
        {0.25, 0.5f, 0.5f, false, true, 0.75},
        {0.5, 0.25f, 0.5f, false, false, 0.25},
        {0.0, 0.25f, 0.5f, false, false, 0.0},
        {1.0, 0.25f, 0.5f, false, false, 1.0},
        // Nothing is clamped.
        {-0.5, 0.5f, 0.5f, true, false, 2.0},
        {-0.5, 0.5f, 0.5f, true, true, -1.0},
        {1.5, 0.5f, 0.5f, false, true, -0.5},
        // Extreme settings run into infinities and give the curve's limits.
        {0.5, 0.0f, 0.5f, false, false, 0.0},
        {0.5, 1.0f, 0.5f, false, false, 1.0},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(testing::Message() << c.v << " bias " << c.bias << " fold " << c.fold << " invert " << c.invert);
        EXPECT_TRUE(same_bits(c.expected, grid::shaped(c.v, c.bias, c.gain, c.fold, c.invert)));
    }
    // Gain 0.3 (as a 32-bit float) pushes values away from the middle.
    EXPECT_NEAR(0.15, grid::shaped(0.25, 0.5f, 0.3f, false, false), 1e-7);
    EXPECT_NEAR(0.85, grid::shaped(0.75, 0.5f, 0.3f, false, false), 1e-7);
    // Bias first: 0.5 -> 0.25 -> about 0.15. Gain first would give 0.25.
    EXPECT_NEAR(0.15, grid::shaped(0.5, 0.25f, 0.3f, false, false), 1e-7);
    // A NaN setting is not neutral.
    EXPECT_TRUE(std::isnan(grid::shaped(0.25, nan_f, 0.5f, false, false)));
    EXPECT_TRUE(std::isnan(grid::shaped(0.25, 0.5f, nan_f, false, false)));
}

TEST(GridOutputs, ChannelsBlendFromASinglePrecisionDifference) {
    // Forming this difference in double would round the red channel one unit
    // differently (-0.433150917).
    const miColor pattern = {0x1.833138p+0f, 1.0f, 0.5f, 1.0f};
    const miColor background = {-0x1.14e9b6p+0f, 0.0f, 0.25f, 0.0f};
    const Result r = grid::outputs(0.25, pattern, background, 3.0f);
    EXPECT_TRUE(same_bits(-0.433150887f, r.color.r));
    EXPECT_TRUE(same_bits(0.25f, r.color.g));
    EXPECT_TRUE(same_bits(0.3125f, r.color.b));
    EXPECT_TRUE(same_bits(0.25f, r.color.a));
    EXPECT_TRUE(same_bits(0.25f, r.alpha));
    EXPECT_TRUE(same_bits(0.75f, r.scaled_value));
    EXPECT_TRUE(same_bits(0.25f, r.value));
}

TEST(GridOutputs, FixedSeedSweepMatchesTheBlendRule) {
    std::mt19937 rng(20240611);
    std::uniform_real_distribution<float> colour(-2.0f, 2.0f);
    std::uniform_real_distribution<double> value(-0.5, 1.5);
    for (int i = 0; i < 2000; ++i) {
        const miColor pattern = {colour(rng), colour(rng), colour(rng), colour(rng)};
        const miColor background = {colour(rng), colour(rng), colour(rng), colour(rng)};
        const float scale = colour(rng);
        const double v = value(rng);
        SCOPED_TRACE(i);
        expect_outputs(v, pattern, background, scale, grid::outputs(v, pattern, background, scale));
    }
}

// ---- The plug-in through the recording host ---------------------------------

class GridPlugin : public PluginTest {
protected:
    GridPlugin() : PluginTest("Vek_Grid_MultiOut") {}

    void SetUp() override {
        PluginTest::SetUp();
        Params &p = block.params();
        p.pattern = unknown_kind;
        p.cell_size = {0.37f, 0.53f, 0.71f};
        p.line_width = {0.1f, 0.15f, 0.2f};
        p.softness = {0.05f, 0.0f, 0.02f};
        p.bias = 0.5f;
        p.gain = 0.5f;
        p.pattern_color = {1.0f, 0.5f, 0.25f, 1.0f};
        p.background_color = {0.125f, 0.375f, 0.75f, 0.5f};
        p.output_scale = 3.0f;
        p.coordinate_source = 3;
        p.input_coordinate = {2.0f, 3.0f, 4.0f};
        p.reserved = -1;
        p.scale_vector = {2.0f, 4.0f, 8.0f};
        p.scale_x = 3.0f, p.scale_y = 5.0f, p.scale_z = 7.0f;
        p.rotate_vector = {10.0f, 20.0f, 30.0f};
        p.rotate_x = 1.0f, p.rotate_y = 2.0f, p.rotate_z = 3.0f;
        p.offset_vector = {0.5f, 0.25f, -0.5f};
        p.offset_x = 0.125f, p.offset_y = -0.375f, p.offset_z = 1.5f;
        p.distort_amount = 0.3f;
        p.distort_fade = 2;
        state.point = {0.3f, -0.6f, 1.1f};
        // Every output must be written: start from NaN.
        std::memset(&result, 0xff, sizeof result);
    }

    Result run() {
        EXPECT_EQ(miTRUE, call(&result, block));
        return result;
    }
    PatternSizes sizes() { return {block->cell_size, block->line_width, block->softness}; }
    static Coords coords_of(const miVector &p) { return {p.x, p.y, p.z}; }
    // The value that a point reaches the outputs with, all groups neutral.
    float value_at(int kind, const Coords &c) { return static_cast<float>(grid::pattern_value(kind, c, sizes())); }

    std::vector<std::pair<std::string, const void *>> host_calls() {
        std::vector<std::pair<std::string, const void *>> out;
        for (const auto &c : host().calls()) out.emplace_back(c.name, c.name == "mi_phen_eval" ? c.address : nullptr);
        return out;
    }
    std::size_t evaluations_of(const void *field) {
        std::size_t n = 0;
        for (const auto &c : host().calls()) n += c.name == "mi_phen_eval" && c.address == field;
        return n;
    }
    void connect_everything() {
        block.record.eval_flag = 1;
        block.mark_all(1);
    }

    Block<Params> block;
    Result result;
};

TEST_F(GridPlugin, UnknownKindsGiveTheBackgroundAndReadNoDistortionSetting) {
    connect_everything();
    block->distort = 1;
    for (int kind : {14, -1, INT_MAX, INT_MIN}) {
        SCOPED_TRACE(kind);
        host().clear_calls();
        block->pattern = kind;
        block->invert = 0;
        const Result r = run();
        EXPECT_TRUE(same_bits(block->background_color, r.color));
        EXPECT_TRUE(same_bits(block->background_color.a, r.alpha));
        EXPECT_TRUE(same_bits(0.0f, r.scaled_value));
        EXPECT_TRUE(same_bits(0.0f, r.value));
        EXPECT_EQ(0u, evaluations_of(&block->distort_amount));
        EXPECT_EQ(0u, evaluations_of(&block->distort_fade));

        block->invert = 1;
        block->background_color = {0, 0, 0, 0};
        const Result inverted = run();
        EXPECT_TRUE(same_bits(miColor{1.0f, 0.5f, 0.25f, 1.0f}, inverted.color));
        EXPECT_TRUE(same_bits(1.0f, inverted.alpha));
        EXPECT_TRUE(same_bits(3.0f, inverted.scaled_value));
        EXPECT_TRUE(same_bits(1.0f, inverted.value));
        block->background_color = {0.125f, 0.375f, 0.75f, 0.5f};
    }
}

// The inputs a group's mode reads, in the order it evaluates them.
std::vector<const void *> group_inputs(int mode, const miVector *V, const miScalar *x, const miScalar *y,
                                       const miScalar *z) {
    switch (mode) {
    case 1: return {x, y, z};
    case 2: return {V};
    case 3: case 4: case 5: case 6: return {V, x, y, z};
    default: return {};
    }
}

TEST_F(GridPlugin, EvaluationAndHostCallSequence) {
    struct Case {
        int scale_mode, rotate_mode, offset_mode, source, distort, pattern;
    } cases[] = {
        {0, 0, 0, 3, 0, 14}, {1, 2, 3, 0, 1, 0},   {4, 5, 6, 1, 1, 13}, {7, -1, 0, 2, 1, 14},
        {6, 4, 1, -1, 1, -1}, {2, 3, 5, 3, 0, 5},  {3, 1, 2, 0, 1, 7},  {5, 6, 4, 2, 0, 9},
    };
    Params &p = block.params();
    for (const auto &c : cases) {
        SCOPED_TRACE(testing::Message() << "modes " << c.scale_mode << ' ' << c.rotate_mode << ' ' << c.offset_mode
                                        << " source " << c.source << " distort " << c.distort << " pattern "
                                        << c.pattern);
        host().reset();
        connect_everything();
        p.scale_mode = c.scale_mode, p.rotate_mode = c.rotate_mode, p.offset_mode = c.offset_mode;
        p.coordinate_source = c.source, p.distort = c.distort, p.pattern = c.pattern;
        run();

        std::vector<std::pair<std::string, const void *>> expected;
        auto evaluation = [&](const void *field) { expected.emplace_back("mi_phen_eval", field); };
        for (const void *field :
             {(const void *)&p.cell_size, (const void *)&p.line_width, (const void *)&p.softness,
              (const void *)&p.input_coordinate, (const void *)&p.pattern_color, (const void *)&p.background_color,
              (const void *)&p.bias, (const void *)&p.gain, (const void *)&p.output_scale, (const void *)&p.pattern,
              (const void *)&p.texture_space, (const void *)&p.scale_mode, (const void *)&p.rotate_mode,
              (const void *)&p.offset_mode, (const void *)&p.coordinate_source, (const void *)&p.fold,
              (const void *)&p.invert, (const void *)&p.mirror_x, (const void *)&p.mirror_y,
              (const void *)&p.mirror_z, (const void *)&p.distort})
            evaluation(field);
        for (auto f : group_inputs(c.scale_mode, &p.scale_vector, &p.scale_x, &p.scale_y, &p.scale_z)) evaluation(f);
        for (auto f : group_inputs(c.rotate_mode, &p.rotate_vector, &p.rotate_x, &p.rotate_y, &p.rotate_z))
            evaluation(f);
        for (auto f : group_inputs(c.offset_mode, &p.offset_vector, &p.offset_x, &p.offset_y, &p.offset_z))
            evaluation(f);
        if (c.source == 0) expected.emplace_back("mi_point_to_object", nullptr);
        // The stored angles turn in every mode that reads them.
        if (c.rotate_mode >= 1 && c.rotate_mode <= 6)
            for (const char *name : {"mi_matrix_ident", "mi_matrix_rotate", "mi_matrix_prod"})
                expected.emplace_back(name, nullptr);
        if (c.distort && c.pattern >= 0 && c.pattern <= 13) {
            evaluation(&p.distort_amount);
            evaluation(&p.distort_fade);
        }
        EXPECT_EQ(expected, host_calls());
    }
}

TEST_F(GridPlugin, TheIntersectionPointIsCopiedRightAfterCellSize) {
    // A connected shader moves the state's point while it runs.
    const miVector during_cell_size = {0.75f, 1.25f, -0.5f};
    const miVector later = {-9.0f, -9.0f, -9.0f};
    host().phen_eval = [&](miState *s, void *parameter) {
        s->point = parameter == &block->cell_size ? during_cell_size : later;
        return parameter;
    };
    connect_everything();
    block->pattern = waves;
    for (int source : {3, 0}) {
        SCOPED_TRACE(source);
        host().clear_calls();
        block->coordinate_source = source;
        state.point = {5.0f, 5.0f, 5.0f};
        const Result r = run();
        EXPECT_TRUE(same_bits(value_at(waves, coords_of(during_cell_size)), r.value));
        if (source == 0) {
            const auto calls = host().calls();
            ASSERT_EQ(1u, host().count("mi_point_to_object"));
            for (const auto &c : calls)
                if (c.name == "mi_point_to_object") {
                    EXPECT_TRUE(same_bits(during_cell_size, c.in));
                }
        }
    }
}

TEST_F(GridPlugin, PointSources) {
    // Internal space to object space: a shift.
    host::matrix_ident(host().to_object);
    host().to_object[12] = 10.0f, host().to_object[13] = 20.0f, host().to_object[14] = 30.0f;
    miVector object_point;
    host::point_transform(&object_point, &state.point, host().to_object);
    miVector list[3] = {{0.5f, 0.25f, 0.125f}, {1.5f, -2.5f, 3.5f}, {-1.0f, 0.0f, 2.0f}};
    state.tex_list = list;
    state.tex_count = 3;
    block->pattern = waves;
    struct Case {
        int source, texture_space;
        miVector expected;
    } cases[] = {
        {0, 0, object_point},  {1, 0, block->input_coordinate}, {2, 1, list[1]}, {2, 0, list[0]},
        {3, 1, state.point},   {-1, 1, state.point},             {7, 1, state.point},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(testing::Message() << "source " << c.source << " texture " << c.texture_space);
        host().clear_calls();
        block->coordinate_source = c.source;
        block->texture_space = c.texture_space;
        const Result r = run();
        EXPECT_TRUE(same_bits(value_at(waves, coords_of(c.expected)), r.value));
        EXPECT_EQ(c.source == 0 ? 1u : 0u, host().count("mi_point_to_object"));
        if (c.source == 0) {
            const auto call = host().calls().front();
            EXPECT_EQ(&state, call.state);
            EXPECT_TRUE(same_bits(state.point, call.in));
        }
        EXPECT_EQ(0u, host().count("mi_matrix_ident") + host().count("mi_matrix_rotate") +
                          host().count("mi_matrix_prod"));
    }
}

TEST_F(GridPlugin, TextureSpaceOutsideTheListGivesTheOrigin) {
    // Entries past the count are there, so a read beyond it shows.
    miVector list[4] = {{1.5f, -2.5f, 3.5f}, {0.25f, 0.5f, 0.75f}, {9, 9, 9}, {9, 9, 9}};
    block->pattern = waves;
    block->coordinate_source = 2;
    const float at_origin = value_at(waves, {0.0, 0.0, 0.0});
    struct Case {
        miVector *list;
        int count, index;
    } cases[] = {{list, 2, 2}, {list, 2, 3}, {list, 2, -1}, {list, 2, INT_MAX}, {list, 2, INT_MIN}, {list, 0, 0},
                 {nullptr, 2, 0}};
    for (const auto &c : cases) {
        SCOPED_TRACE(testing::Message() << "count " << c.count << " index " << c.index);
        state.tex_list = c.list;
        state.tex_count = c.count;
        block->texture_space = c.index;
        EXPECT_TRUE(same_bits(at_origin, run().value));
    }
    // The last entry is still inside.
    state.tex_list = list;
    state.tex_count = 2;
    block->texture_space = 1;
    EXPECT_TRUE(same_bits(value_at(waves, coords_of(list[1])), run().value));
}

TEST_F(GridPlugin, GroupsScaleThenOffsetTheCoordinates) {
    const miVector p = state.point;
    block->pattern = waves;
    struct Case {
        int scale_mode, offset_mode;
        miVector scale, offset;
    } cases[] = {
        {0, 0, {1, 1, 1}, {0, 0, 0}},
        {1, 0, {3, 5, 7}, {0, 0, 0}},
        {2, 2, {2, 4, 8}, {0.5f, 0.25f, -0.5f}},
        {3, 1, {5, 9, 15}, {0.125f, -0.375f, 1.5f}},
        {4, 6, {1, 1, -1}, {0.5f * 0.125f, 0.25f * -0.375f, -0.5f * 1.5f}},
        {5, 4, {-1, -1, 1}, {0.125f - 0.5f, -0.375f - 0.25f, 1.5f + 0.5f}},
        {6, 5, {6, 20, 56}, {0.5f - 0.125f, 0.25f + 0.375f, -0.5f - 1.5f}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(testing::Message() << "scale mode " << c.scale_mode << " offset mode " << c.offset_mode);
        block->scale_mode = c.scale_mode;
        block->offset_mode = c.offset_mode;
        const Coords expected = {double(p.x) / double(c.scale.x) - double(c.offset.x),
                                 double(p.y) / double(c.scale.y) - double(c.offset.y),
                                 double(p.z) / double(c.scale.z) - double(c.offset.z)};
        EXPECT_TRUE(same_bits(value_at(waves, expected), run().value));
    }
    // Mirrors act before the scale, per axis.
    block->scale_mode = 2;
    block->offset_mode = 0;
    block->mirror_y = 1;
    const Coords mirrored = {double(p.x) / 2.0, std::fabs(double(p.y)) / 4.0, double(p.z) / 8.0};
    EXPECT_TRUE(same_bits(value_at(waves, mirrored), run().value));
}

TEST_F(GridPlugin, RotationPassesNarrowedRadiansAndTurnsThePointAsARowVector) {
    block->pattern = waves;
    struct Case {
        int mode, source;
        miVector vector, degrees;
    } cases[] = {
        {2, 3, {10.0f, 20.0f, 30.0f}, {10.0f, 20.0f, 30.0f}},
        {1, 3, {10.0f, 20.0f, 30.0f}, {1.0f, 2.0f, 3.0f}},
        {3, 0, {10.0f, 20.0f, 30.0f}, {11.0f, 22.0f, 33.0f}},
        {2, 1, {10.0f, 20.0f, 30.0f}, {10.0f, 20.0f, 30.0f}},
        // Angles whose radians a single-precision product would round differently.
        {2, 3, {-355.0f, -326.0f, -297.0f}, {-355.0f, -326.0f, -297.0f}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(testing::Message() << "mode " << c.mode << " source " << c.source);
        host().clear_calls();
        block->rotate_mode = c.mode;
        block->rotate_vector = c.vector;
        block->coordinate_source = c.source;
        const Result r = run();

        const auto calls = host().calls();
        std::vector<std::string> names;
        for (const auto &call : calls) names.push_back(call.name);
        std::vector<std::string> expected_names;
        if (c.source == 0) expected_names.push_back("mi_point_to_object");
        expected_names.insert(expected_names.end(), {"mi_matrix_ident", "mi_matrix_rotate", "mi_matrix_prod"});
        ASSERT_EQ(expected_names, names);
        const std::size_t first = c.source == 0 ? 1 : 0;
        const auto &ident = calls[first], &rotate = calls[first + 1], &prod = calls[first + 2];
        const float angles[3] = {static_cast<float>(double(c.degrees.x) * radians_per_degree),
                                 static_cast<float>(double(c.degrees.y) * radians_per_degree),
                                 static_cast<float>(double(c.degrees.z) * radians_per_degree)};
        for (int i = 0; i < 3; ++i) EXPECT_TRUE(same_bits(angles[i], rotate.angles[i])) << "angle " << i;
        // M x R into M.
        EXPECT_EQ(ident.address, prod.address);
        EXPECT_NE(ident.address, rotate.address);

        miVector p = c.source == 1 ? block->input_coordinate : state.point;
        float m[16], rotation[16];
        host::matrix_ident(m);
        m[12] = p.x, m[13] = p.y, m[14] = p.z;
        host::matrix_rotate(rotation, angles[0], angles[1], angles[2]);
        host::matrix_prod(m, m, rotation);
        EXPECT_TRUE(same_bits(value_at(waves, {m[12], m[13], m[14]}), r.value));
    }
}

TEST_F(GridPlugin, NoMatrixFunctionWhenNothingTurns) {
    block->pattern = waves;
    struct Case {
        int mode;
        miVector vector, scalars;
        bool turns;
    } cases[] = {
        {0, {10, 20, 30}, {1, 2, 3}, false},
        {-4, {10, 20, 30}, {1, 2, 3}, false},
        {1, {10, 20, 30}, {0, 0, 0}, false},
        {2, {-0.0f, 0.0f, -0.0f}, {1, 2, 3}, false},
        {4, {1, 2, 3}, {1, 2, 3}, false},
        {2, {0, 0, 1e-3f}, {0, 0, 0}, true},
        {2, {nan_f, 0, 0}, {0, 0, 0}, true},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(testing::Message() << "mode " << c.mode << " turns " << c.turns);
        host().clear_calls();
        block->rotate_mode = c.mode;
        block->rotate_vector = c.vector;
        block->rotate_x = c.scalars.x, block->rotate_y = c.scalars.y, block->rotate_z = c.scalars.z;
        const Result r = run();
        for (const char *name : {"mi_matrix_ident", "mi_matrix_rotate", "mi_matrix_prod"})
            EXPECT_EQ(c.turns ? 1u : 0u, host().count(name)) << name;
        if (!c.turns) {
            EXPECT_TRUE(same_bits(value_at(waves, coords_of(state.point)), r.value));
        }
    }
}

TEST_F(GridPlugin, DistortionOnlyWhenOnWithTheEvaluatedSettings) {
    // Connected distortion settings that differ from the stored ones.
    block.record.eval_flag = 1;
    block.mark(&block->distort_amount);
    block.mark(&block->distort_fade);
    host().set_value(&block->distort_amount, 0.7f);
    host().set_value(&block->distort_fade, 1);
    state.point = {1.3f, -2.6f, 0.45f};
    for (int kind = 0; kind < grid::pattern_kind_count; ++kind) {
        for (int on : {0, 1}) {
            SCOPED_TRACE(testing::Message() << "kind " << kind << " distort " << on);
            block->pattern = kind;
            block->distort = on;
            Coords expected = coords_of(state.point);
            if (on) grid::distort(grid::distortion_of(kind), expected, 1, static_cast<double>(0.7f));
            EXPECT_TRUE(same_bits(value_at(kind, expected), run().value));
        }
    }
}

TEST_F(GridPlugin, ShapingAndOutputsReachTheRecordBitForBit) {
    block->pattern = waves;
    block->pattern_color = {0x1.833138p+0f, -0.5f, 2.0f, 1.0f};
    block->background_color = {-0x1.14e9b6p+0f, 0.25f, -1.0f, 0.125f};
    const double v = grid::pattern_value(waves, coords_of(state.point), sizes());
    struct Case {
        float bias, gain;
        int fold, invert;
        float scale;
        double shaped;
    } cases[] = {
        {0.5f, 0.5f, 0, 0, 3.0f, v},
        {0.5f, 0.5f, 2, 0, -1.5f, std::fabs(v - 0.5) * 2.0},
        {0.5f, 0.5f, 0, -1, 0.0f, 1.0 - v},
        {0.5f, 0.5f, 1, 1, 1.0f, 1.0 - std::fabs(v - 0.5) * 2.0},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(testing::Message() << "fold " << c.fold << " invert " << c.invert);
        block->bias = c.bias, block->gain = c.gain, block->fold = c.fold, block->invert = c.invert;
        block->output_scale = c.scale;
        expect_outputs(c.shaped, block->pattern_color, block->background_color, c.scale, run());
    }
    // Bias and gain apart from their neutral setting, against the curves written out.
    block->fold = 0, block->invert = 0;
    block->bias = 0.25f, block->gain = 0.3f, block->output_scale = 3.0f;
    const double b = 0.25f, g = 0.3f;
    double shaped = v / ((1.0 / b - 2.0) * (1.0 - v) + 1.0);
    const double t = (1.0 - 2.0 * shaped) * (1.0 / g - 2.0);
    shaped = shaped < 0.5 ? shaped / (t + 1.0) : (t - shaped) / (t - 1.0);
    expect_outputs(shaped, block->pattern_color, block->background_color, 3.0f, run());
}

TEST_F(GridPlugin, ConnectedInputCoordinateRunsOnEveryCallWhateverTheSource) {
    block.record.eval_flag = 1;
    block.mark(&block->input_coordinate);
    host().set_value(&block->input_coordinate, miVector{0.5f, 1.5f, -2.5f});
    block->pattern = waves;
    for (int source : {0, 1, 2, 3, -1}) {
        SCOPED_TRACE(source);
        host().clear_calls();
        block->coordinate_source = source;
        const Result first = run();
        run();
        EXPECT_EQ(2u, evaluations_of(&block->input_coordinate));
        if (source == 1) {
            EXPECT_TRUE(same_bits(value_at(waves, {0.5, 1.5, -2.5}), first.value));
        }
    }
}

TEST_F(GridPlugin, ConnectedGroupInputsRunOnlyWhenTheModeReadsThem) {
    block.record.eval_flag = 1;
    block->pattern = waves;
    const Params &p = block.params();
    const void *inputs[] = {&p.scale_vector, &p.scale_x,  &p.scale_y,  &p.scale_z,  &p.rotate_vector, &p.rotate_x,
                            &p.rotate_y,     &p.rotate_z, &p.offset_vector, &p.offset_x, &p.offset_y, &p.offset_z};
    for (const void *input : inputs) block.mark(input);
    // Every connected value is copied before the next evaluation, even when
    // the host hands them all out through one location.
    host().one_buffer = true;
    host().set_value(&block->scale_vector, miVector{1.0f, 2.0f, 3.0f});
    host().set_value(&block->scale_x, 0.5f);
    host().set_value(&block->scale_y, 0.25f);
    host().set_value(&block->scale_z, 0.125f);
    host().set_value(&block->offset_vector, miVector{0.5f, 0.5f, 0.5f});
    for (int mode : {0, 7, -1}) {
        SCOPED_TRACE(mode);
        host().clear_calls();
        block->scale_mode = block->rotate_mode = block->offset_mode = mode;
        const Result r = run();
        for (const void *input : inputs) EXPECT_EQ(0u, evaluations_of(input));
        EXPECT_TRUE(same_bits(value_at(waves, coords_of(state.point)), r.value));
    }
    block->scale_mode = 3;
    block->rotate_mode = 0;
    block->offset_mode = 2;
    const miVector q = state.point;
    const Coords expected = {double(q.x) / 1.5 - 0.5, double(q.y) / 2.25 - 0.5, double(q.z) / 3.125 - 0.5};
    EXPECT_TRUE(same_bits(value_at(waves, expected), run().value));
}

}  // namespace
}  // namespace vek::test

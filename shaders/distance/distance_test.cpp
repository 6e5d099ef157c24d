#include "shaders/distance/distance.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

#include "stand_in_host/matrix.h"
#include "tests/support/bits.h"
#include "tests/support/plugin_fixture.h"

namespace vek::test {
namespace {

using distance::Params;

TEST(DistanceMeasures, FullDistanceSumsXAndYFirstInSinglePrecision) {
    // Here (x² + y²) + z², each step rounded to 32 bits, lands one unit below
    // both the double-precision distance and x² + (y² + z²).
    const float expected = 0x1.0032aap+12f;
    EXPECT_TRUE(same_bits(expected, distance::measured(distance::Measure::full, miVector{4099, 1, 37})));
    EXPECT_TRUE(same_bits(expected, distance::measured(distance::Measure::full, miVector{-4099, 1, -37})));
}

// The block with spare tag slots after it, for arrays that start past their
// first element slot.
struct WideBlock {
    Params p;
    miTag spare[3];
};

constexpr miTag reference_tag = 7;
constexpr miTag current_tag = 3;
constexpr miTag unknown_tag = 99;
const miVector reference_origin = {10, 20, 30};
const miVector current_origin = {1, 2, 3};
// An Euler brick: every face diagonal is a whole number, so the plane
// distances are exact.
const miVector brick = {-44, 117, -240};
const float brick_diagonal = sqrtf(73225.0f);

struct Matrix {
    float m[16];
};

Matrix placed(const float (&rows)[9], const miVector &origin) {
    return {{rows[0], rows[1], rows[2], 0, rows[3], rows[4], rows[5], 0, rows[6], rows[7], rows[8], 0, origin.x,
             origin.y, origin.z, 1}};
}
Matrix translated(const miVector &origin) { return placed({1, 0, 0, 0, 1, 0, 0, 0, 1}, origin); }
Matrix scaled_by_2(const miVector &origin) { return placed({2, 0, 0, 0, 2, 0, 0, 0, 2}, origin); }
// Quarter turns with exact entries: about z local x becomes world y; about x
// local y becomes world z.
Matrix quarter_turn_z(const miVector &origin) { return placed({0, 1, 0, -1, 0, 0, 0, 0, 1}, origin); }
Matrix quarter_turn_x(const miVector &origin) { return placed({1, 0, 0, 0, 0, 1, 0, -1, 0}, origin); }

miVector plus(const miVector &a, const miVector &b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }

// Ten measures in mode order.
using Measures = std::vector<float>;

class DistancePlugin : public PluginTest {
protected:
    DistancePlugin() : PluginTest("Vek_Distance") {}

    Block<WideBlock> block;
    miScalar result = 0;

    Params &p() { return block->p; }

    // The reference and the shaded instance, and a point given in world space.
    // Internal space is world space shifted by 100 along x, so a point used
    // without its conversion shows.
    void scene(const Matrix &reference, const Matrix &current, const miVector &world_point) {
        host().add_instance(reference_tag, reference.m);
        host().add_instance(current_tag, current.m);
        host::matrix_ident(host().to_world);
        host().to_world[12] = 100;
        host::matrix_prod(host().to_object, host().to_world, host().instances[current_tag].world_to_local);
        state.instance = current_tag;
        state.point = {world_point.x - 100, world_point.y, world_point.z};
        p().references = {0, 1, reference_tag};
    }

    float run(int mode) {
        p().mode = mode;
        result = -7.0f;
        EXPECT_EQ(miTRUE, call(&result, block));
        return result;
    }

    void remap_to_one_at_zero() {
        p().remap = 1;
        p().min_distance = 0;
        p().max_distance = 10;
        p().bias = 0.5f;
        p().gain = 0.5f;
        p().invert = 1;
    }
};

TEST_F(DistancePlugin, EveryMeasureInEveryFrame) {
    const float d = brick_diagonal;
    const Measures as_brick = {d, 267, 244, 125, 44, 117, 240, -44, 117, -240};
    // The reference scaled by 2: its own units are twice the world's.
    const Measures half_brick = {d / 2, 133.5f, 122, 62.5f, 22, 58.5f, 120, -22, 58.5f, -120};
    // The brick seen from the turned reference, (117, 44, -240) ...
    const Measures turned_z = {d, 244, 267, 125, 117, 44, 240, 117, 44, -240};
    // ... and from the turned shaded object, (-44, -240, -117).
    const Measures turned_x = {d, 267, 125, 244, 44, 240, 117, -44, -240, -117};
    const Measures zeros(10, 0.0f);

    struct Setup {
        const char *name;
        Matrix reference, current;
        miVector offset;  // of the point from the reference origin, in world space
        Measures world, in_reference, in_object;
    } setups[] = {
        {"translated", translated(reference_origin), translated(current_origin), brick, as_brick, as_brick,
         as_brick},
        {"reference scaled by 2", scaled_by_2(reference_origin), translated(current_origin), brick, as_brick,
         half_brick, as_brick},
        {"both turned", quarter_turn_z(reference_origin), quarter_turn_x(current_origin), brick, as_brick,
         turned_z, turned_x},
        {"at the reference origin", quarter_turn_z(reference_origin), quarter_turn_x(current_origin), {0, 0, 0},
         zeros, zeros, zeros},
    };
    for (const auto &s : setups) {
        host().reset();
        scene(s.reference, s.current, plus(reference_origin, s.offset));
        const Measures *frames[] = {&s.world, &s.in_reference, &s.in_object};
        for (int mode = 1; mode <= 30; ++mode) {
            SCOPED_TRACE(::testing::Message() << s.name << ", mode " << mode);
            const float expected = (*frames[(mode - 1) / 10])[(mode - 1) % 10];
            const float got = run(mode);
            // The origin may come back as -0 from the host's transforms.
            if (expected == 0.0f)
                EXPECT_EQ(0.0f, got);
            else
                EXPECT_TRUE(same_bits(expected, got));
        }
    }
}

TEST_F(DistancePlugin, EachFrameMakesItsOwnHostCalls) {
    const miVector world_point = plus(reference_origin, brick);
    scene(translated(reference_origin), translated(current_origin), world_point);
    const miVector internal = state.point;
    const float *reference_to_local = host().instances[reference_tag].world_to_local;
    const float *current_to_local = host().instances[current_tag].world_to_local;

    auto expect_query = [&](const HostCall &c, int code, miTag tag) {
        EXPECT_EQ("mi_query", c.name);
        EXPECT_EQ(code, c.code);
        EXPECT_EQ(nullptr, c.state);
        EXPECT_EQ(tag, c.tag);
        EXPECT_NE(nullptr, c.address);
        EXPECT_TRUE(c.extra.empty());
    };
    auto expect_point = [&](const HostCall &c, const char *name, const miVector &in) {
        EXPECT_EQ(name, c.name);
        EXPECT_EQ(&state, c.state);
        EXPECT_TRUE(same_bits(in, c.in));
    };
    auto expect_transform = [&](const HostCall &c, const float *matrix, const miVector &in) {
        EXPECT_EQ("mi_point_transform", c.name);
        EXPECT_EQ(matrix, c.address);
        EXPECT_TRUE(same_bits(in, c.in));
    };

    for (int mode = 1; mode <= 30; ++mode) {
        SCOPED_TRACE(::testing::Message() << "mode " << mode);
        host().clear_calls();
        run(mode);
        const auto calls = host().calls();
        if (mode <= 10) {
            ASSERT_EQ(2u, calls.size());
            expect_query(calls[0], 5, reference_tag);
            expect_point(calls[1], "mi_point_to_world", internal);
        } else if (mode <= 20) {
            ASSERT_EQ(3u, calls.size());
            expect_query(calls[0], 4, reference_tag);
            expect_point(calls[1], "mi_point_to_world", internal);
            expect_transform(calls[2], reference_to_local, world_point);
        } else {
            ASSERT_EQ(4u, calls.size());
            expect_query(calls[0], 5, reference_tag);
            expect_query(calls[1], 4, current_tag);
            expect_transform(calls[2], current_to_local, reference_origin);
            expect_point(calls[3], "mi_point_to_object", internal);
        }
    }
}

TEST_F(DistancePlugin, FailingQueryMeasuresZeroAndSkipsTheRestOfTheFrame) {
    struct Case {
        int mode;
        bool reference_known, current_known;
        std::vector<std::string> calls;
    } cases[] = {
        {1, false, true, {"mi_query"}},
        {8, false, true, {"mi_query"}},
        {12, false, true, {"mi_query"}},
        {20, false, true, {"mi_query"}},
        {21, false, true, {"mi_query"}},
        {28, true, false, {"mi_query", "mi_query"}},
    };
    for (const auto &c : cases) {
        for (int remap : {0, 1}) {
            SCOPED_TRACE(::testing::Message() << "mode " << c.mode << ", remap " << remap);
            host().reset();
            scene(translated(reference_origin), translated(current_origin), plus(reference_origin, brick));
            if (!c.reference_known) host().instances.erase(reference_tag);
            if (!c.current_known) host().instances.erase(current_tag);
            if (remap) remap_to_one_at_zero();
            else p().remap = 0;
            EXPECT_TRUE(same_bits(remap ? 1.0f : 0.0f, run(c.mode)));
            EXPECT_EQ(c.calls, host().call_names());
        }
    }
}

TEST_F(DistancePlugin, EmptyReferenceListMeasuresZeroWithoutAQuery) {
    scene(translated(reference_origin), translated(current_origin), plus(reference_origin, brick));
    // The first element slot holds a known tag, but the list has no element.
    p().references = {0, 0, reference_tag};
    for (int mode : {1, 15, 27}) {
        host().clear_calls();
        p().remap = 0;
        EXPECT_TRUE(same_bits(0.0f, run(mode)));
        remap_to_one_at_zero();
        EXPECT_TRUE(same_bits(1.0f, run(mode)));
        EXPECT_TRUE(host().call_names().empty());
    }
}

TEST_F(DistancePlugin, ReferenceIsTheElementAtTheStartIndex) {
    scene(translated(reference_origin), translated(current_origin), plus(reference_origin, brick));
    // The slots right after the first element slot are the block's own
    // parameters; the host keeps further elements past the block.
    constexpr int first_spare = (offsetof(WideBlock, spare) - offsetof(Params, references.first)) / sizeof(miTag);
    struct Case {
        int start, count;
    } cases[] = {
        {0, 1},
        {first_spare, 1},  // the count plays no part in the lookup
        {first_spare + 2, 3},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(::testing::Message() << "start " << c.start);
        p().references.first = unknown_tag;
        for (auto &tag : block->spare) tag = unknown_tag;
        if (c.start == 0)
            p().references.first = reference_tag;
        else
            block->spare[c.start - first_spare] = reference_tag;
        p().references.start = c.start;
        p().references.count = c.count;
        host().clear_calls();
        EXPECT_TRUE(same_bits(brick_diagonal, run(1)));
        const auto calls = host().calls();
        ASSERT_FALSE(calls.empty());
        EXPECT_EQ(reference_tag, calls[0].tag);
    }
}

TEST_F(DistancePlugin, UnknownModeGivesZeroAfterEvaluatingOnlyTheMode) {
    scene(translated(reference_origin), translated(current_origin), plus(reference_origin, brick));
    remap_to_one_at_zero();
    block.record.eval_flag = 1;
    block.mark_all(1);
    for (int mode : {0, -1, 31, INT_MIN, INT_MAX}) {
        SCOPED_TRACE(::testing::Message() << "mode " << mode);
        host().clear_calls();
        EXPECT_TRUE(same_bits(0.0f, run(mode)));
        const auto calls = host().calls();
        ASSERT_EQ(1u, calls.size());
        EXPECT_EQ("mi_phen_eval", calls[0].name);
        EXPECT_EQ(&p().mode, calls[0].address);
    }
}

TEST_F(DistancePlugin, RemappingSettingsAreEvaluatedOnlyWhenRemapIsOn) {
    scene(translated(reference_origin), translated(current_origin), plus(reference_origin, brick));
    // Stored values that would give another result if they were used.
    p() = Params{0, {0, 1, reference_tag}, 0, 0, 1, 0.5f, 0.3f, 0, 0};
    block.record.eval_flag = 1;
    block.mark_all(1);
    // The absolute y offset 117, ranged over 17..417 to 0.25, inverted to 0.75,
    // biased by 0.25 to exactly 0.5; the evaluated gain is neutral.
    host().set_value(&p().mode, 6);
    host().set_value(&p().min_distance, 17.0f);
    host().set_value(&p().max_distance, 417.0f);
    host().set_value(&p().bias, 0.25f);
    host().set_value(&p().gain, 0.5f);
    host().set_value(&p().invert, 1);

    const std::vector<const void *> evaluated_off = {&p().mode, &p().remap};
    const std::vector<const void *> evaluated_on = {&p().mode, &p().remap,    &p().min_distance, &p().max_distance,
                                                    &p().bias, &p().gain,     &p().invert,       &p().reserved};
    for (int remap : {0, 1}) {
        SCOPED_TRACE(::testing::Message() << "remap " << remap);
        host().clear_calls();
        host().set_value(&p().remap, remap);
        call(&result, block);
        EXPECT_TRUE(same_bits(remap ? 0.5f : 117.0f, result));

        const auto calls = host().calls();
        std::vector<const void *> evaluated;
        for (const auto &c : calls)
            if (c.name == "mi_phen_eval") evaluated.push_back(c.address);
        EXPECT_EQ(remap ? evaluated_on : evaluated_off, evaluated);
        // The mode first, then the frame's host calls, then the remapping settings.
        ASSERT_GE(calls.size(), 4u);
        EXPECT_EQ("mi_phen_eval", calls[0].name);
        EXPECT_EQ("mi_query", calls[1].name);
        EXPECT_EQ("mi_point_to_world", calls[2].name);
        EXPECT_EQ(&p().remap, calls[3].address);
    }
}

}  // namespace
}  // namespace vek::test

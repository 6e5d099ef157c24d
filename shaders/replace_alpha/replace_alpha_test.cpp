#include "shaders/replace_alpha/replace_alpha.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>

#include "tests/support/bits.h"
#include "tests/support/plugin_fixture.h"

namespace vek::test {
namespace {

using replace_alpha::Params;

void expect_same_bits(const miColor &expected, const miColor &actual) { EXPECT_TRUE(same_bits(expected, actual)); }

TEST(ReplaceAlphaAverage, SumsInSinglePrecisionAndThirdsInDouble) {
    const float third = static_cast<float>(1.0 / 3.0);
    const float nan = std::numeric_limits<float>::quiet_NaN();
    struct Case {
        miColor color;
        float expected;
    } cases[] = {
        {{1, 1, 1, 0}, 1.0f},
        {{0.5f, 0.25f, 0.25f, 0}, third},
        {{1, 0, 0, 0}, third},
        {{-3, 0, 0, 0}, -1.0f},
        // (1e8 + 1) rounds away in single precision before the blue is added.
        {{1e8f, 1, -1e8f, 0}, 0.0f},
    };
    for (const auto &c : cases) EXPECT_EQ(bits(c.expected), bits(replace_alpha::average_rgb(c.color)));
    EXPECT_TRUE(std::isnan(replace_alpha::average_rgb({nan, 0, 0, 0})));
}

class ReplaceAlphaPlugin : public PluginTest {
protected:
    ReplaceAlphaPlugin() : PluginTest("Vek_Replace_Alpha") {}
    Block<Params> block;
    miColor result{};

    void set(miColor in, float alpha, int pass, int as_rgb, int average, int set_opacity, float opacity) {
        block.params() = Params{in, alpha, pass, as_rgb, average, set_opacity, opacity};
    }
};

TEST_F(ReplaceAlphaPlugin, ResultsForEveryCombinationOfSwitches) {
    const miColor in = {0.5f, 0.25f, 0.25f, 0.75f};
    const float third = static_cast<float>(1.0 / 3.0);
    struct Case {
        int pass, as_rgb, average;
        miColor expected;
    } cases[] = {
        {0, 0, 0, {0.5f, 0.25f, 0.25f, -2.0f}},
        {0, 1, 0, {0.75f, 0.75f, 0.75f, -2.0f}},
        {0, 0, 1, {0.5f, 0.25f, 0.25f, third}},
        // The average is of the input's own colour, not of the grey.
        {0, 1, 1, {0.75f, 0.75f, 0.75f, third}},
        {1, 1, 1, in},
        {7, 0, 0, in},  // every nonzero value is true
    };
    for (const auto &c : cases) {
        set(in, -2.0f, c.pass, c.as_rgb, c.average, 0, 0.0f);
        EXPECT_EQ(miTRUE, call(&result, block));
        expect_same_bits(c.expected, result);
    }
    EXPECT_EQ(0u, host().count("mi_opacity_set"));
}

TEST_F(ReplaceAlphaPlugin, OpacityIsHandedOverOnceAfterTheResultUnlessPassedThrough) {
    set({1, 2, 3, 4}, 0.5f, 0, 0, 0, 1, -0.25f);
    call(&result, block);
    auto calls = host().calls();
    ASSERT_EQ(1u, calls.size());
    EXPECT_EQ("mi_opacity_set", calls[0].name);
    EXPECT_EQ(&state, calls[0].state);
    expect_same_bits({-0.25f, -0.25f, -0.25f, -0.25f}, calls[0].color);
    expect_same_bits({1, 2, 3, 0.5f}, result);

    host().clear_calls();
    block->pass_through = 1;
    call(&result, block);
    EXPECT_EQ(0u, host().count("mi_opacity_set"));
    expect_same_bits({1, 2, 3, 4}, result);
}

TEST_F(ReplaceAlphaPlugin, OpacityIsSetAfterTheResultIsWritten) {
    set({1, 2, 3, 4}, 0.5f, 0, 1, 0, 1, 1.0f);
    miColor seen{};
    // The host looks at the result record while the opacity is handed over.
    host().on_opacity_set = [&](miState *, const miColor *) { seen = result; };
    call(&result, block);
    expect_same_bits({4, 4, 4, 0.5f}, seen);
    expect_same_bits({4, 4, 4, 0.5f}, result);
}

TEST_F(ReplaceAlphaPlugin, EvaluatesAllSevenParametersInBlockOrderOnEveryPath) {
    for (int pass : {0, 1}) {
        host().reset();
        set({0, 0, 0, 0}, 0, pass, 0, 0, 1, 0);
        block.record.eval_flag = 1;
        block.mark_all(1);
        // Connected values differ from the stored ones.
        host().set_value(&block->input_color, miColor{0.1f, 0.2f, 0.3f, 0.4f});
        host().set_value(&block->alpha, 0.9f);
        host().set_value(&block->set_opacity, 1);
        host().set_value(&block->opacity, 0.6f);
        call(&result, block);
        const auto calls = host().calls();
        const void *expected_order[] = {&block->input_color, &block->alpha,        &block->pass_through,
                                        &block->alpha_as_rgb, &block->average_alpha, &block->set_opacity,
                                        &block->opacity};
        ASSERT_GE(calls.size(), 7u);
        for (int i = 0; i < 7; ++i) {
            EXPECT_EQ("mi_phen_eval", calls[i].name);
            EXPECT_EQ(expected_order[i], calls[i].address);
        }
        if (pass) {
            EXPECT_EQ(7u, calls.size());
            expect_same_bits({0.1f, 0.2f, 0.3f, 0.4f}, result);
        } else {
            ASSERT_EQ(8u, calls.size());
            expect_same_bits({0.6f, 0.6f, 0.6f, 0.6f}, calls[7].color);
            expect_same_bits({0.1f, 0.2f, 0.3f, 0.9f}, result);
        }
    }
}

}  // namespace
}  // namespace vek::test

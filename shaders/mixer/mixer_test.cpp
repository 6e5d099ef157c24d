#include "shaders/mixer/mixer.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

#include "tests/support/bits.h"
#include "tests/support/plugin_fixture.h"

namespace vek::test {
namespace {

using mixer::Params;
namespace mode = mixer::mode;

const float nan_f = std::numeric_limits<float>::quiet_NaN();

// (t - b) * w + b in double, narrowed once: the full computation's weighting.
float weighted(float t, float b, double w) { return static_cast<float>((double(t) - double(b)) * w + double(b)); }

miColor rgb_of(miColor c, float a) { return {c.r, c.g, c.b, a}; }

class MixerPlugin : public PluginTest {
protected:
    MixerPlugin() : PluginTest("Vek_Mixer") {}
    Block<Params> block;

    // The top colour goes into color1, or into color2 with the roles swapped.
    static Params params(miColor top, miColor base, int mix_mode, float amount, int alpha_mode, int swap = 0,
                         int use_hsv = 0) {
        Params p{};
        p.color1 = swap ? base : top;
        p.color2 = swap ? top : base;
        p.mix_mode = mix_mode;
        p.amount = amount;
        p.swap_colors = swap;
        p.reserved = 0;
        p.use_hsv = use_hsv;
        p.alpha_mode = alpha_mode;
        return p;
    }
    miColor run(const Params &p) {
        block.params() = p;
        miColor result = {-7, -7, -7, -7};
        EXPECT_EQ(miTRUE, call(&result, block));
        return result;
    }
    std::vector<const void *> evaluated() const {
        std::vector<const void *> out;
        for (const auto &c : host().calls()) {
            EXPECT_EQ("mi_phen_eval", c.name);
            out.push_back(c.address);
        }
        return out;
    }
};

const miColor kTop = {0.25f, 0.5f, 0.125f, 0.75f};
const miColor kBase = {1.0f, 0.75f, 0.5f, 0.25f};

TEST_F(MixerPlugin, EvaluationOrderOfShortcutAndFullComputation) {
    const Params &b = block.params();
    const void *settings[] = {&b.mix_mode, &b.amount, &b.swap_colors, &b.reserved, &b.use_hsv, &b.alpha_mode};
    struct Case {
        float amount;
        int alpha_mode, swap;
        std::vector<const void *> colours;  // evaluated after the six settings
    } cases[] = {
        {0, mixer::alpha_zero, 0, {&b.color2}},  // shortcut: the base alone
        {0, mixer::alpha_zero, 1, {&b.color1}},
        {-0.5f, mixer::alpha_amount, 1, {&b.color1}},
        {nan_f, mixer::alpha_blend, 0, {&b.color2}},
        {0, mixer::alpha_top, 0, {&b.color1, &b.color2}},  // shortcut, with the top alpha
        {0, mixer::alpha_top, 1, {&b.color1, &b.color2}},
        {0.5f, mixer::alpha_zero, 0, {&b.color1, &b.color2}},  // full computation
        {0.5f, mixer::alpha_zero, 1, {&b.color1, &b.color2}},
        {0, mixer::alpha_by_mode, 0, {&b.color1, &b.color2}},  // not a shortcut alpha mode
        {0, 12, 1, {&b.color1, &b.color2}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(::testing::Message() << "amount " << c.amount << " alpha " << c.alpha_mode << " swap " << c.swap);
        host().reset();
        block.record.eval_flag = 1;
        block.mark_all(1);
        run(params(kTop, kBase, mode::multiply, c.amount, c.alpha_mode, c.swap, 1));
        std::vector<const void *> expected(std::begin(settings), std::end(settings));
        expected.insert(expected.end(), c.colours.begin(), c.colours.end());
        EXPECT_EQ(expected, evaluated());
    }

    // The evaluated swap decides which colour is the base, not the stored one.
    host().reset();
    host().set_value(&block->swap_colors, miBoolean{1});
    const miColor result = run(params(kTop, kBase, mode::normal, 0, mixer::alpha_base, 0));
    EXPECT_EQ(&block->color1, evaluated().back());
    EXPECT_TRUE(same_bits(kTop, result));

    // Without the evaluation flag nothing is asked of the host.
    host().reset();
    block.record.eval_flag = 0;
    run(params(kTop, kBase, mode::multiply, 0.5f, mixer::alpha_by_mode));
    EXPECT_TRUE(host().calls().empty());
}

TEST_F(MixerPlugin, EvaluatedValuesAreCopiedBeforeTheNextEvaluation) {
    // The host hands every value back through one location; stored values are all zero.
    host().one_buffer = true;
    block.record.eval_flag = 1;
    block.mark_all(1);
    host().set_value(&block->color1, miColor{0.25f, 0.5f, 0.125f, 0.25f});
    host().set_value(&block->mix_mode, miInteger{mode::subtract});
    host().set_value(&block->amount, 1.0f);
    host().set_value(&block->color2, miColor{1.0f, 0.75f, 0.5f, 0.5f});
    host().set_value(&block->swap_colors, miBoolean{1});
    host().set_value(&block->reserved, miInteger{12345});
    host().set_value(&block->use_hsv, miBoolean{0});
    host().set_value(&block->alpha_mode, miInteger{mixer::alpha_sum});
    const miColor result = run(Params{});
    // Swapped subtract at full amount: color2 - color1; the alphas summed.
    EXPECT_TRUE(same_bits(miColor{0.75f, 0.25f, 0.375f, 0.75f}, result));
}

TEST_F(MixerPlugin, EveryAlphaModeAgainstEveryColumn) {
    // Top alpha 0.75, base alpha 0.25, amount 0.5: every value below is exact.
    const int columns[] = {mode::normal, 35, mode::multiply, mode::normal_by_top_alpha,
                           mode::normal_by_top_transparency};
    struct Row {
        int alpha_mode;
        float normal, unlisted, formula, by_top_alpha, by_top_transparency;
    } rows[] = {
        {0, 0, 0, 0, 0, 0},
        {1, 1, 1, 1, 1, 1},
        {2, 0.75f, 0.75f, 0.75f, 0.75f, 0.75f},
        {3, 0.25f, 0.25f, 0.25f, 0.25f, 0.25f},
        {4, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f},
        {5, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f},
        // (S - 0.25) * 0.5 + 0.25 with S = 0.75 * 0.25; weights 0.375 and 0.125 for 40 and 41.
        {6, 0.5f, 0.5f, 0.21875f, 0.4375f, 0.3125f},
        {7, 0.25f, 0.25f, 0.25f, 0.25f, 0.25f},
        {8, 0.75f, 0.75f, 0.75f, 0.75f, 0.75f},
        {9, 1, 1, 1, 1, 1},
        {12, 0.5f, 0.5f, 0, 0, 0},
        {-1, 0.5f, 0.5f, 0, 0, 0},
    };
    const miColor top = rgb_of(kTop, 0.75f), base = rgb_of(kBase, 0.25f);
    for (const auto &r : rows)
        for (int swap : {0, 1})
            for (int use_hsv : {0, 1}) {
                const float expected[] = {r.normal, r.unlisted, r.formula, r.by_top_alpha, r.by_top_transparency};
                for (int k = 0; k < 5; ++k) {
                    SCOPED_TRACE(::testing::Message() << "alpha " << r.alpha_mode << " mix " << columns[k]
                                                      << " swap " << swap << " hsv " << use_hsv);
                    const miColor result = run(params(top, base, columns[k], 0.5f, r.alpha_mode, swap, use_hsv));
                    EXPECT_TRUE(same_bits(expected[k], result.a));
                }
            }
}

TEST_F(MixerPlugin, ShortcutCopiesTheBaseUnchanged) {
    // A signalling NaN would come back quieted from a trip through double.
    const float signalling = float_from_bits(0x7fa00001u);
    const miColor base = {0.1f, signalling, -3.0f, 0.3f};
    const miColor top = {0.9f, 0.8f, 0.7f, 0.6f};
    const float amounts[] = {0.0f, -0.0f, -0.5f, nan_f};
    for (float amount : amounts)
        for (int swap : {0, 1})
            for (int alpha_mode = 0; alpha_mode <= 5; ++alpha_mode) {
                SCOPED_TRACE(::testing::Message() << "amount " << amount << " alpha " << alpha_mode << " swap " << swap);
                // Neither the mixing mode nor HSV plays a part.
                const miColor result = run(params(top, base, mode::divide, amount, alpha_mode, swap, 1));
                const float alphas[] = {0.0f, 1.0f, top.a, base.a, amount, base.a};
                EXPECT_EQ(bits(base.r), bits(result.r));
                EXPECT_EQ(bits(base.g), bits(result.g));
                EXPECT_EQ(bits(base.b), bits(result.b));
                EXPECT_EQ(bits(alphas[alpha_mode]), bits(result.a));
            }
}

TEST_F(MixerPlugin, PlainWeightings) {
    // Values for which single-precision arithmetic would round the red differently.
    const miColor top = {0.236088976f, 0.5f, -2.0f, 0.75f};
    const miColor base = {0.0923385918f, 0.25f, 4.0f, 0.25f};
    const float amount = 0.396580726f;
    const double a = amount, ta = top.a;
    struct Case {
        int mix_mode;
        double w;
    } cases[] = {
        {mode::normal, a},
        {-1, a},
        {29, a},
        {35, a},
        {39, a},
        {42, a},
        {100, a},
        {mode::normal_by_top_alpha, a * ta},
        {mode::normal_by_top_transparency, (1 - ta) * a},
    };
    for (const auto &c : cases)
        for (int use_hsv : {0, 1}) {
            SCOPED_TRACE(::testing::Message() << "mix " << c.mix_mode << " hsv " << use_hsv);
            const miColor result = run(params(top, base, c.mix_mode, amount, mixer::alpha_by_mode, 0, use_hsv));
            EXPECT_TRUE(same_bits(miColor{weighted(top.r, base.r, c.w), weighted(top.g, base.g, c.w),
                                          weighted(top.b, base.b, c.w), weighted(top.a, base.a, c.w)},
                                  result));
        }

    // Extrapolation with a negative amount, and no clamping.
    EXPECT_TRUE(same_bits(miColor{weighted(kTop.r, kBase.r, -0.5), weighted(kTop.g, kBase.g, -0.5),
                                  weighted(kTop.b, kBase.b, -0.5), weighted(kTop.a, kBase.a, -0.5)},
                          run(params(kTop, kBase, mode::normal, -0.5f, mixer::alpha_by_mode))));

    // By top alpha: a clear top leaves the base, an opaque one at full amount gives the top.
    // By top transparency: an opaque top leaves the base.
    EXPECT_TRUE(same_bits(rgb_of(kBase, 1), run(params(rgb_of(kTop, 0), kBase, 40, 0.8f, mixer::alpha_one))));
    EXPECT_TRUE(same_bits(rgb_of(kTop, 1), run(params(rgb_of(kTop, 1), kBase, 40, 1.0f, mixer::alpha_one))));
    EXPECT_TRUE(same_bits(rgb_of(kBase, 1), run(params(rgb_of(kTop, 1), kBase, 41, 0.8f, mixer::alpha_one))));
}

TEST_F(MixerPlugin, FormulaModesWeighAgainstTheBaseAsTheFormulaLeftIt) {
    struct Case {
        const char *what;
        miColor top, base;
        int mix_mode;
        float amount;
        int swap, use_hsv, alpha_mode;
        miColor expected;
    } cases[] = {
        // Swapped: color1 = kTop is the base, color2 = kBase the top; the result is color2 - color1.
        {"swapped subtract", kBase, kTop, mode::subtract, 1.0f, 1, 0, mixer::alpha_top,
         {0.75f, 0.25f, 0.375f, kBase.a}},
        // The base 0 is bounded to 0.001 and that bounded base enters the weighting.
        {"divide by a bounded base", {0.5f, 0.5f, 0.5f, 1}, {0, 0.25f, 0, 0}, mode::divide, 0.5f, 0, 0,
         mixer::alpha_sum,
         {static_cast<float>((0.5 / 0.001 - 0.001) * 0.5 + 0.001), 1.125f,
          static_cast<float>((0.5 / 0.001 - 0.001) * 0.5 + 0.001), 1}},
        {"sum of alphas is not clamped", {0, 0, 0, 0.8f}, {0, 0, 0, 0.8f}, mode::add, 1, 0, 0, mixer::alpha_sum,
         {0, 0, 0, 2 * 0.8f}},
        // HSV (0, 0, 0.5) + (0, 1, 1) = (0, 1, 1.5); the value clamps to 1 on the way back.
        {"hsv add", {0.5f, 0.5f, 0.5f, 1}, {1, 0, 0, 1}, mode::add, 1, 0, 1, mixer::alpha_one, {1, 0, 0, 1}},
        // HSV (0, 1, 1) * (1/3, 1, 0.5) = (0, 1, 0.5), i.e. RGB (0.5, 0, 0), weighted
        // against the base's RGB (0, 0.5, 0), not against its HSV.
        {"hsv multiply", {1, 0, 0, 1}, {0, 0.5f, 0, 1}, mode::multiply, 1, 0, 1, mixer::alpha_one, {0.5f, 0, 0, 1}},
        {"hsv multiply halfway", {1, 0, 0, 1}, {0, 0.5f, 0, 1}, mode::multiply, 0.5f, 0, 1, mixer::alpha_one,
         {0.25f, 0.25f, 0, 1}},
        {"hsv multiply swapped", {1, 0, 0, 1}, {0, 0.5f, 0, 1}, mode::multiply, 0.5f, 1, 1, mixer::alpha_one,
         {0.25f, 0.25f, 0, 1}},
        // The alpha takes the scalar form: its bound (0.9999) keeps 0.9995, where
        // the colour form would have made it 0.999.
        {"alpha by color_dodge", {1, 1, 1, 0.9995f}, {0.5f, 0.5f, 0.5f, 0.5f}, mode::color_dodge, 1, 0, 0,
         mixer::alpha_by_mode,
         {static_cast<float>((0.5 / (1 - 0.999) - 0.5) * 1 + 0.5), static_cast<float>((0.5 / (1 - 0.999) - 0.5) + 0.5),
          static_cast<float>((0.5 / (1 - 0.999) - 0.5) + 0.5),
          static_cast<float>((0.5 / (1 - double(0.9995f)) - 0.5) + 0.5)}},
        // The scalar color_burn bounds a clear top alpha to 0.0001.
        {"alpha by color_burn", {1, 1, 1, 0}, {0.5f, 0.5f, 0.5f, 0.5f}, mode::color_burn, 1, 0, 0,
         mixer::alpha_by_mode, {0.5f, 0.5f, 0.5f, static_cast<float>((1 - (0.5 / 0.0001) - 0.5) + 0.5)}},
        // Nothing clamps: a NaN from soft_light's square root of a negative base travels out.
        {"soft light of a negative base", {0.5f, 0.5f, 0.5f, 1}, {-1, 0.25f, -1, 1}, mode::soft_light, 1, 0, 0,
         mixer::alpha_one, {nan_f, 0.25f, nan_f, 1}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_TRUE(same_bits(c.expected, run(params(c.top, c.base, c.mix_mode, c.amount, c.alpha_mode, c.swap,
                                                     c.use_hsv))));
    }
}

TEST_F(MixerPlugin, HsvResultIsTheConvertedMixWeightedAgainstTheBaseRgb) {
    // A fixed-seed sweep over every formula mode: the plug-in agrees with the
    // pure pieces put together, and in RGB mode with the pure colour form.
    std::uint32_t seed = 12345;
    auto next = [&seed] {
        seed = seed * 1664525u + 1013904223u;
        return static_cast<float>(seed >> 8) / 16777216.0f;
    };
    for (int m = 1; m <= mixer::kFormulaModeCount; ++m)
        for (int use_hsv : {0, 1})
            for (int n = 0; n < 8; ++n) {
                const miColor top = {next(), next(), next(), next()}, base = {next(), next(), next(), next()};
                const float amount = next();
                mixer::Triple t = {top.r, top.g, top.b}, b = {base.r, base.g, base.b}, mixed{};
                const mixer::Triple base_rgb = b;
                if (use_hsv) {
                    mixer::rgb_to_hsv(t);
                    mixer::rgb_to_hsv(b);
                }
                mixer::mix_color(m, t, b, mixed);
                if (use_hsv) mixer::hsv_to_rgb(mixed);
                const mixer::Triple &against = use_hsv ? base_rgb : b;
                const double a = amount;
                const miColor expected = {static_cast<float>((mixed.x - against.x) * a + against.x),
                                          static_cast<float>((mixed.y - against.y) * a + against.y),
                                          static_cast<float>((mixed.z - against.z) * a + against.z), 1};
                SCOPED_TRACE(::testing::Message() << mixer::mix_mode_name(m) << " hsv " << use_hsv << " n " << n);
                EXPECT_TRUE(same_bits(expected, run(params(top, base, m, amount, mixer::alpha_one, 0, use_hsv))));
            }
}

}  // namespace
}  // namespace vek::test

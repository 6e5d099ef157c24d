// The 28 per-channel mixing formulas of the mixer, each written once as a
// function of a top value t and a base value b, and used in two forms:
//
//  - colour form (`mix_color`): channel by channel over the caller's top and
//    base triples. Its bounds are written back into those triples, because the
//    caller weights the mix against the base as the formula saw it.
//  - scalar form (`mix_scalar`): the top and base alphas by value. Its bounds
//    are looser (0.0001 / 0.9999) and act on local copies only.
//
// Parentheses in each formula are the order of evaluation; multiplications by
// 2 and 0.5 are exact and sit wherever they read best.
#pragma once

#include <algorithm>
#include <cmath>
#include <limits>

#include "shaders/mixer/triple.h"

namespace vek::mixer {

// Step 1: bounds. A bound lies at infinity when it does not act: no value is
// beyond it, and a NaN fails every comparison, so NaN inputs pass unchanged.
constexpr double kNoBound = std::numeric_limits<double>::infinity();

struct Bounds {
    double top_min, top_max, base_min, base_max;
};

constexpr Bounds unbounded = {-kNoBound, kNoBound, -kNoBound, kNoBound};
constexpr Bounds top_min(double v) { return {v, kNoBound, -kNoBound, kNoBound}; }
constexpr Bounds top_max(double v) { return {-kNoBound, v, -kNoBound, kNoBound}; }
constexpr Bounds base_min(double v) { return {-kNoBound, kNoBound, v, kNoBound}; }
constexpr Bounds base_max(double v) { return {-kNoBound, kNoBound, -kNoBound, v}; }
constexpr Bounds both(Bounds a, Bounds b) {
    return {std::max(a.top_min, b.top_min), std::min(a.top_max, b.top_max), std::max(a.base_min, b.base_min),
            std::min(a.base_max, b.base_max)};
}

// Step 2: the list of formula modes: number, name, mixed value of (t, b),
// colour-form bounds, scalar-form bounds. Every dispatch below is generated
// from it.
//
// The scalar `color_burn` (17) bounds its divisor t below at 0.0001, like every
// other scalar burn and heat (19, 21, 24, 25); only `divide` keeps 0.001 in
// both forms.
constexpr double kPi = 3.141592653589793;

// clang-format off
#define VEK_MIX_MODES(X)                                                                                              \
    X(1,  add,                    t + b,                                                                              \
          unbounded,                                       unbounded)                                                 \
    X(2,  subtract,               t - b,                                                                              \
          unbounded,                                       unbounded)                                                 \
    X(3,  linear_burn,            (t + b) - 1,                                                                        \
          unbounded,                                       unbounded)                                                 \
    X(4,  multiply,               t * b,                                                                              \
          unbounded,                                       unbounded)                                                 \
    X(5,  divide,                 t / b,                                                                              \
          base_min(0.001),                                 base_min(0.001))                                           \
    X(6,  screen,                 1 - ((1 - t) * (1 - b)),                                                            \
          unbounded,                                       unbounded)                                                 \
    X(7,  darken,                 b > t ? t : b,                                                                      \
          unbounded,                                       unbounded)                                                 \
    X(8,  lighten,                t > b ? t : b,                                                                      \
          unbounded,                                       unbounded)                                                 \
    X(9,  difference,             std::fabs(t - b),                                                                   \
          unbounded,                                       unbounded)                                                 \
    X(10, negation,               1 - std::fabs((1 - t) - b),                                                         \
          unbounded,                                       unbounded)                                                 \
    X(11, exclusion,              (t + b) - ((2 * t) * b),                                                            \
          unbounded,                                       unbounded)                                                 \
    X(12, overlay,                b < 0.5 ? (2 * t) * b : 1 - 2 * ((1 - t) * (1 - b)),                                \
          unbounded,                                       unbounded)                                                 \
    X(13, hard_light,             t < 0.5 ? (2 * t) * b : 1 - 2 * ((1 - t) * (1 - b)),                                \
          unbounded,                                       unbounded)                                                 \
    X(14, soft_light,             t < 0.5 ? ((1 - 2 * t) * (b * b)) + ((2 * b) * t)                                   \
                                          : (std::sqrt(b) * (2 * t - 1)) + ((1 - t) * (2 * b)),                       \
          unbounded,                                       unbounded)                                                 \
    X(15, smooth_soft_light,      (((2 * b) * t) + (b * b)) - (((2 * b) * b) * t),                                    \
          unbounded,                                       unbounded)                                                 \
    X(16, color_dodge,            b / (1 - t),                                                                        \
          top_max(0.999),                                  top_max(0.9999))                                           \
    X(17, color_burn,             1 - ((1 - b) / t),                                                                  \
          top_min(0.001),                                  top_min(0.0001))                                           \
    X(18, exchanged_color_dodge,  t / (1 - b),                                                                        \
          base_max(0.999),                                 base_max(0.9999))                                          \
    X(19, exchanged_color_burn,   1 - ((1 - t) / b),                                                                  \
          base_min(0.001),                                 base_min(0.0001))                                          \
    X(20, soft_dodge,             (b + t) < 1 ? (0.5 * b) / (1 - t) : 1 - ((0.5 * (1 - t)) / b),                      \
          both(top_max(0.999), base_min(0.001)),           both(top_max(0.9999), base_min(0.0001)))                   \
    X(21, soft_burn,              (b + t) < 1 ? (0.5 * t) / (1 - b) : 1 - ((0.5 * (1 - b)) / t),                      \
          both(base_max(0.999), top_min(0.001)),           both(base_max(0.9999), top_min(0.0001)))                   \
    X(22, reflect,                (b * b) / (1 - t),                                                                  \
          top_max(0.999),                                  top_max(0.9999))                                           \
    X(23, glow,                   (t * t) / (1 - b),                                                                  \
          base_max(0.999),                                 base_max(0.9999))                                          \
    X(24, freeze,                 1 - (((1 - b) * (1 - b)) / t),                                                      \
          top_min(0.001),                                  top_min(0.0001))                                           \
    X(25, heat,                   1 - (((1 - t) * (1 - t)) / b),                                                      \
          base_min(0.001),                                 base_min(0.0001))                                          \
    /* cos is pure, so which of the two cosines is taken first cannot show. */                                        \
    X(26, cosine_interpolation,   (0.5 - 0.25 * std::cos(kPi * b)) - 0.25 * std::cos(kPi * t),                        \
          unbounded,                                       unbounded)                                                 \
    X(27, linear_light,           ((t + b) + t) - 1,                                                                  \
          unbounded,                                       unbounded)                                                 \
    X(28, exchanged_linear_light, ((b + t) + b) - 1,                                                                  \
          unbounded,                                       unbounded)
// clang-format on

// Mode numbers, by name. 0, 40 and 41 are the plain weightings; every value
// not named here mixes as `normal`.
namespace mode {
enum : int {
    normal = 0,
#define VEK_MIX_MODE_NUMBER(number, name, value, color_bounds, scalar_bounds) name = number,
    VEK_MIX_MODES(VEK_MIX_MODE_NUMBER)
#undef VEK_MIX_MODE_NUMBER
    normal_by_top_alpha = 40,
    normal_by_top_transparency = 41,
};
}  // namespace mode

constexpr int kFormulaModeCount = 28;
inline bool is_formula_mode(int mix_mode) { return mix_mode >= 1 && mix_mode <= kFormulaModeCount; }

// The list is numbered 1, 2, ... kFormulaModeCount with no gap, so the
// switches below cover exactly the formula modes.
namespace detail {
constexpr int kListedNumbers[] = {
#define VEK_MIX_MODE_LISTED(number, name, value, color_bounds, scalar_bounds) number,
    VEK_MIX_MODES(VEK_MIX_MODE_LISTED)
#undef VEK_MIX_MODE_LISTED
};
constexpr bool numbered_in_order() {
    for (int i = 0; i < kFormulaModeCount; ++i)
        if (kListedNumbers[i] != i + 1) return false;
    return true;
}
static_assert(sizeof kListedNumbers / sizeof kListedNumbers[0] == kFormulaModeCount && numbered_in_order(),
              "formula modes are numbered 1 to 28 in list order");
}  // namespace detail

// Step 3: one function per formula, of one top and one base value.
namespace formula {
#define VEK_MIX_FORMULA(number, name, value, color_bounds, scalar_bounds) \
    inline double name(double t, double b) { return value; }
VEK_MIX_MODES(VEK_MIX_FORMULA)
#undef VEK_MIX_FORMULA
}  // namespace formula

// Step 4: the per-channel helper. Bounds are applied to every channel of the
// caller's triples first, then the formula runs on each channel. A bound at
// infinity leaves every value as it is (NaN included), so its comparison is
// left out; the bounds are constants of the list, so the test folds away.
inline void bound_one(double &v, double lowest, double highest) {
    if (highest != kNoBound && v > highest) v = highest;
    if (lowest != -kNoBound && v < lowest) v = lowest;
}

template <double (*F)(double, double)>
inline void mix_channels(const Bounds &k, Triple &top, Triple &base, Triple &mixed) {
    bound_one(top.x, k.top_min, k.top_max);
    bound_one(top.y, k.top_min, k.top_max);
    bound_one(top.z, k.top_min, k.top_max);
    bound_one(base.x, k.base_min, k.base_max);
    bound_one(base.y, k.base_min, k.base_max);
    bound_one(base.z, k.base_min, k.base_max);
    mixed = {F(top.x, base.x), F(top.y, base.y), F(top.z, base.z)};
}

template <double (*F)(double, double)>
inline double mix_one(const Bounds &k, double t, double b) {
    bound_one(t, k.top_min, k.top_max);
    bound_one(b, k.base_min, k.base_max);
    return F(t, b);
}

// Colour form, for modes 1 to 28. Rewrites the bounded channels of `top` and
// `base` in place. Any other mode (never passed by the shader) takes the top.
inline void mix_color(int mix_mode, Triple &top, Triple &base, Triple &mixed) {
    switch (mix_mode) {
#define VEK_MIX_COLOR_CASE(number, name, value, color_bounds, scalar_bounds) \
    case number:                                                               \
        return mix_channels<formula::name>(color_bounds, top, base, mixed);
        VEK_MIX_MODES(VEK_MIX_COLOR_CASE)
#undef VEK_MIX_COLOR_CASE
        default:
            mixed = top;
            return;
    }
}

// Scalar form, for modes 1 to 28. Any other mode (never passed) takes the top.
inline double mix_scalar(int mix_mode, double top, double base) {
    switch (mix_mode) {
#define VEK_MIX_SCALAR_CASE(number, name, value, color_bounds, scalar_bounds) \
    case number:                                                                \
        return mix_one<formula::name>(scalar_bounds, top, base);
        VEK_MIX_MODES(VEK_MIX_SCALAR_CASE)
#undef VEK_MIX_SCALAR_CASE
        default:
            return top;
    }
}

// The name of a mixing mode, or nullptr for a value without a name of its own
// (such a value mixes as `normal`).
inline const char *mix_mode_name(int mix_mode) {
    switch (mix_mode) {
        case mode::normal:
            return "normal";
#define VEK_MIX_NAME_CASE(number, name, value, color_bounds, scalar_bounds) \
    case number:                                                              \
        return #name;
            VEK_MIX_MODES(VEK_MIX_NAME_CASE)
#undef VEK_MIX_NAME_CASE
        case mode::normal_by_top_alpha:
            return "normal_by_top_alpha";
        case mode::normal_by_top_transparency:
            return "normal_by_top_transparency";
        default:
            return nullptr;
    }
}

}  // namespace vek::mixer

// Mixer: lays a top colour over a base colour in one of 31 mixing modes (the
// 28 formulas, in RGB or HSV, and three plain weightings), weights the mix
// against the base by `amount`, and forms the alpha by one of ten alpha modes.
#pragma once

#include <cstddef>

#include "host/mi_types.h"
#include "shaders/mixer/formulas.h"
#include "shaders/mixer/hsv.h"
#include "shaders/mixer/triple.h"

namespace vek::mixer {

struct Params {
    miColor color1;         // top colour, or base when swapped
    miInteger mix_mode;
    miScalar amount;
    miColor color2;         // base colour, or top when swapped
    miBoolean swap_colors;
    miInteger reserved;     // evaluated, never read
    miBoolean use_hsv;
    miInteger alpha_mode;
};
static_assert(offsetof(Params, color1) == 0 && offsetof(Params, mix_mode) == 16 && offsetof(Params, amount) == 20 &&
                  offsetof(Params, color2) == 24 && offsetof(Params, swap_colors) == 40 &&
                  offsetof(Params, reserved) == 44 && offsetof(Params, use_hsv) == 48 &&
                  offsetof(Params, alpha_mode) == 52 && sizeof(Params) == 56,
              "Vek_Mixer parameter block");

// clang-format off
#define VEK_ALPHA_MODES(X) \
    X(0, alpha_zero)       \
    X(1, alpha_one)        \
    X(2, alpha_top)        \
    X(3, alpha_base)       \
    X(4, alpha_amount)     \
    X(5, alpha_blend)      \
    X(6, alpha_by_mode)    \
    X(7, alpha_min)        \
    X(8, alpha_max)        \
    X(9, alpha_sum)
// clang-format on

enum : int {
#define VEK_ALPHA_MODE_NUMBER(number, name) name = number,
    VEK_ALPHA_MODES(VEK_ALPHA_MODE_NUMBER)
#undef VEK_ALPHA_MODE_NUMBER
};

// The shortcut: nothing is mixed when `amount` is not above 0 (NaN included)
// and the alpha mode (0 to 5) needs nothing of the mix.
inline bool takes_shortcut(miScalar amount, miInteger alpha_mode) {
    return !(amount > 0) && alpha_mode >= alpha_zero && alpha_mode <= alpha_blend;
}

// The shortcut's result: the base colour's 32-bit channels, unchanged, with the
// alpha of `alpha_mode`. `top_alpha` is read only for alpha_top.
inline miColor shortcut(const miColor &base, miScalar top_alpha, miScalar amount, miInteger alpha_mode) {
    miColor out = base;
    switch (alpha_mode) {
        case alpha_zero: out.a = 0.0f; break;
        case alpha_one: out.a = 1.0f; break;
        case alpha_top: out.a = top_alpha; break;
        case alpha_amount: out.a = amount; break;
        default: break;  // alpha_base and alpha_blend keep the base alpha
    }
    return out;
}

// The weight of the plain weightings (every mode that is not a formula mode).
inline double plain_weight(miInteger mix_mode, double top_alpha, double amount) {
    switch (mix_mode) {
        case mode::normal_by_top_alpha: return amount * top_alpha;
        case mode::normal_by_top_transparency: return (1 - top_alpha) * amount;
        default: return amount;
    }
}

// (m - b) * w + b per channel: the difference, then the product, then the sum.
inline Triple weighted(const Triple &m, const Triple &b, double w) {
    return {(m.x - b.x) * w + b.x, (m.y - b.y) * w + b.y, (m.z - b.z) * w + b.z};
}

inline double blended(double top, double base, double w) { return (top - base) * w + base; }

// The result's alpha in the full computation; never converted to HSV.
inline double mixed_alpha(miInteger alpha_mode, miInteger mix_mode, double ta, double ba, double amount) {
    switch (alpha_mode) {
        case alpha_zero: return 0;
        case alpha_one: return 1;
        case alpha_top: return ta;
        case alpha_base: return ba;
        case alpha_amount: return amount;
        case alpha_blend: return blended(ta, ba, amount);
        case alpha_by_mode:
            return is_formula_mode(mix_mode) ? blended(mix_scalar(mix_mode, ta, ba), ba, amount)
                                             : blended(ta, ba, plain_weight(mix_mode, ta, amount));
        case alpha_min: return mix_scalar(mode::darken, ta, ba);
        case alpha_max: return mix_scalar(mode::lighten, ta, ba);
        case alpha_sum: return mix_scalar(mode::add, ta, ba);
        default:
            // Unlisted alpha modes blend for `normal` and its unlisted
            // aliases, and give 0 for every named mixing mode.
            return is_formula_mode(mix_mode) || mix_mode == mode::normal_by_top_alpha ||
                           mix_mode == mode::normal_by_top_transparency
                       ? 0.0
                       : blended(ta, ba, amount);
    }
}

// The full computation: widen once, every step in double, narrow once.
inline miColor mixed(const miColor &top, const miColor &base, miInteger mix_mode, miScalar amount_in, bool use_hsv,
                     miInteger alpha_mode) {
    Triple t = {top.r, top.g, top.b};
    Triple b = {base.r, base.g, base.b};
    const double ta = top.a, ba = base.a, amount = amount_in;

    Triple out;
    if (is_formula_mode(mix_mode)) {
        Triple m;
        if (use_hsv) {
            // The mix happens in HSV, the weighting against the base's own RGB.
            const Triple base_rgb = b;
            rgb_to_hsv(t);
            rgb_to_hsv(b);
            mix_color(mix_mode, t, b, m);
            hsv_to_rgb(m);
            out = weighted(m, base_rgb, amount);
        } else {
            // The bounded base, as mix_color left it, is what the mix is weighted against.
            mix_color(mix_mode, t, b, m);
            out = weighted(m, b, amount);
        }
    } else {
        out = weighted(t, b, plain_weight(mix_mode, ta, amount));
    }
    const double alpha = mixed_alpha(alpha_mode, mix_mode, ta, ba, amount);
    return {static_cast<float>(out.x), static_cast<float>(out.y), static_cast<float>(out.z),
            static_cast<float>(alpha)};
}

}  // namespace vek::mixer

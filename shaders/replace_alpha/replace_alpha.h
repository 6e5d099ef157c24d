// Replace-alpha: a colour given back with a new alpha (fixed, or the average of
// its red, green and blue), optionally showing its alpha as grey.
#pragma once

#include <cstddef>

#include "host/mi_types.h"

namespace vek::replace_alpha {

struct Params {
    miColor input_color;
    miScalar alpha;
    miBoolean pass_through;
    miBoolean alpha_as_rgb;
    miBoolean average_alpha;
    miBoolean set_opacity;
    miScalar opacity;
};
static_assert(offsetof(Params, input_color) == 0 && offsetof(Params, alpha) == 16 &&
                  offsetof(Params, pass_through) == 20 && offsetof(Params, alpha_as_rgb) == 24 &&
                  offsetof(Params, average_alpha) == 28 && offsetof(Params, set_opacity) == 32 &&
                  offsetof(Params, opacity) == 36 && sizeof(Params) == 40,
              "Vek_Replace_Alpha parameter block");

// Red plus green, then plus blue, in single precision; the thirding in double.
inline miScalar average_rgb(miColor color) {
    const float sum = (color.r + color.g) + color.b;
    return static_cast<float>(static_cast<double>(sum) * 0.3333333333333333);
}

// The result for evaluated parameters that do not pass the colour through.
inline miColor replaced(const Params &p) {
    const miColor &in = p.input_color;
    miColor out;
    if (p.alpha_as_rgb) {
        out.r = out.g = out.b = in.a;
    } else {
        out.r = in.r;
        out.g = in.g;
        out.b = in.b;
    }
    out.a = p.average_alpha ? average_rgb(in) : p.alpha;
    return out;
}

}  // namespace vek::replace_alpha

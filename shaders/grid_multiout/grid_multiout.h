// Grid with several outputs: the parameter block, the result record and the
// spine's pure steps, the shaping of the pattern value and the forming of the
// four outputs. The coordinate stage lives in pattern_space.h, the pattern
// kinds and the distortion in patterns.h.
#pragma once

#include <cmath>
#include <cstddef>

#include "host/mi_types.h"
#include "shaders/shared/schlick.h"

namespace vek::grid {

struct Params {
    miInteger pattern;            // kind 0..13; any other value gives the value 0
    miVector cell_size;
    miVector line_width;
    miVector softness;
    miBoolean fold;
    miScalar bias;
    miScalar gain;
    miBoolean invert;
    miBoolean mirror_x;
    miBoolean mirror_y;
    miBoolean mirror_z;
    miColor pattern_color;        // the colour at value 1
    miColor background_color;     // the colour at value 0
    miScalar output_scale;
    miInteger texture_space;
    miInteger coordinate_source;
    miVector input_coordinate;
    miInteger reserved;           // a slot of the host's declaration, never read
    miVector scale_vector;
    miScalar scale_x, scale_y, scale_z;
    miInteger scale_mode;
    miVector rotate_vector;       // degrees
    miScalar rotate_x, rotate_y, rotate_z;
    miInteger rotate_mode;
    miVector offset_vector;
    miScalar offset_x, offset_y, offset_z;
    miInteger offset_mode;
    miBoolean distort;
    miScalar distort_amount;
    miInteger distort_fade;
};
static_assert(offsetof(Params, pattern) == 0 && offsetof(Params, cell_size) == 4 &&
                  offsetof(Params, line_width) == 16 && offsetof(Params, softness) == 28 &&
                  offsetof(Params, fold) == 40 && offsetof(Params, bias) == 44 && offsetof(Params, gain) == 48 &&
                  offsetof(Params, invert) == 52 && offsetof(Params, mirror_x) == 56 &&
                  offsetof(Params, mirror_y) == 60 && offsetof(Params, mirror_z) == 64 &&
                  offsetof(Params, pattern_color) == 68 && offsetof(Params, background_color) == 84 &&
                  offsetof(Params, output_scale) == 100 && offsetof(Params, texture_space) == 104 &&
                  offsetof(Params, coordinate_source) == 108 && offsetof(Params, input_coordinate) == 112 &&
                  offsetof(Params, reserved) == 124 && offsetof(Params, scale_vector) == 128 &&
                  offsetof(Params, scale_x) == 140 && offsetof(Params, scale_y) == 144 &&
                  offsetof(Params, scale_z) == 148 && offsetof(Params, scale_mode) == 152 &&
                  offsetof(Params, rotate_vector) == 156 && offsetof(Params, rotate_x) == 168 &&
                  offsetof(Params, rotate_y) == 172 && offsetof(Params, rotate_z) == 176 &&
                  offsetof(Params, rotate_mode) == 180 && offsetof(Params, offset_vector) == 184 &&
                  offsetof(Params, offset_x) == 196 && offsetof(Params, offset_y) == 200 &&
                  offsetof(Params, offset_z) == 204 && offsetof(Params, offset_mode) == 208 &&
                  offsetof(Params, distort) == 212 && offsetof(Params, distort_amount) == 216 &&
                  offsetof(Params, distort_fade) == 220 && sizeof(Params) == 224,
              "Vek_Grid_MultiOut parameter block");

struct Result {
    miColor color;
    miScalar alpha;         // the alpha of color again
    miScalar scaled_value;  // output_scale times value
    miScalar value;
};
static_assert(offsetof(Result, color) == 0 && offsetof(Result, alpha) == 16 &&
                  offsetof(Result, scaled_value) == 20 && offsetof(Result, value) == 24 && sizeof(Result) == 28,
              "Vek_Grid_MultiOut result record");

// Bias, gain, fold, invert, in this order and all in double. Nothing is
// clamped: a value pushed outside 0..1 reaches the outputs as it is.
inline double shaped(double v, float bias, float gain, bool fold, bool invert) {
    v = schlick_bias(v, bias);
    v = schlick_gain(v, gain);
    if (fold) v = std::fabs(v - 0.5) * 2.0;
    if (invert) v = 1.0 - v;
    return v;
}

// One colour channel: the difference in single precision, the blend in double.
inline float blended(float pattern, float background, double v) {
    const float difference = pattern - background;
    return static_cast<float>(static_cast<double>(difference) * v + static_cast<double>(background));
}

inline Result outputs(double v, const miColor &pattern, const miColor &background, float output_scale) {
    Result out;
    out.color.r = blended(pattern.r, background.r, v);
    out.color.g = blended(pattern.g, background.g, v);
    out.color.b = blended(pattern.b, background.b, v);
    out.color.a = blended(pattern.a, background.a, v);
    out.alpha = out.color.a;
    out.scaled_value = static_cast<float>(static_cast<double>(output_scale) * v);
    out.value = static_cast<float>(v);
    return out;
}

}  // namespace vek::grid

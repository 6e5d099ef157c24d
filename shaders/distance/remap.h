// Remapping of a distance measurement into a 0-to-1 gradient: a linear ramp
// between two distances, an optional inversion, then Schlick's bias and gain.
#pragma once

#include "host/mi_types.h"
#include "shaders/shared/schlick.h"

namespace vek::distance {

// The evaluated settings of the remapping, as the shader reads them.
struct RemapSettings {
    miScalar min_distance;
    miScalar max_distance;
    miScalar bias;
    miScalar gain;
    miBoolean invert;
};

// Position of d in [min_distance, max_distance]. The comparisons are plain, so a
// NaN on either side fails them and reaches the division; a range of zero width
// or a reversed one never divides, since one of the two tests always holds.
inline double ranged(double d, float min_distance, float max_distance) {
    if (d <= static_cast<double>(min_distance)) return 0.0;
    if (d >= static_cast<double>(max_distance)) return 1.0;
    // The numerator is taken in double, the width of the range as the
    // difference of the two 32-bit settings.
    const float width = max_distance - min_distance;
    return (d - static_cast<double>(min_distance)) / static_cast<double>(width);
}

// The whole stage: range, invert, bias, gain, narrowed once at the end.
inline miScalar remapped(double d, const RemapSettings &s) {
    double a = ranged(d, s.min_distance, s.max_distance);
    if (s.invert) a = 1.0 - a;
    a = schlick_bias(a, s.bias);
    a = schlick_gain(a, s.gain);
    return static_cast<miScalar>(a);
}

}  // namespace vek::distance

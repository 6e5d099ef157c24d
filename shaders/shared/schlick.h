// Schlick's rational bias and gain curves, shared by the grid shader's shaping
// and the distance remapping. Neither curve is applied at its neutral setting
// 0.5, tested as a 32-bit float (a NaN setting is not neutral), so the neutral
// setting costs nothing and changes nothing.
#pragma once

namespace vek {

inline double schlick_bias(double v, float bias) {
    if (bias == 0.5f) return v;
    const double b = bias;
    return v / ((1.0 / b - 2.0) * (1.0 - v) + 1.0);
}

inline double schlick_gain(double v, float gain) {
    if (gain == 0.5f) return v;
    const double g = gain;
    const double t = (1.0 - 2.0 * v) * (1.0 / g - 2.0);
    // A NaN value takes the upper branch.
    return v < 0.5 ? v / (t + 1.0) : (t - v) / (t - 1.0);
}

}  // namespace vek

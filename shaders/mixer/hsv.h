// Red-green-blue <-> hue-saturation-value (hexcone model), in place on a
// triple of doubles. Hue is a fraction of the full turn: red 0, green 1/3,
// blue 2/3.
#pragma once

#include <cmath>

#include "shaders/mixer/triple.h"

namespace vek::mixer {

// Clamps nothing: any input gives h in [0, 1], s = (max - min) / max, v = max.
inline void rgb_to_hsv(Triple &c) {
    const double r = c.x, g = c.y, b = c.z;
    // Step 1: largest and smallest channel, with the tie and NaN behaviour of
    // these exact comparisons.
    const double m = g > b ? g : b;
    const double mx = r > m ? r : m;
    const double n = b > g ? g : b;
    const double mn = n > r ? r : n;
    if (mx == 0) {
        c = {0, 0, mx};
        return;
    }
    // Step 2: saturation and value; the hue sector is that of the largest
    // channel, red tested first.
    const double d = mx - mn;
    const double s = d / mx;
    double h = 0;
    if (d != 0) {
        if (r == mx)
            h = (g - b) / d;
        else if (g == mx)
            h = (b - r) / d + 2;
        else
            h = (r - g) / d + 4;
        // Step 3: sixths of a turn to a fraction in [0, 1).
        h = std::fmod(h / 6, 1.0);
        if (h < 0) h = h + 1;
    }
    c = {h, s, mx};
}

namespace detail {
// Per sector 0 to 6, the ramps (0 v, 1 p, 2 q, 3 t) of red, green and blue.
static constexpr int kSectorCount = 7;
static constexpr unsigned char sector_ramps[kSectorCount][3] = {
    {0, 3, 1}, {2, 0, 1}, {1, 0, 3}, {1, 2, 0}, {3, 1, 0}, {0, 1, 2}, {0, 1, 2},
};

// 0 at or below 0, 1 at or above 1 and for NaN.
inline double unit_clamped(double v) { return v <= 0 ? 0.0 : (v < 1 ? v : 1.0); }
}  // namespace detail

// Wraps the hue into [0, 1) and clamps saturation and value to [0, 1], except
// for an exact grey (saturation 0), which keeps its value as it is.
inline void hsv_to_rgb(Triple &c) {
    const double h = c.x, s_in = c.y, v_in = c.z;
    // Step 1: grey, before clamping (-0 is grey too).
    if (s_in == 0) {
        c = {v_in, v_in, v_in};
        return;
    }
    const double s = detail::unit_clamped(s_in);
    const double v = detail::unit_clamped(v_in);
    // Step 2: sector and position in it. A hue that rounds up to a full turn
    // gives sector 6; a NaN hue has no sector. Both take the last row, and the
    // NaN is never converted to an integer.
    double h1 = std::fmod(h, 1.0);
    if (h1 < 0) h1 = h1 + 1;
    const double h6 = h1 * 6;
    const double sector = std::floor(h6);
    const int i = sector >= 0 && sector <= 6 ? static_cast<int>(sector) : 5;
    const double f = h6 - sector;
    // Step 3: the three ramps.
    const double p = (1 - s) * v;
    const double q = (1 - f * s) * v;
    const double t = (1 - (1 - f) * s) * v;
    // Step 4: which ramp goes to which channel, by sector (6 takes the last
    // row), picked from a table instead of a branch per sector.
    const double ramps[4] = {v, p, q, t};
    const unsigned char *row = detail::sector_ramps[i];
    c = {ramps[row[0]], ramps[row[1]], ramps[row[2]]};
}

}  // namespace vek::mixer

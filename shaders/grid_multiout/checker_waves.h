// Waves and checkers: patterns of whole periods rather than of lines.
#pragma once

#include <cmath>

#include "shaders/grid_multiout/line_patterns.h"
#include "shaders/grid_multiout/pattern_inputs.h"

namespace vek::grid {

// The stored sixth, multiplied rather than divided by 6.
static constexpr double one_sixth = 0.16666666666666666;

// Three cosines summed (v first) and mapped to 0..1; 1 where every coordinate
// is an even multiple of its cell size.
inline double waves(const Coords &c, const PatternSizes &s) {
    const double px = s.cell_size.x, py = s.cell_size.y, pz = s.cell_size.z;
    return (std::cos((c.v / py) * pi) + std::cos((c.u / px) * pi) + std::cos((c.w / pz) * pi) + 3.0) * one_sixth;
}

// One axis of a checker: a period of two cells, 1 on its first h and 0 on the
// rest, with edges s wide on either side of each step.
struct SquareWave {
    double q;   // period, two cells
    double h;   // the part that is on
    double s2;  // softness, limited so that the edges do not overlap
    double m;   // the coordinate within its period
};

inline SquareWave square_wave_axis(double c, double P, double W, double S) {
    const double q = P * 2.0;
    double w2 = W * 2.0, s2 = S * 2.0;
    // line_width sets the part of the two cells that is off.
    if (w2 > q) w2 = q;
    const double h = q - w2;
    const double limit = h > w2 ? w2 : h;
    if (s2 > limit) s2 = limit;
    double m = std::fmod(c, q);
    if (m < 0.0) m = m + q;
    return {q, h, s2, m};
}

inline bool is_soft(const SquareWave &a) { return a.s2 > 0.0; }

inline double square_wave(const SquareWave &a) {
    if (!is_soft(a)) return a.h > a.m ? 1.0 : 0.0;
    const double s = a.s2 * 0.5;
    if (a.h - s > a.m) return smooth_step(-s, s, a.m);                   // rise at the period's start
    if (s + a.h > a.m) return 1.0 - smooth_step(a.h - s, a.h + s, a.m);  // fall at h
    return smooth_step(a.q - s, a.q + s, a.m);                           // rise at the period's end
}

inline double square_wave(double c, double P, double W, double S) { return square_wave(square_wave_axis(c, P, W, S)); }

inline SquareWave square_wave_u(const Coords &c, const PatternSizes &s) {
    return square_wave_axis(c.u, s.cell_size.x, s.line_width.x, s.softness.x);
}
inline SquareWave square_wave_v(const Coords &c, const PatternSizes &s) {
    return square_wave_axis(c.v, s.cell_size.y, s.line_width.y, s.softness.y);
}
inline SquareWave square_wave_w(const Coords &c, const PatternSizes &s) {
    return square_wave_axis(c.w, s.cell_size.z, s.line_width.z, s.softness.z);
}

// Two square waves combined like an exclusive or: the second axis inverts the
// first where its wave is 1.
inline double checker(const Coords &c, const PatternSizes &s) {
    const double cu = square_wave(square_wave_u(c, s));
    const SquareWave y = square_wave_v(c, s);
    if (is_soft(y)) return ((1.0 - cu) - cu) * square_wave(y) + cu;
    return y.h > y.m ? 1.0 - cu : cu;
}

// The checker of u and v, inverted by the third axis where its wave is 0.
inline double checker_3d(const Coords &c, const PatternSizes &s) {
    const double x = checker(c, s);
    const SquareWave z = square_wave_w(c, s);
    if (is_soft(z)) return (x - (1.0 - x)) * square_wave(z) + (1.0 - x);
    return z.m > z.h ? 1.0 - x : x;
}

}  // namespace vek::grid

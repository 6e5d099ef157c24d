// Patterns built from periodic lines: 1 on the lines, 0 between them. Lines
// repeat along each axis with the period cell_size, are line_width wide and have
// soft edges softness wide.
#pragma once

#include <algorithm>
#include <cmath>

#include "shaders/grid_multiout/pattern_inputs.h"

namespace vek::grid {

static constexpr double pi = 3.141592653589793;
static constexpr double half_pi = 1.5707963267948966;

// 0 below e0, 1 at or above e1, the cubic (3 - 2t)t^2 between.
inline double smooth_step(double e0, double e1, double x) {
    if (e0 > x) return 0.0;
    if (x >= e1) return 1.0;
    const double t = (x - e0) / (e1 - e0);
    return (3.0 - t * 2.0) * (t * t);
}

// Value of one axis: lines of width W centred on every multiple of the period P,
// their outer S softened. clamp limits W to P first; S never exceeds W.
inline double line_profile(double c, double P, double W, double S, bool clamp) {
    if (clamp && W > P) W = P;
    if (S > W) S = W;
    double m = std::fmod(c, P);
    if (m < 0.0) m = m + P;
    // d runs from 0 in the middle of a period to P at its ends.
    const double a = P - W;
    const double d = std::abs(m - P * 0.5) * 2.0;
    if (S > 0.0) return smooth_step(a, a + S, d);
    return a > d ? 0.0 : 1.0;
}

// The clamped profiles of the three axes, as stripes, crossings, grid and lattice use them.
inline double profile_u(const Coords &c, const PatternSizes &s) {
    return line_profile(c.u, s.cell_size.x, s.line_width.x, s.softness.x, true);
}
inline double profile_v(const Coords &c, const PatternSizes &s) {
    return line_profile(c.v, s.cell_size.y, s.line_width.y, s.softness.y, true);
}
inline double profile_w(const Coords &c, const PatternSizes &s) {
    return line_profile(c.w, s.cell_size.z, s.line_width.z, s.softness.z, true);
}

inline double stripes(const Coords &c, const PatternSizes &s) { return profile_u(c, s); }
inline double crossings(const Coords &c, const PatternSizes &s) { return std::min(profile_u(c, s), profile_v(c, s)); }
inline double grid(const Coords &c, const PatternSizes &s) { return std::max(profile_u(c, s), profile_v(c, s)); }
inline double lattice(const Coords &c, const PatternSizes &s) {
    return std::max(std::max(profile_u(c, s), profile_v(c, s)), profile_w(c, s));
}

// Depth of the threads of one axis at coordinate c; k is the over-and-under
// phase from the other coordinate. A smaller depth lies on top; off the threads
// the depth is 1.
inline double weave_depth(double c, double P, double W, double S, double k) {
    if (W > P) W = P;
    if (S > W) S = W;
    // Threads alternate: those centred on even multiples of P are even.
    double q = std::fmod(c, P * 2.0);
    if (q < 0.0) q = q + P * 2.0;
    const bool even = q < P * 0.5 || q > P * 1.5;
    const double m = std::fmod(q, P);
    const double d = std::abs(m - P * 0.5) * 2.0;
    const double a = P - W;
    if (a > d) return 1.0;
    if (!(S > 0.0)) return even ? (k + 1.0) * 0.5 : 1.0 - (k + 1.0) * 0.5;
    // Soft edges: the edge term is 0.5 at the thread's edge and falls to 0
    // where the soft zone ends; the over-and-under term spans 0 to 0.5.
    const double e = a + S;
    double b = 0.0;
    if (!(d > e)) {
        const double t = d >= e ? 1.0 : (d - a) / (e - a);
        b = 0.5 - std::sin(t * half_pi) * 0.5;
    }
    return even ? b + (k + 1.0) * 0.25 : b + (0.5 - (k + 1.0) * 0.25);
}

// Threads along both axes passing over and under each other; the added pi puts
// the v threads out of phase with the u threads.
inline double weave(const Coords &c, const PatternSizes &s) {
    const double pu = s.cell_size.x, pv = s.cell_size.y;
    const double ku = std::cos((c.v * pi) / pv);
    const double kv = std::cos((c.u * pi) / pu + pi);
    const double du = weave_depth(c.u, pu, s.line_width.x, s.softness.x, ku);
    const double dv = weave_depth(c.v, pv, s.line_width.y, s.softness.y, kv);
    return 1.0 - std::min(du, dv);
}

// Brick period of one axis: a brick plus a joint, summed in single precision.
inline double brick_period(float line_width, float cell_size) {
    const float period = line_width + cell_size;
    return period;
}

// Every other row of height Pv is shifted by half a brick.
inline bool brick_row_shifted(double v, double pv) {
    double r = std::fmod(v * 0.5, pv);
    if (r < 0.0) r = r + pv;
    return r > pv * 0.5;
}

// Mortar joints: 1 on the joints, 0 on the bricks. The joint width is not
// limited to the period.
inline double bricks(const Coords &c, const PatternSizes &s) {
    const double pu = brick_period(s.line_width.x, s.cell_size.x);
    const double pv = brick_period(s.line_width.y, s.cell_size.y);
    double u = c.u;
    if (brick_row_shifted(c.v, pv)) u = u + pu * 0.5;
    const double lu = line_profile(u, pu, s.line_width.x, s.softness.x, false);
    const double lv = line_profile(c.v, pv, s.line_width.y, s.softness.y, false);
    return std::max(lu, lv);
}

// Bricks with joints along w as well; a shifted row moves along u and w.
inline double bricks_3d(const Coords &c, const PatternSizes &s) {
    const double pu = brick_period(s.line_width.x, s.cell_size.x);
    const double pv = brick_period(s.line_width.y, s.cell_size.y);
    const double pw = brick_period(s.line_width.z, s.cell_size.z);
    double u = c.u, w = c.w;
    if (brick_row_shifted(c.v, pv)) {
        u = u + pu * 0.5;
        w = w + pw * 0.5;
    }
    const double lu = line_profile(u, pu, s.line_width.x, s.softness.x, false);
    const double lv = line_profile(c.v, pv, s.line_width.y, s.softness.y, false);
    const double lw = line_profile(w, pw, s.line_width.z, s.softness.z, false);
    return std::max(std::max(lu, lv), lw);
}

}  // namespace vek::grid

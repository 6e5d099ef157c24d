// Lattice value noise: a pseudo-random displacement per axis at every integer
// point of pattern space, interpolated between the points with a fade curve.
// The lattice has spacing 1 whatever the cell size: it displaces the pattern
// coordinates before any pattern divides by a cell size.
#pragma once

#include <cmath>
#include <cstdint>

#include "shaders/grid_multiout/lattice_tables.h"
#include "shaders/grid_multiout/pattern_inputs.h"

namespace vek::grid {

// 2^-12: a table entry scaled to 0..1.
static constexpr double lattice_scale = 0.000244140625;

// floor, then truncation to 32 bits. Values outside the 32-bit range and NaN
// give INT32_MIN; the range is tested first because converting them is undefined.
// floor(x) lies in the range exactly when x lies in [-2^31, 2^31), and there the
// truncated integer, one less where it is above x, is floor(x) without a library call.
inline std::int32_t cell_index(double x) {
    if (!(x >= -2147483648.0 && x < 2147483648.0)) return INT32_MIN;
    const std::int32_t t = static_cast<std::int32_t>(x);
    return static_cast<double>(t) > x ? t - 1 : t;
}

// The neighbouring cell, wrapping like the hashes' sums: only the low bits of an
// index ever reach a table.
inline std::int32_t next_cell(std::int32_t i) { return static_cast<std::int32_t>(static_cast<std::uint32_t>(i) + 1u); }

// Two's-complement sum of an entry and an index, masked into the table.
inline int lattice_slot(std::int32_t entry, std::int32_t index) {
    return static_cast<int>((static_cast<std::uint32_t>(entry) + static_cast<std::uint32_t>(index)) &
                            static_cast<std::uint32_t>(lattice_mask));
}

// H_T(i, j, k) = T[(T[(T[k & mask] + j) & mask] + i) & mask].
inline std::int32_t lattice_hash(const std::int32_t *table, std::int32_t i, std::int32_t j, std::int32_t k) {
    const std::int32_t ek = table[lattice_slot(0, k)];
    const std::int32_t ej = table[lattice_slot(ek, j)];
    return table[lattice_slot(ej, i)];
}

// The displacement at a lattice point, between -amount/2 and amount/2.
inline double lattice_value(const std::int32_t *table, std::int32_t i, std::int32_t j, std::int32_t k, double amount) {
    return (lattice_hash(table, i, j, k) * lattice_scale - 0.5) * amount;
}

// Fade curves of the interpolation: 1 cubic, 2 quintic, anything else linear.
inline double fade_cubic(double f) { return (3.0 - f * 2.0) * (f * f); }
inline double fade_quintic(double f) { return ((f * 6.0 - 15.0) * f + 10.0) * (f * f * f); }

inline double fade_curve(int fade, double f) {
    switch (fade) {
        case 1: return fade_cubic(f);
        case 2: return fade_quintic(f);
        default: return f;
    }
}

inline double lerp_fade(double low, double high, double s) { return (high - low) * s + low; }

// 2^52: from here on every double is a whole number.
static constexpr double whole_from = 4503599627370496.0;

// fmod(x, 1): below 2^52 x less its truncation is exact, and a zero takes the
// sign of x as fmod's does; larger, infinite and NaN values go to the library.
inline double fraction_of(double x) {
    if (!(std::fabs(x) < whole_from)) return std::fmod(x, 1.0);
    const double f = x - static_cast<double>(static_cast<std::int64_t>(x));
    return f == 0.0 ? std::copysign(0.0, x) : f;
}

// Fraction of a coordinate within its unit cell, in 0..1 for negative ones too.
inline double unit_fraction(double x) {
    const double f = fraction_of(x);
    return f < 0.0 ? f + 1.0 : f;
}

// One noise field over the unit square at (i, j), interpolated along u then v.
inline double lattice_noise_2d(const std::int32_t *table, std::int32_t i, std::int32_t j, double su, double sv,
                               double amount) {
    const std::int32_t i1 = next_cell(i), j1 = next_cell(j);
    const double a0 = lerp_fade(lattice_value(table, i, j, 0, amount), lattice_value(table, i1, j, 0, amount), su);
    const double a1 = lerp_fade(lattice_value(table, i, j1, 0, amount), lattice_value(table, i1, j1, 0, amount), su);
    return lerp_fade(a0, a1, sv);
}

// Interpolation along u between (i, j, k) and (i + 1, j, k).
inline double lattice_edge_u(const std::int32_t *table, std::int32_t i, std::int32_t j, std::int32_t k, double su,
                             double amount) {
    return lerp_fade(lattice_value(table, i, j, k, amount), lattice_value(table, next_cell(i), j, k, amount), su);
}

// One noise field over the unit cube at (i, j, k): along u, then v, then w.
inline double lattice_noise_3d(const std::int32_t *table, std::int32_t i, std::int32_t j, std::int32_t k, double su,
                               double sv, double sw, double amount) {
    const std::int32_t j1 = next_cell(j), k1 = next_cell(k);
    const double b0 =
        lerp_fade(lattice_edge_u(table, i, j, k, su, amount), lattice_edge_u(table, i, j1, k, su, amount), sv);
    const double b1 =
        lerp_fade(lattice_edge_u(table, i, j, k1, su, amount), lattice_edge_u(table, i, j1, k1, su, amount), sv);
    return lerp_fade(b0, b1, sw);
}

// Displaces u and v by two unrelated noise fields; w is left alone.
inline void distort_2d(Coords &c, int fade, double amount) {
    // Fractions and cells of the coordinates before any displacement.
    const std::int32_t i = cell_index(c.u), j = cell_index(c.v);
    // A zero amount changes nothing; a NaN amount goes on.
    if (amount == 0.0) return;
    const double su = fade_curve(fade, unit_fraction(c.u));
    const double sv = fade_curve(fade, unit_fraction(c.v));
    const double du = lattice_noise_2d(lattice_table_1, i, j, su, sv, amount);
    const double dv = lattice_noise_2d(lattice_table_2, i, j, su, sv, amount);
    c.u = c.u + du;
    c.v = c.v + dv;
}

// Displaces u, v and w by three unrelated noise fields.
inline void distort_3d(Coords &c, int fade, double amount) {
    const std::int32_t i = cell_index(c.u), j = cell_index(c.v), k = cell_index(c.w);
    if (amount == 0.0) return;
    const double su = fade_curve(fade, unit_fraction(c.u));
    const double sv = fade_curve(fade, unit_fraction(c.v));
    const double sw = fade_curve(fade, unit_fraction(c.w));
    const double du = lattice_noise_3d(lattice_table_1, i, j, k, su, sv, sw, amount);
    const double dv = lattice_noise_3d(lattice_table_2, i, j, k, su, sv, sw, amount);
    const double dw = lattice_noise_3d(lattice_table_3, i, j, k, su, sv, sw, amount);
    c.u = c.u + du;
    c.v = c.v + dv;
    c.w = c.w + dw;
}

}  // namespace vek::grid

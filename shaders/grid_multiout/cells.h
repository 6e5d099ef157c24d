// Cell patterns: one random value per cell, from a regular grid of cells or
// from one whose columns and rows have irregular widths.
#pragma once

#include <cstdint>

#include "shaders/grid_multiout/lattice.h"
#include "shaders/grid_multiout/lattice_tables.h"
#include "shaders/grid_multiout/pattern_inputs.h"

namespace vek::grid {

// 1/256: a cell_permutation entry scaled to 0..255/256.
static constexpr double cell_scale = 0.00390625;

// Two's-complement sum of an entry and an index, masked into cell_permutation.
inline int cell_slot(std::int32_t entry, std::int32_t index) {
    return static_cast<int>((static_cast<std::uint32_t>(entry) + static_cast<std::uint32_t>(index)) &
                            static_cast<std::uint32_t>(cell_mask));
}

// HP(i, j, k) = P[(P[(P[k & mask] + j) & mask] + i) & mask].
inline std::int32_t permutation_hash(std::int32_t i, std::int32_t j, std::int32_t k) {
    const std::int32_t ek = cell_permutation[cell_slot(0, k)];
    const std::int32_t ej = cell_permutation[cell_slot(ek, j)];
    return cell_permutation[cell_slot(ej, i)];
}

// Cell of a coordinate measured in cells, after shifting its unit interval by
// its own amount in -0.5..0.5. The shift depends on this axis alone, so the
// cell borders stay straight and parallel to the axes.
inline std::int32_t cell_jitter(double c) {
    const std::int32_t n = cell_index(c);
    const double shift = lattice_table_1[lattice_slot(0, n)] * lattice_scale - 0.5;
    return cell_index(shift + c);
}

inline double random_cells(const Coords &c, const PatternSizes &s) {
    const std::int32_t i = cell_index(c.u / s.cell_size.x);
    const std::int32_t j = cell_index(c.v / s.cell_size.y);
    return permutation_hash(i, j, 0) * cell_scale;
}

inline double random_cells_3d(const Coords &c, const PatternSizes &s) {
    const std::int32_t i = cell_index(c.u / s.cell_size.x);
    const std::int32_t j = cell_index(c.v / s.cell_size.y);
    const std::int32_t k = cell_index(c.w / s.cell_size.z);
    return permutation_hash(i, j, k) * cell_scale;
}

inline double jittered_cells(const Coords &c, const PatternSizes &s) {
    const std::int32_t i = cell_jitter(c.u / s.cell_size.x);
    const std::int32_t j = cell_jitter(c.v / s.cell_size.y);
    return lattice_hash(lattice_table_1, i, j, 0) * lattice_scale;
}

inline double jittered_cells_3d(const Coords &c, const PatternSizes &s) {
    const std::int32_t k = cell_jitter(c.w / s.cell_size.z);
    const std::int32_t j = cell_jitter(c.v / s.cell_size.y);
    const std::int32_t i = cell_jitter(c.u / s.cell_size.x);
    return lattice_hash(lattice_table_1, i, j, k) * lattice_scale;
}

}  // namespace vek::grid

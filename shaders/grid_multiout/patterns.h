// The fourteen pattern kinds of the grid shader, by number, and the lattice
// distortion each one takes. Every switch below is generated from one list.
#pragma once

#include "shaders/grid_multiout/cells.h"
#include "shaders/grid_multiout/checker_waves.h"
#include "shaders/grid_multiout/lattice.h"
#include "shaders/grid_multiout/line_patterns.h"
#include "shaders/grid_multiout/pattern_inputs.h"

namespace vek::grid {

// The lattice distortion of a kind: planar displaces u and v, solid u, v and w.
enum class Distortion { none, planar, solid };

// X(number, name, distortion, function)
#define VEK_GRID_PATTERN_KINDS(X)                 \
    X(0, stripes, planar, stripes)                \
    X(1, crossings, planar, crossings)            \
    X(2, grid, planar, grid)                      \
    X(3, lattice, solid, lattice)                 \
    X(4, weave, planar, weave)                    \
    X(5, waves, solid, waves)                     \
    X(6, checker, planar, checker)                \
    X(7, checker_3d, solid, checker_3d)           \
    X(8, random_cells, planar, random_cells)      \
    X(9, random_cells_3d, solid, random_cells_3d) \
    X(10, bricks, planar, bricks)                 \
    X(11, bricks_3d, solid, bricks_3d)            \
    X(12, jittered_cells, planar, jittered_cells) \
    X(13, jittered_cells_3d, solid, jittered_cells_3d)

constexpr int pattern_kind_count = 14;

// Kinds outside the list take no distortion.
inline Distortion distortion_of(int kind) {
    switch (kind) {
#define VEK_GRID_DISTORTION_CASE(number, name, form, function) \
    case number: return Distortion::form;
        VEK_GRID_PATTERN_KINDS(VEK_GRID_DISTORTION_CASE)
#undef VEK_GRID_DISTORTION_CASE
        default: return Distortion::none;
    }
}

// Kinds outside the list give the value 0.
inline double pattern_value(int kind, const Coords &c, const PatternSizes &s) {
    switch (kind) {
#define VEK_GRID_VALUE_CASE(number, name, form, function) \
    case number: return function(c, s);
        VEK_GRID_PATTERN_KINDS(VEK_GRID_VALUE_CASE)
#undef VEK_GRID_VALUE_CASE
        default: return 0.0;
    }
}

inline const char *pattern_name(int kind) {
    switch (kind) {
#define VEK_GRID_NAME_CASE(number, name, form, function) \
    case number: return #name;
        VEK_GRID_PATTERN_KINDS(VEK_GRID_NAME_CASE)
#undef VEK_GRID_NAME_CASE
        default: return nullptr;
    }
}

// amount is distort_amount widened to double; fade selects the fade curve.
inline void distort(Distortion form, Coords &c, int fade, double amount) {
    switch (form) {
        case Distortion::planar: distort_2d(c, fade, amount); return;
        case Distortion::solid: distort_3d(c, fade, amount); return;
        case Distortion::none: return;
    }
}

#define VEK_GRID_COUNT_KIND(number, name, form, function) +1
static_assert(0 VEK_GRID_PATTERN_KINDS(VEK_GRID_COUNT_KIND) == pattern_kind_count, "one entry per pattern kind");
#undef VEK_GRID_COUNT_KIND

}  // namespace vek::grid

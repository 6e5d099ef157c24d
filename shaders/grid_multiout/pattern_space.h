// Pattern space: how a point of the scene becomes the pattern coordinates u, v,
// w. Scale, rotation and offset are each a component group (a vector input,
// three scalar inputs and a mode that says how they combine), so a connected
// shader can drive the whole vector, single axes, or both.
//
// The pure steps come first; the steps that call the host (parameter
// evaluation, the object-space conversion, the matrix functions) follow.
#pragma once

#include <cmath>
#include <cstdint>
#include <cstring>

#include "host/eval.h"
#include "host/host_functions.h"
#include "host/mi_types.h"
#include "host/state.h"
#include "shaders/grid_multiout/patterns.h"

namespace vek::grid {

// ---- Component groups -------------------------------------------------------

enum class ComponentMode : int {
    neutral = 0,  // also every value outside 1..6
    components_only = 1,
    vector_only = 2,
    sum = 3,
    components_minus_vector = 4,
    vector_minus_components = 5,
    product = 6,
};

inline ComponentMode component_mode(miInteger mode) {
    return mode >= 1 && mode <= 6 ? static_cast<ComponentMode>(mode) : ComponentMode::neutral;
}

// A group's inputs are evaluated only as far as its mode reads them, so a
// shader connected to an unread input never runs.
inline bool reads_vector(ComponentMode mode) {
    return mode != ComponentMode::neutral && mode != ComponentMode::components_only;
}
inline bool reads_components(ComponentMode mode) {
    return mode != ComponentMode::neutral && mode != ComponentMode::vector_only;
}

// One component, in single precision: V of the vector input, s of the scalar.
inline float combined(ComponentMode mode, float V, float s, float neutral) {
    switch (mode) {
    case ComponentMode::components_only: return s;
    case ComponentMode::vector_only: return V;
    case ComponentMode::sum: return V + s;
    case ComponentMode::components_minus_vector: return s - V;
    case ComponentMode::vector_minus_components: return V + (0.0f - s);  // not V - s: V = -0, s = 0 gives +0
    case ComponentMode::product: return V * s;
    case ComponentMode::neutral: break;
    }
    return neutral;
}

inline miVector combined(ComponentMode mode, const miVector &V, const miVector &s, const miVector &neutral) {
    return {combined(mode, V.x, s.x, neutral.x), combined(mode, V.y, s.y, neutral.y),
            combined(mode, V.z, s.z, neutral.z)};
}

constexpr miVector scale_neutral = {1.0f, 1.0f, 1.0f};
constexpr miVector rotate_neutral = {0.0f, 0.0f, 0.0f};
constexpr miVector offset_neutral = {0.0f, 0.0f, 0.0f};

// ---- Point sources ----------------------------------------------------------

enum class CoordinateSource : int {
    object = 0,    // the intersection point in the space of the shaded object
    input = 1,     // input_coordinate
    texture = 2,   // entry texture_space of the texture-coordinate list
    internal = 3,  // also every other value: the intersection point as the host gives it
};

inline CoordinateSource coordinate_source(miInteger source) {
    return source >= 0 && source <= 2 ? static_cast<CoordinateSource>(source) : CoordinateSource::internal;
}

// An index outside the list, or a missing list, gives the origin rather than a
// read past the host's memory.
inline miVector texture_entry(const miVector *list, miInteger count, miInteger index) {
    if (list == nullptr || index < 0 || index >= count) return {0.0f, 0.0f, 0.0f};
    return list[index];
}

// ---- Rotation, mirror, scale, offset ----------------------------------------

// Stored with this value, not pi/180 at full precision.
constexpr double radians_per_degree = 0.0174532925199;

inline float radians(float degrees) { return static_cast<float>(static_cast<double>(degrees) * radians_per_degree); }

// -0 counts as no turn; a NaN angle counts as a turn.
inline bool turns(const miVector &degrees) { return !(degrees.x == 0.0f && degrees.y == 0.0f && degrees.z == 0.0f); }

struct Mirrors {
    bool x, y, z;
};

// Mirror, then divide by the scale, then subtract the offset: the offset is
// measured in pattern units. Division by exactly 1 and subtraction of +0 leave
// every double as it is (a widened float is never a signalling NaN), so the
// neutral settings skip them; -0 is subtracted, since c - (-0) turns -0 into +0.
inline bool is_positive_zero(float f) {
    std::uint32_t bits;
    std::memcpy(&bits, &f, sizeof bits);
    return bits == 0u;
}

inline double axis_coordinate(float p, bool mirror, float scale, float offset) {
    double c = p;
    if (mirror) c = std::fabs(c);
    if (scale != 1.0f) c = c / static_cast<double>(scale);
    if (!is_positive_zero(offset)) c = c - static_cast<double>(offset);
    return c;
}

inline Coords pattern_coordinates(const miVector &p, const Mirrors &mirror, const miVector &scale,
                                  const miVector &offset) {
    return {axis_coordinate(p.x, mirror.x, scale.x, offset.x), axis_coordinate(p.y, mirror.y, scale.y, offset.y),
            axis_coordinate(p.z, mirror.z, scale.z, offset.z)};
}

// ---- Steps that call the host -----------------------------------------------

// The vector first, then the scalars x, y, z, each only when the mode reads it.
inline miVector evaluated_group(miState *state, miInteger mode_value, const miVector *vector, const miScalar *x,
                                const miScalar *y, const miScalar *z, const miVector &neutral) {
    const ComponentMode mode = component_mode(mode_value);
    miVector V = {0.0f, 0.0f, 0.0f};
    miVector s = {0.0f, 0.0f, 0.0f};
    if (reads_vector(mode)) V = eval(state, vector);
    if (reads_components(mode)) {
        s.x = eval(state, x);
        s.y = eval(state, y);
        s.z = eval(state, z);
    }
    return combined(mode, V, s, neutral);
}

// point is the copy of the intersection point taken at the start of the call.
inline miVector source_point(miState *state, CoordinateSource source, miVector point, const miVector &input,
                             miInteger texture_space) {
    switch (source) {
    case CoordinateSource::object: mi_point_to_object(state, &point, &point); return point;
    case CoordinateSource::input: return input;
    case CoordinateSource::texture:
        return texture_entry(state_tex_list(state), state_tex_count(state), texture_space);
    case CoordinateSource::internal: break;
    }
    return point;
}

// The point as a row vector through M x R, M the identity carrying the point
// in its translation row. No matrix function runs when nothing turns.
inline miVector rotated(const miVector &p, const miVector &degrees) {
    if (!turns(degrees)) return p;
    miMatrix m;
    miMatrix r;
    mi_matrix_ident(m);
    m[12] = p.x;
    m[13] = p.y;
    m[14] = p.z;
    mi_matrix_rotate(r, radians(degrees.x), radians(degrees.y), radians(degrees.z));
    mi_matrix_prod(m, m, r);
    return {m[12], m[13], m[14]};
}

}  // namespace vek::grid

// The ten measures of an offset from the reference point, and how a mode
// names a frame and a measure. Everything here is single precision: the
// squares, their sums (x and y first, then z) and sqrtf.
#pragma once

#include <math.h>

#include "host/mi_types.h"

namespace vek::distance {

// The measures in mode order within a frame: X(name, value of the offset d).
#define VEK_DISTANCE_MEASURES(X)                              \
    X(full, sqrtf((d.x * d.x + d.y * d.y) + d.z * d.z))      \
    X(yz_distance, sqrtf(d.y * d.y + d.z * d.z))             \
    X(xz_distance, sqrtf(d.x * d.x + d.z * d.z))             \
    X(xy_distance, sqrtf(d.x * d.x + d.y * d.y))             \
    X(abs_x, fabsf(d.x))                                     \
    X(abs_y, fabsf(d.y))                                     \
    X(abs_z, fabsf(d.z))                                     \
    X(signed_x, d.x)                                         \
    X(signed_y, d.y)                                         \
    X(signed_z, d.z)

enum class Measure : int {
#define VEK_X(name, value) name,
    VEK_DISTANCE_MEASURES(VEK_X)
#undef VEK_X
};

#define VEK_X(name, value) +1
static constexpr int measure_count = 0 VEK_DISTANCE_MEASURES(VEK_X);
#undef VEK_X

// The space in which the offset is formed.
enum class Frame : int { world, reference, object };
static constexpr int frame_count = 3;

// Modes 1 to 30: ten measures in each of the three frames, in that order.
static constexpr int first_mode = 1;
static constexpr int last_mode = first_mode + frame_count * measure_count - 1;

inline bool valid_mode(miInteger mode) { return mode >= first_mode && mode <= last_mode; }
inline Frame frame_of(miInteger mode) { return static_cast<Frame>((mode - first_mode) / measure_count); }
inline Measure measure_of(miInteger mode) { return static_cast<Measure>((mode - first_mode) % measure_count); }

inline float measured(Measure measure, const miVector &d) {
    switch (measure) {
#define VEK_X(name, value) \
    case Measure::name:    \
        return value;
        VEK_DISTANCE_MEASURES(VEK_X)
#undef VEK_X
    }
    return 0.0f;
}

}  // namespace vek::distance

// Distance: where the intersection point lies relative to a reference
// instance, in world space, the reference's local space or the shaded
// object's space, optionally remapped into a 0-to-1 gradient.
#pragma once

#include <cstddef>
#include <cstring>

#include "host/host_functions.h"
#include "host/state.h"
#include "shaders/distance/measures.h"
#include "shaders/distance/remap.h"

namespace vek::distance {

struct Params {
    miInteger mode;
    miArray<miTag> references;  // element 0 is the reference instance
    miBoolean remap;
    miScalar min_distance;
    miScalar max_distance;
    miScalar bias;
    miScalar gain;
    miBoolean invert;
    miInteger reserved;  // evaluated with the remapping settings, never used
};
static_assert(offsetof(Params, mode) == 0 && offsetof(Params, references) == 4 &&
                  offsetof(Params, references.start) == 4 && offsetof(Params, references.count) == 8 &&
                  offsetof(Params, references.first) == 12 && offsetof(Params, remap) == 16 &&
                  offsetof(Params, min_distance) == 20 && offsetof(Params, max_distance) == 24 &&
                  offsetof(Params, bias) == 28 && offsetof(Params, gain) == 32 &&
                  offsetof(Params, invert) == 36 && offsetof(Params, reserved) == 40 && sizeof(Params) == 44,
              "Vek_Distance parameter block");

// The host's matrices of an instance, by query code.
static constexpr int query_world_to_local = 4;
static constexpr int query_local_to_world = 5;

// Element 0 of the host's array: start-index slots past the first element
// slot. The count does not enter the lookup; a count of 0 means there is no
// element to read, and the caller is told so.
inline bool reference_tag(const miArray<miTag> &references, miTag *tag) {
    if (references.count == 0) return false;
    const auto *first = reinterpret_cast<const unsigned char *>(&references.first);
    std::memcpy(tag, first + static_cast<std::ptrdiff_t>(references.start) * sizeof(miTag), sizeof *tag);
    return true;
}

// The instance's origin in world space: the translation of its local-to-world
// matrix, copied out while the host's matrix is in hand.
inline bool instance_origin(miTag instance, miVector *origin) {
    float *local_to_world = nullptr;
    if (!mi_query(query_local_to_world, nullptr, instance, &local_to_world)) return false;
    *origin = miVector{local_to_world[12], local_to_world[13], local_to_world[14]};
    return true;
}

inline miVector difference(const miVector &p, const miVector &r) { return {p.x - r.x, p.y - r.y, p.z - r.z}; }

// Each frame forms the offset from the reference point to the intersection
// point; a failed query stops it there and the measurement becomes 0.

inline bool world_offset(miState *state, miTag reference, miVector *offset) {
    miVector origin;
    if (!instance_origin(reference, &origin)) return false;
    miVector point = state_point(state), world;
    mi_point_to_world(state, &world, &point);
    *offset = difference(world, origin);
    return true;
}

// The reference's own origin is (0, 0, 0), so the point in its local space is
// already the offset.
inline bool reference_offset(miState *state, miTag reference, miVector *offset) {
    float *world_to_local = nullptr;
    if (!mi_query(query_world_to_local, nullptr, reference, &world_to_local)) return false;
    miVector point = state_point(state), world;
    mi_point_to_world(state, &world, &point);
    mi_point_transform(offset, &world, world_to_local);
    return true;
}

// The reference's origin carried into the space of the instance being shaded.
inline bool object_offset(miState *state, miTag reference, miVector *offset) {
    miVector origin;
    if (!instance_origin(reference, &origin)) return false;
    float *world_to_local = nullptr;
    if (!mi_query(query_world_to_local, nullptr, state_instance(state), &world_to_local)) return false;
    mi_point_transform(&origin, &origin, world_to_local);
    miVector point = state_point(state), object;
    mi_point_to_object(state, &object, &point);
    *offset = difference(object, origin);
    return true;
}

// The measurement of a valid mode: 0 when there is no reference or a query fails.
inline float measurement(miState *state, const miArray<miTag> &references, miInteger mode) {
    miTag reference;
    if (!reference_tag(references, &reference)) return 0.0f;
    miVector offset;
    bool formed = false;
    switch (frame_of(mode)) {
    case Frame::world: formed = world_offset(state, reference, &offset); break;
    case Frame::reference: formed = reference_offset(state, reference, &offset); break;
    case Frame::object: formed = object_offset(state, reference, &offset); break;
    }
    return formed ? measured(measure_of(mode), offset) : 0.0f;
}

}  // namespace vek::distance

// The only place that knows the shading state's layout. A port to another
// state layout changes this header and nothing else.
#pragma once

#include "host/mi_types.h"

namespace vek {

inline const miShaderRecord *state_shader(const miState *state) { return state->shader; }
inline miVector state_point(const miState *state) { return state->point; }
inline miTag state_instance(const miState *state) { return state->instance; }
inline const miVector *state_tex_list(const miState *state) { return state->tex_list; }
inline miInteger state_tex_count(const miState *state) { return state->tex_count; }

}  // namespace vek

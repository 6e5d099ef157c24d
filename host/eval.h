// Parameter evaluation: how a shader obtains the current value of a parameter.
// The value is the one stored in the block unless the current shader record's
// evaluation flag is exactly 1 and the parameter's marker asks the host; then
// mi_phen_eval hands back the address of the value. The value is returned by
// copy, so it is taken before the next evaluation or host call.
#pragma once

#include <cstring>

#include "host/host_functions.h"
#include "host/state.h"

namespace vek {

// Markers that mean "take the value stored in the block".
constexpr int marker_stored = 0;
constexpr int marker_stored_too = -2;

template <typename T>
inline T eval(miState *state, const T *parameter) {
    const miShaderRecord *record = state_shader(state);
    if (record->eval_flag == 1) {
        // The marker lies as far past the marker area as the parameter lies
        // past the block: parameter address + marker offset.
        const auto *marker_at = reinterpret_cast<const unsigned char *>(parameter) +
                                static_cast<std::ptrdiff_t>(record->marker_offset);
        int marker;
        std::memcpy(&marker, marker_at, sizeof marker);
        if (marker != marker_stored && marker != marker_stored_too) {
            T value;
            std::memcpy(&value, mi_phen_eval(state, const_cast<T *>(parameter)), sizeof value);
            return value;
        }
    }
    return *parameter;
}

// Evaluates a parameter whose value the shader does not use: a connected
// shader still runs.
template <typename T>
inline void eval_and_drop(miState *state, const T *parameter) {
    (void)eval(state, parameter);
}

}  // namespace vek

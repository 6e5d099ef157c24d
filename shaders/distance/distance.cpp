#include "shaders/distance/distance.h"

#include "host/eval.h"
#include "host/export.h"

using namespace vek;
using distance::Params;

extern "C" VEK_EXPORT miBoolean Vek_Distance(miScalar *result, miState *state, Params *params) {
    // An unknown mode gives 0 before anything else is read or asked.
    const miInteger mode = eval(state, &params->mode);
    if (!distance::valid_mode(mode)) {
        *result = 0.0f;
        return miTRUE;
    }
    const float measurement = distance::measurement(state, params->references, mode);

    // The remapping settings are evaluated only when they are used, so shaders
    // connected to them run only then.
    if (!eval(state, &params->remap)) {
        *result = measurement;
        return miTRUE;
    }
    distance::RemapSettings s;
    s.min_distance = eval(state, &params->min_distance);
    s.max_distance = eval(state, &params->max_distance);
    s.bias = eval(state, &params->bias);
    s.gain = eval(state, &params->gain);
    s.invert = eval(state, &params->invert);
    eval_and_drop(state, &params->reserved);
    *result = distance::remapped(measurement, s);
    return miTRUE;
}

#include "shaders/replace_alpha/replace_alpha.h"

#include "host/eval.h"
#include "host/export.h"

using namespace vek;
using replace_alpha::Params;

extern "C" VEK_EXPORT miBoolean Vek_Replace_Alpha(miColor *result, miState *state, Params *params) {
    // Every parameter is evaluated, in block order, before anything is decided,
    // so shaders connected to any of them run on every call.
    Params p;
    p.input_color = eval(state, &params->input_color);
    p.alpha = eval(state, &params->alpha);
    p.pass_through = eval(state, &params->pass_through);
    p.alpha_as_rgb = eval(state, &params->alpha_as_rgb);
    p.average_alpha = eval(state, &params->average_alpha);
    p.set_opacity = eval(state, &params->set_opacity);
    p.opacity = eval(state, &params->opacity);

    if (p.pass_through) {
        *result = p.input_color;
        return miTRUE;
    }
    *result = replace_alpha::replaced(p);
    if (p.set_opacity) {
        miColor opacity = {p.opacity, p.opacity, p.opacity, p.opacity};
        mi_opacity_set(state, &opacity);
    }
    return miTRUE;
}

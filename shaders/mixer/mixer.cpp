#include "shaders/mixer/mixer.h"

#include "host/eval.h"
#include "host/export.h"

using namespace vek;
using mixer::Params;

extern "C" VEK_EXPORT miBoolean Vek_Mixer(miColor *result, miState *state, Params *params) {
    // The six settings are evaluated on every call, in this order; `reserved`
    // only so that a shader connected to it runs.
    const miInteger mix_mode = eval(state, &params->mix_mode);
    const miScalar amount = eval(state, &params->amount);
    const miBoolean swap = eval(state, &params->swap_colors);
    eval_and_drop(state, &params->reserved);
    const miBoolean use_hsv = eval(state, &params->use_hsv);
    const miInteger alpha_mode = eval(state, &params->alpha_mode);

    const miColor *base_param = swap ? &params->color1 : &params->color2;

    if (mixer::takes_shortcut(amount, alpha_mode)) {
        // The top colour, and whatever is connected to it, is spared unless
        // its alpha is wanted; then color1 still comes first.
        if (alpha_mode == mixer::alpha_top) {
            const miColor c1 = eval(state, &params->color1);
            const miColor c2 = eval(state, &params->color2);
            *result = mixer::shortcut(swap ? c1 : c2, (swap ? c2 : c1).a, amount, alpha_mode);
        } else {
            *result = mixer::shortcut(eval(state, base_param), 0.0f, amount, alpha_mode);
        }
        return miTRUE;
    }

    const miColor c1 = eval(state, &params->color1);
    const miColor c2 = eval(state, &params->color2);
    *result = mixer::mixed(swap ? c2 : c1, swap ? c1 : c2, mix_mode, amount, use_hsv != 0, alpha_mode);
    return miTRUE;
}

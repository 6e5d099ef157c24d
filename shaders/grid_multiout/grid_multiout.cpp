#include "shaders/grid_multiout/grid_multiout.h"

#include "host/eval.h"
#include "host/export.h"
#include "host/state.h"
#include "shaders/grid_multiout/pattern_space.h"
#include "shaders/grid_multiout/patterns.h"

using namespace vek;
using namespace vek::grid;

extern "C" VEK_EXPORT miBoolean Vek_Grid_MultiOut(Result *result, miState *state, Params *params) {
    // Unconditional evaluations, in this order: connected shaders run on every
    // call whatever the pattern kind or the point source reads. The point is
    // copied once cell_size is known, before any other shader can run.
    PatternSizes sizes;
    sizes.cell_size = eval(state, &params->cell_size);
    const miVector point = state_point(state);
    sizes.line_width = eval(state, &params->line_width);
    sizes.softness = eval(state, &params->softness);
    const miVector input_coordinate = eval(state, &params->input_coordinate);
    const miColor pattern_color = eval(state, &params->pattern_color);
    const miColor background_color = eval(state, &params->background_color);
    const miScalar bias = eval(state, &params->bias);
    const miScalar gain = eval(state, &params->gain);
    const miScalar output_scale = eval(state, &params->output_scale);
    const miInteger pattern = eval(state, &params->pattern);
    const miInteger texture_space = eval(state, &params->texture_space);
    const miInteger scale_mode = eval(state, &params->scale_mode);
    const miInteger rotate_mode = eval(state, &params->rotate_mode);
    const miInteger offset_mode = eval(state, &params->offset_mode);
    const miInteger source = eval(state, &params->coordinate_source);
    const bool fold = eval(state, &params->fold) != 0;
    const bool invert = eval(state, &params->invert) != 0;
    Mirrors mirror;
    mirror.x = eval(state, &params->mirror_x) != 0;
    mirror.y = eval(state, &params->mirror_y) != 0;
    mirror.z = eval(state, &params->mirror_z) != 0;
    const bool distorted = eval(state, &params->distort) != 0;

    // Component groups: scale, rotate, offset.
    const miVector scale = evaluated_group(state, scale_mode, &params->scale_vector, &params->scale_x,
                                           &params->scale_y, &params->scale_z, scale_neutral);
    const miVector rotate = evaluated_group(state, rotate_mode, &params->rotate_vector, &params->rotate_x,
                                            &params->rotate_y, &params->rotate_z, rotate_neutral);
    const miVector offset = evaluated_group(state, offset_mode, &params->offset_vector, &params->offset_x,
                                            &params->offset_y, &params->offset_z, offset_neutral);

    // Pattern coordinates: the host's point and matrix functions run only now,
    // after every evaluation of the groups.
    const miVector p = source_point(state, coordinate_source(source), point, input_coordinate, texture_space);
    Coords coords = pattern_coordinates(rotated(p, rotate), mirror, scale, offset);

    // Pattern value; an unknown kind is 0 and reads no distortion setting.
    double v = 0.0;
    if (pattern >= 0 && pattern < pattern_kind_count) {
        if (distorted) {
            const miScalar amount = eval(state, &params->distort_amount);
            const miInteger fade = eval(state, &params->distort_fade);
            distort(distortion_of(pattern), coords, fade, static_cast<double>(amount));
        }
        v = pattern_value(pattern, coords, sizes);
    }

    *result = outputs(shaped(v, bias, gain, fold, invert), pattern_color, background_color, output_scale);
    return miTRUE;
}

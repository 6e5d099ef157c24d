// The host's matrix services: 16 floats row by row, translation in elements
// 12..14, points as row vectors multiplied from the left.
//
// Rotation: matrix_rotate(m, x, y, z) is the rotation about x by x radians, then
// about y by y, then about z by z (M = Rx * Ry * Rz for row vectors), each
// counter-clockwise when looking from the positive axis towards the origin, so a
// quarter turn about z carries (1, 0, 0) to (0, 1, 0). Sines and cosines are
// taken in double and narrowed.
#pragma once

#include "host/mi_types.h"

namespace vek::host {

void matrix_ident(float *m);
void matrix_rotate(float *m, float x, float y, float z);
// result = a * b; result may be a or b.
void matrix_prod(float *result, const float *a, const float *b);
// out = in * m, translation included; out may be in.
void point_transform(miVector *out, const miVector *in, const float *m);
// out = in * m without the translation (directions).
void vector_transform(miVector *out, const miVector *in, const float *m);
// The inverse of an affine matrix (last column 0, 0, 0, 1); false when singular.
bool matrix_invert(float *result, const float *m);
// Local-to-world of scale, then rotation in degrees (as matrix_rotate), then translation.
void matrix_from_trs(float *m, const miVector &translate, const miVector &rotate_degrees, const miVector &scale);

}  // namespace vek::host

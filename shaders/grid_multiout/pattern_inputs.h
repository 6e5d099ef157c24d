// What every pattern kind reads: the pattern coordinates and the three size
// vectors, whose x, y, z components belong to u, v, w.
#pragma once

#include "host/mi_types.h"

namespace vek::grid {

// Pattern coordinates in double; the lattice distortion displaces them in place.
struct Coords {
    double u, v, w;
};

// The 32-bit parameter vectors, widened to double only where a pattern uses them.
struct PatternSizes {
    miVector cell_size, line_width, softness;
};

}  // namespace vek::grid

// Image comparison for the regression tests: a per-pixel threshold on the
// largest channel difference and a budget of pixels allowed to exceed it.
#pragma once

#include <string>

#include "tools/swatch/image.h"

namespace vek::swatch {

struct Tolerance {
    // Same-platform renders agree to the bit; the slack only absorbs a
    // different mathematics library moving a few hard edges.
    float threshold = 1e-4f;  // largest absolute channel difference a pixel may have
    int budget = 8;           // pixels allowed above the threshold
};

struct Comparison {
    bool same_shape = false;  // same size and the same channels in the same order
    std::string shape_problem;
    int failing = 0;          // pixels above the threshold
    float worst = 0.0f;       // largest channel difference seen
    Image diff;               // per pixel: "diff" = largest channel difference (NaN mismatch = +inf)
    bool passed(const Tolerance &t) const { return same_shape && failing <= t.budget; }
};

// NaN equals NaN; a NaN against a number, or infinities of different sign, fail.
Comparison compare(const Image &reference, const Image &actual, const Tolerance &t);

}  // namespace vek::swatch

// The mixer's working triple: three doubles that stand for red, green and blue
// or for hue, saturation and value, depending on where the mix is in its steps.
#pragma once

namespace vek::mixer {

struct Triple {
    double x, y, z;
};

}  // namespace vek::mixer

#include "tools/swatch/compare.h"

#include <cmath>
#include <limits>

namespace vek::swatch {

namespace {

float channel_difference(float a, float b) {
    if (std::isnan(a) || std::isnan(b)) return std::isnan(a) && std::isnan(b) ? 0.0f : std::numeric_limits<float>::infinity();
    if (a == b) return 0.0f;  // also equal infinities
    return std::fabs(a - b);
}

}  // namespace

Comparison compare(const Image &reference, const Image &actual, const Tolerance &t) {
    Comparison c;
    if (reference.width != actual.width || reference.height != actual.height) {
        c.shape_problem = "size " + std::to_string(actual.width) + "x" + std::to_string(actual.height) +
                          ", reference " + std::to_string(reference.width) + "x" + std::to_string(reference.height);
        return c;
    }
    if (reference.channels != actual.channels) {
        std::string got, want;
        for (const auto &n : actual.channels) got += " " + n;
        for (const auto &n : reference.channels) want += " " + n;
        c.shape_problem = "channels" + got + ", reference" + want;
        return c;
    }
    c.same_shape = true;
    c.diff = Image(actual.width, actual.height, {"diff"});
    const std::size_t n = actual.channel_count();
    const std::size_t pixels = static_cast<std::size_t>(actual.width) * actual.height;
    for (std::size_t p = 0; p < pixels; ++p) {
        float d = 0.0f;
        for (std::size_t k = 0; k < n; ++k) d = std::fmax(d, channel_difference(reference.pixels[p * n + k], actual.pixels[p * n + k]));
        c.diff.pixels[p] = d;
        c.worst = std::fmax(c.worst, d);
        if (d > t.threshold) ++c.failing;
    }
    return c;
}

}  // namespace vek::swatch

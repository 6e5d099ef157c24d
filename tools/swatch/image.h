// Float images with named channels, and the two file formats the swatch tool
// writes: OpenEXR (float, unclamped) and PNG (8-bit, sRGB-encoded).
#pragma once

#include <cstddef>
#include <stdexcept>
#include <string>
#include <vector>

namespace vek::swatch {

// Pixels interleaved, row 0 at the top: pixel (x, y) channel c lives at
// (y * width + x) * channels.size() + c.
struct Image {
    int width = 0;
    int height = 0;
    std::vector<std::string> channels;
    std::vector<float> pixels;

    Image() = default;
    Image(int w, int h, std::vector<std::string> names)
        : width(w), height(h), channels(std::move(names)),
          pixels(static_cast<std::size_t>(w) * h * channels.size(), 0.0f) {}

    std::size_t channel_count() const { return channels.size(); }
    // Index of a channel by name, or -1.
    int find(const std::string &name) const;
    float *at(int x, int y) { return &pixels[(static_cast<std::size_t>(y) * width + x) * channels.size()]; }
    const float *at(int x, int y) const {
        return &pixels[(static_cast<std::size_t>(y) * width + x) * channels.size()];
    }
};

struct ImageError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// Both writers go through a temporary file beside the target and rename it
// when complete, so a failed write never leaves a partial image behind.
void write_exr(const std::string &path, const Image &image);
Image read_exr(const std::string &path);

// The display view of an image: R, G, B (and A when present) of the layer
// `layer` ("" for the plain channels), or a single channel shown as grey.
// Colour channels are sRGB-encoded; alpha is stored linearly; both clamped.
void write_png(const std::string &path, const Image &image, const std::string &layer = "");

// sRGB transfer of a linear value clamped to [0, 1], then to 8 bits. NaN gives 0.
unsigned char encode_srgb8(float linear);
unsigned char encode_linear8(float value);

// Picks the channels of one layer out of an image ("color" -> "color.R", ...),
// or one channel by its full name.
Image select_channels(const Image &image, const std::vector<std::string> &names);

}  // namespace vek::swatch

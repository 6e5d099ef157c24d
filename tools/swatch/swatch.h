// Rendering a shader network of the stand-in host over a swatch, and writing
// the result: what the command line, the gallery and the image tests share.
#pragma once

#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "stand_in_host/network.h"
#include "tools/swatch/image.h"
#include "tools/swatch/render.h"

namespace vek::swatch {

// Where plug-ins and their declarations are looked for when none is given:
// the plugins folder beside the program's bin folder, then the build's own.
std::vector<std::string> default_search_path();

// The swatch settings a network file may carry under "swatch":
//   "swatch": { "size": [w, h], "rect": [x0, y0, x1, y1], "samples": n }
// Anything left out keeps the value of `base`; a bad value throws NetworkError.
Swatch swatch_from_document(const host::Network &network, Swatch base);

// Renders the network's chosen output, one float channel per component, plus
// an "opacity" channel when some shader handed the host an opacity other
// than 1 (1 where none was set).
Image render_network(const host::Network &network, const Swatch &swatch, int threads, bool progress = false);

// Writes an image by the file's extension: ".exr" every channel as float;
// ".png" one 8-bit picture per layer, the first to `path` itself and each
// further layer (a struct member, the opacity) to <stem>.<layer>.png.
// Returns the files written.
std::vector<std::string> write_image(const std::string &path, const Image &image);

// The layers of an image as PNG shows them: "" for plain R, G, B[, A] or
// X, Y, Z channels, "<member>" for "<member>.R" ... or a single channel.
std::vector<std::string> image_layers(const Image &image);

// Throws ImageError unless the extension is one write_image knows.
void check_output_path(const std::string &path);

}  // namespace vek::swatch

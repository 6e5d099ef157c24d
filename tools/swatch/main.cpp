// vek_swatch: renders a shader network of the pack over a swatch of the plane.
// With no arguments it renders the built-in gallery.
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>

#include "stand_in_host/declaration.h"
#include "stand_in_host/network.h"
#include "stand_in_host/plugin_module.h"
#include "tools/swatch/gallery.h"
#include "tools/swatch/swatch.h"

namespace fs = std::filesystem;
using namespace vek;

namespace {

bool parse_size(const std::string &text, int &w, int &h) {
    char x = 0, rest = 0;
    return std::sscanf(text.c_str(), "%d%c%d%c", &w, &x, &h, &rest) == 3 && (x == 'x' || x == 'X') && w > 0 &&
           h > 0 && w <= 16384 && h <= 16384;
}

int list_plugins(const std::vector<std::string> &search_path) {
    const std::vector<std::string> shaders = host::find_shaders(search_path);
    if (shaders.empty()) {
        std::cerr << "vek_swatch: no plug-in with its declaration found in";
        for (const auto &d : search_path) std::cerr << " " << d;
        std::cerr << "\n";
        return 1;
    }
    for (const std::string &shader : shaders) {
        const host::Declaration d = host::load_declaration(shader, search_path);
        std::cout << host::describe(d) << "\n";
    }
    return 0;
}

}  // namespace

int main(int argc, char **argv) {
    CLI::App app{"Renders a network of the Vek shader pack over a swatch through the stand-in host.\n"
                 "With no arguments, renders the built-in gallery into <build>/gallery/index.html."};
    std::string network_file, output, size, channel, gallery_dir;
    std::vector<double> rect;
    std::vector<std::string> overrides, plugin_dirs;
    int samples = 0, threads = 0;
    bool list = false, quiet = false;
    app.add_option("network", network_file, "Network file (JSON)");
    app.add_option("-o,--output", output, "Output image, .exr (float, every channel) or .png (8-bit sRGB); "
                                          "default <network>.exr in the current folder");
    app.add_option("--size", size, "Swatch size WxH in pixels (default 256x256)");
    app.add_option("--rect", rect, "Rectangle of the plane x0 y0 x1 y1 (default 0 0 1 1)")->expected(4);
    app.add_option("--samples", samples, "N: an N x N regular grid of samples per pixel, averaged")
        ->check(CLI::Range(1, 64));
    app.add_option("--threads", threads, "Render threads (default: all cores)")->check(CLI::Range(0, 1024));
    app.add_option("--set", overrides, "Override one parameter: node.param=value (repeatable)");
    app.add_option("--channel", channel, "Output to write: a node, or node.member of a struct result");
    app.add_option("--plugins", plugin_dirs, "Folder of plug-ins and their declarations (repeatable)");
    app.add_flag("--list", list, "List every plug-in found with its declared parameters");
    app.add_option("--gallery", gallery_dir, "Render the gallery into this folder (default <build>/gallery)");
    app.add_flag("-q,--quiet", quiet, "No progress line");
    CLI11_PARSE(app, argc, argv);

    const std::vector<std::string> search_path = plugin_dirs.empty() ? swatch::default_search_path() : plugin_dirs;
    try {
        if (list) return list_plugins(search_path);
        if (network_file.empty()) {
            if (!output.empty() || !overrides.empty() || !channel.empty())
                throw std::runtime_error("--output, --set and --channel need a network file");
            swatch::GalleryOptions g;
            if (!gallery_dir.empty()) g.directory = gallery_dir;
            g.search_path = search_path;
            if (!size.empty()) {
                int w = 0, h = 0;
                if (!parse_size(size, w, h) || w != h) throw std::runtime_error("--size for the gallery must be NxN");
                g.size = w;
            }
            if (samples > 0) g.samples = samples;
            g.threads = threads;
            const std::string page = swatch::render_gallery(g);
            std::cout << "gallery written to " << page << "\n";
            return 0;
        }

        if (output.empty()) output = fs::path(network_file).stem().string() + ".exr";
        swatch::check_output_path(output);
        host::LoadOptions load;
        load.search_path = search_path;
        load.overrides = overrides;
        load.output = channel;
        const auto network = host::Network::load_file(network_file, load);

        swatch::Swatch s;
        s.width = s.height = 256;
        s = swatch::swatch_from_document(*network, s);
        if (!size.empty() && !parse_size(size, s.width, s.height))
            throw std::runtime_error("--size must be WxH, for example 256x128");
        if (rect.size() == 4) s.x0 = rect[0], s.y0 = rect[1], s.x1 = rect[2], s.y1 = rect[3];
        if (samples > 0) s.samples = samples;

        const swatch::Image image = swatch::render_network(*network, s, threads, !quiet);
        for (const std::string &f : swatch::write_image(output, image)) std::cout << "wrote " << f << "\n";
        return 0;
    } catch (const std::exception &e) {
        std::cerr << "vek_swatch: " << e.what() << "\n";
        return 1;
    }
}

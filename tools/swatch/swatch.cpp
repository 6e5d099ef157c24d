#include "tools/swatch/swatch.h"

#include <cstring>
#include <filesystem>
#include <functional>
#include <memory>

#include <unistd.h>

#include <tbb/task_arena.h>

namespace vek::swatch {

namespace fs = std::filesystem;

std::vector<std::string> default_search_path() {
    std::vector<std::string> path;
    std::error_code ec;
    const fs::path exe = fs::read_symlink("/proc/self/exe", ec);
    if (!ec) {
        const fs::path beside = exe.parent_path().parent_path() / "plugins";
        if (fs::is_directory(beside, ec)) path.push_back(beside.string());
    }
#ifdef VEK_PLUGIN_DIR
    if (path.empty() || fs::path(path.front()) != fs::path(VEK_PLUGIN_DIR)) path.push_back(VEK_PLUGIN_DIR);
#endif
    return path;
}

namespace {

host::NetworkError swatch_error(const host::Network &network, const std::string &what) {
    return host::NetworkError(network.file(), "", "", "\"swatch\": " + what);
}

}  // namespace

Swatch swatch_from_document(const host::Network &network, Swatch base) {
    const auto &doc = network.document();
    if (!doc.is_object() || !doc.contains("swatch")) return base;
    const auto &s = doc["swatch"];
    if (!s.is_object()) throw swatch_error(network, "must be an object");
    for (auto it = s.begin(); it != s.end(); ++it) {
        const std::string &key = it.key();
        const auto &v = it.value();
        if (key == "size") {
            if (!v.is_array() || v.size() != 2 || !v[0].is_number_integer() || !v[1].is_number_integer() ||
                v[0].get<int>() <= 0 || v[1].get<int>() <= 0)
                throw swatch_error(network, "\"size\" must be [width, height], two positive whole numbers");
            base.width = v[0].get<int>();
            base.height = v[1].get<int>();
        } else if (key == "rect") {
            if (!v.is_array() || v.size() != 4)
                throw swatch_error(network, "\"rect\" must be [x0, y0, x1, y1]");
            double r[4];
            for (int i = 0; i < 4; ++i) {
                if (!v[i].is_number()) throw swatch_error(network, "\"rect\" must be [x0, y0, x1, y1], four numbers");
                r[i] = v[i].get<double>();
            }
            base.x0 = r[0], base.y0 = r[1], base.x1 = r[2], base.y1 = r[3];
        } else if (key == "samples") {
            if (!v.is_number_integer() || v.get<int>() < 1 || v.get<int>() > 64)
                throw swatch_error(network, "\"samples\" must be a whole number from 1 to 64");
            base.samples = v.get<int>();
        } else {
            throw swatch_error(network, "unknown key \"" + key + "\" (size, rect, samples)");
        }
    }
    return base;
}

namespace {

// One render thread's view of the network: its own shading context, made once.
struct NetworkSampler {
    std::unique_ptr<host::ShadingContext> context;
    int opacity_channel = 0;

    void shade(const SamplePoint &p, float *out) {
        const bool set = context->shade(p.point, p.uvw.x, p.uvw.y, out);
        out[opacity_channel] = set ? context->opacity().a : 1.0f;
    }
};

}  // namespace

Image render_network(const host::Network &network, const Swatch &swatch, int threads, bool progress) {
    std::vector<std::string> names;
    for (const host::Channel &c : network.channels()) names.push_back(c.name);
    const int opacity_channel = static_cast<int>(names.size());
    names.push_back("opacity");
    const std::function<NetworkSampler()> make = [&network, opacity_channel] {
        return NetworkSampler{std::make_unique<host::ShadingContext>(network), opacity_channel};
    };
    Image image = render<NetworkSampler>(swatch, names, threads, make, progress);
    // The opacity channel is kept only when it says something.
    const std::size_t n = image.channel_count();
    for (std::size_t p = opacity_channel; p < image.pixels.size(); p += n)
        if (image.pixels[p] != 1.0f) return image;
    names.pop_back();
    // The copy runs on the render's own threads, no more.
    tbb::task_arena arena(threads > 0 ? threads : tbb::task_arena::automatic);
    return arena.execute([&] { return select_channels(image, names); });
}

std::vector<std::string> image_layers(const Image &image) {
    std::vector<std::string> layers;
    auto add = [&](const std::string &l) {
        for (const auto &have : layers)
            if (have == l) return;
        layers.push_back(l);
    };
    for (const std::string &c : image.channels) {
        const auto dot = c.rfind('.');
        if (dot != std::string::npos) add(c.substr(0, dot));
        else if (c == "R" || c == "G" || c == "B" || c == "A" || c == "X" || c == "Y" || c == "Z") add("");
        else add(c);
    }
    return layers;
}

void check_output_path(const std::string &path) {
    const std::string ext = fs::path(path).extension().string();
    if (ext != ".exr" && ext != ".png")
        throw ImageError("cannot write " + path + ": the output must end in .exr or .png");
}

std::vector<std::string> write_image(const std::string &path, const Image &image) {
    check_output_path(path);
    if (fs::path(path).extension() == ".exr") {
        write_exr(path, image);
        return {path};
    }
    std::vector<std::string> written;
    const std::vector<std::string> layers = image_layers(image);
    for (std::size_t i = 0; i < layers.size(); ++i) {
        fs::path target = path;
        if (i > 0) target.replace_filename(fs::path(path).stem().string() + "." + layers[i] + ".png");
        write_png(target.string(), image, layers[i]);
        written.push_back(target.string());
    }
    return written;
}

}  // namespace vek::swatch

#include "tools/swatch/gallery.h"

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>

#include "stand_in_host/declaration.h"
#include "stand_in_host/network.h"
#include "tools/swatch/swatch.h"

namespace vek::swatch {

namespace fs = std::filesystem;
using json = nlohmann::ordered_json;

namespace {

constexpr const char *grid_shader = "Vek_Grid_MultiOut";
constexpr const char *mixer_shader = "Vek_Mixer";
constexpr const char *distance_shader = "Vek_Distance";
constexpr const char *replace_alpha_shader = "Vek_Replace_Alpha";

struct PatternKind {
    int value;
    const char *name;
    bool solid;  // reads w: shown on a tilted slice so the third axis shows
};
constexpr PatternKind pattern_kinds[] = {
    {0, "stripes", false},       {1, "crossings", false},       {2, "grid", false},
    {3, "lattice", true},        {4, "weave", false},           {5, "waves", true},
    {6, "checker", false},       {7, "checker_3d", true},       {8, "random_cells", false},
    {9, "random_cells_3d", true}, {10, "bricks", false},        {11, "bricks_3d", true},
    {12, "jittered_cells", false}, {13, "jittered_cells_3d", true},
};

constexpr const char *mix_mode_names[] = {
    "normal",        "add",          "subtract",          "linear_burn",         "multiply",
    "divide",        "screen",       "darken",            "lighten",             "difference",
    "negation",      "exclusion",    "overlay",           "hard_light",          "soft_light",
    "smooth_soft_light", "color_dodge", "color_burn",     "exchanged_color_dodge", "exchanged_color_burn",
    "soft_dodge",    "soft_burn",    "reflect",           "glow",                "freeze",
    "heat",          "cosine_interpolation", "linear_light", "exchanged_linear_light",
};
constexpr int mix_mode_count = sizeof(mix_mode_names) / sizeof(mix_mode_names[0]);

json vec3(double x, double y, double z) { return json::array({x, y, z}); }
json rgba(double r, double g, double b, double a = 1.0) { return json::array({r, g, b, a}); }

json grid_node(int pattern, bool solid, bool distort, json pattern_color, json background_color, double cell = 0.25,
               double line = 0.2, double soft = 0.06) {
    // A checker's line width is the part of its two-cell period that is off: half a period gives even squares.
    if (pattern == 6 || pattern == 7) line = 0.5;
    json p;
    p["pattern"] = pattern;
    p["coordinate_source"] = 0;
    p["cell_size"] = vec3(cell, cell, cell);
    p["line_width"] = vec3(cell * line, cell * line, cell * line);
    p["softness"] = vec3(cell * soft, cell * soft, cell * soft);
    p["bias"] = 0.5;
    p["gain"] = 0.5;
    p["pattern_color"] = std::move(pattern_color);
    p["background_color"] = std::move(background_color);
    p["output_scale"] = 1.0;
    p["scale_mode"] = 0;
    p["offset_mode"] = 0;
    p["rotate_mode"] = solid ? 2 : 0;
    if (solid) p["rotate_vector"] = vec3(30.0, 40.0, 0.0);
    p["distort"] = distort;
    if (distort) {
        p["distort_amount"] = 0.4;
        p["distort_fade"] = 1;
    }
    return json{{"shader", grid_shader}, {"params", p}};
}

json network(json nodes, const std::string &output, json instances = json::object()) {
    json doc;
    if (!instances.empty()) doc["instances"] = std::move(instances);
    doc["nodes"] = std::move(nodes);
    doc["output"] = output;
    return doc;
}

// The two patterns the mixer pages lay over each other.
json top_stripes() { return grid_node(0, false, false, rgba(0.95, 0.55, 0.1), rgba(0.2, 0.7, 0.9), 0.2, 0.45, 0.25); }
json base_checker() { return grid_node(6, false, false, rgba(0.15, 0.2, 0.6), rgba(0.85, 0.85, 0.8), 0.25); }

json mixer_node(int mode, bool hsv, json amount = 1.0) {
    json p;
    p["color1"] = "=top.color";
    p["color2"] = "=base.color";
    p["mix_mode"] = mode;
    p["amount"] = std::move(amount);
    p["use_hsv"] = hsv;
    p["alpha_mode"] = 1;
    return json{{"shader", mixer_shader}, {"params", p}};
}

json distance_node(int mode, double min_d, double max_d, bool invert = false) {
    json p;
    p["mode"] = mode;
    p["references"] = json::array({"ref"});
    p["remap"] = true;
    p["min_distance"] = min_d;
    p["max_distance"] = max_d;
    p["bias"] = 0.5;
    p["gain"] = 0.5;
    p["invert"] = invert;
    return json{{"shader", distance_shader}, {"params", p}};
}

json reference_instance(double scale = 1.0) {
    return json{{"ref", json{{"translate", vec3(0.5, 0.5, 0.0)}, {"rotate", vec3(0, 0, 0)},
                             {"scale", vec3(scale, scale, scale)}}}};
}

json replace_alpha_node(json params) {
    params["input_color"] = "=mix";
    return json{{"shader", replace_alpha_shader}, {"params", params}};
}

std::string html_escape(const std::string &s) {
    std::string out;
    for (char c : s) {
        if (c == '<') out += "&lt;";
        else if (c == '>') out += "&gt;";
        else if (c == '&') out += "&amp;";
        else if (c == '"') out += "&quot;";
        else out += c;
    }
    return out;
}

}  // namespace

std::string default_gallery_directory() {
    std::error_code ec;
    const fs::path exe = fs::read_symlink("/proc/self/exe", ec);
    if (!ec && exe.parent_path().filename() == "bin") return (exe.parent_path().parent_path() / "gallery").string();
    return "swatch-gallery";
}

std::vector<GallerySection> gallery_sections() {
    return {
        {"Grid patterns", "Vek_Grid_MultiOut, every pattern kind; solid kinds on a slice tilted by the rotate group."},
        {"Grid patterns with distortion", "The same kinds displaced by lattice value noise (amount 0.4, cubic fade)."},
        {"Mixer modes in RGB", "Vek_Mixer: orange stripes (top) over a blue checker (base), amount 1."},
        {"Mixer modes in HSV", "The same pair mixed in hue, saturation and value."},
        {"Distance", "Vek_Distance around an instance at the swatch's centre, remapped to a 0-to-1 gradient."},
        {"Replace alpha", "Vek_Replace_Alpha over a mixer result; the page's checkerboard shows through the alpha."},
        {"Networks", "All four shaders connected."},
    };
}

std::vector<GalleryItem> gallery_items() {
    std::vector<GalleryItem> items;
    const json warm = rgba(0.95, 0.75, 0.2), deep = rgba(0.1, 0.15, 0.35);
    for (bool distort : {false, true})
        for (const PatternKind &k : pattern_kinds) {
            GalleryItem it;
            it.section = distort ? "Grid patterns with distortion" : "Grid patterns";
            it.label = std::to_string(k.value) + " " + k.name;
            it.stem = std::string(distort ? "grid_distorted_" : "grid_") + k.name;
            it.shaders = {grid_shader};
            it.network = network(json{{"grid", grid_node(k.value, k.solid, distort, warm, deep)}}, "grid.color");
            items.push_back(std::move(it));
        }
    for (bool hsv : {false, true}) {
        for (int mode = 0; mode < mix_mode_count; ++mode) {
            GalleryItem it;
            it.section = hsv ? "Mixer modes in HSV" : "Mixer modes in RGB";
            it.label = std::to_string(mode) + " " + mix_mode_names[mode];
            it.stem = std::string(hsv ? "mix_hsv_" : "mix_rgb_") + mix_mode_names[mode];
            it.shaders = {grid_shader, mixer_shader};
            it.network = network(json{{"top", top_stripes()}, {"base", base_checker()}, {"mix", mixer_node(mode, hsv)}},
                                 "mix");
            items.push_back(std::move(it));
        }
        if (hsv) continue;
        for (int mode : {40, 41}) {
            GalleryItem it;
            it.section = "Mixer modes in RGB";
            it.label = std::to_string(mode) + (mode == 40 ? " normal_by_top_alpha" : " normal_by_top_transparency");
            it.stem = std::string("mix_rgb_") + std::to_string(mode);
            it.shaders = {grid_shader, mixer_shader};
            json top = grid_node(0, false, false, rgba(0.95, 0.55, 0.1, 1.0), rgba(0.2, 0.7, 0.9, 0.25), 0.2, 0.45, 0.25);
            it.network = network(json{{"top", top}, {"base", base_checker()}, {"mix", mixer_node(mode, false)}}, "mix");
            items.push_back(std::move(it));
        }
    }
    struct DistanceView {
        const char *label;
        const char *stem;
        int mode;
        double min_d, max_d, scale;
        bool invert;
    };
    const DistanceView views[] = {
        {"1 full distance, world", "distance_full", 1, 0.0, 0.5, 1.0, false},
        {"1 full distance, inverted", "distance_full_inverted", 1, 0.0, 0.5, 1.0, true},
        {"5 absolute X offset", "distance_abs_x", 5, 0.0, 0.5, 1.0, false},
        {"9 signed Y offset", "distance_signed_y", 9, -0.5, 0.5, 1.0, false},
        {"11 full distance, reference scaled by 2", "distance_reference_frame", 11, 0.0, 0.5, 2.0, false},
    };
    for (const DistanceView &v : views) {
        GalleryItem it;
        it.section = "Distance";
        it.label = v.label;
        it.stem = v.stem;
        it.shaders = {distance_shader};
        it.network = network(json{{"dist", distance_node(v.mode, v.min_d, v.max_d, v.invert)}}, "dist",
                             reference_instance(v.scale));
        items.push_back(std::move(it));
    }
    struct AlphaView {
        const char *label;
        const char *stem;
        json params;
    };
    const AlphaView alpha_views[] = {
        {"fixed alpha 0.5", "alpha_fixed", json{{"alpha", 0.5}}},
        {"average of red, green, blue", "alpha_average", json{{"average_alpha", true}}},
        {"alpha shown as grey", "alpha_as_rgb", json{{"alpha", 1.0}, {"alpha_as_rgb", true}}},
        {"pass-through", "alpha_pass_through", json{{"alpha", 0.0}, {"pass_through", true}}},
        {"opacity 0.25 handed to the host", "alpha_opacity",
         json{{"alpha", 1.0}, {"set_opacity", true}, {"opacity", 0.25}}},
    };
    for (const AlphaView &v : alpha_views) {
        GalleryItem it;
        it.section = "Replace alpha";
        it.label = v.label;
        it.stem = v.stem;
        it.shaders = {grid_shader, mixer_shader, replace_alpha_shader};
        json mix = mixer_node(12, false);
        mix["params"]["alpha_mode"] = 5;
        mix["params"]["amount"] = 0.8;
        json top = grid_node(2, false, false, rgba(0.9, 0.3, 0.2, 1.0), rgba(0.9, 0.9, 0.3, 0.1), 0.2);
        it.network = network(json{{"top", top}, {"base", base_checker()}, {"mix", mix}, {"alpha", replace_alpha_node(v.params)}},
                             "alpha");
        items.push_back(std::move(it));
    }
    {
        GalleryItem it;
        it.section = "Networks";
        it.label = "distance drives the mixer's amount, replace-alpha averages";
        it.stem = "network_all";
        it.shaders = {grid_shader, mixer_shader, distance_shader, replace_alpha_shader};
        json mix = mixer_node(4, false, "=dist");
        json top = grid_node(10, false, true, rgba(0.8, 0.3, 0.2), rgba(0.7, 0.7, 0.65), 0.2);
        it.network = network(json{{"top", top},
                                  {"base", base_checker()},
                                  {"dist", distance_node(1, 0.1, 0.6, true)},
                                  {"mix", mix},
                                  {"alpha", replace_alpha_node(json{{"average_alpha", true}})}},
                             "alpha", reference_instance());
        items.push_back(std::move(it));
    }
    return items;
}

std::string render_gallery(const GalleryOptions &options) {
    const std::vector<std::string> found = host::find_shaders(options.search_path);
    const std::set<std::string> available(found.begin(), found.end());
    if (available.empty()) {
        std::string where;
        for (const auto &d : options.search_path) where += " " + d;
        throw std::runtime_error("no plug-in with its declaration found in" + (where.empty() ? std::string(" (no search path)") : where));
    }
    fs::create_directories(options.directory);
    Swatch swatch;
    swatch.width = swatch.height = options.size;
    swatch.samples = options.samples;
    host::LoadOptions load;
    load.search_path = options.search_path;

    struct Rendered {
        const GalleryItem *item;
        std::vector<std::string> files;
    };
    const std::vector<GalleryItem> items = gallery_items();
    std::vector<Rendered> rendered;
    std::set<std::string> missing;
    const auto start = std::chrono::steady_clock::now();
    for (const GalleryItem &item : items) {
        bool ready = true;
        for (const std::string &s : item.shaders)
            if (!available.count(s)) {
                missing.insert(s);
                ready = false;
            }
        if (!ready) continue;
        const auto net = host::Network::load_text(item.network.dump(), "gallery:" + item.stem, load);
        const Image image = render_network(*net, swatch, options.threads);
        const fs::path target = fs::path(options.directory) / (item.stem + ".png");
        std::vector<std::string> files;
        for (const std::string &f : write_image(target.string(), image)) files.push_back(fs::path(f).filename().string());
        rendered.push_back({&item, files});
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();

    std::ostringstream html;
    html << "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>Vek shader pack gallery</title>\n"
            "<style>body{font-family:sans-serif;margin:1.5em;background:#fafafa}"
            "section{display:flex;flex-wrap:wrap;gap:12px}"
            "figure{margin:0;width:" << options.size + 8 << "px;font-size:11px}"
            "img{display:block;image-rendering:pixelated;"
            "background:repeating-conic-gradient(#bbb 0 25%,#eee 0 50%) 0 0/16px 16px}"
            "figcaption{margin-top:3px;word-wrap:break-word}</style></head><body>\n"
            "<h1>Vek shader pack gallery</h1>\n<p>"
         << rendered.size() << " swatches of " << options.size << "&times;" << options.size << " pixels, "
         << options.samples << "&times;" << options.samples << " samples per pixel, rendered by the stand-in host in "
         << static_cast<int>(seconds * 1000 + 0.5) << " ms.</p>\n";
    if (!missing.empty()) {
        html << "<p><strong>Not shown, plug-ins not found:</strong>";
        for (const auto &m : missing) html << " " << html_escape(m);
        html << "</p>\n";
    }
    for (const GallerySection &section : gallery_sections()) {
        bool any = false;
        for (const Rendered &r : rendered) any = any || r.item->section == section.title;
        if (!any) continue;
        html << "<h2>" << html_escape(section.title) << "</h2>\n<p>" << html_escape(section.note) << "</p>\n<section>\n";
        for (const Rendered &r : rendered) {
            if (r.item->section != section.title) continue;
            for (std::size_t i = 0; i < r.files.size(); ++i) {
                html << "<figure><img src=\"" << html_escape(r.files[i]) << "\" width=\"" << options.size
                     << "\" height=\"" << options.size << "\" alt=\"" << html_escape(r.item->label) << "\"><figcaption>"
                     << html_escape(r.item->label);
                if (i > 0) html << " (" << html_escape(fs::path(r.files[i]).stem().extension().string().substr(1)) << ")";
                html << "</figcaption></figure>\n";
            }
        }
        html << "</section>\n";
    }
    html << "</body></html>\n";

    const fs::path page = fs::path(options.directory) / "index.html";
    const fs::path tmp = page.string() + ".partial";
    {
        std::ofstream out(tmp);
        out << html.str();
        if (!out) throw std::runtime_error("cannot write " + page.string());
    }
    fs::rename(tmp, page);
    return fs::absolute(page).lexically_normal().string();
}

}  // namespace vek::swatch

// The swatch renderer's figures, measured the way renderers are compared:
//
//   vek_bench_render figures [--size N] [--rounds R]
//     each network rendered at N x N, one sample per pixel, one thread,
//     alternately with a network of one constant colour; the cost per sample
//     is (time - constant's time) / samples, the median over the rounds.
//   vek_bench_render scaling [--size N] [--rounds R] [--network STEM]
//     a gallery network at N x N with one thread and with every core,
//     alternately; the median speed-up, and whether the images agree bit for bit.
//
// Only the render is timed (tiles, threads, shading contexts, every sample);
// loading the network and writing a file are not, so a file format whose
// compression depends on the picture does not enter the figure.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#include <time.h>
#include <vector>

#include "benchmarks/bench_networks.h"
#include "shaders/grid_multiout/patterns.h"
#include "shaders/mixer/formulas.h"
#include "tools/swatch/swatch.h"

using namespace vek;
using bench::json;

namespace {

struct Options {
    int size = 2048;
    int rounds = 3;
    std::string network = "network_all";
};

// Wall-clock seconds of one render, or the process's CPU seconds: on one thread
// the CPU time is the render's own, and stays honest while other programs run.
double seconds_to_render(const host::Network &net, const swatch::Swatch &s, int threads, swatch::Image *keep = nullptr,
                         bool cpu = false) {
    auto now = [cpu] {
        timespec t{};
        clock_gettime(cpu ? CLOCK_PROCESS_CPUTIME_ID : CLOCK_MONOTONIC, &t);
        return static_cast<double>(t.tv_sec) + 1e-9 * static_cast<double>(t.tv_nsec);
    };
    const double start = now();
    swatch::Image image = swatch::render_network(net, s, threads);
    const double t = now() - start;
    if (keep) *keep = std::move(image);
    return t;
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    const std::size_t n = v.size();
    return n % 2 ? v[n / 2] : 0.5 * (v[n / 2 - 1] + v[n / 2]);
}

struct Entry {
    std::string label;       // what is shown
    std::string reference;   // what other renderers take for the counterpart, ns per sample
    std::unique_ptr<host::Network> net;
    std::vector<double> ns;  // per round, ns per sample above the constant network
};

int figures(const Options &o) {
    swatch::Swatch s;
    s.width = s.height = o.size;
    s.samples = 1;
    const double samples = static_cast<double>(o.size) * o.size;
    const auto constant = bench::load(bench::constant_color_network(), "constant");

    std::vector<Entry> entries;
    auto add = [&](const std::string &label, const std::string &reference, const json &doc,
                   const std::string &output = "") {
        entries.push_back({label, reference, bench::load(doc, label, output), {}});
    };
    auto reference_of = [](int kind, bool distorted) -> std::string {
        if (distorted) return kind == 0 || kind == 3 ? "45-80 (value noise)" : "";
        switch (kind) {
        case 5: return "24 (sine wave)";
        case 6: case 7: return "10-21 (checker)";
        case 8: return "28 (random cells)";
        case 10: case 11: return "14-32 (bricks)";
        default: return "";
        }
    };
    for (bool distorted : {false, true})
        for (int kind = 0; kind < grid::pattern_kind_count; ++kind) {
            const std::string stem = std::string(distorted ? "grid_distorted_" : "grid_") + grid::pattern_name(kind);
            add(stem, reference_of(kind, distorted), bench::gallery_network(stem));
        }
    // Blends over the gallery's two patterns; the blend's own share is the
    // network less its two patterns rendered alone.
    const std::vector<int> blend_modes = {mixer::mode::multiply, mixer::mode::overlay, mixer::mode::soft_light};
    for (bool hsv : {false, true})
        for (int mode : blend_modes) {
            const std::string stem = std::string(hsv ? "mix_hsv_" : "mix_rgb_") + mixer::mix_mode_name(mode);
            add(stem, hsv ? "33 (HSV blend)" : "5-10 (RGB blend)", bench::gallery_network(stem));
        }
    const json pair = bench::gallery_network("mix_rgb_multiply");
    add("top pattern alone", "", pair, "top.color");
    add("base pattern alone", "", pair, "base.color");

    std::fprintf(stderr, "rendering %zu networks at %dx%d, %d rounds, one thread, each after the constant network\n",
                 entries.size(), o.size, o.size, o.rounds);
    std::vector<double> constant_times;
    for (int r = 0; r < o.rounds; ++r)
        for (Entry &e : entries) {
            const double tc = seconds_to_render(*constant, s, 1, nullptr, true);
            const double te = seconds_to_render(*e.net, s, 1, nullptr, true);
            constant_times.push_back(tc);
            e.ns.push_back((te - tc) / samples * 1e9);
        }

    const double pair_ns = median(entries[entries.size() - 2].ns) + median(entries.back().ns);
    std::printf("swatch renderer, %dx%d, 1 sample per pixel, 1 thread, CPU time, median of %d rounds\n", o.size, o.size,
                o.rounds);
    std::printf("constant-colour network: %.1f ns per sample (median), subtracted below\n\n",
                median(constant_times) / samples * 1e9);
    std::printf("%-34s %12s %14s   %s\n", "network", "ns/sample", "blend's share", "other renderers (ns/sample)");
    for (const Entry &e : entries) {
        const double ns = median(e.ns);
        const bool blend = e.label.rfind("mix_", 0) == 0;
        char share[32] = "";
        if (blend) std::snprintf(share, sizeof share, "%.1f", ns - pair_ns);
        std::printf("%-34s %12.1f %14s   %s\n", e.label.c_str(), ns, share, e.reference.c_str());
    }
    return 0;
}

int scaling(const Options &o) {
    swatch::Swatch s;
    s.width = s.height = o.size;
    s.samples = 1;
    const auto net = bench::load(bench::gallery_network(o.network), o.network);
    const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
    std::vector<double> one, all, speedup;
    swatch::Image first, image;
    bool identical = true;
    seconds_to_render(*net, s, 0, &first);  // warm: plug-ins and pages touched once
    for (int r = 0; r < o.rounds; ++r) {
        const double t1 = seconds_to_render(*net, s, 1, &image);
        identical = identical && image.channels == first.channels && image.pixels.size() == first.pixels.size() &&
                    std::memcmp(image.pixels.data(), first.pixels.data(), image.pixels.size() * sizeof(float)) == 0;
        const double tn = seconds_to_render(*net, s, 0, &image);
        identical = identical && image.channels == first.channels && image.pixels.size() == first.pixels.size() &&
                    std::memcmp(image.pixels.data(), first.pixels.data(), image.pixels.size() * sizeof(float)) == 0;
        one.push_back(t1);
        all.push_back(tn);
        speedup.push_back(t1 / tn);
    }
    std::printf("thread scaling: gallery network \"%s\", %dx%d, median of %d rounds\n", o.network.c_str(), o.size,
                o.size, o.rounds);
    std::printf("  1 thread:   %.3f s (%.1f ns per sample)\n", median(one), median(one) / (double(o.size) * o.size) * 1e9);
    std::printf("  %u threads: %.3f s\n", cores, median(all));
    std::printf("  speed-up:   %.2fx\n", median(speedup));
    std::printf("  images bit for bit identical: %s\n", identical ? "yes" : "NO");
    return identical ? 0 : 2;
}

}  // namespace

int main(int argc, char **argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s figures|scaling [--size N] [--rounds R] [--network STEM]\n", argv[0]);
        return 1;
    }
    const std::string what = argv[1];
    Options o;
    if (what == "scaling") o.size = 1024;
    for (int i = 2; i + 1 < argc; i += 2) {
        const std::string key = argv[i];
        if (key == "--size") o.size = std::atoi(argv[i + 1]);
        else if (key == "--rounds") o.rounds = std::atoi(argv[i + 1]);
        else if (key == "--network") o.network = argv[i + 1];
        else {
            std::fprintf(stderr, "unknown option %s\n", key.c_str());
            return 1;
        }
    }
    if (o.size <= 0 || o.rounds <= 0) return 1;
    try {
        if (what == "figures") return figures(o);
        if (what == "scaling") return scaling(o);
    } catch (const std::exception &e) {
        std::fprintf(stderr, "vek_bench_render: %s\n", e.what());
        return 1;
    }
    std::fprintf(stderr, "unknown command %s\n", what.c_str());
    return 1;
}

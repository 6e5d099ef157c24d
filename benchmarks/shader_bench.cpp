// Cost per shading sample of every shader, three ways in one run:
//   real/<case>       the stand-in host shades a sample: the loaded plug-in's
//                     export called through its address, parameters stored;
//   limit/<case>      the same maths called directly from the pure functions,
//                     the settings already in hand;
//   connected/<case>  real, with every parameter connected to a constant node.
// Then the binding layer alone, and a summary table with the ratios and the
// allocations per sample (which must be 0).
#include <dlfcn.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "benchmarks/alloc_counter.h"
#include "benchmarks/bench_networks.h"
#include "shaders/distance/distance.h"
#include "shaders/grid_multiout/grid_multiout.h"
#include "shaders/grid_multiout/pattern_space.h"
#include "shaders/mixer/mixer.h"
#include "shaders/replace_alpha/replace_alpha.h"
#include "stand_in_host/matrix.h"
#include "stand_in_host/network_impl.h"
#include "stand_in_host/plugin_module.h"
#include "tools/swatch/render.h"

using namespace vek;
using bench::json;

namespace {

// ---- Sample points ----------------------------------------------------------

// A 64 x 64 swatch of the unit square, cycled through: the branches see a
// picture, not one point.
constexpr int sample_count = 4096;
constexpr int sample_mask = sample_count - 1;

const std::vector<swatch::SamplePoint> &samples() {
    static const std::vector<swatch::SamplePoint> points = [] {
        swatch::Swatch s;
        s.width = s.height = 64;
        std::vector<swatch::SamplePoint> p;
        for (int y = 0; y < s.height; ++y)
            for (int x = 0; x < s.width; ++x) p.push_back(swatch::sample_point(s, x, y, 0, 0));
        return p;
    }();
    return points;
}

// ---- The maths alone, settings in hand --------------------------------------

// Everything a limit needs besides its parameter block: the host's matrices,
// read once.
struct Scene {
    float object_world_to_local[16];
    float reference_local_to_world[16];
    float reference_world_to_local[16];
};

using Limit = std::function<void(const swatch::SamplePoint &, float *)>;

template <typename P>
P block_of(const host::Network &net) {
    P p;
    std::memcpy(&p, net.node_block(net.node_index("n") >= 0 ? net.node_index("n") : net.node_index("grid")),
                sizeof p);
    return p;
}

void grid_limit(grid::Params p, const Scene &scene, const swatch::SamplePoint &s, float *out) {
    using namespace grid;
    benchmark::DoNotOptimize(p);
    const PatternSizes sizes{p.cell_size, p.line_width, p.softness};
    const Mirrors mirror{p.mirror_x != 0, p.mirror_y != 0, p.mirror_z != 0};
    const miVector scale = combined(component_mode(p.scale_mode), p.scale_vector, {p.scale_x, p.scale_y, p.scale_z},
                                    scale_neutral);
    const miVector rotate = combined(component_mode(p.rotate_mode), p.rotate_vector,
                                     {p.rotate_x, p.rotate_y, p.rotate_z}, rotate_neutral);
    const miVector offset = combined(component_mode(p.offset_mode), p.offset_vector,
                                     {p.offset_x, p.offset_y, p.offset_z}, offset_neutral);
    miVector point = s.point;
    switch (coordinate_source(p.coordinate_source)) {
    case CoordinateSource::object: host::point_transform(&point, &point, scene.object_world_to_local); break;
    case CoordinateSource::input: point = p.input_coordinate; break;
    case CoordinateSource::texture: point = texture_entry(&s.uvw, 1, p.texture_space); break;
    case CoordinateSource::internal: break;
    }
    Coords c = pattern_coordinates(rotated(point, rotate), mirror, scale, offset);
    double v = 0.0;
    if (p.pattern >= 0 && p.pattern < pattern_kind_count) {
        if (p.distort) distort(distortion_of(p.pattern), c, p.distort_fade, static_cast<double>(p.distort_amount));
        v = pattern_value(p.pattern, c, sizes);
    }
    const Result r = outputs(shaped(v, p.bias, p.gain, p.fold != 0, p.invert != 0), p.pattern_color,
                             p.background_color, p.output_scale);
    std::memcpy(out, &r.color, sizeof r.color);
}

void mixer_limit(mixer::Params p, float *out) {
    benchmark::DoNotOptimize(p);
    const miColor &top = p.swap_colors ? p.color2 : p.color1;
    const miColor &base = p.swap_colors ? p.color1 : p.color2;
    const miColor r = mixer::takes_shortcut(p.amount, p.alpha_mode)
                          ? mixer::shortcut(base, top.a, p.amount, p.alpha_mode)
                          : mixer::mixed(top, base, p.mix_mode, p.amount, p.use_hsv != 0, p.alpha_mode);
    std::memcpy(out, &r, sizeof r);
}

void distance_limit(distance::Params p, const Scene &scene, const swatch::SamplePoint &s, float *out) {
    using namespace distance;
    benchmark::DoNotOptimize(p);
    const miVector point = s.point;  // internal space is world space here
    float m = 0.0f;
    if (!valid_mode(p.mode)) {
        *out = 0.0f;
        return;
    }
    miVector d;
    const miVector origin{scene.reference_local_to_world[12], scene.reference_local_to_world[13],
                          scene.reference_local_to_world[14]};
    switch (frame_of(p.mode)) {
    case Frame::world: d = difference(point, origin); break;
    case Frame::reference: host::point_transform(&d, &point, scene.reference_world_to_local); break;
    case Frame::object: {
        miVector o, q;
        host::point_transform(&o, &origin, scene.object_world_to_local);
        host::point_transform(&q, &point, scene.object_world_to_local);
        d = difference(q, o);
        break;
    }
    }
    m = measured(measure_of(p.mode), d);
    if (p.remap) m = remapped(m, RemapSettings{p.min_distance, p.max_distance, p.bias, p.gain, p.invert});
    *out = m;
}

void replace_alpha_limit(replace_alpha::Params p, float *out) {
    benchmark::DoNotOptimize(p);
    if (p.pass_through) {
        std::memcpy(out, &p.input_color, sizeof p.input_color);
        return;
    }
    const miColor r = replace_alpha::replaced(p);
    std::memcpy(out, &r, sizeof r);
    if (p.set_opacity) {
        miColor opacity = {p.opacity, p.opacity, p.opacity, p.opacity};
        benchmark::DoNotOptimize(opacity);
    }
}

// ---- Cases ------------------------------------------------------------------

struct Case {
    std::string name;
    json doc;
    std::string node = "n";  // the node under test, whose parameters get connected
    std::function<Limit(const host::Network &, const Scene &)> limit;
};

Scene scene_of(const host::Network &net) {
    Scene s{};
    std::memcpy(s.object_world_to_local, net.instance(host::object_tag)->world_to_local, sizeof s.object_world_to_local);
    host::matrix_ident(s.reference_local_to_world);
    host::matrix_ident(s.reference_world_to_local);
    if (net.instances().size() > 1) {
        std::memcpy(s.reference_local_to_world, net.instances()[1].local_to_world, 64);
        std::memcpy(s.reference_world_to_local, net.instances()[1].world_to_local, 64);
    }
    return s;
}

std::vector<Case> cases() {
    std::vector<Case> all;
    // Grid: every kind, with and without distortion, as the gallery shows them.
    for (bool distorted : {false, true})
        for (int kind = 0; kind < grid::pattern_kind_count; ++kind) {
            const std::string stem = std::string(distorted ? "grid_distorted_" : "grid_") + grid::pattern_name(kind);
            Case c;
            c.name = std::string("grid/") + grid::pattern_name(kind) + (distorted ? "/distorted" : "");
            c.doc = bench::gallery_network(stem);
            c.node = "grid";
            c.limit = [](const host::Network &net, const Scene &scene) -> Limit {
                const grid::Params p = block_of<grid::Params>(net);
                return [p, scene](const swatch::SamplePoint &s, float *out) { grid_limit(p, scene, s, out); };
            };
            all.push_back(std::move(c));
        }

    // Mixer: one mode of each family, in RGB and in HSV; the plain weightings;
    // the shortcut.
    struct MixerSetting {
        const char *name;
        int mode;
        bool hsv;
        double amount;
        int alpha_mode;
    };
    std::vector<MixerSetting> mixes = {{"normal", 0, false, 0.7, 5}, {"normal_by_top_alpha", 40, false, 0.7, 5},
                                       {"shortcut", 4, false, 0.0, 3}};
    for (bool hsv : {false, true})
        for (auto [name, mode] : std::vector<std::pair<const char *, int>>{{"add", 1},
                                                                          {"multiply", 4},
                                                                          {"overlay", 12},
                                                                          {"soft_light", 14},
                                                                          {"color_dodge", 16},
                                                                          {"freeze", 24},
                                                                          {"cosine_interpolation", 26}})
            mixes.push_back({name, mode, hsv, 0.7, mode == 12 ? 6 : 5});
    for (const MixerSetting &m : mixes) {
        Case c;
        c.name = std::string("mixer/") + m.name + (m.mode >= 1 && m.mode <= 28 ? (m.hsv ? "/hsv" : "/rgb") : "");
        c.doc = bench::single_node("Vek_Mixer", json{{"color1", json::array({0.9, 0.5, 0.2, 0.8})},
                                                     {"color2", json::array({0.2, 0.45, 0.7, 1.0})},
                                                     {"mix_mode", m.mode},
                                                     {"amount", m.amount},
                                                     {"use_hsv", m.hsv},
                                                     {"alpha_mode", m.alpha_mode}});
        c.limit = [](const host::Network &net, const Scene &) -> Limit {
            const mixer::Params p = block_of<mixer::Params>(net);
            return [p](const swatch::SamplePoint &, float *out) { mixer_limit(p, out); };
        };
        all.push_back(std::move(c));
    }

    // Distance: full distance in each frame, with and without remapping.
    const json instances = {{"ref", json{{"translate", json::array({0.5, 0.5, 0.0})},
                                         {"rotate", json::array({0, 0, 30})},
                                         {"scale", json::array({2, 2, 2})}}}};
    for (auto [frame, mode] : std::vector<std::pair<const char *, int>>{{"world", 1}, {"reference", 11}, {"object", 21}})
        for (bool remap : {false, true}) {
            Case c;
            c.name = std::string("distance/") + frame + (remap ? "/remapped" : "");
            c.doc = bench::single_node("Vek_Distance",
                                       json{{"mode", mode},
                                            {"references", json::array({"ref"})},
                                            {"remap", remap},
                                            {"min_distance", 0.1},
                                            {"max_distance", 0.6},
                                            {"bias", 0.3},
                                            {"gain", 0.7},
                                            {"invert", true}},
                                       "n", instances);
            c.doc["object"] = json{{"translate", json::array({0.1, 0.0, 0.0})}};
            c.limit = [](const host::Network &net, const Scene &scene) -> Limit {
                const distance::Params p = block_of<distance::Params>(net);
                return [p, scene](const swatch::SamplePoint &s, float *out) { distance_limit(p, scene, s, out); };
            };
            all.push_back(std::move(c));
        }

    // Replace-alpha: each path.
    const std::vector<std::pair<const char *, json>> alphas = {
        {"fixed", json{{"alpha", 0.5}}},
        {"average", json{{"average_alpha", true}}},
        {"alpha_as_rgb", json{{"alpha_as_rgb", true}}},
        {"pass_through", json{{"pass_through", true}, {"set_opacity", true}}},
        {"set_opacity", json{{"set_opacity", true}, {"opacity", 0.25}}},
    };
    for (const auto &[name, params] : alphas) {
        Case c;
        c.name = std::string("replace_alpha/") + name;
        json p = params;
        p["input_color"] = json::array({0.6, 0.3, 0.2, 0.9});
        c.doc = bench::single_node("Vek_Replace_Alpha", p);
        c.limit = [](const host::Network &net, const Scene &) -> Limit {
            const replace_alpha::Params p = block_of<replace_alpha::Params>(net);
            return [p](const swatch::SamplePoint &, float *out) { replace_alpha_limit(p, out); };
        };
        all.push_back(std::move(c));
    }
    return all;
}

// ---- Benchmarks -------------------------------------------------------------

constexpr int max_channels = 16;

void run_network(benchmark::State &st, const host::Network &net) {
    host::ShadingContext context(net);
    const auto &points = samples();
    float channels[max_channels];
    unsigned i = 0;
    const long before = bench::allocations();
    for (auto _ : st) {
        const swatch::SamplePoint &p = points[i++ & sample_mask];
        context.shade(p.point, p.uvw.x, p.uvw.y, channels);
        benchmark::DoNotOptimize(channels[0]);
    }
    st.counters["allocs_per_sample"] =
        static_cast<double>(bench::allocations() - before) / static_cast<double>(st.iterations());
}

void run_limit(benchmark::State &st, const Limit &limit) {
    const auto &points = samples();
    float channels[max_channels];
    unsigned i = 0;
    for (auto _ : st) {
        limit(points[i++ & sample_mask], channels);
        benchmark::DoNotOptimize(channels[0]);
    }
}

// The real path, the connected path and the limit must give the same bits,
// or the comparison means nothing.
bool same_results(const host::Network &a, const host::Network &b, const Limit &limit, const std::string &name) {
    host::ShadingContext ca(a), cb(b);
    const std::size_t n = a.channels().size();
    for (int k = 0; k < sample_count; k += 7) {
        const swatch::SamplePoint &p = samples()[k];
        float ra[max_channels], rb[max_channels], rl[max_channels];
        ca.shade(p.point, p.uvw.x, p.uvw.y, ra);
        cb.shade(p.point, p.uvw.x, p.uvw.y, rb);
        limit(p, rl);
        if (std::memcmp(ra, rb, n * 4) != 0 || std::memcmp(ra, rl, n * 4) != 0) {
            std::fprintf(stderr, "%s: the real, connected and direct results differ at sample %d\n", name.c_str(), k);
            return false;
        }
    }
    return true;
}

// The binding layer alone: a bound wrapper against a direct call of the same
// host function, both looped inside one module.
using PointFn = void (*)(miState *, miVector *, miVector *);
using BoundLoop = void (*)(miState *, miVector *, miVector *, long);
using DirectLoop = void (*)(PointFn, miState *, miVector *, miVector *, long);
constexpr long binding_calls = 1000;

struct BindingModule {
    host::Module module;
    BoundLoop bound = nullptr;
    DirectLoop direct = nullptr;
    PointFn host_fn = nullptr;
};

BindingModule &binding_module() {
    static BindingModule m = [] {
        BindingModule b;
        b.module = host::Module::open(std::string(VEK_BENCH_PLUGIN_DIR) + "/vek_bench_binding.so", true);
        reinterpret_cast<void (*)(void *)>(b.module.symbol("miSetModuleHandle"))(host::host_module_handle());
        b.bound = reinterpret_cast<BoundLoop>(b.module.symbol("vek_bench_bound_loop"));
        b.direct = reinterpret_cast<DirectLoop>(b.module.symbol("vek_bench_direct_loop"));
        b.host_fn = reinterpret_cast<PointFn>(dlsym(host::host_module_handle(), "mi_point_to_world"));
        return b;
    }();
    return m;
}

// ---- Summary ----------------------------------------------------------------

// Keeps each benchmark's CPU time per iteration: the median when repeated.
class Collector : public benchmark::ConsoleReporter {
public:
    struct Figure {
        double ns = 0;
        double allocs = 0;
        bool median = false;
    };
    std::map<std::string, Figure> figures;

    void ReportRuns(const std::vector<Run> &runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run &r : runs) {
            if (r.error_occurred) continue;
            const bool median = r.run_type == Run::RT_Aggregate && r.aggregate_name == "median";
            if (r.run_type == Run::RT_Aggregate && !median) continue;
            Figure &f = figures[r.run_name.function_name];
            if (f.median && !median) continue;
            f.ns = r.GetAdjustedCPUTime();
            auto a = r.counters.find("allocs_per_sample");
            f.allocs = a == r.counters.end() ? 0.0 : static_cast<double>(a->second);
            f.median = median;
        }
    }
};

}  // namespace

int main(int argc, char **argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;

    // Networks live for the whole run; the benchmarks only borrow them.
    struct Loaded {
        std::unique_ptr<host::Network> real, connected;
        Limit limit;
    };
    std::vector<std::string> names;
    static std::vector<std::unique_ptr<Loaded>> loaded;
    bool consistent = true;
    for (Case &c : cases()) {
        auto l = std::make_unique<Loaded>();
        l->real = bench::load(c.doc, c.name);
        l->connected = bench::load(bench::connected_variant(c.doc, c.node), c.name + " (connected)");
        l->limit = c.limit(*l->real, scene_of(*l->real));
        consistent = same_results(*l->real, *l->connected, l->limit, c.name) && consistent;
        Loaded *p = l.get();
        benchmark::RegisterBenchmark(("limit/" + c.name).c_str(), [p](benchmark::State &st) { run_limit(st, p->limit); })
            ->Unit(benchmark::kNanosecond);
        benchmark::RegisterBenchmark(("real/" + c.name).c_str(), [p](benchmark::State &st) { run_network(st, *p->real); })
            ->Unit(benchmark::kNanosecond);
        benchmark::RegisterBenchmark(("connected/" + c.name).c_str(),
                                     [p](benchmark::State &st) { run_network(st, *p->connected); })
            ->Unit(benchmark::kNanosecond);
        names.push_back(c.name);
        loaded.push_back(std::move(l));
    }
    if (!consistent) return 1;

    benchmark::RegisterBenchmark("binding/bound_x1000", [](benchmark::State &st) {
        BindingModule &b = binding_module();
        miVector in{1, 2, 3}, out{};
        for (auto _ : st) b.bound(nullptr, &out, &in, binding_calls);
        benchmark::DoNotOptimize(out);
    })->Unit(benchmark::kNanosecond);
    benchmark::RegisterBenchmark("binding/direct_x1000", [](benchmark::State &st) {
        BindingModule &b = binding_module();
        miVector in{1, 2, 3}, out{};
        for (auto _ : st) b.direct(b.host_fn, nullptr, &out, &in, binding_calls);
        benchmark::DoNotOptimize(out);
    })->Unit(benchmark::kNanosecond);

    Collector collector;
    benchmark::RunSpecifiedBenchmarks(&collector);
    benchmark::Shutdown();

    // The table: ns per sample, real / limit, connected, allocations.
    auto &f = collector.figures;
    bool allocation_free = true;
    std::printf("\n%-36s %9s %9s %7s %11s %7s %7s\n", "case", "limit ns", "real ns", "ratio", "connected", "ratio",
                "allocs");
    for (const std::string &n : names) {
        if (!f.count("real/" + n) || !f.count("limit/" + n)) continue;
        const auto &lim = f["limit/" + n], &real = f["real/" + n];
        const bool has_connected = f.count("connected/" + n) != 0;
        const auto conn = has_connected ? f["connected/" + n] : Collector::Figure{};
        const double allocs = real.allocs + conn.allocs;
        allocation_free = allocation_free && allocs == 0;
        std::printf("%-36s %9.2f %9.2f %6.2fx %11.2f %6.2fx %7.3g\n", n.c_str(), lim.ns, real.ns, real.ns / lim.ns,
                    conn.ns, conn.ns / lim.ns, allocs);
    }
    if (f.count("binding/bound_x1000") && f.count("binding/direct_x1000")) {
        const double bound = f["binding/bound_x1000"].ns / binding_calls;
        const double direct = f["binding/direct_x1000"].ns / binding_calls;
        std::printf("\nbinding layer: bound wrapper %.2f ns per call, direct call %.2f ns, ratio %.2fx\n", bound,
                    direct, bound / direct);
    }
    std::printf("\nallocations per sample: %s\n", allocation_free ? "0 in every case" : "NOT 0 (see the table)");
    return allocation_free ? 0 : 2;
}

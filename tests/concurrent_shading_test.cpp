// Every plug-in shading on many threads at once, each thread with its own
// samples, all of them through the host calls a real sample makes: the results
// must be the bits a single thread gets. Run under ThreadSanitizer too.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <thread>
#include <vector>

#include "shaders/distance/distance.h"
#include "shaders/grid_multiout/grid_multiout.h"
#include "shaders/mixer/mixer.h"
#include "shaders/replace_alpha/replace_alpha.h"
#include "stand_in_host/matrix.h"
#include "tests/support/plugin_fixture.h"

namespace vek::test {
namespace {

constexpr int threads = 4;
constexpr int samples = 300;

// A block with spare room after it, for the distance shader's array elements.
template <typename P>
struct Padded {
    P params;
    miTag spare[4];
};

struct Setting {
    const char *shader;
    std::size_t result_size;
    std::vector<unsigned char> block;  // the parameter block, stored values only
    bool uses_point;                   // whether the result follows the intersection point
};

template <typename P>
std::vector<unsigned char> bytes_of(const P &p) {
    std::vector<unsigned char> b(sizeof p);
    std::memcpy(b.data(), &p, sizeof p);
    return b;
}

std::vector<Setting> settings() {
    std::vector<Setting> all;

    grid::Params g{};
    g.pattern = 2;
    g.cell_size = {0.5f, 0.5f, 0.5f};
    g.line_width = {0.1f, 0.1f, 0.1f};
    g.softness = {0.05f, 0.05f, 0.05f};
    g.bias = 0.4f;
    g.gain = 0.6f;
    g.pattern_color = {1, 0.5f, 0.25f, 1};
    g.output_scale = 2;
    g.coordinate_source = 0;  // object space: a host call
    g.rotate_mode = 2;        // a rotation: the matrix functions
    g.rotate_vector = {10, 20, 30};
    g.distort = 1;
    g.distort_amount = 0.5f;
    g.distort_fade = 2;
    all.push_back({"Vek_Grid_MultiOut", sizeof(grid::Result), bytes_of(g), true});

    mixer::Params m{};
    m.color1 = {0.2f, 0.7f, 0.4f, 0.5f};
    m.color2 = {0.9f, 0.1f, 0.3f, 1};
    m.mix_mode = 14;
    m.amount = 0.75f;
    m.use_hsv = 1;
    m.alpha_mode = 6;
    all.push_back({"Vek_Mixer", sizeof(miColor), bytes_of(m), false});

    Padded<distance::Params> d{};
    d.params.mode = 21;  // object frame: two queries, a transform, a conversion
    d.params.references = {0, 1, 2};
    d.params.remap = 1;
    d.params.max_distance = 4;
    d.params.bias = 0.3f;
    d.params.gain = 0.5f;
    all.push_back({"Vek_Distance", sizeof(float), bytes_of(d), true});

    replace_alpha::Params r{};
    r.input_color = {0.3f, 0.6f, 0.9f, 0.2f};
    r.average_alpha = 1;
    r.set_opacity = 1;
    r.opacity = 0.5f;
    all.push_back({"Vek_Replace_Alpha", sizeof(miColor), bytes_of(r), false});
    return all;
}

miVector point_of(int i) { return {0.01f * i - 1.0f, 0.003f * i, 0.5f - 0.002f * i}; }

TEST(ConcurrentShading, EveryPluginGivesTheSameBitsOnManyThreads) {
    RecordingHost &host = *HostModule::primary().host;
    for (const auto &setting : settings()) {
        SCOPED_TRACE(setting.shader);
        auto plugin = load_plugin(setting.shader);
        host.reset();
        float reference[16], object[16];
        host::matrix_from_trs(reference, {1, 2, 3}, {0, 0, 45}, {2, 2, 2});
        host::matrix_from_trs(object, {-1, 0, 0.5f}, {30, 0, 0}, {1, 1, 1});
        host.add_instance(2, reference);
        host.add_instance(3, object);
        std::memcpy(host.to_object, host.instances[3].world_to_local, sizeof host.to_object);
        plugin.attach(HostModule::primary().module.handle());

        auto shade = [&](int i, miState &state, std::vector<unsigned char> &block) {
            std::vector<unsigned char> result(setting.result_size);
            state.point = point_of(i);
            plugin.shader(result.data(), &state, block.data());
            return result;
        };
        miShaderRecord record{};
        auto fresh_state = [&] {
            miState s{};
            s.shader = &record;
            s.instance = 3;
            return s;
        };

        std::vector<std::vector<unsigned char>> expected;
        {
            miState state = fresh_state();
            auto block = setting.block;
            for (int i = 0; i < samples; ++i) expected.push_back(shade(i, state, block));
        }
        if (setting.uses_point) {
            ASSERT_NE(expected.front(), expected.back()) << "the samples should differ";
        }

        plugin.attach(HostModule::primary().module.handle());  // every thread binds afresh
        std::atomic<int> ready{0}, mismatches{0};
        std::vector<std::thread> pool;
        for (int t = 0; t < threads; ++t)
            pool.emplace_back([&, t] {
                miState state = fresh_state();
                auto block = setting.block;
                ++ready;
                while (ready.load() < threads) {
                }
                for (int n = 0; n < samples; ++n) {
                    const int i = (n + t * 37) % samples;
                    if (shade(i, state, block) != expected[i]) ++mismatches;
                }
            });
        for (auto &thread : pool) thread.join();
        EXPECT_EQ(0, mismatches.load());
    }
}

}  // namespace
}  // namespace vek::test

// The same fixed cases run through the built plug-ins on Windows and on Linux.
// The Windows program writes what it got, as bits, to a results file; the Linux
// program computes its own and compares. Every case must agree bit for bit,
// except those marked "libm": they go through sin or cos (the host's rotation
// matrix, the weave and the waves, the cosine mix), whose last bit each
// platform's mathematics library may round its own way. fmod and sqrt are exact
// or correctly rounded everywhere, so cases that use only them stay bit-exact.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/plugin_fixture.h"

#if __has_include("shaders/replace_alpha/replace_alpha.h")
#include "shaders/replace_alpha/replace_alpha.h"
#define VEK_CROSS_REPLACE_ALPHA 1
#endif
#if __has_include("shaders/mixer/mixer.h")
#include "shaders/mixer/mixer.h"
#define VEK_CROSS_MIXER 1
#endif
#if __has_include("shaders/grid_multiout/grid_multiout.h")
#include "shaders/grid_multiout/grid_multiout.h"
#define VEK_CROSS_GRID 1
#endif
#if __has_include("shaders/distance/distance.h")
#include "shaders/distance/distance.h"
#define VEK_CROSS_DISTANCE 1
#endif

namespace vek::test {
namespace {

struct Outcome {
    bool libm = false;                 // sin or cos on the way: the last bit may differ
    std::vector<std::uint32_t> words;  // the result record, 32 bits at a time
};
using Outcomes = std::map<std::string, Outcome>;

// A fixed-seed generator of our own: the standard distributions are not
// required to give the same numbers everywhere.
struct Sweep {
    std::uint64_t state;
    explicit Sweep(std::uint64_t seed) : state(seed) {}
    std::uint32_t next() {
        state = state * 6364136223846793005ull + 1442695040888963407ull;
        return static_cast<std::uint32_t>(state >> 33);
    }
    float uniform(float lo, float hi) { return lo + (hi - lo) * static_cast<float>(next() % 1000000u) * 1e-6f; }
    miColor colour() { return {uniform(0, 1), uniform(0, 1), uniform(0, 1), uniform(0, 1)}; }
    miVector vector(float lo, float hi) { return {uniform(lo, hi), uniform(lo, hi), uniform(lo, hi)}; }
};

template <typename Result>
std::vector<std::uint32_t> words_of(const Result &result) {
    static_assert(sizeof(Result) % 4 == 0, "results are made of 32-bit units");
    std::vector<std::uint32_t> words(sizeof(Result) / 4);
    std::memcpy(words.data(), &result, sizeof(Result));
    return words;
}

// Runs the cases of one shader against the primary recording host.
class Runner {
public:
    explicit Runner(const std::string &shader) : plugin_(load_plugin(shader)) {
        host().reset();
        plugin_.attach(HostModule::primary().module.handle());
    }
    static RecordingHost &host() { return *HostModule::primary().host; }

    template <typename Result, typename P>
    Result run(Block<P> &block, miState &state) {
        Result result{};
        state.shader = &block.record;
        plugin_.shader(&result, &state, &block.params());
        return result;
    }

private:
    host::Plugin plugin_;
};

void add(Outcomes &out, const std::string &name, bool libm, std::vector<std::uint32_t> words) {
    out[name] = Outcome{libm, std::move(words)};
}

#if defined(VEK_CROSS_REPLACE_ALPHA)
void replace_alpha_cases(Outcomes &out) {
    Runner runner("Vek_Replace_Alpha");
    Sweep sweep(11);
    for (int i = 0; i < 16; ++i) {
        Block<replace_alpha::Params> block;
        block->input_color = sweep.colour();
        block->alpha = sweep.uniform(-1, 2);
        block->pass_through = i == 15;
        block->alpha_as_rgb = i & 1;
        block->average_alpha = (i >> 1) & 1;
        block->set_opacity = 0;
        miState state{};
        add(out, "replace_alpha/" + std::to_string(i), false, words_of(runner.run<miColor>(block, state)));
    }
}
#endif

#if defined(VEK_CROSS_MIXER)
void mixer_cases(Outcomes &out) {
    Runner runner("Vek_Mixer");
    Sweep sweep(23);
    constexpr int cosine_interpolation = 26;
    for (int mode = 0; mode <= 31; ++mode)
        for (int hsv = 0; hsv <= 1; ++hsv)
            for (int i = 0; i < 4; ++i) {
                Block<mixer::Params> block;
                block->color1 = sweep.colour();
                block->color2 = sweep.colour();
                block->mix_mode = mode;
                block->amount = i == 0 ? 1.0f : sweep.uniform(0.05f, 1.5f);
                block->swap_colors = i == 3;
                block->use_hsv = hsv;
                block->alpha_mode = static_cast<int>(sweep.next() % 10u);
                miState state{};
                add(out, "mixer/mode" + std::to_string(mode) + (hsv ? "/hsv/" : "/rgb/") + std::to_string(i),
                    mode == cosine_interpolation, words_of(runner.run<miColor>(block, state)));
            }
}
#endif

#if defined(VEK_CROSS_GRID)
void grid_cases(Outcomes &out) {
    Runner runner("Vek_Grid_MultiOut");
    Sweep sweep(37);
    constexpr int weave = 4, waves = 5;
    constexpr int vector_only = 2;
    for (int kind = 0; kind <= 14; ++kind)
        for (int i = 0; i < 8; ++i) {
            Block<grid::Params> block;
            grid::Params &p = block.params();
            p.pattern = kind;
            p.cell_size = sweep.vector(0.5f, 2.0f);
            p.line_width = sweep.vector(0.3f, 0.9f);
            p.softness = i % 3 == 0 ? miVector{0, 0, 0} : sweep.vector(0.1f, 0.6f);
            p.fold = i == 5;
            p.bias = i == 6 ? 0.3f : 0.5f;
            p.gain = i == 7 ? 0.7f : 0.5f;
            p.invert = i == 4;
            p.mirror_x = i == 3;
            p.pattern_color = sweep.colour();
            p.background_color = sweep.colour();
            p.output_scale = sweep.uniform(0.5f, 3.0f);
            p.coordinate_source = 1;  // input_coordinate
            p.input_coordinate = sweep.vector(-5.0f, 5.0f);
            p.scale_mode = vector_only;
            p.scale_vector = sweep.vector(0.5f, 2.0f);
            const bool turned = i == 2 || i == 7;
            p.rotate_mode = vector_only;
            p.rotate_vector = turned ? sweep.vector(-90.0f, 90.0f) : miVector{0, 0, 0};
            p.offset_mode = vector_only;
            p.offset_vector = sweep.vector(-1.0f, 1.0f);
            p.distort = i >= 5;
            p.distort_amount = sweep.uniform(0.1f, 0.8f);
            p.distort_fade = i % 3;
            miState state{};
            add(out, "grid/kind" + std::to_string(kind) + "/" + std::to_string(i),
                turned || kind == weave || kind == waves, words_of(runner.run<grid::Result>(block, state)));
        }
}
#endif

#if defined(VEK_CROSS_DISTANCE)
void distance_cases(Outcomes &out) {
    Runner runner("Vek_Distance");
    Sweep sweep(41);
    constexpr miTag reference = 7, shaded = 9;
    for (int mode = 0; mode <= 31; ++mode)
        for (int i = 0; i < 3; ++i) {
            RecordingHost &host = Runner::host();
            host.reset();
            // Internal space to world and object: a scale and a translation.
            float to_world[16] = {2, 0, 0, 0, 0, 1.5f, 0, 0, 0, 0, 0.5f, 0, 1, -2, 3, 1};
            std::memcpy(host.to_world, to_world, sizeof to_world);
            float to_object[16] = {1, 0, 0, 0, 0, 0.25f, 0, 0, 0, 0, 3, 0, -0.5f, 0.75f, 0, 1};
            std::memcpy(host.to_object, to_object, sizeof to_object);
            float reference_to_world[16] = {0, 1, 0, 0, -1, 0, 0, 0, 0, 0, 2, 0, 0, 0, 0, 1};
            const miVector origin = sweep.vector(-4.0f, 4.0f);
            reference_to_world[12] = origin.x;
            reference_to_world[13] = origin.y;
            reference_to_world[14] = origin.z;
            host.add_instance(reference, reference_to_world);
            float shaded_to_world[16] = {1.5f, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0.5f, 0.25f, -1, 1};
            host.add_instance(shaded, shaded_to_world);

            Block<distance::Params> block;
            distance::Params &p = block.params();
            p.mode = mode;
            p.references.start = 0;
            p.references.count = 1;
            p.references.first = reference;
            p.remap = i != 0;
            p.min_distance = sweep.uniform(0.0f, 1.0f);
            p.max_distance = sweep.uniform(2.0f, 6.0f);
            p.bias = i == 2 ? 0.25f : 0.5f;
            p.gain = i == 2 ? 0.8f : 0.5f;
            p.invert = i == 2;
            miState state{};
            state.point = sweep.vector(-3.0f, 3.0f);
            state.instance = shaded;
            add(out, "distance/mode" + std::to_string(mode) + "/" + std::to_string(i), false,
                words_of(runner.run<miScalar>(block, state)));
        }
}
#endif

Outcomes run_every_case() {
    Outcomes out;
#if defined(VEK_CROSS_REPLACE_ALPHA)
    replace_alpha_cases(out);
#endif
#if defined(VEK_CROSS_MIXER)
    mixer_cases(out);
#endif
#if defined(VEK_CROSS_GRID)
    grid_cases(out);
#endif
#if defined(VEK_CROSS_DISTANCE)
    distance_cases(out);
#endif
    return out;
}

#if defined(_WIN32)
// One line a case: name, "ieee" or "libm", the result's words in hexadecimal.
void write(std::ostream &file, const Outcomes &outcomes) {
    for (const auto &[name, outcome] : outcomes) {
        file << name << (outcome.libm ? " libm" : " ieee") << std::hex;
        for (std::uint32_t w : outcome.words) file << ' ' << w;
        file << std::dec << '\n';
    }
}
#else

Outcomes read(std::istream &file) {
    Outcomes outcomes;
    for (std::string line; std::getline(file, line);) {
        std::istringstream fields(line);
        std::string name, kind;
        fields >> name >> kind;
        Outcome &outcome = outcomes[name];
        outcome.libm = kind == "libm";
        for (std::uint32_t w; fields >> std::hex >> w;) outcome.words.push_back(w);
    }
    return outcomes;
}

// Distance in units of the last place between two floats of the same sign.
std::uint32_t ulps_apart(std::uint32_t a, std::uint32_t b) {
    if ((a ^ b) & 0x80000000u) return a == b ? 0 : 0xffffffffu;
    return a > b ? a - b : b - a;
}

// What a last-bit difference in sin or cos may leave in a 32-bit result.
constexpr std::uint32_t libm_tolerance_ulps = 1;
#endif

#if defined(_WIN32)

TEST(CrossPlatformResults, WrittenForTheLinuxComparison) {
    const Outcomes outcomes = run_every_case();
    ASSERT_FALSE(outcomes.empty());
    const std::string path = std::string(VEK_BINARY_DIR) + "/cross_platform_results.txt";
    std::ofstream file(path, std::ios::trunc);
    ASSERT_TRUE(file) << path;
    write(file, outcomes);
    file.close();
    ASSERT_TRUE(file) << path;
}

#else

TEST(CrossPlatformResults, MatchTheWindowsBuild) {
    const std::string path = VEK_WINDOWS_RESULTS;
    if (path.empty()) GTEST_SKIP() << "no Windows results given (VEK_WINDOWS_RESULTS)";
    std::ifstream file(path);
    if (!file) GTEST_SKIP() << "no Windows results at " << path;
    const Outcomes windows = read(file);
    const Outcomes here = run_every_case();
    ASSERT_FALSE(here.empty());
    int libm_differences = 0;
    for (const auto &[name, mine] : here) {
        SCOPED_TRACE(name);
        auto it = windows.find(name);
        ASSERT_NE(windows.end(), it) << "case missing from the Windows results";
        const Outcome &theirs = it->second;
        EXPECT_EQ(mine.libm, theirs.libm);
        ASSERT_EQ(mine.words.size(), theirs.words.size());
        bool differs = false;
        for (std::size_t i = 0; i < mine.words.size(); ++i) {
            if (mine.words[i] == theirs.words[i]) continue;
            differs = true;
            if (mine.libm)
                EXPECT_LE(ulps_apart(mine.words[i], theirs.words[i]), libm_tolerance_ulps) << "word " << i;
            else
                ADD_FAILURE() << "word " << i << ": Linux " << std::hex << mine.words[i] << ", Windows "
                              << theirs.words[i];
        }
        libm_differences += differs && mine.libm;
    }
    for (const auto &[name, theirs] : windows) EXPECT_TRUE(here.count(name)) << name << " only on Windows";
    std::cout << libm_differences << " of " << here.size() << " cases differ where sin or cos is involved\n";
}

#endif

}  // namespace
}  // namespace vek::test

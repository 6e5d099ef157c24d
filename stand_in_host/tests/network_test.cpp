// Networks end to end: values by name, connections through mi_phen_eval, the
// record switch, instances, overrides, and every fault with its message.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

#include "host/host_functions.h"
#include "stand_in_host/network.h"
#include "tests/support/bits.h"

using namespace vek::host;
using vek::test::same_bits;

namespace {

struct ProbeResult {  // as the probe shader writes it
    miColor color;
    miInteger runs, first, second, record_lo, record_hi;
    miBoolean restored, query_ok;
    miVector origin, object_point;
};

LoadOptions options(std::vector<std::string> overrides = {}) {
    return LoadOptions{{VEK_PLUGIN_DIR, VEK_PROBE_DIR}, std::move(overrides), ""};
}

std::unique_ptr<Network> load(const std::string &text, std::vector<std::string> overrides = {}) {
    return Network::load_text(text, "test.json", options(std::move(overrides)));
}

const miShaderRecord *seen_record(const ProbeResult &r) {
    const unsigned long long address = (static_cast<unsigned long long>(static_cast<unsigned>(r.record_hi)) << 32) |
                                       static_cast<unsigned>(r.record_lo);
    return reinterpret_cast<const miShaderRecord *>(address);
}

const char *probe_chain = R"({
  "instances": { "ref": { "translate": [3, 4, 0] } },
  "object": { "translate": [1, 0, 0] },
  "nodes": {
    "outer": { "shader": "Vek_Test_Probe",
               "params": { "input": { "connect": "inner.color" }, "first": "=inner.runs",
                           "second": { "connect": "inner.runs" } } },
    "inner": { "shader": "Vek_Test_Probe", "params": { "reference": "ref" } }
  },
  "output": "outer"
})";

TEST(Network, ConnectedNodeRunsInsideEvaluationWithItsOwnRecord) {
    auto net = load(probe_chain);
    const int outer = net->node_index("outer"), inner = net->node_index("inner");
    EXPECT_EQ(net->node_record(outer)->eval_flag, 1);
    EXPECT_EQ(net->node_record(inner)->eval_flag, 0);  // nothing connected: markers are not consulted

    ShadingContext context(*net);
    std::vector<float> channels(net->channels().size());
    EXPECT_FALSE(context.shade({2, 0, 0}, 0.5f, 0.5f, channels.data()));
    const auto &o = *static_cast<const ProbeResult *>(context.node_result(outer));
    const auto &i = *static_cast<const ProbeResult *>(context.node_result(inner));

    // Three connected parameters: the inner node runs once for each, no caching.
    EXPECT_EQ(o.first, o.runs + 2);
    EXPECT_EQ(o.second, o.runs + 3);
    EXPECT_EQ(i.runs, o.runs + 3);
    // Each node saw its own record, and the outer one had it back after evaluating.
    EXPECT_EQ(seen_record(o), net->node_record(outer));
    EXPECT_EQ(seen_record(i), net->node_record(inner));
    EXPECT_TRUE(o.restored);
    // The connected colour is the inner node's, through the returned address.
    EXPECT_TRUE(same_bits(miColor{0.25f, 0.5f, 0.75f, 1.0f}, o.color));
    // Queries on an instance tag (state-less, as the shaders make them) and on
    // an unknown tag; object space is the swatch object's.
    EXPECT_TRUE(i.query_ok);
    EXPECT_TRUE(same_bits(miVector{3, 4, 0}, i.origin));
    EXPECT_FALSE(o.query_ok);
    EXPECT_TRUE(same_bits(miVector{1, 0, 0}, o.object_point));

    // The whole struct output, one channel per number.
    std::vector<std::string> names;
    for (const auto &c : net->channels()) names.push_back(c.name);
    EXPECT_EQ(names, (std::vector<std::string>{"color.R", "color.G", "color.B", "color.A", "runs", "first", "second",
                                               "record_lo", "record_hi", "restored", "query_ok", "origin.X",
                                               "origin.Y", "origin.Z", "object_point.X", "object_point.Y",
                                               "object_point.Z"}));
    EXPECT_EQ(channels[5], static_cast<float>(o.first));
    EXPECT_EQ(channels[1], 0.5f);
}

TEST(Network, QueriesAnswerInstanceMatricesAndNothingElse) {
    auto net = load(probe_chain);
    const miTag ref = net->instance_tag("ref");
    ASSERT_NE(ref, 0u);
    const Instance *instance = net->instance(ref);
    ASSERT_NE(instance, nullptr);
    ShadingContext context(*net);
    float channels[17];
    context.shade({0, 0, 0}, 0, 0, channels);  // makes it this thread's context
    const float *m = nullptr;
    ASSERT_TRUE(mi_query(5, nullptr, ref, &m));
    EXPECT_EQ(m, instance->local_to_world);
    ASSERT_TRUE(mi_query(4, nullptr, ref, &m));
    EXPECT_EQ(m, instance->world_to_local);
    miVector p = {3, 4, 0};
    mi_point_transform(&p, &p, const_cast<float *>(m));
    EXPECT_TRUE(same_bits(miVector{0, 0, 0}, p));
    m = nullptr;
    EXPECT_FALSE(mi_query(6, nullptr, ref, &m));
    EXPECT_FALSE(mi_query(5, nullptr, 99, &m));
    EXPECT_EQ(m, nullptr);
}

TEST(Network, GridDrivesMixerDrivesReplaceAlpha) {
    const std::string text = R"({
      "nodes": {
        "grid": { "shader": "Vek_Grid_MultiOut", "params": { "pattern": 6, "cell_size": [0.25, 0.25, 1],
                  "pattern_color": [1, 0.5, 0], "background_color": [0, 0, 1, 0.5] } },
        "mix":  { "shader": "Vek_Mixer", "params": { "color1": { "connect": "grid.color" },
                  "color2": [0, 1, 0, 1], "amount": 1, "alpha_mode": 2 } },
        "ra":   { "shader": "Vek_Replace_Alpha", "params": { "input_color": { "connect": "mix" },
                  "alpha": 0.75, "set_opacity": true, "opacity": 0.5 } }
      },
      "output": "ra"
    })";
    auto net = load(text);
    auto grid_only = Network::load_text(text, "test.json", LoadOptions{{VEK_PLUGIN_DIR}, {}, "grid.color"});
    ASSERT_EQ(net->channels().size(), 4u);
    EXPECT_EQ(net->channels()[3].name, "A");
    ShadingContext a(*net), b(*grid_only);
    for (float u : {0.1f, 0.4f}) {
        float full[4], grid[4];
        EXPECT_TRUE(a.shade({u, 0.1f, 0}, u, 0.1f, full));
        EXPECT_TRUE(same_bits(miColor{0.5f, 0.5f, 0.5f, 0.5f}, a.opacity()));
        EXPECT_FALSE(b.shade({u, 0.1f, 0}, u, 0.1f, grid));
        // Normal mode at full amount passes the grid's colour; replace-alpha sets 0.75.
        for (int c = 0; c < 3; ++c) EXPECT_TRUE(same_bits(grid[c], full[c])) << u << " channel " << c;
        EXPECT_EQ(full[3], 0.75f);
    }
}

TEST(Network, DistanceReadsItsReferenceThroughTheArray) {
    auto net = load(R"({
      "instances": { "other": {}, "ref": { "translate": [3, 4, 0], "scale": [2, 2, 2] } },
      "nodes": { "d": { "shader": "Vek_Distance", "params": { "mode": 1, "references": ["ref", "other"] } } }
    })");
    const int d = net->node_index("d");
    const auto *words = static_cast<const std::int32_t *>(net->node_block(d));
    EXPECT_GT(words[1], 0);  // the elements lie after the block, where the start index points
    EXPECT_EQ(words[2], 2);
    ShadingContext context(*net);
    float value;
    context.shade({0, 0, 0}, 0, 0, &value);
    EXPECT_EQ(value, 5.0f);
}

TEST(Network, DefaultsThenValuesThenOverrides) {
    auto net = load(R"({ "nodes": { "ra": { "shader": "Vek_Replace_Alpha", "params": { "alpha": 0.5 } } } })",
                    {"ra.input_color=1 0 0", "ra.pass_through=true", "ra.opacity=[0.25]", "ra.opacity=-2"});
    const auto *block = static_cast<const float *>(net->node_block(0));
    EXPECT_TRUE(same_bits(miColor{1, 0, 0, 1}, *reinterpret_cast<const miColor *>(block)));
    EXPECT_EQ(block[4], 0.5f);
    std::int32_t pass;
    std::memcpy(&pass, block + 5, 4);
    EXPECT_EQ(pass, 1);
    EXPECT_EQ(block[9], -2.0f);  // the last override wins
    EXPECT_EQ(net->channels().size(), 4u);
}

struct Fault {
    const char *title;
    std::string text;
    std::vector<std::string> overrides;
    std::string node, parameter, message;
};

TEST(Network, FaultsNameFileNodeAndParameter) {
    const std::string ra = R"("ra": { "shader": "Vek_Replace_Alpha", "params": )";
    const std::string grid = R"("g": { "shader": "Vek_Grid_MultiOut" })";
    const Fault faults[] = {
        {"malformed", "{ \"nodes\": ", {}, "", "", "malformed JSON"},
        {"no nodes", "{}", {}, "", "", "a network needs \"nodes\""},
        {"unknown shader", R"({"nodes": {"n": {"shader": "Vek_Nope"}}})", {}, "n", "",
         "unknown shader \"Vek_Nope\": no plug-in \"Vek_Nope.so\""},
        {"unknown parameter", "{\"nodes\": {" + ra + "{\"alhpa\": 1}}}}", {}, "ra", "alhpa",
         "unknown parameter of shader \"Vek_Replace_Alpha\""},
        {"wrong type", "{\"nodes\": {" + ra + "{\"alpha\": \"x\"}}}}", {}, "ra", "alpha", "expected a scalar"},
        {"wrong length", "{\"nodes\": {" + ra + "{\"input_color\": [1, 2]}}}}", {}, "ra", "input_color",
         "expected a color (a list of 3 or 4 numbers), got [1,2]"},
        {"not whole", "{\"nodes\": {" + grid + "}}", {"g.pattern=2.5"}, "g", "pattern", "expected an integer"},
        {"boolean", "{\"nodes\": {" + ra + "{\"pass_through\": 2}}}}", {}, "ra", "pass_through",
         "expected a boolean"},
        {"missing node", "{\"nodes\": {" + ra + "{\"input_color\": \"=mix\"}}}}", {}, "ra", "input_color",
         "connected to \"mix\", but there is no node \"mix\""},
        {"missing member", "{\"nodes\": {" + grid + ", " + ra + "{\"input_color\": \"=g.colour\"}}}}", {}, "ra",
         "input_color", "has no result member \"colour\""},
        {"whole struct", "{\"nodes\": {" + grid + ", " + ra + "{\"input_color\": \"=g\"}}}}", {}, "ra",
         "input_color", "whose result is a struct: name one member, as \"g.color\""},
        {"type mismatch", "{\"nodes\": {" + grid + ", " + ra + "{\"input_color\": \"=g.value\"}}}}", {}, "ra",
         "input_color", "a color parameter cannot take \"g.value\", a scalar"},
        {"cycle", R"({"nodes": {"a": {"shader": "Vek_Test_Probe", "params": {"first": "=b.runs"}},
                                 "b": {"shader": "Vek_Test_Probe", "params": {"input": "=a.color"}}}, "output": "a"})",
         {}, "b", "input", "cycle of connections: a.first -> b.input -> a"},
        {"self", R"({"nodes": {"a": {"shader": "Vek_Test_Probe", "params": {"first": "=a.runs"}}}})", {}, "a",
         "first", "cycle of connections: a.first -> a"},
        {"unknown instance", R"({"nodes": {"d": {"shader": "Vek_Distance", "params": {"references": ["ref"]}}}})",
         {}, "d", "references", "unknown instance \"ref\""},
        {"array connected", R"({"nodes": {"d": {"shader": "Vek_Distance", "params": {"references": "=d"}}}})", {},
         "d", "references", "an array parameter cannot be connected"},
        {"override node", "{\"nodes\": {" + grid + "}}", {"h.pattern=1"}, "h", "pattern",
         "override of an unknown node"},
        {"override form", "{\"nodes\": {" + grid + "}}", {"pattern=1"}, "", "override \"pattern=1\"",
         "an override is node.parameter=value"},
        {"override parameter", "{\"nodes\": {" + grid + "}}", {"g.patern=1"}, "g", "patern", "unknown parameter"},
        {"output", "{\"nodes\": {" + grid + "}, \"output\": \"g.val\"}", {}, "g", "",
         "has no result member \"val\""},
        {"no output", "{\"nodes\": {" + grid + ", \"h\": {\"shader\": \"Vek_Mixer\"}}}", {}, "", "",
         "no \"output\""},
        {"instance key", R"({"instances": {"r": {"move": [1, 2, 3]}}, "nodes": {"n": {"shader": "Vek_Mixer"}}})", {},
         "", "instance \"r\"", "unknown key \"move\""},
        {"singular", R"({"instances": {"r": {"scale": [0, 1, 1]}}, "nodes": {"n": {"shader": "Vek_Mixer"}}})", {},
         "", "instance \"r\"", "singular"},
    };
    for (const auto &f : faults) {
        SCOPED_TRACE(f.title);
        try {
            load(f.text, f.overrides);
            ADD_FAILURE() << "loaded";
        } catch (const NetworkError &e) {
            EXPECT_EQ(e.file, "test.json");
            EXPECT_EQ(e.node, f.node);
            EXPECT_EQ(e.parameter, f.parameter);
            EXPECT_NE(e.problem.find(f.message), std::string::npos) << e.what();
            EXPECT_EQ(std::string(e.what()).rfind("test.json", 0), 0u) << e.what();
        }
    }
}

// Plug-ins that a host must refuse, in a folder of their own.
TEST(Network, RefusesBrokenPluginsAndUnreadableFiles) {
    namespace fs = std::filesystem;
    const fs::path dir = fs::path(VEK_BINARY_DIR) / "stand_in_host" / "tests" / "broken";
    fs::create_directories(dir);
    fs::copy_file(fs::path(VEK_BINARY_DIR) / "tests" / "vek_empty_module.so", dir / "Vek_Empty.so",
                  fs::copy_options::overwrite_existing);
    std::ofstream(dir / "Vek_Empty.mi") << "declare shader color \"Vek_Empty\" () version 1 end declare\n";
    fs::copy_file(fs::path(VEK_PROBE_DIR) / "Vek_Test_Probe.so", dir / "Vek_Test_Probe.so",
                  fs::copy_options::overwrite_existing);
    std::ofstream(dir / "Vek_Test_Probe.mi") << "declare shader color \"Vek_Test_Probe\" () version 2 end declare\n";

    struct Case { const char *shader, *message; };
    const Case cases[] = {{"Vek_Empty", "does not export \"Vek_Empty\""},
                          {"Vek_Test_Probe", "is of version 2 but the plug-in"}};
    for (const auto &c : cases) {
        try {
            Network::load_text(std::string("{\"nodes\": {\"n\": {\"shader\": \"") + c.shader + "\"}}}", "x.json",
                               LoadOptions{{dir.string()}, {}, ""});
            ADD_FAILURE() << c.shader;
        } catch (const NetworkError &e) {
            EXPECT_EQ(e.node, "n");
            EXPECT_NE(e.problem.find(c.message), std::string::npos) << e.what();
        }
    }
    try {
        Network::load_file((dir / "none.json").string(), options());
        FAIL();
    } catch (const NetworkError &e) {
        EXPECT_EQ(e.what(), (dir / "none.json").string() + ": cannot be read");
    }
}

}  // namespace

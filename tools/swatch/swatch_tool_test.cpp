// The swatch tool end to end: its command line, its error paths (one message,
// a non-zero exit, no output file), and rendering through the stand-in host.
#include <sys/wait.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>

#include <gtest/gtest.h>

#include "tools/swatch/image.h"
#include "tools/swatch/swatch.h"

namespace vek::swatch {
namespace {

namespace fs = std::filesystem;

const fs::path tool = fs::path(VEK_BINARY_DIR) / "bin" / "vek_swatch";

fs::path scratch() {
    const fs::path dir = fs::path(VEK_BINARY_DIR) / "swatch_tool_test";
    fs::create_directories(dir);
    return dir;
}

struct ToolRun {
    int code = -1;
    std::string out;  // standard output and standard error together
};

ToolRun run(const std::string &args) {
    const std::string command = "cd '" + scratch().string() + "' && '" + tool.string() + "' " + args + " 2>&1";
    ToolRun r;
    FILE *p = popen(command.c_str(), "r");
    if (!p) return r;
    char buf[4096];
    std::size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) r.out.append(buf, n);
    const int status = pclose(p);
    r.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return r;
}

fs::path write_file(const std::string &name, const std::string &text) {
    const fs::path path = scratch() / name;
    std::ofstream(path) << text;
    return path;
}

bool built(const char *shader) { return fs::exists(fs::path(VEK_PLUGIN_DIR) / (std::string(shader) + ".so")); }

const char *alpha_network = R"({
  "nodes": { "ra": { "shader": "Vek_Replace_Alpha",
                     "params": { "input_color": [0.25, 0.5, 1.5, 0.75], "alpha": 0.125 } } },
  "output": "ra",
  "swatch": { "size": [8, 4] }
})";

TEST(SwatchTool, RendersANetworkWithOverridesToExr) {
    const fs::path net = write_file("alpha.json", alpha_network);
    const fs::path out = scratch() / "alpha.exr";
    fs::remove(out);
    const ToolRun r = run("'" + net.string() + "' -o alpha.exr --set ra.average_alpha=true --size 5x3 --threads 2 -q");
    ASSERT_EQ(r.code, 0) << r.out;
    EXPECT_NE(r.out.find("alpha.exr"), std::string::npos) << "says where it wrote";
    const Image img = read_exr(out.string());
    EXPECT_EQ(img.width, 5);
    EXPECT_EQ(img.height, 3);
    const float *px = img.at(4, 2);
    // Channels come back sorted by name: A, B, G, R. The override turned on the average.
    EXPECT_EQ(img.channels, (std::vector<std::string>{"A", "B", "G", "R"}));
    EXPECT_EQ(px[0], static_cast<float>(static_cast<double>(0.25f + 0.5f + 1.5f) * 0.3333333333333333));
    EXPECT_EQ(px[1], 1.5f) << "unclamped";
    EXPECT_EQ(px[3], 0.25f);
}

TEST(SwatchTool, OpacityBecomesItsOwnChannelAndPngLayers) {
    const fs::path net = write_file("opacity.json", alpha_network);
    const ToolRun r = run("'" + net.string() + "' -o opacity.png --set ra.set_opacity=1 --set ra.opacity=0.5 -q");
    ASSERT_EQ(r.code, 0) << r.out;
    EXPECT_TRUE(fs::exists(scratch() / "opacity.png"));
    EXPECT_TRUE(fs::exists(scratch() / "opacity.opacity.png")) << r.out;
    const ToolRun e = run("'" + net.string() + "' -o opacity.exr --set ra.set_opacity=1 --set ra.opacity=0.5 -q");
    ASSERT_EQ(e.code, 0) << e.out;
    const Image img = read_exr((scratch() / "opacity.exr").string());
    const int o = img.find("opacity");
    ASSERT_GE(o, 0);
    EXPECT_EQ(img.at(0, 0)[o], 0.5f);
    // Without an opacity handed over there is no such channel.
    ASSERT_EQ(run("'" + net.string() + "' -o plain.exr -q").code, 0);
    EXPECT_LT(read_exr((scratch() / "plain.exr").string()).find("opacity"), 0);
}

// Each bad input: exit code 1, one message naming what is wrong, no output file.
TEST(SwatchTool, BadInputGivesOneMessageAndNoOutput) {
    struct Case {
        const char *name;
        std::string network;  // empty: the file is not written
        std::string args;
        std::vector<std::string> message;  // all must appear
    };
    const std::string ra = R"("shader": "Vek_Replace_Alpha")";
    const Case cases[] = {
        {"unknown_shader", R"({"nodes": {"n": {"shader": "Vek_Nothing"}}, "output": "n"})", "",
         {"unknown_shader.json", "n", "Vek_Nothing"}},
        {"unknown_parameter", R"({"nodes": {"n": {)" + ra + R"(, "params": {"alfa": 1}}}, "output": "n"})", "",
         {"unknown_parameter.json", "n", "alfa"}},
        {"wrong_length", R"({"nodes": {"n": {)" + ra + R"(, "params": {"input_color": [1, 2]}}}, "output": "n"})",
         "", {"wrong_length.json", "n", "input_color"}},
        {"wrong_type", R"({"nodes": {"n": {)" + ra + R"(, "params": {"alpha": "much"}}}, "output": "n"})", "",
         {"wrong_type.json", "n", "alpha"}},
        {"missing_node",
         R"({"nodes": {"n": {)" + ra + R"(, "params": {"input_color": {"connect": "ghost"}}}}, "output": "n"})", "",
         {"missing_node.json", "n", "input_color", "ghost"}},
        {"cycle",
         R"({"nodes": {"a": {)" + ra + R"(, "params": {"input_color": "=b"}}, "b": {)" + ra +
             R"(, "params": {"input_color": "=a"}}}, "output": "a"})",
         "", {"cycle.json", "input_color"}},
        {"malformed", R"({"nodes": {"n": )", "", {"malformed.json"}},
        {"unreadable", "", "", {"unreadable.json"}},
        {"bad_override", alpha_network, "--set ra.nothing=1", {"bad_override.json", "ra", "nothing"}},
        {"bad_size", alpha_network, "--size 12", {"--size"}},
        {"bad_swatch_key", R"({"nodes": {"n": {)" + ra + R"(}}, "output": "n", "swatch": {"size": [0, 3]}})", "",
         {"bad_swatch_key.json", "size"}},
    };
    for (const Case &c : cases) {
        const fs::path net = scratch() / (std::string(c.name) + ".json");
        fs::remove(net);
        if (!c.network.empty()) write_file(net.filename().string(), c.network);
        const fs::path out = scratch() / (std::string(c.name) + ".exr");
        fs::remove(out);
        const ToolRun r = run("'" + net.string() + "' -q " + c.args);
        EXPECT_EQ(r.code, 1) << c.name << ": " << r.out;
        for (const std::string &m : c.message) EXPECT_NE(r.out.find(m), std::string::npos) << c.name << ": " << r.out;
        EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 1) << c.name << ": one line: " << r.out;
        EXPECT_FALSE(fs::exists(out)) << c.name;
        EXPECT_FALSE(fs::exists(out.string() + ".partial")) << c.name;
    }
    // An output format the tool cannot write is refused before rendering.
    const fs::path net = write_file("format.json", alpha_network);
    const ToolRun r = run("'" + net.string() + "' -o format.tiff");
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.out.find("format.tiff"), std::string::npos) << r.out;
    EXPECT_FALSE(fs::exists(scratch() / "format.tiff"));
}

// A shared library in the plug-in's place that lacks the five exports is
// refused by name, whatever its declaration says.
TEST(SwatchTool, PluginWithoutItsExportsIsRefused) {
    const fs::path dir = scratch() / "fake_plugins";
    fs::remove_all(dir);
    fs::create_directories(dir);
    fs::copy_file(fs::path(VEK_BINARY_DIR) / "tests" / "vek_empty_module.so", dir / "Vek_Replace_Alpha.so");
    fs::copy_file(fs::path(VEK_PLUGIN_DIR) / "Vek_Replace_Alpha.mi", dir / "Vek_Replace_Alpha.mi");
    const fs::path net = write_file("fake.json", alpha_network);
    fs::remove(scratch() / "fake.exr");
    const ToolRun r = run("'" + net.string() + "' -q --plugins '" + dir.string() + "'");
    EXPECT_EQ(r.code, 1) << r.out;
    EXPECT_NE(r.out.find("Vek_Replace_Alpha"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("fake.json"), std::string::npos) << r.out;
    EXPECT_FALSE(fs::exists(scratch() / "fake.exr"));
}

TEST(SwatchTool, ListsEveryPluginWithItsParameters) {
    const ToolRun r = run("--list");
    ASSERT_EQ(r.code, 0) << r.out;
    for (const char *word : {"Vek_Replace_Alpha", "input_color", "set_opacity", "opacity"})
        EXPECT_NE(r.out.find(word), std::string::npos) << word << "\n" << r.out;
}

TEST(SwatchTool, SameBitsWhateverTheThreadCountThroughTheHost) {
    if (!built("Vek_Grid_MultiOut")) GTEST_SKIP() << "grid plug-in not built";
    const fs::path net = write_file("grid.json", R"({
      "nodes": { "g": { "shader": "Vek_Grid_MultiOut",
                        "params": { "pattern": 12, "coordinate_source": 0, "cell_size": [0.2, 0.2, 0.2],
                                    "distort": true, "distort_amount": 0.5, "distort_fade": 2 } } },
      "output": "g", "swatch": { "size": [37, 29], "rect": [-1, -1, 1, 1] }
    })");
    ASSERT_EQ(run("'" + net.string() + "' -o one.exr --threads 1 -q").code, 0);
    ASSERT_EQ(run("'" + net.string() + "' -o two.exr --threads 2 -q").code, 0);
    const Image one = read_exr((scratch() / "one.exr").string());
    const Image two = read_exr((scratch() / "two.exr").string());
    ASSERT_EQ(one.channels, two.channels);
    // The whole struct result: every member is a channel.
    for (const char *c : {"color.R", "color.A", "alpha", "scaled_value", "value"}) EXPECT_GE(one.find(c), 0) << c;
    ASSERT_EQ(one.pixels.size(), two.pixels.size());
    EXPECT_EQ(0, std::memcmp(one.pixels.data(), two.pixels.data(), one.pixels.size() * sizeof(float)));
}

TEST(SwatchTool, NoArgumentsRendersTheGallery) {
    // The main job: no arguments at all; the gallery lands in the build folder.
    const fs::path dir = fs::path(VEK_BINARY_DIR) / "gallery";
    fs::remove_all(dir);
    const ToolRun r = run("");
    ASSERT_EQ(r.code, 0) << r.out;
    EXPECT_NE(r.out.find((dir / "index.html").string()), std::string::npos) << "says where: " << r.out;
    std::ifstream page(dir / "index.html");
    const std::string html((std::istreambuf_iterator<char>(page)), std::istreambuf_iterator<char>());
    // Every picture the page shows is there; with all plug-ins built, every section is.
    std::size_t shown = 0;
    for (std::size_t at = html.find("<img src=\""); at != std::string::npos; at = html.find("<img src=\"", at + 1)) {
        const std::size_t start = at + 10;
        const std::string file = html.substr(start, html.find('"', start) - start);
        EXPECT_TRUE(fs::exists(dir / file)) << file;
        ++shown;
    }
    EXPECT_GT(shown, 0u);
    if (built("Vek_Grid_MultiOut") && built("Vek_Mixer") && built("Vek_Distance") && built("Vek_Replace_Alpha")) {
        EXPECT_EQ(html.find("not found"), std::string::npos);
        for (const char *file : {"grid_distorted_bricks_3d.png", "mix_hsv_overlay.png", "distance_full.png",
                                 "alpha_opacity.opacity.png", "network_all.png"})
            EXPECT_NE(html.find(file), std::string::npos) << file;
    }
}

}  // namespace
}  // namespace vek::swatch

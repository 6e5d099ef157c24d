// Image regression: every folder tests/images/<case>/ holds a network.json and
// its reference.exr. The network is rendered through the stand-in host and
// compared with the reference channel by channel, with a per-pixel threshold
// and a budget of failing pixels (network.json may set both under
// "tolerance": {"threshold": t, "budget": n}). A failing case leaves
// actual.exr, diff.exr and PNG views in <build>/image_diffs/<case>/.
//
// To regenerate the references after an intended change, run this test with
// VEK_UPDATE_IMAGES=1 in the environment: every case then writes its
// reference.exr into the source tree instead of comparing.
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "stand_in_host/plugin_module.h"
#include "tools/swatch/compare.h"
#include "tools/swatch/swatch.h"

namespace vek::swatch {
namespace {

namespace fs = std::filesystem;

const fs::path cases_dir = fs::path(VEK_SOURCE_DIR) / "tests" / "images";

std::vector<std::string> case_names() {
    std::vector<std::string> names;
    std::error_code ec;
    for (const auto &entry : fs::directory_iterator(cases_dir, ec))
        if (fs::exists(entry.path() / "network.json")) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

bool updating() {
    const char *v = std::getenv("VEK_UPDATE_IMAGES");
    return v && *v && std::string(v) != "0";
}

// The plug-ins a network file names that are not built (yet).
std::vector<std::string> missing_plugins(const fs::path &file) {
    std::ifstream in(file);
    const nlohmann::json doc = nlohmann::json::parse(in);
    std::set<std::string> missing;
    for (const auto &node : doc.at("nodes")) {
        const std::string shader = node.at("shader").get<std::string>();
        if (!fs::exists(fs::path(VEK_PLUGIN_DIR) / host::plugin_file_name(shader))) missing.insert(shader);
    }
    return {missing.begin(), missing.end()};
}

Tolerance tolerance_of(const host::Network &network) {
    Tolerance t;
    const auto &doc = network.document();
    if (doc.contains("tolerance")) {
        const auto &tol = doc["tolerance"];
        t.threshold = tol.value("threshold", t.threshold);
        t.budget = tol.value("budget", t.budget);
    }
    return t;
}

void write_views(const fs::path &dir, const std::string &stem, const Image &image) {
    write_exr((dir / (stem + ".exr")).string(), image);
    const std::vector<std::string> layers = image_layers(image);
    for (const std::string &layer : layers)
        write_png((dir / (stem + (layer.empty() ? "" : "." + layer) + ".png")).string(), image, layer);
}

class ImageRegression : public testing::TestWithParam<std::string> {};

TEST_P(ImageRegression, MatchesReference) {
    const fs::path dir = cases_dir / GetParam();
    const std::vector<std::string> missing = missing_plugins(dir / "network.json");
    if (!missing.empty()) GTEST_SKIP() << "plug-in not built: " << missing.front();

    host::LoadOptions load;
    load.search_path = {VEK_PLUGIN_DIR};
    const auto network = host::Network::load_file((dir / "network.json").string(), load);
    Swatch s;
    s.width = s.height = 64;
    s = swatch_from_document(*network, s);
    const Image actual = render_network(*network, s, 2);

    const fs::path reference_file = dir / "reference.exr";
    if (updating()) {
        write_exr(reference_file.string(), actual);
        std::cout << "reference written: " << reference_file << "\n";
        return;
    }
    ASSERT_TRUE(fs::exists(reference_file)) << reference_file << " is missing; run with VEK_UPDATE_IMAGES=1 to make it";
    const Image reference = read_exr(reference_file.string());
    // The file keeps channels sorted by name; compare in its order.
    std::vector<std::string> sorted = actual.channels, want = reference.channels;
    std::sort(sorted.begin(), sorted.end());
    std::sort(want.begin(), want.end());
    ASSERT_EQ(sorted, want) << "channels differ from the reference";
    const Image ordered = select_channels(actual, reference.channels);

    const Tolerance t = tolerance_of(*network);
    const Comparison c = compare(reference, ordered, t);
    if (!c.passed(t)) {
        const fs::path out = fs::path(VEK_BINARY_DIR) / "image_diffs" / GetParam();
        fs::create_directories(out);
        write_views(out, "actual", ordered);
        write_views(out, "reference", reference);
        write_exr((out / "diff.exr").string(), c.diff);
        write_png((out / "diff.png").string(), c.diff);
        ADD_FAILURE() << c.shape_problem << c.failing << " pixels differ by more than " << t.threshold
                      << " (budget " << t.budget << "), worst " << c.worst << "; images in " << out;
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, ImageRegression, testing::ValuesIn(case_names()),
                         [](const testing::TestParamInfo<std::string> &info) { return info.param; });
GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(ImageRegression);

}  // namespace
}  // namespace vek::swatch

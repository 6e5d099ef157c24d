#include <cmath>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <limits>

#include <gtest/gtest.h>

#include "tools/swatch/compare.h"
#include "tools/swatch/image.h"
#include "tools/swatch/render.h"

namespace vek::swatch {
namespace {

namespace fs = std::filesystem;

fs::path scratch(const std::string &name) {
    fs::path dir = fs::path(VEK_BINARY_DIR) / "swatch_core_test";
    fs::create_directories(dir);
    return dir / name;
}

std::uint32_t bits(float f) {
    std::uint32_t u;
    std::memcpy(&u, &f, 4);
    return u;
}

// A shading context whose result depends on the point in a way that is
// sensitive to every bit of it.
struct PointHash {
    void shade(const SamplePoint &p, float *out) {
        out[0] = std::sin(p.point.x * 37.0f) * std::cos(p.point.y * 11.0f);
        out[1] = p.uvw.x;
        out[2] = p.uvw.y;
    }
};

TEST(SwatchRender, SameBitsWhateverTheThreadCount) {
    Swatch s;
    s.width = 67;  // not a multiple of the tile size
    s.height = 45;
    s.x0 = -2.0;
    s.x1 = 3.0;
    for (int samples : {1, 3}) {
        s.samples = samples;
        const std::function<PointHash()> make = [] { return PointHash{}; };
        const Image one = render<PointHash>(s, {"a", "u", "v"}, 1, make);
        const Image two = render<PointHash>(s, {"a", "u", "v"}, 2, make);
        ASSERT_EQ(one.pixels.size(), two.pixels.size());
        EXPECT_EQ(0, std::memcmp(one.pixels.data(), two.pixels.data(), one.pixels.size() * sizeof(float)))
            << samples << " samples";
    }
}

TEST(SwatchRender, PixelCentresAndSubSampleGrid) {
    Swatch s;
    s.width = 4;
    s.height = 2;
    s.x0 = 10.0;
    s.x1 = 18.0;
    s.y0 = -1.0;
    s.y1 = 1.0;
    // Pixel (0, 0) is the top-left corner: u at its centre, v near the top.
    const SamplePoint p = sample_point(s, 0, 0, 0, 0);
    EXPECT_EQ(p.uvw.x, 0.125f);
    EXPECT_EQ(p.uvw.y, 0.75f);
    EXPECT_EQ(p.point.x, 11.0f);
    EXPECT_EQ(p.point.y, 0.5f);
    EXPECT_EQ(p.point.z, 0.0f);
    // Two by two sub-samples average back to the centre for a linear shader.
    s.samples = 2;
    const std::function<PointHash()> make = [] { return PointHash{}; };
    const Image img = render<PointHash>(s, {"a", "u", "v"}, 1, make);
    EXPECT_FLOAT_EQ(img.at(3, 1)[1], 0.875f);
    EXPECT_FLOAT_EQ(img.at(3, 1)[2], 0.25f);
    EXPECT_EQ(sample_point(s, 0, 0, 0, 0).uvw.x, 0.0625f);
    EXPECT_EQ(sample_point(s, 0, 0, 1, 1).uvw.y, 0.625f);
}

TEST(SwatchImage, ExrKeepsEveryFloatBitAndChannelName) {
    Image img(3, 2, {"color.R", "color.G", "color.B", "color.A", "value"});
    const float specials[] = {-1.5f, 1e30f, std::numeric_limits<float>::infinity(), 1e-40f, -0.0f, 0.3f};
    for (std::size_t i = 0; i < img.pixels.size(); ++i) img.pixels[i] = specials[i % 6] * (1 + i);
    const fs::path path = scratch("roundtrip.exr");
    write_exr(path.string(), img);
    EXPECT_FALSE(fs::exists(path.string() + ".partial"));
    const Image back = read_exr(path.string());
    ASSERT_EQ(back.width, 3);
    ASSERT_EQ(back.height, 2);
    // The file orders channels by name; every named value must come back exactly.
    for (const std::string &name : img.channels) {
        const int a = img.find(name), b = back.find(name);
        ASSERT_GE(b, 0) << name;
        for (int y = 0; y < 2; ++y)
            for (int x = 0; x < 3; ++x) EXPECT_EQ(bits(img.at(x, y)[a]), bits(back.at(x, y)[b])) << name;
    }
}

TEST(SwatchImage, FailedWriteLeavesNoFile) {
    Image img(2, 2, {"R", "G", "B"});
    const fs::path path = scratch("missing_dir") / "nested" / "out.exr";
    EXPECT_THROW(write_exr(path.string(), img), ImageError);
    EXPECT_THROW(write_png(path.string(), img), ImageError);
    EXPECT_FALSE(fs::exists(path.parent_path()));
    // A PNG view of a layer that does not exist is refused before anything is written.
    const fs::path png = scratch("nolayer.png");
    fs::remove(png);
    EXPECT_THROW(write_png(png.string(), img, "color"), ImageError);
    EXPECT_FALSE(fs::exists(png));
}

TEST(SwatchImage, SrgbEncoding) {
    struct Case {
        float linear;
        int code;
    };
    const Case cases[] = {{0.0f, 0},   {-1.0f, 0},  {std::nanf(""), 0}, {1.0f, 255}, {7.0f, 255},
                          {0.5f, 188}, {0.18f, 118}, {0.001f, 3},       {0.0031308f, 10}};
    for (const Case &c : cases) EXPECT_EQ(encode_srgb8(c.linear), c.code) << c.linear;
    EXPECT_EQ(encode_linear8(0.5f), 128);
}

TEST(SwatchImage, PngWritesRgbaGreyAndLayers) {
    Image img(2, 1, {"color.R", "color.G", "color.B", "color.A", "value"});
    const float px[] = {1, 0, 0, 1, 0.5f, 0, 1, 0, 0.5f, 1};
    std::copy(std::begin(px), std::end(px), img.pixels.begin());
    for (const char *layer : {"color", "value"}) {
        const fs::path path = scratch(std::string(layer) + ".png");
        write_png(path.string(), img, layer);
        ASSERT_TRUE(fs::exists(path)) << layer;
        EXPECT_GT(fs::file_size(path), 8u);
    }
}

TEST(SwatchCompare, ThresholdBudgetAndNaN) {
    const float nan = std::nanf("");
    const float inf = std::numeric_limits<float>::infinity();
    Image ref(4, 1, {"v"});
    ref.pixels = {0.0f, nan, inf, 1.0f};
    Image same = ref;
    Comparison c = compare(ref, same, {1e-6f, 0});
    EXPECT_TRUE(c.passed({1e-6f, 0})) << "NaN matches NaN, inf matches inf";

    Image off = ref;
    off.pixels = {0.01f, 0.0f, -inf, 1.0f};
    c = compare(ref, off, {0.05f, 0});
    EXPECT_EQ(c.failing, 2) << "NaN against a number and inf against -inf fail; 0.01 is within 0.05";
    EXPECT_FALSE(c.passed({0.05f, 1}));
    EXPECT_TRUE(c.passed({0.05f, 2}));
    EXPECT_EQ(c.diff.pixels[0], 0.01f);
    EXPECT_TRUE(std::isinf(c.diff.pixels[1]));

    Image other_size(2, 2, {"v"});
    EXPECT_FALSE(compare(ref, other_size, {}).same_shape);
    Image other_channels(4, 1, {"w"});
    c = compare(ref, other_channels, {});
    EXPECT_FALSE(c.passed({1.0f, 100}));
    EXPECT_NE(c.shape_problem.find("channels"), std::string::npos);
}

}  // namespace
}  // namespace vek::swatch

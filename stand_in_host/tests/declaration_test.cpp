#include <gtest/gtest.h>

#include <cstddef>
#include <string>
#include <vector>

#include "stand_in_host/declaration.h"

#if __has_include("shaders/grid_multiout/grid_multiout.h")
#include "shaders/grid_multiout/grid_multiout.h"
#define VEK_HAVE_GRID 1
#endif
#if __has_include("shaders/mixer/mixer.h")
#include "shaders/mixer/mixer.h"
#define VEK_HAVE_MIXER 1
#endif
#if __has_include("shaders/distance/distance.h")
#include "shaders/distance/distance.h"
#define VEK_HAVE_DISTANCE 1
#endif
#include "shaders/replace_alpha/replace_alpha.h"

using namespace vek::host;

namespace {

const std::vector<std::string> shipped = {VEK_PLUGIN_DIR};

TEST(DeclarationParser, LaysOutParametersArraysAndStructResults) {
    const auto all = parse_declarations(R"(
# a comment
declare shader
    struct { color "c", scalar "s", vector "v" } "Vek_A" (
        integer "i" default -3,       # trailing comment
        array tag "refs",
        color "col" default 0.5 0.25 1,
        boolean "b" default on,
        vector "vec" default 1 2 3 min 0 max 4,
        tag "t"
    )
    version 1
    apply texture, material
end declare
declare shader scalar "Vek_B" () version 2 end declare
)",
                                        "two.mi");
    ASSERT_EQ(all.size(), 2u);
    const Declaration &a = all[0];
    EXPECT_EQ(a.shader, "Vek_A");
    EXPECT_EQ(a.version, 1);
    ASSERT_EQ(a.result_type, ValueType::structure);
    ASSERT_EQ(a.members.size(), 3u);
    EXPECT_EQ(a.members[1].offset, 16);
    EXPECT_EQ(a.members[2].offset, 20);
    EXPECT_EQ(a.result_size, 32);

    struct Expect { const char *name; int offset, size; std::vector<double> def; };
    const Expect table[] = {{"i", 0, 4, {-3}},
                            {"refs", 4, 12, {}},
                            {"col", 16, 16, {0.5, 0.25, 1, 1}},  // alpha 1 when left out
                            {"b", 32, 4, {1}},
                            {"vec", 36, 12, {1, 2, 3}},
                            {"t", 48, 4, {}}};
    ASSERT_EQ(a.parameters.size(), std::size(table));
    for (const auto &e : table) {
        const ParameterDecl *p = a.parameter(e.name);
        ASSERT_NE(p, nullptr) << e.name;
        EXPECT_EQ(p->offset, e.offset) << e.name;
        EXPECT_EQ(p->size, e.size) << e.name;
        EXPECT_EQ(p->default_value, e.def) << e.name;
    }
    EXPECT_TRUE(a.parameter("refs")->is_array);
    EXPECT_EQ(a.block_size, 52);
    EXPECT_EQ(all[1].result_type, ValueType::scalar);
    EXPECT_TRUE(all[1].parameters.empty());
    EXPECT_EQ(all[1].version, 2);
}

TEST(DeclarationParser, RejectsMalformedTextWithItsLine) {
    struct Case { const char *text; const char *message; };
    const Case cases[] = {
        {"declare shader color \"X\" (\n  colour \"a\"\n) end declare", "bad.mi:2: expected a type"},
        {"declare shader color \"X\" (\n  scalar a\n) end declare", "bad.mi:2: expected the quoted parameter name"},
        {"declare shader color \"X\" (scalar \"a\", scalar \"a\") end declare", "parameter \"a\" declared twice"},
        {"declare shader color \"X\" (color \"a\" default 1 2) end declare", "a color default needs 4 numbers"},
        {"declare shader color \"X\" (integer \"a\" default 1.5) end declare", "must be a whole number"},
        {"declare shader color \"X\" (boolean \"a\" default maybe) end declare", "expected on or off"},
        {"declare shader color \"X\" (scalar \"a\",) end declare", "expected a parameter after ','"},
        {"declare shader color \"X\" (scalar \"a\" scalar \"b\") end declare", "expected ',' or ')'"},
        {"declare shader color \"X\" (scalar \"a\")", "expected 'end' at the end of the file"},
        {"declare shader color \"X (scalar \"a\") end declare", "bad.mi:1: unterminated string"},
        {"declare shader color \"X\" (scalar \"a\" default 1x) end declare", "malformed number"},
        {"declare shader struct { scalar \"m\", color \"m\" } \"X\" () end declare", "member \"m\" declared twice"},
    };
    for (const auto &c : cases) {
        try {
            parse_declarations(c.text, "bad.mi");
            ADD_FAILURE() << "accepted: " << c.text;
        } catch (const DeclarationError &e) {
            EXPECT_NE(std::string(e.what()).find(c.message), std::string::npos)
                << "text: " << c.text << "\nmessage: " << e.what();
        }
    }
}

// Each shipped declaration must lay its block out exactly as the shader's own
// Params, or the host would hand the plug-in values in the wrong places.
struct Field { const char *name; std::size_t offset; };

void expect_layout(const char *shader, std::size_t block_size, std::vector<Field> fields) {
    SCOPED_TRACE(shader);
    const Declaration d = load_declaration(shader, shipped);
    EXPECT_EQ(static_cast<std::size_t>(d.block_size), block_size);
    ASSERT_EQ(d.parameters.size(), fields.size());
    for (std::size_t i = 0; i < fields.size(); ++i) {
        EXPECT_EQ(d.parameters[i].name, fields[i].name);
        EXPECT_EQ(static_cast<std::size_t>(d.parameters[i].offset), fields[i].offset) << fields[i].name;
    }
    for (const auto &p : d.parameters)
        if (p.name == "reserved") {
            EXPECT_EQ(p.size, 4) << "reserved is one 32-bit slot";
        }
}

#define VEK_FIELD(P, name) Field{#name, offsetof(P, name)}

TEST(ShippedDeclarations, ReplaceAlphaMatchesItsBlock) {
    using P = vek::replace_alpha::Params;
    expect_layout("Vek_Replace_Alpha", sizeof(P),
                  {VEK_FIELD(P, input_color), VEK_FIELD(P, alpha), VEK_FIELD(P, pass_through),
                   VEK_FIELD(P, alpha_as_rgb), VEK_FIELD(P, average_alpha), VEK_FIELD(P, set_opacity),
                   VEK_FIELD(P, opacity)});
    EXPECT_EQ(load_declaration("Vek_Replace_Alpha", shipped).result_type, ValueType::color);
}

#ifdef VEK_HAVE_MIXER
TEST(ShippedDeclarations, MixerMatchesItsBlock) {
    using P = vek::mixer::Params;
    expect_layout("Vek_Mixer", sizeof(P),
                  {VEK_FIELD(P, color1), VEK_FIELD(P, mix_mode), VEK_FIELD(P, amount), VEK_FIELD(P, color2),
                   VEK_FIELD(P, swap_colors), VEK_FIELD(P, reserved), VEK_FIELD(P, use_hsv),
                   VEK_FIELD(P, alpha_mode)});
    EXPECT_EQ(load_declaration("Vek_Mixer", shipped).result_type, ValueType::color);
}
#endif

#ifdef VEK_HAVE_DISTANCE
TEST(ShippedDeclarations, DistanceMatchesItsBlock) {
    using P = vek::distance::Params;
    expect_layout("Vek_Distance", sizeof(P),
                  {VEK_FIELD(P, mode), VEK_FIELD(P, references), VEK_FIELD(P, remap), VEK_FIELD(P, min_distance),
                   VEK_FIELD(P, max_distance), VEK_FIELD(P, bias), VEK_FIELD(P, gain), VEK_FIELD(P, invert),
                   VEK_FIELD(P, reserved)});
    const Declaration d = load_declaration("Vek_Distance", shipped);
    EXPECT_TRUE(d.parameter("references")->is_array);
    EXPECT_EQ(d.parameter("references")->type, ValueType::tag);
    EXPECT_EQ(d.result_type, ValueType::scalar);
}
#endif

#ifdef VEK_HAVE_GRID
TEST(ShippedDeclarations, GridMatchesItsBlockAndResult) {
    using P = vek::grid::Params;
    expect_layout(
        "Vek_Grid_MultiOut", sizeof(P),
        {VEK_FIELD(P, pattern),        VEK_FIELD(P, cell_size),        VEK_FIELD(P, line_width),
         VEK_FIELD(P, softness),       VEK_FIELD(P, fold),             VEK_FIELD(P, bias),
         VEK_FIELD(P, gain),           VEK_FIELD(P, invert),           VEK_FIELD(P, mirror_x),
         VEK_FIELD(P, mirror_y),       VEK_FIELD(P, mirror_z),         VEK_FIELD(P, pattern_color),
         VEK_FIELD(P, background_color), VEK_FIELD(P, output_scale),   VEK_FIELD(P, texture_space),
         VEK_FIELD(P, coordinate_source), VEK_FIELD(P, input_coordinate), VEK_FIELD(P, reserved),
         VEK_FIELD(P, scale_vector),   VEK_FIELD(P, scale_x),          VEK_FIELD(P, scale_y),
         VEK_FIELD(P, scale_z),        VEK_FIELD(P, scale_mode),       VEK_FIELD(P, rotate_vector),
         VEK_FIELD(P, rotate_x),       VEK_FIELD(P, rotate_y),         VEK_FIELD(P, rotate_z),
         VEK_FIELD(P, rotate_mode),    VEK_FIELD(P, offset_vector),    VEK_FIELD(P, offset_x),
         VEK_FIELD(P, offset_y),       VEK_FIELD(P, offset_z),         VEK_FIELD(P, offset_mode),
         VEK_FIELD(P, distort),        VEK_FIELD(P, distort_amount),   VEK_FIELD(P, distort_fade)});
    using R = vek::grid::Result;
    const Declaration d = load_declaration("Vek_Grid_MultiOut", shipped);
    ASSERT_EQ(d.result_type, ValueType::structure);
    EXPECT_EQ(static_cast<std::size_t>(d.result_size), sizeof(R));
    const Field members[] = {VEK_FIELD(R, color), VEK_FIELD(R, alpha), VEK_FIELD(R, scaled_value),
                             VEK_FIELD(R, value)};
    ASSERT_EQ(d.members.size(), std::size(members));
    for (std::size_t i = 0; i < d.members.size(); ++i) {
        EXPECT_EQ(d.members[i].name, members[i].name);
        EXPECT_EQ(static_cast<std::size_t>(d.members[i].offset), members[i].offset);
    }
}
#endif

TEST(Listing, ShowsTypesAndDefaults) {
    const std::string text = describe(load_declaration("Vek_Replace_Alpha", shipped));
    EXPECT_NE(text.find("Vek_Replace_Alpha (version 1) returns color"), std::string::npos) << text;
    EXPECT_NE(text.find("input_color"), std::string::npos);
    EXPECT_NE(text.find("default 1 1 1 1"), std::string::npos) << text;
    EXPECT_NE(text.find("pass_through"), std::string::npos);
    EXPECT_NE(text.find("boolean   default off"), std::string::npos) << text;
    const auto found = find_shaders(shipped);
    EXPECT_NE(std::find(found.begin(), found.end(), "Vek_Replace_Alpha"), found.end());
}

TEST(Listing, MissingDeclarationNamesTheShaderAndPath) {
    try {
        load_declaration("Vek_Nothing", {"/nowhere"});
        FAIL();
    } catch (const DeclarationError &e) {
        EXPECT_STREQ(e.what(),
                     "no declaration \"Vek_Nothing.mi\" for shader \"Vek_Nothing\" in the search path \"/nowhere\"");
    }
}

}  // namespace

// The host interface every plug-in shares, tested across the real boundary: the
// built modules are opened, the host functions live in a module opened
// RTLD_LOCAL, and the plug-ins reach them only through the handle they are given.
#include <gtest/gtest.h>

#if defined(_WIN32)
#ifndef NOMINMAX
#define NOMINMAX
#endif
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#else
#include <dlfcn.h>
#endif

#include <array>
#include <atomic>
#include <cctype>
#include <cinttypes>
#include <climits>
#include <cstdio>
#include <filesystem>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "shaders/replace_alpha/replace_alpha.h"
#include "tests/support/bits.h"
#include "tests/support/plugin_fixture.h"

namespace vek::test {
namespace {

using replace_alpha::Params;

#if defined(_WIN32)
// The platform's code for a name the module does not export.
constexpr int proc_not_found = ERROR_PROC_NOT_FOUND;
#else
constexpr int proc_not_found = 127;
#endif

#if !defined(_WIN32)
std::string run(const std::string &command) {
    std::string out;
    FILE *pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) return out;
    char buffer[4096];
    while (std::fgets(buffer, sizeof buffer, pipe)) out += buffer;
    pclose(pipe);
    return out;
}

std::vector<std::string> words(const std::string &text, int column) {
    std::vector<std::string> result;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        std::istringstream fields(line);
        std::string field;
        for (int i = 0; i <= column && (fields >> field); ++i)
            if (i == column) result.push_back(field);
    }
    return result;
}
#endif

std::vector<std::filesystem::path> built_plugins() {
    std::vector<std::filesystem::path> plugins;
    for (const auto &entry : std::filesystem::directory_iterator(plugin_dir()))
        if (entry.path().extension() == VEK_MODULE_SUFFIX) plugins.push_back(entry.path());
    return plugins;
}

std::string hex_handle(const void *handle) {
    char text[32];
    std::snprintf(text, sizeof text, "%08" PRIxPTR, reinterpret_cast<std::uintptr_t>(handle));
    return text;
}

// --- What a plug-in shows the world ------------------------------------------------

#if defined(_WIN32)
// A loaded module's export and import tables, read from its image in memory:
// what the Windows loader itself works with.
struct ImageTables {
    std::vector<std::string> exports;
    std::size_t exported_addresses = 0;  // more than the names: exports by ordinal only
    std::vector<std::string> imported_modules;
};

ImageTables image_tables(void *module) {
    ImageTables tables;
    const auto *base = static_cast<const unsigned char *>(module);
    const auto *dos = reinterpret_cast<const IMAGE_DOS_HEADER *>(base);
    const auto *nt = reinterpret_cast<const IMAGE_NT_HEADERS *>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY &exports = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
    if (exports.Size != 0) {
        const auto *dir = reinterpret_cast<const IMAGE_EXPORT_DIRECTORY *>(base + exports.VirtualAddress);
        const auto *names = reinterpret_cast<const DWORD *>(base + dir->AddressOfNames);
        for (DWORD i = 0; i < dir->NumberOfNames; ++i)
            tables.exports.emplace_back(reinterpret_cast<const char *>(base + names[i]));
        tables.exported_addresses = dir->NumberOfFunctions;
    }
    const IMAGE_DATA_DIRECTORY &imports = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    if (imports.Size != 0)
        for (const auto *d = reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR *>(base + imports.VirtualAddress);
             d->Name != 0; ++d) {
            std::string name = reinterpret_cast<const char *>(base + d->Name);
            for (auto &c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
            tables.imported_modules.push_back(name);
        }
    return tables;
}

TEST(PluginModules, ExportExactlyTheirFiveEntryPointsAndImportOnlySystemModules) {
    const auto plugins = built_plugins();
    ASSERT_FALSE(plugins.empty());
    for (const auto &path : plugins) {
        SCOPED_TRACE(path.string());
        const std::string shader = path.stem().string();
        EXPECT_EQ(0u, shader.rfind("Vek_", 0)) << "no lib prefix";
        auto plugin = load_plugin(shader);
        const ImageTables tables = image_tables(plugin.handle());
        // Undecorated C names: no leading underscore, no "@<bytes>" suffix.
        const std::set<std::string> expected = {shader, shader + "_init", shader + "_exit", shader + "_version",
                                                "miSetModuleHandle"};
        EXPECT_EQ(expected, std::set<std::string>(tables.exports.begin(), tables.exports.end()));
        EXPECT_EQ(5u, tables.exports.size());
        EXPECT_EQ(5u, tables.exported_addresses);
        // The runtime is linked in statically: nothing from the compiler's own
        // DLLs, and nothing of the host, which is reached through its handle.
        const std::set<std::string> system = {"kernel32.dll", "msvcrt.dll", "ucrtbase.dll"};
        for (const auto &imported : tables.imported_modules)
            EXPECT_TRUE(system.count(imported) || imported.rfind("api-ms-win-crt-", 0) == 0) << imported;
    }
}
#endif

#if !defined(_WIN32)
TEST(PluginModules, ExportExactlyTheirFiveEntryPointsAndNeedNoHostSymbol) {
#if defined(VEK_SANITIZED)
    GTEST_SKIP() << "sanitizer runtimes add symbols of their own";
#endif
    const auto plugins = built_plugins();
    ASSERT_FALSE(plugins.empty());
    for (const auto &path : plugins) {
        SCOPED_TRACE(path.string());
        const std::string shader = path.stem().string();
        EXPECT_EQ(0u, shader.rfind("Vek_", 0)) << "no lib prefix";
        const auto defined = words(run("nm -D --defined-only " + path.string()), 2);
        const std::set<std::string> expected = {shader, shader + "_init", shader + "_exit", shader + "_version",
                                                "miSetModuleHandle"};
        EXPECT_EQ(expected, std::set<std::string>(defined.begin(), defined.end()));
        EXPECT_EQ(5u, defined.size());
        for (const auto &name : words(run("nm -D --undefined-only " + path.string()), 1))
            EXPECT_NE(0u, name.rfind("mi_", 0)) << name << " is left to the dynamic linker";
        // Nothing beyond the C and mathematics libraries.
        const std::set<std::string> allowed = {"[libc.so.6]", "[libm.so.6]", "[ld-linux-x86-64.so.2]"};
        for (const auto &needed : words(run("readelf -d " + path.string() + " | grep NEEDED"), 4))
            EXPECT_TRUE(allowed.count(needed)) << needed;
    }
}
#endif

TEST(PluginModules, CompanionEntryPointsKeepTheirContracts) {
    for (const auto &path : built_plugins()) {
        const std::string shader = path.stem().string();
        SCOPED_TRACE(shader);
        auto plugin = load_plugin(shader);
        EXPECT_EQ(1, plugin.version());
        miBoolean flag = 7;
        plugin.init(nullptr, nullptr, &flag);
        EXPECT_EQ(0, flag) << "no init per instance wanted";
        flag = 7;
        int block = 0;
        plugin.init(nullptr, &block, &flag);
        EXPECT_EQ(7, flag) << "called with a block, init does nothing";
        plugin.exit(nullptr, nullptr);
    }
}

// --- Parameter evaluation ------------------------------------------------------------

class Evaluation : public PluginTest {
protected:
    Evaluation() : PluginTest("Vek_Replace_Alpha") {}
    miColor result{};
};

TEST_F(Evaluation, FlagAndMarkerDecideWhetherTheHostIsAsked) {
    struct Case {
        int flag;
        int marker;
        bool asks;
    } cases[] = {
        {0, 1, false}, {2, 1, false}, {255, 1, false}, {1, 0, false},      {1, -2, false},
        {1, 1, true},  {1, -1, true}, {1, 5, true},    {1, INT_MIN, true}, {1, -3, true},
    };
    for (bool markers_before : {false, true}) {
        for (const auto &c : cases) {
            SCOPED_TRACE(testing::Message() << "flag " << c.flag << " marker " << c.marker
                                            << (markers_before ? " (negative offset)" : ""));
            host().reset();
            Block<Params> block(markers_before);
            block->alpha = 0.25f;
            block.record.eval_flag = static_cast<unsigned char>(c.flag);
            block.mark(&block->alpha, c.marker);
            host().set_value(&block->alpha, 0.75f);
            ASSERT_EQ(markers_before, block.record.marker_offset < 0);
            call(&result, block);
            EXPECT_EQ(c.asks ? 0.75f : 0.25f, result.a);
            const auto calls = host().calls();
            ASSERT_EQ(c.asks ? 1u : 0u, calls.size());
            if (c.asks) {
                EXPECT_EQ("mi_phen_eval", calls[0].name);
                EXPECT_EQ(&block->alpha, calls[0].address) << "the parameter itself, not its marker";
                EXPECT_EQ(&state, calls[0].state);
            }
        }
    }
}

TEST_F(Evaluation, EachValueIsCopiedBeforeTheNextEvaluation) {
    Block<Params> block;
    block.record.eval_flag = 1;
    block.mark_all(1);
    host().one_buffer = true;  // every answer lands in the same host location
    host().set_value(&block->input_color, miColor{0.1f, 0.2f, 0.3f, 0.4f});
    host().set_value(&block->alpha, 0.9f);
    host().set_value(&block->pass_through, 0);
    host().set_value(&block->alpha_as_rgb, 0);
    host().set_value(&block->average_alpha, 0);
    host().set_value(&block->set_opacity, 1);
    host().set_value(&block->opacity, 0.6f);
    call(&result, block);
    EXPECT_TRUE(same_bits(miColor{0.1f, 0.2f, 0.3f, 0.9f}, result));
    EXPECT_TRUE(same_bits(miColor{0.6f, 0.6f, 0.6f, 0.6f}, host().calls().back().color));
}

TEST_F(Evaluation, TheShaderRecordIsReadAfreshForEveryParameter) {
    // A connected shader that switches the state's record mid-call, as a host
    // running a network does while it evaluates, and puts it back.
    Block<Params> block;
    block.record.eval_flag = 1;
    block.mark_all(1);
    miShaderRecord other{};  // flag 0: stored values
    int evaluations = 0;
    host().phen_eval = [&](miState *s, void *parameter) {
        ++evaluations;
        s->shader = &other;  // from here on the stored values are taken
        return parameter;
    };
    call(&result, block);
    EXPECT_EQ(1, evaluations);
}

// --- Binding layer -------------------------------------------------------------------

struct Probe {
    host::Module module = host::Module::open(test_module_path("vek_binding_probe"), true);
    template <typename Fn>
    Fn get(const char *name) const {
        return reinterpret_cast<Fn>(module.symbol(name));
    }
    void attach(void *handle) const { get<void (*)(void *)>("miSetModuleHandle")(handle); }
};

class Binding : public ::testing::Test {
protected:
    void SetUp() override {
        host().reset();
        probe.attach(HostModule::primary().module.handle());
    }
    static RecordingHost &host() { return *HostModule::primary().host; }
    static Probe probe;
};
Probe Binding::probe;

TEST_F(Binding, HostFunctionsAreReachedOnlyThroughTheHandedModule) {
#if !defined(_WIN32)
    // The host module was opened RTLD_LOCAL: its functions are not in the global scope.
    // (Windows has no global scope: a module's exports are found through its handle.)
    EXPECT_EQ(nullptr, dlsym(RTLD_DEFAULT, "mi_phen_eval"));
#endif
    int parameter = 3;
    void *answer = probe.get<void *(*)(miState *, void *)>("probe_phen_eval")(nullptr, &parameter);
    EXPECT_EQ(&parameter, answer);
    EXPECT_EQ(1u, host().count("mi_phen_eval"));
}

TEST_F(Binding, ArgumentsAndResultsPassUnchanged) {
    float matrix[16];
    const float x = float_from_bits(0x3fc90fdb), y = -0.0f, z = float_from_bits(0x7fc00001);
    probe.get<void (*)(float *, float, float, float)>("probe_rotate")(matrix, x, y, z);
    const auto calls = host().calls();
    ASSERT_EQ(1u, calls.size());
    EXPECT_EQ(matrix, calls[0].address);
    EXPECT_EQ(bits(x), bits(calls[0].angles[0]));
    EXPECT_EQ(bits(y), bits(calls[0].angles[1]));
    EXPECT_EQ(bits(z), bits(calls[0].angles[2]));
}

TEST_F(Binding, QueryForwardsTheFurtherArgumentsItsCodeTakes) {
    auto query = probe.get<miBoolean (*)(int, miState *, miTag, void *, void *, int)>("probe_query");
    int pointee = 0;
    const auto pointer = reinterpret_cast<std::uintptr_t>(&pointee);
    struct Case {
        int code;
        std::vector<std::uintptr_t> forwarded;
    } cases[] = {
        {4, {}}, {5, {}}, {1, {}}, {15, {42}}, {127, {pointer}}, {152, {42}}, {163, {42}}, {165, {pointer, 42}},
    };
    host().other_query_answer = 9;
    for (const auto &c : cases) {
        SCOPED_TRACE(c.code);
        host().clear_calls();
        void *result = nullptr;
        miState state{};
        const miBoolean answer = query(c.code, &state, 77, &result, &pointee, 42);
        const auto calls = host().calls();
        ASSERT_EQ(1u, calls.size());
        EXPECT_EQ(c.code, calls[0].code);
        EXPECT_EQ(&state, calls[0].state);
        EXPECT_EQ(77u, calls[0].tag);
        EXPECT_EQ(&result, calls[0].address);
        EXPECT_EQ(c.forwarded, calls[0].extra);
        EXPECT_EQ(c.code == 4 || c.code == 5 ? 0 : 9, answer) << "the host's answer comes back";
    }
}

TEST_F(Binding, MessagesReachTheHostAsFinishedText) {
    probe.get<void (*)(int)>("probe_percent_info")(50);
    probe.get<void (*)(int)>("probe_numbered_error")(12);
    probe.get<void (*)()>("probe_every_message")();
    const auto calls = host().calls();
    ASSERT_EQ(12u, calls.size());
    EXPECT_EQ("mi_info", calls[0].name);
    EXPECT_EQ("%s", calls[0].format) << "a percent sign in the text must print as itself";
    EXPECT_EQ("50% done, 100% sure", calls[0].text);
    EXPECT_EQ("mi_nerror", calls[1].name);
    EXPECT_EQ(12, calls[1].code);
    EXPECT_EQ("error 12 in probe", calls[1].text);
    const char *names[] = {"mi_fatal", "mi_error",  "mi_warning", "mi_info",   "mi_progress",
                           "mi_debug", "mi_vdebug", "mi_nfatal",  "mi_nerror", "mi_nwarning"};
    for (int i = 0; i < 10; ++i) {
        EXPECT_EQ(names[i], calls[2 + i].name);
        EXPECT_EQ(names[i], calls[2 + i].text);
        EXPECT_EQ(i >= 7 ? 7 : 0, calls[2 + i].code);
    }
}

TEST_F(Binding, LongMessagesAreCutSafelyAtACharacterBoundary) {
    auto warn = probe.get<void (*)(const char *)>("probe_warning_text");
    const std::string plain(5000, 'x');
    // 1021 ASCII bytes, then three-byte characters: the bound falls inside one.
    std::string wide(1021, 'a');
    for (int i = 0; i < 10; ++i) wide += "\xE2\x82\xAC";
    warn(plain.c_str());
    warn(wide.c_str());
    const auto calls = host().calls();
    ASSERT_EQ(2u, calls.size());
    EXPECT_EQ(std::string(1023, 'x'), calls[0].text);
    EXPECT_EQ(std::string(1021, 'a'), calls[1].text);
}

TEST_F(Binding, DiagnosticsWithoutAHandleAndForAMissingName) {
    int parameter = 5;
    auto eval = probe.get<void *(*)(miState *, void *)>("probe_phen_eval");

    probe.attach(nullptr);
    testing::internal::CaptureStderr();
    void *answer = eval(nullptr, &parameter);
    std::string err = testing::internal::GetCapturedStderr();
#if defined(_WIN32)
    // The null handle is looked up all the same. Windows looks it up in the
    // program itself, which exports the host functions as a host executable
    // does: the call reaches the host.
    EXPECT_EQ("DYNLOAD: dl_handle null\n", err);
    EXPECT_EQ(1u, host().count("mi_phen_eval"));
    host().clear_calls();
#else
    // The null handle is looked up all the same; the host module is not global, so
    // nothing is found, and the wrapper hands back the parameter itself.
    EXPECT_EQ("DYNLOAD: dl_handle null\n"
              "dlsym failed on \"mi_phen_eval\" (handle: 00000000 error: 127)\n",
              err);
#endif
    EXPECT_EQ(&parameter, answer);

    auto empty = host::Module::open(test_module_path("vek_empty_module"), true);
    probe.attach(empty.handle());
    const std::string line = "dlsym failed on \"mi_phen_eval\" (handle: " + hex_handle(empty.handle()) +
                             " error: " + std::to_string(proc_not_found) + ")\n";
    testing::internal::CaptureStderr();
    EXPECT_EQ(&parameter, eval(nullptr, &parameter));
    EXPECT_EQ(&parameter, eval(nullptr, &parameter));
    err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(line + line, err) << "a name that is not found is looked up again at every call";
    EXPECT_GE(hex_handle(empty.handle()).size(), 8u);

    // Unbound wrappers give a zero result and never call through the empty slot.
    testing::internal::CaptureStderr();
    void *result = &parameter;
    EXPECT_EQ(0, probe.get<miBoolean (*)(int, miState *, miTag, void *, void *, int)>("probe_query")(
                     5, nullptr, 1, &result, nullptr, 0));
    probe.get<void (*)(int)>("probe_percent_info")(1);
    err = testing::internal::GetCapturedStderr();
    EXPECT_NE(std::string::npos, err.find("\"mi_query\""));
    EXPECT_NE(std::string::npos, err.find("\"mi_info\""));
    EXPECT_EQ(0u, host().calls().size());
}

TEST_F(Binding, ASecondHandleEmptiesTheTable) {
    auto second = HostModule::open("vek_recording_host_b");
    second.host->reset();
    auto eval = probe.get<void *(*)(miState *, void *)>("probe_phen_eval");
    int parameter = 0;
    eval(nullptr, &parameter);
    probe.get<void (*)(int)>("probe_percent_info")(1);
    EXPECT_EQ(2u, host().calls().size());

    probe.attach(second.module.handle());
    eval(nullptr, &parameter);
    EXPECT_EQ(2u, host().calls().size()) << "the old module is not called again";
    EXPECT_EQ(1u, second.host->count("mi_phen_eval"));

    // An entry point that is never called again is never looked up: with a module
    // that lacks every name, only the one called complains.
    auto empty = host::Module::open(test_module_path("vek_empty_module"), true);
    probe.attach(empty.handle());
    testing::internal::CaptureStderr();
    eval(nullptr, &parameter);
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(std::string::npos, err.find("\"mi_phen_eval\""));
    EXPECT_EQ(std::string::npos, err.find("\"mi_info\""));
}

// Many threads make their first calls at once into a freshly emptied table.
TEST(ConcurrentBinding, FirstCallsFromManyThreadsAgree) {
    auto plugin = load_plugin("Vek_Replace_Alpha");
    RecordingHost &host = *HostModule::primary().host;
    host.reset();
    constexpr int threads = 8, calls_per_thread = 200;
    for (int round = 0; round < 3; ++round) {
        plugin.attach(HostModule::primary().module.handle());
        std::atomic<int> ready{0};
        std::atomic<int> wrong{0};
        std::vector<std::thread> pool;
        for (int t = 0; t < threads; ++t)
            pool.emplace_back([&, t] {
                Block<Params> block;
                block->input_color = {float(t), 1, 2, 3};
                block->alpha = 0.5f;
                block->set_opacity = 1;
                block->opacity = float(t);
                block.record.eval_flag = 1;
                block.mark_all(1);
                miState state{};
                state.shader = &block.record;
                ++ready;
                while (ready.load() < threads) {
                }
                for (int i = 0; i < calls_per_thread; ++i) {
                    miColor result{};
                    plugin.shader(&result, &state, &block.params());
                    if (result.r != float(t) || result.a != 0.5f) ++wrong;
                }
            });
        for (auto &thread : pool) thread.join();
        EXPECT_EQ(0, wrong.load());
    }
    EXPECT_EQ(3u * threads * calls_per_thread * 8, host.calls().size());
}

}  // namespace
}  // namespace vek::test

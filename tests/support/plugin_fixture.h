// What plug-in tests share: the recording host module, opened RTLD_LOCAL once
// per process; plug-ins loaded from the build and attached to it; parameter
// blocks with their marker areas; and a shading state pointing at them.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <utility>

#include "host/mi_types.h"
#include "stand_in_host/plugin_module.h"
#include "tests/support/recording_host.h"

namespace vek::test {

inline std::string plugin_dir() { return VEK_PLUGIN_DIR; }
inline std::string test_module_path(const std::string &name) {
    return std::string(VEK_BINARY_DIR) + "/tests/" + name + VEK_MODULE_SUFFIX;
}

// The recording host of this process, found only through its handle.
struct HostModule {
    host::Module module;
    RecordingHost *host = nullptr;

    static HostModule open(const std::string &name) {
        return attach(host::Module::open(test_module_path(name), /*local=*/true), name);
    }
    static HostModule &primary() {
#if defined(_WIN32)
        // On Windows the test program itself exports the host functions, as a
        // host executable does, and plug-ins get GetModuleHandle(NULL).
        static HostModule m = attach(host::Module::self(), "the test program");
#else
        static HostModule m = open("vek_recording_host");
#endif
        return m;
    }

private:
    static HostModule attach(host::Module module, const std::string &name) {
        HostModule m;
        m.module = std::move(module);
        auto accessor = reinterpret_cast<RecordingHostAccessor>(m.module.symbol(recording_host_symbol));
        if (accessor == nullptr) throw host::PluginError("no recording host in " + name);
        m.host = accessor();
        return m;
    }
};

inline host::Plugin load_plugin(const std::string &shader) { return host::Plugin::load(shader, {plugin_dir()}); }

// A parameter block with room for its marker area on either side: markers after
// the block (positive offset) or before it (negative offset).
template <typename P>
class Block {
public:
    explicit Block(bool markers_before = false) {
        std::memset(storage_, 0, sizeof storage_);
        params_ = new (storage_ + sizeof(P)) P{};
        markers_ = storage_ + (markers_before ? 0 : 2 * sizeof(P));
        record.eval_flag = 0;
        record.marker_offset = static_cast<int>(markers_ - reinterpret_cast<unsigned char *>(params_));
    }
    Block(const Block &) = delete;
    Block &operator=(const Block &) = delete;

    P &params() { return *params_; }
    P *operator->() { return params_; }

    // Sets the marker of the parameter at this address of the block.
    void mark(const void *field, int marker = 1) {
        const auto at = static_cast<const unsigned char *>(field) - reinterpret_cast<unsigned char *>(params_);
        std::memcpy(markers_ + at, &marker, sizeof marker);
    }
    // Marks every 32-bit unit of the block.
    void mark_all(int marker = 1) {
        for (std::size_t at = 0; at + 4 <= sizeof(P); at += 4) std::memcpy(markers_ + at, &marker, sizeof marker);
    }

    miShaderRecord record{};

private:
    alignas(16) unsigned char storage_[3 * sizeof(P)];
    P *params_ = nullptr;
    unsigned char *markers_ = nullptr;
};

// A fixture with one plug-in attached to the primary recording host.
class PluginTest : public ::testing::Test {
protected:
    explicit PluginTest(const std::string &shader) : plugin_(load_plugin(shader)) {}
    void SetUp() override {
        host().reset();
        plugin_.attach(HostModule::primary().module.handle());
        state.shader = nullptr;
    }
    static RecordingHost &host() { return *HostModule::primary().host; }

    template <typename Result, typename P>
    miBoolean call(Result *result, Block<P> &block) {
        state.shader = &block.record;
        return plugin_.shader(result, &state, &block.params());
    }

    host::Plugin plugin_;
    miState state{};
};

}  // namespace vek::test

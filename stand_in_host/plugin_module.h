// Loading a plug-in as a host does: open the shared library named after its
// shader, check its five exports and its version, hand it the module that
// exports the host functions, and close it again at the end.
#pragma once

#include <stdexcept>
#include <string>
#include <vector>

#include "host/mi_types.h"

namespace vek::host {

using ShaderFn = miBoolean (*)(void *result, miState *state, void *parameters);
using InitFn = void (*)(miState *state, void *parameters, miBoolean *instance_request);
using ExitFn = void (*)(miState *state, void *parameters);
using VersionFn = int (*)();
using SetModuleHandleFn = void (*)(void *handle);

// The plug-in version this host understands.
constexpr int supported_plugin_version = 1;

struct PluginError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// "Vek_Mixer" -> "Vek_Mixer.so" (".dll" on Windows).
std::string plugin_file_name(const std::string &shader);

// A module opened by path. Local modules keep their symbols to themselves:
// they are found only through their handle.
class Module {
public:
    Module() = default;
    static Module open(const std::string &path, bool local);
    // The running program itself, for a host whose executable exports the host functions.
    static Module self();
    Module(Module &&other) noexcept;
    Module &operator=(Module &&other) noexcept;
    Module(const Module &) = delete;
    Module &operator=(const Module &) = delete;
    ~Module();

    void *handle() const { return handle_; }
    void *symbol(const char *name) const;
    const std::string &path() const { return path_; }

private:
    void *handle_ = nullptr;
    bool owned_ = false;
    std::string path_;
};

class Plugin {
public:
    // Finds <shader> in the first directory of the search path that has it.
    static Plugin load(const std::string &shader, const std::vector<std::string> &search_path);
    static Plugin load_file(const std::string &path, const std::string &shader);

    // Hands the plug-in the module that exports the host functions.
    void attach(void *host_module) const { set_module_handle(host_module); }

    const std::string &shader_name() const { return shader_; }
    const std::string &path() const { return module_.path(); }
    void *handle() const { return module_.handle(); }

    ShaderFn shader = nullptr;
    InitFn init = nullptr;
    ExitFn exit = nullptr;
    VersionFn version = nullptr;
    SetModuleHandleFn set_module_handle = nullptr;

private:
    Module module_;
    std::string shader_;
};

}  // namespace vek::host

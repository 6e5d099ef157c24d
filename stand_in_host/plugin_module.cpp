#include "stand_in_host/plugin_module.h"

#include <filesystem>
#include <utility>

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#endif

namespace vek::host {

std::string plugin_file_name(const std::string &shader) {
#if defined(_WIN32)
    return shader + ".dll";
#else
    return shader + ".so";
#endif
}

namespace {

std::string last_loader_error() {
#if defined(_WIN32)
    return "error " + std::to_string(::GetLastError());
#else
    const char *text = dlerror();
    return text ? text : "unknown error";
#endif
}

}  // namespace

Module Module::open(const std::string &path, bool local) {
    Module m;
#if defined(_WIN32)
    (void)local;
    m.handle_ = ::LoadLibraryA(path.c_str());
#else
    m.handle_ = dlopen(path.c_str(), RTLD_NOW | (local ? RTLD_LOCAL : RTLD_GLOBAL));
#endif
    if (m.handle_ == nullptr) throw PluginError("cannot load \"" + path + "\": " + last_loader_error());
    m.owned_ = true;
    m.path_ = path;
    return m;
}

Module Module::self() {
    Module m;
#if defined(_WIN32)
    m.handle_ = ::GetModuleHandleA(nullptr);
    m.owned_ = false;
#else
    m.handle_ = dlopen(nullptr, RTLD_NOW);
    m.owned_ = true;
#endif
    m.path_ = "(host program)";
    return m;
}

Module::Module(Module &&other) noexcept
    : handle_(std::exchange(other.handle_, nullptr)), owned_(std::exchange(other.owned_, false)),
      path_(std::move(other.path_)) {}

Module &Module::operator=(Module &&other) noexcept {
    if (this != &other) {
        Module old(std::move(*this));
        handle_ = std::exchange(other.handle_, nullptr);
        owned_ = std::exchange(other.owned_, false);
        path_ = std::move(other.path_);
    }
    return *this;
}

Module::~Module() {
    if (handle_ == nullptr || !owned_) return;
#if defined(_WIN32)
    ::FreeLibrary(static_cast<HMODULE>(handle_));
#else
    dlclose(handle_);
#endif
}

void *Module::symbol(const char *name) const {
#if defined(_WIN32)
    return reinterpret_cast<void *>(::GetProcAddress(static_cast<HMODULE>(handle_), name));
#else
    return dlsym(handle_, name);
#endif
}

Plugin Plugin::load(const std::string &shader, const std::vector<std::string> &search_path) {
    const std::string file = plugin_file_name(shader);
    for (const auto &dir : search_path) {
        const std::filesystem::path candidate = std::filesystem::path(dir) / file;
        std::error_code ignored;
        if (std::filesystem::is_regular_file(candidate, ignored)) return load_file(candidate.string(), shader);
    }
    std::string searched;
    for (const auto &dir : search_path) searched += (searched.empty() ? "" : ":") + dir;
    throw PluginError("plug-in \"" + file + "\" for shader \"" + shader + "\" not found in the search path \"" +
                      searched + "\"");
}

Plugin Plugin::load_file(const std::string &path, const std::string &shader) {
    Plugin p;
    p.module_ = Module::open(path, /*local=*/true);
    p.shader_ = shader;
    auto need = [&](const std::string &name) {
        void *address = p.module_.symbol(name.c_str());
        if (address == nullptr)
            throw PluginError("plug-in \"" + path + "\" does not export \"" + name + "\"");
        return address;
    };
    p.shader = reinterpret_cast<ShaderFn>(need(shader));
    p.init = reinterpret_cast<InitFn>(need(shader + "_init"));
    p.exit = reinterpret_cast<ExitFn>(need(shader + "_exit"));
    p.version = reinterpret_cast<VersionFn>(need(shader + "_version"));
    p.set_module_handle = reinterpret_cast<SetModuleHandleFn>(need("miSetModuleHandle"));
    const int version = p.version();
    if (version != supported_plugin_version)
        throw PluginError("plug-in \"" + path + "\" has version " + std::to_string(version) + ", this host expects " +
                          std::to_string(supported_plugin_version));
    return p;
}

}  // namespace vek::host

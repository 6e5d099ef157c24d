#include "host/loader.h"

#if defined(_WIN32)
#include <windows.h>

namespace vek::loader {

void *GetProcAddress(void *module, const char *name) {
    return reinterpret_cast<void *>(::GetProcAddress(static_cast<HMODULE>(module), name));
}

std::uint32_t GetLastError() { return ::GetLastError(); }

}  // namespace vek::loader

#else
#include <dlfcn.h>

namespace vek::loader {

namespace {
thread_local std::uint32_t last_error = 0;
}

void *GetProcAddress(void *module, const char *name) {
    void *address = dlsym(module, name);
    if (address == nullptr) last_error = error_proc_not_found;
    return address;
}

std::uint32_t GetLastError() { return last_error; }

}  // namespace vek::loader
#endif

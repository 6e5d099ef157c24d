// The platform loader: the address of a named function in a loaded module, and
// the calling thread's last error. On Windows these are the system's own calls;
// elsewhere a stand-in with the same contract over dlsym.
#pragma once

#include <cstdint>

namespace vek::loader {

// Error code a failed look-up leaves behind on the stand-in ("procedure not found").
constexpr std::uint32_t error_proc_not_found = 127;

// Null when the module does not export the name; then the calling thread's last
// error is set.
void *GetProcAddress(void *module, const char *name);

// The calling thread's last error code, as the last failed look-up left it.
std::uint32_t GetLastError();

}  // namespace vek::loader

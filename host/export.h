// Marks the few functions that cross a module's boundary.
#pragma once

#if defined(_WIN32)
#define VEK_EXPORT __declspec(dllexport)
#else
#define VEK_EXPORT __attribute__((visibility("default")))
#endif

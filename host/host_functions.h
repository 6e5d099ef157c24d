// Declarations of the host entry points the pack calls. Inside a plug-in these
// names are the binding wrappers (hidden, bound at first call); a host that
// provides the functions defines them with the same signatures.
#pragma once

#include "host/mi_types.h"

#if defined(__GNUC__)
#define VEK_PRINTF(fmt, args) __attribute__((format(printf, fmt, args)))
#else
#define VEK_PRINTF(fmt, args)
#endif

extern "C" {

#define VEK_PLAIN(ret, name, params, args, fallback) ret name params;
#define VEK_QUERY(name) miBoolean name(int code, miState *state, miTag tag, void *result, ...);
#define VEK_MESSAGE(name) void name(const char *format, ...) VEK_PRINTF(1, 2);
#define VEK_NMESSAGE(name) void name(int number, const char *format, ...) VEK_PRINTF(2, 3);
#include "host/host_functions.def"
#undef VEK_PLAIN
#undef VEK_QUERY
#undef VEK_MESSAGE
#undef VEK_NMESSAGE

void miSetModuleHandle(void *handle);

}  // extern "C"

namespace vek {

// Slot numbers of the entry-point table, in list order.
enum HostSlot : int {
#define VEK_PLAIN(ret, name, params, args, fallback) slot_##name,
#define VEK_QUERY(name) slot_##name,
#define VEK_MESSAGE(name) slot_##name,
#define VEK_NMESSAGE(name) slot_##name,
#include "host/host_functions.def"
#undef VEK_PLAIN
#undef VEK_QUERY
#undef VEK_MESSAGE
#undef VEK_NMESSAGE
    bound_slot_count
};

// The table has room for every entry point of the host interface; the slots past
// the ones the pack calls stay reserved and empty.
constexpr int host_slot_capacity = 700;
static_assert(bound_slot_count <= host_slot_capacity, "entry-point table too small");

}  // namespace vek

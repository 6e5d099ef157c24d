// The binding layer: the plug-in is not linked against the host. Each host entry
// point is looked up by name in the module handed over by miSetModuleHandle, at
// its first call, and kept in a slot of the entry-point table.
#include <atomic>
#include <cinttypes>
#include <cstdarg>
#include <cstdio>

#include "host/export.h"
#include "host/host_functions.h"
#include "host/loader.h"

namespace vek {
namespace {

// The plug-in's only state. Slots are read and written whole; two threads that
// find a slot empty both look the name up and store the same address.
std::atomic<void *> module_handle{nullptr};
std::atomic<void *> slots[host_slot_capacity];

__attribute__((noinline, cold)) void *look_up(int slot, const char *name) {
    void *handle = module_handle.load(std::memory_order_relaxed);
    if (handle == nullptr) std::fputs("DYNLOAD: dl_handle null\n", stderr);
    void *address = loader::GetProcAddress(handle, name);
    slots[slot].store(address, std::memory_order_relaxed);
    if (address == nullptr) {
        const std::uint32_t error = loader::GetLastError();
        std::fprintf(stderr, "dlsym failed on \"%s\" (handle: %08" PRIxPTR " error: %d)\n", name,
                     reinterpret_cast<std::uintptr_t>(handle), static_cast<int>(error));
    }
    return address;
}

inline void *bound(int slot, const char *name) {
    void *address = slots[slot].load(std::memory_order_relaxed);
    return address != nullptr ? address : look_up(slot, name);
}

template <typename Fn>
inline Fn bound_as(int slot, const char *name) {
    return reinterpret_cast<Fn>(bound(slot, name));
}

// Messages are formatted here, into a bounded buffer of the call, and the host
// gets the finished text behind a "%s", so that a percent sign in it prints as
// itself. A text too long for the buffer is cut at a character boundary.
constexpr int message_capacity = 1024;

void format_message(char (&text)[message_capacity], const char *format, va_list args) {
    const int length = std::vsnprintf(text, message_capacity, format, args);
    if (length < 0) {
        text[0] = '\0';
        return;
    }
    if (length < message_capacity) return;
    // Cut: drop a UTF-8 sequence that the bound split.
    int end = message_capacity - 1;
    int lead = end - 1;
    while (lead > 0 && (static_cast<unsigned char>(text[lead]) & 0xC0) == 0x80) --lead;
    const unsigned char first = static_cast<unsigned char>(text[lead]);
    const int need = first >= 0xF0 ? 4 : first >= 0xE0 ? 3 : first >= 0xC0 ? 2 : 1;
    if (lead + need > end) end = lead;
    text[end] = '\0';
}

// Binds a message entry point, formats, and hands over the finished text after
// the leading arguments (the message number, for those that have one).
template <typename... Lead>
void send_message(int slot, const char *name, const char *format, va_list args, Lead... lead) {
    using Fn = void (*)(Lead..., const char *, ...);
    Fn fn = bound_as<Fn>(slot, name);
    if (fn == nullptr) return;
    char text[message_capacity];
    format_message(text, format, args);
    fn(lead..., "%s", text);
}

}  // namespace
}  // namespace vek

extern "C" {

VEK_EXPORT void miSetModuleHandle(void *handle) {
    vek::module_handle.store(handle, std::memory_order_relaxed);
    for (auto &slot : vek::slots) slot.store(nullptr, std::memory_order_relaxed);
}

// A wrapper whose look-up failed never calls through the empty slot: it gives
// a zero result, and mi_phen_eval gives the parameter's own address, so the
// caller reads the stored value.
#define VEK_PLAIN(ret, name, params, args, fallback)                              \
    ret name params {                                                             \
        using Fn = ret(*) params;                                                 \
        Fn fn = vek::bound_as<Fn>(vek::slot_##name, #name);                       \
        if (fn == nullptr) return fallback;                                       \
        return fn args;                                                           \
    }

#define VEK_QUERY(name)                                                           \
    miBoolean name(int code, miState *state, miTag tag, void *result, ...) {      \
        using Fn = miBoolean (*)(int, miState *, miTag, void *, ...);             \
        Fn fn = vek::bound_as<Fn>(vek::slot_##name, #name);                       \
        if (fn == nullptr) return miFALSE;                                        \
        va_list more;                                                             \
        va_start(more, result);                                                   \
        miBoolean answer;                                                         \
        switch (code) {                                                           \
        case 15:                                                                  \
        case 152:                                                                 \
        case 163: {                                                               \
            const int number = va_arg(more, int);                                 \
            answer = fn(code, state, tag, result, number);                        \
            break;                                                                \
        }                                                                         \
        case 127: {                                                               \
            void *pointer = va_arg(more, void *);                                 \
            answer = fn(code, state, tag, result, pointer);                       \
            break;                                                                \
        }                                                                         \
        case 165: {                                                               \
            void *pointer = va_arg(more, void *);                                 \
            const int number = va_arg(more, int);                                 \
            answer = fn(code, state, tag, result, pointer, number);               \
            break;                                                                \
        }                                                                         \
        default:                                                                  \
            answer = fn(code, state, tag, result);                                \
            break;                                                                \
        }                                                                         \
        va_end(more);                                                             \
        return answer;                                                            \
    }

#define VEK_MESSAGE(name)                                                         \
    void name(const char *format, ...) {                                          \
        va_list args;                                                             \
        va_start(args, format);                                                   \
        vek::send_message(vek::slot_##name, #name, format, args);                 \
        va_end(args);                                                             \
    }

#define VEK_NMESSAGE(name)                                                        \
    void name(int number, const char *format, ...) {                              \
        va_list args;                                                             \
        va_start(args, format);                                                   \
        vek::send_message(vek::slot_##name, #name, format, args, number);         \
        va_end(args);                                                             \
    }

#include "host/host_functions.def"

}  // extern "C"

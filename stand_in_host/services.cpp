// The host functions the plug-ins bind by name. They live in this library, and
// plug-ins are handed this library's own module handle.
//
// The shading state a plug-in gets is always the miState at the start of a
// ShadingContext::Impl, so a host function can reach the sample's context from
// it. mi_query gets no state; it uses the context shading on the calling thread.
#include <dlfcn.h>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "host/export.h"
#include "host/host_functions.h"
#include "stand_in_host/matrix.h"
#include "stand_in_host/network_impl.h"

namespace vek::host {

void *host_module_handle() {
    static void *handle = [] {
        Dl_info info{};
        if (dladdr(reinterpret_cast<void *>(&mi_phen_eval), &info) == 0 || info.dli_fname == nullptr)
            throw PluginError("the stand-in host cannot find its own module");
        void *h = dlopen(info.dli_fname, RTLD_NOW | RTLD_NOLOAD);
        if (h == nullptr) throw PluginError(std::string("the stand-in host cannot open its own module: ") + dlerror());
        return h;
    }();
    return handle;
}

thread_local ShadingContext::Impl *current_shading_context VEK_HOST_CONTEXT_TLS = nullptr;

namespace {

ShadingContext::Impl *context_of(miState *state) { return reinterpret_cast<ShadingContext::Impl *>(state); }

void print_message(const char *level, const int *number, const char *format, va_list args) {
    char text[4096];
    std::vsnprintf(text, sizeof text, format, args);
    if (number) std::fprintf(stderr, "vek host %s %d: %s\n", level, *number, text);
    else std::fprintf(stderr, "vek host %s: %s\n", level, text);
}

}  // namespace
}  // namespace vek::host

using namespace vek::host;

extern "C" {

// The value of a connected parameter: the connected node runs now, on this
// thread, and its result (or the member) is handed back. A parameter that is
// not connected gives its own address, so the stored value is read.
VEK_EXPORT void *mi_phen_eval(miState *state, void *parameter) {
    const auto *record = reinterpret_cast<const NodeRecord *>(state->shader);
    const std::ptrdiff_t at = static_cast<const unsigned char *>(parameter) - record->block;
    if (at < 0 || at >= record->block_size) return parameter;
    const Link &link = record->links[at / 4];
    if (link.node == nullptr) return parameter;
    return static_cast<unsigned char *>(context_of(state)->run(*link.node, link.result_at)) + link.offset;
}

// Kept for the current sample only; shade() reports it.
VEK_EXPORT void mi_opacity_set(miState *state, miColor *opacity) {
    ShadingContext::Impl *context = context_of(state);
    context->opacity = *opacity;
    context->opacity_set = true;
}

// Internal space is world space; object space is that of the state's instance.
VEK_EXPORT void mi_point_to_object(miState *state, miVector *out, miVector *in) {
    const Instance *instance = context_of(state)->network->instance(state->instance);
    if (instance) point_transform(out, in, instance->world_to_local);
    else *out = *in;
}

VEK_EXPORT void mi_point_to_world(miState *, miVector *out, miVector *in) { *out = *in; }

VEK_EXPORT void mi_point_transform(miVector *out, miVector *in, miMatrix matrix) { point_transform(out, in, matrix); }

// Codes 5 and 4 on instance tags: local-to-world and world-to-local matrices,
// owned by the network. Every other code, and an unknown tag, answers false.
VEK_EXPORT miBoolean mi_query(int code, miState *state, miTag tag, void *result, ...) {
    if (code != 4 && code != 5) return 0;
    const ShadingContext::Impl *context = state ? context_of(state) : current_context();
    if (context == nullptr || result == nullptr) return 0;
    const Instance *instance = context->network->instance(tag);
    if (instance == nullptr) return 0;
    *static_cast<const float **>(result) = code == 5 ? instance->local_to_world : instance->world_to_local;
    return 1;
}

VEK_EXPORT void mi_matrix_ident(miMatrix matrix) { matrix_ident(matrix); }
VEK_EXPORT void mi_matrix_rotate(miMatrix matrix, miScalar x, miScalar y, miScalar z) {
    matrix_rotate(matrix, x, y, z);
}
VEK_EXPORT void mi_matrix_prod(miMatrix result, miMatrix a, miMatrix b) { matrix_prod(result, a, b); }

// Messages go to the standard error stream with their level. A fatal message
// ends the program, as a fatal error ends a render.
#define VEK_PLAIN(ret, name, params, args, fallback)
#define VEK_QUERY(name)
#define VEK_MESSAGE(name)                                                          \
    VEK_EXPORT void name(const char *format, ...) {                                \
        va_list args;                                                              \
        va_start(args, format);                                                    \
        print_message(#name + 3, nullptr, format, args);                           \
        va_end(args);                                                              \
        if (std::strcmp(#name, "mi_fatal") == 0) std::exit(1);                     \
    }
#define VEK_NMESSAGE(name)                                                         \
    VEK_EXPORT void name(int number, const char *format, ...) {                    \
        va_list args;                                                              \
        va_start(args, format);                                                    \
        print_message(#name + 4, &number, format, args);                           \
        va_end(args);                                                              \
        if (std::strcmp(#name, "mi_nfatal") == 0) std::exit(1);                    \
    }
#include "host/host_functions.def"

}  // extern "C"

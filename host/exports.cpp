// The companions of every shader entry point: _init, _exit and _version.
// Compiled into each plug-in with VEK_SHADER_NAME set to its shader's name.
#include "host/export.h"
#include "host/mi_types.h"

#ifndef VEK_SHADER_NAME
#error "VEK_SHADER_NAME names the plug-in's shader"
#endif

#define VEK_JOIN2(a, b) a##b
#define VEK_JOIN(a, b) VEK_JOIN2(a, b)

extern "C" {

// Called without a parameter block, the shader answers that it wants no further
// init call per instance; with one, it has nothing to do.
VEK_EXPORT void VEK_JOIN(VEK_SHADER_NAME, _init)(miState *, void *parameters, miBoolean *instance_request) {
    if (parameters == nullptr) *instance_request = miFALSE;
}

VEK_EXPORT void VEK_JOIN(VEK_SHADER_NAME, _exit)(miState *, void *) {}

VEK_EXPORT int VEK_JOIN(VEK_SHADER_NAME, _version)(void) { return 1; }

}  // extern "C"

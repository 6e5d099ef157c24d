// A module built like a plug-in (the same binding layer, hidden visibility) whose
// exports call host entry points directly, so tests can drive the binding layer
// through paths the shaders do not take: every query code, every message form.
#include <string>

#include "host/export.h"
#include "host/host_functions.h"

extern "C" {

// Passes the further arguments that a query code takes; for the codes that take
// none, it passes some anyway, which the wrapper must not forward.
VEK_EXPORT miBoolean probe_query(int code, miState *state, miTag tag, void *result, void *pointer, int number) {
    switch (code) {
    case 15:
    case 152:
    case 163:
        return mi_query(code, state, tag, result, number);
    case 127:
        return mi_query(code, state, tag, result, pointer);
    case 165:
        return mi_query(code, state, tag, result, pointer, number);
    default:
        return mi_query(code, state, tag, result, pointer, number);
    }
}

VEK_EXPORT void *probe_phen_eval(miState *state, void *parameter) { return mi_phen_eval(state, parameter); }

VEK_EXPORT void probe_rotate(float *matrix, float x, float y, float z) { mi_matrix_rotate(matrix, x, y, z); }

VEK_EXPORT void probe_percent_info(int percent) { mi_info("%d%% done, %s", percent, "100% sure"); }

VEK_EXPORT void probe_warning_text(const char *text) { mi_warning("%s", text); }

VEK_EXPORT void probe_numbered_error(int number) { mi_nerror(number, "error %d in %s", number, "probe"); }

VEK_EXPORT void probe_every_message() {
#define VEK_PLAIN(ret, name, params, args, fallback)
#define VEK_QUERY(name)
#define VEK_MESSAGE(name) name("%s", #name);
#define VEK_NMESSAGE(name) name(7, "%s", #name);
#include "host/host_functions.def"
}

}  // extern "C"

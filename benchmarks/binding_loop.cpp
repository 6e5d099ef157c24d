// The binding layer alone: a loop over a bound wrapper, and the same loop over
// the host function's own address, inside one module so that both pay the same
// call from outside.
#include "host/export.h"
#include "host/host_functions.h"

using PointFn = void (*)(miState *, miVector *, miVector *);

extern "C" {

VEK_EXPORT void vek_bench_bound_loop(miState *state, miVector *out, miVector *in, long count) {
    for (long i = 0; i < count; ++i) mi_point_to_world(state, out, in);
}

VEK_EXPORT void vek_bench_direct_loop(PointFn fn, miState *state, miVector *out, miVector *in, long count) {
    for (long i = 0; i < count; ++i) fn(state, out, in);
}

}  // extern "C"

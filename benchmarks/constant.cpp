// A node that hands back what is stored in its block, one member per parameter
// type: the cheapest node a parameter can be connected to.
#include "host/export.h"
#include "host/mi_types.h"

namespace {
struct Constants {
    miColor color;
    miScalar scalar;
    miVector vector;
    miInteger integer;
    miBoolean boolean;
};
}  // namespace

extern "C" VEK_EXPORT miBoolean Vek_Bench_Constant(Constants *result, miState *, const Constants *params) {
    *result = *params;
    return miTRUE;
}

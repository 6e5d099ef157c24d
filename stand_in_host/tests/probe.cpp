// A shader for the stand-in host's own tests: it reports what the host shows a
// shader during a call (its runs, the record it sees and whether that record
// is back after evaluating, converted points and queried matrices).
#include <atomic>

#include "host/eval.h"
#include "host/export.h"

struct ProbeParams {
    miColor input;
    miInteger first;
    miInteger second;
    miTag reference;
};

struct ProbeResult {
    miColor color;
    miInteger runs;
    miInteger first;
    miInteger second;
    miInteger record_lo;
    miInteger record_hi;
    miBoolean restored;
    miBoolean query_ok;
    miVector origin;
    miVector object_point;
};

namespace {
std::atomic<int> runs{0};  // test-only: counts the calls of every probe node
}

extern "C" VEK_EXPORT miBoolean Vek_Test_Probe(ProbeResult *result, miState *state, ProbeParams *params) {
    ProbeResult r{};
    r.runs = ++runs;
    const miShaderRecord *record = state->shader;
    const auto address = reinterpret_cast<unsigned long long>(record);
    r.record_lo = static_cast<miInteger>(address & 0xffffffffu);
    r.record_hi = static_cast<miInteger>(address >> 32);
    r.color = vek::eval(state, &params->input);
    r.first = vek::eval(state, &params->first);
    r.second = vek::eval(state, &params->second);
    r.restored = state->shader == record ? miTRUE : miFALSE;
    const float *matrix = nullptr;
    r.query_ok = mi_query(5, nullptr, params->reference, &matrix);
    if (r.query_ok) r.origin = {matrix[12], matrix[13], matrix[14]};
    mi_point_to_object(state, &r.object_point, &state->point);
    *result = r;
    return miTRUE;
}

#include "tests/support/recording_host.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "host/export.h"
#include "host/host_functions.h"
#include "stand_in_host/matrix.h"

namespace vek::test {

RecordingHost::RecordingHost() { reset(); }

void RecordingHost::reset() {
    std::lock_guard<std::mutex> lock(mutex_);
    phen_eval = nullptr;
    on_opacity_set = nullptr;
    one_buffer = false;
    values_.clear();
    handed_out_.clear();
    instances.clear();
    other_query_answer = 0;
    host::matrix_ident(to_object);
    host::matrix_ident(to_world);
    calls_.clear();
}

void RecordingHost::set_value(const void *parameter, const void *bytes, std::size_t size) {
    std::lock_guard<std::mutex> lock(mutex_);
    const auto *b = static_cast<const unsigned char *>(bytes);
    values_[parameter].assign(b, b + size);
}

void RecordingHost::add_instance(miTag tag, const float *local_to_world) {
    InstanceMatrices m;
    std::memcpy(m.local_to_world, local_to_world, sizeof m.local_to_world);
    host::matrix_invert(m.world_to_local, local_to_world);
    instances[tag] = m;
}

std::vector<HostCall> RecordingHost::calls() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return calls_;
}

std::vector<std::string> RecordingHost::call_names() const {
    std::lock_guard<std::mutex> lock(mutex_);
    std::vector<std::string> names;
    for (const auto &c : calls_) names.push_back(c.name);
    return names;
}

std::size_t RecordingHost::count(const std::string &name) const {
    std::lock_guard<std::mutex> lock(mutex_);
    std::size_t n = 0;
    for (const auto &c : calls_) n += c.name == name;
    return n;
}

void RecordingHost::clear_calls() {
    std::lock_guard<std::mutex> lock(mutex_);
    calls_.clear();
}

void RecordingHost::record(HostCall call) {
    std::lock_guard<std::mutex> lock(mutex_);
    calls_.push_back(std::move(call));
}

void *RecordingHost::value_for(miState *state, void *parameter) {
    if (phen_eval) return phen_eval(state, parameter);
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = values_.find(parameter);
    if (it == values_.end()) return parameter;
    if (one_buffer) {
        std::memcpy(shared_buffer_, it->second.data(), it->second.size());
        return shared_buffer_;
    }
    handed_out_.push_back(it->second);
    return handed_out_.back().data();
}

namespace {

RecordingHost &the_host() {
    static RecordingHost host;
    return host;
}

HostCall call_named(const char *name) {
    HostCall c;
    c.name = name;
    return c;
}

void record_message(const char *name, int number, const char *format, va_list args) {
    HostCall c = call_named(name);
    c.code = number;
    c.format = format;
    char text[8192];
    std::vsnprintf(text, sizeof text, format, args);
    c.text = text;
    the_host().record(std::move(c));
}

void record_point(const char *name, miState *state, miVector *out, miVector *in, const float *m) {
    HostCall c = call_named(name);
    c.state = state;
    c.address = out;
    c.in = *in;
    the_host().record(std::move(c));
    host::point_transform(out, in, m);
}

}  // namespace
}  // namespace vek::test

using vek::test::the_host;

extern "C" {

VEK_EXPORT vek::test::RecordingHost *vek_recording_host() { return &the_host(); }

VEK_EXPORT void *mi_phen_eval(miState *state, void *parameter) {
    auto c = vek::test::call_named("mi_phen_eval");
    c.state = state;
    c.address = parameter;
    the_host().record(std::move(c));
    return the_host().value_for(state, parameter);
}

VEK_EXPORT void mi_opacity_set(miState *state, miColor *opacity) {
    auto c = vek::test::call_named("mi_opacity_set");
    c.state = state;
    c.address = opacity;
    c.color = *opacity;
    the_host().record(std::move(c));
    if (the_host().on_opacity_set) the_host().on_opacity_set(state, opacity);
}

VEK_EXPORT void mi_point_to_object(miState *state, miVector *out, miVector *in) {
    vek::test::record_point("mi_point_to_object", state, out, in, the_host().to_object);
}

VEK_EXPORT void mi_point_to_world(miState *state, miVector *out, miVector *in) {
    vek::test::record_point("mi_point_to_world", state, out, in, the_host().to_world);
}

VEK_EXPORT void mi_point_transform(miVector *out, miVector *in, miMatrix matrix) {
    auto c = vek::test::call_named("mi_point_transform");
    c.address = matrix;
    c.in = *in;
    the_host().record(std::move(c));
    vek::host::point_transform(out, in, matrix);
}

VEK_EXPORT miBoolean mi_query(int code, miState *state, miTag tag, void *result, ...) {
    auto c = vek::test::call_named("mi_query");
    c.code = code;
    c.state = state;
    c.tag = tag;
    c.address = result;
    va_list more;
    va_start(more, result);
    switch (code) {
    case 15:
    case 152:
    case 163:
        c.extra.push_back(static_cast<std::uintptr_t>(va_arg(more, int)));
        break;
    case 127:
        c.extra.push_back(reinterpret_cast<std::uintptr_t>(va_arg(more, void *)));
        break;
    case 165:
        c.extra.push_back(reinterpret_cast<std::uintptr_t>(va_arg(more, void *)));
        c.extra.push_back(static_cast<std::uintptr_t>(va_arg(more, int)));
        break;
    default:
        break;
    }
    va_end(more);
    the_host().record(std::move(c));
    if (code != 4 && code != 5) return the_host().other_query_answer;
    auto it = the_host().instances.find(tag);
    if (it == the_host().instances.end()) return 0;
    *static_cast<const float **>(result) = code == 5 ? it->second.local_to_world : it->second.world_to_local;
    return 1;
}

VEK_EXPORT void mi_matrix_ident(miMatrix matrix) {
    auto c = vek::test::call_named("mi_matrix_ident");
    c.address = matrix;
    the_host().record(std::move(c));
    vek::host::matrix_ident(matrix);
}

VEK_EXPORT void mi_matrix_rotate(miMatrix matrix, miScalar x, miScalar y, miScalar z) {
    auto c = vek::test::call_named("mi_matrix_rotate");
    c.address = matrix;
    c.angles[0] = x;
    c.angles[1] = y;
    c.angles[2] = z;
    the_host().record(std::move(c));
    vek::host::matrix_rotate(matrix, x, y, z);
}

VEK_EXPORT void mi_matrix_prod(miMatrix result, miMatrix a, miMatrix b) {
    auto c = vek::test::call_named("mi_matrix_prod");
    c.address = result;
    the_host().record(std::move(c));
    vek::host::matrix_prod(result, a, b);
}

#define VEK_PLAIN(ret, name, params, args, fallback)
#define VEK_QUERY(name)
#define VEK_MESSAGE(name)                                                          \
    VEK_EXPORT void name(const char *format, ...) {                                \
        va_list args;                                                              \
        va_start(args, format);                                                    \
        vek::test::record_message(#name, 0, format, args);                         \
        va_end(args);                                                              \
    }
#define VEK_NMESSAGE(name)                                                         \
    VEK_EXPORT void name(int number, const char *format, ...) {                    \
        va_list args;                                                              \
        va_start(args, format);                                                    \
        vek::test::record_message(#name, number, format, args);                    \
        va_end(args);                                                              \
    }
#include "host/host_functions.def"

}  // extern "C"

// A host for tests: it exports the host functions, records every call made to
// them, and answers as the test sets it up. It lives in a module of its own that
// the tests open with RTLD_LOCAL, so a plug-in can reach its functions only
// through the handle it is given.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "host/mi_types.h"

namespace vek::test {

struct HostCall {
    std::string name;                 // the host function called
    const miState *state = nullptr;
    const void *address = nullptr;    // mi_phen_eval: the parameter; mi_query: the result argument;
                                      // point functions: the output; matrix functions: the matrix
    miVector in{};                    // point functions: the input point
    int code = 0;                     // mi_query: the code; numbered messages: the number
    miTag tag = 0;                    // mi_query
    std::vector<std::uintptr_t> extra;  // mi_query: further arguments received, by code
    float angles[3] = {0, 0, 0};      // mi_matrix_rotate
    miColor color{};                  // mi_opacity_set
    std::string text;                 // messages: the text as the host printed it
    std::string format;               // messages: the format the host received
};

struct InstanceMatrices {
    float local_to_world[16];
    float world_to_local[16];
};

// The tests reach the module's object through its virtual functions only, so
// they link nothing of the module.
class RecordingHost {
public:
    RecordingHost();
    virtual ~RecordingHost() = default;
    // Resets answers and forgets every call.
    virtual void reset();

    // mi_phen_eval answers with this when set; otherwise with the parameter's own address.
    std::function<void *(miState *state, void *parameter)> phen_eval;

    // Values mi_phen_eval hands back for given parameter addresses. With one_buffer,
    // every value is copied into the same host location before it is handed out.
    virtual void set_value(const void *parameter, const void *bytes, std::size_t size);
    template <typename T>
    void set_value(const T *parameter, const T &value) { set_value(parameter, &value, sizeof value); }
    bool one_buffer = false;

    // Called inside mi_opacity_set, to look at the sample as it stands then.
    std::function<void(miState *state, const miColor *opacity)> on_opacity_set;

    // Point conversions: internal -> object and internal -> world (identity by default).
    float to_object[16];
    float to_world[16];

    // mi_query codes 5 (local to world) and 4 (world to local) on these tags;
    // any other tag or code answers false.
    std::map<miTag, InstanceMatrices> instances;
    virtual void add_instance(miTag tag, const float *local_to_world);  // the inverse is computed

    // mi_query's answer to every code not 4 or 5 (tests of forwarding).
    miBoolean other_query_answer = 0;

    virtual std::vector<HostCall> calls() const;
    virtual std::vector<std::string> call_names() const;
    virtual std::size_t count(const std::string &name) const;
    virtual void clear_calls();

    // Used by the exported host functions.
    virtual void record(HostCall call);
    virtual void *value_for(miState *state, void *parameter);

private:
    mutable std::mutex mutex_;
    std::vector<HostCall> calls_;
    std::map<const void *, std::vector<unsigned char>> values_;
    alignas(16) unsigned char shared_buffer_[64];
    std::vector<std::vector<unsigned char>> handed_out_;
};

// The name under which the module exports its RecordingHost.
constexpr const char *recording_host_symbol = "vek_recording_host";
using RecordingHostAccessor = RecordingHost *(*)();

}  // namespace vek::test

// Inside the stand-in host: what a loaded network and a shading context hold,
// shared by the network loader and the host functions.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "stand_in_host/network.h"
#include "stand_in_host/plugin_module.h"

namespace vek::host {

// The record a plug-in sees as its current shader record; the host's own part
// (which node it belongs to) follows the part the plug-ins read.
struct Node;

// Where one 32-bit unit of a parameter block is connected from. The node and
// its result's place are filled once the network is loaded, so that an
// evaluation goes from the parameter's place in the block to the node to run
// without any other look-up.
struct Link {
    int source = -1;             // node index, -1 when the unit is not connected
    int offset = 0;              // bytes into the source's result record (a struct member)
    const Node *node = nullptr;  // the source node, nullptr when not connected
    int result_at = 0;           // bytes into a context's result area: the source's result record
};

struct NodeRecord {
    miShaderRecord record;
    int node;
    // The node's block, its size in bytes and its links (one per 32-bit unit),
    // set once the network is loaded.
    const unsigned char *block = nullptr;
    std::ptrdiff_t block_size = 0;
    const Link *links = nullptr;
};

struct LoadedPlugin {
    Plugin plugin;
    miBoolean per_instance_init = 0;
};

struct Node {
    std::string name;
    Declaration declaration;
    LoadedPlugin *plugin = nullptr;
    std::vector<std::uint32_t> words;  // the block, the array elements after it, then the marker area
    NodeRecord record{};
    std::vector<Link> links;           // one per 32-bit unit of the block
    ShaderFn shader = nullptr;
    void *block() { return words.data(); }
    const void *block() const { return words.data(); }
};

struct Network::Impl {
    std::string file;
    nlohmann::ordered_json document;
    std::map<std::string, std::unique_ptr<LoadedPlugin>> plugins;
    std::vector<std::unique_ptr<Node>> nodes;
    std::vector<Instance> instances;  // instances[tag - 1]
    int output = -1;
    std::string output_member;
    int output_offset = 0;
    ValueType output_type = ValueType::color;
    std::vector<Channel> channels;
    int colour_at = -1;               // when the channels are one colour's four floats: where they start
    std::vector<int> result_offset;   // per node, in 32-bit units of a context's result area
    int result_words = 0;
    const Node *output_node = nullptr;  // nodes[output], and its result's place in bytes
    int output_result_at = 0;

    const Instance *instance(miTag tag) const {
        return tag >= 1 && tag <= instances.size() ? &instances[tag - 1] : nullptr;
    }
    ~Impl();
};

struct ShadingContext::Impl {
    miState state;  // first: the plug-ins' state address is this record's
    const Network::Impl *network = nullptr;
    miVector tex_list[1];
    miColor opacity{1, 1, 1, 1};
    bool opacity_set = false;
    std::vector<std::uint32_t> results;

    void *result(int node) { return results.data() + network->result_offset[node]; }

    // Runs a node on this thread with the state's shader record switched to the
    // node's, and restored after; returns its result record, `result_at` bytes
    // into the result area.
    void *run(const Node &n, int result_at) {
        miShaderRecord *saved = state.shader;
        state.shader = const_cast<miShaderRecord *>(&n.record.record);
        void *out = reinterpret_cast<unsigned char *>(results.data()) + result_at;
        n.shader(out, &state, const_cast<unsigned char *>(n.record.block));
        state.shader = saved;
        return out;
    }
    void *run(int node) { return run(*network->nodes[node], network->result_offset[node] * 4); }
};

// The handle of the module that exports the host functions (this library).
void *host_module_handle();
// The context shading on this thread, for host calls that get no state. It is
// set on every sample; the programs that use this library link it, so its one
// pointer of thread-local storage takes the initial-exec model and is reached
// with one store, without a call to find it.
#if defined(__ELF__)
#define VEK_HOST_CONTEXT_TLS __attribute__((tls_model("initial-exec"), visibility("hidden")))
#else
#define VEK_HOST_CONTEXT_TLS
#endif
extern thread_local ShadingContext::Impl *current_shading_context VEK_HOST_CONTEXT_TLS;
inline ShadingContext::Impl *&current_context() { return current_shading_context; }

}  // namespace vek::host

// Shader networks for the stand-in host: nodes (shader instances with parameter
// values), connections from a parameter to another node's result or to one
// member of a struct result, scene instances, and the per-thread shading
// context that shades one sample.
//
// The host functions (mi_phen_eval, mi_query, ...) live in the shared library
// vek_stand_in_host itself, which every program using this header links; the
// library hands each plug-in its own module handle, so nothing needs to be
// exported from the program.
//
// Network file (JSON):
//   {
//     "instances": { "ref": { "translate": [x, y, z], "rotate": [degrees x, y, z], "scale": [x, y, z] } },
//     "object":    { "translate": ..., "rotate": ..., "scale": ... },   // the shaded swatch (identity if absent)
//     "nodes": {
//       "grid": { "shader": "Vek_Grid_MultiOut", "params": { "pattern": 2, "cell_size": [0.25, 0.25, 1] } },
//       "mix":  { "shader": "Vek_Mixer", "params": { "color1": { "connect": "grid.color" },
//                                                    "color2": [1, 0, 0, 1] } },
//       "dist": { "shader": "Vek_Distance", "params": { "references": ["ref"] } }
//     },
//     "output": "mix"            // a node, or "node.member" of a struct result
//   }
// Values: scalar a number; integer a whole number; boolean true/false (or 0/1);
// color [r, g, b] or [r, g, b, a] (alpha 1 when left out); vector [x, y, z];
// tag the name of an instance; arrays a JSON array of such values. A value may
// instead be { "connect": "node" } / { "connect": "node.member" }, or the
// string "=node" / "=node.member". Parameters left out take their declared
// defaults. Other top-level keys are left to the tools (see document()).
//
// Overrides "node.parameter=value": the value is read as JSON when it parses as
// JSON (3, [1,0,0], true, "=grid.value"), otherwise as a bare string
// (an instance name, "=grid.value"); "r g b" or "x y z" with blanks is read as a
// list of numbers.
//
// Spaces: the host's internal space is world space. The swatch is the object
// being shaded (tag object_tag), placed by "object"; mi_point_to_object carries
// a point by its world-to-local matrix. Instances get tags from 2 on, in file
// order; mi_query 5 / 4 answer their local-to-world / world-to-local matrices.
//
// Opacity: mi_opacity_set keeps the colour for the current sample only. shade()
// tells whether a shader set one; the swatch renderer writes it as an extra
// channel ("opacity", the colour's alpha) and writes 1 where none was set. It
// never replaces the output's own alpha.
#pragma once

#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "host/mi_types.h"
#include "stand_in_host/declaration.h"

namespace vek::host {

// Bad input: one message naming the file, the node and the parameter that it
// concerns (any of them may be empty when the fault lies above that level).
struct NetworkError : std::runtime_error {
    NetworkError(std::string file, std::string node, std::string parameter, const std::string &what);
    std::string file, node, parameter, problem;
};

struct LoadOptions {
    std::vector<std::string> search_path;  // directories holding plug-ins and their .mi files
    std::vector<std::string> overrides;    // "node.parameter=value"
    std::string output;                    // replaces the file's "output" when not empty
};

// One float channel of the chosen output.
struct Channel {
    std::string name;   // "R", "G", "B", "A" for a colour; "X", "Y", "Z" for a vector; "value" for one
                        // number; "<member>.R" ... or "<member>" for the members of a struct
    int offset = 0;     // bytes from the start of the output node's result record
    ValueType type = ValueType::scalar;  // scalar: a float; integer / boolean / tag: converted to float
};

constexpr miTag object_tag = 1;

struct Instance {
    std::string name;
    miTag tag = 0;
    float local_to_world[16];
    float world_to_local[16];
};

class Network;

// One thread's shading state: the miState the plug-ins see, the texture-space
// list and one result record per node, all prepared once. Create one per thread
// and keep it; shade() allocates nothing and takes no lock.
class ShadingContext {
public:
    explicit ShadingContext(const Network &network);
    ~ShadingContext();
    ShadingContext(const ShadingContext &) = delete;
    ShadingContext &operator=(const ShadingContext &) = delete;

    // Shades one sample at `point` (internal space), texture space 0 being
    // (u, v, 0), and writes network.channels().size() floats. Returns true when
    // a shader set an opacity for this sample (see opacity()).
    bool shade(const miVector &point, float u, float v, float *channels);
    const miColor &opacity() const;

    // The raw result record of a node as its last run left it (inspection, tests).
    const void *node_result(int node) const;

    struct Impl;

private:
    std::unique_ptr<Impl> impl_;
};

class Network {
public:
    // Reads a network file; every fault throws NetworkError.
    static std::unique_ptr<Network> load_file(const std::string &path, const LoadOptions &options);
    // The same from a text; `file` names it in messages.
    static std::unique_ptr<Network> load_text(const std::string &text, const std::string &file,
                                              const LoadOptions &options);
    ~Network();
    Network(const Network &) = delete;
    Network &operator=(const Network &) = delete;

    const std::vector<Channel> &channels() const;
    // What the output is: its type (structure for a whole struct result), node and member.
    ValueType output_type() const;
    const std::string &output_node() const;
    const std::string &output_member() const;

    // The whole file as read (before overrides), for the tools' own keys.
    const nlohmann::ordered_json &document() const;
    const std::string &file() const;

    int node_index(const std::string &name) const;  // -1 if there is none
    int node_count() const;
    const std::string &node_name(int node) const;
    const Declaration &node_declaration(int node) const;
    // The node's parameter block as the plug-in sees it, and its shader record.
    const void *node_block(int node) const;
    const miShaderRecord *node_record(int node) const;

    const std::vector<Instance> &instances() const;  // the swatch object first
    const Instance *instance(miTag tag) const;
    miTag instance_tag(const std::string &name) const;  // 0 if there is none

    struct Impl;
    const Impl &impl() const { return *impl_; }

private:
    Network();
    std::unique_ptr<Impl> impl_;
};

}  // namespace vek::host

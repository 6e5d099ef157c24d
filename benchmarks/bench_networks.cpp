#include "benchmarks/bench_networks.h"

#include <cstring>
#include <stdexcept>

#include "stand_in_host/declaration.h"
#include "tools/swatch/gallery.h"

namespace vek::bench {

std::vector<std::string> search_path() { return {VEK_PLUGIN_DIR, VEK_BENCH_PLUGIN_DIR}; }

std::unique_ptr<host::Network> load(const json &doc, const std::string &name, const std::string &output) {
    host::LoadOptions options;
    options.search_path = search_path();
    options.output = output;
    return host::Network::load_text(doc.dump(), name, options);
}

json single_node(const std::string &shader, json params, const std::string &output, json instances) {
    json doc;
    if (!instances.is_null() && !instances.empty()) doc["instances"] = std::move(instances);
    doc["nodes"] = json{{"n", json{{"shader", shader}, {"params", std::move(params)}}}};
    doc["output"] = output;
    return doc;
}

namespace {

bool is_connection(const json &value) {
    if (value.is_object()) return value.contains("connect");
    if (value.is_string()) {
        const std::string s = value.get<std::string>();
        return !s.empty() && s[0] == '=';
    }
    return false;
}

// The stored value of one parameter as the network file writes it.
json stored_value(const unsigned char *block, const host::ParameterDecl &p) {
    auto f = [&](int i) {
        float v;
        std::memcpy(&v, block + p.offset + 4 * i, 4);
        return v;
    };
    int i;
    std::memcpy(&i, block + p.offset, 4);
    switch (p.type) {
    case host::ValueType::color: return json::array({f(0), f(1), f(2), f(3)});
    case host::ValueType::vector: return json::array({f(0), f(1), f(2)});
    case host::ValueType::scalar: return f(0);
    case host::ValueType::integer: return i;
    case host::ValueType::boolean: return i != 0;
    default: return nullptr;
    }
}

const char *constant_member(host::ValueType type) {
    switch (type) {
    case host::ValueType::color: return "color";
    case host::ValueType::vector: return "vector";
    case host::ValueType::scalar: return "scalar";
    case host::ValueType::integer: return "integer";
    case host::ValueType::boolean: return "boolean";
    default: return nullptr;
    }
}

}  // namespace

json connected_variant(const json &doc, const std::string &node) {
    const auto stored = load(doc, "stored");
    const int index = stored->node_index(node);
    const host::Declaration &d = stored->node_declaration(index);
    const auto *block = static_cast<const unsigned char *>(stored->node_block(index));
    json out = doc;
    json params = out["nodes"][node]["params"];
    if (params.is_null()) params = json::object();
    json constants = json::object();
    int k = 0;
    for (const host::ParameterDecl &p : d.parameters) {
        const char *member = constant_member(p.type);
        if (p.is_array || member == nullptr) continue;
        if (params.contains(p.name) && is_connection(params[p.name])) continue;
        const std::string name = "k" + std::to_string(k++) + "_" + p.name;
        constants[name] = json{{"shader", "Vek_Bench_Constant"}, {"params", json{{member, stored_value(block, p)}}}};
        params[p.name] = "=" + name + "." + member;
    }
    out["nodes"][node]["params"] = params;
    for (auto &[name, constant] : constants.items()) out["nodes"][name] = constant;
    return out;
}

json constant_color_network() {
    return single_node("Vek_Bench_Constant", json{{"color", json::array({0.25, 0.5, 0.75, 1.0})}}, "n.color");
}

json gallery_network(const std::string &stem) {
    for (const swatch::GalleryItem &item : swatch::gallery_items())
        if (item.stem == stem) return item.network;
    throw std::runtime_error("the gallery has no network \"" + stem + "\"");
}

}  // namespace vek::bench

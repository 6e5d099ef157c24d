// The networks the benchmarks render: single nodes of each shader with its
// settings, their variants with every parameter connected to a constant node,
// and the gallery's networks.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "stand_in_host/network.h"

namespace vek::bench {

using json = nlohmann::ordered_json;

// The pack's plug-ins, then the benchmarks' own (the constant node).
std::vector<std::string> search_path();

std::unique_ptr<host::Network> load(const json &doc, const std::string &name, const std::string &output = "");

// A one-node network of `shader` with `params`, its output the node ("n") or
// one member of it.
json single_node(const std::string &shader, json params, const std::string &output = "n", json instances = {});

// The same network with every parameter of node `node` that holds a stored
// value connected to a constant node of its own that holds the same value.
json connected_variant(const json &doc, const std::string &node);

// A network of one constant colour: the baseline of the renderer's figures.
json constant_color_network();

// The gallery's network of that stem; throws when there is none.
json gallery_network(const std::string &stem);

}  // namespace vek::bench

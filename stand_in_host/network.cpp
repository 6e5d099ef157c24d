#include "stand_in_host/network.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <cstring>
#include <fstream>
#include <limits>
#include <sstream>

#include "stand_in_host/matrix.h"
#include "stand_in_host/network_impl.h"

namespace vek::host {

namespace {

std::string compose(const std::string &file, const std::string &node, const std::string &parameter,
                    const std::string &what) {
    std::string out = file.empty() ? std::string("(network)") : file;
    if (!node.empty()) out += ": node \"" + node + "\"";
    if (!parameter.empty()) out += ": parameter \"" + parameter + "\"";
    return out + ": " + what;
}

using json = nlohmann::ordered_json;

// Reports faults of one file, node and parameter.
struct Where {
    std::string file, node, parameter;
    [[noreturn]] void fail(const std::string &what) const { throw NetworkError(file, node, parameter, what); }
    Where at_node(const std::string &n) const { return {file, n, ""}; }
    Where at_parameter(const std::string &p) const { return {file, node, p}; }
};

std::string shown(const json &value) {
    std::string s = value.dump();
    return s.size() > 60 ? s.substr(0, 57) + "..." : s;
}

miVector vector_of(const json &value, const Where &where, const char *what) {
    if (!value.is_array() || value.size() != 3 || !value[0].is_number() || !value[1].is_number() ||
        !value[2].is_number())
        where.fail(std::string(what) + " must be a list of 3 numbers, got " + shown(value));
    return {value[0].get<float>(), value[1].get<float>(), value[2].get<float>()};
}

// translate, rotate (degrees) and scale of an instance or of the swatch object.
void place(Instance &instance, const json &entry, const Where &where) {
    miVector t{0, 0, 0}, r{0, 0, 0}, s{1, 1, 1};
    if (!entry.is_object()) where.fail("an instance must be an object with translate, rotate and scale");
    for (const auto &[key, value] : entry.items()) {
        if (key == "translate") t = vector_of(value, where, "translate");
        else if (key == "rotate") r = vector_of(value, where, "rotate");
        else if (key == "scale") s = vector_of(value, where, "scale");
        else where.fail("unknown key \"" + key + "\" (an instance has translate, rotate and scale)");
    }
    matrix_from_trs(instance.local_to_world, t, r, s);
    if (!matrix_invert(instance.world_to_local, instance.local_to_world))
        where.fail("the instance's scale makes its matrix singular");
}

struct Connection {
    int node;
    const ParameterDecl *parameter;
    std::string source;  // "node" or "node.member"
};

// A connection written as {"connect": "a.b"} or "=a.b"; empty if the value is none.
std::string connection_of(const json &value, const Where &where) {
    if (value.is_object()) {
        if (value.size() != 1 || !value.contains("connect") || !value["connect"].is_string())
            where.fail("a connection must be {\"connect\": \"node\"} or {\"connect\": \"node.member\"}, got " +
                       shown(value));
        return value["connect"].get<std::string>();
    }
    if (value.is_string()) {
        const std::string s = value.get<std::string>();
        if (!s.empty() && s[0] == '=') return s.substr(1);
    }
    return {};
}

void store_number(std::uint32_t *at, ValueType type, const json &value, const Where &where) {
    switch (type) {
    case ValueType::scalar: {
        if (!value.is_number()) where.fail("expected a scalar (a number), got " + shown(value));
        const float f = value.get<float>();
        std::memcpy(at, &f, 4);
        return;
    }
    case ValueType::integer: {
        const double d = value.is_number() ? value.get<double>() : 0.5;
        if (!value.is_number() || d != std::floor(d) || d < std::numeric_limits<int>::min() ||
            d > std::numeric_limits<int>::max())
            where.fail("expected an integer (a whole number), got " + shown(value));
        const int i = static_cast<int>(d);
        std::memcpy(at, &i, 4);
        return;
    }
    case ValueType::boolean: {
        int b;
        if (value.is_boolean()) b = value.get<bool>() ? 1 : 0;
        else if (value.is_number_integer() && (value.get<long long>() == 0 || value.get<long long>() == 1))
            b = static_cast<int>(value.get<long long>());
        else where.fail("expected a boolean (true or false), got " + shown(value));
        std::memcpy(at, &b, 4);
        return;
    }
    case ValueType::color:
    case ValueType::vector: {
        const std::size_t n = type == ValueType::color ? 4 : 3;
        bool ok = value.is_array() && (value.size() == n || (n == 4 && value.size() == 3));
        for (std::size_t i = 0; ok && i < value.size(); ++i) ok = value[i].is_number();
        if (!ok)
            where.fail(type == ValueType::color ? "expected a color (a list of 3 or 4 numbers), got " + shown(value)
                                                : "expected a vector (a list of 3 numbers), got " + shown(value));
        for (std::size_t i = 0; i < n; ++i) {
            const float f = i < value.size() ? value[i].get<float>() : 1.0f;
            std::memcpy(at + i, &f, 4);
        }
        return;
    }
    default: break;
    }
}

class Loader {
public:
    Loader(Network::Impl &net, const LoadOptions &options) : net_(net), options_(options) {}

    void load(const json &doc) {
        const Where top{net_.file, "", ""};
        if (!doc.is_object()) top.fail("a network must be a JSON object");
        instances(doc, top);
        if (!doc.contains("nodes") || !doc["nodes"].is_object() || doc["nodes"].empty())
            top.fail("a network needs \"nodes\": an object of named nodes");
        std::vector<json> params;
        for (const auto &[name, entry] : doc["nodes"].items()) {
            if (name.empty() || name.find('.') != std::string::npos || name.find('=') != std::string::npos)
                top.at_node(name).fail("a node name must be non-empty and hold no '.' or '='");
            params.push_back(node(name, entry, top.at_node(name)));
        }
        overrides(params, top);
        for (std::size_t i = 0; i < params.size(); ++i) values(static_cast<int>(i), params[i]);
        connect(top);
        no_cycles(top);
        output(doc, top);
        results();
    }

private:
    void instances(const json &doc, const Where &top) {
        Instance object;
        object.name = "(swatch object)";
        object.tag = object_tag;
        place(object, doc.contains("object") ? doc["object"] : json::object(), top.at_parameter("object"));
        net_.instances.push_back(object);
        if (!doc.contains("instances")) return;
        if (!doc["instances"].is_object()) top.fail("\"instances\" must be an object of named instances");
        for (const auto &[name, entry] : doc["instances"].items()) {
            Instance instance;
            instance.name = name;
            instance.tag = static_cast<miTag>(net_.instances.size() + 1);
            place(instance, entry, Where{net_.file, "", "instance \"" + name + "\""});
            net_.instances.push_back(instance);
        }
    }

    LoadedPlugin *plugin(const std::string &shader, const Declaration &declaration, const Where &where) {
        auto it = net_.plugins.find(shader);
        if (it != net_.plugins.end()) return it->second.get();
        auto loaded = std::make_unique<LoadedPlugin>();
        try {
            loaded->plugin = Plugin::load(shader, options_.search_path);
        } catch (const PluginError &e) {
            where.fail(e.what());
        }
        const int version = loaded->plugin.version();
        if (declaration.version != 0 && declaration.version != version)
            where.fail("the declaration in \"" + declaration.file + "\" is of version " +
                       std::to_string(declaration.version) + " but the plug-in \"" + loaded->plugin.path() +
                       "\" is of version " + std::to_string(version));
        loaded->plugin.attach(host_module_handle());
        miBoolean request = 0;
        loaded->plugin.init(nullptr, nullptr, &request);
        loaded->per_instance_init = request;
        return (net_.plugins[shader] = std::move(loaded)).get();
    }

    json node(const std::string &name, const json &entry, const Where &where) {
        if (!entry.is_object() || !entry.contains("shader") || !entry["shader"].is_string())
            where.fail("a node must be an object with \"shader\": the shader's name");
        json params = json::object();
        for (const auto &[key, value] : entry.items()) {
            if (key == "params") {
                if (!value.is_object()) where.fail("\"params\" must be an object of parameter values");
                params = value;
            } else if (key != "shader") {
                where.fail("unknown key \"" + key + "\" (a node has shader and params)");
            }
        }
        const std::string shader = entry["shader"].get<std::string>();
        auto n = std::make_unique<Node>();
        n->name = name;
        try {
            n->declaration = load_declaration(shader, options_.search_path);
        } catch (const DeclarationError &e) {
            bool has_plugin = false;
            for (const auto &dir : options_.search_path) {
                std::ifstream probe(dir + "/" + plugin_file_name(shader));
                has_plugin = has_plugin || probe.good();
            }
            if (!has_plugin)
                where.fail("unknown shader \"" + shader + "\": no plug-in \"" + plugin_file_name(shader) +
                           "\" nor declaration in the search path");
            where.fail(e.what());
        }
        n->plugin = plugin(shader, n->declaration, where);
        n->shader = n->plugin->plugin.shader;
        n->record.node = static_cast<int>(net_.nodes.size());
        net_.nodes.push_back(std::move(n));
        return params;
    }

    void overrides(std::vector<json> &params, const Where &top) {
        for (const auto &text : options_.overrides) {
            const Where where{net_.file, "", "override \"" + text + "\""};
            const auto eq = text.find('=');
            const auto dot = text.find('.');
            if (eq == std::string::npos || dot == std::string::npos || dot > eq)
                where.fail("an override is node.parameter=value");
            const std::string node = text.substr(0, dot), parameter = text.substr(dot + 1, eq - dot - 1);
            const int index = find_node(node);
            if (index < 0) Where{net_.file, node, parameter}.fail("override of an unknown node");
            const std::string raw = text.substr(eq + 1);
            json value = json::parse(raw, nullptr, false);
            if (value.is_discarded()) {
                // "1 0 0" is a list of numbers; anything else a bare string.
                std::istringstream words(raw);
                json list = json::array();
                std::string word;
                bool numbers = raw.find(' ') != std::string::npos;
                while (numbers && words >> word) {
                    json n = json::parse(word, nullptr, false);
                    numbers = n.is_number();
                    list.push_back(n);
                }
                value = numbers ? list : json(raw);
            }
            params[index][parameter] = value;
        }
        (void)top;
    }

    int find_node(const std::string &name) const {
        for (std::size_t i = 0; i < net_.nodes.size(); ++i)
            if (net_.nodes[i]->name == name) return static_cast<int>(i);
        return -1;
    }

    miTag tag_of(const json &value, const Where &where) const {
        if (value.is_number_unsigned()) return value.get<miTag>();
        if (!value.is_string()) where.fail("expected a tag (the name of an instance), got " + shown(value));
        const std::string name = value.get<std::string>();
        for (const auto &instance : net_.instances)
            if (instance.name == name && instance.tag != object_tag) return instance.tag;
        where.fail("unknown instance \"" + name + "\"");
    }

    void store(std::uint32_t *at, ValueType type, const json &value, const Where &where) const {
        if (type == ValueType::tag) {
            const miTag tag = tag_of(value, where);
            std::memcpy(at, &tag, 4);
        } else {
            store_number(at, type, value, where);
        }
    }

    // Defaults, then the given values; array elements go after the block, where
    // the start index points.
    void values(int index, const json &params) {
        Node &n = *net_.nodes[index];
        const Declaration &d = n.declaration;
        const Where where{net_.file, n.name, ""};
        n.words.assign(d.block_size / 4, 0);
        for (const auto &p : d.parameters) {
            if (p.is_array || p.default_value.empty()) continue;
            json def = json::array();
            for (double v : p.default_value) def.push_back(v);
            if (def.size() == 1) def = def[0];
            if (p.type == ValueType::boolean) def = p.default_value[0] != 0;
            store(&n.words[p.offset / 4], p.type, def, where.at_parameter(p.name));
        }
        for (const auto &[name, value] : params.items()) {
            const Where at = where.at_parameter(name);
            const ParameterDecl *p = d.parameter(name);
            if (p == nullptr) at.fail("unknown parameter of shader \"" + d.shader + "\"");
            const std::string source = connection_of(value, at);
            if (!source.empty()) {
                if (p->is_array) at.fail("an array parameter cannot be connected");
                connections_.push_back({index, p, source});
                continue;
            }
            if (!p->is_array) {
                store(&n.words[p->offset / 4], p->type, value, at);
                continue;
            }
            // A list of elements, or one element alone.
            const bool compound = p->type == ValueType::color || p->type == ValueType::vector;
            const bool is_list = value.is_array() && (!compound || value.empty() || value[0].is_array());
            const json list = is_list ? value : json::array({value});
            const int size = type_size(p->type) / 4;
            const int first = p->offset / 4 + 2;
            int tail = static_cast<int>(n.words.size());
            while ((tail - first) % size != 0) ++tail;
            const int start = (tail - first) / size;
            const int count = static_cast<int>(list.size());
            n.words.resize(tail + count * size, 0);
            for (int k = 0; k < count; ++k) store(&n.words[tail + k * size], p->type, list[k], at);
            std::memcpy(&n.words[p->offset / 4], &start, 4);
            std::memcpy(&n.words[p->offset / 4 + 1], &count, 4);
        }
    }

    // Markers and links; the marker area follows everything in the node's words.
    void connect(const Where &top) {
        for (auto &n : net_.nodes) n->links.assign(n->declaration.block_size / 4, Link{});
        for (const auto &c : connections_) {
            Node &n = *net_.nodes[c.node];
            const Where at = top.at_node(n.name).at_parameter(c.parameter->name);
            const auto dot = c.source.find('.');
            const std::string source = c.source.substr(0, dot);
            const std::string member = dot == std::string::npos ? "" : c.source.substr(dot + 1);
            const int s = find_node(source);
            if (s < 0) at.fail("connected to \"" + c.source + "\", but there is no node \"" + source + "\"");
            const Declaration &sd = net_.nodes[s]->declaration;
            ValueType type = sd.result_type;
            int offset = 0;
            if (!member.empty()) {
                const Member *m = sd.member(member);
                if (sd.result_type != ValueType::structure || m == nullptr)
                    at.fail("connected to \"" + c.source + "\", but shader \"" + sd.shader + "\" of node \"" +
                            source + "\" has no result member \"" + member + "\"");
                type = m->type;
                offset = m->offset;
            } else if (type == ValueType::structure) {
                at.fail("connected to \"" + c.source + "\", whose result is a struct: name one member, as \"" +
                        source + "." + sd.members.front().name + "\"");
            }
            if (type != c.parameter->type)
                at.fail("a " + std::string(type_name(c.parameter->type)) + " parameter cannot take \"" + c.source +
                        "\", a " + type_name(type));
            n.links[c.parameter->offset / 4] = Link{s, offset};
        }
        for (auto &n : net_.nodes) {
            const int markers = static_cast<int>(n->words.size());
            n->words.resize(markers + n->declaration.block_size / 4, 0);
            bool any = false;
            for (std::size_t u = 0; u < n->links.size(); ++u)
                if (n->links[u].source >= 0) {
                    n->words[markers + u] = 1;
                    any = true;
                }
            n->record.record.eval_flag = any ? 1 : 0;
            n->record.record.marker_offset = markers * 4;
            if (n->plugin->per_instance_init) {
                miBoolean again = 0;
                n->plugin->plugin.init(nullptr, n->block(), &again);
            }
        }
    }

    void no_cycles(const Where &top) {
        const int count = static_cast<int>(net_.nodes.size());
        std::vector<int> mark(count, 0);  // 0 unvisited, 1 on the path, 2 done
        std::vector<std::string> path;
        std::function<void(int)> visit = [&](int i) {
            mark[i] = 1;
            const Node &n = *net_.nodes[i];
            for (const auto &p : n.declaration.parameters) {
                if (p.is_array) continue;
                const Link &l = n.links[p.offset / 4];
                if (l.source < 0) continue;
                path.push_back(n.name + "." + p.name);
                if (mark[l.source] == 1) {
                    std::string loop;
                    for (const auto &step : path) loop += step + " -> ";
                    top.at_node(n.name).at_parameter(p.name).fail("cycle of connections: " + loop +
                                                                  net_.nodes[l.source]->name);
                }
                if (mark[l.source] == 0) visit(l.source);
                path.pop_back();
            }
            mark[i] = 2;
        };
        for (int i = 0; i < count; ++i)
            if (mark[i] == 0) visit(i);
    }

    void output(const json &doc, const Where &top) {
        std::string name = options_.output;
        if (name.empty() && doc.contains("output")) {
            if (!doc["output"].is_string()) top.fail("\"output\" must name a node or node.member");
            name = doc["output"].get<std::string>();
        }
        if (name.empty()) {
            if (net_.nodes.size() != 1) top.fail("no \"output\": name the node (or node.member) to render");
            name = net_.nodes[0]->name;
        }
        const auto dot = name.find('.');
        const std::string node = name.substr(0, dot);
        const std::string member = dot == std::string::npos ? "" : name.substr(dot + 1);
        net_.output = find_node(node);
        const Where at{net_.file, node, ""};
        if (net_.output < 0) at.fail("the output names no node of the network");
        const Declaration &d = net_.nodes[net_.output]->declaration;
        net_.output_member = member;
        net_.output_type = d.result_type;
        auto add = [&](const std::string &prefix, ValueType type, int offset) {
            static const char *rgba[] = {"R", "G", "B", "A"};
            static const char *xyz[] = {"X", "Y", "Z"};
            const std::string p = prefix.empty() ? "" : prefix + ".";
            if (type == ValueType::color)
                for (int i = 0; i < 4; ++i) net_.channels.push_back({p + rgba[i], offset + 4 * i, ValueType::scalar});
            else if (type == ValueType::vector)
                for (int i = 0; i < 3; ++i) net_.channels.push_back({p + xyz[i], offset + 4 * i, ValueType::scalar});
            else net_.channels.push_back({prefix.empty() ? "value" : prefix, offset, type});
        };
        if (!member.empty()) {
            const Member *m = d.member(member);
            if (d.result_type != ValueType::structure || m == nullptr)
                at.fail("the output names \"" + name + "\", but shader \"" + d.shader + "\" has no result member \"" +
                        member + "\"");
            net_.output_type = m->type;
            net_.output_offset = m->offset;
            add("", m->type, m->offset);
        } else if (d.result_type == ValueType::structure) {
            for (const auto &m : d.members)
                if (m.type == ValueType::color || m.type == ValueType::vector) add(m.name, m.type, m.offset);
                else net_.channels.push_back({m.name, m.offset, m.type});
        } else {
            add("", d.result_type, 0);
        }
    }

    void results() {
        int words = 0;
        for (const auto &n : net_.nodes) {
            net_.result_offset.push_back(words);
            words += (std::max(n->declaration.result_size, 4) + 15) / 16 * 4;
        }
        net_.result_words = words;
        for (auto &n : net_.nodes) {
            for (Link &l : n->links)
                if (l.source >= 0) {
                    l.node = net_.nodes[l.source].get();
                    l.result_at = net_.result_offset[l.source] * 4;
                }
            n->record.block = static_cast<const unsigned char *>(n->block());
            n->record.block_size = n->declaration.block_size;
            n->record.links = n->links.data();
        }
        net_.output_node = net_.nodes[net_.output].get();
        const auto &ch = net_.channels;
        bool colour = ch.size() == 4;
        for (std::size_t i = 0; colour && i < 4; ++i)
            colour = ch[i].type == ValueType::scalar && ch[i].offset == ch[0].offset + 4 * static_cast<int>(i);
        net_.colour_at = colour ? ch[0].offset : -1;
        net_.output_result_at = net_.result_offset[net_.output] * 4;
    }

    Network::Impl &net_;
    const LoadOptions &options_;
    std::vector<Connection> connections_;
};

}  // namespace

NetworkError::NetworkError(std::string f, std::string n, std::string p, const std::string &what)
    : std::runtime_error(compose(f, n, p, what)), file(std::move(f)), node(std::move(n)), parameter(std::move(p)),
      problem(what) {}

Network::Impl::~Impl() {
    for (auto &n : nodes)
        if (n->plugin && n->plugin->per_instance_init) n->plugin->plugin.exit(nullptr, n->block());
    for (auto &[name, p] : plugins) p->plugin.exit(nullptr, nullptr);
}

Network::Network() : impl_(std::make_unique<Impl>()) {}
Network::~Network() = default;

std::unique_ptr<Network> Network::load_text(const std::string &text, const std::string &file,
                                            const LoadOptions &options) {
    std::unique_ptr<Network> net(new Network);
    net->impl_->file = file;
    try {
        net->impl_->document = json::parse(text);
    } catch (const json::exception &e) {
        throw NetworkError(file, "", "", std::string("malformed JSON: ") + e.what());
    }
    Loader(*net->impl_, options).load(net->impl_->document);
    return net;
}

std::unique_ptr<Network> Network::load_file(const std::string &path, const LoadOptions &options) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    if (in) text << in.rdbuf();
    if (!in || in.bad()) throw NetworkError(path, "", "", "cannot be read");
    return load_text(text.str(), path, options);
}

const std::vector<Channel> &Network::channels() const { return impl_->channels; }
ValueType Network::output_type() const { return impl_->output_type; }
const std::string &Network::output_node() const { return impl_->nodes[impl_->output]->name; }
const std::string &Network::output_member() const { return impl_->output_member; }
const nlohmann::ordered_json &Network::document() const { return impl_->document; }
const std::string &Network::file() const { return impl_->file; }
int Network::node_count() const { return static_cast<int>(impl_->nodes.size()); }
const std::string &Network::node_name(int node) const { return impl_->nodes[node]->name; }
const Declaration &Network::node_declaration(int node) const { return impl_->nodes[node]->declaration; }
const void *Network::node_block(int node) const { return impl_->nodes[node]->block(); }
const miShaderRecord *Network::node_record(int node) const { return &impl_->nodes[node]->record.record; }
const std::vector<Instance> &Network::instances() const { return impl_->instances; }
const Instance *Network::instance(miTag tag) const { return impl_->instance(tag); }

int Network::node_index(const std::string &name) const {
    for (std::size_t i = 0; i < impl_->nodes.size(); ++i)
        if (impl_->nodes[i]->name == name) return static_cast<int>(i);
    return -1;
}

miTag Network::instance_tag(const std::string &name) const {
    for (const auto &instance : impl_->instances)
        if (instance.name == name) return instance.tag;
    return 0;
}

ShadingContext::ShadingContext(const Network &network) : impl_(std::make_unique<Impl>()) {
    Impl &c = *impl_;
    std::memset(&c.state, 0, sizeof c.state);
    c.network = &network.impl();
    c.results.assign(c.network->result_words, 0);
    c.tex_list[0] = {0, 0, 0};
    c.state.tex_list = c.tex_list;
    c.state.tex_count = 1;
    c.state.instance = object_tag;
}

ShadingContext::~ShadingContext() {
    if (current_context() == impl_.get()) current_context() = nullptr;
}

bool ShadingContext::shade(const miVector &point, float u, float v, float *channels) {
    Impl &c = *impl_;
    current_context() = &c;
    c.state.point = point;
    c.state.instance = object_tag;
    c.tex_list[0] = {u, v, 0.0f};
    c.opacity = {1, 1, 1, 1};
    c.opacity_set = false;
    c.state.shader = nullptr;
    const auto *out = static_cast<const unsigned char *>(c.run(*c.network->output_node, c.network->output_result_at));
    if (c.network->colour_at >= 0) {
        // A colour output: its four floats in one copy.
        std::memcpy(channels, out + c.network->colour_at, 16);
        return c.opacity_set;
    }
    for (const Channel &ch : c.network->channels) {
        if (ch.type == ValueType::scalar) {
            std::memcpy(channels, out + ch.offset, 4);
        } else if (ch.type == ValueType::tag) {
            miTag t;
            std::memcpy(&t, out + ch.offset, 4);
            *channels = static_cast<float>(t);
        } else {
            int i;
            std::memcpy(&i, out + ch.offset, 4);
            *channels = static_cast<float>(i);
        }
        ++channels;
    }
    return c.opacity_set;
}

const miColor &ShadingContext::opacity() const { return impl_->opacity; }
const void *ShadingContext::node_result(int node) const {
    return impl_->results.data() + impl_->network->result_offset[node];
}

}  // namespace vek::host

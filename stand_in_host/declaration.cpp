#include "stand_in_host/declaration.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "stand_in_host/plugin_module.h"

namespace vek::host {

const char *type_name(ValueType type) {
    switch (type) {
    case ValueType::color: return "color";
    case ValueType::scalar: return "scalar";
    case ValueType::vector: return "vector";
    case ValueType::boolean: return "boolean";
    case ValueType::integer: return "integer";
    case ValueType::tag: return "tag";
    case ValueType::structure: return "struct";
    }
    return "?";
}

int type_size(ValueType type) {
    switch (type) {
    case ValueType::color: return 16;
    case ValueType::vector: return 12;
    case ValueType::structure: return 0;
    default: return 4;
    }
}

const ParameterDecl *Declaration::parameter(const std::string &name) const {
    for (const auto &p : parameters)
        if (p.name == name) return &p;
    return nullptr;
}

const Member *Declaration::member(const std::string &name) const {
    for (const auto &m : members)
        if (m.name == name) return &m;
    return nullptr;
}

namespace {

struct Token {
    enum Kind { word, text, number, punct, end } kind = end;
    std::string value;
    int line = 0;
};

std::vector<Token> tokenize(const std::string &src, const std::string &file) {
    std::vector<Token> out;
    int line = 1;
    std::size_t i = 0;
    auto fail = [&](const std::string &what) {
        throw DeclarationError(file + ":" + std::to_string(line) + ": " + what);
    };
    while (i < src.size()) {
        const char c = src[i];
        if (c == '\n') {
            ++line;
            ++i;
        } else if (std::isspace(static_cast<unsigned char>(c))) {
            ++i;
        } else if (c == '#') {
            while (i < src.size() && src[i] != '\n') ++i;
        } else if (c == '"') {
            const std::size_t close = src.find('"', i + 1);
            if (close == std::string::npos || src.find('\n', i + 1) < close) fail("unterminated string");
            out.push_back({Token::text, src.substr(i + 1, close - i - 1), line});
            i = close + 1;
        } else if (std::isdigit(static_cast<unsigned char>(c)) || c == '-' || c == '+' || c == '.') {
            std::size_t j = i + 1;
            while (j < src.size() && (std::isalnum(static_cast<unsigned char>(src[j])) || src[j] == '.' ||
                                      ((src[j] == '-' || src[j] == '+') && (src[j - 1] == 'e' || src[j - 1] == 'E'))))
                ++j;
            out.push_back({Token::number, src.substr(i, j - i), line});
            i = j;
        } else if (std::isalpha(static_cast<unsigned char>(c)) || c == '_') {
            std::size_t j = i + 1;
            while (j < src.size() && (std::isalnum(static_cast<unsigned char>(src[j])) || src[j] == '_')) ++j;
            out.push_back({Token::word, src.substr(i, j - i), line});
            i = j;
        } else if (std::string("(){},").find(c) != std::string::npos) {
            out.push_back({Token::punct, std::string(1, c), line});
            ++i;
        } else {
            fail(std::string("unexpected character '") + c + "'");
        }
    }
    out.push_back({Token::end, "", line});
    return out;
}

class Parser {
public:
    Parser(std::vector<Token> tokens, std::string file) : t_(std::move(tokens)), file_(std::move(file)) {}

    std::vector<Declaration> all() {
        std::vector<Declaration> out;
        while (peek().kind != Token::end) out.push_back(declaration());
        return out;
    }

private:
    const Token &peek() const { return t_[pos_]; }
    const Token &next() { return t_[pos_ < t_.size() - 1 ? pos_++ : pos_]; }
    bool is(const char *word) const { return peek().kind != Token::text && peek().value == word; }

    [[noreturn]] void fail(const std::string &what) const {
        const Token &at = peek();
        throw DeclarationError(file_ + ":" + std::to_string(at.line) + ": " + what +
                               (at.kind == Token::end ? " at the end of the file" : ", found '" + at.value + "'"));
    }
    void expect(const char *word) {
        if (!is(word)) fail(std::string("expected '") + word + "'");
        next();
    }
    std::string quoted(const char *what) {
        if (peek().kind != Token::text) fail(std::string("expected the quoted ") + what);
        return next().value;
    }

    ValueType type(bool allow_struct) {
        static const std::pair<const char *, ValueType> names[] = {
            {"color", ValueType::color},     {"scalar", ValueType::scalar},   {"vector", ValueType::vector},
            {"boolean", ValueType::boolean}, {"integer", ValueType::integer}, {"tag", ValueType::tag}};
        if (peek().kind == Token::word) {
            for (const auto &[name, value] : names)
                if (peek().value == name) {
                    next();
                    return value;
                }
            if (allow_struct && peek().value == "struct") {
                next();
                return ValueType::structure;
            }
        }
        fail("expected a type (color, scalar, vector, boolean, integer, tag" +
             std::string(allow_struct ? " or struct)" : ")"));
    }

    double number() {
        if (peek().kind != Token::number) fail("expected a number");
        const std::string text = next().value;
        char *end = nullptr;
        const double v = std::strtod(text.c_str(), &end);
        if (end != text.c_str() + text.size()) {
            --pos_;
            fail("malformed number");
        }
        return v;
    }

    std::vector<double> default_value(ValueType type) {
        std::vector<double> v;
        if (type == ValueType::boolean) {
            if (is("on") || is("true") || is("yes")) v.push_back(1);
            else if (is("off") || is("false") || is("no")) v.push_back(0);
            else if (peek().kind == Token::number) {
                v.push_back(number() != 0 ? 1 : 0);
                return v;
            } else fail("expected on or off");
            next();
            return v;
        }
        if (type == ValueType::tag) fail("a tag has no default");
        const int count = type == ValueType::color ? 4 : type == ValueType::vector ? 3 : 1;
        while (static_cast<int>(v.size()) < count && peek().kind == Token::number) v.push_back(number());
        if (v.empty()) fail("expected a default value");
        if (type == ValueType::color && v.size() == 3) v.push_back(1.0);
        if (static_cast<int>(v.size()) != count) fail("a " + std::string(type_name(type)) + " default needs " +
                                                      std::to_string(count) + " numbers");
        if (type == ValueType::integer && v[0] != static_cast<double>(static_cast<int>(v[0])))
            fail("an integer default must be a whole number");
        return v;
    }

    Declaration declaration() {
        Declaration d;
        d.file = file_;
        expect("declare");
        expect("shader");
        d.result_type = type(true);
        if (d.result_type == ValueType::structure) {
            expect("{");
            for (;;) {
                Member m;
                m.type = type(false);
                m.name = quoted("member name");
                m.offset = d.result_size;
                d.result_size += type_size(m.type);
                if (d.member(m.name)) fail("member \"" + m.name + "\" declared twice");
                d.members.push_back(m);
                if (is(",")) {
                    next();
                    continue;
                }
                break;
            }
            expect("}");
        } else {
            d.result_size = type_size(d.result_type);
        }
        d.shader = quoted("shader name");
        expect("(");
        while (!is(")")) {
            ParameterDecl p;
            if (is("array")) {
                next();
                p.is_array = true;
            }
            p.type = type(false);
            p.name = quoted("parameter name");
            if (d.parameter(p.name)) fail("parameter \"" + p.name + "\" declared twice");
            p.offset = d.block_size;
            p.size = type_size(p.type) + (p.is_array ? 8 : 0);
            d.block_size += p.size;
            while (peek().kind == Token::word && !is(",")) {
                if (is("default")) {
                    if (p.is_array) fail("an array has no default");
                    next();
                    p.default_value = default_value(p.type);
                } else if (is("min") || is("max") || is("softmin") || is("softmax")) {
                    next();
                    number();
                } else {
                    break;
                }
            }
            d.parameters.push_back(std::move(p));
            if (is(",")) {
                next();
                if (is(")")) fail("expected a parameter after ','");
            } else if (!is(")")) {
                fail("expected ',' or ')'");
            }
        }
        expect(")");
        if (is("version")) {
            next();
            d.version = static_cast<int>(number());
        }
        if (is("apply")) {
            next();
            do {
                if (is(",")) next();
                if (peek().kind != Token::word) fail("expected a shader kind after apply");
                next();
            } while (is(","));
        }
        expect("end");
        expect("declare");
        return d;
    }

    std::vector<Token> t_;
    std::string file_;
    std::size_t pos_ = 0;
};

}  // namespace

std::vector<Declaration> parse_declarations(const std::string &text, const std::string &file) {
    return Parser(tokenize(text, file), file).all();
}

Declaration load_declaration(const std::string &shader, const std::vector<std::string> &search_path) {
    for (const auto &dir : search_path) {
        const std::filesystem::path path = std::filesystem::path(dir) / (shader + ".mi");
        std::error_code ignored;
        if (!std::filesystem::is_regular_file(path, ignored)) continue;
        std::ifstream in(path);
        if (!in) throw DeclarationError(path.string() + ": cannot be read");
        std::stringstream text;
        text << in.rdbuf();
        for (auto &d : parse_declarations(text.str(), path.string()))
            if (d.shader == shader) return d;
        throw DeclarationError(path.string() + ": declares no shader \"" + shader + "\"");
    }
    std::string searched;
    for (const auto &dir : search_path) searched += (searched.empty() ? "" : ":") + dir;
    throw DeclarationError("no declaration \"" + shader + ".mi\" for shader \"" + shader +
                           "\" in the search path \"" + searched + "\"");
}

std::vector<std::string> find_shaders(const std::vector<std::string> &search_path) {
    std::vector<std::string> names;
    for (const auto &dir : search_path) {
        std::error_code ec;
        for (const auto &entry : std::filesystem::directory_iterator(dir, ec)) {
            if (entry.path().extension() != ".mi") continue;
            const std::string shader = entry.path().stem().string();
            std::error_code ignored;
            if (std::filesystem::is_regular_file(std::filesystem::path(dir) / plugin_file_name(shader), ignored) &&
                std::find(names.begin(), names.end(), shader) == names.end())
                names.push_back(shader);
        }
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::string describe(const Declaration &d) {
    std::ostringstream out;
    out << d.shader << " (version " << d.version << ") returns " << type_name(d.result_type);
    if (d.result_type == ValueType::structure) {
        out << " {";
        for (std::size_t i = 0; i < d.members.size(); ++i)
            out << (i ? ", " : " ") << type_name(d.members[i].type) << " " << d.members[i].name;
        out << " }";
    }
    out << "\n";
    for (const auto &p : d.parameters) {
        std::string type = std::string(p.is_array ? "array " : "") + type_name(p.type);
        out << "  " << p.name << std::string(p.name.size() < 20 ? 20 - p.name.size() : 1, ' ') << type;
        if (!p.default_value.empty()) {
            out << std::string(type.size() < 10 ? 10 - type.size() : 1, ' ') << "default";
            if (p.type == ValueType::boolean) {
                out << (p.default_value[0] != 0 ? " on" : " off");
            } else {
                for (double v : p.default_value) out << " " << v;
            }
        }
        out << "\n";
    }
    return out.str();
}

}  // namespace vek::host

// Shader declarations: the `declare shader` blocks shipped beside every
// plug-in as <Shader>.mi. The host reads them to lay out parameter blocks, to
// take parameter values by name and to list what a plug-in offers.
//
// The subset read here:
//
//   declare shader
//       <result type> "<Shader>" (
//           <type> "<name>" [default <value>...],
//           array <type> "<name>",
//           ...
//       )
//       version <n>
//       [apply <word>, ...]
//   end declare
//
// Types: color, scalar, vector, boolean, integer, tag; a result type may also
// be struct { <type> "<member>", ... }. Booleans default to on/off (or 1/0).
// '#' starts a comment that runs to the end of the line.
#pragma once

#include <stdexcept>
#include <string>
#include <vector>

namespace vek::host {

enum class ValueType { color, scalar, vector, boolean, integer, tag, structure };

// "color", "scalar", ... as the declarations spell them.
const char *type_name(ValueType type);
// Bytes one value of the type takes in a block or a result record (0 for structure).
int type_size(ValueType type);

struct DeclarationError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

struct Member {
    std::string name;
    ValueType type = ValueType::scalar;
    int offset = 0;  // bytes from the start of the result record
};

struct ParameterDecl {
    std::string name;
    ValueType type = ValueType::scalar;  // the element type for arrays
    bool is_array = false;
    int offset = 0;                      // bytes from the start of the parameter block
    int size = 0;                        // bytes in the block (arrays: start, count and one element slot)
    std::vector<double> default_value;   // empty: zero; colours and vectors one number per component
};

struct Declaration {
    std::string shader;
    std::string file;                    // where it was read from
    ValueType result_type = ValueType::color;
    std::vector<Member> members;         // the members of a struct result
    int result_size = 0;
    std::vector<ParameterDecl> parameters;
    int block_size = 0;
    int version = 0;

    const ParameterDecl *parameter(const std::string &name) const;
    const Member *member(const std::string &name) const;
};

// Every `declare shader` block of a text; `file` names it in messages.
std::vector<Declaration> parse_declarations(const std::string &text, const std::string &file);
// The declaration of one shader from <dir>/<shader>.mi, the first directory of
// the search path that has it.
Declaration load_declaration(const std::string &shader, const std::vector<std::string> &search_path);
// Names of the shaders of the search path that have both a plug-in and a declaration, sorted.
std::vector<std::string> find_shaders(const std::vector<std::string> &search_path);
// A readable listing: the shader, its result and each parameter with its type and default.
std::string describe(const Declaration &declaration);

}  // namespace vek::host

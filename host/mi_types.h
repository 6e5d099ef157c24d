// The host's types as the plug-ins see them. Widths are those of the parameter
// types: 32-bit units with 32-bit alignment, so every block can be laid out by
// hand and checked with static assertions.
#pragma once

#include <cstddef>
#include <cstdint>

extern "C" {

typedef int          miBoolean;   // 0 false, every other value true; the plug-ins write 1
typedef int          miInteger;
typedef float        miScalar;
typedef unsigned int miTag;       // 32-bit handle of a scene element
typedef struct { float r, g, b, a; } miColor;
typedef struct { float x, y, z; }    miVector;
typedef float        miMatrix[16];  // row by row, translation in 12..14, points are row vectors

typedef struct miShaderRecord {
    unsigned char eval_flag;        // markers are consulted only when it is exactly 1
    int           marker_offset;    // bytes from the parameter block to the marker area
} miShaderRecord;

typedef struct miState {
    miShaderRecord *shader;         // current shader record, read afresh for every evaluation
    miVector        point;          // intersection point, host internal space
    miTag           instance;       // current instance
    miVector       *tex_list;       // one vector per texture space
    miInteger       tex_count;      // number of entries in tex_list
} miState;

}  // extern "C"

// A parameter of the host's array form: start index, element count, first element.
template <typename T>
struct miArray {
    miInteger start;
    miInteger count;
    T first;
};

static_assert(sizeof(miColor) == 16 && sizeof(miVector) == 12, "parameter widths");
static_assert(offsetof(miShaderRecord, eval_flag) == 0 && offsetof(miShaderRecord, marker_offset) == 4,
              "shader record layout");
static_assert(offsetof(miState, shader) == 0 && offsetof(miState, point) == 8 &&
                  offsetof(miState, instance) == 20 && offsetof(miState, tex_list) == 24 &&
                  offsetof(miState, tex_count) == 32,
              "shading state layout");
static_assert(sizeof(miArray<miTag>) == 12, "array form");

constexpr miBoolean miTRUE = 1;
constexpr miBoolean miFALSE = 0;

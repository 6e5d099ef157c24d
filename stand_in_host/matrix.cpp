#include "stand_in_host/matrix.h"

#include <cmath>
#include <cstdint>
#include <cstring>

namespace vek::host {

void matrix_ident(float *m) {
    for (int i = 0; i < 16; ++i) m[i] = (i % 5 == 0) ? 1.0f : 0.0f;
}

void matrix_prod(float *result, const float *a, const float *b) {
    // b is widened once, and the four sums of a row run side by side; each sum
    // still starts at 0 and adds its terms in the order k = 0..3.
    double wb[16];
    for (int i = 0; i < 16; ++i) wb[i] = b[i];
    float r[16];
    for (int row = 0; row < 4; ++row) {
        double sum[4] = {0.0, 0.0, 0.0, 0.0};
        for (int k = 0; k < 4; ++k) {
            const double ak = a[4 * row + k];
            for (int col = 0; col < 4; ++col) sum[col] += ak * wb[4 * k + col];
        }
        for (int col = 0; col < 4; ++col) r[4 * row + col] = static_cast<float>(sum[col]);
    }
    std::memcpy(result, r, sizeof r);
}

namespace {

// The rotation last built on this thread, by the bits of its three angles: a
// shader that turns its points by fixed angles asks for the same matrix on
// every sample, and the function is pure, so the copy has the same bits.
// The default thread-local model: this file is also linked into modules that
// are opened at run time (the tests' recording host), where the initial-exec
// model would draw on the loader's small static reserve.
struct RotationMemo {
    bool valid = false;
    std::uint32_t angles[3] = {0, 0, 0};
    float matrix[16];
};

RotationMemo &rotation_memo() {
    static thread_local RotationMemo memo;
    return memo;
}

void build_rotation(float *m, float x, float y, float z);

}  // namespace

void matrix_rotate(float *m, float x, float y, float z) {
    std::uint32_t angles[3];
    std::memcpy(&angles[0], &x, 4);
    std::memcpy(&angles[1], &y, 4);
    std::memcpy(&angles[2], &z, 4);
    RotationMemo &memo = rotation_memo();
    if (!memo.valid || std::memcmp(angles, memo.angles, sizeof angles) != 0) {
        build_rotation(memo.matrix, x, y, z);
        std::memcpy(memo.angles, angles, sizeof angles);
        memo.valid = true;
    }
    std::memcpy(m, memo.matrix, sizeof memo.matrix);
}

namespace {

void build_rotation(float *m, float x, float y, float z) {
    const double cx = std::cos(x), sx = std::sin(x);
    const double cy = std::cos(y), sy = std::sin(y);
    // No turn about z is the common case: cos(+-0) = 1 and sin(+-0) = +-0 exactly.
    const bool z_turns = z != 0.0f;
    const double cz = z_turns ? std::cos(z) : 1.0, sz = z_turns ? std::sin(z) : z;
    // Row-vector forms: p * Rx turns y towards z, p * Ry turns z towards x,
    // p * Rz turns x towards y.
    const float rx[16] = {1, 0, 0, 0, 0, float(cx), float(sx), 0, 0, float(-sx), float(cx), 0, 0, 0, 0, 1};
    const float ry[16] = {float(cy), 0, float(-sy), 0, 0, 1, 0, 0, float(sy), 0, float(cy), 0, 0, 0, 0, 1};
    const float rz[16] = {float(cz), float(sz), 0, 0, float(-sz), float(cz), 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    float xy[16];
    matrix_prod(xy, rx, ry);
    matrix_prod(m, xy, rz);
}

}  // namespace

void point_transform(miVector *out, const miVector *in, const float *m) {
    const double x = in->x, y = in->y, z = in->z;
    const miVector r = {static_cast<float>(x * m[0] + y * m[4] + z * m[8] + m[12]),
                        static_cast<float>(x * m[1] + y * m[5] + z * m[9] + m[13]),
                        static_cast<float>(x * m[2] + y * m[6] + z * m[10] + m[14])};
    *out = r;
}

void vector_transform(miVector *out, const miVector *in, const float *m) {
    const double x = in->x, y = in->y, z = in->z;
    const miVector r = {static_cast<float>(x * m[0] + y * m[4] + z * m[8]),
                        static_cast<float>(x * m[1] + y * m[5] + z * m[9]),
                        static_cast<float>(x * m[2] + y * m[6] + z * m[10])};
    *out = r;
}

bool matrix_invert(float *result, const float *m) {
    // Inverse of the 3x3 part by cofactors, then the translation carried back.
    const double a = m[0], b = m[1], c = m[2], d = m[4], e = m[5], f = m[6], g = m[8], h = m[9], i = m[10];
    const double det = a * (e * i - f * h) - b * (d * i - f * g) + c * (d * h - e * g);
    if (det == 0.0 || !std::isfinite(det)) return false;
    const double inv[9] = {(e * i - f * h) / det, (c * h - b * i) / det, (b * f - c * e) / det,
                           (f * g - d * i) / det, (a * i - c * g) / det, (c * d - a * f) / det,
                           (d * h - e * g) / det, (b * g - a * h) / det, (a * e - b * d) / det};
    const double tx = m[12], ty = m[13], tz = m[14];
    float r[16];
    for (int row = 0; row < 3; ++row) {
        for (int col = 0; col < 3; ++col) r[4 * row + col] = static_cast<float>(inv[3 * row + col]);
        r[4 * row + 3] = 0.0f;
    }
    for (int col = 0; col < 3; ++col)
        r[12 + col] = static_cast<float>(-(tx * inv[col] + ty * inv[3 + col] + tz * inv[6 + col]));
    r[15] = 1.0f;
    std::memcpy(result, r, sizeof r);
    return true;
}

void matrix_from_trs(float *m, const miVector &translate, const miVector &rotate_degrees, const miVector &scale) {
    constexpr double radians_per_degree = 3.141592653589793 / 180.0;
    float s[16];
    matrix_ident(s);
    s[0] = scale.x;
    s[5] = scale.y;
    s[10] = scale.z;
    float r[16];
    matrix_rotate(r, static_cast<float>(rotate_degrees.x * radians_per_degree),
                  static_cast<float>(rotate_degrees.y * radians_per_degree),
                  static_cast<float>(rotate_degrees.z * radians_per_degree));
    matrix_prod(m, s, r);
    m[12] = translate.x;
    m[13] = translate.y;
    m[14] = translate.z;
}

}  // namespace vek::host

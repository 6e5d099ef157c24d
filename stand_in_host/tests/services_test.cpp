// The host functions as a plug-in reaches them, called here directly.
#include <gtest/gtest.h>

#include <cmath>

#include "host/host_functions.h"
#include "stand_in_host/matrix.h"
#include "stand_in_host/network.h"
#include "tests/support/bits.h"

using namespace vek::host;
using vek::test::same_bits;

namespace {

miVector times(miVector p, const float *m) {
    miVector out;
    mi_point_transform(&out, &p, const_cast<float *>(m));
    return out;
}

TEST(MatrixServices, IdentRotateAndProd) {
    float m[16];
    for (float &f : m) f = 7.0f;
    mi_matrix_ident(m);
    for (int i = 0; i < 16; ++i) EXPECT_EQ(m[i], i % 5 == 0 ? 1.0f : 0.0f) << i;

    // Sense: a quarter turn about z carries x to y, about x carries y to z,
    // about y carries z to x.
    struct Case { float x, y, z; miVector in, out; };
    const float q = 1.5707963267948966f;
    const Case cases[] = {{0, 0, q, {1, 0, 0}, {0, 1, 0}},
                          {q, 0, 0, {0, 1, 0}, {0, 0, 1}},
                          {0, q, 0, {0, 0, 1}, {1, 0, 0}},
                          // Order: about x first, then y: x stays x, then turns to -z.
                          {q, q, 0, {1, 0, 0}, {0, 0, -1}}};
    for (const auto &c : cases) {
        mi_matrix_rotate(m, c.x, c.y, c.z);
        EXPECT_EQ(m[12], 0.0f);
        EXPECT_EQ(m[13], 0.0f);
        EXPECT_EQ(m[14], 0.0f);
        const miVector r = times(c.in, m);
        EXPECT_NEAR(r.x, c.out.x, 1e-6);
        EXPECT_NEAR(r.y, c.out.y, 1e-6);
        EXPECT_NEAR(r.z, c.out.z, 1e-6);
    }

    // The shader's idiom: identity holding a point in 12..14, times a rotation,
    // gives the rotated point there; the result may be the first factor.
    float a[16], rot[16];
    mi_matrix_ident(a);
    a[12] = 2;
    a[13] = 0;
    a[14] = 5;
    mi_matrix_rotate(rot, 0, 0, q);
    mi_matrix_prod(a, a, rot);
    EXPECT_NEAR(a[12], 0.0f, 1e-6);
    EXPECT_NEAR(a[13], 2.0f, 1e-6);
    EXPECT_EQ(a[14], 5.0f);
}

TEST(MatrixServices, PointTransformInPlaceWithTranslation) {
    float m[16];
    matrix_from_trs(m, {1, 2, 3}, {0, 0, 90}, {2, 2, 2});
    miVector p = {1, 0, 0};
    mi_point_transform(&p, &p, m);  // output may be the input
    EXPECT_NEAR(p.x, 1.0f, 1e-6);
    EXPECT_NEAR(p.y, 4.0f, 1e-6);
    EXPECT_NEAR(p.z, 3.0f, 1e-6);
}

TEST(Queries, AnswerNothingOutsideAShadingContext) {
    const float *matrix = nullptr;
    EXPECT_EQ(mi_query(5, nullptr, 1, &matrix), 0);
    EXPECT_EQ(matrix, nullptr);
}

}  // namespace

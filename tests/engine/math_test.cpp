#include "engine/math.h"

#include <cmath>
#include <gtest/gtest.h>
#include <numbers>

namespace kl {
namespace {

constexpr float kPi = std::numbers::pi_v<float>;

void ExpectMatrixNear(const Matrix4& m, std::initializer_list<float> rows, float tol = 1e-6f) {
    int i = 0;
    for (float v : rows) {
        EXPECT_NEAR(m.at(i / 4, i % 4), v, tol) << "element m" << (i / 4 + 1) << (i % 4 + 1);
        ++i;
    }
}

void ExpectVecNear(const Vec3& v, float x, float y, float z, float tol = 1e-5f) {
    EXPECT_NEAR(v.x, x, tol);
    EXPECT_NEAR(v.y, y, tol);
    EXPECT_NEAR(v.z, z, tol);
}

TEST(Vectors, NormalizeLeavesTheZeroVectorZero) {
    ExpectVecNear(Vec3Normalize({3, 0, 4}), 0.6f, 0, 0.8f);
    const Vec3 z = Vec3Normalize({0, 0, 0});
    EXPECT_EQ(z, (Vec3{0, 0, 0}));
}

TEST(Vectors, CrossIsLeftOperandFirst) {
    EXPECT_EQ(Vec3Cross({1, 0, 0}, {0, 1, 0}), (Vec3{0, 0, 1}));
    EXPECT_EQ(Vec3Cross({0, 1, 0}, {1, 0, 0}), (Vec3{0, 0, -1}));
    ExpectVecNear(Vec3Lerp({0, 10, 0}, {10, 20, -4}, 0.25f), 2.5f, 12.5f, -1.0f);
}

TEST(Matrices, ProductAppliesTheLeftMatrixFirst) {
    // Translate then rotate a quarter turn about Y: (1,0,0) -> (2,0,0) -> (0,0,-2).
    const Matrix4 m = MatrixTranslation(1, 0, 0) * MatrixRotationY(kPi / 2);
    ExpectVecNear(Vec3TransformCoord({1, 0, 0}, m), 0, 0, -2);
    const Matrix4 n = MatrixRotationY(kPi / 2) * MatrixTranslation(1, 0, 0);
    ExpectVecNear(Vec3TransformCoord({1, 0, 0}, n), 1, 0, -1);
}

TEST(Matrices, AxisRotationsHaveTheirSignsInPlace) {
    const float c = std::cos(0.3f), s = std::sin(0.3f);
    ExpectMatrixNear(MatrixRotationX(0.3f), {1, 0, 0, 0, 0, c, s, 0, 0, -s, c, 0, 0, 0, 0, 1});
    ExpectMatrixNear(MatrixRotationY(0.3f), {c, 0, -s, 0, 0, 1, 0, 0, s, 0, c, 0, 0, 0, 0, 1});
    ExpectMatrixNear(MatrixRotationZ(0.3f), {c, s, 0, 0, -s, c, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1});
}

TEST(Matrices, LookAtFromTheSideMatchesHandWorkedValues) {
    // Eye on +x looking at the origin: z axis (-1,0,0), x axis (0,0,1), y axis (0,1,0).
    ExpectMatrixNear(MatrixLookAtLH({5, 0, 0}, {0, 0, 0}, {0, 1, 0}),
                     {0, 0, -1, 0, 0, 1, 0, 0, 1, 0, 0, 0, 0, 0, 5, 1});
    // Straight down +z from z = -10: identity with the eye's distance in m43.
    ExpectMatrixNear(MatrixLookAtLH({0, 0, -10}, {0, 0, 0}, {0, 1, 0}),
                     {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 10, 1});
    // A point ahead and to the right of the viewer lands at positive x and z in view space.
    ExpectVecNear(Vec3TransformCoord({1, 0, 3}, MatrixLookAtLH({1, 2, -1}, {1, 2, 5}, {0, 1, 0})), 0, -2, 4);
}

TEST(Matrices, PerspectiveMatchesHandWorkedValues) {
    ExpectMatrixNear(MatrixPerspectiveFovLH(kPi / 2, 2.0f, 1.0f, 101.0f),
                     {0.5f, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1.01f, 1, 0, 0, -1.01f, 0});
    // The near plane maps to depth 0 and the far plane to depth 1.
    const Matrix4 p = MatrixPerspectiveFovLH(0.8f, 1.333f, 1.0f, 50000.0f);
    EXPECT_NEAR(Vec3TransformCoord({0, 0, 1}, p).z, 0.0f, 1e-6f);
    EXPECT_NEAR(Vec3TransformCoord({0, 0, 50000}, p).z, 1.0f, 1e-6f);
}

TEST(Planes, FromPointsAndIntersection) {
    const Plane p = PlaneFromPoints({0, 3, 0}, {0, 3, 1}, {1, 3, 0});
    EXPECT_NEAR(p.a, 0, 1e-6f);
    EXPECT_NEAR(p.b, 1, 1e-6f);
    EXPECT_NEAR(p.c, 0, 1e-6f);
    EXPECT_NEAR(p.d, -3, 1e-6f);
    auto hit = PlaneIntersectLine(p, {2, 5, 1}, {2, 4, 1});
    ASSERT_TRUE(hit.has_value());
    ExpectVecNear(*hit, 2, 3, 1);
    EXPECT_FALSE(PlaneIntersectLine(p, {0, 5, 0}, {4, 5, 2}).has_value());
}

TEST(Planes, ShadowMatrixFlattensAlongRaysFromAPointOrADirection) {
    // Point light at (0,10,0), ground y = 0 given unnormalised: (1,5,0) falls to (2,0,0).
    const Matrix4 point = MatrixShadow(0, 10, 0, 1, {0, 2, 0, 0});
    ExpectMatrixNear(point, {10, 0, 0, 0, 0, 0, 0, -1, 0, 0, 10, 0, 0, 0, 0, 10});
    ExpectVecNear(Vec3TransformCoord({1, 5, 0}, point), 2, 0, 0);
    // Light straight down: points fall vertically.
    const Matrix4 dir = MatrixShadow(0, -1, 0, 0, {0, 1, 0, 0});
    ExpectVecNear(Vec3TransformCoord({3, 7, -2}, dir), 3, 0, -2);
    // A slanted direction shifts the shadow sideways by height times slope.
    ExpectVecNear(Vec3TransformCoord({0, 4, 0}, MatrixShadow(1, -1, 0, 0, {0, 1, 0, 0})), 4, 0, 0);
}

TEST(Planes, ReflectionMatrixMirrorsAcrossAnOffsetPlane) {
    const Matrix4 r = MatrixReflect({0, 2, 0, -4}); // y = 2, unnormalised
    ExpectMatrixNear(r, {1, 0, 0, 0, 0, -1, 0, 0, 0, 0, 1, 0, 0, 4, 0, 1});
    ExpectVecNear(Vec3TransformCoord({1, 5, 3}, r), 1, -1, 3);
}

} // namespace
} // namespace kl

#include "engine/math.h"
#include "engine/mdl_main.h"

#include <gtest/gtest.h>

namespace kl::mdlMain {
namespace {

void ExpectMatrixEq(const Matrix4& a, const Matrix4& b, float tol = 1e-6f) {
    for (int i = 0; i < 16; ++i)
        EXPECT_NEAR(a.at(i / 4, i % 4), b.at(i / 4, i % 4), tol) << i;
}

TEST(Colours, PackChannelsModulo256) {
    EXPECT_EQ(ColorRGB(250, 250, 250), 0xFFFAFAFAu);
    EXPECT_EQ(ColorARGB(128, 255, 0, 0), 0x80FF0000u);
    EXPECT_EQ(ColorRGB(256 + 1, -1, 512), 0xFF01FF00u);
}

TEST(Records, ScreenVertexAndDisplayModeDefaults) {
    const ScreenVertex v = MakeScreenVertex(3, 4, 0x11223344u, 0.5f, 1);
    EXPECT_EQ(v.z, 0.0f);
    EXPECT_EQ(v.rhw, 1.0f);
    EXPECT_EQ(v.color, 0x11223344u);
    EXPECT_EQ(MakeDisplayMode(800, 600, 16).Format, 23);
    EXPECT_EQ(MakeDisplayMode(800, 600, 32).Format, 22);
    EXPECT_EQ(MakeDisplayMode(800, 600, 24).Format, 23);
}

TEST(MakeMaterial, TransparencyOnlyTouchesDiffuseAlpha) {
    const Material m = MakeMaterial(255, 0, 0, 0, 0, 0, 10, 128);
    EXPECT_EQ(m.Diffuse.r, 1.0f);
    EXPECT_EQ(m.Diffuse.g, 0.0f);
    EXPECT_FLOAT_EQ(m.Diffuse.a, 1.0f - 128.0f / 255.0f);
    EXPECT_NEAR(m.Diffuse.a, 0.498f, 0.001f);
    EXPECT_EQ(m.Ambient.r, 1.0f);
    EXPECT_EQ(m.Ambient.a, 1.0f);
    EXPECT_EQ(m.Specular.r, 1.0f);
    EXPECT_EQ(m.Specular.a, 1.0f);
    EXPECT_EQ(m.Emissive.r, 0.0f);
    EXPECT_EQ(m.Emissive.a, 1.0f);
    EXPECT_EQ(m.Power, 10.0f);
    EXPECT_EQ(MakeMaterial(0, 0, 0, 0, 0, 0, 0, 255).Diffuse.a, 0.0f);
    EXPECT_EQ(MakeMaterial(0, 0, 0, 0, 0, 0, 0, 256).Diffuse.a, 1.0f); // 256 is byte 0
}

TEST(RotationFromAngles, ZeroAnglesGiveTheIdentityWhateverTheOrder) {
    for (const Vec3 order : {Vec3{0, 1, 2}, Vec3{2, 1, 0}, Vec3{0, 0, 0}, Vec3{5, 5, 5}, Vec3{0.5f, 1, 2}})
        ExpectMatrixEq(RotationFromAngles({0, 0, 0}, order), MatrixIdentity());
}

TEST(RotationFromAngles, OrderPicksTheStepOfEachAxis) {
    const float a = 0.4f, b = -1.1f, c = 2.0f;
    ExpectMatrixEq(RotationFromAngles({a, b, 0}, {1, 0, 2}), MatrixRotationY(b) * MatrixRotationX(a));
    ExpectMatrixEq(RotationFromAngles({a, b, c}, {0, 1, 2}),
                   MatrixRotationX(a) * MatrixRotationY(b) * MatrixRotationZ(c));
    ExpectMatrixEq(RotationFromAngles({a, b, c}, {2, 0, 1}),
                   MatrixRotationY(b) * MatrixRotationZ(c) * MatrixRotationX(a));
}

TEST(RotationFromAngles, AStepNoAxisNamesRepeatsThePreviousAxis) {
    const float a = 0.3f;
    // Every step selects X: the X rotation is multiplied in three times.
    ExpectMatrixEq(RotationFromAngles({a, 0, 0}, {0, 0, 0}),
                   MatrixRotationX(a) * MatrixRotationX(a) * MatrixRotationX(a));
    // Steps 1 and 2 unnamed: Y is kept from step 0 and applied three times.
    ExpectMatrixEq(RotationFromAngles({0, a, 0}, {7, 0, 7}),
                   MatrixRotationY(a) * MatrixRotationY(a) * MatrixRotationY(a));
    // Exact comparison: 0.999 never matches step 1, so step 1 keeps X.
    ExpectMatrixEq(RotationFromAngles({a, 0, 0}, {0, 0.999f, 2}), MatrixRotationX(a) * MatrixRotationX(a));
}

TEST(TriangleNormal, IsTheUnitNormalOfTheWinding) {
    const Vec3 n = TriangleNormal({0, 0, 0}, {0, 0, 1}, {1, 0, 1});
    EXPECT_FLOAT_EQ(n.x, 0);
    EXPECT_FLOAT_EQ(n.y, 1);
    EXPECT_FLOAT_EQ(n.z, 0);
    const Vec3 m = TriangleNormal({0, 0, 0}, {1, 0, 1}, {0, 0, 1});
    EXPECT_FLOAT_EQ(m.y, -1);
    const Vec3 degenerate = TriangleNormal({1, 1, 1}, {1, 1, 1}, {2, 2, 2});
    EXPECT_EQ(degenerate.x, 0.0f);
}

TEST(MirrorPoint, MirrorsAcrossThePlaneAndNegatesWhenParallel) {
    PlaneRecord ground;
    ground.Normal = {0, 1, 0};
    ground.Plane = {0, 1, 0, -1}; // y = 1
    const Vec3 m = MirrorPoint(ground, {2, 4, -3});
    EXPECT_FLOAT_EQ(m.x, 2);
    EXPECT_FLOAT_EQ(m.y, -2);
    EXPECT_FLOAT_EQ(m.z, -3);
    PlaneRecord skew = ground;
    skew.Normal = {1, 0, 0}; // lies in the plane: no intersection
    const Vec3 n = MirrorPoint(skew, {2, 4, -3});
    EXPECT_EQ(n, (Vec3{-2, -4, 3}));
}

TEST(GetFolder, KeepsEverythingUpToTheLastBackslash) {
    EXPECT_EQ(GetFolder("3z-idaveva\\SKY001.BMP"), "3z-idaveva\\");
    EXPECT_EQ(GetFolder("a\\b\\c.x"), "a\\b\\");
    EXPECT_EQ(GetFolder("SKY001.BMP"), "");
    EXPECT_EQ(GetFolder("\\"), "\\");
    EXPECT_EQ(GetFolder(""), "");
}

} // namespace
} // namespace kl::mdlMain

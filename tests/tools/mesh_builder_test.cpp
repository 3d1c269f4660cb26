#include "engine/math.h"
#include "mesh.h"
#include "x_text_scan.h"
#include "x_writer.h"

#include <cmath>
#include <gtest/gtest.h>

namespace kl::data {
namespace {

// Every face of a convex solid must turn its front (clockwise side) away from the solid's centre.
void expect_faces_point_away(const Mesh& m, const Vec3& centre) {
    ASSERT_FALSE(m.faces.empty());
    for (std::size_t f = 0; f < m.faces.size(); ++f) {
        const Vec3 n = face_cross(m, f);
        EXPECT_GT(Vec3Length(n), 0.0f) << "degenerate face " << f;
        EXPECT_GT(Vec3Dot(n, face_centre(m, f) - centre), 0.0f) << "face " << f << " turned inwards";
    }
}

TEST(MeshBuilder, BoxFacesPointOutwardAndOpenSidesAreLeftOut) {
    MeshBuilder b("Box");
    const auto mat = b.material(plain_material(1, 0, 0));
    b.box({-1, 0, 2}, {3, 4, 5}, {mat, mat, std::nullopt, mat, mat, mat});
    const Mesh m = std::move(b).finish();
    EXPECT_EQ(m.faces.size(), 10u);
    expect_faces_point_away(m, {1, 2, 3.5f});
    for (std::size_t f = 0; f < m.faces.size(); ++f)
        EXPECT_GE(face_cross(m, f).y, 0.0f); // no bottom
    const auto bounds = bounds_of(m);
    ASSERT_TRUE(bounds);
    EXPECT_TRUE(bounds->min == (Vec3{-1, 0, 2}));
    EXPECT_TRUE(bounds->max == (Vec3{3, 4, 5}));
}

TEST(MeshBuilder, PrismFacesPointOutwardWhicheverWayTheOutlineRuns) {
    const std::vector<Vec2> outline = {{0, 0}, {4, 0}, {4, 1}, {3, 1.5f}, {0.5f, 1.4f}};
    for (bool reversed : {false, true}) {
        std::vector<Vec2> o = outline;
        if (reversed) std::reverse(o.begin(), o.end());
        MeshBuilder b("Prism");
        const auto cap = b.material(plain_material(0, 0, 1));
        std::vector<Vec3> seen;
        b.prism(
            o, -1, 1,
            [&](const Vec3& n) {
                seen.push_back(n);
                return b.material(plain_material(0.5f + 0.1f * static_cast<float>(seen.size()), 0, 0));
            },
            cap);
        const Mesh m = std::move(b).finish();
        expect_faces_point_away(m, {2, 0.7f, 0});
        ASSERT_EQ(seen.size(), outline.size());
        // The picker is shown each side's outward direction: the bottom edge faces down.
        EXPECT_TRUE(std::any_of(seen.begin(), seen.end(), [](const Vec3& n) { return n.y < 0 && n.x == 0; }));
    }
}

TEST(MeshBuilder, CylinderStandsExactlyOnItsLowestPointAndFacesOutward) {
    MeshBuilder b("Wheel");
    const auto mat = b.material(plain_material(0, 0, 0));
    b.cylinder_z({1.5f, 0.3f, 0}, 0.3f, -0.9f, -0.7f, 12, mat, mat);
    const Mesh m = std::move(b).finish();
    expect_faces_point_away(m, {1.5f, 0.3f, -0.8f});
    EXPECT_EQ(bounds_of(m)->min.y, 0.0f);
    EXPECT_NEAR(bounds_of(m)->max.y, 0.6f, 1e-6);
}

TEST(MeshBuilder, PolygonTurnsItsFrontToTheGivenSideAndKeepsCornerTextureCoordinates) {
    const std::array<Vec3, 4> corners{Vec3{0, 0, 0}, Vec3{1, 0, 0}, Vec3{1, 1, 0}, Vec3{0, 1, 0}};
    const std::array<Vec2, 4> uvs{Vec2{0, 1}, Vec2{1, 1}, Vec2{1, 0}, Vec2{0, 0}};
    for (float side : {-1.0f, 1.0f}) {
        MeshBuilder b("Quad");
        b.polygon(corners, uvs, {0, 0, side}, b.material(plain_material(1, 1, 1)));
        const Mesh m = std::move(b).finish();
        ASSERT_EQ(m.faces.size(), 2u);
        for (std::size_t f = 0; f < 2; ++f)
            EXPECT_GT(face_cross(m, f).z * side, 0.0f);
        for (const MeshVertex& v : m.vertices) {
            EXPECT_EQ(v.normal.z, side);
            EXPECT_EQ(v.uv.x, v.position.x); // each corner kept its own coordinates
            EXPECT_EQ(v.uv.y, 1 - v.position.y);
        }
    }
}

TEST(MeshBuilder, EqualMaterialsAreSharedAndBadInputIsRefused) {
    MeshBuilder b("M");
    EXPECT_EQ(b.material(plain_material(1, 0, 0)), b.material(plain_material(1, 0, 0)));
    EXPECT_NE(b.material(plain_material(1, 0, 0)), b.material(textured_material("white.bmp")));
    const std::array<Vec3, 2> two{};
    const std::array<Vec2, 2> uv{};
    EXPECT_THROW(b.polygon(two, uv, {0, 1, 0}, 0), std::invalid_argument);
    const std::array<Vec3, 3> three{Vec3{0, 0, 0}, Vec3{1, 0, 0}, Vec3{0, 0, 1}};
    const std::array<Vec2, 3> uv3{};
    EXPECT_THROW(b.polygon(three, uv3, {0, 1, 0}, 99), std::out_of_range);
    EXPECT_FALSE(bounds_of(Mesh{}).has_value());
}

TEST(XWriter, WritesWhatTheMeshHoldsAndRefusesNonFiniteNumbers) {
    MeshBuilder b("Tri_1");
    const auto plain = b.material(plain_material(0.25f, 0.5f, 0.75f));
    const auto tex = b.material(textured_material("white.bmp"));
    const std::array<Vec3, 3> p{Vec3{-0.0f, 1.5f, -2.25f}, Vec3{1e-7f, 0, 3}, Vec3{0, 0, 12345.678f}};
    const std::array<Vec2, 3> uv{Vec2{0, 0}, Vec2{40, 0}, Vec2{0, 0.5f}};
    b.polygon(p, uv, {1, 0, 0}, plain);
    b.polygon(p, uv, {-1, 0, 0}, tex);
    const Mesh m = std::move(b).finish();
    const std::string text = write_x_text(m);
    EXPECT_EQ(text.find("-0.000000"), std::string::npos);
    const test::ScannedX x = test::XScanner(text).scan();
    ASSERT_EQ(x.positions.size(), m.vertices.size());
    for (std::size_t i = 0; i < m.vertices.size(); ++i) {
        EXPECT_NEAR(x.positions[i][2], m.vertices[i].position.z, 1e-3);
        EXPECT_NEAR(x.normals[i][0], m.vertices[i].normal.x, 1e-6);
        EXPECT_EQ(x.uvs[i][0], m.vertices[i].uv.x);
    }
    EXPECT_EQ(x.faces, m.faces);
    EXPECT_EQ(x.face_materials, m.face_materials);
    ASSERT_EQ(x.materials.size(), 2u);
    EXPECT_EQ(x.materials[0].face_colour[2], 0.75f);
    EXPECT_EQ(x.materials[0].texture, "");
    EXPECT_EQ(x.materials[1].texture, "white.bmp");

    Mesh bad = m;
    bad.vertices[0].position.x = std::nanf("");
    EXPECT_THROW(write_x_text(bad), std::invalid_argument);
    bad = m;
    bad.face_materials.pop_back();
    EXPECT_THROW(write_x_text(bad), std::invalid_argument);
}

} // namespace
} // namespace kl::data

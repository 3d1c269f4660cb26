// Triangle meshes as the generator builds them before writing .x files: flat-shaded faces with
// one material each, in the engine's left-handed frame (x right, y up, z forward). A face is front
// facing when (v1 - v0) x (v2 - v0) points towards the viewer, i.e. its corners run clockwise on
// screen; the engine culls the counter-clockwise ones.
#pragma once

#include "engine/records.h"

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace kl::data {

struct MeshMaterial {
    ColorValue face_colour{1, 1, 1, 1};
    float power = 0;
    ColorValue specular{0, 0, 0, 1};
    ColorValue emissive{0, 0, 0, 1};
    std::string texture; // empty: no texture

    bool operator==(const MeshMaterial& o) const;
};

MeshMaterial plain_material(float r, float g, float b);
MeshMaterial textured_material(const std::string& texture);

struct MeshVertex {
    Vec3 position;
    Vec3 normal;
    Vec2 uv;
};

struct Mesh {
    std::string name; // identifier written after "Mesh" in the file
    std::vector<MeshVertex> vertices;
    std::vector<std::array<std::uint32_t, 3>> faces;
    std::vector<std::uint32_t> face_materials; // one per face
    std::vector<MeshMaterial> materials;
};

struct Bounds {
    Vec3 min, max;
};
// Nothing for a mesh without vertices.
std::optional<Bounds> bounds_of(const Mesh& mesh);
// (v1 - v0) x (v2 - v0), not normalised.
Vec3 face_cross(const Mesh& mesh, std::size_t face);
Vec3 face_centre(const Mesh& mesh, std::size_t face);

class MeshBuilder {
  public:
    explicit MeshBuilder(std::string name);

    // Index of an equal material, added if new.
    std::uint32_t material(const MeshMaterial& m);

    // A flat convex polygon, split into a fan. The corners may come in either order: they are put
    // in the order that makes the side facing `outward` the front side.
    void polygon(std::span<const Vec3> corners, std::span<const Vec2> uvs, const Vec3& outward,
                 std::uint32_t mat);
    // Quad with corners a, b, c, d around its edge and uv (0,0), (1,0), (1,1), (0,1) scaled by uv_scale.
    void quad(const Vec3& a, const Vec3& b, const Vec3& c, const Vec3& d, const Vec3& outward,
              std::uint32_t mat, Vec2 uv_scale = {1, 1});

    // Axis-aligned box seen from outside; faces listed as -x, +x, -y, +y, -z, +z, each with a
    // material or nothing to leave that side open.
    void box(const Vec3& lo, const Vec3& hi, const std::array<std::optional<std::uint32_t>, 6>& mats);
    // Convex outline in the x-y plane (any order), extruded from z0 to z1 and seen from outside.
    // side_mat picks the material of each side face from its outward normal; the two end caps use
    // cap_mat.
    template <typename SideMat>
    void prism(std::span<const Vec2> outline, float z0, float z1, SideMat side_mat, std::uint32_t cap_mat);
    // Cylinder around an axis parallel to z, seen from outside. Corner 0 lies straight below the
    // centre, so the lowest point is exactly centre.y - radius.
    void cylinder_z(const Vec3& centre, float radius, float z0, float z1, int segments,
                    std::uint32_t side_mat, std::uint32_t cap_mat);

    std::size_t face_count() const { return mesh_.faces.size(); }
    Mesh finish() &&;

  private:
    void prism_impl(std::span<const Vec2> outline, float z0, float z1,
                    const std::vector<std::uint32_t>& side_mats, std::uint32_t cap_mat);
    Mesh mesh_;
};

// Outline corners of a convex polygon put in counter-clockwise order (x right, y up).
std::vector<Vec2> counter_clockwise(std::span<const Vec2> outline);

template <typename SideMat>
void MeshBuilder::prism(std::span<const Vec2> outline, float z0, float z1, SideMat side_mat,
                        std::uint32_t cap_mat) {
    const std::vector<Vec2> ccw = counter_clockwise(outline);
    std::vector<std::uint32_t> mats;
    for (std::size_t i = 0; i < ccw.size(); ++i) {
        const Vec2& a = ccw[i];
        const Vec2& b = ccw[(i + 1) % ccw.size()];
        // Counter-clockwise outline: the outside lies to the right of each edge.
        mats.push_back(side_mat(Vec3{b.y - a.y, a.x - b.x, 0}));
    }
    prism_impl(ccw, z0, z1, mats, cap_mat);
}

} // namespace kl::data

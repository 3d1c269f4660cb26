// Mesh building blocks. Every face gets its own corners, so each one keeps its flat normal and
// its own texture coordinates.
#include "mesh.h"

#include "engine/math.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>

namespace kl::data {

namespace {

bool same(const ColorValue& a, const ColorValue& b) {
    return a.r == b.r && a.g == b.g && a.b == b.b && a.a == b.a;
}

Vec3 newell_normal(std::span<const Vec3> p) {
    Vec3 n{};
    for (std::size_t i = 0; i < p.size(); ++i) {
        const Vec3& a = p[i];
        const Vec3& b = p[(i + 1) % p.size()];
        // Summed edge terms of (v1 - v0) x (v2 - v0) for a fan; sign matches face_cross.
        n.x += (a.y - b.y) * (a.z + b.z);
        n.y += (a.z - b.z) * (a.x + b.x);
        n.z += (a.x - b.x) * (a.y + b.y);
    }
    return n;
}

} // namespace

bool MeshMaterial::operator==(const MeshMaterial& o) const {
    return same(face_colour, o.face_colour) && power == o.power && same(specular, o.specular) &&
           same(emissive, o.emissive) && texture == o.texture;
}

// The loader gives an untextured material its diffuse colour as emission and a textured one white
// emission; writing the same values keeps other viewers of the files close to what the program shows.
MeshMaterial plain_material(float r, float g, float b) {
    MeshMaterial m;
    m.face_colour = {r, g, b, 1};
    m.emissive = {r, g, b, 1};
    return m;
}

MeshMaterial textured_material(const std::string& texture) {
    MeshMaterial m;
    m.texture = texture;
    m.emissive = {1, 1, 1, 1};
    return m;
}

std::optional<Bounds> bounds_of(const Mesh& mesh) {
    if (mesh.vertices.empty()) return std::nullopt;
    Bounds b{mesh.vertices[0].position, mesh.vertices[0].position};
    for (const MeshVertex& v : mesh.vertices) {
        b.min = {std::min(b.min.x, v.position.x), std::min(b.min.y, v.position.y),
                 std::min(b.min.z, v.position.z)};
        b.max = {std::max(b.max.x, v.position.x), std::max(b.max.y, v.position.y),
                 std::max(b.max.z, v.position.z)};
    }
    return b;
}

Vec3 face_cross(const Mesh& mesh, std::size_t face) {
    const auto& f = mesh.faces[face];
    const Vec3& a = mesh.vertices[f[0]].position;
    return Vec3Cross(mesh.vertices[f[1]].position - a, mesh.vertices[f[2]].position - a);
}

Vec3 face_centre(const Mesh& mesh, std::size_t face) {
    const auto& f = mesh.faces[face];
    return (mesh.vertices[f[0]].position + mesh.vertices[f[1]].position + mesh.vertices[f[2]].position) *
           (1.0f / 3.0f);
}

std::vector<Vec2> counter_clockwise(std::span<const Vec2> outline) {
    std::vector<Vec2> out(outline.begin(), outline.end());
    float area2 = 0;
    for (std::size_t i = 0; i < out.size(); ++i) {
        const Vec2& a = out[i];
        const Vec2& b = out[(i + 1) % out.size()];
        area2 += a.x * b.y - b.x * a.y;
    }
    if (area2 < 0) std::reverse(out.begin(), out.end());
    return out;
}

MeshBuilder::MeshBuilder(std::string name) {
    mesh_.name = std::move(name);
}

std::uint32_t MeshBuilder::material(const MeshMaterial& m) {
    for (std::size_t i = 0; i < mesh_.materials.size(); ++i)
        if (mesh_.materials[i] == m) return static_cast<std::uint32_t>(i);
    mesh_.materials.push_back(m);
    return static_cast<std::uint32_t>(mesh_.materials.size() - 1);
}

void MeshBuilder::polygon(std::span<const Vec3> corners, std::span<const Vec2> uvs, const Vec3& outward,
                          std::uint32_t mat) {
    if (corners.size() < 3 || uvs.size() != corners.size()) throw std::invalid_argument("bad polygon");
    if (mat >= mesh_.materials.size()) throw std::out_of_range("polygon material");
    std::vector<std::size_t> order(corners.size());
    for (std::size_t i = 0; i < order.size(); ++i)
        order[i] = i;
    Vec3 n = newell_normal(corners);
    if (Vec3Dot(n, outward) < 0) {
        std::reverse(order.begin(), order.end());
        n = n * -1.0f;
    }
    n = Vec3Normalize(n);
    const auto base = static_cast<std::uint32_t>(mesh_.vertices.size());
    for (std::size_t i : order)
        mesh_.vertices.push_back({corners[i], n, uvs[i]});
    for (std::uint32_t i = 1; i + 1 < corners.size(); ++i) {
        mesh_.faces.push_back({base, base + i, base + i + 1});
        mesh_.face_materials.push_back(mat);
    }
}

void MeshBuilder::quad(const Vec3& a, const Vec3& b, const Vec3& c, const Vec3& d, const Vec3& outward,
                       std::uint32_t mat, Vec2 uv_scale) {
    const std::array<Vec3, 4> p{a, b, c, d};
    const std::array<Vec2, 4> uv{Vec2{0, 0}, Vec2{uv_scale.x, 0}, Vec2{uv_scale.x, uv_scale.y},
                                 Vec2{0, uv_scale.y}};
    polygon(p, uv, outward, mat);
}

void MeshBuilder::box(const Vec3& lo, const Vec3& hi,
                      const std::array<std::optional<std::uint32_t>, 6>& mats) {
    const float x0 = lo.x, y0 = lo.y, z0 = lo.z, x1 = hi.x, y1 = hi.y, z1 = hi.z;
    // Corners listed top-left first as seen from outside, so texture v grows downwards.
    if (mats[0]) quad({x0, y1, z1}, {x0, y1, z0}, {x0, y0, z0}, {x0, y0, z1}, {-1, 0, 0}, *mats[0]);
    if (mats[1]) quad({x1, y1, z0}, {x1, y1, z1}, {x1, y0, z1}, {x1, y0, z0}, {1, 0, 0}, *mats[1]);
    if (mats[2]) quad({x0, y0, z0}, {x1, y0, z0}, {x1, y0, z1}, {x0, y0, z1}, {0, -1, 0}, *mats[2]);
    if (mats[3]) quad({x0, y1, z1}, {x1, y1, z1}, {x1, y1, z0}, {x0, y1, z0}, {0, 1, 0}, *mats[3]);
    if (mats[4]) quad({x0, y1, z0}, {x1, y1, z0}, {x1, y0, z0}, {x0, y0, z0}, {0, 0, -1}, *mats[4]);
    if (mats[5]) quad({x1, y1, z1}, {x0, y1, z1}, {x0, y0, z1}, {x1, y0, z1}, {0, 0, 1}, *mats[5]);
}

void MeshBuilder::prism_impl(std::span<const Vec2> ccw, float z0, float z1,
                             const std::vector<std::uint32_t>& mats, std::uint32_t cap_mat) {
    std::vector<Vec3> front, back;
    std::vector<Vec2> uv;
    for (const Vec2& p : ccw) {
        front.push_back({p.x, p.y, z0});
        back.push_back({p.x, p.y, z1});
        uv.push_back({0, 0});
    }
    polygon(front, uv, {0, 0, -1}, cap_mat);
    polygon(back, uv, {0, 0, 1}, cap_mat);
    for (std::size_t i = 0; i < ccw.size(); ++i) {
        const Vec2& a = ccw[i];
        const Vec2& b = ccw[(i + 1) % ccw.size()];
        quad({a.x, a.y, z0}, {b.x, b.y, z0}, {b.x, b.y, z1}, {a.x, a.y, z1}, {b.y - a.y, a.x - b.x, 0},
             mats[i]);
    }
}

void MeshBuilder::cylinder_z(const Vec3& centre, float radius, float z0, float z1, int segments,
                             std::uint32_t side_mat, std::uint32_t cap_mat) {
    std::vector<Vec2> ring;
    for (int i = 0; i < segments; ++i) {
        const double a = -1.5707963267948966 + 2 * 3.141592653589793 * i / segments;
        ring.push_back({centre.x + radius * static_cast<float>(std::cos(a)),
                        centre.y + radius * static_cast<float>(std::sin(a))});
    }
    ring[0].x = centre.x; // exactly below the centre despite rounding
    prism_impl(counter_clockwise(ring), z0, z1, std::vector<std::uint32_t>(ring.size(), side_mat), cap_mat);
}

Mesh MeshBuilder::finish() && {
    return std::move(mesh_);
}

} // namespace kl::data

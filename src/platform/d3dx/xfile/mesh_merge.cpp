// Merging of the meshes of a .x file into one.
//
// Normals: a vertex keeps its slot for the first normal a face gives it; a later face that gives the
// same vertex a different normal (by value, not by index) gets a copy of the vertex appended after
// that mesh's vertices. Materials: each mesh's materials become subsets of their own, in file
// order; a mesh without a material list in a file where others have one draws with one plain
// material appended at the end, so that every face keeps a valid subset.
#include "platform/d3dx/xfile/mesh_merge.h"

#include "platform/d3dx/xfile/xfile_tokens.h"

#include <cmath>
#include <cstring>
#include <string>
#include <unordered_map>

namespace kl::platform::xfile {
namespace {

Matrix multiply(const Matrix& a, const Matrix& b) {
    Matrix r{};
    for (int i = 0; i < 4; ++i) {
        for (int j = 0; j < 4; ++j) {
            double s = 0;
            for (int k = 0; k < 4; ++k)
                s += a[i * 4 + k] * b[k * 4 + j];
            r[i * 4 + j] = s;
        }
    }
    return r;
}

Float3 transform_point(const Float3& p, const Matrix& m) {
    const double x = p.x, y = p.y, z = p.z;
    return {static_cast<float>(x * m[0] + y * m[4] + z * m[8] + m[12]),
            static_cast<float>(x * m[1] + y * m[5] + z * m[9] + m[13]),
            static_cast<float>(x * m[2] + y * m[6] + z * m[10] + m[14])};
}

// Normals go through the inverse transpose of the upper 3x3, so that they stay perpendicular to
// their faces under non-uniform scale, and keep their length. A singular matrix falls back to the
// matrix itself: there is no right answer for a flattened mesh.
struct NormalTransform {
    double m[9];

    explicit NormalTransform(const Matrix& w) {
        const double a = w[0], b = w[1], c = w[2], d = w[4], e = w[5], f = w[6], g = w[8], h = w[9],
                     i = w[10];
        const double det = a * (e * i - f * h) - b * (d * i - f * g) + c * (d * h - e * g);
        if (det == 0 || !std::isfinite(det)) {
            const double plain[9] = {a, b, c, d, e, f, g, h, i};
            std::memcpy(m, plain, sizeof m);
            return;
        }
        // The inverse transpose is the cofactor matrix over the determinant.
        const double it[9] = {(e * i - f * h) / det,  -(d * i - f * g) / det, (d * h - e * g) / det,
                              -(b * i - c * h) / det, (a * i - c * g) / det,  -(a * h - b * g) / det,
                              (b * f - c * e) / det,  -(a * f - c * d) / det, (a * e - b * d) / det};
        std::memcpy(m, it, sizeof m);
    }

    Float3 Apply(const Float3& n) const {
        const double x = n.x * m[0] + n.y * m[3] + n.z * m[6];
        const double y = n.x * m[1] + n.y * m[4] + n.z * m[7];
        const double z = n.x * m[2] + n.y * m[5] + n.z * m[8];
        const double len = std::sqrt(x * x + y * y + z * z);
        const double want = std::sqrt(double(n.x) * n.x + double(n.y) * n.y + double(n.z) * n.z);
        const double s = len > 0 ? want / len : 0;
        return {static_cast<float>(x * s), static_cast<float>(y * s), static_cast<float>(z * s)};
    }
};

// For each normal index, the first index holding the same value, so that equal normals written
// twice do not split a vertex.
std::vector<std::uint32_t> canonical_normals(const std::vector<Float3>& normals) {
    struct Key {
        std::uint32_t x, y, z;
        bool operator==(const Key&) const = default;
    };
    struct Hash {
        std::size_t operator()(const Key& k) const {
            return (k.x * 73856093u) ^ (k.y * 19349663u) ^ (k.z * 83492791u);
        }
    };
    std::unordered_map<Key, std::uint32_t, Hash> first;
    std::vector<std::uint32_t> out(normals.size());
    for (std::uint32_t i = 0; i < normals.size(); ++i) {
        Key k{};
        // +0.0f folds -0.0 into 0.0 so that the two compare equal, as the floats do.
        const float v[3] = {normals[i].x + 0.0f, normals[i].y + 0.0f, normals[i].z + 0.0f};
        std::memcpy(&k.x, &v[0], 4);
        std::memcpy(&k.y, &v[1], 4);
        std::memcpy(&k.z, &v[2], 4);
        out[i] = first.try_emplace(k, i).first->second;
    }
    return out;
}

void check_vertex_limit(std::size_t count) {
    if (count > kMaxMeshVertices) {
        throw XFileError("mesh needs " + std::to_string(count) + " vertices, more than the limit of " +
                         std::to_string(kMaxMeshVertices));
    }
}

} // namespace

MeshData MergeScene(const RawScene& scene) {
    std::vector<Matrix> world(scene.frames.size(), kIdentity);
    for (std::size_t i = 0; i < scene.frames.size(); ++i) {
        const RawFrame& f = scene.frames[i];
        world[i] = f.parent < 0 ? f.local : multiply(f.local, world[static_cast<std::size_t>(f.parent)]);
    }

    bool any_normals = false, any_texcoords = false, any_list = false, any_unlisted = false;
    std::size_t listed_materials = 0;
    for (const RawMesh& m : scene.meshes) {
        any_normals |= m.has_normals;
        any_texcoords |= m.has_texcoords;
        any_list |= m.has_material_list;
        any_unlisted |= !m.has_material_list && !m.face_sizes.empty();
        listed_materials += m.materials.size();
    }

    MeshData out;
    out.fvf = kFvfXyz | (any_normals ? kFvfNormal : 0) | (any_texcoords ? kFvfTex1 : 0);
    const std::uint32_t plain_subset = static_cast<std::uint32_t>(listed_materials);

    for (const RawMesh& mesh : scene.meshes) {
        const Matrix& m = mesh.frame < 0 ? kIdentity : world[static_cast<std::size_t>(mesh.frame)];
        const bool moved = m != kIdentity;
        const NormalTransform normal_transform(m);
        const std::size_t base = out.positions.size();
        const std::size_t count = mesh.positions.size();
        check_vertex_limit(base + count);

        // Slots of this mesh: the file's vertices first, duplicates appended as they are needed.
        std::vector<Float3> positions(mesh.positions);
        std::vector<Float2> texcoords;
        if (mesh.has_texcoords) texcoords.assign(mesh.texcoords.begin(), mesh.texcoords.begin() + count);
        std::vector<std::uint32_t> slot_normal(count, UINT32_MAX); // canonical normal index per slot
        std::vector<std::uint32_t> corner_slot(mesh.face_indices);

        if (mesh.has_normals) {
            const std::vector<std::uint32_t> canon = canonical_normals(mesh.normals);
            std::unordered_map<std::uint64_t, std::uint32_t> copies; // (vertex, normal) -> slot
            for (std::size_t c = 0; c < mesh.face_indices.size(); ++c) {
                const std::uint32_t v = mesh.face_indices[c];
                const std::uint32_t n = canon[mesh.normal_indices[c]];
                if (slot_normal[v] == UINT32_MAX || slot_normal[v] == n) {
                    slot_normal[v] = n;
                    continue;
                }
                const std::uint64_t key = (std::uint64_t{v} << 32) | n;
                auto [it, added] = copies.try_emplace(key, static_cast<std::uint32_t>(positions.size()));
                if (added) {
                    check_vertex_limit(base + positions.size() + 1);
                    positions.push_back(mesh.positions[v]);
                    if (mesh.has_texcoords) texcoords.push_back(mesh.texcoords[v]);
                    slot_normal.push_back(n);
                }
                corner_slot[c] = it->second;
            }
        }

        for (const Float3& p : positions)
            out.positions.push_back(moved ? transform_point(p, m) : p);
        if (any_normals) {
            for (const std::uint32_t n : slot_normal) {
                Float3 v;
                if (n != UINT32_MAX) v = moved ? normal_transform.Apply(mesh.normals[n]) : mesh.normals[n];
                out.normals.push_back(v);
            }
        }
        if (any_texcoords) {
            if (mesh.has_texcoords) {
                out.texcoords.insert(out.texcoords.end(), texcoords.begin(), texcoords.end());
            } else {
                out.texcoords.resize(out.positions.size());
            }
        }

        const std::uint32_t subset_base = static_cast<std::uint32_t>(out.materials.size());
        std::size_t corner = 0;
        for (std::size_t f = 0; f < mesh.face_sizes.size(); ++f) {
            const std::uint32_t n = mesh.face_sizes[f];
            const std::uint32_t subset = mesh.has_material_list ? subset_base + mesh.face_materials[f]
                                         : any_list             ? plain_subset
                                                                : 0;
            for (std::uint32_t k = 1; k + 1 < n; ++k) {
                out.faces.push_back({static_cast<std::uint32_t>(base + corner_slot[corner]),
                                     static_cast<std::uint32_t>(base + corner_slot[corner + k]),
                                     static_cast<std::uint32_t>(base + corner_slot[corner + k + 1])});
                out.subsets.push_back(subset);
            }
            corner += n;
        }
        out.materials.insert(out.materials.end(), mesh.materials.begin(), mesh.materials.end());
    }
    if (any_list && any_unlisted) {
        XMaterial plain;
        plain.diffuse = {1, 1, 1, 1};
        out.materials.push_back(plain);
    }
    return out;
}

} // namespace kl::platform::xfile

// What the parser gathers from a .x file before the meshes are merged: the frame tree and each mesh
// as the file wrote it (n-gon faces, per-corner normal indices, its own material list).
#pragma once

#include "platform/d3dx/xfile/mesh_data.h"

#include <array>
#include <cstdint>
#include <vector>

namespace kl::platform::xfile {

using Matrix = std::array<double, 16>; // row by row, row-vector convention: p' = p * M

inline constexpr Matrix kIdentity = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};

struct RawFrame {
    int parent = -1; // index into RawScene::frames, -1 at the top
    Matrix local = kIdentity;
};

struct RawMesh {
    int frame = -1; // the frame the mesh sits in, -1 at the top
    std::vector<Float3> positions;
    std::vector<std::uint32_t> face_sizes;   // corners per face
    std::vector<std::uint32_t> face_indices; // all corners, face after face
    bool has_normals = false;
    std::vector<Float3> normals;
    std::vector<std::uint32_t> normal_indices; // one per corner, laid out like face_indices
    bool has_texcoords = false;
    std::vector<Float2> texcoords; // at least one per position when present
    bool has_material_list = false;
    std::vector<std::uint32_t> face_materials; // one per face, < materials.size()
    std::vector<XMaterial> materials;
};

struct RawScene {
    std::vector<RawFrame> frames;
    std::vector<RawMesh> meshes;
};

} // namespace kl::platform::xfile

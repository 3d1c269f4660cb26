// The geometry and materials a .x mesh file yields, in plain types so that the platform stays free of
// the engine's records: one merged mesh, triangles with a subset number each, and the file's materials.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace kl::platform {

// Vertex format bits as the mesh object's callers know them.
inline constexpr std::uint32_t kFvfXyz = 0x002;
inline constexpr std::uint32_t kFvfNormal = 0x010;
inline constexpr std::uint32_t kFvfTex1 = 0x100;

// Downstream index buffers are 16-bit, so a mesh may not need more vertices than this.
inline constexpr std::size_t kMaxMeshVertices = 65535;

struct Float2 {
    float u = 0, v = 0;
    friend bool operator==(const Float2&, const Float2&) = default;
};

struct Float3 {
    float x = 0, y = 0, z = 0;
    friend bool operator==(const Float3&, const Float3&) = default;
};

struct ColorRGBA {
    float r = 0, g = 0, b = 0, a = 0;
    friend bool operator==(const ColorRGBA&, const ColorRGBA&) = default;
};

struct ColorRGB {
    float r = 0, g = 0, b = 0;
    friend bool operator==(const ColorRGB&, const ColorRGB&) = default;
};

// A material as the file stores it; the texture name is kept exactly as written (case, backslashes).
struct XMaterial {
    ColorRGBA diffuse;
    float power = 0;
    ColorRGB specular;
    ColorRGB emissive;
    std::string texture;
    friend bool operator==(const XMaterial&, const XMaterial&) = default;
};

struct MeshData {
    std::vector<Float3> positions;
    std::vector<Float3> normals;   // one per position when fvf has kFvfNormal, else empty
    std::vector<Float2> texcoords; // one per position when fvf has kFvfTex1, else empty
    std::vector<std::array<std::uint32_t, 3>> faces;
    std::vector<std::uint32_t> subsets; // one per face, an index into materials
    std::vector<XMaterial> materials;   // empty when the file has no material list
    std::uint32_t fvf = kFvfXyz;
    friend bool operator==(const MeshData&, const MeshData&) = default;
};

} // namespace kl::platform

// What a mesh draws from: buffers, subset numbers and the results of earlier operations on exactly
// this data. Meshes hold it through shared pointers; only a mesh holding the sole pointer writes.
#pragma once

#include "platform/d3dx/mesh.h"

#include <map>
#include <memory>
#include <string>
#include <vector>

namespace kl::d3dx {

struct DerivedGeometry {
    std::shared_ptr<Geometry> geometry;
    std::vector<Dword> face_remap, vertex_remap;
};

struct Geometry {
    Dword fvf = 0, stride = 0, vertex_count = 0, face_count = 0;
    std::int32_t vertex_pool = gfx::PoolManaged, index_pool = gfx::PoolManaged;
    gfx::VertexBufferPtr vertices; // none when there are no vertices
    gfx::IndexBufferPtr indices;   // none when there are no faces
    std::vector<Dword> attributes;

    // Runs of equal subset numbers; rebuilt after a write to indices or subset numbers.
    std::vector<AttributeRange> ranges;
    bool ranges_valid = false;

    // Memos, valid while the data is unchanged: adjacency by epsilon bits, and what an in-place
    // operation (by key) made of this data.
    std::map<std::uint32_t, std::vector<Dword>> adjacency;
    std::map<std::string, DerivedGeometry> derived;

    void forget_memos() {
        ranges_valid = false;
        adjacency.clear();
        derived.clear();
    }
};

// Buffer pools for creation options.
std::int32_t vertex_pool_of(Dword options);
std::int32_t index_pool_of(Dword options);

// New geometry on the device holding the given bytes (vertex_bytes a multiple of the stride,
// three indices per face, one subset number per face).
Status make_geometry(gfx::Device& device, Dword fvf, std::int32_t vertex_pool, std::int32_t index_pool,
                     const std::vector<std::uint8_t>& vertex_bytes, const std::vector<std::uint32_t>& indices,
                     std::vector<Dword> attributes, std::shared_ptr<Geometry>* out);

Status read_vertices(const Geometry& g, std::vector<std::uint8_t>* bytes);
Status read_indices(const Geometry& g, std::vector<std::uint32_t>* indices);
// Puts new contents into g, making new buffers when the sizes change.
Status write_geometry(gfx::Device& device, Geometry& g, const std::vector<std::uint8_t>& vertex_bytes,
                      const std::vector<std::uint32_t>& indices);

// A copy on new buffers, without memos.
Status clone_geometry(gfx::Device& device, const Geometry& g, std::shared_ptr<Geometry>* out);

// Runs of equal subset numbers with the vertex range their faces use.
std::vector<AttributeRange> attribute_runs(const std::vector<Dword>& attributes,
                                           const std::vector<std::uint32_t>& indices);

// The operations on plain data.
std::vector<Dword> adjacency_of(const std::vector<std::uint8_t>& vertex_bytes, Dword stride,
                                const std::vector<std::uint32_t>& indices, float epsilon);
void compute_normals(std::vector<std::uint8_t>& vertex_bytes, Dword stride, int normal_offset,
                     const std::vector<std::uint32_t>& indices);

struct OptimizeResult {
    std::vector<std::uint8_t> vertex_bytes;
    std::vector<std::uint32_t> indices;
    std::vector<Dword> attributes;
    std::vector<Dword> face_remap, vertex_remap;
};
OptimizeResult optimize(Dword flags, const std::vector<std::uint8_t>& vertex_bytes, Dword stride,
                        const std::vector<std::uint32_t>& indices, const std::vector<Dword>& attributes);

} // namespace kl::d3dx

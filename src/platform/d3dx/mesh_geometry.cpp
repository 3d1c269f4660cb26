// Mesh data on a device: making, reading, rewriting and copying the buffers behind a mesh, and the
// runs of faces that drawing a subset walks.
#include "platform/d3dx/mesh_geometry.h"

#include <algorithm>
#include <cstring>

namespace kl::d3dx {

std::int32_t vertex_pool_of(Dword options) {
    if (options & MeshVbManaged) return gfx::PoolManaged;
    if (options & MeshVbSystemMem) return gfx::PoolSystemMem;
    return gfx::PoolDefault;
}

std::int32_t index_pool_of(Dword options) {
    if (options & MeshIbManaged) return gfx::PoolManaged;
    if (options & MeshIbSystemMem) return gfx::PoolSystemMem;
    return gfx::PoolDefault;
}

namespace {

Status fill_vertices(gfx::Device& device, Geometry& g, const std::vector<std::uint8_t>& bytes) {
    const auto length = static_cast<Dword>(bytes.size());
    if (length == 0) {
        g.vertices.reset();
        return Status::Ok;
    }
    if (!g.vertices || g.vertices->Length() != length) {
        gfx::VertexBufferPtr made;
        if (const Status s = device.CreateVertexBuffer(length, 0, g.fvf, g.vertex_pool, &made);
            s != Status::Ok)
            return s;
        g.vertices = std::move(made);
    }
    std::uint8_t* data = nullptr;
    if (const Status s = g.vertices->Lock(0, 0, &data, 0); s != Status::Ok) return s;
    std::memcpy(data, bytes.data(), bytes.size());
    return g.vertices->Unlock();
}

Status fill_indices(gfx::Device& device, Geometry& g, const std::vector<std::uint32_t>& indices) {
    const auto length = static_cast<Dword>(indices.size() * 2);
    if (length == 0) {
        g.indices.reset();
        return Status::Ok;
    }
    if (!g.indices || g.indices->Length() != length) {
        gfx::IndexBufferPtr made;
        if (const Status s = device.CreateIndexBuffer(length, 0, gfx::FmtIndex16, g.index_pool, &made);
            s != Status::Ok)
            return s;
        g.indices = std::move(made);
    }
    std::uint8_t* data = nullptr;
    if (const Status s = g.indices->Lock(0, 0, &data, 0); s != Status::Ok) return s;
    for (std::size_t i = 0; i < indices.size(); ++i) {
        const auto v = static_cast<std::uint16_t>(indices[i]);
        std::memcpy(data + i * 2, &v, 2);
    }
    return g.indices->Unlock();
}

} // namespace

Status make_geometry(gfx::Device& device, Dword fvf, std::int32_t vertex_pool, std::int32_t index_pool,
                     const std::vector<std::uint8_t>& vertex_bytes, const std::vector<std::uint32_t>& indices,
                     std::vector<Dword> attributes, std::shared_ptr<Geometry>* out) {
    auto g = std::make_shared<Geometry>();
    g->fvf = fvf;
    g->stride = GetFVFVertexSize(fvf);
    g->vertex_pool = vertex_pool;
    g->index_pool = index_pool;
    g->vertex_count = g->stride == 0 ? 0 : static_cast<Dword>(vertex_bytes.size() / g->stride);
    g->face_count = static_cast<Dword>(attributes.size());
    if (indices.size() != attributes.size() * 3) return Status::InvalidCall;
    if (const Status s = fill_vertices(device, *g, vertex_bytes); s != Status::Ok) return s;
    if (const Status s = fill_indices(device, *g, indices); s != Status::Ok) return s;
    g->ranges = attribute_runs(attributes, indices);
    g->ranges_valid = true;
    g->attributes = std::move(attributes);
    *out = std::move(g);
    return Status::Ok;
}

Status read_vertices(const Geometry& g, std::vector<std::uint8_t>* bytes) {
    bytes->clear();
    if (!g.vertices) return Status::Ok;
    std::uint8_t* data = nullptr;
    if (const Status s = g.vertices->Lock(0, 0, &data, gfx::LockReadOnly); s != Status::Ok) return s;
    bytes->assign(data, data + g.vertices->Length());
    return g.vertices->Unlock();
}

Status read_indices(const Geometry& g, std::vector<std::uint32_t>* indices) {
    indices->clear();
    if (!g.indices) return Status::Ok;
    std::uint8_t* data = nullptr;
    if (const Status s = g.indices->Lock(0, 0, &data, gfx::LockReadOnly); s != Status::Ok) return s;
    indices->resize(g.indices->Length() / 2);
    for (std::size_t i = 0; i < indices->size(); ++i) {
        std::uint16_t v = 0;
        std::memcpy(&v, data + i * 2, 2);
        (*indices)[i] = v;
    }
    return g.indices->Unlock();
}

Status write_geometry(gfx::Device& device, Geometry& g, const std::vector<std::uint8_t>& vertex_bytes,
                      const std::vector<std::uint32_t>& indices) {
    g.forget_memos();
    if (const Status s = fill_vertices(device, g, vertex_bytes); s != Status::Ok) return s;
    g.vertex_count = g.stride == 0 ? 0 : static_cast<Dword>(vertex_bytes.size() / g.stride);
    if (const Status s = fill_indices(device, g, indices); s != Status::Ok) return s;
    g.face_count = static_cast<Dword>(indices.size() / 3);
    return Status::Ok;
}

Status clone_geometry(gfx::Device& device, const Geometry& g, std::shared_ptr<Geometry>* out) {
    std::vector<std::uint8_t> bytes;
    std::vector<std::uint32_t> indices;
    if (const Status s = read_vertices(g, &bytes); s != Status::Ok) return s;
    if (const Status s = read_indices(g, &indices); s != Status::Ok) return s;
    return make_geometry(device, g.fvf, g.vertex_pool, g.index_pool, bytes, indices, g.attributes, out);
}

std::vector<AttributeRange> attribute_runs(const std::vector<Dword>& attributes,
                                           const std::vector<std::uint32_t>& indices) {
    std::vector<AttributeRange> runs;
    for (std::size_t f = 0; f < attributes.size();) {
        std::size_t end = f;
        std::uint32_t low = 0xFFFFFFFFu, high = 0;
        while (end < attributes.size() && attributes[end] == attributes[f]) {
            for (std::size_t k = 0; k < 3 && end * 3 + k < indices.size(); ++k) {
                low = std::min(low, indices[end * 3 + k]);
                high = std::max(high, indices[end * 3 + k]);
            }
            ++end;
        }
        AttributeRange r;
        r.AttribId = attributes[f];
        r.FaceStart = static_cast<Dword>(f);
        r.FaceCount = static_cast<Dword>(end - f);
        r.VertexStart = low <= high ? low : 0;
        r.VertexCount = low <= high ? high - low + 1 : 0;
        runs.push_back(r);
        f = end;
    }
    return runs;
}

} // namespace kl::d3dx

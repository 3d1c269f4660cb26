// The mesh: locks with copy-on-write, drawing a subset, and the in-place operations, which reuse an
// earlier result when identical shared data went through the same operation before.
#include "platform/d3dx/mesh.h"

#include "platform/d3dx/mesh_geometry.h"

#include <bit>
#include <cstring>

namespace kl::d3dx {

namespace {

// Where a lock of an empty buffer points: nothing may be read or written there.
alignas(16) std::uint8_t no_bytes[16];

bool has_position(Dword fvf) {
    return (fvf & gfx::fvf::PositionMask) == gfx::fvf::Xyz;
}

} // namespace

Dword GetFVFVertexSize(Dword fvf) {
    return static_cast<Dword>(gfx::LayoutOf(fvf).stride);
}

Status MaterialBuffer::GetMaterial(Dword k, gfx::Material* material) const {
    if (material == nullptr || k >= materials.size()) return Status::InvalidCall;
    *material = materials[k].MatD3D;
    return Status::Ok;
}

Status MaterialBuffer::GetTextureName(Dword k, std::string* name) const {
    if (name == nullptr || k >= materials.size()) return Status::InvalidCall;
    *name = materials[k].TextureFilename;
    return Status::Ok;
}

Mesh::Mesh(std::shared_ptr<Geometry> geometry, std::weak_ptr<gfx::Device> device, Dword options)
    : geometry_(std::move(geometry)), device_(std::move(device)), options_(options) {}

Mesh::~Mesh() = default;

Dword Mesh::GetFVF() const {
    return geometry_->fvf;
}
Dword Mesh::GetNumVertices() const {
    return geometry_->vertex_count;
}
Dword Mesh::GetNumFaces() const {
    return geometry_->face_count;
}

bool Mesh::SharesBuffersWith(const Mesh& other) const {
    return geometry_ == other.geometry_;
}

Status Mesh::make_own() {
    if (geometry_.use_count() == 1) {
        geometry_->forget_memos();
        return Status::Ok;
    }
    const auto device = device_.lock();
    if (!device) return Status::InvalidCall;
    std::shared_ptr<Geometry> copy;
    if (const Status s = clone_geometry(*device, *geometry_, &copy); s != Status::Ok) return s;
    geometry_ = std::move(copy);
    return Status::Ok;
}

Status Mesh::LockVertexBuffer(Dword flags, std::uint8_t** data) {
    if (data == nullptr) return Status::InvalidCall;
    if (!(flags & gfx::LockReadOnly)) {
        if (const Status s = make_own(); s != Status::Ok) return s;
    }
    if (!geometry_->vertices) {
        *data = no_bytes;
    } else if (const Status s = geometry_->vertices->Lock(0, 0, data, flags); s != Status::Ok) {
        return s;
    }
    ++vertex_locks_;
    return Status::Ok;
}

Status Mesh::UnlockVertexBuffer() {
    if (vertex_locks_ == 0) return Status::InvalidCall;
    --vertex_locks_;
    return geometry_->vertices ? geometry_->vertices->Unlock() : Status::Ok;
}

Status Mesh::LockIndexBuffer(Dword flags, std::uint8_t** data) {
    if (data == nullptr) return Status::InvalidCall;
    if (!(flags & gfx::LockReadOnly)) {
        if (const Status s = make_own(); s != Status::Ok) return s;
    }
    if (!(flags & gfx::LockReadOnly)) geometry_->ranges_valid = false;
    if (!geometry_->indices) {
        *data = no_bytes;
    } else if (const Status s = geometry_->indices->Lock(0, 0, data, flags); s != Status::Ok) {
        return s;
    }
    ++index_locks_;
    return Status::Ok;
}

Status Mesh::UnlockIndexBuffer() {
    if (index_locks_ == 0) return Status::InvalidCall;
    --index_locks_;
    return geometry_->indices ? geometry_->indices->Unlock() : Status::Ok;
}

Status Mesh::LockAttributeBuffer(Dword flags, Dword** data) {
    if (data == nullptr) return Status::InvalidCall;
    if (!(flags & gfx::LockReadOnly)) {
        if (const Status s = make_own(); s != Status::Ok) return s;
    }
    if (!(flags & gfx::LockReadOnly)) geometry_->ranges_valid = false;
    *data = geometry_->attributes.empty() ? reinterpret_cast<Dword*>(no_bytes) : geometry_->attributes.data();
    ++attribute_locks_;
    return Status::Ok;
}

Status Mesh::UnlockAttributeBuffer() {
    if (attribute_locks_ == 0) return Status::InvalidCall;
    --attribute_locks_;
    return Status::Ok;
}

Status Mesh::GenerateAdjacency(float epsilon, Dword* adjacency) {
    if (adjacency == nullptr || !(epsilon >= 0.0f)) return Status::InvalidCall;
    Geometry& g = *geometry_;
    const std::uint32_t key = std::bit_cast<std::uint32_t>(epsilon);
    auto it = g.adjacency.find(key);
    if (it == g.adjacency.end()) {
        std::vector<std::uint8_t> bytes;
        std::vector<std::uint32_t> indices;
        if (const Status s = read_vertices(g, &bytes); s != Status::Ok) return s;
        if (const Status s = read_indices(g, &indices); s != Status::Ok) return s;
        it = g.adjacency.emplace(key, adjacency_of(bytes, g.stride, indices, epsilon)).first;
    }
    if (!it->second.empty()) std::memcpy(adjacency, it->second.data(), it->second.size() * sizeof(Dword));
    return Status::Ok;
}

template <class Apply> Status Mesh::transform(const std::string& key, Apply apply, DerivedGeometry* result) {
    if (vertex_locks_ + index_locks_ + attribute_locks_ > 0) return Status::InvalidCall;
    const auto device = device_.lock();
    if (!device) return Status::InvalidCall;
    if (geometry_.use_count() == 1) {
        geometry_->forget_memos();
        result->geometry = geometry_;
        return apply(*device, *geometry_, result);
    }
    if (const auto it = geometry_->derived.find(key); it != geometry_->derived.end()) {
        *result = it->second;
        geometry_ = result->geometry;
        return Status::Ok;
    }
    if (const Status s = clone_geometry(*device, *geometry_, &result->geometry); s != Status::Ok) return s;
    if (const Status s = apply(*device, *result->geometry, result); s != Status::Ok) return s;
    geometry_->derived[key] = *result;
    geometry_ = result->geometry;
    return Status::Ok;
}

Status Mesh::OptimizeInplace(Dword flags, const Dword* adjacency_in, Dword* adjacency_out, Dword* face_remap,
                             std::vector<Dword>* vertex_remap) {
    if (adjacency_out != nullptr && adjacency_in == nullptr) return Status::InvalidCall;
    // The input adjacency is copied first: callers may pass the same array for both.
    std::vector<Dword> adjacency;
    if (adjacency_out != nullptr)
        adjacency.assign(adjacency_in, adjacency_in + std::size_t{GetNumFaces()} * 3);
    const auto apply = [flags](gfx::Device& device, Geometry& g, DerivedGeometry* out) {
        std::vector<std::uint8_t> bytes;
        std::vector<std::uint32_t> indices;
        if (const Status s = read_vertices(g, &bytes); s != Status::Ok) return s;
        if (const Status s = read_indices(g, &indices); s != Status::Ok) return s;
        OptimizeResult r = optimize(flags, bytes, g.stride, indices, g.attributes);
        if (const Status s = write_geometry(device, g, r.vertex_bytes, r.indices); s != Status::Ok) return s;
        g.ranges = attribute_runs(r.attributes, r.indices);
        g.ranges_valid = true;
        g.attributes = std::move(r.attributes);
        out->face_remap = std::move(r.face_remap);
        out->vertex_remap = std::move(r.vertex_remap);
        return Status::Ok;
    };
    DerivedGeometry result;
    if (const Status s = transform("optimize " + std::to_string(flags), apply, &result); s != Status::Ok)
        return s;
    const std::size_t faces = result.face_remap.size();
    if (face_remap != nullptr && faces > 0)
        std::memcpy(face_remap, result.face_remap.data(), faces * sizeof(Dword));
    if (vertex_remap != nullptr) *vertex_remap = result.vertex_remap;
    if (adjacency_out != nullptr) {
        std::vector<Dword> new_of(faces);
        for (std::size_t n = 0; n < faces; ++n)
            new_of[result.face_remap[n]] = static_cast<Dword>(n);
        for (std::size_t n = 0; n < faces; ++n)
            for (std::size_t e = 0; e < 3; ++e) {
                const Dword old = adjacency[std::size_t{result.face_remap[n]} * 3 + e];
                adjacency_out[n * 3 + e] = old < faces ? new_of[old] : kNoNeighbour;
            }
    }
    return Status::Ok;
}

Status ComputeNormals(Mesh& mesh) {
    const int normal = gfx::LayoutOf(mesh.GetFVF()).normal;
    if (normal < 0) return Status::InvalidCall;
    const auto apply = [normal](gfx::Device& device, Geometry& g, DerivedGeometry*) {
        std::vector<std::uint8_t> bytes;
        std::vector<std::uint32_t> indices;
        if (const Status s = read_vertices(g, &bytes); s != Status::Ok) return s;
        if (const Status s = read_indices(g, &indices); s != Status::Ok) return s;
        compute_normals(bytes, g.stride, normal, indices);
        std::vector<Dword> attributes = std::move(g.attributes);
        const Status s = write_geometry(device, g, bytes, indices);
        g.attributes = std::move(attributes);
        return s;
    };
    DerivedGeometry result;
    return mesh.transform("normals", apply, &result);
}

std::vector<AttributeRange> Mesh::GetAttributeTable() {
    return attribute_ranges();
}

const std::vector<AttributeRange>& Mesh::attribute_ranges() {
    static const std::vector<AttributeRange> none;
    Geometry& g = *geometry_;
    if (!g.ranges_valid) {
        std::vector<std::uint32_t> indices;
        if (read_indices(g, &indices) != Status::Ok) return none;
        g.ranges = attribute_runs(g.attributes, indices);
        g.ranges_valid = true;
    }
    return g.ranges;
}

Status Mesh::DrawSubset(Dword attrib_id) {
    const auto device = device_.lock();
    if (!device) return Status::InvalidCall;
    bool bound = false;
    // Every subset of every model drawn goes through here: the table is read in place.
    for (const AttributeRange& r : attribute_ranges()) {
        if (r.AttribId != attrib_id || r.FaceCount == 0) continue;
        if (!bound) {
            const Geometry& g = *geometry_;
            if (const Status s = device->SetVertexShader(g.fvf); s != Status::Ok) return s;
            if (const Status s = device->SetStreamSource(0, g.vertices, g.stride); s != Status::Ok) return s;
            if (const Status s = device->SetIndices(g.indices, 0); s != Status::Ok) return s;
            bound = true;
        }
        if (const Status s = device->DrawIndexedPrimitive(gfx::PtTriangleList, r.VertexStart, r.VertexCount,
                                                          r.FaceStart * 3, r.FaceCount);
            s != Status::Ok)
            return s;
    }
    return Status::Ok;
}

Status CreateMeshFVF(Dword faces, Dword vertices, Dword options, Dword fvf, const gfx::DevicePtr& device,
                     MeshPtr* mesh) {
    if (mesh == nullptr) return Status::InvalidCall;
    mesh->reset();
    if (!device || !has_position(fvf) || (options & Mesh32Bit) || vertices > 65535)
        return Status::InvalidCall;
    std::shared_ptr<Geometry> g;
    const std::vector<std::uint8_t> bytes(std::size_t{vertices} * GetFVFVertexSize(fvf));
    const std::vector<std::uint32_t> indices(std::size_t{faces} * 3);
    if (const Status s = make_geometry(*device, fvf, vertex_pool_of(options), index_pool_of(options), bytes,
                                       indices, std::vector<Dword>(faces), &g);
        s != Status::Ok)
        return s;
    *mesh = std::make_shared<Mesh>(std::move(g), device, options);
    return Status::Ok;
}

} // namespace kl::d3dx

// Meshes in the shape of the utility library's mesh: vertex bytes in the layout of a vertex format,
// 16-bit indices, one 32-bit subset number per face, loaded from .x files or made empty.
#pragma once

#include "platform/gfx/device.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace kl::d3dx {

using gfx::Dword;
using platform::Status;

// Creation options. Only 16-bit indices exist; the pool bits pick the buffers' pool.
constexpr Dword Mesh32Bit = 0x001;
constexpr Dword MeshVbSystemMem = 0x010, MeshVbManaged = 0x020;
constexpr Dword MeshIbSystemMem = 0x100, MeshIbManaged = 0x200;
constexpr Dword MeshSystemMem = MeshVbSystemMem | MeshIbSystemMem;
constexpr Dword MeshManaged = MeshVbManaged | MeshIbManaged;

// OptimizeInplace flags.
constexpr Dword MeshOptCompact = 0x01000000;
constexpr Dword MeshOptAttrSort = 0x02000000;
constexpr Dword MeshOptVertexCache = 0x04000000;

// Adjacency entry of an edge no other face shares.
constexpr Dword kNoNeighbour = 0xFFFFFFFFu;

// Bytes of one vertex of a vertex format.
Dword GetFVFVertexSize(Dword fvf);

// A run of faces with one subset number and the vertices they use.
struct AttributeRange {
    Dword AttribId = 0;
    Dword FaceStart = 0, FaceCount = 0;
    Dword VertexStart = 0, VertexCount = 0;
    bool operator==(const AttributeRange&) const = default;
};

// What a .x file says about one material.
struct ExtendedMaterial {
    gfx::Material MatD3D;
    std::string TextureFilename; // as written in the file; empty when the material has none
};

// The material buffer a load hands back.
class MaterialBuffer {
  public:
    Dword Count() const { return static_cast<Dword>(materials.size()); }
    // InvalidCall for an index past the end.
    Status GetMaterial(Dword k, gfx::Material* material) const;
    Status GetTextureName(Dword k, std::string* name) const;

    std::vector<ExtendedMaterial> materials;
};

struct Geometry;
struct DerivedGeometry;

class Mesh {
  public:
    Mesh(std::shared_ptr<Geometry> geometry, std::weak_ptr<gfx::Device> device, Dword options);
    ~Mesh();
    Mesh(const Mesh&) = delete;
    Mesh& operator=(const Mesh&) = delete;

    Dword GetFVF() const;
    Dword GetNumVertices() const;
    Dword GetNumFaces() const;
    Dword GetOptions() const { return options_; }

    // flags LockReadOnly for reading; any other lock may write, so a mesh sharing its data with
    // other meshes first takes a copy of its own (the others keep what they had).
    Status LockVertexBuffer(Dword flags, std::uint8_t** data);
    Status UnlockVertexBuffer();
    Status LockIndexBuffer(Dword flags, std::uint8_t** data);
    Status UnlockIndexBuffer();
    Status LockAttributeBuffer(Dword flags, Dword** data);
    Status UnlockAttributeBuffer();

    // Three entries per face: the face across edge e (from corner e to corner e + 1), or
    // kNoNeighbour. Corners coincide when their positions differ by at most epsilon in every
    // component; with epsilon 0 only exactly equal positions do.
    Status GenerateAdjacency(float epsilon, Dword* adjacency);

    // Faces stably sorted by subset (AttrSort); within a subset, faces reordered for the vertex cache
    // and vertices renumbered in order of first use (VertexCache); vertices no face uses dropped
    // (Compact). Triangles keep their corners' order. Outputs may be null: adjacency_out (three per
    // face, needs adjacency_in), face_remap (old face of each new face), vertex_remap (old vertex of
    // each new vertex).
    Status OptimizeInplace(Dword flags, const Dword* adjacency_in, Dword* adjacency_out, Dword* face_remap,
                           std::vector<Dword>* vertex_remap);

    // Runs of faces with equal subset numbers, as DrawSubset draws them.
    std::vector<AttributeRange> GetAttributeTable();

    // Draws every face with subset number attrib_id: one draw call per run, so one call per subset
    // once the faces are sorted. A subset without faces draws nothing and succeeds.
    Status DrawSubset(Dword attrib_id);

    // Whether both meshes draw from the very same buffers.
    bool SharesBuffersWith(const Mesh& other) const;
    // The data this mesh draws from, held: equal for meshes that share it, and never reused for
    // other data while held.
    std::shared_ptr<const void> SharedData() const { return geometry_; }
    bool DrawsFrom(const std::shared_ptr<const void>& data) const { return geometry_ == data; }

  private:
    friend Status ComputeNormals(Mesh& mesh);
    // The attribute table, worked out from the faces when they have changed; empty when unreadable.
    const std::vector<AttributeRange>& attribute_ranges();
    // Gives this mesh data no other mesh sees, copying it when shared.
    Status make_own();
    // Replaces the data by the result of an in-place operation; identical data that went through
    // the same operation before gets the earlier result, so meshes of one file keep sharing.
    template <class Apply> Status transform(const std::string& key, Apply apply, DerivedGeometry* result);

    std::shared_ptr<Geometry> geometry_;
    std::weak_ptr<gfx::Device> device_;
    Dword options_;
    int vertex_locks_ = 0, index_locks_ = 0, attribute_locks_ = 0;
};

using MeshPtr = std::shared_ptr<Mesh>;

// Vertex normals from the faces: each face adds its unnormalised normal (b - a) x (c - a), whose
// length is twice its area, to its three corners; the sums are then normalised (a vertex no face
// uses gets zero). InvalidCall when the vertex format has no normal.
Status ComputeNormals(Mesh& mesh);

// An empty mesh: faces x 3 zero indices, zero vertices and subset numbers. The vertex format must
// have a three-float position.
Status CreateMeshFVF(Dword faces, Dword vertices, Dword options, Dword fvf, const gfx::DevicePtr& device,
                     MeshPtr* mesh);

// Loads a .x file (path with "\" or "/", found without regard to letter case). The vertex format is
// the one the file's data needs (position; normal and one texture pair when the file has them).
// Materials come as the file stores them, with black ambient. Outputs other than mesh may be null.
// A file read before, unchanged since (same size and modification time), is not read again: the
// meshes share their data and buffers until one of them writes.
Status LoadMeshFromX(const std::string& file, Dword options, const gfx::DevicePtr& device,
                     std::vector<Dword>* adjacency, MaterialBuffer* materials, Dword* material_count,
                     MeshPtr* mesh);

// Files read and parsed since the start or the last ClearMeshFileCache.
std::size_t MeshFileParses();
// Forgets every file read so far (the meshes keep their data).
void ClearMeshFileCache();

} // namespace kl::d3dx

// One drawable model from a .x mesh file: its materials and the scene textures they name, its own
// placement, its bound points, and the copy of its geometry that carries it across a device reset.
#pragma once

#include "engine/engine_resource.h"
#include "engine/records.h"
#include "platform/d3dx/mesh.h"

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace kl {

class cls3dEngine;

// A model's geometry as its subsets draw it: vertex bytes, three 16-bit indices per face and the
// runs of faces of each subset.
struct MeshCopy {
    std::uint32_t VertexFormat = 0;
    std::uint32_t VertexSize = 0;
    std::vector<std::uint8_t> Vertices;
    std::vector<std::uint16_t> Indices;
    std::vector<d3dx::AttributeRange> Runs;
};

class cls3dObject final : public EngineResource {
  public:
    // Rows of MaterialTextures: texture names are kept for the first 256 materials.
    static constexpr int kMaterialRows = 256;

    // Registers with the current engine (type code 2).
    cls3dObject();
    // Cleanup, then unregisters.
    ~cls3dObject() override;

    // Releases the mesh; materials, texture table, counts and placement stay.
    void Cleanup() override;
    // MipLevels has no effect. False when the file gives no material (or cannot be loaded).
    bool LoadFromFile(const std::string& File, std::int32_t MipLevels);
    void Position(const Vec3& Pos);
    Vec3 Position() const { return ObjPos; }
    void Move(const Vec3& MoveDelta);
    void RotationMatrix(const Matrix4& Matrix) { RotMatrix = Matrix; }
    Matrix4 RotationMatrix() const { return RotMatrix; }
    // Turns the placed object by the rotation about the world point Origin (position taken now).
    void SetRotation(const Vec3& Angle, const Vec3& Order, const Vec3& Origin);
    // The same turn applied after the current rotation.
    void Rotate(const Vec3& Angle, const Vec3& Order, const Vec3& Origin);
    // 0 opaque to 255 invisible: every material's diffuse alpha becomes 1 - Transparency / 255.
    void SetTransparency(std::uint8_t Transparency);
    void SetSpecPower(float SpecPower);
    // Every untextured material at least `from` bright (its largest colour component) takes the hue
    // of tint at its own brightness: the model in a colour of its own, its shading kept, its dark
    // glass and tyres as they were.
    void TintMaterials(const ColorValue& tint, float from);
    // Model-space bounds of the vertices moved by the position (the rotation is not applied);
    // (0, 0, 0) without a mesh.
    Vec3 GetLowPoint() { return GetBoundPoint(0); }
    Vec3 GetHighPoint() { return GetBoundPoint(1); }
    Vec3 GetMidPoint() { return GetBoundPoint(2); }
    // The model-space box around every vertex of the mesh, whatever the placement; false without a
    // mesh, when its positions cannot be read or are not all finite numbers.
    bool MeshBounds(Vec3& low, Vec3& high);
    void Render();
    // Subset k alone, with the world transform and states Render sets first; nothing for a k
    // outside 0 .. MaterialCount - 1. Drawing every subset this way in order is the same as Render.
    void RenderSubset(std::int32_t k);
    // The states RenderSubset(k) sets before it draws, the world transform aside; nothing for a k
    // outside 0 .. MaterialCount - 1.
    void ApplySubsetStates(std::int32_t k);
    // The transform RenderSubset draws with: rotation, then position.
    Matrix4 WorldMatrix() const;
    // The transform the model would be drawn with, turned as it is, standing at Pos instead.
    Matrix4 WorldMatrixAt(const Vec3& Pos) const;
    // False without a mesh or when it cannot be read.
    bool CopyGeometry(MeshCopy& copy);
    void StoreData() override;
    void ReStoreData() override;
    // For the engine's registry: the same as Cleanup.
    void ReleaseMesh() override;

    // Read-only views for tools and tests.
    std::int32_t GetMaterialCount() const { return MaterialCount; }
    const std::vector<Material>& GetMaterials() const { return Materials; }
    // Column 0 the texture name, column 1 the slot text ("#000").
    const std::string& GetMaterialTexture(int k, int column) const;
    const d3dx::Mesh* GetMesh() const { return Mesh.get(); }
    // Changes whenever the materials or texture names may have changed, and no two objects ever
    // share one: equal stamps mean the same look as when the stamp was read.
    std::uint64_t LookStamp() const { return Look; }
    std::int32_t GetVertexCount() const { return VertexCount; }
    std::int32_t GetFaceCount() const { return FaceCount; }

  private:
    // Render's steps before the subsets; the device to draw on, or nullptr.
    gfx::Device* begin_render(cls3dEngine& engine);
    void render_subset(cls3dEngine& engine, gfx::Device* device, std::int32_t k);
    void apply_subset_states(cls3dEngine& engine, gfx::Device* device, std::int32_t k);
    Vec3 GetBoundPoint(int Which);
    // A load that failed leaves no geometry behind, so nothing of an earlier model can come back.
    void ForgetGeometry();
    void look_changed();

    // What every frame reads first, kept together: thousands of vehicles are placed, tested and
    // drawn each frame.
    // The move part of the placement is ObjPos alone, so no matrix is kept for it: thousands of
    // vehicles are placed every frame, far more than are drawn.
    d3dx::MeshPtr Mesh;
    Vec3 ObjPos;
    Matrix4 RotMatrix;
    // MeshBounds of the mesh now held, worked out at its first call after a load or rebuild.
    bool BoundsWorkedOut = false;
    bool BoundsKnown = false;
    Vec3 BoundsLow, BoundsHigh;
    std::int32_t MaterialCount = 0;
    std::uint64_t Look = 0;

    std::vector<Material> Materials;
    // Rows for the first kMaterialRows materials, as many as the largest model loaded had; a row
    // beyond them reads as empty.
    std::vector<std::array<std::string, 2>> MaterialTextures;
    std::uint32_t VertexFormat = 0;
    std::int32_t VertexSize = 0;
    std::int32_t VertexCount = 0;
    std::int32_t FaceCount = 0;
    std::vector<std::uint8_t> SavedVertices;
    std::vector<std::uint8_t> SavedIndices;
    std::vector<std::uint8_t> SavedAttributes;
};

} // namespace kl

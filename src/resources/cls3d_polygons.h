// A drawable set of polygons whose vertices and 16-bit indices the caller writes and reads at run
// time, kept in managed device buffers (static) or in memory drawn straight from there (dynamic).
#pragma once

#include "engine/engine_resource.h"
#include "engine/records.h"
#include "platform/gfx/resources.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace kl {

class cls2dTexture;

class cls3dPolygons final : public EngineResource {
  public:
    // Registers with the current engine (type code 3). Until Initialize the primitive type is 0 and
    // both placement matrices are all zeros.
    cls3dPolygons();
    // Cleanup, then leaves the registry.
    ~cls3dPolygons() override;

    void Initialize(bool DynamicUsage);
    // Releases the device buffers and the texture reference; arrays, capacities and settings stay.
    void Cleanup() override;

    // Storage grows to exactly the highest slot written and never shrinks here. Negative offsets
    // or counts write or read nothing.
    void SetVertexData(const PolyVertex* vData, std::int32_t Offset, std::int32_t cnt);
    // Leaves the destination untouched unless Offset + cnt is within the capacity.
    void GetVertexData(PolyVertex* vData, std::int32_t Offset, std::int32_t cnt);
    void SetIndexData(const std::uint16_t* iData, std::int32_t Offset, std::int32_t cnt);
    void GetIndexData(std::uint16_t* iData, std::int32_t Offset, std::int32_t cnt);

    void SetMaterial(const Material& nMat) { PolyMaterial = nMat; }
    void SetPolyFormat(std::int32_t nPolyFormat) { PolyFormat = nPolyFormat; }
    // Shared, not copied: the object keeps the texture alive until Cleanup or the next SetTexture.
    void SetTexture(std::shared_ptr<const cls2dTexture> nTex) { Texture = std::move(nTex); }
    // 0 leaves the device's cull mode, 1 draws both sides, 2 culls clockwise, 3 counter-clockwise.
    void SetVisibility(std::int32_t nVisibility) { Visibility = nVisibility; }
    void SetIndexed(bool nIndexed) { Indexed = nIndexed; }

    void Position(const Vec3& Pos);
    Vec3 Position() const { return ObjPos; }
    void Move(const Vec3& MoveDelta);
    void RotationMatrix(const Matrix4& Matrix) { RotMatrix = Matrix; }
    Matrix4 RotationMatrix() const { return RotMatrix; }
    // Turns the placed object about the world point Origin (replacing, or after, the current turn).
    void SetRotation(const Vec3& Angle, const Vec3& Order, const Vec3& Origin);
    void Rotate(const Vec3& Angle, const Vec3& Order, const Vec3& Origin);

    // Counts of 0 or less leave that storage alone. Content is kept up to the smaller size. A
    // failure returns false and keeps the old storage, its content and its capacity.
    bool ChangeBufferSize(std::int32_t NewStaticVCnt, std::int32_t NewStaticICnt);
    // PolyCnt primitives from vertex or index slot Offset (always slot 0 with dynamic usage), in the
    // normal, shadow or reflection pass as the engine's state says.
    void Render(std::int32_t Offset, std::int32_t PolyCnt);

    void StoreData() override;
    void ReStoreData() override;
    bool GetDynamicUsage() override { return DynamicUsage; }

    std::int32_t GetVertexCapacity() const { return VertexCapacity; }
    std::int32_t GetIndexCapacity() const { return IndexCapacity; }
    std::int32_t GetPolyFormat() const { return PolyFormat; }
    std::int32_t GetVisibility() const { return Visibility; }
    const Material& GetMaterial() const { return PolyMaterial; }

  private:
    static std::int32_t FlipCullMode(std::int32_t nVisibility);
    bool resize_vertices(std::int32_t count);
    bool resize_indices(std::int32_t count);
    bool draw(std::int32_t Offset, std::int32_t PolyCnt);

    std::int32_t PolyFormat = 0;
    std::shared_ptr<const cls2dTexture> Texture;
    alignas(float) Material PolyMaterial;
    std::int32_t Visibility = 0;
    bool Indexed = false;
    bool DynamicUsage = false;
    std::int32_t VertexCapacity = 0;
    std::int32_t IndexCapacity = 0;
    std::vector<PolyVertex> VertexData;
    std::vector<std::uint16_t> IndexData;
    bool IndicesSaved = false;
    // The packed records are read through float pointers, so they keep a float's alignment.
    alignas(float) Vec3 ObjPos;
    alignas(float) Matrix4 TransMatrix;
    alignas(float) Matrix4 RotMatrix;
    gfx::VertexBufferPtr VertexBuffer;
    gfx::IndexBufferPtr IndexBuffer;
};

} // namespace kl

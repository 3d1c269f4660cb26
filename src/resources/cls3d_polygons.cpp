// Polygon buffers: run-time geometry in managed device buffers or in memory, drawn in the normal,
// planar-shadow and reflection passes, and kept across a device reset.
#include "resources/cls3d_polygons.h"

#include "engine/cls3d_engine.h"
#include "engine/engine_platform.h"
#include "engine/math.h"
#include "engine/mdl_main.h"
#include "fault/fault.h"
#include "overlay/cls2d_texture.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <new>

namespace kl {

using engine_detail::state_bool;
using gfx::Dword;
using platform::Failed;

namespace {

constexpr std::int64_t kVertexBytes = sizeof(PolyVertex);
constexpr std::int64_t kIndexBytes = sizeof(std::uint16_t);

// Byte counts are 32-bit signed: a larger one is an overflow and ends the operation.
bool byte_count(std::int64_t count, std::int64_t element, Dword* bytes) {
    const std::int64_t total = count * element;
    if (count < 0 || total > std::numeric_limits<std::int32_t>::max()) return false;
    *bytes = static_cast<Dword>(total);
    return true;
}

// A run of slots [Offset, Offset + cnt) with both ends usable; false for negative or overflowing runs.
bool slot_run(std::int32_t Offset, std::int32_t cnt, std::int64_t* end) {
    if (Offset < 0 || cnt < 0) return false;
    *end = std::int64_t{Offset} + cnt;
    return *end <= std::numeric_limits<std::int32_t>::max();
}

// Copies bytes into or out of a device buffer through a lock of just that range.
template <class Buffer> bool write_buffer(Buffer& buffer, Dword offset, Dword bytes, const void* from) {
    if (bytes == 0) return true; // a lock of size 0 would mean the whole buffer
    std::uint8_t* data = nullptr;
    if (Failed(buffer.Lock(offset, bytes, &data, 0))) return false;
    std::memcpy(data, from, bytes);
    return !Failed(buffer.Unlock());
}

template <class Buffer> bool read_buffer(Buffer& buffer, Dword offset, Dword bytes, void* to) {
    if (bytes == 0) return true;
    std::uint8_t* data = nullptr;
    if (Failed(buffer.Lock(offset, bytes, &data, gfx::LockReadOnly))) return false;
    std::memcpy(to, data, bytes);
    return !Failed(buffer.Unlock());
}

} // namespace

cls3dPolygons::cls3dPolygons() {
    if (cls3dEngine* engine = CurrentEngine()) engine->RegisterObject(this, ObjTypePolygons);
}

cls3dPolygons::~cls3dPolygons() {
    Cleanup();
    try {
        if (cls3dEngine* engine = CurrentEngine()) engine->UnregisterObject(this);
    } catch (const Fault&) {
        // Unregistering only fails after the entry is gone.
    }
}

void cls3dPolygons::Initialize(bool nDynamicUsage) {
    TransMatrix = MatrixIdentity();
    RotMatrix = MatrixIdentity();
    PolyFormat = gfx::PtTriangleList;
    if (const cls3dEngine* engine = CurrentEngine()) PolyMaterial = engine->GetDefaultMaterial();
    Visibility = gfx::CullCcw;
    DynamicUsage = nDynamicUsage;
}

void cls3dPolygons::Cleanup() {
    VertexBuffer.reset();
    IndexBuffer.reset();
    Texture.reset();
}

void cls3dPolygons::SetVertexData(const PolyVertex* vData, std::int32_t Offset, std::int32_t cnt) {
    std::int64_t end = 0;
    Dword offset_bytes = 0, bytes = 0;
    if (vData == nullptr || !slot_run(Offset, cnt, &end) ||
        !byte_count(Offset, kVertexBytes, &offset_bytes) || !byte_count(cnt, kVertexBytes, &bytes))
        return;
    if (VertexCapacity < end && !ChangeBufferSize(static_cast<std::int32_t>(end), 0)) return;
    if (DynamicUsage) {
        if (std::ssize(VertexData) < end) return; // storage made before a change of usage
        std::copy_n(vData, cnt, VertexData.begin() + Offset);
        return;
    }
    if (VertexBuffer) write_buffer(*VertexBuffer, offset_bytes, bytes, vData);
}

void cls3dPolygons::GetVertexData(PolyVertex* vData, std::int32_t Offset, std::int32_t cnt) {
    std::int64_t end = 0;
    Dword offset_bytes = 0, bytes = 0;
    if (vData == nullptr || !slot_run(Offset, cnt, &end) || end > VertexCapacity ||
        !byte_count(Offset, kVertexBytes, &offset_bytes) || !byte_count(cnt, kVertexBytes, &bytes))
        return;
    if (DynamicUsage) {
        if (std::ssize(VertexData) < end) return;
        std::copy_n(VertexData.begin() + Offset, cnt, vData);
        return;
    }
    if (VertexBuffer) read_buffer(*VertexBuffer, offset_bytes, bytes, vData);
}

void cls3dPolygons::SetIndexData(const std::uint16_t* iData, std::int32_t Offset, std::int32_t cnt) {
    std::int64_t end = 0;
    Dword offset_bytes = 0, bytes = 0;
    if (iData == nullptr || !slot_run(Offset, cnt, &end) || !byte_count(Offset, kIndexBytes, &offset_bytes) ||
        !byte_count(cnt, kIndexBytes, &bytes))
        return;
    if (IndexCapacity < end && !ChangeBufferSize(0, static_cast<std::int32_t>(end))) return;
    if (DynamicUsage) {
        if (std::ssize(IndexData) < end) return;
        std::copy_n(iData, cnt, IndexData.begin() + Offset);
        return;
    }
    if (IndexBuffer) write_buffer(*IndexBuffer, offset_bytes, bytes, iData);
}

void cls3dPolygons::GetIndexData(std::uint16_t* iData, std::int32_t Offset, std::int32_t cnt) {
    std::int64_t end = 0;
    Dword offset_bytes = 0, bytes = 0;
    if (iData == nullptr || !slot_run(Offset, cnt, &end) || end > IndexCapacity ||
        !byte_count(Offset, kIndexBytes, &offset_bytes) || !byte_count(cnt, kIndexBytes, &bytes))
        return;
    if (DynamicUsage) {
        if (std::ssize(IndexData) < end) return;
        std::copy_n(IndexData.begin() + Offset, cnt, iData);
        return;
    }
    if (IndexBuffer) read_buffer(*IndexBuffer, offset_bytes, bytes, iData);
}

void cls3dPolygons::Position(const Vec3& Pos) {
    ObjPos = Pos;
    TransMatrix = MatrixTranslation(Pos.x, Pos.y, Pos.z);
}

void cls3dPolygons::Move(const Vec3& MoveDelta) {
    Position(ObjPos + MoveDelta);
}

void cls3dPolygons::SetRotation(const Vec3& Angle, const Vec3& Order, const Vec3& Origin) {
    const Vec3 there = ObjPos - Origin, back = Origin - ObjPos;
    RotMatrix = MatrixTranslation(there.x, there.y, there.z) * mdlMain::RotationFromAngles(Angle, Order) *
                MatrixTranslation(back.x, back.y, back.z);
}

void cls3dPolygons::Rotate(const Vec3& Angle, const Vec3& Order, const Vec3& Origin) {
    const Vec3 there = ObjPos - Origin, back = Origin - ObjPos;
    RotMatrix =
        RotMatrix * (MatrixTranslation(there.x, there.y, there.z) *
                     mdlMain::RotationFromAngles(Angle, Order) * MatrixTranslation(back.x, back.y, back.z));
}

// The new buffer is made and filled before the old one goes, so that a refused growth loses nothing.
bool cls3dPolygons::resize_vertices(std::int32_t count) {
    Dword bytes = 0;
    if (!byte_count(count, kVertexBytes, &bytes)) return false;
    if (DynamicUsage) {
        if (count != VertexCapacity) {
            VertexData.resize(static_cast<std::size_t>(count));
            VertexCapacity = count;
        }
        return true;
    }
    if (VertexBuffer && count == VertexCapacity) return true;
    gfx::Device* device = CurrentDevice();
    if (device == nullptr) return false;
    std::vector<std::uint8_t> kept;
    if (VertexBuffer) {
        kept.resize(static_cast<std::size_t>(std::min(VertexCapacity, count)) * kVertexBytes);
        if (!read_buffer(*VertexBuffer, 0, static_cast<Dword>(kept.size()), kept.data())) return false;
    }
    gfx::VertexBufferPtr fresh;
    if (Failed(device->CreateVertexBuffer(bytes, 0, kFvfPolyVertex, gfx::PoolManaged, &fresh))) return false;
    if (!write_buffer(*fresh, 0, static_cast<Dword>(kept.size()), kept.data())) return false;
    VertexBuffer = std::move(fresh);
    VertexCapacity = count;
    return true;
}

bool cls3dPolygons::resize_indices(std::int32_t count) {
    Dword bytes = 0;
    if (!byte_count(count, kIndexBytes, &bytes)) return false;
    if (DynamicUsage) {
        if (count != IndexCapacity) {
            IndexData.resize(static_cast<std::size_t>(count));
            IndexCapacity = count;
        }
        return true;
    }
    if (IndexBuffer && count == IndexCapacity) return true;
    gfx::Device* device = CurrentDevice();
    if (device == nullptr) return false;
    std::vector<std::uint8_t> kept;
    if (IndexBuffer) {
        kept.resize(static_cast<std::size_t>(std::min(IndexCapacity, count)) * kIndexBytes);
        if (!read_buffer(*IndexBuffer, 0, static_cast<Dword>(kept.size()), kept.data())) return false;
    }
    gfx::IndexBufferPtr fresh;
    if (Failed(device->CreateIndexBuffer(bytes, 0, gfx::FmtIndex16, gfx::PoolManaged, &fresh))) return false;
    if (!write_buffer(*fresh, 0, static_cast<Dword>(kept.size()), kept.data())) return false;
    IndexBuffer = std::move(fresh);
    IndexCapacity = count;
    return true;
}

bool cls3dPolygons::ChangeBufferSize(std::int32_t NewStaticVCnt, std::int32_t NewStaticICnt) {
    try {
        if (NewStaticVCnt > 0 && !resize_vertices(NewStaticVCnt)) return false;
        if (NewStaticICnt > 0 && !resize_indices(NewStaticICnt)) return false;
    } catch (const std::bad_alloc&) {
        return false;
    }
    return true;
}

std::int32_t cls3dPolygons::FlipCullMode(std::int32_t nVisibility) {
    switch (nVisibility) {
    case gfx::CullCw:
        return gfx::CullCcw;
    case gfx::CullCcw:
        return gfx::CullCw;
    default:
        return gfx::CullNone;
    }
}

void cls3dPolygons::Render(std::int32_t Offset, std::int32_t PolyCnt) {
    cls3dEngine* engine = CurrentEngine();
    gfx::Device* d = CurrentDevice();
    if (engine == nullptr || d == nullptr) return;
    try {
        if (Failed(d->SetVertexShader(kFvfPolyVertex))) return;
        const bool shadow = engine->GetShadowState();
        if (shadow) {
            // The engine's shadow material, texture and blending apply; the geometry is flattened.
            engine->SetWorldWithShadow(TransMatrix, RotMatrix, engine->GetShadowMatrix());
        } else {
            engine->SetWorld(TransMatrix, RotMatrix);
            gfx::TexturePtr texture;
            bool needs_blend = false;
            if (Texture && Texture->GetTexture()) {
                texture = Texture->GetTexture();
                const Dword mip = texture->GetLevelCount() == 1 ? gfx::TexfNone : gfx::TexfLinear;
                if (Failed(d->SetTextureStageState(0, gfx::tss::MipFilter, mip))) return;
                needs_blend = Texture->GetColorKey() != 0 || Texture->GetAlphaEdited();
            }
            if (Failed(d->SetTexture(0, texture))) return;
            if (Failed(d->SetMaterial(PolyMaterial))) return;
            const bool opaque = PolyMaterial.Diffuse.a == 1.0f;
            if (!opaque || needs_blend) {
                if (Failed(d->SetRenderState(gfx::rs::AlphaBlendEnable, state_bool(true)))) return;
                // The first alpha argument is the diffuse alpha, the second the texture alpha.
                const Dword op = opaque        ? gfx::TopSelectArg2
                                 : needs_blend ? gfx::TopModulate
                                               : gfx::TopSelectArg1;
                if (Failed(d->SetTextureStageState(0, gfx::tss::AlphaOp, op))) return;
            }
        }
        if (Visibility != 0) {
            // A mirrored view reverses the winding of every triangle.
            const std::int32_t cull = engine->GetReflectionState() ? FlipCullMode(Visibility) : Visibility;
            if (Failed(d->SetRenderState(gfx::rs::CullMode, static_cast<Dword>(cull)))) return;
        }
        if (!draw(Offset, PolyCnt)) return;
        if (!shadow)
            IgnoreStatus(d->SetRenderState(gfx::rs::AlphaBlendEnable, state_bool(false)),
                         "errors are ignored here");
    } catch (const Fault&) {
        // A failing world transform ends the drawing like any other failing step.
    }
}

// With dynamic usage drawing always starts at slot 0, and a count reaching past the arrays draws
// nothing instead of reading beyond them.
bool cls3dPolygons::draw(std::int32_t Offset, std::int32_t PolyCnt) {
    gfx::Device& d = *CurrentDevice();
    const auto count = static_cast<Dword>(PolyCnt);
    if (!DynamicUsage) {
        if (Failed(d.SetStreamSource(0, VertexBuffer, kVertexBytes))) return false;
        if (!Indexed) return !Failed(d.DrawPrimitive(PolyFormat, static_cast<Dword>(Offset), count));
        if (Failed(d.SetIndices(IndexBuffer, 0))) return false;
        return !Failed(d.DrawIndexedPrimitive(PolyFormat, 0, static_cast<Dword>(VertexCapacity),
                                              static_cast<Dword>(Offset), count));
    }
    const std::int64_t needed = gfx::VertexCountFor(PolyFormat, PolyCnt);
    if (needed == 0 || VertexCapacity == 0 || std::ssize(VertexData) < VertexCapacity) return false;
    if (!Indexed) {
        if (needed > VertexCapacity) return false;
        return !Failed(d.DrawPrimitiveUP(PolyFormat, count, VertexData.data(), kVertexBytes));
    }
    if (needed > IndexCapacity || std::ssize(IndexData) < IndexCapacity) return false;
    return !Failed(d.DrawIndexedPrimitiveUP(PolyFormat, 0, static_cast<Dword>(VertexCapacity), count,
                                            IndexData.data(), gfx::FmtIndex16, VertexData.data(),
                                            kVertexBytes));
}

// Called a second time after a reset that failed half way, the buffers are gone and the copies
// taken the first time are kept.
void cls3dPolygons::StoreData() {
    if (DynamicUsage || (!VertexBuffer && !IndexBuffer)) return;
    try {
        if (VertexBuffer) {
            VertexData.resize(static_cast<std::size_t>(VertexCapacity));
            if (!read_buffer(*VertexBuffer, 0, static_cast<Dword>(VertexCapacity * kVertexBytes),
                             VertexData.data()))
                return;
        }
        IndicesSaved = false;
        if (IndexBuffer) {
            IndexData.resize(static_cast<std::size_t>(IndexCapacity));
            if (!read_buffer(*IndexBuffer, 0, static_cast<Dword>(IndexCapacity * kIndexBytes),
                             IndexData.data()))
                return;
            IndicesSaved = true;
        }
    } catch (const std::bad_alloc&) {
    }
}

void cls3dPolygons::ReStoreData() {
    if (DynamicUsage || !ChangeBufferSize(VertexCapacity, IndexCapacity)) return;
    if (VertexBuffer && VertexData.size() >= static_cast<std::size_t>(VertexCapacity) &&
        !write_buffer(*VertexBuffer, 0, static_cast<Dword>(VertexCapacity * kVertexBytes), VertexData.data()))
        return;
    if (IndicesSaved && IndexBuffer && IndexData.size() >= static_cast<std::size_t>(IndexCapacity))
        write_buffer(*IndexBuffer, 0, static_cast<Dword>(IndexCapacity * kIndexBytes), IndexData.data());
}

} // namespace kl

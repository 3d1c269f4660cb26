// The mesh object: loading with the texture-table lookup and emissive rules, placement and rotation,
// bound points, drawing subset by subset, and the store and rebuild around a device reset.
#include "resources/cls3d_object.h"

#include "engine/cls3d_engine.h"
#include "engine/math.h"
#include "engine/mdl_main.h"
#include "fault/fault.h"
#include "resources/scene_textures.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace kl {

namespace {

using platform::Failed;

// Loading and drawing skip a failing step and go on with the next.
template <class Step> void skip_on_fault(Step step) {
    try {
        step();
    } catch (const Fault&) {
    }
}

// A slot number written with three digits and leading zeros.
std::string slot_text(int slot) {
    char text[8];
    std::snprintf(text, sizeof text, "%03d", slot);
    return text;
}

// The slot number back from its text; a text that is not three digits is a fault.
int slot_of(const std::string& text) {
    if (text.size() != 3 ||
        !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; }))
        throw Fault("Type mismatch");
    return std::stoi(text);
}

Matrix4 translation(const Vec3& v) {
    return MatrixTranslation(v.x, v.y, v.z);
}

} // namespace

cls3dObject::cls3dObject() : RotMatrix(MatrixIdentity()) {
    look_changed();
    if (cls3dEngine* engine = CurrentEngine()) engine->RegisterObject(this, ObjTypeMesh);
}

cls3dObject::~cls3dObject() {
    Cleanup();
    // An engine that is gone has already forgotten this object; another one does nothing.
    if (cls3dEngine* engine = CurrentEngine()) skip_on_fault([&] { engine->UnregisterObject(this); });
}

void cls3dObject::Cleanup() {
    Mesh.reset();
    BoundsWorkedOut = false;
}

void cls3dObject::ReleaseMesh() {
    Cleanup();
}

const std::string& cls3dObject::GetMaterialTexture(int k, int column) const {
    static const std::array<std::string, 2> kEmptyRow;
    if (k >= 0 && k < kMaterialRows && static_cast<std::size_t>(k) >= MaterialTextures.size())
        return checked_at(kEmptyRow, column);
    return checked_at(checked_at(MaterialTextures, k), column);
}

void cls3dObject::look_changed() {
    // Objects are made and loaded on the drawing thread, but a stamp costs nothing to make safe.
    static std::atomic<std::uint64_t> next{1};
    Look = next.fetch_add(1, std::memory_order_relaxed);
}

void cls3dObject::ForgetGeometry() {
    VertexFormat = 0;
    VertexSize = 0;
    VertexCount = 0;
    FaceCount = 0;
    SavedVertices.clear();
    SavedIndices.clear();
    SavedAttributes.clear();
}

bool cls3dObject::LoadFromFile(const std::string& File, std::int32_t /*MipLevels*/) {
    Cleanup();
    look_changed();

    d3dx::MaterialBuffer buffer;
    d3dx::Dword count = 0;
    std::vector<d3dx::Dword> adjacency;
    cls3dEngine* engine = CurrentEngine();
    const bool loaded =
        engine != nullptr && !Failed(d3dx::LoadMeshFromX(File, d3dx::MeshManaged, engine->DevicePointer(),
                                                         &adjacency, &buffer, &count, &Mesh));
    if (loaded) {
        MaterialCount = static_cast<std::int32_t>(count);
    } else {
        // Without this an object that had loaded before would keep its old count and report success
        // with no mesh.
        MaterialCount = 0;
        ForgetGeometry();
    }
    adjacency.clear();
    if (MaterialCount == 0) return false;

    Materials.assign(static_cast<std::size_t>(MaterialCount), Material{});
    const auto rows = static_cast<std::size_t>(std::min(MaterialCount, kMaterialRows));
    if (MaterialTextures.size() < rows) MaterialTextures.resize(rows);
    for (std::int32_t k = 0; k < MaterialCount; ++k) {
        Material& m = Materials[static_cast<std::size_t>(k)];
        Material read;
        if (!Failed(buffer.GetMaterial(static_cast<d3dx::Dword>(k), &read))) m = read;
        std::string name;
        IgnoreStatus(buffer.GetTextureName(static_cast<d3dx::Dword>(k), &name), "errors are ignored here");
        // Rows exist for the first materials only; later ones keep no name and draw untextured.
        auto* row = static_cast<std::size_t>(k) < MaterialTextures.size()
                        ? &MaterialTextures[static_cast<std::size_t>(k)]
                        : nullptr;
        if (!name.empty()) {
            if (row != nullptr) {
                (*row)[0] = name;
                (*row)[1] = "007"; // the slot drawn when no slot carries the name
                for (int j = 0; j < mdlKl::kTextureSlots; ++j) {
                    if (mdlKl::TextureNames[static_cast<std::size_t>(j)] == name) {
                        (*row)[1] = slot_text(j);
                        break;
                    }
                }
            }
            // Textures show at full brightness whatever the lights.
            m.Emissive.r = m.Emissive.g = m.Emissive.b = 1.0f;
        } else {
            // A row left from an earlier model must not lend its texture to this material.
            if (row != nullptr) *row = {};
            m.Emissive.r = m.Diffuse.r;
            m.Emissive.g = m.Diffuse.g;
            m.Emissive.b = m.Diffuse.b;
        }
    }

    if (Mesh) {
        adjacency.assign(std::size_t{Mesh->GetNumFaces()} * 3, d3dx::kNoNeighbour);
        if (!adjacency.empty())
            IgnoreStatus(Mesh->GenerateAdjacency(0.0f, adjacency.data()), "errors are ignored here");
        IgnoreStatus(
            Mesh->OptimizeInplace(d3dx::MeshOptCompact | d3dx::MeshOptAttrSort | d3dx::MeshOptVertexCache,
                                  adjacency.empty() ? nullptr : adjacency.data(), nullptr, nullptr, nullptr),
            "an unoptimised mesh draws the same");
        VertexFormat = Mesh->GetFVF();
        VertexSize = static_cast<std::int32_t>(d3dx::GetFVFVertexSize(VertexFormat));
        VertexCount = static_cast<std::int32_t>(Mesh->GetNumVertices());
        FaceCount = static_cast<std::int32_t>(Mesh->GetNumFaces());
        IgnoreStatus(d3dx::ComputeNormals(*Mesh), "errors are ignored here");
    }
    SetTransparency(0);
    SetSpecPower(0);
    return true;
}

void cls3dObject::Position(const Vec3& Pos) {
    ObjPos = Pos;
}

void cls3dObject::Move(const Vec3& MoveDelta) {
    ObjPos = ObjPos + MoveDelta;
}

void cls3dObject::SetRotation(const Vec3& Angle, const Vec3& Order, const Vec3& Origin) {
    RotMatrix = translation(ObjPos - Origin) * mdlMain::RotationFromAngles(Angle, Order) *
                translation(Origin - ObjPos);
}

void cls3dObject::Rotate(const Vec3& Angle, const Vec3& Order, const Vec3& Origin) {
    RotMatrix = RotMatrix * (translation(ObjPos - Origin) * mdlMain::RotationFromAngles(Angle, Order) *
                             translation(Origin - ObjPos));
}

void cls3dObject::SetTransparency(std::uint8_t Transparency) {
    look_changed();
    const float alpha = 1.0f - static_cast<float>(Transparency) / 255.0f;
    for (std::int32_t k = 0; k < MaterialCount && static_cast<std::size_t>(k) < Materials.size(); ++k)
        Materials[static_cast<std::size_t>(k)].Diffuse.a = alpha;
}

void cls3dObject::SetSpecPower(float SpecPower) {
    look_changed();
    for (std::int32_t k = 0; k < MaterialCount && static_cast<std::size_t>(k) < Materials.size(); ++k)
        Materials[static_cast<std::size_t>(k)].Power = SpecPower;
}

void cls3dObject::TintMaterials(const ColorValue& tint, float from) {
    look_changed();
    for (std::int32_t k = 0; k < MaterialCount && static_cast<std::size_t>(k) < Materials.size(); ++k) {
        if (k < kMaterialRows && !GetMaterialTexture(k, 0).empty()) continue;
        Material& m = Materials[static_cast<std::size_t>(k)];
        const float bright = std::max({m.Diffuse.r, m.Diffuse.g, m.Diffuse.b});
        if (!(bright >= from)) continue;
        for (ColorValue* c : {&m.Diffuse, &m.Ambient, &m.Emissive}) {
            c->r = tint.r * bright;
            c->g = tint.g * bright;
            c->b = tint.b * bright;
        }
    }
}

Vec3 cls3dObject::GetBoundPoint(int Which) {
    if (!Mesh) return {};
    std::uint8_t* data = nullptr;
    if (Failed(Mesh->LockVertexBuffer(gfx::LockReadOnly, &data))) return {};
    // Counts recorded for another model must not lead the reading past this one's vertices.
    const std::size_t available =
        std::size_t{Mesh->GetNumVertices()} * d3dx::GetFVFVertexSize(Mesh->GetFVF());
    if (VertexCount > 0 &&
        (VertexSize < 12 || std::size_t(VertexCount - 1) * std::size_t(VertexSize) + 12 > available)) {
        IgnoreStatus(Mesh->UnlockVertexBuffer(), "errors are ignored here");
        return {};
    }
    float low[3] = {0, 0, 0}, high[3] = {0, 0, 0};
    for (std::int32_t i = 0; i < VertexCount; ++i) {
        float p[3];
        std::memcpy(p, data + std::size_t(i) * std::size_t(VertexSize), sizeof p);
        for (int c = 0; c < 3; ++c) {
            if (i == 0) {
                low[c] = high[c] = p[c];
            } else {
                if (p[c] < low[c]) low[c] = p[c];
                if (p[c] > high[c]) high[c] = p[c];
            }
        }
    }
    IgnoreStatus(Mesh->UnlockVertexBuffer(), "errors are ignored here");
    Vec3 point;
    if (Which == 0) {
        point = {low[0], low[1], low[2]};
    } else if (Which == 1) {
        point = {high[0], high[1], high[2]};
    } else {
        point = {(low[0] + high[0]) / 2, (low[1] + high[1]) / 2, (low[2] + high[2]) / 2};
    }
    return point + ObjPos;
}

gfx::Device* cls3dObject::begin_render(cls3dEngine& engine) {
    skip_on_fault([&] { engine.SetWorld(translation(ObjPos), RotMatrix); });
    gfx::Device* device = engine.Device();
    if (device != nullptr) {
        IgnoreStatus(device->SetTextureStageState(0, gfx::tss::AlphaOp, gfx::TopSelectArg1),
                     "errors are ignored here");
        IgnoreStatus(device->SetRenderState(gfx::rs::CullMode, gfx::CullCcw), "errors are ignored here");
    }
    return device;
}

void cls3dObject::ApplySubsetStates(std::int32_t k) {
    cls3dEngine* engine = CurrentEngine();
    if (engine == nullptr || k < 0 || k >= MaterialCount) return;
    gfx::Device* device = engine->Device();
    if (device == nullptr) return;
    IgnoreStatus(device->SetTextureStageState(0, gfx::tss::AlphaOp, gfx::TopSelectArg1),
                 "errors are ignored here");
    IgnoreStatus(device->SetRenderState(gfx::rs::CullMode, gfx::CullCcw), "errors are ignored here");
    apply_subset_states(*engine, device, k);
}

bool cls3dObject::MeshBounds(Vec3& low, Vec3& high) {
    if (!Mesh) return false;
    if (!BoundsWorkedOut) {
        BoundsWorkedOut = true;
        BoundsKnown = false;
        const gfx::VertexLayout layout = gfx::LayoutOf(Mesh->GetFVF());
        std::uint8_t* data = nullptr;
        if (layout.pretransformed || layout.position < 0 || Mesh->GetNumVertices() == 0 ||
            Failed(Mesh->LockVertexBuffer(gfx::LockReadOnly, &data)))
            return false;
        float lo[3] = {0, 0, 0}, hi[3] = {0, 0, 0};
        bool finite = true;
        for (std::size_t i = 0; i < Mesh->GetNumVertices() && finite; ++i) {
            float p[3];
            std::memcpy(p, data + i * std::size_t(layout.stride) + std::size_t(layout.position), sizeof p);
            for (int c = 0; c < 3; ++c) {
                finite = finite && std::isfinite(p[c]);
                lo[c] = i == 0 ? p[c] : std::min(lo[c], p[c]);
                hi[c] = i == 0 ? p[c] : std::max(hi[c], p[c]);
            }
        }
        IgnoreStatus(Mesh->UnlockVertexBuffer(), "errors are ignored here");
        if (!finite) return false;
        BoundsLow = {lo[0], lo[1], lo[2]};
        BoundsHigh = {hi[0], hi[1], hi[2]};
        BoundsKnown = true;
    }
    low = BoundsLow;
    high = BoundsHigh;
    return BoundsKnown;
}

Matrix4 cls3dObject::WorldMatrix() const {
    return WorldMatrixAt(ObjPos);
}

Matrix4 cls3dObject::WorldMatrixAt(const Vec3& Pos) const {
    return RotMatrix * translation(Pos);
}

bool cls3dObject::CopyGeometry(MeshCopy& copy) {
    if (!Mesh) return false;
    copy.VertexFormat = Mesh->GetFVF();
    copy.VertexSize = d3dx::GetFVFVertexSize(copy.VertexFormat);
    const std::size_t vertex_bytes = std::size_t{Mesh->GetNumVertices()} * copy.VertexSize;
    const std::size_t index_count = std::size_t{Mesh->GetNumFaces()} * 3;
    std::uint8_t* data = nullptr;
    if (Failed(Mesh->LockVertexBuffer(gfx::LockReadOnly, &data))) return false;
    copy.Vertices.assign(data, data + vertex_bytes);
    IgnoreStatus(Mesh->UnlockVertexBuffer(), "errors are ignored here");
    if (Failed(Mesh->LockIndexBuffer(gfx::LockReadOnly, &data))) return false;
    copy.Indices.resize(index_count);
    std::memcpy(copy.Indices.data(), data, index_count * sizeof(std::uint16_t));
    IgnoreStatus(Mesh->UnlockIndexBuffer(), "errors are ignored here");
    copy.Runs = Mesh->GetAttributeTable();
    return true;
}

void cls3dObject::render_subset(cls3dEngine& engine, gfx::Device* device, std::int32_t k) {
    apply_subset_states(engine, device, k);
    if (Mesh) IgnoreStatus(Mesh->DrawSubset(static_cast<d3dx::Dword>(k)), "errors are ignored here");
}

void cls3dObject::apply_subset_states(cls3dEngine& engine, gfx::Device* device, std::int32_t k) {
    if (device != nullptr && !engine.GetShadowState()) {
        skip_on_fault(
            [&] { IgnoreStatus(device->SetMaterial(checked_at(Materials, k)), "errors are ignored here"); });
        skip_on_fault([&] {
            if (static_cast<std::size_t>(k) >= MaterialTextures.size() ||
                MaterialTextures[static_cast<std::size_t>(k)][0].empty()) {
                IgnoreStatus(device->SetTexture(0, nullptr), "errors are ignored here");
            } else {
                const int slot = slot_of(MaterialTextures[static_cast<std::size_t>(k)][1]);
                const gfx::TexturePtr& texture = checked_at(mdlKl::Textures, slot);
                // The scene's textures come with their whole mip chain; sampling only the top level
                // breaks the far ground and road strips into crawling noise.
                if (texture)
                    IgnoreStatus(device->SetTextureStageState(0, gfx::tss::MipFilter,
                                                              texture->GetLevelCount() > 1 ? gfx::TexfLinear
                                                                                           : gfx::TexfNone),
                                 "errors are ignored here");
                IgnoreStatus(device->SetTexture(0, texture), "errors are ignored here");
            }
        });
    }
}

void cls3dObject::Render() {
    cls3dEngine* engine = CurrentEngine();
    if (engine == nullptr) return;
    gfx::Device* device = begin_render(*engine);
    for (std::int32_t k = 0; k < MaterialCount; ++k)
        render_subset(*engine, device, k);
}

void cls3dObject::RenderSubset(std::int32_t k) {
    cls3dEngine* engine = CurrentEngine();
    if (engine == nullptr || k < 0 || k >= MaterialCount) return;
    render_subset(*engine, begin_render(*engine), k);
}

void cls3dObject::StoreData() {
    // Without a mesh there is nothing newer than the copies already kept: a store that runs again
    // after the mesh was released must not wipe them.
    if (!Mesh) return;
    const std::size_t vertex_bytes =
        std::size_t(std::max(VertexSize, 0)) * std::size_t(std::max(VertexCount, 0));
    const std::size_t face_count = std::size_t(std::max(FaceCount, 0));
    if (vertex_bytes > std::size_t{Mesh->GetNumVertices()} * d3dx::GetFVFVertexSize(Mesh->GetFVF()) ||
        face_count > Mesh->GetNumFaces())
        return;

    std::uint8_t* data = nullptr;
    if (Failed(Mesh->LockVertexBuffer(gfx::LockReadOnly, &data))) return;
    SavedVertices.assign(data, data + vertex_bytes);
    IgnoreStatus(Mesh->UnlockVertexBuffer(), "errors are ignored here");

    if (Failed(Mesh->LockIndexBuffer(gfx::LockReadOnly, &data))) return;
    SavedIndices.assign(data, data + face_count * 6);
    IgnoreStatus(Mesh->UnlockIndexBuffer(), "errors are ignored here");

    d3dx::Dword* attributes = nullptr;
    if (Failed(Mesh->LockAttributeBuffer(gfx::LockReadOnly, &attributes))) return;
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(attributes);
    SavedAttributes.assign(bytes, bytes + face_count * 4);
    IgnoreStatus(Mesh->UnlockAttributeBuffer(), "errors are ignored here");
}

void cls3dObject::ReStoreData() {
    // Copies of another size than the recorded counts would be read or written past their end.
    if (VertexCount < 0 || FaceCount < 0 || VertexSize < 0 ||
        SavedVertices.size() != std::size_t(VertexSize) * std::size_t(VertexCount) ||
        SavedIndices.size() != std::size_t(FaceCount) * 6 ||
        SavedAttributes.size() != std::size_t(FaceCount) * 4)
        return;
    cls3dEngine* engine = CurrentEngine();
    if (engine == nullptr) return;
    BoundsWorkedOut = false;
    if (Failed(d3dx::CreateMeshFVF(static_cast<d3dx::Dword>(FaceCount), static_cast<d3dx::Dword>(VertexCount),
                                   d3dx::MeshManaged, VertexFormat, engine->DevicePointer(), &Mesh)))
        return;

    std::uint8_t* data = nullptr;
    if (Failed(Mesh->LockVertexBuffer(0, &data))) return;
    if (!SavedVertices.empty()) std::memcpy(data, SavedVertices.data(), SavedVertices.size());
    IgnoreStatus(Mesh->UnlockVertexBuffer(), "errors are ignored here");

    if (Failed(Mesh->LockIndexBuffer(0, &data))) return;
    if (!SavedIndices.empty()) std::memcpy(data, SavedIndices.data(), SavedIndices.size());
    IgnoreStatus(Mesh->UnlockIndexBuffer(), "errors are ignored here");

    d3dx::Dword* attributes = nullptr;
    if (Failed(Mesh->LockAttributeBuffer(0, &attributes))) return;
    if (!SavedAttributes.empty()) std::memcpy(attributes, SavedAttributes.data(), SavedAttributes.size());
    IgnoreStatus(Mesh->UnlockAttributeBuffer(), "errors are ignored here");
}

} // namespace kl

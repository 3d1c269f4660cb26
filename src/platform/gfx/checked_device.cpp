// The checks and the state shared by every back-end. The order of the checks decides which status
// a call with several faults gets; it is the order the OpenGL device has always used.
#include "platform/gfx/checked_device.h"

#include "platform/os/optimisations.h"

#include <algorithm>
#include <cstring>

namespace kl::gfx {

namespace {

// Buffers beyond this are refused rather than half made.
constexpr Dword kMaxBufferLength = 1u << 30;
constexpr Dword kMaxTextureSize = 16384;

template <class T> void forget_dead(std::vector<std::weak_ptr<T>>& list) {
    std::erase_if(list, [](const std::weak_ptr<T>& w) { return w.expired(); });
}

std::uint32_t index_at(const void* indices, bool wide, std::int64_t i) {
    if (wide) {
        std::uint32_t v = 0;
        std::memcpy(&v, static_cast<const std::uint8_t*>(indices) + i * 4, 4);
        return v;
    }
    std::uint16_t v = 0;
    std::memcpy(&v, static_cast<const std::uint8_t*>(indices) + i * 2, 2);
    return v;
}

} // namespace

bool IsTextureFormat(std::int32_t format) {
    // A8R3G3B2 has a pixel size but no GL upload format.
    return BytesPerPixel(format) != 0 && format != FmtA8R3G3B2;
}

void CheckedDevice::Restart(const PresentParameters& params) {
    params_ = params;
    state_.ResetToDefaults(params.BackBufferWidth, params.BackBufferHeight, params.EnableAutoDepthStencil);
    in_scene_ = false;
    changes_ = changed::All;
}

void CheckedDevice::LoseDefaultPool() {
    for (auto& weak : default_textures_)
        if (auto t = weak.lock()) t->MarkLost();
    for (auto& weak : default_vertex_buffers_)
        if (auto b = weak.lock()) b->storage.lost = true;
    for (auto& weak : default_index_buffers_)
        if (auto b = weak.lock()) b->storage.lost = true;
    default_textures_.clear();
    default_vertex_buffers_.clear();
    default_index_buffers_.clear();
}

Status CheckedDevice::Reset(PresentParameters* params) {
    if (params == nullptr) return Status::InvalidCall;
    return rebuild(*params);
}

Status CheckedDevice::BeginScene() {
    if (lost()) return Status::DeviceLost;
    if (in_scene_) return Status::InvalidCall;
    in_scene_ = true;
    begin_scene();
    return Status::Ok;
}

Status CheckedDevice::EndScene() {
    if (!in_scene_) return Status::InvalidCall;
    in_scene_ = false;
    return Status::Ok;
}

Status CheckedDevice::Clear(Dword count, const Rect* rects, Dword flags, Dword color, float z,
                            Dword stencil) {
    if (lost()) return Status::DeviceLost;
    if (flags == 0 || (flags & ~(ClearTarget | ClearZBuffer | ClearStencil))) return Status::InvalidCall;
    if ((flags & ClearZBuffer) && !HasDepth()) return Status::InvalidCall;
    if ((flags & ClearStencil) && !HasStencil()) return Status::InvalidCall;
    return clear(count, rects, flags, color, z, stencil);
}

Status CheckedDevice::SetViewport(const Viewport& v) {
    // Widened so that a large X or Y cannot wrap past the check.
    if (v.Width == 0 || v.Height == 0 || std::uint64_t{v.X} + v.Width > params_.BackBufferWidth ||
        std::uint64_t{v.Y} + v.Height > params_.BackBufferHeight || !(v.MinZ >= 0.0f && v.MaxZ <= 1.0f))
        return Status::InvalidCall;
    state_.viewport = v;
    changes_ |= changed::Viewport;
    return Status::Ok;
}

Status CheckedDevice::GetViewport(Viewport* v) {
    if (v == nullptr) return Status::InvalidCall;
    *v = state_.viewport;
    return Status::Ok;
}

Status CheckedDevice::Present(const Rect*, const Rect*, platform::WindowHandle, const void*) {
    if (lost()) return Status::DeviceLost;
    return present();
}

Status CheckedDevice::SetTransform(std::int32_t type, const Matrix& m) {
    Matrix* slot = state_.Transform(type);
    if (slot == nullptr) return Status::InvalidCall;
    *slot = m;
    changes_ |= type == TsProjection ? changed::Projection : changed::World;
    // Lights and clip planes are in world space and go over with the view.
    if (type == TsView) changes_ |= changed::Lights;
    return Status::Ok;
}

Status CheckedDevice::GetTransform(std::int32_t type, Matrix* m) {
    Matrix* slot = state_.Transform(type);
    if (slot == nullptr || m == nullptr) return Status::InvalidCall;
    *m = *slot;
    return Status::Ok;
}

Status CheckedDevice::SetLight(Dword index, const Light& l) {
    if (l.Type < LightPoint || l.Type > LightDirectional) return Status::InvalidCall;
    state_.lights[index] = l;
    changes_ |= changed::Lights;
    return Status::Ok;
}

Status CheckedDevice::GetLight(Dword index, Light* l) {
    const auto it = state_.lights.find(index);
    if (it == state_.lights.end() || l == nullptr) return Status::InvalidCall;
    *l = it->second;
    return Status::Ok;
}

Status CheckedDevice::LightEnable(Dword index, bool enable) {
    state_.EnableLight(index, enable);
    changes_ |= changed::Lights;
    return Status::Ok;
}

Status CheckedDevice::GetLightEnable(Dword index, bool* enable) {
    const auto it = state_.light_enabled.find(index);
    if (it == state_.light_enabled.end() || enable == nullptr) return Status::InvalidCall;
    *enable = it->second;
    return Status::Ok;
}

Status CheckedDevice::SetMaterial(const Material& m) {
    // Buildings drawn subset by subset hand over the same material many times running; each change
    // makes a driver rebuild its lighting constants.
    if (!platform::OptimisationsOff() && std::memcmp(&state_.material, &m, sizeof m) == 0) return Status::Ok;
    state_.material = m;
    changes_ |= changed::Material;
    return Status::Ok;
}

Status CheckedDevice::GetMaterial(Material* m) {
    if (m == nullptr) return Status::InvalidCall;
    *m = state_.material;
    return Status::Ok;
}

Status CheckedDevice::SetRenderState(std::int32_t state, Dword value) {
    if (!IsKnownRenderState(state)) return Status::InvalidCall;
    Dword& slot = state_.render[static_cast<std::size_t>(state)];
    if (slot == value) return Status::Ok;
    slot = value;
    changes_ |= changed::Render;
    if (state == rs::SpecularEnable) changes_ |= changed::Material;
    if (state == rs::ClipPlaneEnable) changes_ |= changed::Lights;
    return Status::Ok;
}

Status CheckedDevice::GetRenderState(std::int32_t state, Dword* value) {
    if (!IsKnownRenderState(state) || value == nullptr) return Status::InvalidCall;
    *value = state_.render[static_cast<std::size_t>(state)];
    return Status::Ok;
}

Status CheckedDevice::SetTextureStageState(Dword stage, std::int32_t type, Dword value) {
    if (stage != 0 || type < 1 || type >= tss::kCount) return Status::InvalidCall;
    Dword& slot = state_.stage[static_cast<std::size_t>(type)];
    if (slot == value) return Status::Ok;
    slot = value;
    changes_ |= changed::Stage;
    return Status::Ok;
}

Status CheckedDevice::GetTextureStageState(Dword stage, std::int32_t type, Dword* value) {
    if (stage != 0 || type < 1 || type >= tss::kCount || value == nullptr) return Status::InvalidCall;
    *value = state_.stage[static_cast<std::size_t>(type)];
    return Status::Ok;
}

Status CheckedDevice::SetClipPlane(Dword index, const float plane[4]) {
    if (index >= kMaxClipPlanes || plane == nullptr) return Status::InvalidCall;
    std::copy(plane, plane + 4, state_.clip_planes[index].begin());
    changes_ |= changed::Lights;
    return Status::Ok;
}

Status CheckedDevice::GetClipPlane(Dword index, float plane[4]) {
    if (index >= kMaxClipPlanes || plane == nullptr) return Status::InvalidCall;
    std::copy(state_.clip_planes[index].begin(), state_.clip_planes[index].end(), plane);
    return Status::Ok;
}

Status CheckedDevice::SetVertexShader(Dword fvf_code) {
    if (LayoutOf(fvf_code).position < 0) return Status::InvalidCall;
    state_.fvf = fvf_code;
    return Status::Ok;
}

Status CheckedDevice::GetVertexShader(Dword* fvf_code) {
    if (fvf_code == nullptr) return Status::InvalidCall;
    *fvf_code = state_.fvf;
    return Status::Ok;
}

Status CheckedDevice::SetTexture(Dword stage, const TexturePtr& texture) {
    if (stage != 0) return Status::InvalidCall;
    if (texture && !owns(*texture)) return Status::InvalidCall;
    state_.texture = texture;
    return Status::Ok;
}

Status CheckedDevice::GetTexture(Dword stage, TexturePtr* texture) {
    if (stage != 0 || texture == nullptr) return Status::InvalidCall;
    *texture = state_.texture;
    return Status::Ok;
}

Status CheckedDevice::CreateTexture(Dword width, Dword height, Dword levels, Dword usage, std::int32_t format,
                                    std::int32_t pool, TexturePtr* texture) {
    if (texture == nullptr || width == 0 || height == 0 || !IsTextureFormat(format))
        return Status::InvalidCall;
    if (width > kMaxTextureSize || height > kMaxTextureSize) return Status::OutOfMemory;
    if (lost()) return Status::DeviceLost;
    auto t = make_texture(width, height, levels, usage, format, pool);
    if (pool == PoolDefault) {
        forget_dead(default_textures_);
        default_textures_.push_back(t);
    }
    *texture = std::move(t);
    return Status::Ok;
}

Status CheckedDevice::CreateVertexBuffer(Dword length, Dword usage, Dword fvf_code, std::int32_t pool,
                                         VertexBufferPtr* buffer) {
    if (buffer == nullptr || length == 0 || length > kMaxBufferLength) return Status::InvalidCall;
    if (lost()) return Status::DeviceLost;
    auto b = make_vertex_buffer(length, usage, fvf_code, pool);
    if (pool == PoolDefault) {
        forget_dead(default_vertex_buffers_);
        default_vertex_buffers_.push_back(b);
    }
    *buffer = std::move(b);
    return Status::Ok;
}

Status CheckedDevice::CreateIndexBuffer(Dword length, Dword usage, std::int32_t format, std::int32_t pool,
                                        IndexBufferPtr* buffer) {
    if (buffer == nullptr || length == 0 || length > kMaxBufferLength ||
        (format != FmtIndex16 && format != FmtIndex32))
        return Status::InvalidCall;
    if (lost()) return Status::DeviceLost;
    auto b = make_index_buffer(length, usage, format, pool);
    if (pool == PoolDefault) {
        forget_dead(default_index_buffers_);
        default_index_buffers_.push_back(b);
    }
    *buffer = std::move(b);
    return Status::Ok;
}

Status CheckedDevice::SetStreamSource(Dword stream, const VertexBufferPtr& buffer, Dword stride) {
    if (stream != 0) return Status::InvalidCall;
    if (buffer && !owns(*buffer)) return Status::InvalidCall;
    state_.stream = buffer;
    state_.stream_stride = stride;
    return Status::Ok;
}

Status CheckedDevice::SetIndices(const IndexBufferPtr& buffer, Dword base_vertex_index) {
    if (buffer && !owns(*buffer)) return Status::InvalidCall;
    state_.indices = buffer;
    state_.base_vertex = base_vertex_index;
    return Status::Ok;
}

VertexLayout CheckedDevice::drawable_layout(Dword stride) const {
    VertexLayout l = LayoutOf(state_.fvf);
    // A stride shorter than the vertex format would read each vertex into the next.
    if (static_cast<Dword>(l.stride) > stride) l.position = -1;
    return l;
}

Status CheckedDevice::DrawPrimitive(std::int32_t type, Dword start_vertex, Dword primitive_count) {
    if (lost()) return Status::DeviceLost;
    const std::int64_t n = VertexCountFor(type, primitive_count);
    const Dword stride = state_.stream_stride;
    if (n == 0 || !state_.stream || stride == 0) return Status::InvalidCall;
    if ((std::int64_t{start_vertex} + n) * stride > state_.stream->Length()) return Status::InvalidCall;
    const VertexLayout l = drawable_layout(stride);
    if (l.position < 0) return Status::InvalidCall;
    return draw_primitive(type, start_vertex, static_cast<Dword>(n), l);
}

Status CheckedDevice::DrawIndexedPrimitive(std::int32_t type, Dword /*min_index*/, Dword num_vertices,
                                           Dword start_index, Dword primitive_count) {
    if (lost()) return Status::DeviceLost;
    const std::int64_t n = VertexCountFor(type, primitive_count);
    const Dword stride = state_.stream_stride;
    if (n == 0 || !state_.stream || !state_.indices || stride == 0) return Status::InvalidCall;
    const MemoryIndexBuffer& ib = Indices();
    const bool wide = ib.IndexFormat() == FmtIndex32;
    const std::int64_t index_size = wide ? 4 : 2;
    if ((std::int64_t{start_index} + n) * index_size > ib.Length()) return Status::InvalidCall;
    // Indices that point past the vertex data would make a driver read out of bounds.
    const std::uint8_t* raw = ib.storage.Data() + std::int64_t{start_index} * index_size;
    const std::int64_t vertex_count = state_.stream->Length() / stride;
    for (std::int64_t i = 0; i < n; ++i)
        if (std::int64_t{index_at(raw, wide, i)} + state_.base_vertex >= vertex_count)
            return Status::InvalidCall;
    const VertexLayout l = drawable_layout(stride);
    if (l.position < 0) return Status::InvalidCall;
    return draw_indexed(type, num_vertices, start_index, static_cast<Dword>(n), l);
}

Status CheckedDevice::DrawPrimitiveUP(std::int32_t type, Dword primitive_count, const void* vertex_data,
                                      Dword stride) {
    if (lost()) return Status::DeviceLost;
    const std::int64_t n = VertexCountFor(type, primitive_count);
    if (n == 0 || vertex_data == nullptr || stride == 0) return Status::InvalidCall;
    const VertexLayout l = drawable_layout(stride);
    if (l.position < 0) return Status::InvalidCall;
    return draw_up(type, static_cast<Dword>(n), vertex_data, stride, l);
}

Status CheckedDevice::DrawIndexedPrimitiveUP(std::int32_t type, Dword min_index, Dword num_vertices,
                                             Dword primitive_count, const void* index_data,
                                             std::int32_t index_format, const void* vertex_data,
                                             Dword stride) {
    if (lost()) return Status::DeviceLost;
    const std::int64_t n = VertexCountFor(type, primitive_count);
    if (n == 0 || vertex_data == nullptr || index_data == nullptr || stride == 0 ||
        (index_format != FmtIndex16 && index_format != FmtIndex32))
        return Status::InvalidCall;
    const bool wide = index_format == FmtIndex32;
    // The caller vouches for vertices min_index .. min_index + num_vertices - 1 only.
    for (std::int64_t i = 0; i < n; ++i) {
        const std::uint32_t v = index_at(index_data, wide, i);
        if (v < min_index || v >= std::uint64_t{min_index} + num_vertices) return Status::InvalidCall;
    }
    const VertexLayout l = drawable_layout(stride);
    if (l.position < 0) return Status::InvalidCall;
    return draw_indexed_up(type, num_vertices, static_cast<Dword>(n), index_data, wide, vertex_data, stride,
                           l);
}

} // namespace kl::gfx

// The test back-end's device: records each call, keeps the state, answers with injected failures.
#include "platform/gfx/recording/recording_system.h"

#include <algorithm>
#include <cstring>

namespace kl::gfx {

namespace {

// Resources remember the id they were recorded under.
struct Identified {
    int id = 0;
};

class RecordingTexture final : public MemoryTexture, public Identified {
  public:
    using MemoryTexture::MemoryTexture;
};
class RecordingVertexBuffer final : public MemoryVertexBuffer, public Identified {
  public:
    using MemoryVertexBuffer::MemoryVertexBuffer;
};
class RecordingIndexBuffer final : public MemoryIndexBuffer, public Identified {
  public:
    using MemoryIndexBuffer::MemoryIndexBuffer;
};

template <class P> int id_of(const P& resource) {
    const auto* identified = dynamic_cast<const Identified*>(resource.get());
    return identified ? identified->id : 0;
}

void append(std::vector<double>& args, const ColorValue& c) {
    args.insert(args.end(), {c.r, c.g, c.b, c.a});
}
void append(std::vector<double>& args, const Vector& v) {
    args.insert(args.end(), {v.x, v.y, v.z});
}

LockGate make_lock_gate(const std::shared_ptr<RecordingControl>& control, const char* name, int id) {
    std::weak_ptr<RecordingControl> weak = control;
    return [weak, name, id]() {
        const auto c = weak.lock();
        if (!c) return Status::Ok;
        c->log.Add(name, {double(id)});
        if (c->lock_result != Status::Ok) return c->lock_result;
        const auto it = c->failing_calls.find(name);
        return it == c->failing_calls.end() ? Status::Ok : it->second;
    };
}

} // namespace

int ResourceId(const TexturePtr& texture) {
    return id_of(texture);
}
int ResourceId(const VertexBufferPtr& buffer) {
    return id_of(buffer);
}
int ResourceId(const IndexBufferPtr& buffer) {
    return id_of(buffer);
}

RecordingDevice::RecordingDevice(std::shared_ptr<RecordingControl> control, const PresentParameters& params)
    : control_(std::move(control)), params_(params) {
    state_.ResetToDefaults(params.BackBufferWidth, params.BackBufferHeight, params.EnableAutoDepthStencil);
}

Status RecordingDevice::record(const char* name, std::vector<double> args) {
    control_->log.Add(name, std::move(args));
    if (control_->observer) control_->observer(control_->log.Calls().back());
    const auto it = control_->failing_calls.find(name);
    return it == control_->failing_calls.end() ? Status::Ok : it->second;
}

Status RecordingDevice::TestCooperativeLevel() {
    control_->log.Add("TestCooperativeLevel", {});
    return control_->cooperative_level;
}

Status RecordingDevice::Reset(PresentParameters* params) {
    std::vector<double> args;
    if (params != nullptr)
        args = {double(params->BackBufferWidth),
                double(params->BackBufferHeight),
                double(params->BackBufferFormat),
                double(params->MultiSampleType),
                params->Windowed ? 1.0 : 0.0,
                double(params->AutoDepthStencilFormat),
                double(params->FullScreen_PresentationInterval)};
    if (const Status s = record("Reset", std::move(args)); s != Status::Ok) return s;
    ++reset_count_;
    if (params == nullptr) return Status::InvalidCall;
    if (control_->cooperative_level == Status::DeviceLost) return Status::DeviceLost;
    Status result = Status::Ok;
    if (!control_->reset_results.empty()) {
        result = control_->reset_results.front();
        control_->reset_results.pop_front();
    }
    // A failed reset leaves the device waiting for another one, as the platform does.
    if (result != Status::Ok) {
        control_->cooperative_level = Status::DeviceNotReset;
        return result;
    }
    params_ = *params;
    for (auto& weak : default_textures_)
        if (auto t = weak.lock()) t->MarkLost();
    default_textures_.clear();
    state_.ResetToDefaults(params->BackBufferWidth, params->BackBufferHeight, params->EnableAutoDepthStencil);
    in_scene_ = false;
    control_->cooperative_level = Status::Ok;
    return Status::Ok;
}

Status RecordingDevice::BeginScene() {
    if (const Status s = record("BeginScene", {}); s != Status::Ok) return s;
    if (lost()) return Status::DeviceLost;
    if (in_scene_) return Status::InvalidCall;
    in_scene_ = true;
    return Status::Ok;
}

Status RecordingDevice::EndScene() {
    if (const Status s = record("EndScene", {}); s != Status::Ok) return s;
    if (!in_scene_) return Status::InvalidCall;
    in_scene_ = false;
    return Status::Ok;
}

Status RecordingDevice::Clear(Dword count, const Rect* /*rects*/, Dword flags, Dword color, float z,
                              Dword stencil) {
    if (const Status s = record("Clear", {double(count), double(flags), double(color), z, double(stencil)});
        s != Status::Ok)
        return s;
    if (flags == 0) return Status::InvalidCall;
    if ((flags & (ClearZBuffer | ClearStencil)) && !params_.EnableAutoDepthStencil)
        return Status::InvalidCall;
    if ((flags & ClearStencil) && params_.AutoDepthStencilFormat == FmtD16) return Status::InvalidCall;
    return Status::Ok;
}

Status RecordingDevice::SetViewport(const Viewport& v) {
    if (const Status s = record(
            "SetViewport", {double(v.X), double(v.Y), double(v.Width), double(v.Height), v.MinZ, v.MaxZ});
        s != Status::Ok)
        return s;
    if (v.Width == 0 || v.Height == 0 || v.X + v.Width > params_.BackBufferWidth ||
        v.Y + v.Height > params_.BackBufferHeight)
        return Status::InvalidCall;
    state_.viewport = v;
    return Status::Ok;
}

Status RecordingDevice::GetViewport(Viewport* v) {
    if (const Status s = record("GetViewport", {}); s != Status::Ok) return s;
    if (v == nullptr) return Status::InvalidCall;
    *v = state_.viewport;
    return Status::Ok;
}

Status RecordingDevice::Present(const Rect*, const Rect*, platform::WindowHandle, const void*) {
    if (const Status s = record("Present", {}); s != Status::Ok) return s;
    return lost() ? Status::DeviceLost : Status::Ok;
}

Status RecordingDevice::SetTransform(std::int32_t type, const Matrix& m) {
    std::vector<double> args{double(type)};
    args.insert(args.end(), std::begin(m.m), std::end(m.m));
    if (const Status s = record("SetTransform", std::move(args)); s != Status::Ok) return s;
    Matrix* slot = state_.Transform(type);
    if (slot == nullptr) return Status::InvalidCall;
    *slot = m;
    return Status::Ok;
}

Status RecordingDevice::GetTransform(std::int32_t type, Matrix* m) {
    if (const Status s = record("GetTransform", {double(type)}); s != Status::Ok) return s;
    Matrix* slot = state_.Transform(type);
    if (slot == nullptr || m == nullptr) return Status::InvalidCall;
    *m = *slot;
    return Status::Ok;
}

Status RecordingDevice::SetLight(Dword index, const Light& l) {
    std::vector<double> args{double(index), double(l.Type)};
    append(args, l.Diffuse);
    append(args, l.Specular);
    append(args, l.Ambient);
    append(args, l.Position);
    append(args, l.Direction);
    args.insert(args.end(),
                {l.Range, l.Falloff, l.Attenuation0, l.Attenuation1, l.Attenuation2, l.Theta, l.Phi});
    if (const Status s = record("SetLight", std::move(args)); s != Status::Ok) return s;
    if (l.Type < LightPoint || l.Type > LightDirectional) return Status::InvalidCall;
    state_.lights[index] = l;
    return Status::Ok;
}

Status RecordingDevice::GetLight(Dword index, Light* l) {
    if (const Status s = record("GetLight", {double(index)}); s != Status::Ok) return s;
    const auto it = state_.lights.find(index);
    if (it == state_.lights.end() || l == nullptr) return Status::InvalidCall;
    *l = it->second;
    return Status::Ok;
}

Status RecordingDevice::LightEnable(Dword index, bool enable) {
    if (const Status s = record("LightEnable", {double(index), enable ? 1.0 : 0.0}); s != Status::Ok)
        return s;
    state_.EnableLight(index, enable);
    return Status::Ok;
}

Status RecordingDevice::GetLightEnable(Dword index, bool* enable) {
    if (const Status s = record("GetLightEnable", {double(index)}); s != Status::Ok) return s;
    const auto it = state_.light_enabled.find(index);
    if (it == state_.light_enabled.end() || enable == nullptr) return Status::InvalidCall;
    *enable = it->second;
    return Status::Ok;
}

Status RecordingDevice::SetMaterial(const Material& m) {
    std::vector<double> args;
    append(args, m.Diffuse);
    append(args, m.Ambient);
    append(args, m.Specular);
    append(args, m.Emissive);
    args.push_back(m.Power);
    if (const Status s = record("SetMaterial", std::move(args)); s != Status::Ok) return s;
    state_.material = m;
    return Status::Ok;
}

Status RecordingDevice::GetMaterial(Material* m) {
    if (const Status s = record("GetMaterial", {}); s != Status::Ok) return s;
    if (m == nullptr) return Status::InvalidCall;
    *m = state_.material;
    return Status::Ok;
}

Status RecordingDevice::SetRenderState(std::int32_t state, Dword value) {
    if (const Status s = record("SetRenderState", {double(state), double(value)}); s != Status::Ok) return s;
    if (!IsKnownRenderState(state)) return Status::InvalidCall;
    state_.render[static_cast<std::size_t>(state)] = value;
    return Status::Ok;
}

Status RecordingDevice::GetRenderState(std::int32_t state, Dword* value) {
    if (const Status s = record("GetRenderState", {double(state)}); s != Status::Ok) return s;
    if (!IsKnownRenderState(state) || value == nullptr) return Status::InvalidCall;
    *value = state_.render[static_cast<std::size_t>(state)];
    return Status::Ok;
}

Status RecordingDevice::SetTextureStageState(Dword stage, std::int32_t type, Dword value) {
    if (const Status s = record("SetTextureStageState", {double(stage), double(type), double(value)});
        s != Status::Ok)
        return s;
    if (stage != 0 || type < 1 || type >= tss::kCount) return Status::InvalidCall;
    state_.stage[static_cast<std::size_t>(type)] = value;
    return Status::Ok;
}

Status RecordingDevice::GetTextureStageState(Dword stage, std::int32_t type, Dword* value) {
    if (const Status s = record("GetTextureStageState", {double(stage), double(type)}); s != Status::Ok)
        return s;
    if (stage != 0 || type < 1 || type >= tss::kCount || value == nullptr) return Status::InvalidCall;
    *value = state_.stage[static_cast<std::size_t>(type)];
    return Status::Ok;
}

Status RecordingDevice::SetClipPlane(Dword index, const float plane[4]) {
    if (plane == nullptr)
        return IgnoreStatus(record("SetClipPlane", {double(index)}), "refused anyway"), Status::InvalidCall;
    if (const Status s = record("SetClipPlane", {double(index), plane[0], plane[1], plane[2], plane[3]});
        s != Status::Ok)
        return s;
    if (index >= kMaxClipPlanes) return Status::InvalidCall;
    std::copy(plane, plane + 4, state_.clip_planes[index].begin());
    return Status::Ok;
}

Status RecordingDevice::GetClipPlane(Dword index, float plane[4]) {
    if (const Status s = record("GetClipPlane", {double(index)}); s != Status::Ok) return s;
    if (index >= kMaxClipPlanes || plane == nullptr) return Status::InvalidCall;
    std::copy(state_.clip_planes[index].begin(), state_.clip_planes[index].end(), plane);
    return Status::Ok;
}

Status RecordingDevice::SetVertexShader(Dword fvf_code) {
    if (const Status s = record("SetVertexShader", {double(fvf_code)}); s != Status::Ok) return s;
    state_.fvf = fvf_code;
    return Status::Ok;
}

Status RecordingDevice::GetVertexShader(Dword* fvf_code) {
    if (const Status s = record("GetVertexShader", {}); s != Status::Ok) return s;
    if (fvf_code == nullptr) return Status::InvalidCall;
    *fvf_code = state_.fvf;
    return Status::Ok;
}

Status RecordingDevice::SetTexture(Dword stage, const TexturePtr& texture) {
    if (const Status s = record("SetTexture", {double(stage), double(ResourceId(texture))}); s != Status::Ok)
        return s;
    if (stage != 0) return Status::InvalidCall;
    state_.texture = texture;
    return Status::Ok;
}

Status RecordingDevice::GetTexture(Dword stage, TexturePtr* texture) {
    if (const Status s = record("GetTexture", {double(stage)}); s != Status::Ok) return s;
    if (stage != 0 || texture == nullptr) return Status::InvalidCall;
    *texture = state_.texture;
    return Status::Ok;
}

Status RecordingDevice::CreateTexture(Dword width, Dword height, Dword levels, Dword usage,
                                      std::int32_t format, std::int32_t pool, TexturePtr* texture) {
    if (const Status s = record("CreateTexture", {double(width), double(height), double(levels),
                                                  double(usage), double(format), double(pool)});
        s != Status::Ok)
        return s;
    if (texture == nullptr || width == 0 || height == 0 || BytesPerPixel(format) == 0)
        return Status::InvalidCall;
    if (width > 16384 || height > 16384) return Status::OutOfMemory;
    auto t = std::make_shared<RecordingTexture>(width, height, levels, usage, format, pool);
    t->id = control_->next_resource_id++;
    t->lock_gate = make_lock_gate(control_, "LockRect", t->id);
    if (pool == PoolDefault) default_textures_.push_back(t);
    *texture = std::move(t);
    return Status::Ok;
}

Status RecordingDevice::CreateVertexBuffer(Dword length, Dword usage, Dword fvf_code, std::int32_t pool,
                                           VertexBufferPtr* buffer) {
    if (const Status s =
            record("CreateVertexBuffer", {double(length), double(usage), double(fvf_code), double(pool)});
        s != Status::Ok)
        return s;
    if (buffer == nullptr || length == 0) return Status::InvalidCall;
    auto b = std::make_shared<RecordingVertexBuffer>(length, usage, fvf_code, pool);
    b->id = control_->next_resource_id++;
    b->storage.lock_gate = make_lock_gate(control_, "LockVertexBuffer", b->id);
    *buffer = std::move(b);
    return Status::Ok;
}

Status RecordingDevice::CreateIndexBuffer(Dword length, Dword usage, std::int32_t format, std::int32_t pool,
                                          IndexBufferPtr* buffer) {
    if (const Status s =
            record("CreateIndexBuffer", {double(length), double(usage), double(format), double(pool)});
        s != Status::Ok)
        return s;
    if (buffer == nullptr || length == 0 || (format != FmtIndex16 && format != FmtIndex32))
        return Status::InvalidCall;
    auto b = std::make_shared<RecordingIndexBuffer>(length, usage, format, pool);
    b->id = control_->next_resource_id++;
    b->storage.lock_gate = make_lock_gate(control_, "LockIndexBuffer", b->id);
    *buffer = std::move(b);
    return Status::Ok;
}

Status RecordingDevice::SetStreamSource(Dword stream, const VertexBufferPtr& buffer, Dword stride) {
    if (const Status s =
            record("SetStreamSource", {double(stream), double(ResourceId(buffer)), double(stride)});
        s != Status::Ok)
        return s;
    if (stream != 0) return Status::InvalidCall;
    state_.stream = buffer;
    state_.stream_stride = stride;
    return Status::Ok;
}

Status RecordingDevice::SetIndices(const IndexBufferPtr& buffer, Dword base_vertex_index) {
    if (const Status s = record("SetIndices", {double(ResourceId(buffer)), double(base_vertex_index)});
        s != Status::Ok)
        return s;
    state_.indices = buffer;
    state_.base_vertex = base_vertex_index;
    return Status::Ok;
}

Status RecordingDevice::DrawPrimitive(std::int32_t type, Dword start_vertex, Dword primitive_count) {
    if (const Status s =
            record("DrawPrimitive", {double(type), double(start_vertex), double(primitive_count)});
        s != Status::Ok)
        return s;
    const std::int64_t n = VertexCountFor(type, primitive_count);
    if (n == 0 || !state_.stream || state_.stream_stride == 0) return Status::InvalidCall;
    if ((start_vertex + n) * std::int64_t{state_.stream_stride} > state_.stream->Length())
        return Status::InvalidCall;
    return Status::Ok;
}

Status RecordingDevice::DrawIndexedPrimitive(std::int32_t type, Dword min_index, Dword num_vertices,
                                             Dword start_index, Dword primitive_count) {
    if (const Status s =
            record("DrawIndexedPrimitive", {double(type), double(min_index), double(num_vertices),
                                            double(start_index), double(primitive_count)});
        s != Status::Ok)
        return s;
    const std::int64_t n = VertexCountFor(type, primitive_count);
    if (n == 0 || !state_.stream || !state_.indices) return Status::InvalidCall;
    const std::int64_t index_size = state_.indices->IndexFormat() == FmtIndex32 ? 4 : 2;
    if ((start_index + n) * index_size > state_.indices->Length()) return Status::InvalidCall;
    return Status::Ok;
}

Status RecordingDevice::DrawPrimitiveUP(std::int32_t type, Dword primitive_count, const void* vertex_data,
                                        Dword stride) {
    Call c;
    c.name = "DrawPrimitiveUP";
    c.args = {double(type), double(primitive_count), double(stride)};
    const std::int64_t n = VertexCountFor(type, primitive_count);
    if (vertex_data != nullptr && n > 0) {
        const auto* bytes = static_cast<const std::uint8_t*>(vertex_data);
        c.data.assign(bytes, bytes + n * stride);
    }
    control_->log.Add(std::move(c));
    if (const auto it = control_->failing_calls.find("DrawPrimitiveUP"); it != control_->failing_calls.end())
        return it->second;
    if (n == 0 || vertex_data == nullptr || stride == 0) return Status::InvalidCall;
    return Status::Ok;
}

Status RecordingDevice::DrawIndexedPrimitiveUP(std::int32_t type, Dword min_index, Dword num_vertices,
                                               Dword primitive_count, const void* index_data,
                                               std::int32_t index_format, const void* vertex_data,
                                               Dword stride) {
    Call c;
    c.name = "DrawIndexedPrimitiveUP";
    c.args = {double(type),         double(min_index), double(num_vertices), double(primitive_count),
              double(index_format), double(stride)};
    const std::int64_t n = VertexCountFor(type, primitive_count);
    if (vertex_data != nullptr) {
        const auto* bytes = static_cast<const std::uint8_t*>(vertex_data);
        c.data.assign(bytes, bytes + (std::size_t{min_index} + num_vertices) * stride);
    }
    if (index_data != nullptr && n > 0) {
        for (std::int64_t i = 0; i < n; ++i) {
            if (index_format == FmtIndex32)
                c.indices.push_back(static_cast<const std::uint32_t*>(index_data)[i]);
            else
                c.indices.push_back(static_cast<const std::uint16_t*>(index_data)[i]);
        }
    }
    control_->log.Add(std::move(c));
    if (const auto it = control_->failing_calls.find("DrawIndexedPrimitiveUP");
        it != control_->failing_calls.end())
        return it->second;
    if (n == 0 || vertex_data == nullptr || index_data == nullptr || stride == 0) return Status::InvalidCall;
    return Status::Ok;
}

bool RecordingDevice::ShowCursor(bool show) {
    control_->log.Add("ShowCursor", {show ? 1.0 : 0.0});
    const bool was = cursor_shown_;
    cursor_shown_ = show;
    return was;
}

} // namespace kl::gfx

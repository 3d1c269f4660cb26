// The test back-end's device: records each call and answers with injected failures; the checks
// and the state are the shared device's.
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
    : control_(std::move(control)) {
    Restart(params);
}

Status RecordingDevice::record(const char* name, std::vector<double> args) {
    control_->log.Add(name, std::move(args));
    if (control_->observer) control_->observer(control_->log.Calls().back());
    const auto it = control_->failing_calls.find(name);
    return it == control_->failing_calls.end() ? Status::Ok : it->second;
}

Status RecordingDevice::record(Call call) {
    const std::string name = call.name;
    control_->log.Add(std::move(call));
    const auto it = control_->failing_calls.find(name);
    return it == control_->failing_calls.end() ? Status::Ok : it->second;
}

bool RecordingDevice::owns(const Texture& texture) const {
    return dynamic_cast<const RecordingTexture*>(&texture) != nullptr;
}
bool RecordingDevice::owns(const VertexBuffer& buffer) const {
    return dynamic_cast<const RecordingVertexBuffer*>(&buffer) != nullptr;
}
bool RecordingDevice::owns(const IndexBuffer& buffer) const {
    return dynamic_cast<const RecordingIndexBuffer*>(&buffer) != nullptr;
}

std::shared_ptr<MemoryTexture> RecordingDevice::make_texture(Dword width, Dword height, Dword levels,
                                                             Dword usage, std::int32_t format,
                                                             std::int32_t pool) {
    auto t = std::make_shared<RecordingTexture>(width, height, levels, usage, format, pool);
    t->id = control_->next_resource_id++;
    t->lock_gate = make_lock_gate(control_, "LockRect", t->id);
    return t;
}

std::shared_ptr<MemoryVertexBuffer> RecordingDevice::make_vertex_buffer(Dword length, Dword usage,
                                                                        Dword fvf_code, std::int32_t pool) {
    auto b = std::make_shared<RecordingVertexBuffer>(length, usage, fvf_code, pool);
    b->id = control_->next_resource_id++;
    b->storage.lock_gate = make_lock_gate(control_, "LockVertexBuffer", b->id);
    return b;
}

std::shared_ptr<MemoryIndexBuffer>
RecordingDevice::make_index_buffer(Dword length, Dword usage, std::int32_t format, std::int32_t pool) {
    auto b = std::make_shared<RecordingIndexBuffer>(length, usage, format, pool);
    b->id = control_->next_resource_id++;
    b->storage.lock_gate = make_lock_gate(control_, "LockIndexBuffer", b->id);
    return b;
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
    return CheckedDevice::Reset(params);
}

Status RecordingDevice::rebuild(const PresentParameters& params) {
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
    LoseDefaultPool();
    Restart(params);
    control_->cooperative_level = Status::Ok;
    return Status::Ok;
}

Status RecordingDevice::BeginScene() {
    if (const Status s = record("BeginScene", {}); s != Status::Ok) return s;
    return CheckedDevice::BeginScene();
}

Status RecordingDevice::EndScene() {
    if (const Status s = record("EndScene", {}); s != Status::Ok) return s;
    return CheckedDevice::EndScene();
}

Status RecordingDevice::Clear(Dword count, const Rect* rects, Dword flags, Dword color, float z,
                              Dword stencil) {
    if (const Status s = record("Clear", {double(count), double(flags), double(color), z, double(stencil)});
        s != Status::Ok)
        return s;
    return CheckedDevice::Clear(count, rects, flags, color, z, stencil);
}

Status RecordingDevice::SetViewport(const Viewport& v) {
    if (const Status s = record(
            "SetViewport", {double(v.X), double(v.Y), double(v.Width), double(v.Height), v.MinZ, v.MaxZ});
        s != Status::Ok)
        return s;
    return CheckedDevice::SetViewport(v);
}

Status RecordingDevice::GetViewport(Viewport* v) {
    if (const Status s = record("GetViewport", {}); s != Status::Ok) return s;
    return CheckedDevice::GetViewport(v);
}

Status RecordingDevice::Present(const Rect* source, const Rect* dest, platform::WindowHandle window,
                                const void* dirty) {
    if (const Status s = record("Present", {}); s != Status::Ok) return s;
    return CheckedDevice::Present(source, dest, window, dirty);
}

Status RecordingDevice::SetTransform(std::int32_t type, const Matrix& m) {
    std::vector<double> args{double(type)};
    args.insert(args.end(), std::begin(m.m), std::end(m.m));
    if (const Status s = record("SetTransform", std::move(args)); s != Status::Ok) return s;
    return CheckedDevice::SetTransform(type, m);
}

Status RecordingDevice::GetTransform(std::int32_t type, Matrix* m) {
    if (const Status s = record("GetTransform", {double(type)}); s != Status::Ok) return s;
    return CheckedDevice::GetTransform(type, m);
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
    return CheckedDevice::SetLight(index, l);
}

Status RecordingDevice::GetLight(Dword index, Light* l) {
    if (const Status s = record("GetLight", {double(index)}); s != Status::Ok) return s;
    return CheckedDevice::GetLight(index, l);
}

Status RecordingDevice::LightEnable(Dword index, bool enable) {
    if (const Status s = record("LightEnable", {double(index), enable ? 1.0 : 0.0}); s != Status::Ok)
        return s;
    return CheckedDevice::LightEnable(index, enable);
}

Status RecordingDevice::GetLightEnable(Dword index, bool* enable) {
    if (const Status s = record("GetLightEnable", {double(index)}); s != Status::Ok) return s;
    return CheckedDevice::GetLightEnable(index, enable);
}

Status RecordingDevice::SetMaterial(const Material& m) {
    std::vector<double> args;
    append(args, m.Diffuse);
    append(args, m.Ambient);
    append(args, m.Specular);
    append(args, m.Emissive);
    args.push_back(m.Power);
    if (const Status s = record("SetMaterial", std::move(args)); s != Status::Ok) return s;
    return CheckedDevice::SetMaterial(m);
}

Status RecordingDevice::GetMaterial(Material* m) {
    if (const Status s = record("GetMaterial", {}); s != Status::Ok) return s;
    return CheckedDevice::GetMaterial(m);
}

Status RecordingDevice::SetRenderState(std::int32_t state, Dword value) {
    if (const Status s = record("SetRenderState", {double(state), double(value)}); s != Status::Ok) return s;
    return CheckedDevice::SetRenderState(state, value);
}

Status RecordingDevice::GetRenderState(std::int32_t state, Dword* value) {
    if (const Status s = record("GetRenderState", {double(state)}); s != Status::Ok) return s;
    return CheckedDevice::GetRenderState(state, value);
}

Status RecordingDevice::SetTextureStageState(Dword stage, std::int32_t type, Dword value) {
    if (const Status s = record("SetTextureStageState", {double(stage), double(type), double(value)});
        s != Status::Ok)
        return s;
    return CheckedDevice::SetTextureStageState(stage, type, value);
}

Status RecordingDevice::GetTextureStageState(Dword stage, std::int32_t type, Dword* value) {
    if (const Status s = record("GetTextureStageState", {double(stage), double(type)}); s != Status::Ok)
        return s;
    return CheckedDevice::GetTextureStageState(stage, type, value);
}

Status RecordingDevice::SetClipPlane(Dword index, const float plane[4]) {
    std::vector<double> args{double(index)};
    if (plane != nullptr) args.insert(args.end(), plane, plane + 4);
    if (const Status s = record("SetClipPlane", std::move(args)); s != Status::Ok) return s;
    return CheckedDevice::SetClipPlane(index, plane);
}

Status RecordingDevice::GetClipPlane(Dword index, float plane[4]) {
    if (const Status s = record("GetClipPlane", {double(index)}); s != Status::Ok) return s;
    return CheckedDevice::GetClipPlane(index, plane);
}

Status RecordingDevice::SetVertexShader(Dword fvf_code) {
    if (const Status s = record("SetVertexShader", {double(fvf_code)}); s != Status::Ok) return s;
    return CheckedDevice::SetVertexShader(fvf_code);
}

Status RecordingDevice::GetVertexShader(Dword* fvf_code) {
    if (const Status s = record("GetVertexShader", {}); s != Status::Ok) return s;
    return CheckedDevice::GetVertexShader(fvf_code);
}

Status RecordingDevice::SetTexture(Dword stage, const TexturePtr& texture) {
    if (const Status s = record("SetTexture", {double(stage), double(ResourceId(texture))}); s != Status::Ok)
        return s;
    return CheckedDevice::SetTexture(stage, texture);
}

Status RecordingDevice::GetTexture(Dword stage, TexturePtr* texture) {
    if (const Status s = record("GetTexture", {double(stage)}); s != Status::Ok) return s;
    return CheckedDevice::GetTexture(stage, texture);
}

Status RecordingDevice::CreateTexture(Dword width, Dword height, Dword levels, Dword usage,
                                      std::int32_t format, std::int32_t pool, TexturePtr* texture) {
    if (const Status s = record("CreateTexture", {double(width), double(height), double(levels),
                                                  double(usage), double(format), double(pool)});
        s != Status::Ok)
        return s;
    return CheckedDevice::CreateTexture(width, height, levels, usage, format, pool, texture);
}

Status RecordingDevice::CreateVertexBuffer(Dword length, Dword usage, Dword fvf_code, std::int32_t pool,
                                           VertexBufferPtr* buffer) {
    if (const Status s =
            record("CreateVertexBuffer", {double(length), double(usage), double(fvf_code), double(pool)});
        s != Status::Ok)
        return s;
    return CheckedDevice::CreateVertexBuffer(length, usage, fvf_code, pool, buffer);
}

Status RecordingDevice::CreateIndexBuffer(Dword length, Dword usage, std::int32_t format, std::int32_t pool,
                                          IndexBufferPtr* buffer) {
    if (const Status s =
            record("CreateIndexBuffer", {double(length), double(usage), double(format), double(pool)});
        s != Status::Ok)
        return s;
    return CheckedDevice::CreateIndexBuffer(length, usage, format, pool, buffer);
}

Status RecordingDevice::SetStreamSource(Dword stream, const VertexBufferPtr& buffer, Dword stride) {
    if (const Status s =
            record("SetStreamSource", {double(stream), double(ResourceId(buffer)), double(stride)});
        s != Status::Ok)
        return s;
    return CheckedDevice::SetStreamSource(stream, buffer, stride);
}

Status RecordingDevice::SetIndices(const IndexBufferPtr& buffer, Dword base_vertex_index) {
    if (const Status s = record("SetIndices", {double(ResourceId(buffer)), double(base_vertex_index)});
        s != Status::Ok)
        return s;
    return CheckedDevice::SetIndices(buffer, base_vertex_index);
}

Status RecordingDevice::DrawPrimitive(std::int32_t type, Dword start_vertex, Dword primitive_count) {
    if (const Status s =
            record("DrawPrimitive", {double(type), double(start_vertex), double(primitive_count)});
        s != Status::Ok)
        return s;
    return CheckedDevice::DrawPrimitive(type, start_vertex, primitive_count);
}

Status RecordingDevice::DrawIndexedPrimitive(std::int32_t type, Dword min_index, Dword num_vertices,
                                             Dword start_index, Dword primitive_count) {
    if (const Status s =
            record("DrawIndexedPrimitive", {double(type), double(min_index), double(num_vertices),
                                            double(start_index), double(primitive_count)});
        s != Status::Ok)
        return s;
    return CheckedDevice::DrawIndexedPrimitive(type, min_index, num_vertices, start_index, primitive_count);
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
    if (const Status s = record(std::move(c)); s != Status::Ok) return s;
    return CheckedDevice::DrawPrimitiveUP(type, primitive_count, vertex_data, stride);
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
    if (const Status s = record(std::move(c)); s != Status::Ok) return s;
    return CheckedDevice::DrawIndexedPrimitiveUP(type, min_index, num_vertices, primitive_count, index_data,
                                                 index_format, vertex_data, stride);
}

bool RecordingDevice::ShowCursor(bool show) {
    control_->log.Add("ShowCursor", {show ? 1.0 : 0.0});
    const bool was = cursor_shown_;
    cursor_shown_ = show;
    return was;
}

} // namespace kl::gfx

// The test back-end: adapters, capabilities, modes and format answers are whatever the test sets;
// every call is recorded with its arguments in one log; failures can be injected. Devices keep
// their state so that Get* returns what Set* stored.
#pragma once

#include "platform/gfx/checked_device.h"
#include "platform/gfx/graphics_system.h"
#include "platform/gfx/memory_resources.h"
#include "platform/gfx/recording/call_log.h"

#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>

namespace kl::gfx {

struct RecordingAdapter {
    Caps caps;
    std::vector<DisplayModeInfo> modes;
    DisplayModeInfo current{1024, 768, 60, FmtX8R8G8B8};
    // Multisample counts accepted for every format, windowed or not.
    std::set<std::int32_t> multisample_counts;
    // Depth-stencil formats that match every adapter and render-target format.
    std::set<std::int32_t> depth_stencil_formats{FmtD16};
};

// A capability record that passes the engine's checks: immediate and one-interval presentation,
// hardware transform and lighting, depth bias, depth fog, stencil decrement, specular shading.
Caps CapableCaps();

// What the test controls on the devices, and what they share with the system.
struct RecordingControl {
    CallLog log;
    // Any call named here returns the status (after being recorded) instead of acting.
    std::map<std::string, Status, std::less<>> failing_calls;
    // What TestCooperativeLevel answers; a successful Reset sets it back to Ok.
    Status cooperative_level = Status::Ok;
    // Results of the next Reset calls, in order; Ok when empty.
    std::deque<Status> reset_results;
    // Result of every texture and buffer lock while not Ok.
    Status lock_result = Status::Ok;
    int next_resource_id = 1;
    // Told of every device call right after it is recorded, while the device still holds the state
    // the call saw (a draw's transforms, texture and buffers); benchmarks use it to copy a frame.
    std::function<void(const Call&)> observer;
};

class RecordingDevice;

class RecordingSystem final : public GraphicsSystem {
  public:
    RecordingSystem();

    std::vector<RecordingAdapter> adapters;
    // Result of CreateDevice while not Ok.
    Status create_device_result = Status::Ok;

    CallLog& Log() { return control_->log; }
    RecordingControl& Control() { return *control_; }
    // The device made last, or nullptr.
    std::shared_ptr<RecordingDevice> LastDevice() const { return last_device_.lock(); }

    Dword GetAdapterCount() override;
    Status GetDeviceCaps(Dword adapter, std::int32_t device_type, Caps* caps) override;
    Dword GetAdapterModeCount(Dword adapter) override;
    Status EnumAdapterModes(Dword adapter, Dword mode, DisplayModeInfo* info) override;
    Status GetAdapterDisplayMode(Dword adapter, DisplayModeInfo* info) override;
    Status CheckDeviceMultiSampleType(Dword adapter, std::int32_t device_type, std::int32_t format,
                                      bool windowed, std::int32_t samples) override;
    Status CheckDepthStencilMatch(Dword adapter, std::int32_t device_type, std::int32_t adapter_format,
                                  std::int32_t render_target_format,
                                  std::int32_t depth_stencil_format) override;
    Status CreateDevice(Dword adapter, std::int32_t device_type, platform::WindowHandle focus_window,
                        Dword behavior_flags, PresentParameters* params, DevicePtr* device) override;

  private:
    Status gate(const char* name);
    std::shared_ptr<RecordingControl> control_;
    std::weak_ptr<RecordingDevice> last_device_;
};

// The id a recording device gave a texture or buffer (recorded in place of the object); 0 for none.
int ResourceId(const TexturePtr& texture);
int ResourceId(const VertexBufferPtr& buffer);
int ResourceId(const IndexBufferPtr& buffer);

// Records each call with its arguments, answers an injected failure in its place, and otherwise
// leaves the checks and the state to the shared device, as the OpenGL device does.
class RecordingDevice final : public CheckedDevice {
  public:
    RecordingDevice(std::shared_ptr<RecordingControl> control, const PresentParameters& params);

    bool CursorShown() const { return cursor_shown_; }
    int ResetCount() const { return reset_count_; }

    Status TestCooperativeLevel() override;
    Status Reset(PresentParameters* params) override;
    Status BeginScene() override;
    Status EndScene() override;
    Status Clear(Dword count, const Rect* rects, Dword flags, Dword color, float z, Dword stencil) override;
    Status SetViewport(const Viewport& viewport) override;
    Status GetViewport(Viewport* viewport) override;
    Status Present(const Rect* source, const Rect* dest, platform::WindowHandle override_window,
                   const void* dirty_region) override;
    Status SetTransform(std::int32_t type, const Matrix& matrix) override;
    Status GetTransform(std::int32_t type, Matrix* matrix) override;
    Status SetLight(Dword index, const Light& light) override;
    Status GetLight(Dword index, Light* light) override;
    Status LightEnable(Dword index, bool enable) override;
    Status GetLightEnable(Dword index, bool* enable) override;
    Status SetMaterial(const Material& material) override;
    Status GetMaterial(Material* material) override;
    Status SetRenderState(std::int32_t state, Dword value) override;
    Status GetRenderState(std::int32_t state, Dword* value) override;
    Status SetTextureStageState(Dword stage, std::int32_t type, Dword value) override;
    Status GetTextureStageState(Dword stage, std::int32_t type, Dword* value) override;
    Status SetClipPlane(Dword index, const float plane[4]) override;
    Status GetClipPlane(Dword index, float plane[4]) override;
    Status SetVertexShader(Dword fvf_code) override;
    Status GetVertexShader(Dword* fvf_code) override;
    Status SetTexture(Dword stage, const TexturePtr& texture) override;
    Status GetTexture(Dword stage, TexturePtr* texture) override;
    Status CreateTexture(Dword width, Dword height, Dword levels, Dword usage, std::int32_t format,
                         std::int32_t pool, TexturePtr* texture) override;
    Status CreateVertexBuffer(Dword length, Dword usage, Dword fvf_code, std::int32_t pool,
                              VertexBufferPtr* buffer) override;
    Status CreateIndexBuffer(Dword length, Dword usage, std::int32_t format, std::int32_t pool,
                             IndexBufferPtr* buffer) override;
    Status SetStreamSource(Dword stream, const VertexBufferPtr& buffer, Dword stride) override;
    Status SetIndices(const IndexBufferPtr& buffer, Dword base_vertex_index) override;
    Status DrawPrimitive(std::int32_t type, Dword start_vertex, Dword primitive_count) override;
    Status DrawIndexedPrimitive(std::int32_t type, Dword min_index, Dword num_vertices, Dword start_index,
                                Dword primitive_count) override;
    Status DrawPrimitiveUP(std::int32_t type, Dword primitive_count, const void* vertex_data,
                           Dword stride) override;
    Status DrawIndexedPrimitiveUP(std::int32_t type, Dword min_index, Dword num_vertices,
                                  Dword primitive_count, const void* index_data, std::int32_t index_format,
                                  const void* vertex_data, Dword stride) override;
    bool ShowCursor(bool show) override;

  private:
    // Records the call; an injected failure for it, or Ok.
    Status record(const char* name, std::vector<double> args);
    Status record(Call call);

    bool lost() const override { return control_->cooperative_level != Status::Ok; }
    Status rebuild(const PresentParameters& params) override;
    Status clear(Dword, const Rect*, Dword, Dword, float, Dword) override { return Status::Ok; }
    Status present() override { return Status::Ok; }
    bool owns(const Texture& texture) const override;
    bool owns(const VertexBuffer& buffer) const override;
    bool owns(const IndexBuffer& buffer) const override;
    std::shared_ptr<MemoryTexture> make_texture(Dword width, Dword height, Dword levels, Dword usage,
                                                std::int32_t format, std::int32_t pool) override;
    std::shared_ptr<MemoryVertexBuffer> make_vertex_buffer(Dword length, Dword usage, Dword fvf_code,
                                                           std::int32_t pool) override;
    std::shared_ptr<MemoryIndexBuffer> make_index_buffer(Dword length, Dword usage, std::int32_t format,
                                                         std::int32_t pool) override;

    std::shared_ptr<RecordingControl> control_;
    bool cursor_shown_ = true;
    int reset_count_ = 0;
};

} // namespace kl::gfx

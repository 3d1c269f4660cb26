// What every device does whatever draws for it: each argument and state check of the device
// interface, the state Get* hands back, and which default-pool resources a reset loses. A back-end
// derives from it and adds only its own work through the hooks below, so all back-ends refuse the
// same calls with the same status.
#pragma once

#include "platform/gfx/device.h"
#include "platform/gfx/device_state.h"
#include "platform/gfx/memory_resources.h"

#include <memory>
#include <vector>

namespace kl::gfx {

// Texture formats every back-end can hold.
bool IsTextureFormat(std::int32_t format);

class CheckedDevice : public Device {
  public:
    const DeviceState& State() const { return state_; }
    const PresentParameters& Params() const { return params_; }
    bool InScene() const { return in_scene_; }

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

  protected:
    // ---- the back-end's work, asked for only once the call has passed every check ----
    // True while the device cannot draw (lost, or waiting for a reset).
    virtual bool lost() const = 0;
    // Reset with parameters present; on success the back-end calls Restart.
    virtual Status rebuild(const PresentParameters& params) = 0;
    virtual Status clear(Dword count, const Rect* rects, Dword flags, Dword color, float z,
                         Dword stencil) = 0;
    virtual Status present() = 0;
    // A scene begins; a back-end that queues its work may start on the frame's scenes before it.
    virtual void begin_scene() {}
    // Whether this device made the resource. Every resource a device makes derives from the memory
    // resources, which the checks read (index values, default-pool losses).
    virtual bool owns(const Texture& texture) const = 0;
    virtual bool owns(const VertexBuffer& buffer) const = 0;
    virtual bool owns(const IndexBuffer& buffer) const = 0;
    virtual std::shared_ptr<MemoryTexture> make_texture(Dword width, Dword height, Dword levels, Dword usage,
                                                        std::int32_t format, std::int32_t pool) = 0;
    virtual std::shared_ptr<MemoryVertexBuffer> make_vertex_buffer(Dword length, Dword usage, Dword fvf_code,
                                                                   std::int32_t pool) = 0;
    virtual std::shared_ptr<MemoryIndexBuffer> make_index_buffer(Dword length, Dword usage,
                                                                 std::int32_t format, std::int32_t pool) = 0;
    // Draws with the stream and indices set, vertices known to lie inside the stream; a back-end that
    // puts nothing on a screen keeps the defaults.
    virtual Status draw_primitive(std::int32_t /*type*/, Dword /*start_vertex*/, Dword /*vertices*/,
                                  const VertexLayout& /*layout*/) {
        return Status::Ok;
    }
    virtual Status draw_indexed(std::int32_t /*type*/, Dword /*num_vertices*/, Dword /*start_index*/,
                                Dword /*indices*/, const VertexLayout& /*layout*/) {
        return Status::Ok;
    }
    virtual Status draw_up(std::int32_t /*type*/, Dword /*vertices*/, const void* /*vertex_data*/,
                           Dword /*stride*/, const VertexLayout& /*layout*/) {
        return Status::Ok;
    }
    virtual Status draw_indexed_up(std::int32_t /*type*/, Dword /*num_vertices*/, Dword /*indices*/,
                                   const void* /*index_data*/, bool /*wide*/, const void* /*vertex_data*/,
                                   Dword /*stride*/, const VertexLayout& /*layout*/) {
        return Status::Ok;
    }

    // ---- for the back-ends ----
    // The state after creation or a reset with these parameters.
    void Restart(const PresentParameters& params);
    // Default-pool resources made so far refuse every lock from now on.
    void LoseDefaultPool();
    bool HasDepth() const { return params_.EnableAutoDepthStencil; }
    bool HasStencil() const {
        return params_.EnableAutoDepthStencil && params_.AutoDepthStencilFormat != FmtD16;
    }
    // The stream and indices set, as the memory resources every back-end makes.
    MemoryVertexBuffer& Stream() const { return static_cast<MemoryVertexBuffer&>(*state_.stream); }
    MemoryIndexBuffer& Indices() const { return static_cast<MemoryIndexBuffer&>(*state_.indices); }

    DeviceState state_;
    PresentParameters params_;
    bool in_scene_ = false;
    unsigned changes_ = changed::All;

  private:
    // The vertex layout a draw would use with this stride; position -1 when it cannot draw.
    VertexLayout drawable_layout(Dword stride) const;

    std::vector<std::weak_ptr<MemoryTexture>> default_textures_;
    std::vector<std::weak_ptr<MemoryVertexBuffer>> default_vertex_buffers_;
    std::vector<std::weak_ptr<MemoryIndexBuffer>> default_index_buffers_;
};

} // namespace kl::gfx

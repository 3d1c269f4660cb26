// The OpenGL device: an SDL window with a GL 2.1 compatibility context driven through the
// fixed-function pipeline. States are stored when set and handed to GL only when a draw needs
// them and they differ from what GL already has, so repeated state calls cost next to nothing.
#pragma once

#include "platform/gfx/device.h"
#include "platform/gfx/device_state.h"
#include "platform/gfx/gl/device_loss.h"
#include "platform/gfx/gl/gl_resources.h"

#include <SDL.h>
#include <SDL_opengl.h>
#include <memory>
#include <vector>

namespace kl::gfx {

class GlDevice final : public Device {
  public:
    // Builds the context on the window; nullptr (with the reason in *status) when that fails.
    static std::shared_ptr<GlDevice> Create(const PresentParameters& params, std::int32_t multisample_limit,
                                            Status* status);
    ~GlDevice() override;

    std::vector<std::uint32_t> ReadPixels(int x, int y, int width, int height);

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
    FrameCounts LastFrameCounts() const override { return last_frame_counts_; }

  private:
    explicit GlDevice(std::int32_t multisample_limit);
    Status build(const PresentParameters& params);
    void teardown();
    void apply_window_mode(const PresentParameters& params);
    void init_gl_defaults();
    bool usable() const { return context_ != nullptr && !loss_.Lost(); }

    // Draw plumbing.
    Status draw_arrays(std::int32_t type, Dword first, Dword count, Dword fvf_code,
                       const std::uint8_t* vertices, Dword stride, bool from_buffer, const void* indices,
                       GLenum index_type, Dword index_count);
    void prepare(const VertexLayout& layout);
    void apply_render_states();
    void apply_stage();
    void apply_transforms(bool pretransformed);
    void apply_lights_and_planes();
    void apply_material();
    void bind_texture();
    // Adds a draw that succeeded to this frame's counts.
    Status counted(Status status, std::int64_t vertices);
    void set_arrays(const VertexLayout& layout, const std::uint8_t* base, Dword stride, bool pretransformed);

    FrameCounts frame_counts_, last_frame_counts_;
    PresentParameters params_;
    std::int32_t multisample_limit_;
    SDL_GLContext context_ = nullptr;
    std::shared_ptr<GlContextInfo> info_ = std::make_shared<GlContextInfo>();
    DeviceLoss loss_;
    bool in_scene_ = false;
    bool has_stencil_ = false;
    bool has_depth_ = false;
    // Off-window back buffer, used when multisampling or when the window's drawable cannot take the
    // back buffer's size; resolve_ holds a single-sampled copy of a multisampled one.
    GLuint fbo_ = 0, color_rb_ = 0, depth_rb_ = 0;
    GLuint resolve_fbo_ = 0, resolve_rb_ = 0;
    bool multisampled_ = false;
    int surface_w_ = 0, surface_h_ = 0;
    // Makes the off-window colour available single-sampled and returns the framebuffer holding it.
    GLuint resolved_back_buffer();
    GLuint white_texture_ = 0;
    int max_lights_ = 8, max_clip_planes_ = 6;

    DeviceState state_;
    // What GL was last given; a draw compares against these.
    std::array<Dword, rs::kCount> applied_render_{};
    std::array<Dword, tss::kCount> applied_stage_{};
    bool force_all_ = true;
    bool render_dirty_ = true, stage_dirty_ = true, material_dirty_ = true;
    bool world_dirty_ = true, projection_dirty_ = true, viewport_dirty_ = true, lights_dirty_ = true;
    // Names bound now, and the vertex arrays last pointed at, so unchanged draws make no GL calls.
    GLuint bound_texture_ = 0, bound_array_ = 0, bound_element_ = 0;
    struct ArraySource {
        const void* base = nullptr;
        Dword fvf = 0, stride = 0;
        GLuint buffer = 0;
        bool valid = false;
        bool operator==(const ArraySource&) const = default;
    };
    ArraySource arrays_;
    void forget_gl_state();
    int applied_mode_ = -1; // 0 transformed, 1 pre-transformed
    int applied_lighting_ = -1, applied_color_material_ = -1, applied_clip_mask_ = -1;
    bool applied_texture_enabled_ = false;
    // The material parts GL holds, each valid when its bit is set.
    static constexpr unsigned kAmbientPart = 1, kDiffusePart = 2, kEmissivePart = 4, kSpecularPart = 8,
                              kPowerPart = 16;
    Material applied_material_;
    unsigned applied_material_parts_ = 0;
    std::vector<std::weak_ptr<GlTexture>> default_textures_;
    std::vector<float> scratch_;
    std::vector<std::weak_ptr<MemoryVertexBuffer>> default_vbs_;
    std::vector<std::weak_ptr<MemoryIndexBuffer>> default_ibs_;
};

} // namespace kl::gfx

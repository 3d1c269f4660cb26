// The OpenGL device: an SDL window with a GL 2.1 compatibility context driven through the
// fixed-function pipeline. The checks and the state are the shared device's; what GL already holds
// is the state cache's.
#pragma once

#include "platform/gfx/checked_device.h"
#include "platform/gfx/gl/device_loss.h"
#include "platform/gfx/gl/gl_resources.h"
#include "platform/gfx/gl/gl_state_cache.h"

#include <SDL.h>
#include <SDL_opengl.h>
#include <memory>
#include <vector>

namespace kl::gfx {

class GlDevice final : public CheckedDevice {
  public:
    // Builds the context on the window; nullptr (with the reason in *status) when that fails.
    static std::shared_ptr<GlDevice> Create(const PresentParameters& params, std::int32_t multisample_limit,
                                            Status* status);
    ~GlDevice() override;

    std::vector<std::uint32_t> ReadPixels(int x, int y, int width, int height);

    Status TestCooperativeLevel() override;
    bool ShowCursor(bool show) override;
    FrameCounts LastFrameCounts() const override { return last_frame_counts_; }

  private:
    explicit GlDevice(std::int32_t multisample_limit);
    Status build(const PresentParameters& params);
    void teardown();
    void apply_window_mode(const PresentParameters& params);
    void init_gl_defaults();
    bool usable() const { return context_ != nullptr && !loss_.Lost(); }

    bool lost() const override { return !usable(); }
    Status rebuild(const PresentParameters& params) override;
    Status clear(Dword count, const Rect* rects, Dword flags, Dword color, float z, Dword stencil) override;
    Status present() override;
    void begin_scene() override;
    bool owns(const Texture& texture) const override;
    bool owns(const VertexBuffer& buffer) const override;
    bool owns(const IndexBuffer& buffer) const override;
    std::shared_ptr<MemoryTexture> make_texture(Dword width, Dword height, Dword levels, Dword usage,
                                                std::int32_t format, std::int32_t pool) override;
    std::shared_ptr<MemoryVertexBuffer> make_vertex_buffer(Dword length, Dword usage, Dword fvf_code,
                                                           std::int32_t pool) override;
    std::shared_ptr<MemoryIndexBuffer> make_index_buffer(Dword length, Dword usage, std::int32_t format,
                                                         std::int32_t pool) override;
    Status draw_primitive(std::int32_t type, Dword start_vertex, Dword vertices,
                          const VertexLayout& layout) override;
    Status draw_indexed(std::int32_t type, Dword num_vertices, Dword start_index, Dword indices,
                        const VertexLayout& layout) override;
    Status draw_up(std::int32_t type, Dword vertices, const void* vertex_data, Dword stride,
                   const VertexLayout& layout) override;
    Status draw_indexed_up(std::int32_t type, Dword num_vertices, Dword indices, const void* index_data,
                           bool wide, const void* vertex_data, Dword stride,
                           const VertexLayout& layout) override;

    // Draw plumbing.
    Status draw_arrays(std::int32_t type, Dword first, Dword count, const VertexLayout& layout,
                       const std::uint8_t* vertices, Dword stride, bool from_buffer, const void* indices,
                       GLenum index_type, Dword index_count);
    // Adds a draw that succeeded to this frame's counts.
    Status counted(Status status, std::int64_t vertices);

    FrameCounts frame_counts_, last_frame_counts_;
    int scenes_begun_ = 0; // since the last present
    std::int32_t multisample_limit_;
    SDL_GLContext context_ = nullptr;
    std::shared_ptr<GlContextInfo> info_ = std::make_shared<GlContextInfo>();
    DeviceLoss loss_;
    // Off-window back buffer, used when multisampling or when the window's drawable cannot take the
    // back buffer's size; resolve_ holds a single-sampled copy of a multisampled one.
    GLuint fbo_ = 0, color_rb_ = 0, depth_rb_ = 0;
    GLuint resolve_fbo_ = 0, resolve_rb_ = 0;
    bool multisampled_ = false;
    int surface_w_ = 0, surface_h_ = 0;
    // Makes the off-window colour available single-sampled and returns the framebuffer holding it.
    GLuint resolved_back_buffer();
    GLuint white_texture_ = 0;

    GlStateCache cache_{state_, changes_};
    std::vector<float> scratch_;
};

} // namespace kl::gfx

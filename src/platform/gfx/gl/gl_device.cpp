// The OpenGL device. The engine's conventions meet GL's here: row-vector matrices go over unchanged
// (row-major storage is GL's column-major), the projection's depth range 0..1 is stretched to GL's
// -1..1, viewports are turned from y-down to GL's y-up window coordinates, and the winding that
// counts as clockwise is the one seen on the screen.
#include "platform/gfx/gl/gl_device.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace kl::gfx {

namespace {

constexpr std::int32_t kMaxTextureSize = 16384;

GLenum gl_primitive(std::int32_t type) {
    switch (type) {
    case PtPointList:
        return GL_POINTS;
    case PtLineList:
        return GL_LINES;
    case PtLineStrip:
        return GL_LINE_STRIP;
    case PtTriangleList:
        return GL_TRIANGLES;
    case PtTriangleStrip:
        return GL_TRIANGLE_STRIP;
    default:
        return GL_TRIANGLE_FAN;
    }
}

} // namespace

GlDevice::GlDevice(std::int32_t multisample_limit) : multisample_limit_(multisample_limit) {}

GlDevice::~GlDevice() {
    teardown();
}

std::shared_ptr<GlDevice> GlDevice::Create(const PresentParameters& params, std::int32_t multisample_limit,
                                           Status* status) {
    std::shared_ptr<GlDevice> device(new GlDevice(multisample_limit));
    *status = device->build(params);
    if (*status != Status::Ok) return nullptr;
    return device;
}

void GlDevice::apply_window_mode(const PresentParameters& p) {
    SDL_Window* w = p.hDeviceWindow;
    if (p.Windowed) {
        if (SDL_GetWindowFlags(w) & SDL_WINDOW_FULLSCREEN) SDL_SetWindowFullscreen(w, 0);
        int cw = 0, ch = 0;
        SDL_GetWindowSize(w, &cw, &ch);
        if (cw != static_cast<int>(p.BackBufferWidth) || ch != static_cast<int>(p.BackBufferHeight))
            SDL_SetWindowSize(w, static_cast<int>(p.BackBufferWidth), static_cast<int>(p.BackBufferHeight));
        return;
    }
    SDL_DisplayMode wanted{};
    wanted.w = static_cast<int>(p.BackBufferWidth);
    wanted.h = static_cast<int>(p.BackBufferHeight);
    wanted.refresh_rate = static_cast<int>(p.FullScreen_RefreshRateInHz);
    SDL_DisplayMode closest{};
    const int display = std::max(0, SDL_GetWindowDisplayIndex(w));
    if (SDL_GetClosestDisplayMode(display, &wanted, &closest) != nullptr)
        SDL_SetWindowDisplayMode(w, &closest);
    SDL_SetWindowSize(w, wanted.w, wanted.h);
    SDL_SetWindowFullscreen(w, SDL_WINDOW_FULLSCREEN);
}

Status GlDevice::build(const PresentParameters& p) {
    if (p.hDeviceWindow == nullptr || p.BackBufferWidth == 0 || p.BackBufferHeight == 0 ||
        p.BackBufferWidth > kMaxTextureSize || p.BackBufferHeight > kMaxTextureSize)
        return Status::InvalidCall;
    if ((SDL_GetWindowFlags(p.hDeviceWindow) & SDL_WINDOW_OPENGL) == 0) return Status::InvalidCall;
    if (p.MultiSampleType > multisample_limit_) return Status::InvalidCall;
    apply_window_mode(p);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 2);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 1);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, 0);
    context_ = SDL_GL_CreateContext(p.hDeviceWindow);
    if (context_ == nullptr) return Status::NotAvailable;
    SDL_GL_MakeCurrent(p.hDeviceWindow, context_);
    ++info_->generation;
    params_ = p; // teardown needs the window if the rest fails

    // Multisampling renders into a multisampled framebuffer resolved at Present, so the window (whose
    // handle other parts hold) never has to be made again for a different pixel format. A drawable
    // that did not take the back buffer's size (offscreen surfaces keep their first size) gets the
    // same treatment, scaled at Present as a window of another size would be.
    // A fresh context's viewport is the size of the surface it really got.
    GLint surface[4] = {};
    glGetIntegerv(GL_VIEWPORT, surface);
    surface_w_ = surface[2];
    surface_h_ = surface[3];
    const int drawable_w = surface_w_, drawable_h = surface_h_;
    multisampled_ = p.MultiSampleType >= 2;
    const bool size_differs = drawable_w != static_cast<int>(p.BackBufferWidth) ||
                              drawable_h != static_cast<int>(p.BackBufferHeight);
    if (multisampled_ || size_differs) {
        const auto w = static_cast<GLsizei>(p.BackBufferWidth), h = static_cast<GLsizei>(p.BackBufferHeight);
        const GLsizei samples = multisampled_ ? p.MultiSampleType : 0;
        glGenFramebuffers(1, &fbo_);
        glBindFramebuffer(GL_FRAMEBUFFER, fbo_);
        glGenRenderbuffers(1, &color_rb_);
        glBindRenderbuffer(GL_RENDERBUFFER, color_rb_);
        glRenderbufferStorageMultisample(GL_RENDERBUFFER, samples, GL_RGBA8, w, h);
        glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, color_rb_);
        glGenRenderbuffers(1, &depth_rb_);
        glBindRenderbuffer(GL_RENDERBUFFER, depth_rb_);
        glRenderbufferStorageMultisample(GL_RENDERBUFFER, samples, GL_DEPTH24_STENCIL8, w, h);
        glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_STENCIL_ATTACHMENT, GL_RENDERBUFFER, depth_rb_);
        if (glCheckFramebufferStatus(GL_FRAMEBUFFER) != GL_FRAMEBUFFER_COMPLETE) {
            teardown();
            return Status::NotAvailable;
        }
        if (multisampled_) {
            glGenFramebuffers(1, &resolve_fbo_);
            glBindFramebuffer(GL_FRAMEBUFFER, resolve_fbo_);
            glGenRenderbuffers(1, &resolve_rb_);
            glBindRenderbuffer(GL_RENDERBUFFER, resolve_rb_);
            glRenderbufferStorage(GL_RENDERBUFFER, GL_RGBA8, w, h);
            glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, resolve_rb_);
            glBindFramebuffer(GL_FRAMEBUFFER, fbo_);
        }
    }
    // Swap interval 0 is refused by some servers (Xvfb); running with vsync there is harmless.
    const bool immediate = p.Windowed || p.FullScreen_PresentationInterval == PresentIntervalImmediate;
    SDL_GL_SetSwapInterval(immediate ? 0 : 1);

    GLint lights = 8, planes = 6;
    glGetIntegerv(GL_MAX_LIGHTS, &lights);
    glGetIntegerv(GL_MAX_CLIP_PLANES, &planes);
    init_gl_defaults();
    Restart(p);
    GlTarget target;
    target.width = p.BackBufferWidth;
    target.height = p.BackBufferHeight;
    target.has_depth = HasDepth();
    target.has_stencil = HasStencil();
    target.white_texture = white_texture_;
    target.max_lights = std::min<int>(lights, static_cast<int>(kMaxLights));
    target.max_clip_planes = std::min<int>(planes, static_cast<int>(kMaxClipPlanes));
    cache_.Start(target);
    loss_.Restored();
    return Status::Ok;
}

void GlDevice::init_gl_defaults() {
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glLightModeli(GL_LIGHT_MODEL_TWO_SIDE, GL_FALSE);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_COMBINE);
    glGenTextures(1, &white_texture_);
    glBindTexture(GL_TEXTURE_2D, white_texture_);
    const std::uint32_t white = 0xFFFFFFFFu;
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, 1, 1, 0, GL_BGRA, GL_UNSIGNED_BYTE, &white);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glEnable(GL_TEXTURE_2D);
    glEnable(GL_SCISSOR_TEST);
}

void GlDevice::teardown() {
    if (context_ == nullptr) return;
    SDL_GL_MakeCurrent(params_.hDeviceWindow, context_);
    if (fbo_) glDeleteFramebuffers(1, &fbo_);
    if (color_rb_) glDeleteRenderbuffers(1, &color_rb_);
    if (depth_rb_) glDeleteRenderbuffers(1, &depth_rb_);
    if (resolve_fbo_) glDeleteFramebuffers(1, &resolve_fbo_);
    if (resolve_rb_) glDeleteRenderbuffers(1, &resolve_rb_);
    fbo_ = color_rb_ = depth_rb_ = resolve_fbo_ = resolve_rb_ = 0;
    white_texture_ = 0;
    // Resources still alive find out by the generation that their GL names are gone.
    ++info_->generation;
    SDL_GL_DeleteContext(context_);
    context_ = nullptr;
}

Status GlDevice::TestCooperativeLevel() {
    if (context_ == nullptr) return Status::DeviceNotReset;
    const bool minimised = (SDL_GetWindowFlags(params_.hDeviceWindow) & SDL_WINDOW_MINIMIZED) != 0;
    return loss_.Observe(params_.Windowed, minimised);
}

Status GlDevice::rebuild(const PresentParameters& params) {
    if (!loss_.CanReset(params_.Windowed,
                        (SDL_GetWindowFlags(params_.hDeviceWindow) & SDL_WINDOW_MINIMIZED) != 0))
        return Status::DeviceLost;
    PresentParameters p = params;
    if (p.hDeviceWindow == nullptr) p.hDeviceWindow = params_.hDeviceWindow;
    LoseDefaultPool();
    teardown();
    const Status s = build(p);
    if (s != Status::Ok) {
        // Without a context the device waits for another Reset.
        loss_.MarkLost();
        return s;
    }
    return Status::Ok;
}

Status GlDevice::clear(Dword count, const Rect* rects, Dword flags, Dword color, float z, Dword stencil) {
    GLbitfield mask = 0;
    if (flags & ClearTarget) {
        float c[4];
        GlColor(color, c);
        glClearColor(c[0], c[1], c[2], c[3]);
        glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
        mask |= GL_COLOR_BUFFER_BIT;
    }
    if (flags & ClearZBuffer) {
        glClearDepth(std::clamp(z, 0.0f, 1.0f));
        glDepthMask(GL_TRUE);
        mask |= GL_DEPTH_BUFFER_BIT;
    }
    if (flags & ClearStencil) {
        glClearStencil(static_cast<GLint>(stencil));
        glStencilMask(0xFFFFFFFFu);
        mask |= GL_STENCIL_BUFFER_BIT;
    }
    const Viewport& v = state_.viewport;
    const auto bb_h = static_cast<GLint>(params_.BackBufferHeight);
    auto clear_rect = [&](GLint x, GLint y, GLsizei w, GLsizei h) {
        glScissor(x, bb_h - y - h, w, h);
        glClear(mask);
    };
    if (count == 0 || rects == nullptr) {
        clear_rect(static_cast<GLint>(v.X), static_cast<GLint>(v.Y), static_cast<GLsizei>(v.Width),
                   static_cast<GLsizei>(v.Height));
    } else {
        for (Dword i = 0; i < count; ++i) {
            const Rect& r = rects[i];
            const auto x0 = std::max<std::int64_t>(r.left, v.X), y0 = std::max<std::int64_t>(r.top, v.Y);
            const auto x1 = std::min<std::int64_t>(r.right, std::int64_t{v.X} + v.Width);
            const auto y1 = std::min<std::int64_t>(r.bottom, std::int64_t{v.Y} + v.Height);
            if (x1 > x0 && y1 > y0)
                clear_rect(static_cast<GLint>(x0), static_cast<GLint>(y0), static_cast<GLsizei>(x1 - x0),
                           static_cast<GLsizei>(y1 - y0));
        }
    }
    // Put back the write masks the states ask for; the scissor box follows at the next draw.
    cache_.RestoreWriteMasks();
    changes_ |= changed::Viewport;
    return Status::Ok;
}

GLuint GlDevice::resolved_back_buffer() {
    if (!multisampled_) return fbo_;
    const auto w = static_cast<GLint>(params_.BackBufferWidth),
               h = static_cast<GLint>(params_.BackBufferHeight);
    glBindFramebuffer(GL_READ_FRAMEBUFFER, fbo_);
    glBindFramebuffer(GL_DRAW_FRAMEBUFFER, resolve_fbo_);
    glDisable(GL_SCISSOR_TEST);
    glBlitFramebuffer(0, 0, w, h, 0, 0, w, h, GL_COLOR_BUFFER_BIT, GL_NEAREST);
    glEnable(GL_SCISSOR_TEST);
    glBindFramebuffer(GL_FRAMEBUFFER, fbo_);
    return resolve_fbo_;
}

Status GlDevice::counted(Status status, std::int64_t vertices) {
    if (status == Status::Ok) {
        frame_counts_.draw_calls += 1;
        frame_counts_.vertices += static_cast<std::uint64_t>(vertices);
    }
    return status;
}

// Mesa's software rasteriser bins a frame's triangles on the drawing thread and rasterises them on
// its own threads only once they are flushed. A second scene in a frame flushes the first, so that
// they start on it while this thread bins the rest. The frame's last scene is not flushed at its
// end: the swap does that, and a flush of its own there costs a little every frame.
void GlDevice::begin_scene() {
    if (scenes_begun_++ > 0 && usable()) glFlush();
}

Status GlDevice::present() {
    scenes_begun_ = 0;
    last_frame_counts_ = frame_counts_;
    frame_counts_ = {};
    if (fbo_ != 0) {
        const auto w = static_cast<GLint>(params_.BackBufferWidth),
                   h = static_cast<GLint>(params_.BackBufferHeight);
        const int dw = surface_w_, dh = surface_h_;
        const GLuint source = resolved_back_buffer();
        glBindFramebuffer(GL_READ_FRAMEBUFFER, source);
        glBindFramebuffer(GL_DRAW_FRAMEBUFFER, 0);
        glDisable(GL_SCISSOR_TEST);
        glBlitFramebuffer(0, 0, w, h, 0, 0, dw, dh, GL_COLOR_BUFFER_BIT,
                          (dw == w && dh == h) ? GL_NEAREST : GL_LINEAR);
        glEnable(GL_SCISSOR_TEST);
        SDL_GL_SwapWindow(params_.hDeviceWindow);
        glBindFramebuffer(GL_FRAMEBUFFER, fbo_);
        changes_ |= changed::Viewport; // the scissor box was switched off and on
        return Status::Ok;
    }
    SDL_GL_SwapWindow(params_.hDeviceWindow);
    return Status::Ok;
}

std::vector<std::uint32_t> GlDevice::ReadPixels(int x, int y, int width, int height) {
    if (context_ == nullptr || x < 0 || y < 0 || width <= 0 || height <= 0 ||
        x + width > static_cast<int>(params_.BackBufferWidth) ||
        y + height > static_cast<int>(params_.BackBufferHeight))
        return {};
    const int bb_h = static_cast<int>(params_.BackBufferHeight);
    std::vector<std::uint32_t> rows(static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
    if (fbo_ != 0) {
        glBindFramebuffer(GL_READ_FRAMEBUFFER, resolved_back_buffer());
        glReadBuffer(GL_COLOR_ATTACHMENT0);
    } else {
        glReadBuffer(GL_BACK);
    }
    glReadPixels(x, bb_h - y - height, width, height, GL_BGRA, GL_UNSIGNED_INT_8_8_8_8_REV, rows.data());
    if (fbo_ != 0) glBindFramebuffer(GL_FRAMEBUFFER, fbo_);
    // GL's rows run bottom-up.
    std::vector<std::uint32_t> top_down(rows.size());
    for (int r = 0; r < height; ++r)
        std::copy_n(rows.begin() + static_cast<std::ptrdiff_t>(r) * width, width,
                    top_down.begin() + static_cast<std::ptrdiff_t>(height - 1 - r) * width);
    return top_down;
}

bool GlDevice::owns(const Texture& texture) const {
    return dynamic_cast<const GlTexture*>(&texture) != nullptr;
}

bool GlDevice::owns(const VertexBuffer& buffer) const {
    return dynamic_cast<const GlVertexBuffer*>(&buffer) != nullptr;
}

bool GlDevice::owns(const IndexBuffer& buffer) const {
    return dynamic_cast<const GlIndexBuffer*>(&buffer) != nullptr;
}

std::shared_ptr<MemoryTexture> GlDevice::make_texture(Dword width, Dword height, Dword levels, Dword usage,
                                                      std::int32_t format, std::int32_t pool) {
    return std::make_shared<GlTexture>(info_, width, height, levels, usage, format, pool);
}

std::shared_ptr<MemoryVertexBuffer> GlDevice::make_vertex_buffer(Dword length, Dword usage, Dword fvf_code,
                                                                 std::int32_t pool) {
    return std::make_shared<GlVertexBuffer>(info_, length, usage, fvf_code, pool);
}

std::shared_ptr<MemoryIndexBuffer> GlDevice::make_index_buffer(Dword length, Dword usage, std::int32_t format,
                                                               std::int32_t pool) {
    return std::make_shared<GlIndexBuffer>(info_, length, usage, format, pool);
}

bool GlDevice::ShowCursor(bool show) {
    const bool was = SDL_ShowCursor(SDL_QUERY) == SDL_ENABLE;
    SDL_ShowCursor(show ? SDL_ENABLE : SDL_DISABLE);
    return was;
}

// ---- drawing ----

Status GlDevice::draw_primitive(std::int32_t type, Dword start_vertex, Dword vertices,
                                const VertexLayout& l) {
    auto& vb = static_cast<GlVertexBuffer&>(Stream());
    const Dword stride = state_.stream_stride;
    if (l.pretransformed) // converted on the CPU from the system-memory copy
        return counted(
            draw_arrays(type, start_vertex, vertices, l, vb.storage.Data(), stride, false, nullptr, 0, 0),
            vertices);
    if (!vb.object.Bind(GL_ARRAY_BUFFER, vb.storage, cache_.BoundArray())) return Status::DeviceLost;
    return counted(draw_arrays(type, start_vertex, vertices, l, nullptr, stride, true, nullptr, 0, 0),
                   vertices);
}

Status GlDevice::draw_indexed(std::int32_t type, Dword num_vertices, Dword start_index, Dword indices,
                              const VertexLayout& l) {
    auto& vb = static_cast<GlVertexBuffer&>(Stream());
    auto& ib = static_cast<GlIndexBuffer&>(Indices());
    const Dword stride = state_.stream_stride;
    const bool wide = ib.IndexFormat() == FmtIndex32;
    const std::int64_t index_size = wide ? 4 : 2;
    const GLenum index_type = wide ? GL_UNSIGNED_INT : GL_UNSIGNED_SHORT;
    if (l.pretransformed) {
        const std::uint8_t* raw = ib.storage.Data() + std::int64_t{start_index} * index_size;
        const std::uint8_t* base_bytes = vb.storage.Data() + std::int64_t{state_.base_vertex} * stride;
        return counted(draw_arrays(type, 0, indices, l, base_bytes, stride, false, raw, index_type, indices),
                       num_vertices);
    }
    if (!vb.object.Bind(GL_ARRAY_BUFFER, vb.storage, cache_.BoundArray()) ||
        !ib.object.Bind(GL_ELEMENT_ARRAY_BUFFER, ib.storage, cache_.BoundElement()))
        return Status::DeviceLost;
    const auto* vertex_offset =
        reinterpret_cast<const std::uint8_t*>(std::uintptr_t{state_.base_vertex} * stride);
    const auto* index_offset =
        reinterpret_cast<const void*>(static_cast<std::uintptr_t>(start_index * index_size));
    return counted(
        draw_arrays(type, 0, indices, l, vertex_offset, stride, true, index_offset, index_type, indices),
        num_vertices);
}

Status GlDevice::draw_up(std::int32_t type, Dword vertices, const void* vertex_data, Dword stride,
                         const VertexLayout& l) {
    return counted(draw_arrays(type, 0, vertices, l, static_cast<const std::uint8_t*>(vertex_data), stride,
                               false, nullptr, 0, 0),
                   vertices);
}

Status GlDevice::draw_indexed_up(std::int32_t type, Dword num_vertices, Dword indices, const void* index_data,
                                 bool wide, const void* vertex_data, Dword stride, const VertexLayout& l) {
    return counted(draw_arrays(type, 0, indices, l, static_cast<const std::uint8_t*>(vertex_data), stride,
                               false, index_data, wide ? GL_UNSIGNED_INT : GL_UNSIGNED_SHORT, indices),
                   num_vertices);
}

Status GlDevice::draw_arrays(std::int32_t type, Dword first, Dword count, const VertexLayout& l,
                             const std::uint8_t* vertices, Dword stride, bool from_buffer,
                             const void* indices, GLenum index_type, Dword index_count) {
    cache_.Prepare(l);
    if (!from_buffer) cache_.UseMemory();
    const GLenum mode = gl_primitive(type);
    if (l.pretransformed) {
        // Vertices in pixels with 1/w: (x, y, z, rhw) becomes (x, y, z, 1) / rhw so that texture
        // coordinates interpolate with the perspective the rhw carries.
        Dword highest = first + count;
        if (index_count > 0) {
            highest = 0;
            for (Dword i = 0; i < index_count; ++i) {
                const std::uint32_t v = index_type == GL_UNSIGNED_INT
                                            ? static_cast<const std::uint32_t*>(indices)[i]
                                            : static_cast<const std::uint16_t*>(indices)[i];
                highest = std::max<Dword>(highest, v + 1);
            }
        }
        scratch_.resize(std::size_t{highest} * 4);
        for (Dword i = 0; i < highest; ++i) {
            float p[4];
            std::memcpy(p, vertices + std::size_t{i} * stride + static_cast<std::size_t>(l.position),
                        sizeof p);
            const float w = (p[3] != 0.0f && std::isfinite(p[3])) ? 1.0f / p[3] : 1.0f;
            scratch_[i * 4 + 0] = p[0] * w;
            scratch_[i * 4 + 1] = p[1] * w;
            scratch_[i * 4 + 2] = p[2] * w;
            scratch_[i * 4 + 3] = w;
        }
        cache_.PointPretransformed(l, vertices, stride, scratch_.data());
    } else {
        cache_.PointArrays(l, vertices, state_.fvf, stride);
    }
    // An index offset of 0 into a bound index buffer is a null pointer: the count tells the cases apart.
    if (index_count > 0)
        glDrawElements(mode, static_cast<GLsizei>(index_count), index_type, indices);
    else
        glDrawArrays(mode, static_cast<GLint>(first), static_cast<GLsizei>(count));
    return Status::Ok;
}
} // namespace kl::gfx

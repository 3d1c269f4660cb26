// The OpenGL device. The engine's conventions meet GL's here: row-vector matrices go over unchanged
// (row-major storage is GL's column-major), the projection's depth range 0..1 is stretched to GL's
// -1..1, viewports are turned from y-down to GL's y-up window coordinates, and the winding that
// counts as clockwise is the one seen on the screen.
#include "platform/gfx/gl/gl_device.h"

#include "platform/os/optimisations.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>

namespace kl::gfx {

namespace {

constexpr std::int32_t kMaxTextureSize = 16384;

Matrix multiply(const Matrix& a, const Matrix& b) {
    Matrix r;
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j) {
            float s = 0;
            for (int k = 0; k < 4; ++k)
                s += a.m[i * 4 + k] * b.m[k * 4 + j];
            r.m[i * 4 + j] = s;
        }
    return r;
}

// z' = 2z - w: the engine's depth range 0..1 becomes GL's -1..1.
Matrix depth_to_gl() {
    Matrix s = IdentityMatrix();
    s.m[10] = 2.0f;
    s.m[14] = -1.0f;
    return s;
}

void color_of(Dword argb, float out[4]) {
    out[0] = static_cast<float>((argb >> 16) & 0xFF) / 255.0f;
    out[1] = static_cast<float>((argb >> 8) & 0xFF) / 255.0f;
    out[2] = static_cast<float>(argb & 0xFF) / 255.0f;
    out[3] = static_cast<float>(argb >> 24) / 255.0f;
}

GLenum gl_compare(Dword c) {
    switch (c) {
    case CmpNever:
        return GL_NEVER;
    case CmpLess:
        return GL_LESS;
    case CmpEqual:
        return GL_EQUAL;
    case CmpLessEqual:
        return GL_LEQUAL;
    case CmpGreater:
        return GL_GREATER;
    case CmpNotEqual:
        return GL_NOTEQUAL;
    case CmpGreaterEqual:
        return GL_GEQUAL;
    default:
        return GL_ALWAYS;
    }
}

GLenum gl_stencil_op(Dword op) {
    switch (op) {
    case SopZero:
        return GL_ZERO;
    case SopReplace:
        return GL_REPLACE;
    case SopIncrSat:
        return GL_INCR;
    case SopDecrSat:
        return GL_DECR;
    case SopInvert:
        return GL_INVERT;
    case SopIncr:
        return GL_INCR_WRAP;
    case SopDecr:
        return GL_DECR_WRAP;
    default:
        return GL_KEEP;
    }
}

GLenum gl_blend(Dword b) {
    switch (b) {
    case BlendZero:
        return GL_ZERO;
    case BlendSrcColor:
        return GL_SRC_COLOR;
    case BlendInvSrcColor:
        return GL_ONE_MINUS_SRC_COLOR;
    case BlendSrcAlpha:
        return GL_SRC_ALPHA;
    case BlendInvSrcAlpha:
        return GL_ONE_MINUS_SRC_ALPHA;
    case BlendDestAlpha:
        return GL_DST_ALPHA;
    case BlendInvDestAlpha:
        return GL_ONE_MINUS_DST_ALPHA;
    case BlendDestColor:
        return GL_DST_COLOR;
    case BlendInvDestColor:
        return GL_ONE_MINUS_DST_COLOR;
    case BlendSrcAlphaSat:
        return GL_SRC_ALPHA_SATURATE;
    default:
        return GL_ONE;
    }
}

GLenum gl_blend_equation(Dword op) {
    switch (op) {
    case BlendOpSubtract:
        return GL_FUNC_SUBTRACT;
    case BlendOpRevSubtract:
        return GL_FUNC_REVERSE_SUBTRACT;
    case BlendOpMin:
        return GL_MIN;
    case BlendOpMax:
        return GL_MAX;
    default:
        return GL_FUNC_ADD;
    }
}

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

GLint gl_source(Dword arg) {
    switch (arg & 0xF) {
    case TaTexture:
        return GL_TEXTURE;
    case TaTFactor:
        return GL_CONSTANT;
    default:
        return GL_PRIMARY_COLOR; // diffuse, and "current" at the first stage
    }
}

// One combiner (colour or alpha) for a stage operation; an operation we do not map passes the
// diffuse value through.
void set_combiner(bool alpha, Dword op, Dword arg1, Dword arg2) {
    const GLenum combine = alpha ? GL_COMBINE_ALPHA : GL_COMBINE_RGB;
    const GLenum src0 = alpha ? GL_SOURCE0_ALPHA : GL_SOURCE0_RGB;
    const GLenum src1 = alpha ? GL_SOURCE1_ALPHA : GL_SOURCE1_RGB;
    const GLenum operand0 = alpha ? GL_OPERAND0_ALPHA : GL_OPERAND0_RGB;
    const GLenum operand1 = alpha ? GL_OPERAND1_ALPHA : GL_OPERAND1_RGB;
    const GLenum scale = alpha ? GL_ALPHA_SCALE : GL_RGB_SCALE;
    const GLint operand = alpha ? GL_SRC_ALPHA : GL_SRC_COLOR;
    GLint mode = GL_MODULATE;
    GLint a = gl_source(arg1), b = gl_source(arg2);
    float factor = 1.0f;
    switch (op) {
    case TopSelectArg1:
        mode = GL_REPLACE;
        break;
    case TopSelectArg2:
        mode = GL_REPLACE;
        a = b;
        break;
    case TopModulate:
        break;
    case TopModulate2x:
        factor = 2.0f;
        break;
    case TopModulate4x:
        factor = 4.0f;
        break;
    case TopAdd:
        mode = GL_ADD;
        break;
    case TopAddSigned:
        mode = GL_ADD_SIGNED;
        break;
    case TopSubtract:
        mode = GL_SUBTRACT;
        break;
    default: // disabled or unknown: the diffuse value passes through
        mode = GL_REPLACE;
        a = GL_PRIMARY_COLOR;
        break;
    }
    glTexEnvi(GL_TEXTURE_ENV, combine, mode);
    glTexEnvi(GL_TEXTURE_ENV, src0, a);
    glTexEnvi(GL_TEXTURE_ENV, src1, b);
    glTexEnvi(GL_TEXTURE_ENV, operand0, operand);
    glTexEnvi(GL_TEXTURE_ENV, operand1, operand);
    glTexEnvf(GL_TEXTURE_ENV, scale, factor);
}

void enable_if(GLenum cap, bool on) {
    on ? glEnable(cap) : glDisable(cap);
}

bool differs(const std::array<Dword, rs::kCount>& a, const std::array<Dword, rs::kCount>& b,
             std::initializer_list<int> codes) {
    for (int c : codes)
        if (a[static_cast<std::size_t>(c)] != b[static_cast<std::size_t>(c)]) return true;
    return false;
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
    params_ = p;
    has_depth_ = p.EnableAutoDepthStencil;
    has_stencil_ = has_depth_ && p.AutoDepthStencilFormat != FmtD16;

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
    max_lights_ = std::min<int>(lights, static_cast<int>(kMaxLights));
    max_clip_planes_ = std::min<int>(planes, static_cast<int>(kMaxClipPlanes));
    init_gl_defaults();
    state_.ResetToDefaults(p.BackBufferWidth, p.BackBufferHeight, has_depth_);
    forget_gl_state();
    loss_.Restored();
    in_scene_ = false;
    return Status::Ok;
}

void GlDevice::forget_gl_state() {
    force_all_ = true;
    render_dirty_ = stage_dirty_ = material_dirty_ = world_dirty_ = projection_dirty_ = viewport_dirty_ =
        lights_dirty_ = true;
    applied_mode_ = applied_lighting_ = applied_color_material_ = applied_clip_mask_ = -1;
    applied_material_parts_ = 0;
    bound_texture_ = bound_array_ = bound_element_ = 0;
    arrays_ = ArraySource{};
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
    applied_texture_enabled_ = true;
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

Status GlDevice::Reset(PresentParameters* params) {
    if (params == nullptr) return Status::InvalidCall;
    if (!loss_.CanReset(params_.Windowed,
                        (SDL_GetWindowFlags(params_.hDeviceWindow) & SDL_WINDOW_MINIMIZED) != 0))
        return Status::DeviceLost;
    PresentParameters p = *params;
    if (p.hDeviceWindow == nullptr) p.hDeviceWindow = params_.hDeviceWindow;
    for (auto& weak : default_textures_)
        if (auto t = weak.lock()) t->MarkLost();
    for (auto& weak : default_vbs_)
        if (auto b = weak.lock()) b->storage.lost = true;
    for (auto& weak : default_ibs_)
        if (auto b = weak.lock()) b->storage.lost = true;
    default_textures_.clear();
    default_vbs_.clear();
    default_ibs_.clear();
    teardown();
    const Status s = build(p);
    if (s != Status::Ok) {
        // Without a context the device waits for another Reset.
        loss_.MarkLost();
        return s;
    }
    return Status::Ok;
}

Status GlDevice::BeginScene() {
    if (!usable()) return Status::DeviceLost;
    if (in_scene_) return Status::InvalidCall;
    in_scene_ = true;
    return Status::Ok;
}

Status GlDevice::EndScene() {
    if (!in_scene_) return Status::InvalidCall;
    in_scene_ = false;
    return Status::Ok;
}

Status GlDevice::Clear(Dword count, const Rect* rects, Dword flags, Dword color, float z, Dword stencil) {
    if (!usable()) return Status::DeviceLost;
    if (flags == 0 || (flags & ~(ClearTarget | ClearZBuffer | ClearStencil))) return Status::InvalidCall;
    if ((flags & ClearZBuffer) && !has_depth_) return Status::InvalidCall;
    if ((flags & ClearStencil) && !has_stencil_) return Status::InvalidCall;
    GLbitfield mask = 0;
    if (flags & ClearTarget) {
        float c[4];
        color_of(color, c);
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
    const auto& a = applied_render_;
    if (!force_all_) {
        glDepthMask(a[rs::ZWriteEnable] ? GL_TRUE : GL_FALSE);
        glStencilMask(a[rs::StencilWriteMask]);
        const Dword m = a[rs::ColorWriteEnable];
        glColorMask((m & 1) != 0, (m & 2) != 0, (m & 4) != 0, (m & 8) != 0);
    }
    viewport_dirty_ = true;
    return Status::Ok;
}

Status GlDevice::SetViewport(const Viewport& v) {
    if (v.Width == 0 || v.Height == 0 || std::uint64_t{v.X} + v.Width > params_.BackBufferWidth ||
        std::uint64_t{v.Y} + v.Height > params_.BackBufferHeight || !(v.MinZ >= 0.0f && v.MaxZ <= 1.0f))
        return Status::InvalidCall;
    state_.viewport = v;
    viewport_dirty_ = true;
    return Status::Ok;
}

Status GlDevice::GetViewport(Viewport* v) {
    if (v == nullptr) return Status::InvalidCall;
    *v = state_.viewport;
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

Status GlDevice::Present(const Rect*, const Rect*, platform::WindowHandle, const void*) {
    if (!usable()) return Status::DeviceLost;
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
        viewport_dirty_ = true; // the scissor box was switched off and on
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

Status GlDevice::SetTransform(std::int32_t type, const Matrix& m) {
    Matrix* slot = state_.Transform(type);
    if (slot == nullptr) return Status::InvalidCall;
    *slot = m;
    if (type == TsProjection)
        projection_dirty_ = true;
    else
        world_dirty_ = true;
    if (type == TsView) lights_dirty_ = true;
    return Status::Ok;
}

Status GlDevice::GetTransform(std::int32_t type, Matrix* m) {
    Matrix* slot = state_.Transform(type);
    if (slot == nullptr || m == nullptr) return Status::InvalidCall;
    *m = *slot;
    return Status::Ok;
}

Status GlDevice::SetLight(Dword index, const Light& l) {
    if (l.Type < LightPoint || l.Type > LightDirectional) return Status::InvalidCall;
    state_.lights[index] = l;
    lights_dirty_ = true;
    return Status::Ok;
}

Status GlDevice::GetLight(Dword index, Light* l) {
    const auto it = state_.lights.find(index);
    if (it == state_.lights.end() || l == nullptr) return Status::InvalidCall;
    *l = it->second;
    return Status::Ok;
}

Status GlDevice::LightEnable(Dword index, bool enable) {
    state_.EnableLight(index, enable);
    lights_dirty_ = true;
    return Status::Ok;
}

Status GlDevice::GetLightEnable(Dword index, bool* enable) {
    const auto it = state_.light_enabled.find(index);
    if (it == state_.light_enabled.end() || enable == nullptr) return Status::InvalidCall;
    *enable = it->second;
    return Status::Ok;
}

Status GlDevice::SetMaterial(const Material& m) {
    // Buildings drawn subset by subset hand over the same material many times running; each change
    // makes the driver rebuild its lighting constants.
    if (!platform::OptimisationsOff() && std::memcmp(&state_.material, &m, sizeof m) == 0) return Status::Ok;
    state_.material = m;
    material_dirty_ = true;
    return Status::Ok;
}

Status GlDevice::GetMaterial(Material* m) {
    if (m == nullptr) return Status::InvalidCall;
    *m = state_.material;
    return Status::Ok;
}

Status GlDevice::SetRenderState(std::int32_t state, Dword value) {
    if (!IsKnownRenderState(state)) return Status::InvalidCall;
    Dword& slot = state_.render[static_cast<std::size_t>(state)];
    if (slot == value) return Status::Ok;
    slot = value;
    render_dirty_ = true;
    if (state == rs::SpecularEnable) material_dirty_ = true;
    if (state == rs::ClipPlaneEnable) lights_dirty_ = true;
    return Status::Ok;
}

Status GlDevice::GetRenderState(std::int32_t state, Dword* value) {
    if (!IsKnownRenderState(state) || value == nullptr) return Status::InvalidCall;
    *value = state_.render[static_cast<std::size_t>(state)];
    return Status::Ok;
}

Status GlDevice::SetTextureStageState(Dword stage, std::int32_t type, Dword value) {
    if (stage != 0 || type < 1 || type >= tss::kCount) return Status::InvalidCall;
    Dword& slot = state_.stage[static_cast<std::size_t>(type)];
    if (slot == value) return Status::Ok;
    slot = value;
    stage_dirty_ = true;
    return Status::Ok;
}

Status GlDevice::GetTextureStageState(Dword stage, std::int32_t type, Dword* value) {
    if (stage != 0 || type < 1 || type >= tss::kCount || value == nullptr) return Status::InvalidCall;
    *value = state_.stage[static_cast<std::size_t>(type)];
    return Status::Ok;
}

Status GlDevice::SetClipPlane(Dword index, const float plane[4]) {
    if (index >= kMaxClipPlanes || plane == nullptr) return Status::InvalidCall;
    std::copy(plane, plane + 4, state_.clip_planes[index].begin());
    lights_dirty_ = true;
    return Status::Ok;
}

Status GlDevice::GetClipPlane(Dword index, float plane[4]) {
    if (index >= kMaxClipPlanes || plane == nullptr) return Status::InvalidCall;
    std::copy(state_.clip_planes[index].begin(), state_.clip_planes[index].end(), plane);
    return Status::Ok;
}

Status GlDevice::SetVertexShader(Dword fvf_code) {
    const VertexLayout l = LayoutOf(fvf_code);
    if (l.position < 0) return Status::InvalidCall;
    state_.fvf = fvf_code;
    return Status::Ok;
}

Status GlDevice::GetVertexShader(Dword* fvf_code) {
    if (fvf_code == nullptr) return Status::InvalidCall;
    *fvf_code = state_.fvf;
    return Status::Ok;
}

Status GlDevice::SetTexture(Dword stage, const TexturePtr& texture) {
    if (stage != 0) return Status::InvalidCall;
    if (texture && dynamic_cast<GlTexture*>(texture.get()) == nullptr) return Status::InvalidCall;
    state_.texture = texture;
    return Status::Ok;
}

Status GlDevice::GetTexture(Dword stage, TexturePtr* texture) {
    if (stage != 0 || texture == nullptr) return Status::InvalidCall;
    *texture = state_.texture;
    return Status::Ok;
}

Status GlDevice::CreateTexture(Dword width, Dword height, Dword levels, Dword usage, std::int32_t format,
                               std::int32_t pool, TexturePtr* texture) {
    if (texture == nullptr || width == 0 || height == 0 || GlFormatOf(format).internal == 0)
        return Status::InvalidCall;
    if (width > kMaxTextureSize || height > kMaxTextureSize) return Status::OutOfMemory;
    if (!usable()) return Status::DeviceLost;
    auto t = std::make_shared<GlTexture>(info_, width, height, levels, usage, format, pool);
    if (pool == PoolDefault) default_textures_.push_back(t);
    *texture = std::move(t);
    return Status::Ok;
}

Status GlDevice::CreateVertexBuffer(Dword length, Dword usage, Dword fvf_code, std::int32_t pool,
                                    VertexBufferPtr* buffer) {
    if (buffer == nullptr || length == 0 || length > (1u << 30)) return Status::InvalidCall;
    if (!usable()) return Status::DeviceLost;
    auto b = std::make_shared<GlVertexBuffer>(info_, length, usage, fvf_code, pool);
    if (pool == PoolDefault) default_vbs_.push_back(b);
    *buffer = std::move(b);
    return Status::Ok;
}

Status GlDevice::CreateIndexBuffer(Dword length, Dword usage, std::int32_t format, std::int32_t pool,
                                   IndexBufferPtr* buffer) {
    if (buffer == nullptr || length == 0 || length > (1u << 30) ||
        (format != FmtIndex16 && format != FmtIndex32))
        return Status::InvalidCall;
    if (!usable()) return Status::DeviceLost;
    auto b = std::make_shared<GlIndexBuffer>(info_, length, usage, format, pool);
    if (pool == PoolDefault) default_ibs_.push_back(b);
    *buffer = std::move(b);
    return Status::Ok;
}

Status GlDevice::SetStreamSource(Dword stream, const VertexBufferPtr& buffer, Dword stride) {
    if (stream != 0) return Status::InvalidCall;
    if (buffer && dynamic_cast<GlVertexBuffer*>(buffer.get()) == nullptr) return Status::InvalidCall;
    state_.stream = buffer;
    state_.stream_stride = stride;
    return Status::Ok;
}

Status GlDevice::SetIndices(const IndexBufferPtr& buffer, Dword base_vertex_index) {
    if (buffer && dynamic_cast<GlIndexBuffer*>(buffer.get()) == nullptr) return Status::InvalidCall;
    state_.indices = buffer;
    state_.base_vertex = base_vertex_index;
    return Status::Ok;
}

bool GlDevice::ShowCursor(bool show) {
    const bool was = SDL_ShowCursor(SDL_QUERY) == SDL_ENABLE;
    SDL_ShowCursor(show ? SDL_ENABLE : SDL_DISABLE);
    return was;
}

// ---- drawing ----

Status GlDevice::DrawPrimitive(std::int32_t type, Dword start_vertex, Dword primitive_count) {
    if (!usable()) return Status::DeviceLost;
    const std::int64_t n = VertexCountFor(type, primitive_count);
    auto* vb = dynamic_cast<GlVertexBuffer*>(state_.stream.get());
    const Dword stride = state_.stream_stride;
    if (n == 0 || vb == nullptr || stride == 0) return Status::InvalidCall;
    if ((std::int64_t{start_vertex} + n) * stride > vb->Length()) return Status::InvalidCall;
    const VertexLayout l = LayoutOf(state_.fvf);
    if (l.pretransformed) // converted on the CPU from the system-memory copy
        return counted(draw_arrays(type, start_vertex, static_cast<Dword>(n), state_.fvf, vb->storage.Data(),
                                   stride, false, nullptr, 0, 0),
                       n);
    if (!vb->object.Bind(GL_ARRAY_BUFFER, vb->storage, &bound_array_)) return Status::DeviceLost;
    return counted(draw_arrays(type, start_vertex, static_cast<Dword>(n), state_.fvf, nullptr, stride, true,
                               nullptr, 0, 0),
                   n);
}

Status GlDevice::DrawIndexedPrimitive(std::int32_t type, Dword /*min_index*/, Dword num_vertices,
                                      Dword start_index, Dword primitive_count) {
    if (!usable()) return Status::DeviceLost;
    const std::int64_t n = VertexCountFor(type, primitive_count);
    auto* vb = dynamic_cast<GlVertexBuffer*>(state_.stream.get());
    auto* ib = dynamic_cast<GlIndexBuffer*>(state_.indices.get());
    const Dword stride = state_.stream_stride;
    if (n == 0 || vb == nullptr || ib == nullptr || stride == 0) return Status::InvalidCall;
    const bool wide = ib->IndexFormat() == FmtIndex32;
    const std::int64_t index_size = wide ? 4 : 2;
    if ((std::int64_t{start_index} + n) * index_size > ib->Length()) return Status::InvalidCall;
    // Indices that point past the vertex data would make GL read out of bounds.
    const std::uint8_t* raw = ib->storage.Data() + std::int64_t{start_index} * index_size;
    const std::int64_t vertex_count = vb->Length() / stride;
    for (std::int64_t i = 0; i < n; ++i) {
        std::uint32_t v = 0;
        if (wide)
            std::memcpy(&v, raw + i * 4, 4);
        else {
            std::uint16_t s = 0;
            std::memcpy(&s, raw + i * 2, 2);
            v = s;
        }
        if (std::int64_t{v} + state_.base_vertex >= vertex_count) return Status::InvalidCall;
    }
    const GLenum index_type = wide ? GL_UNSIGNED_INT : GL_UNSIGNED_SHORT;
    const VertexLayout l = LayoutOf(state_.fvf);
    const std::uint8_t* base_bytes = vb->storage.Data() + std::int64_t{state_.base_vertex} * stride;
    if (l.pretransformed)
        return counted(draw_arrays(type, 0, static_cast<Dword>(n), state_.fvf, base_bytes, stride, false, raw,
                                   index_type, static_cast<Dword>(n)),
                       num_vertices);
    if (!vb->object.Bind(GL_ARRAY_BUFFER, vb->storage, &bound_array_) ||
        !ib->object.Bind(GL_ELEMENT_ARRAY_BUFFER, ib->storage, &bound_element_))
        return Status::DeviceLost;
    const auto* vertex_offset =
        reinterpret_cast<const std::uint8_t*>(std::uintptr_t{state_.base_vertex} * stride);
    const auto* index_offset =
        reinterpret_cast<const void*>(static_cast<std::uintptr_t>(start_index * index_size));
    return counted(draw_arrays(type, 0, static_cast<Dword>(n), state_.fvf, vertex_offset, stride, true,
                               index_offset, index_type, static_cast<Dword>(n)),
                   num_vertices);
}

Status GlDevice::DrawPrimitiveUP(std::int32_t type, Dword primitive_count, const void* vertex_data,
                                 Dword stride) {
    if (!usable()) return Status::DeviceLost;
    const std::int64_t n = VertexCountFor(type, primitive_count);
    if (n == 0 || vertex_data == nullptr || stride == 0) return Status::InvalidCall;
    return counted(draw_arrays(type, 0, static_cast<Dword>(n), state_.fvf,
                               static_cast<const std::uint8_t*>(vertex_data), stride, false, nullptr, 0, 0),
                   n);
}

Status GlDevice::DrawIndexedPrimitiveUP(std::int32_t type, Dword min_index, Dword num_vertices,
                                        Dword primitive_count, const void* index_data,
                                        std::int32_t index_format, const void* vertex_data, Dword stride) {
    if (!usable()) return Status::DeviceLost;
    const std::int64_t n = VertexCountFor(type, primitive_count);
    if (n == 0 || vertex_data == nullptr || index_data == nullptr || stride == 0 ||
        (index_format != FmtIndex16 && index_format != FmtIndex32))
        return Status::InvalidCall;
    const bool wide = index_format == FmtIndex32;
    // The caller vouches for vertices min_index .. min_index + num_vertices - 1 only.
    for (std::int64_t i = 0; i < n; ++i) {
        const std::uint32_t v = wide ? static_cast<const std::uint32_t*>(index_data)[i]
                                     : static_cast<const std::uint16_t*>(index_data)[i];
        if (v < min_index || v >= std::uint64_t{min_index} + num_vertices) return Status::InvalidCall;
    }
    return counted(draw_arrays(type, 0, static_cast<Dword>(n), state_.fvf,
                               static_cast<const std::uint8_t*>(vertex_data), stride, false, index_data,
                               wide ? GL_UNSIGNED_INT : GL_UNSIGNED_SHORT, static_cast<Dword>(n)),
                   num_vertices);
}

Status GlDevice::draw_arrays(std::int32_t type, Dword first, Dword count, Dword fvf_code,
                             const std::uint8_t* vertices, Dword stride, bool from_buffer,
                             const void* indices, GLenum index_type, Dword index_count) {
    const VertexLayout l = LayoutOf(fvf_code);
    if (l.position < 0 || static_cast<Dword>(l.stride) > stride) return Status::InvalidCall;
    prepare(l);
    if (!from_buffer) {
        if (bound_array_ != 0) glBindBuffer(GL_ARRAY_BUFFER, bound_array_ = 0);
        if (bound_element_ != 0) glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, bound_element_ = 0);
    }
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
        set_arrays(l, vertices, stride, true);
        glVertexPointer(4, GL_FLOAT, 0, scratch_.data());
        arrays_.valid = false;
    } else {
        const ArraySource source{vertices, fvf_code, stride, bound_array_, true};
        if (!(source == arrays_)) {
            set_arrays(l, vertices, stride, false);
            arrays_ = source;
        }
    }
    // An index offset of 0 into a bound index buffer is a null pointer: the count tells the cases apart.
    if (index_count > 0)
        glDrawElements(mode, static_cast<GLsizei>(index_count), index_type, indices);
    else
        glDrawArrays(mode, static_cast<GLint>(first), static_cast<GLsizei>(count));
    return Status::Ok;
}

void GlDevice::set_arrays(const VertexLayout& l, const std::uint8_t* base, Dword stride,
                          bool pretransformed) {
    const auto s = static_cast<GLsizei>(stride);
    glEnableClientState(GL_VERTEX_ARRAY);
    if (!pretransformed) glVertexPointer(l.position_size, GL_FLOAT, s, base + l.position);
    if (l.normal >= 0 && !pretransformed) {
        glEnableClientState(GL_NORMAL_ARRAY);
        glNormalPointer(GL_FLOAT, s, base + l.normal);
    } else {
        glDisableClientState(GL_NORMAL_ARRAY);
        glNormal3f(0, 0, 0);
    }
    if (l.diffuse >= 0) {
        glEnableClientState(GL_COLOR_ARRAY);
        glColorPointer(GL_BGRA, GL_UNSIGNED_BYTE, s, base + l.diffuse);
    } else {
        glDisableClientState(GL_COLOR_ARRAY);
        glColor4f(1, 1, 1, 1);
    }
    if (l.texcoord >= 0) {
        glEnableClientState(GL_TEXTURE_COORD_ARRAY);
        glTexCoordPointer(2, GL_FLOAT, s, base + l.texcoord);
    } else {
        glDisableClientState(GL_TEXTURE_COORD_ARRAY);
        glTexCoord2f(0, 0);
    }
}

void GlDevice::prepare(const VertexLayout& l) {
    const int mode = l.pretransformed ? 1 : 0;
    if (mode != applied_mode_) {
        world_dirty_ = projection_dirty_ = viewport_dirty_ = true;
        lights_dirty_ = true;
    }
    if (render_dirty_ || force_all_) apply_render_states();
    if (stage_dirty_ || force_all_) apply_stage();
    bind_texture();
    if (material_dirty_ || force_all_) apply_material();
    if (world_dirty_ || projection_dirty_ || viewport_dirty_ || force_all_)
        apply_transforms(l.pretransformed);
    if (lights_dirty_ || force_all_) apply_lights_and_planes();

    // Pre-transformed vertices are never lit; lit vertices take their diffuse colour from the vertex
    // only when it has one and the colour-source states ask for it.
    const int lighting = (!l.pretransformed && state_.render[rs::Lighting]) ? 1 : 0;
    if (lighting != applied_lighting_) {
        enable_if(GL_LIGHTING, lighting != 0);
        applied_lighting_ = lighting;
    }
    const int color_material = (lighting && l.diffuse >= 0 && state_.render[rs::ColorVertex] &&
                                state_.render[rs::DiffuseMaterialSource] == 1)
                                   ? 1
                                   : 0;
    if (color_material != applied_color_material_) {
        if (color_material) glColorMaterial(GL_FRONT_AND_BACK, GL_DIFFUSE);
        enable_if(GL_COLOR_MATERIAL, color_material != 0);
        applied_color_material_ = color_material;
        // GL_COLOR_MATERIAL overwrites the diffuse colour.
        applied_material_parts_ &= ~kDiffusePart;
        if (!color_material) material_dirty_ = true;
    }
    if (material_dirty_) apply_material();
    force_all_ = false;
}

void GlDevice::apply_render_states() {
    const auto& r = state_.render;
    auto& a = applied_render_;
    const bool all = force_all_;
    if (all || differs(r, a, {rs::ZEnable, rs::ZWriteEnable, rs::ZFunc})) {
        enable_if(GL_DEPTH_TEST, has_depth_ && r[rs::ZEnable] != 0);
        glDepthMask(r[rs::ZWriteEnable] ? GL_TRUE : GL_FALSE);
        glDepthFunc(gl_compare(r[rs::ZFunc]));
    }
    if (all || differs(r, a, {rs::CullMode})) {
        // The screen's y axis points down for the engine and up for GL, but the picture is the same,
        // so a face clockwise on the screen is clockwise in GL's window coordinates too.
        switch (r[rs::CullMode]) {
        case CullCw:
            glEnable(GL_CULL_FACE);
            glFrontFace(GL_CCW);
            glCullFace(GL_BACK);
            break;
        case CullCcw:
            glEnable(GL_CULL_FACE);
            glFrontFace(GL_CW);
            glCullFace(GL_BACK);
            break;
        default:
            glDisable(GL_CULL_FACE);
            break;
        }
    }
    if (all || differs(r, a, {rs::FillMode}))
        glPolygonMode(GL_FRONT_AND_BACK, r[rs::FillMode] == FillPoint       ? GL_POINT
                                         : r[rs::FillMode] == FillWireframe ? GL_LINE
                                                                            : GL_FILL);
    if (all || differs(r, a, {rs::ShadeMode})) glShadeModel(r[rs::ShadeMode] == 1 ? GL_FLAT : GL_SMOOTH);
    if (all || differs(r, a, {rs::AlphaBlendEnable, rs::SrcBlend, rs::DestBlend, rs::BlendOp})) {
        enable_if(GL_BLEND, r[rs::AlphaBlendEnable] != 0);
        glBlendFunc(gl_blend(r[rs::SrcBlend]), gl_blend(r[rs::DestBlend]));
        glBlendEquation(gl_blend_equation(r[rs::BlendOp]));
    }
    if (all || differs(r, a, {rs::AlphaTestEnable, rs::AlphaFunc, rs::AlphaRef})) {
        enable_if(GL_ALPHA_TEST, r[rs::AlphaTestEnable] != 0);
        glAlphaFunc(gl_compare(r[rs::AlphaFunc]), static_cast<float>(r[rs::AlphaRef] & 0xFF) / 255.0f);
    }
    if (all || differs(r, a,
                       {rs::FogEnable, rs::FogColor, rs::FogTableMode, rs::FogVertexMode, rs::FogStart,
                        rs::FogEnd, rs::FogDensity})) {
        const Dword mode = r[rs::FogTableMode] != FogNone ? r[rs::FogTableMode] : r[rs::FogVertexMode];
        const bool on = r[rs::FogEnable] != 0 && mode != FogNone;
        enable_if(GL_FOG, on);
        if (on) {
            glFogi(GL_FOG_MODE, mode == FogExp ? GL_EXP : mode == FogExp2 ? GL_EXP2 : GL_LINEAR);
            // The three values are floats carried in the state's 32 bits.
            glFogf(GL_FOG_DENSITY, std::bit_cast<float>(r[rs::FogDensity]));
            glFogf(GL_FOG_START, std::bit_cast<float>(r[rs::FogStart]));
            glFogf(GL_FOG_END, std::bit_cast<float>(r[rs::FogEnd]));
            float c[4];
            color_of(r[rs::FogColor], c);
            glFogfv(GL_FOG_COLOR, c);
        }
    }
    if (all || differs(r, a,
                       {rs::StencilEnable, rs::StencilFail, rs::StencilZFail, rs::StencilPass,
                        rs::StencilFunc, rs::StencilRef, rs::StencilMask, rs::StencilWriteMask})) {
        enable_if(GL_STENCIL_TEST, has_stencil_ && r[rs::StencilEnable] != 0);
        glStencilFunc(gl_compare(r[rs::StencilFunc]), static_cast<GLint>(r[rs::StencilRef]),
                      r[rs::StencilMask]);
        glStencilOp(gl_stencil_op(r[rs::StencilFail]), gl_stencil_op(r[rs::StencilZFail]),
                    gl_stencil_op(r[rs::StencilPass]));
        glStencilMask(r[rs::StencilWriteMask]);
    }
    if (all || differs(r, a, {rs::ZBias})) {
        // Larger biases pull the geometry towards the viewer; one step is a few depth units plus a
        // slope term so that flattened shadows stay in front of the ground they lie on.
        const auto bias = static_cast<float>(std::min<Dword>(r[rs::ZBias], 16));
        enable_if(GL_POLYGON_OFFSET_FILL, bias > 0);
        enable_if(GL_POLYGON_OFFSET_LINE, bias > 0);
        glPolygonOffset(-bias / 4.0f, -bias * 4.0f);
    }
    if (all || differs(r, a, {rs::Ambient})) {
        float c[4];
        color_of(r[rs::Ambient], c);
        glLightModelfv(GL_LIGHT_MODEL_AMBIENT, c);
    }
    if (all || differs(r, a, {rs::LocalViewer}))
        glLightModeli(GL_LIGHT_MODEL_LOCAL_VIEWER, r[rs::LocalViewer] ? 1 : 0);
    if (all || differs(r, a, {rs::NormalizeNormals})) enable_if(GL_NORMALIZE, r[rs::NormalizeNormals] != 0);
    if (all || differs(r, a, {rs::SpecularEnable}))
        glLightModeli(GL_LIGHT_MODEL_COLOR_CONTROL,
                      r[rs::SpecularEnable] ? GL_SEPARATE_SPECULAR_COLOR : GL_SINGLE_COLOR);
    if (all || differs(r, a, {rs::ColorWriteEnable})) {
        const Dword m = r[rs::ColorWriteEnable];
        glColorMask((m & 1) != 0, (m & 2) != 0, (m & 4) != 0, (m & 8) != 0);
    }
    if (all || differs(r, a, {rs::DitherEnable})) enable_if(GL_DITHER, r[rs::DitherEnable] != 0);
    if (all || differs(r, a, {rs::TextureFactor})) {
        float c[4];
        color_of(r[rs::TextureFactor], c);
        glTexEnvfv(GL_TEXTURE_ENV, GL_TEXTURE_ENV_COLOR, c);
    }
    a = r;
    render_dirty_ = false;
}

void GlDevice::apply_stage() {
    const auto& s = state_.stage;
    auto& a = applied_stage_;
    const bool all = force_all_;
    if (all || s[tss::ColorOp] != a[tss::ColorOp] || s[tss::ColorArg1] != a[tss::ColorArg1] ||
        s[tss::ColorArg2] != a[tss::ColorArg2])
        set_combiner(false, s[tss::ColorOp], s[tss::ColorArg1], s[tss::ColorArg2]);
    if (all || s[tss::AlphaOp] != a[tss::AlphaOp] || s[tss::AlphaArg1] != a[tss::AlphaArg1] ||
        s[tss::AlphaArg2] != a[tss::AlphaArg2] || s[tss::ColorOp] != a[tss::ColorOp]) {
        // A disabled colour operation switches the whole stage off, alpha included.
        const Dword op = s[tss::ColorOp] == TopDisable ? TopDisable : s[tss::AlphaOp];
        set_combiner(true, op, s[tss::AlphaArg1], s[tss::AlphaArg2]);
    }
    a = s;
    stage_dirty_ = false;
}

void GlDevice::bind_texture() {
    auto* t = dynamic_cast<GlTexture*>(state_.texture.get());
    const auto& s = state_.stage;
    const bool anisotropic = s[tss::MagFilter] == TexfAnisotropic || s[tss::MinFilter] == TexfAnisotropic;
    const SamplerState sampler{s[tss::MagFilter], s[tss::MinFilter], s[tss::MipFilter],
                               s[tss::AddressU],  s[tss::AddressV],  anisotropic ? s[tss::MaxAnisotropy] : 1};
    // Without a texture the stage reads opaque white, so operations on it leave the diffuse colour.
    // A texture of opaque white alone reads the same (unless a border colour can come in), and the
    // stand-in spares the driver a texture switch, which it pays for dearly when models alternate
    // between plain and white-textured subsets.
    const bool border = sampler.address_u == TaddressBorder || sampler.address_v == TaddressBorder;
    if (t != nullptr && !border && !platform::OptimisationsOff() && t->OpaqueWhite()) t = nullptr;
    if (t != nullptr && t->Bind(sampler, &bound_texture_)) return;
    if (bound_texture_ != white_texture_) glBindTexture(GL_TEXTURE_2D, bound_texture_ = white_texture_);
}

void GlDevice::apply_material() {
    const Material& m = state_.material;
    // Subsets of one model differ in a colour or two; every part handed over makes the driver
    // rebuild its lighting constants, so unchanged parts are not handed over again.
    if (platform::OptimisationsOff()) applied_material_parts_ = 0;
    const auto send = [&](unsigned part, GLenum name, const ColorValue& value, ColorValue& applied) {
        if ((applied_material_parts_ & part) != 0 && std::memcmp(&applied, &value, sizeof value) == 0) return;
        glMaterialfv(GL_FRONT_AND_BACK, name, &value.r);
        applied = value;
        applied_material_parts_ |= part;
    };
    send(kAmbientPart, GL_AMBIENT, m.Ambient, applied_material_.Ambient);
    if (applied_color_material_ != 1) send(kDiffusePart, GL_DIFFUSE, m.Diffuse, applied_material_.Diffuse);
    send(kEmissivePart, GL_EMISSION, m.Emissive, applied_material_.Emissive);
    // Without the specular state the platform computes no highlight at all.
    send(kSpecularPart, GL_SPECULAR, state_.render[rs::SpecularEnable] ? m.Specular : ColorValue{},
         applied_material_.Specular);
    const float power = std::clamp(m.Power, 0.0f, 128.0f);
    if ((applied_material_parts_ & kPowerPart) == 0 || applied_material_.Power != power) {
        glMaterialf(GL_FRONT_AND_BACK, GL_SHININESS, power);
        applied_material_.Power = power;
        applied_material_parts_ |= kPowerPart;
    }
    material_dirty_ = false;
}

void GlDevice::apply_transforms(bool pretransformed) {
    // GL's matrix mode stays at the modelview between calls.
    const Viewport& v = state_.viewport;
    const auto bb_w = static_cast<GLint>(params_.BackBufferWidth),
               bb_h = static_cast<GLint>(params_.BackBufferHeight);
    const bool all = force_all_ || applied_mode_ != (pretransformed ? 1 : 0);
    if (pretransformed) {
        if (all || projection_dirty_ || viewport_dirty_) {
            // Pixel coordinates over the whole back buffer, y down, depth 0..1 as given; the viewport
            // still bounds what is drawn.
            glMatrixMode(GL_PROJECTION);
            glLoadIdentity();
            glOrtho(0, bb_w, bb_h, 0, 0, -1);
            glMatrixMode(GL_MODELVIEW);
            glLoadIdentity();
            glViewport(0, 0, bb_w, bb_h);
            glDepthRange(0, 1);
        }
    } else {
        if (all || projection_dirty_) {
            glMatrixMode(GL_PROJECTION);
            glLoadMatrixf(multiply(state_.projection, depth_to_gl()).m);
            glMatrixMode(GL_MODELVIEW);
        }
        if (all || world_dirty_) glLoadMatrixf(multiply(state_.world, state_.view).m);
        if (all || viewport_dirty_) {
            glViewport(static_cast<GLint>(v.X), bb_h - static_cast<GLint>(v.Y + v.Height),
                       static_cast<GLsizei>(v.Width), static_cast<GLsizei>(v.Height));
            glDepthRange(v.MinZ, v.MaxZ);
        }
    }
    if (all || viewport_dirty_)
        glScissor(static_cast<GLint>(v.X), bb_h - static_cast<GLint>(v.Y + v.Height),
                  static_cast<GLsizei>(v.Width), static_cast<GLsizei>(v.Height));
    applied_mode_ = pretransformed ? 1 : 0;
    world_dirty_ = projection_dirty_ = viewport_dirty_ = false;
}

void GlDevice::apply_lights_and_planes() {
    // Lights and clip planes are given in world space: GL takes them in eye space through the
    // modelview current when they are set, so they go over with the view alone.
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glLoadMatrixf(state_.view.m);
    for (int i = 0; i < max_lights_; ++i) {
        const GLenum id = GL_LIGHT0 + static_cast<GLenum>(i);
        const auto on = state_.light_enabled.find(static_cast<Dword>(i));
        const auto light = state_.lights.find(static_cast<Dword>(i));
        if (on == state_.light_enabled.end() || !on->second || light == state_.lights.end()) {
            glDisable(id);
            continue;
        }
        const Light& l = light->second;
        glEnable(id);
        glLightfv(id, GL_DIFFUSE, &l.Diffuse.r);
        glLightfv(id, GL_SPECULAR, &l.Specular.r);
        glLightfv(id, GL_AMBIENT, &l.Ambient.r);
        if (l.Type == LightDirectional) {
            const float dir[4] = {-l.Direction.x, -l.Direction.y, -l.Direction.z, 0.0f};
            glLightfv(id, GL_POSITION, dir);
            glLightf(id, GL_SPOT_CUTOFF, 180.0f);
            glLightf(id, GL_CONSTANT_ATTENUATION, 1.0f);
            glLightf(id, GL_LINEAR_ATTENUATION, 0.0f);
            glLightf(id, GL_QUADRATIC_ATTENUATION, 0.0f);
        } else {
            const float pos[4] = {l.Position.x, l.Position.y, l.Position.z, 1.0f};
            glLightfv(id, GL_POSITION, pos);
            const bool all_zero = l.Attenuation0 == 0 && l.Attenuation1 == 0 && l.Attenuation2 == 0;
            glLightf(id, GL_CONSTANT_ATTENUATION, all_zero ? 1.0f : l.Attenuation0);
            glLightf(id, GL_LINEAR_ATTENUATION, l.Attenuation1);
            glLightf(id, GL_QUADRATIC_ATTENUATION, l.Attenuation2);
            if (l.Type == LightSpot) {
                const float dir[3] = {l.Direction.x, l.Direction.y, l.Direction.z};
                glLightfv(id, GL_SPOT_DIRECTION, dir);
                glLightf(id, GL_SPOT_CUTOFF, std::clamp(l.Phi * 0.5f * 57.29578f, 0.0f, 90.0f));
                glLightf(id, GL_SPOT_EXPONENT, std::clamp(l.Falloff, 0.0f, 128.0f));
            } else {
                glLightf(id, GL_SPOT_CUTOFF, 180.0f);
            }
        }
    }
    // Pre-transformed vertices are not clipped by the user planes.
    const Dword mask = applied_mode_ == 1 ? 0 : state_.render[rs::ClipPlaneEnable];
    for (int i = 0; i < max_clip_planes_; ++i) {
        const GLenum id = GL_CLIP_PLANE0 + static_cast<GLenum>(i);
        if (mask & (1u << i)) {
            const auto& p = state_.clip_planes[static_cast<std::size_t>(i)];
            const double eq[4] = {p[0], p[1], p[2], p[3]};
            glClipPlane(id, eq);
            glEnable(id);
        } else {
            glDisable(id);
        }
    }
    glPopMatrix();
    applied_clip_mask_ = static_cast<int>(mask);
    lights_dirty_ = false;
}

} // namespace kl::gfx

// The OpenGL back-end's graphics system: SDL displays as adapters, SDL display modes as modes, and
// a capability record read from a probe context, made once.
#include "platform/gfx/gl/gl_backend.h"
#include "platform/gfx/gl/gl_device.h"
#include "platform/os/events.h"

#include <SDL.h>
#include <SDL_opengl.h>
#include <algorithm>
#include <set>

namespace kl::gfx {

namespace {

std::int32_t format_of(Uint32 sdl_format) {
    switch (SDL_BITSPERPIXEL(sdl_format)) {
    case 32:
    case 24:
        return FmtX8R8G8B8;
    case 16:
        return FmtR5G6B5;
    case 15:
        return FmtX1R5G5B5;
    default:
        return FmtUnknown;
    }
}

void set_window_attributes() {
    SDL_GL_SetAttribute(SDL_GL_RED_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_GREEN_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_BLUE_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, 24);
    SDL_GL_SetAttribute(SDL_GL_STENCIL_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
    SDL_GL_SetAttribute(SDL_GL_MULTISAMPLEBUFFERS, 0);
    SDL_GL_SetAttribute(SDL_GL_MULTISAMPLESAMPLES, 0);
}

struct Probe {
    bool done = false;
    bool ok = false;
    Caps caps;
    std::int32_t max_samples = 0;
    // Counts that made a complete multisampled framebuffer; only powers of two are tried.
    std::set<std::int32_t> sample_counts;
};

// Reads the limits of a GL context on a hidden window, and which multisample counts can really be
// made (a count the driver lists may still fail; we try each).
Probe probe_context() {
    Probe p;
    p.done = true;
    set_window_attributes();
    SDL_Window* w = SDL_CreateWindow("probe", 0, 0, 16, 16, SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN);
    if (w == nullptr) return p;
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 2);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 1);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, 0);
    SDL_GLContext ctx = SDL_GL_CreateContext(w);
    if (ctx == nullptr) {
        SDL_DestroyWindow(w);
        return p;
    }
    GLint max_texture = 0, max_lights = 0, max_planes = 0, max_samples = 0;
    GLfloat max_aniso = 1;
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &max_texture);
    glGetIntegerv(GL_MAX_LIGHTS, &max_lights);
    glGetIntegerv(GL_MAX_CLIP_PLANES, &max_planes);
    glGetIntegerv(GL_MAX_SAMPLES, &max_samples);
    glGetFloatv(GL_MAX_TEXTURE_MAX_ANISOTROPY_EXT, &max_aniso);
    int stencil_bits = 0;
    SDL_GL_GetAttribute(SDL_GL_STENCIL_SIZE, &stencil_bits);
    while (glGetError() != GL_NO_ERROR) {
    }

    for (std::int32_t samples = 2; samples <= 16 && samples <= max_samples; samples *= 2) {
        GLuint fbo = 0, rb[2] = {};
        glGenFramebuffers(1, &fbo);
        glBindFramebuffer(GL_FRAMEBUFFER, fbo);
        glGenRenderbuffers(2, rb);
        glBindRenderbuffer(GL_RENDERBUFFER, rb[0]);
        glRenderbufferStorageMultisample(GL_RENDERBUFFER, samples, GL_RGBA8, 64, 64);
        glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, rb[0]);
        glBindRenderbuffer(GL_RENDERBUFFER, rb[1]);
        glRenderbufferStorageMultisample(GL_RENDERBUFFER, samples, GL_DEPTH24_STENCIL8, 64, 64);
        glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_STENCIL_ATTACHMENT, GL_RENDERBUFFER, rb[1]);
        const bool complete = glCheckFramebufferStatus(GL_FRAMEBUFFER) == GL_FRAMEBUFFER_COMPLETE &&
                              glGetError() == GL_NO_ERROR;
        glBindFramebuffer(GL_FRAMEBUFFER, 0);
        glDeleteRenderbuffers(2, rb);
        glDeleteFramebuffers(1, &fbo);
        if (!complete) break;
        p.max_samples = samples;
        p.sample_counts.insert(samples);
    }

    Caps& c = p.caps;
    c.PresentationIntervals = PresentIntervalImmediate | PresentIntervalOne;
    c.DevCaps = DevCapsHwTransformAndLight;
    c.RasterCaps =
        RasterCapsFogTable | RasterCapsZBias | RasterCapsFogRange | RasterCapsWFog | RasterCapsZFog;
    c.StencilCaps = stencil_bits >= 8 ? 0xFFu : 0u;
    c.ShadeCaps = ShadeCapsSpecularGouraudRgb;
    c.MaxTextureWidth = c.MaxTextureHeight = static_cast<Dword>(std::clamp(max_texture, 0, 16384));
    c.MaxAnisotropy = static_cast<Dword>(std::max(1.0f, max_aniso));
    c.MaxActiveLights = static_cast<Dword>(std::min(max_lights, 8));
    c.MaxUserClipPlanes = static_cast<Dword>(std::min(max_planes, 6));
    p.ok = max_texture > 0;
    SDL_GL_DeleteContext(ctx);
    SDL_DestroyWindow(w);
    return p;
}

class GlGraphicsSystem final : public GraphicsSystem {
  public:
    ~GlGraphicsSystem() override { SDL_QuitSubSystem(SDL_INIT_VIDEO); }

    Dword GetAdapterCount() override {
        const int n = SDL_GetNumVideoDisplays();
        return n > 0 ? static_cast<Dword>(n) : 0;
    }

    Status GetDeviceCaps(Dword adapter, std::int32_t device_type, Caps* caps) override {
        if (caps == nullptr || adapter >= GetAdapterCount() || device_type != DevTypeHal)
            return Status::InvalidCall;
        if (!probe().ok) return Status::NotAvailable;
        *caps = probe_.caps;
        caps->AdapterOrdinal = static_cast<std::int32_t>(adapter);
        return Status::Ok;
    }

    Dword GetAdapterModeCount(Dword adapter) override {
        if (adapter >= GetAdapterCount()) return 0;
        const int n = SDL_GetNumDisplayModes(static_cast<int>(adapter));
        return n > 0 ? static_cast<Dword>(n) : 0;
    }

    Status EnumAdapterModes(Dword adapter, Dword mode, DisplayModeInfo* info) override {
        if (info == nullptr || adapter >= GetAdapterCount()) return Status::InvalidCall;
        SDL_DisplayMode m{};
        if (SDL_GetDisplayMode(static_cast<int>(adapter), static_cast<int>(mode), &m) != 0)
            return Status::InvalidCall;
        *info = {m.w, m.h, m.refresh_rate, format_of(m.format)};
        return Status::Ok;
    }

    Status GetAdapterDisplayMode(Dword adapter, DisplayModeInfo* info) override {
        if (info == nullptr || adapter >= GetAdapterCount()) return Status::InvalidCall;
        SDL_DisplayMode m{};
        if (SDL_GetDesktopDisplayMode(static_cast<int>(adapter), &m) != 0) return Status::NotAvailable;
        *info = {m.w, m.h, m.refresh_rate, format_of(m.format)};
        return Status::Ok;
    }

    Status CheckDeviceMultiSampleType(Dword adapter, std::int32_t device_type, std::int32_t format, bool,
                                      std::int32_t samples) override {
        if (adapter >= GetAdapterCount() || device_type != DevTypeHal) return Status::InvalidCall;
        if (format != FmtX8R8G8B8 && format != FmtR5G6B5 && format != FmtA8R8G8B8 && format != FmtX1R5G5B5)
            return Status::NotAvailable;
        if (samples == 0) return Status::Ok;
        return probe().sample_counts.contains(samples) ? Status::Ok : Status::NotAvailable;
    }

    Status CheckDepthStencilMatch(Dword adapter, std::int32_t device_type, std::int32_t, std::int32_t,
                                  std::int32_t depth_stencil_format) override {
        if (adapter >= GetAdapterCount() || device_type != DevTypeHal) return Status::InvalidCall;
        // The window always has 24 depth and 8 stencil bits; D16 is that buffer with the stencil unused.
        return depth_stencil_format == FmtD24S8 || depth_stencil_format == FmtD16 ? Status::Ok
                                                                                  : Status::NotAvailable;
    }

    Status CreateDevice(Dword adapter, std::int32_t device_type, platform::WindowHandle focus_window, Dword,
                        PresentParameters* params, DevicePtr* device) override {
        if (params == nullptr || device == nullptr || adapter >= GetAdapterCount() ||
            device_type != DevTypeHal)
            return Status::InvalidCall;
        PresentParameters p = *params;
        if (p.hDeviceWindow == nullptr) p.hDeviceWindow = focus_window;
        if (p.EnableAutoDepthStencil && p.AutoDepthStencilFormat != FmtD24S8 &&
            p.AutoDepthStencilFormat != FmtD16)
            return Status::InvalidCall;
        if (p.MultiSampleType != 0 && !probe().sample_counts.contains(p.MultiSampleType))
            return Status::InvalidCall;
        Status status = Status::Ok;
        auto made = GlDevice::Create(p, probe().max_samples, &status);
        if (!made) return status;
        *device = std::move(made);
        return Status::Ok;
    }

  private:
    const Probe& probe() {
        if (!probe_.done) probe_ = probe_context();
        return probe_;
    }
    Probe probe_;
};

} // namespace

std::unique_ptr<GraphicsSystem> CreateGlGraphicsSystem() {
    if (!platform::StartSdlSubsystems(SDL_INIT_VIDEO)) return nullptr;
    return std::make_unique<GlGraphicsSystem>();
}

platform::WindowHandle CreateRenderWindow(const char* caption, int width, int height, bool hidden,
                                          std::string* error) {
    if (!platform::StartSdlSubsystems(SDL_INIT_VIDEO)) {
        if (error != nullptr) *error = SDL_GetError();
        return nullptr;
    }
    set_window_attributes();
    Uint32 flags = SDL_WINDOW_OPENGL;
    if (hidden) flags |= SDL_WINDOW_HIDDEN;
    SDL_Window* w =
        SDL_CreateWindow(caption, SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED, width, height, flags);
    // A display without OpenGL still gets its window: the program can then say, in its own words,
    // that there is no usable graphics card (no device can be made on it).
    if (w == nullptr) {
        w = SDL_CreateWindow(caption, SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED, width, height,
                             flags & ~static_cast<Uint32>(SDL_WINDOW_OPENGL));
    }
    if (w == nullptr) {
        if (error != nullptr) *error = std::string("cannot open a window: ") + SDL_GetError();
        SDL_QuitSubSystem(SDL_INIT_VIDEO);
    }
    return w;
}

void DestroyRenderWindow(platform::WindowHandle window) {
    if (window == nullptr) return;
    SDL_DestroyWindow(window);
    SDL_QuitSubSystem(SDL_INIT_VIDEO);
}

std::vector<std::uint32_t> ReadBackBuffer(Device& device, int x, int y, int width, int height) {
    auto* gl = dynamic_cast<GlDevice*>(&device);
    return gl ? gl->ReadPixels(x, y, width, height) : std::vector<std::uint32_t>{};
}

} // namespace kl::gfx

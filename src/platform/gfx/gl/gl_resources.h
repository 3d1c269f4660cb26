// Textures and buffers of the OpenGL back-end: a system-memory copy (what LockRect and Lock hand
// out) plus the GL object, made or refreshed when the device next uses it. A reset gives the
// device a new context; the generation number tells a resource its GL object went with the old one.
#pragma once

#include "platform/gfx/memory_resources.h"

#include <SDL_opengl.h>
#include <memory>

namespace kl::gfx {

// What the device shares with its resources: which context is current, so that a resource never
// deletes a name that belongs to a context already destroyed (the device bumps the generation when
// it destroys one).
struct GlContextInfo {
    unsigned generation = 1;
};

struct GlPixelFormat {
    GLint internal = 0;
    GLenum format = 0, type = 0;
};
// The GL upload format of a pixel format; internal 0 when there is none.
GlPixelFormat GlFormatOf(std::int32_t format);

struct SamplerState {
    Dword mag = 0, min = 0, mip = 0, address_u = 0, address_v = 0, anisotropy = 0;
    bool operator==(const SamplerState&) const = default;
};

class GlTexture final : public MemoryTexture {
  public:
    GlTexture(std::shared_ptr<GlContextInfo> context, Dword width, Dword height, Dword levels, Dword usage,
              std::int32_t format, std::int32_t pool);
    ~GlTexture() override;
    // Binds the texture to GL_TEXTURE_2D, uploading what changed; false when it cannot be used.
    // *bound is the device's record of the name bound now, so an unchanged texture costs no GL call.
    bool Bind(const SamplerState& sampler, GLuint* bound);

  protected:
    void LevelWritten(Dword level) override;

  private:
    std::shared_ptr<GlContextInfo> context_;
    unsigned generation_ = 0;
    GLuint name_ = 0;
    std::vector<bool> dirty_;
    bool any_dirty_ = true;
    SamplerState applied_;
    bool sampler_known_ = false;
};

// Binds a buffer's GL object to target, uploading what changed since the last use.
class GlBufferObject {
  public:
    explicit GlBufferObject(std::shared_ptr<GlContextInfo> context) : context_(std::move(context)) {}
    ~GlBufferObject();
    GlBufferObject(const GlBufferObject&) = delete;
    GlBufferObject& operator=(const GlBufferObject&) = delete;
    // *bound as for textures: the name the device has bound to target now.
    bool Bind(GLenum target, BufferStorage& storage, GLuint* bound);

  private:
    std::shared_ptr<GlContextInfo> context_;
    unsigned generation_ = 0;
    GLuint name_ = 0;
};

class GlVertexBuffer final : public MemoryVertexBuffer {
  public:
    GlVertexBuffer(std::shared_ptr<GlContextInfo> context, Dword length, Dword usage, Dword fvf_code,
                   std::int32_t pool)
        : MemoryVertexBuffer(length, usage, fvf_code, pool), object(std::move(context)) {}
    GlBufferObject object;
};

class GlIndexBuffer final : public MemoryIndexBuffer {
  public:
    GlIndexBuffer(std::shared_ptr<GlContextInfo> context, Dword length, Dword usage, std::int32_t format,
                  std::int32_t pool)
        : MemoryIndexBuffer(length, usage, format, pool), object(std::move(context)) {}
    GlBufferObject object;
};

} // namespace kl::gfx

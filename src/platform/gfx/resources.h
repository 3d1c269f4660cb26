// Textures and vertex/index buffers of the graphics platform. Callers hold them through shared
// pointers; the platform releases the underlying objects when the last holder lets go.
#pragma once

#include "platform/gfx/types.h"
#include "platform/status.h"

#include <cstdint>
#include <memory>

namespace kl::gfx {

using platform::Status;

class Texture {
  public:
    virtual ~Texture() = default;
    virtual Dword GetLevelCount() const = 0;
    virtual Status GetLevelDesc(Dword level, SurfaceDesc* desc) const = 0;
    // rect nullptr locks the whole level.
    virtual Status LockRect(Dword level, LockedRect* locked, const Rect* rect, Dword flags) = 0;
    virtual Status UnlockRect(Dword level) = 0;
};

class VertexBuffer {
  public:
    virtual ~VertexBuffer() = default;
    // size 0 with offset 0 locks the whole buffer.
    virtual Status Lock(Dword offset, Dword size, std::uint8_t** data, Dword flags) = 0;
    virtual Status Unlock() = 0;
    virtual Dword Length() const = 0;
    virtual Dword FVF() const = 0;
    virtual std::int32_t Pool() const = 0;
};

class IndexBuffer {
  public:
    virtual ~IndexBuffer() = default;
    virtual Status Lock(Dword offset, Dword size, std::uint8_t** data, Dword flags) = 0;
    virtual Status Unlock() = 0;
    virtual Dword Length() const = 0;
    virtual std::int32_t IndexFormat() const = 0;
    virtual std::int32_t Pool() const = 0;
};

using TexturePtr = std::shared_ptr<Texture>;
using VertexBufferPtr = std::shared_ptr<VertexBuffer>;
using IndexBufferPtr = std::shared_ptr<IndexBuffer>;

} // namespace kl::gfx

// Textures and buffers whose contents live in system memory. The recording back-end uses them as
// they are; the OpenGL back-end keeps its GL objects beside them, and that copy is what brings
// managed resources back after a reset.
#pragma once

#include "platform/gfx/resources.h"

#include <functional>
#include <vector>

namespace kl::gfx {

// Called before every lock; a failing status refuses the lock (tests inject failures through it).
using LockGate = std::function<Status()>;

// Levels of a full mip chain down to 1x1.
Dword FullChainLevels(Dword width, Dword height);

class MemoryTexture : public Texture {
  public:
    MemoryTexture(Dword width, Dword height, Dword levels, Dword usage, std::int32_t format,
                  std::int32_t pool);

    Dword GetLevelCount() const override { return static_cast<Dword>(levels_.size()); }
    Status GetLevelDesc(Dword level, SurfaceDesc* desc) const override;
    Status LockRect(Dword level, LockedRect* locked, const Rect* rect, Dword flags) override;
    Status UnlockRect(Dword level) override;

    Dword Width(Dword level) const { return levels_[level].width; }
    Dword Height(Dword level) const { return levels_[level].height; }
    Dword Pitch(Dword level) const {
        return levels_[level].width * static_cast<Dword>(BytesPerPixel(format_));
    }
    const std::uint8_t* Bits(Dword level) const { return levels_[level].bytes.data(); }
    std::int32_t Format() const { return format_; }
    std::int32_t PoolKind() const { return pool_; }
    // Every texel of every level is opaque white, so the texture samples as no texture does. Worked
    // out again after a written level is unlocked; false while a level is locked for writing.
    bool OpaqueWhite() const;
    // A default-pool texture does not survive a reset: it refuses every lock afterwards.
    void MarkLost() { lost_ = true; }
    bool Lost() const { return lost_; }

    LockGate lock_gate;

  protected:
    // A level whose lock has ended and may have been written.
    virtual void LevelWritten(Dword /*level*/) {}

  private:
    struct Level {
        Dword width = 0, height = 0;
        std::vector<std::uint8_t> bytes;
        bool locked = false;
        bool read_only = false;
    };
    std::vector<Level> levels_;
    Dword usage_;
    std::int32_t format_;
    std::int32_t pool_;
    bool lost_ = false;
    // OpaqueWhite's answer: -1 not yet worked out since the last write.
    mutable int opaque_white_ = -1;
};

// Bytes of a vertex or index buffer with the platform's lock rules.
class BufferStorage {
  public:
    explicit BufferStorage(Dword length) : bytes_(length) {}
    Status Lock(Dword offset, Dword size, std::uint8_t** data, Dword flags);
    // Ok with written true when the lock that ended may have changed bytes.
    Status Unlock(bool* written);
    Dword Length() const { return static_cast<Dword>(bytes_.size()); }
    const std::uint8_t* Data() const { return bytes_.data(); }
    // Byte range written since the last call; empty when nothing was.
    std::pair<Dword, Dword> TakeDirtyRange();
    bool lost = false;
    LockGate lock_gate;

  private:
    std::vector<std::uint8_t> bytes_;
    int lock_count_ = 0;
    bool writing_ = false;
    Dword dirty_begin_ = 0, dirty_end_ = 0;
};

class MemoryVertexBuffer : public VertexBuffer {
  public:
    MemoryVertexBuffer(Dword length, Dword usage, Dword fvf_code, std::int32_t pool)
        : storage(length), usage_(usage), fvf_(fvf_code), pool_(pool) {}
    Status Lock(Dword offset, Dword size, std::uint8_t** data, Dword flags) override {
        return storage.Lock(offset, size, data, flags);
    }
    Status Unlock() override {
        bool written = false;
        return storage.Unlock(&written);
    }
    Dword Length() const override { return storage.Length(); }
    Dword FVF() const override { return fvf_; }
    std::int32_t Pool() const override { return pool_; }
    Dword Usage() const { return usage_; }
    BufferStorage storage;

  private:
    Dword usage_;
    Dword fvf_;
    std::int32_t pool_;
};

class MemoryIndexBuffer : public IndexBuffer {
  public:
    MemoryIndexBuffer(Dword length, Dword usage, std::int32_t format, std::int32_t pool)
        : storage(length), usage_(usage), format_(format), pool_(pool) {}
    Status Lock(Dword offset, Dword size, std::uint8_t** data, Dword flags) override {
        return storage.Lock(offset, size, data, flags);
    }
    Status Unlock() override {
        bool written = false;
        return storage.Unlock(&written);
    }
    Dword Length() const override { return storage.Length(); }
    std::int32_t IndexFormat() const override { return format_; }
    std::int32_t Pool() const override { return pool_; }
    Dword Usage() const { return usage_; }
    BufferStorage storage;

  private:
    Dword usage_;
    std::int32_t format_;
    std::int32_t pool_;
};

} // namespace kl::gfx

// Lock rules of textures and buffers kept in system memory.
#include "platform/gfx/memory_resources.h"

#include <algorithm>

namespace kl::gfx {

using platform::Status;

Dword FullChainLevels(Dword width, Dword height) {
    Dword levels = 1;
    Dword size = std::max(width, height);
    while (size > 1) {
        size /= 2;
        ++levels;
    }
    return levels;
}

MemoryTexture::MemoryTexture(Dword width, Dword height, Dword levels, Dword usage, std::int32_t format,
                             std::int32_t pool)
    : usage_(usage), format_(format), pool_(pool) {
    const Dword full = FullChainLevels(width, height);
    const Dword count = (levels == 0 || levels > full) ? full : levels;
    levels_.resize(count);
    const auto bpp = static_cast<std::size_t>(BytesPerPixel(format));
    for (Dword i = 0; i < count; ++i) {
        Level& l = levels_[i];
        l.width = std::max<Dword>(1, width >> i);
        l.height = std::max<Dword>(1, height >> i);
        l.bytes.assign(std::size_t{l.width} * l.height * bpp, 0);
    }
}

Status MemoryTexture::GetLevelDesc(Dword level, SurfaceDesc* desc) const {
    if (desc == nullptr || level >= levels_.size()) return Status::InvalidCall;
    const Level& l = levels_[level];
    *desc = SurfaceDesc{format_, usage_, pool_, static_cast<Dword>(l.bytes.size()), l.width, l.height};
    return Status::Ok;
}

Status MemoryTexture::LockRect(Dword level, LockedRect* locked, const Rect* rect, Dword flags) {
    if (locked == nullptr || level >= levels_.size()) return Status::InvalidCall;
    Level& l = levels_[level];
    if (l.locked) return Status::InvalidCall;
    if (lost_) return Status::DeviceLost;
    if (lock_gate) {
        if (const Status s = lock_gate(); s != Status::Ok) return s;
    }
    std::size_t offset = 0;
    const std::size_t pitch = Pitch(level);
    if (rect != nullptr) {
        if (rect->left < 0 || rect->top < 0 || rect->left >= rect->right || rect->top >= rect->bottom ||
            static_cast<Dword>(rect->right) > l.width || static_cast<Dword>(rect->bottom) > l.height)
            return Status::InvalidCall;
        offset = static_cast<std::size_t>(rect->top) * pitch +
                 static_cast<std::size_t>(rect->left) * static_cast<std::size_t>(BytesPerPixel(format_));
    }
    l.locked = true;
    l.read_only = (flags & LockReadOnly) != 0;
    if (!l.read_only) opaque_white_ = -1;
    locked->Pitch = static_cast<std::int32_t>(pitch);
    locked->pBits = l.bytes.data() + offset;
    return Status::Ok;
}

Status MemoryTexture::UnlockRect(Dword level) {
    if (level >= levels_.size() || !levels_[level].locked) return Status::InvalidCall;
    levels_[level].locked = false;
    if (!levels_[level].read_only) {
        opaque_white_ = -1;
        LevelWritten(level);
    }
    return Status::Ok;
}

namespace {

// The bits that read as colour (and alpha, where the format has it) in a texel of the format; 0 for
// formats that never count as white.
std::uint32_t white_bits(std::int32_t format) {
    switch (format) {
    case FmtA8R8G8B8:
        return 0xFFFFFFFFu;
    case FmtX8R8G8B8:
    case FmtR8G8B8:
        return 0x00FFFFFFu;
    case FmtR5G6B5:
    case FmtA1R5G5B5:
    case FmtA4R4G4B4:
        return 0xFFFFu;
    case FmtX1R5G5B5:
        return 0x7FFFu;
    case FmtX4R4G4B4:
        return 0x0FFFu;
    case FmtR3G3B2:
        return 0xFFu;
    default:
        return 0;
    }
}

} // namespace

bool MemoryTexture::OpaqueWhite() const {
    if (opaque_white_ >= 0) return opaque_white_ == 1;
    const std::uint32_t mask = white_bits(format_);
    // Not remembered: the answer may change before the unlock.
    for (const Level& l : levels_)
        if (l.locked && !l.read_only) return false;
    bool white = mask != 0 && !levels_.empty();
    const auto bpp = static_cast<std::size_t>(BytesPerPixel(format_));
    for (std::size_t i = 0; white && i < levels_.size(); ++i) {
        const std::vector<std::uint8_t>& bytes = levels_[i].bytes;
        for (std::size_t at = 0; white && at + bpp <= bytes.size(); at += bpp) {
            std::uint32_t texel = 0;
            for (std::size_t b = 0; b < bpp; ++b)
                texel |= std::uint32_t{bytes[at + b]} << (8 * b);
            white = (texel & mask) == mask;
        }
    }
    opaque_white_ = white ? 1 : 0;
    return white;
}

Status BufferStorage::Lock(Dword offset, Dword size, std::uint8_t** data, Dword flags) {
    if (data == nullptr) return Status::InvalidCall;
    if (lost) return Status::DeviceLost;
    if (offset == 0 && size == 0) size = Length();
    if (offset > Length() || size > Length() - offset) return Status::InvalidCall;
    if (lock_gate) {
        if (const Status s = lock_gate(); s != Status::Ok) return s;
    }
    ++lock_count_;
    if ((flags & LockReadOnly) == 0 && size > 0) {
        if (!writing_ && dirty_begin_ == dirty_end_) {
            dirty_begin_ = offset;
            dirty_end_ = offset + size;
        } else {
            dirty_begin_ = std::min(dirty_begin_, offset);
            dirty_end_ = std::max(dirty_end_, offset + size);
        }
        writing_ = true;
    }
    *data = bytes_.data() + offset;
    return Status::Ok;
}

Status BufferStorage::Unlock(bool* written) {
    if (lock_count_ == 0) return Status::InvalidCall;
    --lock_count_;
    *written = lock_count_ == 0 && writing_;
    if (lock_count_ == 0) writing_ = false;
    return Status::Ok;
}

std::pair<Dword, Dword> BufferStorage::TakeDirtyRange() {
    const std::pair<Dword, Dword> range{dirty_begin_, dirty_end_};
    if (!writing_) dirty_begin_ = dirty_end_ = 0;
    return range;
}

} // namespace kl::gfx

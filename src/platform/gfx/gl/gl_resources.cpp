// Uploading textures and buffers to OpenGL from their system-memory copies.
#include "platform/gfx/gl/gl_resources.h"

#include <algorithm>

namespace kl::gfx {

namespace {

bool same_context(const std::shared_ptr<GlContextInfo>& info, unsigned generation) {
    return info && info->generation == generation;
}

GLint gl_filter(Dword filter) {
    return filter == TexfPoint ? GL_NEAREST : GL_LINEAR;
}

GLint gl_min_filter(Dword min, Dword mip) {
    const bool linear = min != TexfPoint;
    switch (mip) {
    case TexfPoint:
        return linear ? GL_LINEAR_MIPMAP_NEAREST : GL_NEAREST_MIPMAP_NEAREST;
    case TexfLinear:
    case TexfAnisotropic:
        return linear ? GL_LINEAR_MIPMAP_LINEAR : GL_NEAREST_MIPMAP_LINEAR;
    default:
        return linear ? GL_LINEAR : GL_NEAREST;
    }
}

GLint gl_address(Dword mode) {
    switch (mode) {
    case TaddressMirror:
        return GL_MIRRORED_REPEAT;
    case TaddressClamp:
        return GL_CLAMP_TO_EDGE;
    case TaddressBorder:
        return GL_CLAMP_TO_BORDER;
    default:
        return GL_REPEAT;
    }
}

} // namespace

GlPixelFormat GlFormatOf(std::int32_t format) {
    switch (format) {
    case FmtA8R8G8B8:
        return {GL_RGBA8, GL_BGRA, GL_UNSIGNED_BYTE};
    case FmtX8R8G8B8:
        return {GL_RGB8, GL_BGRA, GL_UNSIGNED_BYTE};
    case FmtR8G8B8:
        return {GL_RGB8, GL_BGR, GL_UNSIGNED_BYTE};
    case FmtR5G6B5:
        return {GL_RGB8, GL_RGB, GL_UNSIGNED_SHORT_5_6_5};
    case FmtX1R5G5B5:
        return {GL_RGB8, GL_BGRA, GL_UNSIGNED_SHORT_1_5_5_5_REV};
    case FmtA1R5G5B5:
        return {GL_RGBA8, GL_BGRA, GL_UNSIGNED_SHORT_1_5_5_5_REV};
    case FmtA4R4G4B4:
        return {GL_RGBA8, GL_BGRA, GL_UNSIGNED_SHORT_4_4_4_4_REV};
    case FmtX4R4G4B4:
        return {GL_RGB8, GL_BGRA, GL_UNSIGNED_SHORT_4_4_4_4_REV};
    case FmtR3G3B2:
        return {GL_RGB8, GL_RGB, GL_UNSIGNED_BYTE_2_3_3_REV};
    case FmtA8:
        return {GL_ALPHA8, GL_ALPHA, GL_UNSIGNED_BYTE};
    default:
        return {};
    }
}

GlTexture::GlTexture(std::shared_ptr<GlContextInfo> context, Dword width, Dword height, Dword levels,
                     Dword usage, std::int32_t format, std::int32_t pool)
    : MemoryTexture(width, height, levels, usage, format, pool), context_(std::move(context)),
      dirty_(GetLevelCount(), true) {}

GlTexture::~GlTexture() {
    if (name_ != 0 && same_context(context_, generation_)) glDeleteTextures(1, &name_);
}

void GlTexture::LevelWritten(Dword level) {
    dirty_[level] = true;
    any_dirty_ = true;
}

bool GlTexture::Bind(const SamplerState& sampler, GLuint* bound) {
    if (Lost()) return false;
    const bool current = name_ != 0 && generation_ == context_->generation;
    if (current && !any_dirty_ && sampler_known_ && applied_ == sampler) {
        if (*bound != name_) {
            glBindTexture(GL_TEXTURE_2D, name_);
            *bound = name_;
        }
        return true;
    }
    const GlPixelFormat f = GlFormatOf(Format());
    if (!current) {
        // The old name, if any, died with its context.
        glGenTextures(1, &name_);
        generation_ = context_->generation;
        std::fill(dirty_.begin(), dirty_.end(), true);
        sampler_known_ = false;
        glBindTexture(GL_TEXTURE_2D, name_);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_BASE_LEVEL, 0);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, static_cast<GLint>(GetLevelCount()) - 1);
        for (Dword i = 0; i < GetLevelCount(); ++i) {
            glTexImage2D(GL_TEXTURE_2D, static_cast<GLint>(i), f.internal, static_cast<GLsizei>(Width(i)),
                         static_cast<GLsizei>(Height(i)), 0, f.format, f.type, Bits(i));
            dirty_[i] = false;
        }
    } else {
        glBindTexture(GL_TEXTURE_2D, name_);
        for (Dword i = 0; i < GetLevelCount(); ++i) {
            if (!dirty_[i]) continue;
            glTexSubImage2D(GL_TEXTURE_2D, static_cast<GLint>(i), 0, 0, static_cast<GLsizei>(Width(i)),
                            static_cast<GLsizei>(Height(i)), f.format, f.type, Bits(i));
            dirty_[i] = false;
        }
    }
    any_dirty_ = false;
    *bound = name_;
    if (!sampler_known_ || !(applied_ == sampler)) {
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, gl_filter(sampler.mag));
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER,
                        gl_min_filter(sampler.min, GetLevelCount() > 1 ? sampler.mip : TexfNone));
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, gl_address(sampler.address_u));
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, gl_address(sampler.address_v));
        glTexParameterf(GL_TEXTURE_2D, GL_TEXTURE_MAX_ANISOTROPY_EXT,
                        static_cast<float>(std::max<Dword>(1, sampler.anisotropy)));
        applied_ = sampler;
        sampler_known_ = true;
    }
    return true;
}

GlBufferObject::~GlBufferObject() {
    if (name_ != 0 && same_context(context_, generation_)) glDeleteBuffers(1, &name_);
}

bool GlBufferObject::Bind(GLenum target, BufferStorage& storage, GLuint* bound) {
    if (storage.lost) return false;
    if (name_ == 0 || generation_ != context_->generation) {
        glGenBuffers(1, &name_);
        generation_ = context_->generation;
        glBindBuffer(target, name_);
        *bound = name_;
        glBufferData(target, storage.Length(), storage.Data(), GL_STATIC_DRAW);
        storage.TakeDirtyRange();
        return true;
    }
    if (*bound != name_) {
        glBindBuffer(target, name_);
        *bound = name_;
    }
    const auto [begin, end] = storage.TakeDirtyRange();
    if (end > begin) glBufferSubData(target, begin, end - begin, storage.Data() + begin);
    return true;
}

} // namespace kl::gfx

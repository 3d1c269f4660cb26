// An engine-managed texture with pixel editing and its own store and restore around a device reset.
#include "overlay/cls2d_texture.h"

#include "engine/cls3d_engine.h"
#include "engine/mdl_main.h"
#include "fault/fault.h"

#include <cmath>
#include <cstring>

namespace kl {

using gfx::Dword;
using platform::Failed;

namespace {

constexpr int kBytesPerPixel = 4;

} // namespace

cls2dTexture::cls2dTexture() {
    if (cls3dEngine* engine = CurrentEngine()) engine->RegisterObject(this, ObjTypeTexture);
}

cls2dTexture::~cls2dTexture() {
    Cleanup();
    try {
        if (cls3dEngine* engine = CurrentEngine()) engine->UnregisterObject(this);
    } catch (const Fault&) {
        // The entry is gone already; only unbinding the texture failed.
    }
}

void cls2dTexture::Cleanup() {
    EditEnd();
    Tex.reset();
}

bool cls2dTexture::LoadFromFile(const std::string& File, PackedColor nColorKey, std::int32_t nMipLevels,
                                bool EnableEdit) {
    Cleanup();
    Tex = mdlMain::TextureFromFile(File, nColorKey, nMipLevels, EnableEdit);
    if (!Tex) return false;
    gfx::SurfaceDesc desc;
    if (Failed(Tex->GetLevelDesc(0, &desc))) return false;
    Desc = desc;
    ColorKey = nColorKey;
    MipSetting = nMipLevels;
    AlphaEdited = false;
    return true;
}

bool cls2dTexture::LoadForEdit(std::int32_t X, std::int32_t y) {
    Cleanup();
    gfx::Device* device = CurrentDevice();
    if (device == nullptr || X < 1 || y < 1) return false;
    if (Failed(device->CreateTexture(static_cast<Dword>(X), static_cast<Dword>(y), 1, 0, gfx::FmtA8R8G8B8,
                                     gfx::PoolManaged, &Tex)))
        return false;
    gfx::SurfaceDesc desc;
    if (Failed(Tex->GetLevelDesc(0, &desc))) return false;
    Desc = desc;
    ColorKey = 0;
    MipSetting = 1;
    AlphaEdited = false;
    return true;
}

bool cls2dTexture::EditStart() {
    if (MipSetting != 1 || LockedBits != nullptr || Desc.Format != gfx::FmtA8R8G8B8 || !Tex) return false;
    gfx::LockedRect locked;
    if (Failed(Tex->LockRect(0, &locked, nullptr, 0))) return false;
    if (locked.pBits == nullptr) {
        IgnoreStatus(Tex->UnlockRect(0), "the edit is refused either way");
        return false;
    }
    LockedPitch = locked.Pitch;
    LockedBits = static_cast<std::uint8_t*>(locked.pBits);
    return true;
}

void cls2dTexture::Edit(const Vec2& Pos, std::int32_t a, std::int32_t r, std::int32_t g, std::int32_t b) {
    if (LockedBits == nullptr) return;
    const auto width = static_cast<double>(Desc.Width), height = static_cast<double>(Desc.Height);
    // Written so that NaN coordinates fail the test too.
    if (!(Pos.x >= 0 && Pos.x < width && Pos.y >= 0 && Pos.y < height)) return;

    // The byte address is worked out in floating point and rounded half to even, so whole-number
    // coordinates land on their pixel and fractional ones on a byte between pixels. The lock's base
    // address is even, so rounding the offset alone gives the same result as rounding the address.
    const double offset = std::nearbyint(static_cast<double>(Pos.y) * LockedPitch +
                                         static_cast<double>(Pos.x) * kBytesPerPixel);
    // A fractional position in the last pixel of the last row would reach past the level's end.
    const double level_end = static_cast<double>(LockedPitch) * (height - 1) + width * kBytesPerPixel;
    if (offset + kBytesPerPixel > level_end) return;
    std::uint8_t* pixel = LockedBits + static_cast<std::size_t>(offset);

    const std::int32_t channels[4] = {b, g, r, a};
    for (int i = 0; i < 4; ++i) {
        const std::int32_t v = channels[i];
        if (v == -1) continue;
        if (v < 0 || v > 255) return;
        pixel[i] = static_cast<std::uint8_t>(v);
        if (i == 3) AlphaEdited = true;
    }
}

void cls2dTexture::EditEnd() {
    if (!Tex) return;
    IgnoreStatus(Tex->UnlockRect(0), "fails harmlessly when not locked");
    LockedBits = nullptr;
}

// Called a second time after a reset that failed half way, the texture is gone and the copies
// taken the first time are kept.
void cls2dTexture::StoreData() {
    if (!Tex) return;
    const Dword n = Tex->GetLevelCount();
    EditEnd();
    SavedLevels.assign(n, {});
    for (Dword i = 0; i < n; ++i) {
        gfx::SurfaceDesc desc;
        if (Failed(Tex->GetLevelDesc(i, &desc))) return;
        gfx::LockedRect locked;
        if (Failed(Tex->LockRect(i, &locked, nullptr, gfx::LockReadOnly))) return;
        const auto* bits = static_cast<const std::uint8_t*>(locked.pBits);
        if (bits != nullptr) SavedLevels[i].assign(bits, bits + desc.Size);
        IgnoreStatus(Tex->UnlockRect(i), "the copy is taken; the texture goes with the reset");
    }
}

// Nothing stored means no texture to bring back: a failed load must not reappear after a reset
// with the size of an earlier image.
void cls2dTexture::ReStoreData() {
    gfx::Device* device = CurrentDevice();
    if (SavedLevels.empty() || device == nullptr) return;
    gfx::TexturePtr fresh;
    if (Failed(device->CreateTexture(Desc.Width, Desc.Height, static_cast<Dword>(MipSetting), 0, Desc.Format,
                                     gfx::PoolManaged, &fresh)))
        return;
    Tex = fresh;
    const Dword n = Tex->GetLevelCount();
    for (Dword i = 0; i < n; ++i) {
        gfx::SurfaceDesc desc;
        if (i >= SavedLevels.size() || Failed(Tex->GetLevelDesc(i, &desc))) return;
        const std::vector<std::uint8_t>& saved = SavedLevels[i];
        if (saved.size() < desc.Size) return;
        gfx::LockedRect locked;
        if (Failed(Tex->LockRect(i, &locked, nullptr, 0))) return;
        if (locked.pBits != nullptr) std::memcpy(locked.pBits, saved.data(), desc.Size);
        if (Failed(Tex->UnlockRect(i))) return;
    }
    SavedLevels.clear();
}

} // namespace kl

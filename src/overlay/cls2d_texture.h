// An engine-managed texture: loaded from an image file or made empty, edited pixel by pixel while
// its top level is locked, and carried across a device reset by copying every level into memory.
#pragma once

#include "engine/engine_resource.h"
#include "engine/records.h"
#include "platform/gfx/resources.h"

#include <cstdint>
#include <string>
#include <vector>

namespace kl {

class cls2dTexture final : public EngineResource {
  public:
    // Registers with the current engine (type code 0).
    cls2dTexture();
    // Cleanup, then leaves the registry.
    ~cls2dTexture() override;

    // Ends editing and releases the texture; flags and settings stay.
    void Cleanup() override;
    bool LoadFromFile(const std::string& File, PackedColor ColorKey, std::int32_t nMipLevels,
                      bool EnableEdit);
    // An empty single-level A8R8G8B8 texture of X x y pixels.
    bool LoadForEdit(std::int32_t X, std::int32_t y);

    // Only for a single-level A8R8G8B8 texture not already being edited.
    bool EditStart();
    // Channels of -1 are left alone; values outside 0..255 stop the write at that channel, the
    // ones before it (blue, green, red, alpha in this order) staying written.
    void Edit(const Vec2& Pos, std::int32_t a, std::int32_t r, std::int32_t g, std::int32_t b);
    void EditEnd();

    void StoreData() override;
    void ReStoreData() override;

    // For the classes drawing with it.
    const gfx::TexturePtr& GetTexture() const { return Tex; }
    PackedColor GetColorKey() const { return ColorKey; }
    bool GetAlphaEdited() const { return AlphaEdited; }
    bool Editing() const { return LockedBits != nullptr; }

  private:
    gfx::TexturePtr Tex;
    PackedColor ColorKey = 0;
    std::int32_t MipSetting = 0;
    bool AlphaEdited = false;
    std::int32_t LockedPitch = 0;
    std::uint8_t* LockedBits = nullptr;
    gfx::SurfaceDesc Desc;
    std::vector<std::vector<std::uint8_t>> SavedLevels;
};

} // namespace kl

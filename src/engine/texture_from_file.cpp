// Textures from image files on the current engine's device.
#include "engine/texture_from_file.h"

#include "engine/cls3d_engine.h"
#include "platform/d3dx/texture_from_file.h"

namespace kl::mdlMain {

gfx::TexturePtr TextureFromFile(const std::string& File, PackedColor ColorKey, std::int32_t MipLevels,
                                bool EnableEdit) {
    gfx::Device* device = CurrentDevice();
    // A negative count has no meaning as a number of levels.
    if (device == nullptr || MipLevels < 0) return nullptr;
    gfx::TexturePtr texture;
    if (platform::Failed(d3dx::TextureFromFile(*device, File, ColorKey, static_cast<std::uint32_t>(MipLevels),
                                               EnableEdit, &texture)))
        return nullptr;
    return texture;
}

} // namespace kl::mdlMain

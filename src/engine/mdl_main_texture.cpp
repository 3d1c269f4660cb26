// Textures from image files on the current engine's device, for the scene and the overlay classes.
#include "engine/cls3d_engine.h"
#include "engine/mdl_main.h"
#include "platform/d3dx/texture_from_file.h"

namespace kl::mdlMain {

gfx::TexturePtr TextureFromFile(const std::string& File, PackedColor ColorKey, std::int32_t MipLevels,
                                bool EnableEdit) {
    gfx::Device* device = CurrentDevice();
    if (device == nullptr) return nullptr;
    // A negative count reaches the platform as a huge one, which asks for the full chain.
    gfx::TexturePtr texture;
    if (platform::Failed(d3dx::TextureFromFile(*device, File, ColorKey, static_cast<std::uint32_t>(MipLevels),
                                               EnableEdit, &texture)))
        return nullptr;
    return texture;
}

} // namespace kl::mdlMain

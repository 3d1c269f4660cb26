// The scene texture table's storage.
#include "resources/scene_textures.h"

namespace kl::mdlKl {

std::array<gfx::TexturePtr, kTextureSlots> Textures;
std::array<std::string, kTextureSlots> TextureNames;

void ClearSceneTextures() {
    for (auto& t : Textures)
        t.reset();
    for (auto& n : TextureNames)
        n.clear();
}

} // namespace kl::mdlKl

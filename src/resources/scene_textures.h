// The scene texture table: the scene set-up fills it before loading any mesh, and mesh objects look
// their materials' texture names up in it and draw with the textures it holds.
#pragma once

#include "platform/gfx/resources.h"

#include <array>
#include <string>

namespace kl::mdlKl {

constexpr int kTextureSlots = 256;

// Slot j's texture (none for an empty slot) and its file name (empty for an empty slot).
extern std::array<gfx::TexturePtr, kTextureSlots> Textures;
extern std::array<std::string, kTextureSlots> TextureNames;

// Every slot empty: no texture, empty name.
void ClearSceneTextures();

} // namespace kl::mdlKl

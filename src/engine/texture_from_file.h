// Textures from image files on the current engine's device, for the engine's own classes.
#pragma once

#include "engine/records.h"
#include "platform/gfx/resources.h"

#include <cstdint>
#include <string>

namespace kl::mdlMain {

// A managed texture of the file's size: A8R8G8B8 when EnableEdit, else A1R5G5B5 with a colour key,
// else R5G6B5; MipLevels 0 asks for the full chain. None on any failure, without a report.
gfx::TexturePtr TextureFromFile(const std::string& File, PackedColor ColorKey, std::int32_t MipLevels,
                                bool EnableEdit);

} // namespace kl::mdlMain

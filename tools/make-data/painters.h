// The texture painters: each returns a finished picture; sizes are powers of two.
#pragma once

#include "image.h"

namespace kl::data {

// 1024 x 512: a full turn of sky around, zenith in the top row, horizon haze in the bottom rows.
Image paint_sky();
// 256 x 256: paving slabs covering kGroundTileSize square.
Image paint_ground();
// 512 x 512: asphalt with kerbs, edge lines and dashed lane lines, kRoadWidth across and
// kRoadTileLength along.
Image paint_road();
// 16 x 16 plain white.
Image paint_white();

enum class FacadeRole { Upper, Ground, Side };
// Within each group the textures take the three roles in turn: 1 upper, 2 ground, 3 side, 4 upper...
FacadeRole facade_role(int index);
// 256 x 256, one style per group (1 to 7); the index varies colours and details within the group.
Image paint_facade(int group, int index);

} // namespace kl::data

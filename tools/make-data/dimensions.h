// Physical sizes shared by the texture painters and the mesh builders, so that a facade texture
// painted for a 3 m storey lands on a 3 m storey of the building, and the lane markings of the
// road texture lie under the lanes the traffic drives in. One unit is one metre.
#pragma once

namespace kl::data {

// Facade tiles: an upper tile shows two bays of two storeys, a ground tile two bays of the shop
// floor, a side tile two storeys of a mostly blind end wall.
constexpr float kStoreyHeight = 3.0f;
constexpr float kGroundStoreyHeight = 4.0f;
constexpr float kBayWidth = 3.5f;
constexpr float kUpperTileWidth = 2 * kBayWidth;
constexpr float kUpperTileHeight = 2 * kStoreyHeight;
constexpr float kGroundTileWidth = 2 * kBayWidth;
constexpr float kGroundTileHeight = kGroundStoreyHeight;
constexpr float kSideTileWidth = 5.0f;
constexpr float kSideTileHeight = 2 * kStoreyHeight;

// Building block: footprint x 0..10 (across the road), z 0..25 (along it).
constexpr float kBuildingDepth = 10.0f;
constexpr float kBuildingLength = 25.0f;

// Road strip: the texture spans the strip's width once and repeats along it. The scene puts a
// strip's origin 2.15 m left of the centre of its first lane; lanes are 4 m wide.
constexpr float kRoadWidth = 14.0f;
constexpr float kRoadTileLength = 12.0f; // one dash and one gap of the lane lines
constexpr float kFirstLaneCentre = 2.15f;
constexpr float kLaneWidth = 4.0f;
constexpr int kLanes = 3;
constexpr float kRoadThickness = 0.1f; // the strip lies 0.1 above the ground

// Ground pavement: one texture repeat covers 4 m x 4 m.
constexpr float kGroundTileSize = 4.0f;

} // namespace kl::data

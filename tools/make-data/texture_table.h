// The names of the scene's texture slots, in slot order: the meshes refer to their textures by
// exactly these names, so the generator writes a file for each and uses no other.
#pragma once

#include <array>
#include <string>
#include <vector>

namespace kl::data {

constexpr int kFacadeGroups = 7;
// Textures per facade group "3c-01" ... "3c-07".
constexpr std::array<int, kFacadeGroups> kFacadeGroupSizes = {17, 17, 15, 17, 14, 14, 20};

constexpr const char* kSkyTexture = "sky001.bmp";
constexpr const char* kGroundTexture = "0001.bmp";
constexpr const char* kRoadTexture = "33063001.jpg";
constexpr const char* kWhiteTexture = "white.bmp";

// "3c-GG-KK.jpg" with group and index from 1, both written with two digits.
std::string facade_texture_name(int group, int index);

// All 118 names: sky, ground, the seven facade groups, road, white.
std::vector<std::string> scene_texture_names();

} // namespace kl::data

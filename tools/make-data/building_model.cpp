// The one building block that the scene repeats 400 times. All copies share this mesh, so the
// variety lives inside it: four terraced houses of different heights and styles side by side, and
// different styles on the two long sides, because the left-hand rows show the street their +x
// side and the right-hand rows their -x side.
#include "dimensions.h"
#include "models.h"
#include "texture_table.h"

#include <array>
#include <cmath>

namespace kl::data {

namespace {

struct House {
    float z0, z1;
    int upper_storeys;
    int street_group; // +x side
    int back_group;   // -x side
};

constexpr std::array<House, 4> kHouses = {{
    {0.0f, 7.0f, 4, 1, 4},
    {7.0f, 14.0f, 6, 2, 5},
    {14.0f, 19.5f, 3, 3, 6},
    {19.5f, 25.0f, 5, 7, 3},
}};

constexpr float kParapet = 0.6f;

// Dark edge colour of each style's parapet.
MeshMaterial parapet_of(int group) {
    static constexpr std::array<std::array<float, 3>, 7> kColours = {{{0.42f, 0.22f, 0.17f},
                                                                      {0.20f, 0.22f, 0.25f},
                                                                      {0.70f, 0.60f, 0.42f},
                                                                      {0.48f, 0.48f, 0.46f},
                                                                      {0.58f, 0.50f, 0.36f},
                                                                      {0.85f, 0.84f, 0.80f},
                                                                      {0.25f, 0.16f, 0.13f}}};
    const auto& c = kColours[static_cast<std::size_t>(group - 1)];
    return plain_material(c[0], c[1], c[2]);
}

// Texture indices inside a group: the street sides use 1, 2, 3 and the backs 4, 5, 6, so a style
// seen on both sides shows two colourings.
struct FacadeSet {
    std::string upper, ground, side;
};
FacadeSet facade_set(int group, bool back) {
    const int first = back ? 4 : 1;
    return {facade_texture_name(group, first), facade_texture_name(group, first + 1),
            facade_texture_name(group, first + 2)};
}

// One long wall of a house at x = x, facing dir (+1 or -1): shop floor, upper floors, parapet.
void long_wall(MeshBuilder& b, const House& h, float x, float dir, const FacadeSet& f,
               std::uint32_t parapet) {
    const float top = kGroundStoreyHeight + kStoreyHeight * static_cast<float>(h.upper_storeys);
    const float tiles = std::max(1.0f, std::round((h.z1 - h.z0) / kUpperTileWidth));
    // Seen from outside, left is -z on the +x side and +z on the -x side.
    const float zl = dir > 0 ? h.z0 : h.z1, zr = dir > 0 ? h.z1 : h.z0;
    const Vec3 out{dir, 0, 0};
    b.quad({x, kGroundStoreyHeight, zl}, {x, kGroundStoreyHeight, zr}, {x, 0, zr}, {x, 0, zl}, out,
           b.material(textured_material(f.ground)), {tiles, 1});
    b.quad({x, top, zl}, {x, top, zr}, {x, kGroundStoreyHeight, zr}, {x, kGroundStoreyHeight, zl}, out,
           b.material(textured_material(f.upper)), {tiles, static_cast<float>(h.upper_storeys) / 2});
    b.quad({x, top + kParapet, zl}, {x, top + kParapet, zr}, {x, top, zr}, {x, top, zl}, out, parapet);
}

// End wall at z = z facing dir along z.
void end_wall(MeshBuilder& b, const House& h, float z, float dir, const FacadeSet& f, std::uint32_t parapet) {
    const float top = kGroundStoreyHeight + kStoreyHeight * static_cast<float>(h.upper_storeys);
    const float xl = dir > 0 ? kBuildingDepth : 0, xr = dir > 0 ? 0 : kBuildingDepth;
    const Vec3 out{0, 0, dir};
    b.quad({xl, top, z}, {xr, top, z}, {xr, 0, z}, {xl, 0, z}, out, b.material(textured_material(f.side)),
           {kBuildingDepth / kSideTileWidth, top / kSideTileHeight});
    b.quad({xl, top + kParapet, z}, {xr, top + kParapet, z}, {xr, top, z}, {xl, top, z}, out, parapet);
}

} // namespace

Mesh build_building() {
    MeshBuilder b("Building");
    const std::uint32_t roof = b.material(plain_material(0.30f, 0.29f, 0.28f));
    for (const House& h : kHouses) {
        const FacadeSet street = facade_set(h.street_group, false), back = facade_set(h.back_group, true);
        const std::uint32_t parapet = b.material(parapet_of(h.street_group));
        const std::uint32_t back_parapet = b.material(parapet_of(h.back_group));
        long_wall(b, h, kBuildingDepth, 1, street, parapet);
        long_wall(b, h, 0, -1, back, back_parapet);
        end_wall(b, h, h.z0, -1, street, parapet);
        end_wall(b, h, h.z1, 1, street, parapet);
        const float top =
            kGroundStoreyHeight + kStoreyHeight * static_cast<float>(h.upper_storeys) + kParapet;
        b.quad({0, top, h.z0}, {kBuildingDepth, top, h.z0}, {kBuildingDepth, top, h.z1}, {0, top, h.z1},
               {0, 1, 0}, roof);
    }
    return std::move(b).finish();
}

} // namespace kl::data

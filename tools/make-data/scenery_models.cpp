// Sky dome, ground plane and road strip, and the list of all meshes with their file names.
#include "dimensions.h"
#include "engine/math.h"
#include "models.h"
#include "texture_table.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace kl::data {

Mesh build_sky() {
    MeshBuilder b("Sky");
    const std::uint32_t mat = b.material(textured_material(kSkyTexture));
    constexpr int kSegments = 32;
    constexpr float kRepeats = 2; // the picture goes twice around
    // Elevations in degrees, closer together near the horizon where the picture changes fastest.
    constexpr std::array<float, 12> kRings = {0, 2, 5, 9, 14, 20, 28, 38, 50, 63, 76, 90};
    // Linear filtering would blend the top and bottom rows at v = 0 and v = 1.
    constexpr float kVMin = 1.0f / 1024, kVMax = 1.0f - 1.0f / 1024;
    const Vec3 centre{0, kSkyHorizonY, 0};
    auto point = [&](float elevation_deg, float u) {
        const double e = elevation_deg * 3.141592653589793 / 180, a = u * 2 * 3.141592653589793;
        return Vec3{static_cast<float>(kSkyRadius * std::cos(e) * std::cos(a)),
                    kSkyHorizonY + static_cast<float>(kSkyRadius * std::sin(e)),
                    static_cast<float>(kSkyRadius * std::cos(e) * std::sin(a))};
    };
    auto v_of = [&](float elevation_deg) { return std::clamp(1.0f - elevation_deg / 90.0f, kVMin, kVMax); };
    for (int j = 0; j < kSegments; ++j) {
        const float u0 = static_cast<float>(j) / kSegments, u1 = static_cast<float>(j + 1) / kSegments;
        // Skirt below the horizon, in the haze colour, hidden by the ground but closing any gap.
        {
            const Vec3 a = point(0, u0), bb = point(0, u1);
            const Vec3 c{bb.x, kSkyHorizonY - 1500, bb.z}, d{a.x, kSkyHorizonY - 1500, a.z};
            const std::array<Vec3, 4> p{a, bb, c, d};
            const std::array<Vec2, 4> uv{Vec2{u0 * kRepeats, kVMax}, Vec2{u1 * kRepeats, kVMax},
                                         Vec2{u1 * kRepeats, kVMax}, Vec2{u0 * kRepeats, kVMax}};
            b.polygon(p, uv, centre - (a + c) * 0.5f, mat);
        }
        for (std::size_t i = 0; i + 1 < kRings.size(); ++i) {
            const float e0 = kRings[i], e1 = kRings[i + 1];
            const Vec3 a = point(e0, u0), c = point(e1, u1);
            if (i + 2 == kRings.size()) {
                const std::array<Vec3, 3> p{a, point(e0, u1), c};
                const std::array<Vec2, 3> uv{Vec2{u0 * kRepeats, v_of(e0)}, Vec2{u1 * kRepeats, v_of(e0)},
                                             Vec2{(u0 + u1) / 2 * kRepeats, v_of(e1)}};
                b.polygon(p, uv, centre - (a + c) * 0.5f, mat);
            } else {
                const std::array<Vec3, 4> p{a, point(e0, u1), c, point(e1, u0)};
                const std::array<Vec2, 4> uv{Vec2{u0 * kRepeats, v_of(e0)}, Vec2{u1 * kRepeats, v_of(e0)},
                                             Vec2{u1 * kRepeats, v_of(e1)}, Vec2{u0 * kRepeats, v_of(e1)}};
                b.polygon(p, uv, centre - (a + c) * 0.5f, mat);
            }
        }
    }
    return std::move(b).finish();
}

Mesh build_ground() {
    MeshBuilder b("Ground");
    const std::uint32_t mat = b.material(textured_material(kGroundTexture));
    // Pieces of 4 km keep the texture coordinates small enough for exact repeats.
    constexpr float kPiece = 4000;
    constexpr float kX0 = -24000, kZ0 = -30000;
    constexpr int kPieces = 25;
    for (int i = 0; i < kPieces; ++i)
        for (int j = 0; j < kPieces; ++j) {
            const float x0 = kX0 + static_cast<float>(i) * kPiece, z0 = kZ0 + static_cast<float>(j) * kPiece;
            const float x1 = x0 + kPiece, z1 = z0 + kPiece;
            b.quad({x0, 0, z0}, {x1, 0, z0}, {x1, 0, z1}, {x0, 0, z1}, {0, 1, 0}, mat,
                   {kPiece / kGroundTileSize, kPiece / kGroundTileSize});
        }
    return std::move(b).finish();
}

Mesh build_road() {
    MeshBuilder b("Road");
    const std::uint32_t top = b.material(textured_material(kRoadTexture));
    const std::uint32_t kerb = b.material(plain_material(0.52f, 0.51f, 0.49f));
    constexpr int kPieces = 64;
    constexpr float kPiece = kRoadLength / kPieces; // a whole number of marking repeats
    constexpr float kW = kRoadWidth, kLow = -kRoadThickness;
    for (int i = 0; i < kPieces; ++i) {
        const float z0 = static_cast<float>(i) * kPiece, z1 = z0 + kPiece;
        b.quad({0, 0, z0}, {kW, 0, z0}, {kW, 0, z1}, {0, 0, z1}, {0, 1, 0}, top,
               {1, kPiece / kRoadTileLength});
        b.quad({0, 0, z0}, {0, 0, z1}, {0, kLow, z1}, {0, kLow, z0}, {-1, 0, 0}, kerb);
        b.quad({kW, 0, z0}, {kW, 0, z1}, {kW, kLow, z1}, {kW, kLow, z0}, {1, 0, 0}, kerb);
    }
    b.quad({0, 0, 0}, {kW, 0, 0}, {kW, kLow, 0}, {0, kLow, 0}, {0, 0, -1}, kerb);
    b.quad({0, 0, kRoadLength}, {kW, 0, kRoadLength}, {kW, kLow, kRoadLength}, {0, kLow, kRoadLength},
           {0, 0, 1}, kerb);
    return std::move(b).finish();
}

std::vector<std::string> mesh_file_names() {
    std::vector<std::string> names{"SKY1.x", "s-all.x", "MODEL1.x", "_ROUTE.x"};
    for (const VehicleSpec& spec : vehicle_specs())
        names.push_back(spec.file);
    for (const char* name : {kConeFile, kBarrierFile, kLaneEndsSignFile, kRampFile})
        names.push_back(name);
    return names;
}

std::vector<NamedMesh> build_meshes() {
    std::vector<NamedMesh> meshes;
    meshes.push_back({"SKY1.x", build_sky()});
    meshes.push_back({"s-all.x", build_ground()});
    meshes.push_back({"MODEL1.x", build_building()});
    meshes.push_back({"_ROUTE.x", build_road()});
    for (const VehicleSpec& spec : vehicle_specs())
        meshes.push_back({spec.file, build_vehicle(spec)});
    meshes.push_back({kConeFile, build_cone()});
    meshes.push_back({kBarrierFile, build_barrier()});
    meshes.push_back({kLaneEndsSignFile, build_lane_ends_sign()});
    meshes.push_back({kRampFile, build_ramp()});
    return meshes;
}

} // namespace kl::data

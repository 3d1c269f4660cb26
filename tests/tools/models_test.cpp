#include "dimensions.h"
#include "engine/math.h"
#include "jpeg_writer.h"
#include "models.h"
#include "painters.h"
#include "texture_table.h"

#include <cmath>
#include <gtest/gtest.h>
#include <map>
#include <set>
#include <stb/stb_image.h>

namespace kl::data {
namespace {

// Where the scene puts each mesh (engine coordinates, y up), with one road strip.
constexpr float kGroundX = -6000, kGroundY = -5, kBuildingY = -5, kRoadX = 51.85f, kRoadY = -4.9f,
                kRoadZ = 50, kVehicleY = -4.8f;
constexpr Vec3 kSkyAt{800, -500, 800};

const std::map<std::string, Mesh>& meshes() {
    static const std::map<std::string, Mesh> m = [] {
        std::map<std::string, Mesh> out;
        for (NamedMesh& n : build_meshes())
            out.emplace(n.file, std::move(n.mesh));
        return out;
    }();
    return m;
}
Bounds bounds(const std::string& file) {
    return *bounds_of(meshes().at(file));
}

TEST(Models, EveryMeshFitsSixteenBitIndicesAndNamesOnlyTableTextures) {
    const auto table = scene_texture_names();
    const std::set<std::string> known(table.begin(), table.end());
    ASSERT_EQ(meshes().size(), 14u);
    for (const auto& [file, m] : meshes()) {
        SCOPED_TRACE(file);
        EXPECT_LE(m.vertices.size(), 65535u);
        ASSERT_EQ(m.face_materials.size(), m.faces.size());
        for (std::size_t f = 0; f < m.faces.size(); ++f) {
            for (std::uint32_t i : m.faces[f])
                ASSERT_LT(i, m.vertices.size());
            ASSERT_LT(m.face_materials[f], m.materials.size());
            const Vec3 n = face_cross(m, f);
            EXPECT_GT(Vec3Length(n), 0.0f) << "degenerate face " << f;
            // The normals written to the file agree with the side the winding shows.
            EXPECT_GT(Vec3Dot(n, m.vertices[m.faces[f][0]].normal), 0.0f) << "face " << f;
        }
        for (const MeshMaterial& mat : m.materials) {
            if (!mat.texture.empty()) {
                EXPECT_TRUE(known.count(mat.texture)) << mat.texture;
            }
        }
    }
}

TEST(Models, SkyIsSeenFromInsideAndStaysWithinTheFarPlaneAlongTheStreet) {
    const Mesh& sky = meshes().at("SKY1.x");
    const Vec3 centre{0, kSkyHorizonY, 0};
    for (std::size_t f = 0; f < sky.faces.size(); ++f)
        ASSERT_GT(Vec3Dot(face_cross(sky, f), centre - face_centre(sky, f)), 0.0f) << "face " << f;
    // A viewer anywhere on the first three kilometres of the street sees all of the dome.
    for (float along : {0.0f, 800.0f, 3000.0f})
        for (const MeshVertex& v : sky.vertices) {
            const Vec3 world = v.position + kSkyAt;
            ASSERT_LT(Vec3Length(world - Vec3{58, 10, along}), 50000.0f);
        }
    // The horizon ring lies at ground height once placed.
    EXPECT_LE(bounds("SKY1.x").min.y + kSkyAt.y, kGroundY);
}

TEST(Models, GroundCoversTheWholeWorldSquareFacingUp) {
    const Mesh& g = meshes().at("s-all.x");
    const Bounds b = bounds("s-all.x");
    EXPECT_EQ(b.min.y, 0.0f);
    EXPECT_EQ(b.max.y, 0.0f);
    EXPECT_LE(b.min.x + kGroundX, 0.0f);
    EXPECT_GE(b.max.x + kGroundX, 64000.0f);
    EXPECT_LE(b.min.z, 0.0f);
    EXPECT_GE(b.max.z, 64000.0f);
    for (std::size_t f = 0; f < g.faces.size(); ++f)
        ASSERT_GT(face_cross(g, f).y, 0.0f);
}

TEST(Models, RoadTopIsLevelWithLaneLinesBetweenTheSceneLanes) {
    const Mesh& road = meshes().at("_ROUTE.x");
    const Bounds b = bounds("_ROUTE.x");
    EXPECT_EQ(b.max.y, 0.0f);
    EXPECT_NEAR(b.min.y + kRoadY, kGroundY, 1e-5); // its sides reach down to the ground
    EXPECT_NEAR(b.max.x - b.min.x, 14.0f, 0.5f);
    EXPECT_GE(b.max.z - b.min.z, 5000.0f);

    // Texture u across the strip, read from a top face of the mesh.
    float u_at_0 = 0, u_per_m = 0;
    bool found = false;
    for (std::size_t f = 0; f < road.faces.size() && !found; ++f) {
        if (face_cross(road, f).y <= 0) continue;
        const MeshVertex& a = road.vertices[road.faces[f][0]];
        for (std::uint32_t i : road.faces[f]) {
            const MeshVertex& c = road.vertices[i];
            if (c.position.x == a.position.x) continue;
            u_per_m = (c.uv.x - a.uv.x) / (c.position.x - a.position.x);
            u_at_0 = a.uv.x - a.position.x * u_per_m;
            found = true;
            break;
        }
        EXPECT_EQ(road.materials[road.face_materials[f]].texture, kRoadTexture);
    }
    ASSERT_TRUE(found);

    const std::vector<std::uint8_t> jpeg = encode_jpeg(paint_road(), 88);
    int w = 0, h = 0, comp = 0;
    unsigned char* px = stbi_load_from_memory(jpeg.data(), static_cast<int>(jpeg.size()), &w, &h, &comp, 1);
    ASSERT_NE(px, nullptr);
    // Share of bright (painted) texels in the texture column under model x.
    auto painted = [&](float x) {
        const float u = u_at_0 + u_per_m * x;
        const int col = static_cast<int>((u - std::floor(u)) * static_cast<float>(w));
        int bright = 0;
        for (int y = 0; y < h; ++y)
            bright += px[y * w + col] > 160;
        return static_cast<double>(bright) / h;
    };
    // The scene drives its lanes at x = 54, 58, 62 on a strip placed at 51.85.
    for (float lane : {54.0f, 58.0f, 62.0f})
        EXPECT_EQ(painted(lane - kRoadX), 0.0) << lane;
    for (float dashed : {56.0f, 60.0f}) {
        EXPECT_GT(painted(dashed - kRoadX), 0.15) << dashed;
        EXPECT_LT(painted(dashed - kRoadX), 0.5) << dashed;
    }
    EXPECT_GT(painted(64.0f - kRoadX), 0.95); // solid line at the right edge of the lanes
    stbi_image_free(px);
}

TEST(Models, BuildingsStandOnTheGroundClearOfTheRoadAndOfEachOther) {
    const Bounds b = bounds("MODEL1.x");
    EXPECT_EQ(b.min.y + kBuildingY, kGroundY);
    EXPECT_GE(b.min.x, 0.0f);
    EXPECT_LE(b.max.x, kBuildingDepth);
    EXPECT_GE(b.min.z, 0.0f);
    EXPECT_LE(b.max.z, kBuildingLength);
    EXPECT_GE(b.max.y, 9.0f); // several storeys
    EXPECT_LE(b.max.y, 40.0f);
    const Bounds r = bounds("_ROUTE.x");
    for (int roads : {1, 3}) {
        const float last_road_right = kRoadX + 20.0f * static_cast<float>(roads - 1) + r.max.x;
        EXPECT_LE(40 + b.max.x, kRoadX + r.min.x);                                    // left row
        EXPECT_GE(55 + 20.0f * static_cast<float>(roads) + b.min.x, last_road_right); // right row
    }
    EXPECT_LE(25 + b.max.x, 40 + b.min.x); // second rows stand behind the first
    EXPECT_LE(b.max.z - b.min.z, 30.0f);   // rows repeat every 30 m
}

TEST(Models, BuildingShowsAllSevenStylesWithDifferentStyleMixesOnItsTwoLongSides) {
    const Mesh& m = meshes().at("MODEL1.x");
    std::set<int> groups, street, back;
    for (std::size_t f = 0; f < m.faces.size(); ++f) {
        const std::string& t = m.materials[m.face_materials[f]].texture;
        int g = 0, k = 0;
        if (std::sscanf(t.c_str(), "3c-%d-%d.jpg", &g, &k) != 2) continue;
        groups.insert(g);
        const float nx = face_cross(m, f).x;
        if (nx > 0) street.insert(g);
        if (nx < 0) back.insert(g);
    }
    EXPECT_EQ(groups, (std::set<int>{1, 2, 3, 4, 5, 6, 7}));
    EXPECT_GE(street.size(), 3u);
    EXPECT_GE(back.size(), 3u);
    EXPECT_NE(street, back);
}

TEST(Models, VehiclesAreCarSizedOnTheirWheelsAndFaceDownTheRoadOnceTurned) {
    const Matrix4 turn = MatrixRotationY(1.5707964f); // the scene's quarter turn
    const Bounds road = bounds("_ROUTE.x");
    std::vector<ColorValue> paints;
    for (const VehicleSpec& spec : vehicle_specs()) {
        SCOPED_TRACE(spec.file);
        const Mesh& m = meshes().at(spec.file);
        const Bounds b = bounds(spec.file);
        const bool van = spec.shape == VehicleShape::Van || spec.shape == VehicleShape::LargeVan;
        const float length = b.max.x - b.min.x, width = b.max.z - b.min.z, height = b.max.y - b.min.y;
        EXPECT_EQ(b.min.y, 0.0f);
        EXPECT_GE(length, 3.4f);
        EXPECT_LE(length, van ? 5.6f : 5.2f);
        EXPECT_GE(width, 1.6f);
        EXPECT_LE(width, van ? 2.1f : 1.95f);
        EXPECT_GE(height, van ? 2.0f : 1.3f);
        EXPECT_LE(height, van ? 2.7f : 1.7f);
        EXPECT_NEAR(b.min.x + b.max.x, 0.0f, 0.1f);
        EXPECT_NEAR(b.min.z + b.max.z, 0.0f, 0.05f);
        // Never below the road surface once placed.
        EXPECT_GE(b.min.y + kVehicleY, road.max.y + kRoadY);

        // Headlights (the white-textured faces) are on the nose at -x, looking forward; turned, they
        // lead the vehicle along +z, the direction of travel.
        int lamps = 0;
        for (std::size_t f = 0; f < m.faces.size(); ++f) {
            if (m.materials[m.face_materials[f]].texture != kWhiteTexture) continue;
            ++lamps;
            EXPECT_LT(face_centre(m, f).x, b.min.x + 0.05f);
            EXPECT_LT(face_cross(m, f).x, 0.0f);
            EXPECT_GT(Vec3TransformCoord(face_centre(m, f), turn).z, 0.9f * length / 2);
        }
        EXPECT_EQ(lamps, 4); // two lamps, two triangles each

        // The paint is the colour covering most of the body.
        std::map<std::uint32_t, float> area;
        for (std::size_t f = 0; f < m.faces.size(); ++f)
            area[m.face_materials[f]] += Vec3Length(face_cross(m, f));
        const auto top = std::max_element(area.begin(), area.end(),
                                          [](const auto& a, const auto& c) { return a.second < c.second; });
        paints.push_back(m.materials[top->first].face_colour);
    }
    for (std::size_t i = 0; i < paints.size(); ++i)
        for (std::size_t j = i + 1; j < paints.size(); ++j) {
            const float d = std::fabs(paints[i].r - paints[j].r) + std::fabs(paints[i].g - paints[j].g) +
                            std::fabs(paints[i].b - paints[j].b);
            EXPECT_GT(d, 0.25f) << "vehicles " << i << " and " << j << " look alike";
        }
}

} // namespace
} // namespace kl::data

// Every generated mesh through the real loader and the mesh object: it loads, each material's
// texture is in the scene texture table, and its size is what the scene expects of it.
#include "models.h"
#include "resources/cls3d_object.h"
#include "resources/scene_textures.h"
#include "support/engine_fixture.h"
#include "texture_table.h"
#include "traffic/scenario.h"

#include <cmath>
#include <filesystem>
#include <gtest/gtest.h>
#include <set>

namespace kl {
namespace {

namespace fs = std::filesystem;

struct Extent {
    Vec3 low, high;
    float x() const { return high.x - low.x; }
    float y() const { return high.y - low.y; }
    float z() const { return high.z - low.z; }
};

class GeneratedMeshes : public test::EngineTest {
  protected:
    void SetUp() override {
        ASSERT_TRUE(bring_up());
        mdlKl::ClearSceneTextures();
        const std::vector<std::string> names = data::scene_texture_names();
        ASSERT_EQ(names.size(), 118u);
        for (std::size_t j = 0; j < names.size(); ++j)
            mdlKl::TextureNames[j] = names[j];
    }
    void TearDown() override {
        mdlKl::ClearSceneTextures();
        d3dx::ClearMeshFileCache();
    }

    // Loads the file and checks its texture names; the extent of its vertices.
    Extent load(const std::string& name) {
        const fs::path file = fs::path(KL_DATA_ROOT) / "3z-idaveva" / name;
        cls3dObject object;
        EXPECT_TRUE(object.LoadFromFile(file.string(), 1)) << name;
        EXPECT_GT(object.GetFaceCount(), 0) << name;
        for (int k = 0; k < object.GetMaterialCount() && k < cls3dObject::kMaterialRows; ++k) {
            const std::string& texture = object.GetMaterialTexture(k, 0);
            if (texture.empty()) continue;
            const int slot = std::stoi(object.GetMaterialTexture(k, 1));
            EXPECT_EQ(mdlKl::TextureNames[std::size_t(slot)], texture)
                << name << " material " << k << " names a texture the scene does not load";
        }
        return {object.GetLowPoint(), object.GetHighPoint()};
    }
};

TEST_F(GeneratedMeshes, AllLoadWithTexturesFromTheSceneTable) {
    const std::vector<std::string> files = data::mesh_file_names();
    ASSERT_EQ(files.size(), 14u);
    for (const std::string& f : files)
        load(f);
}

TEST_F(GeneratedMeshes, VehiclesHaveCarSizesAndStandOnTheirWheels) {
    for (const char* car : {"206.x", "CLASS_A.x", "CLIO_II.x"}) {
        const Extent e = load(car);
        EXPECT_NEAR(e.x(), 4.0f, 0.6f) << car << " length along x";
        EXPECT_NEAR(e.z(), 1.8f, 0.25f) << car << " width";
        EXPECT_NEAR(e.y(), 1.5f, 0.3f) << car << " height";
        EXPECT_NEAR(e.low.y, 0.0f, 0.01f) << car;
    }
    for (const char* van : {"DUCATO.x", "TRANSIT.x", "CHRYSLER.x"}) {
        const Extent e = load(van);
        EXPECT_GE(e.x(), 4.0f) << van;
        EXPECT_LE(e.x(), 7.0f) << van;
        EXPECT_GE(e.z(), 1.6f) << van;
        EXPECT_LE(e.z(), 2.4f) << van;
        EXPECT_GE(e.y(), 1.4f) << van;
        EXPECT_LE(e.y(), 3.0f) << van;
        EXPECT_NEAR(e.low.y, 0.0f, 0.01f) << van;
    }
}

TEST_F(GeneratedMeshes, SceneryHasTheSizesOfARoadABuildingGroundAndSky) {
    const Extent road = load("_ROUTE.x");
    EXPECT_NEAR(road.x(), 14.0f, 1.0f) << "road width";
    EXPECT_GT(road.z(), 2000.0f) << "kilometres along the road";
    EXPECT_NEAR(road.high.y, 0.0f, 0.01f) << "top of the road";

    const Extent building = load("MODEL1.x");
    EXPECT_GE(building.low.x, -0.01f);
    EXPECT_GE(building.low.z, -0.01f);
    EXPECT_LE(building.high.x, 10.5f);
    EXPECT_LE(building.high.z, 25.5f);
    EXPECT_GT(building.y(), 6.0f) << "several storeys";

    const Extent ground = load("s-all.x");
    EXPECT_GT(ground.x(), 10000.0f);
    EXPECT_GT(ground.z(), 10000.0f);
    EXPECT_LT(ground.y(), 1.0f) << "flat";

    const Extent sky = load("SKY1.x");
    for (float c : {sky.low.x, sky.low.y, sky.low.z, sky.high.x, sky.high.y, sky.high.z})
        EXPECT_LE(std::fabs(c), 50000.0f) << "inside the far plane";
    EXPECT_GT(sky.x(), 1000.0f);
}

// The bottleneck's furniture stands on the road's top, the size of the real thing; the on-ramp runs
// from where its vehicles enter to where its lane ends, coming in from the right to beside the road.
TEST_F(GeneratedMeshes, RoadworksAndRampHaveTheirSizesAndStandOnTheRoad) {
    const Extent cone = load("cone.x");
    EXPECT_NEAR(cone.low.y, 0.0f, 0.001f);
    EXPECT_NEAR(cone.y(), 0.75f, 0.1f);
    EXPECT_LT(cone.x(), 0.6f);
    const Extent barrier = load("barrier.x");
    EXPECT_NEAR(barrier.low.y, 0.0f, 0.001f);
    EXPECT_NEAR(barrier.x(), 3.6f, 0.5f) << "across a lane";
    EXPECT_LT(barrier.z(), 1.0f);
    const Extent sign = load("lane-ends.x");
    EXPECT_NEAR(sign.low.y, 0.0f, 0.001f);
    EXPECT_GT(sign.y(), 2.0f) << "a board on a post";
    const Extent ramp = load("ramp.x");
    EXPECT_NEAR(ramp.high.y, 0.0f, 0.001f);
    EXPECT_NEAR(ramp.z(), RampApproach + BottleneckLength, 0.01f);
    EXPECT_LT(ramp.low.x, 12.0f - 1.9f) << "its lane beside the road's right lane";
    EXPECT_GT(ramp.high.x, 8.0f + RampStartAcross) << "coming in from the right";
}

} // namespace
} // namespace kl

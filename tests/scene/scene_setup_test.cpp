// Building the street: where every object stands for a few road counts, the texture table, failing
// meshes and road counts beyond the tables, what a round start puts back and what a reset leaves.
#include "scene/guarded.h"
#include "scene/scene_fixture.h"
#include "support/image_files.h"

#include <filesystem>
#include <utility>

namespace kl {
namespace {

using mdlKl::ObjectAt;
using mdlKl::TextureNames;
using mdlKl::Textures;

::testing::AssertionResult at(std::int64_t k, float x, float y, float z) {
    const Vec3 p = ObjectAt(k).POSX();
    if (p.x == x && p.y == y && p.z == z) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "object " << k << " at (" << p.x << ", " << p.y << ", " << p.z
                                         << "), expected (" << x << ", " << y << ", " << z << ")";
}

// Index of vehicle n of lane m on road r.
std::int64_t vehicle(int roads, int r, int m, int n) {
    return 402 + roads + (r * 3 + m) * 20 + n;
}

using SceneSetUp = test::SceneTest;

TEST_F(SceneSetUp, ThreeRoadsFillObjectsUpTo584WithTheRightSideMovedOut) {
    set_up(3);
    EXPECT_EQ(S.RoadCount, 3);
    EXPECT_EQ(mdlKl::Program().BuildingCount, 400);
    EXPECT_TRUE(at(0, 800, 800, -500));
    EXPECT_TRUE(at(1, -6000, 0, -5));
    // Left then right, row by row; the outer rows are 15 further out and 15 further along.
    EXPECT_TRUE(at(2, 40, 0, -5));
    EXPECT_TRUE(at(3, 115, 0, -5));
    EXPECT_TRUE(at(201, 115, 2970, -5));
    EXPECT_TRUE(at(202, 25, 15, -5));
    EXPECT_TRUE(at(401, 130, 2985, -5));
    for (int r = 0; r < 3; ++r)
        EXPECT_TRUE(at(402 + r, static_cast<float>(51.85 + 20 * r), 50, -4.9f));
    for (int r = 0; r < 3; ++r)
        for (int m = 0; m < 3; ++m)
            for (int n : {0, 19}) {
                const std::int64_t k = vehicle(3, r, m, n);
                EXPECT_TRUE(ObjectAt(k).Alive) << k;
                EXPECT_EQ(ObjectAt(k).POSX().x, static_cast<float>(54 + 4 * m + 20 * r)) << k;
                EXPECT_GE(ObjectAt(k).POSX().y, 50.0f) << k;
            }
    EXPECT_NE(mdlKl::Program().Objects[584], nullptr);
    EXPECT_EQ(mdlKl::Program().Objects[585], nullptr);
    EXPECT_EQ(mdlKl::Program().Objects.size(), 30001u);
}

TEST_F(SceneSetUp, NoRoads) {
    {
        ASSERT_TRUE(scene::SetUpScene(S, {0}));
        EXPECT_EQ(S.RoadCount, 0);
        EXPECT_TRUE(at(2, 40, 0, -5));
        EXPECT_TRUE(at(3, 55, 0, -5));
        EXPECT_TRUE(at(202, 25, 15, -5));
        EXPECT_TRUE(at(203, 70, 15, -5));
        EXPECT_NE(mdlKl::Program().Objects[401], nullptr);
        EXPECT_EQ(mdlKl::Program().Objects[402], nullptr);
    }
}

TEST_F(SceneSetUp, TextureTableNamesEverySlotBeforeAnyMeshAndCarriesOnWithoutFiles) {
    test::WriteBytes(data.path() / "3z-idaveva" / "WHITE.BMP", test::EncodeBmp(1, 1, 3, {255, 255, 255}));
    set_up(1);
    const std::pair<int, const char*> names[] = {
        {0, "sky001.bmp"},    {1, "0001.bmp"},       {2, "3c-01-01.jpg"},   {7, "3c-01-06.jpg"},
        {18, "3c-01-17.jpg"}, {19, "3c-02-01.jpg"},  {50, "3c-03-15.jpg"},  {81, "3c-05-14.jpg"},
        {95, "3c-06-14.jpg"}, {115, "3c-07-20.jpg"}, {116, "33063001.jpg"}, {117, "white.bmp"}};
    for (const auto& [slot, name] : names)
        EXPECT_EQ(TextureNames[static_cast<std::size_t>(slot)], name);
    int named = 0, loaded = 0;
    for (int i = 0; i < mdlKl::kTextureSlots; ++i) {
        named += TextureNames[static_cast<std::size_t>(i)].empty() ? 0 : 1;
        loaded += Textures[static_cast<std::size_t>(i)] ? 1 : 0;
    }
    EXPECT_EQ(named, 118);
    // Only the one file there is (found whatever its letter case) gives a texture.
    EXPECT_EQ(loaded, 1);
    EXPECT_TRUE(Textures[117]);
    // No texture file stopped the meshes.
    EXPECT_TRUE(ObjectAt(402 + 1 + 59).Alive);
}

TEST_F(SceneSetUp, MissingMeshLeavesDeadButPlacedObjectsAndSetUpGoesOn) {
    std::filesystem::remove(data.path() / "3z-idaveva" / "TRANSIT.x");
    set_up(2);
    for (int r = 0; r < 2; ++r) {
        for (int m = 0; m < 3; ++m) {
            for (int n : {0, 18, 19}) {
                const std::int64_t k = vehicle(2, r, m, n);
                // Only the last vehicle of the middle lanes uses that mesh.
                EXPECT_EQ(ObjectAt(k).Alive, !(m == 1 && n == 19)) << k;
                EXPECT_EQ(ObjectAt(k).POSX().x, static_cast<float>(54 + 4 * m + 20 * r)) << k;
            }
        }
    }
    EXPECT_NE(mdlKl::Program().Objects[vehicle(2, 1, 2, 19)], nullptr);
    EXPECT_EQ(frame(), scene::FrameExit::None);
}

TEST_F(SceneSetUp, RoadCountsBeyondTheTablesAndBeyondObjectsNeitherCrashNorSpill) {
    // Road 251 has no room in the traffic tables: its vehicles exist but stay where they were made.
    set_up(252);
    EXPECT_EQ(ObjectAt(vehicle(252, 250, 2, 19)).POSX().x, 54.0f + 8 + 20 * 250);
    EXPECT_EQ(ObjectAt(vehicle(252, 251, 0, 0)).POSX().y, 0.0f);
    EXPECT_EQ(frame(), scene::FrameExit::None);
    // 402 + 61 x 500 = 30902 objects wanted, 30001 slots there.
    scene::ReleaseScene(mdlKl::Program());
    set_up(500);
    EXPECT_EQ(mdlKl::Program().Objects.size(), 30001u);
    EXPECT_NE(mdlKl::Program().Objects[30000], nullptr);
    EXPECT_EQ(frame(), scene::FrameExit::None);
}

TEST_F(SceneSetUp, LaterRoundsPutTheUserBackAtTheStartAndClearTheRoundState) {
    set_up(1);
    EXPECT_FALSE(S.FirstRound);
    for (int i = 0; i < 5; ++i)
        frame(0.1);
    EXPECT_GT(user().PosProp().y, 800.0f);
    user().Alive = false;
    frame();
    frame(0.02, {platform::key::Escape});
    EXPECT_TRUE(S.EscLatch);
    EXPECT_NE(S.CameraPhase, 3);

    scene::StartRound(S);
    EXPECT_TRUE(user().Alive);
    EXPECT_TRUE(test::Near(user().PosProp(), {58, 800, 1}));
    EXPECT_EQ(S.CameraPhase, 3);
    EXPECT_FALSE(S.EscLatch);
    EXPECT_FALSE(S.QuitPrompt);
    EXPECT_FALSE(S.Round.ControlEnabled);
    EXPECT_FALSE(S.Round.RoundEndAllowed);
    EXPECT_EQ(S.FpsFrames, 0);
    EXPECT_EQ(S.FollowedPlayer, -1);
}

TEST_F(SceneSetUp, PlacementCheckOfUsersThatCanNeverComeApartEnds) {
    // Every user vehicle starts at the same point, so two of them fail the check for ever.
    mdlKl::Program().Settings.LastPlayer = 1;
    set_up(0);
    EXPECT_FALSE(S.PlayersApart);
    EXPECT_TRUE(mdlKl::PlayerAt(1).Alive);
}

TEST_F(SceneSetUp, AResetAfterARunLeavesNothingOfIt) {
    test::WriteBytes(data.path() / "3z-idaveva" / "WHITE.BMP", test::EncodeBmp(1, 1, 3, {255, 255, 255}));
    set_up(1);
    EXPECT_EQ(frame(), scene::FrameExit::None);
    scene::resume_past_fault([] { throw Fault("Subscript out of range"); });
    ASSERT_TRUE(Textures[117]);
    state.reset();
    // Objects, players and textures still hold meshes and textures of the engine's device.
    mdlKl::ResetProgram();
    const mdlKl::ProgramState& program = mdlKl::Program();
    EXPECT_FALSE(program.Engine);
    EXPECT_FALSE(program.Input);
    EXPECT_TRUE(program.Objects.empty());
    EXPECT_TRUE(program.Players.empty());
    EXPECT_EQ(program.Gear, 0);
    EXPECT_EQ(program.Faults.total(), 0);
    EXPECT_FALSE(Textures[117]);
    EXPECT_TRUE(TextureNames[117].empty());
}

} // namespace
} // namespace kl

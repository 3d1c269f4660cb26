// Placed scene models on the recording back-end: the swap from simulation to engine form, the quarter
// turns about the world origin, and what a model whose mesh file failed to load still does.
#include "engine/math.h"
#include "fault/fault.h"
#include "platform/d3dx/mesh.h"
#include "resources/cls3d_object.h"
#include "resources/scene_textures.h"
#include "sim/data_files.h"
#include "sim/kl_object.h"
#include "support/engine_fixture.h"
#include "support/mesh_files.h"
#include "support/temp_dir.h"

#include <cmath>
#include <gtest/gtest.h>

namespace kl {
namespace {

::testing::AssertionResult near(const Vec3& a, const Vec3& b, float tolerance = 1e-4f) {
    if (std::fabs(a.x - b.x) <= tolerance && std::fabs(a.y - b.y) <= tolerance &&
        std::fabs(a.z - b.z) <= tolerance)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "(" << a.x << ", " << a.y << ", " << a.z << ") vs (" << b.x
                                         << ", " << b.y << ", " << b.z << ")";
}

// Where the drawn model puts one of its own vertices: world = rotation x translation.
Vec3 drawn_at(const KlObject& object, const Vec3& model_vertex) {
    const cls3dObject& mesh = *object.Model();
    const Vec3 p = mesh.Position();
    return Vec3TransformCoord(model_vertex, mesh.RotationMatrix() * MatrixTranslation(p.x, p.y, p.z));
}

class SceneObject : public test::EngineTest {
  protected:
    void SetUp() override {
        ASSERT_TRUE(bring_up());
        mdlKl::ClearSceneTextures();
        d3dx::ClearMeshFileCache();
        SetDataRoot(dir.path());
        // A vehicle-like box, long along the model's x axis.
        test::WriteXFile(dir.path() / "3z-idaveva" / "Car.X", test::BoxMesh({-2, 0, -1}, {2, 1, 1}));
    }
    void TearDown() override {
        SetDataRoot(".");
        mdlKl::ClearSceneTextures();
        d3dx::ClearMeshFileCache();
    }

    test::TempDir dir;
};

TEST_F(SceneObject, InitializeFindsTheFileWhateverItsCaseAndStandsTheModelAtTheOrigin) {
    KlObject object;
    EXPECT_FALSE(object.Alive);
    ASSERT_TRUE(object.Initialize("car.x", 0, 7));
    EXPECT_TRUE(object.Alive);
    EXPECT_EQ(object.DirProp(), (Vec3{0, 0, 1}));
    EXPECT_EQ(object.PosProp(), (Vec3{0, 0, 0}));
    EXPECT_EQ(object.Model()->Position(), (Vec3{0, 0, 0}));
    EXPECT_GT(object.Model()->GetVertexCount(), 0);
    EXPECT_EQ(object.LastWallPosProp(), 0);
}

TEST_F(SceneObject, MovingSwapsHeightAndRoadDistanceAndGeneratePosPutsTheModelOnTheGround) {
    KlObject object;
    ASSERT_TRUE(object.Initialize("car.x", 0, 0));
    object.MOVEobj(1, 2, 3);
    EXPECT_EQ(object.PosProp(), (Vec3{1, 2, 3}));
    EXPECT_EQ(object.POSX(), (Vec3{1, 2, 3}));
    EXPECT_EQ(object.Model()->Position(), (Vec3{1, 3, 2}));

    object.GeneratePos();
    EXPECT_EQ(object.Model()->Position(), (Vec3{1, 0, 2}));
    EXPECT_EQ(object.PosProp(), (Vec3{1, 2, 3})) << "only the model is put down, not the position";

    object.MOVEobj(-4, 5, 6);
    object.Alive = false;
    object.Reset();
    EXPECT_TRUE(object.Alive);
    EXPECT_EQ(object.Model()->Position(), (Vec3{-4, 0, 5}));
}

TEST_F(SceneObject, AQuarterTurnAtTheOriginLaysTheModelAlongTheRoad) {
    KlObject left, right;
    ASSERT_TRUE(left.Initialize("car.x", 0, 0));
    ASSERT_TRUE(right.Initialize("car.x", 0, 1));
    left.ChangeDir(0);
    right.ChangeDir(1);
    EXPECT_EQ(left.DirProp(), (Vec3{0, 0, 1})) << "the turn only touches the ground components";
    EXPECT_EQ(right.DirProp(), (Vec3{0, 0, 1}));

    left.MOVEobj(10, 100, 0);
    right.MOVEobj(10, 100, 0);
    // +90 degrees about the vertical axis of a left-handed frame takes x to -z; -90 takes it to +z.
    // The model's length now runs along the road (engine z) and its height is kept.
    EXPECT_TRUE(near(drawn_at(left, {2, 1, 0}), {10, 1, 98}));
    EXPECT_TRUE(near(drawn_at(left, {-2, 0, 0}), {10, 0, 102}));
    EXPECT_TRUE(near(drawn_at(left, {0, 0, 1}), {11, 0, 100}));
    EXPECT_TRUE(near(drawn_at(right, {2, 1, 0}), {10, 1, 102}));
    EXPECT_TRUE(near(drawn_at(right, {0, 0, 1}), {9, 0, 100}));

    // Two turns the same way face the model backwards.
    KlObject back;
    ASSERT_TRUE(back.Initialize("car.x", 0, 2));
    back.ChangeDir(0);
    back.ChangeDir(0);
    back.MOVEobj(10, 100, 0);
    EXPECT_TRUE(near(drawn_at(back, {2, 1, 0}), {8, 1, 100}));
}

TEST_F(SceneObject, ATurnAfterPlacingSwingsTheModelAboutTheWorldOrigin) {
    KlObject object;
    ASSERT_TRUE(object.Initialize("car.x", 0, 0));
    object.MOVEobj(10, 100, 0);
    object.ChangeDir(0);
    // The model's centre is carried from engine (10, 0, 100) round the origin, not turned in place.
    EXPECT_TRUE(near(drawn_at(object, {0, 0, 0}), {100, 0, -10}));
    EXPECT_EQ(object.Model()->Position(), (Vec3{10, 0, 100}));
}

TEST_F(SceneObject, AModelWhoseFileIsMissingStaysDeadButCanStillBeMovedAndDrawn) {
    KlObject object;
    EXPECT_FALSE(object.Initialize("no such model.x", 0, 3));
    EXPECT_FALSE(object.Alive);
    EXPECT_EQ(object.DirProp(), (Vec3{0, 0, 0}));

    object.ChangeDir(0);
    object.ChangeDir(1);
    EXPECT_EQ(object.DirProp(), (Vec3{0, 0, 0}));
    const Matrix4 rotation = object.Model()->RotationMatrix(), identity = MatrixIdentity();
    for (int i = 0; i < 16; ++i)
        EXPECT_EQ(rotation.data()[i], identity.data()[i]) << "a dead model is not turned, element " << i;

    object.MOVEobj(1, 2, 3);
    EXPECT_EQ(object.PosProp(), (Vec3{1, 2, 3}));
    EXPECT_EQ(object.Model()->Position(), (Vec3{1, 3, 2}));
    const std::size_t mark = log().Mark();
    EXPECT_NO_THROW(object.Render());
    EXPECT_EQ(log().Since(mark).Count("DrawIndexedPrimitive"), 0u);
}

TEST_F(SceneObject, AnObjectNeverInitializedHasNoModelToPlace) {
    KlObject object;
    object.ChangeDir(0); // dead: nothing to do, nothing raised
    EXPECT_THROW(object.MOVEobj(1, 2, 3), Fault);
    EXPECT_THROW(object.Render(), Fault);
    EXPECT_EQ(object.Model(), nullptr);
}

TEST_F(SceneObject, RenderDrawsTheModelWhereItWasPlaced) {
    KlObject object;
    ASSERT_TRUE(object.Initialize("car.x", 0, 0));
    object.ChangeDir(0);
    object.MOVEobj(3, 40, 0.5f);
    const std::size_t mark = log().Mark();
    object.Render();
    const gfx::CallLog calls = log().Since(mark);
    EXPECT_GT(calls.Count("DrawIndexedPrimitive"), 0u);
    const gfx::Call* world = calls.Last("SetTransform", {gfx::TsWorld});
    ASSERT_NE(world, nullptr);
    const Matrix4 expected = MatrixRotationY(3.1415927f / 2) * MatrixTranslation(3, 0.5f, 40);
    for (int i = 0; i < 16; ++i)
        EXPECT_NEAR(float(world->args[std::size_t(i) + 1]), expected.data()[i], 1e-5f) << "element " << i;
}

} // namespace
} // namespace kl

// One frame and the round loop around it: culling by the view cone, zero-length frames, the clear, the
// camera after the user's vehicle is gone, following a traffic vehicle, the exits of RunScene.
#include "engine/draw_reach.h"
#include "engine/math.h"
#include "resources/cls3d_object.h"
#include "scene/bottleneck_street.h"
#include "scene/ring_drawing.h"
#include "scene/scene_fixture.h"
#include "scene/viewer_controls.h"
#include "traffic/idm_model.h"
#include "traffic/ring.h"
#include "traffic/traffic.h"

#include <algorithm>
#include <numbers>

namespace kl {
namespace {

namespace key = platform::key;
using scene::FrameExit;

std::size_t count_near(const std::vector<Vec3>& drawn, float x, float y) {
    return static_cast<std::size_t>(std::count_if(drawn.begin(), drawn.end(), [&](const Vec3& p) {
        return std::fabs(p.x - x) < 0.01f && std::fabs(p.y - y) < 0.01f;
    }));
}

TEST(ViewCone, IsStrictIgnoresDistanceAndDrawsWhatStandsAtTheViewer) {
    const Vec3 U{10, 20, 1}, ahead{0, 1, 0};
    EXPECT_TRUE(scene::InViewCone({10, 100000, 1}, U, ahead, 0.68));
    EXPECT_TRUE(scene::InViewCone({10, 20.001f, 1}, U, ahead, 0.68));
    EXPECT_FALSE(scene::InViewCone({10, 19, 1}, U, ahead, 0.68));
    EXPECT_FALSE(scene::InViewCone({11, 20, 1}, U, ahead, 0.0));
    // (3, 4) is at exactly 0.8 from the view direction: not inside a cone of 0.8.
    EXPECT_FALSE(scene::InViewCone({13, 24, 1}, U, ahead, 0.8));
    EXPECT_TRUE(scene::InViewCone({13, 24, 1}, U, ahead, 0.79));
    EXPECT_TRUE(scene::InViewCone(U, U, ahead, 0.68));
    EXPECT_TRUE(scene::InViewCone(U, U, {0, 0, 0}, 0.99));
}

using FrameLoop = test::SceneTest;

// Buildings and vehicles whose every corner the camera of the last frame puts off the picture:
// they are never drawn, whatever the view cone says, since drawing them would change no pixel.
std::size_t off_picture(const scene::SceneState& S) {
    const DrawReach reach = DrawReach::FromEngine(*mdlKl::Program().Engine);
    std::size_t n = 0;
    const auto count = [&](std::int64_t k) {
        cls3dObject* model = mdlKl::ObjectAt(k).Model();
        Vec3 low, high;
        if (model != nullptr && model->MeshBounds(low, high) &&
            reach.ReachesNoPixel(model->WorldMatrix(), low, high))
            ++n;
    };
    for (std::int64_t i = 0; i < mdlKl::Program().BuildingCount; ++i)
        count(2 + i);
    const std::int32_t buildings = mdlKl::Program().BuildingCount;
    for (long long k = scene::vehicle_object_index(buildings, S.RoadCount, 0, 0);
         k < scene::vehicle_object_index(buildings, S.RoadCount, 0, S.RoadCount); ++k)
        count(k);
    // A road is drawn by the pieces of it that can reach the picture; with none, not at all.
    const Matrix4 identity = MatrixIdentity();
    bool road_reaches = false;
    for (std::size_t p = 0; p < S.Street.Roads.Pieces(); ++p) {
        Vec3 low, high;
        S.Street.Roads.PieceBounds(p, low, high);
        road_reaches = road_reaches || !reach.ReachesNoPixel(identity, low, high);
    }
    if (!road_reaches) ++n;
    return n;
}

TEST_F(FrameLoop, CullsBuildingsAndTrafficBehindExceptInFramesWithAStep) {
    set_up(1);
    // Drawn as lines, where pixel centres do not decide what is drawn, every object in the view cone
    // is drawn: the cone alone shows.
    mdlKl::Program().Engine->Device()->SetRenderState(gfx::rs::FillMode, gfx::FillWireframe);
    frame();
    // The very first frame draws everything: sky, ground, road, 400 buildings, 60 vehicles.
    EXPECT_EQ(drawn_positions().size(), 463u);

    frame();
    std::vector<Vec3> drawn = drawn_positions();
    EXPECT_LT(drawn.size(), 463u);
    EXPECT_EQ(count_near(drawn, 800, 800), 1u);
    EXPECT_EQ(count_near(drawn, -6000, 0), 1u);
    EXPECT_EQ(count_near(drawn, 51.85f, 50), 1u);
    // Far ahead on the left, and right behind the user.
    EXPECT_EQ(count_near(drawn, 40, 2970), 1u);
    EXPECT_EQ(count_near(drawn, 40, 780), 0u);
    for (const Vec3& p : drawn) {
        if (p.z < -4.95f && p.z > -5.05f && p.x > -100) {
            EXPECT_GT(p.y, 800.0f) << p.x << ", " << p.y;
        }
    }

    // A steering step in this frame: everything again, even what is now behind.
    frame(0.02, {key::Left});
    EXPECT_EQ(drawn_positions().size(), 463u);
    frame();
    EXPECT_LT(drawn_positions().size(), 463u);
}

TEST_F(FrameLoop, ObjectsThatCanPutNoPixelOnThePictureAreNotDrawnEvenInAFrameWithAStep) {
    set_up(1);
    frame();
    // Behind the user, off the sides of the picture, or too small and far to cover a pixel centre
    // (the test's models are boxes of two units).
    const std::size_t off = off_picture(S);
    EXPECT_GT(off, 100u);
    EXPECT_LT(off, 460u);
    EXPECT_EQ(drawn_positions().size(), 463u - off);
    frame(0.02, {key::Left});
    EXPECT_EQ(drawn_positions().size(), 463u - off_picture(S));
}

TEST_F(FrameLoop, ZeroLengthFrameMovesNothingButIsDrawnAndShown) {
    set_up(1);
    frame();
    // The traffic moves by the previous frame's time, so it stands still from the second such frame.
    frame(0.0);
    const Vec3 before = user().PosProp();
    const Vec3 vehicle_before = mdlKl::ObjectAt(403).POSX();
    frame(0.0);
    EXPECT_TRUE(test::Near(user().PosProp(), before));
    EXPECT_TRUE(test::Near(mdlKl::ObjectAt(403).POSX(), vehicle_before));
    EXPECT_GT(drawn_positions().size(), 3u);
    EXPECT_EQ(last_frame().Count("Present"), 1u);

    // A half-second frame at 20 units per second moves the user 10 units along the road.
    frame(0.5);
    EXPECT_TRUE(test::Near(user().PosProp(), {before.x, before.y + 10, before.z}, 1e-3f));
}

TEST_F(FrameLoop, ClearAsksForTheStencilOnlyInClearModeTwo) {
    set_up(0);
    for (int mode : {0, 1, 2, 3}) {
        mdlKl::Program().Settings.ClearMode = mode;
        frame();
        const gfx::CallLog calls = last_frame();
        const gfx::Call* clear = calls.Last("Clear");
        ASSERT_NE(clear, nullptr);
        const auto flags = static_cast<gfx::Dword>(clear->args.at(1));
        EXPECT_EQ(flags & gfx::ClearStencil, mode == 2 ? gfx::ClearStencil : 0u) << mode;
        EXPECT_EQ(flags & (gfx::ClearTarget | gfx::ClearZBuffer), gfx::ClearTarget | gfx::ClearZBuffer);
    }
}

TEST_F(FrameLoop, ChaseCameraJumpsExceptInModesFourAndFiveWhereItGlides) {
    for (int mode : {1, 4, 5}) {
        SCOPED_TRACE(mode);
        mdlKl::Program().Settings.CameraMode = mode;
        mdlKl::Program().Settings.PlayerSpeed = 0;
        set_up(0);
        S.ChaseCamera->Pos({0, 0, 0});
        frame(0.05);
        const Vec3 target = S.CamPosTarget;
        // A glide of 0.25 s covers a fifth of the way in 0.05 s.
        const Vec3 expected = mode == 1 ? target : Vec3{target.x * 0.2f, target.y * 0.2f, target.z * 0.2f};
        EXPECT_TRUE(test::Near(S.ChaseCamera->Pos(), expected, 1e-3f));
        EXPECT_TRUE(test::Near(S.ChaseCamera->Dest(), S.CamDestTarget));
        scene::ReleaseScene(mdlKl::Program());
    }
}

TEST_F(FrameLoop, WithoutTheUserTheCameraGlidesToTheOverviewAndStaysWithNoOneToFollow) {
    set_up(0);
    frame();
    user().Alive = false;
    frame(0.02);
    EXPECT_EQ(S.CameraPhase, 5);
    EXPECT_NEAR(S.ChaseCamera->GetAngle(), std::numbers::pi / 2.5, 0.01);
    frame(0.02);
    EXPECT_EQ(S.CameraPhase, 6);
    EXPECT_EQ(S.FollowedPlayer, -1);
    for (int i = 0; i < 150; ++i)
        frame(0.02);
    EXPECT_GT(S.DeadClock, 3.0f);
    EXPECT_TRUE(test::Near(S.ChaseCamera->Pos(), {32000, 40, 32000}, 1.0f));
    EXPECT_NEAR(S.ChaseCamera->GetAngle(), std::numbers::pi / 4, 1e-4);
    EXPECT_FALSE(S.ChaseCamera->IsAngleBlended());
    const Vec3 resting = S.ChaseCamera->Pos();
    frame(0.5);
    EXPECT_TRUE(test::Near(S.ChaseCamera->Pos(), resting));
    EXPECT_EQ(S.CameraPhase, 6);
}

TEST_F(FrameLoop, OverviewInModeFourKeepsTheViewAngle) {
    mdlKl::Program().Settings.CameraMode = 4;
    set_up(0);
    const float angle = S.ChaseCamera->GetAngle();
    user().Alive = false;
    for (int i = 0; i < 20; ++i)
        frame(0.02);
    EXPECT_EQ(S.ChaseCamera->GetAngle(), angle);
    EXPECT_GT(S.ChaseCamera->Pos().x, 1000.0f);
}

TEST_F(FrameLoop, CameraFollowsTheFirstLivingVehicleAndMovesOnWhenItDies) {
    mdlKl::Program().Settings.LastPlayer = 2;
    set_up(0);
    user().Alive = false;
    frame();
    frame();
    EXPECT_EQ(S.FollowedPlayer, 1);
    EXPECT_EQ(S.CameraPhase, 6);
    // The overview glide runs on for its 3 s while the camera already follows.
    for (int i = 0; i < 160; ++i)
        frame(0.02);
    // Only the followed vehicle's distance to the camera matters: it shrinks frame by frame, at
    // the height limit or above.
    const auto ground_distance = [&] {
        const Vec3 c = S.ChaseCamera->Pos();
        return std::hypot(c.x - 58.0f, c.z - 800.0f);
    };
    float last = ground_distance();
    for (int i = 0; i < 30; ++i) {
        frame(0.1);
        EXPECT_LT(ground_distance(), last);
        last = ground_distance();
        EXPECT_GE(S.ChaseCamera->Pos().y, 10.0f);
        EXPECT_TRUE(test::Near(S.ChaseCamera->Dest(), {58, 0, 800}));
    }
    EXPECT_NEAR(std::hypot(S.FollowMove.x, S.FollowMove.y, S.FollowMove.z), 1.0, 1e-5);

    mdlKl::PlayerAt(1).Alive = false;
    frame();
    EXPECT_EQ(S.FollowedPlayer, 2);
    EXPECT_EQ(S.CameraPhase, 7);
    frame();
    EXPECT_EQ(S.CameraPhase, 6);
}

TEST_F(FrameLoop, VFollowsTheNearestVehicleAheadThenFartherOnesAndShiftVGoesBackToTheUser) {
    mdlKl::Program().Settings.CameraMode = 0;
    mdlKl::Program().Settings.PlayerSpeed = 0;
    set_up(1);
    frame();
    const auto followed = [&] {
        const scene::FollowedVehicle& f = S.Follow;
        const long long k =
            scene::vehicle_object_index(mdlKl::Program().BuildingCount, S.RoadCount, f.Id, f.Road);
        return mdlKl::ObjectAt(k).POSX();
    };
    const auto ahead_of_user = [&](const Vec3& p) { return p.y - user().POSX().y; };
    // The camera of the on-board view: where the vehicle is, seen from the ground (x, along the road).
    const auto camera_to = [&](const Vec3& p) {
        const Vec3 c = S.ChaseCamera->Pos();
        return std::hypot(c.x - p.x, c.z - p.y);
    };

    frame(0.02, {47});
    ASSERT_TRUE(S.Follow.Active);
    const float first = ahead_of_user(followed());
    EXPECT_GT(first, 0.0f);
    // Half a second of blend, then the camera rides with the vehicle.
    for (int i = 0; i < 30; ++i)
        frame(0.02);
    EXPECT_LT(camera_to(followed()), 2.0f);
    EXPECT_NE(scene::ViewerStatusLine(S).find("following road 0"), std::string::npos);

    frame(0.02, {47});
    for (int i = 0; i < 30; ++i)
        frame(0.02);
    EXPECT_GT(ahead_of_user(followed()), first);
    EXPECT_LT(camera_to(followed()), 2.0f);

    frame(0.02, {key::LShift, 47});
    frame(0.02);
    EXPECT_FALSE(S.Follow.Active);
    EXPECT_TRUE(test::Near(S.ChaseCamera->Pos(), S.CamPosTarget));
    EXPECT_EQ(scene::ViewerStatusLine(S), "");
}

// The ring drawn as the periodic street: each vehicle at every copy s + kL whose box can reach a pixel
// (up to the distance at which a vehicle is a pixel long), so none is missing near the viewer or far
// ahead; V then rides with a vehicle round and round the ring without a jump back, and J brakes it.
TEST_F(FrameLoop, ARingIsDrawnAtEveryCopyInViewAndVRidesRoundItForEver) {
    mdlKl::ProgramState& program = mdlKl::Program();
    program.TrafficKind = TrafficModelKind::Idm;
    program.Scenario = TrafficScenario::Ring;
    program.RingLength = 200;
    program.TrafficParameters = scenario_default_parameters(TrafficScenario::Ring);
    program.Settings.CameraMode = 0;
    program.Settings.PlayerSpeed = 0;
    set_up(1);
    frame();
    frame();
    ASSERT_EQ(S.Model->ring_length(), 200.0);
    const DrawReach reach = DrawReach::FromEngine(*program.Engine);
    const Vec3 eye = S.ChaseCamera->Pos();
    const std::vector<Matrix4>& drawn = S.Street.VehicleBatch.LastDrawnWorlds();
    const double far = scene::kRingVehicleMetres * 800 / (2 * std::tan(std::numbers::pi / 8));
    std::size_t expected = 0, ahead_near = 0;
    for (int i = 0; i < 60; ++i) {
        cls3dObject* model = mdlKl::ObjectAt(program.BuildingCount + 3 + i).Model();
        ASSERT_NE(model, nullptr);
        Vec3 low, high;
        ASSERT_TRUE(model->MeshBounds(low, high));
        for (int k = -40; k <= 40; ++k) {
            Matrix4 world = model->WorldMatrix();
            world.m43 += static_cast<float>(200.0 * k);
            if (std::hypot(world.m41 - eye.x, world.m43 - eye.z) > far * 0.99 ||
                reach.ReachesNoPixel(world, low, high))
                continue;
            ++expected;
            if (world.m43 > eye.z && world.m43 < eye.z + 400) ++ahead_near;
            EXPECT_TRUE(std::any_of(drawn.begin(), drawn.end(),
                                    [&](const Matrix4& w) {
                                        return std::fabs(w.m41 - world.m41) < 0.01f &&
                                               std::fabs(w.m43 - world.m43) < 0.01f;
                                    }))
                << "vehicle " << i << " copy " << k;
        }
    }
    // Copies beyond the ring itself, and the two rings' worth of vehicles just ahead all there.
    EXPECT_GT(expected, 200u);
    EXPECT_GE(ahead_near, 100u);

    frame(0.02, {key::V});
    ASSERT_TRUE(S.Follow.Active);
    float along = S.ChaseCamera->Pos().z;
    const float start = along;
    for (int i = 0; i < 240; ++i) {
        frame(0.25);
        ASSERT_TRUE(S.Follow.Active);
        const float now = S.ChaseCamera->Pos().z;
        EXPECT_GE(now, along - 0.01f) << "frame " << i;
        EXPECT_LT(now, along + 20.0f) << "frame " << i;
        along = now;
    }
    // A minute at some metres a second: round the ring at least once.
    EXPECT_GT(along - start, 200.0f);
    frame(0.02, {key::J});
    EXPECT_NE(scene::ViewerStatusLine(S).find("braking road 0"), std::string::npos)
        << scene::ViewerStatusLine(S);
}

// Traffic that stands still on a street of its choosing: it hands out the vehicles it was given.
class HeldTraffic final : public TrafficModel {
  public:
    HeldTraffic(ScenarioSettings street, VehicleList vehicles)
        : street_(street), vehicles_(std::move(vehicles)) {}
    TrafficModelKind kind() const override { return TrafficModelKind::Idm; }
    void set_up(std::int32_t, UniformSource&, VehicleList& Vehicles) override { Vehicles = vehicles_; }
    void step(const TrafficFrame&, VehicleList& Vehicles) override { Vehicles = vehicles_; }
    ScenarioSettings scenario_settings() const override { return street_; }
    const TrafficTables& tables() const override { return tables_; }
    void dump(std::ostream&, std::int32_t, std::int64_t, float) const override {}

  private:
    ScenarioSettings street_;
    VehicleList vehicles_;
    TrafficTables tables_;
};

// Every vehicle of the list that can put a pixel on the picture was drawn once, where the traffic
// left it, and nothing else was; returns how many.
std::size_t expect_each_drawn_once_where_it_stands(const scene::SceneState& S) {
    const DrawReach reach = DrawReach::FromEngine(*mdlKl::Program().Engine);
    const std::vector<Matrix4>& drawn = S.Street.VehicleBatch.LastDrawnWorlds();
    std::size_t expected = 0;
    for (const Vehicle& v : S.Street.Vehicles.all()) {
        const scene::VehicleModel* look = S.Street.ModelOf(v);
        EXPECT_NE(look, nullptr);
        if (look == nullptr) continue;
        const Matrix4 world = scene::Street::World(*look, v);
        const auto at_v = [&](const Matrix4& w) {
            return std::fabs(w.m41 - world.m41) < 0.01f && std::fabs(w.m43 - world.m43) < 0.01f;
        };
        const auto times = std::count_if(drawn.begin(), drawn.end(), at_v);
        if (reach.ReachesNoPixel(world, look->Low, look->High)) {
            EXPECT_EQ(times, 0) << "vehicle " << v.Id;
            continue;
        }
        ++expected;
        EXPECT_EQ(times, 1) << "vehicle " << v.Id;
        const Vec3 p = scene::VehicleSimPosition(v);
        EXPECT_EQ(world.m41, p.x);
        EXPECT_EQ(world.m43, p.y);
    }
    EXPECT_EQ(drawn.size(), expected);
    return expected;
}

// A road of the car-following model with 500 vehicles, many more than the 60 objects a road has: after
// two steps every vehicle that can put a pixel on the picture is drawn once, where the traffic left it,
// and nothing else is. So is every vehicle of a road fed by an inflow, whose ids run on far beyond
// the objects', and every one on its on-ramp, seen from G's place before the bottleneck.
TEST_F(FrameLoop, FiveHundredCarFollowingVehiclesOnARoadAreEachDrawnOnceWhereTheyAre) {
    mdlKl::ProgramState& program = mdlKl::Program();
    program.TrafficKind = TrafficModelKind::Idm;
    program.Settings.CameraMode = 0;
    program.Settings.PlayerSpeed = 0;
    set_up(1);
    auto* model = dynamic_cast<IdmTraffic*>(S.Model.get());
    ASSERT_NE(model, nullptr);
    // Three lanes of queues from just ahead of the user (800 m up the street) for a kilometre.
    VehicleList start;
    start.start(1);
    for (int i = 0; i < 500; ++i) {
        Vehicle v;
        v.Id = i;
        v.Lane = i % 3;
        v.Kind = i % 7 == 6 ? slow_vehicle_kind(v.Lane) : car_kind(v.Lane);
        v.Across = LaneWidthMetres * v.Lane;
        v.Position = 760 + 6.0 * (i / 3);
        v.Speed = 5;
        start.add(v);
    }
    model->set_up_vehicles(start, S.Street.Vehicles);
    frame();
    frame();
    ASSERT_EQ(S.Street.Vehicles.size(), 500u);
    EXPECT_GT(expect_each_drawn_once_where_it_stands(S), 400u);

    ScenarioSettings onramp = default_settings(TrafficScenario::Onramp);
    const Bottleneck b = bottleneck_of(onramp.Scenario, onramp.RoadLength);
    VehicleList inflow;
    inflow.start(1);
    for (int i = 0; i < 400; ++i) {
        Vehicle v;
        v.Id = 100'000 + 7 * i;
        v.Lane = i % 4;
        v.Kind = car_kind(i % 3);
        v.Position = b.RampStart + 1.5 * i;
        v.Across = v.Lane == RampLane ? ramp_across(b, v.Position) : LaneWidthMetres * v.Lane;
        inflow.add(v);
    }
    S.Model = std::make_unique<HeldTraffic>(onramp, inflow);
    scene::SetUpTrafficState(S);
    frame(0.02, {key::G});
    frame();
    ASSERT_EQ(S.Street.Vehicles.size(), 400u);
    EXPECT_GT(expect_each_drawn_once_where_it_stands(S), 100u);
}

// G: 300 m before the bottleneck of the road the user is on, in its middle lane, facing downstream;
// on the open street it changes nothing. The street of a road fed by an inflow
// has the city along its whole length and each road's furniture where the bottleneck lies, and goes
// back to the city once on the open street.
TEST_F(FrameLoop, GGoesBeforeTheBottleneckOfTheRoadAndTheStreetFitsItsTraffic) {
    mdlKl::ProgramState& program = mdlKl::Program();
    program.TrafficKind = TrafficModelKind::Idm;
    program.Settings.PlayerSpeed = 0;
    set_up(3);
    frame();
    const Vec3 before = user().POSX();
    frame(0.02, {key::G});
    frame();
    EXPECT_TRUE(test::Near(user().POSX(), before));
    EXPECT_EQ(S.Street.Buildings.Pieces(), 400u);

    ScenarioSettings roadworks = default_settings(TrafficScenario::Roadworks);
    roadworks.RoadLength = 10000;
    VehicleList none;
    none.start(3);
    S.Model = std::make_unique<HeldTraffic>(roadworks, none);
    scene::SetUpTrafficState(S);
    // The city's 3 km again and again up to the road's end 10,050 m up the street, and a little beyond.
    EXPECT_EQ(S.Street.Buildings.Pieces(), S.Street.City.size());
    float farthest = 0;
    for (const BatchPlacement& c : S.Street.City)
        farthest = std::max(farthest, mdlKl::ObjectAt(2 + c.Object).POSX().y + c.Shift.z);
    EXPECT_GT(farthest, 10050.0f);
    EXPECT_LT(farthest, 10500.0f);
    EXPECT_GT(S.Street.City.size(), 3u * 400u);
    const Bottleneck b = bottleneck_of(roadworks.Scenario, roadworks.RoadLength);
    EXPECT_EQ(b.Start, 6250.0);
    const auto& cones = S.Street.Furniture[static_cast<std::size_t>(scene::Furniture::Cone)];
    ASSERT_TRUE(cones.Batch.Ready());
    // On each of the 3 roads, 26 along the closed stretch and 4 across it.
    ASSERT_EQ(cones.Batch.Pieces(), 3u * 30u);
    for (std::size_t p = 0; p < cones.Batch.Pieces(); ++p) {
        Vec3 low, high;
        cones.Batch.PieceBounds(p, low, high);
        const float along = (low.z + high.z) / 2 - 50, across = std::fmod((low.x + high.x) / 2 - 54, 20.0f);
        EXPECT_GE(along, b.Start - 0.01);
        EXPECT_LE(along, b.End + 0.01);
        EXPECT_GE(across, 6.0f - 0.01f) << "between lanes 1 and 2, or across lane 2";
        EXPECT_LE(across, 10.0f + 0.01f);
    }
    const auto& sign = S.Street.Furniture[static_cast<std::size_t>(scene::Furniture::LaneEndsSign)];
    ASSERT_EQ(sign.Batch.Pieces(), 3u);
    Vec3 low, high;
    sign.Batch.PieceBounds(2, low, high);
    EXPECT_NEAR((low.z + high.z) / 2, 50 + b.Start - 300, 0.01);
    EXPECT_GT(low.x, 40 + 54 + 10) << "beside the right lane of road 2";

    frame(0.02, {key::G});
    // Road 0 (the user's), its middle lane, 300 m before the closure, facing on down the road.
    EXPECT_TRUE(test::Near(user().POSX(), {58, static_cast<float>(50 + b.Start - 300), 1}));
    EXPECT_TRUE(test::Near(user().DirPropV(), {0, 1, 0}));
    EXPECT_TRUE(test::Near(user().DirProp(), {0, 1, 0}));
    frame();
    EXPECT_NEAR(S.ChaseCamera->Pos().z, 50 + b.Start - 300, 30.0) << "the view goes with it";

    // The on-ramp's vehicles drive through no building: those in their way are left out.
    const ScenarioSettings onramp = default_settings(TrafficScenario::Onramp);
    S.Model = std::make_unique<HeldTraffic>(onramp, none);
    scene::SetUpTrafficState(S);
    const Bottleneck r = bottleneck_of(onramp.Scenario, onramp.RoadLength);
    EXPECT_EQ(S.Street.Buildings.Pieces(), S.Street.City.size());
    EXPECT_GT(S.Street.City.size(), 400u);
    for (double along = r.RampStart; along <= r.End; along += 5) {
        Vehicle v;
        v.Road = 2;
        v.Lane = RampLane;
        v.Position = along;
        v.Across = ramp_across(r, along);
        const Vec3 p = scene::VehicleSimPosition(v);
        for (const BatchPlacement& c : S.Street.City) {
            const Vec3 at = mdlKl::ObjectAt(2 + c.Object).POSX();
            const bool inside = p.x > at.x - 1.5f && p.x < at.x + 11.5f && p.y > at.y + c.Shift.z - 3 &&
                                p.y < at.y + c.Shift.z + 28;
            EXPECT_FALSE(inside) << "building " << c.Object << " at " << along << " m";
        }
    }

    S.Model = std::make_unique<HeldTraffic>(ScenarioSettings{}, none);
    scene::SetUpTrafficState(S);
    EXPECT_EQ(S.Street.Buildings.Pieces(), 400u);
    EXPECT_TRUE(S.Street.City.empty());
    EXPECT_FALSE(cones.Batch.Ready());
}

TEST_F(FrameLoop, FailedKeyboardReadEndsTheFrameBeforeAnythingIsDrawn) {
    set_up(0);
    input.Fail("keyboard.GetDeviceState 256", {platform::Status::InputLost});
    input.Fail("keyboard.Acquire", {platform::Status::InputLost});
    EXPECT_EQ(frame(), FrameExit::KeyboardFailed);
    EXPECT_EQ(last_frame().Count("Present"), 0u);
}

TEST_F(FrameLoop, ACloseRequestEndsTheSceneLikeTheQuitPromptOnceTheFrameIsShown) {
    set_up(0);
    EXPECT_EQ(frame(), FrameExit::None);
    mdlKl::Program().Engine->SetMessagePump([] { return false; });
    EXPECT_EQ(frame(), FrameExit::Quit);
    EXPECT_EQ(last_frame().Count("Present"), 1u);
}

TEST_F(FrameLoop, QuitLeavesTheSceneInPlaceAndTheNormalEndReleasesIt) {
    // Escape down, up, Return down, up.
    const std::vector<std::vector<int>> script = {{}, {key::Escape}, {}, {key::Return}, {}};
    std::size_t next = 0;
    int frames = 0;
    scene::SceneHooks hooks;
    hooks.MaxFrames = 50;
    hooks.AfterFrame = [&](const scene::SceneState&) {
        ++frames;
        input.keys = {};
        if (next < script.size())
            for (int k : script[next++])
                input.Press(k);
    };
    scene::RunScene(mdlKl::Program(), {1}, hooks);
    EXPECT_EQ(frames, 6);
    EXPECT_EQ(mdlKl::Program().Objects.size(), 30001u);
    EXPECT_EQ(mdlKl::Program().Players.size(), 1u);

    mdlKl::Program().Settings.RoundLimit = 0;
    scene::RunScene(mdlKl::Program(), {1}, hooks);
    EXPECT_TRUE(mdlKl::Program().Objects.empty());
    EXPECT_TRUE(mdlKl::Program().Players.empty());
    EXPECT_TRUE(mdlKl::TextureNames[7].empty());
}

} // namespace
} // namespace kl

// The furniture is one model per kind set down at every road as the placements of one static batch,
// so 251 roads of roadworks cost a few draw calls, and the city's copies are placements of the
// buildings' batch. The plain path (optimisations off) draws each placement by itself.
#include "scene/bottleneck_street.h"

#include "engine/cls3d_engine.h"
#include "engine/math.h"
#include "platform/os/optimisations.h"
#include "resources/cls3d_object.h"
#include "scene/guarded.h"
#include "scene/scene_state.h"
#include "sim/data_files.h"
#include "sim/kl_object.h"
#include "traffic/tables.h"

#include <algorithm>
#include <cmath>
#include <tuple>

namespace kl::scene {

namespace {

// The road strips' top, simulation z: the furniture stands on it.
constexpr float kRoadTop = -4.9f;
// Metres between the cones along the closed lane.
constexpr double kConeSpacing = 12.0;
// The warning sign stands this far before the closure, beside the right lane's kerb.
constexpr double kSignAhead = 300.0, kSignAcross = 12.6;
// The on-ramp lies over the road strip's shoulder where it runs beside it, and over the strips of
// the roads it crosses on its way in, level with them: pulled towards the eye it wins their depth ties.
constexpr std::uint32_t kRampDepthBias = 1;

Vec3 sim_spot(std::int32_t road, double across, double position) {
    Vehicle v;
    v.Road = road;
    v.Across = across;
    v.Position = position;
    Vec3 p = VehicleSimPosition(v);
    p.z = kRoadTop;
    return p;
}

// The buildings' models in object order; empty unless every one has one.
std::vector<cls3dObject*> building_models(mdlKl::ProgramState& program) {
    std::vector<cls3dObject*> models;
    for (std::int64_t i = 0; i < program.BuildingCount; ++i) {
        const auto k = static_cast<std::size_t>(2 + i);
        cls3dObject* model =
            k < program.Objects.size() && program.Objects[k] ? program.Objects[k]->Model() : nullptr;
        if (model == nullptr) return {};
        models.push_back(model);
    }
    return models;
}

// The building block's footprint from where it stands: across, and along the street.
constexpr double kBuildingDepth = 10.0, kBuildingLength = 25.0;
constexpr double kCityBeyondEnd = 300.0;
// A piece of furniture whose picture is smaller than this is not drawn: at most a pixel far away.
constexpr double kLeastPicture = 0.5;

void lay_out_city(SceneState& S, TrafficScenario scenario, double road_length) {
    Street& street = S.Street;
    street.City.clear();
    street.Buildings.Clear();
    const std::vector<cls3dObject*> models = building_models(S.Program);
    const std::int32_t copies = has_inflow(scenario) ? CityCopies(scenario, road_length) : 0;
    const Bottleneck b = bottleneck_of(scenario, road_length);
    const std::int32_t roads = std::clamp<std::int32_t>(S.RoadCount, 0, MaxRoadCount);
    // Past the road's end the street goes on for a while, empty of traffic.
    const double last = 50.0 + std::clamp(road_length, MinRoadLength, MaxRoadLength) + kCityBeyondEnd;
    std::vector<std::pair<Vec3, BatchPlacement>> placed;
    for (std::int32_t c = 0; c < copies; ++c) {
        const auto along = static_cast<float>(kCityLength * c);
        for (std::size_t i = 0; i < models.size(); ++i) {
            const Vec3 at = S.Program.ObjectAt(static_cast<std::int64_t>(2 + i)).POSX();
            const double y = at.y + along;
            if (c > 0 && y > last) continue;
            if (scenario == TrafficScenario::Onramp &&
                StandsOnTheRamp(b, roads, at.x, at.x + kBuildingDepth, y, y + kBuildingLength))
                continue;
            placed.push_back(
                {{at.x, static_cast<float>(y), 0}, {static_cast<std::uint32_t>(i), {0, 0, along}}});
        }
    }
    // Row by row along the street, as the batch lays out the city it is given whole: the buildings
    // in view then make long runs of neighbours.
    std::stable_sort(placed.begin(), placed.end(), [](const auto& l, const auto& r) {
        return std::tie(l.first.x, l.first.y) < std::tie(r.first.x, r.first.y);
    });
    for (const auto& p : placed)
        street.City.push_back(p.second);
    if (!models.empty()) street.Buildings.Build(models, 0, false, street.City);
}

void lay_out_furniture(SceneState& S, TrafficScenario scenario, double road_length) {
    const std::vector<FurnitureSpot> spots = BottleneckFurniture(scenario, road_length);
    const std::int32_t roads = std::clamp<std::int32_t>(S.RoadCount, 0, MaxRoadCount);
    for (int kind = 0; kind < FurnitureKinds; ++kind) {
        FurnitureBatch& f = S.Street.Furniture[static_cast<std::size_t>(kind)];
        f.Batch.Clear();
        f.Spots.clear();
        for (std::int32_t r = 0; r < roads; ++r)
            for (const FurnitureSpot& spot : spots)
                if (static_cast<int>(spot.Kind) == kind)
                    f.Spots.push_back(sim_spot(r, spot.Across, spot.Position));
        if (f.Spots.empty() || !f.Model) continue;
        std::vector<BatchPlacement> placements;
        for (const Vec3& at : f.Spots)
            placements.push_back({0, KlObject::EnginePosition(at)});
        f.Batch.Build({f.Model.get()}, 0, false, placements);
    }
}

// Whether a piece of furniture is drawn: when it can reach the picture and its picture is at least
// kLeastPicture across, whether or not it covers a pixel centre (drawn between the centres it
// changes no pixel). Far cones whose boxes fall now on a pixel centre, now between them, would
// otherwise split those in view into many runs, each a draw call, which costs the software
// rasteriser far more than their few triangles.
bool draws_something(const DrawReach& reach, const Matrix4& world, const Vec3& low, const Vec3& high) {
    // A size is told only for a box wholly in front of the eye and not wholly off the picture.
    double picture = 0;
    const bool reaches = !reach.ReachesNoPixel(world, low, high, &picture);
    return std::isfinite(picture) ? picture >= kLeastPicture : reaches;
}

void set_depth_bias(std::uint32_t bias) {
    if (gfx::Device* device = CurrentDevice())
        IgnoreStatus(device->SetRenderState(gfx::rs::ZBias, bias), "drawn without the bias");
}

// Draws a model at each place by itself, moved there for the draw and back.
void draw_one_by_one(cls3dObject& model, const std::vector<Vec3>& at, const std::vector<char>& drawn) {
    const Vec3 was = model.Position();
    for (std::size_t p = 0; p < at.size(); ++p) {
        if (!drawn[p]) continue;
        model.Position(at[p]);
        resume_past_fault([&] { model.Render(); });
    }
    model.Position(was);
}

} // namespace

std::int32_t CityCopies(TrafficScenario scenario, double road_length) {
    if (!has_inflow(scenario) || !std::isfinite(road_length)) return 1;
    // Position 0 of a road is 50 m up the street.
    const double reach = 50.0 + std::clamp(road_length, MinRoadLength, MaxRoadLength);
    return std::max<std::int32_t>(1, static_cast<std::int32_t>(std::ceil(reach / kCityLength)));
}

const char* furniture_mesh(Furniture kind) {
    switch (kind) {
    case Furniture::Barrier:
        return "barrier.x";
    case Furniture::LaneEndsSign:
        return "lane-ends.x";
    case Furniture::Ramp:
        return "ramp.x";
    case Furniture::Cone:
        break;
    }
    return "cone.x";
}

bool StandsOnTheRamp(const Bottleneck& b, std::int32_t roads, double x0, double x1, double y0, double y1) {
    if (!(b.End > b.RampStart) || roads <= 0) return false;
    // The ramp's strip along the building, with a metre to spare on either side.
    const double from = std::clamp(y0 - 50.0 - 1.0, b.RampStart, b.End);
    const double to = std::clamp(y1 - 50.0 + 1.0, b.RampStart, b.End);
    if (!(to > from)) return false;
    const double near = std::min(ramp_across(b, from), ramp_across(b, to)) - LaneWidthMetres / 2 - 1.0;
    const double far = std::max(ramp_across(b, from), ramp_across(b, to)) + LaneWidthMetres / 2 + 3.0;
    Vehicle lane0;
    for (lane0.Road = 0; lane0.Road < roads; ++lane0.Road) {
        const double x = VehicleSimPosition(lane0).x;
        if (x + near < x1 && x + far > x0) return true;
    }
    return false;
}

std::vector<FurnitureSpot> BottleneckFurniture(TrafficScenario scenario, double road_length) {
    const Bottleneck b = bottleneck_of(scenario, road_length);
    std::vector<FurnitureSpot> spots;
    constexpr double line = LaneWidthMetres * (RightLane - 0.5), right = LaneWidthMetres * RightLane;
    if (scenario == TrafficScenario::Roadworks) {
        // From the start on, so that the cones in view of a road follow one another in the batch.
        for (const double across : {2.0, 1.0, 0.0, -1.0})
            spots.push_back({Furniture::Cone, right + across, b.Start + 1.5});
        for (double at = b.Start; at <= b.End + 1e-6; at += kConeSpacing)
            spots.push_back({Furniture::Cone, line, at});
        spots.push_back({Furniture::Barrier, right, b.Start});
        spots.push_back({Furniture::LaneEndsSign, kSignAcross, b.Start - kSignAhead});
    } else if (scenario == TrafficScenario::Onramp) {
        spots.push_back({Furniture::Ramp, 0.0, b.RampStart});
    }
    return spots;
}

void LoadFurnitureModels(Street& street) {
    for (int kind = 0; kind < FurnitureKinds; ++kind) {
        FurnitureBatch& f = street.Furniture[static_cast<std::size_t>(kind)];
        f.Batch.Clear();
        f.Model = std::make_unique<cls3dObject>();
        const std::string file = DataFilePath(furniture_mesh(static_cast<Furniture>(kind)));
        if (!holds_or_faults([&] { return f.Model->LoadFromFile(file, 1); })) f.Model.reset();
    }
}

void FitStreetToTraffic(SceneState& S) {
    const ScenarioSettings s = S.Model ? S.Model->scenario_settings() : ScenarioSettings{};
    Street::Layout want;
    want.Scenario = s.Scenario;
    want.RoadLength = has_inflow(s.Scenario) ? s.RoadLength : 0.0;
    want.Roads = S.RoadCount;
    if (want.Scenario == S.Street.Laid.Scenario && want.RoadLength == S.Street.Laid.RoadLength &&
        want.Roads == S.Street.Laid.Roads)
        return;
    // The open street and the ring keep the batch the set-up built.
    const bool was_repeated = !S.Street.City.empty();
    S.Street.Laid = want;
    if (has_inflow(want.Scenario) || was_repeated) lay_out_city(S, want.Scenario, want.RoadLength);
    lay_out_furniture(S, want.Scenario, want.RoadLength);
}

bool BuildingCopyInView(SceneState& S, const ViewTest& view, const DrawReach& reach, std::uint32_t building,
                        const Vec3& shift) {
    return holds_or_faults([&] {
        KlObject& object = S.Program.ObjectAt(static_cast<std::int64_t>(2 + building));
        Vec3 at = object.POSX();
        at.y += shift.z;
        if (!view(at, kBuildingCone)) return false;
        cls3dObject* model = object.Model();
        Vec3 low, high;
        if (platform::OptimisationsOff() || model == nullptr || !model->MeshBounds(low, high)) return true;
        Matrix4 world = model->WorldMatrix();
        world.m43 += shift.z;
        return !reach.ReachesNoPixel(world, low, high);
    });
}

void DrawBuildingCopy(SceneState& S, std::uint32_t building, const Vec3& shift) {
    resume_past_fault([&] {
        cls3dObject* model = S.Program.ObjectAt(static_cast<std::int64_t>(2 + building)).Model();
        if (model == nullptr) return;
        const Vec3 was = model->Position();
        model->Position(was + shift);
        resume_past_fault([&] { model->Render(); });
        model->Position(was);
    });
}

bool DrawRepeatedCity(SceneState& S, const ViewTest& view, const DrawReach& reach) {
    const std::vector<BatchPlacement>& city = S.Street.City;
    if (city.empty()) return false;
    static std::vector<char> in_view;
    in_view.assign(city.size(), 0);
    for (std::size_t p = 0; p < city.size(); ++p)
        in_view[p] = BuildingCopyInView(S, view, reach, city[p].Object, city[p].Shift);
    StaticBatch& batch = S.Street.Buildings;
    if (!platform::OptimisationsOff() && batch.Ready() && batch.Pieces() == in_view.size()) {
        batch.Draw(in_view);
        return true;
    }
    for (std::size_t p = 0; p < city.size(); ++p)
        if (in_view[p]) DrawBuildingCopy(S, city[p].Object, city[p].Shift);
    return true;
}

void DrawBottleneckFurniture(SceneState& S, const ViewTest& view, const DrawReach& reach) {
    const bool plain = platform::OptimisationsOff();
    const Matrix4 identity = MatrixIdentity();
    static std::vector<char> in_view;
    for (int kind = 0; kind < FurnitureKinds; ++kind) {
        FurnitureBatch& f = S.Street.Furniture[static_cast<std::size_t>(kind)];
        if (!f.Model || f.Spots.empty()) continue;
        const bool biased = static_cast<Furniture>(kind) == Furniture::Ramp;
        if (biased) set_depth_bias(kRampDepthBias);
        if (!plain && f.Batch.Ready() && f.Batch.Pieces() == f.Spots.size()) {
            in_view.assign(f.Spots.size(), 0);
            for (std::size_t p = 0; p < in_view.size(); ++p) {
                Vec3 low, high;
                f.Batch.PieceBounds(p, low, high);
                in_view[p] = draws_something(reach, identity, low, high);
            }
            resume_past_fault([&] { f.Batch.Draw(in_view); });
        } else {
            in_view.assign(f.Spots.size(), 0);
            std::vector<Vec3> at(f.Spots.size());
            for (std::size_t p = 0; p < at.size(); ++p) {
                at[p] = KlObject::EnginePosition(f.Spots[p]);
                // The ramp is long and stands by its start: always drawn.
                in_view[p] = biased || view(f.Spots[p], kBuildingCone);
            }
            draw_one_by_one(*f.Model, at, in_view);
        }
        if (biased) set_depth_bias(0);
    }
}

} // namespace kl::scene

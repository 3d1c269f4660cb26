// Building the street: overlay texts, the user's vehicle, the texture table (complete before the
// first mesh loads, since meshes look their textures up in it), sky, ground, 400 buildings, one road
// strip and 60 vehicles per road, the models of a bottleneck's furniture, and the traffic tables.
#include "engine/mdl_main.h"
#include "platform/os/optimisations.h"
#include "resources/scene_textures.h"
#include "scene/bottleneck_street.h"
#include "scene/guarded.h"
#include "scene/run_scene.h"
#include "scene/scene_observer.h"
#include "scene/street.h"
#include "sim/data_files.h"
#include "sim/mdl_kl.h"
#include "traffic/idm.h"

#include <cstdio>
#include <limits>
#include <string>

namespace kl::scene {

namespace {

struct TextureGroup {
    int group;
    int count;
    int first_slot;
};
// Facade groups 01 to 07: textures k = 1 .. count in slots first_slot + k - 1.
constexpr TextureGroup kFacadeGroups[] = {{1, 17, 2},  {2, 17, 19}, {3, 15, 36}, {4, 17, 51},
                                          {5, 14, 68}, {6, 14, 82}, {7, 20, 96}};

void fill_slot(int slot, const std::string& name) {
    resume_past_fault([&] { checked_at(mdlKl::TextureNames, slot) = name; });
    resume_past_fault([&] {
        checked_at(mdlKl::Textures, slot) = mdlMain::TextureFromFile(DataFilePath(name), 0, 0, false);
    });
}

// The objects are made one after another at ObjIndex.
void add_object(SceneState& S, const std::string& mesh, float x, float y, float z) {
    resume_past_fault([&] { checked_at(S.Program.Objects, S.ObjIndex) = std::make_unique<KlObject>(); });
    resume_past_fault([&] { S.Program.ObjectAt(S.ObjIndex).Initialize(mesh, 0, S.ObjIndex); });
    resume_past_fault([&] { S.Program.ObjectAt(S.ObjIndex).MOVEobj(x, y, z); });
    S.ObjIndex += 1;
}

const char* vehicle_mesh(int lane, int n) {
    return VehicleModelFile(n < 19 ? car_kind(lane) : slow_vehicle_kind(lane));
}

// The automated vehicles of a kind are its model loaded once more, turned the same way, in their
// own colour. One model for all of them keeps them in the batch like any kind.
void take_automated_model(SceneState& S, std::uint8_t kind, const VehicleModel& model, const char* mesh) {
    S.Street.AutomatedModels[kind] = {};
    auto own = std::make_unique<cls3dObject>();
    if (!own->LoadFromFile(DataFilePath(mesh), 1)) return;
    own->RotationMatrix(model.Model->RotationMatrix());
    own->TintMaterials(kAutomatedTint, kAutomatedTintFrom);
    S.Street.AutomatedModels[kind] = {own.get(), model.HasBox, model.Low, model.High};
    S.Street.AutomatedMeshes[kind] = std::move(own);
}

// The six vehicle models are those of road 0's vehicles: lane slot m's first vehicle is its car, its
// last one its slow vehicle. All vehicles of a kind share the mesh and the quarter turn, so one stands
// for all. Their boxes are read here, on the drawing thread, since that reads the mesh's buffer.
void take_vehicle_models(SceneState& S) {
    S.Street.Models = {};
    if (S.RoadCount < 1) return;
    for (int m = 0; m < 3; ++m) {
        for (const bool slow : {false, true}) {
            Vehicle v;
            v.Id = 20 * m + (slow ? 19 : 0);
            const std::optional<std::int32_t> k = VehicleObject(S.Program.BuildingCount, S.RoadCount, v);
            if (!k || !S.Program.Objects[static_cast<std::size_t>(*k)]) continue;
            const std::uint8_t kind = slow ? slow_vehicle_kind(m) : car_kind(m);
            VehicleModel& model = S.Street.Models[kind];
            model.Model = S.Program.Objects[static_cast<std::size_t>(*k)]->Model();
            if (model.Model == nullptr) continue;
            model.HasBox = model.Model->MeshBounds(model.Low, model.High);
            take_automated_model(S, kind, model, vehicle_mesh(m, slow ? 19 : 0));
        }
    }
}

// Objects first .. first + count - 1 in one batch; left empty unless every one has a model.
void batch_objects(const mdlKl::ProgramState& program, StaticBatch& batch, std::int64_t first,
                   std::int64_t count, float piece_length, bool merge_quads) {
    std::vector<cls3dObject*> models;
    for (std::int64_t i = 0; i < count; ++i) {
        const std::size_t k = static_cast<std::size_t>(first + i);
        cls3dObject* model =
            k < program.Objects.size() && program.Objects[k] ? program.Objects[k]->Model() : nullptr;
        if (model == nullptr) return;
        models.push_back(model);
    }
    batch.Build(models, piece_length, merge_quads);
}

// Road strips run for kilometres, most of their length far to the side or ahead as a sliver. Their
// squares, each with the texture starting afresh, are merged where they continue one another (the
// level tarmac no longer than a piece): towards the horizon hundreds of them would share a few rows
// of pixels. Cut into pieces, only those that can reach the picture are drawn.
constexpr float kRoadPieceLength = 960.0f;

} // namespace

bool SetUpScene(SceneState& S, const RunConfiguration& run) {
    S.RoadCount = run.RoadCount;

    // One call per step: a font that cannot be made still leaves the colour and the rectangle set.
    S.HudText = std::make_unique<cls2dText>();
    resume_past_fault([&] { S.HudText->SetFont("Arial", 20, false, false, false); });
    resume_past_fault([&] { S.HudText->SetColor(mdlMain::ColorRGB(255, 255, 255)); });
    resume_past_fault([&] { S.HudText->SetPosition(0, 0, 900, 20); });
    S.PromptText = std::make_unique<cls2dText>();
    resume_past_fault([&] { S.PromptText->SetFont("Arial", 20, true, false, false); });
    resume_past_fault([&] { S.PromptText->SetColor(mdlMain::ColorRGB(255, 255, 255)); });

    resume_past_fault([&] {
        if (S.Program.Settings.LastPlayer < 0) throw Fault("Subscript out of range");
        S.Program.Players.clear();
        S.Program.Players.resize(static_cast<std::size_t>(S.Program.Settings.LastPlayer) + 1);
        for (auto& p : S.Program.Players)
            p = std::make_unique<Player>();
    });
    S.Program.Objects.clear();
    S.Program.Objects.resize(static_cast<std::size_t>(LastObjectIndex) + 1);

    mdlKl::ClearSceneTextures();
    fill_slot(0, "sky001.bmp");
    fill_slot(1, "0001.bmp");
    for (const TextureGroup& g : kFacadeGroups) {
        for (int k = 1; k <= g.count; ++k) {
            char name[32];
            std::snprintf(name, sizeof name, "3c-%02d-%02d.jpg", g.group, k);
            fill_slot(g.first_slot + k - 1, name);
        }
    }
    fill_slot(116, "33063001.jpg");
    fill_slot(117, "white.bmp");

    if (S.Program.Settings.AnisotropicFilter != 0)
        resume_past_fault([&] { S.Program.Engine->SetAnisotropicState(true); });

    S.FirstRound = true;
    S.Round.RoundCount = 0;

    for (std::int64_t i = 0; i <= S.Program.Settings.LastPlayer; ++i) {
        // A failing test counts as failed initialisation, and set-up stops either way.
        if (holds_or_faults(
                [&] { return !S.Program.PlayerAt(i).Initialize(0, static_cast<std::int32_t>(i), nullptr); }))
            return false;
    }

    S.ObjIndex = 0;
    add_object(S, "SKY1.x", 800, 800, -500);
    add_object(S, "s-all.x", -6000, 0, -5);
    S.Program.BuildingCount = 400;
    for (int k = 0; k <= 1; ++k) {
        for (int i = 0; i <= 99; ++i) {
            const float y = static_cast<float>(15 * k + 30 * i);
            add_object(S, "MODEL1.x", static_cast<float>(40 - 15 * k), y, -5);
            add_object(S, "MODEL1.x", static_cast<float>(55 + 15 * k + 20 * S.RoadCount), y, -5);
        }
    }
    for (int r = 0; r < S.RoadCount; ++r)
        add_object(S, "_ROUTE.x", 51.85f + 20.0f * static_cast<float>(r), 50, -4.9f);
    for (int r = 0; r < S.RoadCount; ++r) {
        for (int m = 0; m <= 2; ++m) {
            for (int n = 0; n <= 19; ++n) {
                resume_past_fault(
                    [&] { checked_at(S.Program.Objects, S.ObjIndex) = std::make_unique<KlObject>(); });
                resume_past_fault(
                    [&] { S.Program.ObjectAt(S.ObjIndex).Initialize(vehicle_mesh(m, n), 0, S.ObjIndex); });
                resume_past_fault([&] { S.Program.ObjectAt(S.ObjIndex).ChangeDir(0); });
                S.ObjIndex += 1;
            }
        }
    }

    batch_objects(S.Program, S.Street.Buildings, 2, S.Program.BuildingCount, 0, false);
    batch_objects(S.Program, S.Street.Roads, road_object_index(S.Program.BuildingCount, 0), S.RoadCount,
                  kRoadPieceLength, true);
    take_vehicle_models(S);
    LoadFurnitureModels(S.Street);
    SetUpTrafficState(S);
    return true;
}

void SetUpTrafficModel(SceneState& S) {
    if (!S.Model || S.Model->kind() != S.Program.TrafficKind)
        S.Model = make_traffic_model(S.Program.TrafficKind, platform::OptimisationsOff(),
                                     &S.Program.TrafficParameters, measured_vehicle_lengths(S.Street));
    S.Model->set_scenario(S.Program.ScenarioChosen());
    S.Model->set_variation(S.Program.Vary);
    S.Model->set_lane_changes(S.Program.LaneChanges);
    resume_past_fault([&] { S.Model->set_up(S.RoadCount, S.Program.Rnd, S.Street.Vehicles); });
}

void SetUpTrafficState(SceneState& S) {
    // The followed vehicle is found afresh on the new ring.
    S.Follow.Along = std::numeric_limits<double>::quiet_NaN();
    SetUpTrafficModel(S);
    FitStreetToTraffic(S);
    // The objects stand where their vehicles start, so that even a frame that takes no step (paused)
    // draws them there.
    PlaceVehicleObjects(S.Program, S.Street.Vehicles, S.RoadCount);
    S.ObjIndex =
        static_cast<std::int32_t>(vehicle_object_index(S.Program.BuildingCount, S.RoadCount, 0, S.RoadCount));
    if (S.Observer) resume_past_fault([&] { S.Observer->traffic_set_up(S); });
}

void ReleaseScene(mdlKl::ProgramState& program) {
    program.Players.clear();
    program.Objects.clear();
    mdlKl::ClearSceneTextures();
}

} // namespace kl::scene

// The program's state in one owned structure: the settings of the run, the display's records, the
// random source, the engine and input objects, the user's vehicles, the placed scene objects and the
// tally of faults resumed past.
// The round state is the scene's (mdlKl::RoundState in SceneState).
#pragma once

#include "engine/cls3d_engine.h"
#include "engine/records.h"
#include "engine/settings_record.h"
#include "input/cls_input.h"
#include "sim/kl_object.h"
#include "sim/player.h"
#include "sim/resumed_faults.h"
#include "traffic/idm.h"
#include "traffic/model.h"
#include "traffic/random_source.h"
#include "traffic/ring.h"

#include <cstdint>
#include <filesystem>
#include <memory>
#include <vector>

namespace kl::mdlKl {

// Members go in the reverse of declaration order, so what is declared later goes first: the scene
// objects and players before the input and the engine whose device their meshes were made on, the
// engine before the settings it reads its aspect ratio from.
struct ProgramState {
    SettingsRecord Settings;
    // The faults the scene resumed past, by place, for --stats and the end-of-run report.
    ResumedFaults Faults;
    // What BringUpDisplay found: the capability record and the modes it chose among.
    EngineCaps DeviceCaps{};
    std::vector<DisplayMode> ModeList;
    // The one random generator, seeded once per run (seconds since midnight, or a seed given).
    RandomSource Rnd;

    std::unique_ptr<cls3dEngine> Engine;
    std::unique_ptr<clsInput> Input;
    std::int16_t Gear = 0;

    // Players 0 .. Settings.LastPlayer; Objects as the scene lays them out, empty slots hold no object.
    std::vector<std::unique_ptr<Player>> Players;
    std::vector<std::unique_ptr<KlObject>> Objects;
    std::int16_t BuildingCount = 0;

    // The previous frame's time, by which the traffic moves; kept across rounds.
    float LastFrameTime = 0.0f;

    // The traffic model the scene sets up (M switches it), the car-following model's parameters as
    // the parameter panel leaves them, and the file its Save writes them to (beside the settings
    // file; empty when there is none).
    TrafficModelKind TrafficKind = TrafficModelKind::Classic;
    IdmParameters TrafficParameters;
    std::filesystem::path TrafficParametersFile;
    // The street the car-following model runs on (the F3 panel switches it) and the ring's length a
    // lane, metres. The parameters and their file go with the scenario: each has its own defaults.
    TrafficScenario Scenario = TrafficScenario::Open;
    double RingLength = DefaultRingLength;
    // The road of the scenarios fed by an inflow, metres, and their inflows in vehicles per hour (a
    // lane of the main road; the on-ramp). Negative: the scenario's own default.
    double RoadLength = DefaultRoadLength;
    double Inflow = -1, RampInflow = -1;
    // --vary: one parameter spread over the roads; inactive without.
    RoadVariation Vary;
    // Automated vehicles a lane on the streets that take them (see ScenarioSettings).
    int AutomatedPerLane = 0;
    // The street the car-following model is set up on, from the fields above.
    ScenarioSettings ScenarioChosen() const;
    // --traffic-parameters: read instead of the scenario's file beside the settings; empty without.
    std::filesystem::path TrafficParametersGiven;
    // Off: the car-following model's vehicles keep their lanes (--lane-changes, the F3 panel).
    bool LaneChanges = true;

    // Element access that raises kl::Fault for an index outside the array or an empty slot.
    Player& PlayerAt(std::int64_t i);
    KlObject& ObjectAt(std::int64_t k);
};

namespace detail {
// Held in place rather than behind a pointer, so reaching a member costs what a global did: the
// frame loop reads these once per vehicle.
inline ProgramState program;
} // namespace detail

inline ProgramState& Program() {
    return detail::program;
}

// Everything back to its start, as the program finds it at launch: the scene textures first (the
// table lives in resources, below this layer), then the old state in the reverse of its member
// order, and only then a fresh one, so no old engine outlives the new state's making.
void ResetProgram();

// The program's PlayerAt and ObjectAt.
Player& PlayerAt(std::int64_t i);
KlObject& ObjectAt(std::int64_t k);

} // namespace kl::mdlKl

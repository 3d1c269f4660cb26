// Resetting the program state and checked access to its arrays.
#include "sim/mdl_kl.h"

#include "fault/fault.h"
#include "resources/scene_textures.h"

#include <memory>

namespace kl::mdlKl {

void ResetProgram() {
    ClearSceneTextures();
    std::destroy_at(&detail::program);
    std::construct_at(&detail::program);
}

Player& ProgramState::PlayerAt(std::int64_t i) {
    auto& slot = checked_at(Players, i);
    if (!slot) throw Fault("Object variable not set");
    return *slot;
}

KlObject& ProgramState::ObjectAt(std::int64_t k) {
    auto& slot = checked_at(Objects, k);
    if (!slot) throw Fault("Object variable not set");
    return *slot;
}

ScenarioSettings ProgramState::ScenarioChosen() const {
    ScenarioSettings s = default_settings(Scenario);
    s.RingLength = RingLength;
    s.RoadLength = RoadLength;
    if (Inflow >= 0) s.Inflow = Inflow;
    if (RampInflow >= 0) s.RampInflow = RampInflow;
    if (takes_automated(Scenario)) s.AutomatedPerLane = AutomatedPerLane;
    return s;
}

Player& PlayerAt(std::int64_t i) {
    return Program().PlayerAt(i);
}

KlObject& ObjectAt(std::int64_t k) {
    return Program().ObjectAt(k);
}

} // namespace kl::mdlKl

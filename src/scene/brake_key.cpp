#include "scene/brake_key.h"

#include "engine/math.h"
#include "scene/follow_vehicle.h"
#include "scene/guarded.h"
#include "scene/scene_state.h"
#include "scene/space_time_diagram.h"
#include "sim/mdl_kl.h"

#include <cmath>
#include <limits>

namespace kl::scene {

std::optional<BrakeTarget> ChooseBrakeTarget(const SceneState& S) {
    if (S.Follow.Active && DrawnVehicle(S.Street, S.Follow.Road, S.Follow.Id))
        return BrakeTarget{S.Follow.Road, S.Follow.Id};
    Vec3 U, V{0, 1, 0};
    resume_past_fault([&] {
        U = S.Program.PlayerAt(0).POSX();
        V = S.Program.PlayerAt(0).DirPropV();
    });
    const std::int32_t road = road_under(U.x, S.Street.Vehicles.roads());
    if (road < 0) return std::nullopt;
    const double ring = S.Model ? S.Model->ring_length(road) : 0.0;
    const double forward = V.y < 0 ? -1.0 : 1.0;
    std::optional<BrakeTarget> best;
    double best_ahead = std::numeric_limits<double>::infinity();
    for (const Vehicle& v : S.Street.Vehicles.road(road)) {
        if (!IsDrawn(v)) continue;
        double ahead = (VehicleSimPosition(v).y - U.y) * forward;
        if (ring > 0) ahead -= std::floor(ahead / ring) * ring;
        if (ahead >= 0 && ahead < best_ahead) {
            best_ahead = ahead;
            best = BrakeTarget{road, v.Id};
        }
    }
    return best;
}

std::string BrakeVehicle(SceneState& S) {
    if (!S.Model || S.Model->kind() == TrafficModelKind::Classic)
        return "J brakes vehicles of the car-following model (idm): M switches to it";
    const auto target = ChooseBrakeTarget(S);
    if (!target) return "J: no vehicle ahead on this road";
    if (!S.Model->brake(target->Road, target->Id, kBrakeDeceleration, kBrakeSeconds))
        return "J: that vehicle cannot brake";
    const Vehicle* v = S.Street.Vehicles.find(target->Road, target->Id);
    return "braking road " + std::to_string(target->Road) + ", lane " + std::to_string(v ? v->Lane : -1) +
           " vehicle " + std::to_string(target->Id) + ": 4 m/s\xC2\xB2 for 2 s";
}

std::string SwitchAutomated(SceneState& S) {
    if (!S.Model || S.Model->kind() == TrafficModelKind::Classic)
        return "A: automated vehicles drive in the car-following model (idm): M switches to it";
    if (!takes_automated(S.Model->scenario_settings().Scenario))
        return "A: automated vehicles drive on the ring and the roadworks and on-ramp streets";
    const Vehicle* v = S.Follow.Active ? DrawnVehicle(S.Street, S.Follow.Road, S.Follow.Id) : nullptr;
    if (v == nullptr) return "A: follow a vehicle first (V)";
    const bool automated = !v->Automated;
    if (!S.Model->set_automated(v->Road, v->Id, automated)) return "A: that vehicle cannot change";
    return "road " + std::to_string(v->Road) + " vehicle " + std::to_string(v->Id) +
           (automated ? " is automated now" : " is driven by a human again");
}

} // namespace kl::scene

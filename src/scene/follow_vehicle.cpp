// The followed vehicle is named by its place in the traffic tables (road, lane slot, vehicle), so it
// stays the same vehicle through its lane changes; its position comes from the tables as the traffic
// step places its object.
#include "scene/follow_vehicle.h"

#include "engine/math.h"
#include "scene/guarded.h"
#include "scene/run_scene.h"
#include "scene/scene_state.h"
#include "sim/chase_camera.h"
#include "sim/mdl_kl.h"
#include "traffic/traffic.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace kl::scene {

using namespace mdlKl;

namespace {

// The user's viewpoint rides at this height; the on-board view of a followed vehicle rides there
// too rather than at the height its model is placed at.
constexpr float kEyeHeight = 1.0f;

std::int32_t roads_in_tables(const SceneState& S) {
    return std::min<std::int32_t>(S.RoadCount, VehicleTable<int>::Roads);
}

// Along the road, turned towards the lane it slides to, as if it got there 20 m ahead.
Vec3 heading(const TrafficTables& T, const FollowedVehicle& f) {
    const double across =
        T.VehSideStep(f.Slot, f.Index, f.Road) == 0
            ? 0.0
            : 4 * (T.VehTargetOffset(f.Slot, f.Index, f.Road) - T.VehOffset(f.Slot, f.Index, f.Road)) / 25.0;
    return Vec3Normalize({static_cast<float>(across), 20.0f, 0.0f});
}

// The user's viewpoint is invisible, so its views look past it; a followed vehicle is what the
// viewer wants to see. The chase views look at the road 10 m ahead of it rather than 30 m ahead on
// the ground, where it would drop off the bottom of the picture, and the views from above stand
// over it rather than 15 m ahead. P is the vehicle's placement, at the height of its road.
void place_camera(const Vec3& P, const Vec3& D, Vec3& pos, Vec3& dest) {
    const std::int32_t mode = Program().Settings.CameraMode;
    PlaceChaseCamera({P.x, P.y, mode == 0 ? kEyeHeight : P.z}, D, pos, dest);
    if (mode == 1 || mode == 2) {
        dest = {P.x + 10 * D.x, P.z, P.y + 10 * D.y};
    } else if (mode >= 3 && mode <= 7) {
        pos = {P.x - 5 * D.x, pos.y, P.y - 5 * D.y};
        dest = {P.x, P.z, P.y};
    }
}

Vec3 along(const Vec3& from, const Vec3& to, float w) {
    return from + (to - from) * w;
}

} // namespace

std::optional<Vec3> TrafficVehiclePosition(const TrafficTables& T, std::int32_t road, std::int32_t slot,
                                           std::int32_t index) {
    if (road < 0 || road >= VehicleTable<int>::Roads || slot < 0 || slot > 2 || index < 0 ||
        index > TrafficTables::LastCar)
        return std::nullopt;
    const std::int32_t lane = T.VehLane(slot, index, road);
    const double dist = T.VehDist(slot, index, road);
    if (lane < 0 || lane > 2 || !std::isfinite(dist)) return std::nullopt;
    return Vec3{static_cast<float>(vehicle_x(road, T.VehOffset(slot, index, road))),
                static_cast<float>(vehicle_y(dist)), VehicleZ};
}

std::optional<Vec3> RingImagePosition(const TrafficTables& T, std::int32_t road, std::int32_t slot,
                                      std::int32_t index, double ring, double along) {
    auto p = TrafficVehiclePosition(T, road, slot, index);
    if (!p || !(ring > 0) || !std::isfinite(along)) return p;
    const double k = std::round((along - p->y) / ring);
    p->y = static_cast<float>(p->y + k * ring);
    return p;
}

void FollowNextVehicle(SceneState& S) {
    Vec3 U, V;
    resume_past_fault([&] {
        U = PlayerAt(0).POSX();
        V = PlayerAt(0).DirPropV();
    });
    const auto distance = [&](const Vec3& p) { return Vec3Length(p - U); };
    const double ring = S.Model ? S.Model->ring_length() : 0.0;
    double current = -1.0;
    if (S.Follow.Active)
        if (const auto p = RingImagePosition(*S.Traffic, S.Follow.Road, S.Follow.Slot, S.Follow.Index, ring,
                                             S.Follow.Along))
            current = distance(*p);

    FollowedVehicle nearest, next;
    double nearest_d = std::numeric_limits<double>::infinity(), next_d = nearest_d;
    for (std::int32_t r = 0; r < roads_in_tables(S); ++r)
        for (std::int32_t m = 0; m < 3; ++m)
            for (std::int32_t n = 0; n <= TrafficTables::LastCar; ++n) {
                // On a ring, the copies just behind and just ahead of the viewer.
                for (const double offset : {-0.5, 0.5}) {
                    const auto p = RingImagePosition(*S.Traffic, r, m, n, ring, U.y + offset * ring);
                    if (!p || !InViewCone(*p, U, V, kVehicleCone)) continue;
                    const double d = distance(*p);
                    FollowedVehicle candidate;
                    candidate.Active = true;
                    candidate.Road = r, candidate.Slot = m, candidate.Index = n;
                    candidate.Along = p->y;
                    if (d < nearest_d) nearest_d = d, nearest = candidate;
                    if (d > current && d < next_d) next_d = d, next = candidate;
                    if (!(ring > 0)) break;
                }
            }
    if (!nearest.Active) return;
    const FollowedVehicle chosen = next.Active ? next : nearest;
    S.Follow.Active = true;
    S.Follow.Road = chosen.Road;
    S.Follow.Slot = chosen.Slot;
    S.Follow.Index = chosen.Index;
    S.Follow.Along = chosen.Along;
    S.Follow.BlendLeft = kFollowBlendSeconds;
    S.Follow.FromPos = S.ChaseCamera->Pos();
    S.Follow.FromDest = S.ChaseCamera->Dest();
}

void PlaceFollowCamera(SceneState& S) {
    FollowedVehicle& f = S.Follow;
    if (!f.Active) return;
    const double ring = S.Model ? S.Model->ring_length() : 0.0;
    if (ring > 0 && !std::isfinite(f.Along)) f.Along = S.UserPos.y;
    const auto p = RingImagePosition(*S.Traffic, f.Road, f.Slot, f.Index, ring, f.Along);
    if (!p) {
        f.Active = false;
        return;
    }
    f.Along = p->y;
    Vec3 pos = S.ChaseCamera->Pos(), dest = S.ChaseCamera->Dest();
    place_camera(*p, heading(*S.Traffic, f), pos, dest);
    if (f.BlendLeft > 0.0f) {
        f.BlendLeft = std::max(0.0f, f.BlendLeft - S.Viewer.WallFrameTime);
        // Smoothstep: leaves the old view and reaches the vehicle without a jolt.
        const float t = 1.0f - f.BlendLeft / kFollowBlendSeconds, w = t * t * (3 - 2 * t);
        pos = along(f.FromPos, pos, w);
        dest = along(f.FromDest, dest, w);
    }
    // A glide left running by the chase of the user's vehicle would pull the camera away again.
    S.ChaseCamera->BlendPosition(pos, 0.0f);
    S.ChaseCamera->Pos(pos);
    S.ChaseCamera->Dest(dest);
}

std::string FollowedVehicleText(const SceneState& S) {
    const FollowedVehicle& f = S.Follow;
    if (!f.Active || !TrafficVehiclePosition(*S.Traffic, f.Road, f.Slot, f.Index)) return {};
    const TrafficTables& T = *S.Traffic;
    const double kmh = T.VehSpeed(f.Slot, f.Index, f.Road) * 0.36 * 3.6;
    const double metres = T.VehDist(f.Slot, f.Index, f.Road) / 100.0;
    return "following road " + std::to_string(f.Road) + ", lane " +
           std::to_string(T.VehLane(f.Slot, f.Index, f.Road)) + ": " + std::to_string(std::lround(kmh)) +
           " km/h at " + std::to_string(std::llround(metres)) + " m";
}

} // namespace kl::scene

// The followed vehicle is named by its road and id, so it stays the same vehicle through its lane
// changes; its position is the street's, where the vehicle is drawn.
#include "scene/follow_vehicle.h"

#include "engine/math.h"
#include "scene/guarded.h"
#include "scene/view_test.h"
#include "sim/chase_camera.h"
#include "sim/mdl_kl.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace kl::scene {

namespace {

// The user's viewpoint rides at this height; the on-board view of a followed vehicle rides there
// too rather than at the height its model is placed at.
constexpr float kEyeHeight = 1.0f;

// Along the road, turned towards the lane it slides to, as if it got there 20 m ahead; on the
// on-ramp, along the ramp's strip.
Vec3 heading(const Vehicle& v, const Bottleneck& b) {
    const double across = v.Lane == RampLane ? ramp_across(b, v.Position + 20.0) - v.Across
                                             : v.Lane * LaneWidthMetres - v.Across;
    return Vec3Normalize({static_cast<float>(across), 20.0f, 0.0f});
}

// The user's viewpoint is invisible, so its views look past it; a followed vehicle is what the
// viewer wants to see. The chase views look at the road 10 m ahead of it rather than 30 m ahead on
// the ground, where it would drop off the bottom of the picture, and the views from above stand
// over it rather than 15 m ahead. P is the vehicle's placement, at the height of its road.
void place_camera(std::int32_t mode, const Vec3& P, const Vec3& D, Vec3& pos, Vec3& dest) {
    mdlKl::PlaceChaseCamera({P.x, P.y, mode == 0 ? kEyeHeight : P.z}, D, pos, dest);
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

bool IsDrawn(const Vehicle& v) {
    return v.Lane >= 0 && v.Lane <= RampLane && std::isfinite(v.Position) && std::isfinite(v.Across);
}

const Vehicle* DrawnVehicle(const Street& street, std::int32_t road, std::int32_t id) {
    const Vehicle* v = street.Vehicles.find(road, id);
    return v != nullptr && IsDrawn(*v) ? v : nullptr;
}

std::optional<Vec3> RingImagePosition(const Vehicle& v, double ring, double along) {
    if (!IsDrawn(v)) return std::nullopt;
    std::optional<Vec3> p = VehicleSimPosition(v);
    if (!(ring > 0) || !std::isfinite(along)) return p;
    const double k = std::round((along - p->y) / ring);
    p->y = static_cast<float>(p->y + k * ring);
    return p;
}

void FollowNextVehicle(SceneState& S) {
    Vec3 U, V;
    resume_past_fault([&] {
        U = S.Program.PlayerAt(0).POSX();
        V = S.Program.PlayerAt(0).DirPropV();
    });
    const auto distance = [&](const Vec3& p) { return Vec3Length(p - U); };
    // Each road closes on its own ring when the ring's length is swept.
    const auto ring_of = [&](std::int32_t road) { return S.Model ? S.Model->ring_length(road) : 0.0; };
    double current = -1.0;
    if (S.Follow.Active)
        if (const Vehicle* v = DrawnVehicle(S.Street, S.Follow.Road, S.Follow.Id))
            if (const auto p = RingImagePosition(*v, ring_of(v->Road), S.Follow.Along)) current = distance(*p);

    FollowedVehicle nearest, next;
    double nearest_d = std::numeric_limits<double>::infinity(), next_d = nearest_d;
    for (const Vehicle& v : S.Street.Vehicles.all()) {
        const double ring = ring_of(v.Road);
        // On a ring, the copies just behind and just ahead of the viewer.
        for (const double offset : {-0.5, 0.5}) {
            const auto p = RingImagePosition(v, ring, U.y + offset * ring);
            if (!p || !InViewCone(*p, U, V, kVehicleCone)) continue;
            const double d = distance(*p);
            FollowedVehicle candidate;
            candidate.Active = true;
            candidate.Road = v.Road, candidate.Id = v.Id;
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
    S.Follow.Id = chosen.Id;
    S.Follow.Along = chosen.Along;
    S.Follow.BlendLeft = kFollowBlendSeconds;
    S.Follow.FromPos = S.ChaseCamera->Pos();
    S.Follow.FromDest = S.ChaseCamera->Dest();
}

void PlaceFollowCamera(SceneState& S) {
    FollowedVehicle& f = S.Follow;
    if (!f.Active) return;
    const double ring = S.Model ? S.Model->ring_length(f.Road) : 0.0;
    if (ring > 0 && !std::isfinite(f.Along)) f.Along = S.UserPos.y;
    const Vehicle* v = DrawnVehicle(S.Street, f.Road, f.Id);
    const auto p = v != nullptr ? RingImagePosition(*v, ring, f.Along) : std::nullopt;
    if (!p) {
        f.Active = false;
        return;
    }
    f.Along = p->y;
    Vec3 pos = S.ChaseCamera->Pos(), dest = S.ChaseCamera->Dest();
    const ScenarioSettings street = S.Model ? S.Model->scenario_settings() : ScenarioSettings{};
    place_camera(S.Program.Settings.CameraMode, *p,
                 heading(*v, bottleneck_of(street.Scenario, street.RoadLength)), pos, dest);
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
    const Vehicle* v = f.Active ? DrawnVehicle(S.Street, f.Road, f.Id) : nullptr;
    if (v == nullptr) return {};
    const double kmh = v->Speed * 3.6;
    const std::string lane = v->Lane == RampLane ? "on-ramp" : "lane " + std::to_string(v->Lane);
    return "following road " + std::to_string(f.Road) + ", " + lane + ": " +
           std::to_string(std::lround(kmh)) + " km/h at " + std::to_string(std::llround(v->Position)) + " m" +
           (v->Automated ? ", automated" : "");
}

} // namespace kl::scene

// Each frame, road by road: lane changes first, one vehicle after another in scan order so that two
// never take the same gap, each judged by the accelerations as the changes before it left them; then
// the move by those accelerations, front to back in each lane, so that the leader's new position
// bounds its follower's.
#include "traffic/idm_model.h"

#include "traffic/dump.h"

#include <algorithm>
#include <cmath>

namespace kl {

namespace {

constexpr int LastCar = TrafficTables::LastCar;
constexpr double MetresPerSecondPerUnit = 0.36;

bool valid_lane(std::int32_t lane) {
    return lane >= 0 && lane < 3;
}

} // namespace

void IdmTraffic::set_up(TrafficTables& Tables, std::int32_t RoadCount, std::int32_t BuildingCount,
                        UniformSource& Random, VehiclePlacementSink& Sink) {
    set_up_traffic(Tables, RoadCount, BuildingCount, Random, Sink);
    adopt(Tables, RoadCount);
}

void IdmTraffic::adopt(const TrafficTables& Tables, std::int32_t RoadCount) {
    const int roads = std::clamp<std::int32_t>(RoadCount, 0, VehicleTable<int>::Roads);
    Roads.assign(static_cast<std::size_t>(roads), Road{});
    for (int r = 0; r < roads; ++r) {
        Road& road = Roads[static_cast<std::size_t>(r)];
        for (int m = 0; m < 3; ++m) {
            // A slow vehicle found standing still would want no speed at all, which the model cannot
            // divide by: it wants one speed unit at least.
            road.InverseSlowSpeed[m] =
                1.0 / (std::max(1, Tables.VehSpeed(m, LastCar, r)) * MetresPerSecondPerUnit);
            for (int n = 0; n <= LastCar; ++n) {
                const int s = m * (LastCar + 1) + n;
                const std::int32_t lane = Tables.VehLane(m, n, r);
                const double dist = Tables.VehDist(m, n, r);
                road.X[s] = dist / 100.0;
                road.V[s] = std::max(0, Tables.VehSpeed(m, n, r)) * MetresPerSecondPerUnit;
                road.HalfLen[s] = Lengths.of(m, n == LastCar) / 2;
                road.Active[s] = valid_lane(lane) && std::isfinite(dist);
                if (!road.Active[s]) continue;
                Row& row = road.Rows[lane];
                int k = row.Count++;
                for (; k > 0 && road.X[row.Slot[k - 1]] > road.X[s]; --k) {
                    row.Slot[k] = row.Slot[k - 1];
                    road.Pos[row.Slot[k]] = k;
                }
                row.Slot[k] = static_cast<std::int8_t>(s);
                road.Pos[s] = k;
            }
        }
    }
}

double IdmTraffic::speed(int r, int m, int n) const {
    if (r < 0 || r >= static_cast<int>(Roads.size()) || m < 0 || m >= 3 || n < 0 || n > LastCar)
        throw Fault("Subscript out of range");
    return Roads[static_cast<std::size_t>(r)].V[m * (LastCar + 1) + n];
}

// What every acceleration of one step shares: the rule and the inverse of the common desired speed.
struct IdmTraffic::StepRule {
    IdmRule Rule;
    double InverseDesired;

    // The IDM acceleration of slot s behind slot `leader` (-1: none) on one road.
    double acceleration(const Road& road, int s, int leader) const {
        const int n = s % (LastCar + 1);
        const double inverse = n == LastCar ? road.InverseSlowSpeed[s / (LastCar + 1)] : InverseDesired;
        if (leader < 0) return Rule.acceleration(inverse, road.V[s], NoLeader, 0.0);
        return Rule.acceleration(inverse, road.V[s], road.gap(s, leader), road.V[leader]);
    }
};

void IdmTraffic::change_lanes(Road& road, TrafficTables& Tables, int r, const StepRule& rule) {
    for (const Row& row : road.Rows)
        for (int i = 0; i < row.Count; ++i)
            road.Acc[row.Slot[i]] =
                rule.acceleration(road, row.Slot[i], i + 1 < row.Count ? row.Slot[i + 1] : -1);

    auto& Lane = Tables.VehLane.road(static_cast<std::size_t>(r));
    auto& Side = Tables.VehSideStep.road(static_cast<std::size_t>(r));
    for (int s = 0; s < Slots; ++s) {
        const int m = s / (LastCar + 1), n = s % (LastCar + 1);
        // The slow vehicles keep their lane, so each lane keeps its bottleneck; a vehicle still
        // sliding across finishes first.
        if (!road.Active[s] || n == LastCar || Side[m][n] != 0) continue;
        const std::int32_t from = Lane[m][n];
        Row& own = road.Rows[from];
        const int i = road.Pos[s];
        const int leader = i + 1 < own.Count ? own.Slot[i + 1] : -1;
        const int old_follower = i > 0 ? own.Slot[i - 1] : -1;
        // The old follower's gain is the same either side; worked out when first needed.
        bool old_follower_known = false;
        double old_follower_after = 0;

        int best_lane = -1, best_at = 0;
        double best = P.Threshold;
        for (const std::int32_t to : {from - 1, from + 1}) {
            if (!valid_lane(to)) continue;
            const Row& row = road.Rows[to];
            // First entry ahead of s: the new leader; the one before it is the new follower.
            int lo = 0, hi = row.Count;
            while (lo < hi) {
                const int mid = (lo + hi) / 2;
                if (road.X[row.Slot[mid]] <= road.X[s])
                    lo = mid + 1;
                else
                    hi = mid;
            }
            const int k = lo;
            const int new_leader = k < row.Count ? row.Slot[k] : -1;
            const int new_follower = k > 0 ? row.Slot[k - 1] : -1;
            if (new_leader >= 0 && !(road.gap(s, new_leader) > 0)) continue;
            if (new_follower >= 0 && !(road.gap(new_follower, s) > 0)) continue;

            LaneChangeAccelerations A;
            if (new_follower >= 0) {
                A.NewFollower = road.Acc[new_follower];
                A.NewFollowerAfter = rule.acceleration(road, new_follower, s);
            }
            // Unsafe for the new follower: nothing else about this side matters.
            if (!mobil_safe(P, A)) continue;
            A.Own = road.Acc[s];
            A.OwnAfter = rule.acceleration(road, s, new_leader);
            if (old_follower >= 0) {
                if (!old_follower_known) {
                    old_follower_after = rule.acceleration(road, old_follower, leader);
                    old_follower_known = true;
                }
                A.OldFollower = road.Acc[old_follower];
                A.OldFollowerAfter = old_follower_after;
            }
            const double advantage = mobil_advantage(P, A);
            if (advantage > best) {
                best = advantage;
                best_lane = to;
                best_at = k;
            }
        }
        if (best_lane < 0) continue;

        for (int k = i; k + 1 < own.Count; ++k) {
            own.Slot[k] = own.Slot[k + 1];
            road.Pos[own.Slot[k]] = k;
        }
        own.Count -= 1;
        Row& row = road.Rows[best_lane];
        for (int k = row.Count; k > best_at; --k) {
            row.Slot[k] = row.Slot[k - 1];
            road.Pos[row.Slot[k]] = k;
        }
        row.Slot[best_at] = static_cast<std::int8_t>(s);
        road.Pos[s] = best_at;
        row.Count += 1;
        // Only these three have a new leader now.
        road.Acc[s] = rule.acceleration(road, s, best_at + 1 < row.Count ? row.Slot[best_at + 1] : -1);
        if (best_at > 0) road.Acc[row.Slot[best_at - 1]] = rule.acceleration(road, row.Slot[best_at - 1], s);
        if (old_follower >= 0) road.Acc[old_follower] = rule.acceleration(road, old_follower, leader);

        // The slide across is the program's own: one offset step a frame towards the new lane.
        Tables.VehOffset.road(static_cast<std::size_t>(r))[m][n] = 25 * from;
        Side[m][n] = best_lane - from;
        Lane[m][n] = best_lane;
        Tables.VehTargetOffset.road(static_cast<std::size_t>(r))[m][n] = 25 * best_lane;
    }
}

void IdmTraffic::move(Road& road, double dt) {
    for (const Row& row : road.Rows) {
        for (int i = row.Count - 1; i >= 0; --i) {
            const int s = row.Slot[i];
            const double v = road.V[s], a = road.Acc[s];
            double x = road.X[s];
            double nv = v + a * dt;
            // Ballistic: a vehicle that would stop within the frame stops where it comes to rest.
            if (nv < 0) {
                x -= v * v / (2 * a);
                nv = 0;
            } else {
                x += v * dt + 0.5 * a * dt * dt;
            }
            if (i + 1 < row.Count) {
                // Never into the leader: at most up to its tail, and no faster than it.
                const int l = row.Slot[i + 1];
                const double tail = road.X[l] - road.HalfLen[l] - road.HalfLen[s];
                if (x > tail) {
                    x = std::max(road.X[s], tail);
                    nv = std::min(nv, road.V[l]);
                }
            }
            road.X[s] = x;
            road.V[s] = nv;
        }
    }
}

void IdmTraffic::step(TrafficTables& Tables, const TrafficFrame& Frame, VehiclePlacementSink& Sink) {
    if (Live) P = *Live;
    const int roads = std::min<std::int32_t>(Frame.RoadCount, static_cast<std::int32_t>(Roads.size()));
    const double dt =
        std::isfinite(Frame.LastFrameTime) && Frame.LastFrameTime > 0 ? Frame.LastFrameTime : 0.0;
    const StepRule rule{IdmRule(P), 1.0 / P.DesiredSpeed};
    for (int r = 0; r < roads; ++r) {
        Road& road = Roads[static_cast<std::size_t>(r)];
        change_lanes(road, Tables, r, rule);
        move(road, dt);

        auto& Dist = Tables.VehDist.road(static_cast<std::size_t>(r));
        auto& Speed = Tables.VehSpeed.road(static_cast<std::size_t>(r));
        auto& Offset = Tables.VehOffset.road(static_cast<std::size_t>(r));
        auto& Target = Tables.VehTargetOffset.road(static_cast<std::size_t>(r));
        auto& Side = Tables.VehSideStep.road(static_cast<std::size_t>(r));
        const long long first = vehicle_object_index(Frame.BuildingCount, Frame.RoadCount, 0, 0, r);
        for (int m = 0; m < 3; ++m) {
            for (int n = 0; n <= LastCar; ++n) {
                const int s = m * (LastCar + 1) + n;
                if (road.Active[s]) {
                    Dist[m][n] = road.X[s] * 100.0;
                    Speed[m][n] =
                        static_cast<std::int32_t>(std::nearbyint(road.V[s] / MetresPerSecondPerUnit));
                }
                Offset[m][n] += Side[m][n];
                if (Offset[m][n] == Target[m][n]) Side[m][n] = 0;
                const long long obj = first + s;
                if (obj < 0 || obj > LastObjectIndex) continue;
                Sink.place_vehicle(static_cast<std::int32_t>(obj),
                                   static_cast<float>(vehicle_x(r, Offset[m][n])),
                                   static_cast<float>(vehicle_y(Dist[m][n])), VehicleZ);
            }
        }
    }
}

void IdmTraffic::dump(std::ostream& out, const TrafficTables& Tables, std::int32_t RoadCount,
                      std::int64_t frames, float LastFrameTime) const {
    write_traffic_dump(out, Tables, RoadCount, frames, LastFrameTime, name());
}

} // namespace kl

// Each frame, road by road: lane changes first, one vehicle after another in scan order so that two
// never take the same gap; then every acceleration from the state as it stands; then the move, front
// to back in each lane, so that the leader's new position bounds its follower's.
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
            road.SlowSpeed[m] = std::max(1, Tables.VehSpeed(m, LastCar, r)) * MetresPerSecondPerUnit;
            for (int n = 0; n <= LastCar; ++n) {
                const int s = m * (LastCar + 1) + n;
                const std::int32_t lane = Tables.VehLane(m, n, r);
                const double dist = Tables.VehDist(m, n, r);
                road.X[s] = dist / 100.0;
                road.V[s] = std::max(0, Tables.VehSpeed(m, n, r)) * MetresPerSecondPerUnit;
                road.Len[s] = vehicle_length(m, n == LastCar);
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

namespace {

// The IDM acceleration of slot s behind slot `leader` (-1: none) on one road.
template <typename Road> double acceleration(const IdmParameters& P, const Road& road, int s, int leader) {
    const double desired = s % (LastCar + 1) == LastCar ? road.SlowSpeed[s / (LastCar + 1)] : P.DesiredSpeed;
    if (leader < 0) return idm_acceleration(P, desired, road.V[s], NoLeader, 0.0);
    return idm_acceleration(P, desired, road.V[s], road.X[leader] - road.Len[leader] - road.X[s],
                            road.V[leader]);
}

} // namespace

void IdmTraffic::change_lanes(Road& road, TrafficTables& Tables, int r) {
    for (int s = 0; s < Slots; ++s) {
        const int m = s / (LastCar + 1), n = s % (LastCar + 1);
        // The slow vehicles keep their lane, so each lane keeps its bottleneck; a vehicle still
        // sliding across finishes first.
        if (!road.Active[s] || n == LastCar || Tables.VehSideStep(m, n, r) != 0) continue;
        const std::int32_t from = Tables.VehLane(m, n, r);
        Row& own = road.Rows[from];
        const int i = road.Pos[s];
        const int leader = i + 1 < own.Count ? own.Slot[i + 1] : -1;
        const int old_follower = i > 0 ? own.Slot[i - 1] : -1;

        int best_lane = -1, best_at = 0;
        double best = P.Threshold;
        for (const std::int32_t to : {from - 1, from + 1}) {
            if (!valid_lane(to)) continue;
            const Row& row = road.Rows[to];
            // First entry ahead of s: the new leader; the one before it is the new follower.
            int k = 0;
            while (k < row.Count && road.X[row.Slot[k]] <= road.X[s])
                ++k;
            const int new_leader = k < row.Count ? row.Slot[k] : -1;
            const int new_follower = k > 0 ? row.Slot[k - 1] : -1;
            if (new_leader >= 0 && !(road.X[new_leader] - road.Len[new_leader] - road.X[s] > 0)) continue;
            if (new_follower >= 0 && !(road.X[s] - road.Len[s] - road.X[new_follower] > 0)) continue;

            LaneChangeAccelerations A;
            A.Own = acceleration(P, road, s, leader);
            A.OwnAfter = acceleration(P, road, s, new_leader);
            if (new_follower >= 0) {
                A.NewFollower = acceleration(P, road, new_follower, new_leader);
                A.NewFollowerAfter = acceleration(P, road, new_follower, s);
            }
            if (old_follower >= 0) {
                A.OldFollower = acceleration(P, road, old_follower, s);
                A.OldFollowerAfter = acceleration(P, road, old_follower, leader);
            }
            const double advantage = mobil_advantage(P, A);
            if (mobil_safe(P, A) && advantage > best) {
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

        // The slide across is the program's own: one offset step a frame towards the new lane.
        Tables.VehOffset(m, n, r) = 25 * from;
        Tables.VehSideStep(m, n, r) = best_lane - from;
        Tables.VehLane(m, n, r) = best_lane;
        Tables.VehTargetOffset(m, n, r) = 25 * best_lane;
    }
}

void IdmTraffic::move(Road& road, double dt) {
    double A[Slots];
    for (const Row& row : road.Rows)
        for (int i = 0; i < row.Count; ++i)
            A[row.Slot[i]] = acceleration(P, road, row.Slot[i], i + 1 < row.Count ? row.Slot[i + 1] : -1);

    for (const Row& row : road.Rows) {
        for (int i = row.Count - 1; i >= 0; --i) {
            const int s = row.Slot[i];
            const double v = road.V[s], a = A[s];
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
                const double tail = road.X[l] - road.Len[l];
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
    for (int r = 0; r < roads; ++r) {
        Road& road = Roads[static_cast<std::size_t>(r)];
        change_lanes(road, Tables, r);
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
                const double x = (54 + 20 * r) + 4 * Offset[m][n] / 25.0;
                const double y = 50.0 + Dist[m][n] / 100.0;
                Sink.place_vehicle(static_cast<std::int32_t>(obj), static_cast<float>(x),
                                   static_cast<float>(y), -4.8f);
            }
        }
    }
}

void IdmTraffic::dump(std::ostream& out, const TrafficTables& Tables, std::int32_t RoadCount,
                      std::int64_t frames, float LastFrameTime) const {
    write_traffic_dump(out, Tables, RoadCount, frames, LastFrameTime, name());
}

} // namespace kl

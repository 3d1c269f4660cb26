// Each frame, road by road: lane changes first, one vehicle after another in scan order so that two
// never take the same gap, each judged by the accelerations as the changes before it left them; then
// the move by those accelerations, front to back in each lane, so that the leader's new position
// bounds its follower's.
#include "traffic/idm_model.h"

#include "traffic/dump.h"
#include "traffic/statistics.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>

namespace kl {

namespace {

constexpr int LastCar = TrafficTables::LastCar;
constexpr double MetresPerSecondPerUnit = 0.36;

bool valid_lane(std::int32_t lane) {
    return lane >= 0 && lane < 3;
}

} // namespace

void IdmTraffic::set_scenario(TrafficScenario scenario, double ring_length) {
    Scenario = scenario;
    NextRing = std::isfinite(ring_length) ? std::clamp(ring_length, MinRingLength, MaxRingLength)
                                          : DefaultRingLength;
}

void IdmTraffic::set_up(std::int32_t RoadCount, UniformSource& Random, VehicleList& Vehicles) {
    if (Scenario == TrafficScenario::Ring) {
        set_up_ring(RoadCount, Random);
        list_vehicles(Vehicles);
        return;
    }
    Ring = 0;
    set_up_traffic(*Tables, RoadCount, Random);
    adopt(*Tables, RoadCount, Vehicles);
}

void IdmTraffic::set_up_ring(std::int32_t RoadCount, UniformSource& Random) {
    TrafficTables& T = *Tables;
    if (Live) P = *Live;
    const int roads = roads_in_tables(RoadCount);
    struct Start {
        double X[Slots], V;
    };
    std::vector<Start> starts(static_cast<std::size_t>(roads));
    for (int r = 0; r < roads; ++r) {
        Start& start = starts[static_cast<std::size_t>(r)];
        for (int m = 0; m < 3; ++m) {
            double total = 0;
            for (int n = 0; n <= LastCar; ++n)
                total += Lengths.of(m, n == LastCar);
            const double gap = (NextRing - total) / (LastCar + 1);
            start.V = equilibrium_speed(P, gap);
            // Each lane starts a third of a spacing on from the one beside it, so that the lanes do
            // not drive side by side.
            double x = (NextRing / (LastCar + 1)) * m / 3.0;
            for (int n = 0; n <= LastCar; ++n) {
                const double len = Lengths.of(m, n == LastCar);
                const double here = x + len / 2 + (Random.next() - 0.5);
                x += len + gap;
                const double wrapped = here >= NextRing ? here - NextRing : here < 0 ? here + NextRing : here;
                T.VehLane(m, n, r) = m;
                T.VehDist(m, n, r) = wrapped * 100.0;
                T.VehSpeed(m, n, r) = static_cast<std::int32_t>(std::nearbyint(start.V / MetresPerSecondPerUnit));
                T.VehOffset(m, n, r) = 25 * m;
                T.VehTargetOffset(m, n, r) = 25 * m;
                T.VehSideStep(m, n, r) = 0;
                start.X[m * (LastCar + 1) + n] = wrapped;
            }
        }
    }
    VehicleList adopted;
    adopt(T, RoadCount, adopted);
    Ring = NextRing;
    // The tables round the speeds and hundredths; the model starts from the exact values.
    for (int r = 0; r < roads; ++r) {
        Road& road = Roads[static_cast<std::size_t>(r)];
        road.Ring = Ring;
        for (int m = 0; m < 3; ++m) {
            double total = 0;
            for (int n = 0; n <= LastCar; ++n)
                total += Lengths.of(m, n == LastCar);
            const double v = equilibrium_speed(P, (Ring - total) / (LastCar + 1));
            for (int n = 0; n <= LastCar; ++n) {
                const int s = m * (LastCar + 1) + n;
                road.X[s] = starts[static_cast<std::size_t>(r)].X[s];
                road.V[s] = v;
            }
        }
        // Sorted again by the exact positions, which the rounding may have left in another order
        // only where two were within a hundredth; the insertion keeps it cheap.
        for (Row& row : road.Rows) {
            for (int i = 1; i < row.Count; ++i)
                for (int k = i; k > 0 && road.X[row.Slot[k - 1]] > road.X[row.Slot[k]]; --k)
                    std::swap(row.Slot[k - 1], row.Slot[k]);
            for (int i = 0; i < row.Count; ++i)
                road.Pos[row.Slot[i]] = i;
        }
    }
}

bool IdmTraffic::brake(std::int32_t r, std::int32_t s, double deceleration, double seconds) {
    if (r < 0 || r >= static_cast<int>(Roads.size()) || s < 0 || s >= Slots || !(deceleration > 0) ||
        !(seconds > 0))
        return false;
    Road& road = Roads[static_cast<std::size_t>(r)];
    if (!road.Active[s]) return false;
    road.BrakeLeft[s] = seconds;
    road.BrakeDeceleration[s] = deceleration;
    return true;
}

void IdmTraffic::adopt(const TrafficTables& From, std::int32_t RoadCount, VehicleList& Vehicles) {
    if (&From != Tables.get()) *Tables = From;
    const TrafficTables& T = *Tables;
    const int roads = std::clamp<std::int32_t>(RoadCount, 0, VehicleTable<int>::Roads);
    Roads.assign(static_cast<std::size_t>(roads), Road{});
    for (int r = 0; r < roads; ++r) {
        Road& road = Roads[static_cast<std::size_t>(r)];
        road.Ring = Ring;
        for (int m = 0; m < 3; ++m) {
            // A slow vehicle found standing still would want no speed at all, which the model cannot
            // divide by: it wants one speed unit at least.
            road.InverseSlowSpeed[m] =
                1.0 / (std::max(1, T.VehSpeed(m, LastCar, r)) * MetresPerSecondPerUnit);
            for (int n = 0; n <= LastCar; ++n) {
                const int s = m * (LastCar + 1) + n;
                const std::int32_t lane = T.VehLane(m, n, r);
                const double dist = T.VehDist(m, n, r);
                road.X[s] = dist / 100.0;
                road.V[s] = std::max(0, T.VehSpeed(m, n, r)) * MetresPerSecondPerUnit;
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
    list_vehicles(Vehicles);
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
    // On the ring every driver is the same: no slow vehicles.
    bool SlowVehicles;

    // The IDM acceleration of slot s behind slot `leader` (-1: none) on one road.
    double acceleration(const Road& road, int s, int leader) const {
        const int n = s % (LastCar + 1);
        const double inverse =
            SlowVehicles && n == LastCar ? road.InverseSlowSpeed[s / (LastCar + 1)] : InverseDesired;
        if (leader < 0) return Rule.acceleration(inverse, road.V[s], NoLeader, 0.0);
        return Rule.acceleration(inverse, road.V[s], road.gap(s, leader), road.V[leader]);
    }
};

void IdmTraffic::change_lanes(Road& road, int r, const StepRule& rule) {
    TrafficTables& T = *Tables;
    for (const Row& row : road.Rows)
        for (int i = 0; i < row.Count; ++i)
            road.Acc[row.Slot[i]] = rule.acceleration(road, row.Slot[i], road.ahead_of(row, i));

    auto& Lane = T.VehLane.road(static_cast<std::size_t>(r));
    auto& Side = T.VehSideStep.road(static_cast<std::size_t>(r));
    for (int s = 0; s < Slots; ++s) {
        const int m = s / (LastCar + 1), n = s % (LastCar + 1);
        // The slow vehicles keep their lane, so each lane keeps its bottleneck; a vehicle still
        // sliding across finishes first.
        if (!road.Active[s] || (rule.SlowVehicles && n == LastCar) || Side[m][n] != 0) continue;
        const std::int32_t from = Lane[m][n];
        Row& own = road.Rows[from];
        const int i = road.Pos[s];
        // Alone on a ring, the vehicle is its own leader and follower; once it has left, the lane
        // holds nobody to follow or lead.
        const bool alone = own.Count == 1;
        const int leader = alone ? -1 : road.ahead_of(own, i);
        const int old_follower = alone ? -1 : road.behind_of(own, i);
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
            const int new_leader = k < row.Count ? row.Slot[k] : road.ahead_of(row, row.Count - 1);
            const int new_follower = road.behind_of(row, k);
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
        road.Acc[s] = rule.acceleration(road, s, road.ahead_of(row, best_at));
        if (const int follower = road.behind_of(row, best_at); follower >= 0 && follower != s)
            road.Acc[follower] = rule.acceleration(road, follower, s);
        if (old_follower >= 0) road.Acc[old_follower] = rule.acceleration(road, old_follower, leader);

        // The slide across is the program's own: one offset step a frame towards the new lane.
        T.VehOffset.road(static_cast<std::size_t>(r))[m][n] = 25 * from;
        Side[m][n] = best_lane - from;
        Lane[m][n] = best_lane;
        T.VehTargetOffset.road(static_cast<std::size_t>(r))[m][n] = 25 * best_lane;
    }
}

void IdmTraffic::move(Road& road, double dt) {
    for (Row& row : road.Rows) {
        // The front vehicle of a ring lane follows the last one, which has not moved yet: its tail
        // where it is now bounds the move.
        const int first = row.Count > 0 ? row.Slot[0] : -1;
        const double first_tail = first >= 0 ? road.X[first] + road.Ring - road.HalfLen[first] : 0.0;
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
            } else if (road.Ring > 0 && first != s) {
                const double tail = first_tail - road.HalfLen[s];
                if (x > tail) {
                    x = std::max(road.X[s], tail);
                    nv = std::min(nv, road.V[first]);
                }
            }
            road.X[s] = x;
            road.V[s] = nv;
        }
        if (road.Ring > 0) wrap(road, row);
    }
}

void IdmTraffic::wrap(Road& road, Row& row) {
    // Those past the ring's end are the front of the row; round the ring they are its back, in the
    // same order.
    int past = 0;
    while (past < row.Count && road.X[row.Slot[row.Count - 1 - past]] >= road.Ring)
        ++past;
    if (past == 0) return;
    std::int8_t moved[Slots];
    for (int k = 0; k < past; ++k) {
        const int s = row.Slot[row.Count - past + k];
        road.X[s] -= road.Ring;
        moved[k] = static_cast<std::int8_t>(s);
    }
    for (int k = row.Count - 1; k >= past; --k)
        row.Slot[k] = row.Slot[k - past];
    for (int k = 0; k < past; ++k)
        row.Slot[k] = moved[k];
    for (int k = 0; k < row.Count; ++k)
        road.Pos[row.Slot[k]] = k;
}

void IdmTraffic::step(const TrafficFrame& Frame, VehicleList& Vehicles) {
    TrafficTables& T = *Tables;
    if (Live) P = *Live;
    const int roads = std::min<std::int32_t>(Frame.RoadCount, static_cast<std::int32_t>(Roads.size()));
    const double dt =
        std::isfinite(Frame.LastFrameTime) && Frame.LastFrameTime > 0 ? Frame.LastFrameTime : 0.0;
    const StepRule rule{IdmRule(P), 1.0 / P.DesiredSpeed, Ring == 0};
    for (int r = 0; r < roads; ++r) {
        Road& road = Roads[static_cast<std::size_t>(r)];
        change_lanes(road, r, rule);
        for (int s = 0; s < Slots; ++s)
            if (road.BrakeLeft[s] > 0) {
                road.Acc[s] = std::min(road.Acc[s], -road.BrakeDeceleration[s]);
                road.BrakeLeft[s] -= dt;
            }
        move(road, dt);

        auto& Dist = T.VehDist.road(static_cast<std::size_t>(r));
        auto& Speed = T.VehSpeed.road(static_cast<std::size_t>(r));
        auto& Offset = T.VehOffset.road(static_cast<std::size_t>(r));
        auto& Target = T.VehTargetOffset.road(static_cast<std::size_t>(r));
        auto& Side = T.VehSideStep.road(static_cast<std::size_t>(r));
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
            }
        }
    }
    list_vehicles(Vehicles);
}

void IdmTraffic::list_vehicles(VehicleList& Vehicles) const {
    const TrafficTables& T = *Tables;
    const auto roads = static_cast<std::int32_t>(Roads.size());
    Vehicles.start(roads);
    Vehicles.reserve(static_cast<std::size_t>(roads) * Slots);
    for (std::int32_t r = 0; r < roads; ++r) {
        const Road& road = Roads[static_cast<std::size_t>(r)];
        const auto ru = static_cast<std::size_t>(r);
        for (int m = 0; m < 3; ++m) {
            for (int n = 0; n <= LastCar; ++n) {
                const int s = m * (LastCar + 1) + n;
                Vehicle v;
                v.Road = r;
                v.Id = s;
                v.Lane = T.VehLane.road(ru)[m][n];
                v.Kind = n < LastCar ? car_kind(m) : slow_vehicle_kind(m);
                v.Across = offset_metres(T.VehOffset.road(ru)[m][n]);
                // A vehicle the model does not drive stays as the tables have it.
                v.Position = road.Active[s] ? road.X[s] : distance_metres(T.VehDist.road(ru)[m][n]);
                v.Speed = road.Active[s] ? road.V[s] : T.VehSpeed.road(ru)[m][n] * MetresPerSecondPerSpeedUnit;
                v.Acceleration = road.Active[s] ? road.Acc[s] : 0.0;
                Vehicles.add(v);
            }
        }
    }
}

void IdmTraffic::dump(std::ostream& out, std::int32_t RoadCount, std::int64_t frames,
                      float LastFrameTime) const {
    // The model's own state in full: the tables round it.
    std::string more = ",\n\"scenario\": \"";
    more += traffic_scenario_name(Ring > 0 ? TrafficScenario::Ring : TrafficScenario::Open);
    more += "\", \"ring_length_m\": ";
    if (Ring > 0) {
        char buf[40];
        more.append(buf, std::to_chars(buf, buf + sizeof buf, Ring).ptr);
    } else {
        more += "null";
    }
    put_vehicle_values(more, "position_m", RoadCount, [&](int r, int m, int n) {
        if (r >= static_cast<int>(Roads.size())) return std::numeric_limits<double>::quiet_NaN();
        return Roads[static_cast<std::size_t>(r)].X[m * (LastCar + 1) + n];
    });
    put_vehicle_values(more, "speed_m_per_s", RoadCount, [&](int r, int m, int n) {
        if (r >= static_cast<int>(Roads.size())) return std::numeric_limits<double>::quiet_NaN();
        return Roads[static_cast<std::size_t>(r)].V[m * (LastCar + 1) + n];
    });
    write_traffic_dump(out, *Tables, RoadCount, frames, LastFrameTime, name(), more);
}

} // namespace kl

// Each frame, road by road: lane changes first, one vehicle after another in slot order so that two
// never take the same gap, each judged by the accelerations as the changes before it left them; then
// the move by those accelerations, front to back in each lane, so that the leader's new position
// bounds its follower's.
#include "traffic/idm_model.h"

#include "traffic/automated.h"
#include "traffic/dump.h"
#include "traffic/inflow.h"
#include "traffic/statistics.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>

namespace kl {

namespace {

constexpr int LastCar = TrafficTables::LastCar;

bool valid_lane(std::int32_t lane) {
    return lane >= 0 && lane < 3;
}

// Road r's cells of every table, for the loops that write a road's cells.
struct RoadCells {
    RoadCells(TrafficTables& T, std::size_t r)
        : Lane(T.VehLane.road(r)), Dist(T.VehDist.road(r)), Speed(T.VehSpeed.road(r)),
          Offset(T.VehOffset.road(r)), Target(T.VehTargetOffset.road(r)), Side(T.VehSideStep.road(r)) {}
    VehicleTable<std::int32_t>::Road& Lane;
    VehicleTable<double>::Road& Dist;
    VehicleTable<std::int32_t>::Road& Speed;
    VehicleTable<std::int32_t>::Road& Offset;
    VehicleTable<std::int32_t>::Road& Target;
    VehicleTable<std::int32_t>::Road& Side;
};

// Kinds 3 to 5: each lane slot's slow vehicle.
bool is_slow(std::uint8_t kind) {
    return kind >= 3;
}

double kept_to(double value, double low, double high, double otherwise) {
    return std::isfinite(value) ? std::clamp(value, low, high) : otherwise;
}

// On a road fed by an inflow, about one vehicle in ten is a van (a slow vehicle's kind and length,
// though it wants the speed everyone wants); the rest are cars of the lane's kind. The on-ramp's
// vehicles look like those of lane 0, so that they stand out from the right lane's.
constexpr double VanShare = 0.1;
std::uint8_t entering_kind(std::int32_t lane, double uniform) {
    return uniform < VanShare ? slow_vehicle_kind(lane % 3) : car_kind(lane % 3);
}

// No vehicle changes into the closed lane from this many metres before the closure to its end: a
// driver does not take a lane that it would have to leave again at once.
constexpr double ClosedApproach = 100.0;
// The bias toward the lane that goes on (Treiber and Kesting, Traffic Flow Dynamics, 14.4: an
// acceleration added to the incentive of a change toward it, taken from one away from it). It grows
// from nothing BiasReach metres before the lane's end to BiasAtEnd there, so that drivers leave the
// ending lane early where there is room rather than all at its end; near the end the obstacle's own
// deceleration adds to it. The safety rule still holds: a vehicle standing at the end changes only
// into a gap its new follower can take.
constexpr double BiasReach = 800.0, BiasAtEnd = 2.0;
double end_bias(double to_end) {
    return BiasAtEnd * std::clamp(1.0 - to_end / BiasReach, 0.0, 1.0);
}
// Beside the on-ramp and on the way to it, the right lane's drivers lean toward the lane beside it,
// making room for those merging, as drivers do: without it a merging vehicle that had to stop at the
// lane's end would wait for a gap that a follower at full speed can take without braking harder
// than the safe deceleration, some 185 m, which dense traffic hardly ever leaves.
constexpr double Courtesy = 0.5;
// How far before the acceleration lane's start a right-lane driver begins to let its vehicles in.
constexpr double YieldReach = 100.0;
// How far before the closure a driver of the lane beside it begins to let the closed lane's first
// vehicle in: far enough to stop for it comfortably from the speed of a free lane (v^2 / 2b).
constexpr double ClosureYieldReach = 250.0;
// On a road fed by an inflow a driver judges a lane change every DecisionInterval seconds of
// simulated time rather than at every frame: ten times a second is as often as a driver looks
// aside, and at sixty frames a second a queue of hundreds of vehicles a lane would otherwise spend
// most of the step judging changes it does not make. The vehicles take turns in DecisionGroups
// groups by slot, so that each step judges about as many as the last.
constexpr double DecisionInterval = 0.1;
constexpr int DecisionGroups = 4;

} // namespace

void IdmTraffic::set_scenario(const ScenarioSettings& settings) {
    Next = settings;
    Next.RingLength = kept_to(settings.RingLength, MinRingLength, MaxRingLength, DefaultRingLength);
    Next.RoadLength = kept_to(settings.RoadLength, MinRoadLength, MaxRoadLength, DefaultRoadLength);
    Next.Inflow = kept_to(settings.Inflow, 0.0, MaxInflow, 0.0);
    Next.RampInflow = kept_to(settings.RampInflow, 0.0, MaxRampInflow, 0.0);
    Next.AutomatedPerLane = std::clamp(settings.AutomatedPerLane, 0, MaxAutomatedPerLane);
}

void IdmTraffic::set_up(std::int32_t RoadCount, UniformSource& Random, VehicleList& Vehicles) {
    InflowsChanged = false;
    Vary = NextVary;
    if (Next.Scenario == TrafficScenario::Ring) {
        set_up_ring(RoadCount, Random, Vehicles);
        return;
    }
    if (has_inflow(Next.Scenario)) {
        set_up_inflow(RoadCount, Random, Vehicles);
        return;
    }
    Ring = 0;
    Running = Next;
    Zone = {};
    set_up_traffic(*Tables, RoadCount, Random);
    adopt(*Tables, RoadCount, Vehicles);
}

void IdmTraffic::set_up_inflow(std::int32_t RoadCount, UniformSource& Random, VehicleList& Vehicles) {
    if (Live) P = *Live;
    Ring = 0;
    Running = Next;
    Zone = bottleneck_of(Running.Scenario, Running.RoadLength);
    const bool onramp = Running.Scenario == TrafficScenario::Onramp;
    const double seed = Random.next();
    const int roads = roads_in_tables(RoadCount);
    Roads.assign(static_cast<std::size_t>(roads), Road{});
    for (int r = 0; r < roads; ++r) {
        Road& road = Roads[static_cast<std::size_t>(r)];
        road.Length = Running.RoadLength;
        road.Arrivals.seed(road_seed(seed, r));
        if (onramp)
            put_obstacle(road, RampLane, Zone.End);
        else
            put_obstacle(road, RightLane, Zone.Start);
        for (std::int32_t lane = 0; lane <= RampLane; ++lane) {
            road.ToNext[lane] = exponential_headway(inflow_of(r, lane), road.Arrivals.next());
            road.NextKind[lane] = entering_kind(lane, road.Arrivals.next());
        }
        fill_cells(road, r);
    }
    list_vehicles(Vehicles);
}

double IdmTraffic::inflow_of(std::int32_t r, std::int32_t lane) const {
    const auto roads = static_cast<std::int32_t>(Roads.size());
    if (lane < RampLane) return Vary.Key == InflowKey ? Vary.value(r, roads) : Running.Inflow;
    if (Running.Scenario != TrafficScenario::Onramp) return 0.0;
    return Vary.Key == RampInflowKey ? Vary.value(r, roads) : Running.RampInflow;
}

double IdmTraffic::next_ring_of(std::int32_t r, std::int32_t roads) const {
    if (Next.Scenario != TrafficScenario::Ring) return 0.0;
    return Vary.Key == RingLengthKey ? Vary.value(r, roads) : Next.RingLength;
}

void IdmTraffic::set_inflows(double inflow, double ramp_inflow) {
    NewInflow = kept_to(inflow, 0.0, MaxInflow, InflowsChanged ? NewInflow : Running.Inflow);
    NewRampInflow =
        kept_to(ramp_inflow, 0.0, MaxRampInflow, InflowsChanged ? NewRampInflow : Running.RampInflow);
    InflowsChanged = true;
}

std::int64_t IdmTraffic::waiting(std::int32_t road, std::int32_t lane) const {
    if (road < 0 || road >= static_cast<int>(Roads.size()) || lane < 0 || lane > RampLane) return 0;
    return Roads[static_cast<std::size_t>(road)].Waiting[lane];
}

std::int64_t IdmTraffic::waiting(std::int32_t road) const {
    std::int64_t total = 0;
    for (std::int32_t lane = 0; lane <= RampLane; ++lane)
        total += waiting(road, lane);
    return total;
}

int IdmTraffic::free_slot(Road& road) {
    if (!road.Free.empty()) {
        const int s = road.Free.back();
        road.Free.pop_back();
        return s;
    }
    road.Veh.push_back(Driven{});
    road.Id.push_back(-1);
    road.Offset.push_back(0);
    road.TargetOffset.push_back(0);
    road.BrakeDeceleration.push_back(0.0);
    road.MeanSpeed.push_back(std::numeric_limits<double>::quiet_NaN());
    for (Row& row : road.Rows)
        row.Slot.resize(road.Veh.size());
    return road.count() - 1;
}

void IdmTraffic::put_obstacle(Road& road, std::int32_t lane, double x) {
    const int s = free_slot(road);
    Driven& d = road.Veh[s];
    d = Driven{};
    d.X = x;
    d.Lane = lane;
    d.Gone = true;
    Row& row = road.Rows[lane];
    int at = row.Count;
    for (; at > 0 && road.Veh[row.Slot[at - 1]].X > x; --at)
        row.Slot[at] = row.Slot[at - 1];
    row.Slot[at] = s;
    row.Count += 1;
    for (int k = 0; k < row.Count; ++k)
        road.Veh[row.Slot[k]].Pos = k;
}

void IdmTraffic::leave_and_enter(Road& road, int r, double dt) {
    for (Row& row : road.Rows)
        while (row.Count > 0) {
            const int s = row.Slot[row.Count - 1];
            if (!(road.Veh[s].X >= road.Length)) break;
            row.Count -= 1;
            mirror_cell(road, s, r, true);
            make_automated(road, s, false);
            road.Veh[s].Active = false;
            road.Veh[s].Gone = true;
            road.Id[s] = -1;
            road.Free.push_back(s);
        }
    for (std::int32_t lane = 0; lane <= RampLane; ++lane) {
        double& to_next = road.ToNext[lane];
        if (to_next == std::numeric_limits<double>::infinity()) continue;
        to_next -= dt;
        while (to_next <= 0) {
            road.Waiting[lane] += 1;
            to_next += exponential_headway(inflow_of(r, lane), road.Arrivals.next());
        }
    }
    for (std::int32_t lane = 0; lane <= RampLane; ++lane) {
        if (road.Waiting[lane] == 0) continue;
        const double start = lane == RampLane ? Zone.RampStart : 0.0;
        const std::uint8_t kind = road.NextKind[lane];
        const double length = Lengths.of(kind % 3, is_slow(kind));
        double gap = NoLeader, lead_speed = 0;
        if (const Row& row = road.Rows[lane]; row.Count > 0) {
            const Driven& leader = road.Veh[row.Slot[0]];
            gap = leader.X - leader.HalfLen - (start + length);
            lead_speed = leader.V;
        }
        const double speed = entry_speed(P, gap, lead_speed);
        if (speed < 0) continue;
        const int s = free_slot(road);
        Driven& d = road.Veh[s];
        d = Driven{};
        d.X = start + length / 2;
        d.V = speed;
        d.HalfLen = length / 2;
        d.InverseOwnSpeed = 1.0 / P.DesiredSpeed;
        d.Lane = lane;
        d.Kind = kind;
        d.Active = true;
        road.Id[s] = road.NextId++;
        road.Offset[s] = road.TargetOffset[s] = OffsetPerLane * lane;
        road.BrakeDeceleration[s] = 0;
        make_automated(road, s, automated_in_turn(road.Entered[lane]++, Running.AutomatedPerLane));
        Row& row = road.Rows[lane];
        for (int k = row.Count; k > 0; --k) {
            row.Slot[k] = row.Slot[k - 1];
            road.Veh[row.Slot[k]].Pos = k;
        }
        row.Slot[0] = s;
        d.Pos = 0;
        row.Count += 1;
        road.Waiting[lane] -= 1;
        road.NextKind[lane] = entering_kind(lane, road.Arrivals.next());
        mirror_cell(road, s, r, false);
    }
}

void IdmTraffic::mirror_cell(const Road& road, int s, int r, bool gone) {
    const std::int32_t id = road.Id[s];
    if (id < 0 || id >= TableVehicles) return;
    RoadCells c(*Tables, static_cast<std::size_t>(r));
    const int m = id / (LastCar + 1), n = id % (LastCar + 1);
    const Driven& d = road.Veh[s];
    c.Lane[m][n] = gone ? -1 : d.Lane;
    c.Dist[m][n] = gone ? std::numeric_limits<double>::quiet_NaN() : d.X * DistancePerMetre;
    c.Speed[m][n] = gone ? 0 : static_cast<std::int32_t>(std::nearbyint(d.V / MetresPerSecondPerSpeedUnit));
    c.Offset[m][n] = gone ? 0 : road.Offset[s];
    c.Target[m][n] = gone ? 0 : road.TargetOffset[s];
    c.Side[m][n] = gone ? 0 : d.SideStep;
}

void IdmTraffic::set_up_ring(std::int32_t RoadCount, UniformSource& Random, VehicleList& Vehicles) {
    if (Live) P = *Live;
    const int roads = roads_in_tables(RoadCount);
    VehicleList start;
    start.start(roads);
    start.reserve(static_cast<std::size_t>(roads) * TableVehicles);
    for (int r = 0; r < roads; ++r) {
        const double ring = next_ring_of(r, roads);
        const IdmParameters own = Vary.parameters_of(P, r, roads);
        for (int m = 0; m < 3; ++m) {
            double total = 0;
            for (int n = 0; n <= LastCar; ++n)
                total += Lengths.of(m, n == LastCar);
            const double gap = (ring - total) / (LastCar + 1);
            const double speed = equilibrium_speed(own, gap);
            // Each lane starts a third of a spacing on from the one beside it, so that the lanes do
            // not drive side by side.
            double x = (ring / (LastCar + 1)) * m / 3.0;
            for (int n = 0; n <= LastCar; ++n) {
                const double len = Lengths.of(m, n == LastCar);
                const double here = x + len / 2 + (Random.next() - 0.5);
                x += len + gap;
                Vehicle v;
                v.Road = r;
                v.Id = m * (LastCar + 1) + n;
                v.Lane = m;
                v.Kind = n < LastCar ? car_kind(m) : slow_vehicle_kind(m);
                v.Automated = automated_in_turn(n, Next.AutomatedPerLane);
                v.Position = here >= ring ? here - ring : here < 0 ? here + ring : here;
                v.Speed = speed;
                start.add(v);
            }
        }
    }
    set_up_vehicles(start, Vehicles);
}

bool IdmTraffic::brake(std::int32_t r, std::int32_t id, double deceleration, double seconds) {
    if (r < 0 || r >= static_cast<int>(Roads.size()) || !(deceleration > 0) || !(seconds > 0)) return false;
    Road& road = Roads[static_cast<std::size_t>(r)];
    const int s = road.slot_of(id);
    if (s < 0 || !road.Veh[s].Active) return false;
    road.Veh[s].BrakeLeft = seconds;
    road.BrakeDeceleration[s] = deceleration;
    return true;
}

void IdmTraffic::Road::add(std::int32_t id, std::int32_t lane, std::uint8_t kind, double x, double speed,
                           double length) {
    Driven d{};
    d.X = x;
    d.V = std::max(0.0, speed);
    d.HalfLen = length / 2;
    // A slow vehicle found standing still would want no speed at all, which the model cannot divide
    // by: it wants one of the tables' speed units at least.
    d.InverseOwnSpeed = 1.0 / std::max(d.V, MetresPerSecondPerSpeedUnit);
    d.Lane = lane;
    d.Kind = kind;
    d.Active = valid_lane(lane) && std::isfinite(x) && std::isfinite(speed);
    Veh.push_back(d);
    Id.push_back(id);
    const std::int32_t offset = valid_lane(lane) ? OffsetPerLane * lane : 0;
    Offset.push_back(offset);
    TargetOffset.push_back(offset);
    BrakeDeceleration.push_back(0.0);
    MeanSpeed.push_back(std::numeric_limits<double>::quiet_NaN());
}

void IdmTraffic::Road::fill_rows() {
    const int count = this->count();
    for (Row& row : Rows) {
        row.Slot.assign(static_cast<std::size_t>(count), 0);
        row.Count = 0;
    }
    for (int s = 0; s < count; ++s)
        if (Veh[s].Active) {
            Row& row = Rows[Veh[s].Lane];
            row.Slot[row.Count++] = s;
        }
    // Stable: of two at the same position, the one of the lower slot stays behind.
    for (Row& row : Rows) {
        std::stable_sort(row.Slot.begin(), row.Slot.begin() + row.Count,
                         [this](std::int32_t a, std::int32_t b) { return Veh[a].X < Veh[b].X; });
        for (int i = 0; i < row.Count; ++i)
            Veh[row.Slot[i]].Pos = i;
    }
}

int IdmTraffic::Road::slot_of(std::int32_t id) const {
    // The vehicles the program sets up have their slot for an id.
    if (id >= 0 && id < count() && Id[id] == id) return id;
    const auto at = std::find(Id.begin(), Id.end(), id);
    return at == Id.end() ? -1 : static_cast<int>(at - Id.begin());
}

void IdmTraffic::adopt(const TrafficTables& From, std::int32_t RoadCount, VehicleList& Vehicles) {
    if (&From != Tables.get()) *Tables = From;
    const TrafficTables& T = *Tables;
    const int roads = roads_in_tables(RoadCount);
    Roads.assign(static_cast<std::size_t>(roads), Road{});
    for (int r = 0; r < roads; ++r) {
        Road& road = Roads[static_cast<std::size_t>(r)];
        road.Ring = Ring;
        for (int m = 0; m < 3; ++m)
            for (int n = 0; n <= LastCar; ++n) {
                const std::uint8_t kind = n < LastCar ? car_kind(m) : slow_vehicle_kind(m);
                road.add(m * (LastCar + 1) + n, T.VehLane(m, n, r), kind, distance_metres(T.VehDist(m, n, r)),
                         T.VehSpeed(m, n, r) * MetresPerSecondPerSpeedUnit, Lengths.of(m, n == LastCar));
                // The slide as the tables have it, half done or not.
                road.Offset.back() = T.VehOffset(m, n, r);
                road.TargetOffset.back() = T.VehTargetOffset(m, n, r);
                road.Veh.back().SideStep = T.VehSideStep(m, n, r);
            }
        road.fill_rows();
    }
    list_vehicles(Vehicles);
}

void IdmTraffic::set_up_vehicles(const VehicleList& Start, VehicleList& Vehicles) {
    Vary = NextVary;
    const int roads = roads_in_tables(Start.roads());
    Ring = next_ring_of(0, roads);
    Running = Next;
    if (has_inflow(Running.Scenario)) Running.Scenario = TrafficScenario::Open;
    Zone = {};
    InflowsChanged = false;
    Roads.assign(static_cast<std::size_t>(roads), Road{});
    std::vector<std::int32_t> ids;
    for (int r = 0; r < roads; ++r) {
        Road& road = Roads[static_cast<std::size_t>(r)];
        road.Ring = next_ring_of(r, roads);
        const double ring = road.Ring;
        const auto vehicles = Start.road(r);
        ids.clear();
        for (const Vehicle& v : vehicles) {
            if (v.Kind >= VehicleKinds) throw Fault("Subscript out of range");
            ids.push_back(v.Id);
        }
        std::sort(ids.begin(), ids.end());
        if (std::adjacent_find(ids.begin(), ids.end()) != ids.end()) throw Fault("Duplicate vehicle id");
        for (const Vehicle& v : vehicles) {
            double x = v.Position;
            if (ring > 0 && std::isfinite(x) && !(x >= 0 && x < ring)) {
                x = std::fmod(x, ring);
                if (x < 0) x += ring;
                if (x >= ring) x = 0;
            }
            const int slot = v.Kind % 3;
            const bool slow = v.Kind >= 3;
            road.add(v.Id, v.Lane, v.Kind, x, v.Speed, Lengths.of(slot, slow));
            // Only the ring drives automated vehicles among these.
            if (Ring > 0 && v.Automated && road.Veh.back().Active) make_automated(road, road.count() - 1, true);
        }
        road.fill_rows();
        fill_cells(road, r);
    }
    list_vehicles(Vehicles);
}

void IdmTraffic::fill_cells(const Road& road, int r) {
    RoadCells c(*Tables, static_cast<std::size_t>(r));
    for (int m = 0; m < 3; ++m)
        for (int n = 0; n <= LastCar; ++n) {
            c.Lane[m][n] = -1;
            c.Dist[m][n] = std::numeric_limits<double>::quiet_NaN();
            c.Speed[m][n] = c.Offset[m][n] = c.Target[m][n] = c.Side[m][n] = 0;
        }
    const int count = road.count();
    for (int s = 0; s < count; ++s) {
        const std::int32_t id = road.Id[s];
        if (id < 0 || id >= TableVehicles) continue;
        const int m = id / (LastCar + 1), n = id % (LastCar + 1);
        const Driven& d = road.Veh[s];
        c.Lane[m][n] = d.Lane;
        c.Dist[m][n] = d.X * DistancePerMetre;
        c.Speed[m][n] = static_cast<std::int32_t>(std::nearbyint(d.V / MetresPerSecondPerSpeedUnit));
        c.Offset[m][n] = road.Offset[s];
        c.Target[m][n] = road.TargetOffset[s];
        c.Side[m][n] = d.SideStep;
    }
}

void IdmTraffic::slide_and_mirror(Road& road, int r) {
    RoadCells c(*Tables, static_cast<std::size_t>(r));
    const int count = road.count();
    for (int s = 0; s < count; ++s) {
        Driven& d = road.Veh[s];
        const std::int32_t id = road.Id[s];
        const bool cell = id >= 0 && id < TableVehicles;
        const int m = id / (LastCar + 1), n = id % (LastCar + 1);
        // Only a vehicle on its way across changes its lane or slide, and a lane change starts one.
        if (d.SideStep != 0) {
            road.Offset[s] += d.SideStep;
            if (road.Offset[s] == road.TargetOffset[s]) d.SideStep = 0;
            if (cell) {
                c.Lane[m][n] = d.Lane;
                c.Offset[m][n] = road.Offset[s];
                c.Target[m][n] = road.TargetOffset[s];
                c.Side[m][n] = d.SideStep;
            }
        }
        // A vehicle the model does not drive keeps its cell as it found it.
        if (cell && d.Active) {
            c.Dist[m][n] = d.X * DistancePerMetre;
            c.Speed[m][n] = static_cast<std::int32_t>(std::nearbyint(d.V / MetresPerSecondPerSpeedUnit));
        }
    }
}

double IdmTraffic::speed(int r, int m, int n) const {
    if (r < 0 || r >= static_cast<int>(Roads.size()) || m < 0 || m >= 3 || n < 0 || n > LastCar)
        throw Fault("Subscript out of range");
    const Road& road = Roads[static_cast<std::size_t>(r)];
    const int s = road.slot_of(m * (LastCar + 1) + n);
    if (s < 0) throw Fault("Subscript out of range");
    return road.Veh[s].V;
}

// What every acceleration of one step shares: the rule and the inverse of the common desired speed.
struct IdmTraffic::StepRule {
    IdmRule Rule;
    double InverseDesired;
    // On the ring and the roads fed by an inflow every driver is the same: no slow vehicles.
    bool SlowVehicles;
    // Where a lane ends on a road fed by an inflow (none elsewhere).
    TrafficScenario Street = TrafficScenario::Open;
    Bottleneck Zone = {};
    double Dt = 0; // seconds of this step
    // The parameters the automated vehicles keep to.
    const IdmParameters* Params = nullptr;

    // Whether the vehicle d may change from lane `from` to `to` on a road fed by an inflow, and the
    // bias it adds to the change's advantage: toward the lane that goes on, away from one that ends.
    bool lane_bias(const Driven& d, std::int32_t from, std::int32_t to, double& bias) const {
        const double front = d.X + d.HalfLen, tail = d.X - d.HalfLen;
        bias = 0;
        if (Street == TrafficScenario::Roadworks) {
            // Nobody moves toward the closed lane near it: a driver that cut in beside the closure
            // would take the gap its vehicles wait for.
            if (to > from && front > Zone.Start - ClosedApproach && tail < Zone.End) return false;
            if (to == RightLane) {
                if (front <= Zone.Start) bias = -end_bias(Zone.Start - front);
            } else if (from == RightLane && front <= Zone.Start) {
                bias = end_bias(Zone.Start - front);
            }
            return true;
        }
        // The on-ramp: its vehicles merge only beside the road; nobody changes onto it.
        if (from != RampLane) {
            if (d.X >= Zone.RampStart && d.X <= Zone.End)
                bias = from == RightLane ? Courtesy : to == RightLane ? -Courtesy : 0.0;
            return true;
        }
        if (d.X < Zone.Start) return false;
        bias = end_bias(Zone.End - front);
        return true;
    }

    bool keeps_own_speed(const Road& road, int s) const { return SlowVehicles && is_slow(road.Veh[s].Kind); }
    // The IDM acceleration of slot s behind slot `leader` (-1: none) on one road.
    // An automated vehicle's is its controller's (automated.h).
    double acceleration(const Road& road, int s, int leader) const {
        const double inverse = keeps_own_speed(road, s) ? road.Veh[s].InverseOwnSpeed : InverseDesired;
        const double gap = leader < 0 ? NoLeader : road.gap(s, leader);
        const double lead_speed = leader < 0 ? 0.0 : road.Veh[leader].V;
        const double human = Rule.acceleration(inverse, road.Veh[s].V, gap, lead_speed);
        if (!road.Veh[s].Automated) return human;
        return automated_acceleration(*Params, road.MeanSpeed[static_cast<std::size_t>(s)], road.Veh[s].V, gap,
                                      lead_speed, human, Dt);
    }
};

void IdmTraffic::change_lanes(Road& road, const StepRule& rule) const {
    for (const Row& row : road.Rows)
        for (int i = 0; i < row.Count; ++i)
            road.Veh[row.Slot[i]].Acc = rule.acceleration(road, row.Slot[i], road.ahead_of(row, i));
    const bool inflow = road.Length > 0;
    // A lane's end stands still; it follows nobody.
    const auto vehicle = [&road](int s) { return s >= 0 && !road.Veh[s].Gone ? s : -1; };
    if (inflow) {
        for (const Row& row : road.Rows)
            for (int i = 0; i < row.Count; ++i)
                if (road.Veh[row.Slot[i]].Gone) road.Veh[row.Slot[i]].Acc = 0;
        // Without lane changes nobody merges, and a driver who let a vehicle in would wait for ever.
        if (LaneChanges && rule.Street == TrafficScenario::Onramp)
            yield_to_merging(road, rule, RightLane, RampLane);
        if (LaneChanges && rule.Street == TrafficScenario::Roadworks)
            yield_to_merging(road, rule, RightLane - 1, RightLane);
    }
    if (!LaneChanges) return;

    // The slow vehicles keep their lane, so each lane keeps its bottleneck; a vehicle still sliding
    // across finishes first.
    const auto stays = [&](int s) {
        return !road.Veh[s].Active || rule.keeps_own_speed(road, s) || road.Veh[s].SideStep != 0;
    };
    // Vehicle s's choice, and its change when it makes one; first_ahead(row, to, s) is the first
    // entry of lane to's row ahead of s.
    const auto consider = [&](int s, auto&& first_ahead) {
        const std::int32_t from = road.Veh[s].Lane;
        Row& own = road.Rows[from];
        const int i = road.Veh[s].Pos;
        // Alone on a ring, the vehicle is its own leader and follower; once it has left, the lane
        // holds nobody to follow or lead.
        const bool alone = own.Count == 1;
        const int leader = alone ? -1 : road.ahead_of(own, i);
        const int old_follower = alone ? -1 : vehicle(road.behind_of(own, i));
        // The old follower's gain is the same either side; worked out when first needed.
        bool old_follower_known = false;
        double old_follower_after = 0;

        int best_lane = -1, best_at = 0;
        double best = P.Threshold;
        for (const std::int32_t to : {from - 1, from + 1}) {
            if (!valid_lane(to)) continue;
            double bias = 0;
            if (inflow && !rule.lane_bias(road.Veh[s], from, to, bias)) continue;
            const Row& row = road.Rows[to];
            // First entry ahead of s: the new leader; the one before it is the new follower.
            const int k = first_ahead(row, to, s);
            const int new_leader = k < row.Count ? row.Slot[k] : road.ahead_of(row, row.Count - 1);
            const int new_follower = vehicle(road.behind_of(row, k));
            if (new_leader >= 0 && !(road.gap(s, new_leader) > 0)) continue;
            if (new_follower >= 0 && !(road.gap(new_follower, s) > 0)) continue;

            LaneChangeAccelerations A;
            if (new_follower >= 0) {
                A.NewFollower = road.Veh[new_follower].Acc;
                A.NewFollowerAfter = rule.acceleration(road, new_follower, s);
            }
            // Unsafe for the new follower: nothing else about this side matters.
            if (!mobil_safe(P, A)) continue;
            A.Own = road.Veh[s].Acc;
            A.OwnAfter = rule.acceleration(road, s, new_leader);
            if (old_follower >= 0) {
                if (!old_follower_known) {
                    old_follower_after = rule.acceleration(road, old_follower, leader);
                    old_follower_known = true;
                }
                A.OldFollower = road.Veh[old_follower].Acc;
                A.OldFollowerAfter = old_follower_after;
            }
            double advantage = mobil_advantage(P, A);
            if (inflow) advantage += bias;
            if (advantage > best) {
                best = advantage;
                best_lane = to;
                best_at = k;
            }
        }
        if (best_lane < 0) return false;

        for (int k = i; k + 1 < own.Count; ++k) {
            own.Slot[k] = own.Slot[k + 1];
            road.Veh[own.Slot[k]].Pos = k;
        }
        own.Count -= 1;
        Row& row = road.Rows[best_lane];
        for (int k = row.Count; k > best_at; --k) {
            row.Slot[k] = row.Slot[k - 1];
            road.Veh[row.Slot[k]].Pos = k;
        }
        row.Slot[best_at] = s;
        road.Veh[s].Pos = best_at;
        row.Count += 1;
        // Only these three have a new leader now.
        road.Veh[s].Acc = rule.acceleration(road, s, road.ahead_of(row, best_at));
        if (const int follower = vehicle(road.behind_of(row, best_at)); follower >= 0 && follower != s)
            road.Veh[follower].Acc = rule.acceleration(road, follower, s);
        if (old_follower >= 0) road.Veh[old_follower].Acc = rule.acceleration(road, old_follower, leader);

        // The slide across is the program's own: one offset step a frame towards the new lane.
        road.Offset[s] = OffsetPerLane * from;
        road.Veh[s].SideStep = best_lane - from;
        road.Veh[s].Lane = best_lane;
        road.TargetOffset[s] = OffsetPerLane * best_lane;
        return true;
    };

    if (!inflow) {
        // Slot by slot, each finding its place in the lane beside by bisection.
        const auto bisect = [&road](const Row& row, std::int32_t, int s) {
            const Driven* veh = road.Veh.data();
            const std::int32_t* slot = row.Slot.data();
            int lo = 0, hi = row.Count;
            while (lo < hi) {
                const int mid = (lo + hi) / 2;
                if (veh[slot[mid]].X <= veh[s].X)
                    lo = mid + 1;
                else
                    hi = mid;
            }
            return lo;
        };
        const int count = road.count();
        for (int s = 0; s < count; ++s)
            if (!stays(s)) consider(s, bisect);
        return;
    }
    // The groups whose turn it is; at a step of DecisionInterval / DecisionGroups or longer, all.
    road.DecisionCredit += DecisionGroups * rule.Dt / DecisionInterval;
    const int turns = static_cast<int>(std::min<double>(DecisionGroups, std::floor(road.DecisionCredit)));
    road.DecisionCredit = std::min(road.DecisionCredit - turns, 1.0);
    unsigned judged = 0;
    for (int t = 0; t < turns; ++t)
        judged |= 1u << ((road.NextGroup + t) % DecisionGroups);
    road.NextGroup = (road.NextGroup + turns) % DecisionGroups;
    if (judged == 0) return;
    // A road fed by an inflow holds hundreds of vehicles a lane, whose slots follow no order: lane by
    // lane from the back, so that the place beside each vehicle lies at or after the last one's, and
    // a cursor into each lane beside finds it without a search. A vehicle taken into a lane beside
    // sits at its cursor, and the next one along lies at or ahead of it.
    for (std::int32_t from = 0; from <= RampLane; ++from) {
        int cursor[RampLane + 1] = {};
        const auto sweep = [&road, &cursor](const Row& row, std::int32_t to, int s) {
            int& k = cursor[to];
            const double x = road.Veh[s].X;
            while (k < row.Count && road.Veh[row.Slot[k]].X <= x)
                ++k;
            return k;
        };
        const Row& own = road.Rows[from];
        for (int i = 0; i < own.Count;) {
            const int s = own.Slot[i];
            // A vehicle that changed leaves its row, and the next one takes its entry.
            if (!(judged >> (s % DecisionGroups) & 1u) || stays(s) || !consider(s, sweep)) ++i;
        }
    }
}

void IdmTraffic::yield_to_merging(Road& road, const StepRule& rule, std::int32_t into,
                                  std::int32_t ending) const {
    // A driver beside an ending lane lets a vehicle of it ahead of it in: it follows that vehicle too,
    // but brakes for it no harder than comfortably (see below). Beside the acceleration lane that is the first
    // ramp vehicle ahead. At the roadworks it is only the first vehicle of the closed lane, the one
    // at the closure: without it, that vehicle would stand there while the open lanes drive past at
    // full speed, and the queue would grow in the closed lane alone; yielding to every vehicle of a
    // standing queue would interleave the two lanes with no gap left to change into. Both rows run
    // by ascending position, so one pass pairs them.
    const Row& main = road.Rows[into];
    const Row& merging_row = road.Rows[ending];
    const bool ramp = ending == RampLane;
    const double from = Zone.Start - (ramp ? YieldReach : ClosureYieldReach), to = ramp ? Zone.End : Zone.Start;
    int front = -1;
    if (!ramp) {
        for (int k = merging_row.Count - 1; k >= 0; --k) {
            const int m = merging_row.Slot[k];
            if (road.Veh[m].Gone || road.Veh[m].X >= Zone.Start) continue;
            front = m;
            break;
        }
        if (front < 0 || road.Veh[front].X < from) return;
    }
    int k = 0;
    for (int i = 0; i < main.Count; ++i) {
        const int s = main.Slot[i];
        const Driven& d = road.Veh[s];
        if (d.X < from) continue;
        if (d.X > to) break;
        int merging = front;
        if (ramp) {
            while (k < merging_row.Count && road.Veh[merging_row.Slot[k]].X <= d.X)
                ++k;
            merging = k < merging_row.Count ? merging_row.Slot[k] : -1;
            if (merging < 0 || road.Veh[merging].Gone || road.Veh[merging].X < Zone.Start) continue;
        }
        // Already beside it, the driver drives on: stopping there would leave it no gap behind.
        if (!(road.gap(s, merging) > 0)) continue;
        const double behind = rule.acceleration(road, s, merging);
        // Beside the ramp a driver brakes as far as comfort allows; at the closure, where the vehicle
        // it would let in stands, one already too close to stop comfortably drives on past it and the
        // next one lets it in: stopping at any cost would leave the standing vehicle a gap too short
        // to change into.
        if (!ramp && behind < -P.ComfortDeceleration) continue;
        road.Veh[s].Acc = std::min(d.Acc, std::max(behind, -P.ComfortDeceleration));
    }
}

void IdmTraffic::move(Road& road, double dt) {
    for (Row& row : road.Rows) {
        // The front vehicle of a ring lane follows the last one, which has not moved yet: its tail
        // where it is now bounds the move.
        const int first = row.Count > 0 ? row.Slot[0] : -1;
        const double first_tail = first >= 0 ? road.Veh[first].X + road.Ring - road.Veh[first].HalfLen : 0.0;
        for (int i = row.Count - 1; i >= 0; --i) {
            const int s = row.Slot[i];
            const double v = road.Veh[s].V, a = road.Veh[s].Acc;
            double x = road.Veh[s].X;
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
                const double tail = road.Veh[l].X - road.Veh[l].HalfLen - road.Veh[s].HalfLen;
                if (x > tail) {
                    x = std::max(road.Veh[s].X, tail);
                    nv = std::min(nv, road.Veh[l].V);
                }
            } else if (road.Ring > 0 && first != s) {
                const double tail = first_tail - road.Veh[s].HalfLen;
                if (x > tail) {
                    x = std::max(road.Veh[s].X, tail);
                    nv = std::min(nv, road.Veh[first].V);
                }
            }
            road.Veh[s].X = x;
            road.Veh[s].V = nv;
        }
        if (road.Ring > 0) wrap(road, row);
    }
}

void IdmTraffic::wrap(Road& road, Row& row) {
    // Those past the ring's end are the front of the row; round the ring they are its back, in the
    // same order.
    int past = 0;
    while (past < row.Count && road.Veh[row.Slot[row.Count - 1 - past]].X >= road.Ring)
        ++past;
    if (past == 0) return;
    const auto begin = row.Slot.begin(), end = begin + row.Count;
    for (auto at = end - past; at != end; ++at)
        road.Veh[*at].X -= road.Ring;
    std::rotate(begin, end - past, end);
    for (int k = 0; k < row.Count; ++k)
        road.Veh[row.Slot[k]].Pos = k;
}

void IdmTraffic::step(const TrafficFrame& Frame, VehicleList& Vehicles) {
    if (Live) P = *Live;
    const int roads = std::min<std::int32_t>(Frame.RoadCount, static_cast<std::int32_t>(Roads.size()));
    const double dt =
        std::isfinite(Frame.LastFrameTime) && Frame.LastFrameTime > 0 ? Frame.LastFrameTime : 0.0;
    const bool inflow = has_inflow(Running.Scenario);
    if (InflowsChanged) take_new_inflows();
    StepRule rule{IdmRule(P), 1.0 / P.DesiredSpeed, Ring == 0 && !inflow, Running.Scenario, Zone, dt, &P};
    // A swept parameter: each road is stepped with its own value in P, which the lane changes read
    // too, and the common ones are back in P when the step ends.
    const IdmParameters common = P;
    const bool own_parameters = Vary.parameter() != nullptr;
    const auto all_roads = static_cast<std::int32_t>(Roads.size());
    for (int r = 0; r < roads; ++r) {
        Road& road = Roads[static_cast<std::size_t>(r)];
        if (r + 1 < roads) prefetch(Roads[static_cast<std::size_t>(r) + 1]);
        if (own_parameters) {
            P = Vary.parameters_of(common, r, all_roads);
            rule.Rule = IdmRule(P);
            rule.InverseDesired = 1.0 / P.DesiredSpeed;
        }
        if (road.AutomatedCount > 0) estimate_mean_speeds(road, dt);
        change_lanes(road, rule);
        const int count = road.count();
        for (int s = 0; s < count; ++s)
            if (Driven& d = road.Veh[s]; d.BrakeLeft > 0) {
                d.Acc = std::min(d.Acc, -road.BrakeDeceleration[s]);
                d.BrakeLeft -= dt;
            }
        move(road, dt);
        if (road.Length > 0) leave_and_enter(road, r, dt);
        slide_and_mirror(road, r);
    }
    P = common;
    list_vehicles(Vehicles);
}

void IdmTraffic::make_automated(Road& road, int s, bool automated) {
    Driven& d = road.Veh[static_cast<std::size_t>(s)];
    if (d.Automated == automated) return;
    d.Automated = automated;
    road.AutomatedCount += automated ? 1 : -1;
    road.MeanSpeed[static_cast<std::size_t>(s)] = std::numeric_limits<double>::quiet_NaN();
}

void IdmTraffic::estimate_mean_speeds(Road& road, double dt) const {
    for (const Row& row : road.Rows) {
        if (row.Count == 0) continue;
        if (road.Ring > 0) {
            // A ring lane is one flow: every vehicle of it counts, once.
            double sum = 0;
            bool any = false;
            for (int i = 0; i < row.Count; ++i) {
                sum += road.Veh[row.Slot[i]].V;
                any = any || road.Veh[row.Slot[i]].Automated;
            }
            if (!any) continue;
            const double mean = sum / row.Count;
            for (int i = 0; i < row.Count; ++i)
                if (const int s = row.Slot[i]; road.Veh[s].Automated)
                    road.MeanSpeed[static_cast<std::size_t>(s)] =
                        running_mean(road.MeanSpeed[static_cast<std::size_t>(s)], mean, dt);
            continue;
        }
        // Elsewhere the stretch from each vehicle to MeanSpeedReach ahead: entries i .. j - 1 of the
        // row, whose end only moves on as i does. A lane's end is no vehicle.
        double sum = 0;
        int n = 0, j = 0;
        for (int i = 0; i < row.Count; ++i) {
            const Driven& d = road.Veh[row.Slot[i]];
            for (const double reach = d.X + MeanSpeedReach; j < row.Count && road.Veh[row.Slot[j]].X <= reach; ++j)
                if (!road.Veh[row.Slot[j]].Gone) {
                    sum += road.Veh[row.Slot[j]].V;
                    n += 1;
                }
            if (d.Gone) continue;
            if (d.Automated) {
                double& U = road.MeanSpeed[static_cast<std::size_t>(row.Slot[i])];
                U = running_mean(U, n > 1 ? sum / n : P.DesiredSpeed, dt);
            }
            sum -= d.V;
            n -= 1;
        }
    }
}

void IdmTraffic::set_automated_per_lane(int per_lane) {
    per_lane = std::clamp(per_lane, 0, MaxAutomatedPerLane);
    Next.AutomatedPerLane = Running.AutomatedPerLane = per_lane;
    if (!(Ring > 0)) return;
    for (Road& road : Roads)
        for (int lane = 0; lane < MainLanes; ++lane) {
            const Row& row = road.Rows[lane];
            for (int i = 0; i < row.Count; ++i)
                make_automated(road, row.Slot[i], (static_cast<long long>(i) * per_lane) % row.Count < per_lane);
        }
}

bool IdmTraffic::set_automated(std::int32_t r, std::int32_t id, bool automated) {
    if (!(Ring > 0) && !has_inflow(Running.Scenario)) return false;
    if (r < 0 || r >= static_cast<int>(Roads.size())) return false;
    Road& road = Roads[static_cast<std::size_t>(r)];
    const int s = road.slot_of(id);
    if (s < 0 || !road.Veh[s].Active || road.Veh[s].Gone) return false;
    make_automated(road, s, automated);
    return true;
}

void IdmTraffic::prefetch(const Road& road) {
    // A road fed by an inflow holds hundreds of vehicles, whose records the step reads in the order
    // of their lanes rather than of their slots: fetched from memory in that order, each would be a
    // wait of its own. Asked for in order while the road before is stepped, they are at hand.
    const auto ask = [](const void* data, std::size_t bytes) {
        const char* at = static_cast<const char*>(data);
        for (std::size_t b = 0; b < bytes; b += 64)
            __builtin_prefetch(at + b);
    };
    ask(road.Veh.data(), road.Veh.size() * sizeof(Driven));
    for (const Row& row : road.Rows)
        ask(row.Slot.data(), static_cast<std::size_t>(row.Count) * sizeof(std::int32_t));
}

void IdmTraffic::take_new_inflows() {
    InflowsChanged = false;
    if (!has_inflow(Running.Scenario)) return;
    const double before[2] = {Running.Inflow, Running.RampInflow};
    Running.Inflow = NewInflow;
    Running.RampInflow = NewRampInflow;
    // The arrivals have no memory: a lane whose rate changed draws its next arrival afresh from now.
    const auto roads = static_cast<std::int32_t>(Roads.size());
    for (std::int32_t r = 0; r < roads; ++r) {
        Road& road = Roads[static_cast<std::size_t>(r)];
        for (std::int32_t lane = 0; lane <= RampLane; ++lane) {
            // A swept inflow stays the road's own.
            const bool swept = Vary.Key == (lane == RampLane ? RampInflowKey : InflowKey);
            if (!swept && inflow_of(r, lane) != before[lane == RampLane ? 1 : 0])
                road.ToNext[lane] = exponential_headway(inflow_of(r, lane), road.Arrivals.next());
        }
    }
}

void IdmTraffic::list_vehicles(VehicleList& Vehicles) const {
    const auto roads = static_cast<std::int32_t>(Roads.size());
    std::size_t total = 0;
    for (const Road& road : Roads)
        total += static_cast<std::size_t>(road.count());
    Vehicles.start(roads);
    Vehicles.reserve(total);
    for (std::int32_t r = 0; r < roads; ++r) {
        const Road& road = Roads[static_cast<std::size_t>(r)];
        const int count = road.count();
        for (int s = 0; s < count; ++s) {
            if (road.Veh[s].Gone) continue;
            Vehicle v;
            v.Road = r;
            v.Id = road.Id[s];
            v.Lane = road.Veh[s].Lane;
            v.Kind = road.Veh[s].Kind;
            // On the on-ramp's strip before the road, where the strip puts it.
            v.Across = v.Lane == RampLane && road.Veh[s].X < Zone.Start ? ramp_across(Zone, road.Veh[s].X)
                                                                        : offset_metres(road.Offset[s]);
            // A vehicle the model does not drive stays as it was found.
            v.Position = road.Veh[s].X;
            v.Speed = road.Veh[s].V;
            v.Acceleration = road.Veh[s].Acc;
            v.Automated = road.Veh[s].Automated;
            Vehicles.add(v);
        }
    }
}

void IdmTraffic::dump(std::ostream& out, std::int32_t RoadCount, std::int64_t frames,
                      float LastFrameTime) const {
    // The model's own state in full: the tables round it.
    const auto put = [](std::string& text, auto number) {
        char buf[40];
        text.append(buf, std::to_chars(buf, buf + sizeof buf, number).ptr);
    };
    const bool inflow = has_inflow(Running.Scenario);
    std::string more = ",\n\"scenario\": \"";
    more += traffic_scenario_name(inflow     ? Running.Scenario
                                  : Ring > 0 ? TrafficScenario::Ring
                                             : TrafficScenario::Open);
    more += "\", \"ring_length_m\": ";
    if (Ring > 0)
        put(more, Ring);
    else
        more += "null";
    if (Vary.active()) {
        // Each road's value follows from these and the road count.
        more += ", \"vary\": {\"key\": \"" + Vary.Key + "\", \"from\": ";
        put(more, Vary.From);
        more += ", \"to\": ";
        put(more, Vary.To);
        more += "}";
    }
    // Vehicle 20m + n as cell (m, n); a cell no vehicle has is not a number.
    const auto value = [this](double Driven::*of, int r, int m, int n) {
        if (r >= static_cast<int>(Roads.size())) return std::numeric_limits<double>::quiet_NaN();
        const Road& road = Roads[static_cast<std::size_t>(r)];
        const int s = road.slot_of(m * (LastCar + 1) + n);
        return s < 0 ? std::numeric_limits<double>::quiet_NaN() : road.Veh[s].*of;
    };
    put_vehicle_values(more, "position_m", RoadCount,
                       [&](int r, int m, int n) { return value(&Driven::X, r, m, n); });
    put_vehicle_values(more, "speed_m_per_s", RoadCount,
                       [&](int r, int m, int n) { return value(&Driven::V, r, m, n); });
    if (inflow) {
        // Every vehicle on the road, beyond the 60 with cells, and those still to enter.
        const int roads = std::min<int>(roads_in_tables(RoadCount), static_cast<int>(Roads.size()));
        more += ",\n\"road_length_m\": ";
        put(more, Running.RoadLength);
        more += ", \"inflow_veh_per_h\": ";
        put(more, Running.Inflow);
        more += ", \"ramp_inflow_veh_per_h\": ";
        put(more, Running.RampInflow);
        more += ",\n\"waiting\": [";
        for (int r = 0; r < roads; ++r) {
            more += r == 0 ? "\n [" : ",\n [";
            for (std::int32_t lane = 0; lane <= RampLane; ++lane) {
                if (lane > 0) more += ", ";
                put(more, Roads[static_cast<std::size_t>(r)].Waiting[lane]);
            }
            more += "]";
        }
        more += roads > 0 ? "\n]" : "]";
        more += ",\n\"vehicle_fields\": [\"road\", \"id\", \"lane\", \"position_m\", \"speed_m_per_s\"]";
        more += ",\n\"vehicles\": [";
        bool first = true;
        for (int r = 0; r < roads; ++r) {
            const Road& road = Roads[static_cast<std::size_t>(r)];
            for (int s = 0; s < road.count(); ++s) {
                if (road.Veh[s].Gone) continue;
                more += first ? "\n [" : ",\n [";
                first = false;
                put(more, r);
                more += ", ";
                put(more, road.Id[s]);
                more += ", ";
                put(more, road.Veh[s].Lane);
                more += ", ";
                put(more, road.Veh[s].X);
                more += ", ";
                put(more, road.Veh[s].V);
                more += "]";
            }
        }
        more += first ? "]" : "\n]";
    }
    write_traffic_dump(out, *Tables, RoadCount, frames, LastFrameTime, name(), more);
}

} // namespace kl

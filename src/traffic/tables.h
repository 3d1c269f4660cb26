// The per-vehicle traffic tables of the scene: lane, distance, speed and lateral slide of every
// vehicle, for 3 lane slots x 101 vehicles x 251 roads, bounds-checked on every indexed access.
#pragma once

#include "fault/fault.h"

#include <cstddef>
#include <cstdint>

namespace kl {

// The most road strips a run may have: the traffic tables hold this many roads. The command line and
// the settings dialog refuse more; the tables' bounds checks stay as the guard behind them.
inline constexpr int MaxRoadCount = 251;

// One table indexed (lane slot m, vehicle n, road r). The cells are stored road by road so that the
// 303 cells of one road lie together: the fast traffic step takes a road's block once its index is
// known to be valid and then works inside it without further checks.
template <typename T> class VehicleTable {
  public:
    static constexpr int Lanes = 3;
    static constexpr int Vehicles = 101;
    static constexpr int Roads = MaxRoadCount;
    using Road = T[Lanes][Vehicles];

    // Raises kl::Fault for any index outside the table. One test and plain indexing: the checked
    // scan makes millions of these per frame, in unoptimised test builds too.
    T& operator()(long long m, long long n, long long r) {
        return Cells[check(r, Roads)][check(m, Lanes)][check(n, Vehicles)];
    }
    const T& operator()(long long m, long long n, long long r) const {
        return Cells[check(r, Roads)][check(m, Lanes)][check(n, Vehicles)];
    }

    // The cells of road r, which the caller has checked to be below Roads.
    Road& road(std::size_t r) { return Cells[r]; }
    const Road& road(std::size_t r) const { return Cells[r]; }

    bool operator==(const VehicleTable&) const = default;

  private:
    static std::size_t check(long long index, int size) {
        if (index < 0 || index >= size) throw Fault("Subscript out of range");
        return static_cast<std::size_t>(index);
    }

    T Cells[Roads][Lanes][Vehicles]{};
};

// About 2 MB: keep it on the heap.
struct TrafficTables {
    // Index of the last simulated vehicle of each lane; it is the slow one that never reacts.
    static constexpr std::int32_t LastCar = 19;

    VehicleTable<std::int32_t> VehLane;
    VehicleTable<double> VehDist;
    VehicleTable<std::int32_t> VehSpeed;
    VehicleTable<std::int32_t> VehOffset;
    VehicleTable<std::int32_t> VehTargetOffset;
    VehicleTable<std::int32_t> VehSideStep;

    // Not traffic state but a hint kept for the fast step: per road, the simulated vehicles (as
    // 20 x lane slot + vehicle) lane by lane in the order of distance it last found them, so that it
    // starts each frame from nearly sorted lanes. Any content is safe; equality ignores it.
    std::int8_t StepOrder[VehicleTable<int>::Roads][3 * (LastCar + 1)]{};

    bool operator==(const TrafficTables& other) const {
        return VehLane == other.VehLane && VehDist == other.VehDist && VehSpeed == other.VehSpeed &&
               VehOffset == other.VehOffset && VehTargetOffset == other.VehTargetOffset &&
               VehSideStep == other.VehSideStep;
    }
};

// A 64-bit digest (FNV-1a) of every table cell but the step-order hint: two runs whose digests are
// equal left the traffic in the same state.
inline std::uint64_t traffic_digest(const TrafficTables& T) {
    std::uint64_t h = 0xcbf29ce484222325ULL;
    const auto add = [&h](const auto& table) {
        const auto* bytes = reinterpret_cast<const unsigned char*>(&table);
        for (std::size_t i = 0; i < sizeof table; ++i)
            h = (h ^ bytes[i]) * 0x100000001b3ULL;
    };
    add(T.VehLane);
    add(T.VehDist);
    add(T.VehSpeed);
    add(T.VehOffset);
    add(T.VehTargetOffset);
    add(T.VehSideStep);
    return h;
}

} // namespace kl

// What a traffic model hands out after every set-up and step: each vehicle as a value in the model's
// own units (road, lane, metres, m/s), road after road. Nothing in it says how or where the vehicle
// is drawn.
#pragma once

#include "fault/fault.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace kl {

// The vehicle models a street is built with: lane slot m's car is kind m, its slow vehicle kind 3 + m.
// Each has a colour of its own, so the kind is the vehicle's look.
inline constexpr int VehicleKinds = 6;
inline constexpr std::uint8_t car_kind(int slot) {
    return static_cast<std::uint8_t>(slot);
}
inline constexpr std::uint8_t slow_vehicle_kind(int slot) {
    return static_cast<std::uint8_t>(3 + slot);
}

// Lanes are this far apart, middle to middle.
inline constexpr double LaneWidthMetres = 4.0;

struct Vehicle {
    std::int32_t Road = 0;
    // Which vehicle of its road this is; it keeps it for as long as it drives there.
    std::int32_t Id = 0;
    // The lane it drives in, 0 to 2; while it slides over, the lane it slides to.
    std::int32_t Lane = 0;
    std::uint8_t Kind = 0;
    // Metres across from the middle of lane 0: a multiple of the lane width once it has settled.
    double Across = 0;
    // Metres along the road; on a ring, from 0 up to the ring's length.
    double Position = 0;
    double Speed = 0;        // m/s
    double Acceleration = 0; // m/s^2, of its last step
    // Driven by the wave-damping controller (automated.h) instead of the human drivers' model.
    bool Automated = false;
};

// The vehicles of one moment, road after road. Filled by a model, read by everyone else.
class VehicleList {
  public:
    // Forgets every vehicle; roads 0 .. roads - 1 follow, each empty until vehicles are added.
    void start(std::int32_t roads) {
        vehicles_.clear();
        roads_ = roads < 0 ? 0 : roads;
        starts_.assign(static_cast<std::size_t>(roads_), 0);
        last_road_ = -1;
    }
    // Adds a vehicle of road v.Road, which must be one of the list's roads and not lie before the
    // road of the vehicle added last.
    void add(const Vehicle& v) {
        if (v.Road < 0 || v.Road >= roads_ || v.Road < last_road_) throw Fault("Subscript out of range");
        for (; last_road_ < v.Road; ++last_road_)
            starts_[static_cast<std::size_t>(last_road_) + 1] = vehicles_.size();
        vehicles_.push_back(v);
    }
    void reserve(std::size_t n) { vehicles_.reserve(n); }

    std::int32_t roads() const { return roads_; }
    std::span<const Vehicle> all() const { return vehicles_; }
    // Road r's vehicles; none for a road the list does not hold.
    std::span<const Vehicle> road(std::int32_t r) const {
        if (r < 0 || r > last_road_ || r >= roads_) return {};
        const std::size_t b = starts_[static_cast<std::size_t>(r)];
        const std::size_t e = r < last_road_ ? starts_[static_cast<std::size_t>(r) + 1] : vehicles_.size();
        return std::span<const Vehicle>(vehicles_).subspan(b, e - b);
    }
    // Vehicle `id` of road r; none when it is not on that road.
    const Vehicle* find(std::int32_t r, std::int32_t id) const {
        for (const Vehicle& v : road(r))
            if (v.Id == id) return &v;
        return nullptr;
    }
    std::size_t size() const { return vehicles_.size(); }

  private:
    std::vector<Vehicle> vehicles_;
    // Where each road's vehicles begin, up to the road of the vehicle added last.
    std::vector<std::size_t> starts_;
    std::int32_t roads_ = 0, last_road_ = -1;
};

} // namespace kl

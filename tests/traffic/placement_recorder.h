// A placement sink for traffic tests: keeps every placement in call order and the last one per object.
#pragma once

#include "traffic/traffic.h"

#include <cstdint>
#include <map>
#include <vector>

namespace kl::test {

struct Placement {
    std::int32_t ObjIndex;
    float x, y, z;
    bool operator==(const Placement&) const = default;
};

class PlacementRecorder : public VehiclePlacementSink {
  public:
    void place_vehicle(std::int32_t ObjIndex, float x, float y, float z) override {
        Calls.push_back({ObjIndex, x, y, z});
        Last[ObjIndex] = {ObjIndex, x, y, z};
    }
    void clear() { Calls.clear(); }

    std::vector<Placement> Calls;
    std::map<std::int32_t, Placement> Last;
};

} // namespace kl::test

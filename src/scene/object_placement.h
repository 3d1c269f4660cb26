// Hands the traffic's vehicle positions to the scene objects; a vehicle whose object cannot be
// moved is skipped, as any failing step of the scene is.
#pragma once

#include "scene/guarded.h"
#include "sim/mdl_kl.h"
#include "traffic/traffic.h"

namespace kl::scene {

class ObjectPlacement final : public VehiclePlacementSink {
  public:
    void place_vehicle(std::int32_t ObjIndex, float x, float y, float z) override {
        resume_past_fault([&] { mdlKl::ObjectAt(ObjIndex).MOVEobj(x, y, z); });
    }
};

} // namespace kl::scene

// Where the camera stands and looks for a followed vehicle, by camera mode.
#pragma once

#include "engine/records.h"

namespace kl::mdlKl {

// P and D in simulation form (x across, y along, z up); the results in engine form (x, height, y).
// An unknown camera mode leaves both results as they were.
void PlaceChaseCamera(const Vec3& P, const Vec3& D, Vec3& CamPosOut, Vec3& LookAtOut);

} // namespace kl::mdlKl

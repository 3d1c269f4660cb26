// Camera positions by mode: mode 0 rides on the vehicle, 1 and 2 chase it, 3 to 7 look down from high
// above; only mode 0 follows the vehicle's pitch.
#include "sim/chase_camera.h"

#include "sim/mdl_kl.h"

namespace kl::mdlKl {

void PlaceChaseCamera(const Vec3& P, const Vec3& D, Vec3& CamPosOut, Vec3& LookAtOut) {
    switch (Program().Settings.CameraMode) {
    case 0:
        LookAtOut = {P.x + 30 * D.x, P.z + 30 * D.z, P.y + 30 * D.y};
        CamPosOut = {P.x - D.x, P.z - 30 * D.z, P.y - D.y};
        break;
    case 1:
        LookAtOut = {P.x + 30 * D.x, 0, P.y + 30 * D.y};
        CamPosOut = {P.x - 20 * D.x, 10, P.y - 20 * D.y};
        break;
    case 2:
        LookAtOut = {P.x + 30 * D.x, 0, P.y + 30 * D.y};
        CamPosOut = {P.x - 30 * D.x, 15, P.y - 30 * D.y};
        break;
    case 3:
    case 4:
    case 5:
    case 6:
    case 7:
        LookAtOut = {P.x + 20 * D.x, 0, P.y + 20 * D.y};
        CamPosOut = {P.x + 15 * D.x, 75, P.y + 15 * D.y};
        break;
    default:
        break;
    }
}

} // namespace kl::mdlKl

// Constant-rate blends: restarted every frame towards a moving target, they smooth it with the blend
// time as time constant; left alone, they end exactly on the target.
#include "sim/camera.h"

#include "engine/cls3d_engine.h"
#include "engine/math.h"
#include "fault/fault.h"
#include "sim/mdl_kl.h"

namespace kl {

namespace {
// Advances one blended position by at most the time left in its blend.
void advance(Vec3& value, const Vec3& rate, float& time_left, float dt_frame) {
    if (!(time_left > 0.0f)) return;
    const float dt = dt_frame <= time_left ? dt_frame : time_left;
    value = value + rate * dt;
    time_left = time_left - dt;
}

float clamp_to_world(float v, float world_size) {
    const float high = world_size - 1.0f;
    if (v < 1.0f) v = 1.0f;
    if (v > high) v = high;
    return v;
}
} // namespace

void Camera::BlendPosition(const Vec3& NewPos, float TimeX) {
    PosRate = NewPos - CamPos;
    if (TimeX != 0.0f) PosRate = PosRate * (1.0f / TimeX);
    PosTime = TimeX;
}

void Camera::BlendDestination(const Vec3& NewDest, float TimeX) {
    DestRate = NewDest - CamDest;
    if (TimeX != 0.0f) DestRate = DestRate * (1.0f / TimeX);
    DestTime = TimeX;
}

void Camera::BlendAngle(float ActAngle, float NewAngle, float TimeX) {
    ViewAngle = ActAngle;
    AngleTime = TimeX;
    if (TimeX == 0.0f) throw Fault("Division by zero");
    AngleRate = (NewAngle - ActAngle) / TimeX;
}

void Camera::DoEventsX(float RelTimeDiff) {
    advance(CamPos, PosRate, PosTime, RelTimeDiff);
    advance(CamDest, DestRate, DestTime, RelTimeDiff);
    if (AngleTime > 0.0f) {
        const float dt = RelTimeDiff <= AngleTime ? RelTimeDiff : AngleTime;
        ViewAngle = ViewAngle + dt * AngleRate;
        AngleTime = AngleTime - dt;
    }
}

void Camera::SetCamera() const {
    Vec3 p = CamPos;
    p.x = clamp_to_world(p.x, mdlKl::Program().Settings.WorldSize);
    p.z = clamp_to_world(p.z, mdlKl::Program().Settings.WorldSize);
    if (cls3dEngine* engine = CurrentEngine()) engine->SetCamera(p, CamDest, 0.0f);
}

} // namespace kl

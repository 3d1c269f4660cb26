// Steering of the user's vehicle. Sines and cosines are taken in double precision and the new
// components, computed from the old ones, are stored as 32-bit floats.
#include "sim/player.h"

#include "fault/fault.h"
#include "resources/cls3d_object.h"

#include <cmath>

namespace kl {

namespace {

constexpr float kPi = 3.1415927f;

// Rotates (u, v) by angle a: (cos a * u - sin a * v, cos a * v + sin a * u).
void rotate_pair(float& u, float& v, float a) {
    const double c = std::cos(static_cast<double>(a)), s = std::sin(static_cast<double>(a));
    const double old_u = u, old_v = v;
    u = static_cast<float>(c * old_u - s * old_v);
    v = static_cast<float>(c * old_v + s * old_u);
}

float yaw_step(std::int32_t TurnDir) {
    return TurnDir != 0 ? -kPi / 45 : kPi / 45;
}

} // namespace

Vec3 TiltOverGroundDirection(const Vec3& v, float phi) {
    const double x = v.x, y = v.y, z = v.z;
    const double n = std::sqrt(x * x + y * y);
    if (n == 0.0) throw Fault("Division by zero");
    // v' = v cos phi + (k x v) sin phi + k (k . v)(1 - cos phi) with k = (y / n, -x / n, 0).
    const double kx = y / n, ky = -x / n;
    const double c = std::cos(static_cast<double>(phi)), s = std::sin(static_cast<double>(phi));
    const double kv = kx * x + ky * y;
    const double cx = ky * z, cy = -kx * z, cz = kx * y - ky * x;
    return {static_cast<float>(x * c + cx * s + kx * kv * (1 - c)),
            static_cast<float>(y * c + cy * s + ky * kv * (1 - c)), static_cast<float>(z * c + cz * s)};
}

Player::Player() = default;
Player::~Player() = default;

bool Player::Initialize(std::int32_t /*KledNr*/, std::int32_t /*nIdent*/, const void* /*pW*/) {
    ModelMesh = std::make_unique<cls3dObject>();
    SimDir = {0, 1, 0};
    SimDirV = {0, 1, 0};
    Reset();
    return true;
}

void Player::Reset() {
    GeneratePos();
    Alive = true;
}

void Player::GeneratePos() {
    SimPos = {58, 800, 1};
    LastPos = SimPos;
}

void Player::PlaceAt(const Vec3& pos, const Vec3& dir) {
    SimPos = pos;
    LastPos = pos;
    SimDir = dir;
    SimDirV = dir;
}

void Player::Crash() {
    if (!Alive) return;
    DoEventsX(30, 0);
    Alive = false;
}

void Player::ChangeDir(std::int32_t TurnDir) {
    if (!Alive) return;
    rotate_pair(SimDir.x, SimDir.y, yaw_step(TurnDir));
}

void Player::ChangeDirV(std::int32_t TurnDir) {
    if (!Alive) return;
    rotate_pair(SimDirV.x, SimDirV.y, yaw_step(TurnDir));
}

void Player::ChangeDirH(std::int32_t TurnDir) {
    if (!Alive) return;
    rotate_pair(SimDir.y, SimDir.z, yaw_step(TurnDir));
}

void Player::ChangeDirHV(std::int32_t TurnDir) {
    if (!Alive) return;
    SimDirV = TiltOverGroundDirection(SimDirV, TurnDir != 0 ? kPi / 360 : -kPi / 360);
}

void Player::DoEventsX(float RelTimeDiff, float KledSpeed) {
    if (!Alive) return;
    const Vec3 step{KledSpeed * SimDir.x * RelTimeDiff, KledSpeed * SimDir.y * RelTimeDiff,
                    KledSpeed * SimDir.z * RelTimeDiff};
    LastPos = SimPos;
    SimPos = {SimPos.x + step.x, SimPos.y + step.y, SimPos.z + step.z};
    if (ModelMesh) ModelMesh->Position({SimPos.x, SimPos.z, SimPos.y});
}

} // namespace kl

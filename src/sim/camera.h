// The chase camera: position, look-at point and view angle, each moving at constant speed towards a
// target on its own clock, handed to the engine with the position kept inside the square world.
#pragma once

#include "engine/records.h"

namespace kl {

class Camera {
  public:
    void Pos(const Vec3& value) { CamPos = value; }
    Vec3 Pos() const { return CamPos; }
    void Dest(const Vec3& value) { CamDest = value; }
    Vec3 Dest() const { return CamDest; }
    float GetAngle() const { return ViewAngle; }
    bool IsAngleBlended() const { return AngleTime != 0.0f; }

    // A time of 0 starts no blend.
    void BlendPosition(const Vec3& NewPos, float TimeX);
    // A time of 0 is treated like BlendPosition's: no blend.
    void BlendDestination(const Vec3& NewDest, float TimeX);
    // Sets the angle to ActAngle first; a time of 0 leaves no blend running and raises kl::Fault.
    void BlendAngle(float ActAngle, float NewAngle, float TimeX);
    void DoEventsX(float RelTimeDiff);
    // Hands the view to the current engine with x and z clamped to [1, WorldSize - 1].
    void SetCamera() const;

    Vec3 CamPos;
    Vec3 PosRate;
    Vec3 CamDest;
    Vec3 DestRate;
    float ViewAngle = 0.0f;
    float AngleRate = 0.0f;
    float PosTime = 0.0f;
    float DestTime = 0.0f;
    float AngleTime = 0.0f;
};

} // namespace kl

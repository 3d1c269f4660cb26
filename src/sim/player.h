// The user's vehicle: an invisible point with a driving direction and a separately steered view
// direction, driven forward by the user's speed; the chase camera follows it.
#pragma once

#include "engine/records.h"

#include <cstdint>
#include <memory>

namespace kl {

class cls3dObject;

class Player {
  public:
    Player();
    ~Player();
    Player(const Player&) = delete;
    Player& operator=(const Player&) = delete;

    std::int64_t LastWallPosProp() const { return 0; }
    Vec3 PosProp() const { return SimPos; }
    Vec3 DirProp() const { return SimDir; }
    Vec3 DirPropV() const { return SimDirV; }
    Vec3 POSX() const { return SimPos; }
    Vec3 LastPosProp() const { return LastPos; }

    // The arguments are not used.
    bool Initialize(std::int32_t KledNr, std::int32_t nIdent, const void* pW);
    void Reset();
    // Back to the start: road 0, middle lane, 800 units up the road, 1 unit above the ground.
    void GeneratePos();
    // Puts it at pos, driving and looking along dir.
    void PlaceAt(const Vec3& pos, const Vec3& dir);
    void Crash();
    void Delete() {}
    // Yaw of the driving direction by 4 degrees (clockwise seen from above when TurnDir is non-zero).
    void ChangeDir(std::int32_t TurnDir);
    // Yaw of the view direction by 4 degrees.
    void ChangeDirV(std::int32_t TurnDir);
    // Pitch of the driving direction about the x axis by 4 degrees.
    void ChangeDirH(std::int32_t TurnDir);
    // Pitch of the view direction by half a degree, upwards when TurnDir is non-zero. Raises
    // kl::Fault and changes nothing when the view direction is vertical.
    void ChangeDirHV(std::int32_t TurnDir);
    void DoEventsX(float RelTimeDiff, float KledSpeed);
    void Render() {}

    // The never-loaded mesh that follows the vehicle, for tools and tests.
    const cls3dObject* Model() const { return ModelMesh.get(); }

    bool Alive = false;

  private:
    std::unique_ptr<cls3dObject> ModelMesh;
    Vec3 SimPos;
    Vec3 LastPos;
    Vec3 SimDir;
    Vec3 SimDirV;
};

// v turned by phi about the horizontal axis at right angles to its ground direction, right-hand rule
// (a positive phi lifts a level direction). A vertical v has no such axis: kl::Fault.
Vec3 TiltOverGroundDirection(const Vec3& v, float phi);

} // namespace kl

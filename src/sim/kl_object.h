// One placed model of the scene (sky, ground, building, road strip or vehicle): a mesh with a
// position in simulation form (x across the road, y along it, z up), drawn at engine (x, z, y).
#pragma once

#include "engine/records.h"

#include <cstdint>
#include <memory>
#include <string>

namespace kl {

class cls3dObject;

class KlObject {
  public:
    KlObject();
    ~KlObject();
    KlObject(const KlObject&) = delete;
    KlObject& operator=(const KlObject&) = delete;

    std::int64_t LastWallPosProp() const { return 0; }
    Vec3 PosProp() const { return SimPos; }
    Vec3 DirProp() const { return SimDir; }
    Vec3 POSX() const { return SimPos; }

    // Loads 3z-idaveva\ + sName below the data root; KledNr and nIdent are not used.
    bool Initialize(const std::string& sName, std::int32_t KledNr, std::int32_t nIdent);
    void Reset();
    // Puts the model on the ground plane under its position.
    void GeneratePos();
    void MOVEobj(float X, float y, float z);
    // Where a model placed at SimPos stands in engine form (x and z on the ground, y up).
    static Vec3 EnginePosition(const Vec3& SimPos) { return {SimPos.x, SimPos.z, SimPos.y}; }
    // A quarter turn about the world origin: clockwise seen from above when TurnDir is non-zero.
    void ChangeDir(std::int32_t TurnDir);
    void Render();
    // The model's subsets one at a time (cls3dObject::RenderSubset), and how many it has.
    void RenderSubset(std::int32_t k);
    std::int32_t SubsetCount();

    const cls3dObject* Model() const { return ModelMesh.get(); }
    cls3dObject* Model() { return ModelMesh.get(); }

    bool Alive = false;

  private:
    // The mesh, or kl::Fault when Initialize has not created one.
    cls3dObject& mesh();

    std::unique_ptr<cls3dObject> ModelMesh;
    Vec3 SimPos;
    Vec3 SimDir;
};

} // namespace kl

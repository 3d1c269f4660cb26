// Placed scene models. The quarter turn of ChangeDir is about the world origin, so it only turns a
// model in place while the model still stands there: the scene turns vehicles before placing them.
#include "sim/kl_object.h"

#include "fault/fault.h"
#include "resources/cls3d_object.h"
#include "sim/data_files.h"

#include <cmath>

namespace kl {

namespace {
constexpr float kPi = 3.1415927f;
}

KlObject::KlObject() = default;
KlObject::~KlObject() = default;

cls3dObject& KlObject::mesh() {
    if (!ModelMesh) throw Fault("Object variable not set");
    return *ModelMesh;
}

bool KlObject::Initialize(const std::string& sName, std::int32_t /*KledNr*/, std::int32_t /*nIdent*/) {
    ModelMesh = std::make_unique<cls3dObject>();
    if (!ModelMesh->LoadFromFile(DataFilePath(sName), 1)) return false;
    SimDir = {0, 0, 1};
    Reset();
    return true;
}

void KlObject::Reset() {
    Alive = true;
    GeneratePos();
}

void KlObject::GeneratePos() {
    mesh().Position({SimPos.x, 0, SimPos.y});
}

void KlObject::MOVEobj(float X, float y, float z) {
    SimPos = {X, y, z};
    mesh().Position(EnginePosition(SimPos));
}

void KlObject::ChangeDir(std::int32_t TurnDir) {
    if (!Alive) return;
    const float a = TurnDir != 0 ? -kPi / 2 : kPi / 2;
    mesh().Rotate({0, a, 0}, {0, 1, 2}, {0, 0, 0});
    const double c = std::cos(static_cast<double>(a)), s = std::sin(static_cast<double>(a));
    const double x = SimDir.x, y = SimDir.y;
    SimDir.x = static_cast<float>(c * x - s * y);
    SimDir.y = static_cast<float>(c * y + s * x);
}

void KlObject::Render() {
    mesh().Render();
}

void KlObject::RenderSubset(std::int32_t k) {
    mesh().RenderSubset(k);
}

std::int32_t KlObject::SubsetCount() {
    return mesh().GetMaterialCount();
}

} // namespace kl

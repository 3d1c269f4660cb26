// Resetting the program state and checked access to its arrays.
#include "sim/mdl_kl.h"

#include "fault/fault.h"
#include "resources/scene_textures.h"

#include <memory>

namespace kl::mdlKl {

void ResetProgram() {
    ClearSceneTextures();
    std::destroy_at(&detail::program);
    std::construct_at(&detail::program);
}

Player& PlayerAt(std::int64_t i) {
    auto& slot = checked_at(Program().Players, i);
    if (!slot) throw Fault("Object variable not set");
    return *slot;
}

KlObject& ObjectAt(std::int64_t k) {
    auto& slot = checked_at(Program().Objects, k);
    if (!slot) throw Fault("Object variable not set");
    return *slot;
}

} // namespace kl::mdlKl

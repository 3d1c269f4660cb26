// Checked access to the module's arrays.
#include "sim/mdl_kl.h"

#include "fault/fault.h"

namespace kl::mdlKl {

Player& PlayerAt(std::int64_t i) {
    auto& slot = checked_at(Players, i);
    if (!slot) throw Fault("Object variable not set");
    return *slot;
}

KlObject& ObjectAt(std::int64_t k) {
    auto& slot = checked_at(Objects, k);
    if (!slot) throw Fault("Object variable not set");
    return *slot;
}

} // namespace kl::mdlKl

// The guarded steps' count of faults, kept in the program state.
#include "scene/guarded.h"

#include "sim/mdl_kl.h"

namespace kl::scene {

void count_resumed_fault(const FaultPlace& at) {
    mdlKl::Program().Faults.count(at);
}

} // namespace kl::scene

// How the scene carries on past failures: a step that raises kl::Fault is abandoned and the next step
// runs; when the failing step is the test of a condition, the guarded branch runs as if the test had
// passed (execution resumes at the branch's first step).
#pragma once

#include "fault/fault.h"

namespace kl::scene {

template <typename Step>
void step(Step&& s) {
    try {
        s();
    } catch (const Fault&) {
    }
}

// The value of a condition, or true when computing it failed.
template <typename Test>
bool test(Test&& t) {
    try {
        return static_cast<bool>(t());
    } catch (const Fault&) {
        return true;
    }
}

} // namespace kl::scene

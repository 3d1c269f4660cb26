// How the scene carries on past faults: a step that raises kl::Fault is abandoned and the next step
// runs; when the failing step is the test of a condition, the guarded branch runs as if the test had
// passed (execution resumes at the branch's first step). Each fault resumed past is counted at the
// place of the guarded step, so that a run that went wrong says so at its end.
#pragma once

#include "fault/fault.h"

#include "sim/resumed_faults.h"

namespace kl::scene {

// Counts one fault at the place of a guarded step into the program's tally.
void count_resumed_fault(const FaultPlace& at);

template <typename Step>
void resume_past_fault(Step&& s, const char* file = __builtin_FILE(), unsigned line = __builtin_LINE(),
                       const char* function = __builtin_FUNCTION()) {
    try {
        s();
    } catch (const Fault&) {
        count_resumed_fault({file, line, function});
    }
}

// Whether a condition holds, or true when computing it failed: the branch it guards then runs.
template <typename Test>
bool holds_or_faults(Test&& t, const char* file = __builtin_FILE(), unsigned line = __builtin_LINE(),
                     const char* function = __builtin_FUNCTION()) {
    try {
        return static_cast<bool>(t());
    } catch (const Fault&) {
        count_resumed_fault({file, line, function});
        return true;
    }
}

} // namespace kl::scene

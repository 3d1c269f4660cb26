// How the scene carries on past faults: a step that raises kl::Fault is abandoned and the next step
// runs; when the failing step is the test of a condition, the guarded branch runs as if the test had
// passed (execution resumes at the branch's first step). Each fault resumed past is counted at the
// place of the guarded step, so that a run that went wrong says so at its end.
#pragma once

#include "fault/fault.h"

#include <source_location>

namespace kl::scene {

// Counts one fault at the place of a guarded step into the program's tally.
void count_resumed_fault(const std::source_location& at);

template <typename Step>
void resume_past_fault(Step&& s, std::source_location where = std::source_location::current()) {
    try {
        s();
    } catch (const Fault&) {
        count_resumed_fault(where);
    }
}

// The value of a condition, or true when computing it failed.
template <typename Test>
bool test_resuming_past_fault(Test&& t, std::source_location where = std::source_location::current()) {
    try {
        return static_cast<bool>(t());
    } catch (const Fault&) {
        count_resumed_fault(where);
        return true;
    }
}

} // namespace kl::scene

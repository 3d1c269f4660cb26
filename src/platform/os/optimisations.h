// One switch for every shortcut taken for speed alone: KL_NO_OPTIMISATIONS=1 in the environment runs
// the plain code paths instead, so a run can be compared against them (the results must not differ).
#pragma once

namespace kl::platform {

// Read from the environment once, at the first call.
bool OptimisationsOff();

// KL_FULL_FORMS=1: every vehicle is drawn as its whole model however small its picture, the reference
// that the reduced forms of far vehicles are compared against. Read once, at the first call.
bool ReducedFormsOff();

} // namespace kl::platform

// The speed switch read from the environment.
#include "platform/os/optimisations.h"

#include <cstdlib>
#include <cstring>

namespace kl::platform {

namespace {

bool switched_on(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr && *value != '\0' && std::strcmp(value, "0") != 0;
}

} // namespace

bool OptimisationsOff() {
    static const bool off = switched_on("KL_NO_OPTIMISATIONS");
    return off;
}

bool ReducedFormsOff() {
    static const bool off = switched_on("KL_FULL_FORMS");
    return off;
}

} // namespace kl::platform

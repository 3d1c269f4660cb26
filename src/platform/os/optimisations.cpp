// The speed switch read from the environment.
#include "platform/os/optimisations.h"

#include <cstdlib>
#include <cstring>

namespace kl::platform {

bool OptimisationsOff() {
    static const bool off = [] {
        const char* value = std::getenv("KL_NO_OPTIMISATIONS");
        return value != nullptr && *value != '\0' && std::strcmp(value, "0") != 0;
    }();
    return off;
}

} // namespace kl::platform

// Any bytes as a key script: parsing never crashes, and a script it accepts gives only key states
// of 0 or 0x80 and no keys after its last listed read.
#include "platform/input/key_script.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const kl::platform::KeyScriptResult r = kl::platform::ParseKeyScript(text, "fuzz");
    if (r.script.has_value() == !r.error.empty()) std::abort();
    if (!r.script) return 0;
    const std::uint64_t end = r.script->EndRead();
    for (std::uint64_t read : {std::uint64_t{0}, end / 2, end == 0 ? 0 : end - 1, end}) {
        const kl::platform::KeyStateTable state = r.script->StateAt(read);
        for (std::uint8_t b : state) {
            if (b != 0 && b != kl::platform::kKeyDown) std::abort();
            if (read == end && b != 0) std::abort();
        }
    }
    return 0;
}

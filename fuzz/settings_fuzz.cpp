// Any bytes as a settings file: decoding never reads outside its input and always re-encodes to
// exactly 137 bytes that decode to the same record.
#include "engine/settings_record.h"

#include <cstdint>
#include <cstdlib>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::vector<std::uint8_t> bytes(data, data + size);
    const kl::SettingsRecord s = kl::DecodeSettings(bytes);
    const auto once = kl::EncodeSettings(s);
    const auto twice = kl::EncodeSettings(kl::DecodeSettings({once.begin(), once.end()}));
    if (once != twice) std::abort();
    return 0;
}

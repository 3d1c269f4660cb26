// The shipped settings record, default.dat: the values a first run starts from.
#pragma once

#include "engine/settings_record.h"

#include <array>
#include <cstdint>

namespace kl::data {

SettingsRecord default_settings();
std::array<std::uint8_t, kSettingsFileSize> default_settings_bytes();

} // namespace kl::data

// A 1024 x 768 32-bit display, one round, the chase camera 20 m behind and 10 m up, 20 m/s.
#include "default_settings.h"

namespace kl::data {

SettingsRecord default_settings() {
    SettingsRecord s; // every other field 0, Spare58 blanks
    s.SetMode({1024, 768, 22});
    s.Spare24 = -1;
    s.WorldSize = 64000.0f;
    s.PlayerSpeed = 20.0f;
    s.RoundLimit = 1;
    s.CameraMode = 1;
    s.ResH = 1024;
    s.ResV = 768;
    s.AspectRatio = "1,333";
    return s;
}

std::array<std::uint8_t, kSettingsFileSize> default_settings_bytes() {
    return EncodeSettings(default_settings());
}

} // namespace kl::data

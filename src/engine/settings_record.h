// The settings record, read by every layer: everything that survives from one run to the next, as
// a 137-byte little-endian file read at start and written back at the end of a normal run.
#pragma once

#include "engine/fixed_text.h"
#include "engine/records.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kl {

struct SettingsRecord {
    std::int32_t Width = 0;
    std::int32_t Height = 0;
    std::int32_t Format = 0;
    std::int32_t AntiAlias = 0;
    std::int16_t Spare16 = 0;
    std::array<std::uint8_t, 2> Padding18{}; // kept as last read
    std::int32_t ClearMode = 0;
    std::int16_t Spare24 = 0;
    std::int16_t AnisotropicFilter = 0;
    std::int16_t Spare28 = 0;
    std::array<std::uint8_t, 2> Padding30{}; // kept as last read
    float WorldSize = 0.0f;
    float PlayerSpeed = 0.0f;
    std::int32_t RoundLimit = 0;
    std::int32_t LastPlayer = 0;
    std::array<std::uint8_t, 4> Spare48{};
    std::int32_t CameraMode = 0;
    std::array<std::uint8_t, 2> Spare56{};
    FixedText<64> Spare58;
    std::int32_t ResH = 0;
    std::int32_t ResV = 0;
    FixedText<7> AspectRatio; // only the first 5 characters are stored

    DisplayMode Mode() const { return {Width, Height, Format}; }
    void SetMode(const DisplayMode& m) {
        Width = m.Width;
        Height = m.Height;
        Format = m.Format;
    }
};

constexpr std::size_t kSettingsFileSize = 137;
constexpr const char* kConfigFile = "3z-idaveva\\config.dat";
constexpr const char* kDefaultFile = "3z-idaveva\\default.dat";

// Bytes beyond the record are ignored; missing bytes of a short record read as zeros.
SettingsRecord DecodeSettings(const std::vector<std::uint8_t>& bytes);
std::array<std::uint8_t, kSettingsFileSize> EncodeSettings(const SettingsRecord& s);

// config.dat below the data root if present, else default.dat, else nothing.
std::optional<std::filesystem::path> ChooseSettingsFile(const std::filesystem::path& data_root);
// The same with the user's settings kept elsewhere: config_file if present, else default.dat below
// the data root, else nothing.
std::optional<std::filesystem::path> ChooseSettingsFile(const std::filesystem::path& data_root,
                                                        const std::filesystem::path& config_file);
// config.dat below the data root, whatever the letter case of the names already there.
std::filesystem::path ConfigFileBelow(const std::filesystem::path& data_root);
// Nothing when the file cannot be opened or read.
std::optional<SettingsRecord> ReadSettingsFile(const std::filesystem::path& file);
// Writes the record over the start of config.dat below the data root, keeping any longer tail.
// Returns an error text, empty on success.
std::string WriteSettingsFile(const std::filesystem::path& data_root, const SettingsRecord& s);
// The same for a settings file named in full.
std::string WriteSettingsFileTo(const std::filesystem::path& file, const SettingsRecord& s);

} // namespace kl

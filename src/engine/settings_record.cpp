// Field-by-field conversion of the settings record at its fixed offsets, little-endian.
#include "engine/settings_record.h"

#include "platform/os/files.h"

#include <bit>
#include <cstring>

namespace kl {

namespace {

class Reader {
  public:
    explicit Reader(const std::vector<std::uint8_t>& bytes) {
        std::copy_n(bytes.begin(), std::min(bytes.size(), buf_.size()), buf_.begin());
    }
    template <typename T> T get(std::size_t offset) const {
        std::array<std::uint8_t, sizeof(T)> raw{};
        std::copy_n(buf_.begin() + static_cast<std::ptrdiff_t>(offset), sizeof(T), raw.begin());
        if constexpr (std::endian::native == std::endian::big) std::reverse(raw.begin(), raw.end());
        return std::bit_cast<T>(raw);
    }
    template <std::size_t N>
    void bytes(std::size_t offset, std::size_t count, std::array<std::uint8_t, N>& out) const {
        std::copy_n(buf_.begin() + static_cast<std::ptrdiff_t>(offset), count, out.begin());
    }
    template <std::size_t N>
    void chars(std::size_t offset, std::size_t count, std::array<char, N>& out) const {
        out.fill('\0');
        for (std::size_t i = 0; i < count; ++i)
            out[i] = static_cast<char>(buf_[offset + i]);
    }

  private:
    std::array<std::uint8_t, kSettingsFileSize> buf_{};
};

class Writer {
  public:
    template <typename T> void put(std::size_t offset, T value) {
        auto raw = std::bit_cast<std::array<std::uint8_t, sizeof(T)>>(value);
        if constexpr (std::endian::native == std::endian::big) std::reverse(raw.begin(), raw.end());
        std::copy(raw.begin(), raw.end(), buf.begin() + static_cast<std::ptrdiff_t>(offset));
    }
    template <typename Array> void bytes(std::size_t offset, std::size_t count, const Array& in) {
        for (std::size_t i = 0; i < count; ++i)
            buf[offset + i] = static_cast<std::uint8_t>(in[i]);
    }
    std::array<std::uint8_t, kSettingsFileSize> buf{};
};

} // namespace

SettingsRecord DecodeSettings(const std::vector<std::uint8_t>& bytes) {
    const Reader r(bytes);
    SettingsRecord s;
    s.Width = r.get<std::int32_t>(0);
    s.Height = r.get<std::int32_t>(4);
    s.Format = r.get<std::int32_t>(8);
    s.AntiAlias = r.get<std::int32_t>(12);
    s.Spare16 = r.get<std::int16_t>(16);
    r.bytes(18, 2, s.Padding18);
    s.ClearMode = r.get<std::int32_t>(20);
    s.Spare24 = r.get<std::int16_t>(24);
    s.AnisotropicFilter = r.get<std::int16_t>(26);
    s.Spare28 = r.get<std::int16_t>(28);
    r.bytes(30, 2, s.Padding30);
    s.WorldSize = r.get<float>(32);
    s.PlayerSpeed = r.get<float>(36);
    s.RoundLimit = r.get<std::int32_t>(40);
    s.LastPlayer = r.get<std::int32_t>(44);
    r.bytes(48, 4, s.Spare48);
    s.CameraMode = r.get<std::int32_t>(52);
    r.bytes(56, 2, s.Spare56);
    r.chars(58, 64, s.Spare58.chars());
    s.ResH = r.get<std::int32_t>(124);
    s.ResV = r.get<std::int32_t>(128);
    // The file ends inside the aspect text: its last two characters read as zero characters.
    r.chars(132, 5, s.AspectRatio.chars());
    return s;
}

std::array<std::uint8_t, kSettingsFileSize> EncodeSettings(const SettingsRecord& s) {
    Writer w;
    w.put(0, s.Width);
    w.put(4, s.Height);
    w.put(8, s.Format);
    w.put(12, s.AntiAlias);
    w.put(16, s.Spare16);
    w.bytes(18, 2, s.Padding18);
    w.put(20, s.ClearMode);
    w.put(24, s.Spare24);
    w.put(26, s.AnisotropicFilter);
    w.put(28, s.Spare28);
    w.bytes(30, 2, s.Padding30);
    w.put(32, s.WorldSize);
    w.put(36, s.PlayerSpeed);
    w.put(40, s.RoundLimit);
    w.put(44, s.LastPlayer);
    w.bytes(48, 4, s.Spare48);
    w.put(52, s.CameraMode);
    w.bytes(56, 2, s.Spare56);
    w.bytes(58, 64, s.Spare58.chars());
    // Offset 122 is padding: written as zeros.
    w.put(124, s.ResH);
    w.put(128, s.ResV);
    w.bytes(132, 5, s.AspectRatio.chars());
    return w.buf;
}

std::optional<std::filesystem::path> ChooseSettingsFile(const std::filesystem::path& data_root) {
    return ChooseSettingsFile(data_root, ConfigFileBelow(data_root));
}

std::optional<std::filesystem::path> ChooseSettingsFile(const std::filesystem::path& data_root,
                                                        const std::filesystem::path& config_file) {
    for (const auto& path : {config_file, platform::ResolvePath(data_root, kDefaultFile)})
        if (platform::FileExists(path)) return path;
    return std::nullopt;
}

std::filesystem::path ConfigFileBelow(const std::filesystem::path& data_root) {
    return platform::ResolvePath(data_root, kConfigFile);
}

std::optional<SettingsRecord> ReadSettingsFile(const std::filesystem::path& file) {
    auto bytes = platform::ReadFileBytes(file, kSettingsFileSize);
    if (!bytes) return std::nullopt;
    return DecodeSettings(*bytes);
}

std::string WriteSettingsFile(const std::filesystem::path& data_root, const SettingsRecord& s) {
    return WriteSettingsFileTo(ConfigFileBelow(data_root), s);
}

std::string WriteSettingsFileTo(const std::filesystem::path& file, const SettingsRecord& s) {
    const auto image = EncodeSettings(s);
    return platform::OverwriteFileStart(file, std::vector<std::uint8_t>(image.begin(), image.end()));
}

} // namespace kl

// The table of key names: every key of a 105-key keyboard plus a few multimedia and Japanese keys.
#include "platform/input/key_names.h"

#include <cctype>

namespace kl::platform {
namespace {

struct NamedKey {
    std::string_view name;
    std::uint8_t code;
};

// The first entry for a code is its main name; later entries with the same code are short forms.
// clang-format off
constexpr NamedKey kNames[] = {
    {"Escape", 1}, {"1", 2}, {"2", 3}, {"3", 4}, {"4", 5}, {"5", 6}, {"6", 7}, {"7", 8}, {"8", 9},
    {"9", 10}, {"0", 11}, {"Minus", 12}, {"Equals", 13}, {"Backspace", 14},
    {"Tab", 15}, {"Q", 16}, {"W", 17}, {"E", 18}, {"R", 19}, {"T", 20}, {"Y", 21}, {"U", 22}, {"I", 23},
    {"O", 24}, {"P", 25}, {"LBracket", 26}, {"RBracket", 27}, {"Return", 28},
    {"LControl", 29}, {"A", 30}, {"S", 31}, {"D", 32}, {"F", 33}, {"G", 34}, {"H", 35}, {"J", 36},
    {"K", 37}, {"L", 38}, {"Semicolon", 39}, {"Apostrophe", 40}, {"Grave", 41},
    {"LShift", 42}, {"Backslash", 43}, {"Z", 44}, {"X", 45}, {"C", 46}, {"V", 47}, {"B", 48}, {"N", 49},
    {"M", 50}, {"Comma", 51}, {"Period", 52}, {"Slash", 53}, {"RShift", 54},
    {"NumpadMultiply", 55}, {"LAlt", 56}, {"Space", 57}, {"CapsLock", 58},
    {"F1", 59}, {"F2", 60}, {"F3", 61}, {"F4", 62}, {"F5", 63}, {"F6", 64}, {"F7", 65}, {"F8", 66},
    {"F9", 67}, {"F10", 68}, {"NumLock", 69}, {"ScrollLock", 70},
    {"Numpad7", 71}, {"Numpad8", 72}, {"Numpad9", 73}, {"NumpadMinus", 74},
    {"Numpad4", 75}, {"Numpad5", 76}, {"Numpad6", 77}, {"NumpadPlus", 78},
    {"Numpad1", 79}, {"Numpad2", 80}, {"Numpad3", 81}, {"Numpad0", 82}, {"NumpadDecimal", 83},
    {"OEM102", 86}, {"F11", 87}, {"F12", 88}, {"F13", 100}, {"F14", 101}, {"F15", 102},
    {"Kana", 112}, {"AbntC1", 115}, {"Convert", 121}, {"NoConvert", 123}, {"Yen", 125},
    {"NumpadEquals", 141}, {"NumpadEnter", 156}, {"RControl", 157}, {"Mute", 160},
    {"VolumeDown", 174}, {"VolumeUp", 176}, {"NumpadComma", 179}, {"NumpadDivide", 181},
    {"PrintScreen", 183}, {"RAlt", 184}, {"Pause", 197}, {"Home", 199}, {"Up", 200}, {"PageUp", 201},
    {"Left", 203}, {"Right", 205}, {"End", 207}, {"Down", 208}, {"PageDown", 209},
    {"Insert", 210}, {"Delete", 211}, {"LWin", 219}, {"RWin", 220}, {"Apps", 221},
    {"Power", 222}, {"Sleep", 223},
    // Short forms.
    {"Esc", 1}, {"Enter", 28}, {"LCtrl", 29}, {"RCtrl", 157}, {"Ctrl", 29}, {"Shift", 42}, {"Alt", 56},
    {"AltGr", 184}, {"Less", 86}, {"PgUp", 201}, {"PgDn", 209}, {"Ins", 210}, {"Del", 211},
    {"Numpad*", 55}, {"Numpad-", 74}, {"Numpad+", 78}, {"Numpad/", 181}, {"Numpad.", 83},
};
// clang-format on

bool SameIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    }
    return true;
}

} // namespace

std::optional<std::uint8_t> KeyCodeFromName(std::string_view name) {
    for (const NamedKey& k : kNames) {
        if (SameIgnoringCase(k.name, name)) return k.code;
    }
    return std::nullopt;
}

std::string_view KeyCodeName(std::uint8_t code) {
    for (const NamedKey& k : kNames) {
        if (k.code == code) return k.name;
    }
    return {};
}

} // namespace kl::platform

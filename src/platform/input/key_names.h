// Readable names for key codes (the names of the keys at their US positions: the key code names a
// place on the keyboard, not the character a layout puts there).
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace kl::platform {

// Key codes the program's parts refer to by name.
namespace key {
inline constexpr std::uint8_t Escape = 1;
inline constexpr std::uint8_t Backspace = 14;
inline constexpr std::uint8_t R = 19;
inline constexpr std::uint8_t T = 20;
inline constexpr std::uint8_t P = 25;
inline constexpr std::uint8_t LBracket = 26;
inline constexpr std::uint8_t RBracket = 27;
inline constexpr std::uint8_t Return = 28;
inline constexpr std::uint8_t A = 30;
inline constexpr std::uint8_t F = 33;
inline constexpr std::uint8_t G = 34;
inline constexpr std::uint8_t H = 35;
inline constexpr std::uint8_t J = 36;
inline constexpr std::uint8_t LShift = 42;
inline constexpr std::uint8_t C = 46;
inline constexpr std::uint8_t V = 47;
inline constexpr std::uint8_t B = 48;
inline constexpr std::uint8_t M = 50;
inline constexpr std::uint8_t RShift = 54;
inline constexpr std::uint8_t Space = 57;
inline constexpr std::uint8_t F2 = 60;
inline constexpr std::uint8_t F3 = 61;
inline constexpr std::uint8_t NumpadEnter = 156;
inline constexpr std::uint8_t Home = 199;
inline constexpr std::uint8_t Up = 200;
inline constexpr std::uint8_t PageUp = 201;
inline constexpr std::uint8_t Left = 203;
inline constexpr std::uint8_t Right = 205;
inline constexpr std::uint8_t End = 207;
inline constexpr std::uint8_t Down = 208;
inline constexpr std::uint8_t PageDown = 209;
inline constexpr std::uint8_t Insert = 210;
inline constexpr std::uint8_t Delete = 211;
} // namespace key

// The code of a key name, ignoring letter case ("PageUp", "pageup", "Numpad1", "LShift", "A", "1");
// a few short forms are accepted too ("Enter", "Esc", "PgUp"). Nothing for an unknown name.
std::optional<std::uint8_t> KeyCodeFromName(std::string_view name);

// The main name of a key code; empty for codes that name no key.
std::string_view KeyCodeName(std::uint8_t code);

} // namespace kl::platform

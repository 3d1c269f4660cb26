#include "platform/input/key_names.h"
#include "platform/input/sdl_key_codes.h"

#include <SDL_keyboard.h>
#include <gtest/gtest.h>
#include <set>

namespace kl::platform {
namespace {

// The keys of a 105-key (ISO) board by physical position, row by row.
constexpr SDL_Scancode kIsoBoard[] = {
    SDL_SCANCODE_ESCAPE,      SDL_SCANCODE_F1,
    SDL_SCANCODE_F2,          SDL_SCANCODE_F3,
    SDL_SCANCODE_F4,          SDL_SCANCODE_F5,
    SDL_SCANCODE_F6,          SDL_SCANCODE_F7,
    SDL_SCANCODE_F8,          SDL_SCANCODE_F9,
    SDL_SCANCODE_F10,         SDL_SCANCODE_F11,
    SDL_SCANCODE_F12,         SDL_SCANCODE_PRINTSCREEN,
    SDL_SCANCODE_SCROLLLOCK,  SDL_SCANCODE_PAUSE,
    SDL_SCANCODE_GRAVE,       SDL_SCANCODE_1,
    SDL_SCANCODE_2,           SDL_SCANCODE_3,
    SDL_SCANCODE_4,           SDL_SCANCODE_5,
    SDL_SCANCODE_6,           SDL_SCANCODE_7,
    SDL_SCANCODE_8,           SDL_SCANCODE_9,
    SDL_SCANCODE_0,           SDL_SCANCODE_MINUS,
    SDL_SCANCODE_EQUALS,      SDL_SCANCODE_BACKSPACE,
    SDL_SCANCODE_INSERT,      SDL_SCANCODE_HOME,
    SDL_SCANCODE_PAGEUP,      SDL_SCANCODE_NUMLOCKCLEAR,
    SDL_SCANCODE_KP_DIVIDE,   SDL_SCANCODE_KP_MULTIPLY,
    SDL_SCANCODE_KP_MINUS,    SDL_SCANCODE_TAB,
    SDL_SCANCODE_Q,           SDL_SCANCODE_W,
    SDL_SCANCODE_E,           SDL_SCANCODE_R,
    SDL_SCANCODE_T,           SDL_SCANCODE_Y,
    SDL_SCANCODE_U,           SDL_SCANCODE_I,
    SDL_SCANCODE_O,           SDL_SCANCODE_P,
    SDL_SCANCODE_LEFTBRACKET, SDL_SCANCODE_RIGHTBRACKET,
    SDL_SCANCODE_RETURN,      SDL_SCANCODE_DELETE,
    SDL_SCANCODE_END,         SDL_SCANCODE_PAGEDOWN,
    SDL_SCANCODE_KP_7,        SDL_SCANCODE_KP_8,
    SDL_SCANCODE_KP_9,        SDL_SCANCODE_KP_PLUS,
    SDL_SCANCODE_CAPSLOCK,    SDL_SCANCODE_A,
    SDL_SCANCODE_S,           SDL_SCANCODE_D,
    SDL_SCANCODE_F,           SDL_SCANCODE_G,
    SDL_SCANCODE_H,           SDL_SCANCODE_J,
    SDL_SCANCODE_K,           SDL_SCANCODE_L,
    SDL_SCANCODE_SEMICOLON,   SDL_SCANCODE_APOSTROPHE,
    SDL_SCANCODE_NONUSHASH,   SDL_SCANCODE_KP_4,
    SDL_SCANCODE_KP_5,        SDL_SCANCODE_KP_6,
    SDL_SCANCODE_LSHIFT,      SDL_SCANCODE_NONUSBACKSLASH,
    SDL_SCANCODE_Z,           SDL_SCANCODE_X,
    SDL_SCANCODE_C,           SDL_SCANCODE_V,
    SDL_SCANCODE_B,           SDL_SCANCODE_N,
    SDL_SCANCODE_M,           SDL_SCANCODE_COMMA,
    SDL_SCANCODE_PERIOD,      SDL_SCANCODE_SLASH,
    SDL_SCANCODE_RSHIFT,      SDL_SCANCODE_UP,
    SDL_SCANCODE_KP_1,        SDL_SCANCODE_KP_2,
    SDL_SCANCODE_KP_3,        SDL_SCANCODE_KP_ENTER,
    SDL_SCANCODE_LCTRL,       SDL_SCANCODE_LGUI,
    SDL_SCANCODE_LALT,        SDL_SCANCODE_SPACE,
    SDL_SCANCODE_RALT,        SDL_SCANCODE_RGUI,
    SDL_SCANCODE_APPLICATION, SDL_SCANCODE_RCTRL,
    SDL_SCANCODE_LEFT,        SDL_SCANCODE_DOWN,
    SDL_SCANCODE_RIGHT,       SDL_SCANCODE_KP_0,
    SDL_SCANCODE_KP_PERIOD,
};
static_assert(std::size(kIsoBoard) == 105);

TEST(SdlKeyCodes, EveryKeyOfAFullBoardHasItsOwnNamedCode) {
    std::set<int> codes;
    for (SDL_Scancode sc : kIsoBoard) {
        const std::uint8_t code = KeyCodeFromScancode(sc);
        EXPECT_NE(code, 0) << SDL_GetScancodeName(sc);
        EXPECT_FALSE(KeyCodeName(code).empty()) << SDL_GetScancodeName(sc);
        codes.insert(code);
    }
    EXPECT_EQ(codes.size(), std::size(kIsoBoard));
    // The key beside Return is the same key whether the board reports it ANSI- or ISO-style.
    EXPECT_EQ(KeyCodeFromScancode(SDL_SCANCODE_BACKSLASH), KeyCodeFromScancode(SDL_SCANCODE_NONUSHASH));
}

TEST(SdlKeyCodes, ExtendedKeysCarryTheExtendedCodes) {
    const std::pair<SDL_Scancode, int> extended[] = {
        {SDL_SCANCODE_UP, 200},        {SDL_SCANCODE_LEFT, 203},     {SDL_SCANCODE_RIGHT, 205},
        {SDL_SCANCODE_DOWN, 208},      {SDL_SCANCODE_HOME, 199},     {SDL_SCANCODE_END, 207},
        {SDL_SCANCODE_PAGEUP, 201},    {SDL_SCANCODE_PAGEDOWN, 209}, {SDL_SCANCODE_INSERT, 210},
        {SDL_SCANCODE_DELETE, 211},    {SDL_SCANCODE_KP_ENTER, 156}, {SDL_SCANCODE_RCTRL, 157},
        {SDL_SCANCODE_KP_DIVIDE, 181}, {SDL_SCANCODE_RALT, 184},
    };
    for (const auto& [sc, code] : extended) {
        EXPECT_EQ(KeyCodeFromScancode(sc), code) << SDL_GetScancodeName(sc);
        // Each is the extended twin of a key in the main block or on the keypad.
        EXPECT_NE(KeyCodeName(static_cast<std::uint8_t>(code - 128)), "") << SDL_GetScancodeName(sc);
    }
}

TEST(SdlKeyCodes, PositionsNotLettersDecide) {
    // On a German board the key SDL calls Z (bottom row, left) types y; its code is that position's.
    EXPECT_EQ(KeyCodeFromScancode(SDL_SCANCODE_Z), 44);
    EXPECT_EQ(KeyCodeFromScancode(SDL_SCANCODE_Y), 21);
    EXPECT_EQ(KeyCodeFromScancode(SDL_SCANCODE_NONUSBACKSLASH), 86);
    EXPECT_EQ(KeyCodeFromScancode(SDL_SCANCODE_UNKNOWN), 0);
    EXPECT_EQ(KeyCodeFromScancode(-1), 0);
    EXPECT_EQ(KeyCodeFromScancode(SDL_NUM_SCANCODES), 0);
}

} // namespace
} // namespace kl::platform

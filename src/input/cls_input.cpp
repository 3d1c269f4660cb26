// Keyboard and mouse reads, the re-acquire after a lost device, and typing on a German layout.
#include "input/cls_input.h"

#include "fault/fault.h"
#include "platform/input/key_names.h"
#include "platform/input/sdl_input.h"

#include <cstdio>

namespace kl {

using platform::Failed;
using platform::Status;

namespace {

constexpr std::uint32_t kCoopFlags = platform::kCoopExclusive | platform::kCoopForeground;

// Sets up one device the way Initialize needs it; stops at the first failing step.
bool SetUpDevice(platform::InputSystem& system, std::string_view name, std::int32_t format,
                 platform::WindowHandle hWnd, std::unique_ptr<platform::InputDevice>& device) {
    if (Failed(system.CreateDevice(name, device)) || !device) return false;
    if (Failed(device->SetDataFormat(format))) return false;
    if (Failed(device->SetCooperativeLevel(hWnd, kCoopFlags))) return false;
    return !Failed(device->Acquire());
}

// The text is UTF-8, so a character may take several bytes; a broken sequence loses one byte.
void RemoveLastCharacter(std::string& text) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    std::size_t start = text.size() - 1;
    while (start > 0 && text.size() - start < 4 && (byte(start) & 0xC0) == 0x80)
        --start;
    const unsigned char lead = byte(start);
    const std::size_t length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
    if ((lead & 0xC0) == 0x80 || length != text.size() - start) start = text.size() - 1;
    text.erase(start);
}

void ToUpperAscii(std::string& text) {
    for (char& c : text) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    }
}

} // namespace

clsInput::~clsInput() {
    try {
        Cleanup();
    } catch (const Fault&) {
        // Nothing is left to release; there is no one to tell.
    }
}

bool clsInput::Initialize(platform::WindowHandle hWnd, [[maybe_unused]] bool NoWinKeys,
                          [[maybe_unused]] bool NoWinMouse) {
    try {
        Cleanup();
    } catch (const Fault&) {
        return false;
    }
    platform::InputFactory& factory = Factory != nullptr ? *Factory : platform::SdlInputFactory();
    if (Failed(factory.Create(DirectInput)) || !DirectInput) return false;
    if (!SetUpDevice(*DirectInput, platform::kSysKeyboard, platform::kKeyboardFormat, hWnd, Keyboard))
        return false;
    return SetUpDevice(*DirectInput, platform::kSysMouse, platform::kMouseFormat, hWnd, Mouse);
}

void clsInput::Cleanup() {
    Status first_failure = Status::Ok;
    const auto release = [&](std::unique_ptr<platform::InputDevice>& device) {
        if (!device) return;
        if (const Status s = device->Unacquire(); Failed(s) && !Failed(first_failure)) first_failure = s;
        device.reset();
    };
    release(Mouse);
    release(Keyboard);
    DirectInput.reset();
    if (Failed(first_failure)) {
        char text[64];
        std::snprintf(text, sizeof text, "Input device could not be released (0x%08X)",
                      static_cast<unsigned>(first_failure));
        throw Fault(text);
    }
}

const platform::KeyStateTable* clsInput::ReadKeyboard(std::string& AppendTo) {
    PrevKeyState = KeyState;

    // A failed read leaves KeyState as it was, so that no key counts as newly pressed.
    platform::KeyStateTable fresh;
    const auto read = [&] {
        const Status s =
            Keyboard ? Keyboard->GetDeviceState(platform::kKeyCount, fresh.data()) : Status::InvalidCall;
        if (!Failed(s)) KeyState = fresh;
        return s;
    };
    if (read() == Status::InputLost) {
        const Status acquired = Keyboard->Acquire();
        const Status reread = read();
        if (Failed(acquired) || Failed(reread)) return nullptr;
    }
    // Any other failed read is passed over: the caller gets the previous state again.

    const bool Shift = KeyState[platform::key::LShift] != 0 || KeyState[platform::key::RShift] != 0;
    for (int k = 0; k < static_cast<int>(platform::kKeyCount); ++k) {
        const auto went_down = static_cast<std::uint8_t>(~PrevKeyState[k] & KeyState[k]);
        if (went_down == 0) continue;
        std::string c = KeyToChar(k, Shift);
        if (Shift) ToUpperAscii(c);
        if (KeyState[platform::key::Backspace] != 0) {
            if (!AppendTo.empty()) RemoveLastCharacter(AppendTo);
        } else {
            AppendTo += c;
        }
    }
    return &KeyState;
}

platform::MouseState clsInput::ReadMouse() {
    platform::MouseState fresh;
    const auto read = [&] {
        const Status s = Mouse ? Mouse->GetDeviceState(sizeof fresh, &fresh) : Status::InvalidCall;
        if (!Failed(s)) MouseState = fresh;
        return s;
    };
    const Status s = read();
    if (s == Status::InputLost) {
        const Status acquired = Mouse->Acquire();
        const Status reread = read();
        if (Failed(acquired) || Failed(reread)) return {};
    } else if (Failed(s)) {
        // The movement is counted since the previous read; when this read says nothing, the
        // previous movement must not be handed out a second time. The buttons keep their state.
        MouseState.X = MouseState.Y = MouseState.Z = 0;
    }
    return MouseState;
}

bool clsInput::FreePointer(bool free) {
    return Mouse && !Failed(Mouse->SetPointerFree(free));
}

platform::PointerState clsInput::ReadPointer() {
    platform::PointerState pointer;
    if (!Mouse || Failed(Mouse->GetPointer(&pointer))) return {};
    return pointer;
}

std::string clsInput::KeyToChar(int k, bool Shift) {
    struct CharKey {
        int code;
        const char* plain;
        const char* shifted; // nullptr: the plain character
    };
    // clang-format off
    static constexpr CharKey kGermanLayout[] = {
        {2, "1", "!"}, {3, "2", "\""}, {4, "3", "\xC2\xA7"}, {5, "4", "$"}, {6, "5", "%"},
        {7, "6", nullptr}, {8, "7", "/"}, {9, "8", "("}, {10, "9", ")"}, {11, "0", "="},
        {12, "\xC3\x9F", "?"},
        {16, "q", nullptr}, {17, "w", nullptr}, {18, "e", nullptr}, {19, "r", nullptr}, {20, "t", nullptr},
        {21, "z", nullptr}, {22, "u", nullptr}, {23, "i", nullptr}, {24, "o", nullptr}, {25, "p", nullptr},
        {30, "a", nullptr}, {31, "s", nullptr}, {32, "d", nullptr}, {33, "f", nullptr}, {34, "g", nullptr},
        {35, "h", nullptr}, {36, "j", nullptr}, {37, "k", nullptr}, {38, "l", nullptr},
        {44, "y", nullptr}, {45, "x", nullptr}, {46, "c", nullptr}, {47, "v", nullptr}, {48, "b", nullptr},
        {49, "n", nullptr}, {50, "m", nullptr},
        {51, ",", ";"}, {52, ".", ":"}, {53, "-", "_"}, {55, "*", nullptr}, {57, " ", nullptr},
        {71, "7", nullptr}, {72, "8", nullptr}, {73, "9", nullptr}, {74, "-", nullptr},
        {75, "4", nullptr}, {76, "5", nullptr}, {77, "6", nullptr}, {78, "+", nullptr},
        {79, "1", nullptr}, {80, "2", nullptr}, {81, "3", nullptr}, {82, "0", nullptr}, {83, ",", nullptr},
        {86, "<", ">"},
    };
    // clang-format on
    for (const CharKey& key : kGermanLayout) {
        if (key.code == k) return Shift && key.shifted != nullptr ? key.shifted : key.plain;
    }
    return {};
}

} // namespace kl

// Keyboard and mouse reads, the re-acquire after a lost device, and typing on a German layout.
#include "input/cls_input.h"

#include "engine/fault.h"
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

std::string clsInput::KeyToChar(int k, bool Shift) {
    struct Entry {
        const char* plain;
        const char* shifted; // nullptr: the same as plain
    };
    // clang-format off
    static const Entry kDigitRow[] = {
        {"1", "!"}, {"2", "\""}, {"3", "\xC2\xA7"}, {"4", "$"}, {"5", "%"}, {"6", nullptr},
        {"7", "/"}, {"8", "("}, {"9", ")"}, {"0", "="}, {"\xC3\x9F", "?"},
    };
    // clang-format on
    static const char* const kTopRow = "qwertzuiop";
    static const char* const kMiddleRow = "asdfghjkl";
    static const char* const kBottomRow = "yxcvbnm";

    const auto pick = [&](const char* plain, const char* shifted) {
        return std::string(Shift && shifted != nullptr ? shifted : plain);
    };
    if (k >= 2 && k <= 12) return pick(kDigitRow[k - 2].plain, kDigitRow[k - 2].shifted);
    if (k >= 16 && k <= 25) return std::string(1, kTopRow[k - 16]);
    if (k >= 30 && k <= 38) return std::string(1, kMiddleRow[k - 30]);
    if (k >= 44 && k <= 50) return std::string(1, kBottomRow[k - 44]);
    switch (k) {
    case 51:
        return pick(",", ";");
    case 52:
        return pick(".", ":");
    case 53:
        return pick("-", "_");
    case 55:
        return "*";
    case 57:
        return " ";
    case 71:
        return "7";
    case 72:
        return "8";
    case 73:
        return "9";
    case 74:
        return "-";
    case 75:
        return "4";
    case 76:
        return "5";
    case 77:
        return "6";
    case 78:
        return "+";
    case 79:
        return "1";
    case 80:
        return "2";
    case 81:
        return "3";
    case 82:
        return "0";
    case 83:
        return ",";
    case 86:
        return pick("<", ">");
    default:
        return {};
    }
}

} // namespace kl

// Keyboard and mouse as the program sees them: an input system that creates devices, and devices
// that take a data format and a cooperative level, are acquired and answer immediate state reads.
#pragma once

#include "platform/os/window_handle.h"
#include "platform/status.h"

#include <array>
#include <cstdint>
#include <memory>
#include <string_view>

namespace kl::platform {

// Names of the two devices the system offers.
inline constexpr std::string_view kSysKeyboard = "GUID_SysKeyboard";
inline constexpr std::string_view kSysMouse = "GUID_SysMouse";

// Data formats: what GetDeviceState delivers.
inline constexpr std::int32_t kKeyboardFormat = 1; // 256 bytes, one per key code
inline constexpr std::int32_t kMouseFormat = 2;    // one MouseState

// Cooperative-level flags. Exclusive foreground is the only combination the devices serve: a
// full-screen window leaving the foreground gives the device up; a window among others on the desktop
// only sets it aside (no key down, no movement, grabs let go) until the focus comes back.
inline constexpr std::uint32_t kCoopExclusive = 1;
inline constexpr std::uint32_t kCoopNonExclusive = 2;
inline constexpr std::uint32_t kCoopForeground = 4;
inline constexpr std::uint32_t kCoopBackground = 8;

// One byte per key code (PC scan code set 1, extended keys + 128); high bit set while down.
inline constexpr std::size_t kKeyCount = 256;
using KeyStateTable = std::array<std::uint8_t, kKeyCount>;
inline constexpr std::uint8_t kKeyDown = 0x80;

#pragma pack(push, 1)
// Movement since the previous read (wheel in 120 per notch) and four buttons, high bit = pressed.
struct MouseState {
    std::int32_t X = 0, Y = 0, Z = 0;
    std::uint8_t Buttons[4] = {0, 0, 0, 0};
};
#pragma pack(pop)
static_assert(sizeof(MouseState) == 16, "the mouse record is read as 16 bytes");

inline bool operator==(const MouseState& a, const MouseState& b) {
    return a.X == b.X && a.Y == b.Y && a.Z == b.Z && a.Buttons[0] == b.Buttons[0] &&
           a.Buttons[1] == b.Buttons[1] && a.Buttons[2] == b.Buttons[2] && a.Buttons[3] == b.Buttons[3];
}

// Where the pointer is over the window, in pixels from its top-left corner, and whether the left
// button is held: what on-screen controls need beside the movement the mouse record gives.
struct PointerState {
    bool Present = false;
    float X = 0, Y = 0;
    bool Left = false;
};

// Failures: InvalidCall for calls out of order or with wrong arguments (no format set, wrong size,
// not acquired), NotAvailable when acquiring while the window is in the background, InputLost from
// the first read after the device was taken away. A failed read leaves the caller's buffer untouched.
class InputDevice {
  public:
    virtual ~InputDevice() = default;
    virtual Status SetDataFormat(std::int32_t format) = 0;
    virtual Status SetCooperativeLevel(WindowHandle window, std::uint32_t flags) = 0;
    virtual Status Acquire() = 0;
    virtual Status Unacquire() = 0;
    virtual Status GetDeviceState(std::uint32_t size, void* data) = 0;
    // A mouse over a window can free its pointer: the system's cursor shows and moves over the window
    // and GetPointer tells where it is; held again, the mouse gives movement alone. Devices without a
    // pointer (keyboards, a scripted mouse that never moves) answer NotAvailable.
    virtual Status SetPointerFree(bool free) {
        (void)free;
        return Status::NotAvailable;
    }
    virtual Status GetPointer(PointerState* pointer) {
        (void)pointer;
        return Status::NotAvailable;
    }
};

// The input object. Devices must be released before the system that made them.
class InputSystem {
  public:
    virtual ~InputSystem() = default;
    // NotFound for a device name the system does not offer.
    virtual Status CreateDevice(std::string_view name, std::unique_ptr<InputDevice>& device) = 0;
};

// Makes input systems; lets the program's input object be handed real, scripted or test devices.
class InputFactory {
  public:
    virtual ~InputFactory() = default;
    virtual Status Create(std::unique_ptr<InputSystem>& system) = 0;
};

} // namespace kl::platform

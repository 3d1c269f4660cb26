// The program's keyboard and mouse: read once per frame, with the keys that went down since the
// previous read turned into typed characters of a German layout.
#pragma once

#include "platform/input/input_device.h"
#include "platform/os/window_handle.h"

#include <memory>
#include <string>

namespace kl {

class clsInput {
  public:
    clsInput() = default;
    ~clsInput();
    clsInput(const clsInput&) = delete;
    clsInput& operator=(const clsInput&) = delete;

    // Where the next Initialize gets its devices (SDL unless told otherwise); must outlive the object.
    void SetInputFactory(platform::InputFactory& factory) { Factory = &factory; }

    // True when keyboard and mouse are both made, set up and acquired. On failure the devices made so
    // far stay held until the next Cleanup. NoWinKeys and NoWinMouse are accepted for the callers'
    // sake and change nothing: both devices are always exclusive to the window in the foreground.
    bool Initialize(platform::WindowHandle hWnd, bool NoWinKeys, bool NoWinMouse);

    // Unacquires and releases the mouse, the keyboard and the input object. A failing unacquire is
    // raised as kl::Fault after everything has been released.
    void Cleanup();

    // The key state of this read, or null when the keyboard was lost and could not be taken back.
    // Keys newly down are appended to AppendTo as characters (UTF-8), or remove its last character
    // while Backspace is held. The address stays valid for the object's life.
    const platform::KeyStateTable* ReadKeyboard(std::string& AppendTo);

    // Movement since the previous read and the buttons; all zero when the mouse was lost and could
    // not be taken back.
    platform::MouseState ReadMouse();

    // Frees the mouse's pointer for on-screen controls, showing the system's cursor (true), or holds
    // the mouse for movement again (false). False when the mouse has no pointer to free.
    bool FreePointer(bool free);
    // Where the freed pointer is and whether the left button is held; not Present while the pointer
    // is held or the mouse has none.
    platform::PointerState ReadPointer();

    // The character of key code k with or without Shift on a German layout; empty for keys without
    // one. With Shift, keys that have no shifted character give their plain one (still lower case).
    static std::string KeyToChar(int k, bool Shift);

    platform::KeyStateTable KeyState{};
    platform::KeyStateTable PrevKeyState{};
    platform::MouseState MouseState{};

  private:
    platform::InputFactory* Factory = nullptr;
    std::unique_ptr<platform::InputSystem> DirectInput;
    std::unique_ptr<platform::InputDevice> Keyboard;
    std::unique_ptr<platform::InputDevice> Mouse;
};

} // namespace kl

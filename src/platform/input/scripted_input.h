// Input devices that need no window system: a keyboard that replays a key script, one read per
// frame, and a mouse that never moves. For tests and for runs driven by a key file.
#pragma once

#include "platform/input/basic_device.h"
#include "platform/input/key_script.h"

#include <cstdint>

namespace kl::platform {

class ScriptedKeyboard final : public BasicDevice {
  public:
    explicit ScriptedKeyboard(KeyScript script)
        : BasicDevice(kKeyboardFormat, kKeyCount), script_(std::move(script)) {}
    // Successful reads so far: the number of the next read in the script.
    std::uint64_t reads() const { return reads_; }

  protected:
    void ReadState(void* data) override;

  private:
    KeyScript script_;
    std::uint64_t reads_ = 0;
};

class StillMouse final : public BasicDevice {
  public:
    StillMouse() : BasicDevice(kMouseFormat, sizeof(MouseState)) {}

  protected:
    void ReadState(void* data) override;
};

// Every system it makes offers a fresh ScriptedKeyboard over the same script and a StillMouse.
class ScriptedInputFactory final : public InputFactory {
  public:
    explicit ScriptedInputFactory(KeyScript script) : script_(std::move(script)) {}
    Status Create(std::unique_ptr<InputSystem>& system) override;

  private:
    KeyScript script_;
};

} // namespace kl::platform

// Scripted keyboard, still mouse and the input system that offers them.
#include "platform/input/scripted_input.h"

#include <cstring>

namespace kl::platform {
namespace {

class ScriptedSystem final : public InputSystem {
  public:
    explicit ScriptedSystem(const KeyScript& script) : script_(script) {}

    Status CreateDevice(std::string_view name, std::unique_ptr<InputDevice>& device) override {
        if (name == kSysKeyboard) {
            device = std::make_unique<ScriptedKeyboard>(script_);
        } else if (name == kSysMouse) {
            device = std::make_unique<StillMouse>();
        } else {
            return Status::NotFound;
        }
        return Status::Ok;
    }

  private:
    KeyScript script_;
};

} // namespace

void ScriptedKeyboard::ReadState(void* data) {
    const KeyStateTable state = script_.StateAt(reads_++);
    std::memcpy(data, state.data(), state.size());
}

void StillMouse::ReadState(void* data) {
    const MouseState still;
    std::memcpy(data, &still, sizeof still);
}

Status ScriptedInputFactory::Create(std::unique_ptr<InputSystem>& system) {
    system = std::make_unique<ScriptedSystem>(script_);
    return Status::Ok;
}

} // namespace kl::platform

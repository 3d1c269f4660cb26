// Keyboard and mouse devices over SDL events. The key state is kept from key events seen by an
// event watch rather than from SDL_GetKeyboardState, so that injected events count like real ones;
// acquiring starts from SDL's own idea of what is held.
#include "platform/input/sdl_input.h"

#include "platform/input/basic_device.h"
#include "platform/input/sdl_key_codes.h"
#include "platform/os/events.h"

#include <SDL.h>
#include <algorithm>
#include <cstring>
#include <limits>

namespace kl::platform {
namespace {

class SdlDevice : public BasicDevice {
  public:
    SdlDevice(std::int32_t format, std::uint32_t state_size) : BasicDevice(format, state_size) {
        SDL_AddEventWatch(&SdlDevice::Watch, this);
    }
    ~SdlDevice() override { SDL_DelEventWatch(&SdlDevice::Watch, this); }
    SdlDevice(const SdlDevice&) = delete;
    SdlDevice& operator=(const SdlDevice&) = delete;

    Status SetCooperativeLevel(WindowHandle window, std::uint32_t flags) override {
        if (window == nullptr || SDL_GetWindowID(window) == 0) return Status::InvalidCall;
        const Status s = BasicDevice::SetCooperativeLevel(window, flags);
        if (Succeeded(s)) window_id_ = SDL_GetWindowID(window);
        return s;
    }

  protected:
    std::uint32_t window_id() const { return window_id_; }

    // Only reached while acquired, not lost and not set aside.
    virtual void OnEvent(const SDL_Event& e) = 0;
    // The window lost the focus but keeps the device: let go of the grab and read as idle.
    virtual void OnSetAside() = 0;

    Status CheckAcquire() override {
        SDL_PumpEvents();
        if ((SDL_GetWindowFlags(window()) & SDL_WINDOW_INPUT_FOCUS) == 0) return Status::NotAvailable;
        lost_ = false;
        return Status::Ok;
    }

    bool Refresh() override {
        SDL_PumpEvents();
        const bool lost = lost_;
        lost_ = false;
        return lost;
    }

  private:
    static int SDLCALL Watch(void* self, SDL_Event* e) {
        static_cast<SdlDevice*>(self)->Handle(*e);
        return 0;
    }

    void Handle(const SDL_Event& e) {
        if (!acquired() || lost_) return;
        const bool ours = e.type == SDL_WINDOWEVENT && e.window.windowID == window_id_;
        if (ours && e.window.event == SDL_WINDOWEVENT_FOCUS_LOST) {
            // A window among others on the desktop is left for a while and comes back: the device
            // is only set aside. Full screen gives the device up: the device stays nominally
            // acquired until the next read reports the loss, as the program expects; events after
            // the loss are no longer ours.
            if ((SDL_GetWindowFlags(window()) & SDL_WINDOW_FULLSCREEN) == 0) {
                set_aside_ = true;
                OnSetAside();
            } else {
                lost_ = true;
            }
            return;
        }
        if (ours && e.window.event == SDL_WINDOWEVENT_FOCUS_GAINED && set_aside_) {
            set_aside_ = false;
            OnAcquire();
            return;
        }
        if (!set_aside_) OnEvent(e);
    }

    std::uint32_t window_id_ = 0;
    bool lost_ = false;
    bool set_aside_ = false;
};

class SdlKeyboard final : public SdlDevice {
  public:
    SdlKeyboard() : SdlDevice(kKeyboardFormat, kKeyCount) {}
    // The window must outlive an acquired device: releasing it hands the grab back.
    ~SdlKeyboard() override {
        if (acquired()) SdlKeyboard::OnUnacquire();
    }

  protected:
    void OnAcquire() override {
        keys_.fill(0);
        int count = 0;
        const Uint8* held = SDL_GetKeyboardState(&count);
        for (int sc = 0; sc < count; ++sc) {
            if (held[sc] == 0) continue;
            if (const std::uint8_t code = KeyCodeFromScancode(sc); code != 0) keys_[code] = kKeyDown;
        }
        SDL_SetWindowKeyboardGrab(window(), SDL_TRUE);
    }

    void OnUnacquire() override { SDL_SetWindowKeyboardGrab(window(), SDL_FALSE); }

    void OnSetAside() override {
        keys_.fill(0);
        OnUnacquire();
    }

    void OnEvent(const SDL_Event& e) override {
        // A release counts whichever window it is reported for: the key is up either way.
        if (e.type == SDL_KEYDOWN && e.key.windowID == window_id()) {
            if (const std::uint8_t code = KeyCodeFromScancode(e.key.keysym.scancode); code != 0)
                keys_[code] = kKeyDown;
        } else if (e.type == SDL_KEYUP) {
            if (const std::uint8_t code = KeyCodeFromScancode(e.key.keysym.scancode); code != 0)
                keys_[code] = 0;
        }
    }

    void ReadState(void* data) override { std::memcpy(data, keys_.data(), keys_.size()); }

  private:
    KeyStateTable keys_{};
};

// Wheel units per notch, the unit the mouse record counts in.
constexpr std::int64_t kWheelNotch = 120;

class SdlMouse final : public SdlDevice {
  public:
    SdlMouse() : SdlDevice(kMouseFormat, sizeof(MouseState)) {}
    ~SdlMouse() override {
        if (acquired()) SdlMouse::OnUnacquire();
    }

    Status SetPointerFree(bool free) override {
        free_ = free;
        if (!acquired()) return Status::Ok;
        SDL_SetRelativeMouseMode(free ? SDL_FALSE : SDL_TRUE);
        if (free) take_pointer_place();
        return Status::Ok;
    }

    Status GetPointer(PointerState* pointer) override {
        if (pointer == nullptr) return Status::InvalidCall;
        SDL_PumpEvents();
        *pointer = {};
        if (!acquired() || !free_) return Status::Ok;
        *pointer = {true, static_cast<float>(x_), static_cast<float>(y_), buttons_[0] != 0};
        return Status::Ok;
    }

  protected:
    void OnAcquire() override {
        dx_ = dy_ = dz_ = 0;
        const Uint32 held = SDL_GetMouseState(nullptr, nullptr);
        for (int b = 0; b < 4; ++b)
            buttons_[b] = (held & SDL_BUTTON(kSdlButton[b])) != 0 ? kKeyDown : 0;
        // Not every video driver has a relative mode; the movement comes from motion events anyway.
        SDL_SetRelativeMouseMode(free_ ? SDL_FALSE : SDL_TRUE);
        if (free_) take_pointer_place();
    }

    void OnUnacquire() override { SDL_SetRelativeMouseMode(SDL_FALSE); }

    void OnSetAside() override {
        dx_ = dy_ = dz_ = 0;
        std::fill(std::begin(buttons_), std::end(buttons_), std::uint8_t{0});
        OnUnacquire();
    }

    void OnEvent(const SDL_Event& e) override {
        switch (e.type) {
        case SDL_MOUSEMOTION:
            if (e.motion.windowID != window_id()) return;
            dx_ += e.motion.xrel;
            dy_ += e.motion.yrel;
            x_ = e.motion.x;
            y_ = e.motion.y;
            break;
        case SDL_MOUSEWHEEL:
            if (e.wheel.windowID != window_id()) return;
            dz_ += (e.wheel.direction == SDL_MOUSEWHEEL_FLIPPED ? -e.wheel.y : e.wheel.y) * kWheelNotch;
            break;
        case SDL_MOUSEBUTTONDOWN:
        case SDL_MOUSEBUTTONUP:
            for (int b = 0; b < 4; ++b) {
                if (e.button.button != kSdlButton[b]) continue;
                if (e.type == SDL_MOUSEBUTTONUP)
                    buttons_[b] = 0;
                else if (e.button.windowID == window_id())
                    buttons_[b] = kKeyDown;
            }
            break;
        default:
            break;
        }
    }

    void ReadState(void* data) override {
        MouseState m;
        m.X = Clamp(dx_);
        m.Y = Clamp(dy_);
        m.Z = Clamp(dz_);
        std::copy(std::begin(buttons_), std::end(buttons_), std::begin(m.Buttons));
        dx_ = dy_ = dz_ = 0;
        std::memcpy(data, &m, sizeof m);
    }

  private:
    // Buttons 0 to 3 of the record: left, right, middle, first extra button.
    static constexpr std::uint8_t kSdlButton[4] = {SDL_BUTTON_LEFT, SDL_BUTTON_RIGHT, SDL_BUTTON_MIDDLE,
                                                   SDL_BUTTON_X1};

    static std::int32_t Clamp(std::int64_t v) {
        return static_cast<std::int32_t>(std::clamp<std::int64_t>(v, std::numeric_limits<std::int32_t>::min(),
                                                                  std::numeric_limits<std::int32_t>::max()));
    }

    // Held in relative mode the pointer has no place of its own; freed, it starts where the system
    // shows it and follows the motion events.
    void take_pointer_place() {
        int x = 0, y = 0;
        SDL_GetMouseState(&x, &y);
        x_ = x;
        y_ = y;
    }

    std::int64_t dx_ = 0, dy_ = 0, dz_ = 0;
    std::uint8_t buttons_[4] = {0, 0, 0, 0};
    bool free_ = false;
    int x_ = 0, y_ = 0;
};

class SdlInputSystem final : public InputSystem {
  public:
    ~SdlInputSystem() override { SDL_QuitSubSystem(SDL_INIT_EVENTS); }

    Status CreateDevice(std::string_view name, std::unique_ptr<InputDevice>& device) override {
        if (name == kSysKeyboard) {
            device = std::make_unique<SdlKeyboard>();
        } else if (name == kSysMouse) {
            device = std::make_unique<SdlMouse>();
        } else {
            return Status::NotFound;
        }
        return Status::Ok;
    }
};

class SdlFactory final : public InputFactory {
  public:
    Status Create(std::unique_ptr<InputSystem>& system) override {
        if (!StartSdlSubsystems(SDL_INIT_EVENTS)) return Status::NotAvailable;
        system = std::make_unique<SdlInputSystem>();
        return Status::Ok;
    }
};

} // namespace

InputFactory& SdlInputFactory() {
    static SdlFactory factory;
    return factory;
}

} // namespace kl::platform

// A hand-driven input system for tests: the test sets the keys and buttons the devices report,
// queues failures for the next calls and reads back the log of every device call.
#pragma once

#include "platform/input/input_device.h"

#include <cstring>
#include <deque>
#include <memory>
#include <string>
#include <vector>

namespace kl::test {

// What one kind of device (keyboard or mouse) reports. Outlives every device made for it.
struct FakeDeviceControl {
    std::string name;
    std::vector<std::string>* log = nullptr;
    platform::KeyStateTable keys{};
    platform::MouseState mouse{};
    // Results of the next calls, front first; Ok once a queue is empty.
    std::deque<platform::Status> create, format, level, acquire, unacquire, read;

    void Press(int code) { keys[static_cast<std::size_t>(code)] = platform::kKeyDown; }
    void Lift(int code) { keys[static_cast<std::size_t>(code)] = 0; }

    static platform::Status Next(std::deque<platform::Status>& q) {
        if (q.empty()) return platform::Status::Ok;
        const platform::Status s = q.front();
        q.pop_front();
        return s;
    }
    void Note(const std::string& call) const { log->push_back(name + "." + call); }
};

class FakeDevice final : public platform::InputDevice {
  public:
    explicit FakeDevice(FakeDeviceControl& control) : c_(control) {}
    ~FakeDevice() override { c_.Note("Release"); }

    platform::Status SetDataFormat(std::int32_t format) override {
        c_.Note("SetDataFormat " + std::to_string(format));
        return FakeDeviceControl::Next(c_.format);
    }
    platform::Status SetCooperativeLevel(platform::WindowHandle window, std::uint32_t flags) override {
        c_.Note(std::string("SetCooperativeLevel ") + (window != nullptr ? "window " : "null ") +
                std::to_string(flags));
        return FakeDeviceControl::Next(c_.level);
    }
    platform::Status Acquire() override {
        c_.Note("Acquire");
        return FakeDeviceControl::Next(c_.acquire);
    }
    platform::Status Unacquire() override {
        c_.Note("Unacquire");
        return FakeDeviceControl::Next(c_.unacquire);
    }
    platform::Status GetDeviceState(std::uint32_t size, void* data) override {
        c_.Note("GetDeviceState " + std::to_string(size));
        const platform::Status s = FakeDeviceControl::Next(c_.read);
        if (platform::Failed(s)) return s;
        if (size == c_.keys.size()) std::memcpy(data, c_.keys.data(), size);
        if (size == sizeof c_.mouse) std::memcpy(data, &c_.mouse, size);
        return s;
    }

  private:
    FakeDeviceControl& c_;
};

class FakeInput final : public platform::InputFactory {
  public:
    FakeInput() {
        keyboard.name = "keyboard";
        keyboard.log = &log;
        mouse.name = "mouse";
        mouse.log = &log;
    }

    platform::Status Create(std::unique_ptr<platform::InputSystem>& system) override {
        log.push_back("Create");
        if (const platform::Status s = FakeDeviceControl::Next(create); platform::Failed(s)) return s;
        system = std::make_unique<System>(*this);
        return platform::Status::Ok;
    }

    FakeDeviceControl keyboard, mouse;
    std::deque<platform::Status> create;
    std::vector<std::string> log;

  private:
    class System final : public platform::InputSystem {
      public:
        explicit System(FakeInput& input) : input_(input) {}
        ~System() override { input_.log.push_back("ReleaseSystem"); }
        platform::Status CreateDevice(std::string_view name,
                                      std::unique_ptr<platform::InputDevice>& device) override {
            FakeDeviceControl& c = name == platform::kSysKeyboard ? input_.keyboard : input_.mouse;
            c.Note("Create " + std::string(name));
            if (const platform::Status s = FakeDeviceControl::Next(c.create); platform::Failed(s)) return s;
            device = std::make_unique<FakeDevice>(c);
            return platform::Status::Ok;
        }

      private:
        FakeInput& input_;
    };
};

} // namespace kl::test

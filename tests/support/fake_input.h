// A hand-driven input system for tests: the test sets the keys and the mouse record the devices
// report, makes chosen calls fail and reads back the log of every call ("keyboard.Acquire", ...).
#pragma once

#include "platform/input/input_device.h"

#include <cstring>
#include <deque>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace kl::test {

class FakeInput final : public platform::InputFactory {
  public:
    platform::KeyStateTable keys{};
    platform::MouseState mouse{};
    // Where the mouse's pointer is while freed; Present follows the freeing.
    platform::PointerState pointer{};
    bool pointer_free = false;
    std::vector<std::string> log;

    // The next calls of that name (as logged) answer these results, one each, instead of Ok.
    void Fail(const std::string& call, std::initializer_list<platform::Status> results) {
        failures[call].insert(failures[call].end(), results);
    }
    void Press(int code) { keys[static_cast<std::size_t>(code)] = platform::kKeyDown; }

    platform::Status Call(const std::string& name) {
        log.push_back(name);
        std::deque<platform::Status>& queue = failures[name];
        if (queue.empty()) return platform::Status::Ok;
        const platform::Status s = queue.front();
        queue.pop_front();
        return s;
    }

    platform::Status Create(std::unique_ptr<platform::InputSystem>& system) override {
        if (const platform::Status s = Call("Create"); platform::Failed(s)) return s;
        system = std::make_unique<System>(*this);
        return platform::Status::Ok;
    }

  private:
    class Device final : public platform::InputDevice {
      public:
        Device(FakeInput& input, std::string name) : in_(input), name_(std::move(name)) {}
        ~Device() override { in_.log.push_back(name_ + ".Release"); }
        platform::Status SetDataFormat(std::int32_t format) override {
            return in_.Call(name_ + ".SetDataFormat " + std::to_string(format));
        }
        platform::Status SetCooperativeLevel(platform::WindowHandle window, std::uint32_t flags) override {
            return in_.Call(name_ + ".SetCooperativeLevel " + (window ? "window " : "null ") +
                            std::to_string(flags));
        }
        platform::Status Acquire() override { return in_.Call(name_ + ".Acquire"); }
        platform::Status Unacquire() override { return in_.Call(name_ + ".Unacquire"); }
        platform::Status GetDeviceState(std::uint32_t size, void* data) override {
            const platform::Status s = in_.Call(name_ + ".GetDeviceState " + std::to_string(size));
            if (platform::Failed(s)) return s;
            if (size == sizeof in_.keys) std::memcpy(data, in_.keys.data(), size);
            if (size == sizeof in_.mouse) std::memcpy(data, &in_.mouse, size);
            return s;
        }

        platform::Status SetPointerFree(bool free) override {
            if (name_ != "mouse") return platform::Status::NotAvailable;
            in_.pointer_free = free;
            return platform::Status::Ok;
        }
        platform::Status GetPointer(platform::PointerState* pointer) override {
            if (name_ != "mouse") return platform::Status::NotAvailable;
            *pointer = in_.pointer;
            pointer->Present = in_.pointer_free;
            return platform::Status::Ok;
        }

      private:
        FakeInput& in_;
        std::string name_;
    };

    class System final : public platform::InputSystem {
      public:
        explicit System(FakeInput& input) : in_(input) {}
        ~System() override { in_.log.push_back("ReleaseSystem"); }
        platform::Status CreateDevice(std::string_view name,
                                      std::unique_ptr<platform::InputDevice>& device) override {
            const std::string kind = name == platform::kSysKeyboard ? "keyboard" : "mouse";
            if (const platform::Status s = in_.Call(kind + ".Create " + std::string(name));
                platform::Failed(s))
                return s;
            device = std::make_unique<Device>(in_, kind);
            return platform::Status::Ok;
        }

      private:
        FakeInput& in_;
    };

    std::map<std::string, std::deque<platform::Status>> failures;
};

} // namespace kl::test

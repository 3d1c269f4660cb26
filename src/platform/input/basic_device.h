// The bookkeeping every input device shares: data format, cooperative level, acquired or not, and
// the order in which calls are allowed. Real and scripted devices add where their state comes from.
#pragma once

#include "platform/input/input_device.h"

namespace kl::platform {

class BasicDevice : public InputDevice {
  public:
    // format: the one data format this kind of device accepts; state_size: the bytes it delivers.
    BasicDevice(std::int32_t format, std::uint32_t state_size) : format_(format), state_size_(state_size) {}

    Status SetDataFormat(std::int32_t format) override;
    Status SetCooperativeLevel(WindowHandle window, std::uint32_t flags) override;
    Status Acquire() override;
    Status Unacquire() override;
    Status GetDeviceState(std::uint32_t size, void* data) override;

  protected:
    bool acquired() const { return acquired_; }
    WindowHandle window() const { return window_; }

    // Ok when the device may be taken now.
    virtual Status CheckAcquire() { return Status::Ok; }
    virtual void OnAcquire() {}
    virtual void OnUnacquire() {}
    // Called first by every read to bring the device up to date; true when it was taken away since
    // the previous read.
    virtual bool Refresh() { return false; }
    // Fills state_size bytes; only called while acquired.
    virtual void ReadState(void* data) = 0;

  private:
    std::int32_t format_;
    std::uint32_t state_size_;
    bool format_set_ = false;
    bool level_set_ = false;
    bool acquired_ = false;
    WindowHandle window_ = nullptr;
};

} // namespace kl::platform

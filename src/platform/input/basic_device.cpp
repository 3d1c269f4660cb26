// Call-order rules shared by the input devices.
#include "platform/input/basic_device.h"

namespace kl::platform {

Status BasicDevice::SetDataFormat(std::int32_t format) {
    if (acquired_ || format != format_) return Status::InvalidCall;
    format_set_ = true;
    return Status::Ok;
}

Status BasicDevice::SetCooperativeLevel(WindowHandle window, std::uint32_t flags) {
    if (acquired_) return Status::InvalidCall;
    const bool one_sharing = ((flags & kCoopExclusive) != 0) != ((flags & kCoopNonExclusive) != 0);
    const bool one_place = ((flags & kCoopForeground) != 0) != ((flags & kCoopBackground) != 0);
    if (!one_sharing || !one_place || (flags & ~0xFu) != 0) return Status::InvalidCall;
    // Sharing the devices with other programs or reading them in the background is not offered.
    if (flags != (kCoopExclusive | kCoopForeground)) return Status::NotAvailable;
    window_ = window;
    level_set_ = true;
    return Status::Ok;
}

Status BasicDevice::Acquire() {
    if (!format_set_ || !level_set_) return Status::InvalidCall;
    if (acquired_) return Status::Ok;
    if (const Status s = CheckAcquire(); Failed(s)) return s;
    acquired_ = true;
    OnAcquire();
    return Status::Ok;
}

Status BasicDevice::Unacquire() {
    if (acquired_) {
        acquired_ = false;
        OnUnacquire();
    }
    return Status::Ok;
}

Status BasicDevice::GetDeviceState(std::uint32_t size, void* data) {
    if (!format_set_ || size != state_size_ || data == nullptr) return Status::InvalidCall;
    if (Refresh()) {
        IgnoreStatus(Unacquire(), "the input is lost, which is what the caller hears");
        return Status::InputLost;
    }
    if (!acquired_) return Status::InvalidCall;
    ReadState(data);
    return Status::Ok;
}

} // namespace kl::platform

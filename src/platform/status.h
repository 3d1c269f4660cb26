// Result codes of platform calls. Platform calls report through these and never throw; the values
// of the device-lost family are the ones callers compare against. A status may not be dropped
// silently: a call whose failure is of no consequence says so through IgnoreStatus.
#pragma once

#include <cstdint>

namespace kl::platform {

enum class [[nodiscard]] Status : std::uint32_t{
    Ok = 0,
    InvalidCall = 0x8876086C,
    OutOfMemory = 0x8007000E,
    NotFound = 0x88760866,
    NotAvailable = 0x8876086A,
    DeviceLost = 0x88760868,
    DeviceNotReset = 0x88760869,
    InputLost = 0x8007001E,
};

constexpr bool Succeeded(Status s) {
    return s == Status::Ok;
}
constexpr bool Failed(Status s) {
    return s != Status::Ok;
}

// Drops a status on purpose. why is for the reader: the reason the outcome does not matter there.
constexpr void IgnoreStatus(Status, const char* why) {
    static_cast<void>(why);
}

} // namespace kl::platform

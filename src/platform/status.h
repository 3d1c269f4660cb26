// Result codes of platform calls. Platform calls report through these and never throw; the values
// of the device-lost family are the ones callers compare against.
#pragma once

#include <cstdint>

namespace kl::platform {

enum class Status : std::uint32_t {
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

} // namespace kl::platform

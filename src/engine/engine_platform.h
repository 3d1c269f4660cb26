// Small bridges between the engine's records and the graphics platform's, shared by the engine's
// source files only.
#pragma once

#include "engine/records.h"
#include "fault/fault.h"
#include "platform/gfx/types.h"
#include "platform/status.h"

#include <cstdio>
#include <cstring>
#include <string>

namespace kl::engine_detail {

// Both are sixteen packed floats row by row.
inline gfx::Matrix to_platform(const Matrix4& m) {
    static_assert(sizeof(gfx::Matrix) == sizeof(Matrix4));
    gfx::Matrix r;
    std::memcpy(r.m, m.data(), sizeof r.m);
    return r;
}

inline Matrix4 from_platform(const gfx::Matrix& m) {
    Matrix4 r;
    std::memcpy(&r, m.m, sizeof r);
    return r;
}

// Booleans reach the platform's states as all bits set or zero.
constexpr gfx::Dword state_bool(bool b) {
    return b ? 0xFFFFFFFFu : 0u;
}

// For the engine methods whose errors are ignored: a call the device refuses changes nothing, the
// method carries on, and a lost device shows at the next frame's start.
inline void errors_ignored(platform::Status s) {
    platform::IgnoreStatus(s, "the engine method ignores errors");
}

// For the operations that pass platform failures on to their caller.
inline void raise_on_failure(platform::Status s, const char* what) {
    if (platform::Succeeded(s)) return;
    char code[16];
    std::snprintf(code, sizeof code, "%08X", static_cast<unsigned>(s));
    throw Fault(std::string(what) + " failed (0x" + code + ")");
}

} // namespace kl::engine_detail

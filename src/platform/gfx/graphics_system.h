// The graphics system: adapters, their capabilities and display modes, and device creation.
#pragma once

#include "platform/gfx/device.h"

#include <cstdint>
#include <memory>

namespace kl::gfx {

class GraphicsSystem {
  public:
    virtual ~GraphicsSystem() = default;

    virtual Dword GetAdapterCount() = 0;
    virtual Status GetDeviceCaps(Dword adapter, std::int32_t device_type, Caps* caps) = 0;
    virtual Dword GetAdapterModeCount(Dword adapter) = 0;
    virtual Status EnumAdapterModes(Dword adapter, Dword mode, DisplayModeInfo* info) = 0;
    virtual Status GetAdapterDisplayMode(Dword adapter, DisplayModeInfo* info) = 0;
    virtual Status CheckDeviceMultiSampleType(Dword adapter, std::int32_t device_type, std::int32_t format,
                                              bool windowed, std::int32_t samples) = 0;
    virtual Status CheckDepthStencilMatch(Dword adapter, std::int32_t device_type,
                                          std::int32_t adapter_format, std::int32_t render_target_format,
                                          std::int32_t depth_stencil_format) = 0;
    virtual Status CreateDevice(Dword adapter, std::int32_t device_type, platform::WindowHandle focus_window,
                                Dword behavior_flags, PresentParameters* params, DevicePtr* device) = 0;
};

} // namespace kl::gfx

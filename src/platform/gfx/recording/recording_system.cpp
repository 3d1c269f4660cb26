// Adapters and device creation of the test back-end.
#include "platform/gfx/recording/recording_system.h"

namespace kl::gfx {

Caps CapableCaps() {
    Caps c;
    c.PresentationIntervals = PresentIntervalImmediate | PresentIntervalOne;
    c.DevCaps = DevCapsHwTransformAndLight;
    c.RasterCaps = RasterCapsZBias | RasterCapsZFog | RasterCapsFogTable;
    c.StencilCaps = StencilCapsKeep | StencilCapsDecr | StencilCapsIncr | StencilCapsReplace;
    c.ShadeCaps = ShadeCapsSpecularGouraudRgb;
    c.MaxTextureWidth = c.MaxTextureHeight = 4096;
    c.MaxAnisotropy = 16;
    c.MaxActiveLights = 8;
    c.MaxUserClipPlanes = 6;
    return c;
}

RecordingSystem::RecordingSystem() : control_(std::make_shared<RecordingControl>()) {
    RecordingAdapter a;
    a.caps = CapableCaps();
    a.modes = {{640, 480, 60, FmtX8R8G8B8}, {800, 600, 60, FmtX8R8G8B8}, {1024, 768, 60, FmtX8R8G8B8}};
    adapters.push_back(a);
}

Status RecordingSystem::gate(const char* name) {
    const auto it = control_->failing_calls.find(name);
    return it == control_->failing_calls.end() ? Status::Ok : it->second;
}

Dword RecordingSystem::GetAdapterCount() {
    control_->log.Add("GetAdapterCount", {});
    return static_cast<Dword>(adapters.size());
}

Status RecordingSystem::GetDeviceCaps(Dword adapter, std::int32_t device_type, Caps* caps) {
    control_->log.Add("GetDeviceCaps", {double(adapter), double(device_type)});
    if (const Status s = gate("GetDeviceCaps"); s != Status::Ok) return s;
    if (adapter >= adapters.size() || caps == nullptr) return Status::InvalidCall;
    *caps = adapters[adapter].caps;
    caps->AdapterOrdinal = static_cast<std::int32_t>(adapter);
    caps->DeviceType = device_type;
    return Status::Ok;
}

Dword RecordingSystem::GetAdapterModeCount(Dword adapter) {
    control_->log.Add("GetAdapterModeCount", {double(adapter)});
    return adapter < adapters.size() ? static_cast<Dword>(adapters[adapter].modes.size()) : 0;
}

Status RecordingSystem::EnumAdapterModes(Dword adapter, Dword mode, DisplayModeInfo* info) {
    control_->log.Add("EnumAdapterModes", {double(adapter), double(mode)});
    if (const Status s = gate("EnumAdapterModes"); s != Status::Ok) return s;
    if (adapter >= adapters.size() || mode >= adapters[adapter].modes.size() || info == nullptr)
        return Status::InvalidCall;
    *info = adapters[adapter].modes[mode];
    return Status::Ok;
}

Status RecordingSystem::GetAdapterDisplayMode(Dword adapter, DisplayModeInfo* info) {
    control_->log.Add("GetAdapterDisplayMode", {double(adapter)});
    if (const Status s = gate("GetAdapterDisplayMode"); s != Status::Ok) return s;
    if (adapter >= adapters.size() || info == nullptr) return Status::InvalidCall;
    *info = adapters[adapter].current;
    return Status::Ok;
}

Status RecordingSystem::CheckDeviceMultiSampleType(Dword adapter, std::int32_t device_type,
                                                   std::int32_t format, bool windowed, std::int32_t samples) {
    control_->log.Add("CheckDeviceMultiSampleType", {double(adapter), double(device_type), double(format),
                                                     windowed ? 1.0 : 0.0, double(samples)});
    if (const Status s = gate("CheckDeviceMultiSampleType"); s != Status::Ok) return s;
    if (adapter >= adapters.size()) return Status::InvalidCall;
    return adapters[adapter].multisample_counts.contains(samples) ? Status::Ok : Status::NotAvailable;
}

Status RecordingSystem::CheckDepthStencilMatch(Dword adapter, std::int32_t device_type,
                                               std::int32_t adapter_format, std::int32_t render_target_format,
                                               std::int32_t depth_stencil_format) {
    control_->log.Add("CheckDepthStencilMatch", {double(adapter), double(device_type), double(adapter_format),
                                                 double(render_target_format), double(depth_stencil_format)});
    if (const Status s = gate("CheckDepthStencilMatch"); s != Status::Ok) return s;
    if (adapter >= adapters.size()) return Status::InvalidCall;
    return adapters[adapter].depth_stencil_formats.contains(depth_stencil_format) ? Status::Ok
                                                                                  : Status::NotAvailable;
}

Status RecordingSystem::CreateDevice(Dword adapter, std::int32_t device_type,
                                     platform::WindowHandle focus_window, Dword behavior_flags,
                                     PresentParameters* params, DevicePtr* device) {
    std::vector<double> args{double(adapter), double(device_type), focus_window ? 1.0 : 0.0,
                             double(behavior_flags)};
    if (params != nullptr) {
        const PresentParameters& p = *params;
        args.insert(args.end(),
                    {double(p.BackBufferWidth), double(p.BackBufferHeight), double(p.BackBufferFormat),
                     double(p.BackBufferCount), double(p.MultiSampleType), double(p.SwapEffect),
                     p.hDeviceWindow ? 1.0 : 0.0, p.Windowed ? 1.0 : 0.0,
                     p.EnableAutoDepthStencil ? 1.0 : 0.0, double(p.AutoDepthStencilFormat), double(p.Flags),
                     double(p.FullScreen_RefreshRateInHz), double(p.FullScreen_PresentationInterval)});
    }
    control_->log.Add("CreateDevice", std::move(args));
    if (create_device_result != Status::Ok) return create_device_result;
    if (const Status s = gate("CreateDevice"); s != Status::Ok) return s;
    if (adapter >= adapters.size() || params == nullptr || device == nullptr) return Status::InvalidCall;
    auto made = std::make_shared<RecordingDevice>(control_, *params);
    control_->cooperative_level = Status::Ok;
    last_device_ = made;
    *device = made;
    return Status::Ok;
}

} // namespace kl::gfx

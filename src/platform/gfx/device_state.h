// The state every device keeps so that Get* returns what Set* stored, with the platform's defaults
// after creation and after a reset. Shared by the back-ends.
#pragma once

#include "platform/gfx/resources.h"

#include <array>
#include <map>

namespace kl::gfx {

constexpr Dword kMaxLights = 8;
constexpr Dword kMaxClipPlanes = 6;

// Parts of the device state set since a back-end last handed them on (a device's bits of
// change); the GL back-end uses them to skip what is unchanged.
namespace changed {
constexpr unsigned Render = 1, Stage = 2, Material = 4, World = 8, Projection = 16, Viewport = 32,
                   Lights = 64, All = 127;
} // namespace changed

struct DeviceState {
    std::array<Dword, rs::kCount> render{};
    std::array<Dword, tss::kCount> stage{};
    Matrix world, view, projection;
    std::map<Dword, Light> lights;
    std::map<Dword, bool> light_enabled;
    Material material;
    std::array<std::array<float, 4>, kMaxClipPlanes> clip_planes{};
    Viewport viewport;
    Dword fvf = 0;
    TexturePtr texture;
    VertexBufferPtr stream;
    Dword stream_stride = 0;
    IndexBufferPtr indices;
    Dword base_vertex = 0;

    // Defaults for a back buffer of the given size; the depth test starts on only with a depth buffer.
    void ResetToDefaults(Dword width, Dword height, bool has_depth);

    Matrix* Transform(std::int32_t type);
    // A light enabled without ever being set gets the default light, as the platform does.
    void EnableLight(Dword index, bool enable);
};

Matrix IdentityMatrix();

} // namespace kl::gfx

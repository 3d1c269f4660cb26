// The graphics device: one per window, created by the graphics system. Every call returns a status
// and never throws; calls that a lost device cannot carry out report DeviceLost.
#pragma once

#include "platform/gfx/resources.h"

#include <cstdint>
#include <memory>

namespace kl::gfx {

class Device {
  public:
    virtual ~Device() = default;

    // Ok, DeviceLost (cannot be reset yet) or DeviceNotReset (Reset will bring it back).
    virtual Status TestCooperativeLevel() = 0;
    // Puts every state back to its default; default-pool resources are lost, managed ones come back.
    virtual Status Reset(PresentParameters* params) = 0;

    virtual Status BeginScene() = 0;
    virtual Status EndScene() = 0;
    // rects nullptr clears the whole viewport.
    virtual Status Clear(Dword count, const Rect* rects, Dword flags, Dword color, float z,
                         Dword stencil) = 0;
    virtual Status SetViewport(const Viewport& viewport) = 0;
    virtual Status GetViewport(Viewport* viewport) = 0;
    virtual Status Present(const Rect* source, const Rect* dest, platform::WindowHandle override_window,
                           const void* dirty_region) = 0;

    virtual Status SetTransform(std::int32_t type, const Matrix& matrix) = 0;
    virtual Status GetTransform(std::int32_t type, Matrix* matrix) = 0;
    virtual Status SetLight(Dword index, const Light& light) = 0;
    virtual Status GetLight(Dword index, Light* light) = 0;
    virtual Status LightEnable(Dword index, bool enable) = 0;
    virtual Status GetLightEnable(Dword index, bool* enable) = 0;
    virtual Status SetMaterial(const Material& material) = 0;
    virtual Status GetMaterial(Material* material) = 0;
    virtual Status SetRenderState(std::int32_t state, Dword value) = 0;
    virtual Status GetRenderState(std::int32_t state, Dword* value) = 0;
    // Only stage 0 exists.
    virtual Status SetTextureStageState(Dword stage, std::int32_t type, Dword value) = 0;
    virtual Status GetTextureStageState(Dword stage, std::int32_t type, Dword* value) = 0;
    // Planes in world space; points with a*x + b*y + c*z + d >= 0 are kept.
    virtual Status SetClipPlane(Dword index, const float plane[4]) = 0;
    virtual Status GetClipPlane(Dword index, float plane[4]) = 0;
    // The vertex format of the following draws, as a vertex-format code.
    virtual Status SetVertexShader(Dword fvf_code) = 0;
    virtual Status GetVertexShader(Dword* fvf_code) = 0;
    virtual Status SetTexture(Dword stage, const TexturePtr& texture) = 0;
    virtual Status GetTexture(Dword stage, TexturePtr* texture) = 0;

    virtual Status CreateTexture(Dword width, Dword height, Dword levels, Dword usage, std::int32_t format,
                                 std::int32_t pool, TexturePtr* texture) = 0;
    virtual Status CreateVertexBuffer(Dword length, Dword usage, Dword fvf_code, std::int32_t pool,
                                      VertexBufferPtr* buffer) = 0;
    virtual Status CreateIndexBuffer(Dword length, Dword usage, std::int32_t format, std::int32_t pool,
                                     IndexBufferPtr* buffer) = 0;

    virtual Status SetStreamSource(Dword stream, const VertexBufferPtr& buffer, Dword stride) = 0;
    virtual Status SetIndices(const IndexBufferPtr& buffer, Dword base_vertex_index) = 0;
    virtual Status DrawPrimitive(std::int32_t type, Dword start_vertex, Dword primitive_count) = 0;
    virtual Status DrawIndexedPrimitive(std::int32_t type, Dword min_index, Dword num_vertices,
                                        Dword start_index, Dword primitive_count) = 0;
    virtual Status DrawPrimitiveUP(std::int32_t type, Dword primitive_count, const void* vertex_data,
                                   Dword stride) = 0;
    virtual Status DrawIndexedPrimitiveUP(std::int32_t type, Dword min_index, Dword num_vertices,
                                          Dword primitive_count, const void* index_data,
                                          std::int32_t index_format, const void* vertex_data,
                                          Dword stride) = 0;

    virtual bool ShowCursor(bool show) = 0;

    // Draw calls and the vertices they referenced (the vertex range of an indexed draw) in the frame
    // last presented; zero where a back-end does not count.
    struct FrameCounts {
        std::uint64_t draw_calls = 0, vertices = 0;
    };
    virtual FrameCounts LastFrameCounts() const { return {}; }
};

using DevicePtr = std::shared_ptr<Device>;

} // namespace kl::gfx

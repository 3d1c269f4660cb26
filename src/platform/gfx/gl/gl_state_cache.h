// The OpenGL device's redundant-state filter: the device state is handed to GL only when a draw
// needs it and it differs from what GL already holds, so repeated state calls cost next to nothing.
#pragma once

#include "platform/gfx/device_state.h"
#include "platform/gfx/gl/gl_resources.h"

#include <SDL_opengl.h>
#include <array>
#include <vector>

namespace kl::gfx {

// A colour 0xAARRGGBB as GL's four floats.
void GlColor(Dword argb, float out[4]);

// What the cache needs to know of the context it works on.
struct GlTarget {
    Dword width = 0, height = 0; // the back buffer
    bool has_depth = false, has_stencil = false;
    GLuint white_texture = 0;
    int max_lights = 8, max_clip_planes = 6;
};

class GlStateCache {
  public:
    // state is the device's; changes the device's bits of changed:: parts, cleared as they go over.
    GlStateCache(const DeviceState& state, unsigned& changes) : state_(state), changes_(changes) {}

    // A new context: GL holds nothing the cache knows of.
    void Start(const GlTarget& target);
    // Hands GL every state a draw with this layout needs that differs from what GL holds.
    void Prepare(const VertexLayout& layout);
    // Points GL's vertex arrays at vertices laid out as the layout says (offsets from base, or from
    // the start of the bound array buffer when base is null and one is bound).
    void PointArrays(const VertexLayout& layout, const std::uint8_t* base, Dword fvf_code, Dword stride);
    // Pre-transformed vertices already turned into GL's four floats a vertex.
    void PointPretransformed(const VertexLayout& layout, const std::uint8_t* base, Dword stride,
                             const float* positions);
    // Unbinds the buffers so that arrays and indices come from memory.
    void UseMemory();
    // A clear forced the write masks open: puts back what the states ask for.
    void RestoreWriteMasks() const;

    // The names bound now, for resources that bind themselves.
    GLuint* BoundArray() { return &bound_array_; }
    GLuint* BoundElement() { return &bound_element_; }

  private:
    void apply_render_states();
    void apply_stage();
    void apply_transforms(bool pretransformed);
    void apply_lights_and_planes();
    void apply_material();
    void bind_texture();
    void set_arrays(const VertexLayout& layout, const std::uint8_t* base, Dword stride, bool pretransformed);

    const DeviceState& state_;
    unsigned& changes_;
    GlTarget target_;

    // What GL was last given; a draw compares against these.
    std::array<Dword, rs::kCount> applied_render_{};
    std::array<Dword, tss::kCount> applied_stage_{};
    bool force_all_ = true;
    // Names bound now, and the vertex arrays last pointed at, so unchanged draws make no GL calls.
    GLuint bound_texture_ = 0, bound_array_ = 0, bound_element_ = 0;
    struct ArraySource {
        const void* base = nullptr;
        Dword fvf = 0, stride = 0;
        GLuint buffer = 0;
        bool valid = false;
        bool operator==(const ArraySource&) const = default;
    };
    ArraySource arrays_;
    int applied_mode_ = -1; // 0 transformed, 1 pre-transformed
    int applied_lighting_ = -1, applied_color_material_ = -1, applied_clip_mask_ = -1;
    // The material parts GL holds, each valid when its bit is set.
    static constexpr unsigned kAmbientPart = 1, kDiffusePart = 2, kEmissivePart = 4, kSpecularPart = 8,
                              kPowerPart = 16;
    Material applied_material_;
    unsigned applied_material_parts_ = 0;
};

} // namespace kl::gfx

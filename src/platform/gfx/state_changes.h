// Device states changed for a draw and put back when it is done, and the states of blended, textured
// screen triangles that text and on-screen controls are drawn with, whatever the scene left set.
#pragma once

#include "platform/gfx/device.h"

#include <optional>
#include <vector>

namespace kl::gfx {

// Changes device states and puts back, when it goes, every one it changed, last first. Each call is
// false when the device refused to tell or take the state.
class StateChanges {
  public:
    explicit StateChanges(Device& d) : d_(d) {}
    ~StateChanges();
    StateChanges(const StateChanges&) = delete;
    StateChanges& operator=(const StateChanges&) = delete;

    bool Render(std::int32_t code, Dword value) { return change(false, code, value); }
    bool Stage(std::int32_t code, Dword value) { return change(true, code, value); }
    bool VertexFormat(Dword fvf);
    bool Texture(const TexturePtr& texture);
    bool SetViewport(const gfx::Viewport& viewport);

  private:
    struct Change {
        bool stage;
        std::int32_t code;
        Dword old;
    };
    bool change(bool stage, std::int32_t code, Dword value);

    Device& d_;
    std::vector<Change> changed_;
    TexturePtr texture_;
    Dword fvf_ = 0;
    bool texture_saved_ = false, fvf_saved_ = false;
    std::optional<gfx::Viewport> viewport_;
};

// Blended, unfogged, undepth-tested, uncut solid triangles; the texel times the vertex colour, texels
// read one to one.
bool SetScreenTriangleStates(StateChanges& states);

} // namespace kl::gfx

// Dear ImGui's frames drawn through the engine's own device rather than an OpenGL back-end of
// ImGui's: the font atlas is a texture of the device and the draw lists are screen triangles, so the
// controls show on every back-end and in screenshots and videos.
#pragma once

#include "engine/records.h"
#include "platform/gfx/resources.h"

#include <vector>

struct ImDrawData;
struct ImFontAtlas;

namespace kl {

class ImguiDrawing {
  public:
    // Builds the atlas and makes it a texture of the current engine's device, kept across resets;
    // false when there is no device or it refused the texture.
    bool CreateFontTexture(ImFontAtlas& atlas);
    // Lets go of the texture; before the engine's device goes.
    void Release();
    bool Ready() const { return Font != nullptr; }

    // Draws the lists on top of the frame, each command cut to its clip rectangle; the device's
    // states are as before afterwards. Nothing happens without the font texture.
    void Draw(const ImDrawData& data);

  private:
    gfx::TexturePtr Font;
    std::vector<ScreenVertex> Vertices;
};

} // namespace kl

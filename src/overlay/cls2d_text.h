// A line of text on the screen: a system font with the device font built from it, a rectangle,
// alignment flags and a colour. The device font is dropped before a device reset and rebuilt from
// the same system font after it.
#pragma once

#include "engine/engine_resource.h"
#include "engine/records.h"
#include "platform/d3dx/font.h"

#include <cstdint>
#include <memory>
#include <string_view>

namespace kl {

class cls2dText final : public EngineResource {
  public:
    // Black, top-left, the default face at 16 pixels if the device exists; registered as a text.
    cls2dText();
    ~cls2dText() override;

    // Drops the device font; the system font stays.
    void Cleanup() override;
    // Size > 0 is the cell height in pixels. Without an engine device nothing but the Cleanup happens.
    void SetFont(std::string_view FontName, std::int32_t Size, bool Bold, bool Italic, bool Underline);
    void SetPosition(std::int32_t x1, std::int32_t y1, std::int32_t x2, std::int32_t y2);
    // 0 left, 1 centred, anything else right; 0 top, 1 centred, anything else bottom.
    void SetFormat(std::int32_t FormatH, std::int32_t FormatV);
    void SetColor(PackedColor ColParam);
    // Draws the whole text; a text without a device font draws nothing.
    void Render(std::string_view Str);

    // For the registry after a device reset: a new device font from the kept system font.
    void RestoreFont() override;

    const d3dx::SystemFont* sys_font() const { return SysFont.get(); }
    const d3dx::DeviceFont* dev_font() const { return DevFont.get(); }
    const gfx::Rect& text_rect() const { return TextRect; }
    std::uint32_t text_format() const { return TextFormat; }
    PackedColor text_color() const { return TextColor; }

  private:
    std::unique_ptr<d3dx::SystemFont> SysFont;
    std::unique_ptr<d3dx::DeviceFont> DevFont;
    gfx::Rect TextRect;
    std::uint32_t TextFormat = 0;
    PackedColor TextColor = 0;
};

} // namespace kl

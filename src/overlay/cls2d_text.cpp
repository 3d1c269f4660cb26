// The screen text object: font set-up, layout settings, drawing and its part in device resets.
#include "overlay/cls2d_text.h"

#include "engine/cls3d_engine.h"
#include "engine/mdl_main.h"
#include "fault/fault.h"

namespace kl {

namespace {

// The device of the current engine, shared so that the font keeps it as long as it draws on it.
gfx::DevicePtr current_device() {
    cls3dEngine* engine = CurrentEngine();
    return engine != nullptr ? engine->DevicePointer() : nullptr;
}

} // namespace

cls2dText::cls2dText() {
    TextFormat = 0;
    TextColor = mdlMain::ColorRGB(0, 0, 0);
    SetFont("", 16, false, false, false);
    if (cls3dEngine* engine = CurrentEngine()) engine->RegisterObject(this, ObjTypeText);
}

cls2dText::~cls2dText() {
    Cleanup();
    SysFont.reset();
    if (cls3dEngine* engine = CurrentEngine()) {
        try {
            engine->UnregisterObject(this);
        } catch (const Fault&) {
            // Only textures and meshes unbind anything; a text has nothing that could fail here.
        }
    }
}

void cls2dText::Cleanup() {
    DevFont.reset();
}

void cls2dText::SetFont(std::string_view FontName, std::int32_t Size, bool Bold, bool Italic,
                        bool Underline) {
    Cleanup();
    const gfx::DevicePtr device = current_device();
    if (!device) return;
    // The old system font goes before the new one is made, so repeated calls keep one alive.
    SysFont.reset();
    d3dx::FontDescription description;
    description.FaceName = std::string(FontName);
    description.Height = Size;
    description.Weight = Bold ? 700 : 400;
    description.Italic = Italic;
    description.Underline = Underline;
    // A font that cannot be made leaves SysFont or DevFont empty, and the text is simply not drawn.
    IgnoreStatus(d3dx::SystemFont::Create(description, &SysFont), "no font, no text");
    if (SysFont) IgnoreStatus(d3dx::DeviceFont::Create(device, *SysFont, &DevFont), "no font, no text");
}

void cls2dText::SetPosition(std::int32_t x1, std::int32_t y1, std::int32_t x2, std::int32_t y2) {
    TextRect = {x1, y1, x2, y2};
}

void cls2dText::SetFormat(std::int32_t FormatH, std::int32_t FormatV) {
    const std::uint32_t h = FormatH == 0 ? d3dx::dt::Left : FormatH == 1 ? d3dx::dt::Center : d3dx::dt::Right;
    const std::uint32_t v = FormatV == 0   ? d3dx::dt::Top
                            : FormatV == 1 ? d3dx::dt::VCenter
                                           : d3dx::dt::Bottom;
    TextFormat = h + v;
}

void cls2dText::SetColor(PackedColor ColParam) {
    TextColor = ColParam;
}

void cls2dText::Render(std::string_view Str) {
    if (DevFont) DevFont->DrawText(Str, -1, &TextRect, TextFormat, TextColor);
}

void cls2dText::RestoreFont() {
    Cleanup();
    const gfx::DevicePtr device = current_device();
    if (SysFont && device)
        IgnoreStatus(d3dx::DeviceFont::Create(device, *SysFont, &DevFont), "no font, no text");
}

} // namespace kl

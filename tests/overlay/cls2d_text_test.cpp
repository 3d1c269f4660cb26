// The screen text object on the recording back-end: alignment flags, the one system font it keeps,
// fonts only once the device exists, and its part in device resets.
#include "engine/mdl_main.h"
#include "overlay/cls2d_text.h"
#include "support/engine_fixture.h"

namespace kl::test {
namespace {

using Cls2dText = EngineTest;

// Draw calls the text made while rendering once.
std::size_t draws_of(cls2dText& text, gfx::CallLog& log, std::string_view str = "59.87 fps 1") {
    const std::size_t mark = log.Mark();
    text.Render(str);
    return log.Since(mark).Count("DrawPrimitiveUP");
}

TEST(Cls2dTextFormat, MapsBothPartsAndAddsThem) {
    ASSERT_EQ(CurrentEngine(), nullptr);
    cls2dText text; // without any engine: not registered, no font, and no failure either
    struct Case {
        std::int32_t h, v;
        std::uint32_t flags;
    };
    for (const Case& c : {Case{0, 0, 0}, Case{1, 1, 5}, Case{2, 0, 2}, Case{7, 0, 2}, Case{0, 3, 8},
                          Case{-1, -1, 10}, Case{1, 2, 9}, Case{0, 1, 4}}) {
        text.SetFormat(c.h, c.v);
        EXPECT_EQ(text.text_format(), c.flags) << c.h << ", " << c.v;
    }
    text.SetFont("Arial", 20, true, false, false);
    text.RestoreFont();
    text.Render("abc");
    EXPECT_EQ(text.sys_font(), nullptr);
}

TEST_F(Cls2dText, StartsBlackAtTheOriginAndRegistersAsText) {
    ASSERT_TRUE(bring_up());
    cls2dText text;
    EXPECT_EQ(text.text_color(), mdlMain::ColorRGB(0, 0, 0));
    EXPECT_EQ(text.text_format(), 0u);
    const gfx::Rect r = text.text_rect();
    EXPECT_EQ(r.left | r.top | r.right | r.bottom, 0);
    // Made with the device there: the default face at 16 pixels at once.
    ASSERT_NE(text.sys_font(), nullptr);
    EXPECT_EQ(text.sys_font()->Description().Height, 16);
    EXPECT_EQ(text.sys_font()->Description().FaceName, "");
    EXPECT_NE(text.dev_font(), nullptr);

    ASSERT_EQ(engine.RegisteredObjects().size(), 1u);
    EXPECT_EQ(engine.RegisteredObjects()[0].pObj, &text);
    EXPECT_EQ(engine.RegisteredObjects()[0].pObjType, ObjTypeText);

    text.SetPosition(0, 0, 900, 20);
    text.SetColor(mdlMain::ColorRGB(255, 255, 255));
    EXPECT_EQ(text.text_rect().right, 900);
    EXPECT_EQ(text.text_color(), 0xFFFFFFFFu);
    EXPECT_EQ(draws_of(text, log()), 1u);
    EXPECT_EQ(log().Last("DrawPrimitiveUP")->DataAs<gfx::Dword>()[4], 0xFFFFFFFFu)
        << "the colour reaches the vertices";
}

TEST_F(Cls2dText, MadeBeforeTheDeviceItHasNoFontUntilSetFontAfterwards) {
    ASSERT_TRUE(engine.Initialize(nullptr));
    cls2dText text;
    EXPECT_EQ(text.sys_font(), nullptr);
    EXPECT_EQ(text.dev_font(), nullptr);
    EXPECT_EQ(engine.RegisteredObjects().size(), 1u) << "registered all the same";
    text.SetFont("Arial", 20, false, false, false);
    EXPECT_EQ(text.sys_font(), nullptr) << "still no device";

    const DisplayMode mode{800, 600, FmtX8R8G8B8};
    ASSERT_TRUE(engine.SetRes(&mode, 0, false));
    text.SetPosition(0, 0, 900, 20);
    EXPECT_EQ(text.dev_font(), nullptr) << "the device's arrival alone makes no font";
    EXPECT_EQ(draws_of(text, log()), 0u);

    text.SetFont("Arial", 20, false, false, false);
    ASSERT_NE(text.dev_font(), nullptr);
    EXPECT_EQ(draws_of(text, log()), 1u);
}

TEST_F(Cls2dText, SetFontMakesTheDescribedFontAndKeepsOneSystemFontAlive) {
    ASSERT_TRUE(bring_up());
    const int before = d3dx::SystemFont::LiveCount();
    {
        cls2dText text;
        EXPECT_EQ(d3dx::SystemFont::LiveCount(), before + 1);
        text.SetFont("Arial", 20, true, false, false);
        ASSERT_NE(text.sys_font(), nullptr);
        const d3dx::FontDescription& d = text.sys_font()->Description();
        EXPECT_EQ(d.FaceName, "Arial");
        EXPECT_EQ(d.Height, 20);
        EXPECT_EQ(d.Weight, 700);
        EXPECT_FALSE(d.Italic || d.Underline);
        EXPECT_EQ(text.dev_font()->Face().Metrics().CellHeight(), 20);
        EXPECT_EQ(text.dev_font()->Face().Weight(), 700);

        for (int i = 0; i < 5; ++i)
            text.SetFont(i % 2 ? "Arial" : "", 12 + i, i % 2 == 0, i % 3 == 0, i == 4);
        EXPECT_EQ(d3dx::SystemFont::LiveCount(), before + 1);
        EXPECT_EQ(text.sys_font()->Description().Height, 16);
        EXPECT_TRUE(text.dev_font()->Face().Underline());

        // Without a device the device font goes and the system font stays as it was.
        const d3dx::SystemFont* kept = text.sys_font();
        engine.Cleanup();
        text.SetFont("Arial", 30, false, false, false);
        EXPECT_EQ(text.sys_font(), kept);
        EXPECT_EQ(text.dev_font(), nullptr);
        EXPECT_EQ(d3dx::SystemFont::LiveCount(), before + 1);
    }
    EXPECT_EQ(d3dx::SystemFont::LiveCount(), before) << "released with the text";
}

TEST_F(Cls2dText, ADeviceResetRebuildsTheSameFontWithoutSetFont) {
    ASSERT_TRUE(bring_up());
    cls2dText text;
    text.SetFont("Arial", 20, true, false, true);
    text.SetPosition(0, 0, 900, 20);
    const std::size_t first = log().Mark();
    text.Render("59.87 fps 1");
    const auto drawn = log().Since(first).Find("DrawPrimitiveUP");
    ASSERT_EQ(drawn.size(), 1u);
    const d3dx::SystemFont* system_font = text.sys_font();

    engine.CleanupObjects();
    EXPECT_EQ(text.dev_font(), nullptr);
    EXPECT_EQ(text.sys_font(), system_font);
    EXPECT_EQ(draws_of(text, log()), 0u) << "nothing to draw with while the device is away";
    engine.RestoreObjects();
    ASSERT_NE(text.dev_font(), nullptr);

    // A real mode change through the engine, which resets the device and takes the texture with it.
    const DisplayMode mode{1024, 768, FmtX8R8G8B8};
    const int resets = device().ResetCount();
    ASSERT_TRUE(engine.SetRes(&mode, 0, false));
    EXPECT_EQ(device().ResetCount(), resets + 1);
    EXPECT_EQ(text.sys_font(), system_font);
    const std::size_t again = log().Mark();
    text.Render("59.87 fps 1");
    const auto redrawn = log().Since(again).Find("DrawPrimitiveUP");
    ASSERT_EQ(redrawn.size(), 1u);
    EXPECT_EQ(redrawn[0].data, drawn[0].data) << "the same face, size and style: the same quads";
}

TEST_F(Cls2dText, LeavesTheRegistryWhenDestroyed) {
    ASSERT_TRUE(bring_up());
    auto first = std::make_unique<cls2dText>();
    cls2dText second;
    first.reset();
    ASSERT_EQ(engine.RegisteredObjects().size(), 1u);
    EXPECT_EQ(engine.RegisteredObjects()[0].pObj, &second);
}

} // namespace
} // namespace kl::test

// Bringing up display and input on the recording graphics back-end and a hand-driven input system:
// the four results, the mode actually chosen, and what is left held after each failure.
#include "app/bring_up_display.h"
#include "platform/gfx/recording/recording_system.h"
#include "sim/mdl_kl.h"
#include "support/fake_input.h"

#include <algorithm>
#include <gtest/gtest.h>

namespace kl::test {
namespace {

using gfx::FmtR5G6B5;
using gfx::FmtX8R8G8B8;

class BringUpDisplayTest : public ::testing::Test {
  protected:
    void SetUp() override {
        mdlKl::ResetProgram();
        mdlKl::ProgramState& program = mdlKl::Program();
        program.Settings.AspectRatio = "1,333";
        program.Engine = std::make_unique<cls3dEngine>();
        program.Engine->SetGraphicsFactory([this] { return sys; });
        program.Engine->SetMessagePump([] { return true; });
        program.Engine->SetAspectRatioSource(&program.Settings.AspectRatio);
        program.Input = std::make_unique<clsInput>();
        program.Input->SetInputFactory(input);
    }
    void TearDown() override { mdlKl::ResetProgram(); }

    // Requests a mode the way the program does: the typed mode, then bring-up on the settings.
    std::int32_t request(std::int32_t width, std::int32_t height, std::int32_t format,
                         std::int32_t anti_alias) {
        mdlKl::Program().Settings.Width = width;
        mdlKl::Program().Settings.Height = height;
        mdlKl::Program().Settings.Format = format;
        mdlKl::Program().Settings.AntiAlias = anti_alias;
        return mdlKl::BringUpDisplay(width, height, format, anti_alias, nullptr);
    }

    DisplayMode chosen() const { return mdlKl::Program().Settings.Mode(); }
    bool logged(const std::string& call) const {
        return std::find(input.log.begin(), input.log.end(), call) != input.log.end();
    }

    std::shared_ptr<gfx::RecordingSystem> sys = std::make_shared<gfx::RecordingSystem>();
    FakeInput input;
};

bool same_mode(const DisplayMode& a, const DisplayMode& b) {
    return a.Width == b.Width && a.Height == b.Height && a.Format == b.Format;
}

TEST_F(BringUpDisplayTest, AListedModeIsUsedAsRequestedWithTheAntiAliasingTheAdapterCanGive) {
    sys->adapters[0].multisample_counts = {2, 4};
    ASSERT_EQ(request(1024, 768, FmtX8R8G8B8, 4), 3);
    EXPECT_TRUE(same_mode(chosen(), {1024, 768, FmtX8R8G8B8}));
    EXPECT_EQ(mdlKl::Program().Settings.AntiAlias, 4);
    EXPECT_EQ(mdlKl::Program().DeviceCaps.AntiAlias, 4);
    ASSERT_NE(sys->LastDevice(), nullptr) << "the display must have been switched";
    EXPECT_TRUE(logged("keyboard.Acquire"));
    EXPECT_TRUE(logged("mouse.Acquire"));
    EXPECT_EQ(mdlKl::Program().ModeList.size(), 3u);
}

TEST_F(BringUpDisplayTest, AnythingThatDoesNotMatchFallsBackToTheFirstListedModeWithoutAntiAliasing) {
    sys->adapters[0].multisample_counts = {2};
    struct Case {
        const char* what;
        DisplayMode mode;
        std::int32_t anti_alias;
    };
    const Case cases[] = {
        {"unlisted size", {1280, 1024, FmtX8R8G8B8}, 0},
        {"listed size in another format", {1024, 768, FmtR5G6B5}, 0},
        {"listed mode, more anti-aliasing than the adapter gives", {1024, 768, FmtX8R8G8B8}, 4},
        {"width and height swapped", {768, 1024, FmtX8R8G8B8}, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_EQ(request(c.mode.Width, c.mode.Height, c.mode.Format, c.anti_alias), 3);
        EXPECT_TRUE(same_mode(chosen(), {640, 480, FmtX8R8G8B8}));
        EXPECT_EQ(mdlKl::Program().Settings.AntiAlias, 0);
        mdlKl::Program().Input->Cleanup();
    }
}

TEST_F(BringUpDisplayTest, AnUnusableAdapterEndsBeforeTheModeIsChosenOrInputTaken) {
    struct Case {
        const char* what;
        void (*spoil)(gfx::RecordingSystem&);
    };
    const Case cases[] = {
        {"texture width below 256",
         [](gfx::RecordingSystem& s) { s.adapters[0].caps.MaxTextureWidth = 255; }},
        {"texture height below 256",
         [](gfx::RecordingSystem& s) { s.adapters[0].caps.MaxTextureHeight = 128; }},
        {"no mode of 640 by 480 or more",
         [](gfx::RecordingSystem& s) {
             s.adapters[0].modes = {{320, 240, 60, FmtX8R8G8B8}};
         }},
        {"no adapter", [](gfx::RecordingSystem& s) { s.adapters.clear(); }},
        {"capabilities cannot be read",
         [](gfx::RecordingSystem& s) {
             s.Control().failing_calls["GetDeviceCaps"] = gfx::Status::NotAvailable;
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        sys = std::make_shared<gfx::RecordingSystem>();
        c.spoil(*sys);
        input.log.clear();
        EXPECT_EQ(request(800, 600, FmtX8R8G8B8, 0), 0);
        EXPECT_TRUE(same_mode(chosen(), {800, 600, FmtX8R8G8B8})) << "the mode is chosen after the checks";
        EXPECT_TRUE(input.log.empty()) << "no input device may be taken";
        EXPECT_EQ(sys->LastDevice(), nullptr);
    }
}

TEST_F(BringUpDisplayTest, KeyboardOrMouseNotAcquiredGivesOneAfterTheModeWasChosenAndNoDisplaySwitch) {
    input.Fail("mouse.Acquire", {platform::Status::NotAvailable});
    EXPECT_EQ(request(1600, 1200, FmtX8R8G8B8, 0), 1);
    EXPECT_TRUE(same_mode(chosen(), {640, 480, FmtX8R8G8B8})) << "the fallback is already in the settings";
    EXPECT_EQ(sys->LastDevice(), nullptr);
}

TEST_F(BringUpDisplayTest, AModeThatCannotBeSetGivesTwoAndLetsGoOfKeyboardAndMouse) {
    sys->create_device_result = gfx::Status::NotAvailable;
    EXPECT_EQ(request(800, 600, FmtX8R8G8B8, 0), 2);
    EXPECT_TRUE(same_mode(chosen(), {800, 600, FmtX8R8G8B8}));
    EXPECT_TRUE(logged("keyboard.Unacquire"));
    EXPECT_TRUE(logged("mouse.Unacquire"));
    EXPECT_TRUE(logged("ReleaseSystem"));
}

} // namespace
} // namespace kl::test

// The SDL devices and the input object on a real window: runs under an X server (ctest starts it
// under xvfb-run), where windows get the keyboard focus and can lose it to another window.
#include "input/cls_input.h"
#include "platform/input/key_names.h"
#include "platform/input/sdl_input.h"
#include "platform/os/events.h"

#include <SDL.h>
#include <cstdlib>
#include <functional>
#include <gtest/gtest.h>

namespace kl {
namespace {

namespace key = platform::key;
using platform::Status;

// Pumps events until the condition holds; false after about three seconds.
bool WaitFor(const std::function<bool()>& condition) {
    for (int i = 0; i < 300; ++i) {
        platform::PumpEvents();
        if (condition()) return true;
        SDL_Delay(10);
    }
    return false;
}

bool HasFocus(SDL_Window* w) {
    return (SDL_GetWindowFlags(w) & SDL_WINDOW_INPUT_FOCUS) != 0;
}

class SdlInputTest : public ::testing::Test {
  protected:
    void SetUp() override {
        if (SDL_Init(SDL_INIT_VIDEO) != 0) GTEST_SKIP() << "no display: " << SDL_GetError();
        main = SDL_CreateWindow("main", 0, 0, 160, 120, SDL_WINDOW_SHOWN);
        other = SDL_CreateWindow("other", 200, 0, 160, 120, SDL_WINDOW_SHOWN);
        ASSERT_NE(main, nullptr) << SDL_GetError();
        ASSERT_NE(other, nullptr) << SDL_GetError();
        if (!Focus(main))
            GTEST_SKIP() << "the " << SDL_GetCurrentVideoDriver() << " driver gives no keyboard focus";
    }

    void TearDown() override {
        input.reset();
        if (other != nullptr) SDL_DestroyWindow(other);
        if (main != nullptr) SDL_DestroyWindow(main);
        SDL_Quit();
    }

    // The main window covers the screen, as the program's does unless told --windowed.
    bool FullScreen() {
        return SDL_SetWindowFullscreen(main, SDL_WINDOW_FULLSCREEN_DESKTOP) == 0 && Focus(main);
    }

    bool Focus(SDL_Window* w) {
        SDL_SetWindowInputFocus(w);
        return WaitFor([&] { return HasFocus(w); });
    }

    void PushKey(SDL_Scancode sc, bool down) {
        SDL_Event e{};
        e.type = down ? SDL_KEYDOWN : SDL_KEYUP;
        e.key.windowID = SDL_GetWindowID(main);
        e.key.state = down ? SDL_PRESSED : SDL_RELEASED;
        e.key.keysym.scancode = sc;
        ASSERT_EQ(SDL_PushEvent(&e), 1) << SDL_GetError();
    }

    SDL_Window* main = nullptr;
    SDL_Window* other = nullptr;
    std::unique_ptr<clsInput> input = std::make_unique<clsInput>();
    std::string text;
};

TEST_F(SdlInputTest, KeyEventsArriveAsKeyCodesAndTypeOnTheGermanLayout) {
    ASSERT_TRUE(input->Initialize(main, true, true));
    const std::pair<SDL_Scancode, int> keys[] = {
        {SDL_SCANCODE_UP, key::Up},         {SDL_SCANCODE_LEFT, key::Left},
        {SDL_SCANCODE_RIGHT, key::Right},   {SDL_SCANCODE_DOWN, key::Down},
        {SDL_SCANCODE_RETURN, key::Return}, {SDL_SCANCODE_KP_ENTER, 156},
        {SDL_SCANCODE_ESCAPE, key::Escape}, {SDL_SCANCODE_PAGEUP, key::PageUp},
        {SDL_SCANCODE_HOME, key::Home},
    };
    for (const auto& [sc, code] : keys) {
        PushKey(sc, true);
        const platform::KeyStateTable* state = input->ReadKeyboard(text);
        ASSERT_NE(state, nullptr);
        EXPECT_EQ((*state)[static_cast<std::size_t>(code)], platform::kKeyDown) << SDL_GetScancodeName(sc);
        PushKey(sc, false);
        EXPECT_EQ((*input->ReadKeyboard(text))[static_cast<std::size_t>(code)], 0) << SDL_GetScancodeName(sc);
    }
    EXPECT_EQ(text, "");

    // Shift and the key SDL calls Z: a capital Y on a German board.
    PushKey(SDL_SCANCODE_LSHIFT, true);
    PushKey(SDL_SCANCODE_Z, true);
    input->ReadKeyboard(text);
    PushKey(SDL_SCANCODE_Z, false);
    PushKey(SDL_SCANCODE_LSHIFT, false);
    PushKey(SDL_SCANCODE_Y, true);
    input->ReadKeyboard(text);
    EXPECT_EQ(text, "Yz");
}

TEST_F(SdlInputTest, KeysFromTheXServerArriveToo) {
    if (std::system("command -v xdotool >/dev/null 2>&1") != 0) GTEST_SKIP() << "xdotool is not installed";
    if (SDL_getenv("DISPLAY") == nullptr) GTEST_SKIP() << "no X display";
    ASSERT_TRUE(input->Initialize(main, true, true));
    ASSERT_EQ(std::system("xdotool keydown Up keydown Return keydown KP_Enter keydown Escape"), 0);
    const platform::KeyStateTable* state = nullptr;
    const bool all_down = WaitFor([&] {
        state = input->ReadKeyboard(text);
        return state != nullptr && (*state)[key::Up] && (*state)[key::Return] && (*state)[key::NumpadEnter] &&
               (*state)[key::Escape];
    });
    const int released = std::system("xdotool keyup Up keyup Return keyup KP_Enter keyup Escape");
    EXPECT_TRUE(all_down);
    ASSERT_EQ(released, 0);
    EXPECT_TRUE(WaitFor([&] {
        state = input->ReadKeyboard(text);
        return state != nullptr && !(*state)[key::Up] && !(*state)[key::Escape];
    }));
}

TEST_F(SdlInputTest, MouseCountsMovementSinceTheLastReadAndHoldsButtons) {
    ASSERT_TRUE(input->Initialize(main, true, true));
    SDL_Event e{};
    e.type = SDL_MOUSEMOTION;
    e.motion.windowID = SDL_GetWindowID(main);
    e.motion.xrel = 3;
    e.motion.yrel = -2;
    SDL_PushEvent(&e);
    SDL_PushEvent(&e);
    e = {};
    e.type = SDL_MOUSEWHEEL;
    e.wheel.windowID = SDL_GetWindowID(main);
    e.wheel.y = 1;
    SDL_PushEvent(&e);
    e = {};
    e.type = SDL_MOUSEBUTTONDOWN;
    e.button.windowID = SDL_GetWindowID(main);
    e.button.button = SDL_BUTTON_RIGHT;
    SDL_PushEvent(&e);
    EXPECT_EQ(input->ReadMouse(), (platform::MouseState{6, -4, 120, {0, 0x80, 0, 0}}));
    EXPECT_EQ(input->ReadMouse(), (platform::MouseState{0, 0, 0, {0, 0x80, 0, 0}}));
}

TEST_F(SdlInputTest, InFullScreenLosingTheFocusTakesTheDevicesAwayUntilTheWindowIsBack) {
    ASSERT_TRUE(FullScreen());
    std::unique_ptr<platform::InputSystem> system;
    std::unique_ptr<platform::InputDevice> kb;
    ASSERT_EQ(platform::SdlInputFactory().Create(system), Status::Ok);
    ASSERT_EQ(system->CreateDevice(platform::kSysKeyboard, kb), Status::Ok);
    ASSERT_EQ(kb->SetDataFormat(platform::kKeyboardFormat), Status::Ok);
    ASSERT_EQ(kb->SetCooperativeLevel(main, platform::kCoopExclusive | platform::kCoopForeground),
              Status::Ok);
    ASSERT_EQ(kb->Acquire(), Status::Ok);
    platform::KeyStateTable state{};
    ASSERT_EQ(kb->GetDeviceState(256, state.data()), Status::Ok);

    ASSERT_TRUE(Focus(other));
    EXPECT_EQ(kb->GetDeviceState(256, state.data()), Status::InputLost);
    EXPECT_EQ(kb->GetDeviceState(256, state.data()), Status::InvalidCall); // now unacquired
    EXPECT_EQ(kb->Acquire(), Status::NotAvailable);

    ASSERT_TRUE(Focus(main));
    EXPECT_EQ(kb->Acquire(), Status::Ok);
    EXPECT_EQ(kb->GetDeviceState(256, state.data()), Status::Ok);
    kb.reset();
    system.reset();
}

TEST_F(SdlInputTest, InFullScreenTheInputObjectTakesTheKeyboardBackOnlyWhenTheWindowIsInFront) {
    ASSERT_TRUE(FullScreen());
    ASSERT_TRUE(input->Initialize(main, true, true));
    // Away and back between two reads: the read acquires again and the keyboard goes on.
    ASSERT_TRUE(Focus(other));
    ASSERT_TRUE(Focus(main));
    ASSERT_NE(input->ReadKeyboard(text), nullptr);
    PushKey(SDL_SCANCODE_A, true);
    ASSERT_NE(input->ReadKeyboard(text), nullptr);
    EXPECT_EQ(text, "a");
    // Still in the background at the read: the read fails.
    ASSERT_TRUE(Focus(other));
    EXPECT_EQ(input->ReadKeyboard(text), nullptr);
    EXPECT_FALSE(input->Initialize(main, true, true));
}

TEST_F(SdlInputTest, InAWindowLosingTheFocusReadsAsIdleAndFreesTheMouseUntilTheWindowIsBack) {
    ASSERT_TRUE(input->Initialize(main, true, true));
    PushKey(SDL_SCANCODE_A, true);
    ASSERT_NE(input->ReadKeyboard(text), nullptr);
    EXPECT_NE(input->KeyState[30], 0);
    EXPECT_TRUE(SDL_GetRelativeMouseMode());

    ASSERT_TRUE(Focus(other));
    for (int read = 0; read < 2; ++read) {
        ASSERT_NE(input->ReadKeyboard(text), nullptr) << "read " << read;
        EXPECT_EQ(input->KeyState, platform::KeyStateTable{}) << "read " << read;
    }
    EXPECT_FALSE(SDL_GetRelativeMouseMode());

    ASSERT_TRUE(Focus(main));
    PushKey(SDL_SCANCODE_B, true);
    ASSERT_NE(input->ReadKeyboard(text), nullptr);
    EXPECT_NE(input->KeyState[48], 0);
    EXPECT_EQ(text, "ab");
    EXPECT_TRUE(SDL_GetRelativeMouseMode());
}

} // namespace
} // namespace kl

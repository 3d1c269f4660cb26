#include "fault/fault.h"
#include "input/cls_input.h"
#include "platform/input/key_names.h"
#include "support/fake_input.h"

#include <algorithm>
#include <gtest/gtest.h>

namespace kl {
namespace {

namespace key = platform::key;
using platform::Status;
using Log = std::vector<std::string>;

constexpr int kA = 30, kQ = 16, kX = 45;
const Log kReleaseAll = {"mouse.Unacquire", "mouse.Release", "keyboard.Unacquire", "keyboard.Release",
                         "ReleaseSystem"};
const Log kSetUp = {"Create",
                    "keyboard.Create GUID_SysKeyboard",
                    "keyboard.SetDataFormat 1",
                    "keyboard.SetCooperativeLevel window 5",
                    "keyboard.Acquire",
                    "mouse.Create GUID_SysMouse",
                    "mouse.SetDataFormat 2",
                    "mouse.SetCooperativeLevel window 5",
                    "mouse.Acquire"};

class InputTest : public ::testing::Test {
  protected:
    void SetUp() override {
        input.SetInputFactory(fake);
        ASSERT_TRUE(input.Initialize(window, true, true));
        fake.log.clear();
    }

    // One read with exactly these keys down.
    const platform::KeyStateTable* ReadWith(std::initializer_list<int> codes) {
        fake.keys.fill(0);
        for (int c : codes)
            fake.Press(c);
        return input.ReadKeyboard(text);
    }

    int dummy = 0;
    platform::WindowHandle window = reinterpret_cast<platform::WindowHandle>(&dummy);
    test::FakeInput fake;
    clsInput input;
    std::string text;
};

TEST_F(InputTest, InitializeReleasesWhatItHeldThenSetsUpKeyboardAndMouse) {
    ASSERT_TRUE(input.Initialize(window, true, true));
    Log expected = kReleaseAll;
    expected.insert(expected.end(), kSetUp.begin(), kSetUp.end());
    EXPECT_EQ(fake.log, expected);
}

TEST_F(InputTest, InitializeStopsAtTheFirstFailingStepAndKeepsWhatItMade) {
    for (const std::string& step : kSetUp) {
        input.Cleanup();
        fake.log.clear();
        fake.Fail(step, {Status::NotAvailable});
        EXPECT_FALSE(input.Initialize(window, true, true)) << step;
        EXPECT_EQ(fake.log.back(), step);
    }
    // The last failure left both devices held until the cleanup.
    fake.log.clear();
    input.Cleanup();
    EXPECT_EQ(fake.log, kReleaseAll);
}

TEST_F(InputTest, CleanupReleasesEverythingBeforeReportingAFailureAndIsSafeTwice) {
    fake.Fail("mouse.Unacquire", {Status::InvalidCall});
    EXPECT_THROW(input.Cleanup(), Fault);
    EXPECT_EQ(fake.log, kReleaseAll);
    fake.log.clear();
    EXPECT_NO_THROW(input.Cleanup());
    EXPECT_TRUE(fake.log.empty());
    // Reads without devices fail quietly.
    EXPECT_EQ(input.ReadKeyboard(text), &input.KeyState);
    EXPECT_EQ(input.ReadMouse(), platform::MouseState{});
}

TEST_F(InputTest, AHeldKeyTypesOnceAndAgainAfterItsRelease) {
    ReadWith({kA});
    ReadWith({kA});
    ReadWith({kA});
    EXPECT_EQ(text, "a");
    ReadWith({});
    ReadWith({kA});
    EXPECT_EQ(text, "aa");
}

TEST_F(InputTest, ShiftAndTheGermanLayoutDecideTheCharacter) {
    struct Case {
        int shift, code;
        const char* typed;
    };
    const Case cases[] = {
        {key::LShift, kA, "A"}, {key::RShift, kA, "A"}, {key::LShift, 2, "!"},
        {key::LShift, 7, "6"},  {key::LShift, 79, "1"}, {key::LShift, 4, "\xC2\xA7"},
        {key::RShift, 12, "?"}, {key::LShift, 86, ">"}, {key::LShift, 53, "_"},
        {0, 21, "z"},           {0, 44, "y"},           {0, 12, "\xC3\x9F"},
        {0, 83, ","},           {0, 57, " "},
    };
    for (const Case& c : cases) {
        text.clear();
        ReadWith({c.shift});
        ReadWith({c.shift, c.code});
        EXPECT_EQ(text, c.typed) << "key " << c.code << " with " << c.shift;
    }
}

TEST_F(InputTest, KeysWithoutACharacterTypeNothingButShowInTheState) {
    for (int code : {int{key::Escape}, int{key::Return}, 15, 59, int{key::Up}, int{key::NumpadEnter}}) {
        ReadWith({});
        const platform::KeyStateTable* state = ReadWith({code});
        ASSERT_NE(state, nullptr);
        EXPECT_EQ((*state)[static_cast<std::size_t>(code)], platform::kKeyDown) << code;
    }
    EXPECT_EQ(text, "");
}

TEST_F(InputTest, KeysDownInOneReadTypeInKeyCodeOrder) {
    ReadWith({kA, kQ});
    EXPECT_EQ(text, "qa");
}

TEST_F(InputTest, BackspaceRemovesOneWholeCharacterIfThereIsOne) {
    text = "x\xC3\x9F"
           "b";
    for (const char* left : {"x\xC3\x9F", "x", "", ""}) {
        ReadWith({});
        ReadWith({key::Backspace});
        EXPECT_EQ(text, left);
    }
}

TEST_F(InputTest, KeysPressedWhileBackspaceIsHeldRemoveInsteadOfTyping) {
    text = "abc";
    ReadWith({key::Backspace});
    ReadWith({key::Backspace, kX});
    EXPECT_EQ(text, "a");
    // Going down together, Backspace and X each remove one.
    text = "abc";
    ReadWith({});
    ReadWith({key::Backspace, kX});
    EXPECT_EQ(text, "a");
}

TEST_F(InputTest, ALostKeyboardIsAcquiredAndReadAgainInTheSameCall) {
    fake.Fail("keyboard.GetDeviceState 256", {Status::InputLost});
    EXPECT_EQ(ReadWith({kA}), &input.KeyState);
    EXPECT_EQ(fake.log,
              (Log{"keyboard.GetDeviceState 256", "keyboard.Acquire", "keyboard.GetDeviceState 256"}));
    ReadWith({kA, kQ});
    EXPECT_EQ(text, "aq");

    // Not taken back: the read fails and types nothing.
    fake.Fail("keyboard.GetDeviceState 256", {Status::InputLost, Status::InvalidCall});
    fake.Fail("keyboard.Acquire", {Status::NotAvailable});
    EXPECT_EQ(ReadWith({kX}), nullptr);
    fake.Fail("keyboard.GetDeviceState 256", {Status::InputLost, Status::InputLost});
    EXPECT_EQ(ReadWith({kX}), nullptr);
    EXPECT_EQ(text, "aq");
}

TEST_F(InputTest, OtherReadFailuresKeepThePreviousStateWithoutTypingOrAcquiring) {
    ReadWith({key::Left});
    fake.Fail("keyboard.GetDeviceState 256", {Status::InvalidCall});
    const platform::KeyStateTable* state = ReadWith({kA});
    ASSERT_EQ(state, &input.KeyState);
    EXPECT_EQ((*state)[key::Left], platform::kKeyDown);
    EXPECT_EQ((*state)[kA], 0);
    EXPECT_EQ(text, "");
    EXPECT_EQ(std::count(fake.log.begin(), fake.log.end(), "keyboard.Acquire"), 0);
}

TEST_F(InputTest, MouseReadsRecoverFromALossAndNeverRepeatOldMovement) {
    fake.mouse = {3, -4, 120, {0x80, 0, 0, 0x80}};
    EXPECT_EQ(input.ReadMouse(), fake.mouse);
    fake.mouse = {1, 2, 0, {0, 0x80, 0, 0}};
    fake.Fail("mouse.GetDeviceState 16", {Status::InputLost});
    EXPECT_EQ(input.ReadMouse(), fake.mouse);

    // A failed read reports no movement but keeps the buttons.
    fake.Fail("mouse.GetDeviceState 16", {Status::InvalidCall});
    EXPECT_EQ(input.ReadMouse(), (platform::MouseState{0, 0, 0, {0, 0x80, 0, 0}}));

    fake.Fail("mouse.GetDeviceState 16", {Status::InputLost, Status::InvalidCall});
    fake.Fail("mouse.Acquire", {Status::NotAvailable});
    EXPECT_EQ(input.ReadMouse(), platform::MouseState{});
}

} // namespace
} // namespace kl

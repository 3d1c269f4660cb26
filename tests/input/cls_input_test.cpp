#include "engine/fault.h"
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

constexpr int kA = 30, kQ = 16, kX = 45, kOne = 2, kSix = 7, kNumpad1 = 79;

class InputTest : public ::testing::Test {
  protected:
    void SetUp() override {
        input.SetInputFactory(fake);
        ASSERT_TRUE(input.Initialize(window, true, true));
        fake.log.clear();
    }

    // One read with exactly the given keys down.
    const platform::KeyStateTable* ReadWith(std::initializer_list<int> codes) {
        fake.keyboard.keys.fill(0);
        for (int c : codes)
            fake.keyboard.Press(c);
        return input.ReadKeyboard(text);
    }

    int dummy = 0;
    platform::WindowHandle window = reinterpret_cast<platform::WindowHandle>(&dummy);
    test::FakeInput fake;
    clsInput input;
    std::string text;
};

TEST_F(InputTest, InitializeSetsUpKeyboardThenMouseExclusiveInTheForeground) {
    ASSERT_TRUE(input.Initialize(window, true, true));
    EXPECT_EQ(fake.log,
              (Log{"mouse.Unacquire", "mouse.Release", "keyboard.Unacquire", "keyboard.Release",
                   "ReleaseSystem", "Create", "keyboard.Create GUID_SysKeyboard", "keyboard.SetDataFormat 1",
                   "keyboard.SetCooperativeLevel window 5", "keyboard.Acquire", "mouse.Create GUID_SysMouse",
                   "mouse.SetDataFormat 2", "mouse.SetCooperativeLevel window 5", "mouse.Acquire"}));
}

TEST_F(InputTest, InitializeStopsAtTheFirstFailingStepAndKeepsWhatItMade) {
    // Each step of the set-up in turn fails; the log must end with that step.
    const std::vector<std::pair<std::deque<Status>*, std::string>> steps = {
        {&fake.create, "Create"},
        {&fake.keyboard.create, "keyboard.Create GUID_SysKeyboard"},
        {&fake.keyboard.format, "keyboard.SetDataFormat 1"},
        {&fake.keyboard.level, "keyboard.SetCooperativeLevel window 5"},
        {&fake.keyboard.acquire, "keyboard.Acquire"},
        {&fake.mouse.create, "mouse.Create GUID_SysMouse"},
        {&fake.mouse.format, "mouse.SetDataFormat 2"},
        {&fake.mouse.level, "mouse.SetCooperativeLevel window 5"},
        {&fake.mouse.acquire, "mouse.Acquire"},
    };
    for (const auto& [queue, call] : steps) {
        input.Cleanup();
        fake.log.clear();
        queue->push_back(Status::NotAvailable);
        EXPECT_FALSE(input.Initialize(window, true, true)) << call;
        EXPECT_EQ(fake.log.back(), call);
    }
    // The last failure left both devices held: a cleanup releases them, mouse first.
    fake.log.clear();
    input.Cleanup();
    EXPECT_EQ(fake.log, (Log{"mouse.Unacquire", "mouse.Release", "keyboard.Unacquire", "keyboard.Release",
                             "ReleaseSystem"}));
}

TEST_F(InputTest, CleanupIsSafeTwiceAndReleasesEverythingBeforeReportingAFailure) {
    fake.mouse.unacquire.push_back(Status::InvalidCall);
    EXPECT_THROW(input.Cleanup(), Fault);
    EXPECT_EQ(fake.log, (Log{"mouse.Unacquire", "mouse.Release", "keyboard.Unacquire", "keyboard.Release",
                             "ReleaseSystem"}));
    fake.log.clear();
    EXPECT_NO_THROW(input.Cleanup());
    EXPECT_TRUE(fake.log.empty());
    // With nothing held a read fails quietly: the previous state comes back, nothing is lost.
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

TEST_F(InputTest, ShiftGivesCapitalsAndTheShiftedSignsOfAGermanLayout) {
    struct Case {
        int code;
        int shift;
        const char* typed;
    };
    const Case cases[] = {
        {kA, key::LShift, "A"},
        {kA, key::RShift, "A"},
        {kOne, key::LShift, "!"},
        {kSix, key::LShift, "6"},
        {kNumpad1, key::LShift, "1"},
        {4, key::LShift, "\xC2\xA7"},
        {12, key::RShift, "?"},
        {3, key::LShift, "\""},
        {86, key::LShift, ">"},
        {21, 0, "z"},
        {44, 0, "y"},
        {12, 0, "\xC3\x9F"},
        {83, 0, ","},
        {57, 0, " "},
        {53, key::LShift, "_"},
    };
    for (const Case& c : cases) {
        text.clear();
        ReadWith({});
        if (c.shift != 0) ReadWith({c.shift});
        if (c.shift != 0)
            ReadWith({c.shift, c.code});
        else
            ReadWith({c.code});
        EXPECT_EQ(text, c.typed) << "key " << c.code << " shift " << c.shift;
    }
}

TEST_F(InputTest, KeysWithoutACharacterTypeNothingButShowInTheState) {
    text = "ab";
    for (int code : {int{key::Escape}, int{key::Return}, 15, 59, int{key::Up}, int{key::NumpadEnter}, 29}) {
        ReadWith({});
        const platform::KeyStateTable* state = ReadWith({code});
        ASSERT_NE(state, nullptr);
        EXPECT_EQ((*state)[static_cast<std::size_t>(code)], platform::kKeyDown) << code;
    }
    EXPECT_EQ(text, "ab");
}

TEST_F(InputTest, KeysDownInOneReadTypeInKeyCodeOrder) {
    fake.keyboard.Press(kA);
    fake.keyboard.Press(kQ);
    input.ReadKeyboard(text);
    EXPECT_EQ(text, "qa");
}

TEST_F(InputTest, BackspaceRemovesTheLastCharacterOfWhatIsThere) {
    text = "ab";
    ReadWith({key::Backspace});
    EXPECT_EQ(text, "a");
    ReadWith({});
    ReadWith({key::Backspace});
    EXPECT_EQ(text, "");
    ReadWith({});
    ReadWith({key::Backspace});
    EXPECT_EQ(text, "");
    // A character of several bytes goes as a whole.
    text = "x\xC3\x9F";
    ReadWith({});
    ReadWith({key::Backspace});
    EXPECT_EQ(text, "x");
}

TEST_F(InputTest, KeysPressedWhileBackspaceIsHeldRemoveInsteadOfTyping) {
    text = "abc";
    ReadWith({key::Backspace});
    ReadWith({key::Backspace, kX});
    EXPECT_EQ(text, "a");
    // Backspace and X going down together remove one character each.
    text = "abc";
    ReadWith({});
    ReadWith({key::Backspace, kX});
    EXPECT_EQ(text, "a");
}

TEST_F(InputTest, ALostKeyboardIsAcquiredAgainAndReadInTheSameCall) {
    fake.keyboard.read.push_back(Status::InputLost);
    EXPECT_EQ(ReadWith({kA}), &input.KeyState);
    EXPECT_EQ(fake.log,
              (Log{"keyboard.GetDeviceState 256", "keyboard.Acquire", "keyboard.GetDeviceState 256"}));
    EXPECT_EQ(text, "a");
    // A second read goes on as usual.
    fake.log.clear();
    ReadWith({kA, kQ});
    EXPECT_EQ(fake.log, (Log{"keyboard.GetDeviceState 256"}));
    EXPECT_EQ(text, "aq");
}

TEST_F(InputTest, ALostKeyboardThatCannotBeTakenBackFailsTheRead) {
    text = "x";
    fake.keyboard.read.push_back(Status::InputLost);
    fake.keyboard.acquire.push_back(Status::NotAvailable);
    fake.keyboard.read.push_back(Status::InvalidCall);
    EXPECT_EQ(ReadWith({kA}), nullptr);
    fake.keyboard.read.push_back(Status::InputLost);
    fake.keyboard.read.push_back(Status::InputLost);
    EXPECT_EQ(ReadWith({kA}), nullptr);
    EXPECT_EQ(text, "x");
}

TEST_F(InputTest, OtherReadFailuresKeepThePreviousStateWithoutTypingOrAcquiring) {
    ReadWith({key::Left});
    fake.keyboard.read.push_back(Status::InvalidCall);
    const platform::KeyStateTable* state = ReadWith({kA});
    ASSERT_EQ(state, &input.KeyState);
    EXPECT_EQ((*state)[key::Left], platform::kKeyDown);
    EXPECT_EQ((*state)[kA], 0);
    EXPECT_EQ(text, "");
    EXPECT_EQ(std::count(fake.log.begin(), fake.log.end(), "keyboard.Acquire"), 0);
}

TEST_F(InputTest, MouseReadsMovementAndButtonsAndRecoversFromALoss) {
    fake.mouse.mouse = {3, -4, 120, {0x80, 0, 0, 0x80}};
    EXPECT_EQ(input.ReadMouse(), fake.mouse.mouse);

    fake.mouse.mouse = {1, 2, 0, {0, 0x80, 0, 0}};
    fake.mouse.read.push_back(Status::InputLost);
    EXPECT_EQ(input.ReadMouse(), fake.mouse.mouse);
    EXPECT_EQ(fake.log, (Log{"mouse.GetDeviceState 16", "mouse.GetDeviceState 16", "mouse.Acquire",
                             "mouse.GetDeviceState 16"}));

    fake.mouse.read.push_back(Status::InputLost);
    fake.mouse.acquire.push_back(Status::NotAvailable);
    fake.mouse.read.push_back(Status::InvalidCall);
    EXPECT_EQ(input.ReadMouse(), platform::MouseState{});
}

TEST_F(InputTest, AFailedMouseReadDoesNotRepeatThePreviousMovement) {
    fake.mouse.mouse = {5, 6, -240, {0x80, 0, 0, 0}};
    input.ReadMouse();
    fake.mouse.read.push_back(Status::InvalidCall);
    const platform::MouseState m = input.ReadMouse();
    EXPECT_EQ(m.X, 0);
    EXPECT_EQ(m.Y, 0);
    EXPECT_EQ(m.Z, 0);
    EXPECT_EQ(m.Buttons[0], 0x80);
}

} // namespace
} // namespace kl

#include "platform/input/key_script.h"
#include "platform/input/scripted_input.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

namespace kl::platform {
namespace {

KeyScript Parse(std::string_view text) {
    KeyScriptResult r = ParseKeyScript(text, "keys.txt");
    EXPECT_EQ(r.error, "");
    return r.script.value_or(KeyScript{});
}

std::vector<int> Down(const KeyStateTable& state) {
    std::vector<int> codes;
    for (std::size_t k = 0; k < state.size(); ++k) {
        if (state[k] == kKeyDown)
            codes.push_back(static_cast<int>(k));
        else
            EXPECT_EQ(state[k], 0) << k;
    }
    return codes;
}

TEST(KeyScript, ListsKeysByNameOrCodeForSingleReadsAndRanges) {
    const KeyScript s = Parse("# a drive\n"
                              "0: Up\n"
                              "\n"
                              "2-4: left  numpad1\tLSHIFT   # steer\r\n"
                              "3: 57 Return\n"
                              "  7 - 7 :  PageUp  \n");
    EXPECT_EQ(Down(s.StateAt(0)), (std::vector<int>{200}));
    EXPECT_EQ(Down(s.StateAt(1)), (std::vector<int>{}));
    EXPECT_EQ(Down(s.StateAt(2)), (std::vector<int>{42, 79, 203}));
    EXPECT_EQ(Down(s.StateAt(3)), (std::vector<int>{28, 42, 57, 79, 203}));
    EXPECT_EQ(Down(s.StateAt(4)), (std::vector<int>{42, 79, 203}));
    EXPECT_EQ(Down(s.StateAt(5)), (std::vector<int>{}));
    EXPECT_EQ(Down(s.StateAt(7)), (std::vector<int>{201}));
    EXPECT_EQ(Down(s.StateAt(1'000'000'000'000)), (std::vector<int>{}));
    EXPECT_EQ(s.EndRead(), 8u);
}

TEST(KeyScript, EmptyScriptsAndEmptyKeyListsHoldNothing) {
    EXPECT_EQ(Parse("").EndRead(), 0u);
    EXPECT_EQ(Parse("# only a comment\n\n   \n").EndRead(), 0u);
    const KeyScript s = Parse("4:\n");
    EXPECT_EQ(Down(s.StateAt(4)), (std::vector<int>{}));
    EXPECT_EQ(s.EndRead(), 5u);
}

TEST(KeyScript, ReportsEveryKindOfMalformedLineWithItsNumber) {
    const std::pair<const char*, const char*> cases[] = {
        {"Up", "keys.txt:1: expected 'FRAMES: KEYS', found 'Up'"},
        {"# c\n\n1 Up", "keys.txt:3: expected 'FRAMES: KEYS', found '1 Up'"},
        {": Up", "keys.txt:1: missing frame number before ':'"},
        {"x: Up", "keys.txt:1: bad frame number 'x'"},
        {"+3: Up", "keys.txt:1: bad frame number '+3'"},
        {"-3: Up", "keys.txt:1: bad frame range '-3'"},
        {"5-: Up", "keys.txt:1: bad frame range '5-'"},
        {"1-2-3: Up", "keys.txt:1: bad frame range '1-2-3'"},
        {"9-5: Up", "keys.txt:1: range '9-5' ends before it starts"},
        {"4294967296: Up", "keys.txt:1: frame number too large '4294967296'"},
        {"0-99999999999999999999: Up", "keys.txt:1: frame number too large '99999999999999999999'"},
        {"0: Up\n1: Foo", "keys.txt:2: unknown key 'Foo'"},
        {"1: Up,Left", "keys.txt:1: unknown key 'Up,Left'"},
        {"1: 0", "keys.txt:1: key code out of range '0'"},
        {"1: 256", "keys.txt:1: key code out of range '256'"},
        {"1: 99999999999999999999", "keys.txt:1: key code out of range '99999999999999999999'"},
        {"1: -5", "keys.txt:1: unknown key '-5'"},
        {"1: Up\x01\xC3\xA4", "keys.txt:1: unknown key 'Up\\x01\\xC3\\xA4'"},
        {"1: ABCDEFGHIJKLMNOPQRSTUVWXYZABCDEFGHIJKLMNOPQRSTUVWXYZ",
         "keys.txt:1: unknown key 'ABCDEFGHIJKLMNOPQRSTUVWXYZABCDEFGHIJKLMN...'"},
    };
    for (const auto& [text, message] : cases) {
        const KeyScriptResult r = ParseKeyScript(text, "keys.txt");
        EXPECT_FALSE(r.script.has_value()) << text;
        EXPECT_EQ(r.error, message);
    }
}

TEST(KeyScript, LoadsFromAFileAndNamesAFileItCannotRead) {
    test::TempDir dir;
    const std::string text = "0-1: Escape\n";
    test::WriteBytes(dir.path() / "keys.txt", {text.begin(), text.end()});
    const KeyScriptResult good = LoadKeyScript(dir.path() / "keys.txt");
    ASSERT_TRUE(good.script.has_value()) << good.error;
    EXPECT_EQ(Down(good.script->StateAt(1)), (std::vector<int>{1}));

    const KeyScriptResult missing = LoadKeyScript(dir.path() / "none.txt");
    EXPECT_FALSE(missing.script.has_value());
    EXPECT_EQ(missing.error, (dir.path() / "none.txt").string() + ": cannot read the file");
}

TEST(ScriptedKeyboard, ReplaysOneScriptLinePerSuccessfulRead) {
    ScriptedKeyboard kb(Parse("0: A\n2: B\n"));
    KeyStateTable state{};
    EXPECT_EQ(kb.GetDeviceState(256, state.data()), Status::InvalidCall); // no format yet
    EXPECT_EQ(kb.SetDataFormat(kMouseFormat), Status::InvalidCall);
    ASSERT_EQ(kb.SetDataFormat(kKeyboardFormat), Status::Ok);
    EXPECT_EQ(kb.Acquire(), Status::InvalidCall); // no cooperative level yet
    EXPECT_EQ(kb.SetCooperativeLevel(nullptr, kCoopNonExclusive | kCoopForeground), Status::NotAvailable);
    EXPECT_EQ(kb.SetCooperativeLevel(nullptr, kCoopExclusive | kCoopNonExclusive), Status::InvalidCall);
    ASSERT_EQ(kb.SetCooperativeLevel(nullptr, kCoopExclusive | kCoopForeground), Status::Ok);
    EXPECT_EQ(kb.GetDeviceState(256, state.data()), Status::InvalidCall); // not acquired
    ASSERT_EQ(kb.Acquire(), Status::Ok);
    EXPECT_EQ(kb.GetDeviceState(16, state.data()), Status::InvalidCall);
    EXPECT_EQ(kb.reads(), 0u);

    std::vector<std::vector<int>> seen;
    for (int i = 0; i < 4; ++i) {
        ASSERT_EQ(kb.GetDeviceState(256, state.data()), Status::Ok);
        seen.push_back(Down(state));
    }
    EXPECT_EQ(seen, (std::vector<std::vector<int>>{{30}, {}, {48}, {}}));
    ASSERT_EQ(kb.Unacquire(), Status::Ok);
    EXPECT_EQ(kb.GetDeviceState(256, state.data()), Status::InvalidCall);
    EXPECT_EQ(kb.reads(), 4u);
}

TEST(ScriptedInput, OffersAStillMouseAndNoOtherDevice) {
    ScriptedInputFactory factory(KeyScript{});
    std::unique_ptr<InputSystem> system;
    ASSERT_EQ(factory.Create(system), Status::Ok);
    std::unique_ptr<InputDevice> mouse, other;
    EXPECT_EQ(system->CreateDevice("GUID_Joystick", other), Status::NotFound);
    ASSERT_EQ(system->CreateDevice(kSysMouse, mouse), Status::Ok);
    ASSERT_EQ(mouse->SetDataFormat(kMouseFormat), Status::Ok);
    ASSERT_EQ(mouse->SetCooperativeLevel(nullptr, kCoopExclusive | kCoopForeground), Status::Ok);
    ASSERT_EQ(mouse->Acquire(), Status::Ok);
    MouseState m{7, 7, 7, {1, 1, 1, 1}};
    ASSERT_EQ(mouse->GetDeviceState(sizeof m, &m), Status::Ok);
    EXPECT_EQ(m, MouseState{});
}

} // namespace
} // namespace kl::platform

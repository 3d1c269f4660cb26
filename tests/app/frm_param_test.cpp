// The settings dialog without a display: its design texts, filling it from the settings, and its
// keyboard behaviour frame by frame on a bare Dear ImGui context.
#include "app/frm_param.h"

#include <SDL.h>
#include <cstdio>
#include <cstdlib>
#include <gtest/gtest.h>
#include <imgui.h>

namespace kl {
namespace {

TEST(FrmParam, DesignTimeTextsAndCaptions) {
    const frmParam f;
    EXPECT_EQ(f.Caption, "Param\xC3\xA9trage");
    EXPECT_EQ(f.Resolution.Caption, "Resolution \xC3\xA9"
                                    "cran");
    EXPECT_EQ(f.txtResH.Text, "1024");
    EXPECT_EQ(f.txtResV.Text, "768");
    EXPECT_EQ(f.Label1.Caption, "Aspect Ratio :");
    EXPECT_EQ(f.txtaspect_ratio.Text, "0");
    EXPECT_EQ(f.Label4.Caption, "Nombre de Sim");
    EXPECT_EQ(f.nbr_sim.Text, "1");
    EXPECT_EQ(f.cmdOk.Caption, "Valider");
    EXPECT_EQ(f.Label3.Caption, "Resolution Grille V :");
}

TEST(FrmParam, LoadTakesResolutionsAndTheAspectTextAsStored) {
    SettingsRecord s;
    s.ResH = 1280;
    s.ResV = -1; // values are taken as they are
    s.AspectRatio.chars() = {'1', ',', '3', '3', '3', '\0', '\0'};
    frmParam f;
    f.nbr_sim.Text = "4";
    f.Load(s);
    EXPECT_EQ(f.txtResH.Text, "1280");
    EXPECT_EQ(f.txtResV.Text, "-1");
    EXPECT_EQ(f.txtaspect_ratio.Text, "1,333");
    EXPECT_EQ(f.nbr_sim.Text, "4"); // not part of the settings

    s.AspectRatio = " 1,6"; // padded with blanks to seven characters
    f.Load(s);
    EXPECT_EQ(f.txtaspect_ratio.Text, " 1,6");
    s.AspectRatio = "";
    f.Load(s);
    EXPECT_EQ(f.txtaspect_ratio.Text, "");
    s.AspectRatio.chars() = {'\0', '9', '9', ' ', ' ', ' ', ' '};
    f.Load(s);
    EXPECT_EQ(f.txtaspect_ratio.Text, "");
}

// The scene is run with the field's number; a text that is none gives no roads, as it always did.
TEST(FrmParam, RoadCountIsTheFieldsNumberAndNoRoadsForAnythingElse) {
    frmParam f;
    for (const auto& [text, roads] : std::initializer_list<std::pair<const char*, int>>{
             {"4", 4}, {"251", 251}, {"2.5", 2}, {"0", 0}, {"abc", 0}, {"", 0}, {"99999", 0}}) {
        f.nbr_sim.Text = text;
        EXPECT_EQ(f.RoadCount(), roads) << text;
    }
}

TEST(FrmParam, ChecksEveryFieldAndNamesTheFirstWrongOne) {
    frmParam f;
    f.txtResH.Text = "640";
    f.txtResV.Text = " 480 ";
    f.nbr_sim.Text = "251";
    for (const char* right : {"1,333", "1.333", " 1,6", "1.23456789", "16"}) {
        f.txtaspect_ratio.Text = right;
        EXPECT_EQ(f.CheckFields().field, nullptr) << right;
    }
    // The settings keep seven characters: 0.00000001 would be kept as 0,00000.
    for (const char* wrong : {"0", "-2", "abc", "", "4:3", "1,3,3", "1e99", "0.00000001"}) {
        f.txtaspect_ratio.Text = wrong;
        EXPECT_EQ(f.CheckFields().field, &f.txtaspect_ratio) << wrong;
    }
    EXPECT_NE(f.CheckFields().expected.find("1,333 or 1.333"), std::string::npos);
    f.txtaspect_ratio.Text = "1,333";

    const auto first_wrong = [&](TextBox& box, const char* text) {
        const std::string kept = box.Text;
        box.Text = text;
        const TextBox* wrong = f.CheckFields().field;
        box.Text = kept;
        return wrong;
    };
    for (const char* wrong : {"639", "abc", "1024.5", "-1024", "", "1e3", "99999999999"})
        EXPECT_EQ(first_wrong(f.txtResH, wrong), &f.txtResH) << wrong;
    EXPECT_EQ(first_wrong(f.txtResV, "479"), &f.txtResV);
    for (const char* wrong : {"252", "-1", "1.5", "x"})
        EXPECT_EQ(first_wrong(f.nbr_sim, wrong), &f.nbr_sim) << wrong;
    EXPECT_EQ(first_wrong(f.nbr_sim, "0"), nullptr);
}

// Each test runs in a process of its own under ctest, so changing the environment touches no other.
TEST(FrmParam, WithoutADisplayShowFailsWithAReasonAndKeepsItsTexts) {
    unsetenv("DISPLAY");
    unsetenv("WAYLAND_DISPLAY");
    setenv("SDL_VIDEODRIVER", "x11", 1);
    frmParam f;
    f.txtResH.Text = "640";
    std::string error;
    EXPECT_EQ(f.Show(&error), frmParam::ShowResult::Failed);
    EXPECT_NE(error.find("no display"), std::string::npos) << error;
    EXPECT_EQ(f.txtResH.Text, "640");
}

// The offscreen driver needs no X server. The window stands in for the main window, and keeps the
// GL driver loaded to the end of the process: SDL unloads it with the last GL window, and
// LeakSanitizer then takes the driver's own allocations for leaks. Deliberately never destroyed; SDL
// is not shut down either. Null when there is no offscreen OpenGL here.
SDL_Window* offscreen_main_window() {
    setenv("SDL_VIDEODRIVER", "offscreen", 1);
    if (SDL_Init(SDL_INIT_VIDEO) != 0) return nullptr;
    SDL_Window* main_window = SDL_CreateWindow("Kelvane", 0, 0, 8, 8, SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN);
    if (main_window == nullptr || SDL_GL_CreateContext(main_window) == nullptr) return nullptr;
    return main_window;
}

void push_key(SDL_EventType type, SDL_Scancode code, SDL_Keycode sym, Uint16 mod) {
    SDL_Event e{};
    e.type = type;
    e.key.state = type == SDL_KEYDOWN ? SDL_PRESSED : SDL_RELEASED;
    e.key.keysym = {code, sym, mod, 0};
    ASSERT_EQ(SDL_PushEvent(&e), 1);
}

TEST(FrmParam, AQuitRequestWhileShownEndsItAsClosed) {
    // What Ctrl+C in the terminal or the session ending delivers.
    SDL_Window* main_window = offscreen_main_window();
    if (main_window == nullptr) GTEST_SKIP() << "no offscreen OpenGL here: " << SDL_GetError();
    SDL_Event quit{};
    quit.type = SDL_QUIT;
    ASSERT_EQ(SDL_PushEvent(&quit), 1);
    frmParam f;
    std::string error;
    EXPECT_EQ(f.Show(&error), frmParam::ShowResult::Closed) << error;
    // The dialog leaves SDL as it found it, with the main window's context current again.
    EXPECT_EQ(SDL_WasInit(SDL_INIT_VIDEO), static_cast<Uint32>(SDL_INIT_VIDEO));
    EXPECT_EQ(SDL_GL_GetCurrentWindow(), main_window);
}

// Keys read in one go, as a busy machine or a typing script delivers them: Shift is up again by the
// time its Tab is handled, and only the Tab's own event still says Shift was held. Shift+Tab from the
// first field goes back to the last (Nombre de Sim), where 9 is a valid count; a Tab forward would put
// it in the vertical resolution, which refuses it, and the quit request behind would end the dialog.
TEST(FrmParam, ShiftTabReadTogetherWithTheShiftsReleaseStillGoesBack) {
    if (offscreen_main_window() == nullptr) GTEST_SKIP() << "no offscreen OpenGL here: " << SDL_GetError();
    push_key(SDL_KEYDOWN, SDL_SCANCODE_LSHIFT, SDLK_LSHIFT, KMOD_LSHIFT);
    push_key(SDL_KEYDOWN, SDL_SCANCODE_TAB, SDLK_TAB, KMOD_LSHIFT);
    push_key(SDL_KEYUP, SDL_SCANCODE_TAB, SDLK_TAB, KMOD_LSHIFT);
    push_key(SDL_KEYUP, SDL_SCANCODE_LSHIFT, SDLK_LSHIFT, KMOD_NONE);
    SDL_Event text{};
    text.type = SDL_TEXTINPUT;
    std::snprintf(text.text.text, sizeof text.text.text, "9");
    ASSERT_EQ(SDL_PushEvent(&text), 1);
    push_key(SDL_KEYDOWN, SDL_SCANCODE_RETURN, SDLK_RETURN, KMOD_NONE);
    push_key(SDL_KEYUP, SDL_SCANCODE_RETURN, SDLK_RETURN, KMOD_NONE);
    SDL_Event quit{};
    quit.type = SDL_QUIT;
    ASSERT_EQ(SDL_PushEvent(&quit), 1);
    frmParam f;
    f.txtaspect_ratio.Text = "1,6"; // the design's 0 is refused
    std::string error;
    EXPECT_EQ(f.Show(&error), frmParam::ShowResult::Validated) << error;
    EXPECT_EQ(f.nbr_sim.Text, "9");
    EXPECT_EQ(f.txtResV.Text, "768");
}

// A Dear ImGui context with no window behind it; keys are pressed for one frame and released.
class BareDialog : public ::testing::Test {
  protected:
    enum Key { Tab = 1, Enter, KeyPadEnter };

    void SetUp() override {
        context = ImGui::CreateContext();
        ImGuiIO& io = ImGui::GetIO();
        io.IniFilename = nullptr;
        io.DisplaySize = ImVec2(frmParam::kWidth, frmParam::kHeight);
        io.DeltaTime = 1.0f / 60.0f;
        io.KeyMap[ImGuiKey_Tab] = Tab;
        io.KeyMap[ImGuiKey_Enter] = Enter;
        io.KeyMap[ImGuiKey_KeyPadEnter] = KeyPadEnter;
        io.Fonts->AddFontDefault();
        unsigned char* pixels = nullptr;
        int w = 0;
        int h = 0;
        io.Fonts->GetTexDataAsRGBA32(&pixels, &w, &h);
        // The design text "0" is no aspect ratio the dialog accepts; the program always loads one.
        dialog.txtaspect_ratio.Text = "1,333";
    }
    void TearDown() override { ImGui::DestroyContext(context); }

    // One frame; true when the dialog was confirmed in it.
    bool frame() {
        ImGui::NewFrame();
        ImGui::SetNextWindowPos(ImVec2(0, 0));
        ImGui::SetNextWindowSize(ImGui::GetIO().DisplaySize);
        ImGui::Begin("##dialog", nullptr, ImGuiWindowFlags_NoDecoration);
        const bool confirmed = dialog.DrawControls();
        ImGui::End();
        ImGui::Render();
        return confirmed;
    }
    bool press(Key k) {
        ImGuiIO& io = ImGui::GetIO();
        io.KeysDown[k] = true;
        const bool confirmed = frame();
        io.KeysDown[k] = false;
        return frame() || confirmed;
    }
    // The dialog's window shows two frames before it takes input; focus moves in the second.
    void open() {
        EXPECT_FALSE(frame());
        EXPECT_FALSE(frame());
    }
    void type(const char* text) {
        ImGui::GetIO().AddInputCharactersUTF8(text);
        frame();
    }

    ImGuiContext* context = nullptr;
    frmParam dialog;
};

TEST_F(BareDialog, OpensInTheFirstFieldWithItsTextSelected) {
    open();
    type("640");
    EXPECT_EQ(dialog.txtResH.Text, "640");
    EXPECT_EQ(dialog.txtResV.Text, "768");
}

TEST_F(BareDialog, ReturnConfirmsFromAFieldAndFromNowhere) {
    open();
    type("800");
    EXPECT_TRUE(press(Enter));
    EXPECT_EQ(dialog.txtResH.Text, "800");
    // The field has let go of the keyboard; Return still confirms.
    EXPECT_FALSE(ImGui::IsAnyItemActive());
    EXPECT_TRUE(press(Enter));
    EXPECT_TRUE(press(KeyPadEnter));
    // Idle frames and other keys do not.
    EXPECT_FALSE(frame());
    EXPECT_FALSE(press(Tab));
}

} // namespace
} // namespace kl

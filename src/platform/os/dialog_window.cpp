// The modal dialog window over SDL2, an OpenGL 2.1 context and Dear ImGui's SDL2/OpenGL2 back-ends.
// Everything it sets up (video subsystem, GL attributes, current GL and ImGui contexts) is put back
// as it was when the dialog ends, so that the program's main window is not disturbed.
#include "platform/os/dialog_window.h"

#include "platform/os/events.h"

#include <SDL.h>
#include <SDL_opengl.h>
#include <backends/imgui_impl_opengl2.h>
#include <backends/imgui_impl_sdl.h>
#include <fontconfig/fontconfig.h>
#include <imgui.h>
#include <memory>
#include <optional>
#include <string>

namespace kl::platform {
namespace {

constexpr float kFontPixels = 16.0f;

// The file of a regular sans-serif face, or nothing. Liberation Sans is asked for by name because it
// is the one the install script provides; fontconfig substitutes the nearest face when it is missing.
std::optional<std::string> find_dialog_font() {
    FcConfig* config = FcInitLoadConfigAndFonts();
    if (config == nullptr) return std::nullopt;
    std::optional<std::string> file;
    FcPattern* pattern = FcNameParse(reinterpret_cast<const FcChar8*>("Liberation Sans:style=Regular"));
    if (pattern != nullptr) {
        FcConfigSubstitute(config, pattern, FcMatchPattern);
        FcDefaultSubstitute(pattern);
        FcResult result = FcResultNoMatch;
        FcPattern* match = FcFontMatch(config, pattern, &result);
        FcChar8* path = nullptr;
        if (match != nullptr && FcPatternGetString(match, FC_FILE, 0, &path) == FcResultMatch) {
            const std::string p(reinterpret_cast<const char*>(path));
            // ImGui's rasteriser reads TrueType and OpenType outlines only.
            if (p.size() > 4 && (p.ends_with(".ttf") || p.ends_with(".otf") || p.ends_with(".TTF"))) file = p;
        }
        if (match != nullptr) FcPatternDestroy(match);
        FcPatternDestroy(pattern);
    }
    FcConfigDestroy(config);
    return file;
}

void load_fonts(ImGuiIO& io) {
    // The captions need Latin-1 ("é"); the default range is Basic Latin plus Latin-1 Supplement.
    const ImWchar* latin1 = io.Fonts->GetGlyphRangesDefault();
    if (const auto file = find_dialog_font()) {
        if (io.Fonts->AddFontFromFileTTF(file->c_str(), kFontPixels, nullptr, latin1) != nullptr) return;
    }
    // The built-in font covers the same range, in a smaller bitmap style.
    io.Fonts->AddFontDefault();
}

// Restores the caller's GL context and ImGui context, and releases what the dialog made, in reverse
// order of creation, whichever step failed.
class DialogResources {
  public:
    DialogResources()
        : previous_gl_window_(SDL_GL_GetCurrentWindow()), previous_gl_(SDL_GL_GetCurrentContext()),
          previous_imgui_(ImGui::GetCurrentContext()) {}
    DialogResources(const DialogResources&) = delete;
    DialogResources& operator=(const DialogResources&) = delete;

    ~DialogResources() {
        if (opengl_backend_) ImGui_ImplOpenGL2_Shutdown();
        if (sdl_backend_) ImGui_ImplSDL2_Shutdown();
        if (imgui_ != nullptr) ImGui::DestroyContext(imgui_);
        ImGui::SetCurrentContext(previous_imgui_);
        if (gl_ != nullptr) SDL_GL_DeleteContext(gl_);
        if (window_ != nullptr) SDL_DestroyWindow(window_);
        if (previous_gl_ != nullptr) SDL_GL_MakeCurrent(previous_gl_window_, previous_gl_);
        if (video_) SDL_QuitSubSystem(SDL_INIT_VIDEO);
    }

    std::string create(const DialogLook& look) {
        if (!StartSdlSubsystems(SDL_INIT_VIDEO)) return std::string("no display: ") + SDL_GetError();
        video_ = true;

        SDL_GL_ResetAttributes();
        SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 2);
        SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 1);
        SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
        window_ = SDL_CreateWindow(look.caption.c_str(), SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED,
                                   look.width, look.height, SDL_WINDOW_OPENGL | SDL_WINDOW_SHOWN);
        if (window_ == nullptr) return std::string("cannot create the dialog window: ") + SDL_GetError();
        gl_ = SDL_GL_CreateContext(window_);
        // Whatever the main window asks for later starts from SDL's defaults, not from ours.
        SDL_GL_ResetAttributes();
        if (gl_ == nullptr)
            return std::string("cannot create the dialog's OpenGL context: ") + SDL_GetError();
        SDL_GL_MakeCurrent(window_, gl_);
        SDL_GL_SetSwapInterval(1); // refused by some X servers; drawing only on events keeps it cheap anyway

        IMGUI_CHECKVERSION();
        imgui_ = ImGui::CreateContext();
        ImGui::SetCurrentContext(imgui_);
        ImGuiIO& io = ImGui::GetIO();
        io.IniFilename = nullptr;
        io.LogFilename = nullptr;
        load_fonts(io);
        ImGui::StyleColorsLight();
        ImGui::GetStyle().WindowRounding = 0.0f;
        ImGui::GetStyle().FrameBorderSize = 1.0f; // fields stand out from the light background

        sdl_backend_ = ImGui_ImplSDL2_InitForOpenGL(window_, gl_);
        if (!sdl_backend_) return "cannot start the dialog's input back-end";
        opengl_backend_ = ImGui_ImplOpenGL2_Init();
        if (!opengl_backend_) return "cannot start the dialog's drawing back-end";

        // Without a window manager nothing gives a new window the keyboard; a dialog takes it.
        SDL_RaiseWindow(window_);
        return "";
    }

    SDL_Window* window() const { return window_; }

  private:
    SDL_Window* previous_gl_window_;
    SDL_GLContext previous_gl_;
    ImGuiContext* previous_imgui_;
    bool video_ = false;
    SDL_Window* window_ = nullptr;
    SDL_GLContext gl_ = nullptr;
    ImGuiContext* imgui_ = nullptr;
    bool sdl_backend_ = false;
    bool opengl_backend_ = false;
};

// One frame: the caller's controls in an undecorated ImGui window that fills the dialog.
bool draw_frame(SDL_Window* window, const DialogDraw& draw) {
    ImGui_ImplOpenGL2_NewFrame();
    ImGui_ImplSDL2_NewFrame();
    ImGui::NewFrame();
    ImGui::SetNextWindowPos(ImVec2(0, 0));
    ImGui::SetNextWindowSize(ImGui::GetIO().DisplaySize);
    ImGui::Begin("##dialog", nullptr,
                 ImGuiWindowFlags_NoDecoration | ImGuiWindowFlags_NoMove | ImGuiWindowFlags_NoSavedSettings |
                     ImGuiWindowFlags_NoBringToFrontOnFocus);
    const bool accepted = draw();
    ImGui::End();
    ImGui::Render();

    int w = 0;
    int h = 0;
    SDL_GL_GetDrawableSize(window, &w, &h);
    glViewport(0, 0, w, h);
    const ImVec4 bg = ImGui::GetStyle().Colors[ImGuiCol_WindowBg];
    glClearColor(bg.x, bg.y, bg.z, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    ImGui_ImplOpenGL2_RenderDrawData(ImGui::GetDrawData());
    SDL_GL_SwapWindow(window);
    return accepted;
}

bool is_close_request(const SDL_Event& e, SDL_Window* window) {
    if (e.type == SDL_QUIT) return true;
    return e.type == SDL_WINDOWEVENT && e.window.event == SDL_WINDOWEVENT_CLOSE &&
           e.window.windowID == SDL_GetWindowID(window);
}

// The window an input event belongs to, 0 for events that belong to none.
Uint32 event_window_id(const SDL_Event& e) {
    switch (e.type) {
    case SDL_KEYDOWN:
    case SDL_KEYUP:
        return e.key.windowID;
    case SDL_TEXTINPUT:
        return e.text.windowID;
    case SDL_TEXTEDITING:
        return e.edit.windowID;
    case SDL_MOUSEMOTION:
        return e.motion.windowID;
    case SDL_MOUSEBUTTONDOWN:
    case SDL_MOUSEBUTTONUP:
        return e.button.windowID;
    case SDL_MOUSEWHEEL:
        return e.wheel.windowID;
    case SDL_WINDOWEVENT:
        return e.window.windowID;
    default:
        return 0;
    }
}

// Events that change what ImGui sees from one frame to the next; each needs a frame before the
// next one is handed over, or a press and release within one frame would cancel out.
bool needs_own_frame(const SDL_Event& e) {
    switch (e.type) {
    case SDL_KEYDOWN:
    case SDL_KEYUP:
    case SDL_TEXTINPUT:
    case SDL_MOUSEBUTTONDOWN:
    case SDL_MOUSEBUTTONUP:
    case SDL_MOUSEWHEEL:
        return true;
    default:
        return false;
    }
}

// The next event within `ms` milliseconds, or false. Not SDL_WaitEventTimeout: on X11, for every
// event that arrives while it waits (each key typed), it sends an event of its own to the window over
// a second connection to the X server. Return closes the dialog and its window at once, and a busy
// server may take the last of those events after the window is gone. Its answer is a BadWindow error
// on that connection, which Xlib reports, when SDL closes the connection at the latest, by ending the
// program with status 1 after a run that went well. Polling sends nothing, and a hundredth of a
// second is quicker than anyone types; the keys read in one go keep their modifiers (below).
bool next_event(SDL_Event& e, Uint32 ms) {
    const Uint64 end = SDL_GetTicks64() + ms;
    for (;;) {
        if (SDL_PollEvent(&e) != 0) return true;
        if (SDL_GetTicks64() >= end) return false;
        SDL_Delay(10);
    }
}

// ImGui's SDL back-end takes Shift, Ctrl, Alt and the logo key from SDL's keyboard state, which is
// the state after every event read so far. Events read together (a busy machine, or the typing of a
// script) would then lose them: Shift+Tab's Shift is up again before its Tab is handled, and the Tab
// goes forward. Each key event carries the modifiers held when it happened.
void take_modifiers_of(const SDL_KeyboardEvent& key) {
    ImGuiIO& io = ImGui::GetIO();
    io.KeyShift = (key.keysym.mod & KMOD_SHIFT) != 0;
    io.KeyCtrl = (key.keysym.mod & KMOD_CTRL) != 0;
    io.KeyAlt = (key.keysym.mod & KMOD_ALT) != 0;
    io.KeySuper = (key.keysym.mod & KMOD_GUI) != 0;
}

} // namespace

DialogOutcome RunModalDialog(const DialogLook& look, const DialogDraw& draw) {
    DialogResources dialog;
    if (std::string error = dialog.create(look); !error.empty()) return {DialogEnd::Failed, std::move(error)};
    SDL_Window* window = dialog.window();

    // Two frames before any input: ImGui sizes its items in the first one.
    for (int i = 0; i < 2; ++i)
        if (draw_frame(window, draw)) return {DialogEnd::Accepted, ""};

    for (;;) {
        SDL_Event e;
        // Waking now and then keeps the text cursor blinking; the dialog is idle otherwise.
        if (next_event(e, 250)) {
            do {
                if (is_close_request(e, window)) return {DialogEnd::Closed, ""};
                // Like a modal dialog on any desktop, this one takes no input meant for the main window.
                const Uint32 id = event_window_id(e);
                if (id != 0 && id != SDL_GetWindowID(window)) continue;
                ImGui_ImplSDL2_ProcessEvent(&e);
                if (e.type == SDL_KEYDOWN || e.type == SDL_KEYUP) take_modifiers_of(e.key);
                if (needs_own_frame(e)) break;
            } while (SDL_PollEvent(&e) != 0);
        }
        if (draw_frame(window, draw)) return {DialogEnd::Accepted, ""};
    }
}

} // namespace kl::platform

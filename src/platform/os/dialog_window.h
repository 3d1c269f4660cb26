// A small fixed-size dialog window of its own (SDL window, OpenGL context, Dear ImGui) shown
// modally: the caller's draw function lays out the controls with Dear ImGui once per frame.
#pragma once

#include <functional>
#include <string>

namespace kl::platform {

enum class DialogEnd {
    Accepted, // the draw function reported that the dialog is done
    Closed,   // the user closed the window (window manager, or the process was asked to quit)
    Failed,   // no window could be made; the reason is in DialogOutcome::error
};

struct DialogOutcome {
    DialogEnd end = DialogEnd::Failed;
    std::string error;
};

struct DialogLook {
    std::string caption; // UTF-8
    int width = 360;     // client area in pixels; the window cannot be resized
    int height = 220;
};

// Called once per frame between ImGui::NewFrame and ImGui::Render, inside an ImGui window that fills
// the dialog. Returns true when the dialog should end as accepted.
using DialogDraw = std::function<bool()>;

// Shows the window, runs frames until the draw function accepts or the user closes the window, then
// destroys it. Blocks the caller. Every input event gets a frame of its own, so that keys typed
// faster than frames are drawn (scripted input, for one) arrive in order and none is lost.
DialogOutcome RunModalDialog(const DialogLook& look, const DialogDraw& draw);

} // namespace kl::platform

// The program's main procedure: settings file, settings dialog, engine and input, bring-up, the
// scene, and the settings written back at the end of a normal run.
#pragma once

#include "app/options.h"
#include "platform/os/window_handle.h"

namespace kl::mdlKl {

// Runs the program in the main window hWnd with the given options; returns when the program ends.
void RunProgram(const Options& options, platform::WindowHandle hWnd);

} // namespace kl::mdlKl

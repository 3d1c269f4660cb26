// The program's main procedure: settings file, settings dialog, engine and input, bring-up, the
// scene, and the settings written back at the end of a normal run.
#pragma once

#include "app/options.h"
#include "platform/input/key_script.h"
#include "platform/os/window_handle.h"
#include "scene/scene_observer.h"

#include <optional>

namespace kl::mdlKl {

// Exit statuses: a normal end (the quit prompt, a close request, --frames reached, the settings
// dialog closed); a start that failed or a run that could not go on, always said in a box or on
// stderr; a bad command line.
inline constexpr int kExitNormal = 0;
inline constexpr int kExitFailed = 1;
inline constexpr int kExitBadCommandLine = 2;

// Runs the program in the main window hWnd with the given options; returns the exit status when the
// program ends. keys, when given, replaces the keyboard (it is read before the window opens, so that
// a bad key file is refused at once); observer, when given, watches the scene.
int RunProgram(const Options& options, std::optional<platform::KeyScript> keys, platform::WindowHandle hWnd,
               scene::SceneObserver* observer = nullptr);

// Experiments: the traffic alone (--headless), with no window, display, device or input: the
// settings and the parameter files are read, the traffic runs --frames steps of --fixed-step (both
// required) as fast as it steps, observer watches it, and the settings file is left as it was.
int RunProgramHeadless(const Options& options, scene::SceneObserver* observer = nullptr);

} // namespace kl::mdlKl

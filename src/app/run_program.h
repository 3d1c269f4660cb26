// The program's main procedure: settings file, settings dialog, engine and input, bring-up, the
// scene, and the settings written back at the end of a normal run.
#pragma once

#include <optional>

#include "app/options.h"
#include "platform/input/key_script.h"
#include "platform/os/window_handle.h"
#include "scene/scene_observer.h"

namespace kl::mdlKl {

// Runs the program in the main window hWnd with the given options; returns when the program ends.
// keys, when given, replaces the keyboard (it is read before the window opens, so that a bad key
// file is refused at once); observer, when given, watches the scene.
void RunProgram(const Options& options, std::optional<platform::KeyScript> keys, platform::WindowHandle hWnd,
                scene::SceneObserver* observer = nullptr);

} // namespace kl::mdlKl

// Keyboard and mouse of the program's window over SDL. Acquiring needs the window to have the
// keyboard focus; losing the focus takes the devices away until they are acquired again.
#pragma once

#include "platform/input/input_device.h"

namespace kl::platform {

// The factory the program uses by default. Devices read their state from SDL's events, which they
// watch; every read first lets SDL fetch what the window system has queued.
InputFactory& SdlInputFactory();

} // namespace kl::platform

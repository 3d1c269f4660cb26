// The handle by which the program's parts name its one window; an SDL window underneath. Only
// platform code looks inside it.
#pragma once

struct SDL_Window;

namespace kl::platform {

using WindowHandle = ::SDL_Window*;

} // namespace kl::platform

// A PNG of what the engine's device has drawn, read from the back buffer before it is shown.
#pragma once

#include <filesystem>
#include <string>

namespace kl {

// Empty on success, else what went wrong.
std::string SaveScreenshot(const std::filesystem::path& file, int width, int height);

} // namespace kl

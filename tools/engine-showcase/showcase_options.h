// Command-line options of the engine showcase.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace kl::showcase {

struct Options {
    // --help: print the usage and do nothing else.
    bool help = false;
    // --version: print the name and the project's version and do nothing else.
    bool version = false;
    int width = 800, height = 600;
    // 0 runs until the window is closed.
    std::int64_t frames = 0;
    std::string screenshot;
    // SetFog's density (thousandths of a unit); 0 draws without fog.
    float fog = 0.0f;
    // Where the generated data directory is looked for; its textures are optional.
    std::string data_dir;
};

// Nothing, with the reason in *error, for an unknown option, a missing value, a number out of range or
// a file or folder name that reads as an option.
extern const char* const kUsage;

std::optional<Options> ParseOptions(const std::vector<std::string>& args, std::string* error);

} // namespace kl::showcase

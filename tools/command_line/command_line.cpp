// Shared refusal lines of the tools' command lines.
#include "command_line.h"

#include "kl_version.h"

#include <charconv>
#include <cstdio>

namespace kl::tools {

bool IsHelpOption(std::string_view arg) {
    return arg == "--help" || arg == "-h";
}

bool IsVersionOption(std::string_view arg) {
    return arg == "--version";
}

int PrintVersion(std::string_view tool) {
    std::printf("%.*s (%s) %s\n", static_cast<int>(tool.size()), tool.data(), kProjectName, kVersion);
    return 0;
}

bool LooksLikeOption(std::string_view arg) {
    return arg.size() > 1 && arg[0] == '-';
}

int RefuseCommandLine(std::string_view tool, std::string_view what) {
    std::fprintf(stderr, "%.*s: %.*s (see --help)\n", static_cast<int>(tool.size()), tool.data(),
                 static_cast<int>(what.size()), what.data());
    return kBadCommandLine;
}

std::string UnwantedArgument(std::string_view arg) {
    return (LooksLikeOption(arg) ? "unknown option '" : "unexpected argument '") + std::string(arg) + "'";
}

int RefuseArgument(std::string_view tool, std::string_view arg) {
    return RefuseCommandLine(tool, UnwantedArgument(arg));
}

bool ParseCount(std::string_view text, long min, long max, long* out) {
    long value = 0;
    const char* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, value);
    if (ec != std::errc{} || ptr != end || value < min || value > max) return false;
    *out = value;
    return true;
}

std::optional<std::string> OneFolderArgument(std::string_view tool, const char* usage, int argc, char** argv,
                                             int* status) {
    std::optional<std::string> folder;
    bool options_ended = false;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (!options_ended && arg == "--") {
            options_ended = true;
        } else if (!options_ended && IsHelpOption(arg)) {
            std::fputs(usage, stdout);
            *status = 0;
            return std::nullopt;
        } else if (!options_ended && IsVersionOption(arg)) {
            *status = PrintVersion(tool);
            return std::nullopt;
        } else if ((!options_ended && LooksLikeOption(arg)) || folder) {
            *status = RefuseArgument(tool, arg);
            return std::nullopt;
        } else {
            folder = std::string(arg);
        }
    }
    if (!folder) *status = RefuseCommandLine(tool, "no folder given");
    return folder;
}

} // namespace kl::tools

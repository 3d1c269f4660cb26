// What every tool does with its command line, after the program's own parser: --help (or -h) prints
// the usage and ends with 0, --version the project's version; anything else that reads as an option is
// refused with status 2 and one line pointing at --help, so a mistyped option never becomes a file or folder
// name.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace kl::tools {

inline constexpr int kBadCommandLine = 2;

bool IsHelpOption(std::string_view arg);

bool IsVersionOption(std::string_view arg);

// Writes "TOOL (Kelvane 3D) VERSION" to stdout, the project's version; returns the exit status 0.
int PrintVersion(std::string_view tool);

// "-x" and "--x", but not "-" alone (a file name by convention) and not "".
bool LooksLikeOption(std::string_view arg);

// Writes "TOOL: WHAT (see --help)" to stderr and returns kBadCommandLine.
int RefuseCommandLine(std::string_view tool, std::string_view what);

// What is wrong with an argument no option asked for: "unknown option 'ARG'" or
// "unexpected argument 'ARG'".
std::string UnwantedArgument(std::string_view arg);

// RefuseCommandLine with UnwantedArgument(ARG).
int RefuseArgument(std::string_view tool, std::string_view arg);

// A whole decimal number from MIN to MAX, nothing else (atoi would take "12abc" and "" as numbers).
bool ParseCount(std::string_view text, long min, long max, long* out);

// For a tool whose only argument is a folder: that folder, or nothing when the tool should end now
// with *status (0 after printing USAGE for --help, 2 after a refusal).
std::optional<std::string> OneFolderArgument(std::string_view tool, const char* usage, int argc, char** argv,
                                             int* status);

} // namespace kl::tools

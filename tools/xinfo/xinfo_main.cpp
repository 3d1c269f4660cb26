// xinfo FILE...: one summary line per .x file; exit status 0 when every file loaded, 1 otherwise.
#include "command_line.h"
#include "platform/d3dx/xfile/xfile_reader.h"
#include "xinfo/xinfo_line.h"

#include <cstdio>
#include <string>
#include <vector>

namespace {

constexpr const char* kUsage =
    "Usage: xinfo [--] FILE...\n"
    "Reads each .x mesh file the way the program loads meshes and prints one line per file: its\n"
    "vertex, face and material counts, texture names and bounds, or why it could not be read.\n\n"
    "  --help    show this text and exit (also -h)\n"
    "  --version show the name and version and exit\n"
    "  --        ends the options (for a FILE starting with '-')\n\n"
    "Exit status: 0 when every file was read, 1 when one was not, 2 for a bad command line.\n";

} // namespace

int main(int argc, char** argv) {
    std::vector<std::string> files;
    bool options_ended = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (!options_ended && arg == "--") {
            options_ended = true;
        } else if (!options_ended && kl::tools::IsHelpOption(arg)) {
            std::fputs(kUsage, stdout);
            return 0;
        } else if (!options_ended && kl::tools::IsVersionOption(arg)) {
            return kl::tools::PrintVersion("xinfo");
        } else if (!options_ended && kl::tools::LooksLikeOption(arg)) {
            return kl::tools::RefuseArgument("xinfo", arg);
        } else {
            files.push_back(arg);
        }
    }
    if (files.empty()) return kl::tools::RefuseCommandLine("xinfo", "no file given");
    int status = 0;
    for (const std::string& file : files) {
        const auto result = kl::platform::ReadXFileFromPath(file);
        if (!result.mesh) status = 1;
        std::printf("%s\n", kl::tools::XInfoLine(file, result).c_str());
    }
    return status;
}

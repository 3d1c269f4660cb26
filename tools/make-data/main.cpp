// make-data OUTDIR: writes the program's data directory OUTDIR/3z-idaveva/ from nothing but this
// code (with --icons, the desktop icons instead). The same bytes come out on every run.
#include "command_line.h"
#include "data_set.h"
#include "icon.h"

#include <chrono>
#include <cstdio>
#include <exception>
#include <string>

namespace {

constexpr const char* kUsage =
    "Usage: make-data [--icons] OUTDIR\n"
    "Writes the program's data directory OUTDIR/3z-idaveva/ (textures, meshes, default.dat),\n"
    "the same bytes on every run.\n\n"
    "  --icons   write the desktop icons OUTDIR/kelvane3d-SIZE.png (48, 128, 256) instead\n"
    "  --help    show this text and exit (also -h)\n"
    "  --version show the name and version and exit\n"
    "  --        ends the options (for an OUTDIR starting with '-')\n\n"
    "Exit status: 0 when written, 1 when a file could not be written, 2 for a bad command line.\n";

int bad_command_line(const std::string& what) {
    return kl::tools::RefuseCommandLine("make-data", what);
}

} // namespace

int main(int argc, char** argv) {
    bool icons = false;
    bool options_ended = false;
    std::string out_dir;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (!options_ended && arg == "--") {
            options_ended = true;
        } else if (!options_ended && kl::tools::IsHelpOption(arg)) {
            std::fputs(kUsage, stdout);
            return 0;
        } else if (!options_ended && kl::tools::IsVersionOption(arg)) {
            return kl::tools::PrintVersion("make-data");
        } else if (!options_ended && arg == "--icons") {
            icons = true;
        } else if (!options_ended && kl::tools::LooksLikeOption(arg)) {
            return kl::tools::RefuseArgument("make-data", arg);
        } else if (out_dir.empty()) {
            out_dir = arg;
        } else {
            return bad_command_line("one output folder only");
        }
    }
    if (out_dir.empty()) return bad_command_line("no output folder given");
    try {
        const auto start = std::chrono::steady_clock::now();
        const auto files = icons ? kl::data::build_icons() : kl::data::build_data_set();
        const std::string error =
            icons ? kl::data::write_files(out_dir, files) : kl::data::write_data_set(out_dir, files);
        if (!error.empty()) {
            std::fprintf(stderr, "make-data: %s\n", error.c_str());
            return 1;
        }
        std::size_t bytes = 0;
        for (const auto& f : files)
            bytes += f.bytes.size();
        const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
        std::printf("make-data: %zu files, %zu bytes in %s%s (%.2f s)\n", files.size(), bytes,
                    out_dir.c_str(), icons ? "" : (std::string("/") + kl::data::kDataFolder).c_str(),
                    took.count());
        return 0;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "make-data: %s\n", e.what());
        return 1;
    }
}

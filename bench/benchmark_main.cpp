// main() of the Google Benchmark programs: the library's flags and its --help, and, as with every
// tool here, anything it does not know refused with status 2 and one line pointing at --help (the
// library's stock main ends such a run with 1).
#include "command_line.h"

#include <benchmark/benchmark.h>
#include <filesystem>
#include <string_view>

int main(int argc, char** argv) {
    static char help[] = "--help";
    for (int i = 1; i < argc; ++i) {
        if (std::string_view(argv[i]) == "-h") argv[i] = help;
        if (kl::tools::IsVersionOption(argv[i]))
            return kl::tools::PrintVersion(std::filesystem::path(argv[0]).filename().string());
    }
    // Prints the library's usage and ends the program with 0 on --help.
    benchmark::Initialize(&argc, argv);
    if (argc > 1)
        return kl::tools::RefuseArgument(std::filesystem::path(argv[0]).filename().string(), argv[1]);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

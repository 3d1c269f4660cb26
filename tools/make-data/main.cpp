// make-data OUTDIR: writes the program's data directory OUTDIR/3z-idaveva/ from nothing but this
// code. The same bytes come out on every run.
#include "data_set.h"

#include <chrono>
#include <cstdio>
#include <exception>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make-data OUTDIR   (writes OUTDIR/3z-idaveva/)\n");
        return 2;
    }
    try {
        const auto start = std::chrono::steady_clock::now();
        const auto files = kl::data::build_data_set();
        const std::string error = kl::data::write_data_set(argv[1], files);
        if (!error.empty()) {
            std::fprintf(stderr, "make-data: %s\n", error.c_str());
            return 1;
        }
        std::size_t bytes = 0;
        for (const auto& f : files)
            bytes += f.bytes.size();
        const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
        std::printf("make-data: %zu files, %zu bytes in %s/%s (%.2f s)\n", files.size(), bytes, argv[1],
                    kl::data::kDataFolder, took.count());
        return 0;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "make-data: %s\n", e.what());
        return 1;
    }
}

// xinfo FILE...: one summary line per .x file; exit status 0 when every file loaded, 1 otherwise.
#include "platform/d3dx/xfile/xfile_reader.h"
#include "xinfo/xinfo_line.h"

#include <cstdio>

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: xinfo FILE...\n");
        return 1;
    }
    int status = 0;
    for (int i = 1; i < argc; ++i) {
        const auto result = kl::platform::ReadXFileFromPath(argv[i]);
        if (!result.mesh) status = 1;
        std::printf("%s\n", kl::tools::XInfoLine(argv[i], result).c_str());
    }
    return status;
}

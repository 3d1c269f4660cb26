// The once-per-file record of data files that could not be loaded.
#include "platform/os/data_file_report.h"

#include <cstdio>
#include <set>

namespace kl::platform {

void ReportUnloadableFile(const std::string& file, const std::string& reason) {
    static std::set<std::string> reported;
    if (!reported.insert(file).second) return;
    std::fprintf(stderr, "kelvane3d: cannot load %s: %s\n", file.c_str(), reason.c_str());
}

} // namespace kl::platform

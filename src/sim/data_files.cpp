// The data root of the run.
#include "sim/data_files.h"

#include "platform/os/files.h"

namespace kl {

namespace {
std::filesystem::path& root() {
    static std::filesystem::path r = ".";
    return r;
}
} // namespace

void SetDataRoot(const std::filesystem::path& path) { root() = path; }
const std::filesystem::path& DataRoot() { return root(); }

std::string DataFilePath(const std::string& Name) {
    return platform::ResolvePath(root(), "3z-idaveva\\" + Name).string();
}

} // namespace kl

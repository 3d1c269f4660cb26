// The data root of the run and the settings file that goes with it.
#include "sim/data_files.h"

#include "engine/settings_record.h"
#include "platform/os/files.h"

namespace kl {

namespace {
std::filesystem::path& root() {
    static std::filesystem::path r = ".";
    return r;
}
std::optional<std::filesystem::path>& user_config() {
    static std::optional<std::filesystem::path> f;
    return f;
}
} // namespace

void SetDataRoot(const std::filesystem::path& path) {
    root() = path;
}
const std::filesystem::path& DataRoot() {
    return root();
}

std::string DataFilePath(const std::string& Name) {
    return platform::ResolvePath(root(), "3z-idaveva\\" + Name).string();
}

void SetUserConfigFile(std::optional<std::filesystem::path> file) {
    user_config() = std::move(file);
}
std::filesystem::path ConfigFile() {
    return user_config() ? *user_config() : ConfigFileBelow(root());
}
bool ConfigFileIsUsers() {
    return user_config().has_value();
}

} // namespace kl

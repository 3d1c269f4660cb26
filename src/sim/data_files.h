// Where the program's data files are: the folder that holds 3z-idaveva/ (the current folder unless
// the program is told otherwise), with names looked up whatever their letter case; and where the
// user's settings are kept.
#pragma once

#include <filesystem>
#include <optional>
#include <string>

namespace kl {

void SetDataRoot(const std::filesystem::path& root);
const std::filesystem::path& DataRoot();
// The path of 3z-idaveva\Name below the data root.
std::string DataFilePath(const std::string& Name);

// A settings file of the user's own instead of config.dat below the data root, for data that is
// shared and not the user's to write (the installed copy); nothing to go back to config.dat.
void SetUserConfigFile(std::optional<std::filesystem::path> file);
// The settings file read first and written at the end of a run.
std::filesystem::path ConfigFile();
// True when ConfigFile() is the user's own file, whose folder is made when it is missing.
bool ConfigFileIsUsers();

} // namespace kl

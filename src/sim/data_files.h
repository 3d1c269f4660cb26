// Where the program's data files are: the folder that holds 3z-idaveva/ (the current folder unless
// the program is told otherwise), with names looked up whatever their letter case.
#pragma once

#include <filesystem>
#include <string>

namespace kl {

void SetDataRoot(const std::filesystem::path& root);
const std::filesystem::path& DataRoot();
// The path of 3z-idaveva\Name below the data root.
std::string DataFilePath(const std::string& Name);

} // namespace kl

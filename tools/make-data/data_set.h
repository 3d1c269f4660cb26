// The whole data directory as named byte blocks, and writing it to disk.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace kl::data {

constexpr const char* kDataFolder = "3z-idaveva";

struct DataFile {
    std::string name;
    std::vector<std::uint8_t> bytes;
};

constexpr const char* kSettingsFile = "default.dat";

// default.dat, the 118 textures in texture-table order, then the meshes.
std::vector<std::string> data_file_names();
// The files of data_file_names(), in that order.
std::vector<DataFile> build_data_set();

// Writes every file into root/3z-idaveva/, creating the folder. Returns an error text, empty on
// success.
std::string write_data_set(const std::filesystem::path& root, const std::vector<DataFile>& files);
// The same straight into folder.
std::string write_files(const std::filesystem::path& folder, const std::vector<DataFile>& files);

} // namespace kl::data

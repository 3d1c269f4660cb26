// The file the parameter panel saves the car-following model's parameters to, read back at start.
#pragma once

#include "traffic/idm.h"

#include <filesystem>
#include <string>

namespace kl {

// Reads what it can of the file into P, which keeps its values for the rest. Returns one line saying
// what could not be read, empty when all was read or the file is missing.
std::string LoadTrafficParameters(const std::filesystem::path& file, IdmParameters& P);

// Writes P to the file whole (its folder made when missing); returns why it could not, empty on success.
std::string SaveTrafficParameters(const std::filesystem::path& file, const IdmParameters& P);

} // namespace kl

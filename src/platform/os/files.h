// Files as the program sees them: paths written with "\" or "/", names matched without regard to
// letter case (the data names mix cases), binary reads and a crash-safe rewrite of a file's start.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace kl::platform {

// Resolves a relative path below root, component by component: an exact name wins, otherwise the
// first entry that differs only in letter case. Components that do not exist are kept as written,
// so the result also names files still to be created.
std::filesystem::path ResolvePath(const std::filesystem::path& root, const std::string& relative);

bool FileExists(const std::filesystem::path& path);

// At most max_bytes from the start of the file; nothing when it cannot be opened or read.
std::optional<std::vector<std::uint8_t>> ReadFileBytes(const std::filesystem::path& path,
                                                       std::size_t max_bytes);

// Replaces the first bytes of the file with prefix and keeps whatever followed them. The new
// content goes to a temporary file in the same folder that is flushed and renamed over the old one,
// so a crash or a full disk never leaves a shortened or half-written file. A write-protected file is
// left as it is. Returns an error text, empty on success.
std::string OverwriteFileStart(const std::filesystem::path& path, const std::vector<std::uint8_t>& prefix);

// The file becomes content, whole, in the same crash-safe way; its folder is made when missing. A
// write-protected file is left as it is. Returns an error text, empty on success.
std::string WriteWholeFile(const std::filesystem::path& path, const std::string& content);

} // namespace kl::platform

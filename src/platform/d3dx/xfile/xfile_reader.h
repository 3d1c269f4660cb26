// Our reader for DirectX .x mesh files: text, binary and compressed (tzip, bzip), versions 0302 and
// 0303, 32- and 64-bit floats. It yields one merged mesh with the file's materials, or a reason.
// A mesh needing more than kMaxMeshVertices vertices is refused here, so callers need not check.
#pragma once

#include "platform/d3dx/xfile/mesh_data.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>

namespace kl::platform {

struct XFileResult {
    std::optional<MeshData> mesh; // set on success
    std::string error;            // the reason, set on failure
};

// Never throws, never reads outside bytes, and reserves memory only for counts the data can hold.
XFileResult ReadXFile(std::span<const std::uint8_t> bytes);

// Files larger than this are refused without being read.
inline constexpr std::size_t kMaxXFileBytes = 256u << 20;

// The path is used as given; finding it without regard to letter case is the caller's business.
XFileResult ReadXFileFromPath(const std::filesystem::path& path);

} // namespace kl::platform

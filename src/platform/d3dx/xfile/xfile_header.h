// The fixed 16-byte header of a .x file: magic, version, encoding and float size.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace kl::platform::xfile {

inline constexpr std::size_t kHeaderBytes = 16;

struct XFileHeader {
    bool binary = false;     // "bin " / "bzip" rather than "txt " / "tzip"
    bool compressed = false; // "tzip" / "bzip"
    std::size_t float_bytes = 4;
};

// Throws XFileError with the reason when the header is missing or not one we read.
XFileHeader ParseHeader(std::span<const std::uint8_t> file);

} // namespace kl::platform::xfile

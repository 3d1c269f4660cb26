// The compressed body of "tzip" and "bzip" .x files: a 32-bit uncompressed size, then MSZIP blocks
// (16-bit uncompressed size, 16-bit compressed size, "CK", raw deflate data), each inflated with the
// last 32 KB of output before it as preset dictionary.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace kl::platform::xfile {

// The most a compressed file may inflate to; far above any mesh of 65535 vertices in text form.
inline constexpr std::size_t kMaxInflatedBytes = 64u << 20;

// body: the bytes after the 16-byte header. Throws XFileError on corrupt or inconsistent data.
std::vector<std::uint8_t> InflateMszip(std::span<const std::uint8_t> body);

} // namespace kl::platform::xfile

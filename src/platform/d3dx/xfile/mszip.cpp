// MSZIP inflation with zlib (raw inflate, windowBits -15) and a dictionary carried across blocks.
#include "platform/d3dx/xfile/mszip.h"

#include "platform/d3dx/xfile/xfile_header.h"
#include "platform/d3dx/xfile/xfile_tokens.h"

#include <algorithm>
#include <string>
#include <zlib.h>

namespace kl::platform::xfile {
namespace {

constexpr std::size_t kWindowBytes = 32768;

class RawInflater {
  public:
    RawInflater() {
        if (inflateInit2(&z_, -15) != Z_OK) throw XFileError("cannot start zlib");
    }
    ~RawInflater() { inflateEnd(&z_); }
    RawInflater(const RawInflater&) = delete;
    RawInflater& operator=(const RawInflater&) = delete;

    // Inflates one complete deflate stream from in into exactly out.size() bytes; returns how many
    // input bytes the stream took, or nothing when it is corrupt or does not fill out exactly.
    bool Inflate(std::span<const std::uint8_t> dictionary, std::span<const std::uint8_t> in,
                 std::span<std::uint8_t> out, std::size_t& consumed) {
        if (inflateReset(&z_) != Z_OK) return false;
        if (!dictionary.empty() &&
            inflateSetDictionary(&z_, dictionary.data(), static_cast<uInt>(dictionary.size())) != Z_OK) {
            return false;
        }
        z_.next_in = const_cast<Bytef*>(in.data());
        z_.avail_in = static_cast<uInt>(in.size());
        // zlib wants a non-null output pointer even for an empty block.
        Bytef spare = 0;
        z_.next_out = out.empty() ? &spare : out.data();
        z_.avail_out = static_cast<uInt>(out.size());
        const int rc = inflate(&z_, Z_FINISH);
        if (rc != Z_STREAM_END || z_.avail_out != 0) return false;
        consumed = in.size() - z_.avail_in;
        return true;
    }

  private:
    z_stream z_{};
};

std::uint16_t word_at(std::span<const std::uint8_t> d, std::size_t at) {
    return static_cast<std::uint16_t>(d[at] | (d[at + 1] << 8));
}

} // namespace

std::vector<std::uint8_t> InflateMszip(std::span<const std::uint8_t> body) {
    const std::size_t base = kHeaderBytes;
    if (body.size() < 4) Fail(base, "truncated compressed size");
    const std::size_t declared =
        static_cast<std::size_t>(body[0]) | (static_cast<std::size_t>(body[1]) << 8) |
        (static_cast<std::size_t>(body[2]) << 16) | (static_cast<std::size_t>(body[3]) << 24);
    if (declared > kMaxInflatedBytes)
        Fail(base, "uncompressed size " + std::to_string(declared) + " too large");

    RawInflater inflater;
    std::vector<std::uint8_t> out;
    std::size_t pos = 4;
    while (pos < body.size()) {
        const std::size_t block_at = base + pos;
        if (body.size() - pos < 6) Fail(block_at, "truncated compressed block header");
        const std::size_t raw_size = word_at(body, pos);
        const std::size_t packed_size = word_at(body, pos + 2);
        if (body[pos + 4] != 'C' || body[pos + 5] != 'K') Fail(block_at, "compressed block without \"CK\"");
        pos += 6;
        // The declared size may count the 16-byte header or not; either way nothing beyond it.
        if (out.size() + raw_size > declared) Fail(block_at, "compressed blocks exceed the declared size");

        const std::size_t start = out.size();
        out.resize(start + raw_size);
        const std::size_t dict_bytes = std::min(start, kWindowBytes);
        const std::span<const std::uint8_t> dictionary{out.data() + start - dict_bytes, dict_bytes};
        const std::span<const std::uint8_t> in = body.subspan(pos, std::min(packed_size, body.size() - pos));
        std::size_t consumed = 0;
        if (!inflater.Inflate(dictionary, in, {out.data() + start, raw_size}, consumed)) {
            Fail(block_at, "corrupt compressed block");
        }
        // Writers differ on whether the compressed size counts the "CK" signature; the deflate
        // stream's own end tells which.
        if (consumed + 2 == packed_size) {
            pos += packed_size - 2;
        } else if (consumed == packed_size) {
            pos += packed_size;
        } else {
            Fail(block_at, "compressed block size does not match its data");
        }
    }
    if (out.size() != declared && out.size() + kHeaderBytes != declared) {
        Fail(base, "uncompressed size " + std::to_string(out.size()) + " differs from the declared " +
                       std::to_string(declared));
    }
    return out;
}

} // namespace kl::platform::xfile

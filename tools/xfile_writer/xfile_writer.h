// A small writer of .x files for tests, benchmarks and fuzz seeds: the same calls produce the text
// or the binary token encoding, and a compressor wraps either into MSZIP blocks ("tzip", "bzip").
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace kl::tools {

class XWriter {
  public:
    // binary: token encoding rather than text; doubles: 64-bit floats in binary float lists.
    XWriter(bool binary, bool doubles);

    // A data object "Type [Name] [<GUID>] {"; End closes it.
    void Begin(std::string_view type, std::string_view name = {}, bool with_guid = false);
    void End();

    void Int(std::uint32_t v);
    void Float(double v);
    void Ints(std::initializer_list<std::uint32_t> vs);
    void Floats(std::initializer_list<double> vs);
    // A list separator, ';' or ','. The binary encoding only keeps the one ending a string.
    void Sep(char c);
    void String(std::string_view s);
    // A reference "{ Name }" to an object named before.
    void Ref(std::string_view name);
    // A template declaration with members (type keyword, member name); open adds "[...]".
    void Template(std::string_view name, const std::vector<std::pair<std::string, std::string>>& members,
                  bool open);

    // The body written so far (everything after the 16-byte header).
    std::vector<std::uint8_t> Body();

    bool binary() const { return binary_; }
    bool doubles() const { return doubles_; }

  private:
    void Flush();
    void Text(std::string_view s);
    void Word(std::uint16_t v);
    void Dword(std::uint32_t v);
    void Name(std::string_view s);
    void Guid();

    bool binary_;
    bool doubles_;
    std::vector<std::uint8_t> out_;
    std::vector<std::uint32_t> pending_ints_;
    std::vector<double> pending_floats_;
    bool after_string_ = false;
};

// Header plus body: format is "txt " or "bin ", float size "0032" or "0064".
std::vector<std::uint8_t> MakeXFile(const XWriter& w, const std::vector<std::uint8_t>& body);

// The body compressed into MSZIP blocks of block_bytes (at most 32 KB) uncompressed each, each
// deflated with the last 32 KB before it as dictionary, behind a "tzip"/"bzip" header.
std::vector<std::uint8_t> MakeCompressedXFile(const XWriter& w, const std::vector<std::uint8_t>& body,
                                              std::size_t block_bytes = 32768);

} // namespace kl::tools

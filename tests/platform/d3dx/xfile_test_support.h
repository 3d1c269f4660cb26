// Helpers for the .x reader's tests: a scene in each encoding, text files from a body, and raw
// binary token streams for malformed input.
#pragma once

#include "platform/d3dx/xfile/xfile_reader.h"
#include "xfile_writer/xfile_writer.h"

#include <cstdint>
#include <functional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

namespace kl::test {

enum class XEncoding { Text, Binary, Binary64, Tzip, Bzip, BzipSmallBlocks };

inline const char* Name(XEncoding e) {
    switch (e) {
    case XEncoding::Text:
        return "Text";
    case XEncoding::Binary:
        return "Binary";
    case XEncoding::Binary64:
        return "Binary64";
    case XEncoding::Tzip:
        return "Tzip";
    case XEncoding::Bzip:
        return "Bzip";
    case XEncoding::BzipSmallBlocks:
        return "BzipSmallBlocks";
    }
    return "?";
}

inline std::vector<std::uint8_t> Encode(XEncoding e, const std::function<void(tools::XWriter&)>& scene) {
    const bool binary = e != XEncoding::Text && e != XEncoding::Tzip;
    tools::XWriter w(binary, e == XEncoding::Binary64);
    scene(w);
    const auto body = w.Body();
    switch (e) {
    case XEncoding::Tzip:
    case XEncoding::Bzip:
        return tools::MakeCompressedXFile(w, body);
    case XEncoding::BzipSmallBlocks:
        return tools::MakeCompressedXFile(w, body, 97);
    default:
        return tools::MakeXFile(w, body);
    }
}

// A text file: the standard header, then body.
inline std::vector<std::uint8_t> TextX(std::string_view body, std::string_view header = "xof 0303txt 0032") {
    std::vector<std::uint8_t> out(header.begin(), header.end());
    out.insert(out.end(), body.begin(), body.end());
    return out;
}

// Raw little-endian bytes for hand-made binary token streams.
class Bytes {
  public:
    explicit Bytes(std::string_view start = "") : out_(start.begin(), start.end()) {}
    Bytes& W(std::uint16_t v) {
        out_.push_back(static_cast<std::uint8_t>(v));
        out_.push_back(static_cast<std::uint8_t>(v >> 8));
        return *this;
    }
    Bytes& D(std::uint32_t v) {
        for (int i = 0; i < 4; ++i)
            out_.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
        return *this;
    }
    Bytes& S(std::string_view s) {
        out_.insert(out_.end(), s.begin(), s.end());
        return *this;
    }
    std::vector<std::uint8_t> get() const { return out_; }

  private:
    std::vector<std::uint8_t> out_;
};

} // namespace kl::test

namespace kl::platform {

// Lets GoogleTest describe a mesh in a failure instead of dumping its bytes.
inline void PrintTo(const MeshData& m, std::ostream* os) {
    *os << m.positions.size() << " vertices, " << m.faces.size() << " faces, " << m.materials.size()
        << " materials, fvf " << m.fvf;
}

} // namespace kl::platform

// Header of a .x file.
#include "platform/d3dx/xfile/xfile_header.h"

#include "platform/d3dx/xfile/xfile_tokens.h"

#include <string>
#include <string_view>

namespace kl::platform::xfile {

XFileHeader ParseHeader(std::span<const std::uint8_t> file) {
    if (file.size() < kHeaderBytes) throw XFileError("file shorter than the 16-byte header");
    const std::string_view h{reinterpret_cast<const char*>(file.data()), kHeaderBytes};
    if (h.substr(0, 4) != "xof ") throw XFileError("not a .x file (no \"xof \" at the start)");
    const std::string_view version = h.substr(4, 4);
    if (version != "0302" && version != "0303") {
        throw XFileError("unsupported version \"" + std::string(version) + "\"");
    }
    XFileHeader out;
    const std::string_view format = h.substr(8, 4);
    if (format == "txt ") {
    } else if (format == "bin ") {
        out.binary = true;
    } else if (format == "tzip") {
        out.compressed = true;
    } else if (format == "bzip") {
        out.binary = true;
        out.compressed = true;
    } else {
        throw XFileError("unsupported format \"" + std::string(format) + "\"");
    }
    const std::string_view float_size = h.substr(12, 4);
    if (float_size == "0032") {
        out.float_bytes = 4;
    } else if (float_size == "0064") {
        out.float_bytes = 8;
    } else {
        throw XFileError("unsupported float size \"" + std::string(float_size) + "\"");
    }
    return out;
}

} // namespace kl::platform::xfile

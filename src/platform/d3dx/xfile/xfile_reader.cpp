// Entry points of the .x reader: header, optional decompression, tokenizer for the encoding, parser,
// merge. The inner steps report errors by throwing XFileError; nothing escapes from here.
#include "platform/d3dx/xfile/xfile_reader.h"

#include "platform/d3dx/xfile/binary_tokenizer.h"
#include "platform/d3dx/xfile/mesh_merge.h"
#include "platform/d3dx/xfile/mszip.h"
#include "platform/d3dx/xfile/text_tokenizer.h"
#include "platform/d3dx/xfile/xfile_header.h"
#include "platform/d3dx/xfile/xfile_parser.h"
#include "platform/os/files.h"

#include <new>
#include <vector>

namespace kl::platform {

XFileResult ReadXFile(std::span<const std::uint8_t> bytes) {
    using namespace xfile;
    XFileResult result;
    try {
        const XFileHeader header = ParseHeader(bytes);
        std::vector<std::uint8_t> inflated;
        std::span<const std::uint8_t> body = bytes.subspan(kHeaderBytes);
        if (header.compressed) {
            inflated = InflateMszip(body);
            body = inflated;
        }
        RawScene scene;
        if (header.binary) {
            BinaryTokenizer tokens(body, header.float_bytes, kHeaderBytes);
            scene = ParseScene(tokens);
        } else {
            TextTokenizer tokens(body, kHeaderBytes);
            scene = ParseScene(tokens);
        }
        result.mesh = MergeScene(scene);
    } catch (const XFileError& e) {
        result.error = e.what();
    } catch (const std::bad_alloc&) {
        result.error = "out of memory";
    }
    return result;
}

XFileResult ReadXFileFromPath(const std::filesystem::path& path) {
    std::error_code ec;
    const auto size = std::filesystem::file_size(path, ec);
    if (ec) return {std::nullopt, "cannot read the file"};
    if (size > kMaxXFileBytes)
        return {std::nullopt, "file larger than " + std::to_string(kMaxXFileBytes) + " bytes"};
    // ReadFileBytes sets aside its whole limit before reading, so the limit is the file's size.
    const auto bytes = ReadFileBytes(path, static_cast<std::size_t>(size));
    if (!bytes) return {std::nullopt, "cannot read the file"};
    return ReadXFile(*bytes);
}

} // namespace kl::platform

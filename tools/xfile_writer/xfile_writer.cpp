// The .x writer used to make test files, seeds and benchmark input.
#include "xfile_writer/xfile_writer.h"

#include <algorithm>
#include <charconv>
#include <cstring>
#include <map>
#include <stdexcept>
#include <zlib.h>

namespace kl::tools {
namespace {

// Binary token codes of the .x format.
enum : std::uint16_t {
    kName = 1,
    kString = 2,
    kGuid = 5,
    kIntegerList = 6,
    kFloatList = 7,
    kOpenBrace = 10,
    kCloseBrace = 11,
    kOpenBracket = 14,
    kCloseBracket = 15,
    kDot = 18,
    kComma = 19,
    kSemicolon = 20,
    kTemplate = 31,
};

std::uint16_t type_token(const std::string& keyword) {
    static const std::map<std::string, std::uint16_t> codes = {
        {"WORD", 40},    {"DWORD", 41},   {"FLOAT", 42},  {"DOUBLE", 43}, {"CHAR", 44},
        {"UCHAR", 45},   {"SWORD", 46},   {"SDWORD", 47}, {"VOID", 48},   {"STRING", 49},
        {"UNICODE", 50}, {"CSTRING", 51}, {"array", 52}};
    const auto it = codes.find(keyword);
    return it == codes.end() ? 0 : it->second;
}

constexpr char kGuidText[] = "<5A1F0C3E-7B22-4D19-9E61-2C8B40D7A913>";
constexpr std::uint8_t kGuidBytes[16] = {0x3E, 0x0C, 0x1F, 0x5A, 0x22, 0x7B, 0x19, 0x4D,
                                         0x9E, 0x61, 0x2C, 0x8B, 0x40, 0xD7, 0xA9, 0x13};

} // namespace

XWriter::XWriter(bool binary, bool doubles) : binary_(binary), doubles_(doubles) {
    if (!binary_) out_.push_back('\n'); // the header line ends here
}

void XWriter::Text(std::string_view s) {
    // Keep words apart; punctuation needs no space.
    if (!out_.empty() && !s.empty()) {
        const char last = static_cast<char>(out_.back());
        const char first = s[0];
        const bool last_word = last != ' ' && last != '\n' && last != ';' && last != ',' && last != '{';
        const bool first_word = first != ';' && first != ',' && first != '\n';
        if (last_word && first_word) out_.push_back(' ');
    }
    out_.insert(out_.end(), s.begin(), s.end());
}

void XWriter::Word(std::uint16_t v) {
    out_.push_back(static_cast<std::uint8_t>(v));
    out_.push_back(static_cast<std::uint8_t>(v >> 8));
}

void XWriter::Dword(std::uint32_t v) {
    for (int i = 0; i < 4; ++i)
        out_.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

void XWriter::Name(std::string_view s) {
    Word(kName);
    Dword(static_cast<std::uint32_t>(s.size()));
    out_.insert(out_.end(), s.begin(), s.end());
}

void XWriter::Guid() {
    Word(kGuid);
    out_.insert(out_.end(), std::begin(kGuidBytes), std::end(kGuidBytes));
}

void XWriter::Flush() {
    if (!pending_ints_.empty()) {
        Word(kIntegerList);
        Dword(static_cast<std::uint32_t>(pending_ints_.size()));
        for (const std::uint32_t v : pending_ints_)
            Dword(v);
        pending_ints_.clear();
    }
    if (!pending_floats_.empty()) {
        Word(kFloatList);
        Dword(static_cast<std::uint32_t>(pending_floats_.size()));
        for (const double d : pending_floats_) {
            if (doubles_) {
                std::uint8_t b[8];
                std::memcpy(b, &d, 8);
                out_.insert(out_.end(), b, b + 8);
            } else {
                const float f = static_cast<float>(d);
                std::uint8_t b[4];
                std::memcpy(b, &f, 4);
                out_.insert(out_.end(), b, b + 4);
            }
        }
        pending_floats_.clear();
    }
}

void XWriter::Begin(std::string_view type, std::string_view name, bool with_guid) {
    if (binary_) {
        Flush();
        Name(type);
        if (!name.empty()) Name(name);
        if (with_guid) Guid();
        Word(kOpenBrace);
    } else {
        Text(type);
        if (!name.empty()) Text(name);
        if (with_guid) Text(kGuidText);
        Text("{\n");
    }
}

void XWriter::End() {
    if (binary_) {
        Flush();
        Word(kCloseBrace);
    } else {
        Text("\n}\n");
    }
}

void XWriter::Int(std::uint32_t v) {
    if (binary_) {
        if (!pending_floats_.empty()) Flush();
        pending_ints_.push_back(v);
    } else {
        Text(std::to_string(v));
    }
}

void XWriter::Float(double v) {
    if (binary_) {
        if (!pending_ints_.empty()) Flush();
        pending_floats_.push_back(v);
    } else {
        // The shortest form that reads back to the same double, so text and binary files agree.
        char buf[64];
        const auto [end, ec] = std::to_chars(buf, buf + sizeof buf - 2, v);
        if (ec != std::errc()) throw std::runtime_error("cannot format a float");
        std::string_view written(buf, static_cast<std::size_t>(end - buf));
        if (written.find_first_of(".e") == std::string_view::npos) {
            *end = '.';
            *(end + 1) = '0';
            written = std::string_view(buf, written.size() + 2);
        }
        Text(written);
    }
}

void XWriter::Ints(std::initializer_list<std::uint32_t> vs) {
    for (const std::uint32_t v : vs) {
        Int(v);
        Sep(',');
    }
}

void XWriter::Floats(std::initializer_list<double> vs) {
    for (const double v : vs) {
        Float(v);
        Sep(';');
    }
}

void XWriter::Sep(char c) {
    if (binary_) {
        if (after_string_) {
            Word(c == ',' ? kComma : kSemicolon);
            after_string_ = false;
        }
    } else {
        const bool ends_item = !out_.empty() && out_.back() == ';';
        Text(std::string_view(&c, 1));
        if (ends_item) Text("\n");
    }
}

void XWriter::String(std::string_view s) {
    if (binary_) {
        Flush();
        Word(kString);
        Dword(static_cast<std::uint32_t>(s.size()));
        out_.insert(out_.end(), s.begin(), s.end());
        after_string_ = true;
    } else {
        Text("\"" + std::string(s) + "\"");
    }
}

void XWriter::Ref(std::string_view name) {
    if (binary_) {
        Flush();
        Word(kOpenBrace);
        Name(name);
        Word(kCloseBrace);
    } else {
        Text("{ " + std::string(name) + " }\n");
    }
}

void XWriter::Template(std::string_view name, const std::vector<std::pair<std::string, std::string>>& members,
                       bool open) {
    if (binary_) {
        Flush();
        Word(kTemplate);
        Name(name);
        Word(kOpenBrace);
        Guid();
        for (const auto& [type, member] : members) {
            const std::uint16_t code = type_token(type);
            if (code != 0) {
                Word(code);
            } else {
                Name(type);
            }
            Name(member);
            Word(kSemicolon);
        }
        if (open) {
            Word(kOpenBracket);
            for (int i = 0; i < 3; ++i)
                Word(kDot);
            Word(kCloseBracket);
        }
        Word(kCloseBrace);
    } else {
        Text("template " + std::string(name) + " {\n " + kGuidText + "\n");
        for (const auto& [type, member] : members)
            Text(" " + type + " " + member + ";\n");
        if (open) Text(" [...]\n");
        Text("}\n");
    }
}

std::vector<std::uint8_t> XWriter::Body() {
    Flush();
    return out_;
}

namespace {

std::vector<std::uint8_t> header(const char* format, bool doubles) {
    std::string h = std::string("xof 0303") + format + (doubles ? "0064" : "0032");
    return {h.begin(), h.end()};
}

} // namespace

std::vector<std::uint8_t> MakeXFile(const XWriter& w, const std::vector<std::uint8_t>& body) {
    std::vector<std::uint8_t> out = header(w.binary() ? "bin " : "txt ", w.doubles());
    out.insert(out.end(), body.begin(), body.end());
    return out;
}

std::vector<std::uint8_t> MakeCompressedXFile(const XWriter& w, const std::vector<std::uint8_t>& body,
                                              std::size_t block_bytes) {
    constexpr std::size_t kWindow = 32768;
    block_bytes = std::clamp<std::size_t>(block_bytes, 1, kWindow);
    std::vector<std::uint8_t> out = header(w.binary() ? "bzip" : "tzip", w.doubles());
    const std::uint32_t total = static_cast<std::uint32_t>(body.size() + out.size());
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<std::uint8_t>(total >> (8 * i)));

    z_stream z{};
    if (deflateInit2(&z, 9, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) != Z_OK) throw std::runtime_error("zlib");
    std::vector<std::uint8_t> packed(kWindow * 2);
    for (std::size_t at = 0; at < body.size(); at += block_bytes) {
        const std::size_t n = std::min(block_bytes, body.size() - at);
        deflateReset(&z);
        const std::size_t dict = std::min(at, kWindow);
        if (dict > 0) deflateSetDictionary(&z, body.data() + at - dict, static_cast<uInt>(dict));
        z.next_in = const_cast<Bytef*>(body.data() + at);
        z.avail_in = static_cast<uInt>(n);
        z.next_out = packed.data();
        z.avail_out = static_cast<uInt>(packed.size());
        if (deflate(&z, Z_FINISH) != Z_STREAM_END) {
            deflateEnd(&z);
            throw std::runtime_error("deflate did not finish");
        }
        const std::size_t size = packed.size() - z.avail_out;
        const std::uint16_t words[2] = {static_cast<std::uint16_t>(n), static_cast<std::uint16_t>(size + 2)};
        for (const std::uint16_t v : words) {
            out.push_back(static_cast<std::uint8_t>(v));
            out.push_back(static_cast<std::uint8_t>(v >> 8));
        }
        out.push_back('C');
        out.push_back('K');
        out.insert(out.end(), packed.begin(), packed.begin() + static_cast<std::ptrdiff_t>(size));
    }
    deflateEnd(&z);
    return out;
}

} // namespace kl::tools

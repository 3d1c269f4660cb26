// Decoding of the texts the device font draws.
#include "platform/d3dx/font_text.h"

namespace kl::d3dx {

namespace {

// 0x80..0x9F of Windows-1252; 0 where the code page defines nothing.
constexpr char16_t kHigh[32] = {0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017D, 0,
                                0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

// Length and value of the UTF-8 sequence at text[i]; 0 when it is not a valid one.
int utf8_sequence(std::string_view text, std::size_t i, char32_t* out) {
    const auto b0 = static_cast<std::uint8_t>(text[i]);
    int length = 0;
    char32_t value = 0, minimum = 0;
    if (b0 >= 0xC2 && b0 <= 0xDF) {
        length = 2;
        value = b0 & 0x1Fu;
        minimum = 0x80;
    } else if (b0 >= 0xE0 && b0 <= 0xEF) {
        length = 3;
        value = b0 & 0x0Fu;
        minimum = 0x800;
    } else if (b0 >= 0xF0 && b0 <= 0xF4) {
        length = 4;
        value = b0 & 0x07u;
        minimum = 0x10000;
    } else {
        return 0;
    }
    if (text.size() - i < static_cast<std::size_t>(length)) return 0;
    for (int k = 1; k < length; ++k) {
        const auto b = static_cast<std::uint8_t>(text[i + static_cast<std::size_t>(k)]);
        if ((b & 0xC0u) != 0x80u) return 0;
        value = (value << 6) | (b & 0x3Fu);
    }
    if (value < minimum || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) return 0;
    *out = value;
    return length;
}

} // namespace

char32_t FromWindows1252(std::uint8_t byte) {
    if (byte >= 0x80 && byte < 0xA0 && kHigh[byte - 0x80] != 0) return kHigh[byte - 0x80];
    return byte;
}

void DecodeFontText(std::string_view text, int count, std::vector<char32_t>* out) {
    if (count < 0) {
        const std::size_t nul = text.find('\0');
        if (nul != std::string_view::npos) text = text.substr(0, nul);
    } else if (static_cast<std::size_t>(count) < text.size()) {
        text = text.substr(0, static_cast<std::size_t>(count));
    }
    out->clear();
    for (std::size_t i = 0; i < text.size();) {
        const auto byte = static_cast<std::uint8_t>(text[i]);
        char32_t cp = 0;
        const int length = byte < 0x80 ? 0 : utf8_sequence(text, i, &cp);
        if (length > 0) {
            out->push_back(cp);
            i += static_cast<std::size_t>(length);
        } else {
            out->push_back(FromWindows1252(byte));
            ++i;
        }
    }
}

} // namespace kl::d3dx

// The characters of a text handed to the device font: UTF-8 where the bytes form it, the Windows
// 8-bit code page elsewhere, so that both the program's own texts and older 8-bit texts draw.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

namespace kl::d3dx {

// Code points of the first `count` bytes of text (count < 0: up to the first NUL or the end). A byte
// that does not begin a complete, shortest-form UTF-8 sequence stands for itself in Windows-1252.
// The result replaces *out (whose storage is reused).
void DecodeFontText(std::string_view text, int count, std::vector<char32_t>* out);

// Code point of one Windows-1252 byte; bytes the code page leaves undefined keep their value.
char32_t FromWindows1252(std::uint8_t byte);

} // namespace kl::d3dx

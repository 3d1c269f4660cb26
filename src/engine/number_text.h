// Conversions of typed texts (dialog fields, the stored aspect-ratio text) to numbers, with the
// strictness and rounding the program has always applied to what the user types.
#pragma once

#include <cstdint>
#include <string_view>

namespace kl {

// Accepted form, nothing else:
//   blanks* [+|-] digits* [separator digits*] [(E|e) [+|-] digits+] blanks*
// with at least one digit before the exponent. Blanks are spaces and tabs; the separator is the one
// character given ("." or ","). No thousands separators, no hexadecimal, no "inf" or "nan".
// The value is computed in double precision.
//
// Raises kl::Fault("Type mismatch") when the text does not have this form (the empty text included)
// and kl::Fault("Overflow") when its value is beyond double range.
double parse_number_text(std::string_view text, char decimal_separator = '.');

// The text's value rounded to the nearest integer, halves to the even neighbour (2.5 -> 2,
// 3.5 -> 4, -2.5 -> -2); kl::Fault("Overflow") when the rounded value does not fit.
std::int32_t number_text_to_int32(std::string_view text, char decimal_separator = '.');
std::int16_t number_text_to_int16(std::string_view text, char decimal_separator = '.');

// The text's value as a 32-bit float; kl::Fault("Overflow") beyond float range. Values too small
// for a float become zero.
float number_text_to_single(std::string_view text, char decimal_separator = '.');

} // namespace kl

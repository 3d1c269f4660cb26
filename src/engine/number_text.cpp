// Typed text to number: the text is checked against a strict form and rewritten in the one
// notation std::from_chars reads, so neither the process locale nor stray characters can change it.
#include "engine/number_text.h"

#include "fault/fault.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <string>
#include <system_error>

namespace kl {
namespace {

bool is_blank(char c) {
    return c == ' ' || c == '\t';
}
bool is_digit(char c) {
    return c >= '0' && c <= '9';
}

// The text in "[-]digits[.digits][e[-]digits]" form, plus what is needed to tell an overflow from
// an underflow when the value does not fit.
struct NormalText {
    std::string chars;
    // Decimal exponent of the leading non-zero digit plus one (so 123 -> 3, 0.05 -> -1).
    long long magnitude = 0;
    bool is_zero = true;
};

NormalText normalise(std::string_view text, char separator) {
    const Fault mismatch("Type mismatch");
    std::size_t i = 0;
    const std::size_t n = text.size();
    while (i < n && is_blank(text[i]))
        ++i;

    NormalText out;
    if (i < n && (text[i] == '+' || text[i] == '-')) {
        if (text[i] == '-') out.chars += '-';
        ++i;
    }

    std::size_t digits = 0;
    long long int_digits = 0;    // integer-part digits from the first non-zero one
    long long leading_zeros = 0; // fraction zeros before the first non-zero digit
    while (i < n && is_digit(text[i])) {
        out.chars += text[i];
        if (!out.is_zero || text[i] != '0') {
            out.is_zero = false;
            ++int_digits;
        }
        ++digits;
        ++i;
    }
    if (i < n && text[i] == separator) {
        out.chars += '.';
        ++i;
        while (i < n && is_digit(text[i])) {
            out.chars += text[i];
            if (out.is_zero && text[i] == '0') ++leading_zeros;
            if (text[i] != '0') out.is_zero = false;
            ++digits;
            ++i;
        }
    }
    if (digits == 0) throw mismatch;

    long long exponent = 0;
    if (i < n && (text[i] == 'E' || text[i] == 'e')) {
        ++i;
        bool negative = false;
        if (i < n && (text[i] == '+' || text[i] == '-')) {
            negative = text[i] == '-';
            ++i;
        }
        std::size_t exp_digits = 0;
        while (i < n && is_digit(text[i])) {
            // Saturate far beyond any double exponent; the value is then certainly out of range.
            if (exponent < 100000) exponent = exponent * 10 + (text[i] - '0');
            ++exp_digits;
            ++i;
        }
        if (exp_digits == 0) throw mismatch;
        if (negative) exponent = -exponent;
        out.chars += 'e';
        out.chars += std::to_string(exponent);
    }

    while (i < n && is_blank(text[i]))
        ++i;
    if (i != n) throw mismatch;

    out.magnitude = (int_digits > 0 ? int_digits : -leading_zeros) + exponent;
    return out;
}

template <typename Real> Real parse_as(std::string_view text, char separator) {
    const NormalText normal = normalise(text, separator);
    if (normal.is_zero) return Real(0);
    Real value{};
    const char* first = normal.chars.data();
    const char* last = first + normal.chars.size();
    const auto [end, ec] = std::from_chars(first, last, value);
    if (ec == std::errc::result_out_of_range) {
        // Out of range is either too large or too small; the leading digit's place tells which.
        if (normal.magnitude > 0) throw Fault("Overflow");
        return normal.chars.front() == '-' ? -Real(0) : Real(0);
    }
    if (ec != std::errc() || end != last || !std::isfinite(value)) throw Fault("Overflow");
    return value;
}

template <typename Int> Int to_integer(std::string_view text, char separator) {
    // The default floating-point environment rounds to nearest, halves to even.
    const double rounded = std::nearbyint(parse_as<double>(text, separator));
    if (rounded < static_cast<double>(std::numeric_limits<Int>::min()) ||
        rounded > static_cast<double>(std::numeric_limits<Int>::max()))
        throw Fault("Overflow");
    return static_cast<Int>(rounded);
}

} // namespace

double parse_number_text(std::string_view text, char decimal_separator) {
    return parse_as<double>(text, decimal_separator);
}

std::int32_t number_text_to_int32(std::string_view text, char decimal_separator) {
    return to_integer<std::int32_t>(text, decimal_separator);
}

std::int16_t number_text_to_int16(std::string_view text, char decimal_separator) {
    return to_integer<std::int16_t>(text, decimal_separator);
}

float number_text_to_single(std::string_view text, char decimal_separator) {
    return parse_as<float>(text, decimal_separator);
}

} // namespace kl

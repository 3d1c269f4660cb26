// Text tokenizer of the .x format. Numbers are read with std::from_chars, so the C locale's decimal
// separator never matters.
#include "platform/d3dx/xfile/text_tokenizer.h"

#include <charconv>
#include <limits>
#include <string>

namespace kl::platform::xfile {
namespace {

// Longest <GUID> we accept: 36 characters plus some slack for stray spaces.
constexpr std::size_t kMaxGuidLength = 64;

bool is_word_char(std::uint8_t c) {
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_' ||
           c == '-' || c == '+' || c == '.' || c >= 0x80;
}

bool is_digit(char c) {
    return c >= '0' && c <= '9';
}

bool equals_ignoring_case(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        const auto lower = [](char c) {
            return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
        };
        if (lower(a[i]) != lower(b[i])) return false;
    }
    return true;
}

} // namespace

TextTokenizer::TextTokenizer(std::span<const std::uint8_t> body, std::size_t base_offset)
    : TokenSource(base_offset + body.size()), data_(body), base_(base_offset) {}

void TextTokenizer::SkipSpaceAndComments() {
    while (pos_ < data_.size()) {
        const std::uint8_t c = data_[pos_];
        if (c <= ' ') {
            ++pos_;
        } else if (c == '#' || (c == '/' && pos_ + 1 < data_.size() && data_[pos_ + 1] == '/')) {
            while (pos_ < data_.size() && data_[pos_] != '\n')
                ++pos_;
        } else {
            return;
        }
    }
}

Token TextTokenizer::Read() {
    SkipSpaceAndComments();
    Token t;
    t.offset = base_ + pos_;
    if (pos_ >= data_.size()) return t;

    const std::size_t start = pos_;
    const std::uint8_t c = data_[pos_++];
    switch (c) {
    case '{':
        t.kind = TokenKind::OpenBrace;
        return t;
    case '}':
        t.kind = TokenKind::CloseBrace;
        return t;
    case ',':
        t.kind = TokenKind::Comma;
        return t;
    case ';':
        t.kind = TokenKind::Semicolon;
        return t;
    case '"': {
        while (pos_ < data_.size() && data_[pos_] != '"')
            ++pos_;
        if (pos_ >= data_.size()) Fail(base_ + start, "unterminated string");
        t.kind = TokenKind::String;
        t.text = {reinterpret_cast<const char*>(data_.data()) + start + 1, pos_ - start - 1};
        ++pos_;
        return t;
    }
    case '<': {
        while (pos_ < data_.size() && data_[pos_] != '>' && pos_ - start <= kMaxGuidLength)
            ++pos_;
        if (pos_ >= data_.size() || data_[pos_] != '>') Fail(base_ + start, "unterminated GUID");
        ++pos_;
        t.kind = TokenKind::Guid;
        return t;
    }
    default:
        break;
    }
    // A '.', '-' or '+' that cannot start a number is punctuation, as in a template's "[...]".
    const char after = pos_ < data_.size() ? static_cast<char>(data_[pos_]) : ' ';
    const bool lone_mark =
        (c == '.' && !is_digit(after)) || ((c == '-' || c == '+') && !is_digit(after) && after != '.');
    if (!is_word_char(c) || lone_mark) {
        t.kind = TokenKind::Other; // template restrictions and array brackets: [ ] ( ) and the like
        return t;
    }
    return ReadWord(start);
}

Token TextTokenizer::ReadWord(std::size_t start) {
    while (pos_ < data_.size() && is_word_char(data_[pos_]))
        ++pos_;
    Token t;
    t.offset = base_ + start;
    const std::string_view word{reinterpret_cast<const char*>(data_.data()) + start, pos_ - start};
    const char first = word[0];
    const bool numeric_start = is_digit(first) || first == '-' || first == '+' || first == '.';
    if (numeric_start) {
        std::string_view digits = word;
        if (digits[0] == '+') digits.remove_prefix(1);
        const char* const b = digits.data();
        const char* const e = b + digits.size();
        std::int64_t i = 0;
        if (auto [p, ec] = std::from_chars(b, e, i); ec == std::errc() && p == e) {
            t.kind = TokenKind::Integer;
            t.integer = i;
            t.number = static_cast<double>(i);
            return t;
        }
        double d = 0;
        if (auto [p, ec] = std::from_chars(b, e, d); ec == std::errc() && p == e) {
            t.kind = TokenKind::Float;
            t.number = d;
            return t;
        }
        // Exporters also write names that begin with a digit ("3DSMesh-1"); a word of number
        // characters only that does not parse is a broken number, though.
        const bool name_like =
            is_digit(first) && word.find_first_not_of("0123456789.+-eE") != std::string_view::npos;
        if (!name_like) Fail(base_ + start, "malformed number '" + std::string(word) + "'");
    }
    t.kind = equals_ignoring_case(word, "template") ? TokenKind::Template : TokenKind::Name;
    t.text = word;
    return t;
}

} // namespace kl::platform::xfile

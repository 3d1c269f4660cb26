// Binary tokenizer of the .x format. Every record length is checked against the bytes that remain
// before it is used, so a lying count ends in a reason, never in a read past the data.
#include "platform/d3dx/xfile/binary_tokenizer.h"

#include <cstring>
#include <optional>
#include <string>

namespace kl::platform::xfile {

BinaryTokenizer::BinaryTokenizer(std::span<const std::uint8_t> body, std::size_t float_bytes,
                                 std::size_t base_offset)
    : TokenSource(base_offset + body.size()), data_(body), float_bytes_(float_bytes), base_(base_offset) {}

std::uint16_t BinaryTokenizer::Word(std::size_t at) const {
    return static_cast<std::uint16_t>(data_[at] | (data_[at + 1] << 8));
}

std::uint32_t BinaryTokenizer::Dword(std::size_t at) const {
    return static_cast<std::uint32_t>(data_[at]) | (static_cast<std::uint32_t>(data_[at + 1]) << 8) |
           (static_cast<std::uint32_t>(data_[at + 2]) << 16) |
           (static_cast<std::uint32_t>(data_[at + 3]) << 24);
}

void BinaryTokenizer::Need(std::size_t bytes, const char* what) const {
    if (data_.size() - pos_ < bytes) Fail(base_ + pos_, std::string("truncated ") + what);
}

Token BinaryTokenizer::NextListValue() {
    Token t;
    t.offset = base_ + pos_;
    --list_left_;
    if (list_is_float_) {
        t.kind = TokenKind::Float;
        if (float_bytes_ == 8) {
            double d;
            std::memcpy(&d, data_.data() + pos_, 8);
            t.number = d;
        } else {
            float f;
            std::memcpy(&f, data_.data() + pos_, 4);
            t.number = f;
        }
        pos_ += float_bytes_;
    } else {
        t.kind = TokenKind::Integer;
        t.integer = Dword(pos_);
        t.number = static_cast<double>(t.integer);
        pos_ += 4;
    }
    return t;
}

Token BinaryTokenizer::Read() {
    // Empty lists carry no values and are passed over; a loop, since a file may hold any number.
    for (;;) {
        if (list_left_ > 0) return NextListValue();
        if (auto t = ReadRecord()) return *t;
    }
}

std::optional<Token> BinaryTokenizer::ReadRecord() {
    Token t;
    t.offset = base_ + pos_;
    if (pos_ >= data_.size()) return t;
    Need(2, "token");
    std::uint16_t code = Word(pos_);
    // Some writers follow a string's terminator token with two zero bytes, as if it were 32-bit.
    if (after_terminator_ && code == 0 && data_.size() - pos_ >= 4) {
        pos_ += 2;
        code = Word(pos_);
        t.offset = base_ + pos_;
    }
    after_terminator_ = after_string_ && (code == kTokenSemicolon || code == kTokenComma);
    after_string_ = false;
    pos_ += 2;

    switch (code) {
    case kTokenName:
    case kTokenString: {
        Need(4, "name length");
        const std::uint32_t n = Dword(pos_);
        pos_ += 4;
        Need(n, code == kTokenName ? "name" : "string");
        t.kind = code == kTokenName ? TokenKind::Name : TokenKind::String;
        t.text = {reinterpret_cast<const char*>(data_.data()) + pos_, n};
        pos_ += n;
        if (code == kTokenString) {
            // The terminator (";" or ",") follows as an ordinary token.
            after_string_ = true;
        }
        return t;
    }
    case kTokenInteger:
        Need(4, "integer");
        t.kind = TokenKind::Integer;
        t.integer = Dword(pos_);
        t.number = static_cast<double>(t.integer);
        pos_ += 4;
        return t;
    case kTokenGuid:
        Need(16, "GUID");
        pos_ += 16;
        t.kind = TokenKind::Guid;
        return t;
    case kTokenIntegerList:
    case kTokenFloatList: {
        Need(4, "list length");
        const std::uint32_t n = Dword(pos_);
        pos_ += 4;
        const bool is_float = code == kTokenFloatList;
        const std::size_t each = is_float ? float_bytes_ : 4;
        if (n > (data_.size() - pos_) / each)
            Fail(t.offset, "list of " + std::to_string(n) + " values overruns the data");
        list_left_ = n;
        list_is_float_ = is_float;
        return std::nullopt; // no token of its own: Read hands out the values
    }
    case kTokenOpenBrace:
        t.kind = TokenKind::OpenBrace;
        return t;
    case kTokenCloseBrace:
        t.kind = TokenKind::CloseBrace;
        return t;
    case kTokenComma:
        t.kind = TokenKind::Comma;
        return t;
    case kTokenSemicolon:
        t.kind = TokenKind::Semicolon;
        return t;
    case kTokenTemplate:
        t.kind = TokenKind::Template;
        return t;
    default:
        if ((code >= kTokenOpenParen && code <= kTokenDot) || (code >= kTokenWord && code <= kTokenArray)) {
            t.kind = TokenKind::Other;
            return t;
        }
        Fail(t.offset, "unknown binary token " + std::to_string(code));
    }
}

} // namespace kl::platform::xfile

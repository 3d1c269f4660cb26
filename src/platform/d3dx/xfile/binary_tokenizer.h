// Tokens of the binary encoding: 16-bit token codes, some followed by a record (name, string,
// integer, GUID, integer list, float list). List records are handed out one value at a time.
#pragma once

#include "platform/d3dx/xfile/xfile_tokens.h"

#include <cstdint>
#include <optional>
#include <span>

namespace kl::platform::xfile {

// Token codes of the binary encoding.
enum BinaryToken : std::uint16_t {
    kTokenName = 1,
    kTokenString = 2,
    kTokenInteger = 3,
    kTokenGuid = 5,
    kTokenIntegerList = 6,
    kTokenFloatList = 7,
    kTokenOpenBrace = 10,
    kTokenCloseBrace = 11,
    kTokenOpenParen = 12,
    kTokenCloseParen = 13,
    kTokenOpenBracket = 14,
    kTokenCloseBracket = 15,
    kTokenOpenAngle = 16,
    kTokenCloseAngle = 17,
    kTokenDot = 18,
    kTokenComma = 19,
    kTokenSemicolon = 20,
    kTokenTemplate = 31,
    kTokenWord = 40,
    kTokenDword = 41,
    kTokenFloat = 42,
    kTokenDouble = 43,
    kTokenChar = 44,
    kTokenUchar = 45,
    kTokenSword = 46,
    kTokenSdword = 47,
    kTokenVoid = 48,
    kTokenLpstr = 49,
    kTokenUnicode = 50,
    kTokenCstring = 51,
    kTokenArray = 52,
};

class BinaryTokenizer final : public TokenSource {
  public:
    // float_bytes is 4 or 8, from the header; base_offset is added to every reported offset.
    BinaryTokenizer(std::span<const std::uint8_t> body, std::size_t float_bytes, std::size_t base_offset);

  private:
    Token Read() override;
    std::size_t Position() const override { return base_ + pos_; }

    std::uint16_t Word(std::size_t at) const;
    std::uint32_t Dword(std::size_t at) const;
    void Need(std::size_t bytes, const char* what) const;
    std::optional<Token> ReadRecord(); // nothing when a list record starts
    Token NextListValue();

    std::span<const std::uint8_t> data_;
    std::size_t float_bytes_;
    std::size_t base_;
    std::size_t pos_ = 0;
    // The list being handed out: values left and their kind.
    std::uint32_t list_left_ = 0;
    bool list_is_float_ = false;
    bool after_string_ = false;     // the last token was a string
    bool after_terminator_ = false; // the last token ended a string
};

} // namespace kl::platform::xfile

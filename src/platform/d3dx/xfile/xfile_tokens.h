// The token stream shared by the text and the binary encodings of a .x file, so that one parser
// reads both. Errors inside the reader are thrown as XFileError and turned into a reason at its edge.
#pragma once

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

namespace kl::platform::xfile {

class XFileError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

enum class TokenKind {
    End,
    Name,
    String,
    Integer,
    Float,
    Guid,
    OpenBrace,
    CloseBrace,
    Comma,
    Semicolon,
    Template,
    Other, // template-only punctuation and type keywords
};

struct Token {
    TokenKind kind = TokenKind::End;
    std::string_view text; // Name and String: the characters, viewing the input buffer
    std::int64_t integer = 0;
    double number = 0;      // Integer and Float
    std::size_t offset = 0; // in the file (for compressed files: in the file as if uncompressed)
};

class TokenSource {
  public:
    virtual ~TokenSource() = default;

    const Token& Peek() {
        if (!has_peeked_) {
            peeked_ = Read();
            has_peeked_ = true;
        }
        return peeked_;
    }

    Token Next() {
        Token t = Peek();
        has_peeked_ = false;
        return t;
    }

    // Bytes not yet consumed. Every value of a list takes at least one byte, so a count above this
    // cannot be real and is refused before any memory is reserved for it.
    std::size_t RemainingBytes() const { return end_ - (has_peeked_ ? peeked_.offset : Position()); }

  protected:
    explicit TokenSource(std::size_t end_offset) : end_(end_offset) {}
    virtual Token Read() = 0;
    // The file offset of the next unread byte.
    virtual std::size_t Position() const = 0;

  private:
    std::size_t end_;
    Token peeked_;
    bool has_peeked_ = false;
};

[[noreturn]] inline void Fail(std::size_t offset, const std::string& what) {
    throw XFileError("at byte " + std::to_string(offset) + ": " + what);
}

} // namespace kl::platform::xfile

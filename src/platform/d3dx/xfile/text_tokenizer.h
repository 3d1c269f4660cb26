// Tokens of the text encoding: names, quoted strings, numbers, <GUID>s, braces and the list
// separators, with "//" and "#" comments skipped.
#pragma once

#include "platform/d3dx/xfile/xfile_tokens.h"

#include <cstdint>
#include <span>

namespace kl::platform::xfile {

class TextTokenizer final : public TokenSource {
  public:
    // base_offset is added to every reported offset, so that reasons name the byte in the file.
    TextTokenizer(std::span<const std::uint8_t> body, std::size_t base_offset);

  private:
    Token Read() override;
    std::size_t Position() const override { return base_ + pos_; }

    void SkipSpaceAndComments();
    Token ReadWord(std::size_t start);

    std::span<const std::uint8_t> data_;
    std::size_t pos_ = 0;
    std::size_t base_;
};

} // namespace kl::platform::xfile

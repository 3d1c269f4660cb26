// A text field of a fixed number of characters, as byte records store them (blank-padded).
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <string>
#include <string_view>

namespace kl {

// A text of exactly N characters. Shorter values are padded with blanks; reading a value stops at
// the first zero character.
template <std::size_t N> class FixedText {
  public:
    FixedText() { chars_.fill(' '); }
    FixedText& operator=(std::string_view value) {
        chars_.fill(' ');
        std::copy_n(value.begin(), std::min(value.size(), N), chars_.begin());
        return *this;
    }
    std::string str() const {
        std::string s(chars_.begin(), chars_.end());
        return s.substr(0, s.find('\0'));
    }
    std::array<char, N>& chars() { return chars_; }
    const std::array<char, N>& chars() const { return chars_; }

  private:
    std::array<char, N> chars_{};
};

} // namespace kl

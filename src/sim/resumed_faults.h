// The faults the scene resumed past, counted by the place of the guarded step that caught them, so
// that a run that went wrong says so at its end (--stats and stderr).
#pragma once

#include <compare>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace kl {

// Where a guarded step is, from the compiler's builtins (which GCC and Clang both have, unlike
// std::source_location on every compiler we build with).
struct FaultPlace {
    const char* file = "";
    std::uint_least32_t line = 0;
    const char* function = "";
};

class ResumedFaults {
  public:
    struct Place {
        std::string where; // "file.cpp:line (function)" of the guarded step
        std::int64_t count = 0;
    };

    // Cheap enough for a fault in every vehicle of every frame: the place is kept as the compiler's
    // own strings and spelled out only when asked for. The traffic's step counts from its own
    // thread while the scene is drawn.
    void count(const FaultPlace& at);
    // Every place with a fault, in the order of file and line.
    std::vector<Place> places() const;
    std::int64_t total() const;

  private:
    struct Key {
        std::string_view file;
        std::uint_least32_t line;
        auto operator<=>(const Key&) const = default;
    };
    mutable std::mutex mutex_;
    std::map<Key, std::pair<const char*, std::int64_t>> counts_; // function name, count
};

} // namespace kl

// Keyboard scripts: which keys are down at which keyboard read, for tests and reproducible runs.
//
//     # comment                  (from # to the end of the line)
//     0: Up                      read 0: cursor up down
//     5-9: Left LShift 57        reads 5 to 9: cursor left, left Shift and key code 57 (Space)
//
// Reads are counted from 0. A read not listed has no key down; lines that share a read add up.
// Keys are named as in key_names.h (letter case ignored) or given as codes 1 to 255.
#pragma once

#include "platform/input/input_device.h"

#include <bitset>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kl::platform {

class KeyScript {
  public:
    struct Entry {
        std::uint32_t first = 0, last = 0;
        std::bitset<kKeyCount> keys;
    };

    void Add(const Entry& entry) { entries_.push_back(entry); }
    KeyStateTable StateAt(std::uint64_t read) const;
    // One past the last read the script lists; 0 for a script without entries.
    std::uint64_t EndRead() const;
    const std::vector<Entry>& entries() const { return entries_; }

  private:
    std::vector<Entry> entries_;
};

// Either a script or an error text "source:line: what is wrong".
struct KeyScriptResult {
    std::optional<KeyScript> script;
    std::string error;
};

KeyScriptResult ParseKeyScript(std::string_view text, std::string_view source_name);
KeyScriptResult LoadKeyScript(const std::filesystem::path& path);

} // namespace kl::platform

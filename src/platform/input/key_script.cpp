// Reading keyboard scripts. Every malformed line is reported with its number; no input is trusted.
#include "platform/input/key_script.h"

#include "platform/input/key_names.h"
#include "platform/os/files.h"

#include <algorithm>
#include <charconv>
#include <cstdio>

namespace kl::platform {
namespace {

// A script is written by hand; anything larger is not one.
constexpr std::size_t kMaxScriptBytes = 16u << 20;

std::string_view Trim(std::string_view s) {
    const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f'; };
    while (!s.empty() && blank(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && blank(s.back()))
        s.remove_suffix(1);
    return s;
}

// The text as it can safely be shown in a message: control and non-ASCII bytes escaped, long texts cut.
std::string Quoted(std::string_view s) {
    constexpr std::size_t kShown = 40;
    std::string out = "'";
    for (std::size_t i = 0; i < s.size() && i < kShown; ++i) {
        const auto c = static_cast<unsigned char>(s[i]);
        if (c >= 0x20 && c < 0x7F) {
            out += static_cast<char>(c);
        } else {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02X", c);
            out += hex;
        }
    }
    if (s.size() > kShown) out += "...";
    return out + "'";
}

bool AllDigits(std::string_view s) {
    if (s.empty()) return false;
    for (char c : s) {
        if (c < '0' || c > '9') return false;
    }
    return true;
}

// A decimal number without sign; nothing when it is not one or does not fit.
std::optional<std::uint32_t> ParseNumber(std::string_view s) {
    if (!AllDigits(s)) return std::nullopt;
    std::uint32_t value = 0;
    const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), value);
    if (ec != std::errc() || end != s.data() + s.size()) return std::nullopt;
    return value;
}

// Parses one line without its comment; returns an error text, empty when the line is good.
std::string ParseLine(std::string_view line, KeyScript& script) {
    const std::size_t colon = line.find(':');
    if (colon == std::string_view::npos) return "expected 'FRAMES: KEYS', found " + Quoted(line);

    KeyScript::Entry entry;
    const std::string_view frames = Trim(line.substr(0, colon));
    if (frames.empty()) return "missing frame number before ':'";
    const std::size_t dash = frames.find('-');
    const std::string_view first_text = Trim(frames.substr(0, dash));
    const std::string_view last_text =
        dash == std::string_view::npos ? first_text : Trim(frames.substr(dash + 1));
    const auto first = ParseNumber(first_text);
    const auto last = ParseNumber(last_text);
    if (!first || !last) {
        const std::string_view bad = !first ? first_text : last_text;
        if (AllDigits(bad)) return "frame number too large " + Quoted(bad);
        if (dash == std::string_view::npos) return "bad frame number " + Quoted(frames);
        return "bad frame range " + Quoted(frames);
    }
    if (*last < *first) return "range " + Quoted(frames) + " ends before it starts";
    entry.first = *first;
    entry.last = *last;

    std::string_view keys = line.substr(colon + 1);
    while (true) {
        keys = Trim(keys);
        if (keys.empty()) break;
        std::size_t end = 0;
        while (end < keys.size() && keys[end] != ' ' && keys[end] != '\t')
            ++end;
        const std::string_view token = keys.substr(0, end);
        keys.remove_prefix(end);
        if (AllDigits(token)) {
            const auto code = ParseNumber(token);
            if (!code || *code == 0 || *code >= kKeyCount) return "key code out of range " + Quoted(token);
            entry.keys.set(*code);
        } else if (const auto code = KeyCodeFromName(token)) {
            entry.keys.set(*code);
        } else {
            return "unknown key " + Quoted(token);
        }
    }
    script.Add(entry);
    return {};
}

} // namespace

KeyStateTable KeyScript::StateAt(std::uint64_t read) const {
    KeyStateTable state{};
    for (const Entry& e : entries_) {
        if (read < e.first || read > e.last) continue;
        for (std::size_t k = 0; k < kKeyCount; ++k) {
            if (e.keys.test(k)) state[k] = kKeyDown;
        }
    }
    return state;
}

std::uint64_t KeyScript::EndRead() const {
    std::uint64_t end = 0;
    for (const Entry& e : entries_)
        end = std::max<std::uint64_t>(end, std::uint64_t{e.last} + 1);
    return end;
}

KeyScriptResult ParseKeyScript(std::string_view text, std::string_view source_name) {
    KeyScript script;
    std::size_t line_number = 0;
    while (!text.empty()) {
        ++line_number;
        const std::size_t newline = text.find('\n');
        std::string_view line = text.substr(0, newline);
        text.remove_prefix(newline == std::string_view::npos ? text.size() : newline + 1);
        if (const std::size_t hash = line.find('#'); hash != std::string_view::npos)
            line = line.substr(0, hash);
        line = Trim(line);
        if (line.empty()) continue;
        if (std::string error = ParseLine(line, script); !error.empty()) {
            return {std::nullopt,
                    std::string(source_name) + ":" + std::to_string(line_number) + ": " + error};
        }
    }
    return {std::move(script), {}};
}

KeyScriptResult LoadKeyScript(const std::filesystem::path& path) {
    const std::string name = path.string();
    const auto bytes = ReadFileBytes(path, kMaxScriptBytes + 1);
    if (!bytes) return {std::nullopt, name + ": cannot read the file"};
    if (bytes->size() > kMaxScriptBytes) return {std::nullopt, name + ": too large for a key script"};
    const std::string text(bytes->begin(), bytes->end());
    return ParseKeyScript(text, name);
}

} // namespace kl::platform

// Searching the recorded calls.
#include "platform/gfx/recording/call_log.h"

#include <algorithm>
#include <sstream>

namespace kl::gfx {

namespace {

bool matches(const Call& c, std::string_view name, const std::vector<double>& prefix) {
    return c.name == name && c.args.size() >= prefix.size() &&
           std::equal(prefix.begin(), prefix.end(), c.args.begin());
}

} // namespace

std::string Call::ToString() const {
    std::ostringstream out;
    out << name << '(';
    for (std::size_t i = 0; i < args.size(); ++i)
        out << (i ? ", " : "") << args[i];
    out << ')';
    return out.str();
}

void CallLog::Add(std::string name, std::vector<double> args) {
    Call c;
    c.name = std::move(name);
    c.args = std::move(args);
    calls_.push_back(std::move(c));
}

std::size_t CallLog::Count(std::string_view name) const {
    return static_cast<std::size_t>(
        std::count_if(calls_.begin(), calls_.end(), [&](const Call& c) { return c.name == name; }));
}

std::vector<Call> CallLog::Find(std::string_view name, const std::vector<double>& prefix) const {
    std::vector<Call> found;
    for (const Call& c : calls_)
        if (matches(c, name, prefix)) found.push_back(c);
    return found;
}

const Call* CallLog::Last(std::string_view name, const std::vector<double>& prefix) const {
    for (auto it = calls_.rbegin(); it != calls_.rend(); ++it)
        if (matches(*it, name, prefix)) return &*it;
    return nullptr;
}

CallLog CallLog::Since(std::size_t mark) const {
    CallLog later;
    for (std::size_t i = std::min(mark, calls_.size()); i < calls_.size(); ++i)
        later.calls_.push_back(calls_[i]);
    return later;
}

std::vector<std::string> CallLog::Names() const {
    std::vector<std::string> names;
    names.reserve(calls_.size());
    for (const Call& c : calls_)
        names.push_back(c.name);
    return names;
}

std::string CallLog::Dump() const {
    std::string text;
    for (const Call& c : calls_)
        text += c.ToString() + "\n";
    return text;
}

} // namespace kl::gfx

// Counting the faults resumed past by place, and spelling a place out.
#include "sim/resumed_faults.h"

namespace kl {
namespace {

// "kl::scene::FrameExit kl::scene::RunFrame(kl::scene::SceneState&)" -> "RunFrame".
std::string_view short_function(std::string_view f) {
    f = f.substr(0, f.find('('));
    if (const auto space = f.rfind(' '); space != std::string_view::npos) f.remove_prefix(space + 1);
    if (const auto colons = f.rfind("::"); colons != std::string_view::npos) f.remove_prefix(colons + 2);
    return f;
}

std::string_view base_name(std::string_view path) {
    if (const auto slash = path.rfind('/'); slash != std::string_view::npos) path.remove_prefix(slash + 1);
    return path;
}

} // namespace

void ResumedFaults::count(const FaultPlace& at) {
    const std::lock_guard lock(mutex_);
    auto& [function, n] = counts_[Key{at.file, at.line}];
    function = at.function;
    ++n;
}

std::vector<ResumedFaults::Place> ResumedFaults::places() const {
    const std::lock_guard lock(mutex_);
    std::vector<Place> out;
    for (const auto& [key, entry] : counts_) {
        std::string where(base_name(key.file));
        where += ':' + std::to_string(key.line) + " (" + std::string(short_function(entry.first)) + ")";
        out.push_back({std::move(where), entry.second});
    }
    return out;
}

std::int64_t ResumedFaults::total() const {
    const std::lock_guard lock(mutex_);
    std::int64_t n = 0;
    for (const auto& entry : counts_)
        n += entry.second.second;
    return n;
}

} // namespace kl

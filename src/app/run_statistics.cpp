// Frame times are measured on the wall clock, whatever clock drives the simulation.
#include "app/run_statistics.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <string>

namespace kl {

namespace {
double percentile(std::vector<double> v, double p) {
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    const auto i = static_cast<std::size_t>(p * static_cast<double>(v.size() - 1) + 0.5);
    return v[std::min(i, v.size() - 1)];
}

// A place name as a JSON string: file names, digits and a function name need no more than the
// quote and the backslash escaped.
std::string json_string(const std::string& text) {
    std::string out = "\"";
    for (const char c : text) {
        if (c == '"' || c == '\\') out += '\\';
        out += c;
    }
    return out + "\"";
}
} // namespace

void RunStatistics::MarkSetUpStart() {
    setup_start_ = Clock::now();
}

void RunStatistics::MarkFrame(std::uint64_t draw_calls, std::uint64_t vertices) {
    const auto now = Clock::now();
    draw_calls_.push_back(static_cast<double>(draw_calls));
    vertices_.push_back(static_cast<double>(vertices));
    if (frames_ == 0)
        setup_seconds_ = std::chrono::duration<double>(now - setup_start_).count();
    else
        frame_seconds_.push_back(std::chrono::duration<double>(now - last_frame_).count());
    last_frame_ = now;
    ++frames_;
}

std::string RunStatistics::Write(const std::filesystem::path& file) const {
    std::ofstream out(file);
    if (!out) return "cannot write " + file.string();
    char buf[512];
    std::snprintf(buf, sizeof buf,
                  "{\"setup_seconds\": %.6f, \"frames\": %lld, \"frame_seconds_median\": %.6f, "
                  "\"frame_seconds_p99\": %.6f, \"peak_memory_bytes\": %lld",
                  setup_seconds_, static_cast<long long>(frames_), percentile(frame_seconds_, 0.5),
                  percentile(frame_seconds_, 0.99), static_cast<long long>(PeakResidentBytes()));
    out << buf;
    const auto most = [](const std::vector<double>& v) {
        return v.empty() ? 0.0 : *std::max_element(v.begin(), v.end());
    };
    std::snprintf(buf, sizeof buf,
                  ", \"draw_calls_median\": %.0f, \"draw_calls_max\": %.0f, \"draw_calls_last\": %.0f, "
                  "\"vertices_median\": %.0f, \"vertices_max\": %.0f, \"vertices_last\": %.0f",
                  percentile(draw_calls_, 0.5), most(draw_calls_),
                  draw_calls_.empty() ? 0.0 : draw_calls_.back(), percentile(vertices_, 0.5), most(vertices_),
                  vertices_.empty() ? 0.0 : vertices_.back());
    out << buf;
    if (traffic_digest_) {
        std::snprintf(buf, sizeof buf, ", \"traffic_digest\": \"%016llx\"",
                      static_cast<unsigned long long>(*traffic_digest_));
        out << buf;
    }
    if (traffic_run_) {
        const double wall =
            frames_ > 0 ? std::chrono::duration<double>(last_frame_ - setup_start_).count() : 0.0;
        const auto updates = static_cast<double>(traffic_run_->second);
        std::snprintf(
            buf, sizeof buf,
            ", \"traffic_seconds\": %.6f, \"vehicle_updates\": %lld, \"vehicle_updates_per_second\": %.0f",
            traffic_run_->first, static_cast<long long>(traffic_run_->second),
            wall > 0 ? updates / wall : 0.0);
        out << buf;
    }
    std::int64_t total = 0;
    std::string at;
    for (const auto& [place, count] : resumed_faults_) {
        total += count;
        if (!at.empty()) at += ", ";
        at += json_string(place) + ": " + std::to_string(count);
    }
    out << ", \"faults_resumed\": " << total << ", \"faults_resumed_at\": {" << at << "}";
    out << "}\n";
    return out ? "" : "cannot write " + file.string();
}

std::int64_t PeakResidentBytes() {
    std::ifstream status("/proc/self/status");
    std::string key;
    while (status >> key) {
        if (key == "VmHWM:") {
            std::int64_t kib = 0;
            status >> kib;
            return kib * 1024;
        }
        std::string rest;
        std::getline(status, rest);
    }
    return 0;
}

} // namespace kl

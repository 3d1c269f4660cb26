// Measurements of a run for --stats: set-up time (dialog closed to first frame shown), frame times
// peak memory, and the draw calls and vertices of a frame, written as JSON.
#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace kl {

class RunStatistics {
  public:
    void MarkSetUpStart();
    // Called at the end of every frame, with the draw calls and vertices the device counted in it.
    void MarkFrame(std::uint64_t draw_calls = 0, std::uint64_t vertices = 0);
    std::int64_t Frames() const { return frames_; }
    // The traffic state a run ended with, written as "traffic_digest" when set.
    void SetTrafficDigest(std::uint64_t digest) { traffic_digest_ = digest; }
    // The faults the scene resumed past, per place; written as "faults_resumed" (their total) and
    // "faults_resumed_at" (place: count), both also when there were none.
    void SetResumedFaults(std::vector<std::pair<std::string, std::int64_t>> places) {
        resumed_faults_ = std::move(places);
    }
    // Experiments: the traffic a run without a window ran, written as "traffic_seconds" (simulated),
    // "vehicle_updates" (vehicles stepped, summed over the steps) and "vehicle_updates_per_second"
    // (over the wall time from the set-up's start to the last frame).
    void SetTrafficRun(double simulated_seconds, std::int64_t vehicle_updates) {
        traffic_run_ = {simulated_seconds, vehicle_updates};
    }
    // Empty on success, else what went wrong.
    std::string Write(const std::filesystem::path& file) const;

  private:
    using Clock = std::chrono::steady_clock;
    Clock::time_point setup_start_{};
    Clock::time_point last_frame_{};
    double setup_seconds_ = -1;
    std::vector<double> frame_seconds_;
    std::vector<double> draw_calls_, vertices_;
    std::int64_t frames_ = 0;
    std::optional<std::uint64_t> traffic_digest_;
    std::optional<std::pair<double, std::int64_t>> traffic_run_;
    std::vector<std::pair<std::string, std::int64_t>> resumed_faults_;
};

// Peak resident memory of this process in bytes (0 when unknown).
std::int64_t PeakResidentBytes();

} // namespace kl

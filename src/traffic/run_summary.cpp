// The summary's figures are weighted by time, so that a run of uneven frames (a window's measured
// clock) counts each moment of its last third alike.
#include "traffic/run_summary.h"

#include "traffic/ring.h"
#include "traffic/scenario.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>

namespace kl {

namespace {

// Blocks kept before pairs of them merge: the last third is then found to within a 256th of the run.
constexpr std::size_t kMaxBlocks = 512;

std::int64_t third_of(std::int64_t frames) {
    return std::max<std::int64_t>(1, frames / 3);
}

void put_number(std::string& line, double value) {
    line += ',';
    if (!std::isfinite(value)) return;
    char buf[40];
    line.append(buf, std::to_chars(buf, buf + sizeof buf, value).ptr);
}

} // namespace

void RoadSpeeds::add(const RoadSpeeds& other) {
    if (other.VehicleSeconds > 0) Lowest = VehicleSeconds > 0 ? std::min(Lowest, other.Lowest) : other.Lowest;
    Seconds += other.Seconds;
    VehicleSeconds += other.VehicleSeconds;
    Speed += other.Speed;
    MainSpeed += other.MainSpeed;
    Square += other.Square;
}

void SummaryAccumulator::start(std::optional<std::int64_t> frames, std::int64_t frames_before) {
    RunFrames = frames;
    Before = frames_before;
    Seen = 0;
    Exact.clear();
    ExactFrames = 0;
    Blocks.clear();
    BlockFrames = 1;
}

void SummaryAccumulator::add_frame(std::vector<RoadSpeeds>& roads, const VehicleList& vehicles,
                                   double seconds) {
    roads.resize(std::max(roads.size(), static_cast<std::size_t>(vehicles.roads())));
    for (std::int32_t r = 0; r < vehicles.roads(); ++r) {
        const auto list = vehicles.road(r);
        if (list.empty()) {
            roads[static_cast<std::size_t>(r)].Seconds += seconds;
            continue;
        }
        RoadSpeeds f;
        f.Seconds = seconds;
        f.Lowest = std::numeric_limits<double>::infinity();
        double sum = 0, main = 0, square = 0;
        for (const Vehicle& v : list) {
            sum += v.Speed;
            square += v.Speed * v.Speed;
            if (v.Lane < MainLanes) main += v.Speed;
            f.Lowest = std::min(f.Lowest, v.Speed);
        }
        f.VehicleSeconds = static_cast<double>(list.size()) * seconds;
        f.Speed = sum * seconds;
        f.MainSpeed = main * seconds;
        f.Square = square * seconds;
        roads[static_cast<std::size_t>(r)].add(f);
    }
}

void SummaryAccumulator::frame(const VehicleList& vehicles, double seconds, bool moved) {
    const std::int64_t index = Before + Seen;
    Seen += 1;
    if (!(seconds > 0) || !std::isfinite(seconds)) moved = false;
    if (Blocks.empty() || Blocks.back().Frames == BlockFrames) {
        if (Blocks.size() == kMaxBlocks) {
            // Pairs merge: half as many blocks, each twice as long.
            for (std::size_t i = 0; i < kMaxBlocks / 2; ++i) {
                Block merged = std::move(Blocks[2 * i]);
                Block& second = Blocks[2 * i + 1];
                merged.Frames += second.Frames;
                merged.Roads.resize(std::max(merged.Roads.size(), second.Roads.size()));
                for (std::size_t r = 0; r < second.Roads.size(); ++r)
                    merged.Roads[r].add(second.Roads[r]);
                Blocks[i] = std::move(merged);
            }
            Blocks.resize(kMaxBlocks / 2);
            BlockFrames *= 2;
        }
        Blocks.emplace_back();
    }
    Block& block = Blocks.back();
    block.Frames += 1;
    const bool exact = RunFrames && index >= *RunFrames - third_of(*RunFrames) && index < *RunFrames;
    if (exact) ExactFrames += 1;
    if (!moved) return;
    if (!exact) {
        add_frame(block.Roads, vehicles, seconds);
        return;
    }
    // Worked out once, added to both.
    static thread_local std::vector<RoadSpeeds> this_frame;
    this_frame.assign(static_cast<std::size_t>(vehicles.roads()), RoadSpeeds{});
    add_frame(this_frame, vehicles, seconds);
    for (auto* into : {&block.Roads, &Exact}) {
        into->resize(std::max(into->size(), this_frame.size()));
        for (std::size_t r = 0; r < this_frame.size(); ++r)
            (*into)[r].add(this_frame[r]);
    }
}

std::vector<RoadSpeeds> SummaryAccumulator::last_third(std::int32_t roads) const {
    std::vector<RoadSpeeds> out;
    if (RunFrames && Before + Seen == *RunFrames && ExactFrames > 0) {
        out = Exact;
    } else {
        const std::int64_t wanted = third_of(Seen);
        std::int64_t taken = 0;
        for (auto b = Blocks.rbegin(); b != Blocks.rend() && taken < wanted; ++b) {
            taken += b->Frames;
            out.resize(std::max(out.size(), b->Roads.size()));
            for (std::size_t r = 0; r < b->Roads.size(); ++r)
                out[r].add(b->Roads[r]);
        }
    }
    out.resize(static_cast<std::size_t>(std::max(roads, 0)));
    return out;
}

double ring_road_growth_rate(const IdmParameters& P, double ring_length, std::span<const Vehicle> vehicles,
                             const VehicleLengths& lengths) {
    if (vehicles.empty() || !(ring_length > 0)) return std::numeric_limits<double>::quiet_NaN();
    double total = 0;
    for (const Vehicle& v : vehicles)
        total += lengths.of(v.Kind % 3, v.Kind >= 3);
    const auto per_lane = static_cast<int>(std::lround(static_cast<double>(vehicles.size()) / MainLanes));
    return ring_growth_rate(P, ring_length, per_lane, total / static_cast<double>(vehicles.size()));
}

void write_summary(std::ostream& out, std::string_view parameter, std::span<const double> values,
                   std::span<const SummaryRow> rows) {
    constexpr double nan = std::numeric_limits<double>::quiet_NaN();
    std::string text = std::string(kSummaryHeader) + "\n";
    for (const SummaryRow& row : rows) {
        const RoadSpeeds& s = row.Speeds;
        text += std::to_string(row.Road) + ",";
        text += parameter;
        put_number(text, static_cast<std::size_t>(row.Road) < values.size()
                             ? values[static_cast<std::size_t>(row.Road)]
                             : nan);
        text += ',';
        text += std::to_string(row.Vehicles);
        const bool any = s.VehicleSeconds > 0;
        const double mean = any ? s.Speed / s.VehicleSeconds : nan;
        put_number(text, mean);
        put_number(text, any ? std::sqrt(std::max(0.0, s.Square / s.VehicleSeconds - mean * mean)) : nan);
        put_number(text, any ? s.Lowest : nan);
        put_number(text, row.Length > 0 && s.Seconds > 0
                             ? s.MainSpeed / s.Seconds / (row.Length * MainLanes) * 3600
                             : nan);
        put_number(text, row.GrowthRate.value_or(nan));
        text += '\n';
    }
    out << text;
}

} // namespace kl

// File handling of the traffic outputs; what goes into them is the scene's business.
#include "app/traffic_outputs.h"

#include "platform/d3dx/image_save.h"

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <system_error>
#include <vector>

namespace kl {

namespace {

std::string open_file(const std::filesystem::path& path, const char* what, std::ofstream& stream) {
    errno = 0;
    stream.open(path, std::ios::out | std::ios::trunc | std::ios::binary);
    if (!stream) {
        const std::string reason = errno != 0 ? std::strerror(errno) : "cannot be opened for writing";
        return "cannot write the " + std::string(what) + " '" + path.string() + "': " + reason;
    }
    return {};
}

} // namespace

std::string TrafficOutputs::Open(const Options& options) {
    if (options.traffic_log) {
        Log.emplace();
        Log->path = *options.traffic_log;
        const std::string error = open_file(Log->path, "traffic log", Log->stream);
        if (!error.empty()) return error;
    }
    if (options.dump_traffic) {
        Dump.emplace();
        Dump->path = *options.dump_traffic;
        const std::string error = open_file(Dump->path, "traffic dump", Dump->stream);
        if (!error.empty()) return error;
    }
    if (options.trajectories) {
        Trajectories.emplace();
        Trajectories->path = *options.trajectories;
        const std::string error = open_file(Trajectories->path, "trajectories file", Trajectories->stream);
        if (!error.empty()) return error;
    }
    if (options.detectors) {
        Detectors.emplace();
        Detectors->path = *options.detectors;
        const std::string error = open_file(Detectors->path, "detectors file", Detectors->stream);
        if (!error.empty()) return error;
    }
    if (options.summary) {
        Summary.emplace();
        Summary->path = *options.summary;
        const std::string error = open_file(Summary->path, "summary", Summary->stream);
        if (!error.empty()) return error;
    }
    if (options.diagrams) {
        Diagrams.emplace();
        Diagrams->path = *options.diagrams;
        const std::string error = open_file(Diagrams->path, "diagrams picture", Diagrams->stream);
        if (!error.empty()) return error;
    }
    Watcher = std::make_unique<scene::TrafficWatch>(
        Log ? &Log->stream : nullptr, Dump ? &Dump->stream : nullptr,
        Trajectories ? &Trajectories->stream : nullptr, Detectors ? &Detectors->stream : nullptr);
    if (Summary) Watcher->write_summary_to(&Summary->stream, options.frames);
    if (Diagrams) Watcher->keep_road_diagrams();
    return {};
}

std::string TrafficOutputs::Finish() {
    std::string problems;
    auto close = [&](std::optional<File>& file, const char* what) {
        if (!file) return;
        file->stream.close();
        if (!file->stream)
            problems += "the " + std::string(what) + " '" + file->path.string() +
                        "' could not be written completely\n";
    };
    close(Log, "traffic log");
    close(Trajectories, "trajectories file");
    close(Detectors, "detectors file");
    if (Dump && Watcher && !Watcher->dumped()) {
        Dump->stream.close();
        std::error_code ec;
        std::filesystem::remove(Dump->path, ec);
        problems += "no traffic dump: the traffic never ran\n";
        Dump.reset();
    }
    close(Dump, "traffic dump");
    // Like the dump, a summary of traffic that never ran is not left behind.
    if (Summary && Watcher && !Watcher->dumped()) {
        Summary->stream.close();
        std::error_code ec;
        std::filesystem::remove(Summary->path, ec);
        problems += "no summary: the traffic never ran\n";
        Summary.reset();
    }
    close(Summary, "summary");
    if (Diagrams) {
        Diagrams->stream.close();
        const RgbaImage none;
        const RgbaImage& picture = Watcher ? Watcher->diagrams_picture() : none;
        std::string error = "the traffic never ran";
        if (picture.Width > 0 && picture.Height > 0) {
            std::vector<std::uint32_t> argb(picture.Pixels.size() / 4);
            for (std::size_t i = 0; i < argb.size(); ++i) {
                const std::uint8_t* p = &picture.Pixels[4 * i];
                argb[i] = 0xFF000000u | std::uint32_t{p[0]} << 16 | std::uint32_t{p[1]} << 8 | p[2];
            }
            error = d3dx::SaveArgbAsPng(Diagrams->path, picture.Width, picture.Height, argb);
        }
        if (!error.empty()) {
            std::error_code ec;
            std::filesystem::remove(Diagrams->path, ec);
            problems += "no diagrams picture '" + Diagrams->path.string() + "': " + error + "\n";
        }
    }
    if (!problems.empty()) problems.pop_back();
    return problems;
}

} // namespace kl

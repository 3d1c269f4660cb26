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
    // Each file asked for is opened before the run, so that a path that cannot be written is said
    // before any traffic has run for it.
    const auto open = [](const std::optional<std::filesystem::path>& given, std::optional<File>& file,
                         const char* what) -> std::string {
        if (!given) return {};
        file.emplace();
        file->path = *given;
        return open_file(file->path, what, file->stream);
    };
    // In this order, and none after the first that fails: a refused run leaves no empty files behind.
    const struct {
        const std::optional<std::filesystem::path>& given;
        std::optional<File>& file;
        const char* what;
    } outputs[] = {{options.traffic_log, Log, "traffic log"},
                   {options.dump_traffic, Dump, "traffic dump"},
                   {options.trajectories, Trajectories, "trajectories file"},
                   {options.detectors, Detectors, "detectors file"},
                   {options.summary, Summary, "summary"},
                   {options.diagrams, Diagrams, "diagrams picture"}};
    for (const auto& output : outputs)
        if (std::string error = open(output.given, output.file, output.what); !error.empty()) return error;
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

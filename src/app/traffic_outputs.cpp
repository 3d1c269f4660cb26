// File handling of the traffic outputs; what goes into them is the scene's business.
#include "app/traffic_outputs.h"

#include <cerrno>
#include <cstring>
#include <system_error>

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
    Watcher = std::make_unique<scene::TrafficWatch>(
        Log ? &Log->stream : nullptr, Dump ? &Dump->stream : nullptr,
        Trajectories ? &Trajectories->stream : nullptr, Detectors ? &Detectors->stream : nullptr);
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
    if (!problems.empty()) problems.pop_back();
    return problems;
}

} // namespace kl

// The traffic watcher of a run and the files it writes: the statistics log (--traffic-log), the dump
// of the traffic tables at the end (--dump-traffic), the trajectories, the loop detectors and the
// summary of an experiment (--summary) and road 0's diagrams (--diagrams). The
// files are opened before anything else runs, so that a path that cannot be written is reported
// before the user sits through a run.
#pragma once

#include "app/options.h"
#include "scene/traffic_watch.h"

#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <string>

namespace kl {

class TrafficOutputs {
  public:
    // Opens (and empties) the files the options name and makes the watcher. Empty on success, else
    // one line saying which file could not be opened and why.
    std::string Open(const Options& options);
    // Valid after a successful Open.
    scene::TrafficWatch& Watch() { return *Watcher; }
    // After the run: closes the files. Empty when everything asked for was written, else one line
    // per problem. A dump file is removed again when the scene never ran, so no empty or partial
    // dump is left behind.
    std::string Finish();

  private:
    struct File {
        std::filesystem::path path;
        std::ofstream stream;
    };
    std::optional<File> Log, Dump, Trajectories, Detectors;
    // Experiments.
    std::optional<File> Summary, Diagrams;
    std::unique_ptr<scene::TrafficWatch> Watcher;
};

} // namespace kl

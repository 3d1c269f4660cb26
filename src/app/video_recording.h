// --video: every frame read back before it is shown and encoded, with progress on stderr when the
// run's length is known.
#pragma once

#include "video/video_encoder.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

namespace kl {

// Creates (empties) the file so that a path that cannot be written is refused before the run;
// empty on success, else the message.
std::string PrepareVideoFile(const std::filesystem::path& file);

// "video: 12/300 frames [##----------]" for the progress line.
std::string VideoProgressLine(std::int64_t done, std::int64_t total);

class VideoRecording {
  public:
    // total_frames: the --frames count, for the progress bar; none shows no progress.
    VideoRecording(std::filesystem::path file, int quality, double step_seconds,
                   std::optional<std::int64_t> total_frames);

    // The frame drawn on the current device, width x height pixels. After a failure nothing more
    // is recorded.
    void Frame(int width, int height);
    // Completes the file; empty on success, else what went wrong first.
    std::string Finish();

  private:
    std::filesystem::path file_;
    video::VideoFormat format_;
    std::optional<std::int64_t> total_;
    video::VideoEncoder encoder_;
    bool opened_ = false;
    bool bar_open_ = false; // the progress line waits for its end of line
    std::string error_;
};

} // namespace kl

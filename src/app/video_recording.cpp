// The encoder is opened at the first frame, when the display mode actually set is known. yuv420p
// needs an even size, so an odd width or height loses its last column or row.
#include "app/video_recording.h"

#include "engine/cls3d_engine.h"
#include "platform/gfx/gl/gl_backend.h"

#include <fstream>
#include <iostream>
#include <system_error>
#include <vector>

namespace kl {

namespace {
constexpr int kBarWidth = 30;
}

std::string PrepareVideoFile(const std::filesystem::path& file) {
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    if (!out) {
        const std::error_code ec(errno, std::generic_category());
        return "cannot write the video " + file.string() + ": " + ec.message();
    }
    return {};
}

std::string VideoProgressLine(std::int64_t done, std::int64_t total) {
    const std::int64_t filled = total > 0 ? std::min<std::int64_t>(kBarWidth, done * kBarWidth / total) : 0;
    return "video: " + std::to_string(done) + "/" + std::to_string(total) + " frames [" +
           std::string(static_cast<std::size_t>(filled), '#') +
           std::string(static_cast<std::size_t>(kBarWidth - filled), '-') + "]";
}

VideoRecording::VideoRecording(std::filesystem::path file, int quality, double step_seconds,
                               std::optional<std::int64_t> total_frames)
    : file_(std::move(file)), total_(total_frames) {
    format_.Quality = quality;
    video::FrameRateOfStep(step_seconds, format_.RateNum, format_.RateDen);
}

void VideoRecording::Frame(int width, int height) {
    if (!error_.empty()) return;
    gfx::Device* device = CurrentDevice();
    if (device == nullptr) {
        error_ = "no device to read the video's frames from";
        return;
    }
    if (!opened_) {
        format_.Width = width & ~1;
        format_.Height = height & ~1;
        error_ = encoder_.Open(file_, format_);
        opened_ = error_.empty();
        if (!opened_) return;
    }
    const std::vector<std::uint32_t> argb = gfx::ReadBackBuffer(*device, 0, 0, width, height);
    if (argb.size() != static_cast<std::size_t>(width) * static_cast<std::size_t>(height)) {
        error_ = "the back buffer could not be read";
        return;
    }
    error_ = encoder_.AddFrame(argb.data(), width);
    if (!total_) return;
    const std::int64_t done = encoder_.FramesWritten();
    std::cerr << '\r' << VideoProgressLine(done, *total_) << (done == *total_ ? "\n" : "") << std::flush;
    bar_open_ = done != *total_;
}

std::string VideoRecording::Finish() {
    if (bar_open_) std::cerr << '\n';
    const std::string finished = encoder_.Finish();
    if (!error_.empty()) return "the video " + file_.string() + " is incomplete: " + error_;
    if (!finished.empty()) return "the video " + file_.string() + " is incomplete: " + finished;
    if (!opened_) {
        // The file made empty at the start holds nothing worth keeping.
        std::error_code ec;
        std::filesystem::remove(file_, ec);
        return "no video written to " + file_.string() + ": the scene showed no frame";
    }
    return {};
}

} // namespace kl

// An H.264 video file (yuv420p, in the container the file name asks for, MP4 for .mp4) made from
// 32-bit pixels one frame at a time through libavcodec and libavformat.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>

namespace kl::video {

struct VideoFormat {
    int Width = 0;
    int Height = 0;
    // Frames per second as a fraction, so that a step of 0.033 s plays at 1000/33.
    int RateNum = 25;
    int RateDen = 1;
    // libx264's constant rate factor: 0 lossless, 51 worst; 23 looks clean at a modest size.
    int Quality = 23;
};

class VideoEncoder {
  public:
    VideoEncoder();
    ~VideoEncoder();
    VideoEncoder(const VideoEncoder&) = delete;
    VideoEncoder& operator=(const VideoEncoder&) = delete;

    // Empty on success, else what went wrong. Width and height must be even and at least 2.
    std::string Open(const std::filesystem::path& file, const VideoFormat& format);
    // One frame: Width x Height pixels of rows `row_pixels` apart, top row first, each 0xAARRGGBB
    // (alpha ignored).
    std::string AddFrame(const std::uint32_t* argb, int row_pixels);
    // Drains the encoder and completes the file; empty on success. Called by the destructor too,
    // whose result is lost.
    std::string Finish();
    std::int64_t FramesWritten() const;

  private:
    struct State;
    std::unique_ptr<State> state_;
};

// The fraction nearest 1 / step_seconds with a denominator of at most 1000 (0.04 gives 25/1).
void FrameRateOfStep(double step_seconds, int& num, int& den);

} // namespace kl::video

// libx264 through libavcodec when the library has it (Debian's does), any other H.264 encoder
// otherwise; swscale turns the 32-bit pixels into yuv420p.
#include "video/video_encoder.h"

#include <cmath>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/opt.h>
#include <libswscale/swscale.h>
}

namespace kl::video {

namespace {

std::string av_error(const char* what, int code) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return std::string(what) + ": " + text;
}

} // namespace

struct VideoEncoder::State {
    AVFormatContext* format = nullptr;
    AVCodecContext* codec = nullptr;
    AVStream* stream = nullptr;
    SwsContext* scale = nullptr;
    AVFrame* frame = nullptr;
    AVPacket* packet = nullptr;
    std::int64_t frames = 0;
    bool header_written = false;
    bool finished = false;

    ~State() {
        sws_freeContext(scale);
        av_frame_free(&frame);
        av_packet_free(&packet);
        avcodec_free_context(&codec);
        if (format != nullptr) {
            if ((format->oformat->flags & AVFMT_NOFILE) == 0) avio_closep(&format->pb);
            avformat_free_context(format);
        }
    }

    // Hands every packet the encoder has ready to the file.
    std::string drain() {
        for (;;) {
            const int got = avcodec_receive_packet(codec, packet);
            if (got == AVERROR(EAGAIN) || got == AVERROR_EOF) return {};
            if (got < 0) return av_error("encoding failed", got);
            av_packet_rescale_ts(packet, codec->time_base, stream->time_base);
            packet->stream_index = stream->index;
            const int written = av_interleaved_write_frame(format, packet);
            if (written < 0) return av_error("writing the video failed", written);
        }
    }
};

VideoEncoder::VideoEncoder() = default;

VideoEncoder::~VideoEncoder() {
    if (state_) Finish();
}

std::string VideoEncoder::Open(const std::filesystem::path& file, const VideoFormat& f) {
    if (f.Width < 2 || f.Height < 2 || f.Width % 2 != 0 || f.Height % 2 != 0)
        return "the video needs an even width and height of at least 2";
    if (f.RateNum <= 0 || f.RateDen <= 0) return "the video needs a positive frame rate";
    // The libraries' own lines would bury the program's messages on stderr; failures come back as
    // codes, which the messages below name.
    av_log_set_level(AV_LOG_FATAL);
    auto s = std::make_unique<State>();
    const std::string name = file.string();
    // A name without a known extension still gets an MP4 file.
    if (avformat_alloc_output_context2(&s->format, nullptr, nullptr, name.c_str()) < 0 ||
        s->format == nullptr)
        if (avformat_alloc_output_context2(&s->format, nullptr, "mp4", name.c_str()) < 0 ||
            s->format == nullptr)
            return "no container for " + name;

    const AVCodec* encoder = avcodec_find_encoder_by_name("libx264");
    if (encoder == nullptr) encoder = avcodec_find_encoder(AV_CODEC_ID_H264);
    if (encoder == nullptr) return "this libavcodec has no H.264 encoder";
    s->stream = avformat_new_stream(s->format, nullptr);
    s->codec = avcodec_alloc_context3(encoder);
    s->frame = av_frame_alloc();
    s->packet = av_packet_alloc();
    if (s->stream == nullptr || s->codec == nullptr || s->frame == nullptr || s->packet == nullptr)
        return "out of memory for the video";

    AVCodecContext* c = s->codec;
    c->width = f.Width;
    c->height = f.Height;
    c->pix_fmt = AV_PIX_FMT_YUV420P;
    c->time_base = AVRational{f.RateDen, f.RateNum};
    c->framerate = AVRational{f.RateNum, f.RateDen};
    if ((s->format->oformat->flags & AVFMT_GLOBALHEADER) != 0) c->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    // A fast preset: the encoder shares the cores with the software renderer (DEVELOPING.md has
    // what the presets cost).
    av_opt_set(c->priv_data, "preset", "superfast", 0);
    av_opt_set(c->priv_data, "crf", std::to_string(f.Quality).c_str(), 0);
    if (const int opened = avcodec_open2(c, encoder, nullptr); opened < 0)
        return av_error("the H.264 encoder did not start", opened);
    if (const int copied = avcodec_parameters_from_context(s->stream->codecpar, c); copied < 0)
        return av_error("the video stream could not be described", copied);
    s->stream->time_base = c->time_base;
    s->stream->avg_frame_rate = c->framerate;

    if ((s->format->oformat->flags & AVFMT_NOFILE) == 0)
        if (const int opened = avio_open(&s->format->pb, name.c_str(), AVIO_FLAG_WRITE); opened < 0)
            return av_error(("cannot write " + name).c_str(), opened);
    if (const int written = avformat_write_header(s->format, nullptr); written < 0)
        return av_error(("cannot write " + name).c_str(), written);
    s->header_written = true;

    s->frame->format = c->pix_fmt;
    s->frame->width = c->width;
    s->frame->height = c->height;
    if (const int got = av_frame_get_buffer(s->frame, 0); got < 0) return av_error("no frame buffer", got);
    // Rows of 0xAARRGGBB words are B, G, R, A bytes in memory on this little-endian machine.
    s->scale = sws_getContext(c->width, c->height, AV_PIX_FMT_BGRA, c->width, c->height, c->pix_fmt,
                              SWS_BILINEAR, nullptr, nullptr, nullptr);
    if (s->scale == nullptr) return "no pixel conversion for the video";
    state_ = std::move(s);
    return {};
}

std::string VideoEncoder::AddFrame(const std::uint32_t* argb, int row_pixels) {
    if (!state_ || state_->finished) return "the video is not open";
    State& s = *state_;
    if (const int writable = av_frame_make_writable(s.frame); writable < 0)
        return av_error("no frame buffer", writable);
    const std::uint8_t* const rows[1] = {reinterpret_cast<const std::uint8_t*>(argb)};
    const int strides[1] = {row_pixels * 4};
    sws_scale(s.scale, rows, strides, 0, s.codec->height, s.frame->data, s.frame->linesize);
    s.frame->pts = s.frames;
    if (const int sent = avcodec_send_frame(s.codec, s.frame); sent < 0)
        return av_error("encoding failed", sent);
    s.frames += 1;
    return s.drain();
}

std::string VideoEncoder::Finish() {
    if (!state_ || state_->finished) return {};
    State& s = *state_;
    s.finished = true;
    std::string error;
    if (const int sent = avcodec_send_frame(s.codec, nullptr); sent < 0)
        error = av_error("encoding failed", sent);
    if (error.empty()) error = s.drain();
    if (s.header_written) {
        const int trailer = av_write_trailer(s.format);
        if (error.empty() && trailer < 0) error = av_error("writing the video failed", trailer);
    }
    if (s.format != nullptr && (s.format->oformat->flags & AVFMT_NOFILE) == 0) {
        const int closed = avio_closep(&s.format->pb);
        if (error.empty() && closed < 0) error = av_error("writing the video failed", closed);
    }
    return error;
}

std::int64_t VideoEncoder::FramesWritten() const {
    return state_ ? state_->frames : 0;
}

void FrameRateOfStep(double step_seconds, int& num, int& den) {
    const AVRational r = av_d2q(1.0 / step_seconds, 1000);
    num = r.num;
    den = r.den;
}

} // namespace kl::video

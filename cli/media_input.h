// A film read through FFmpeg's libraries: its container opened, the video stream to
// level chosen and its decoder opened. Only the file mode includes this.
#pragma once

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

#include <string>

namespace media {

// FFmpeg's text for an error code.
std::string describe(int error);

class Input {
public:
    Input() = default;
    Input(const Input&) = delete;
    Input& operator=(const Input&) = delete;
    ~Input();

    // Opens `path` as a file (never as a URL or a protocol's name), reads enough to know
    // its streams, picks the first video stream that is a picture sequence rather than
    // cover art, and opens a decoder for it. `interrupt` is polled during blocking
    // reads. False, with `error` one line, when any of it fails.
    bool open(const std::string& path, const AVIOInterruptCB& interrupt, std::string& error);

    AVFormatContext* format() const { return format_; }
    AVCodecContext*  decoder() const { return decoder_; }
    AVStream*        video() const { return format_->streams[videoIndex_]; }
    int              videoIndex() const { return videoIndex_; }

    // The film's length in seconds and its first time, where the container knows them
    // (0 for a length it does not know).
    double seconds() const;
    double startSeconds() const;

private:
    AVFormatContext* format_  = nullptr;
    AVCodecContext*  decoder_ = nullptr;
    int              videoIndex_ = -1;
};

} // namespace media

// A film written through FFmpeg's libraries: the container OUT's name asks for, under
// a temporary name beside OUT until it is complete; the levelled video encoded, every
// other stream copied packet for packet with the film's chapters, metadata and tags.
// Only the file mode includes this.
#pragma once

#include "media_convert.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace media {

class Input;

// What the video encoder is to be: the user's choice or OUT's container's default.
struct EncoderRequest {
    std::string              name;      // empty: the container's default
    std::vector<std::string> options;   // KEY=VALUE, later ones override earlier
    std::string              pixFmt;    // empty: the input's where the encoder takes it
};

class Output {
public:
    Output() = default;
    Output(const Output&) = delete;
    Output& operator=(const Output&) = delete;
    // Removes the temporary file unless the output was completed.
    ~Output();

    // The container from OUT's name, the video encoder opened for the input's video,
    // and a stream for every other stream of the input that OUT's container holds.
    // Nothing is written yet. False, with `error` one line and `usage` set when the
    // request itself cannot work (an unknown encoder, option or pixel format, a
    // container that cannot hold a stream).
    bool prepare(const std::string& outPath, const Input& in, const EncoderRequest& request, std::string& error,
                 bool& usage);

    // Creates the temporary file beside OUT and writes the container's header.
    bool begin(const AVIOInterruptCB& interrupt, std::string& error);

    // Encodes one levelled frame (its pts in the input video's time base), or with
    // null drains the encoder.
    bool encode(AVFrame* frame, std::string& error);
    // Copies a packet of a stream other than the levelled video; dropped when OUT
    // holds no such stream.
    bool copy(AVPacket& packet, std::string& error);

    // Writes the trailer, flushes the file to the disk and renames it to OUT (replacing
    // an existing OUT only with `overwrite`).
    bool finish(bool overwrite, std::string& error);

    // The frame to fill for the encoder, in its size and format.
    AVFrame* frame() const { return frame_; }
    const ColourModel& model() const { return model_; }
    AVPixelFormat pixelFormat() const { return encoder_->pix_fmt; }
    std::string describeEncoder() const;
    // Streams of the input left out because OUT's container cannot hold them.
    const std::vector<std::string>& leftOut() const { return leftOut_; }

private:
    bool writePackets(std::string& error);

    std::string            outPath_;
    std::string            tempPath_;
    AVFormatContext*       format_  = nullptr;
    AVCodecContext*        encoder_ = nullptr;
    AVFrame*               frame_   = nullptr;
    AVPacket*              packet_  = nullptr;
    AVRational             inVideoBase_{1, 1};
    std::vector<int>       streamOf_;   // output stream of each input stream; -1: none
    std::vector<AVRational> inBase_;    // time base of each input stream
    int                    videoOut_ = -1;
    ColourModel            model_{AVCOL_SPC_UNSPECIFIED, false};
    std::vector<std::string> leftOut_;
    bool                   done_ = false;
    // The last frames' times and durations, for their packets: as many as an encoder
    // holds back at most (x264's look-ahead and B-frames stay well below).
    std::vector<std::pair<int64_t, int64_t>> durations_ = std::vector<std::pair<int64_t, int64_t>>(512, {AV_NOPTS_VALUE, 0});
    std::size_t            nextDuration_ = 0;
};

} // namespace media

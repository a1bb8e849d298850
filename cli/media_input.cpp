#include "media_input.h"

namespace media {

std::string describe(int error)
{
    char text[AV_ERROR_MAX_STRING_SIZE] = "";
    av_strerror(error, text, sizeof text);
    return text;
}

Input::~Input()
{
    avcodec_free_context(&decoder_);
    avformat_close_input(&format_);
}

bool Input::open(const std::string& path, const AVIOInterruptCB& interrupt, std::string& error)
{
    format_ = avformat_alloc_context();
    if (format_ == nullptr) {
        error = "not enough memory";
        return false;
    }
    format_->interrupt_callback = interrupt;
    // "file:" keeps a name such as "concat:a|b" or "http:x" a name in this folder.
    int status = avformat_open_input(&format_, ("file:" + path).c_str(), nullptr, nullptr);
    if (status < 0) {
        error = "cannot read '" + path + "': " + describe(status);
        return false;
    }
    status = avformat_find_stream_info(format_, nullptr);
    if (status < 0) {
        error = "cannot read '" + path + "': " + describe(status);
        return false;
    }
    for (unsigned i = 0; i < format_->nb_streams && videoIndex_ < 0; ++i) {
        const AVStream* st = format_->streams[i];
        if (st->codecpar->codec_type == AVMEDIA_TYPE_VIDEO && (st->disposition & AV_DISPOSITION_ATTACHED_PIC) == 0)
            videoIndex_ = static_cast<int>(i);
    }
    if (videoIndex_ < 0) {
        error = "'" + path + "' has no video stream to level";
        return false;
    }
    const AVCodecParameters* par = video()->codecpar;
    const AVCodec* codec = avcodec_find_decoder(par->codec_id);
    if (codec == nullptr) {
        error = "cannot decode the video of '" + path + "': this FFmpeg has no decoder for "
              + avcodec_get_name(par->codec_id);
        return false;
    }
    decoder_ = avcodec_alloc_context3(codec);
    if (decoder_ == nullptr || avcodec_parameters_to_context(decoder_, par) < 0) {
        error = "not enough memory";
        return false;
    }
    decoder_->pkt_timebase = video()->time_base;
    decoder_->thread_count = 0;   // as many as the machine has
    status = avcodec_open2(decoder_, codec, nullptr);
    if (status < 0) {
        error = "cannot decode the video of '" + path + "': " + describe(status);
        return false;
    }
    if (decoder_->width <= 0 || decoder_->height <= 0 || decoder_->pix_fmt == AV_PIX_FMT_NONE) {
        error = "cannot decode the video of '" + path + "': its size or pixel format is unknown";
        return false;
    }
    return true;
}

double Input::seconds() const
{
    if (format_->duration > 0)
        return static_cast<double>(format_->duration) / AV_TIME_BASE;
    const AVStream* st = video();
    return st->duration > 0 ? static_cast<double>(st->duration) * av_q2d(st->time_base) : 0;
}

double Input::startSeconds() const
{
    const AVStream* st = video();
    if (st->start_time != AV_NOPTS_VALUE)
        return static_cast<double>(st->start_time) * av_q2d(st->time_base);
    return format_->start_time != AV_NOPTS_VALUE ? static_cast<double>(format_->start_time) / AV_TIME_BASE : 0;
}

} // namespace media

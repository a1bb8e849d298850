#include "media_output.h"

#include "media_input.h"

extern "C" {
#include <libavutil/opt.h>
#include <libavutil/pixdesc.h>
}

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace media {

namespace {

// What a user may take for granted when naming OUT: H.264 at a quality that looks like
// the source (CRF 18, x264's own "visually lossless" point) wherever the container
// holds it; VP9 at its recommended constant quality for WebM.
struct DefaultEncoder {
    const char* name;
    const char* options;   // KEY=VALUE,...
};
constexpr DefaultEncoder kH264 = {"libx264", "crf=18"};
constexpr DefaultEncoder kVp9 = {"libvpx-vp9", "crf=31,b=0,row-mt=1"};

std::string typeName(AVMediaType type)
{
    const char* name = av_get_media_type_string(type);
    return name != nullptr ? name : "unknown";
}

std::string streamName(const AVStream* st)
{
    return "stream #" + std::to_string(st->index) + " (" + typeName(st->codecpar->codec_type) + ", "
         + avcodec_get_name(st->codecpar->codec_id) + ")";
}

bool takes(const AVCodec* codec, AVPixelFormat format)
{
    if (codec->pix_fmts == nullptr)
        return true;
    for (const AVPixelFormat* f = codec->pix_fmts; *f != AV_PIX_FMT_NONE; ++f)
        if (*f == format)
            return true;
    return false;
}

std::string formatsOf(const AVCodec* codec)
{
    std::string list;
    for (const AVPixelFormat* f = codec->pix_fmts; f != nullptr && *f != AV_PIX_FMT_NONE; ++f)
        list += std::string(list.empty() ? "" : ", ") + av_get_pix_fmt_name(*f);
    return list;
}

// Whether the user's options choose how the encoder spends its bits: then the
// default's quality would override theirs (x264 takes a CRF over a QP) and is not given.
bool setsTheRate(const std::vector<std::string>& options)
{
    static const char* const kRateKeys[] = {"crf", "qp", "b", "b:v", "q", "qscale", "global_quality", "lossless",
                                            "cq-level", "x264-params", "x264opts"};
    for (const std::string& option : options)
        for (const char* key : kRateKeys)
            if (option.compare(0, option.find('='), key) == 0)
                return true;
    return false;
}

// Adds "K=V,K=V" (or one "K=V") to `dict`, a later key replacing an earlier one.
void addOptions(AVDictionary*& dict, const std::string& list, bool oneOption)
{
    std::size_t at = 0;
    while (at < list.size()) {
        std::size_t end = oneOption ? list.size() : list.find(',', at);
        if (end == std::string::npos)
            end = list.size();
        const std::string item = list.substr(at, end - at);
        const std::size_t eq = item.find('=');
        av_dict_set(&dict, item.substr(0, eq).c_str(), item.substr(eq + 1).c_str(), 0);
        at = end + 1;
    }
}

// The stream's side data that says how to show the picture rather than how it was
// coded: the rotation, stereo and 360° layouts, HDR mastering and light levels, the
// colour profile. What the old encoder said about its bit rates is not carried over.
bool describesThePicture(AVPacketSideDataType type)
{
    switch (type) {
    case AV_PKT_DATA_DISPLAYMATRIX:
    case AV_PKT_DATA_STEREO3D:
    case AV_PKT_DATA_SPHERICAL:
    case AV_PKT_DATA_MASTERING_DISPLAY_METADATA:
    case AV_PKT_DATA_CONTENT_LIGHT_LEVEL:
    case AV_PKT_DATA_ICC_PROFILE:
    case AV_PKT_DATA_DOVI_CONF:
        return true;
    default:
        return false;
    }
}

// What the old encoding's tags said of itself (its encoder, a muxer's statistics of
// bytes, frames and rates) no longer holds for the levelled video.
void dropStaleTags(AVDictionary*& tags)
{
    static const char* const kStale[] = {"encoder", "BPS", "DURATION", "NUMBER_OF_FRAMES", "NUMBER_OF_BYTES",
                                         "_STATISTICS_WRITING_APP", "_STATISTICS_WRITING_DATE_UTC", "_STATISTICS_TAGS"};
    for (const char* key : kStale) {
        // Matroska's statistics may carry a language suffix: BPS-eng.
        while (const AVDictionaryEntry* e = av_dict_get(tags, key, nullptr, AV_DICT_IGNORE_SUFFIX))
            av_dict_set(&tags, e->key, nullptr, 0);
    }
}

bool copySideData(const AVStream* from, AVStream* to, bool pictureOnly)
{
    for (int i = 0; i < from->nb_side_data; ++i) {
        const AVPacketSideData& sd = from->side_data[i];
        if (pictureOnly && !describesThePicture(sd.type))
            continue;
        uint8_t* data = av_stream_new_side_data(to, sd.type, sd.size);
        if (data == nullptr)
            return false;
        std::memcpy(data, sd.data, sd.size);
    }
    return true;
}

bool copyChapters(const AVFormatContext* from, AVFormatContext* to)
{
    if (from->nb_chapters == 0)
        return true;
    to->chapters = static_cast<AVChapter**>(av_calloc(from->nb_chapters, sizeof(AVChapter*)));
    if (to->chapters == nullptr)
        return false;
    for (unsigned i = 0; i < from->nb_chapters; ++i) {
        const AVChapter* c = from->chapters[i];
        AVChapter* copy = static_cast<AVChapter*>(av_mallocz(sizeof(AVChapter)));
        if (copy == nullptr)
            return false;
        to->chapters[to->nb_chapters++] = copy;
        copy->id = c->id;
        copy->time_base = c->time_base;
        copy->start = c->start;
        copy->end = c->end;
        if (av_dict_copy(&copy->metadata, c->metadata, 0) < 0)
            return false;
    }
    return true;
}

} // namespace

Output::~Output()
{
    avcodec_free_context(&encoder_);
    av_frame_free(&frame_);
    av_packet_free(&packet_);
    if (format_ != nullptr) {
        if (format_->pb != nullptr)
            avio_closep(&format_->pb);
        avformat_free_context(format_);
    }
    if (!done_ && !tempPath_.empty())
        ::unlink(tempPath_.c_str());
}

std::string Output::describeEncoder() const
{
    return std::string(encoder_->codec->name) + ", " + av_get_pix_fmt_name(encoder_->pix_fmt);
}

bool Output::prepare(const std::string& outPath, const Input& in, const EncoderRequest& request, std::string& error,
                     bool& usage)
{
    usage = true;
    outPath_ = outPath;
    if (avformat_alloc_output_context2(&format_, nullptr, nullptr, outPath.c_str()) < 0 || format_ == nullptr) {
        error = "cannot tell the container from the name '" + outPath + "': end it in .mp4, .mkv, .mov or .webm";
        return false;
    }
    const AVOutputFormat* container = format_->oformat;
    if ((container->flags & AVFMT_NOFILE) != 0 || container->video_codec == AV_CODEC_ID_NONE) {
        error = "'" + outPath + "' names no film container (" + container->name + "): end it in .mp4, .mkv, .mov or .webm";
        return false;
    }

    // The encoder and what it starts from.
    const AVCodec* codec = nullptr;
    AVDictionary* options = nullptr;
    std::string name = request.name;
    if (name.empty()) {
        const int h264 = avformat_query_codec(container, AV_CODEC_ID_H264, FF_COMPLIANCE_NORMAL);
        const DefaultEncoder* chosen = h264 == 1 || std::strcmp(container->name, "mpegts") == 0 ? &kH264
                                     : container->video_codec == AV_CODEC_ID_VP9                ? &kVp9
                                                                                                : nullptr;
        if (chosen != nullptr && (codec = avcodec_find_encoder_by_name(chosen->name)) != nullptr
            && !setsTheRate(request.options))
            addOptions(options, chosen->options, false);
        else
            codec = avcodec_find_encoder(container->video_codec);
        if (codec == nullptr) {
            error = std::string("this FFmpeg has no encoder for ") + avcodec_get_name(container->video_codec)
                  + ", the video of " + container->name + ": choose one with --encoder";
            return false;
        }
    } else {
        codec = avcodec_find_encoder_by_name(name.c_str());
        if (codec == nullptr) {
            error = "--encoder: unknown encoder '" + name + "' (ffmpeg -encoders lists those this FFmpeg has)";
            return false;
        }
        if (codec->type != AVMEDIA_TYPE_VIDEO) {
            error = "--encoder: '" + name + "' is no video encoder";
            return false;
        }
    }
    if (avformat_query_codec(container, codec->id, FF_COMPLIANCE_NORMAL) == 0) {
        av_dict_free(&options);
        error = std::string("the ") + container->name + " container of '" + outPath + "' cannot hold "
              + avcodec_get_name(codec->id) + " video (encoder " + codec->name + ")";
        return false;
    }
    for (const std::string& option : request.options)
        addOptions(options, option, true);

    // Its pixel format.
    const AVCodecContext* dec = in.decoder();
    const AVPixelFormat inFormat = dec->pix_fmt;
    AVPixelFormat outFormat = inFormat;
    if (!request.pixFmt.empty()) {
        outFormat = av_get_pix_fmt(request.pixFmt.c_str());
        if (outFormat == AV_PIX_FMT_NONE) {
            av_dict_free(&options);
            error = "--pix-fmt: unknown pixel format '" + request.pixFmt + "' (ffmpeg -pix_fmts lists them)";
            return false;
        }
        if (!takes(codec, outFormat)) {
            av_dict_free(&options);
            error = "--pix-fmt: " + std::string(codec->name) + " does not take " + request.pixFmt + " (it takes "
                  + formatsOf(codec) + ")";
            return false;
        }
    } else if (!takes(codec, inFormat)) {
        outFormat = avcodec_find_best_pix_fmt_of_list(codec->pix_fmts, inFormat, hasAlpha(inFormat) ? 1 : 0, nullptr);
    }

    // The colours: the input's model where both sides are YUV, and the tags as they came.
    const AVStream* inVideo = in.video();
    const AVCodecParameters* par = inVideo->codecpar;
    const ColourModel inModel = modelOf(inFormat, par->color_space, par->color_range, dec->height);
    model_ = modelOf(outFormat, isRgb(inFormat) ? AVCOL_SPC_UNSPECIFIED : inModel.matrix,
                     isRgb(inFormat) ? AVCOL_RANGE_MPEG : (inModel.fullRange ? AVCOL_RANGE_JPEG : AVCOL_RANGE_MPEG),
                     dec->height);

    encoder_ = avcodec_alloc_context3(codec);
    if (encoder_ == nullptr) {
        av_dict_free(&options);
        error = "not enough memory";
        usage = false;
        return false;
    }
    encoder_->width = dec->width;
    encoder_->height = dec->height;
    encoder_->pix_fmt = outFormat;
    // Frames go out at the times they came in: the input's own clock.
    inVideoBase_ = inVideo->time_base;
    encoder_->time_base = inVideo->time_base;
    encoder_->framerate = av_guess_frame_rate(in.format(), const_cast<AVStream*>(inVideo), nullptr);
    encoder_->sample_aspect_ratio = av_guess_sample_aspect_ratio(in.format(), const_cast<AVStream*>(inVideo), nullptr);
    encoder_->field_order = par->field_order;
    encoder_->color_primaries = par->color_primaries;
    encoder_->color_trc = par->color_trc;
    encoder_->chroma_sample_location = par->chroma_location;
    if (isRgb(inFormat) == isRgb(outFormat)) {
        encoder_->colorspace = par->color_space;
        encoder_->color_range = par->color_range;
    } else {
        encoder_->colorspace = model_.matrix;
        encoder_->color_range = isRgb(outFormat) ? AVCOL_RANGE_UNSPECIFIED
                              : model_.fullRange ? AVCOL_RANGE_JPEG
                                                 : AVCOL_RANGE_MPEG;
    }
    encoder_->thread_count = 0;
    if ((container->flags & AVFMT_GLOBALHEADER) != 0)
        encoder_->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    // x264 reads its preset and tuning before FFmpeg hands it a logger, and complains
    // about a bad one on standard error itself: the one line below says it instead.
    const int savedErr = ::dup(2), nullFd = ::open("/dev/null", O_WRONLY);
    if (savedErr >= 0 && nullFd >= 0)
        ::dup2(nullFd, 2);
    const int opened = avcodec_open2(encoder_, codec, &options);
    if (savedErr >= 0 && nullFd >= 0)
        ::dup2(savedErr, 2);
    if (savedErr >= 0)
        ::close(savedErr);
    if (nullFd >= 0)
        ::close(nullFd);
    if (opened < 0) {
        av_dict_free(&options);
        error = "cannot open the encoder " + std::string(codec->name) + " for " + std::to_string(dec->width) + "x"
              + std::to_string(dec->height) + " " + av_get_pix_fmt_name(outFormat)
              + (request.options.empty() ? "" : " with the options given") + ": " + describe(opened);
        return false;
    }
    if (const AVDictionaryEntry* unused = av_dict_get(options, "", nullptr, AV_DICT_IGNORE_SUFFIX)) {
        error = "--encoder-option: " + std::string(codec->name) + " has no option '" + unused->key + "'";
        av_dict_free(&options);
        return false;
    }
    av_dict_free(&options);

    usage = false;
    frame_ = av_frame_alloc();
    packet_ = av_packet_alloc();
    if (frame_ == nullptr || packet_ == nullptr) {
        error = "not enough memory";
        return false;
    }
    frame_->format = outFormat;
    frame_->width = encoder_->width;
    frame_->height = encoder_->height;
    frame_->colorspace = encoder_->colorspace;
    frame_->color_range = encoder_->color_range;
    frame_->color_primaries = encoder_->color_primaries;
    frame_->color_trc = encoder_->color_trc;
    frame_->sample_aspect_ratio = encoder_->sample_aspect_ratio;
    if (av_frame_get_buffer(frame_, 0) < 0) {
        error = "not enough memory";
        return false;
    }

    // The streams, in the input's order.
    const AVFormatContext* inFormatCtx = in.format();
    streamOf_.assign(inFormatCtx->nb_streams, -1);
    for (unsigned i = 0; i < inFormatCtx->nb_streams; ++i)
        inBase_.push_back(inFormatCtx->streams[i]->time_base);
    for (unsigned i = 0; i < inFormatCtx->nb_streams; ++i) {
        const AVStream* ist = inFormatCtx->streams[i];
        const AVCodecParameters* ipar = ist->codecpar;
        const bool video = static_cast<int>(i) == in.videoIndex();
        const AVMediaType type = ipar->codec_type;
        if (!video) {
            const bool kept = type == AVMEDIA_TYPE_VIDEO || type == AVMEDIA_TYPE_AUDIO || type == AVMEDIA_TYPE_SUBTITLE;
            const bool holds = ipar->codec_id != AV_CODEC_ID_NONE
                            && avformat_query_codec(container, ipar->codec_id, FF_COMPLIANCE_NORMAL) != 0;
            if (!holds && kept) {
                usage = true;
                error = "the " + std::string(container->name) + " container of '" + outPath + "' cannot hold "
                      + streamName(ist) + " of the input: give OUT a name in the input's container ("
                      + inFormatCtx->iformat->name + ")";
                return false;
            }
            if (!holds || !(kept || type == AVMEDIA_TYPE_DATA || type == AVMEDIA_TYPE_ATTACHMENT)) {
                leftOut_.push_back(streamName(ist));
                continue;
            }
        }
        AVStream* ost = avformat_new_stream(format_, nullptr);
        if (ost == nullptr) {
            error = "not enough memory";
            return false;
        }
        streamOf_[i] = ost->index;
        bool ok = av_dict_copy(&ost->metadata, ist->metadata, 0) >= 0;
        ost->disposition = ist->disposition;
        if (video) {
            videoOut_ = ost->index;
            dropStaleTags(ost->metadata);
            ok = ok && avcodec_parameters_from_context(ost->codecpar, encoder_) >= 0;
            ost->time_base = encoder_->time_base;
            ost->avg_frame_rate = ist->avg_frame_rate;
            ost->sample_aspect_ratio = encoder_->sample_aspect_ratio;
            ok = ok && copySideData(ist, ost, true);
        } else {
            ok = ok && avcodec_parameters_copy(ost->codecpar, ipar) >= 0;
            // The input's tag where OUT's container knows it for this codec, else the
            // container's own.
            unsigned tag = 0;
            const auto* const* tags = container->codec_tag;
            if (tags != nullptr && av_codec_get_id(tags, ipar->codec_tag) != ipar->codec_id
                && av_codec_get_tag2(tags, ipar->codec_id, &tag) != 0)
                ost->codecpar->codec_tag = 0;
            ost->time_base = ist->time_base;
            ost->avg_frame_rate = ist->avg_frame_rate;
            ost->r_frame_rate = ist->r_frame_rate;
            ost->sample_aspect_ratio = ist->sample_aspect_ratio;
            ok = ok && copySideData(ist, ost, false);
        }
        if (!ok) {
            error = "not enough memory";
            return false;
        }
    }
    if (av_dict_copy(&format_->metadata, inFormatCtx->metadata, 0) < 0 || !copyChapters(inFormatCtx, format_)) {
        error = "not enough memory";
        return false;
    }
    return true;
}

bool Output::begin(const AVIOInterruptCB& interrupt, std::string& error)
{
    // Beside OUT, so that the rename at the end stays on one file system, and hidden,
    // so that nobody takes it for the film.
    const std::size_t slash = outPath_.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : outPath_.substr(0, slash);
    const std::string base = slash == std::string::npos ? outPath_ : outPath_.substr(slash + 1);
    std::string name = folder + "/." + base + ".rangewick-XXXXXX";
    const int fd = ::mkstemp(&name[0]);
    if (fd < 0) {
        error = "cannot write in '" + folder + "': " + std::strerror(errno);
        return false;
    }
    tempPath_ = name;
    // The permissions a new file gets, not mkstemp's private ones.
    const mode_t mask = ::umask(0);
    ::umask(mask);
    ::fchmod(fd, 0666 & ~mask);
    ::close(fd);

    const int opened = avio_open2(&format_->pb, ("file:" + tempPath_).c_str(), AVIO_FLAG_WRITE, &interrupt, nullptr);
    if (opened < 0) {
        error = "cannot write '" + tempPath_ + "': " + describe(opened);
        return false;
    }
    const int written = avformat_write_header(format_, nullptr);
    if (written < 0) {
        error = "cannot write '" + outPath_ + "': " + describe(written);
        return false;
    }
    return true;
}

bool Output::writePackets(std::string& error)
{
    for (;;) {
        const int got = avcodec_receive_packet(encoder_, packet_);
        if (got == AVERROR(EAGAIN) || got == AVERROR_EOF)
            return true;
        if (got < 0) {
            error = "the encoder " + std::string(encoder_->codec->name) + " failed: " + describe(got);
            return false;
        }
        // Most encoders give no duration; the frame's own, as it came in, keeps the
        // last frame as long as it was (a container guesses otherwise).
        if (packet_->duration == 0)
            for (const auto& d : durations_)
                if (d.first == packet_->pts && packet_->pts != AV_NOPTS_VALUE)
                    packet_->duration = d.second;
        av_packet_rescale_ts(packet_, encoder_->time_base, format_->streams[videoOut_]->time_base);
        packet_->stream_index = videoOut_;
        const int written = av_interleaved_write_frame(format_, packet_);
        if (written < 0) {
            error = "cannot write '" + outPath_ + "': " + describe(written);
            return false;
        }
    }
}

bool Output::encode(AVFrame* frame, std::string& error)
{
    if (frame != nullptr) {
        durations_[nextDuration_++ % durations_.size()] = {frame->pts, frame->pkt_duration};
    }
    int sent = avcodec_send_frame(encoder_, frame);
    // An encoder whose packets wait to be taken takes the frame once they are written.
    while (sent == AVERROR(EAGAIN)) {
        if (!writePackets(error))
            return false;
        sent = avcodec_send_frame(encoder_, frame);
    }
    if (sent < 0 && sent != AVERROR_EOF) {
        error = "the encoder " + std::string(encoder_->codec->name) + " failed: " + describe(sent);
        return false;
    }
    return writePackets(error);
}

bool Output::copy(AVPacket& packet, std::string& error)
{
    const int out = packet.stream_index >= 0 && packet.stream_index < static_cast<int>(streamOf_.size())
                        ? streamOf_[packet.stream_index]
                        : -1;
    if (out < 0) {
        av_packet_unref(&packet);
        return true;
    }
    av_packet_rescale_ts(&packet, inBase_[packet.stream_index], format_->streams[out]->time_base);
    packet.stream_index = out;
    packet.pos = -1;
    const int written = av_interleaved_write_frame(format_, &packet);
    if (written < 0) {
        error = "cannot write '" + outPath_ + "': " + describe(written);
        return false;
    }
    return true;
}

bool Output::finish(bool overwrite, std::string& error)
{
    const int trailer = av_write_trailer(format_);
    const int closed = avio_closep(&format_->pb);
    if (trailer < 0 || closed < 0) {
        error = "cannot write '" + outPath_ + "': " + describe(trailer < 0 ? trailer : closed);
        return false;
    }
    // On the disk before it takes OUT's name: a crash after the rename leaves the
    // whole film, never a torn one under the final name.
    const int fd = ::open(tempPath_.c_str(), O_RDONLY);
    if (fd < 0 || ::fsync(fd) != 0) {
        error = "cannot write '" + outPath_ + "': " + std::strerror(errno);
        if (fd >= 0)
            ::close(fd);
        return false;
    }
    ::close(fd);
    int renamed = 0;
    if (overwrite) {
        renamed = std::rename(tempPath_.c_str(), outPath_.c_str());
    } else {
        // Never over a file that appeared while the film was being levelled.
        renamed = ::renameat2(AT_FDCWD, tempPath_.c_str(), AT_FDCWD, outPath_.c_str(), RENAME_NOREPLACE);
        if (renamed != 0 && (errno == EINVAL || errno == ENOSYS)) {
            renamed = ::link(tempPath_.c_str(), outPath_.c_str());
            if (renamed == 0)
                ::unlink(tempPath_.c_str());
        }
    }
    if (renamed != 0) {
        error = errno == EEXIST ? "'" + outPath_ + "' appeared while the film was levelled: not replaced (--overwrite replaces it)"
                                : "cannot rename the finished film to '" + outPath_ + "': " + std::strerror(errno);
        return false;
    }
    done_ = true;
    return true;
}

} // namespace media

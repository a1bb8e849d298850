// rangewick IN OUT, run as a user runs it on films that ffmpeg makes here: a clip with
// sound, subtitles, chapters, a rotation and a frame rate that drops, in Matroska and
// MP4. What is carried over is read back with ffprobe; the levelled frames are held to
// the raw-frame mode on the same frames, and to the engine over the film's real gaps.
#include "extras/extras.h"

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#ifndef RANGEWICK_EXE
#error "RANGEWICK_EXE names the rangewick program under test"
#endif

namespace {

namespace fs = std::filesystem;

std::string readFile(const fs::path& path)
{
    std::ifstream f(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

std::string quote(const std::string& s)
{
    std::string q = "'";
    for (char c : s)
        q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

const std::string kTool = quote(RANGEWICK_EXE);

// A folder per test, removed when the test passed; every command bounded in time.
class FilmRun {
public:
    FilmRun()
    {
        dir_ = fs::current_path() / (std::string("cli_film_") + ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir_);
        fs::create_directories(dir_);
    }
    ~FilmRun()
    {
        if (!::testing::Test::HasFailure())
            fs::remove_all(dir_);
    }

    std::string file(const std::string& name) const { return (dir_ / name).string(); }
    std::string q(const std::string& name) const { return quote(file(name)); }

    // Runs a shell command in the folder; its standard output and error go to `log`.
    int run(const std::string& command, const std::string& log = "log")
    {
        const std::string line = "cd " + quote(dir_.string()) + " && timeout -k 5 120 bash -c " + quote(command)
                               + " </dev/null >" + q(log) + " 2>&1";
        const int status = std::system(line.c_str());
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }

    std::string out(const std::string& command)
    {
        const int status = run(command, "out.txt");
        EXPECT_EQ(status, 0) << command << ": " << log("out.txt");
        return log("out.txt");
    }

    std::string log(const std::string& name = "log") const { return readFile(file(name)); }

    // The folder's files, but for the logs.
    std::vector<std::string> files() const
    {
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(dir_))
            if (e.path().extension() != ".txt" && e.path().filename() != "log")
                names.push_back(e.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }

private:
    fs::path dir_;
};

bool oneLine(const std::string& err)
{
    return err.compare(0, 11, "rangewick: ") == 0 && err.find('\n') == err.size() - 1;
}

// A film's frames as ffmpeg decodes them, stored as they are (no rotation applied).
std::string rawFrames(FilmRun& run, const std::string& film, const std::string& pixFmt = "bgr0")
{
    const std::string raw = film + "." + pixFmt + ".raw";
    EXPECT_EQ(run.run("ffmpeg -nostdin -v error -noautorotate -i " + film + " -map 0:v:0 -fps_mode passthrough "
                      "-f rawvideo -pix_fmt " + pixFmt + " -y " + raw),
              0)
        << run.log();
    return readFile(run.file(raw));
}

// The video's frame times in seconds, as ffprobe reads them.
std::vector<double> frameTimes(FilmRun& run, const std::string& film)
{
    std::vector<double> times;
    std::istringstream lines(run.out("ffprobe -v error -select_streams v -show_entries frame=pts_time -of csv=p=0 " + film));
    for (std::string line; std::getline(lines, line);)
        if (!line.empty())
            times.push_back(std::strtod(line.c_str(), nullptr));
    return times;
}

// bgr0 frames without their fourth bytes, which ffmpeg fills in as it likes (255 from
// gbrp, which H.264's RGB decodes to) and the tool writes as 0.
std::string colours(std::string frames)
{
    for (std::size_t i = 3; i < frames.size(); i += 4)
        frames[i] = 0;
    return frames;
}

std::string probe(FilmRun& run, const std::string& what, const std::string& film)
{
    return run.out("ffprobe -v error " + what + " -of compact " + film);
}

// 64x48 RGB frames whose levels drift, so that the points keep moving: 30 frames a
// second, 15 for twenty frames, 30 again; 90 frames in all, a 440 Hz tone, two
// subtitles and a chapter, stored losslessly as `encoder` keeps bgr0.
void makeFilm(FilmRun& run, const std::string& name, const std::string& encoder, const std::string& subtitles)
{
    std::ofstream(run.file("subs.srt")) << "1\n00:00:00,500 --> 00:00:01,500\nHello\n\n"
                                           "2\n00:00:02,000 --> 00:00:02,800\nWorld\n";
    std::ofstream(run.file("meta.txt")) << ";FFMETADATA1\ntitle=Holiday\n[CHAPTER]\nTIMEBASE=1/1000\nSTART=0\n"
                                           "END=1500\ntitle=Beach\n";
    const std::string frames =
        "testsrc2=s=64x48:r=30,format=gbrp,geq=r='25+N+(0.3+0.006*N)*r(X\\,Y)':g='25+N+(0.3+0.006*N)*g(X\\,Y)'"
        ":b='25+N+(0.3+0.004*N)*b(X\\,Y)',setpts='(if(lt(N,30),N,if(lt(N,50),30+2*(N-30),70+N-50)))/30/TB'";
    ASSERT_EQ(run.run("ffmpeg -nostdin -v error -f lavfi -i \"" + frames + "\" -f lavfi -i sine=f=440:d=4 -i subs.srt "
                      "-f ffmetadata -i meta.txt -map 0:v -map 1:a -map 2:s -map_metadata 3 -map_chapters 3 "
                      "-frames:v 90 -fps_mode passthrough -pix_fmt bgr0 " + encoder + " -c:a aac -c:s " + subtitles
                      + " -metadata:s:a language=fra -y made." + name),
              0)
        << run.log();
    // The rotation is written by a copy: ffmpeg 5.1 turns the frames when it encodes.
    ASSERT_EQ(run.run("ffmpeg -nostdin -v error -i made." + name + " -map 0 -c copy -metadata:s:v:0 rotate=90 -y in."
                      + name),
              0)
        << run.log();
}

TEST(Film, CarriesEveryStreamTagAndTimeAndLevelsAsTheRawFramesMode)
{
    struct Case {
        const char* container;
        const char* encoder;       // the source's, lossless in bgr0
        const char* subtitles;
        const char* toolEncoder;   // the tool's, the same
        bool        rotation;      // Matroska in FFmpeg 5.1 keeps none
    };
    const Case cases[] = {
        {"mkv", "-c:v ffv1", "srt", "--encoder ffv1", false},
        {"mp4", "-c:v libx264rgb -qp 0", "mov_text", "--encoder libx264rgb --encoder-option qp=0", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.container);
        FilmRun run;
        const std::string in = std::string("in.") + c.container, out = std::string("out.") + c.container;
        makeFilm(run, c.container, c.encoder, c.subtitles);
        ASSERT_EQ(run.run(kTool + " --progress " + c.toolEncoder + " " + in + " " + out, "tool.txt"), 0)
            << run.log("tool.txt");
        EXPECT_NE(run.log("tool.txt").find("100% "), std::string::npos) << run.log("tool.txt");

        // Streams, their tags, the film's title and chapters; bgr0 kept, as the encoder takes it.
        const std::string streams = "-show_entries stream=index,codec_type,codec_name,pix_fmt:stream_tags=language"
                                    ":format_tags=title -show_chapters";
        EXPECT_EQ(probe(run, streams, out), probe(run, streams, in));
        EXPECT_NE(probe(run, streams, in).find("title=Beach"), std::string::npos);
        // The sound and the subtitles packet for packet, and the video's times.
        for (const char* s : {"a", "s"}) {
            const std::string packets = "-select_streams " + std::string(s)
                                      + " -show_packets -show_data_hash md5 -show_entries packet=pts,dts,duration,data_hash";
            EXPECT_EQ(probe(run, packets, out), probe(run, packets, in)) << s;
        }
        const std::string times = "-select_streams v -show_entries frame=pts_time,pkt_duration_time";
        EXPECT_EQ(probe(run, times, out), probe(run, times, in));
        int longGaps = 0;
        const std::vector<double> shown = frameTimes(run, out);
        for (std::size_t f = 1; f < shown.size(); ++f)
            longGaps += shown[f] - shown[f - 1] > 0.05 ? 1 : 0;
        EXPECT_EQ(longGaps, 20) << "the twenty frames at 15 fps";
        if (c.rotation) {
            EXPECT_NE(probe(run, "-select_streams v -show_streams", out).find("rotation=90"), std::string::npos);
        }

        // The frames as the raw-frame mode levels the same frames.
        std::ofstream(run.file("in.raw"), std::ios::binary) << rawFrames(run, in);
        ASSERT_EQ(run.run(kTool + " --size 64x48 -i in.raw -o piped.raw"), 0) << run.log();
        const std::string levelled = colours(rawFrames(run, out));
        EXPECT_EQ(levelled.size(), std::size_t{64 * 48 * 4 * 90});
        EXPECT_TRUE(levelled == colours(readFile(run.file("piped.raw")))) << "the film's frames differ from the raw mode's";
        EXPECT_NE(levelled, colours(readFile(run.file("in.raw")))) << "nothing was levelled";
    }
}

// Following in seconds moves the points over each frame's real gap: twice as far over
// the frames at 15 fps, which a constant rate would not.
TEST(Film, FollowTimeTakesTheRealGaps)
{
    FilmRun run;
    makeFilm(run, "mkv", "-c:v ffv1", "srt");
    ASSERT_EQ(run.run(kTool + " --follow-time 0.5 --encoder ffv1 in.mkv out.mkv", "tool.txt"), 0) << run.log("tool.txt");
    const std::string input = rawFrames(run, "in.mkv");
    const std::vector<double> times = frameTimes(run, "in.mkv");
    ASSERT_EQ(times.size(), 90u);

    auto level = [&](bool realGaps) {
        extras::Instance x{};
        extras::setDefaults(x);
        x.options.followTime = 0.5;
        const std::size_t frameBytes = 64 * 48 * 4;
        std::string src(frameBytes, '\0'), dst(frameBytes, '\0'), all;
        for (std::size_t f = 0; f < times.size(); ++f) {
            src.assign(input, f * frameBytes, frameBytes);
            const BitmapView s{&src[0], 64, 48, 0}, d{&dst[0], 64, 48, 0};
            if (f == 0)
                extras::prime(s, x);
            extras::levelWithExtras(s, d, x, realGaps && f > 0 ? times[f] - times[f - 1] : 1.0 / 30);
            all += dst;
        }
        return all;
    };
    const std::string levelled = rawFrames(run, "out.mkv");
    EXPECT_TRUE(levelled == level(true)) << "not levelled over the film's gaps";
    EXPECT_FALSE(levelled == level(false)) << "the gaps made no difference: nothing is tested";
}

// YUV films come back in their own pixel format and colour tags, and with strength 0
// and a lossless encoder differ from the input by no more than ffmpeg's own round trip
// through 8-bit RGB with the same matrix and range: within a level where the chroma is
// not subsampled. testsrc2's sharp, saturated edges are the worst case for subsampled
// chroma; the README gives the figures for a photograph too.
TEST(Film, StrengthZeroGivesTheInputBackAsTheRoundTripThroughRgbDoes)
{
    struct Case {
        const char* pixFmt;
        const char* matrix;   // swscale's name for it
        const char* tags;     // ffmpeg's options for the source's tags
        const char* shown;    // what ffprobe then reports
        bool        full;     // 4:4:4: within a level
    };
    const Case cases[] = {
        {"yuv444p", "bt601", "-colorspace bt470bg -color_primaries bt470bg -color_trc gamma28 -color_range pc",
         "pix_fmt=yuv444p|color_range=pc|color_space=bt470bg", true},
        {"yuv444p", "bt709", "-colorspace bt709 -color_range tv", "color_range=tv|color_space=bt709", true},
        {"yuv420p", "bt709", "-colorspace bt709 -color_primaries bt709 -color_trc bt709 -color_range tv",
         "color_range=tv|color_space=bt709|color_transfer=bt709|color_primaries=bt709", false},
        {"yuv420p10le", "bt601", "-colorspace smpte170m -color_range tv", "color_range=tv|color_space=smpte170m", false},
    };
    FilmRun run;
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.pixFmt) + " " + c.tags);
        const std::string range = std::string(c.tags).find("pc") != std::string::npos ? "pc" : "tv";
        const std::string flags = ":flags=bicubic";
        ASSERT_EQ(run.run("ffmpeg -nostdin -v error -f lavfi -i testsrc2=s=96x64:r=25:d=1 -vf format=rgb24,scale="
                          "out_color_matrix=" + std::string(c.matrix) + ":out_range=" + range + ",format=" + c.pixFmt
                          + " " + c.tags + " -c:v ffv1 -y in.mkv && ffmpeg -nostdin -v error -i in.mkv -vf scale="
                          "in_color_matrix=" + c.matrix + ":in_range=" + range + flags + ",format=bgr0,scale="
                          "out_color_matrix=" + c.matrix + ":out_range=" + range + flags + ",format=" + c.pixFmt
                          + " -c:v ffv1 -y ffmpeg.mkv"),
                  0)
            << run.log();
        ASSERT_EQ(run.run(kTool + " --overwrite --strength 0 --encoder ffv1 in.mkv out.mkv", "tool.txt"), 0)
            << run.log("tool.txt");
        const std::string what = "-select_streams v -show_entries stream=pix_fmt,color_range,color_space,color_transfer,"
                                 "color_primaries";
        EXPECT_EQ(probe(run, what, "out.mkv"), probe(run, what, "in.mkv"));
        EXPECT_NE(probe(run, what, "out.mkv").find(c.shown), std::string::npos) << probe(run, what, "out.mkv");

        // The largest difference from the input, for luma and for chroma.
        const bool wide = std::string(c.pixFmt).find("10") != std::string::npos;
        const std::string in = rawFrames(run, "in.mkv", c.pixFmt);
        auto largest = [&](const std::string& film) {
            const std::string out = rawFrames(run, film, c.pixFmt);
            std::pair<int, int> most{0, 0};
            if (out.size() != in.size() || in.empty())
                return std::pair<int, int>{-1, -1};
            const std::size_t frameBytes = in.size() / 25, lumaBytes = 96 * 64 * (wide ? 2 : 1);
            for (std::size_t i = 0; i < in.size(); i += wide ? 2 : 1) {
                auto sample = [&](const std::string& s) {
                    return wide ? static_cast<uint8_t>(s[i]) | static_cast<uint8_t>(s[i + 1]) << 8
                                : static_cast<int>(static_cast<uint8_t>(s[i]));
                };
                int& m = i % frameBytes < lumaBytes ? most.first : most.second;
                m = std::max(m, std::abs(sample(in) - sample(out)));
            }
            return most;
        };
        const std::pair<int, int> tool = largest("out.mkv"), ffmpeg = largest("ffmpeg.mkv");
        ASSERT_GE(tool.first, 0) << "frames lost";
        EXPECT_LE(tool.first, ffmpeg.first);
        EXPECT_LE(tool.second, ffmpeg.second);
        if (c.full) {
            EXPECT_LE(tool.first, 1);
            EXPECT_LE(tool.second, 1);
        }
        std::printf("[ measured ] %s %s: strength 0 differs from the input by at most %d (luma), %d (chroma); "
                    "ffmpeg's round trip %d, %d\n",
                    c.pixFmt, c.matrix, tool.first, tool.second, ffmpeg.first, ffmpeg.second);
    }
}

// Each refusal is one line and an exit status, and leaves the folder as it was.
TEST(Film, RefusesWhatItCannotDoAndLeavesNoOutput)
{
    FilmRun run;
    ASSERT_EQ(run.run("ffmpeg -nostdin -v error -f lavfi -i testsrc2=s=64x48:r=25:d=1 -f lavfi -i sine=d=1 "
                      "-c:v libx264 -c:a aac -y in.mp4 && ffmpeg -nostdin -v error -f lavfi -i sine=d=1 -y sound.m4a "
                      "&& echo 'not a film' > text.mp4 && ln -s in.mp4 link.mp4 && echo keep > old.mkv"),
              0)
        << run.log();
    const std::vector<std::string> before = run.files();
    const struct {
        const char* args;
        int         status;
        const char* says;
    } cases[] = {
        {"missing.mp4 out.mkv", 1, "cannot read 'missing.mp4'"},
        {"text.mp4 out.mkv", 1, "cannot read 'text.mp4'"},
        {"sound.m4a out.mkv", 1, "has no video stream"},
        {"in.mp4 in.mp4", 2, "OUT is IN"},
        {"--overwrite in.mp4 link.mp4", 2, "OUT is IN"},
        {"in.mp4 old.mkv", 1, "'old.mkv' exists: --overwrite replaces it"},
        {"in.mp4 out.xyz", 2, "cannot tell the container"},
        {"--encoder libnothing in.mp4 out.mkv", 2, "unknown encoder 'libnothing'"},
        {"--encoder aac in.mp4 out.mkv", 2, "no video encoder"},
        {"--encoder-option nonsense=1 in.mp4 out.mkv", 2, "libx264 has no option 'nonsense'"},
        {"--encoder-option preset=sideways in.mp4 out.mkv", 2, "cannot open the encoder libx264"},
        {"--pix-fmt rgb48 in.mp4 out.mkv", 2, "libx264 does not take rgb48"},
        {"--encoder libx264 in.mp4 out.webm", 2, "cannot hold h264"},
        {"--margins 24 in.mp4 out.mkv", 2, "leave nothing of a 64x48 frame"},
        {"--rate 25 in.mp4 out.mkv", 2, "--rate is for raw frames"},
        {"--encoder ffv1 --size 64x48", 2, "--encoder is for films"},
        {"in.mp4", 2, "missing OUT"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(run.run(kTool + " " + c.args), c.status) << c.args << ": " << run.log();
        EXPECT_TRUE(oneLine(run.log())) << c.args << ": " << run.log();
        EXPECT_NE(run.log().find(c.says), std::string::npos) << c.args << ": " << run.log();
        EXPECT_EQ(run.files(), before) << c.args;
    }
    EXPECT_EQ(readFile(run.file("old.mkv")), "keep\n");
    ASSERT_EQ(run.run(kTool + " --overwrite in.mp4 old.mkv"), 0) << run.log();
    EXPECT_NE(probe(run, "-show_entries stream=codec_name", "old.mkv").find("codec_name=aac"), std::string::npos);
    EXPECT_EQ(run.files(), before);
}

// A write that fails half-way (a full disk: a small tmpfs where this runs as root, else
// a file size limit, which fails the same write) and an interrupt both end the run with
// one line and leave neither OUT nor the temporary file.
TEST(Film, AFullDiskOrAnInterruptLeavesNoOutput)
{
    FilmRun run;
    ASSERT_EQ(run.run("ffmpeg -nostdin -v error -f lavfi -i testsrc2=s=160x120:r=25:d=12 -f lavfi -i sine=d=12 "
                      "-c:v ffv1 -c:a pcm_s16le -y in.mkv && mkdir small"),
              0)
        << run.log();
    const bool tmpfs = run.run("mount -t tmpfs -o size=256k tmpfs small") == 0;
    const std::string limit = tmpfs ? "" : "ulimit -f 256; ";
    const int full = run.run(limit + kTool + " --encoder ffv1 in.mkv small/out.mkv");
    const std::string said = run.log();
    const std::string left = run.out("ls -A small");
    if (tmpfs)
        run.run("umount small");
    EXPECT_EQ(full, 1) << said;
    EXPECT_TRUE(oneLine(said)) << said;
    EXPECT_NE(said.find(tmpfs ? "No space left on device" : "File too large"), std::string::npos) << said;
    EXPECT_EQ(left, "");

    // Ctrl-C while the tool waits for more of a film that arrives through a pipe, once
    // its temporary file is there.
    ASSERT_EQ(run.run("head -c $(( $(stat -c %s in.mkv) * 7 / 10 )) in.mkv > part.mkv && mkfifo fifo.mkv"), 0)
        << run.log();
    // Waits up to 40 s for the temporary file, for a machine busy with other tests.
    const int status = run.run("{ cat part.mkv; sleep 60; } > fifo.mkv & feeder=$!; " + kTool
                               + " --encoder ffv1 fifo.mkv out.mkv & tool=$!; "
                                 "for i in $(seq 400); do ls .out.mkv.rangewick-* >/dev/null 2>&1 && break; sleep 0.1; done; "
                                 "ls .out.mkv.rangewick-* >/dev/null 2>&1 || echo 'no temporary file seen'; "
                                 "kill -INT $tool; wait $tool; status=$?; kill $feeder; exit $status");
    EXPECT_EQ(status, 130) << run.log();
    EXPECT_EQ(run.log(), "rangewick: interrupted: 'out.mkv' is not written\n");
    EXPECT_EQ(run.out("ls -A | grep -v -e '\\.txt$' -e '^log$' | tr '\\n' ' '"), "fifo.mkv in.mkv part.mkv small ");
}

} // namespace

// Real hosts loading the built module: ffmpeg (-vf frei0r), melt (MLT, the engine of
// Shotcut and Kdenlive) and gst-launch-1.0 (GStreamer's frei0r elements). Each finds
// the module through FREI0R_PATH in a folder that holds nothing else. What they make of
// a clip is held to the real command-line tool over the same frames: colour bit for
// bit, alpha as it came in. Every host command is bounded in time.
#include "photo_clips.h"

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <system_error>
#include <vector>

#ifndef RANGEWICK_FREI0R_MODULE
#error "RANGEWICK_FREI0R_MODULE names the module under test"
#endif
#ifndef RANGEWICK_EXE
#error "RANGEWICK_EXE names the rangewick program"
#endif
#ifndef RANGEWICK_VERSION
#error "RANGEWICK_VERSION is the project's version"
#endif

namespace {

namespace fs = std::filesystem;

constexpr const char* kHostTimeLimit = "60";   // seconds per host command

std::string readFile(const fs::path& path)
{
    std::ifstream f(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

void writeFile(const fs::path& path, const std::string& bytes)
{
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    f.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string quote(const std::string& s)
{
    std::string q = "'";
    for (char c : s)
        q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

bool haveProgram(const char* name)
{
    return std::system(("command -v " + std::string(name) + " >/dev/null 2>&1").c_str()) == 0;
}

#define REQUIRE_HOST(name)                                                                            \
    if (!haveProgram(name))                                                                           \
    GTEST_SKIP() << name << " is not installed (scripts/deps frei0r installs the hosts)"

// A folder per test: the module alone in lib/, and the files of the run.
class HostRun {
public:
    HostRun()
    {
        dir_ = fs::path(RANGEWICK_TEST_FILES) / (std::string("frei0r_host_")
                                     + ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir_);
        fs::create_directories(dir_ / "lib");
        fs::copy_file(RANGEWICK_FREI0R_MODULE, dir_ / "lib" / "rangewick.so");
    }
    ~HostRun()
    {
        if (!::testing::Test::HasFailure())
            fs::remove_all(dir_);
    }

    fs::path file(const std::string& name) const { return dir_ / name; }

    // Runs a shell command line with the module's folder as the hosts' only frei0r
    // folder and a GStreamer registry of its own; messages go to `log`.
    int run(const std::string& command, const std::string& log)
    {
        const std::string env = "FREI0R_PATH=" + quote((dir_ / "lib").string()) + " GST_REGISTRY="
                              + quote(file("gst-registry.bin").string()) + " ";
        const std::string line = env + "timeout -k 5 " + kHostTimeLimit + " " + command + " </dev/null >"
                               + quote(file(log).string()) + " 2>&1";
        const int status = std::system(line.c_str());
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }

    std::string log(const std::string& name) const { return readFile(file(name)); }

private:
    fs::path dir_;
};

// Frames of 32-bit BGRA pixels whose levels drift, so the points keep moving, and whose
// alpha differs from pixel to pixel.
std::string driftingClip(int w, int h, int frames, uint32_t seed)
{
    std::mt19937 rng(seed);
    std::string bytes;
    for (int f = 0; f < frames; ++f) {
        const uint32_t lo = 25 + 6 * static_cast<uint32_t>(f), span = 60 + 12 * static_cast<uint32_t>(f);
        for (int i = 0; i < w * h; ++i) {
            const char pixel[4] = {static_cast<char>(lo + rng() % span), static_cast<char>(lo + rng() % span),
                                   static_cast<char>(lo + rng() % (span / 2)), static_cast<char>(rng())};
            bytes.append(pixel, 4);
        }
    }
    return bytes;
}

// driftingClip, then a cut to `darkFrames` frames of dark grain.
std::string clipWithACut(int w, int h, int frames, int darkFrames, uint32_t seed)
{
    std::string bytes = driftingClip(w, h, frames, seed);
    std::mt19937 rng(seed + 1);
    for (int i = 0; i < w * h * darkFrames; ++i) {
        const char pixel[4] = {static_cast<char>(5 + rng() % 30), static_cast<char>(5 + rng() % 30),
                               static_cast<char>(5 + rng() % 20), static_cast<char>(rng())};
        bytes.append(pixel, 4);
    }
    return bytes;
}

// The command-line tool over the same frames; its output's top bytes are zero.
std::string levelledByTool(HostRun& run, const fs::path& input, int w, int h, const std::string& options)
{
    const fs::path out = run.file("tool.raw");
    const int status = run.run(quote(RANGEWICK_EXE) + " --size " + std::to_string(w) + "x" + std::to_string(h) + " "
                                   + options + " -i " + quote(input.string()) + " -o " + quote(out.string()),
                               "tool.log");
    EXPECT_EQ(status, 0) << run.log("tool.log");
    return readFile(out);
}

// A host's output against the tool's: every pixel's colour bytes as the tool gives
// them, alpha as in `alphaFrom`.
::testing::AssertionResult levelledAsTheToolDoes(const std::string& host, const std::string& tool,
                                                 const std::string& alphaFrom)
{
    if (host.size() != tool.size() || host.size() != alphaFrom.size() || host.empty())
        return ::testing::AssertionFailure() << "sizes differ: host " << host.size() << " bytes, tool " << tool.size()
                                             << ", input " << alphaFrom.size();
    for (std::size_t p = 0; p < host.size(); p += 4) {
        for (std::size_t c = 0; c < 3; ++c)
            if (host[p + c] != tool[p + c])
                return ::testing::AssertionFailure() << "pixel " << p / 4 << ", byte " << c << ": host "
                                                     << int(static_cast<uint8_t>(host[p + c])) << ", tool "
                                                     << int(static_cast<uint8_t>(tool[p + c]));
        if (host[p + 3] != alphaFrom[p + 3])
            return ::testing::AssertionFailure() << "pixel " << p / 4 << ": alpha "
                                                 << int(static_cast<uint8_t>(host[p + 3])) << ", input had "
                                                 << int(static_cast<uint8_t>(alphaFrom[p + 3]));
    }
    return ::testing::AssertionSuccess();
}

// ---- ffmpeg ---------------------------------------------------------------------------

// Settings as ffmpeg's filter arguments and as the tool's options, over raw BGRA frames
// whose width is a multiple of 16 (ffmpeg 5.1 hands other widths over mangled).
TEST(Frei0rInFfmpeg, LevelsEachSettingAsTheToolDoes)
{
    REQUIRE_HOST("ffmpeg");
    struct Case {
        const char* name;
        const char* filter;
        const char* toolOptions;
    };
    const Case cases[] = {
        {"defaults", "frei0r=rangewick", ""},
        {"defaults written out", "frei0r=rangewick:0.0001|0.01|0.25098|0.75294", ""},
        {"strong clips", "frei0r=rangewick:0.05|0.1", "--highlight-clip 5 --shadow-clip 10"},
        {"crossed limits", "frei0r=rangewick:0.0001|0.01|0.78431|0.19608", "--highlights-min 200 --shadows-max 50"},
        {"clipped preview", "frei0r=filter_name=rangewick:filter_params=0.0001|0.01|0.25098|0.75294|y",
         "--preview-clipped"},
        // ffmpeg's times are milliseconds: the follow time must take the tool's course at 25 fps.
        {"cuts and a follow time", "frei0r=rangewick:0.0001|0.01|0.25098|0.75294|n|y|0.02",
         "--cuts --follow-time 2 --rate 25"},
        // Margins as fractions of 48x20 and 16x3 frames: 0.25 of the height is 5 and 1 rows.
        {"strength, independence and margins", "frei0r=rangewick:0.0001|0.01|0.25098|0.75294|n|n|0|0.5|1|0.25|0|0|0.125",
         "--strength 0.5 --independence 1 --margins TOP,0,0,LEFT"},
    };
    HostRun run;
    for (auto [w, h] : {std::pair{48, 20}, std::pair{16, 3}}) {
        const std::string size = std::to_string(w) + "x" + std::to_string(h);
        const fs::path input = run.file("in.raw"), output = run.file("out.raw");
        const std::string clip = clipWithACut(w, h, 12, 4, static_cast<uint32_t>(w));
        writeFile(input, clip);
        // The cut changes the tool's output, so a module that missed it would differ.
        ASSERT_NE(levelledByTool(run, input, w, h, "--cuts"), levelledByTool(run, input, w, h, ""));
        for (const Case& c : cases) {
            const int status = run.run("ffmpeg -nostdin -v error -f rawvideo -pix_fmt bgra -s " + size
                                           + " -framerate 25 -i " + quote(input.string()) + " -vf " + quote(c.filter)
                                           + " -f rawvideo -pix_fmt bgra -y " + quote(output.string()),
                                       "ffmpeg.log");
            ASSERT_EQ(status, 0) << c.name << ": " << run.log("ffmpeg.log");
            std::string options = c.toolOptions;   // margins in the frame's own pixels
            for (auto [name, pixels] : {std::pair{"TOP", (h + 2) / 4}, std::pair{"LEFT", (w + 4) / 8}})
                if (options.find(name) != std::string::npos)
                    options.replace(options.find(name), std::string(name).size(), std::to_string(pixels));
            const std::string tool = levelledByTool(run, input, w, h, options);
            EXPECT_TRUE(levelledAsTheToolDoes(readFile(output), tool, clip)) << c.name << ", " << size;
        }
    }
}

// Photographs: a pan over dim flowers, a cut to a washed-out room, the room fading out
// and back in over half a second each way. With cuts on, ffmpeg levels it as the tool
// does, which starts afresh at the cut and nowhere in the fade.
TEST(Frei0rInFfmpeg, StartsAfreshAtACutInPhotoClipsAsTheToolDoes)
{
    REQUIRE_HOST("ffmpeg");
    const int w = 320, h = 180;
    const clips::Picture flowers = clips::loadPhoto(clips::kFlowers, 1134, 756);
    const clips::Picture room = clips::loadPhoto(clips::kRoom, 676, 449);
    ASSERT_FALSE(flowers.px.empty() || room.px.empty()) << "scripts/deps test installs libjxl-testdata";
    clips::Clip clip = clips::camera(flowers, w, h, 10, [](double t, double& x, double& y, double& s) {
        x = 100 + 60 * t, y = 80, s = 3;
    });
    clips::grade(clip, 20, 140);
    clips::Clip roomShot = clips::still(room, w, h, 27);
    clips::grade(roomShot, 100, 245);
    clips::eachSample(roomShot, [](double v, std::size_t i) {
        return i < 2 ? v : v * (i <= 14 ? 1 - (i - 2) / 12.0 : (i - 14) / 12.0);
    });
    clip.append(roomShot);

    HostRun run;
    const fs::path input = run.file("in.raw"), output = run.file("out.raw");
    const std::string bytes(reinterpret_cast<const char*>(clip.px.data()), clip.px.size() * 4);
    writeFile(input, bytes);
    ASSERT_EQ(run.run("ffmpeg -nostdin -v error -f rawvideo -pix_fmt bgra -s 320x180 -framerate 25 -i "
                          + quote(input.string()) + " -vf 'frei0r=rangewick:0.0001|0.01|0.25098|0.75294|n|y'"
                          + " -f rawvideo -pix_fmt bgra -y " + quote(output.string()),
                      "ffmpeg.log"),
              0)
        << run.log("ffmpeg.log");
    const std::string tool = levelledByTool(run, input, w, h, "--cuts --stats " + quote(run.file("stats.csv").string()));
    EXPECT_TRUE(levelledAsTheToolDoes(readFile(output), tool, bytes));
    std::string fresh;   // the frames that started afresh
    std::size_t frame = 0;
    const std::string stats = readFile(run.file("stats.csv"));
    for (std::size_t end = stats.find('\n'); (end = stats.find('\n', end + 1)) != std::string::npos; ++frame)
        if (stats.compare(end - 2, 2, ",1") == 0)
            fresh += std::to_string(frame) + " ";
    EXPECT_EQ(fresh, "0 10 ") << stats;
}

// Clocks as ffmpeg really runs them: an x264 clip from a phone whose rate drops from 30
// to 15 frames a second and rises again, played with its own timestamps; a 160x90 clip,
// whose frames ffmpeg 5.1 copies and sends with one bogus time each; and 300 frames a
// second, whose 3.3 ms steps only the host's unit reads right. Each levels as the tool
// levels the frames ffmpeg decodes.
TEST(Frei0rInFfmpeg, LevelsRealClocksAsTheToolDoes)
{
    REQUIRE_HOST("ffmpeg");
    HostRun run;
    // 30 fps for 30 frames, 15 fps for 20, 30 fps again.
    const std::string dropAndRise = "setpts='(if(lt(N,30),N/30,if(lt(N,50),1+(N-30)/15,1+20/15+(N-50)/30)))/TB'";
    struct Case {
        const char* what;
        int w, h, frames, rate;
        const char* source;   // how the frames are made from raw BGRA at that rate
        const char* file;     // and where they are stored
        const char* filter;
        const char* toolOptions;
    };
    const Case cases[] = {
        {"a rate that drops and rises", 64, 48, 70, 30, "-c:v libx264 -crf 16 -pix_fmt yuv420p -fps_mode passthrough",
         "clip.mkv", "frei0r=rangewick", ""},
        {"one bogus time (160x90)", 160, 90, 40, 30, "-c:v libx264 -crf 16 -pix_fmt yuv420p", "clip.mkv",
         "frei0r=rangewick", ""},
        // NUT keeps the stream's time base: Matroska's milliseconds would round the steps.
        {"300 fps, following in seconds", 48, 20, 40, 300, "-c:v ffv1 -pix_fmt bgra", "clip.nut",
         "frei0r=rangewick:0.0001|0.01|0.25098|0.75294|n|n|0.002", "--follow-time 0.2 --rate 300"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string size = std::to_string(c.w) + "x" + std::to_string(c.h);
        writeFile(run.file("in.raw"), driftingClip(c.w, c.h, c.frames, static_cast<uint32_t>(c.w)));
        const std::string retime = std::string(c.what) == "a rate that drops and rises" ? " -vf " + quote(dropAndRise) : "";
        ASSERT_EQ(run.run("ffmpeg -nostdin -v error -f rawvideo -pix_fmt bgra -s " + size + " -framerate "
                              + std::to_string(c.rate) + " -i "
                              + quote(run.file("in.raw").string()) + retime + " " + c.source + " -y "
                              + quote(run.file(c.file).string()),
                          "make.log"),
                  0)
            << run.log("make.log");
        const std::string play = "ffmpeg -nostdin -v error -i " + quote(run.file(c.file).string())
                               + " -fps_mode passthrough ";
        ASSERT_EQ(run.run(play + "-f rawvideo -pix_fmt bgra -y " + quote(run.file("plain.raw").string()), "plain.log"), 0)
            << run.log("plain.log");
        ASSERT_EQ(run.run(play + "-vf " + quote(c.filter) + " -f rawvideo -pix_fmt bgra -y "
                              + quote(run.file("out.raw").string()),
                          "ffmpeg.log"),
                  0)
            << run.log("ffmpeg.log");
        const std::string plain = readFile(run.file("plain.raw"));
        ASSERT_EQ(plain.size(), std::size_t{4} * static_cast<std::size_t>(c.w * c.h * c.frames)) << "frames lost or added";
        EXPECT_TRUE(levelledAsTheToolDoes(readFile(run.file("out.raw")),
                                          levelledByTool(run, run.file("plain.raw"), c.w, c.h, c.toolOptions), plain));
    }
}

// The filter rangewick --ffmpeg-filter prints, run in ffmpeg over a film, levels it as
// rangewick IN OUT does with the same options: every setting in the module's units.
TEST(Frei0rInFfmpeg, TheToolsFilterLevelsAFilmAsTheToolDoes)
{
    REQUIRE_HOST("ffmpeg");
    HostRun run;
    const std::string options = "--cuts --follow-time 0.5 --strength 0.75 --independence 0.5 --margins 4,0,6,8 "
                                "--shadow-clip 2.5 --highlights-min 70";
    writeFile(run.file("in.raw"), clipWithACut(64, 48, 14, 8, 64));
    const std::string film = quote(run.file("film.mkv").string());
    ASSERT_EQ(run.run("ffmpeg -nostdin -v error -f rawvideo -pix_fmt bgra -s 64x48 -framerate 25 -i "
                          + quote(run.file("in.raw").string()) + " -c:v ffv1 -pix_fmt bgr0 -y " + film,
                      "make.log"),
              0)
        << run.log("make.log");
    ASSERT_EQ(run.run(quote(RANGEWICK_EXE) + " --ffmpeg-filter " + options + " " + film, "filter.log"), 0)
        << run.log("filter.log");
    std::string filter = run.log("filter.log");
    ASSERT_EQ(filter.compare(0, 17, "frei0r=rangewick:"), 0) << filter;
    filter.pop_back();   // the line's end
    ASSERT_EQ(run.run("ffmpeg -nostdin -v error -i " + film + " -vf " + quote(filter) + " -c:v ffv1 -pix_fmt bgr0 -y "
                          + quote(run.file("ffmpeg.mkv").string()),
                      "ffmpeg.log"),
              0)
        << filter << ": " << run.log("ffmpeg.log");
    ASSERT_EQ(run.run(quote(RANGEWICK_EXE) + " " + options + " --encoder ffv1 " + film + " "
                          + quote(run.file("tool.mkv").string()),
                      "tool.log"),
              0)
        << run.log("tool.log");
    auto frames = [&](const std::string& name) {
        EXPECT_EQ(run.run("ffmpeg -nostdin -v error -i " + quote(run.file(name).string())
                              + " -f rawvideo -pix_fmt bgra -y " + quote(run.file(name + ".raw").string()),
                          "decode.log"),
                  0)
            << run.log("decode.log");
        return readFile(run.file(name + ".raw"));
    };
    const std::string plain = frames("film.mkv");
    ASSERT_EQ(plain.size(), std::size_t{64 * 48 * 4 * 22});
    EXPECT_TRUE(levelledAsTheToolDoes(frames("ffmpeg.mkv"), frames("tool.mkv"), plain)) << filter;
    EXPECT_NE(frames("tool.mkv"), plain);
}

// ---- MLT --------------------------------------------------------------------------------

TEST(Frei0rInMlt, ListsTheFilterWithItsParameters)
{
    REQUIRE_HOST("melt");
    HostRun run;
    ASSERT_EQ(run.run("melt -query filters", "filters.log"), 0) << run.log("filters.log");
    EXPECT_NE(run.log("filters.log").find("- frei0r.rangewick\n"), std::string::npos) << run.log("filters.log");

    ASSERT_EQ(run.run("melt -query filter=frei0r.rangewick", "query.log"), 0) << run.log("query.log");
    const std::string query = run.log("query.log");
    EXPECT_NE(query.find("identifier: frei0r.rangewick\n"), std::string::npos) << query;
    EXPECT_NE(query.find("version: " RANGEWICK_VERSION "\n"), std::string::npos) << query;
    // MLT reads the defaults back from an instance and prints them with six digits.
    const char* const parameters[] = {
        "title: highlight clip\n", "default: 0.0001\n",  "title: shadow clip\n", "default: 0.01\n",
        "title: highlights min\n", "default: 0.25098\n", "title: shadows max\n", "default: 0.752941\n",
        "title: preview clipped\n", "type: boolean\n", "title: cuts\n", "type: boolean\n",
        "title: follow time\n", "default: 0\n", "title: strength\n", "default: 1\n",
        "title: independence\n", "title: margin top\n", "title: margin right\n", "title: margin bottom\n",
        "title: margin left\n"};
    std::size_t at = 0;
    for (const char* p : parameters) {
        at = query.find(p, at);
        ASSERT_NE(at, std::string::npos) << "no \"" << p << "\" in order in:\n" << query;
    }
    EXPECT_EQ(query.find("identifier: 13\n"), std::string::npos) << "more than 13 parameters:\n" << query;
}

// MLT renders a clip in RGBA with and without the filter; what the filter changes is
// what the tool makes of the unfiltered render (whichever byte holds red: levelling
// treats the three colours alike). Parameters are given by name, as an editor's
// project holds them.
TEST(Frei0rInMlt, RendersAClipAsTheToolLevelsIt)
{
    REQUIRE_HOST("melt");
    REQUIRE_HOST("ffmpeg");
    HostRun run;
    const int w = 64, h = 48;
    writeFile(run.file("in.raw"), clipWithACut(w, h, 10, 4, 7));
    ASSERT_EQ(run.run("ffmpeg -nostdin -v error -f rawvideo -pix_fmt bgra -s 64x48 -framerate 25 -i "
                          + quote(run.file("in.raw").string()) + " -c:v rawvideo -pix_fmt rgba -y "
                          + quote(run.file("in.nut").string()),
                      "ffmpeg.log"),
              0)
        << run.log("ffmpeg.log");
    writeFile(run.file("profile"), "description=rangewick test\nframe_rate_num=25\nframe_rate_den=1\nwidth=64\n"
                                   "height=48\nprogressive=1\nsample_aspect_num=1\nsample_aspect_den=1\n"
                                   "display_aspect_num=4\ndisplay_aspect_den=3\ncolorspace=709\n");
    const auto render = [&](const std::string& filter, const std::string& out) {
        // On a busy machine melt now and then ends at once, successfully, having rendered
        // nothing (without this filter too): such a run is tried again.
        int status = 0;
        for (int attempt = 0; attempt < 3; ++attempt) {
            status = run.run("melt -quiet -profile " + quote(run.file("profile").string()) + " "
                                 + quote(run.file("in.nut").string()) + " " + filter + " -consumer avformat:"
                                 + quote(run.file(out).string()) + " f=rawvideo vcodec=rawvideo pix_fmt=rgba real_time=-1",
                             "melt.log");
            std::error_code missing;
            if (status != 0 || fs::file_size(run.file(out), missing) != 0)
                break;
        }
        return status;
    };
    ASSERT_EQ(render("", "plain.raw"), 0) << run.log("melt.log");
    ASSERT_EQ(render("-filter frei0r.rangewick 'shadow clip=0.02' 'preview clipped=0'", "filtered.raw"), 0)
        << run.log("melt.log");
    const std::string plain = readFile(run.file("plain.raw"));
    ASSERT_GE(plain.size(), std::size_t{4} * w * h * 5) << "MLT rendered fewer than 5 frames";
    const std::string tool = levelledByTool(run, run.file("plain.raw"), w, h, "--shadow-clip 2");
    EXPECT_TRUE(levelledAsTheToolDoes(readFile(run.file("filtered.raw")), tool, plain));
    EXPECT_NE(readFile(run.file("filtered.raw")), plain);
    // MLT's times are seconds: the follow time takes the same course as in ffmpeg.
    ASSERT_EQ(render("-filter frei0r.rangewick cuts=1 'follow time=0.02'", "extras.raw"), 0) << run.log("melt.log");
    EXPECT_TRUE(levelledAsTheToolDoes(readFile(run.file("extras.raw")),
                                      levelledByTool(run, run.file("plain.raw"), w, h, "--cuts --follow-time 2 --rate 25"),
                                      plain));

    // A slideshow at one picture in 5 s: 5 is also 200 fps in milliseconds, so only the
    // host's own unit reads it right.
    writeFile(run.file("profile"), "description=rangewick slides\nframe_rate_num=1\nframe_rate_den=5\nwidth=64\n"
                                   "height=48\nprogressive=1\nsample_aspect_num=1\nsample_aspect_den=1\n"
                                   "display_aspect_num=4\ndisplay_aspect_den=3\ncolorspace=709\n");
    ASSERT_EQ(run.run("ffmpeg -nostdin -v error -f rawvideo -pix_fmt bgra -s 64x48 -framerate 1/5 -i "
                          + quote(run.file("in.raw").string()) + " -c:v rawvideo -pix_fmt rgba -y "
                          + quote(run.file("in.nut").string()),
                      "ffmpeg.log"),
              0)
        << run.log("ffmpeg.log");
    ASSERT_EQ(render("", "slides.raw"), 0) << run.log("melt.log");
    ASSERT_EQ(render("-filter frei0r.rangewick 'follow time=0.2'", "slides-levelled.raw"), 0) << run.log("melt.log");
    const std::string slides = readFile(run.file("slides.raw"));
    ASSERT_GE(slides.size(), std::size_t{4} * w * h * 3) << "MLT rendered fewer than 3 slides";
    EXPECT_TRUE(levelledAsTheToolDoes(readFile(run.file("slides-levelled.raw")),
                                      levelledByTool(run, run.file("slides.raw"), w, h, "--follow-time 20 --rate 1/5"),
                                      slides));
}

// A project as Debian's Kdenlive 22.12 saved it, the effect added from editors/kdenlive
// with every setting off its default: clip shares 0.50 % and 2.00 %, limits 200 and 30,
// follow time 1.50 s, cuts on, strength 75.0 % (keyframed, as Kdenlive writes it),
// independence 50.0 %, margins 10, 5, 12.5 and 2.5 % of the frame. The project names
// clip.nut beside it, a 64x48 clip Kdenlive measured at 23 frames. melt renders it as
// the tool levels the same project rendered without the effect, with those settings in
// the tool's units: margins of 5, 3, 6 and 2 pixels.
TEST(Frei0rInMlt, RendersAKdenliveProjectAsTheToolLevelsIt)
{
    REQUIRE_HOST("melt");
    REQUIRE_HOST("ffmpeg");
    HostRun run;
    const int w = 64, h = 48;
    std::string clip = clipWithACut(w, h, 16, 8, 5);
    for (std::size_t p = 3; p < clip.size(); p += 4)
        clip[p] = '\xff';   // Kdenlive lays its video track over black: alpha would blend
    writeFile(run.file("in.raw"), clip);
    ASSERT_EQ(run.run("ffmpeg -nostdin -v error -f rawvideo -pix_fmt bgra -s 64x48 -framerate 25 -i "
                          + quote(run.file("in.raw").string()) + " -c:v rawvideo -pix_fmt rgba -y "
                          + quote(run.file("clip.nut").string()),
                      "ffmpeg.log"),
              0)
        << run.log("ffmpeg.log");

    std::string project = readFile(RANGEWICK_KDENLIVE_PROJECT);
    const std::size_t root = project.find(" root=\"");
    ASSERT_NE(root, std::string::npos);
    project.replace(root + 7, project.find('"', root + 7) - (root + 7), run.file("").parent_path().string());
    const std::size_t service = project.find("<property name=\"mlt_service\">frei0r.rangewick</property>");
    ASSERT_NE(service, std::string::npos) << "the project has no rangewick effect";
    const std::size_t filter = project.rfind("<filter ", service), end = project.find("</filter>", service);
    std::string plainProject = project;
    plainProject.erase(filter, end + 9 - filter);
    writeFile(run.file("levelled.kdenlive"), project);
    writeFile(run.file("plain.kdenlive"), plainProject);

    // The clip's frames only: the timeline's black track goes on for 20 minutes.
    const int frames = 23;
    const auto render = [&](const std::string& projectFile, const std::string& out) {
        int status = 0;
        for (int attempt = 0; attempt < 3; ++attempt) {   // see RendersAClipAsTheToolLevelsIt
            status = run.run("melt -quiet " + quote(run.file(projectFile).string()) + " out=" + std::to_string(frames - 1)
                                 + " -consumer avformat:" + quote(run.file(out).string())
                                 + " f=rawvideo vcodec=rawvideo pix_fmt=rgba an=1 real_time=-1",
                             "melt.log");
            std::error_code missing;
            if (status != 0 || fs::file_size(run.file(out), missing) != 0)
                break;
        }
        return status;
    };
    ASSERT_EQ(render("plain.kdenlive", "plain.raw"), 0) << run.log("melt.log");
    ASSERT_EQ(render("levelled.kdenlive", "levelled.raw"), 0) << run.log("melt.log");
    const std::string plain = readFile(run.file("plain.raw")), levelled = readFile(run.file("levelled.raw"));
    ASSERT_EQ(plain.size(), std::size_t{4} * w * h * frames);

    const std::vector<std::string> settings = {
        "--highlight-clip 0.5", "--shadow-clip 2", "--highlights-min 200", "--shadows-max 30",
        "--follow-time 1.5 --rate 25", "--cuts", "--strength 0.75", "--independence 0.5", "--margins 5,3,6,2"};
    std::string all;
    for (const std::string& s : settings)
        all += s + " ";
    EXPECT_TRUE(levelledAsTheToolDoes(levelled, levelledByTool(run, run.file("plain.raw"), w, h, all), plain));
    // Each setting shapes this render, so one that reached the module otherwise would show.
    for (const std::string& left : settings) {
        std::string others;
        for (const std::string& s : settings)
            others += s == left ? "" : s + " ";
        EXPECT_FALSE(levelledAsTheToolDoes(levelled, levelledByTool(run, run.file("plain.raw"), w, h, others), plain))
            << "without " << left;
    }
}

// ---- GStreamer ----------------------------------------------------------------------------

// The element and its properties as GStreamer names them, and a clip at 30000/1001
// frames per second, whose timestamps step by 33366666 or 33366667 nanoseconds.
TEST(Frei0rInGStreamer, TheElementLevelsAClipAsTheToolDoes)
{
    REQUIRE_HOST("gst-launch-1.0");
    REQUIRE_HOST("gst-inspect-1.0");
    HostRun run;
    ASSERT_EQ(run.run("gst-inspect-1.0 frei0r-filter-rangewick", "inspect.log"), 0) << run.log("inspect.log");
    const std::string inspect = run.log("inspect.log");
    for (const char* property :
         {"highlight-clip", "shadow-clip", "highlights-min", "shadows-max", "preview-clipped", "cuts", "follow-time",
          "strength", "independence", "margin-top", "margin-right", "margin-bottom", "margin-left"})
        EXPECT_NE(inspect.find(std::string("  ") + property + " "), std::string::npos) << property << " in:\n" << inspect;

    const int w = 40, h = 30;
    const std::string clip = clipWithACut(w, h, 15, 5, 11);
    writeFile(run.file("in.raw"), clip);
    struct Case {
        const char* properties;
        const char* toolOptions;
    };
    for (const Case& c : {Case{"", ""}, Case{"shadow-clip=0.1 preview-clipped=true", "--shadow-clip 10 --preview-clipped"},
                          Case{"cuts=true follow-time=0.02", "--cuts --follow-time 2 --rate 30000/1001"}}) {
        const int status = run.run("gst-launch-1.0 --no-fault -q filesrc location=" + quote(run.file("in.raw").string())
                                       + " ! rawvideoparse width=40 height=30 format=bgra framerate=30000/1001"
                                       + " ! frei0r-filter-rangewick " + c.properties
                                       + " ! filesink location=" + quote(run.file("out.raw").string()),
                                   "gst.log");
        ASSERT_EQ(status, 0) << run.log("gst.log");
        const std::string tool = levelledByTool(run, run.file("in.raw"), w, h, c.toolOptions);
        EXPECT_TRUE(levelledAsTheToolDoes(readFile(run.file("out.raw")), tool, clip)) << "properties: " << c.properties;
    }
}

} // namespace

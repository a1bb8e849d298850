// The real rangewick program, run the way a user runs it: frames through standard
// input and output (or files), settings on the command line, exit status and messages
// checked. The expected frames come from the engine itself, run in this process.
#include "frame_levelling.h"
#include "levels_instance.h"
#include "settings.h"

#include "build_path.h"
#include "process_run.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#ifndef RANGEWICK_EXE
#error "RANGEWICK_EXE names the rangewick program under test"
#endif

namespace {

std::string programPath()
{
    return buildPath(RANGEWICK_EXE);
}

using namespace process;

using ToolRun = Result;

// Files of the current test.
std::string scratch(const char* suffix)
{
    return testFile(std::string("cli_e2e_") + ::testing::UnitTest::GetInstance()->current_test_info()->name() + suffix);
}

// Runs rangewick with `args`, `input` on standard input; collects output and messages.
ToolRun runTool(const std::vector<std::string>& args, const std::string& input)
{
    return process::run(programPath(), args, input, scratch(""));
}

std::string bytesOf(const std::vector<uint32_t>& words)
{
    std::string s(words.size() * 4, '\0');
    for (std::size_t i = 0; i < words.size(); ++i)
        for (int b = 0; b < 4; ++b)
            s[i * 4 + b] = static_cast<char>((words[i] >> (8 * b)) & 0xFF);   // little-endian
    return s;
}

// What the tool must write, and its statistics, worked out with the engine here.
struct Expected {
    std::string frames;
    std::string stats;
};

Expected levelHere(const std::vector<uint32_t>& pixels, int32_t w, int32_t h, LevelsInstance inst, bool prime)
{
    const std::size_t n = static_cast<std::size_t>(w) * static_cast<std::size_t>(h);
    std::vector<uint32_t> src(n), dst(n), all;
    Expected e;
    e.stats = "frame,detected_black,detected_white,black,white,fresh\n";
    for (std::size_t f = 0; f * n < pixels.size(); ++f) {
        std::copy(pixels.begin() + static_cast<std::ptrdiff_t>(f * n),
                  pixels.begin() + static_cast<std::ptrdiff_t>((f + 1) * n), src.begin());
        const BitmapView s{src.data(), w, h, 0}, d{dst.data(), w, h, 0};
        if (f == 0 && prime) {
            snapPointsOnNextFrame(inst);
            levelFrame(s, d, inst);
        }
        const Detection det = levelFrame(s, d, inst);
        all.insert(all.end(), dst.begin(), dst.end());
        e.stats += std::to_string(f) + ',' + std::to_string(det.black) + ',' + std::to_string(det.white) + ','
                 + std::to_string(inst.blackPoint) + ',' + std::to_string(inst.whitePoint) + ','
                 + (f == 0 && prime ? '1' : '0') + '\n';
    }
    e.frames = bytesOf(all);
    return e;
}

// Frames whose levels drift from dim to bright, top bytes set, so the points move.
std::vector<uint32_t> driftingFrames(int32_t w, int32_t h, int frames, uint32_t seed)
{
    std::mt19937 rng(seed);
    std::vector<uint32_t> v;
    for (int f = 0; f < frames; ++f) {
        const uint32_t lo = 30 + 7 * static_cast<uint32_t>(f), span = 60 + 10 * static_cast<uint32_t>(f);
        for (int32_t i = 0; i < w * h; ++i) {
            const uint32_t r = lo + rng() % span, g = lo + rng() % span, b = lo + rng() % span;
            v.push_back((rng() & 0xFF000000u) | (r << 16) | (g << 8) | b);
        }
    }
    return v;
}

LevelsInstance defaults()
{
    LevelsInstance inst{};
    resetToDefaults(inst);
    return inst;
}

bool oneMessageLine(const std::string& err)
{
    return err.size() > 11 && err.compare(0, 11, "rangewick: ") == 0 && err.find('\n') == err.size() - 1;
}

TEST(CliEndToEnd, PrimedOutputStartsLevelled)
{
    // The worked example's frame: red 20, green 40, blue 200 comes out 0, 28, 255.
    const std::vector<uint32_t> frames(3 * 10 * 10, 0xFF14'28C8u);
    const ToolRun r = runTool({"--size", "10x10"}, bytesOf(frames));
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    ASSERT_EQ(r.out, bytesOf(std::vector<uint32_t>(3 * 10 * 10, 0x0000'1CFFu)));
}

// Without priming the stream is the host's, first frame black; primed, the first frame
// comes out levelled. Either way the statistics have a header and one line per frame.
TEST(CliEndToEnd, PrimingAndStatsOverManyFrames)
{
    const int32_t w = 16, h = 9;
    const std::vector<uint32_t> frames = driftingFrames(w, h, 8, 7);
    const std::string stats = scratch(".csv");
    std::string firstFrame[2];
    for (bool prime : {false, true}) {
        std::vector<std::string> args{"--size", "16x9", "--stats", stats};
        if (!prime)
            args.push_back("--no-prime");
        const ToolRun r = runTool(args, bytesOf(frames));
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.err, "");
        const Expected e = levelHere(frames, w, h, defaults(), prime);
        EXPECT_EQ(r.out, e.frames) << "prime " << prime;
        EXPECT_EQ(readFile(stats), e.stats) << "prime " << prime;
        firstFrame[prime] = r.out.substr(0, w * h * 4);
    }
    EXPECT_EQ(firstFrame[0], std::string(w * h * 4, '\0'));
    EXPECT_NE(firstFrame[1], firstFrame[0]);
    std::remove(stats.c_str());
}

TEST(CliEndToEnd, SettingsReachTheEngine)
{
    const int32_t w = 7, h = 5;
    const std::vector<uint32_t> frames = driftingFrames(w, h, 4, 11);
    LevelsInstance inst = defaults();
    const int32_t stored[] = {250, 0, 0, 255};
    settings::applyStored(inst, stored);
    const ToolRun fromConfig = runTool({"--size", "7x5", "--config", "Config(250, 0, 0, 255)"}, bytesOf(frames));
    ASSERT_EQ(fromConfig.status, 0) << fromConfig.err;
    EXPECT_EQ(fromConfig.out, levelHere(frames, w, h, inst, true).frames);

    const ToolRun fromOptions = runTool({"--size", "7x5", "--highlight-clip", "2.5", "--shadow-clip", "0",
                                     "--highlights-min", "0", "--shadows-max", "255"},
                                    bytesOf(frames));
    ASSERT_EQ(fromOptions.status, 0) << fromOptions.err;
    EXPECT_EQ(fromOptions.out, fromConfig.out);

    inst.previewClipped = 1;
    const ToolRun clipped = runTool({"--size", "7x5", "--config", "Config(250, 0, 0, 255)", "--preview-clipped"},
                                bytesOf(frames));
    ASSERT_EQ(clipped.status, 0) << clipped.err;
    EXPECT_EQ(clipped.out, levelHere(frames, w, h, inst, true).frames);
    EXPECT_NE(clipped.out, fromConfig.out);
}

TEST(CliEndToEnd, TruncatedInputWritesEveryCompleteFrameThenFails)
{
    const int32_t w = 8, h = 8;
    const std::vector<uint32_t> frames = driftingFrames(w, h, 3, 5);
    const std::string stats = scratch(".csv");
    std::string input = bytesOf(frames);
    input.resize(input.size() - 100);   // the third frame is cut short
    const ToolRun r = runTool({"--size", "8x8", "--stats", stats}, input);
    EXPECT_EQ(r.status, 1);
    const Expected e = levelHere(std::vector<uint32_t>(frames.begin(), frames.begin() + 2 * w * h), w, h,
                                 defaults(), true);
    EXPECT_EQ(r.out, e.frames);
    EXPECT_EQ(readFile(stats), e.stats);
    EXPECT_TRUE(oneMessageLine(r.err)) << r.err;
    EXPECT_NE(r.err.find("inside frame 2"), std::string::npos) << r.err;
    std::remove(stats.c_str());

    // Less than one frame: nothing to write, still a failure.
    const ToolRun partial = runTool({"--size", "8x8"}, std::string(10, '\x40'));
    EXPECT_EQ(partial.status, 1);
    EXPECT_EQ(partial.out, "");
    EXPECT_TRUE(oneMessageLine(partial.err)) << partial.err;
}

TEST(CliEndToEnd, EmptyInputIsACompleteRun)
{
    const std::string stats = scratch(".csv");
    const ToolRun r = runTool({"--size", "1920x1080", "--stats", stats}, "");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(readFile(stats), "frame,detected_black,detected_white,black,white,fresh\n");
    std::remove(stats.c_str());
}

TEST(CliEndToEnd, FilesGivenByNameWorkLikeTheStandardStreams)
{
    const int32_t w = 5, h = 3;
    const std::vector<uint32_t> frames = driftingFrames(w, h, 4, 9);
    const std::string in = scratch(".named.in"), out = scratch(".named.out");
    writeFile(in, bytesOf(frames));
    const ToolRun r = runTool({"--size", "5x3", "-i", in, "-o", out}, "ignored: standard input is not read");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(readFile(out), levelHere(frames, w, h, defaults(), true).frames);

    const ToolRun noStats = runTool({"--size", "5x3", "--stats", scratch(".no-such-dir/s.csv")}, bytesOf(frames));
    EXPECT_EQ(noStats.status, 1);
    EXPECT_TRUE(oneMessageLine(noStats.err)) << noStats.err;
    EXPECT_NE(noStats.err.find("s.csv"), std::string::npos) << noStats.err;

    const ToolRun missing = runTool({"--size", "5x3", "-i", scratch(".does-not-exist")}, "");
    EXPECT_EQ(missing.status, 1);
    EXPECT_TRUE(oneMessageLine(missing.err)) << missing.err;
    EXPECT_NE(missing.err.find("does-not-exist"), std::string::npos) << missing.err;
    std::remove(in.c_str());
    std::remove(out.c_str());
}

TEST(CliEndToEnd, InputArrivingInSmallPiecesThroughAPipe)
{
    // A pipe hands over what has been written so far: frames arrive in many reads.
    const int32_t w = 6, h = 4;
    const std::vector<uint32_t> frames = driftingFrames(w, h, 3, 13);
    const std::string input = bytesOf(frames);
    const std::string out = scratch(".out"), err = scratch(".err");
    const std::string command = quote(programPath()) + " --size 6x4 -o " + quote(out);
    PipedRun run = startPiped(command, true, err);
    ASSERT_NE(run.stream, nullptr);
    for (std::size_t at = 0; at < input.size(); at += 7) {
        const std::size_t n = input.size() - at < 7 ? input.size() - at : 7;
        ASSERT_EQ(std::fwrite(input.data() + at, 1, n, run.stream), n);
        std::fflush(run.stream);
    }
    const int status = finishPiped(run);
    EXPECT_EQ(status, 0) << readFile(err);
    EXPECT_EQ(readFile(out), levelHere(frames, w, h, defaults(), true).frames);
    std::remove(out.c_str());
    std::remove(err.c_str());
}

TEST(CliEndToEnd, ProgressCountsFramesOnStandardError)
{
    const std::string input = bytesOf(driftingFrames(4, 4, 5, 1));
    const ToolRun on = runTool({"--size", "4x4", "--progress"}, input);
    EXPECT_EQ(on.status, 0);
    EXPECT_EQ(on.out.size(), input.size());
    EXPECT_NE(on.err.find("rangewick: 5 frames, "), std::string::npos) << on.err;
    EXPECT_NE(on.err.find(" fps"), std::string::npos) << on.err;
    // Standard error is a file here, not a terminal: quiet unless asked.
    const ToolRun quiet = runTool({"--size", "4x4"}, input);
    EXPECT_EQ(quiet.err, "");
}

TEST(CliEndToEnd, BadOptionsExitTwoWithOneLine)
{
    const std::string oneFrame = bytesOf(std::vector<uint32_t>(4, 0x00808080u));
    const std::vector<std::vector<std::string>> bad = {
        {},
        {"--size", "65536x65536"},
        {"--size", "2x2", "--highlight-clip", "100.5"},
        {"--size", "2x2", "--config", "Config(1, 2, 3)"},
        {"--size", "2x2", "--frobnicate"},
        {"--size", "2x2", "--follow-time", "2"},
        {"--size", "2x2", "--follow-time", "-1", "--rate", "25"},
        {"--size", "2x2", "--cuts", "--rate", "0"},
    };
    for (const auto& args : bad) {
        const ToolRun r = runTool(args, oneFrame);
        std::string joined;
        for (const auto& a : args)
            joined += a + ' ';
        EXPECT_EQ(r.status, 2) << joined;
        EXPECT_EQ(r.out, "") << joined;
        EXPECT_TRUE(oneMessageLine(r.err)) << joined << ": " << r.err;
    }
}

// Sets the variable that forces a frame pass for the programs this test starts.
void forcePass(const char* value)
{
#ifdef _WIN32
    _putenv_s(levels::kPassVariable, value);
#else
    setenv(levels::kPassVariable, value, 1);
#endif
}

TEST(CliEndToEnd, HelpAndVersion)
{
    const ToolRun version = runTool({"--version"}, "");
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out.find("rangewick " RANGEWICK_VERSION), 0u);
    EXPECT_NE(version.out.find("frame pass: "), std::string::npos) << version.out;
    const ToolRun help = runTool({"--help"}, "");
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("--highlight-clip"), std::string::npos);
}

// Every pass this processor runs can be forced and says so; a pass it cannot run, or
// a name that is no pass, falls back to the fastest, says so, and levels all the same.
TEST(CliEndToEnd, ForcedPassIsNamedAndAnUnusableOneFallsBack)
{
    const char* const before = std::getenv(levels::kPassVariable);
    const std::string saved = before != nullptr ? before : "";
    const int32_t w = 40, h = 9;
    const std::vector<uint32_t> frames = driftingFrames(w, h, 3, 11);
    const Expected e = levelHere(frames, w, h, defaults(), true);
    const std::string fastest = levels::passName(levels::choosePass(nullptr).pass);
    for (int i = 0; i < levels::kPassCount; ++i) {
        const char* const name = levels::passName(static_cast<levels::Pass>(i));
        forcePass(name);
        const bool usable = levels::passUsable(static_cast<levels::Pass>(i));
        const ToolRun version = runTool({"--version"}, "");
        const std::string said = "frame pass: " + (usable ? std::string(name) : fastest) + " (";
        EXPECT_NE(version.out.find(said), std::string::npos) << name << ": " << version.out;
        const ToolRun r = runTool({"--size", "40x9"}, bytesOf(frames));
        EXPECT_EQ(r.status, 0) << name;
        EXPECT_EQ(r.out, e.frames) << name;
        EXPECT_EQ(r.err.empty(), usable) << name << ": " << r.err;
    }
    forcePass("avx9000");
    const ToolRun r = runTool({"--size", "40x9"}, bytesOf(frames));
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, e.frames);
    EXPECT_TRUE(oneMessageLine(r.err)) << r.err;
    EXPECT_NE(r.err.find("RANGEWICK_PASS=avx9000 is not a pass"), std::string::npos) << r.err;
    forcePass(saved.c_str());
}

TEST(CliEndToEnd, ClosedPipeEndsTheRunWithAMessage)
{
    // Far more than a pipe holds, so the tool is still writing when the reader goes.
    const std::string in = scratch(".in"), err = scratch(".err");
    writeFile(in, std::string(64 * 256 * 256 * 4, '\x30'));
    const std::string command = quote(programPath()) + " --size 256x256 -i " + quote(in);
    PipedRun run = startPiped(command, false, err);
    ASSERT_NE(run.stream, nullptr);
    char first[16];
    ASSERT_EQ(std::fread(first, 1, sizeof first, run.stream), sizeof first);
    const int status = finishPiped(run);
    EXPECT_EQ(status, 1);
    const std::string message = readFile(err);
    EXPECT_TRUE(oneMessageLine(message)) << message;
    EXPECT_NE(message.find("cannot write output"), std::string::npos) << message;
    std::remove(in.c_str());
    std::remove(err.c_str());
}

#ifndef _WIN32
TEST(CliEndToEnd, FullDiskEndsTheRunWithAMessage)
{
    if (!std::ifstream("/dev/full"))
        GTEST_SKIP() << "no /dev/full here";
    const ToolRun r = runTool({"--size", "4x4", "-o", "/dev/full"}, std::string(4 * 4 * 4 * 3, '\x30'));
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(oneMessageLine(r.err)) << r.err;
    EXPECT_NE(r.err.find("cannot write output"), std::string::npos) << r.err;
}
#endif

} // namespace

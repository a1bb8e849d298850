#include "frame_times.h"
#include "frei0r_filter.h"
#include "levels_instance.h"
#include "options.h"
#include "settings.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// Parses `args` as if given after the program name.
cli::ParseOutcome parse(const std::vector<const char*>& args, cli::Options& out)
{
    std::vector<const char*> argv{"rangewick"};
    argv.insert(argv.end(), args.begin(), args.end());
    return cli::parseOptions(static_cast<int>(argv.size()), argv.data(), out);
}

// The four stored settings, in script order.
std::vector<int32_t> stored(const cli::Options& o)
{
    return std::vector<int32_t>(o.stored, o.stored + settings::kStoredCount);
}

enum Index { kHighlightClip, kShadowClip };

TEST(CliOptions, DefaultsAreTheRecordsDefaults)
{
    cli::Options o;
    ASSERT_EQ(parse({"--size", "1920x1080"}, o).action, cli::Action::Run);
    LevelsInstance fresh{};
    resetToDefaults(fresh);
    EXPECT_EQ(stored(o), (std::vector<int32_t>{fresh.highlightClip, fresh.shadowClip, fresh.highlightsMin, fresh.shadowsMax}));
    EXPECT_FALSE(o.previewClipped);
    EXPECT_TRUE(o.prime);
    EXPECT_EQ(o.progress, cli::Progress::Auto);
    EXPECT_EQ(o.width, 1920);
    EXPECT_EQ(o.height, 1080);
    EXPECT_TRUE(o.input.empty());
    EXPECT_TRUE(o.output.empty());
    EXPECT_TRUE(o.stats.empty());
}

TEST(CliOptions, PercentagesAreReadExactlyToTheHundredth)
{
    const struct {
        const char* text;
        int32_t     share;
    } good[] = {{"0", 0},     {"0.01", 1},    {"0.1", 10},   {"1", 100},    {"2.5", 250},
                {"2.50", 250}, {"7.25", 725}, {"0.29", 29},  {"0.57", 57},  {"99.99", 9999},
                {"100", 10000}, {"100.00", 10000}, {"007.5", 750}, {"-0", 0}, {"+3", 300}};
    for (const auto& g : good) {
        cli::Options o;
        ASSERT_EQ(parse({"--size", "2x2", "--highlight-clip", g.text, "--shadow-clip", g.text}, o).action,
                  cli::Action::Run)
            << g.text;
        EXPECT_EQ(o.stored[kHighlightClip], g.share) << g.text;
        EXPECT_EQ(o.stored[kShadowClip], g.share) << g.text;
    }
}

TEST(CliOptions, RefusesBadSettingValuesNamingOptionAndValue)
{
    const struct {
        const char* option;
        const char* value;
        const char* says;
    } bad[] = {
        {"--highlight-clip", "1.234", "not a percentage"}, {"--highlight-clip", "1.", "not a percentage"},
        {"--highlight-clip", ".5", "not a percentage"},    {"--highlight-clip", "1,5", "not a percentage"},
        {"--highlight-clip", "", "not a percentage"},      {"--highlight-clip", "1e2", "not a percentage"},
        {"--highlight-clip", "5%", "not a percentage"},    {"--shadow-clip", " 5", "not a percentage"},
        {"--shadow-clip", "100.01", "out of range"},       {"--shadow-clip", "-0.01", "out of range"},
        {"--shadow-clip", "99999999999999999999999", "out of range"},
        {"--highlights-min", "256", "out of range"},       {"--highlights-min", "-1", "out of range"},
        {"--shadows-max", "2.5", "not a level"},           {"--shadows-max", "0x10", "not a level"},
        {"--shadows-max", "4294967296", "out of range"},
    };
    for (const auto& b : bad) {
        cli::Options o;
        const cli::ParseOutcome r = parse({"--size", "2x2", b.option, b.value}, o);
        ASSERT_EQ(r.action, cli::Action::Fail) << b.option << ' ' << b.value;
        EXPECT_NE(r.message.find(b.option), std::string::npos) << r.message;
        EXPECT_NE(r.message.find(std::string("'") + b.value + "'"), std::string::npos) << r.message;
        EXPECT_NE(r.message.find(b.says), std::string::npos) << r.message;
        EXPECT_EQ(r.message.find('\n'), std::string::npos) << r.message;
    }
}

// Seconds, rates, strengths and margins are read exactly from their digits; anything
// else, a value out of range, a follow time without a rate or margins that leave
// nothing to count is refused in one line.
TEST(CliOptions, TheLevellingsExtras)
{
    cli::Options o;
    ASSERT_EQ(parse({"--size", "2x2", "--cuts", "--follow-time", "2.5", "--rate", "30000/1001"}, o).action,
              cli::Action::Run);
    EXPECT_TRUE(o.cuts);
    EXPECT_EQ(o.followTime, 2.5);
    EXPECT_EQ(o.frameSeconds, 1001.0 / 30000);
    for (auto [text, seconds] : {std::pair{"25", 1 / 25.0}, std::pair{"29.97", 100 / 2997.0}, std::pair{"50/2", 1 / 25.0},
                                 std::pair{"0.5", 2.0}}) {
        ASSERT_EQ(parse({"--size", "2x2", "--rate", text}, o).action, cli::Action::Run) << text;
        EXPECT_EQ(o.frameSeconds, seconds) << text;
    }
    ASSERT_EQ(parse({"--size", "64x48", "--strength", "0.25", "--margins", "6,0,7,1"}, o).action, cli::Action::Run);
    EXPECT_EQ(o.strength, 0.25);
    EXPECT_EQ(std::vector<int32_t>(o.margins, o.margins + 4), (std::vector<int32_t>{6, 0, 7, 1}));
    ASSERT_EQ(parse({"--size", "64x48", "--margins", "23"}, o).action, cli::Action::Run);
    EXPECT_EQ(std::vector<int32_t>(o.margins, o.margins + 4), (std::vector<int32_t>{23, 23, 23, 23}));
    const struct {
        std::vector<const char*> args;
        const char*              says;
    } bad[] = {
        {{"--follow-time", "2"}, "--follow-time needs the frame rate"},
        {{"--follow-time", "-1", "--rate", "25"}, "expected seconds"},
        {{"--follow-time", "100.001", "--rate", "25"}, "expected seconds"},
        {{"--follow-time", "1,5", "--rate", "25"}, "expected seconds"},
        {{"--follow-time", "", "--rate", "25"}, "expected seconds"},
        {{"--rate", "0"}, "expected frames per second"},
        {{"--rate", "25/0"}, "expected frames per second"},
        {{"--rate", "25fps"}, "expected frames per second"},
        {{"--cuts=yes"}, "takes no value"},
        {{"--strength", "1.01"}, "expected a number from 0 to 1"},
        {{"--strength", "-0.5"}, "expected a number from 0 to 1"},
        {{"--margins", "1,2,3"}, "expected TOP,RIGHT,BOTTOM,LEFT"},
        {{"--margins", "1,2,3,4,5"}, "expected TOP,RIGHT,BOTTOM,LEFT"},
        {{"--margins", "-1"}, "expected TOP,RIGHT,BOTTOM,LEFT"},
        {{"--margins", "1"}, "leave nothing of a 2x2 frame"},
        {{"--margins", "0,1,0,1"}, "leave nothing of a 2x2 frame"},
    };
    for (const auto& b : bad) {
        std::vector<const char*> args{"--size", "2x2"};
        args.insert(args.end(), b.args.begin(), b.args.end());
        cli::Options fresh;
        const cli::ParseOutcome r = parse(args, fresh);
        ASSERT_EQ(r.action, cli::Action::Fail) << b.args[0] << ' ' << b.says;
        EXPECT_NE(r.message.find(b.says), std::string::npos) << r.message;
        EXPECT_EQ(r.message.find('\n'), std::string::npos) << r.message;
    }
}

// The line's grammar and the clamping are the settings' own; here, that --config
// reaches them and that later options override earlier ones, a --config line all four.
TEST(CliOptions, ConfigLineIsClampedLikeTheScriptCommandAndLaterSettingsOverride)
{
    cli::Options o;
    ASSERT_EQ(parse({"--size", "2x2", "--config=VirtualDub.video.filters.instance[0].Config(-5, 20000, 300, -1);"}, o)
                  .action,
              cli::Action::Run);
    EXPECT_EQ(stored(o), (std::vector<int32_t>{0, 10000, 255, 0}));

    ASSERT_EQ(parse({"--size", "2x2", "--config", "Config(1, 2, 3, 4)", "--shadow-clip", "3"}, o).action,
              cli::Action::Run);
    EXPECT_EQ(stored(o), (std::vector<int32_t>{1, 300, 3, 4}));
    ASSERT_EQ(parse({"--size", "2x2", "--shadow-clip", "3", "--config", "Config(1, 2, 3, 4)", "--shadows-max=255"}, o)
                  .action,
              cli::Action::Run);
    EXPECT_EQ(stored(o), (std::vector<int32_t>{1, 2, 3, 255}));

    for (const char* bad : {"Config(1, 2, 3)", ""}) {
        const cli::ParseOutcome r = parse({"--size", "2x2", "--config", bad}, o);
        EXPECT_EQ(r.action, cli::Action::Fail) << bad;
        EXPECT_NE(r.message.find("--config"), std::string::npos) << r.message;
    }
}

TEST(CliOptions, RefusesMalformedCommandLines)
{
    const std::vector<std::vector<const char*>> bad = {
        {},                                      // no size
        {"-i", "in.raw"},                        // still no size
        {"--size"},                              // size without value
        {"--size", "2x2", "--stats"},            // value missing at the end
        {"--size", "2x2", "--bogus"},
        {"--size", "2x2", "-x"},
        {"--size", "2x2", "--no-prime=yes"},
        {"--size", "2x2", "--preview-clipped=1"},
        {"--size", "2x2", "stray"},
        {"--size", "2x2", "--stats="},
    };
    for (const auto& args : bad) {
        cli::Options o;
        const cli::ParseOutcome r = parse(args, o);
        std::string joined;
        for (const char* a : args)
            joined += std::string(a) + ' ';
        EXPECT_EQ(r.action, cli::Action::Fail) << joined;
        EXPECT_FALSE(r.message.empty()) << joined;
        EXPECT_EQ(r.message.find('\n'), std::string::npos) << r.message;
    }
}

TEST(CliOptions, HelpAndVersionNeedNoSize)
{
    cli::Options o;
    EXPECT_EQ(parse({"--help"}, o).action, cli::Action::Help);
    EXPECT_EQ(parse({"-h", "--bogus"}, o).action, cli::Action::Help);
    EXPECT_EQ(parse({"--version"}, o).action, cli::Action::Version);
    EXPECT_EQ(cli::versionText().find("rangewick " RANGEWICK_VERSION "\nframe pass: "), 0u);

    // Every stored setting is offered with its default as the settings table has it.
    const std::string help = cli::helpText();
    for (const auto& info : settings::kStored) {
        char def[16];
        settings::formatSettingText(info, info.initial, def, sizeof def);
        const std::string option = std::string("--") + info.name;
        const std::size_t at = help.find(option + ' ');
        ASSERT_NE(at, std::string::npos) << option;
        EXPECT_NE(help.find(std::string("default ") + def, at), std::string::npos) << option;
    }
    EXPECT_NE(help.find("frame,detected_black,detected_white,black,white,fresh"), std::string::npos);
}

// Two file names and no --size: a film, with what only a film takes; --size keeps the
// raw frames as they were. A build without FFmpeg refuses films in one line.
TEST(CliOptions, TwoFilesWithoutSizeAreAFilm)
{
    cli::Options o;
    const cli::ParseOutcome r = parse({"--cuts", "in.mp4", "--encoder", "libx265", "--encoder-option", "crf=22",
                                       "--encoder-option", "preset=slow", "--pix-fmt", "yuv420p10le", "out.mkv",
                                       "--overwrite"},
                                      o);
    if (!cli::kHaveFileMode) {
        ASSERT_EQ(r.action, cli::Action::Fail);
        EXPECT_NE(r.message.find("raw frames only"), std::string::npos) << r.message;
        return;
    }
    ASSERT_EQ(r.action, cli::Action::Run) << r.message;
    EXPECT_EQ(o.mode, cli::Mode::File);
    EXPECT_EQ(o.inFile, "in.mp4");
    EXPECT_EQ(o.outFile, "out.mkv");
    EXPECT_EQ(o.encoder, "libx265");
    EXPECT_EQ(o.encoderOptions, (std::vector<std::string>{"crf=22", "preset=slow"}));
    EXPECT_EQ(o.pixFmt, "yuv420p10le");
    EXPECT_TRUE(o.overwrite && o.cuts);
    cli::Options follow;   // a film's frame times are its own: no --rate
    ASSERT_EQ(parse({"--follow-time", "1", "a.mkv", "b.mkv"}, follow).action, cli::Action::Run);

    const struct {
        std::vector<const char*> args;
        const char*              says;
    } bad[] = {
        {{"in.mp4"}, "missing OUT"},
        {{"a", "b", "c"}, "unexpected argument 'c'"},
        {{"-", "out.mp4"}, "must be files"},
        {{"-i", "x", "in.mp4", "out.mp4"}, "-i and -o are for raw frames"},
        {{"--rate", "25", "in.mp4", "out.mp4"}, "--rate is for raw frames"},
        {{"--size", "2x2", "--overwrite"}, "--overwrite is for films"},
        {{"--size", "2x2", "in.mp4"}, "unexpected argument 'in.mp4'"},
        {{"in.mp4", "--size", "2x2"}, "unexpected argument 'in.mp4'"},
        {{"--encoder-option", "crf", "a", "b"}, "expected KEY=VALUE"},
        {{"--encoder", "", "a", "b"}, "empty name"},
    };
    for (const auto& b : bad) {
        cli::Options fresh;
        const cli::ParseOutcome f = parse(b.args, fresh);
        ASSERT_EQ(f.action, cli::Action::Fail) << b.says;
        EXPECT_NE(f.message.find(b.says), std::string::npos) << f.message;
    }
}

// The frei0r filter for the settings given, in the module's units: each value the
// shortest decimal the module rounds back to the setting, margins as shares of the frame.
TEST(CliOptions, PrintsTheFrei0rFilterForTheSettings)
{
    auto filter = [](const std::vector<const char*>& args, std::string& note) {
        cli::Options o;
        const cli::ParseOutcome r = parse(args, o);
        EXPECT_EQ(r.action, cli::Action::PrintFilter) << r.message;
        std::string text, problem;
        EXPECT_TRUE(cli::frei0rFilter(o, o.width, o.height, text, note, problem)) << problem;
        return text;
    };
    std::string note;
    EXPECT_EQ(filter({"--ffmpeg-filter"}, note), "frei0r=rangewick:0.0001|0.01|0.25|0.753|n|n|0|1|0|0|0|0|0");
    EXPECT_EQ(note, "");
    EXPECT_EQ(filter({"--config", "Config(250, 50, 40, 200)", "--preview-clipped", "--cuts", "--follow-time", "1.25",
                      "--strength", "0.3", "--independence", "1", "--margins", "60,0,60,10", "--size", "640x480",
                      "--ffmpeg-filter"},
                     note),
              "frei0r=rangewick:0.025|0.005|0.157|0.784|y|y|0.0125|0.3|1|0.125|0|0.125|0.016");
    EXPECT_EQ(note, "");
    // Finer than the module keeps, and a width ffmpeg 5.1 mangles: said, not hidden.
    filter({"--follow-time", "0.0005", "--size", "100x10", "--ffmpeg-filter"}, note);
    EXPECT_NE(note.find("to the millisecond: 0.001 s"), std::string::npos) << note;
    EXPECT_NE(note.find("crop=96:ih"), std::string::npos) << note;

    cli::Options o;
    ASSERT_EQ(parse({"--margins", "6", "--ffmpeg-filter"}, o).action, cli::Action::PrintFilter);
    std::string text, problem;
    EXPECT_FALSE(cli::frei0rFilter(o, 0, 0, text, note, problem));
    EXPECT_NE(problem.find("--size"), std::string::npos) << problem;
    EXPECT_EQ(parse({"--no-prime", "--ffmpeg-filter"}, o).action, cli::Action::Fail);
}

// A film's frame times: the gap from the frame before, unless it is jitter, a pause, a
// splice or missing, where the last good one stands; the stream's nominal time first.
TEST(FilmFrameTimes, TakeTheGapsThatAreFrameTimes)
{
    cli::FrameTimes clock(1.0 / 30);
    EXPECT_EQ(clock.next(true, 5.0), 1.0 / 30);
    EXPECT_NEAR(clock.next(true, 5.04), 0.04, 1e-12);
    EXPECT_NEAR(clock.next(true, 5.0405), 0.04, 1e-12);   // under a millisecond
    EXPECT_NEAR(clock.next(true, 11.0), 0.04, 1e-12);     // over 5 s
    EXPECT_NEAR(clock.next(false, 0), 0.04, 1e-12);       // no time
    EXPECT_NEAR(clock.next(true, 11.1), 0.1, 1e-12);
    EXPECT_NEAR(clock.next(true, 11.0), 0.1, 1e-12);      // back in time
    EXPECT_EQ(cli::FrameTimes(0).next(true, 0), 1.0 / 25);
    EXPECT_EQ(cli::FrameTimes(60).next(false, 0), 1.0 / 25);
}

TEST(FrameSize, ReadsWidthByHeight)
{
    int32_t w = 0, h = 0;
    std::string problem;
    ASSERT_TRUE(cli::parseSize("1920x1080", w, h, problem)) << problem;
    EXPECT_EQ(w, 1920);
    EXPECT_EQ(h, 1080);
    ASSERT_TRUE(cli::parseSize("1X1", w, h, problem)) << problem;
    EXPECT_EQ(w, 1);
    EXPECT_EQ(h, 1);

    for (const char* bad : {"", "1920", "x1080", "1920x", "1920 x 1080", " 1920x1080", "-1x5", "+2x2", "0x10",
                            "10x0", "1920x1080x2", "1e3x10", "0x0", "19.5x10"}) {
        EXPECT_FALSE(cli::parseSize(bad, w, h, problem)) << bad;
        EXPECT_NE(problem.find("--size"), std::string::npos) << problem;
    }
}

TEST(FrameSize, RefusesFramesTooLargeToCountOrHold)
{
    const uint64_t maxPixels = cli::maxFramePixels();
    // Three samples per pixel are counted in 32 bits, and a frame's bytes must fit a ptrdiff_t.
    EXPECT_LE(maxPixels * 3, uint64_t(UINT32_MAX));
    EXPECT_LE(maxPixels * 4, uint64_t(PTRDIFF_MAX));

    int32_t w = 0, h = 0;
    std::string problem;
    const std::string largest = std::to_string(maxPixels) + "x1";
    ASSERT_TRUE(cli::parseSize(largest.c_str(), w, h, problem)) << problem;
    EXPECT_EQ(uint64_t(w), maxPixels);
    const std::string tall = "1x" + std::to_string(maxPixels);
    ASSERT_TRUE(cli::parseSize(tall.c_str(), w, h, problem)) << problem;

    const std::string oneMore = std::to_string(maxPixels + 1) + "x1";
    // 65536x65536 is 2^32 pixels: a 32-bit product would wrap to 0. The long ones would
    // wrap 64 bits.
    for (const std::string& bad : {oneMore, std::string("65536x65536"), std::string("100000x100000"),
                                   std::string("46341x46341"), std::string("4294967297x1"),
                                   std::string("18446744073709551617x18446744073709551617"),
                                   std::string("99999999999999999999999999x1")}) {
        EXPECT_FALSE(cli::parseSize(bad.c_str(), w, h, problem)) << bad;
        EXPECT_NE(problem.find("too large"), std::string::npos) << bad << ": " << problem;
    }
}

} // namespace

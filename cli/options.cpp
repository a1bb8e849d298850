#include "options.h"

#include "extras/extras.h"
#include "frame_levelling.h"
#include "option_table.h"

#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace cli {

Options::Options()
{
    for (int i = 0; i < settings::kStoredCount; ++i)
        stored[i] = settings::kStored[i].initial;
}

uint64_t maxFramePixels()
{
    return levels::maxFramePixels();
}

namespace {

// Digits only; stops counting past `cap` so a long number cannot overflow.
bool readDimension(const char*& p, uint64_t& value)
{
    const uint64_t cap = UINT64_C(1) << 40;
    if (*p < '0' || *p > '9')
        return false;
    value = 0;
    for (; *p >= '0' && *p <= '9'; ++p)
        if (value < cap)
            value = value * 10 + static_cast<uint64_t>(*p - '0');
    return true;
}

std::string quoted(const char* text)
{
    return std::string("'") + text + "'";
}

// The option table's setting the tool takes with `flag`: the first of the four margins
// for --margins.
const options::OptionInfo* optionByFlag(const std::string& flag)
{
    for (const options::OptionInfo& o : options::kOptions)
        if (flag == o.flag)
            return &o;
    return nullptr;
}

// Digits with an optional decimal point and digits after it, as a whole number over a
// power of ten: "29.97" -> 2997 / 100. False for anything else or more than 15 digits.
// Held in doubles, exact below 2^53: on i686 a 64-bit integer turns into a double only
// on the x87 unit.
bool readDecimal(const char*& p, double& whole, double& scale)
{
    whole = 0;
    scale = 1;
    int digits = 0;
    bool point = false;
    for (;; ++p) {
        if (*p >= '0' && *p <= '9') {
            if (++digits > 15)
                return false;
            whole = whole * 10 + (*p - '0');
            if (point)
                scale *= 10;
        } else if (*p == '.' && !point) {
            point = true;
        } else {
            break;
        }
    }
    return digits > 0 && !(point && scale == 1);
}

} // namespace

bool parseDecimal(const char* text, double max, double& number)
{
    const char* p = text;
    double whole = 0, scale = 1;
    if (!readDecimal(p, whole, scale) || *p != '\0')
        return false;
    const double value = whole / scale;
    if (value > max)
        return false;
    number = value;
    return true;
}

bool parseRate(const char* text, double& frameSeconds)
{
    const char* p = text;
    double num = 0, numScale = 1, den = 1, denScale = 1;
    if (!readDecimal(p, num, numScale))
        return false;
    if (*p == '/') {
        ++p;
        if (!readDecimal(p, den, denScale))
            return false;
    }
    if (*p != '\0' || num == 0 || den == 0)
        return false;
    // (den / denScale) / (num / numScale), with every factor below 2^50.
    frameSeconds = den * numScale / (num * denScale);
    return true;
}

bool parseMargins(const char* text, int32_t margins[4])
{
    const char* p = text;
    int32_t values[4];
    int count = 0;
    for (;;) {
        uint64_t v = 0;
        if (count == 4 || !readDimension(p, v) || v > static_cast<uint64_t>(INT32_MAX))
            return false;
        values[count++] = static_cast<int32_t>(v);
        if (*p == '\0')
            break;
        if (*p++ != ',')
            return false;
    }
    if (count != 1 && count != 4)
        return false;
    for (int side = 0; side < 4; ++side)
        margins[side] = values[count == 1 ? 0 : side];
    return true;
}

bool parseSize(const char* text, int32_t& width, int32_t& height, std::string& problem)
{
    const char* p = text;
    uint64_t w = 0, h = 0;
    if (!readDimension(p, w) || (*p != 'x' && *p != 'X') || !readDimension(++p, h) || *p != '\0') {
        problem = "--size: expected WIDTHxHEIGHT (e.g. 1920x1080), got " + quoted(text);
        return false;
    }
    if (w == 0 || h == 0) {
        problem = "--size: width and height must be at least 1, got " + quoted(text);
        return false;
    }
    const uint64_t maxPixels = maxFramePixels();
    // w and h are below 2^41 each, so a pixel count that fits is checked without overflow.
    if (w > maxPixels || h > maxPixels || w * h > maxPixels) {
        problem = "--size: a " + std::string(text) + " frame is too large (at most "
                + std::to_string(maxPixels) + " pixels per frame)";
        return false;
    }
    width  = static_cast<int32_t>(w);
    height = static_cast<int32_t>(h);
    return true;
}

ParseOutcome parseOptions(int argc, const char* const argv[], Options& out)
{
    bool haveSize = false, printFilter = false, haveInOut = false;
    std::vector<std::string> files;    // the arguments that are no option: IN and OUT
    std::string fileOption;            // the first option that only a film takes
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        std::string name = arg;
        const char* inlineValue = nullptr;
        if (arg.compare(0, 2, "--") == 0) {
            const std::size_t eq = arg.find('=');
            if (eq != std::string::npos) {
                name = arg.substr(0, eq);
                inlineValue = argv[i] + eq + 1;
            }
        }
        // The value of an option that takes one: after '=' or the next argument.
        const char* value = nullptr;
        auto takeValue = [&]() -> bool {
            if (inlineValue) {
                value = inlineValue;
                return true;
            }
            if (i + 1 >= argc)
                return false;
            value = argv[++i];
            return true;
        };
        auto missing = [&]() {
            return ParseOutcome{Action::Fail, name + ": missing value"};
        };
        auto isFlag = [&]() -> bool {
            const options::OptionInfo* o = optionByFlag(name);
            return name == "--no-prime" || name == "--progress" || name == "--no-progress" || name == "--overwrite"
                || name == "--ffmpeg-filter" || (o != nullptr && o->kind == options::Kind::Switch);
        };

        if (name == "-h" || name == "--help") {
            return {Action::Help, {}};
        } else if (name == "--version") {
            return {Action::Version, {}};
        } else if (name == "--size") {
            if (!takeValue())
                return missing();
            std::string problem;
            if (!parseSize(value, out.width, out.height, problem))
                return {Action::Fail, problem};
            haveSize = true;
        } else if (name == "-i" || name == "--input") {
            if (!takeValue())
                return missing();
            out.input = value;
            haveInOut = true;
        } else if (name == "-o" || name == "--output") {
            if (!takeValue())
                return missing();
            out.output = value;
            haveInOut = true;
        } else if (name == "--encoder" || name == "--pix-fmt") {
            if (!takeValue())
                return missing();
            if (*value == '\0')
                return {Action::Fail, name + ": empty name"};
            (name == "--encoder" ? out.encoder : out.pixFmt) = value;
            fileOption = fileOption.empty() ? name : fileOption;
        } else if (name == "--encoder-option") {
            if (!takeValue())
                return missing();
            const char* eq = std::strchr(value, '=');
            if (eq == nullptr || eq == value)
                return {Action::Fail, "--encoder-option: expected KEY=VALUE (e.g. preset=slow), got " + quoted(value)};
            out.encoderOptions.emplace_back(value);
            fileOption = fileOption.empty() ? name : fileOption;
        } else if (name == "--stats") {
            if (!takeValue())
                return missing();
            if (*value == '\0')
                return {Action::Fail, "--stats: empty file name"};
            out.stats = value;
        } else if (name == "--config") {
            if (!takeValue())
                return missing();
            int32_t values[settings::kStoredCount];
            if (!settings::parseScriptLine(value, values))
                return {Action::Fail, "--config: expected a script line such as \"Config(1, 100, 64, 192)\", got "
                                          + quoted(value)};
            // Clamped exactly as the host's script command clamps a loaded line.
            for (int k = 0; k < settings::kStoredCount; ++k)
                out.stored[k] = settings::clampToRange(settings::kStored[k], values[k]);
        } else if (name == "--rate") {
            if (!takeValue())
                return missing();
            if (!parseRate(value, out.frameSeconds))
                return {Action::Fail, "--rate: expected frames per second above 0 (e.g. 25 or 30000/1001), got "
                                          + quoted(value)};
            out.haveRate = true;
        } else if (isFlag() && inlineValue) {
            return {Action::Fail, name + ": takes no value"};
        } else if (name == "--no-prime") {
            out.prime = false;
        } else if (name == "--progress") {
            out.progress = Progress::On;
        } else if (name == "--no-progress") {
            out.progress = Progress::Off;
        } else if (name == "--overwrite") {
            out.overwrite = true;
            fileOption = fileOption.empty() ? name : fileOption;
        } else if (name == "--ffmpeg-filter") {
            printFilter = true;
        } else if (const options::OptionInfo* o = optionByFlag(name)) {
            const int k = static_cast<int>(o - options::kOptions);
            if (o->kind == options::Kind::Switch) {
                (k == options::kCuts ? out.cuts : out.previewClipped) = true;
                continue;
            }
            if (!takeValue())
                return missing();
            switch (o->kind) {
            case options::Kind::ClipShare:
            case options::Kind::Level: {
                const settings::SettingInfo& info = settings::kStored[k];
                const bool share = o->kind == options::Kind::ClipShare;
                int32_t v = 0;
                switch (settings::parseSettingText(info, value, v)) {
                case settings::TextValue::Ok:
                    out.stored[k] = v;
                    break;
                case settings::TextValue::Malformed:
                    return {Action::Fail, name + ": not a " + (share ? "percentage" : "level") + ": " + quoted(value)};
                case settings::TextValue::OutOfRange:
                    return {Action::Fail, name + ": " + quoted(value) + " is out of range (0 to "
                                              + std::to_string(static_cast<int>(o->max)) + ")"};
                }
                break;
            }
            case options::Kind::Seconds:
                if (!parseDecimal(value, o->max, out.followTime))
                    return {Action::Fail, name + ": expected seconds from 0 to " + std::to_string(static_cast<int>(o->max))
                                              + " (e.g. 2 or 0.5), got " + quoted(value)};
                out.haveFollowTime = true;
                break;
            case options::Kind::Fraction:
                if (!parseDecimal(value, o->max, k == options::kStrength ? out.strength : out.independence))
                    return {Action::Fail, name + ": expected a number from 0 to 1 (e.g. 0.5), got " + quoted(value)};
                break;
            case options::Kind::Margin:
                if (!parseMargins(value, out.margins))
                    return {Action::Fail, "--margins: expected TOP,RIGHT,BOTTOM,LEFT in pixels or one number for all "
                                          "four (e.g. 60,0,60,0), got " + quoted(value)};
                break;
            case options::Kind::Switch:
                break;
            }
        } else if (!arg.empty() && arg[0] == '-' && arg != "-") {
            return {Action::Fail, "unknown option " + quoted(argv[i])};
        } else if (haveSize || files.size() == 2) {
            return {Action::Fail, "unexpected argument " + quoted(argv[i])};
        } else {
            files.push_back(arg);
        }
    }
    out.haveSize = haveSize;
    if (printFilter) {
        // The module always primes its first frame: a filter for --no-prime would level
        // otherwise than the tool.
        if (!out.prime)
            return {Action::Fail, "--ffmpeg-filter: the frei0r module always primes its first frame; leave out --no-prime"};
        if (!files.empty() && (haveSize || files.size() > 1 || !kHaveFileMode))
            return {Action::Fail, "unexpected argument " + quoted(files.back().c_str())};
        if (files.size() == 1)
            out.inFile = files[0];
        if (haveSize && !extras::marginsLeaveAPicture(out.margins, out.width, out.height))
            return {Action::Fail, "--margins leave nothing of a " + std::to_string(out.width) + "x"
                                      + std::to_string(out.height) + " frame to count"};
        return {Action::PrintFilter, {}};
    }
    if (!haveSize) {
        if (files.empty() && !kHaveFileMode)
            return {Action::Fail, "--size WIDTHxHEIGHT is required (e.g. --size 1920x1080)"};
        if (files.empty())
            return {Action::Fail, "give IN and OUT files (rangewick in.mp4 out.mp4), or --size WIDTHxHEIGHT for raw frames"};
        if (!kHaveFileMode)
            return {Action::Fail, "this build levels raw frames only (it has no FFmpeg libraries): give --size WIDTHxHEIGHT"};
        if (files.size() == 1)
            return {Action::Fail, "missing OUT: give IN and OUT files (rangewick in.mp4 out.mp4)"};
        if (haveInOut)
            return {Action::Fail, "-i and -o are for raw frames; a film is read from IN and written to OUT"};
        if (out.haveRate)
            return {Action::Fail, "--rate is for raw frames; a film's frame times come from its timestamps"};
        if (files[0] == "-" || files[1] == "-")
            return {Action::Fail, "IN and OUT must be files; for frames on a pipe give --size WIDTHxHEIGHT"};
        if (files[1].empty())
            return {Action::Fail, "OUT is an empty name"};
        out.mode = Mode::File;
        out.inFile = files[0];
        out.outFile = files[1];
        return {Action::Run, {}};
    }
    if (!files.empty())
        return {Action::Fail, "unexpected argument " + quoted(files[0].c_str())};
    if (!fileOption.empty())
        return {Action::Fail, fileOption + " is for films (rangewick IN OUT), not raw frames"};
    if (!extras::marginsLeaveAPicture(out.margins, out.width, out.height))
        return {Action::Fail, "--margins " + std::to_string(out.margins[0]) + "," + std::to_string(out.margins[1]) + ","
                                  + std::to_string(out.margins[2]) + "," + std::to_string(out.margins[3])
                                  + " leave nothing of a " + std::to_string(out.width) + "x"
                                  + std::to_string(out.height) + " frame to count"};
    if (out.haveFollowTime && out.frameSeconds == 0)
        return {Action::Fail, "--follow-time needs the frame rate: add --rate FPS (e.g. --rate 25)"};
    return {Action::Run, {}};
}

namespace {

// "  --flag VALUE           text" with the text wrapped into the column after the
// option, as the rest of --help is laid out.
std::string helpEntry(const std::string& option, const std::string& text)
{
    constexpr std::size_t kColumn = 25, kWidth = 80;
    std::string out = "  " + option;
    out += out.size() + 1 <= kColumn ? std::string(kColumn - out.size(), ' ') : "\n" + std::string(kColumn, ' ');
    std::size_t lineStart = out.rfind('\n') == std::string::npos ? 0 : out.rfind('\n') + 1;
    std::size_t at = 0;
    while (at < text.size()) {
        std::size_t end = text.find(' ', at);
        if (end == std::string::npos)
            end = text.size();
        const std::string word = text.substr(at, end - at);
        if (out.size() - lineStart > kColumn && out.size() - lineStart + 1 + word.size() > kWidth) {
            out += "\n" + std::string(kColumn, ' ');
            lineStart = out.size() - kColumn;
        } else if (out.size() - lineStart > kColumn) {
            out += ' ';
        }
        out += word;
        at = end + 1;
    }
    return out + "\n";
}

// The option table's setting k as the tool takes it; the four margins as one --margins.
std::string settingHelp(int k)
{
    const options::OptionInfo& o = options::kOptions[k];
    std::string text = o.help, option = std::string(o.flag) + (*o.valueName != '\0' ? " " : "") + o.valueName;
    char def[32] = "";
    switch (o.kind) {
    case options::Kind::ClipShare:
    case options::Kind::Level:
        settings::formatSettingText(settings::kStored[k], settings::kStored[k].initial, def, sizeof def);
        break;
    case options::Kind::Seconds:
    case options::Kind::Fraction:
        std::snprintf(def, sizeof def, "%g", o.initial);
        break;
    case options::Kind::Margin:
        if (k != options::kMarginTop)
            return "";
        text = "pixels at the top, right, bottom and left left out of the count (still levelled), e.g. 60,0,60,0 "
               "for letterbox bars; one number for all four";
        std::snprintf(def, sizeof def, "%g", o.initial);
        break;
    case options::Kind::Switch:
        break;
    }
    if (k == options::kFollowTime)
        text += kHaveFileMode ? "; raw frames need --rate" : "; needs --rate";
    std::string entry = helpEntry(option, text + (*def != '\0' ? std::string("; default ") + def : ""));
    if (k == options::kFollowTime)
        entry += helpEntry("--rate FPS", kHaveFileMode ? "frames per second of raw frames, e.g. 25 or 30000/1001 (a film's "
                                                         "frame times come from its timestamps)"
                                                       : "frames per second of the input, e.g. 25 or 30000/1001");
    return entry;
}

} // namespace

std::string helpText()
{
    std::string t;
    if (kHaveFileMode)
        t += "Usage: rangewick [options] IN OUT\n"
             "       rangewick --size WxH [options] [-i IN] [-o OUT]\n"
             "Levels video automatically.\n"
             "\n"
             "A film: rangewick reads IN (any file FFmpeg reads), levels its first video stream\n"
             "and writes OUT in the container its name asks for (.mp4, .mkv, .mov, .webm ...).\n"
             "Sound, subtitles and other streams are copied untouched, and so are chapters,\n"
             "metadata, the rotation and the colour tags; frame times stay as they are. The\n"
             "video is encoded with libx264 at CRF 18 (preset medium) where OUT's container\n"
             "takes H.264, with libvpx-vp9 at CRF 31 for .webm, else with the container's own\n"
             "encoder. Levelling works on 8 bits a channel; a deeper source keeps its depth.\n"
             "OUT is written under a temporary name beside it and renamed when complete.\n"
             "\n"
             "  --encoder NAME         any FFmpeg video encoder (ffmpeg -encoders lists them)\n"
             "  --encoder-option KEY=VALUE\n"
             "                         passed on to the encoder, e.g. crf=23 or preset=slow;\n"
             "                         repeatable\n"
             "  --pix-fmt FMT          the output's pixel format, e.g. yuv420p (default: the\n"
             "                         input's where the encoder takes it)\n"
             "  --overwrite            replace OUT if it exists (refused otherwise)\n"
             "\n"
             "Raw frames: with --size, frames of 32-bit bgr0 pixels (ffmpeg -pix_fmt bgr0: blue\n"
             "in the low byte, the top byte ignored and written as 0) come back to back from IN\n"
             "and go, levelled, to OUT; standard input and output by default or with '-'.\n";
    else
        t += "Usage: rangewick --size WxH [options] [-i IN] [-o OUT]\n"
             "Levels raw video automatically. Frames of 32-bit bgr0 pixels (ffmpeg -pix_fmt bgr0:\n"
             "blue in the low byte, the top byte ignored and written as 0) come back to back from\n"
             "IN and go, levelled, to OUT; standard input and output by default or with '-'.\n"
             "This build reads raw frames only: films (rangewick IN OUT) need the Linux build,\n"
             "which has FFmpeg's libraries.\n";
    t +=
        "\n"
        "  --size WxH             frame width and height in pixels (raw frames)\n"
        "  -i, --input IN         read frames from the file IN\n"
        "  -o, --output OUT       write frames to the file OUT\n"
        "\n"
        "Settings (a later option overrides an earlier one):\n"
        "  --config LINE          the four stored settings as a saved VirtualDub script\n"
        "                         holds them, e.g. \"Config(250, 0, 0, 255)\"; each value\n"
        "                         is clamped to its range\n";
    for (int k = 0; k < options::kOptionCount; ++k)
        t += settingHelp(k);
    t +=
        "\n"
        "Running:\n"
        "  --no-prime             start from an all-zero table as the VirtualDub filter\n"
        "                         does (the first output frame is black); by default the\n"
        "                         first frame is levelled once, output discarded, so the\n"
        "                         output starts levelled\n"
        "  --stats FILE           write CSV to FILE: the header line\n"
        "                           frame,detected_black,detected_white,black,white,fresh\n"
        "                         then one line per frame (numbered from 0): the points\n"
        "                         the frame detected, the points in use after it, and 1\n"
        "                         where the frame started afresh (the first, or a cut);\n"
        "                         with --independence above 0 the detection is the\n"
        "                         shared one, black and white the widest range in use,\n"
        "                         and each channel's points in use follow:\n"
        "                           red_black,red_white,green_black,green_white,\n"
        "                           blue_black,blue_white\n";
    t += kHaveFileMode
           ? "  --progress             frames done, frames per second and, for a film, how far\n"
             "                         it is and the time left, on standard error\n"
           : "  --progress             frames done and frames per second on standard error\n";
    t +=
        "  --no-progress          (default: progress when standard error is a terminal)\n"
        "  --ffmpeg-filter        print the argument of ffmpeg's -vf that levels as these\n"
        "                         settings do with the frei0r module (frei0r=rangewick:...)\n"
        "                         and exit; --margins need the frame's size: --size WxH\n";
    if (kHaveFileMode)
        t += "                         or IN\n";
    t +=
        "  -h, --help             this text\n"
        "  --version              the version and the frame pass in use\n"
        "\n";
    if (kHaveFileMode)
        t += "Exit status: 0 done (an empty input too); 1 reading or writing failed, IN has no\n"
             "video or OUT exists (no OUT is left behind; raw frames: the input ended inside a\n"
             "frame, every complete frame is written first); 2 bad options (an unknown encoder\n"
             "or encoder option, OUT the same file as IN); 130 interrupted (Ctrl-C).\n"
             "\n"
             "Examples:\n"
             "  rangewick --cuts --follow-time 1 holiday.mp4 holiday-levelled.mp4\n"
             "  rangewick --encoder libx265 --encoder-option crf=22 in.mkv out.mkv\n"
             "  ffmpeg -i in.mp4 -f rawvideo -pix_fmt bgr0 - |\n"
             "    rangewick --size 1280x720 |\n"
             "    ffmpeg -f rawvideo -pix_fmt bgr0 -s 1280x720 -r 25 -i - out.mp4\n";
    else
        t += "Exit status: 0 done (an empty input too); 1 a read or write failed or the input\n"
             "ended inside a frame (every complete frame is written first); 2 bad options.\n"
             "\n"
             "Example:\n"
             "  ffmpeg -i in.mp4 -f rawvideo -pix_fmt bgr0 - |\n"
             "    rangewick --size 1280x720 |\n"
             "    ffmpeg -f rawvideo -pix_fmt bgr0 -s 1280x720 -r 25 -i - out.mp4\n";
    return t;
}

std::string versionText()
{
    const char* const forced = std::getenv(levels::kPassVariable);
    return "rangewick " RANGEWICK_VERSION "\nframe pass: " + levels::describePass(levels::chosenPass(), forced) + "\n";
}

} // namespace cli

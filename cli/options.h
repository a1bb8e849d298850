// Command-line options of the rangewick tool: what a run needs to know, read from
// argv with every value checked, and the help text built from the settings table.
#pragma once

#include "settings.h"

#include <cstdint>
#include <string>
#include <vector>

// Whether this build levels films through FFmpeg's libraries (rangewick IN OUT) or raw
// frames alone: the Windows builds have no FFmpeg to link.
#ifndef RANGEWICK_FILE_MODE
#define RANGEWICK_FILE_MODE 0
#endif

namespace cli {

// Exit status of the tool.
constexpr int kExitOk      = 0;   // done; an empty input is a complete run
constexpr int kExitFailure = 1;   // reading, writing or a stream that ends inside a frame
constexpr int kExitUsage   = 2;   // options the tool cannot run with
// A run ended by a signal (Ctrl-C) exits 128 plus the signal's number, as a shell reports it.
constexpr int kExitSignalBase = 128;

constexpr bool kHaveFileMode = RANGEWICK_FILE_MODE != 0;

enum class Mode { Raw, File };   // raw frames (--size) or a film (IN OUT)

enum class Progress { Auto, On, Off };   // Auto: on when standard error is a terminal

struct Options {
    int32_t     width  = 0;
    int32_t     height = 0;
    int32_t     stored[settings::kStoredCount];   // script order; starts at the defaults
    bool        previewClipped = false;
    bool        prime          = true;            // derive the first table from frame 0
    bool        cuts           = false;           // start afresh at a cut
    double      followTime     = 0;               // seconds to cross 0..255; 0: a level a frame
    bool        haveFollowTime = false;
    double      frameSeconds   = 0;               // from --rate; 0: not given
    double      strength       = 1;               // share of the levelling's change applied
    double      independence   = 0;               // 0: shared points; 1: a pair per channel
    int32_t     margins[4]     = {0, 0, 0, 0};    // top, right, bottom, left, in pixels
    Progress    progress       = Progress::Auto;
    std::string input;                            // empty or "-": standard input
    std::string output;                           // empty or "-": standard output
    std::string stats;                            // empty: no statistics
    bool        haveRate       = false;

    // A film: rangewick IN OUT.
    Mode        mode           = Mode::Raw;
    std::string inFile;
    std::string outFile;
    std::string encoder;                          // empty: the default for OUT's container
    std::vector<std::string> encoderOptions;      // KEY=VALUE, in the order given
    std::string pixFmt;                           // empty: the input's where the encoder takes it
    bool        overwrite      = false;
    bool        haveSize       = false;

    Options();
};

// PrintFilter: --ffmpeg-filter, the frei0r filter argument for the settings given.
enum class Action { Run, Help, Version, PrintFilter, Fail };

struct ParseOutcome {
    Action      action;
    std::string message;   // for Fail: one line naming the problem, without program name
};

// Reads argv[1..argc-1] into `out`. Settings apply in the order given, so a later
// option overrides an earlier one (a --config line overrides all four).
ParseOutcome parseOptions(int argc, const char* const argv[], Options& out);

// "WIDTHxHEIGHT": both positive, and a frame small enough that its byte size fits
// memory sizes and its sample count (3 per pixel) fits 32 bits. On failure `problem`
// says what is wrong.
bool parseSize(const char* text, int32_t& width, int32_t& height, std::string& problem);

// Largest frame, in pixels, parseSize accepts on this platform.
uint64_t maxFramePixels();

// A number from 0 to `max` (seconds, a strength): digits with an optional decimal
// point ("2", "0.5", "1.25"), exact to the digits given, '.' whatever the locale.
bool parseDecimal(const char* text, double max, double& value);

// A frame rate: "25", "29.97" or "30000/1001", above 0. Gives the time of one frame.
bool parseRate(const char* text, double& frameSeconds);

// Margins in pixels: "TOP,RIGHT,BOTTOM,LEFT" or one number for all four.
bool parseMargins(const char* text, int32_t margins[4]);

std::string helpText();
std::string versionText();

} // namespace cli

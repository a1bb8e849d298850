// The CSV statistics file of --stats, fully buffered; any failure is caught when it is
// closed.
#pragma once

#include "extras/extras.h"

#include <cstdint>
#include <cstdio>
#include <string>

namespace cli {

class StatsFile {
public:
    ~StatsFile()
    {
        if (file_)
            std::fclose(file_);
    }

    bool open(const std::string& path, bool channels, std::string& error)
    {
        if (path.empty())
            return true;
        path_ = path;
        file_ = std::fopen(path.c_str(), "wb");
        if (!file_) {
            error = "cannot open statistics file '" + path + "'";
            return false;
        }
        std::setvbuf(file_, nullptr, _IOFBF, 1 << 16);
        std::fputs(channels ? "frame,detected_black,detected_white,black,white,fresh,"
                              "red_black,red_white,green_black,green_white,blue_black,blue_white\n"
                            : "frame,detected_black,detected_white,black,white,fresh\n",
                   file_);
        return true;
    }

    // Points that may lie between levels (following in seconds, channels levelled
    // apart) are written with three decimals, whole levels as whole numbers.
    bool line(uint64_t frame, const Detection& detected, const extras::Instance& x, bool fresh, std::string& error)
    {
        if (!file_)
            return true;
        const bool fractions = x.options.followTime > 0 || extras::levelsChannelsApart(x);
        char points[160];
        if (fractions)
            std::snprintf(points, sizeof points, "%.3f,%.3f", extras::blackInUse(x), extras::whiteInUse(x));
        else
            std::snprintf(points, sizeof points, "%d,%d", static_cast<int>(x.record.blackPoint),
                          static_cast<int>(x.record.whitePoint));
        char channels[160] = "";
        if (extras::levelsChannelsApart(x)) {
            const extras::Running& r = x.running;
            constexpr double unit = extras::kPointScale;
            std::snprintf(channels, sizeof channels, ",%.3f,%.3f,%.3f,%.3f,%.3f,%.3f", r.channelBlack[2] / unit,
                          r.channelWhite[2] / unit, r.channelBlack[1] / unit, r.channelWhite[1] / unit,
                          r.channelBlack[0] / unit, r.channelWhite[0] / unit);
        }
        if (std::fprintf(file_, "%llu,%d,%d,%s,%d%s\n", static_cast<unsigned long long>(frame),
                         static_cast<int>(detected.black), static_cast<int>(detected.white), points,
                         fresh ? 1 : 0, channels) < 0) {
            error = "cannot write statistics file '" + path_ + "'";
            return false;
        }
        return true;
    }

    bool close(std::string& error)
    {
        if (!file_)
            return true;
        const bool ok = std::ferror(file_) == 0;
        const bool closed = std::fclose(file_) == 0;
        file_ = nullptr;
        if (!ok || !closed) {
            error = "cannot write statistics file '" + path_ + "'";
            return false;
        }
        return true;
    }

private:
    std::FILE*  file_ = nullptr;
    std::string path_;
};


} // namespace cli

// A stand-in host: loads the built rangewick.vdf with LoadLibrary and drives it the
// way VirtualDub does (registration, an instance block, script calls, the two texts,
// parameters, start, frames, end), checking every frame of rangewick against the engine
// itself and every frame of rangewick extended against the command-line tool.

#include "extras/extras.h"
#include "frame_levelling.h"
#include "levels_instance.h"
#include "settings.h"

#include "build_path.h"
#include "comma_locale.h"
#include "process_run.h"
#include "stand_in_host.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <random>
#include <string>
#include <vector>

namespace {

std::string modulePath()
{
    return buildPath(RANGEWICK_MODULE_PATH);
}

#define ASSERT_LOADED(m) ASSERT_TRUE((m).ready()) << "cannot load " << modulePath() << " (error " << GetLastError() << ")"

// ---- registration ---------------------------------------------------------------------

// What a host and its saved scripts know of rangewick stays as it was with a second
// filter in the module: rangewick is registered first, with the same definition (its
// instance block of 1060 / 1064 bytes included), and the extended filter beside it.
// (Its template and its script line are held byte for byte by the dialog and session
// tests.)
TEST(ModuleEntry, RegistersRangewickAsItWasThenTheExtendedFilter)
{
    LoadedModule m{modulePath()};
    ASSERT_LOADED(m);
    EXPECT_EQ(GetProcAddress(m.dll, "FilterModModuleInit"), nullptr);
    EXPECT_EQ(GetProcAddress(m.dll, "VirtualdubFilterModuleInit"), nullptr);

    for (int load = 0; load < 2; ++load) {     // the host initialises a module many times
        int ver = 20, compat = 4;
        ASSERT_EQ(m.start(ver, compat), 0);
        EXPECT_EQ(ver, 8);
        EXPECT_EQ(compat, 4);
        ASSERT_EQ(host.addCalls, 2);
        EXPECT_EQ(host.addModule, &m.record.fm);
        EXPECT_EQ(host.addSize, sizeof(void*) == 4 ? 88 : 176);

        const FilterDefinition& fd = host.originals[0];
        EXPECT_EQ(fd._next, nullptr);
        EXPECT_EQ(fd._prev, nullptr);
        EXPECT_EQ(fd._module, nullptr);
        EXPECT_STREQ(fd.name, "rangewick");
        EXPECT_STREQ(fd.desc, "Optimizes image dynamic range.");
        EXPECT_STREQ(fd.maker, "Corvalent");
        EXPECT_EQ(fd.private_data, nullptr);
        EXPECT_EQ(fd.inst_data_size, sizeof(void*) == 4 ? 1060 : 1064);
        EXPECT_EQ(fd.inst_data_size, static_cast<int>(sizeof(LevelsInstance)));
        EXPECT_NE(fd.initProc, nullptr);
        EXPECT_EQ(fd.deinitProc, nullptr);
        EXPECT_NE(fd.runProc, nullptr);
        EXPECT_NE(fd.paramProc, nullptr);
        EXPECT_NE(fd.stringProc, nullptr);
        EXPECT_NE(fd.startProc, nullptr);
        EXPECT_NE(fd.endProc, nullptr);
        EXPECT_NE(fd.script_obj, nullptr);
        EXPECT_NE(fd.fssProc, nullptr);
        EXPECT_EQ(fd.stringProc2, nullptr);
        EXPECT_EQ(fd.serializeProc, nullptr);
        EXPECT_EQ(fd.deserializeProc, nullptr);
        EXPECT_EQ(fd.copyProc, nullptr);
        ASSERT_NE(fd.script_obj->func_list, nullptr);
        EXPECT_STREQ(fd.script_obj->func_list[0].name, "Config");
        EXPECT_STREQ(fd.script_obj->func_list[0].arg_list, "0iiii");
        EXPECT_EQ(fd.script_obj->func_list[1].func_ptr, nullptr);

        const FilterDefinition& ext = host.originals[1];
        EXPECT_STREQ(ext.name, "rangewick extended");
        EXPECT_STREQ(ext.maker, "Corvalent");
        EXPECT_EQ(ext.inst_data_size, static_cast<int>(sizeof(extras::Instance)));
        EXPECT_NE(ext.configProc, nullptr);
        EXPECT_NE(ext.script_obj, fd.script_obj);
        EXPECT_STREQ(ext.script_obj->func_list[0].name, "Config");
        EXPECT_STREQ(ext.script_obj->func_list[0].arg_list, "0iiiiiiiiiiii");
        EXPECT_EQ(ext.deinitProc, nullptr);
        EXPECT_EQ(ext.stringProc2, nullptr);
        EXPECT_EQ(ext.serializeProc, nullptr);
        EXPECT_EQ(ext.deserializeProc, nullptr);
        EXPECT_EQ(ext.copyProc, nullptr);

        m.stop();
        ASSERT_EQ(host.removeCalls, 2);
        EXPECT_EQ(host.removed[0], &host.copies[1]);
        EXPECT_EQ(host.removed[1], &host.copies[0]);
    }
}

TEST(ModuleEntry, FailsAndLeavesTheVersionsAloneWhenAddFilterFails)
{
    LoadedModule m{modulePath()};
    ASSERT_LOADED(m);
    host.failAddFilter = true;
    int ver = -7, compat = -9;
    EXPECT_EQ(m.start(ver, compat), 1);
    EXPECT_EQ(host.addCalls, 1);
    EXPECT_EQ(ver, -7);
    EXPECT_EQ(compat, -9);
    m.stop();
    EXPECT_EQ(host.removeCalls, 0) << "nothing was registered, nothing to remove";

    host.failAddFilter = false;         // a later load succeeds as usual
    EXPECT_EQ(m.start(ver, compat), 0);
    EXPECT_EQ(ver, 8);
    m.stop();
    EXPECT_EQ(host.removeCalls, 2);
}

// ---- one instance -----------------------------------------------------------------------

// Script arguments as the host's interpreter lays them out, independently of our header:
// a 4-byte type tag first, garbage where the object pointer sits, the int at +8 (x86)
// or +16 (x64), one value every 16 (x86) or 24 (x64) bytes.
constexpr std::size_t kValueStride = sizeof(void*) == 4 ? 16 : 24;
constexpr std::size_t kIntAt = sizeof(void*) == 4 ? 8 : 16;
constexpr int32_t kTypeInt = 1, kTypeLong = 9;

// Frames as the host hands them to an API-8 filter: bottom-up (data is the lowest row),
// pitch a multiple of 64 with room left over, guard bytes around the plane.
constexpr unsigned char kGuard = 0xA5;
constexpr std::ptrdiff_t kGuardBytes = 64;

struct HostFrame {
    VFBitmap bm;
    std::vector<unsigned char> bytes;

    HostFrame(int32_t w, int32_t h, std::ptrdiff_t extraPitch)
    {
        const std::ptrdiff_t rowBytes = static_cast<std::ptrdiff_t>(w) * 4;
        const std::ptrdiff_t pitch = (rowBytes / 64 + 1) * 64 + extraPitch;     // modulo is never 0
        const std::ptrdiff_t plane = pitch * (h > 0 ? h : 0);
        bytes.assign(static_cast<std::size_t>(plane + 2 * kGuardBytes), kGuard);
        std::memset(&bm, 0, sizeof bm);
        bm._vtable = reinterpret_cast<void*>(static_cast<std::uintptr_t>(0xDEAD0000u));   // never to be touched
        bm.data = reinterpret_cast<uint32_t*>(bytes.data() + kGuardBytes);
        bm.depth = 32;
        bm.w = w;
        bm.h = h;
        bm.pitch = pitch;
        bm.modulo = pitch - rowBytes;
        bm.size = plane;
    }

    unsigned char* row(int32_t y) { return reinterpret_cast<unsigned char*>(bm.data) + y * bm.pitch; }
    uint32_t& pixel(int32_t x, int32_t y) { return reinterpret_cast<uint32_t*>(row(y))[x]; }
    BitmapView view() { return {bm.data, bm.w, bm.h, bm.modulo}; }
};

// One instance of a filter of the module, as the host holds it.
class Session : public ::testing::Test {
protected:
    explicit Session(const char* filterName = "rangewick") : name(filterName) {}

    void SetUp() override
    {
        ASSERT_LOADED(m);
        ASSERT_TRUE(m.start());
        fd = host.filter(name);
        ASSERT_NE(fd, nullptr) << "no filter \"" << name << "\" registered";
        ASSERT_GT(fd->inst_data_size, 0);
        block = std::calloc(1, static_cast<std::size_t>(fd->inst_data_size));
        ASSERT_NE(block, nullptr);
        std::memset(&fa, 0, sizeof fa);
        fa.filter = fd;
        fa.filter_data = block;
        fa.pfsi = &fsi;
        std::memset(&fsi, 0, sizeof fsi);
        ASSERT_EQ(fd->initProc(&fa, &m.ff), 0);
    }
    void TearDown() override
    {
        if (m.ready() && fd != nullptr)
            m.stop();
        std::free(block);
    }

    LevelsInstance& inst() { return *static_cast<LevelsInstance*>(block); }

    // The script command with these values, laid out as the host's interpreter lays them out.
    void config(int32_t type, const std::vector<int64_t>& args)
    {
        // The host picks the Config whose argument list the line's values fit.
        const std::string argList = "0" + std::string(args.size(), 'i');
        const ScriptFunctionDef* f = fd->script_obj->func_list;
        while (f->func_ptr != nullptr && (std::strcmp(f->name, "Config") != 0 || f->arg_list != argList))
            ++f;
        ASSERT_NE(f->func_ptr, nullptr) << "no Config script function taking " << args.size() << " values";

        std::vector<unsigned char> argv(args.size() * kValueStride, 0xCD);
        for (std::size_t i = 0; i < args.size(); ++i) {
            unsigned char* v = argv.data() + i * kValueStride;
            std::memcpy(v, &type, 4);
            if (type == kTypeLong) {
                std::memcpy(v + kIntAt, &args[i], 8);
            } else {
                const int32_t i32 = static_cast<int32_t>(args[i]);
                std::memcpy(v + kIntAt, &i32, 4);
            }
        }
        int interpreter = 0;
        f->func_ptr(reinterpret_cast<IScriptInterpreter*>(&interpreter), &fa, reinterpret_cast<CScriptValue*>(argv.data()),
                    static_cast<int>(args.size()));
    }

    std::string scriptLine()
    {
        std::vector<char> buf(kHostScriptLineBufferSize, 'x');
        EXPECT_TRUE(fd->fssProc(&fa, &m.ff, buf.data(), static_cast<int>(buf.size())));
        return buf.data();
    }

    std::string description()
    {
        std::vector<char> buf(kHostDescriptionBufferSize, 'x');
        fd->stringProc(&fa, &m.ff, buf.data());
        return buf.data();
    }

    const char* name;
    LoadedModule m{modulePath()};
    FilterDefinition* fd = nullptr;
    void* block = nullptr;
    FilterActivation fa;
    FilterStateInfo fsi;
};

TEST_F(Session, InitialisesTheBlockToTheDefaults)
{
    LevelsInstance expected;
    std::memset(&expected, 0, sizeof expected);
    resetToDefaults(expected);
    EXPECT_EQ(std::memcmp(block, &expected, sizeof expected), 0);
    EXPECT_EQ(scriptLine(), "Config(1, 100, 64, 192)");
    EXPECT_EQ(description(), " (0.01 highlight, 1.00 shadow)");
}

TEST_F(Session, ScriptCallsClampAndComeBackAsTheScriptLine)
{
    inst().previewClipped = 1;
    config(kTypeInt, {-5, 20000, 300, -1});
    EXPECT_EQ(scriptLine(), "Config(0, 10000, 255, 0)");
    EXPECT_EQ(inst().previewClipped, 0);

    config(kTypeLong, {250, 0, 0, 255});
    EXPECT_EQ(scriptLine(), "Config(250, 0, 0, 255)");
    EXPECT_EQ(description(), " (2.50 highlight, 0.00 shadow)");

    config(kTypeLong, {-(int64_t{1} << 40), int64_t{1} << 40 | 77, 10000, 64});
    EXPECT_EQ(scriptLine(), "Config(0, 77, 255, 64)");

    config(kTypeInt, {10000, 10000, 255, 255});
    EXPECT_EQ(scriptLine(), "Config(10000, 10000, 255, 255)");
    EXPECT_EQ(description(), " (100.00 highlight, 100.00 shadow)");
}

TEST_F(Session, DescriptionKeepsThePointWhenTheHostSetsACommaLocale)
{
    CommaLocale locale;
    ASSERT_NE(locale.name(), nullptr) << CommaLocale::kMissing;
    config(kTypeInt, {250, 1, 64, 192});
    const std::string text = description();
    const std::string line = scriptLine();
    locale.restore();
    EXPECT_EQ(text, " (2.50 highlight, 0.01 shadow)");
    EXPECT_EQ(line, "Config(250, 1, 64, 192)");
}

TEST_F(Session, FramesComeOutAsTheEngineLevelsThem)
{
    config(kTypeInt, {300, 200, 80, 170});
    EXPECT_EQ(fd->paramProc(&fa, &m.ff), FILTERPARAM_SWAP_BUFFERS);

    // The engine, linked here directly, levels the same frames from the same record.
    LevelsInstance reference;
    std::memcpy(&reference, block, sizeof reference);

    std::vector<unsigned char> before(static_cast<const unsigned char*>(block),
                                      static_cast<const unsigned char*>(block) + fd->inst_data_size);
    ASSERT_EQ(fd->startProc(&fa, &m.ff), 0);
    EXPECT_EQ(std::memcmp(block, before.data(), before.size()), 0) << "startProc changed the instance";

    std::mt19937 rng(2024);
    const int32_t sizes[][2] = {{64, 48}, {64, 48}, {33, 17}, {1, 1}, {0, 0}, {0, 12}, {12, 0},
                                {200, 3}, {64, 48}, {16, 16}, {33, 17}};
    int frameNo = 0;
    for (const auto& size : sizes) {
        const int32_t w = size[0], h = size[1];
        HostFrame src(w, h, 0), dst(w, h, 64), refDst(w, h, 64);
        ASSERT_NE(src.bm.modulo, dst.bm.modulo);
        // A bright scene with a dark corner, different each time.
        const uint32_t lift = rng() % 64;
        for (int32_t y = 0; y < h; ++y)
            for (int32_t x = 0; x < w; ++x)
                src.pixel(x, y) = (x < w / 4 ? rng() & 0xFF3F3F3F : rng() | 0x404040) + (lift << 8);
        fa.src = &src.bm;
        fa.dst = &dst.bm;
        fsi.lCurrentFrame = fsi.lCurrentSourceFrame = frameNo;

        EXPECT_EQ(fd->runProc(&fa, &m.ff), 0);
        levelFrame(src.view(), refDst.view(), reference);

        for (int32_t y = 0; y < h; ++y)
            for (int32_t x = 0; x < w; ++x)
                ASSERT_EQ(dst.pixel(x, y), refDst.pixel(x, y))
                    << "frame " << frameNo << " (" << w << "x" << h << ") pixel " << x << "," << y;
        // Everything outside the pixels (guards, row padding) keeps the guard bytes.
        for (std::size_t i = 0; i < dst.bytes.size(); ++i) {
            const std::ptrdiff_t off = static_cast<std::ptrdiff_t>(i) - kGuardBytes;
            const bool inPixels = off >= 0 && off < dst.bm.size && off % dst.bm.pitch < 4 * static_cast<std::ptrdiff_t>(w);
            if (!inPixels) {
                ASSERT_EQ(dst.bytes[i], kGuard) << "frame " << frameNo << ": byte " << off << " from data written";
            }
        }
        ASSERT_EQ(std::memcmp(block, &reference, sizeof reference), 0) << "frame " << frameNo << ": record differs";
        ++frameNo;
    }
    EXPECT_NE(inst().blackPoint, 0) << "the frames should have moved the black point";

    // Tracking now off, as the dialog's refresh leaves it: start and end keep it so.
    inst().tracking = 0;
    before.assign(static_cast<const unsigned char*>(block), static_cast<const unsigned char*>(block) + fd->inst_data_size);
    ASSERT_EQ(fd->endProc(&fa, &m.ff), 0);
    EXPECT_EQ(std::memcmp(block, before.data(), before.size()), 0) << "endProc changed the instance";
    ASSERT_EQ(fd->startProc(&fa, &m.ff), 0);
    EXPECT_EQ(std::memcmp(block, before.data(), before.size()), 0) << "a second start changed the instance";
}

// ---- rangewick extended ---------------------------------------------------------------

class ExtendedSession : public Session {
protected:
    ExtendedSession() : Session("rangewick extended") {}

    extras::Instance& x() { return *static_cast<extras::Instance*>(block); }
};

// Pictures w x h, top row first as the tool reads them: brighter towards the bottom (so
// that which rows are counted shows), a colour cast (red low, blue high), black bars of
// `bars` rows above and below, noise moving a little each frame, and a hard cut from a
// dim shot to a bright one half way through.
std::vector<std::vector<uint32_t>> clipWithACut(int32_t w, int32_t h, int32_t bars, int frames)
{
    std::mt19937 rng(19);
    std::vector<std::vector<uint32_t>> clip;
    for (int f = 0; f < frames; ++f) {
        const bool bright = f >= frames / 2;
        const uint32_t lift = static_cast<uint32_t>(f % 3) * 4;
        std::vector<uint32_t> picture(static_cast<std::size_t>(w) * static_cast<std::size_t>(h));
        for (int32_t y = 0; y < h; ++y)
            for (int32_t x = 0; x < w; ++x) {
                uint32_t p = 0;
                if (y >= bars && y < h - bars) {
                    const uint32_t base = (bright ? 90 : 10) + lift + 3 * static_cast<uint32_t>(y), span = bright ? 60 : 30;
                    const auto level = [&](uint32_t offset) { return std::min<uint32_t>(255, base + offset + rng() % span); };
                    p = (level(0) << 16) | (level(10) << 8) | level(25);
                }
                picture[static_cast<std::size_t>(y) * static_cast<std::size_t>(w) + static_cast<std::size_t>(x)] =
                    p | (rng() & 0xFF000000u);   // the top byte is not the picture's
            }
        clip.push_back(std::move(picture));
    }
    return clip;
}

// The same options for the filter (its script line and the host's frame time) and for
// the tool (its command line).
struct OptionSet {
    const char* what;
    std::vector<int64_t> line;
    int32_t usPerFrame;
    std::vector<std::string> toolArgs;
};

const OptionSet kOptionSets[] = {
    {"every extra off", {300, 200, 80, 170, 0, 0, 100, 0, 0, 0, 0, 0}, 40000,
     {"--config", "Config(300, 200, 80, 170)"}},
    {"cuts and a follow time of 1.5 s at 25 fps", {1, 100, 64, 192, 1, 1500, 100, 0, 0, 0, 0, 0}, 40000,
     {"--cuts", "--follow-time", "1.5", "--rate", "25"}},
    {"margins not alike above and below, independence, strength", {50, 150, 64, 192, 0, 0, 70, 60, 6, 2, 3, 1}, 40000,
     {"--config", "Config(50, 150, 64, 192)", "--margins", "6,2,3,1", "--independence", "0.6", "--strength", "0.7"}},
    // A frame time the host rounds to whole microseconds, given to the tool as that rate.
    {"everything at 29.97 fps", {1, 100, 40, 200, 1, 250, 50, 100, 4, 0, 0, 5}, 33367,
     {"--config", "Config(1, 100, 40, 200)", "--cuts", "--follow-time", "0.25", "--rate", "1000000/33367", "--strength",
      "0.5", "--independence", "1", "--margins", "4,0,0,5"}},
};

std::string bytesOf(const std::vector<std::vector<uint32_t>>& clip)
{
    std::string bytes;
    for (const auto& picture : clip)
        bytes.append(reinterpret_cast<const char*>(picture.data()), picture.size() * 4);   // little-endian, as the tool's
    return bytes;
}

// The clip through the filter, frame by frame as the host hands it over: bottom-up, in
// a padded bitmap, into a destination of another pitch; the output top row first again.
std::string throughFilter(const FilterDefinition* fd, FilterActivation& fa, const FilterFunctions& ff,
                          const std::vector<std::vector<uint32_t>>& clip, int32_t w, int32_t h)
{
    std::string out;
    for (const auto& picture : clip) {
        HostFrame src(w, h, 0), dst(w, h, 64);
        for (int32_t y = 0; y < h; ++y)
            std::memcpy(src.row(h - 1 - y), &picture[static_cast<std::size_t>(y) * static_cast<std::size_t>(w)],
                        static_cast<std::size_t>(w) * 4);
        fa.src = &src.bm;
        fa.dst = &dst.bm;
        EXPECT_EQ(fd->runProc(&fa, &ff), 0);
        for (int32_t y = 0; y < h; ++y)
            out.append(reinterpret_cast<const char*>(dst.row(h - 1 - y)), static_cast<std::size_t>(w) * 4);
        fa.src = fa.dst = nullptr;
    }
    return out;
}

// Frame by frame, the first that differs.
std::string firstDifference(const std::string& got, const std::string& want, std::size_t frameBytes)
{
    if (got.size() != want.size())
        return std::to_string(got.size()) + " bytes, expected " + std::to_string(want.size());
    for (std::size_t i = 0; i < got.size(); ++i)
        if (got[i] != want[i])
            return "frame " + std::to_string(i / frameBytes) + ", pixel " + std::to_string(i % frameBytes / 4);
    return "";
}

TEST_F(ExtendedSession, FramesComeOutAsTheToolLevelsThemWithTheSameOptions)
{
    const int32_t w = 40, h = 30;
    const auto clip = clipWithACut(w, h, 4, 10);
    const std::string input = bytesOf(clip);
    const std::string tool = buildPath(RANGEWICK_EXE);
    for (const OptionSet& set : kOptionSets) {
        SCOPED_TRACE(set.what);
        ASSERT_EQ(fd->initProc(&fa, &m.ff), 0);
        config(kTypeInt, set.line);
        fsi.lMicrosecsPerFrame = set.usPerFrame;
        const std::string filtered = throughFilter(fd, fa, m.ff, clip, w, h);

        std::vector<std::string> args = {"--size", "40x30", "--no-prime"};
        args.insert(args.end(), set.toolArgs.begin(), set.toolArgs.end());
        const process::Result levelled = process::run(tool, args, input, "host_module_extended");
        ASSERT_EQ(levelled.status, 0) << levelled.err;
        EXPECT_EQ(firstDifference(filtered, levelled.out, static_cast<std::size_t>(w) * h * 4), "");
    }
    EXPECT_NE(x().running.channelWhite[0], x().running.channelWhite[2]) << "the channels should have been levelled apart";
}

// With every extra off the extended filter is rangewick: the same frames, and the same
// points and table left in rangewick's record.
TEST_F(ExtendedSession, WithEveryExtraOffItIsRangewick)
{
    const int32_t w = 33, h = 17;
    const auto clip = clipWithACut(w, h, 0, 8);
    config(kTypeLong, {300, 200, 80, 170, 0, 0, 100, 0, 0, 0, 0, 0});
    const std::string extendedOut = throughFilter(fd, fa, m.ff, clip, w, h);

    FilterDefinition* plain = host.filter("rangewick");
    ASSERT_NE(plain, nullptr);
    std::vector<unsigned char> record(static_cast<std::size_t>(plain->inst_data_size));
    FilterActivation pfa = fa;
    pfa.filter = plain;
    pfa.filter_data = record.data();
    ASSERT_EQ(plain->initProc(&pfa, &m.ff), 0);
    const int32_t stored[settings::kStoredCount] = {300, 200, 80, 170};
    settings::applyStored(*reinterpret_cast<LevelsInstance*>(record.data()), stored);
    EXPECT_EQ(firstDifference(extendedOut, throughFilter(plain, pfa, m.ff, clip, w, h), static_cast<std::size_t>(w) * h * 4),
              "");
    EXPECT_EQ(std::memcmp(&x().record, record.data(), sizeof(LevelsInstance)), 0) << "rangewick's record differs";
}

// A render starts: with cuts on, whatever frame the user looked at last, the run comes
// out as the tool levels the clip from its own first frame (primed); with cuts off the
// start changes nothing, as rangewick's. Margins that no longer fit the frame (the
// picture resized upstream) leave the points where they are and the frame mapped.
TEST_F(ExtendedSession, AStartWithCutsOnLevelsTheRunFromItsOwnFirstFrame)
{
    const int32_t w = 40, h = 30;
    const auto clip = clipWithACut(w, h, 4, 10);
    const std::string tool = buildPath(RANGEWICK_EXE);
    const std::vector<std::string> toolArgs = {"--size", "40x30", "--cuts", "--follow-time", "1.5", "--rate", "25",
                                               "--margins", "4,0,4,0"};
    config(kTypeInt, {1, 100, 64, 192, 1, 1500, 100, 0, 4, 0, 4, 0});
    fsi.lMicrosecsPerFrame = 40000;
    throughFilter(fd, fa, m.ff, {clip[1]}, w, h);   // the user looked at the second frame last: no cut from there
    ASSERT_EQ(fd->startProc(&fa, &m.ff), 0);
    const process::Result levelled = process::run(tool, toolArgs, bytesOf(clip), "host_module_start");
    ASSERT_EQ(levelled.status, 0) << levelled.err;
    EXPECT_EQ(firstDifference(throughFilter(fd, fa, m.ff, clip, w, h), levelled.out, static_cast<std::size_t>(w) * h * 4), "");

    // Cuts off: the start leaves the block as it was.
    config(kTypeInt, {1, 100, 64, 192, 0, 1500, 100, 0, 4, 0, 4, 0});
    std::vector<unsigned char> before(static_cast<const unsigned char*>(block),
                                      static_cast<const unsigned char*>(block) + fd->inst_data_size);
    ASSERT_EQ(fd->startProc(&fa, &m.ff), 0);
    EXPECT_EQ(std::memcmp(block, before.data(), before.size()), 0) << "startProc changed the instance";

    // Margins of 20 rows above and below a 40x30 frame, cuts on, from a start.
    config(kTypeInt, {1, 100, 64, 192, 1, 0, 100, 0, 20, 0, 20, 0});
    ASSERT_EQ(fd->startProc(&fa, &m.ff), 0);
    const extras::Running running = x().running;
    int32_t table[256];
    std::memcpy(table, x().record.levelTable, sizeof table);
    HostFrame src(w, h, 0), dst(w, h, 64);
    for (int32_t y = 0; y < h; ++y)
        std::memcpy(src.row(y), &clip[9][static_cast<std::size_t>(y) * static_cast<std::size_t>(w)], static_cast<std::size_t>(w) * 4);
    fa.src = &src.bm;
    fa.dst = &dst.bm;
    ASSERT_EQ(fd->runProc(&fa, &m.ff), 0);
    fa.src = fa.dst = nullptr;
    EXPECT_EQ(x().running.black, running.black) << "the black point moved";
    EXPECT_EQ(x().running.white, running.white) << "the white point moved";
    EXPECT_EQ(std::memcmp(x().record.levelTable, table, sizeof table), 0) << "the table changed";
    for (int32_t y = 0; y < h; ++y)
        for (int32_t px = 0; px < w; ++px) {
            const uint32_t p = src.pixel(px, y);
            const uint32_t want = static_cast<uint32_t>(table[(p >> 16) & 0xFF]) << 16
                                | static_cast<uint32_t>(table[(p >> 8) & 0xFF]) << 8 | static_cast<uint32_t>(table[p & 0xFF]);
            ASSERT_EQ(dst.pixel(px, y), want) << px << "," << y;
        }
    for (const HostFrame* f : {&src, &dst})
        for (std::ptrdiff_t i = 0; i < kGuardBytes; ++i)
            ASSERT_TRUE(f->bytes[static_cast<std::size_t>(i)] == kGuard && f->bytes[f->bytes.size() - 1 - static_cast<std::size_t>(i)] == kGuard)
                << "a guard byte was written";
}

TEST_F(ExtendedSession, ScriptLineHoldsEverySettingAndTheDescriptionNamesTheExtrasOn)
{
    EXPECT_EQ(scriptLine(), "Config(1, 100, 64, 192, 0, 0, 100, 0, 0, 0, 0, 0)");
    EXPECT_EQ(description(), " (0.01 highlight, 1.00 shadow)");
    // Long values, as some hosts pass them: the int is the low half.
    config(kTypeLong, {250, 50, 64, 192, 1, 2000, 100, 0, int64_t{1} << 40 | 60, 0, 60, 0});
    EXPECT_EQ(scriptLine(), "Config(250, 50, 64, 192, 1, 2000, 100, 0, 60, 0, 60, 0)");
    EXPECT_EQ(description(), " (2.50 highlight, 0.50 shadow, cuts, follow time 2 s, margins 60/0/60/0)");
    // A rangewick line pasted onto this filter: its four, every extra off.
    config(kTypeInt, {300, 20000, 80, 170});
    EXPECT_EQ(scriptLine(), "Config(300, 10000, 80, 170, 0, 0, 100, 0, 0, 0, 0, 0)");
}

} // namespace

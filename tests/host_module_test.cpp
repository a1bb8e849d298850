// A stand-in host: loads the built rangewick.vdf with LoadLibrary and drives it the
// way VirtualDub does (registration, an instance block, script calls, the two texts,
// parameters, start, frames, end), checking every frame against the engine itself.

#include "frame_levelling.h"
#include "levels_instance.h"
#include "settings.h"

#include "build_path.h"
#include "comma_locale.h"
#include "stand_in_host.h"

#include <gtest/gtest.h>

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

TEST(ModuleEntry, RegistersTheFilterAndAnswersVersion8)
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
        ASSERT_EQ(host.addCalls, load + 1);
        EXPECT_EQ(host.addModule, &m.record.fm);
        EXPECT_EQ(host.addSize, sizeof(void*) == 4 ? 88 : 176);

        const FilterDefinition& fd = host.original;
        EXPECT_EQ(fd._next, nullptr);
        EXPECT_EQ(fd._prev, nullptr);
        EXPECT_EQ(fd._module, nullptr);
        EXPECT_STREQ(fd.name, "rangewick");
        EXPECT_STREQ(fd.desc, "Optimizes image dynamic range.");
        EXPECT_STREQ(fd.maker, "Corvalent");
        EXPECT_EQ(fd.private_data, nullptr);
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

        m.stop();
        EXPECT_EQ(host.removeCalls, load + 1);
        EXPECT_EQ(host.removed, &host.copy);
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
    EXPECT_EQ(host.removed, &host.copy);
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

class Session : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_LOADED(m);
        ASSERT_TRUE(m.start());
        fd = &host.copy;
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

    void config(int32_t type, const int64_t (&args)[4])
    {
        const ScriptFunctionDef* f = fd->script_obj->func_list;
        while (f->func_ptr != nullptr && std::strcmp(f->name, "Config") != 0)
            ++f;
        ASSERT_NE(f->func_ptr, nullptr) << "no Config script function";
        ASSERT_STREQ(f->arg_list, "0iiii");

        alignas(8) unsigned char argv[4 * kValueStride];
        std::memset(argv, 0xCD, sizeof argv);
        for (std::size_t i = 0; i < 4; ++i) {
            unsigned char* v = argv + i * kValueStride;
            std::memcpy(v, &type, 4);
            if (type == kTypeLong) {
                std::memcpy(v + kIntAt, &args[i], 8);
            } else {
                const int32_t i32 = static_cast<int32_t>(args[i]);
                std::memcpy(v + kIntAt, &i32, 4);
            }
        }
        int interpreter = 0;
        f->func_ptr(reinterpret_cast<IScriptInterpreter*>(&interpreter), &fa, reinterpret_cast<CScriptValue*>(argv), 4);
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

} // namespace

// Finds a resource in a Windows module file with no Windows at hand: the PE headers, the
// section that holds the resource tree, then type, name and language by number.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace pe {

struct Resource {
    std::vector<uint16_t> languages;   // every language the name has
    const unsigned char* data = nullptr;   // the bytes in the language asked for
    std::size_t size = 0;
};

class File {
public:
    explicit File(std::vector<unsigned char> bytes) : bytes_(std::move(bytes)) {}

    // Type, name and language by number. Returns false, with the reason in error(), when
    // the file is not a module or the resource is missing or reaches past the file's end.
    bool find(uint16_t type, uint16_t name, uint16_t language, Resource& out)
    {
        uint32_t rva = 0, dirSize = 0;
        if (!resourceDirectory(rva, dirSize))
            return false;
        uint32_t root = 0;
        if (!fileOffset(rva, root))
            return fail("the resource directory lies in no section");
        uint32_t node = 0;
        if (!child(root, root, type, node) || !child(root, node, name, node))
            return fail("no resource " + std::to_string(type) + "/" + std::to_string(name));
        // The language level: every entry, and the data of the one asked for.
        const uint32_t count = u16(node + 12) + u16(node + 14);
        uint32_t dataEntry = 0;
        bool found = false;
        for (uint32_t i = 0; i < count && ok_; ++i) {
            const uint32_t entry = node + 16 + 8 * i;
            const uint32_t id = u32(entry), to = u32(entry + 4);
            if (id & 0x80000000u || to & 0x80000000u)
                return fail("a language entry is named or has children");
            out.languages.push_back(static_cast<uint16_t>(id));
            if (id == language) {
                dataEntry = root + to;
                found = true;
            }
        }
        if (!ok_)
            return fail("the resource tree reaches past the end of the file");
        if (!found)
            return fail("no language " + std::to_string(language));
        uint32_t at = 0;
        const uint32_t dataRva = u32(dataEntry), size = u32(dataEntry + 4);
        if (!ok_ || !fileOffset(dataRva, at) || at > bytes_.size() || size > bytes_.size() - at)
            return fail("the resource's data lies outside the file");
        out.data = bytes_.data() + at;
        out.size = size;
        return true;
    }

    const std::string& error() const { return error_; }

private:
    uint32_t read(uint32_t at, unsigned n)
    {
        if (at > bytes_.size() || n > bytes_.size() - at) {
            ok_ = false;
            return 0;
        }
        uint32_t v = 0;
        for (unsigned i = 0; i < n; ++i)
            v |= uint32_t(bytes_[at + i]) << (8 * i);
        return v;
    }
    uint32_t u16(uint32_t at) { return read(at, 2); }
    uint32_t u32(uint32_t at) { return read(at, 4); }
    bool fail(std::string why)
    {
        error_ = std::move(why);
        return false;
    }

    bool resourceDirectory(uint32_t& rva, uint32_t& size)
    {
        if (u16(0) != 0x5A4D)
            return fail("no MZ header");
        pe_ = u32(0x3C);
        if (u32(pe_) != 0x00004550)
            return fail("no PE signature");
        const uint32_t coff = pe_ + 4, opt = coff + 20;
        sections_ = u16(coff + 2);
        sectionTable_ = opt + u16(coff + 16);
        const uint32_t magic = u16(opt);
        const uint32_t directories = magic == 0x10B ? opt + 96 : magic == 0x20B ? opt + 112 : 0;
        if (!directories)
            return fail("unknown optional header");
        const uint32_t count = u32(directories - 4);
        if (count < 3)
            return fail("no resource directory entry");
        rva = u32(directories + 2 * 8);
        size = u32(directories + 2 * 8 + 4);
        if (!ok_)
            return fail("the headers reach past the end of the file");
        return rva != 0 || fail("the module has no resources");
    }

    bool fileOffset(uint32_t rva, uint32_t& at)
    {
        for (uint32_t i = 0; i < sections_; ++i) {
            const uint32_t s = sectionTable_ + 40 * i;
            const uint32_t virtualSize = u32(s + 8), virtualAddress = u32(s + 12);
            const uint32_t rawSize = u32(s + 16), rawAt = u32(s + 20);
            const uint32_t span = virtualSize > rawSize ? rawSize : virtualSize;
            if (ok_ && rva >= virtualAddress && rva - virtualAddress < span) {
                at = rawAt + (rva - virtualAddress);
                return true;
            }
        }
        return false;
    }

    // The subdirectory under `dir` whose entry has number `id`; named entries come first.
    bool child(uint32_t root, uint32_t dir, uint32_t id, uint32_t& out)
    {
        const uint32_t named = u16(dir + 12), numbered = u16(dir + 14);
        for (uint32_t i = named; i < named + numbered && ok_; ++i) {
            const uint32_t entry = dir + 16 + 8 * i;
            if (u32(entry) != id)
                continue;
            const uint32_t to = u32(entry + 4);
            if (!(to & 0x80000000u))
                return false;
            out = root + (to & 0x7FFFFFFFu);
            return ok_;
        }
        return false;
    }

    std::vector<unsigned char> bytes_;
    bool ok_ = true;
    std::string error_;
    uint32_t pe_ = 0, sections_ = 0, sectionTable_ = 0;
};

}  // namespace pe

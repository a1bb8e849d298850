// Reads dialog template 101 byte by byte and holds it to the expected one, whether the
// bytes come from the loaded module (under Wine) or from the module file (no Windows).
#pragma once

#include "dialog_template_table.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

namespace template_check {

// Little-endian reads that stop at the end of the bytes: past it every read gives 0 and
// `overran` says so, so a short or corrupt resource fails the test instead of reading on.
struct Reader {
    const unsigned char* base;
    const unsigned char* end;
    const unsigned char* p = base;
    bool overran = false;

    bool take(void* out, std::size_t n)
    {
        if (static_cast<std::size_t>(end - p) < n) {
            overran = true;
            std::memset(out, 0, n);
            p = end;
            return false;
        }
        std::memcpy(out, p, n);
        p += n;
        return true;
    }
    uint8_t byte() { uint8_t v; take(&v, 1); return v; }
    uint16_t word() { uint16_t v; take(&v, 2); return v; }   // the templates are little-endian, as are our targets
    uint32_t dword() { uint32_t v; take(&v, 4); return v; }
    // A name or ordinal: "#n" for an ordinal.
    std::string nameOrOrdinal()
    {
        uint16_t first = word();
        if (first == 0xFFFF)
            return "#" + std::to_string(word());
        std::string s;
        for (uint16_t c = first; c != 0 && !overran; c = word())
            s += static_cast<char>(c);
        return s;
    }
    void alignDword() { p += std::min<std::ptrdiff_t>((4 - (p - base) % 4) % 4, end - p); }
};

inline bool sameIgnoringCase(const std::string& a, const char* b)
{
    if (a.size() != std::strlen(b))
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

// An extended template's header, up to and including its font.
struct Header {
    uint16_t    version, signature;
    uint32_t    helpId, exStyle, style;
    uint16_t    count;
    int16_t     rect[4];
    std::string menu, windowClass, caption;
    uint16_t    fontSize, weight;
    uint8_t     italic, charset;
    std::string font;
};

inline Header readHeader(Reader& r)
{
    Header h;
    h.version = r.word();
    h.signature = r.word();
    h.helpId = r.dword();
    h.exStyle = r.dword();
    h.style = r.dword();
    h.count = r.word();
    for (int16_t& v : h.rect)
        v = static_cast<int16_t>(r.word());
    h.menu = r.nameOrOrdinal();
    h.windowClass = r.nameOrOrdinal();
    h.caption = r.nameOrOrdinal();
    h.fontSize = r.word();
    h.weight = r.word();
    h.italic = r.byte();
    h.charset = r.byte();
    h.font = r.nameOrOrdinal();
    return h;
}

// The header of template 101 but for its caption, control count and size: an extended
// template in the style and font of rangewick's.
inline void expectRangewicksStyleAndFont(const Header& h)
{
    EXPECT_EQ(h.version, 1);             // extended template
    EXPECT_EQ(h.signature, 0xFFFF);
    EXPECT_EQ(h.helpId, 0u);
    EXPECT_EQ(h.exStyle, 0u);
    EXPECT_EQ(h.style, kExpectedDialogStyle);
    EXPECT_EQ(h.menu, "");               // no menu
    EXPECT_EQ(h.windowClass, "");        // the system's dialog class
    EXPECT_EQ(h.fontSize, kExpectedFontSize);
    EXPECT_EQ(h.weight, 0);
    EXPECT_EQ(h.italic, 0);              // not italic
    EXPECT_EQ(h.charset, kExpectedCharset);
    EXPECT_EQ(h.font, kExpectedFont);
}

// The extended template: header, font, then every control in tab order.
inline void expectTemplate101(const unsigned char* bytes, std::size_t size)
{
    Reader r{bytes, bytes + size};
    const Header h = readHeader(r);
    expectRangewicksStyleAndFont(h);
    ASSERT_EQ(h.count, kExpectedControlCount);
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(h.rect[i], kExpectedDialogRect[i]);
    EXPECT_EQ(h.caption, kExpectedCaption);

    for (const ExpectedControl& c : kExpectedControls) {
        SCOPED_TRACE("control " + std::to_string(c.id) + " \"" + c.text + "\"");
        r.alignDword();
        EXPECT_EQ(r.dword(), 0u);                   // help id
        EXPECT_EQ(r.dword(), c.exStyle);
        EXPECT_EQ(r.dword(), c.style);
        EXPECT_EQ(static_cast<int16_t>(r.word()), c.x);
        EXPECT_EQ(static_cast<int16_t>(r.word()), c.y);
        EXPECT_EQ(static_cast<int16_t>(r.word()), c.cx);
        EXPECT_EQ(static_cast<int16_t>(r.word()), c.cy);
        EXPECT_EQ(static_cast<int32_t>(r.dword()), c.id);
        const std::string cls = r.nameOrOrdinal();
        if (c.atom)
            EXPECT_EQ(cls, "#" + std::to_string(c.atom));
        else
            EXPECT_TRUE(sameIgnoringCase(cls, c.className)) << cls;   // class names know no case
        EXPECT_EQ(r.nameOrOrdinal(), c.text);
        const uint16_t extra = r.word();
        EXPECT_EQ(extra, 0);
    }
    EXPECT_FALSE(r.overran) << "the template ends before its last control";
}

}  // namespace template_check

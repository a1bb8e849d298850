// Dialog template 101 as it must be: header, font and every control in template (and
// tab) order. Held against the module's resource and against the live dialog.
#pragma once

#include <cstdint>

struct ExpectedControl {
    int32_t     id;
    uint16_t    atom;       // predefined class atom, 0 for a class given by name
    const char* className;
    const char* text;
    int16_t     x, y, cx, cy;
    uint32_t    style;
    uint32_t    exStyle;
};

constexpr uint16_t kButtonAtom = 0x0080;
constexpr uint16_t kEditAtom = 0x0081;
constexpr uint16_t kStaticAtom = 0x0082;

constexpr uint32_t kExpectedDialogStyle = 0x80C800C0;
constexpr int16_t kExpectedDialogRect[4] = {0, 0, 257, 181};
constexpr const char kExpectedCaption[] = "Filter: Rangewick";
constexpr const char kExpectedFont[] = "MS Sans Serif";
constexpr uint16_t kExpectedFontSize = 8;
constexpr uint8_t kExpectedCharset = 1;   // DEFAULT_CHARSET: the font as the system maps it for the user's locale
constexpr uint16_t kExpectedLanguage = 1033;

constexpr ExpectedControl kExpectedControls[] = {
    {1, kButtonAtom, "button", "OK", 140, 160, 50, 14, 0x50010001, 0},
    {2, kButtonAtom, "button", "Cancel", 200, 160, 50, 14, 0x50010000, 0},
    {1002, 0, "msctls_trackbar32", "Slider1", 60, 20, 145, 15, 0x50010001, 0},
    {-1, kButtonAtom, "button", "Basic", 5, 5, 245, 65, 0x50000007, 0},
    {-1, kStaticAtom, "static", "Clip highlights %", 10, 20, 51, 8, 0x50020000, 0},
    {1003, 0, "msctls_trackbar32", "Slider1", 60, 45, 145, 15, 0x50010001, 0},
    {-1, kStaticAtom, "static", "Clip shadows %", 10, 45, 52, 11, 0x50020000, 0},
    {1004, kEditAtom, "edit", "", 210, 20, 35, 12, 0x50810080, 0},
    {1005, kEditAtom, "edit", "", 210, 45, 35, 13, 0x50810080, 0},
    {-1, kStaticAtom, "static", "Beta " RANGEWICK_VERSION, 65, 165, 36, 11, 0x50020000, 0},
    {1006, kButtonAtom, "button", "Preview Clipped", 65, 135, 66, 11, 0x50010003, 0},
    {9, kButtonAtom, "button", "Help", 10, 160, 50, 14, 0x50010000, 0},
    {10, kButtonAtom, "button", "Preview", 10, 135, 50, 14, 0x50010000, 0},
    {-1, kButtonAtom, "button", "Advanced", 5, 75, 245, 80, 0x50000007, 0},
    {1007, 0, "msctls_trackbar32", "Slider1", 60, 90, 145, 17, 0x50010001, 0},
    {-1, kStaticAtom, "static", "Highlights min", 10, 90, 44, 8, 0x50020000, 0},
    {1010, 0, "msctls_trackbar32", "Slider1", 60, 115, 145, 17, 0x50010001, 0},
    {-1, kStaticAtom, "static", "Shadows max", 10, 115, 45, 8, 0x50020000, 0},
    {1011, kEditAtom, "edit", "", 210, 90, 35, 13, 0x50812880, 0},
    {1012, kEditAtom, "edit", "", 210, 115, 35, 13, 0x50812880, 0},
    {3, kButtonAtom, "button", "Defaults", 210, 135, 35, 14, 0x50010000, 0x1},
};
constexpr int kExpectedControlCount = sizeof kExpectedControls / sizeof kExpectedControls[0];

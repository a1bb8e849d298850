// Typed clip shares: the dialog's own reading of a number from text, independent of
// the user's regional settings and of the C library's locale.
#pragma once

#include <cstddef>
#include <cstdint>

namespace dialog {

struct ParsedNumber {
    double      value;    // correctly rounded to double; +-0 when the text holds no number
    std::size_t length;   // characters that made up the number (0: none)
};

// Reads a number the way the clip boxes take it: leading white space, an optional
// sign, decimal digits with an optional '.', an optional exponent introduced by
// e, E, d or D. Stops at the first character that does not fit; no hexadecimal,
// infinity or not-a-number forms. Too large gives +-infinity, too small +-0.
ParsedNumber parseNumber(const char* text);

// The share (1/100 %) a clip box's text stands for. False when the number is below 0
// or, in single precision, above 100; `share` is then left alone.
bool textToShare(const char* text, int32_t& share);

// What textToShare makes of an already converted number.
bool numberToShare(double number, int32_t& share);

} // namespace dialog

#include "share_text.h"

#include <charconv>
#include <limits>
#include <system_error>

namespace dialog {

namespace {

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// The C locale's white space, whatever locale the process runs in.
bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }

// No double needs more significant decimal digits than this to be rounded right: every
// boundary between two doubles has at most 767 of them. Digits beyond are folded into
// one sticky digit, which keeps the number on the same side of every boundary.
constexpr int kKeptDigits = 780;

// Past these decimal magnitudes every double result is infinity or zero.
constexpr long long kOverflowMagnitude  = 310;    // 0.d * 10^310 > largest double
constexpr long long kUnderflowMagnitude = -330;   // 0.d * 10^-330 < half the least double

constexpr long long kExponentCap = 1000000000LL;  // saturation far beyond both limits

} // namespace

ParsedNumber parseNumber(const char* text)
{
    const char* p = text;
    while (isSpace(*p))
        ++p;
    bool negative = false;
    if (*p == '+' || *p == '-') {
        negative = *p == '-';
        ++p;
    }

    // Significant digits (leading zeros dropped) and the decimal magnitude: the number
    // is 0.d1d2d3... * 10^magnitude.
    char digits[kKeptDigits + 1];
    int kept = 0;
    bool sticky = false;
    long long magnitude = 0;
    bool anyDigit = false;
    bool seenPoint = false;
    for (;; ++p) {
        if (*p == '.' && !seenPoint) {
            seenPoint = true;
            continue;
        }
        if (!isDigit(*p))
            break;
        anyDigit = true;
        if (kept == 0 && *p == '0') {
            if (seenPoint && magnitude > -kExponentCap)
                --magnitude;            // a zero right after the point moves the number down
            continue;
        }
        if (!seenPoint && magnitude < kExponentCap)
            ++magnitude;
        if (kept < kKeptDigits)
            digits[kept++] = *p;
        else if (*p != '0')
            sticky = true;
    }
    const double zero = negative ? -0.0 : 0.0;
    if (!anyDigit)
        return {0.0, 0};

    if (*p == 'e' || *p == 'E' || *p == 'd' || *p == 'D') {
        const char* q = p + 1;
        bool expNegative = false;
        if (*q == '+' || *q == '-') {
            expNegative = *q == '-';
            ++q;
        }
        if (isDigit(*q)) {
            long long exponent = 0;
            for (; isDigit(*q); ++q)
                if (exponent < kExponentCap)
                    exponent = exponent * 10 + (*q - '0');
            magnitude += expNegative ? -exponent : exponent;
            p = q;
        }
    }
    const std::size_t length = static_cast<std::size_t>(p - text);

    if (kept == 0)
        return {zero, length};
    const double infinity = std::numeric_limits<double>::infinity();
    if (magnitude > kOverflowMagnitude)
        return {negative ? -infinity : infinity, length};
    if (magnitude < kUnderflowMagnitude)
        return {zero, length};

    // "0.<digits>e<magnitude>" in the C form std::from_chars reads; it rounds correctly
    // and knows nothing of locales.
    char normal[2 + kKeptDigits + 1 + 8];
    int n = 0;
    normal[n++] = '0';
    normal[n++] = '.';
    for (int i = 0; i < kept; ++i)
        normal[n++] = digits[i];
    if (sticky)
        normal[n++] = '1';
    normal[n++] = 'e';
    const auto exp = std::to_chars(normal + n, normal + sizeof normal, static_cast<int>(magnitude));
    double value = 0.0;
    const auto result = std::from_chars(normal, exp.ptr, value, std::chars_format::general);
    if (result.ec == std::errc::result_out_of_range)
        value = magnitude > 0 ? infinity : 0.0;
    else if (result.ec != std::errc())
        value = 0.0;    // cannot happen for the text built above
    return {negative ? -value : value, length};
}

bool numberToShare(double number, int32_t& share)
{
    // Checked in double first so no out-of-range value is ever narrowed to float.
    if (!(number >= 0.0) || number > 1000.0)
        return false;
    const float single = static_cast<float>(number);
    if (single > 100.0f)
        return false;
    share = static_cast<int32_t>(static_cast<double>(single) * 100.0 + 0.5);
    return true;
}

bool textToShare(const char* text, int32_t& share)
{
    return numberToShare(parseNumber(text).value, share);
}

} // namespace dialog

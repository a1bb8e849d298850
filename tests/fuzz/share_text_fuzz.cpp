// libFuzzer target: the dialog's number reading against the C library's strtod in the
// C locale, with the differences of the clip boxes' grammar ('d' exponents, no
// hexadecimal, infinity or not-a-number forms) undone in the simplest way.
#include "share_text.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

double referenceNumber(const char* text, std::size_t& length)
{
    const char* p = text;
    while (*p && std::strchr(" \t\n\v\f\r", *p))
        ++p;
    const char* m = p;
    if (*m == '+' || *m == '-')
        ++m;
    const bool startsNumber = (*m >= '0' && *m <= '9') || (*m == '.' && m[1] >= '0' && m[1] <= '9');
    if (!startsNumber) {
        length = 0;
        return 0.0;
    }
    std::string t(text);
    if (m[0] == '0' && (m[1] == 'x' || m[1] == 'X'))
        t.resize(static_cast<std::size_t>(m - text) + 1);   // "0x..." reads as the 0 alone
    for (char& c : t)
        if (c == 'd' || c == 'D')
            c = 'e';
    char* end = nullptr;
    const double v = std::strtod(t.c_str(), &end);
    length = static_cast<std::size_t>(end - t.c_str());
    return v;
}

bool referenceShare(double v, int32_t& share)
{
    if (!(v >= 0.0) || !(v < 1e30))
        return false;
    const float f = static_cast<float>(v);
    if (!(f <= 100.0f))
        return false;
    share = static_cast<int32_t>(static_cast<double>(f) * 100.0 + 0.5);
    return true;
}

[[noreturn]] void mismatch(const char* what, const std::string& text, double got, double want)
{
    std::fprintf(stderr, "%s differs for \"%s\": got %.17g, expected %.17g\n", what, text.c_str(), got, want);
    std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);   // read up to the first NUL
    std::size_t wantLength = 0;
    const double want = referenceNumber(text.c_str(), wantLength);
    const dialog::ParsedNumber got = dialog::parseNumber(text.c_str());
    if (std::memcmp(&got.value, &want, sizeof want) != 0)
        mismatch("value", text, got.value, want);
    if (got.length != wantLength)
        mismatch("length", text, static_cast<double>(got.length), static_cast<double>(wantLength));

    int32_t gotShare = -1, wantShare = -1;
    const bool gotValid = dialog::textToShare(text.c_str(), gotShare);
    const bool wantValid = referenceShare(want, wantShare);
    if (gotValid != wantValid || gotShare != wantShare)
        mismatch("share", text, gotValid ? gotShare : -1, wantValid ? wantShare : -1);
    return 0;
}

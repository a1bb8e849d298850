// The process switched to a locale whose decimal point is a comma, for the tests that
// hold our numbers to '.' whatever the user's regional settings. scripts/deps makes
// de_DE.UTF-8 on Linux; the Windows C runtime knows German by its own names.
#pragma once

#include <clocale>
#include <cstring>
#include <initializer_list>

class CommaLocale {
public:
    CommaLocale()
    {
        for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "de_DE", "German_Germany.1252",
                                 "German", "deu", "de-DE"})
            if (std::setlocale(LC_ALL, name) && std::strcmp(std::localeconv()->decimal_point, ",") == 0) {
                name_ = name;
                return;
            }
        restore();
    }
    ~CommaLocale() { restore(); }

    // The locale in use, or null when no candidate is installed (the C locale stays).
    const char* name() const { return name_; }
    // Back to the C locale, e.g. before checking results with the test framework.
    static void restore() { std::setlocale(LC_ALL, "C"); }

    static constexpr const char* kMissing = "no locale with a decimal comma is installed (scripts/deps test makes one)";

private:
    const char* name_ = nullptr;
};

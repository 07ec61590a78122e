#pragma once
// The property checks of the fuzz targets. A property that does not hold
// prints what was expected and aborts, which libFuzzer reports as a crash
// and saves the input that caused it.

#include <cstdio>
#include <cstdlib>
#include <string>

namespace atlys::fuzz {

[[noreturn]] inline void fail(const std::string &what)
{
    std::fprintf(stderr, "property violated: %s\n", what.c_str());
    std::abort();
}

inline void check(bool holds, const char *what)
{
    if (!holds)
        fail(what);
}

// The bytes of a text, escaped, for a failure message.
inline std::string printable(const std::string &text)
{
    std::string out;
    for (const char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        if (c >= 0x20 && c < 0x7F && c != '\\') {
            out.push_back(ch);
        } else {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\x%02X", c);
            out += escaped;
        }
    }
    return out;
}

} // namespace atlys::fuzz

// Names of the cases of parametrised tests, so that ctest lists "Profile/mixed" rather
// than a dump of the parameter's bytes. A generator turns the text a test makes of its
// parameter into a name part: letters and digits kept, every other run of characters one
// '_'. indexed() puts the case number first, for texts that may repeat or be empty.
#pragma once
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace testnames {

inline std::string identifier(const std::string& text)
{
    std::string s;
    for (char c : text) {
        bool keep = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
        if (keep) s += c;
        else if (!s.empty() && s.back() != '_') s += '_';
    }
    while (!s.empty() && s.back() == '_') s.pop_back();
    return s;
}

// A number as a name part: %g, a minus sign spelled "m" ("m0_5" for -0.5).
inline std::string num(double v)
{
    char buf[32];
    std::snprintf(buf, sizeof buf, "%g", v);
    std::string s;
    for (char* c = buf; *c; ++c) s += *c == '-' ? std::string("m") : std::string(1, *c);
    return s;
}

// Generator: each case named by what f makes of its parameter.
template <class F> auto named(F f)
{
    return [f](const auto& info) { return identifier(f(info.param)); };
}

// Generator: the case number, then what f makes of the parameter (cut to 40 characters).
template <class F> auto indexed(F f)
{
    return [f](const auto& info) {
        std::string s = identifier(f(info.param)).substr(0, 40);
        while (!s.empty() && s.back() == '_') s.pop_back();
        return std::to_string(info.index) + (s.empty() ? "" : "_" + s);
    };
}

}  // namespace testnames

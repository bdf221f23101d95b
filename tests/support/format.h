// An expected message: a printf format filled in, as PrintStatus fills it.
#pragma once
#include <cstdio>
#include <string>

template <typename... Values> std::string Format(const char *format, Values... values)
{
    char text[1024];
    std::snprintf(text, sizeof text, format, values...);
    return text;
}

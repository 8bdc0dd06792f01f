// SPDX-License-Identifier: MIT
// Small helpers for the texts of a report: printf-style formatting, and
// bytes shown so that each keeps its column.
#pragma once

#include <algorithm>
#include <cstdio>
#include <string>

template <typename... Args>
std::string format_text(const char* pattern, Args... args)
{
    char text[512];
    std::snprintf(text, sizeof text, pattern, args...);
    return text;
}

// Printable ASCII stays, anything else shows as '?', so that every byte keeps
// its column.
inline std::string printable(std::string text)
{
    std::replace_if(text.begin(), text.end(), [](char c) { return c < 0x20 || c > 0x7E; }, '?');
    return text;
}

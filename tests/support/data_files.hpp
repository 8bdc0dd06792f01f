// SPDX-License-Identifier: MIT
// Tiny readers for the test data files: vector files with '#' comments and
// "# [group]" headings, and tab-separated tables.
#pragma once

#include <gtest/gtest.h>

#include <cctype>
#include <cstdio>
#include <cstddef>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace test_support {

struct DataLine {
    std::string name; // the group and the line's number in it, e.g. "young_ecb_03"
    std::vector<std::string> fields;
};

// Shown by GoogleTest in place of the raw bytes of a parameter.
inline void PrintTo(const DataLine& line, std::ostream* out)
{
    *out << line.name;
}

// Letters and digits kept, everything else '_': a name GoogleTest accepts.
inline std::string identifier(const std::string& text)
{
    std::string name;
    for (const char c : text) {
        name += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
    }
    return name;
}

inline std::string data_path(const std::string& relative)
{
    return std::string(VALIDATE_TEST_DATA) + "/" + relative;
}

inline std::vector<std::string> split(const std::string& line, char separator)
{
    std::vector<std::string> fields;
    std::string field;
    std::istringstream in(line);
    while (std::getline(in, field, separator)) {
        fields.push_back(field);
    }
    if (!line.empty() && line.back() == separator) {
        fields.emplace_back();
    }
    return fields;
}

// Reads every data line of a file; the group comes from the last heading.
inline std::vector<DataLine> read_data_lines(const std::string& relative, char separator)
{
    std::ifstream in(data_path(relative));
    if (!in) {
        throw std::runtime_error("cannot read test data " + relative);
    }
    std::vector<DataLine> lines;
    std::string group = "line";
    int number = 0;
    for (std::string line; std::getline(in, line);) {
        if (line.rfind("# [", 0) == 0 && line.find(']') != std::string::npos) {
            group = identifier(line.substr(3, line.find(']') - 3));
            number = 0;
            continue;
        }
        if (line.empty() || line[0] == '#') {
            continue;
        }
        char suffix[16];
        std::snprintf(suffix, sizeof suffix, "_%03d", ++number);
        lines.push_back({group + suffix, split(line, separator)});
    }
    return lines;
}

inline std::vector<unsigned char> from_hex(const std::string& hex)
{
    if (hex.size() % 2 != 0) {
        throw std::runtime_error("odd hex length: " + hex);
    }
    std::vector<unsigned char> bytes;
    for (std::size_t i = 0; i < hex.size(); i += 2) {
        bytes.push_back(static_cast<unsigned char>(std::stoul(hex.substr(i, 2), nullptr, 16)));
    }
    return bytes;
}

inline std::string to_hex(const unsigned char* bytes, std::size_t n)
{
    static const char digits[] = "0123456789ABCDEF";
    std::string hex;
    for (std::size_t i = 0; i < n; ++i) {
        hex += digits[bytes[i] >> 4];
        hex += digits[bytes[i] & 0xF];
    }
    return hex;
}

// Names a parameterized case after its parameter's name field.
template <typename Param>
std::string case_name(const testing::TestParamInfo<Param>& info)
{
    return identifier(info.param.name);
}

} // namespace test_support

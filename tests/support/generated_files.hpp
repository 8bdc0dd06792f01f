// SPDX-License-Identifier: MIT
// Data files made up from a seed: every kind of line the reader meets, in LF
// or CR LF, with and without a last line end, a lone CR, NULs and a 0x1A.
#pragma once

#include <random>
#include <string>

#include "core/data_file.hpp"

namespace datasig_test {

inline Bytes to_bytes(const std::string& text)
{
    return Bytes(text.begin(), text.end());
}

inline std::string to_string(const Bytes& bytes)
{
    return std::string(bytes.begin(), bytes.end());
}

class FileMaker {
public:
    explicit FileMaker(unsigned seed) : random_(seed), seed_(seed) {}

    std::string make()
    {
        const std::string end = pick(2) == 0 ? "\n" : "\r\n";
        std::string file;
        // Key lines of every length come round as the seed goes up: below 20
        // a part of the keyword (an ordinary H line), up to 79 one piece,
        // beyond that a key line that runs on into more pieces.
        const std::size_t key_length = seed_ % 100;
        const std::string keyword = "HQDHWHARDWAREVERSION";
        std::string key = keyword.substr(0, std::min<std::size_t>(key_length, keyword.size()));
        while (key.size() < key_length) {
            key += text_character();
        }
        const int lines = pick(25);
        const int key_at = pick(lines + 1);
        for (int i = 0; i <= lines; ++i) {
            if (i == key_at && !key.empty()) {
                file += key + end;
            }
            if (i < lines) {
                file += line() + end;
            }
        }
        switch (pick(6)) {
        case 0: // no line end after the last line
            file += text(pick(30), "A");
            break;
        case 1: // a lone CR at the very end
            file += text(pick(30), "B") + "\r";
            break;
        case 2: // a 0x1A, then bytes that are never read
            file += text(pick(10), "C") + "\x1A" + hex(64, "G") + end + "A after" + end;
            break;
        default:
            break;
        }
        return file;
    }

private:
    int pick(int n)
    {
        return std::uniform_int_distribution<int>(0, n - 1)(random_);
    }

    char text_character()
    {
        static const std::string kPool =
            "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789 =+-.,#";
        switch (pick(40)) {
        case 0:
            return '\0';
        case 1:
            return '\r';
        case 2:
            return static_cast<char>(0x80 + pick(0x80));
        default:
            return kPool[static_cast<std::size_t>(pick(static_cast<int>(kPool.size())))];
        }
    }

    // Literal + std::string sets off a false -Wrestrict in GCC 12 at -O3:
    // the text is built on its prefix instead.
    std::string text(int length, std::string t = "")
    {
        for (int i = 0; i < length; ++i) {
            t += text_character();
        }
        return t;
    }

    std::string hex(int length, std::string t)
    {
        for (int i = 0; i < length; ++i) {
            t += "0123456789ABCDEF"[pick(16)];
        }
        return t;
    }

    std::string line()
    {
        static const std::string kIgnored[] = {"", "#", "; ", "a", "g", "z", "7", " ", std::string(1, '\0')};
        switch (pick(8)) {
        case 0:
        case 1:
            return std::string(1, "ABCH"[pick(4)]) + text(pick(60));
        case 2: // a long line, its later pieces classed by their own first character
            return std::string(1, "ABC"[pick(3)]) + text(78) + std::string(1, "ABCHGz#\0"[pick(8)]) +
                   text(pick(120));
        case 3:
            return kIgnored[pick(9)] + text(pick(50));
        case 4: // an old signature line, right or wrong
            return hex(64, "G") + (pick(4) == 0 ? text(pick(20)) : "");
        case 5:
            return text(pick(70), "HQDHWHARDWAREVERSION");
        default:
            return std::string(1, "ABC"[pick(3)]) + text(pick(20));
        }
    }

    std::mt19937 random_;
    unsigned seed_;
};

} // namespace datasig_test

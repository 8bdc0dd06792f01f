// SPDX-License-Identifier: MIT
// A fresh folder of its own for each test, removed with everything in it.
#pragma once

#include <filesystem>
#include <random>
#include <string>
#include <vector>

namespace test_support {

// A UTF-8 name as a path, on every platform.
inline std::filesystem::path utf8_path(const std::string& name)
{
    return std::filesystem::path(std::u8string(name.begin(), name.end()));
}

inline std::string utf8_name(const std::filesystem::path& path)
{
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

class TemporaryFolder {
public:
    explicit TemporaryFolder(const std::string& prefix = "validate-test-")
    {
        // A random name, taken only if no run that shares the folder has it.
        std::random_device random;
        do {
            path_ = std::filesystem::temp_directory_path() /
                    (prefix + std::to_string(random()) + std::to_string(random()));
        } while (!std::filesystem::create_directory(path_));
    }
    ~TemporaryFolder()
    {
        std::error_code ignored;
        std::filesystem::permissions(path_, std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::add, ignored);
        std::filesystem::remove_all(path_, ignored);
    }
    TemporaryFolder(const TemporaryFolder&) = delete;
    TemporaryFolder& operator=(const TemporaryFolder&) = delete;

    // The UTF-8 name of a file in it, with the platform's separators.
    std::string operator/(const std::string& name) const
    {
        return utf8_name((path_ / utf8_path(name)).make_preferred());
    }
    const std::filesystem::path& path() const
    {
        return path_;
    }
    std::vector<std::string> names() const
    {
        std::vector<std::string> found;
        for (const auto& entry : std::filesystem::directory_iterator(path_)) {
            found.push_back(utf8_name(entry.path().filename()));
        }
        return found;
    }

private:
    std::filesystem::path path_;
};

} // namespace test_support

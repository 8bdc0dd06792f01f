// SPDX-License-Identifier: MIT
// Reading datasig check's lists of names a block at a time, and the names
// given in order: the command line's, then each list's.
#include "datasig/name_list.hpp"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>

#include "platform/platform.hpp"

namespace {

constexpr std::size_t kListBlock = std::size_t{64} * 1024;

} // namespace

std::string shown_list_name(const std::string& list)
{
    return list == "-" ? "standard input" : list;
}

NameList::NameList(std::string list, bool nul_separated)
    : list_(std::move(list)), nul_separated_(nul_separated)
{
}

NameList::~NameList()
{
    close();
}

void NameList::close()
{
    if (file_ != nullptr && file_ != stdin) {
        std::fclose(file_);
    }
    file_ = nullptr;
    ended_ = true;
}

// The error, with the list and where in it, as a file for the taker to report.
void NameList::error(FileToCheck& file, const std::string& what) const
{
    file = {};
    file.source_error = true;
    file.problem = shown_list_name(list_) + (nul_separated_ ? " name " : " line ") +
                   std::to_string(names_read_) + ": " + what;
}

bool NameList::open(FileToCheck& file)
{
    opened_ = true;
    errno = 0;
    file_ = list_ == "-" ? stdin : open_data_file(list_.c_str());
    if (file_ == nullptr) {
        file = {};
        file.source_error = true;
        file.problem = "cannot open " + list_ + ": " + std::strerror(errno);
        ended_ = true;
        return false;
    }
    block_.resize(kListBlock);
    return true;
}

// Reads the bytes of the next name, up to kMaxListedName + 1 of them (room
// for a CR), and its end: too_long when it had more. false at the end of
// the list, or with read_error set when a read fails.
bool NameList::read_name(std::string& name, bool& too_long, int& read_error)
{
    const unsigned char separator = nul_separated_ ? '\0' : '\n';
    bool begun = false; // a byte of this name has been read
    for (;;) {
        if (at_ == end_) {
            const std::ptrdiff_t n = read_available(file_, block_.data(), block_.size());
            if (n <= 0) {
                read_error = n < 0 ? (errno != 0 ? errno : EIO) : 0;
                close();
                return begun && n == 0;
            }
            at_ = 0;
            end_ = static_cast<std::size_t>(n);
        }
        begun = true;
        const unsigned char* from = block_.data() + at_;
        const auto* found =
            static_cast<const unsigned char*>(std::memchr(from, separator, end_ - at_));
        const auto size =
            static_cast<std::size_t>((found != nullptr ? found : block_.data() + end_) - from);
        const std::size_t room = kMaxListedName + 1 - std::min(name.size(), kMaxListedName + 1);
        too_long = too_long || size > room;
        name.append(reinterpret_cast<const char*>(from), std::min(size, room));
        at_ += size;
        if (found != nullptr) {
            ++at_;
            return true;
        }
    }
}

bool NameList::next(FileToCheck& file)
{
    if (!opened_ && !open(file)) {
        return true;
    }
    if (ended_) {
        return false;
    }
    std::string name;
    bool too_long = false;
    int read_error = 0;
    const bool read = read_name(name, too_long, read_error);
    if (!read && read_error == 0) {
        return false;
    }
    ++names_read_;
    if (!read) {
        error(file, std::string("cannot read: ") + std::strerror(read_error));
        return true;
    }
    if (!nul_separated_ && !name.empty() && name.back() == '\r') {
        name.pop_back();
    }
    if (too_long || name.size() > kMaxListedName) {
        error(file, "a name longer than " + std::to_string(kMaxListedName) + " bytes");
    } else if (name.empty()) {
        error(file, "empty name");
    } else if (name.find('\0') != std::string::npos) {
        error(file, "a name with a NUL byte (-0 reads names that NULs end)");
    } else {
        file = {std::move(name), ""};
    }
    return true;
}

bool NameList::next_at_hand() const
{
    const unsigned char separator = nul_separated_ ? '\0' : '\n';
    return !opened_ || ended_ || std::memchr(block_.data() + at_, separator, end_ - at_) != nullptr;
}

bool GivenNames::next(FileToCheck& file)
{
    for (;;) {
        if (next_name_ < names_.size()) {
            file = {names_[next_name_++], ""};
            file.open_file = file.name == "-" ? stdin : nullptr;
            return true;
        }
        if (list_ != nullptr) {
            if (list_->next(file)) {
                return true;
            }
            list_.reset();
        }
        if (next_list_ == lists_.size()) {
            return false;
        }
        list_ = std::make_unique<NameList>(lists_[next_list_++], nul_separated_);
    }
}

bool GivenNames::next_at_hand()
{
    return next_name_ < names_.size() || list_ == nullptr || list_->next_at_hand();
}

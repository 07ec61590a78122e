#include "config_file.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace atlys {

namespace {

// The white space of the C locale, which ends a name and is skipped around it.
bool is_space(int c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

bool is_control(unsigned char c)
{
    return (c < 0x20 && !is_space(c)) || c == 0x7F;
}

} // namespace

ConfigRead parse_config(std::istream &in)
{
    ConfigRead result;
    std::streambuf *buf = in.rdbuf();
    if (buf == nullptr)
        return result;
    constexpr int eof = std::char_traits<char>::eof();

    int c = buf->sgetc();
    while (c != eof && is_space(c))
        c = buf->snextc();
    if (c == eof)
        return result;

    // The name: the run of bytes up to the next white space. Only the first
    // kMaxPortNameLength + 1 bytes are kept; a longer word is counted, not stored.
    std::string name;
    std::size_t length = 0;
    bool control = false;
    while (c != eof && !is_space(c)) {
        if (length <= kMaxPortNameLength)
            name.push_back(static_cast<char>(c));
        control = control || is_control(static_cast<unsigned char>(c));
        ++length;
        c = buf->snextc();
    }
    if (length > kMaxPortNameLength) {
        result.name_too_long = true;
        result.rejected_name_length = length;
    } else if (control) {
        result.name_invalid = true;
        result.rejected_name_length = length;
    } else {
        result.name = std::move(name);
    }

    while (c != eof && is_space(c))
        c = buf->snextc();
    bool negative = false;
    if (c == '+' || c == '-') {
        negative = c == '-';
        c = buf->snextc();
    }
    // Accumulate with a ceiling so a long run of digits cannot overflow; a
    // value past 32 bits is malformed whatever its length.
    constexpr long long limit = 0x7FFFFFFFLL;
    long long value = 0;
    bool digits = false;
    while (c != eof && c >= '0' && c <= '9') {
        digits = true;
        if (value <= limit)
            value = value * 10 + (c - '0');
        c = buf->snextc();
    }
    if (digits && !negative && value > 0 && value <= limit)
        result.baud_rate = static_cast<std::int32_t>(value);
    return result;
}

std::string format_config(const std::string &port_name, std::int32_t baud_rate)
{
    return port_name + "  " + std::to_string(baud_rate) + "\r\n";
}

NameProblem check_port_name(const std::string &port_name)
{
    if (port_name.empty())
        return NameProblem::empty;
    if (port_name.size() > kMaxPortNameLength)
        return NameProblem::too_long;
    for (const char ch : port_name) {
        const auto c = static_cast<unsigned char>(ch);
        if (is_space(c))
            return NameProblem::white_space;
        if (is_control(c))
            return NameProblem::control_character;
    }
    return NameProblem::none;
}

namespace {

bool write_all(int fd, const std::string &contents)
{
    std::size_t done = 0;
    while (done < contents.size()) {
        const ssize_t n = ::write(fd, contents.data() + done, contents.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

// The mode a file created by fopen() would get, or the existing file's mode.
mode_t mode_for(const std::string &path)
{
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0)
        return st.st_mode & 07777;
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return 0666 & ~mask;
}

} // namespace

bool write_file_atomically(const std::string &path, const std::string &contents)
{
    std::string temp = path + ".XXXXXX";
    const int fd = ::mkstemp(temp.data());
    if (fd < 0) {
        // The folder may refuse new files while the file itself is writable:
        // write in place then, still checking every step.
        std::FILE *file = std::fopen(path.c_str(), "wb");
        if (file == nullptr)
            return false;
        const bool written =
            std::fwrite(contents.data(), 1, contents.size(), file) == contents.size();
        const bool closed = std::fclose(file) == 0;
        return written && closed;
    }
    // A mode that cannot be set is not a failed save: the contents count.
    (void)::fchmod(fd, mode_for(path));
    bool ok = write_all(fd, contents);
    ok = ::fsync(fd) == 0 && ok;
    ok = ::close(fd) == 0 && ok;
    if (ok && ::rename(temp.c_str(), path.c_str()) == 0)
        return true;
    ::unlink(temp.c_str());
    return false;
}

} // namespace atlys

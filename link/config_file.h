#pragma once
// config.dat: one line, the port name, two spaces, the line speed in
// decimal and CR LF ("%s  %d\n" written in text mode on Windows).
//
// Reading skips leading white space, takes the name up to the next white
// space, skips white space, then an optionally signed decimal integer;
// everything after it is ignored, so LF, CR LF or no line end read the same.

#include <cstddef>
#include <cstdint>
#include <istream>
#include <optional>
#include <string>

namespace atlys {

constexpr const char *kConfigFileName = "config.dat";

// Longest port name the program accepts, from the field or the file.
constexpr std::size_t kMaxPortNameLength = 255;

struct ConfigRead {
    // The name when one was found and is usable.
    std::optional<std::string> name;
    // A name was found but is longer than kMaxPortNameLength (its length),
    // or holds bytes no device name can hold (NUL or control characters).
    std::size_t rejected_name_length = 0;
    bool name_too_long = false;
    bool name_invalid = false;
    // The speed when a positive integer that fits 32 bits followed the name.
    std::optional<std::int32_t> baud_rate;
};

// Reads the settings line from any stream of bytes; never reads more than
// the leading white space, one word, white space and one number.
ConfigRead parse_config(std::istream &in);

// The exact bytes written to disk.
std::string format_config(const std::string &port_name, std::int32_t baud_rate);

// Why a port name would not read back the same from the file.
enum class NameProblem { none, empty, white_space, too_long, control_character };
NameProblem check_port_name(const std::string &port_name);

// Writes `contents` to `path` through a temporary file beside it that is
// renamed over it, so a failed save leaves the previous file whole.
bool write_file_atomically(const std::string &path, const std::string &contents);

} // namespace atlys

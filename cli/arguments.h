#pragma once
// atlys-cli's command line, parsed without touching the board (no I/O).
//
//   atlys-cli COMMAND [ARGS...] [OPTIONS...]
//
// Options may stand before or after the command and its arguments; "--"
// ends the options. A word that starts with '-' followed by a digit (-1) is
// a value, not an option. Values are read as the panel reads its fields
// (read_value below); ports are decimal 0 to 15.

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace atlys::cli {

enum class Command { none, id, read, write, scan, codec_write, watch, run };

enum class OutputStyle {
    hex,  // eight hexadecimal digits, 0000001F
    dec,  // signed and unsigned decimal, "-2 4294967294"
    json, // one JSON object a line
};

constexpr auto kDefaultWatchInterval = std::chrono::milliseconds{100};
constexpr unsigned kCodecIndexLimit = 32;           // codec register index: 5 bits
constexpr std::uint32_t kCodecValueLimit = 0x10000; // codec register value: 16 bits

struct Options {
    Command command = Command::none;
    bool help = false; // --help: show the help of `command` (or the overview)

    // Connection.
    std::optional<std::string> port;  // --port; else config.dat, else COM1
    std::optional<std::int32_t> baud; // --baud; else config.dat, else 115200
    std::optional<std::string> log_file;
    std::optional<std::string> port_list; // --port-list: the system's list from a file
    bool identify = true;                 // cleared by --no-identify

    // Numbers.
    bool hex_input = false;
    OutputStyle style = OutputStyle::hex;

    // Command arguments.
    std::vector<unsigned> ports;                                // read, watch; write: one
    std::uint32_t value = 0;                                    // write, codec-write
    unsigned codec_index = 0;                                   // codec-write
    std::string file;                                           // run: a path or "-"
    bool all = false;                                           // scan --all
    std::chrono::milliseconds interval = kDefaultWatchInterval; // watch --interval
};

struct ParsedArguments {
    Options options;
    std::string error; // one line, empty when the arguments are good
    bool ok() const { return error.empty(); }
};

// args excludes the program name.
ParsedArguments parse_arguments(const std::vector<std::string> &args);

const char *command_name(Command command);
std::optional<Command> command_from_name(const std::string &name);

// A port number: decimal 0 to 15.
std::optional<unsigned> read_port_number(const std::string &text);

// A value as the panel's fields read it: leading white space, an optional
// sign, digits of the mode up to the first character that cannot continue
// the number (the rest is ignored), low 32 bits. A 0x prefix after the sign
// reads hexadecimal in either mode, so 0x1f is 31 even without --hex.
std::optional<std::uint32_t> read_value(const std::string &text, bool hex);

// "'ff' is not a decimal number (write 0xff, or give --hex)"
std::string not_a_number_message(const std::string &text, bool hex);

} // namespace atlys::cli

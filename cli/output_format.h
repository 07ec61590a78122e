#pragma once
// What atlys-cli prints, as pure functions (no I/O).
//
//   read, run     hex:  0000001F          dec: 31 31            (signed, unsigned)
//                 json: {"port":3,"value":31,"hex":"0000001F","signed":31}
//   watch         <time> <port> <value as above>; json adds "time"
//   id, scan      Atlys S6 QOR 2016/17 barebone (0x20161700)
//   --log         <time> write 3 0000001F | <time> read 3 0000001F |
//                 <time> read 3 timeout (2 of 4 bytes)
// Times are local, ISO 8601 with milliseconds: 2025-03-01T14:05:09.042.

#include "arguments.h"

#include <chrono>
#include <cstdint>
#include <string>

namespace atlys::cli {

std::string value_text(std::uint32_t value, OutputStyle style);
std::string read_line(unsigned port, std::uint32_t value, OutputStyle style);
std::string watch_line(const std::string &time, unsigned port, std::uint32_t value,
                       OutputStyle style);

// "Atlys S6 QOR 2016/17 barebone (0x20161700)" / {"name":"...","id":"0x20161700","codec":false}
std::string board_line(const char *name, std::uint32_t id, bool codec, OutputStyle style);
// "COM2 /dev/pts/4 Atlys S6 QOR 2016/17 barebone (0x20161700)" / json with "port" and "device"
std::string scan_line(const std::string &port, const std::string &device, const char *name,
                      std::uint32_t id, bool codec, OutputStyle style);

std::string timestamp(std::chrono::system_clock::time_point when);

// A JSON string literal, quotes included.
std::string json_string(const std::string &text);

} // namespace atlys::cli

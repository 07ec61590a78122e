#pragma once
// A raw serial line: open with the board's fixed settings, close, move bytes.
//
// Error contract:
//   open()  true when the device opened; settings the driver refuses after
//           the open are not reported (a device that opens counts as open).
//   write() true when every byte was written and drained; false when the
//           line is closed or the write failed.
//   read()  the number of bytes that arrived before the timeout ran out or
//           the device went away (0 on a closed line). Bytes beyond `count`
//           stay queued in the driver for the next read.
// Nothing here logs, throws or shows anything.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace atlys {

class SerialLine {
public:
    virtual ~SerialLine() = default;

    virtual bool open(const std::string &device, std::int32_t baud_rate) = 0;
    virtual void close() = 0;
    virtual bool is_open() const = 0;
    virtual bool write(const std::uint8_t *data, std::size_t count) = 0;
    virtual std::size_t read(std::uint8_t *buffer, std::size_t count,
                             std::chrono::milliseconds timeout) = 0;
};

// The termios backend used on Linux and other POSIX systems: 8N1, raw,
// no flow control, exclusive use, DTR and RTS dropped.
std::unique_ptr<SerialLine> make_posix_serial_line();

} // namespace atlys

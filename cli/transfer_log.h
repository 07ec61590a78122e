#pragma once
// The transfer log of --log: every port transfer the link makes, including
// those inside identification and the codec handshake, taken from the bytes
// on the line.
//
// TransferDecoder turns the bytes sent and received back into transfers (no
// I/O). ObservedLine wraps the real serial line, feeds the decoder and
// hands each transfer on; it also remembers whether any write failed, which
// the codec handshake does not report itself.

#include "serial_line.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace atlys::cli {

struct Transfer {
    enum class Kind { write, read, read_timeout } kind = Kind::write;
    unsigned port = 0;
    std::uint32_t value = 0; // write: sent; read: received
    bool sent = true;        // write: every byte of the frame left
    std::size_t got = 0;     // read_timeout: bytes that did arrive
};

// "write 3 0000001F", "write 3 0000001F not sent", "read 3 0000001F",
// "read 3 timeout (2 of 4 bytes)"
std::string transfer_text(const Transfer &transfer);

class TransferDecoder {
public:
    // One byte handed to the line; `ok` when it left. A write frame's last byte completes it.
    std::optional<Transfer> sent(std::uint8_t byte, bool ok);
    // The reply to the last read request: `got` of `asked` bytes arrived.
    std::optional<Transfer> received(const std::uint8_t *bytes, std::size_t got, std::size_t asked);

private:
    unsigned frame_port_ = 0;
    unsigned frame_left_ = 0; // value bytes still due of a write frame
    std::uint32_t frame_value_ = 0;
    bool frame_sent_ = true;
    std::optional<unsigned> read_port_; // a read request waiting for its reply
};

class ObservedLine final : public SerialLine {
public:
    ObservedLine(std::unique_ptr<SerialLine> line,
                 std::function<void(const Transfer &)> on_transfer);

    bool open(const std::string &device, std::int32_t baud_rate) override;
    void close() override;
    bool is_open() const override;
    bool write(const std::uint8_t *data, std::size_t count) override;
    std::size_t read(std::uint8_t *buffer, std::size_t count,
                     std::chrono::milliseconds timeout) override;

    // True once a write failed since the last clear.
    bool write_failed() const { return write_failed_; }
    void clear_write_failed() { write_failed_ = false; }

private:
    std::unique_ptr<SerialLine> line_;
    std::function<void(const Transfer &)> on_transfer_;
    TransferDecoder decoder_;
    bool write_failed_ = false;
};

} // namespace atlys::cli

#include "transfer_log.h"

#include "frames.h"
#include "text_format.h"

namespace atlys::cli {

std::string transfer_text(const Transfer &t)
{
    switch (t.kind) {
    case Transfer::Kind::write:
        return format("write %u %08X%s", t.port, t.value, t.sent ? "" : " not sent");
    case Transfer::Kind::read:
        return format("read %u %08X", t.port, t.value);
    case Transfer::Kind::read_timeout:
        return format("read %u timeout (%zu of 4 bytes)", t.port, t.got);
    }
    return {};
}

std::optional<Transfer> TransferDecoder::sent(std::uint8_t byte, bool ok)
{
    if (frame_left_ > 0) {
        frame_value_ = (frame_value_ << 8) | byte;
        frame_sent_ = frame_sent_ && ok;
        if (--frame_left_ > 0)
            return std::nullopt;
        return Transfer{Transfer::Kind::write, frame_port_, frame_value_, frame_sent_, 0};
    }
    switch (byte & 0xF0) {
    case kWriteCommand:
        frame_port_ = byte & 0x0F;
        frame_left_ = 4;
        frame_value_ = 0;
        frame_sent_ = ok;
        break;
    case kReadCommand:
        read_port_ = byte & 0x0F;
        break;
    default:
        break; // the link sends nothing else
    }
    return std::nullopt;
}

std::optional<Transfer> TransferDecoder::received(const std::uint8_t *bytes, std::size_t got,
                                                  std::size_t asked)
{
    if (!read_port_ || asked != Reply{}.size())
        return std::nullopt;
    const unsigned port = *read_port_;
    read_port_.reset();
    if (got != asked)
        return Transfer{Transfer::Kind::read_timeout, port, 0, true, got};
    Reply reply{};
    for (std::size_t k = 0; k < reply.size(); ++k)
        reply[k] = bytes[k];
    return Transfer{Transfer::Kind::read, port, decode_reply(reply), true, got};
}

ObservedLine::ObservedLine(std::unique_ptr<SerialLine> line,
                           std::function<void(const Transfer &)> on_transfer)
    : line_(std::move(line)), on_transfer_(std::move(on_transfer))
{
}

bool ObservedLine::open(const std::string &device, std::int32_t baud_rate)
{
    decoder_ = TransferDecoder{};
    return line_->open(device, baud_rate);
}

void ObservedLine::close()
{
    line_->close();
}

bool ObservedLine::is_open() const
{
    return line_->is_open();
}

bool ObservedLine::write(const std::uint8_t *data, std::size_t count)
{
    const bool ok = line_->write(data, count);
    write_failed_ = write_failed_ || !ok;
    for (std::size_t k = 0; k < count; ++k) {
        if (auto transfer = decoder_.sent(data[k], ok); transfer && on_transfer_)
            on_transfer_(*transfer);
    }
    return ok;
}

std::size_t ObservedLine::read(std::uint8_t *buffer, std::size_t count,
                               std::chrono::milliseconds timeout)
{
    const std::size_t got = line_->read(buffer, count, timeout);
    if (auto transfer = decoder_.received(buffer, got, count); transfer && on_transfer_)
        on_transfer_(*transfer);
    return got;
}

} // namespace atlys::cli

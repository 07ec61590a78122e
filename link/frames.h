#pragma once
// The board's port protocol: plain bytes, no start mark, length or checksum.
//   write frame   5 bytes to the board: 0x20|port, value MSB first
//   read request  1 byte to the board:  0x30|(port & 0x0F)
//   read reply    4 bytes from the board: value MSB first

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>

namespace atlys {

constexpr unsigned kPortCount = 16;
constexpr unsigned kIdPort = 15;

using WriteFrame = std::array<std::uint8_t, 5>;
using Reply = std::array<std::uint8_t, 4>;

constexpr std::uint8_t kWriteCommand = 0x20;
constexpr std::uint8_t kReadCommand = 0x30;

constexpr WriteFrame make_write_frame(std::uint32_t value, unsigned port)
{
    return {static_cast<std::uint8_t>(kWriteCommand | (port & 0x0F)),
            static_cast<std::uint8_t>(value >> 24), static_cast<std::uint8_t>(value >> 16),
            static_cast<std::uint8_t>(value >> 8), static_cast<std::uint8_t>(value)};
}

constexpr std::uint8_t make_read_request(unsigned port)
{
    return static_cast<std::uint8_t>(kReadCommand | (port & 0x0F));
}

constexpr std::uint32_t decode_reply(const Reply &bytes)
{
    return (std::uint32_t{bytes[0]} << 24) | (std::uint32_t{bytes[1]} << 16) |
           (std::uint32_t{bytes[2]} << 8) | std::uint32_t{bytes[3]};
}

// A read of `count` bytes ends when they have arrived or when
// 100 ms per byte plus 200 ms have passed since it began: 600 ms for a reply.
constexpr auto kReadPerByte = std::chrono::milliseconds{100};
constexpr auto kReadConstant = std::chrono::milliseconds{200};

constexpr std::chrono::milliseconds read_timeout(std::size_t count)
{
    return kReadPerByte * static_cast<long long>(count) + kReadConstant;
}

} // namespace atlys

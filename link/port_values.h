#pragma once
// Port values as the operator types and reads them (no I/O).
//
// Entry: leading white space is skipped, then an optional sign, then in
// hexadecimal an optional 0x/0X prefix, then digits up to the first
// character that cannot continue the number (the rest is ignored). The
// number is accumulated modulo 2^64, negated for a minus sign, and its low
// 32 bits are the value. A text with no digit of the mode has no value.

#include <cstdint>
#include <optional>
#include <string>

namespace atlys {

std::optional<std::uint32_t> parse_port_value(const std::string &text, bool hex);

// "Write 0000001Fh to port A  (decimal:         31)" / "Write         -1 to port b  (hexadecimal:
// FFFFFFFFh)"
std::string write_message(std::uint32_t value, unsigned port, bool hex);
// "Port[ 3]=FFFFFFFEh  (decimal:        -2,  unsigned: 4294967294)"
std::string read_message(unsigned port, std::uint32_t value);
// The read field: "FFFFFFFE" or "        -2".
std::string read_field_text(std::uint32_t value, bool hex);
// "Timeout reading Port[3]"
std::string read_timeout_message(unsigned port);
// The line logged instead of a write when the field holds no number.
std::string no_number_message(unsigned port, const std::string &text, bool hex);

} // namespace atlys

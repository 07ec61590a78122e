#include "port_values.h"

#include "text_format.h"

namespace atlys {

namespace {

bool is_space(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

int digit_value(char c, bool hex)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (hex && c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (hex && c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

std::int32_t as_signed(std::uint32_t value)
{
    return static_cast<std::int32_t>(value); // two's complement on every supported compiler
}

} // namespace

std::optional<std::uint32_t> parse_port_value(const std::string &text, bool hex)
{
    std::size_t i = 0;
    while (i < text.size() && is_space(text[i]))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    bool digits = false;
    if (hex && i + 1 < text.size() && text[i] == '0' &&
        (text[i + 1] == 'x' || text[i + 1] == 'X')) {
        // The prefix's 0 is a digit: "0x" alone reads as zero.
        digits = true;
        i += 2;
    }
    const unsigned base = hex ? 16 : 10;
    std::uint64_t number = 0; // wraps modulo 2^64
    for (; i < text.size(); ++i) {
        const int d = digit_value(text[i], hex);
        if (d < 0)
            break;
        number = number * base + static_cast<unsigned>(d);
        digits = true;
    }
    if (!digits)
        return std::nullopt;
    if (negative)
        number = ~number + 1;
    return static_cast<std::uint32_t>(number);
}

std::string write_message(std::uint32_t value, unsigned port, bool hex)
{
    if (hex)
        return format("Write %08Xh to port %X  (decimal: %10d)", value, port, as_signed(value));
    return format("Write %10d to port %x  (hexadecimal: %08Xh)", as_signed(value), port, value);
}

std::string read_message(unsigned port, std::uint32_t value)
{
    return format("Port[%2d]=%08Xh  (decimal:%10d,  unsigned: %10u)", static_cast<int>(port), value,
                  as_signed(value), value);
}

std::string read_field_text(std::uint32_t value, bool hex)
{
    return hex ? format("%08X", value) : format("%10d", as_signed(value));
}

std::string read_timeout_message(unsigned port)
{
    return format("Timeout reading Port[%u]", port);
}

std::string no_number_message(unsigned port, const std::string &text, bool hex)
{
    return format("Write P%u: '%s' is not a %s number, nothing sent", port, text.c_str(),
                  hex ? "hexadecimal" : "decimal");
}

} // namespace atlys

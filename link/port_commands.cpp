// The operator's port commands: "Write Pn" and "Read Pn".

#include "board_link.h"
#include "port_values.h"

namespace atlys {

void BoardLink::write_command(unsigned port, const std::string &text, bool hex)
{
    const auto value = parse_port_value(text, hex);
    if (!value) {
        // No number in the field: there is nothing defined to send.
        log(no_number_message(port, text, hex));
        return;
    }
    // The line is logged before the frame leaves, and whatever happens to it.
    log(write_message(*value, port, hex));
    if (write_port(*value, port) == kNotSent) {
        log(is_open() ? "Nothing was sent: writing to the serial port failed"
                      : "Nothing was sent: the serial port is not open");
    }
}

std::optional<std::string> BoardLink::read_command(unsigned port, bool hex)
{
    std::uint32_t value = 0;
    if (read_port(value, port) != kDone) {
        log(read_timeout_message(port));
        return std::nullopt;
    }
    log(read_message(port, value));
    return read_field_text(value, hex);
}

} // namespace atlys

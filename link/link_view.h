#pragma once
// The window side of the board link: everything the link reports goes
// through this interface, so the link runs and is tested without widgets.

#include <string>

namespace atlys {

class LinkView {
public:
    virtual ~LinkView() = default;

    // Appends one line to the activity log. The text is passed unchanged,
    // including a line feed at its end where a message has one.
    virtual void log_line(const std::string &text) = 0;

    // Shows the outcome of the last port read: "data ok" or "timeout".
    virtual void set_read_status(bool ok) = 0;

    // The text of the serial port field.
    virtual std::string port_text() const = 0;
    virtual void set_port_text(const std::string &text) = 0;
};

} // namespace atlys

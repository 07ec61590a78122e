#pragma once
// How the port names the program shows and saves (COM1, COM2, ...) map to
// serial devices on Linux.
//
// COM<n> (n >= 1) is the n-th port of the system's list in panel order:
// USB and CDC-ACM ports (ttyACM*, ttyUSB*) first, then every other port,
// each group in natural order of the names. Any other name is a device path,
// used unchanged; a bare name without '/' (ttyUSB0) lives in /dev.

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace atlys {

struct PortInfo {
    std::string name;        // ttyUSB0
    std::string device;      // /dev/ttyUSB0
    std::string description; // as the system reports it, may be empty
    std::string manufacturer;
    std::string serial_number;
};

// Lists the system's serial ports; called each time a port is opened.
using PortLister = std::function<std::vector<PortInfo>()>;

// True when `a` comes before `b` in natural order (digit runs compare as
// numbers: ttyUSB2 < ttyUSB10).
bool natural_less(const std::string &a, const std::string &b);

// The list in panel order (COM1 first).
std::vector<PortInfo> order_ports(std::vector<PortInfo> ports);

// n for a name COM<n> (any case, n >= 1, no leading zero); nullopt otherwise.
std::optional<unsigned> com_number(const std::string &name);

// The device a port name designates, given the ports in panel order;
// nullopt for a COM<n> past the end of the list.
std::optional<std::string> resolve_port_name(const std::string &name,
                                             const std::vector<PortInfo> &ordered);

// What the system says about a port: description, manufacturer and serial
// number, the empty ones left out, "FT232R USB UART, FTDI, A10K".
std::string port_details(const PortInfo &port);

// One line per listed port, "COM1 = /dev/ttyUSB0 (FT232R USB UART, FTDI, A10K)",
// for the port field's tooltip; a note when no port is listed.
std::string describe_com_names(const std::vector<PortInfo> &ordered);

// One name the port field can be given, with the line that tells the
// operator what it designates.
struct PortChoice {
    std::string name;  // COM1 or /dev/ttyUSB0: what goes into the field
    std::string label; // COM1 = /dev/ttyUSB0 (FT232R USB UART, FTDI, A10K)
};

// The names on offer for the listed ports: COM1, COM2, ... in panel order,
// then each port's device path in the same order.
std::vector<PortChoice> port_choices(const std::vector<PortInfo> &ordered);

} // namespace atlys

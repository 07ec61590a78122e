#pragma once
// The system's serial ports for COM names and scan --all, without Qt.
//
// On Linux every tty the kernel knows is a folder under /sys/class/tty; the
// ones backed by hardware (a UART, a USB serial adapter, a CDC-ACM device)
// have a `device` link there, virtual terminals and ptys do not. Serial-core
// ports also have a `type` file; type 0 (PORT_UNKNOWN) is a ttyS slot the
// 8250 driver reserves with no UART behind it, and is left out. Nothing is
// opened: only sysfs is read. The device of tty NAME is /dev/NAME.
//
// --port-list FILE replaces that list with one device path per line (blank
// lines and # comments skipped): COM1 is the first path, COM2 the second.

#include "port_names.h"

#include <optional>
#include <string>
#include <vector>

namespace atlys::cli {

std::vector<PortInfo> list_sysfs_ports(const std::string &class_dir = "/sys/class/tty",
                                       const std::string &dev_dir = "/dev");

// The ports named in a list file, named so that panel order keeps the file's
// order; nullopt when the file cannot be read.
std::optional<std::vector<PortInfo>> read_port_list(const std::string &path);

} // namespace atlys::cli

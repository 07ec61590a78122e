#include "port_names.h"

#include <algorithm>
#include <cctype>

namespace atlys {

namespace {

bool is_digit(char c)
{
    return c >= '0' && c <= '9';
}

// Plugged-in boards show up as USB serial adapters or CDC-ACM devices.
bool is_plugged_in(const PortInfo &port)
{
    return port.name.rfind("ttyACM", 0) == 0 || port.name.rfind("ttyUSB", 0) == 0;
}

} // namespace

bool natural_less(const std::string &a, const std::string &b)
{
    std::size_t i = 0;
    std::size_t j = 0;
    while (i < a.size() && j < b.size()) {
        if (is_digit(a[i]) && is_digit(b[j])) {
            // Compare the digit runs as numbers: skip leading zeros, then the
            // longer run is larger, then the first differing digit decides.
            std::size_t ia = i;
            std::size_t jb = j;
            while (ia < a.size() && a[ia] == '0')
                ++ia;
            while (jb < b.size() && b[jb] == '0')
                ++jb;
            std::size_t ea = ia;
            std::size_t eb = jb;
            while (ea < a.size() && is_digit(a[ea]))
                ++ea;
            while (eb < b.size() && is_digit(b[eb]))
                ++eb;
            if (ea - ia != eb - jb)
                return ea - ia < eb - jb;
            const int order = a.compare(ia, ea - ia, b, jb, eb - jb);
            if (order != 0)
                return order < 0;
            i = ea;
            j = eb;
            continue;
        }
        if (a[i] != b[j])
            return static_cast<unsigned char>(a[i]) < static_cast<unsigned char>(b[j]);
        ++i;
        ++j;
    }
    if (a.size() - i != b.size() - j)
        return a.size() - i < b.size() - j;
    return a < b; // equal up to leading zeros: keep a strict, total order
}

std::vector<PortInfo> order_ports(std::vector<PortInfo> ports)
{
    std::stable_sort(ports.begin(), ports.end(), [](const PortInfo &x, const PortInfo &y) {
        const bool px = is_plugged_in(x);
        const bool py = is_plugged_in(y);
        if (px != py)
            return px;
        return natural_less(x.name, y.name);
    });
    return ports;
}

std::optional<unsigned> com_number(const std::string &name)
{
    if (name.size() < 4 || name.size() > 12)
        return std::nullopt;
    for (std::size_t k = 0; k < 3; ++k) {
        if (std::toupper(static_cast<unsigned char>(name[k])) != "COM"[k])
            return std::nullopt;
    }
    if (name[3] == '0')
        return std::nullopt;
    unsigned long long n = 0;
    for (std::size_t k = 3; k < name.size(); ++k) {
        if (!is_digit(name[k]))
            return std::nullopt;
        n = n * 10 + static_cast<unsigned>(name[k] - '0');
        if (n > 0xFFFFFFFFull)
            return std::nullopt;
    }
    return static_cast<unsigned>(n);
}

std::optional<std::string> resolve_port_name(const std::string &name,
                                             const std::vector<PortInfo> &ordered)
{
    if (const auto n = com_number(name)) {
        if (*n > ordered.size())
            return std::nullopt;
        return ordered[*n - 1].device;
    }
    if (!name.empty() && name.find('/') == std::string::npos)
        return "/dev/" + name;
    return name;
}

std::string port_details(const PortInfo &port)
{
    std::string details;
    for (const std::string *part : {&port.description, &port.manufacturer, &port.serial_number}) {
        if (part->empty())
            continue;
        if (!details.empty())
            details += ", ";
        details += *part;
    }
    return details;
}

namespace {

// "/dev/ttyUSB0 (FT232R USB UART, FTDI, A10K)", or the device alone.
std::string device_with_details(const PortInfo &port)
{
    const std::string details = port_details(port);
    return details.empty() ? port.device : port.device + " (" + details + ")";
}

std::string com_name(std::size_t index)
{
    return "COM" + std::to_string(index + 1);
}

} // namespace

std::string describe_com_names(const std::vector<PortInfo> &ordered)
{
    if (ordered.empty())
        return "No serial port is listed by the system.\n"
               "A device path such as /dev/ttyUSB0 can be typed instead.";
    std::string text;
    for (std::size_t k = 0; k < ordered.size(); ++k) {
        if (!text.empty())
            text += '\n';
        text += com_name(k) + " = " + device_with_details(ordered[k]);
    }
    return text;
}

std::vector<PortChoice> port_choices(const std::vector<PortInfo> &ordered)
{
    std::vector<PortChoice> choices;
    choices.reserve(2 * ordered.size());
    for (std::size_t k = 0; k < ordered.size(); ++k)
        choices.push_back({com_name(k), com_name(k) + " = " + device_with_details(ordered[k])});
    for (const PortInfo &port : ordered)
        choices.push_back({port.device, device_with_details(port)});
    return choices;
}

} // namespace atlys

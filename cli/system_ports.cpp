#include "system_ports.h"

#include <dirent.h>
#include <sys/stat.h>

#include <fstream>
#include <memory>

namespace atlys::cli {

namespace {

std::string first_line(const std::string &path)
{
    std::ifstream in(path);
    std::string line;
    std::getline(in, line);
    return line;
}

std::string trimmed(const std::string &text)
{
    const auto begin = text.find_first_not_of(" \t\r\n");
    if (begin == std::string::npos)
        return {};
    const auto end = text.find_last_not_of(" \t\r\n");
    return text.substr(begin, end - begin + 1);
}

} // namespace

std::vector<PortInfo> list_sysfs_ports(const std::string &class_dir, const std::string &dev_dir)
{
    std::vector<PortInfo> ports;
    std::unique_ptr<DIR, int (*)(DIR *)> dir(::opendir(class_dir.c_str()), ::closedir);
    if (!dir)
        return ports;
    while (const dirent *entry = ::readdir(dir.get())) {
        const std::string name = entry->d_name;
        if (name.empty() || name[0] == '.')
            continue;
        std::string base = class_dir;
        base += '/';
        base += name;
        struct stat st {};
        if (::stat((base + "/device").c_str(), &st) != 0)
            continue; // no hardware behind it
        if (trimmed(first_line(base + "/type")) == "0")
            continue; // a reserved 8250 slot without a UART
        std::string device = dev_dir + '/';
        device += name;
        ports.push_back({name, std::move(device), {}, {}, {}});
    }
    return order_ports(std::move(ports));
}

std::optional<std::vector<PortInfo>> read_port_list(const std::string &path)
{
    std::ifstream in(path);
    if (!in.is_open())
        return std::nullopt;
    std::vector<PortInfo> ports;
    std::string line;
    while (std::getline(in, line)) {
        const std::string device = trimmed(line.substr(0, line.find('#')));
        if (device.empty())
            continue;
        // "list1", "list2", ...: not plugged-in names, natural order = file order.
        ports.push_back({"list" + std::to_string(ports.size() + 1), device, {}, {}, {}});
    }
    return ports;
}

} // namespace atlys::cli

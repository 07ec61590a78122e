// Prints the time of a full scan (COM1 to COM29) when no name can be opened:
// once with 29 listed devices that do not exist, once with nothing listed.

#include "board_link.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

namespace {

class QuietView : public atlys::LinkView {
public:
    void log_line(const std::string &) override { ++lines; }
    void set_read_status(bool) override {}
    std::string port_text() const override { return field; }
    void set_port_text(const std::string &text) override { field = text; }
    std::string field;
    int lines = 0;
};

double median_scan_ms(atlys::PortLister lister, int runs)
{
    std::vector<double> times;
    for (int k = 0; k < runs; ++k) {
        atlys::BoardLink link(atlys::make_posix_serial_line(), lister);
        QuietView view;
        link.attach_view(&view);
        const auto start = std::chrono::steady_clock::now();
        link.scan_serial_ports();
        const auto end = std::chrono::steady_clock::now();
        times.push_back(std::chrono::duration<double, std::milli>(end - start).count());
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

} // namespace

int main()
{
    const auto missing = [] {
        std::vector<atlys::PortInfo> ports;
        for (int k = 0; k < 29; ++k) {
            const std::string name = "ttyUSB" + std::to_string(k);
            ports.push_back({name, "/nonexistent/" + name, {}, {}, {}});
        }
        return ports;
    };
    const auto nothing = [] { return std::vector<atlys::PortInfo>{}; };
    std::printf("scan over 29 listed devices that do not exist: median %.3f ms\n",
                median_scan_ms(missing, 21));
    std::printf("scan with no port listed:                      median %.3f ms\n",
                median_scan_ms(nothing, 21));
    return 0;
}

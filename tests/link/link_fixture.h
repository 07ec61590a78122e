#pragma once
// What the link tests share: a recorder in place of the window, and the
// port list entries that point the link at the simulator.

#include "link_view.h"
#include "port_names.h"

#include <QByteArray>
#include <QList>
#include <QStringList>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

// Stands in for the window: records every log line and read status.
class Recorder : public atlys::LinkView {
public:
    void log_line(const std::string &text) override { lines << QString::fromStdString(text); }
    void set_read_status(bool ok) override { statuses << ok; }
    std::string port_text() const override { return field; }
    void set_port_text(const std::string &text) override { field = text; }

    // The lines logged since the last call.
    QStringList take_lines() { return std::exchange(lines, {}); }

    QStringList lines;
    QList<bool> statuses;
    std::string field = "COM1";
};

// The k-th device of a test's list; named so that panel order keeps the list's order.
inline atlys::PortInfo listed(std::size_t k, const std::string &device)
{
    return {"ttyS" + std::to_string(k), device, "simulated board", {}, {}};
}

inline QByteArray as_bytes(const std::vector<std::uint8_t> &v)
{
    return QByteArray(reinterpret_cast<const char *>(v.data()), int(v.size()));
}

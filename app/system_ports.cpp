#include "system_ports.h"

#include <QSerialPortInfo>

namespace atlys {

PortLister system_port_lister()
{
    return [] {
        std::vector<PortInfo> ports;
        const auto infos = QSerialPortInfo::availablePorts();
        ports.reserve(static_cast<std::size_t>(infos.size()));
        for (const QSerialPortInfo &info : infos) {
            ports.push_back({info.portName().toStdString(), info.systemLocation().toStdString(),
                             info.description().toStdString(), info.manufacturer().toStdString(),
                             info.serialNumber().toStdString()});
        }
        return ports;
    };
}

} // namespace atlys

#pragma once
// The system's serial ports as QSerialPortInfo lists them, for the link.

#include "port_names.h"

namespace atlys {
PortLister system_port_lister();
}

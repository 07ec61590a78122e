#pragma once
// Sets any line speed the driver accepts, standard or not (termios2 with
// BOTHER on Linux). Kept apart because <asm/termbits.h> clashes with <termios.h>.

#include <cstdint>

namespace atlys {
bool set_line_speed(int fd, std::int32_t baud_rate);
}

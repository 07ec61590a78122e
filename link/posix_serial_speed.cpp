#include "posix_serial_speed.h"

#if defined(__linux__)
#include <asm/ioctls.h>
#include <asm/termbits.h>
#include <sys/ioctl.h>
#else
#include <termios.h>
#endif

namespace atlys {

bool set_line_speed(int fd, std::int32_t baud_rate)
{
    if (baud_rate <= 0)
        return false;
#if defined(__linux__)
    struct termios2 tio {};
    if (::ioctl(fd, TCGETS2, &tio) != 0)
        return false;
    tio.c_cflag &= ~static_cast<tcflag_t>(CBAUD | (CBAUD << IBSHIFT));
    tio.c_cflag |= BOTHER | (BOTHER << IBSHIFT);
    tio.c_ispeed = static_cast<speed_t>(baud_rate);
    tio.c_ospeed = static_cast<speed_t>(baud_rate);
    return ::ioctl(fd, TCSETS2, &tio) == 0;
#else
    struct termios tio {};
    if (::tcgetattr(fd, &tio) != 0)
        return false;
    // Other POSIX systems take the speed as a plain number.
    ::cfsetispeed(&tio, static_cast<speed_t>(baud_rate));
    ::cfsetospeed(&tio, static_cast<speed_t>(baud_rate));
    return ::tcsetattr(fd, TCSANOW, &tio) == 0;
#endif
}

} // namespace atlys
